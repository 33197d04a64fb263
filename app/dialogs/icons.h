#pragma once

#include <QIcon>

// An icon from one of the program's SVG pictures (":/icons/<name>.svg"),
// drawn at the sizes toolbars, menus and windows ask for, at 1x and 2x.
QIcon LoadSvgIcon(const QString& name);
