#include "app/dialogs/optionsdialog.h"

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

OptionsDialog::OptionsDialog(QWidget* parent, const PortLister* ports)
    : QDialog(parent), m_ports(ports ? ports : &m_systemPorts), m_list(new QListWidget(this)),
      m_field(new QLineEdit(this)), m_problem(new QLabel(this))
{
    setWindowTitle(tr("Options"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* ok = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    auto* label = new QLabel(tr("Serial Port"), this);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    cancel->setAutoDefault(false);
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));
    m_list->setObjectName(QStringLiteral("portList"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list->setMinimumSize(90, 64);
    m_field->setObjectName(QStringLiteral("portField"));
    label->setBuddy(m_field);
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setStyleSheet(QStringLiteral("color: #b00020"));
    m_problem->setWordWrap(true);
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->hide();

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
    grid->addWidget(m_field, 1, 0);
    grid->addWidget(hint, 2, 0);
    grid->addWidget(m_list, 3, 0, 3, 1);
    grid->addWidget(ok, 1, 1);
    grid->addWidget(cancel, 2, 1);
    grid->addWidget(m_problem, 6, 0, 1, 2);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(0, 1);

    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_field);
    setTabOrder(m_field, m_list);

    // A picked entry goes into the field; a typed name picks the entry equal
    // to it, or none, and stays as typed.
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = m_list->selectedItems();
        if (!selected.isEmpty())
            m_field->setText(selected.first()->text());
    });
    connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_problem->hide();
        const QSignalBlocker quiet(m_list);
        SelectListed(text.trimmed());
    });

    connect(ok, &QPushButton::clicked, this, &OptionsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &OptionsDialog::reject);
    ok->setFocus();
    FillList();
    FitTitle(*this);
}

void OptionsDialog::FillList()
{
    // Sorted without regard to case, duplicates kept, as a sorted list box
    // places its entries.
    QStringList names = m_ports->PortNames();
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    m_list->clear();
    m_list->addItems(names);
    // What the system knows of an adapter shows when the pointer rests on its name.
    for (const PortDetails& port : AvailablePorts()) {
        const QString about = PortSummary(port);
        for (int i = 0; i < m_list->count() && !about.isEmpty(); ++i) {
            if (m_list->item(i)->text() == port.name)
                m_list->item(i)->setToolTip(about);
        }
    }
}

QListWidgetItem* OptionsDialog::SelectListed(const QString& name)
{
    m_list->clearSelection();
    m_list->setCurrentRow(-1);
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->text().compare(name, Qt::CaseInsensitive) == 0) {
            m_list->setCurrentRow(i);
            m_list->scrollToItem(m_list->item(i));
            return m_list->item(i);
        }
    }
    return nullptr;
}

void OptionsDialog::SetPort(const ::PortName& port)
{
    m_portSet = port;
    m_chosen = port;
    const QListWidgetItem* listed = SelectListed(port.Given());
    m_field->setText(listed ? listed->text() : port.Given());
}

void OptionsDialog::accept()
{
    // Nothing chosen keeps the port in use, also one given for this run.
    const QString typed = m_field->text().trimmed();
    const ::PortName port = typed.isEmpty() ? m_portSet : ::PortName::Parse(typed);
    if (!typed.isEmpty() && (port.IsNone() || !port.IsValid())) {
        m_problem->setText(port.Problem());
        m_problem->show();
        m_field->setFocus();
        m_field->selectAll();
        return;
    }
    m_chosen = port;
    QDialog::accept();
}
