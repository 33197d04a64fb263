#include "app/dialogs/dialogtitle.h"

#include <QFontMetrics>
#include <QWidget>

int TitleBarWidth(const QWidget& window)
{
    QFont bold = window.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    // A title bar is about twice as high as its text; the icon and each
    // button take a square of that height.
    const int square = 2 * metrics.height();
    return metrics.horizontalAdvance(window.windowTitle()) + 4 * square;
}

void FitTitle(QWidget& window)
{
    const int width = TitleBarWidth(window);
    if (window.maximumWidth() < width)
        window.setMaximumWidth(width);
    if (window.minimumWidth() < width)
        window.setMinimumWidth(width);
}
