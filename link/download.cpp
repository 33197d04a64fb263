// "Read events": the download of the receiver's new events into the open
// database: the private connection and its read lock, the exchange with the
// receiver (link/frameexchange.h), the dating and storing of the events, and
// the outcome shown afterwards (link/downloadoutcome.h).

#include "link/download.h"

#include "db/backend/dbexception.h"
#include "db/commitcounter.h"
#include "db/location/readlock.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/events.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "link/downloadoutcome.h"
#include "link/eventword.h"
#include "link/frameexchange.h"
#include "link/seriallink.h"

#include <QDateTime>
#include <QThread>
#include <exception>
#include <vector>

namespace {

using download::EndState;
using download::kError;
using download::kWarning;
using download::Outcome;

constexpr int kBeforeRefreshMilliseconds = 500;

// One download, from opening the private connection to closing it. Runs on
// the thread DownloadServices::Execute chooses; shows nothing itself.
class Download
{
public:
    Download(CZq6Doc& doc, DownloadServices& services)
        : m_doc(doc), m_link(services.link), m_clock(services.clock), m_progress(services.progress),
          m_port(services.port), m_record(&m_connection)
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
            m_outcome.databaseFailure = e.Kind();
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
        // Before the newest stored event is read: a second download into the
        // same table meanwhile would ask the receiver for the same events.
        // A file's lock is taken before it is opened here, a server's on the
        // download's own connection.
        if (FileReadLock* lock = m_doc.ReadLock()) {
            if (lock->TryLock() == FileReadLock::Try::Busy) {
                m_outcome.message = download::AnotherReadMessage(OpenDbLocation().Shown());
                return;
            }
            m_fileLock = lock;
        }
        m_record.Open(CRecordset::dynaset);
        if (!m_connection.TakeReadLock()) {
            m_outcome.message = download::AnotherReadMessage(Database());
            Release();
            return;
        }
        quint32 lastWord = 0;
        if (!m_record.IsBOF()) {
            m_record.MoveLast();
            lastWord = eventword::Rebuild(m_record.m_TIMER, m_record.m_USER_NO, m_record.m_BUTTON);
        }

        m_signalsMade = true; // whatever was made is released, even after a failure
        if (!m_link.MakeSignals()) {
            Release();
            return;
        }

        m_doc.m_Request.fill(0);

        if (!m_link.Open(m_port)) {
            m_outcome.message = download::PortOpenFailure(m_link.OpenFailureReason());
            Release();
            return;
        }
        m_portOpen = true;
        m_outcome.portOpened = true;

        download::FrameExchange exchange(m_doc, m_link, m_clock, m_progress, lastWord);
        exchange.Prepare();
        if (m_progress) {
            m_progress->Start();
            m_progressShown = true;
        }
        exchange.Exchange();

        FinishProgress();
        m_link.CloseSignals();
        m_signalsMade = false;

        const EndState state = exchange.State();
        if (state == EndState::Running || state == EndState::NoMoreEvents) {
            if (exchange.Words().empty())
                m_outcome.message = download::NothingNewMessage();
            else if (m_record.CanAppend())
                Store(exchange);
            else if (!LostConnection())
                m_outcome.message = download::CannotAppendMessage();
        } else {
            m_outcome.message = download::ExchangeFailure(state, m_port);
            m_link.ClearErrors();
        }

        Release();
    }

    // Dates the events from the anchor of the first frame, and appends them
    // oldest first in one batch.
    void Store(const download::FrameExchange& exchange)
    {
        const std::span<const quint32> words = exchange.Words();
        const int count = static_cast<int>(words.size());
        std::vector<qint64> times(words.size());
        eventword::ReconstructTimes(exchange.AnchorCounter(), exchange.AnchorTime(), words, times);

        QVector<NewEvent> events;
        events.reserve(count);
        for (int i = count - 1; i >= 0; --i) {
            const quint32 word = words[i];
            events.append({eventword::Timer(word), CTime(times[i]), eventword::UserNo(word),
                           eventword::Button(word)});
        }
        qint64 stored = 0;
        try {
            // Noted, so that the list takes the commit for a plain append.
            stored = commitcounter::AppendNoted(m_record, events);
        } catch (const CDBException& e) {
            // The batch was rolled back, and the next download asks the
            // receiver for everything after the newest stored event.
            if (LostConnection())
                return;
            m_outcome.message = download::StoreFailure(Database(), e.m_strError);
            m_outcome.databaseFailed = true;
            m_outcome.databaseFailure = e.Kind();
            return;
        }
        m_outcome.stored = true;
        m_outcome.message = download::StoredMessage(count);
        if (stored < count)
            m_outcome.warnings.append(download::DroppedWarning(count, stored));
        if (exchange.MissedNewestStored())
            m_outcome.warnings.append(download::NewestStoredMissedWarning(stored));
    }

    // Whether the server went away during the download (restarted, say): then
    // that is the failure told, one the next download will not meet.
    bool LostConnection()
    {
        const QString loss = m_connection.ConnectionLoss();
        if (loss.isEmpty())
            return false;
        m_outcome.message = download::ConnectionLostMessage(Database(), loss);
        m_outcome.databaseFailed = true;
        m_outcome.databaseFailure = DbFailure::ConnectionLost;
        return true;
    }

    QString Database() const { return m_connection.GetLocation().Shown(); }

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
        if (m_fileLock) {
            m_fileLock->Unlock();
            m_fileLock = nullptr;
        }
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
    const PortName m_port;

    CDatabase m_connection;
    CEVENTS m_record;
    FileReadLock* m_fileLock = nullptr; // while held
    bool m_signalsMade = false;
    bool m_portOpen = false;
    bool m_progressShown = false;

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
    for (const UserMessage& warning : std::as_const(outcome.warnings))
        Report(warning.text, warning.caption, warning.detail, warning.taskModal);

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
