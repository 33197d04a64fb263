// "Read events": the download of the receiver's new events into the open
// database.

#include "link/download.h"

#include "db/backend/dbexception.h"
#include "db/commitcounter.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/events.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "link/eventword.h"
#include "link/seriallink.h"

#include <QDateTime>
#include <QThread>
#include <array>
#include <cstddef>
#include <exception>
#include <vector>

namespace {

constexpr int kFrameSize = 68;
constexpr int kFrameWords = kFrameSize / 4;
// Frames are asked for while fewer events than this have been taken; the last
// frame can add up to 16 more.
constexpr int kEventLimit = 6144;
constexpr int kMostEvents = kEventLimit - 1 + (kFrameWords - 1);
constexpr int kSettleMilliseconds = 300;
// The line has no checksum; what keeps a lost or doubled byte from shifting
// the frames after it is that a frame is one burst answering its request: the
// next is asked for only once the last is whole, nothing but whole frames may
// arrive unasked, and a frame must come together. A pause inside a frame longer than this
// ends it short: a few byte times at 9600 baud, the 16 ms a USB adapter may
// hold its bytes, and the rest for a loaded machine.
constexpr int kReadIntervalMilliseconds = 50;
// A frame must be whole this long after its first byte: 68 bytes take 71 ms
// at 9600 baud, a USB adapter may hold the last of them 16 ms more, and the
// rest is for a loaded machine. Below the receiver's 250 ms pause that starts
// a new session.
constexpr int kFrameBoundMilliseconds = 150;
// Before the first request a whole wait this long must pass without a byte
// arriving: longer than the pause that ends a read, so a frame under way has
// ended.
constexpr int kQuietMilliseconds = 60;
// A line still busy after this long is not a receiver waiting to be asked.
constexpr int kQuietBoundMilliseconds = 1000;
constexpr qint64 kSilenceSeconds = 5;
constexpr int kBeforeRefreshMilliseconds = 500;

static_assert(kMostEvents <= CZq6Doc::kRawEventCapacity);

enum class EndState
{
    Running = 0,       // also the end state when the event limit is reached
    NoMoreEvents = 1,  // the end word, or the newest stored event
    PortFailure = 2,   // a read or a write could not be started
    TimedOut = 3,      // silence, the port's time-out, or a request byte that never left
    ReceiverError = 4, // a bad status byte, a frame cut short or late, bytes not asked for
    NeverQuiet = 5     // bytes kept arriving before anything was asked for
};

struct Outcome
{
    UserMessage message; // nothing is shown when the text is empty
    bool portOpened = false;
    bool databaseFailed = false;
    bool stored = false; // the events were committed
};

const QString kError = QStringLiteral("Error");
const QString kOk = QStringLiteral("OK");
const QString kWarning = QStringLiteral("Warning");
const QString kCantAdd = QStringLiteral("Can't add events to the database");

UserMessage taskModal(const QString& text, const QString& caption, const QString& detail = {})
{
    return {text, caption, detail, true};
}

quint32 frameWord(const std::array<quint8, kFrameSize>& frame, int index)
{
    const quint8* p = frame.data() + std::ptrdiff_t{4} * index;
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

// One download, from opening the private connection to closing it. Runs on
// the thread DownloadServices::Execute chooses; shows nothing itself.
class Download
{
public:
    Download(CZq6Doc& doc, DownloadServices& services)
        : m_doc(doc), m_link(services.link), m_clock(services.clock), m_progress(services.progress),
          m_portName(services.portName), m_record(&m_connection)
    {
    }

    ~Download() { ReleaseQuietly(); }

    Outcome Run()
    {
        try {
            RunChecked();
        } catch (const CDBException& e) {
            ReleaseQuietly();
            m_outcome.message = {e.m_strError, kError, {}, false};
            m_outcome.databaseFailed = true;
        } catch (const std::exception& e) {
            ReleaseQuietly();
            m_outcome.message = {QString::fromLocal8Bit(e.what()), kError, {}, false};
            m_outcome.databaseFailed = true;
        }
        if (m_outcome.portOpened)
            m_clock.Sleep(kBeforeRefreshMilliseconds);
        return m_outcome;
    }

private:
    void RunChecked()
    {
        m_record.Open(CRecordset::dynaset);
        // Before the newest stored event is read: a second download into the
        // same table meanwhile would ask the receiver for the same events.
        if (!m_connection.TakeReadLock()) {
            m_outcome.message = {QStringLiteral("Another read is under way"), kError,
                                 QStringLiteral("Another program is reading events into \"%1\".")
                                     .arg(m_connection.GetLocation().Shown()),
                                 false};
            Release();
            return;
        }
        m_lastWord = 0;
        if (!m_record.IsBOF()) {
            m_record.MoveLast();
            m_lastWord =
                eventword::Rebuild(m_record.m_TIMER, m_record.m_USER_NO, m_record.m_BUTTON);
        }

        m_signalsMade = true; // whatever was made is released, even after a failure
        if (!m_link.MakeSignals()) {
            Release();
            return;
        }

        m_doc.m_Request.fill(0);

        if (!m_link.Open(m_portName)) {
            m_outcome.message = {QStringLiteral("Error initializing serial port"), kError,
                                 m_link.OpenFailureReason(), false};
            Release();
            return;
        }
        m_portOpen = true;
        m_outcome.portOpened = true;

        m_state = Prepare();
        m_count = 0;
        m_lastFrameTime = m_clock.Now();
        if (m_progress) {
            m_progress->Start();
            m_progressShown = true;
        }

        Exchange();
        if (m_state == EndState::Running || m_state == EndState::NoMoreEvents)
            CheckQuietAfter();

        FinishProgress();
        m_link.CloseSignals();
        m_signalsMade = false;

        switch (m_state) {
        case EndState::Running:
        case EndState::NoMoreEvents:
            if (m_count == 0)
                m_outcome.message =
                    taskModal(QStringLiteral("There are no more events to read"), kOk);
            else if (m_record.CanAppend())
                Store();
            else if (!LostConnection())
                m_outcome.message = taskModal(kCantAdd, kError);
            break;
        case EndState::PortFailure:
            m_outcome.message =
                taskModal(QStringLiteral("Can't read from the serial port"), kError,
                          QStringLiteral("Reading from or writing to %1 failed.").arg(m_portName));
            break;
        case EndState::TimedOut:
            m_outcome.message =
                taskModal(QStringLiteral("Out of time"), kError,
                          QStringLiteral("The receiver on %1 stopped answering.").arg(m_portName));
            break;
        case EndState::ReceiverError:
            m_outcome.message = taskModal(
                QStringLiteral("Communication error"), kError,
                QStringLiteral("The receiver on %1 reported an error or sent a broken frame.")
                    .arg(m_portName));
            break;
        case EndState::NeverQuiet:
            m_outcome.message = taskModal(
                QStringLiteral("Communication error"), kError,
                QStringLiteral("Bytes kept arriving from %1 without being asked for: is the "
                               "receiver on this port?")
                    .arg(m_portName));
            break;
        }
        if (m_state != EndState::Running && m_state != EndState::NoMoreEvents)
            m_link.ClearErrors();

        Release();
    }

    EndState Prepare()
    {
        m_link.SetLineFormat();
        m_link.RaiseRts();
        m_link.RaiseDtr();
        m_clock.Sleep(kSettleMilliseconds);
        // Whatever came in before, and while the lines settled, is dropped.
        m_link.ClearErrors();
        m_link.CancelIo();
        m_link.PurgeInput();
        m_link.PurgeOutput();
        m_link.ClearErrors();
        m_link.SetReadIntervalTimeout(kReadIntervalMilliseconds);
        m_link.SetReadFrameBound(kFrameBoundMilliseconds);
        return WaitUntilQuiet();
    }

    // A receiver finishes a frame it has begun, and answers a request byte
    // still on the line, though the host that asked is gone (killed, or
    // crashed). Such bytes can arrive after the purge; taken for the start of
    // the first frame, they would shift every frame of this download.
    EndState WaitUntilQuiet()
    {
        for (int waited = 0; waited < kQuietBoundMilliseconds; waited += kQuietMilliseconds) {
            m_clock.Sleep(kQuietMilliseconds);
            if (m_link.DiscardArrived() == 0)
                return EndState::Running;
        }
        return EndState::NeverQuiet;
    }

    // Asks for one frame at a time, and takes frames until an end condition
    // is met. Request bytes go out one at a time until the frame begins to
    // arrive (the receiver drops those that come while it sends, and a
    // steady stream keeps its session going), and none after that: the next
    // frame is not sent before this one is whole, so a byte lost from it
    // leaves it short rather than taking a byte of the next. Before a frame is
    // asked for only whole frames may be there, answers to requests that
    // crossed the last frame on a line faster than ours; any other byte
    // belongs to no request: the surplus of a doubled byte, or bytes nobody
    // asked for.
    void Exchange()
    {
        using R = SerialLink::Result;
        bool requestInFlight = false;
        while (m_state == EndState::Running && m_count < kEventLimit) {
            if (m_link.Arrived() % kFrameSize != 0) {
                m_state = EndState::ReceiverError;
                break;
            }
            int bytes = 0;
            const R started = m_link.StartRead(m_frame.data(), kFrameSize, &bytes);
            if (started == R::Completed) {
                TakeFrame(bytes);
                continue;
            }
            if (started != R::Pending) {
                m_state = EndState::PortFailure;
                break;
            }
            bool begun = false;
            bool reading = true;
            while (reading && m_state == EndState::Running) {
                if (!begun && !requestInFlight) {
                    const R written = m_link.StartWrite(m_doc.m_Request.data(), 1);
                    if (written == R::Pending) {
                        requestInFlight = true;
                    } else if (written != R::Completed) {
                        m_state = EndState::PortFailure;
                        break;
                    }
                }
                if (requestInFlight) {
                    const R sent = m_link.WaitWrite();
                    if (sent == R::Completed) {
                        requestInFlight = false;
                    } else if (sent == R::PortTimeout) {
                        m_state = EndState::TimedOut;
                        break;
                    }
                    // On a failed wait the byte stays in flight: nothing more
                    // is sent, and the silence ends the exchange.
                }
                const R polled = m_link.PollRead(&bytes);
                if (polled == R::Completed) {
                    reading = false;
                    TakeFrame(bytes);
                } else if (polled == R::Pending) {
                    begun = bytes > 0;
                } else if (polled == R::PortTimeout) {
                    m_state = EndState::TimedOut;
                    break;
                }
                if (m_state == EndState::Running &&
                    m_clock.Now() > m_lastFrameTime + kSilenceSeconds)
                    m_state = EndState::TimedOut;
            }
        }
    }

    // Nothing is asked for after the last frame, so nothing but the answer to
    // a request that crossed it may follow: any other byte is the surplus of a
    // doubled byte, and the frames before it were shifted.
    void CheckQuietAfter()
    {
        m_clock.Sleep(kQuietMilliseconds);
        if (m_link.DiscardArrived() % kFrameSize != 0)
            m_state = EndState::ReceiverError;
    }

    void TakeFrame(int bytes)
    {
        m_lastFrameTime = m_clock.Now();
        // The tail of a short frame would be stale bytes, not events.
        if (bytes < kFrameSize) {
            m_state = EndState::ReceiverError;
            return;
        }
        if (m_count == 0) {
            m_anchorCounter = frameWord(m_frame, 0) >> 8;
            m_anchorTime = m_clock.Now();
            if (m_frame[0] != 0x00)
                m_state = EndState::ReceiverError;
        }
        for (int i = 1; i < kFrameWords && m_state == EndState::Running; ++i) {
            const quint32 word = frameWord(m_frame, i);
            if (word == eventword::kEndWord || word == m_lastWord) {
                m_state = EndState::NoMoreEvents;
                break;
            }
            m_doc.m_RawEvents[m_count] = word;
            ++m_count;
            if (m_progress)
                m_progress->Advance();
        }
    }

    void Store()
    {
        const std::span<const quint32> words(m_doc.m_RawEvents.data(), m_count);
        std::vector<qint64> times(m_count);
        eventword::ReconstructTimes(m_anchorCounter, m_anchorTime, words, times);

        QVector<NewEvent> events;
        events.reserve(m_count);
        for (int i = m_count - 1; i >= 0; --i) {
            const quint32 word = words[i];
            events.append({eventword::Timer(word), CTime(times[i]), eventword::UserNo(word),
                           eventword::Button(word)});
        }
        try {
            // Noted, so that the list takes the commit for a plain append.
            commitcounter::AppendNoted(m_record, events);
        } catch (const CDBException& e) {
            // The batch was rolled back, and the next download asks the
            // receiver for everything after the newest stored event.
            if (LostConnection())
                return;
            m_outcome.message =
                taskModal(QStringLiteral("Can't add events to the database"), kError,
                          QStringLiteral("The events could not be stored in \"%1\": %2. Nothing "
                                         "of this download was stored; the events stay on the "
                                         "receiver for the next download.")
                              .arg(m_connection.GetLocation().Shown(), e.m_strError));
            m_outcome.databaseFailed = true;
            return;
        }
        m_outcome.stored = true;
        m_outcome.message =
            taskModal(QString::asprintf("%s %d", "Number of read events: ", m_count), kOk);
    }

    // Whether the server went away during the download (restarted, say): then
    // that is the failure told, one the next download will not meet.
    bool LostConnection()
    {
        const QString loss = m_connection.ConnectionLoss();
        if (loss.isEmpty())
            return false;
        m_outcome.message =
            taskModal(kCantAdd, kError,
                      QStringLiteral("The connection to the database server of \"%1\" was lost: "
                                     "%2. Nothing of this download was stored; the events stay "
                                     "on the receiver for the next download.")
                          .arg(m_connection.GetLocation().Shown(), loss));
        m_outcome.databaseFailed = true;
        return true;
    }

    void FinishProgress()
    {
        if (m_progressShown) {
            m_progressShown = false;
            m_progress->Finish();
        }
    }

    // Progress, completion signals, port, then the record and its connection.
    void Release()
    {
        FinishProgress();
        if (m_signalsMade) {
            m_signalsMade = false;
            m_link.CloseSignals();
        }
        if (m_portOpen) {
            m_portOpen = false;
            m_link.Close();
        }
        if (m_record.IsOpen())
            m_record.Close();
        m_connection.Close();
    }

    void ReleaseQuietly() noexcept
    {
        try {
            Release();
        } catch (...) {
            // Closing after a failure; the first error is the one reported.
        }
    }

    CZq6Doc& m_doc;
    SerialLink& m_link;
    Clock& m_clock;
    DownloadProgress* m_progress;
    const QString m_portName;

    CDatabase m_connection;
    CEVENTS m_record;
    bool m_signalsMade = false;
    bool m_portOpen = false;
    bool m_progressShown = false;

    quint32 m_lastWord = 0;
    EndState m_state = EndState::Running;
    int m_count = 0;
    qint64 m_lastFrameTime = 0;
    quint32 m_anchorCounter = 0;
    qint64 m_anchorTime = 0;
    std::array<quint8, kFrameSize> m_frame{};

    Outcome m_outcome;
};

} // namespace

qint64 SystemClock::Now()
{
    return QDateTime::currentSecsSinceEpoch();
}

void Clock::Sleep(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void CZq6Doc::OnReadEvents(DownloadServices& services)
{
    if (!m_bDbOpen) {
        Report(QStringLiteral("The database is not opened !"), kError);
        return;
    }

    // Everything that touches the private connection, the port and the
    // progress runs in the job; what it found is shown here afterwards.
    Outcome outcome;
    services.Execute([&] {
        Download download(*this, services);
        outcome = download.Run();
    });

    if (!outcome.message.text.isEmpty())
        Report(outcome.message.text, outcome.message.caption, outcome.message.detail,
               outcome.message.taskModal);

    // After a database failure nothing was stored, and reading the list again
    // would only meet the same failure (a lock held by another program, say)
    // and report it a second time.
    if (outcome.portOpened && !outcome.databaseFailed) {
        // The outcome was decided by the commit: a list that cannot be read
        // again now (another program's lock, a server gone meanwhile) is
        // only a warning.
        try {
            if (g_pSet && g_pSet->IsOpen())
                g_pSet->Requery();
        } catch (const CDBException& e) {
            Report(QStringLiteral("The list could not be read again"), kWarning,
                   outcome.stored ? QStringLiteral("The events of this download are stored. %1")
                                        .arg(e.m_strError.trimmed())
                                  : e.m_strError.trimmed());
        }
        UpdateAllViews();
    }
}
