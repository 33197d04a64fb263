// View > Go to Date, Find, Find Next and Find Previous.

#include "app/dialogs/finddialog.h"
#include "app/dialogs/gotodatedialog.h"
#include "app/mainfrm.h"
#include "app/zq6.h"
#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "view/zq6view.h"

#include <QApplication>
#include <QScopeGuard>
#include <QStatusBar>

namespace {

// What a find looked for, as the messages name it.
QString findText(const ListFind& find)
{
    return find.byNumber ? QStringLiteral("user number %1").arg(find.userNo)
                         : QStringLiteral("a user name containing \"%1\"").arg(find.text);
}

} // namespace

void CZq6App::OnViewGotoDate()
{
    if (!m_pDoc->m_bDbOpen) {
        m_pDoc->Report(QStringLiteral("The database is not opened !"), QStringLiteral("Error"));
        return;
    }
    CGotoDateDialog dlg(m_pMainWnd.get());
    dlg.m_strMoment = m_lastMoment;
    if (m_pUi->DoModal(dlg) != QDialog::Accepted)
        return;
    m_lastMoment = dlg.m_strMoment;
    QString problem;
    QString caption = QStringLiteral("OK");
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        try {
            // Among the rows the list shows.
            const EventFilter filter = g_pSet ? g_pSet->GetFilter() : EventFilter();
            const QString events = filter.IsEmpty() ? QStringLiteral("event")
                                                    : QStringLiteral("event of the filtered list");
            if (const std::optional<qint64> event = EventAtDate(g_db, m_lastMoment, filter)) {
                m_pView->ShowRow({*event, 0});
            } else {
                const QString last = LastEventDate(g_db, filter);
                problem = last.isEmpty()
                              ? QStringLiteral("There are no events in the list.")
                              : QStringLiteral("No %1 is dated at or after %2: the last %1 is "
                                               "dated %3.")
                                    .arg(events, m_lastMoment, last);
            }
        } catch (const CDBException& e) {
            problem = g_db.ReadFailedMessage(e);
            caption = QStringLiteral("Error");
        }
    }
    if (!problem.isEmpty())
        m_pDoc->Report(problem, caption);
}

void CZq6App::OnEditFind()
{
    if (!m_pDoc->m_bDbOpen) {
        m_pDoc->Report(QStringLiteral("The database is not opened !"), QStringLiteral("Error"));
        return;
    }
    CFindDialog dlg(m_pMainWnd.get());
    if (m_lastFind)
        dlg.m_find = *m_lastFind;
    if (m_pUi->DoModal(dlg) != QDialog::Accepted)
        return;
    m_lastFind = dlg.m_find;
    OnEditFindAgain(true);
}

void CZq6App::OnEditFindAgain(bool forward)
{
    if (!m_pDoc->m_bDbOpen) {
        m_pDoc->Report(QStringLiteral("The database is not opened !"), QStringLiteral("Error"));
        return;
    }
    if (!m_lastFind) {
        OnEditFind();
        return;
    }
    QString problem;
    QString caption = QStringLiteral("OK");
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        try {
            // From the row found or clicked last while it is on the screen,
            // else from the top line, that row too.
            std::optional<JoinMark> from = m_pView->MarkedRowInView();
            const bool inclusive = !from;
            if (!from)
                from = m_pView->TopRow();
            // Only the rows the list shows, counted as it counts them.
            const FindOutcome found = FindInList(g_db, *m_lastFind, from, forward, inclusive,
                                                 g_pSet ? g_pSet->GetFilter() : EventFilter());
            if (found.found) {
                m_pView->ShowRow(found.at);
                if (QStatusBar* bar = m_pMainWnd->GetStatusBar()) {
                    if (found.wrapped)
                        bar->showMessage(
                            forward ? QStringLiteral(
                                          "Passed the end of the list; continued from the start.")
                                    : QStringLiteral(
                                          "Passed the start of the list; continued from the end."));
                    else
                        bar->clearMessage();
                }
            } else {
                problem = QStringLiteral("No row of the list holds %1.").arg(findText(*m_lastFind));
            }
        } catch (const CDBException& e) {
            problem = g_db.ReadFailedMessage(e);
            caption = QStringLiteral("Error");
        }
    }
    if (!problem.isEmpty())
        m_pDoc->Report(problem, caption);
}
