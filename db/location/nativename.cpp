#include "db/location/nativename.h"

#include "db/location/location.h"
#include "platform/process.h"

#include <QDir>
#include <algorithm>

namespace {

constexpr char32_t kEscapeBase = 0xF700;

bool isEscape(char32_t c)
{
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF;
}

// The code point of the well-formed UTF-8 sequence at p and its length; 0 when
// none starts there.
int decodeOne(const uchar* p, qsizetype left, char32_t& c)
{
    const uchar b = p[0];
    int length;
    char32_t least;
    if (b < 0x80) {
        c = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        length = 2, c = b & 0x1F, least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, c = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, c = b & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString DecodeFileName(const QByteArray& bytes)
{
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t c = 0;
        int length = decodeOne(p + i, bytes.size() - i, c);
        if (length > 0 && !isEscape(c)) {
            name += QChar::fromUcs4(c);
        } else {
            // Every byte of an escape character's own sequence is 0x80 or more.
            length = std::max(length, 1);
            for (int k = 0; k < length; ++k)
                name += QChar(char16_t(kEscapeBase + p[i + k]));
        }
        i += length;
    }
    return name;
}

QByteArray EncodeFileName(const QString& name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype run = 0; // start of the characters not yet encoded
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscape(name.at(i).unicode()))
            continue;
        bytes += QStringView(name).sliced(run, i - run).toUtf8();
        bytes += char(name.at(i).unicode() - kEscapeBase);
        run = i + 1;
    }
    bytes += QStringView(name).sliced(run).toUtf8();
    return bytes;
}

QStringList DecodeArguments(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << DecodeFileName(QByteArray(argv[i]));
    return arguments;
}

QStringList ExactArguments(const QStringList& decodedByQt)
{
    const bool lossy = std::any_of(decodedByQt.cbegin(), decodedByQt.cend(), [](const QString& a) {
        return a.contains(QChar::ReplacementCharacter);
    });
    if (!lossy)
        return decodedByQt;
    // None where the system does not tell them: each stays as Qt decoded it.
    const QList<QByteArray> given = platform::ProgramArguments();

    // Qt took its own options out: the arguments it kept come in the same
    // order among those given.
    QStringList exact;
    qsizetype next = 0;
    for (const QString& argument : decodedByQt) {
        QString found = argument;
        for (qsizetype j = next; j < given.size(); ++j) {
            if (QString::fromUtf8(given.at(j)) == argument) {
                found = DecodeFileName(given.at(j));
                next = j + 1;
                break;
            }
        }
        exact << found;
    }
    return exact;
}

QString ShownFileName(const QString& name)
{
    QString shown = QDir::toNativeSeparators(name);
    for (QChar& c : shown) {
        if (isEscape(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return shown;
}

QString AbsolutePath(const QString& name)
{
    if (name.isEmpty() || QDir::isAbsolutePath(name))
        return name.isEmpty() ? name : QDir::cleanPath(name);
    const QByteArray cwd = platform::CurrentFolder();
    if (cwd.isEmpty())
        return QDir::cleanPath(QDir::currentPath() + QLatin1Char('/') + name);
    return QDir::cleanPath(DecodeFileName(cwd) + QLatin1Char('/') + name);
}

QString AbsoluteFileName(const QString& name)
{
    // A server address or a data source is no file name.
    const Location location = Location::Parse(name);
    return location.IsFile() ? location.Path() : name;
}

QString SqliteFileUri(const QString& name)
{
    return SqliteNativeUri(EncodeFileName(name));
}

QString SqliteNativeUri(const QByteArray& bytes)
{
    // "file:///path" for an absolute name: an authority is never meant.
    return QLatin1String(bytes.startsWith('/') ? "file://" : "file:") +
           QString::fromLatin1(bytes.toPercentEncoding("/"));
}
