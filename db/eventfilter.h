#pragma once

#include <QString>
#include <QVariantList>
#include <QVector>
#include <optional>

class CDatabase;

// Which rows of the list to show or write: any combination of user numbers,
// a text the user's name contains (case-insensitive; the name of the user
// who held the number at the event's date, as the list joins it), the
// button, and dates from `from` up to, not including, `to` (stored texts;
// empty for no bound). An empty filter lets every row through.
struct EventFilter
{
    QVector<qint32> userNos; // any of these; none: every user number
    QString name;            // empty: any name, also none
    std::optional<int> button;
    QString from;
    QString to;

    bool IsEmpty() const
    {
        return userNos.isEmpty() && name.isEmpty() && !button && from.isEmpty() && to.isEmpty();
    }
    bool operator==(const EventFilter&) const = default;

    // How the list's bar and a window title name it, e.g.
    // "user 3 or 7, name \"ann\", button 1, from 2024-01-01 00:00:00".
    QString Described() const;
};

// The conditions of a filter on the join of EVENTS and USERS, joined by AND,
// with ? for each of values in order; empty when every row passes. Written
// with names in brackets for Dialect::Sql().
struct FilterWhere
{
    QString sql;
    QVariantList values;

    bool IsEmpty() const { return sql.isEmpty(); }
    bool operator==(const FilterWhere&) const = default;
};

// The conditions of a filter as terms, each on the dates, the user numbers or
// anything else, so that a statement can say which index finds its events.
struct FilterTerms
{
    enum class Kind
    {
        Date,
        UserNo,
        Other
    };
    struct Term
    {
        Kind kind;
        QString sql; // with the column as %1
        QString column;
        QVariantList values;
        bool operator==(const Term&) const = default;
    };
    QVector<Term> terms;

    // Which index finds the events: the database's choice, the one on the
    // dates or on the user numbers (the others' terms then keep SQLite from
    // using theirs), or none, reading in INDEX order.
    enum class Drive
    {
        Any,
        Date,
        UserNo,
        Order
    };
    // All terms; the database's choice lets every index be used.
    FilterWhere Where(Drive drive = Drive::Any) const;
    // Only the terms of kind, each free to use its index; empty when none.
    FilterWhere Only(Kind kind) const;
    bool Has(Kind kind) const;
    bool operator==(const FilterTerms&) const = default;
};

// The terms of the dates from `from` up to, not including, `to` (stored
// texts; empty for no bound), as a filter has them.
FilterTerms DateTerms(const QString& from, const QString& to);

// Which index should find the events of terms on a SQLite file, whose
// planner, without statistics of the events, would take an index of user
// numbers over one of dates even when the dates find far fewer: that of the
// dates or that of the user numbers, whichever finds fewer events, when the
// terms have both; else Drive::Any (also on any other database, whose
// planner knows). Each side is counted through its own index up to a limit
// that grows fourfold until one of them stays below it, so that the count
// reads some times as many index entries as the smaller side holds, never
// the whole of the larger one. Throws CDBException.
FilterTerms::Drive FewerEventsDrive(const CDatabase& db, const FilterTerms& terms);

// The conditions of filter on db. A name text is looked up in USERS first
// (a few rows, compared here so that case is ignored alike on every backend)
// and becomes the names and user numbers it matches, so that the events are
// found through their user number. Throws CDBException, also when the text
// matches more names than one statement can take.
FilterTerms ResolveFilterTerms(const CDatabase& db, const EventFilter& filter);
// The same with every index free to be used.
FilterWhere ResolveFilter(const CDatabase& db, const EventFilter& filter);
