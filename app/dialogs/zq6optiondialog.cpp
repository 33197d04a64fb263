#include "app/dialogs/zq6optiondialog.h"

#include "link/portlist.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

QStringList SystemPortLister::PortNames() const
{
    return AvailablePortNames();
}

CZq6OptionDialog::CZq6OptionDialog(QWidget* pParent, const PortLister* ports)
    : QDialog(pParent), m_pPorts(ports ? ports : &m_systemPorts), m_pList(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* label = new QLabel(QStringLiteral("Serial Port"), this);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    cancel->setAutoDefault(false);
    ok->setObjectName(QStringLiteral("IDOK"));
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    m_pList->setObjectName(QStringLiteral("IDC_LIST1"));
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pList->setMinimumSize(90, 64);
    label->setBuddy(m_pList);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_pList, 1, 0, 3, 1);
    grid->addWidget(ok, 1, 1);
    grid->addWidget(cancel, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 1);

    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_pList);

    connect(ok, &QPushButton::clicked, this, &CZq6OptionDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CZq6OptionDialog::reject);
    ok->setFocus();
}

CZq6OptionDialog::~CZq6OptionDialog() = default;

bool CZq6OptionDialog::OnInitDialog()
{
    // Sorted without regard to case, duplicates kept, as a sorted list box
    // places its entries.
    QStringList names = m_pPorts->PortNames();
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    m_pList->clear();
    m_pList->addItems(names);
    // What the system knows of an adapter shows when the pointer rests on its name.
    for (const PortDetails& port : AvailablePorts()) {
        const QString about = PortSummary(port);
        for (int i = 0; i < m_pList->count() && !about.isEmpty(); ++i) {
            if (m_pList->item(i)->text() == port.name)
                m_pList->item(i)->setToolTip(about);
        }
    }
    DoDataExchange(false);
    m_bInitialized = true;
    return true;
}

void CZq6OptionDialog::DoDataExchange(bool saveAndValidate)
{
    if (saveAndValidate) {
        const QList<QListWidgetItem*> selected = m_pList->selectedItems();
        m_strPortName = selected.isEmpty() ? QString() : selected.first()->text();
        return;
    }
    m_pList->clearSelection();
    m_pList->setCurrentRow(-1);
    for (int i = 0; i < m_pList->count(); ++i) {
        if (m_pList->item(i)->text().compare(m_strPortName, Qt::CaseInsensitive) == 0) {
            m_pList->setCurrentRow(i);
            m_pList->scrollToItem(m_pList->item(i));
            break;
        }
    }
}

void CZq6OptionDialog::showEvent(QShowEvent* event)
{
    if (!m_bInitialized)
        OnInitDialog();
    QDialog::showEvent(event);
}

void CZq6OptionDialog::accept()
{
    DoDataExchange(true);
    QDialog::accept();
}
