// One download into a database: the private connection and its read lock,
// the exchange with the receiver (download/frameexchange.h), the dating and
// storing of the events.

#include "download/download.h"

#include "db/backend/dbexception.h"
#include "db/commitcounter.h"
#include "db/location/readlock.h"
#include "download/eventword.h"
#include "download/frameexchange.h"
#include "download/services.h"
#include "link/seriallink.h"

#include <exception>
#include <utility>
#include <vector>

namespace download {

namespace {

constexpr int kBeforeRefreshMilliseconds = 500;

} // namespace

Download::Download(Location database, FileReadLock* readLock, DownloadServices& services)
    : m_location(std::move(database)), m_readLock(readLock), m_link(services.link),
      m_clock(services.clock), m_progress(services.progress), m_port(services.port),
      m_record(&m_connection)
{
}

Download::~Download()
{
    ReleaseQuietly();
}

Outcome Download::Run()
{
    try {
        RunChecked();
    } catch (const CDBException& e) {
        ReleaseQuietly();
        m_outcome = Outcome::DatabaseError(e.m_strError, e.Kind());
    } catch (const std::exception& e) {
        ReleaseQuietly();
        m_outcome = Outcome::DatabaseError(QString::fromLocal8Bit(e.what()), DbFailure::Other);
    }
    if (m_portWasOpened) {
        m_outcome.SetPortOpened();
        m_clock.Sleep(kBeforeRefreshMilliseconds);
    }
    return m_outcome;
}

void Download::RunChecked()
{
    // Before the newest stored event is read: a second download into the
    // same table meanwhile would ask the receiver for the same events. A
    // file's lock is taken before it is opened here, a server's on the
    // download's own connection.
    if (m_readLock) {
        if (m_readLock->TryLock() == FileReadLock::Try::Busy) {
            m_outcome = Outcome::AnotherRead(Database());
            return;
        }
        m_locked = true;
    }
    m_connection.Open(m_location);
    m_record.Open(CRecordset::dynaset);
    if (!m_connection.TakeReadLock()) {
        m_outcome = Outcome::AnotherRead(Database());
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

    if (!m_link.Open(m_port)) {
        m_outcome = Outcome::PortNotOpened(m_link.OpenFailure());
        Release();
        return;
    }
    m_portOpen = true;
    m_portWasOpened = true;

    FrameExchange exchange(m_link, m_clock, m_progress, lastWord);
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
            m_outcome = Outcome::NothingNew();
        else if (m_record.CanAppend())
            Store(exchange);
        else if (!LostConnection())
            m_outcome = Outcome::CannotAppend();
    } else {
        m_outcome = Outcome::ExchangeFailed(state, m_port);
        m_link.ClearErrors();
    }
    Release();
}

// Dates the events from the anchor of the first frame, and appends them
// oldest first in one batch.
void Download::Store(const FrameExchange& exchange)
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
        if (!LostConnection())
            m_outcome = Outcome::StoreFailed(Database(), e);
        return;
    }
    m_outcome = Outcome::Stored(count, stored, exchange.MissedNewestStored());
}

// Whether the server went away during the download (restarted, say): then
// that is the failure told, one the next download will not meet.
bool Download::LostConnection()
{
    const QString loss = m_connection.ConnectionLoss();
    if (loss.isEmpty())
        return false;
    m_outcome = Outcome::ConnectionLost(Database(), loss);
    return true;
}

void Download::FinishProgress()
{
    if (m_progressShown) {
        m_progressShown = false;
        m_progress->Finish();
    }
}

// Progress, completion signals, port, then the record and its connection.
void Download::Release()
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
    if (m_locked) {
        m_locked = false;
        m_readLock->Unlock();
    }
}

void Download::ReleaseQuietly() noexcept
{
    try {
        Release();
    } catch (...) {
        // Closing after a failure; the first error is the one reported.
    }
}

} // namespace download
