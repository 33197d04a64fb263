#include "db/backend/pglistener.h"

#include "db/backend/pgconnection.h"

#include <QSocketNotifier>
#include <libpq-fe.h>

PgListener::PgListener(PgConnection* connection) : m_connection(connection) {}

PgListener::~PgListener() = default;

void PgListener::Add(const QString& channel)
{
    if (!m_channels.contains(channel))
        m_channels << channel;
    const int socket = m_connection ? PQsocket(m_connection->Handle()) : -1;
    if (!m_notifier && socket >= 0) {
        m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &PgListener::Deliver);
    }
}

void PgListener::Remove(const QString& channel)
{
    m_channels.removeAll(channel);
    if (m_channels.isEmpty()) {
        delete m_notifier;
        m_notifier = nullptr;
    }
}

void PgListener::Deliver()
{
    if (!m_connection)
        return;
    PGconn* conn = m_connection->Handle();
    if (!PQconsumeInput(conn) || PQstatus(conn) == CONNECTION_BAD) {
        NoteLoss();
        return;
    }
    const int self = PQbackendPID(conn);
    while (PGnotify* n = PQnotifies(conn)) {
        const QString channel = QString::fromUtf8(n->relname);
        const bool fromItself = n->be_pid == self;
        const QString payload = QString::fromUtf8(n->extra);
        PQfreemem(n);
        if (m_channels.contains(channel))
            Q_EMIT Notified(channel, payload, fromItself);
    }
}

void PgListener::NoteLoss()
{
    if (!m_connection || PQstatus(m_connection->Handle()) != CONNECTION_BAD || !m_notifier)
        return;
    // Maybe from within the notifier's own signal: off at once, gone later.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    m_channels.clear();
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT Lost(); }, Qt::QueuedConnection);
}

void PgListener::Detach()
{
    m_connection = nullptr;
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    m_channels.clear();
}
