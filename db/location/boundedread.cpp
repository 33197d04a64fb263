#include "db/location/boundedread.h"

#include "db/location/nativename.h"
#include "platform/file.h"

using platform::FileType;

namespace {

QString kindOf(FileType type)
{
    return QLatin1String(type == FileType::Folder      ? "a folder"
                         : type == FileType::NamedPipe ? "a named pipe (FIFO)"
                         : type == FileType::Socket    ? "a socket"
                         : type == FileType::CharacterDevice || type == FileType::BlockDevice
                             ? "a device"
                             : "something else");
}

QString size(qint64 bytes)
{
    constexpr qint64 kMiB = qint64{1024} * 1024;
    return bytes % kMiB == 0 ? QStringLiteral("%1 MiB").arg(bytes / kMiB)
                             : QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace

BoundedRead ReadBoundedFile(const QString& name, qint64 maxBytes, qint64 maxLine)
{
    const QString shown = ShownFileName(name);
    auto fail = [&](const QString& why) {
        return BoundedRead{{}, QStringLiteral("Cannot read \"%1\": %2").arg(shown, why)};
    };
    // Not blocking on a FIFO: what was opened is looked at before any read.
    platform::File file;
    if (!file.OpenToRead(EncodeFileName(name)))
        return fail(file.Error().Text());
    const platform::FileStatus opened = file.Status();
    if (!opened.Exists())
        return fail(opened.error.Text());
    if (opened.type != FileType::Regular)
        return fail(QStringLiteral("it is %1, not a regular file.").arg(kindOf(opened.type)));
    // The file may grow while it is read: the limits hold for what is read.
    BoundedRead read;
    qint64 line = 1;
    qint64 length = 0; // of the line so far
    char chunk[65536];
    for (;;) {
        const qint64 n = file.Read(chunk, sizeof chunk);
        QString why;
        if (n < 0)
            why = file.Error().Text();
        for (qint64 i = 0; i < n && why.isEmpty(); ++i) {
            if (chunk[i] == '\n') {
                ++line;
                length = 0;
            } else if (++length > maxLine) {
                why = QStringLiteral("line %1 is longer than %2.").arg(line).arg(size(maxLine));
            }
        }
        if (why.isEmpty() && read.bytes.size() + n > maxBytes)
            why = QStringLiteral("it is longer than %1.").arg(size(maxBytes));
        if (!why.isEmpty())
            return fail(why);
        if (n == 0)
            break;
        read.bytes.append(chunk, n);
    }
    return read;
}
