#pragma once

#include "db/joinstream.h"

#include <QString>
#include <QVariantList>
#include <functional>

class CDatabase;

// The joined rows of a PostgreSQL database, read through the client library
// on the driver's connection rather than through QSqlQuery: the rows come
// as a binary COPY, one at a time, so that nothing but the row at hand is
// held. The statement pieces are written as for Dialect::Sql; each '?' in
// where stands for the next of values. The first few thousand events come
// with a plan that answers at once, the rest with the plan that is fastest
// overall, both in one transaction: one state of the database.
//
// Returns false, having read nothing, when the connection is not one the
// client library can be used on (another driver, or a statement still
// running on it). Throws CDBException.
bool StreamJoinedRowsFromServer(CDatabase& db, const QString& select, const QString& where,
                                const QVariantList& values, const QString& order,
                                const std::function<bool(const JoinedRowValues&)>& onRow);
