#include "cli/commandoutput.h"

#include "cli/exitcodes.h"
#include "db/backend/dbexception.h"
#include "db/location/nativename.h"
#include "db/location/outputcheck.h"
#include "platform/filestatus.h"
#include "platform/process.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>

namespace {

// Why standard output failed, its first failure; empty while it works.
QString lost;
bool lostTold = false;

// Notes the failure errno tells of; false, for the caller to return.
bool lose()
{
    if (lost.isEmpty())
        lost = QCoreApplication::translate("CommandLine", "Cannot write to standard output: %1")
                   .arg(qt_error_string(errno));
    return false;
}

void tell(const QString& message)
{
    std::fprintf(stderr, "%s\n", qUtf8Printable(message));
}

// False, told once, when standard output has failed.
bool tellLost()
{
    if (lost.isEmpty())
        return true;
    if (!lostTold)
        tell(lost);
    lostTold = true;
    return false;
}

// Whether the file is the null device (also through a link), which takes
// every byte and keeps none: there is nothing to stage beside it.
bool isNullDevice(const QString& file)
{
    return platform::IsNullDevice(OutputTarget(file));
}

QString cannotWrite()
{
    return QCoreApplication::translate("CommandLine", "Cannot write \"%1\": %2");
}

} // namespace

CommandOutput::CommandOutput(const QString& file)
    : m_file(file), m_shown(ShownFileName(file)), m_staged(AbsoluteFileName(file)),
      m_nullDevice(!file.isEmpty() && isNullDevice(file))
{
}

bool CommandOutput::SpareInput(const Location& db) const
{
    const QString over =
        ToFile()
            ? OutputOverInputMessage(m_file, db)
            : StreamOverInputMessage(platform::StatusOf(platform::StandardStream::Output),
                                     QCoreApplication::translate("CommandLine", "Standard output"),
                                     db);
    if (over.isEmpty())
        return true;
    tell(over);
    return false;
}

bool CommandOutput::Open()
{
    if (!ToFile() || m_nullDevice || m_staged.Open())
        return true;
    tell(cannotWrite().arg(m_shown, m_staged.ErrorString()));
    return false;
}

void CommandOutput::Append(QByteArrayView bytes)
{
    if (m_nullDevice)
        return;
    if (ToFile()) {
        if (!m_staged.Append(bytes))
            throw CDBException(cannotWrite().arg(m_shown, m_staged.ErrorString()));
    } else if (!WriteStandardOutput(bytes)) {
        // Told by the caller.
        lostTold = true;
        throw CDBException(lost);
    }
}

bool CommandOutput::Finish()
{
    if (!ToFile())
        return FlushStandardOutput();
    if (m_nullDevice || m_staged.Commit())
        return true;
    tell(cannotWrite().arg(m_shown, m_staged.ErrorString()));
    return false;
}

bool CommandOutput::Write(const QByteArray& bytes)
{
    if (!Open())
        return false;
    try {
        Append(bytes);
    } catch (const CDBException& e) {
        tell(e.m_strError);
        return false;
    }
    return Finish();
}

bool WriteStandardOutput(QByteArrayView bytes)
{
    if (!lost.isEmpty())
        return false;
    if (bytes.isEmpty() ||
        std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()))
        return true;
    return lose();
}

bool PrintLine(const QString& line)
{
    return WriteStandardOutput(QString(line + QLatin1Char('\n')).toUtf8());
}

bool FlushStandardOutput()
{
    if (lost.isEmpty() && std::fflush(stdout) != 0)
        lose();
    return tellLost();
}

int CloseStandardOutput(int status)
{
    FlushStandardOutput();
    // A file system may report a failed write only when the file is closed.
    if (std::fclose(stdout) != 0)
        lose();
    if (tellLost())
        return status;
    return status == exitcode::kDone || status == exitcode::kNothingNew ? exitcode::kFailed
                                                                        : status;
}
