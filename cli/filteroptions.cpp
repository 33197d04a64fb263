#include "cli/filteroptions.h"

#include "db/record/datetext.h"
#include "db/record/users.h"

#include <QCoreApplication>
#include <tuple>

namespace {

// A bound of --from or --to as stored text, or what is wrong with the text.
// A day alone stands for its first moment in --from and for all of it in
// --to: the last day of the last year a date may have is then no bound.
struct Bound
{
    QString stored;
    datetext::Parsed parsed;
};

Bound dateBound(const QString& text, bool upper)
{
    Bound bound{{}, datetext::Parse(text)};
    if (bound.parsed)
        bound.stored = upper && !bound.parsed.timeGiven ? datetext::EndOfDay(bound.parsed.stored)
                                                        : bound.parsed.stored;
    return bound;
}

} // namespace

QString ParseFilterOptions(const FilterOptions& options, EventFilter* filter)
{
    EventFilter parsed;
    for (const auto& [text, upper, option] :
         {std::tuple(&options.from, false, "--from"), std::tuple(&options.to, true, "--to")}) {
        if (text->isNull())
            continue;
        const Bound bound = dateBound(*text, upper);
        if (bound.parsed.problem == datetext::Problem::NotADate)
            return QCoreApplication::translate("CommandLine",
                                               "%1 \"%2\" is not a date YYYY-MM-DD or a "
                                               "date and time YYYY-MM-DD HH:MM[:SS]")
                .arg(QLatin1String(option), *text);
        // A date of the right form that cannot be: the reason names the field.
        if (!bound.parsed)
            return QStringLiteral("%1 \"%2\": %3")
                .arg(QLatin1String(option), *text, bound.parsed.reason);
        (upper ? parsed.to : parsed.from) = bound.stored;
    }
    if (!parsed.from.isEmpty() && !parsed.to.isEmpty() && parsed.to <= parsed.from)
        return QCoreApplication::translate("CommandLine", "--to must come after --from");
    for (const QString& text : options.userNos) {
        bool whole = false;
        const int userNo = text.trimmed().toInt(&whole);
        if (!whole || userNo < users::kMinUserNo || userNo > users::kMaxUserNo)
            return QCoreApplication::translate("CommandLine",
                                               "--user \"%1\" is not a user number from %2 to %3")
                .arg(text)
                .arg(users::kMinUserNo)
                .arg(users::kMaxUserNo);
        parsed.userNos.append(userNo);
    }
    if (!options.button.isNull()) {
        const QString button = options.button.trimmed();
        if (button != QLatin1String("0") && button != QLatin1String("1"))
            return QCoreApplication::translate("CommandLine", "--button \"%1\" is not 0 or 1")
                .arg(options.button);
        parsed.button = button.toInt();
    }
    if (!options.name.isNull()) {
        if (options.name.trimmed().isEmpty())
            return QCoreApplication::translate("CommandLine",
                                               "--name needs a text that the names contain");
        parsed.name = options.name;
    }
    *filter = parsed;
    return {};
}
