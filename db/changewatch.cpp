#include "db/changewatch.h"

#include "db/backend/serverdriver.h"
#include "db/filechangewatch.h"
#include "db/record/database.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>

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
    QSqlDatabase handle = db.Handle();
    QSqlQuery schema(handle);
    if (!schema.exec(QStringLiteral("SELECT current_schema()")) || !schema.next())
        return;
    QSqlDriver* driver = handle.driver();
    if (!driver->subscribeToNotification(Dialect::ChangeChannel()))
        return;
    m_schema = schema.value(0).toString();
    m_connection = handle.connectionName();
    connect(driver, &QSqlDriver::notification, this,
            [this](const QString& name, QSqlDriver::NotificationSource, const QVariant& payload) {
                if (name == Dialect::ChangeChannel() && payload.toString() == m_schema)
                    Q_EMIT Changed();
            });
    if (auto* server = qobject_cast<ServerDriver*>(driver))
        connect(server, &ServerDriver::ConnectionLost, this, &ChangeWatch::Lost);
}

void ChangeWatch::Stop()
{
    if (m_file)
        m_file->Stop();
    if (m_connection.isEmpty())
        return;
    QSqlDatabase handle = QSqlDatabase::database(m_connection, false);
    if (handle.isValid() && handle.driver()) {
        disconnect(handle.driver(), nullptr, this, nullptr);
        if (handle.isOpen())
            handle.driver()->unsubscribeFromNotification(Dialect::ChangeChannel());
    }
    m_connection.clear();
}
