#include "download/services.h"

#include <QDateTime>
#include <QThread>

qint64 SystemClock::Now()
{
    return QDateTime::currentSecsSinceEpoch();
}

void Clock::Sleep(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}
