#include "db/location/outputcheck.h"

#include "db/location/location.h"
#include "db/location/nativename.h"

#include <array>

namespace {

constexpr std::array<const char*, 4> kCompanions{"", "-journal", "-wal", "-shm"};

// The input's file, as named and with its links resolved: SQLite keeps its
// other files beside the one it resolved.
std::array<QByteArray, 2> inputNames(const Location& input)
{
    const QByteArray& given = input.NativeName();
    const QByteArray real = platform::ResolvedPath(given);
    return {given, real.isEmpty() ? given : real};
}

QString overMessage(const QString& output, const Location& input, const char* companion)
{
    const QString& database = input.Shown();
    const QString file = ShownFileName(input.Path() + QLatin1String(companion));
    if (*companion == '\0')
        return QStringLiteral("%1 is the database \"%2\" that is being read: it is not written "
                              "over.")
            .arg(output, database);
    return QStringLiteral("%1 is %2a file of the database \"%3\" that is being read: it is not "
                          "written over.")
        .arg(output, output.contains(file) ? QString() : QStringLiteral("\"%1\", ").arg(file),
             database);
}

// The file names the input uses; check tells whether output is one of them.
template <typename Check>
QString findOver(const QString& output, const Location& input, const Check& check)
{
    if (!input.IsFile())
        return {};
    for (const char* companion : kCompanions) {
        for (const QByteArray& base : inputNames(input)) {
            if (check(base + companion))
                return overMessage(output, input, companion);
        }
    }
    return {};
}

// Where the file of these absolute native bytes lands (see OutputTarget).
QByteArray outputTarget(QByteArray path)
{
    // As the kernel does, give up after 40 links.
    for (int links = 0; links < 40; ++links) {
        QByteArray real = platform::ResolvedPath(path);
        if (!real.isEmpty())
            return real;
        const QByteArray to = platform::LinkTarget(path);
        if (to.isEmpty())
            break;
        path = to.startsWith('/') ? to : path.left(path.lastIndexOf('/') + 1) + to;
    }
    // A file not made yet: where its folder is.
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder =
        platform::ResolvedPath(slash <= 0 ? QByteArray("/") : path.left(slash));
    if (slash < 0 || folder.isEmpty())
        return path;
    return folder + (folder.endsWith('/') ? "" : "/") + path.mid(slash + 1);
}

QString overInput(const QByteArray& target, const QString& shown, const Location& input)
{
    const platform::FileStatus out = platform::StatusOf(target);
    return findOver(QStringLiteral("\"%1\"").arg(shown), input, [&](const QByteArray& name) {
        return target == name || (out.Exists() && platform::StatusOf(name).IsSameFile(out));
    });
}

} // namespace

QByteArray OutputTarget(const QString& name)
{
    return outputTarget(EncodeFileName(AbsoluteFileName(name)));
}

QString OutputOverInputMessage(const QString& output, const Location& input)
{
    if (output.isEmpty() || !input.IsFile())
        return {};
    return overInput(OutputTarget(output), ShownFileName(output), input);
}

QString OutputOverInputMessage(const Location& output, const Location& input)
{
    if (!output.IsFile() || !input.IsFile())
        return {};
    return overInput(outputTarget(output.NativeName()), output.Shown(), input);
}

QString OutputOverInputMessage(const QString& output, const QString& input)
{
    return OutputOverInputMessage(output, Location::Parse(input));
}

QString StreamOverInputMessage(const platform::FileStatus& opened, const QString& shown,
                               const Location& input)
{
    if (!opened.Exists() || opened.type != platform::FileType::Regular)
        return {};
    return findOver(shown, input, [&](const QByteArray& name) {
        return platform::StatusOf(name).IsSameFile(opened);
    });
}
