#include "app/dialogs/exportdialog.h"

#include "app/dialogs/datefield.h"
#include "app/dialogs/dialogtitle.h"
#include "app/dialogs/shellui.h"
#include "db/backend/dbexception.h"
#include "db/location/nativename.h"
#include "db/location/outputcheck.h"
#include "db/location/stagedfile.h"
#include "db/messages.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"
#include "formats/eventexport.h"
#include "platform/filestatus.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The start of day, in use once ticked.
DateField* dateField(QDate day, QWidget* parent)
{
    auto* field = new DateField(DateField::Kind::DateAndTime, parent);
    field->SetMoment(day.toString(QStringLiteral("yyyy-MM-dd 00:00:00")));
    field->setEnabled(false);
    return field;
}

// Whether something is at path, also a link to one.
bool existing(const QString& path)
{
    return platform::StatusOf(EncodeFileName(path)).Exists();
}

} // namespace

ExportDialog::ExportDialog(const QString& suggestedPath, QWidget* parent,
                           const EventFilter& listFilter, ShellUi* ui)
    : QDialog(parent), m_path(new QLineEdit(suggestedPath, this)),
      m_useFrom(new QCheckBox(tr("&From"), this)), m_from(dateField(QDate::currentDate(), this)),
      m_useTo(new QCheckBox(tr("&Before"), this)),
      m_to(dateField(QDate::currentDate().addDays(1), this)),
      m_raw(new QCheckBox(tr("&Raw values"), this)),
      m_onlyFiltered(new QCheckBox(tr("&Only the filtered events"), this)), m_ui(ui),
      m_listFilter(listFilter)
{
    setWindowTitle(tr("Export Events"));
    m_path->setObjectName(QStringLiteral("path"));
    m_useFrom->setObjectName(QStringLiteral("useFrom"));
    m_from->setObjectName(QStringLiteral("from"));
    m_useTo->setObjectName(QStringLiteral("useTo"));
    m_to->setObjectName(QStringLiteral("to"));
    m_path->setMinimumWidth(320);
    auto* browse = new QPushButton(tr("B&rowse..."), this);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this] {
        QString path = QFileDialog::getSaveFileName(this, tr("Export Events"), m_path->text(),
                                                    tr("CSV files (*.csv)"));
        if (path.isEmpty())
            return;
        // The file dialog asked before choosing an existing file; not about
        // the one with the suffix added.
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".csv");
        else
            m_confirmed = path;
        m_path->setText(path);
    });
    connect(m_useFrom, &QCheckBox::toggled, m_from, &QWidget::setEnabled);
    connect(m_useTo, &QCheckBox::toggled, m_to, &QWidget::setEnabled);

    auto* grid = new QGridLayout;
    auto* pathLabel = new QLabel(tr("CSV &file"), this);
    pathLabel->setBuddy(m_path);
    grid->addWidget(pathLabel, 0, 0);
    grid->addWidget(m_path, 0, 1);
    grid->addWidget(browse, 0, 2);
    // Ticks level with their dates, above the reason a date may show.
    m_useFrom->setMinimumHeight(m_from->Edit()->sizeHint().height());
    grid->addWidget(m_useFrom, 1, 0, Qt::AlignTop);
    grid->addWidget(m_from, 1, 1);
    m_useTo->setMinimumHeight(m_to->Edit()->sizeHint().height());
    grid->addWidget(m_useTo, 2, 0, Qt::AlignTop);
    grid->addWidget(m_to, 2, 1);
    m_raw->setObjectName(QStringLiteral("raw"));
    m_raw->setToolTip(tr("Names that start with = + - @ as they are, without the ' that keeps a "
                         "spreadsheet from running them as formulas"));
    grid->addWidget(m_raw, 3, 0, 1, 3);
    m_onlyFiltered->setObjectName(QStringLiteral("onlyFiltered"));
    m_onlyFiltered->setChecked(!listFilter.IsEmpty());
    m_onlyFiltered->setVisible(!listFilter.IsEmpty());
    m_onlyFiltered->setToolTip(listFilter.Described());
    grid->addWidget(m_onlyFiltered, 4, 0, 1, 3);
    auto* note = new QLabel(tr("The rows of the list, oldest first, as comma-separated values "
                               "(UTF-8) that spreadsheets open. A name that a spreadsheet would "
                               "run as a formula gets a ' before it unless raw values are ticked."),
                            this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(buttons);
    FitTitle(*this);
}

QString ExportDialog::Path() const
{
    return m_path->text().trimmed();
}

JoinFilter ExportDialog::Filter() const
{
    JoinFilter filter = m_onlyFiltered->isChecked() ? m_listFilter : JoinFilter();
    // Both date ranges hold: the later start, the earlier end.
    if (m_useFrom->isChecked() && m_from->Moment())
        filter.from = std::max(filter.from, *m_from->Moment());
    if (m_useTo->isChecked() && m_to->Moment()) {
        const QString to = *m_to->Moment();
        filter.to = filter.to.isEmpty() ? to : std::min(filter.to, to);
    }
    return filter;
}

CsvText ExportDialog::Text() const
{
    return m_raw->isChecked() ? CsvText::Raw : CsvText::Guarded;
}

void ExportDialog::accept()
{
    // A date that cannot be read tells why under its field.
    if (DateField::FocusFirstInvalid({m_from, m_to}))
        return;
    const JoinFilter filter = Filter();
    if (Path().isEmpty()) {
        m_path->setFocus();
        return;
    }
    if (!filter.from.isEmpty() && !filter.to.isEmpty() && filter.to <= filter.from) {
        m_to->setFocus();
        return;
    }
    if (QFileInfo(Path()).suffix().isEmpty())
        m_path->setText(Path() + QStringLiteral(".csv"));
    if (Path() != m_confirmed && existing(Path())) {
        QMessageBox ask(QMessageBox::Question, windowTitle(),
                        tr("\"%1\" exists already. Replace it?").arg(ShownFileName(Path())),
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setTextFormat(Qt::PlainText);
        ask.setDefaultButton(QMessageBox::No);
        ShellUi shell;
        if ((m_ui ? m_ui : &shell)->Exec(ask) != QMessageBox::Yes) {
            m_path->setFocus();
            return;
        }
    }
    QDialog::accept();
}

bool ExportWithProgress(QWidget* parent, CDatabase& db, const QString& path,
                        const JoinFilter& filter, CsvText text, MessageSink* messages)
{
    auto report = [messages](const QString& text, UserMessage::Kind kind, const QString& detail) {
        if (messages)
            messages->ShowMessage({text, kind, detail});
    };
    const QString shown = ShownFileName(path);
    const QString over = OutputOverInputMessage(path, db.GetLocation());
    if (!over.isEmpty()) {
        report(QCoreApplication::translate("ExportDialog", "Cannot write \"%1\"").arg(shown),
               UserMessage::Kind::Error, over);
        return false;
    }
    StagedFile file(path);
    if (!file.Open()) {
        report(QCoreApplication::translate("ExportDialog", "Cannot write \"%1\"").arg(shown),
               UserMessage::Kind::Error, file.ErrorString());
        return false;
    }
    try {
        // A connection of its own: the list goes on reading through the
        // document's while the window is kept up to date.
        CDatabase own;
        own.Open(db.GetLocation());
        PreparedQuery span(own, QStringLiteral("SELECT min([INDEX]), max([INDEX]) FROM [EVENTS]"));
        span.Exec();
        const bool found = span.Next();
        const qint64 first = found ? span.Value(0).toLongLong() : 0;
        const qint64 last = found ? span.Value(1).toLongLong() : 0;
        span = PreparedQuery();

        QProgressDialog progress(QCoreApplication::translate("ExportDialog", "Exporting events..."),
                                 QCoreApplication::translate("ExportDialog", "Cancel"), 0, 1000,
                                 parent);
        progress.setWindowTitle(QCoreApplication::translate("ExportDialog", "Export Events"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        progress.setValue(0);
        const ExportOutcome outcome = ExportEventsCsv(
            own, filter, text,
            [&file](QByteArrayView piece) {
                if (!file.Append(piece))
                    throw CDBException(file.ErrorString());
            },
            [&](qint64, qint64 eventIndex) {
                if (last > first)
                    progress.setValue(int((eventIndex - first) * 1000 / (last - first + 1)));
                return !progress.wasCanceled();
            });
        progress.reset();
        if (outcome.stopped)
            return false; // the file is discarded
        if (!file.Commit())
            throw CDBException(file.ErrorString());
        report(QCoreApplication::translate("ExportDialog", "Number of exported rows:  %1")
                   .arg(outcome.rows),
               UserMessage::Kind::Outcome,
               QCoreApplication::translate("ExportDialog", "Written to \"%1\".")
                   .arg(ShownFileName(AbsolutePath(path))));
        return true;
    } catch (const CDBException& e) {
        report(QCoreApplication::translate("ExportDialog", "Cannot export to \"%1\"").arg(shown),
               UserMessage::Kind::Error, e.m_strError);
        return false;
    }
}
