#include "link/portsetting.h"

#include <QSettings>

namespace {

const QString kEntry = QStringLiteral("Settings/COM");

QString defaultPortName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM1");
#else
    return QStringLiteral("ttyS0");
#endif
}

} // namespace

PortName StoredPort()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvo"),
                             QStringLiteral("Zq6"));
    if (settings.status() != QSettings::NoError || !settings.contains(kEntry))
        return PortName::Parse(defaultPortName());
    return PortName::Parse(settings.value(kEntry).toString());
}

void StorePort(const PortName& port)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvo"),
                       QStringLiteral("Zq6"));
    settings.setValue(kEntry, port.Given());
    settings.sync();
}
