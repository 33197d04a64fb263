#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QVector>
#include <optional>

class CDatabase;

// The users' periods by user number, as stored texts "YYYY-MM-DD HH:MM:SS",
// so that events grouped by day and number alone can be given the users the
// list joins them with (an event's date strictly between a user's start and
// stop) without joining every event.
class ReportUsers
{
public:
    struct User
    {
        QString name;
        bool hasName = false;
        QString start;
        QString stop;
    };

    // Reads the users of db. False when the join alone can compare them as
    // the list does: a SQLite file with a date stored as a number or a user
    // number that is not a whole number.
    // Throws CDBException.
    bool Read(CDatabase& db);

    // The users who hold number's every date from first to last, or nothing
    // when a period of that number starts or ends on one of those dates (from
    // first to last inclusive): then the events of the group do not all
    // match the same users, and only the join counts them right.
    std::optional<QVector<const User*>> Holding(qint64 number, const QString& first,
                                                const QString& last) const;

private:
    QHash<qint64, QVector<User>> m_byNumber;
};

// The names of rows of USERS by their INDEX, each read once and then shared
// by every group counted for its row: a name of megabytes is held once
// however many days and periods it is counted in.
class UserNames
{
public:
    struct Name
    {
        QString text;
        bool isNull = true;
    };

    // Reads the names of those rows of indexes not read yet. Throws
    // CDBException.
    void Read(CDatabase& db, const QList<qint64>& indexes);
    // The name of a row read; a null name for any other.
    const Name& Of(qint64 index) const;

private:
    QHash<qint64, Name> m_names;
    Name m_none;
};
