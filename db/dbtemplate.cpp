#include "db/dbtemplate.h"

#include "db/nativename.h"

#include <QCoreApplication>
#include <QDir>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#ifndef ZQ_DATA_DIR
#define ZQ_DATA_DIR ""
#endif

namespace {

// The program's folder by its exact bytes, which Qt's own would not keep.
QString programDir()
{
#ifdef Q_OS_LINUX
    QByteArray path(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), size_t(path.size()));
    if (n > 0 && n < path.size()) {
        path.truncate(n);
        return DecodeFileName(path.left(path.lastIndexOf('/')));
    }
#endif
    return QCoreApplication::applicationDirPath();
}

} // namespace

QString FindTemplate()
{
    const QString name = QLatin1String(kTemplateFileName);
    QStringList places{AbsoluteFileName(QStringLiteral("."))};
    if (QCoreApplication::instance()) {
        const QString dir = programDir();
        // Beside the program in a build, under share/ when installed anywhere.
        places << dir << dir + QStringLiteral("/../share/zqreader");
    }
    places << QStringLiteral(ZQ_DATA_DIR);
    for (const QString& dir : places) {
        if (dir.isEmpty())
            continue;
        QString candidate = QDir::cleanPath(dir + QLatin1Char('/') + name);
        struct stat st;
        if (::stat(EncodeFileName(candidate).constData(), &st) == 0 && S_ISREG(st.st_mode))
            return candidate;
    }
    return {};
}
