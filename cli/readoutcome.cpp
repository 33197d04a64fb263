#include "cli/readoutcome.h"

#include "cli/commandline.h"
#include "cli/exitcodes.h"

#include <QStringList>

namespace {

using download::Outcome;

QString inWords(const UserMessage& m)
{
    return m.detail.isEmpty() ? m.text : m.text + QStringLiteral(": ") + m.detail;
}

QString summary(const Outcome& outcome)
{
    switch (outcome.GetKind()) {
    case Outcome::Kind::Stored:
        return outcome.Events() == 1
                   ? CommandLine::tr("1 event downloaded")
                   : CommandLine::tr("%1 events downloaded").arg(outcome.Events());
    case Outcome::Kind::NothingNew:
        return CommandLine::tr("nothing new");
    case Outcome::Kind::Unfinished:
        return CommandLine::tr("the download ended without an outcome");
    default:
        break;
    }
    QStringList failures;
    for (const UserMessage& m : outcome.Told())
        failures << inWords(m);
    return failures.join(QStringLiteral("; "));
}

} // namespace

int ExitStatus(const Outcome& outcome, bool nothingNewHasItsOwnCode)
{
    switch (outcome.GetKind()) {
    case Outcome::Kind::Stored:
        return exitcode::kDone;
    case Outcome::Kind::NothingNew:
        return nothingNewHasItsOwnCode ? exitcode::kNothingNew : exitcode::kDone;
    case Outcome::Kind::AnotherRead:
    case Outcome::Kind::PortHeld:
        return exitcode::kBusy;
    case Outcome::Kind::LineFailed:
    case Outcome::Kind::DatabaseFailedThisTime:
        return exitcode::kTryAgain;
    case Outcome::Kind::PortFailed:
    case Outcome::Kind::DatabaseFailed:
    case Outcome::Kind::Unfinished:
        break;
    }
    return exitcode::kFailed;
}

QString LogLine(const QString& db, const QString& port, const Outcome& outcome)
{
    QString text = summary(outcome);
    // Warnings leave the outcome as it is, and are told after it.
    for (const UserMessage& warning : outcome.Warnings())
        text += CommandLine::tr("; warning: ") + inWords(warning);
    // A server's reasons come on several lines: a log gets one per read.
    return CommandLine::tr("zqreader-cli read: %1 from %2: %3").arg(db, port, text.simplified());
}
