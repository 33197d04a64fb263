#pragma once

#include <QByteArray>
#include <QVector>
#include <optional>

class CDatabase;
class CEVENTS;
class SqliteConnection;
struct NewEvent;

// The "file change counter" of an SQLite database: in rollback-journal mode
// SQLite adds one to it with every committed write transaction, whoever
// commits. A connection that reads it just before and just after its own
// write transaction knows, when the two differ by exactly one, that the
// commit in between was its own; such commits are noted process-wide, so that
// another connection can tell "only our own appends" from any other change
// without reading the tables.
namespace commitcounter {

// The counter within a read transaction of its own (SqliteConnection::
// FileChangeCounter() reads it within one under way); db must not be in one.
// None for backends other than SQLite.
std::optional<quint32> ReadNow(const CDatabase& db);

// Notes that the commit from `before` to `before + 1` was one of this process's
// own appends to file. Thread-safe.
void NoteOwnAppend(const QByteArray& file, quint32 before);

// Whether the counter of file went from `from` to `to` (`to` != `from`) only
// through noted own appends.
bool OnlyOwnAppends(const QByteArray& file, quint32 from, quint32 to);

// AppendEventBatch, the commit noted as an own append when the counter moved
// by exactly one over it; returns what AppendEventBatch does.
qint64 AppendNoted(CEVENTS& record, const QVector<NewEvent>& events);

} // namespace commitcounter
