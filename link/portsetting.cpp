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

QString StoredPortName()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvo"),
                             QStringLiteral("Zq6"));
    if (settings.status() != QSettings::NoError || !settings.contains(kEntry))
        return defaultPortName();
    return settings.value(kEntry).toString();
}

void StorePortName(const QString& name)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvo"),
                       QStringLiteral("Zq6"));
    settings.setValue(kEntry, name);
    settings.sync();
}
