#include "app/dialogs/icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

static void InitIconResources()
{
    Q_INIT_RESOURCE(zqreader);
}

QIcon LoadSvgIcon(const QString& name)
{
    static const bool initialized = (InitIconResources(), true);
    Q_UNUSED(initialized);

    QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(name));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int size : {16, 20, 24, 32, 40, 48, 64, 96, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
