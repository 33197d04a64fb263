#pragma once

#include "db/backend/statement.h"

#include <QString>
#include <QVariant>
#include <initializer_list>
#include <memory>

class CDatabase;

// A statement of a database's connection, written with the program's names
// (see Dialect::Sql), prepared once and run many times; its values are read
// as QSqlQuery::value() gave them. A statement kept past the close of its
// connection throws when it runs, and must be made anew on the next one.
// On a server a run is one round trip: the statement is sent with its values.
class PreparedQuery
{
public:
    PreparedQuery() = default;
    // Throws CDBException when db is closed or the statement is wrong (a
    // server tells that at the first Exec()).
    PreparedQuery(const CDatabase& db, const QString& sql);

    bool IsPrepared() const { return m_statement != nullptr; }

    // Starts a run with the values bound in order; Next() then steps through
    // the rows. Throws CDBException.
    void Exec(std::initializer_list<qint64> values = {});
    // The same with values of any type: texts bound as text, whole numbers as
    // numbers, null values as NULL.
    void Exec(const QVariantList& values);
    // Moves to the next row; false at the end, where the run ends by itself.
    // Throws CDBException, the run ended.
    bool Next();
    // Ends a run before its last row, letting go of what it holds on the
    // file; nothing when none is under way.
    void Finish();
    // The rows the last run inserted, changed or deleted.
    qint64 RowsAffected() const;

    // The values of the current row: value(column) and its toLongLong(),
    // toInt() and toString().
    QVariant Value(int column) const;
    bool IsNull(int column) const;
    ValueType Type(int column) const;
    qint64 Int64(int column) const;
    qint32 Int32(int column) const;
    QString Text(int column) const;
    // The current row as the backend gives it.
    const ResultRow& Row() const { return *m_statement; }

private:
    Statement& statement() const;

    std::unique_ptr<Statement> m_statement;
};
