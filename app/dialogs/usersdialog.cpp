#include "app/dialogs/usersdialog.h"

#include "app/dialogs/datefield.h"
#include "app/dialogs/dialogtitle.h"
#include "app/dialogs/shellui.h"
#include "db/backend/dbexception.h"
#include "db/messages.h"
#include "db/record/visibletext.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

const QColor kOverlapColour(255, 222, 173);

// A field showing the stored moment, or now to the minute when there is none.
DateField* dateField(const QString& stored, QWidget* parent)
{
    auto* field = new DateField(DateField::Kind::DateAndTime, parent);
    field->SetMoment(users::ParseDateTime(stored).value_or(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:00"))));
    return field;
}

// The moment as stored, or the text as typed when it cannot be read (which
// users::Check then names).
QString textOf(const DateField* field)
{
    return field->Moment().value_or(field->Edit()->text());
}

// A cell whose text does not fit shows the whole text as its tooltip, before
// the item's own tooltip.
class WholeTextTips : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data(Qt::DisplayRole).toString();
        const QString own = index.data(Qt::ToolTipRole).toString();
        const bool cut = sizeHint(option, index).width() > option.rect.width();
        QStringList lines;
        if (cut)
            lines << text;
        if (!own.isEmpty())
            lines << own;
        if (lines.isEmpty()) {
            QToolTip::hideText();
            return true;
        }
        QToolTip::showText(event->globalPos(), lines.join(QLatin1Char('\n')), view, option.rect);
        return true;
    }
};

QSpinBox* userNoBox(qint32 value, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setRange(users::kMinUserNo, users::kMaxUserNo);
    box->setValue(value);
    return box;
}

QDialogButtonBox* okCancel(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("IDOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("IDCANCEL"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

CUserPeriodDialog::CUserPeriodDialog(const UserPeriod& period, QWidget* parent)
    : QDialog(parent), m_pName(new QLineEdit(period.name, this)),
      m_pUserNo(userNoBox(period.userNo, this)), m_pStart(dateField(period.start, this)),
      m_pStop(dateField(users::IsOpenEnd(period.stop) ? period.start : period.stop, this)),
      m_pNoEnd(new QCheckBox(QStringLiteral("No end"), this)), m_index(period.index)
{
    setWindowTitle(period.index || !period.name.isEmpty() ? QStringLiteral("Edit User")
                                                          : QStringLiteral("Add User"));
    m_pName->setObjectName(QStringLiteral("name"));
    m_pNoEnd->setChecked(period.stop.isEmpty() || users::IsOpenEnd(period.stop));
    m_pStop->setEnabled(!m_pNoEnd->isChecked());
    connect(m_pNoEnd, &QCheckBox::toggled, m_pStop, [this](bool on) { m_pStop->setEnabled(!on); });
    auto* problems = new QLabel(this);
    problems->setObjectName(QStringLiteral("problems"));
    problems->setStyleSheet(QStringLiteral("color: #b00020"));
    problems->setWordWrap(true);
    problems->hide();

    auto* stop = new QHBoxLayout;
    stop->addWidget(m_pStop, 1);
    stop->addWidget(m_pNoEnd, 0, Qt::AlignTop); // beside the date, above its reason
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name"), m_pName);
    form->addRow(QStringLiteral("&User number"), m_pUserNo);
    form->addRow(QStringLiteral("&From"), m_pStart);
    // A row of two fields gets no label of its own: its mnemonic goes to the date.
    auto* stopLabel = new QLabel(QStringLiteral("&To"), this);
    stopLabel->setBuddy(m_pStop);
    // Its underlined mnemonic is drawn without the kerning that the size
    // hint counts on: "To" would lose part of its "o".
    stopLabel->setMinimumWidth(stopLabel->sizeHint().width() +
                               stopLabel->fontMetrics().averageCharWidth());
    form->addRow(stopLabel, stop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problems);
    auto* buttons = okCancel(this);
    layout->addWidget(buttons);
    // OK only with a period that can be stored; what is wrong shows here.
    disconnect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, this, [this, problems] {
        // A date that cannot be read tells why under its field.
        if (DateField::FocusFirstInvalid({m_pStart, m_pStop})) {
            problems->hide();
            return;
        }
        const QStringList found = users::Check(Period());
        problems->setText(found.join(QLatin1Char('\n')));
        problems->setVisible(!found.isEmpty());
        FitHeight(*this);
        if (found.isEmpty())
            accept();
    });
    FitTitle(*this);
}

UserPeriod CUserPeriodDialog::Period() const
{
    return {m_index, m_pName->text().trimmed(), qint32(m_pUserNo->value()), textOf(m_pStart),
            m_pNoEnd->isChecked() ? QString::fromLatin1(users::kOpenEnd) : textOf(m_pStop)};
}

CHandOverDialog::CHandOverDialog(qint32 userNo, QWidget* parent)
    : QDialog(parent), m_pUserNo(userNoBox(userNo, this)), m_pName(new QLineEdit(this)),
      m_pAt(dateField(QString(), this))
{
    setWindowTitle(QStringLiteral("Hand Over a User Number"));
    m_pName->setObjectName(QStringLiteral("name"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&User number"), m_pUserNo);
    form->addRow(QStringLiteral("&New holder"), m_pName);
    form->addRow(QStringLiteral("&From"), m_pAt);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The period that holds the number at that moment "
                                                "ends there; the new holder's starts there."),
                                 this));
    layout->addLayout(form);
    layout->addWidget(okCancel(this));
    FitTitle(*this);
}

qint32 CHandOverDialog::UserNo() const
{
    return qint32(m_pUserNo->value());
}

QString CHandOverDialog::Name() const
{
    return m_pName->text().trimmed();
}

QString CHandOverDialog::Moment() const
{
    return textOf(m_pAt);
}

void CHandOverDialog::accept()
{
    if (!DateField::FocusFirstInvalid({m_pAt}))
        QDialog::accept();
}

CUsersDialog::CUsersDialog(CDatabase* db, ShellUi* ui, MessageSink* messages, QWidget* parent)
    : QDialog(parent), m_pDb(db), m_pUi(ui), m_pMessages(messages), m_pTable(new QTableView(this)),
      m_pModel(new QStandardItemModel(0, 4, this))
{
    setWindowTitle(QStringLiteral("Users"));
    m_pModel->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("User number"),
                                         QStringLiteral("From"), QStringLiteral("To")});
    m_pTable->setObjectName(QStringLiteral("users"));
    m_pTable->setModel(m_pModel);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->verticalHeader()->hide();
    // Names may be long: theirs is the column cut short (the whole name in
    // the tooltip), the numbers and dates show whole.
    m_pTable->setItemDelegate(new WholeTextTips(m_pTable));
    m_pTable->setWordWrap(false);
    m_pTable->setTextElideMode(Qt::ElideRight);
    QHeaderView* header = m_pTable->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Interactive);
    header->setStretchLastSection(true);
    connect(m_pTable, &QTableView::doubleClicked, this, &CUsersDialog::OnEdit);

    auto* buttons = new QVBoxLayout;
    const struct
    {
        const char* name;
        const char* text;
        void (CUsersDialog::*slot)();
    } commands[] = {{"add", "&Add...", &CUsersDialog::OnAdd},
                    {"edit", "&Edit...", &CUsersDialog::OnEdit},
                    {"remove", "&Remove", &CUsersDialog::OnRemove},
                    {"handOver", "&Hand over...", &CUsersDialog::OnHandOver}};
    for (const auto& c : commands) {
        auto* button = new QPushButton(QString::fromLatin1(c.text), this);
        button->setObjectName(QLatin1String(c.name));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, c.slot);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    auto* ok = okCancel(this);
    ok->setOrientation(Qt::Vertical);
    buttons->addWidget(ok);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_pTable, 1);
    layout->addLayout(buttons);
    resize(640, 360);
    FitTitle(*this);
}

bool CUsersDialog::Load()
{
    try {
        m_loaded = users::Read(*m_pDb);
    } catch (const CDBException& e) {
        Report(e.m_strError);
        return false;
    }
    m_periods = m_loaded;
    Refill(0);
    return true;
}

int CUsersDialog::SelectedRow() const
{
    const QModelIndexList rows = m_pTable->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CUsersDialog::Refill(int select)
{
    m_pModel->removeRows(0, m_pModel->rowCount());
    // Each overlapping row tells the overlaps of its number: one text for all
    // of them, a few lines however many periods overlap.
    QVector<QString> overlapsOf(m_periods.size());
    for (const users::NumberOverlaps& number : users::FindOverlaps(m_periods)) {
        QStringList lines = users::DescribeOverlaps(m_periods, number);
        for (QString& line : lines)
            line.prepend(QStringLiteral("Overlaps: "));
        const QString text = lines.join(QLatin1Char('\n'));
        for (const int row : number.periods)
            overlapsOf[row] = text;
    }
    for (int row = 0; row < m_periods.size(); ++row) {
        const UserPeriod& p = m_periods.at(row);
        QList<QStandardItem*> items;
        for (const QString& text : {VisibleText(p.name), QString::number(p.userNo), p.start,
                                    users::IsOpenEnd(p.stop) ? QStringLiteral("no end") : p.stop}) {
            auto* item = new QStandardItem(text);
            item->setEditable(false);
            if (!overlapsOf.at(row).isEmpty()) {
                item->setBackground(kOverlapColour);
                item->setToolTip(overlapsOf.at(row));
            }
            items << item;
        }
        items.at(1)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_pModel->appendRow(items);
    }
    // As wide as the longest name, up to about 24 characters.
    m_pTable->resizeColumnToContents(0);
    const int widest = m_pTable->fontMetrics().averageCharWidth() * 24;
    if (m_pTable->columnWidth(0) > widest)
        m_pTable->setColumnWidth(0, widest);
    if (select >= 0 && select < m_periods.size())
        m_pTable->selectRow(select);
}

void CUsersDialog::Report(const QString& text) const
{
    if (m_pMessages)
        m_pMessages->ShowMessage({text, QStringLiteral("Error"), {}, false});
}

void CUsersDialog::OnAdd()
{
    const int row = SelectedRow();
    UserPeriod fresh;
    fresh.userNo = row >= 0 ? m_periods.at(row).userNo : 0;
    CUserPeriodDialog dlg(fresh, this);
    if (m_pUi->DoModal(dlg) != QDialog::Accepted)
        return;
    const UserPeriod added = dlg.Period();
    m_periods.append(added);
    users::Sort(m_periods);
    Refill(int(m_periods.lastIndexOf(added)));
}

void CUsersDialog::OnEdit()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    CUserPeriodDialog dlg(m_periods.at(row), this);
    if (m_pUi->DoModal(dlg) != QDialog::Accepted)
        return;
    const UserPeriod edited = dlg.Period();
    m_periods[row] = edited;
    users::Sort(m_periods);
    Refill(int(m_periods.indexOf(edited)));
}

void CUsersDialog::OnRemove()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    m_periods.removeAt(row);
    Refill(std::min(row, int(m_periods.size()) - 1));
}

void CUsersDialog::OnHandOver()
{
    const int row = SelectedRow();
    CHandOverDialog dlg(row >= 0 ? m_periods.at(row).userNo : 0, this);
    if (m_pUi->DoModal(dlg) != QDialog::Accepted)
        return;
    const QString error = users::HandOver(m_periods, dlg.UserNo(), dlg.Name(), dlg.Moment());
    if (!error.isEmpty()) {
        Report(error);
        return;
    }
    for (int i = 0; i < m_periods.size(); ++i) {
        if (m_periods.at(i).index == 0 && m_periods.at(i).userNo == dlg.UserNo() &&
            m_periods.at(i).start == dlg.Moment())
            Refill(i);
    }
}

void CUsersDialog::accept()
{
    const users::Changes changes = users::Diff(m_loaded, m_periods);
    try {
        users::Apply(*m_pDb, changes);
    } catch (const CDBException& e) {
        Report(e.m_strError);
        return;
    }
    m_bStored = !changes.IsEmpty();
    QDialog::accept();
}
