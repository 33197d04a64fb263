#include "db/backend/dialect.h"

#include <QSet>

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

const QSet<QString>& programNames()
{
    static const QSet<QString> names = {QStringLiteral("EVENTS"),     QStringLiteral("USERS"),
                                        QStringLiteral("INDEX"),      QStringLiteral("TIMER"),
                                        QStringLiteral("DATE"),       QStringLiteral("USER_NO"),
                                        QStringLiteral("BUTTON"),     QStringLiteral("NAME"),
                                        QStringLiteral("DATE_START"), QStringLiteral("DATE_STOP")};
    return names;
}

// Brackets become double quotes, the program's bare names are quoted.
QString doubleQuoted(const QString& text)
{
    QString out;
    out.reserve(text.size() + 32);
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype end = text.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? text.size() : end + 1;
            out += QStringView(text).mid(i, stop - i);
            i = stop;
        } else if (c == QLatin1Char('[')) {
            const qsizetype end = text.indexOf(QLatin1Char(']'), i + 1);
            const qsizetype stop = end < 0 ? text.size() : end;
            out += QLatin1Char('"');
            out += QStringView(text).mid(i + 1, stop - i - 1);
            out += QLatin1Char('"');
            i = stop + 1;
        } else if (isNameChar(c)) {
            qsizetype end = i;
            while (end < text.size() && isNameChar(text.at(end)))
                ++end;
            const QString word = text.mid(i, end - i);
            const bool afterName = i > 0 && (isNameChar(text.at(i - 1)));
            if (!afterName && programNames().contains(word))
                out += QLatin1Char('"') + word + QLatin1Char('"');
            else
                out += word;
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace

QString Dialect::Sql(const QString& text) const
{
    return m_backend == Backend::Postgres ? doubleQuoted(text) : text;
}

QString Dialect::NotifySql() const
{
    return QStringLiteral("SELECT pg_notify('%1', current_schema())").arg(ChangeChannel());
}

QString Dialect::DataVersionSql() const
{
    if (m_backend == Backend::Sqlite)
        return QStringLiteral("PRAGMA data_version");
    const QString columns = DataVersionColumns();
    return columns.isEmpty() ? QString() : QStringLiteral("SELECT ") + columns;
}

QString Dialect::DataVersionColumns() const
{
    if (m_backend != Backend::Postgres)
        return {};
    // The snapshot names every transaction whose writes it sees: it stays the
    // same until a write commits anywhere on the server. What this
    // transaction itself wrote is counted apart.
    QString own;
    for (const char* table : {"EVENTS", "USERS"})
        for (const char* what : {"inserted", "updated", "deleted"})
            own += QStringLiteral("%1pg_stat_get_xact_tuples_%2('\"%3\"'::regclass)")
                       .arg(own.isEmpty() ? "" : " + ", what, table);
    return QStringLiteral("('x' || substr(md5(txid_current_snapshot()::text), 1, "
                          "15))::bit(60)::bigint, ") +
           own;
}

QString Dialect::UsersDigestSql() const
{
    if (m_backend == Backend::Postgres)
        return QStringLiteral(
            "SELECT pg_typeof(\"INDEX\")::text || pg_typeof(\"NAME\")::text || "
            "pg_typeof(\"USER_NO\")::text || pg_typeof(\"DATE_START\")::text || "
            "pg_typeof(\"DATE_STOP\")::text, \"INDEX\", \"NAME\", \"USER_NO\", \"DATE_START\", "
            "\"DATE_STOP\" FROM \"USERS\" ORDER BY \"INDEX\"");
    return QStringLiteral("SELECT typeof([INDEX]) || typeof(NAME) || typeof(USER_NO) || "
                          "typeof(DATE_START) || typeof(DATE_STOP), [INDEX], NAME, USER_NO, "
                          "DATE_START, DATE_STOP FROM USERS ORDER BY [INDEX]");
}

QString Dialect::CanAppendSql() const
{
    if (m_backend == Backend::Postgres)
        return QStringLiteral("SELECT has_table_privilege('\"EVENTS\"', 'INSERT') AND "
                              "current_setting('transaction_read_only') = 'off'");
    return {};
}

QString Dialect::ReadLockSql() const
{
    // A session lock of the server, keyed by a constant of this program
    // ("ZQRD") and the table's own number: each schema's table has its own.
    if (m_backend == Backend::Postgres)
        return QStringLiteral("SELECT pg_try_advisory_lock((x'5A515244'::bigint << 32) | "
                              "'\"EVENTS\"'::regclass::oid::bigint)");
    return {};
}

QStringList Dialect::CreateTablesSql() const
{
    // Date-times without a zone and without fractions: they compare as the
    // local calendar times they are, and read back as the same texts.
    return {
        QStringLiteral("CREATE TABLE \"EVENTS\" ("
                       "\"INDEX\" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
                       "\"TIMER\" integer, "
                       "\"DATE\" timestamp(0) without time zone, "
                       "\"USER_NO\" integer, "
                       "\"BUTTON\" varchar(255))"),
        QStringLiteral("CREATE TABLE \"USERS\" ("
                       "\"INDEX\" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
                       "\"NAME\" varchar(255), "
                       "\"USER_NO\" integer, "
                       "\"DATE_START\" timestamp(0) without time zone, "
                       "\"DATE_STOP\" timestamp(0) without time zone)"),
        QStringLiteral("CREATE INDEX \"USERS_USER_NO\" ON \"USERS\" (\"USER_NO\")"),
        // Exports of a date range read through it.
        QStringLiteral("CREATE INDEX \"EVENTS_DATE\" ON \"EVENTS\" (\"DATE\")"),
        // A filter of the list by user number reads through it.
        QStringLiteral("CREATE INDEX \"EVENTS_USER_NO\" ON \"EVENTS\" (\"USER_NO\", \"INDEX\")")};
}

QString Dialect::CountTablesSql() const
{
    return QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema = "
                          "current_schema() AND table_name IN ('EVENTS', 'USERS')");
}

QString Dialect::ColumnsSql() const
{
    // What information_schema.columns tells (the type as its data_type, the
    // columns this user may use), read from the catalog itself: the view
    // costs a new connection several times as long.
    return QStringLiteral(
        "SELECT c.relname, a.attname, format_type(coalesce(nullif(t.typbasetype, 0), "
        "a.atttypid), NULL), (a.attidentity <> '' OR coalesce(pg_get_expr(d.adbin, d.adrelid) "
        "LIKE 'nextval(%', false)) FROM pg_catalog.pg_attribute a "
        "JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
        "JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
        "LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
        "WHERE c.relnamespace = (SELECT oid FROM pg_catalog.pg_namespace WHERE nspname = "
        "current_schema()) AND c.relname IN ('EVENTS', 'USERS') AND c.relkind IN ('r', 'v', "
        "'f', 'p') AND a.attnum > 0 AND NOT a.attisdropped AND (pg_has_role(c.relowner, "
        "'USAGE') OR has_column_privilege(c.oid, a.attnum, 'SELECT, INSERT, UPDATE, "
        "REFERENCES'))");
}
