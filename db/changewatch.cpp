#include "db/changewatch.h"

#include "db/backend/dbexception.h"
#include "db/backend/pgconnection.h"
#include "db/backend/pglistener.h"
#include "db/filechangewatch.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"

ChangeWatch::~ChangeWatch()
{
    Stop();
}

void ChangeWatch::Watch(const CDatabase& db)
{
    Stop();
    if (!db.IsOpen())
        return;
    if (db.GetDialect().HasNotifications()) {
        WatchServer(db);
        return;
    }
    const Location file = db.GetLocation().File();
    if (file.NativeName().isEmpty())
        return;
    if (!m_file) {
        m_file = new FileChangeWatch(this);
        connect(m_file, &FileChangeWatch::Changed, this, &ChangeWatch::Changed);
    }
    m_file->Watch(file.NativeName());
}

bool ChangeWatch::IsWatchingFile() const
{
    return m_file && m_file->IsWatching();
}

void ChangeWatch::WatchServer(const CDatabase& db)
{
    PgConnection* server = db.Server();
    if (!server)
        return;
    try {
        PreparedQuery schema(db, QStringLiteral("SELECT current_schema()"));
        schema.Exec();
        if (!schema.Next())
            return;
        m_schema = schema.Text(0);
        schema.Finish();
        m_listener = server->Listen(Dialect::ChangeChannel());
    } catch (const CDBException&) {
        return;
    }
    m_db = &db;
    m_connection = db.ConnectionName();
    connect(m_listener, &PgListener::Notified, this,
            [this](const QString& channel, const QString& payload, bool) {
                if (channel == Dialect::ChangeChannel() && payload == m_schema)
                    Q_EMIT Changed();
            });
    connect(m_listener, &PgListener::Lost, this, &ChangeWatch::Lost);
}

void ChangeWatch::Stop()
{
    if (m_file)
        m_file->Stop();
    if (m_listener) {
        disconnect(m_listener, nullptr, this, nullptr);
        // Only while the database still holds the connection watched.
        PgConnection* server = m_db ? m_db->Server() : nullptr;
        if (server && m_db->ConnectionName() == m_connection)
            server->Unlisten(Dialect::ChangeChannel());
    }
    m_listener.clear();
    m_db = nullptr;
    m_connection.clear();
}
