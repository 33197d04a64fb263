#pragma once

class QWidget;

// The width a window needs for its title to show whole in the title bar: the
// title in bold, as many window managers draw it, beside room for the
// window's icon and up to three buttons (close, help or minimize, maximize).
int TitleBarWidth(const QWidget& window);

// Makes the window at least that wide (also a window of fixed size). Called
// once the title is set and the window is laid out.
void FitTitle(QWidget& window);
