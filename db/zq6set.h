#pragma once

#include "db/eventfilter.h"
#include "db/joinmarks.h"
#include "db/joinstamp.h"
#include "db/record/ctime.h"
#include "db/record/preparedquery.h"
#include "db/record/recordset.h"

#include <QVector>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class BackgroundCount;

// One row of the events joined with the user valid at each event's date.
struct JoinedRow
{
    qint32 eventIndex = 0;
    qint32 timer = 0;
    CTime date;
    qint32 userNo = 0;
    QString button;
    qint32 userIndex = 0;
    QString name; // empty when no user matches
    qint32 userUserNo = 0;
    CTime dateStart;
    CTime dateStop;
};

// What the list shows of a joined row, the date still as the stored text.
struct ListRow
{
    qint32 eventIndex = 0;
    qint32 timer = 0;
    QString date;
    qint32 userNo = 0;
    QString name; // empty when no user matches
};

// The joined event set: every event with the user who held its user number at
// the event's date (one row per matching user, one row with an empty name when
// none matches).
//
// Besides the cursor, it offers random access by row number for the list: a
// count walks the set once and keeps a mark every kMarkStride rows, and the
// rows around the last ones read are known too, so FetchRows() starts reading
// at the event of the first row asked for, wherever it is. The marks hold
// only while the rows they were counted on stay as they were: the set finds
// out what changed since (see JoinStamp) and counts on from the last mark
// when events were only appended, from the start otherwise.
//
// CountRows() and UpdateRowCount() count at once. The list uses StartCount()
// and UpdateCount() instead, which count a large set on a worker thread: until
// AdoptCount() takes that count, IsCounted() is false and the rows are read
// by event INDEX (FetchFromEvent(), FetchLast()).
//
// With a filter (SetFilter()) the set holds only the rows it lets through:
// the rows, their count, marks and event span are all of those rows.
class CZq6Set : public CRecordset
{
public:
    static constexpr int kMarkStride = 32;
    // The list counts at once when the events' INDEX values span no more.
    static constexpr qint64 kCountAtOnce = 4096;
    // Appended events are counted on at once up to this many (a download
    // brings at most 6144).
    static constexpr qint64 kCountOnAtOnce = 65536;

    explicit CZq6Set(CDatabase* pDatabase);
    ~CZq6Set() override;

    QString GetDefaultSQL() const override;
    void Close() override;

    // Keeps only the rows filter lets through (an empty filter: all of them)
    // from now on, also over Close() and Open(); drops the count, which the
    // caller then takes again (StartCount(), CountRows()).
    void SetFilter(const EventFilter& filter);
    const EventFilter& GetFilter() const { return m_filter; }
    bool IsFiltered() const { return !m_filter.IsEmpty(); }
    // The events of the database, filtered or not, when the rows were
    // counted; 0 while not counted.
    qint64 GetEventCount() const { return IsCounted() ? m_counted.eventCount : 0; }

    // Counts from the start.
    qint64 CountRows();
    // Counts again after the database may have changed, whoever changed it.
    qint64 UpdateRowCount();
    qint64 GetRowCount() const { return m_rowCount; }
    // Changes whenever the rows were counted anew or the count was dropped,
    // wherever it happened.
    quint64 GetCountSerial() const { return m_countSerial; }
    // Rows first .. first + count - 1 in event INDEX order (fewer at the
    // end). The rows come from marks that match the database: when something
    // other than an append has changed since the count, the rows are counted
    // again first (for the list, a large set on a worker thread: then nothing
    // is returned and IsCounted() is false), and GetRowCount() tells the new
    // number. Row is JoinedRow or, reading fewer columns, ListRow.
    template <class Row = JoinedRow> QVector<Row> FetchRows(qint64 first, int count);

    // For the list: like CountRows() and UpdateRowCount(), but a large set is
    // counted on a worker thread.
    void StartCount();
    void UpdateCount();
    bool IsCounted() const { return m_counted.IsValid(); }
    bool IsCounting() const { return m_background != nullptr; }
    // Called on the worker thread when its count is there; the owner then
    // calls AdoptCount() on the set's thread.
    void SetCountDone(std::function<void()> done);
    // Takes the worker's count when it still fits the database, else counts
    // anew. Returns IsCounted(). Throws the worker's error.
    bool AdoptCount();

    // For tests: how many events an index may find for a filter's rows to be
    // read through it and sorted (4096 unless set).
    static void SetFewEvents(qint64 few);

    // The smallest and largest event INDEX; count 0 when there is no event.
    struct EventSpan
    {
        qint64 first = 0;
        qint64 last = 0;
        bool IsEmpty() const { return last < first; }
    };
    EventSpan ReadEventSpan();
    // The same, but the first call after a count began on the worker thread
    // takes the span read when it began, a moment ago.
    EventSpan CurrentEventSpan();
    // Up to count rows from the first row of the first event whose INDEX is
    // eventIndex or more.
    template <class Row = JoinedRow> QVector<Row> FetchFromEvent(qint64 eventIndex, int count);
    // The last count rows (all when there are fewer).
    template <class Row = JoinedRow> QVector<Row> FetchLast(int count);
    // When counted: the number of the first row of the first event whose
    // INDEX is eventIndex or more.
    qint64 RowOfEvent(qint64 eventIndex);
    // When counted: the place of row `row` when it is among the rows around
    // those read last (FetchRows() keeps them); none otherwise. Asks nothing
    // of the database.
    std::optional<JoinMark> KnownMark(qint64 row) const;

    qint32 m_INDEX = 0;
    qint32 m_TIMER = 0;
    CTime m_DATE;
    qint32 m_USER_NO = 0;
    QString m_BUTTON;
    qint32 m_INDEX2 = 0;
    QString m_NAME;
    qint32 m_USER_NO2 = 0;
    CTime m_DATE_START;
    CTime m_DATE_STOP;

protected:
    QStringList BoundColumns() const override;
    void DoFieldExchange(const RowValues& row) override;

private:
    // Statements kept prepared on the connection they were made for.
    struct Statements
    {
        QString connection;
        PreparedQuery forward; // rows from the first row of an event on
        PreparedQuery listed;  // the same, the columns of ListRow
        // forward and listed with the numbers of JoinStamp's version check
        // after their columns, read in the same snapshot; on a server only.
        PreparedQuery forwardChecked;
        PreparedQuery listedChecked;
        PreparedQuery backward; // events of the rows before an event, newest first
        PreparedQuery span;
        int spanFilters = 2;   // times the filter's values are bound in span
        PreparedQuery whole;   // the span of all events
        PreparedQuery between; // the number of rows of a range of events
        PreparedQuery version; // see JoinStamp::VersionQuery
    };
    // The positions of a run of consecutive rows, the first numbered first.
    struct Known
    {
        qint64 first = 0;
        QVector<JoinMark> rows;
        bool Has(qint64 row) const { return row >= first && row < first + rows.size(); }
    };

    void Count(JoinChange change, const JoinStamp& now);
    void CountFrom(int markNo);
    void DropCount();
    bool Small(const EventSpan& span);
    void StartBackground();
    // Starts the count on the worker; span: the events' span just read.
    void StartBackground(const EventSpan& span);
    void StopBackground();
    void NotifyDone();
    Statements& Prepared();
    // Whether a name filter now matches other users than when the statements
    // were made; then they are made anew.
    bool FilterNamesChanged();
    // How the statements that read a window of rows find the events of the
    // filter: see FilterTerms::Drive. *few: through an index that finds
    // only a few events.
    FilterTerms::Drive ChooseDrive(bool* few) const;
    // head, the filter's values `times` times, then tail.
    QVariantList Values(std::initializer_list<qint64> head, std::initializer_list<qint64> tail,
                        int times = 1) const;
    // The statement run with head and tail around the filter's values.
    void Run(PreparedQuery& q, std::initializer_list<qint64> head,
             std::initializer_list<qint64> tail = {});
    // With checked: the rows in one statement that also tells whether the
    // database is still as m_checked found it; *checked false, and nothing
    // read or remembered, when it is not or when one statement cannot read
    // them. Outside a read transaction this is as safe as inside one.
    template <class Row> QVector<Row> ReadRows(qint64 first, int count, bool* checked = nullptr);
    // Reads from start, skipping `step` rows after it, count rows; *positions
    // receives the positions of the rows from start on, and of the one after.
    // checked as for ReadRows.
    template <class Row>
    QVector<Row> Forward(JoinMark start, qint64 step, int count,
                         QVector<JoinMark>* positions = nullptr, bool* checked = nullptr);
    // Whether the version columns of q's current row, from column `at` on,
    // are those of m_checked.
    bool StillChecked(const PreparedQuery& q, int at) const;
    // The position of the n-th row before the first row of eventIndex, and of
    // the rows after it up to that event. 0: found; 1: there are fewer rows;
    // 2: cannot tell (an event with very many rows).
    int Before(qint64 eventIndex, qint64 n, JoinMark* position, QVector<JoinMark>* rows);
    void Remember(qint64 first, const QVector<JoinMark>& rows);

    EventFilter m_filter;
    // m_filter on the database the statements were made for: as terms, for
    // any index, for windows of rows (the one chosen), for the walks of a count.
    FilterTerms m_terms;
    FilterWhere m_where;
    FilterWhere m_ordered;
    FilterWhere m_walk;
    QVector<JoinMark> m_marks;
    qint64 m_rowCount = 0;
    quint64 m_countSerial = 0;
    JoinStamp m_counted; // what the marks were counted on
    JoinStamp m_checked; // the database as last found to still fit the marks
    Known m_known;       // around the rows read last
    bool m_forList = false;
    // Rows were found missing and counted again; missing again, they are damage.
    bool m_shortAfterRecount = false;
    Statements m_statements;

    // The span read when the worker's count began, until CurrentEventSpan()
    // takes it.
    EventSpan m_startSpan;
    bool m_hasStartSpan = false;

    std::unique_ptr<BackgroundCount> m_background;
    std::mutex m_doneMutex;
    std::function<void()> m_done;
};
