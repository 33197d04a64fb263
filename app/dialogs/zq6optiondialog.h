#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

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

// Options: the choice of the serial port the receiver is connected to.
// m_strPortName goes into the list at the start (the entry equal to it,
// without regard to case, is selected) and comes out of it on OK (the
// selected entry's text, or empty when none is selected). Cancel, Esc and the
// close box leave it as it was.
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

    // Fills the list and exchanges m_strPortName into it; runs when the
    // dialog is first shown.
    bool OnInitDialog();
    // Between m_strPortName and the list: into the list, or out of it.
    void DoDataExchange(bool saveAndValidate);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const PortLister* m_pPorts;
    SystemPortLister m_systemPorts;
    QListWidget* m_pList;
    bool m_bInitialized = false;
};
