// The commands on the list of the open database: Go to Date, Find, Find Next
// and Find Previous, Filter and Clear Filter, Users, Export and Report.

#include "app/desktopapp.h"
#include "app/dialogs/exportdialog.h"
#include "app/dialogs/filterdialog.h"
#include "app/dialogs/finddialog.h"
#include "app/dialogs/gotodatedialog.h"
#include "app/dialogs/reportwindow.h"
#include "app/dialogs/usersdialog.h"
#include "app/mainwindow.h"
#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "view/eventlistview.h"

#include <QApplication>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStatusBar>

namespace {

// What a find looked for, as the messages name it.
QString FindText(const ListFind& find)
{
    return find.byNumber ? DesktopApp::tr("user number %1").arg(find.userNo)
                         : DesktopApp::tr("a user name containing \"%1\"").arg(find.text);
}

// The filter of the rows the list shows; none while no set is open.
EventFilter ListFilter()
{
    return g_pSet ? g_pSet->GetFilter() : EventFilter();
}

} // namespace

void DesktopApp::GoToDate()
{
    if (!RequireOpenDatabase())
        return;
    GoToDateDialog dialog(m_window.get());
    dialog.SetMoment(m_lastMoment);
    if (m_ui->Exec(dialog) != QDialog::Accepted)
        return;
    m_lastMoment = dialog.Moment();
    QString problem;
    UserMessage::Kind kind = UserMessage::Kind::Outcome;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        try {
            // Among the rows the list shows.
            const EventFilter filter = ListFilter();
            const QString events =
                filter.IsEmpty() ? tr("event") : tr("event of the filtered list");
            if (const std::optional<qint64> event = EventAtDate(g_db, m_lastMoment, filter)) {
                m_view->ShowRow({*event, 0});
            } else {
                const QString last = LastEventDate(g_db, filter);
                problem = last.isEmpty()
                              ? tr("There are no events in the list.")
                              : tr("No %1 is dated at or after %2: the last %1 is dated %3.")
                                    .arg(events, m_lastMoment, last);
            }
        } catch (const CDBException& e) {
            problem = g_db.ReadFailedMessage(e);
            kind = UserMessage::Kind::Error;
        }
    }
    if (!problem.isEmpty())
        m_document->Report(problem, kind);
}

void DesktopApp::Find()
{
    if (!RequireOpenDatabase())
        return;
    FindDialog dialog(m_window.get());
    if (m_lastFind)
        dialog.SetFind(*m_lastFind);
    if (m_ui->Exec(dialog) != QDialog::Accepted)
        return;
    m_lastFind = dialog.Find();
    FindAgain(true);
}

void DesktopApp::FindNext()
{
    FindAgain(true);
}

void DesktopApp::FindPrevious()
{
    FindAgain(false);
}

void DesktopApp::FindAgain(bool forward)
{
    if (!RequireOpenDatabase())
        return;
    if (!m_lastFind) {
        Find();
        return;
    }
    QString problem;
    UserMessage::Kind kind = UserMessage::Kind::Outcome;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        try {
            // From the row found or clicked last while it is on the screen,
            // else from the top line, that row too.
            std::optional<JoinMark> from = m_view->MarkedRowInView();
            const bool inclusive = !from;
            if (!from)
                from = m_view->TopRow();
            // Only the rows the list shows, counted as it counts them.
            const FindOutcome found =
                FindInList(g_db, *m_lastFind, from, forward, inclusive, ListFilter());
            if (found.found) {
                m_view->ShowRow(found.at);
                QStatusBar* bar = m_window->statusBar();
                if (!found.wrapped)
                    bar->clearMessage();
                else if (forward)
                    bar->showMessage(tr("Passed the end of the list; continued from the start."));
                else
                    bar->showMessage(tr("Passed the start of the list; continued from the end."));
            } else {
                problem = tr("No row of the list holds %1.").arg(FindText(*m_lastFind));
            }
        } catch (const CDBException& e) {
            problem = g_db.ReadFailedMessage(e);
            kind = UserMessage::Kind::Error;
        }
    }
    if (!problem.isEmpty())
        m_document->Report(problem, kind);
}

void DesktopApp::FilterList()
{
    if (!m_document->m_bDbOpen || !g_pSet) {
        m_document->Report(tr("The database is not opened !"), UserMessage::Kind::Error);
        return;
    }
    FilterDialog dialog(g_pSet->GetFilter(), m_window.get());
    if (m_ui->Exec(dialog) == QDialog::Accepted)
        m_view->ApplyFilter(dialog.Filter());
}

void DesktopApp::ClearFilter()
{
    if (!g_pSet || !g_pSet->IsFiltered())
        return;
    // The user keeps their place: the marked row, else the row on the top line.
    std::optional<JoinMark> place;
    bool marked = false;
    try {
        place = m_view->MarkedRowInView();
        marked = place.has_value();
        if (!place)
            place = m_view->TopRow();
    } catch (const CDBException&) {
        // Shown from the top, as after any filter.
    }
    m_view->ApplyFilter({});
    if (!place)
        return;
    try {
        if (marked)
            m_view->ShowRow(*place);
        else
            m_view->ScrollToRow(*place);
    } catch (const CDBException& e) {
        m_document->Report(g_db.ReadFailedMessage(e), UserMessage::Kind::Error);
    }
}

void DesktopApp::EditUsers()
{
    if (!RequireOpenDatabase())
        return;
    UsersDialog dialog(&g_db, m_ui, m_messages, m_window.get());
    if (dialog.Load() && m_ui->Exec(dialog) == QDialog::Accepted && dialog.Stored())
        m_document->UpdateAllViews();
}

void DesktopApp::ExportEvents()
{
    if (!RequireOpenDatabase())
        return;
    // Beside the database, named as it is.
    const QFileInfo db(g_db.GetPath());
    const QString suggested =
        db.fileName().isEmpty()
            ? QString()
            : db.absolutePath() + QLatin1Char('/') + db.completeBaseName() + QStringLiteral(".csv");
    ExportDialog dialog(suggested, m_window.get(), ListFilter(), m_ui);
    if (m_ui->Exec(dialog) == QDialog::Accepted)
        ExportWithProgress(m_window.get(), g_db, dialog.Path(), dialog.Filter(), dialog.Text(),
                           m_messages);
}

void DesktopApp::ShowReport()
{
    if (!RequireOpenDatabase())
        return;
    // The rows the list shows are the ones counted.
    OpenReportWindow(g_db, ListFilter(), m_messages, m_window.get());
}
