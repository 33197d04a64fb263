#include "app/lockkeys.h"

#include <QGuiApplication>

#if defined(ZQ_HAVE_XKB) && QT_CONFIG(xcb)
#define ZQ_READ_XKB 1
#include <X11/XKBlib.h>
#endif

std::optional<LockKeyState> ReadLockKeys()
{
#ifdef ZQ_READ_XKB
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::nullopt;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return std::nullopt;
    auto indicator = [display](const char* name) {
        Bool on = False;
        const Atom atom = XInternAtom(display, name, True);
        if (atom == None || !XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr))
            return false;
        return on == True;
    };
    return LockKeyState{indicator("Caps Lock"), indicator("Num Lock"), indicator("Scroll Lock")};
#else
    return std::nullopt;
#endif
}
