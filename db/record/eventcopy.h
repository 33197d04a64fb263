#pragma once

#include "db/record/events.h"

#include <QVector>

struct pg_conn;

// Appends the events to EVENTS of a PostgreSQL database in one COPY on the
// connection, in the transaction open there: the values stored as a
// prepared INSERT stores them, in one round trip rather than one a row.
// Throws CDBException with the server's reason.
void CopyEventsToServer(pg_conn* conn, const QVector<NewEvent>& events);
