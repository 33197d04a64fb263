#pragma once

#include "db/joinstream.h"

#include <QString>
#include <QVariantList>
#include <functional>

class CDatabase;

// The joined rows of a PostgreSQL database, read as a binary COPY on the
// database's connection rather than as a statement's result: the rows come
// one at a time, so that nothing but the row at hand is held. The statement pieces are written as
// for Dialect::Sql; each '?' in where stands for the next of values. The first few thousand events
// come with a plan that answers at once, the rest with the plan that is fastest overall, both in
// one transaction: one state of the database.
//
// Returns false, having read nothing, when the connection is not one to a
// server, or one whose failed transaction still waits to be rolled back.
// Throws CDBException.
bool StreamJoinedRowsFromServer(CDatabase& db, const QString& select, const QString& where,
                                const QVariantList& values, const QString& order,
                                const std::function<bool(const JoinedRowValues&)>& onRow);
