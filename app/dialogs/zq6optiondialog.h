#pragma once

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

// Options: the choice of the serial port the receiver is connected to, a
// field above the list of the ports the machine lists. Picking an entry puts
// it in the field; any other name can be typed there (a device path, a
// /dev/serial/by-id/ name, whatever PortName::Parse takes).
// m_strPortName goes into the field at the start (as the listed entry when
// one is equal to it without regard to case, which is then selected) and
// comes out of it on OK. OK with an empty field leaves it as it was; a name
// that cannot be a port is told in the dialog, which stays open. Cancel, Esc
// and the close box leave it as it was.
class CZq6OptionDialog : public QDialog
{
    Q_OBJECT

public:
    enum
    {
        IDD = 129,
        IDC_LIST1 = 1004
    };

    explicit CZq6OptionDialog(QWidget* pParent = nullptr, const PortLister* ports = nullptr);
    ~CZq6OptionDialog() override;

    QString m_strPortName;

    QListWidget* GetPortList() const { return m_pList; }
    QLineEdit* GetPortField() const { return m_pField; }

    // Fills the list and exchanges m_strPortName into it; runs when the
    // dialog is first shown.
    bool OnInitDialog();
    // Between m_strPortName and the field and list: into them, or out of the
    // field (an empty field leaves m_strPortName as it was).
    void DoDataExchange(bool saveAndValidate);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Selects the listed entry equal to name without regard to case; null
    // when there is none.
    QListWidgetItem* SelectListed(const QString& name);

private:
    const PortLister* m_pPorts;
    SystemPortLister m_systemPorts;
    QListWidget* m_pList;
    QLineEdit* m_pField;
    QLabel* m_pProblem; // why the typed name cannot be a port
    bool m_bInitialized = false;
};
