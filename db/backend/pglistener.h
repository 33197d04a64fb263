#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class PgConnection;
class QSocketNotifier;

// The notifications of a PostgreSQL connection (LISTEN/NOTIFY), told as they
// come: the connection's socket wakes the event loop, nothing is polled.
// Made by PgConnection::Listen(); it goes with the connection.
class PgListener : public QObject
{
    Q_OBJECT
public:
    explicit PgListener(PgConnection* connection);
    ~PgListener() override;

    bool IsListening(const QString& channel) const { return m_channels.contains(channel); }
    void Add(const QString& channel);
    void Remove(const QString& channel);

    // Tells the notifications the client library holds, also those it read
    // while a statement ran (the socket has nothing more to say for them).
    void Deliver();
    // After a failure: when the connection is broken (the server restarted,
    // say), its socket, which the client library has closed, is watched no
    // more (its number may soon be another connection's), and Lost() follows
    // from the event loop, once.
    void NoteLoss();
    // The connection goes: nothing more is told.
    void Detach();

Q_SIGNALS:
    void Notified(const QString& channel, const QString& payload, bool fromItself);
    void Lost();

private:
    PgConnection* m_connection;
    QStringList m_channels;
    QSocketNotifier* m_notifier = nullptr;
};
