#include "db/backend/schemacheck.h"

#include "db/backend/dbexception.h"

namespace {

QString kindText(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::Integer:
        return QStringLiteral("whole numbers");
    case ColumnKind::DateTime:
        return QStringLiteral("date-times");
    case ColumnKind::Text:
        break;
    }
    return QStringLiteral("text");
}

} // namespace

void RequireColumns(const QString& shown, const char* table, const FoundColumns& found,
                    std::span<const RequiredColumn> required,
                    bool (*fits)(ColumnKind kind, const QString& type))
{
    if (found.isEmpty())
        throw CDBException(QStringLiteral("The database \"%1\" has no table %2.")
                               .arg(shown, QLatin1String(table)));
    for (const RequiredColumn& column : required) {
        const auto it = found.constFind(QLatin1String(column.name));
        if (it == found.cend())
            throw CDBException(QStringLiteral("Table %1 of the database \"%2\" has no column %3.")
                                   .arg(QLatin1String(table), shown, QLatin1String(column.name)));
        if (!fits(column.kind, it->type))
            throw CDBException(
                QStringLiteral("Column %1 of table %2 in \"%3\" has the type %4, which cannot "
                               "hold %5.")
                    .arg(QLatin1String(column.name), QLatin1String(table), shown,
                         it->type.isEmpty() ? QStringLiteral("(none)") : it->type,
                         kindText(column.kind)));
    }
}
