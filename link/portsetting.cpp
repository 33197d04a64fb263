#include "link/portsetting.h"

#include <QSettings>

QString g_strPortName;

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

QString StoredPortName()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvo"),
                             QStringLiteral("Zq6"));
    if (settings.status() != QSettings::NoError || !settings.contains(kEntry))
        return defaultPortName();
    return settings.value(kEntry).toString();
}

void LoadPortName()
{
    g_strPortName = StoredPortName();
}

PortName CurrentPort()
{
    return PortName::Parse(g_strPortName);
}

void StorePortName()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvo"),
                       QStringLiteral("Zq6"));
    settings.setValue(kEntry, g_strPortName);
    settings.sync();
}
