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
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

UserPeriodDialog::UserPeriodDialog(const UserPeriod& period, QWidget* parent)
    : QDialog(parent), m_name(new QLineEdit(period.name, this)),
      m_userNo(userNoBox(period.userNo, this)), m_start(dateField(period.start, this)),
      m_stop(dateField(users::IsOpenEnd(period.stop) ? period.start : period.stop, this)),
      m_noEnd(new QCheckBox(tr("No end"), this)), m_index(period.index)
{
    setWindowTitle(period.index || !period.name.isEmpty() ? tr("Edit User") : tr("Add User"));
    m_name->setObjectName(QStringLiteral("name"));
    m_userNo->setObjectName(QStringLiteral("userNo"));
    m_start->setObjectName(QStringLiteral("start"));
    m_stop->setObjectName(QStringLiteral("stop"));
    m_noEnd->setObjectName(QStringLiteral("noEnd"));
    m_noEnd->setChecked(period.stop.isEmpty() || users::IsOpenEnd(period.stop));
    m_stop->setEnabled(!m_noEnd->isChecked());
    connect(m_noEnd, &QCheckBox::toggled, m_stop, [this](bool on) { m_stop->setEnabled(!on); });
    auto* problems = new QLabel(this);
    problems->setObjectName(QStringLiteral("problems"));
    problems->setStyleSheet(QStringLiteral("color: #b00020"));
    problems->setWordWrap(true);
    problems->hide();

    auto* stop = new QHBoxLayout;
    stop->addWidget(m_stop, 1);
    stop->addWidget(m_noEnd, 0, Qt::AlignTop); // beside the date, above its reason
    auto* form = new QFormLayout;
    form->addRow(tr("&Name"), m_name);
    form->addRow(tr("&User number"), m_userNo);
    form->addRow(tr("&From"), m_start);
    // A row of two fields gets no label of its own: its mnemonic goes to the date.
    auto* stopLabel = new QLabel(tr("&To"), this);
    stopLabel->setBuddy(m_stop);
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
        if (DateField::FocusFirstInvalid({m_start, m_stop})) {
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

UserPeriod UserPeriodDialog::Period() const
{
    return {m_index, m_name->text().trimmed(), qint32(m_userNo->value()), textOf(m_start),
            m_noEnd->isChecked() ? QString::fromLatin1(users::kOpenEnd) : textOf(m_stop)};
}

HandOverDialog::HandOverDialog(qint32 userNo, QWidget* parent)
    : QDialog(parent), m_userNo(userNoBox(userNo, this)), m_name(new QLineEdit(this)),
      m_at(dateField(QString(), this))
{
    setWindowTitle(tr("Hand Over a User Number"));
    m_userNo->setObjectName(QStringLiteral("userNo"));
    m_name->setObjectName(QStringLiteral("name"));
    m_at->setObjectName(QStringLiteral("at"));
    auto* form = new QFormLayout;
    form->addRow(tr("&User number"), m_userNo);
    form->addRow(tr("&New holder"), m_name);
    form->addRow(tr("&From"), m_at);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("The period that holds the number at that moment ends "
                                    "there; the new holder's starts there."),
                                 this));
    layout->addLayout(form);
    layout->addWidget(okCancel(this));
    FitTitle(*this);
}

qint32 HandOverDialog::UserNo() const
{
    return qint32(m_userNo->value());
}

QString HandOverDialog::Name() const
{
    return m_name->text().trimmed();
}

QString HandOverDialog::Moment() const
{
    return textOf(m_at);
}

void HandOverDialog::accept()
{
    if (!DateField::FocusFirstInvalid({m_at}))
        QDialog::accept();
}

UsersDialog::UsersDialog(CDatabase* db, ShellUi* ui, MessageSink* messages, QWidget* parent)
    : QDialog(parent), m_db(db), m_ui(ui), m_messages(messages), m_table(new QTableView(this)),
      m_model(new QStandardItemModel(0, 4, this))
{
    setWindowTitle(tr("Users"));
    m_model->setHorizontalHeaderLabels({tr("Name"), tr("User number"), tr("From"), tr("To")});
    m_table->setObjectName(QStringLiteral("users"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    // Names may be long: theirs is the column cut short (the whole name in
    // the tooltip), the numbers and dates show whole.
    m_table->setItemDelegate(new WholeTextTips(m_table));
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideRight);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Interactive);
    header->setStretchLastSection(true);
    connect(m_table, &QTableView::doubleClicked, this, &UsersDialog::Edit);

    auto* buttons = new QVBoxLayout;
    const struct
    {
        const char* name;
        const char* text;
        void (UsersDialog::*slot)();
    } commands[] = {{"add", QT_TR_NOOP("&Add..."), &UsersDialog::Add},
                    {"edit", QT_TR_NOOP("&Edit..."), &UsersDialog::Edit},
                    {"remove", QT_TR_NOOP("&Remove"), &UsersDialog::Remove},
                    {"handOver", QT_TR_NOOP("&Hand over..."), &UsersDialog::HandOver}};
    for (const auto& c : commands) {
        auto* button = new QPushButton(tr(c.text), this);
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
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    resize(640, 360);
    FitTitle(*this);
}

bool UsersDialog::Load()
{
    try {
        m_loaded = users::Read(*m_db);
    } catch (const CDBException& e) {
        Report(e.m_strError);
        return false;
    }
    m_periods = m_loaded;
    Refill(0);
    return true;
}

int UsersDialog::SelectedRow() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void UsersDialog::Refill(int select)
{
    m_model->removeRows(0, m_model->rowCount());
    // Each overlapping row tells the overlaps of its number: one text for all
    // of them, a few lines however many periods overlap.
    QVector<QString> overlapsOf(m_periods.size());
    for (const users::NumberOverlaps& number : users::FindOverlaps(m_periods)) {
        QStringList lines = users::DescribeOverlaps(m_periods, number);
        for (QString& line : lines)
            line.prepend(tr("Overlaps: "));
        const QString text = lines.join(QLatin1Char('\n'));
        for (const int row : number.periods)
            overlapsOf[row] = text;
    }
    for (int row = 0; row < m_periods.size(); ++row) {
        const UserPeriod& p = m_periods.at(row);
        QList<QStandardItem*> items;
        for (const QString& text : {VisibleText(p.name), QString::number(p.userNo), p.start,
                                    users::IsOpenEnd(p.stop) ? tr("no end") : p.stop}) {
            auto* item = new QStandardItem(text);
            item->setEditable(false);
            if (!overlapsOf.at(row).isEmpty()) {
                item->setBackground(kOverlapColour);
                item->setToolTip(overlapsOf.at(row));
            }
            items << item;
        }
        items.at(1)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_model->appendRow(items);
    }
    // As wide as the longest name, up to about 24 characters.
    m_table->resizeColumnToContents(0);
    const int widest = m_table->fontMetrics().averageCharWidth() * 24;
    if (m_table->columnWidth(0) > widest)
        m_table->setColumnWidth(0, widest);
    if (select >= 0 && select < m_periods.size())
        m_table->selectRow(select);
}

void UsersDialog::Report(const QString& text) const
{
    if (m_messages)
        m_messages->ShowMessage({text, UserMessage::Kind::Error, {}, false});
}

void UsersDialog::Add()
{
    const int row = SelectedRow();
    UserPeriod fresh;
    fresh.userNo = row >= 0 ? m_periods.at(row).userNo : 0;
    UserPeriodDialog dlg(fresh, this);
    if (m_ui->Exec(dlg) != QDialog::Accepted)
        return;
    const UserPeriod added = dlg.Period();
    m_periods.append(added);
    users::Sort(m_periods);
    Refill(int(m_periods.lastIndexOf(added)));
}

void UsersDialog::Edit()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    UserPeriodDialog dlg(m_periods.at(row), this);
    if (m_ui->Exec(dlg) != QDialog::Accepted)
        return;
    const UserPeriod edited = dlg.Period();
    m_periods[row] = edited;
    users::Sort(m_periods);
    Refill(int(m_periods.indexOf(edited)));
}

void UsersDialog::Remove()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    m_periods.removeAt(row);
    Refill(std::min(row, int(m_periods.size()) - 1));
}

void UsersDialog::HandOver()
{
    const int row = SelectedRow();
    HandOverDialog dlg(row >= 0 ? m_periods.at(row).userNo : 0, this);
    if (m_ui->Exec(dlg) != QDialog::Accepted)
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

void UsersDialog::accept()
{
    const users::Changes changes = users::Diff(m_loaded, m_periods);
    try {
        users::Apply(*m_db, changes);
    } catch (const CDBException& e) {
        Report(e.m_strError);
        return;
    }
    m_stored = !changes.IsEmpty();
    QDialog::accept();
}
