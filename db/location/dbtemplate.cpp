#include "db/location/dbtemplate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef ZQ_DATA_DIR
#define ZQ_DATA_DIR ""
#endif

QString FindTemplate()
{
    const QString name = QLatin1String(kTemplateFileName);
    QStringList places{QDir::currentPath()};
    if (QCoreApplication::instance()) {
        const QString programDir = QCoreApplication::applicationDirPath();
        // Beside the program in a build, under share/ when installed anywhere.
        places << programDir << programDir + QStringLiteral("/../share/zqreader");
    }
    places << QStringLiteral(ZQ_DATA_DIR);
    for (const QString& dir : places) {
        if (dir.isEmpty())
            continue;
        const QFileInfo candidate(QDir(dir).filePath(name));
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return {};
}
