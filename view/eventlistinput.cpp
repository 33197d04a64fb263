// The list's keys and mouse: scrolling, the selection and its copy, the
// context menu of a row, the tooltip of a name cut short.

#include "db/backend/dbexception.h"
#include "db/record/dbstate.h"
#include "view/eventlistview.h"
#include "view/viewlayout.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

namespace {

// Rows read at a time while the selection is copied.
constexpr int kCopyBatch = 4096;
// More of a name than a tooltip shows.
constexpr qsizetype kLongestTip = 2000;

QString listLine(const RowTexts& t)
{
    const QChar tab(QLatin1Char('\t'));
    return t.date + tab + t.time + tab + t.userNo + tab + t.name + tab + t.timer;
}

} // namespace

void EventListView::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods & Qt::ShiftModifier;
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        return;
    }
    // Up and Down move the marked row, with Shift the selection along; with
    // no row marked they scroll a line.
    if ((event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) &&
        (mods & ~Qt::ShiftModifier) == Qt::NoModifier &&
        MoveMarked(event->key() == Qt::Key_Up ? -1 : 1, shift))
        return;
    // Home and End with or without Ctrl: the first or the last row.
    QScrollBar* bar = verticalScrollBar();
    if ((mods & ~Qt::ControlModifier) == Qt::NoModifier && event->key() == Qt::Key_Home) {
        bar->setValue(0);
        return;
    }
    if ((mods & ~Qt::ControlModifier) == Qt::NoModifier && event->key() == Qt::Key_End) {
        bar->setValue(bar->maximum());
        return;
    }
    // Page Up, Page Down, the arrows: one screen or one line.
    QAbstractScrollArea::keyPressEvent(event);
}

qint64 EventListView::LineOfRow(const JoinMark& row)
{
    if (!m_exact || !IsSetReadable())
        return -1;
    return g_pSet->RowOfEvent(row.eventIndex) + row.skip;
}

std::optional<JoinMark> EventListView::RowOnLine(qint64 line)
{
    if (!m_exact || !IsSetReadable() || line < 0 || line >= m_rowCount)
        return std::nullopt;
    if (const std::optional<JoinMark> known = g_pSet->KnownMark(line))
        return known;
    const QVector<ListRow> rows = g_pSet->FetchRows<ListRow>(line, 1);
    return rows.isEmpty() ? std::nullopt : g_pSet->KnownMark(line);
}

bool EventListView::MoveMarked(int lines, bool extend)
{
    if (!m_mark || !m_exact)
        return false;
    try {
        const qint64 line = LineOfRow(*m_mark);
        const std::optional<JoinMark> next =
            RowOnLine(std::clamp<qint64>(line + lines, 0, std::max<qint64>(0, m_rowCount - 1)));
        if (line < 0 || !next)
            return false;
        if (!extend || !m_anchor)
            m_anchor = *next;
        m_selection.Select(*m_anchor, *next, false);
        m_mark = *next;
        // Kept in view: scrolled by as little as it takes.
        const int lh = LineHeight();
        const qint64 y = LineOfRow(*next) * lh;
        QScrollBar* bar = verticalScrollBar();
        if (y < bar->value())
            bar->setValue(int(y));
        else if (y + lh > bar->value() + viewport()->height())
            bar->setValue(int(std::min<qint64>(y + lh - viewport()->height(), bar->maximum())));
        viewport()->update();
    } catch (const CDBException& e) {
        Fail(e.m_strError);
    }
    return true;
}

const EventListView::DrawnRow* EventListView::DrawnAt(QPoint point) const
{
    const int lh = LineHeight();
    const qint64 line = (verticalScrollBar()->value() + point.y()) / lh;
    const qint64 at = line - m_drawnFirstLine;
    if (point.y() < 0 || at < 0 || at >= m_drawn.size())
        return nullptr;
    return &m_drawn.at(at);
}

std::optional<JoinMark> EventListView::RowAt(QPoint point) const
{
    const DrawnRow* drawn = DrawnAt(point);
    return drawn ? std::optional<JoinMark>(drawn->mark) : std::nullopt;
}

void EventListView::ClickRow(const JoinMark& row, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers & Qt::ControlModifier;
    if ((modifiers & Qt::ShiftModifier) && m_anchor) {
        m_selection.Select(*m_anchor, row, ctrl);
    } else if (ctrl) {
        m_selection.Toggle(row);
        m_anchor = row;
    } else {
        m_selection.Select(row);
        m_anchor = row;
    }
    m_mark = row;
    viewport()->update();
}

void EventListView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    const std::optional<JoinMark> row = RowAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && row)
        ClickRow(*row, event->modifiers());
    QAbstractScrollArea::mousePressEvent(event);
}

void EventListView::mouseMoveEvent(QMouseEvent* event)
{
    // Dragging with the left button selects from where it began.
    const std::optional<JoinMark> row = RowAt(event->position().toPoint());
    if ((event->buttons() & Qt::LeftButton) && row && m_anchor && !(m_mark && *m_mark == *row)) {
        m_selection.Select(*m_anchor, *row, event->modifiers() & Qt::ControlModifier);
        m_mark = *row;
        viewport()->update();
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void EventListView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    // Given in the coordinates of the rows, as every event of the viewport.
    const DrawnRow* row = DrawnAt(event->pos());
    // The menu is for the row under the pointer: selected alone unless it is
    // among the rows selected, and where its Find goes on from.
    if (row && !m_selection.Contains(row->mark))
        ClickRow(row->mark, Qt::NoModifier);
    else if (row)
        m_mark = row->mark;
    FillContextMenu(menu, row);
    menu.exec(event->globalPos());
}

void EventListView::FillContextMenu(QMenu& menu, const DrawnRow* row)
{
    QAction* copy = menu.addAction(tr("&Copy"), this, &EventListView::CopySelection);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(!m_selection.IsEmpty());
    menu.addSeparator();
    const qint32 userNo = row ? row->row.userNo : 0;
    QAction* filter = menu.addAction(tr("&Filter by this user"), this,
                                     [this, userNo] { Q_EMIT FilterByUserRequested(userNo); });
    QAction* find = menu.addAction(tr("F&ind this user"), this,
                                   [this, userNo] { Q_EMIT FindUserRequested(userNo); });
    filter->setEnabled(row != nullptr);
    find->setEnabled(row != nullptr);
}

bool EventListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // The whole name of a row whose name is cut short.
        const auto* help = static_cast<QHelpEvent*>(event);
        const DrawnRow* row = DrawnAt(help->pos());
        const int x = help->pos().x();
        const bool onName =
            x >= ColumnLeft(NameColumn) && x < ColumnLeft(NameColumn) + ColumnWidth(NameColumn);
        if (row && onName) {
            const QString name = m_texts.Make(row->row).name;
            const int room = ColumnWidth(NameColumn) - 6;
            if (!name.isEmpty() && Fit().Elided(name, room) != name) {
                QToolTip::showText(
                    help->globalPos(),
                    name.size() > kLongestTip ? name.left(kLongestTip) + QChar(0x2026) : name,
                    viewport());
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void EventListView::SelectAll()
{
    if (!IsSetReadable())
        return;
    m_selection.SelectAll();
    viewport()->update();
}

QString EventListView::SelectedText(bool* more)
{
    if (more)
        *more = false;
    QStringList lines;
    if (!IsSetReadable() || m_selection.IsEmpty())
        return {};
    ListTexts texts;
    for (const RowSelection::Run& run : m_selection.Runs()) {
        // Rows are read from the first row of an event on; those of an event
        // read before are passed over.
        qint64 event = run.from.eventIndex;
        int seen = 0; // rows of `event` already looked at
        for (;;) {
            const QVector<ListRow> rows = g_pSet->FetchFromEvent<ListRow>(event, kCopyBatch);
            int skip = 0;
            bool past = false;
            for (qsizetype i = 0; i < rows.size() && !past; ++i) {
                skip = i > 0 && rows.at(i).eventIndex == rows.at(i - 1).eventIndex ? skip + 1 : 0;
                const JoinMark mark{rows.at(i).eventIndex, skip};
                if (mark.eventIndex == event && skip < seen)
                    continue;
                past = run.to < mark;
                if (past || !run.Contains(mark))
                    continue;
                if (lines.size() >= kMaxCopiedRows) {
                    if (more)
                        *more = true;
                    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
                }
                lines << listLine(texts.Make(rows.at(i)));
            }
            if (past || rows.size() < kCopyBatch)
                break;
            // The last event's rows may go on in the next batch; an event with
            // more rows than a batch holds is left at that.
            const qint64 last = rows.last().eventIndex;
            seen = int(std::count_if(rows.cbegin(), rows.cend(),
                                     [last](const ListRow& r) { return r.eventIndex == last; }));
            event = seen == rows.size() ? last + 1 : last;
            if (seen == rows.size())
                seen = 0;
        }
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void EventListView::CopySelection()
{
    if (m_selection.IsEmpty())
        return;
    QString text;
    bool more = false;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        text = SelectedText(&more);
        QApplication::restoreOverrideCursor();
    } catch (const CDBException& e) {
        QApplication::restoreOverrideCursor();
        Fail(e.m_strError);
        return;
    }
    QApplication::clipboard()->setText(text);
    const qint64 copied = text.count(QLatin1Char('\n'));
    const QLocale locale;
    Q_EMIT StatusMessage(
        more ? tr("Copied the first %1 of the selected rows; File > Export writes any number.")
                   .arg(locale.toString(copied))
        : copied == 1 ? tr("Copied 1 row.")
                      : tr("Copied %1 rows.").arg(locale.toString(copied)));
}
