#include "app/dialogs/zq6optiondialog.h"

#include "app/dialogs/dialogtitle.h"
#include "link/portlist.h"
#include "link/portname.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

QStringList SystemPortLister::PortNames() const
{
    return AvailablePortNames();
}

CZq6OptionDialog::CZq6OptionDialog(QWidget* pParent, const PortLister* ports)
    : QDialog(pParent), m_pPorts(ports ? ports : &m_systemPorts), m_pList(new QListWidget(this)),
      m_pField(new QLineEdit(this)), m_pProblem(new QLabel(this))
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
    m_pField->setObjectName(QStringLiteral("IDC_PORT"));
    label->setBuddy(m_pField);
    m_pProblem->setObjectName(QStringLiteral("problem"));
    m_pProblem->setStyleSheet(QStringLiteral("color: #b00020"));
    m_pProblem->setWordWrap(true);
    m_pProblem->setTextFormat(Qt::PlainText);
    m_pProblem->hide();

    // Names the list cannot offer: what else the field takes.
    auto* hint = new QLabel(
        tr("A port listed below, a device path, or a serial device server on the network: "
           "socket://HOST:PORT (raw TCP) or rfc2217://HOST:PORT."),
        this);
    hint->setObjectName(QStringLiteral("hint"));
    hint->setWordWrap(true);
    hint->setForegroundRole(QPalette::PlaceholderText);
    hint->setMinimumWidth(hint->fontMetrics().averageCharWidth() * 36);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_pField, 1, 0);
    grid->addWidget(hint, 2, 0);
    grid->addWidget(m_pList, 3, 0, 3, 1);
    grid->addWidget(ok, 1, 1);
    grid->addWidget(cancel, 2, 1);
    grid->addWidget(m_pProblem, 6, 0, 1, 2);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(0, 1);

    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_pField);
    setTabOrder(m_pField, m_pList);

    // A picked entry goes into the field; a typed name picks the entry equal
    // to it, or none, and stays as typed.
    connect(m_pList, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = m_pList->selectedItems();
        if (!selected.isEmpty())
            m_pField->setText(selected.first()->text());
    });
    connect(m_pField, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_pProblem->hide();
        const QSignalBlocker quiet(m_pList);
        SelectListed(text.trimmed());
    });

    connect(ok, &QPushButton::clicked, this, &CZq6OptionDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CZq6OptionDialog::reject);
    ok->setFocus();
    FitTitle(*this);
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

QListWidgetItem* CZq6OptionDialog::SelectListed(const QString& name)
{
    m_pList->clearSelection();
    m_pList->setCurrentRow(-1);
    for (int i = 0; i < m_pList->count(); ++i) {
        if (m_pList->item(i)->text().compare(name, Qt::CaseInsensitive) == 0) {
            m_pList->setCurrentRow(i);
            m_pList->scrollToItem(m_pList->item(i));
            return m_pList->item(i);
        }
    }
    return nullptr;
}

void CZq6OptionDialog::DoDataExchange(bool saveAndValidate)
{
    if (saveAndValidate) {
        // Nothing chosen keeps the port in use, also one given for this run.
        const QString typed = m_pField->text().trimmed();
        if (!typed.isEmpty())
            m_strPortName = typed;
        return;
    }
    const QListWidgetItem* listed = SelectListed(m_strPortName);
    m_pField->setText(listed ? listed->text() : m_strPortName);
}

void CZq6OptionDialog::showEvent(QShowEvent* event)
{
    if (!m_bInitialized)
        OnInitDialog();
    QDialog::showEvent(event);
}

void CZq6OptionDialog::accept()
{
    const QString typed = m_pField->text().trimmed();
    const PortName port = PortName::Parse(typed);
    if (!typed.isEmpty() && (port.IsNone() || !port.IsValid())) {
        m_pProblem->setText(port.Problem());
        m_pProblem->show();
        m_pField->setFocus();
        m_pField->selectAll();
        return;
    }
    DoDataExchange(true);
    QDialog::accept();
}
