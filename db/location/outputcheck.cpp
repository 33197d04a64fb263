#include "db/location/outputcheck.h"

#include "db/location/location.h"
#include "db/location/nativename.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::array<const char*, 4> kCompanions{"", "-journal", "-wal", "-shm"};

QByteArray realPath(const QByteArray& name)
{
    char buffer[PATH_MAX];
    return ::realpath(name.constData(), buffer) ? QByteArray(buffer) : QByteArray();
}

bool sameInode(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The input's file, as named and with its links resolved: SQLite keeps its
// other files beside the one it resolved.
std::array<QByteArray, 2> inputNames(const Location& input)
{
    const QByteArray& given = input.NativeName();
    const QByteArray real = realPath(given);
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
        QByteArray real = realPath(path);
        if (!real.isEmpty())
            return real;
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        QByteArray to(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), to.data(), size_t(to.size()));
        if (n <= 0)
            break;
        to.truncate(n);
        path = to.startsWith('/') ? to : path.left(path.lastIndexOf('/') + 1) + to;
    }
    // A file not made yet: where its folder is.
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = realPath(slash <= 0 ? QByteArray("/") : path.left(slash));
    if (slash < 0 || folder.isEmpty())
        return path;
    return folder + (folder.endsWith('/') ? "" : "/") + path.mid(slash + 1);
}

QString overInput(const QByteArray& target, const QString& shown, const Location& input)
{
    struct stat out;
    const bool exists = ::stat(target.constData(), &out) == 0;
    return findOver(QStringLiteral("\"%1\"").arg(shown), input, [&](const QByteArray& name) {
        struct stat in;
        return target == name ||
               (exists && ::stat(name.constData(), &in) == 0 && sameInode(in, out));
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

QString StreamOverInputMessage(int fd, const QString& shown, const Location& input)
{
    struct stat out;
    if (::fstat(fd, &out) != 0 || !S_ISREG(out.st_mode))
        return {};
    return findOver(shown, input, [&](const QByteArray& name) {
        struct stat in;
        return ::stat(name.constData(), &in) == 0 && sameInode(in, out);
    });
}
