#pragma once

// Helpers for tests that work on real database files.

#include "db/backend/dialect.h"
#include "db/location/location.h"
#include "db/messages.h"
#include "db/record/ctime.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVector>

namespace testdb {

// Copies the built template to path; returns whether it worked.
inline bool copyTemplate(const QString& path)
{
    QFile::remove(path);
    return QFile::copy(QStringLiteral(ZQ_BIN_DIR "/template.db"), path) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

// A connection (not yet open) to a database file or a server location.
inline QSqlDatabase connection(const QString& name, const QString& path)
{
    const Location location = Location::Parse(path);
    if (!location.IsServer()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        return db;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(location.Host());
    db.setPort(location.Port());
    db.setDatabaseName(location.Database());
    db.setUserName(location.User());
    return db;
}

// A statement written with the program's names, as the database reads it.
inline QString sql(const QString& path, const QString& statement)
{
    return Location::Parse(path).IsServer() ? Dialect(Dialect::Backend::Postgres).Sql(statement)
                                            : statement;
}

// Runs statements on a connection of its own, as another tool would, if
// asked in one transaction. Returns the first error text, empty when all went
// well.
inline QString exec(const QString& path, const QStringList& statements, bool oneTransaction = false)
{
    static int counter = 0;
    const QString name = QStringLiteral("testdb-%1").arg(++counter);
    QString error;
    {
        QSqlDatabase db = connection(name, path);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            if (oneTransaction)
                db.transaction();
            for (const QString& s : statements) {
                QSqlQuery q(db);
                if (!q.exec(sql(path, s))) {
                    error = q.lastError().text() + QStringLiteral(" in: ") + s;
                    break;
                }
            }
            if (oneTransaction && error.isEmpty() && !db.commit())
                error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

// A single value read on a connection of its own.
inline QVariant scalar(const QString& path, const QString& sql)
{
    static int counter = 0;
    const QString name = QStringLiteral("testdb-scalar-%1").arg(++counter);
    QVariant value;
    {
        QSqlDatabase db = connection(name, path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(testdb::sql(path, sql)) && q.next())
                value = q.value(0);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

// Every row of a query on a connection of its own, values in column order.
inline QVector<QVariantList> rows(const QString& path, const QString& sql)
{
    static int counter = 0;
    const QString name = QStringLiteral("testdb-query-%1").arg(++counter);
    QVector<QVariantList> result;
    {
        QSqlDatabase db = connection(name, path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(testdb::sql(path, sql))) {
                while (q.next()) {
                    QVariantList values;
                    for (int i = 0; i < q.record().count(); ++i)
                        values << q.value(i);
                    result.append(values);
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

// The EVENTS rows as stored, in INDEX order.
struct StoredEvent
{
    qint32 timer;
    qint64 date;
    qint32 userNo;
    QString button;
};

inline QVector<StoredEvent> storedEvents(const QString& path)
{
    static int counter = 0;
    const QString name = QStringLiteral("testdb-rows-%1").arg(++counter);
    QVector<StoredEvent> rows;
    {
        QSqlDatabase db = connection(name, path);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(sql(path,
                       QStringLiteral(
                           "SELECT TIMER, DATE, USER_NO, BUTTON FROM EVENTS ORDER BY \"INDEX\"")));
            while (q.next())
                rows.append({q.value(0).toInt(), CTime::FromDbText(q.value(1).toString()).GetTime(),
                             q.value(2).toInt(), q.value(3).toString()});
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// Keeps every message instead of showing it.
class RecordingMessages : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override { messages.append(message); }
    QString last() const { return messages.isEmpty() ? QString() : messages.last().text; }
    QVector<UserMessage> messages;
};

} // namespace testdb
