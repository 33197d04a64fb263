#pragma once

#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "formats/rowtext.h"
#include "view/listtexts.h"
#include "view/rowselection.h"
#include "view/textfit.h"

#include <QAbstractScrollArea>
#include <optional>

class QHeaderView;
class QLabel;
class QMenu;
class QPainter;

// The event list: one line for every row of the joined event set, in event
// INDEX order, under a header of its five columns (date, time, user number,
// user name, timer), whose widths the user may change and which are kept for
// the next start. Read-only: rows can be selected and copied as the lines of
// `zqreader-cli list`; their context menu also filters by and finds the
// row's user (told to the application, which owns the filter and the find).
//
// The row count is taken when the document says the data changed (the
// initial update after a database was opened, an update after a download);
// a paint reads just the rows in view through the set's windowed access, so
// its cost does not depend on the number of events. When another program has
// changed more than the end of the log since, the set counts again during
// the paint, and the view takes the new count.
//
// A large set is counted on a worker thread. Until that count is there, a
// line of the list stands for an event INDEX between the smallest and the
// largest: the screen shows the rows from the first event at or after the
// INDEX of its top line on, and the last rows when it reaches the end. Once
// the count arrives, the row at the top keeps its place.
//
// When the data changes, the row at the top stays at the top; a list
// scrolled to its end stays at its end, so that new rows come into view.
//
// A read that fails because the connection to a server database broke is
// not an error to report: the view says ConnectionLost() and, while the
// server is away (SetServerAway()), keeps drawing the rows it drew last and
// reads nothing; back, it counts anew, its rows in place until the new count
// is there.
class EventListView : public QAbstractScrollArea, public CDocView
{
    Q_OBJECT

public:
    enum Column
    {
        DateColumn,
        TimeColumn,
        UserNoColumn,
        NameColumn,
        TimerColumn,
        ColumnCount
    };
    // Copying more rows at once would hold them all in memory; Export
    // writes any number.
    static constexpr qint64 kMaxCopiedRows = 100000;

    explicit EventListView(CZq6Doc* document, QWidget* parent = nullptr);
    ~EventListView() override;

    CZq6Doc* Document() const { return m_document; }

    // After a database was opened or created, or a new document started:
    // re-open the set in event order and count its rows from the start.
    void ShowFromStart();
    // After a download, or whenever the data may have changed: count again,
    // only the new rows when events were just appended.
    void OnUpdate() override;
    // Shows only the rows filter lets through (an empty filter: all), from
    // the top, and counts them; the bar under the list tells how many.
    void ApplyFilter(const EventFilter& filter);
    // The text of the bar under the list; empty when it is hidden.
    QString FilterBarText() const;
    // What the status bar says of the list: how many events, and the filter.
    QString CountText() const;

    // While away, the rows drawn last stay and nothing is read; once back,
    // the set (opened anew on the new connection) is counted again.
    void SetServerAway(bool away);
    bool IsServerAway() const { return m_serverAway; }

    // What the list says while no database is open.
    static QString StartHint() { return tr("File > New Database or File > Open Database..."); }

    int LineHeight() const;
    // The rows, or while they are being counted, the span of event INDEX.
    qint64 RowCount() const { return m_rowCount; }
    bool IsRowCountExact() const { return m_exact; }
    qint64 ContentHeight() const;

    // Go to Date and Find (eventlistseek.cpp): the row is scrolled to the top
    // line, as far as the end of the list allows, and marked until another
    // one is or another database is opened. Further finds go on from the
    // marked row, else from the row on the top line.
    void ShowRow(JoinMark row);
    std::optional<JoinMark> MarkedRow() const { return m_mark; }
    std::optional<JoinMark> TopRow();
    // The marked row when it is on the screen; where Find goes on from.
    std::optional<JoinMark> MarkedRowInView();
    // Scrolls row to the top line, as far as the end of the list allows,
    // without marking it.
    void ScrollToRow(JoinMark row);

    // The selection: rows clicked (with Shift, Ctrl), picked with Shift and
    // the arrows, or all (Ctrl+A). A row found is selected alone.
    const RowSelection& Selection() const { return m_selection; }
    void SelectAll();
    // The selected rows as the lines `zqreader-cli list` prints, tab-separated,
    // at most kMaxCopiedRows of them; *more: whether there were more.
    QString SelectedText(bool* more = nullptr);
    // Puts SelectedText() on the clipboard and says in the status bar what
    // was copied. Nothing happens when no row is selected.
    void CopySelection();

    QHeaderView* Header() const { return m_header; }
    // Where column c's texts go in the viewport: its left edge and width.
    int ColumnLeft(int c) const;
    int ColumnWidth(int c) const;
    // The row drawn at a point of the viewport, when one was.
    std::optional<JoinMark> RowAt(QPoint point) const;

Q_SIGNALS:
    // The rows or their count changed: CountText() may say something else.
    void CountChanged();
    // A word for the status bar.
    void StatusMessage(const QString& text);
    // A read failed because the connection to the server broke; told once,
    // from the event loop, until SetServerAway(false).
    void ConnectionLost();
    // Asked for in the context menu of a row.
    void FilterByUserRequested(qint32 userNo);
    void FindUserRequested(qint32 userNo);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

    // Draws one text with its top-left corner at (x, y) of the viewport,
    // cut at clipRight (no limit when clipRight <= x).
    virtual void DrawClippedText(QPainter& painter, int x, int y, const QString& text,
                                 int clipRight);

private:
    enum class Count
    {
        All,
        Changed
    };

    bool IsSetReadable() const;
    void Recount(Count how);
    void OnCountDone();
    // Takes the set's count, or the span of its events while it is being
    // counted, keeping the top row in place.
    void FollowSet();
    void UpdateScrollSizes();
    // "Filtered: N of M events" under the list while a filter is set.
    void UpdateFilterBar();
    // The header above the rows and the filter bar below them.
    void UpdateMargins();
    void MakeHeader();
    void StoreColumnWidths() const;
    int MinimumColumnWidth(int c) const;
    // A drawn row, by its line.
    struct DrawnRow
    {
        JoinMark mark;
        ListRow row;
    };
    const DrawnRow* DrawnAt(QPoint point) const;
    // Moves the marked row a line up or down (with extend, the selection from
    // the anchor grows with it); false when there is no marked row to move.
    bool MoveMarked(int lines, bool extend);
    // The line of a row, when counted; -1 otherwise.
    qint64 LineOfRow(const JoinMark& row);
    // The place of the row on a line, when counted.
    std::optional<JoinMark> RowOnLine(qint64 line);
    void ClickRow(const JoinMark& row, Qt::KeyboardModifiers modifiers);
    void FillContextMenu(QMenu& menu, const DrawnRow* row);
    void DrawMarkedRows(QPainter& painter, const QVector<DrawnRow>& drawn, qint64 firstLine,
                        qint64 top, const QRect& area);
    // The rows drawn last, where they were, while the server is away.
    void DrawKeptRows(const QRect& area);
    // Whether a read failed because the server's connection broke; then the
    // view is away from now on.
    bool LostServer();
    void DrawCell(QPainter& painter, int column, int y, const QString& text);
    void DrawMarkFrame(QPainter& painter, const QRect& band);
    void Fail(const QString& error);
    QVector<ListRow> RowsFromTop(qint64 topLine, qint64 lines);
    void DrawRows(QPainter& painter, const QVector<ListRow>& rows, qint64 firstLine, qint64 top,
                  const QRect& area);
    const TextFit& Fit();
    // The places of rows read from firstLine on.
    QVector<JoinMark> MarksOf(const QVector<ListRow>& rows, qint64 firstLine) const;
    void DrawStartHint();

    CZq6Doc* m_document;
    qint64 m_rowCount = 0;
    bool m_exact = true;
    CZq6Set::EventSpan m_span; // while not exact
    quint64 m_countSerial = 0; // of the set's count that m_rowCount comes from
    bool m_failed = false;     // a database error was met and reported
    bool m_serverAway = false; // see SetServerAway()

    // The row drawn last on the top line: its event, its place among the
    // event's rows (0 while not exact), whether it belongs to the last screen.
    bool m_topKnown = false;
    JoinMark m_top;
    qint64 m_topLine = 0; // the line it was drawn on
    bool m_topAtEnd = false;

    std::optional<JoinMark> m_mark;   // the row found or clicked last
    std::optional<JoinMark> m_anchor; // where Shift extends the selection from
    RowSelection m_selection;

    // The rows of the last paint, from the line of the first.
    QVector<DrawnRow> m_drawn;
    qint64 m_drawnFirstLine = 0;

    QHeaderView* m_header = nullptr;
    bool m_restoringWidths = false;
    QLabel* m_filterBar;
    ListTexts m_texts{false};     // numbers without padding: drawn right-aligned
    std::optional<TextFit> m_fit; // for the font drawn with last
};
