#include "cli/commandoutput.h"

#include "db/backend/dbexception.h"
#include "db/location/nativename.h"
#include "db/location/outputcheck.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

QString standardOutputError()
{
    return QStringLiteral("Cannot write to standard output: ") + qt_error_string(errno);
}

void tell(const QString& message)
{
    std::fprintf(stderr, "%s\n", qUtf8Printable(message));
}

} // namespace

CommandOutput::CommandOutput(const QString& file)
    : m_file(file), m_shown(ShownFileName(file)), m_staged(AbsoluteFileName(file))
{
}

bool CommandOutput::SpareInput(const Location& db) const
{
    const QString over =
        ToFile() ? OutputOverInputMessage(m_file, db)
                 : StreamOverInputMessage(STDOUT_FILENO, QStringLiteral("Standard output"), db);
    if (over.isEmpty())
        return true;
    tell(over);
    return false;
}

bool CommandOutput::Open()
{
    if (!ToFile() || m_staged.Open())
        return true;
    tell(QStringLiteral("Cannot write \"%1\": %2").arg(m_shown, m_staged.ErrorString()));
    return false;
}

void CommandOutput::Append(QByteArrayView bytes)
{
    if (ToFile()) {
        if (!m_staged.Append(bytes))
            throw CDBException(
                QStringLiteral("Cannot write \"%1\": %2").arg(m_shown, m_staged.ErrorString()));
    } else if (std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size())) {
        throw CDBException(standardOutputError());
    }
}

bool CommandOutput::Finish()
{
    if (!ToFile())
        return FlushStandardOutput();
    if (m_staged.Commit())
        return true;
    tell(QStringLiteral("Cannot write \"%1\": %2").arg(m_shown, m_staged.ErrorString()));
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

bool FlushStandardOutput()
{
    if (std::fflush(stdout) == 0)
        return true;
    tell(standardOutputError());
    return false;
}
