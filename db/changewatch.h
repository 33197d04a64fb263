#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class CDatabase;
class FileChangeWatch;
class PgConnection;
class PgListener;

// Tells when another connection has changed the open database, for every
// backend: a server announces the downloads stored into the same database
// (and the same schema, see Dialect::ChangeChannel), and nothing is polled:
// the connection's socket wakes the event loop. Of a SQLite file, also one
// reached through ODBC, any commit is told (see FileChangeWatch).
//
// A server's connection that breaks (the server restarted or went away)
// tells nothing more: Lost() says so, and the watch begins anew with Watch()
// on a new connection.
class ChangeWatch : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~ChangeWatch() override;

    // Watches db from now on, instead of any earlier one; does nothing for a
    // backend that tells nothing. A server's db must stay open until Stop()
    // or the next Watch(); a file is watched through a connection of its own.
    void Watch(const CDatabase& db);
    void Stop();
    bool IsWatchingFile() const;

Q_SIGNALS:
    void Changed();
    void Lost();

private:
    void WatchServer(const CDatabase& db);

    FileChangeWatch* m_file = nullptr;
    const CDatabase* m_db = nullptr; // the server database watched
    QString m_connection;            // its connection's name
    QPointer<PgListener> m_listener;
    QString m_schema;
};
