#pragma once

#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "formats/rowtext.h"
#include "view/listtexts.h"
#include "view/textfit.h"

#include <QAbstractScrollArea>
#include <optional>

class QLabel;
class QPainter;

// The event list: one line for every row of the joined event set, in event
// INDEX order. Read-only; the only interaction is scrolling.
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
class CZq6View : public QAbstractScrollArea, public CDocView
{
    Q_OBJECT

public:
    explicit CZq6View(CZq6Doc* pDoc, QWidget* parent = nullptr);
    ~CZq6View() override;

    CZq6Doc* GetDocument() const { return m_pDocument; }

    // After a database was opened or created, or a new document started:
    // re-open the set in event order and count its rows from the start.
    void OnInitialUpdate();
    // After a download, or whenever the data may have changed: count again,
    // only the new rows when events were just appended.
    void OnUpdate() override;
    // Shows only the rows filter lets through (an empty filter: all), from
    // the top, and counts them; the bar under the list tells how many.
    void ApplyFilter(const EventFilter& filter);
    // The text of the bar under the list; empty when it is hidden.
    QString FilterBarText() const;

    // What the list says while no database is open.
    static QString StartHint()
    {
        return QStringLiteral("File > New Database or File > Open Database...");
    }

    int LineHeight() const;
    // The rows, or while they are being counted, the span of event INDEX.
    qint64 GetRowCount() const { return m_nRows; }
    bool IsRowCountExact() const { return m_bExact; }
    qint64 GetContentHeight() const;

    // Go to Date and Find (zq6viewseek.cpp): the row is scrolled to the top
    // line, as far as the end of the list allows, and marked until another
    // one is or another database is opened. Further finds go on from the
    // marked row, else from the row on the top line.
    void ShowRow(JoinMark row);
    std::optional<JoinMark> MarkedRow() const { return m_mark; }
    std::optional<JoinMark> TopRow();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    // Draws one text with its top-left corner at (x, y) of the viewport,
    // cut at clipRight (no limit when clipRight <= x).
    virtual void TextOut(QPainter& painter, int x, int y, const QString& text, int clipRight);

private:
    enum class Count
    {
        All,
        Changed
    };

    bool SetReadable() const;
    void Recount(Count how);
    void OnCountDone();
    // Takes the set's count, or the span of its events while it is being
    // counted, keeping the top row in place.
    void FollowSet();
    void UpdateScrollSizes();
    // "Filtered: N of M events" under the list while a filter is set.
    void UpdateFilterBar();
    void Fail(const QString& error);
    QVector<ListRow> RowsFromTop(qint64 topLine, qint64 lines);
    void DrawRows(QPainter& painter, const QVector<ListRow>& rows, qint64 firstLine, qint64 top,
                  const QRect& area);
    const TextFit& Fit();
    // The line of the marked row when it is among rows drawn from firstLine;
    // -1 otherwise.
    qint64 MarkedLine(const QVector<ListRow>& rows, qint64 firstLine);
    void DrawStartHint();

    CZq6Doc* m_pDocument;
    qint64 m_nRows = 0;
    bool m_bExact = true;
    CZq6Set::EventSpan m_span; // while not exact
    quint64 m_countSerial = 0; // of the set's count that m_nRows comes from
    bool m_bFailed = false;    // a database error was met and reported

    // The row drawn last on the top line: its event, its place among the
    // event's rows (0 while not exact), whether it belongs to the last screen.
    bool m_bTopKnown = false;
    JoinMark m_top;
    qint64 m_topLine = 0; // the line it was drawn on
    bool m_bTopAtEnd = false;

    std::optional<JoinMark> m_mark; // the row found last
    qint64 m_markLine = -1;         // its line, for the count of m_markSerial
    quint64 m_markSerial = 0;

    QLabel* m_pFilterBar;
    ListTexts m_texts;
    std::optional<TextFit> m_fit; // for the font drawn with last
};
