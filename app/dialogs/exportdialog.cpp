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
#include <QSqlQuery>
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

CExportDialog::CExportDialog(const QString& suggestedPath, QWidget* parent,
                             const EventFilter& listFilter, ShellUi* ui)
    : QDialog(parent), m_pPath(new QLineEdit(suggestedPath, this)),
      m_pUseFrom(new QCheckBox(QStringLiteral("&From"), this)),
      m_pFrom(dateField(QDate::currentDate(), this)),
      m_pUseTo(new QCheckBox(QStringLiteral("&Before"), this)),
      m_pTo(dateField(QDate::currentDate().addDays(1), this)),
      m_pRaw(new QCheckBox(QStringLiteral("&Raw values"), this)),
      m_pOnlyFiltered(new QCheckBox(QStringLiteral("&Only the filtered events"), this)), m_pUi(ui),
      m_listFilter(listFilter)
{
    setWindowTitle(QStringLiteral("Export Events"));
    m_pPath->setObjectName(QStringLiteral("path"));
    m_pPath->setMinimumWidth(320);
    auto* browse = new QPushButton(QStringLiteral("B&rowse..."), this);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this] {
        QString path =
            QFileDialog::getSaveFileName(this, QStringLiteral("Export Events"), m_pPath->text(),
                                         QStringLiteral("CSV files (*.csv)"));
        if (path.isEmpty())
            return;
        // The file dialog asked before choosing an existing file; not about
        // the one with the suffix added.
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".csv");
        else
            m_confirmed = path;
        m_pPath->setText(path);
    });
    connect(m_pUseFrom, &QCheckBox::toggled, m_pFrom, &QWidget::setEnabled);
    connect(m_pUseTo, &QCheckBox::toggled, m_pTo, &QWidget::setEnabled);

    auto* grid = new QGridLayout;
    auto* pathLabel = new QLabel(QStringLiteral("CSV &file"), this);
    pathLabel->setBuddy(m_pPath);
    grid->addWidget(pathLabel, 0, 0);
    grid->addWidget(m_pPath, 0, 1);
    grid->addWidget(browse, 0, 2);
    // Ticks level with their dates, above the reason a date may show.
    m_pUseFrom->setMinimumHeight(m_pFrom->Edit()->sizeHint().height());
    grid->addWidget(m_pUseFrom, 1, 0, Qt::AlignTop);
    grid->addWidget(m_pFrom, 1, 1);
    m_pUseTo->setMinimumHeight(m_pTo->Edit()->sizeHint().height());
    grid->addWidget(m_pUseTo, 2, 0, Qt::AlignTop);
    grid->addWidget(m_pTo, 2, 1);
    m_pRaw->setObjectName(QStringLiteral("raw"));
    m_pRaw->setToolTip(QStringLiteral("Names that start with = + - @ as they are, without the ' "
                                      "that keeps a spreadsheet from running them as formulas"));
    grid->addWidget(m_pRaw, 3, 0, 1, 3);
    m_pOnlyFiltered->setObjectName(QStringLiteral("onlyFiltered"));
    m_pOnlyFiltered->setChecked(!listFilter.IsEmpty());
    m_pOnlyFiltered->setVisible(!listFilter.IsEmpty());
    m_pOnlyFiltered->setToolTip(listFilter.Described());
    grid->addWidget(m_pOnlyFiltered, 4, 0, 1, 3);
    auto* note = new QLabel(QStringLiteral("The rows of the list, oldest first, as comma-separated "
                                           "values (UTF-8) that spreadsheets open. A name that "
                                           "a spreadsheet would run as a formula gets a ' before "
                                           "it unless raw values are ticked."),
                            this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("IDOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("IDCANCEL"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(buttons);
    FitTitle(*this);
}

QString CExportDialog::Path() const
{
    return m_pPath->text().trimmed();
}

JoinFilter CExportDialog::Filter() const
{
    JoinFilter filter = m_pOnlyFiltered->isChecked() ? m_listFilter : JoinFilter();
    // Both date ranges hold: the later start, the earlier end.
    if (m_pUseFrom->isChecked() && m_pFrom->Moment())
        filter.from = std::max(filter.from, *m_pFrom->Moment());
    if (m_pUseTo->isChecked() && m_pTo->Moment()) {
        const QString to = *m_pTo->Moment();
        filter.to = filter.to.isEmpty() ? to : std::min(filter.to, to);
    }
    return filter;
}

CsvText CExportDialog::Text() const
{
    return m_pRaw->isChecked() ? CsvText::Raw : CsvText::Guarded;
}

void CExportDialog::accept()
{
    // A date that cannot be read tells why under its field.
    if (DateField::FocusFirstInvalid({m_pFrom, m_pTo}))
        return;
    const JoinFilter filter = Filter();
    if (Path().isEmpty()) {
        m_pPath->setFocus();
        return;
    }
    if (!filter.from.isEmpty() && !filter.to.isEmpty() && filter.to <= filter.from) {
        m_pTo->setFocus();
        return;
    }
    if (QFileInfo(Path()).suffix().isEmpty())
        m_pPath->setText(Path() + QStringLiteral(".csv"));
    if (Path() != m_confirmed && existing(Path())) {
        QMessageBox ask(QMessageBox::Question, windowTitle(),
                        tr("\"%1\" exists already. Replace it?").arg(ShownFileName(Path())),
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setTextFormat(Qt::PlainText);
        ask.setDefaultButton(QMessageBox::No);
        ShellUi shell;
        if ((m_pUi ? m_pUi : &shell)->DoModal(ask) != QMessageBox::Yes) {
            m_pPath->setFocus();
            return;
        }
    }
    QDialog::accept();
}

bool ExportWithProgress(QWidget* parent, CDatabase& db, const QString& path,
                        const JoinFilter& filter, CsvText text, MessageSink* messages)
{
    auto report = [messages](const QString& text, const QString& caption, const QString& detail) {
        if (messages)
            messages->ShowMessage({text, caption, detail});
    };
    const QString shown = ShownFileName(path);
    const QString over = OutputOverInputMessage(path, db.GetLocation());
    if (!over.isEmpty()) {
        report(QStringLiteral("Cannot write \"%1\"").arg(shown), QStringLiteral("Error"), over);
        return false;
    }
    StagedFile file(path);
    if (!file.Open()) {
        report(QStringLiteral("Cannot write \"%1\"").arg(shown), QStringLiteral("Error"),
               file.ErrorString());
        return false;
    }
    try {
        // A connection of its own: the list goes on reading through the
        // document's while the window is kept up to date.
        CDatabase own;
        own.Open(db.GetLocation());
        QSqlQuery span =
            own.Prepare(QStringLiteral("SELECT min([INDEX]), max([INDEX]) FROM [EVENTS]"));
        CDatabase::Exec(span);
        const qint64 first = span.next() ? span.value(0).toLongLong() : 0;
        const qint64 last = span.isValid() ? span.value(1).toLongLong() : 0;
        span = QSqlQuery();

        QProgressDialog progress(QStringLiteral("Exporting events..."), QStringLiteral("Cancel"), 0,
                                 1000, parent);
        progress.setWindowTitle(QStringLiteral("Export Events"));
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
        report(QStringLiteral("Number of exported rows:  %1").arg(outcome.rows),
               QStringLiteral("OK"),
               QCoreApplication::translate("CExportDialog", "Written to \"%1\".")
                   .arg(ShownFileName(AbsolutePath(path))));
        return true;
    } catch (const CDBException& e) {
        report(QStringLiteral("Cannot export to \"%1\"").arg(shown), QStringLiteral("Error"),
               e.m_strError);
        return false;
    }
}
