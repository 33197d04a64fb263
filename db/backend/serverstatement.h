#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <memory>

class QSqlDatabase;
struct pg_conn;
struct pg_result;

// One statement on a connection of the program's PostgreSQL driver
// (ServerDriver), run through the client library as an unnamed statement:
// parsed, planned for the values given, run and answered in one round trip,
// where a prepared query of the driver takes two (prepare, then execute) and
// a third to drop it. Values are bound as text,
// their types told by where they stand; the rows come as text.
class ServerStatement
{
public:
    ServerStatement() = default;
    // sql as the server reads it, '?' for each value.
    explicit ServerStatement(const QString& sql);

    bool IsMade() const { return !m_sql.isEmpty(); }

    // Whether the statement can run on db's connection now: a connection of
    // the driver on which no other statement is still under way.
    static bool CanRun(const QSqlDatabase& db);

    // Runs the statement and keeps all its rows; throws CDBException with the
    // server's message.
    void Exec(const QSqlDatabase& db, const QVariantList& values);
    // Moves to the next row; false after the last one.
    bool Next();
    void Clear();

    bool IsNull(int column) const;
    qint64 Int64(int column) const;
    QString Text(int column) const;
    // Whole numbers as qint64, NULL as an invalid QVariant, the rest as text.
    QVariant Value(int column) const;

private:
    QByteArray m_sql;
    int m_params = 0;
    std::unique_ptr<pg_result, void (*)(pg_result*)> m_result{nullptr, nullptr};
    int m_row = -1;
    int m_rows = 0;
};
