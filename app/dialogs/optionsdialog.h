#pragma once

#include "link/portname.h"

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

// Where the names of the serial ports come from.
class PortLister
{
public:
    virtual ~PortLister() = default;
    virtual QStringList PortNames() const = 0;
};

// The ports the machine lists.
class SystemPortLister : public PortLister
{
public:
    QStringList PortNames() const override;
};

// Tools > Option: the choice of the serial port the receiver is connected
// to, a field above the list of the ports the machine lists. Picking an entry
// puts it in the field; any other name can be typed there (a device path, a
// /dev/serial/by-id/ name, whatever PortName::Parse takes). OK with an empty
// field keeps the port set; a name that cannot be a port is told in the
// dialog, which stays open.
class OptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OptionsDialog(QWidget* parent = nullptr, const PortLister* ports = nullptr);

    // The port in use, shown in the field: as the listed entry when one is
    // equal to it without regard to case, which is then selected.
    void SetPort(const ::PortName& port);
    // The port chosen: the name in the field, or the one set when the field
    // is empty.
    ::PortName Port() const { return m_chosen; }

    QListWidget* PortList() const { return m_list; }
    QLineEdit* PortField() const { return m_field; }

    void accept() override;

private:
    void FillList();
    // Selects the listed entry equal to name without regard to case; null
    // when there is none.
    QListWidgetItem* SelectListed(const QString& name);

    const PortLister* m_ports;
    SystemPortLister m_systemPorts;
    QListWidget* m_list;
    QLineEdit* m_field;
    QLabel* m_problem;    // why the typed name cannot be a port
    ::PortName m_portSet; // kept when the field is left empty
    ::PortName m_chosen;  // what OK took
};
