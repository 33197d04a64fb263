// The columns the program needs in EVENTS and USERS, and the check of what a
// database has against them; each backend reads its own catalogue and says
// which declared types can hold what.
#pragma once

#include <QHash>
#include <QString>
#include <span>

enum class ColumnKind
{
    Integer,
    DateTime,
    Text,
};

struct RequiredColumn
{
    const char* name;
    ColumnKind kind;
};

inline constexpr RequiredColumn kEventsColumns[] = {{"INDEX", ColumnKind::Integer},
                                                    {"TIMER", ColumnKind::Integer},
                                                    {"DATE", ColumnKind::DateTime},
                                                    {"USER_NO", ColumnKind::Integer},
                                                    {"BUTTON", ColumnKind::Text}};
inline constexpr RequiredColumn kUsersColumns[] = {{"INDEX", ColumnKind::Integer},
                                                   {"NAME", ColumnKind::Text},
                                                   {"USER_NO", ColumnKind::Integer},
                                                   {"DATE_START", ColumnKind::DateTime},
                                                   {"DATE_STOP", ColumnKind::DateTime}};

struct FoundColumn
{
    QString type;
    bool numbered = false; // the database numbers it on insert
};

// Found columns by upper-case name.
using FoundColumns = QHash<QString, FoundColumn>;

// Throws CDBException naming `shown` when `table` is missing (no columns
// found), lacks a required column, or has one whose type does not fit.
void RequireColumns(const QString& shown, const char* table, const FoundColumns& found,
                    std::span<const RequiredColumn> required,
                    bool (*fits)(ColumnKind kind, const QString& type));
