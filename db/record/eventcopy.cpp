#include "db/record/eventcopy.h"

#include "db/backend/dbexception.h"

#include <charconv>
#include <libpq-fe.h>
#include <memory>
#include <string>

namespace {

void appendNumber(std::string& out, qint32 value)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, size_t(end - digits));
}

// A text field of COPY's text form.
void appendText(std::string& out, const QString& text)
{
    if (text.isNull()) {
        out += "\\N";
        return;
    }
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

QString resultError(PGconn* conn, PGresult* result)
{
    const char* text = result ? PQresultErrorMessage(result) : PQerrorMessage(conn);
    return QString::fromUtf8(text && *text ? text : PQerrorMessage(conn)).trimmed();
}

} // namespace

void CopyEventsToServer(PGconn* conn, const QVector<NewEvent>& events)
{
    if (events.isEmpty())
        return;
    std::string rows;
    rows.reserve(size_t(events.size()) * 48);
    DbTextWriter dates;
    for (const NewEvent& e : events) {
        appendNumber(rows, e.timer);
        rows += '\t';
        // An invalid date is stored as NULL, as the driver binds it.
        char date[DbTextWriter::kMaxSize];
        const qsizetype dateSize = dates.Write(e.date, date);
        if (dateSize > 0)
            rows.append(date, size_t(dateSize));
        else
            rows += "\\N";
        rows += '\t';
        appendNumber(rows, e.userNo);
        rows += '\t';
        appendText(rows, e.button);
        rows += '\n';
    }
    using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;
    const Result start(PQexec(conn, "COPY \"EVENTS\" (\"TIMER\", \"DATE\", \"USER_NO\", "
                                    "\"BUTTON\") FROM STDIN"),
                       PQclear);
    if (PQresultStatus(start.get()) != PGRES_COPY_IN)
        throw CDBException(resultError(conn, start.get()));
    const bool sent = PQputCopyData(conn, rows.data(), int(rows.size())) == 1;
    PQputCopyEnd(conn, sent ? nullptr : "the rows could not be sent");
    QString error;
    while (PGresult* result = PQgetResult(conn)) {
        if (error.isEmpty() && PQresultStatus(result) != PGRES_COMMAND_OK)
            error = resultError(conn, result);
        PQclear(result);
    }
    if (!sent && error.isEmpty())
        error = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    if (!error.isEmpty())
        throw CDBException(error);
}
