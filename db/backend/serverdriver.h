#pragma once

#include <QSqlDriver>
#include <QSqlError>
#include <QStringList>

class QSocketNotifier;
struct pg_conn;

// The program's own Qt SQL driver for PostgreSQL, on the client library.
// Qt's QPSQL driver sends five statements of its own, one after another,
// once connected; on a server 20 ms away that is 100 ms before the first
// screen. This one makes the same settings in the connection's start-up
// packet (client encoding UTF8, ISO dates) and gives values as QPSQL does, so
// that the code above it reads the same either way.
//
// What the program uses is there: statements, prepared statements with
// positional values, transactions, notifications, the last sequence value.
// It does not list tables or their columns (the program reads the catalogue
// with its own statements).
class ServerDriver : public QSqlDriver
{
    Q_OBJECT
public:
    // The name it is registered under with QSqlDatabase.
    static QString Name();
    // Registers the driver once per process.
    static void Register();

    explicit ServerDriver(QObject* parent = nullptr);
    ~ServerDriver() override;

    bool hasFeature(DriverFeature feature) const override;
    bool open(const QString& db, const QString& user, const QString& password, const QString& host,
              int port, const QString& connectOptions) override;
    bool isOpen() const override;
    void close() override;
    QSqlResult* createResult() const override;
    QVariant handle() const override;

    bool beginTransaction() override;
    bool commitTransaction() override;
    bool rollbackTransaction() override;

    QString escapeIdentifier(const QString& identifier, IdentifierType type) const override;

    bool subscribeToNotification(const QString& name) override;
    bool unsubscribeFromNotification(const QString& name) override;
    QStringList subscribedToNotifications() const override;

    pg_conn* Connection() const { return m_conn; }
    // A new name for a statement prepared on this connection.
    QByteArray NextStatementName() const;
    // Tells the notifications the client library holds, also those it read
    // while a statement ran (the socket has nothing more to say for them).
    void DeliverNotifications();
    // After a failure: when the connection is broken (the server restarted,
    // say) while notifications were listened for, its socket, which the
    // client library has closed, is watched no more (its number may soon be
    // another connection's), and ConnectionLost() follows from the event
    // loop, once.
    void NoteLoss();

Q_SIGNALS:
    void ConnectionLost();

private:
    bool run(const char* sql, const QString& failure, QSqlError::ErrorType type);

    pg_conn* m_conn = nullptr;
    QStringList m_channels;
    QSocketNotifier* m_notifier = nullptr;
    mutable quint64 m_statements = 0;
};
