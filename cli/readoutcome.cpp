#include "cli/readoutcome.h"

#include "cli/exitcodes.h"

#include <QRegularExpression>

namespace {

// The failures of the line and of the receiver: a later try may well succeed.
bool passing(const UserMessage& m)
{
    static const QStringList texts{QStringLiteral("Can't read from the serial port"),
                                   QStringLiteral("Out of time"),
                                   QStringLiteral("Communication error")};
    // SQLite's SQLITE_BUSY and SQLITE_LOCKED: another program is writing. A
    // failed store gives SQLite's reason in the detail.
    const auto locked = [](const QString& s) {
        return s.contains(QStringLiteral("database is locked")) ||
               s.contains(QStringLiteral("database table is locked"));
    };
    // A server restarted during the download: it is back for the next one.
    const bool lost = m.detail.contains(QStringLiteral("The connection to the database server"));
    return texts.contains(m.text) || locked(m.text) || locked(m.detail) || lost;
}

QString inWords(const UserMessage& m)
{
    return m.detail.isEmpty() ? m.text : m.text + QStringLiteral(": ") + m.detail;
}

ReadOutcome fromPortFailure(const UserMessage& m, const QString& text)
{
    if (m.detail.contains(QStringLiteral("is held by another program")))
        return {ReadOutcome::Busy, 0, text};
    // No such device, no permission, no port chosen: the same next time.
    static const QStringList lasting{QStringLiteral("There is no serial port"),
                                     QStringLiteral("Permission denied"),
                                     QStringLiteral("No serial port is chosen")};
    for (const QString& start : lasting) {
        if (m.detail.startsWith(start))
            return {ReadOutcome::Failed, 0, text};
    }
    // A file, a folder, /dev/null: no try will make it one.
    if (m.detail.contains(QStringLiteral(" is not a serial port: ")) ||
        m.detail.contains(QStringLiteral(" is not a port: ")))
        return {ReadOutcome::Failed, 0, text};
    return {ReadOutcome::TryAgain, 0, text};
}

ReadOutcome classifyOutcome(const QList<UserMessage>& messages)
{
    QStringList failures;
    const UserMessage* first = nullptr;
    for (const UserMessage& m : messages) {
        if (!m.IsError())
            continue;
        failures << inWords(m);
        if (!first)
            first = &m;
    }
    if (first) {
        const QString text = failures.join(QStringLiteral("; "));
        if (first->text == QLatin1String("Error initializing serial port"))
            return fromPortFailure(*first, text);
        if (first->text == QLatin1String("Another read is under way"))
            return {ReadOutcome::Busy, 0, text};
        return {passing(*first) ? ReadOutcome::TryAgain : ReadOutcome::Failed, 0, text};
    }
    for (const UserMessage& m : messages) {
        static const QRegularExpression count(QStringLiteral("^Number of read events: +(\\d+)$"));
        const QRegularExpressionMatch match = count.match(m.text);
        if (match.hasMatch()) {
            const int n = match.captured(1).toInt();
            return {ReadOutcome::Downloaded, n,
                    n == 1 ? QStringLiteral("1 event downloaded")
                           : QStringLiteral("%1 events downloaded").arg(n)};
        }
        if (m.text == QLatin1String("There are no more events to read"))
            return {ReadOutcome::NothingNew, 0, QStringLiteral("nothing new")};
    }
    return {ReadOutcome::Failed, 0, QStringLiteral("the download ended without an outcome")};
}

} // namespace

ReadOutcome ClassifyRead(const QList<UserMessage>& messages)
{
    ReadOutcome outcome = classifyOutcome(messages);
    // Warnings leave the outcome as it is, and are told after it.
    for (const UserMessage& m : messages) {
        if (m.IsWarning())
            outcome.text += QStringLiteral("; warning: ") + inWords(m);
    }
    return outcome;
}

int ReadOutcome::ExitCode(bool nothingNewHasItsOwnCode) const
{
    switch (kind) {
    case Downloaded:
        return exitcode::kDone;
    case NothingNew:
        return nothingNewHasItsOwnCode ? exitcode::kNothingNew : exitcode::kDone;
    case Busy:
        return exitcode::kBusy;
    case TryAgain:
        return exitcode::kTryAgain;
    case Failed:
        break;
    }
    return exitcode::kFailed;
}

QString LogLine(const QString& db, const QString& port, const ReadOutcome& outcome)
{
    // A server's reasons come on several lines: a log gets one per read.
    return QStringLiteral("zqreader-cli read: %1 from %2: %3")
        .arg(db, port, outcome.text.simplified());
}
