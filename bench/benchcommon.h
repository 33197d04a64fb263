#pragma once

// Pieces the benchmark programs share: the events a download appends, the
// timer's reading in milliseconds, a median, a stored date read back, and a
// sink that prints messages.

#include "db/messages.h"
#include "db/record/ctime.h"
#include "db/record/events.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QVariant>
#include <QVector>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

// A download's worth of events, dated after any event of the bench databases.
inline QVector<NewEvent> MakeEvents(int count)
{
    QVector<NewEvent> events;
    qint64 t = 1893456000; // 2030-01-01 00:00 UTC
    for (int i = 0; i < count; ++i) {
        t += 1 + (i * 7919) % 119;
        events.append({int(t & 0x3FFFFF), CTime(t), i % 181 - 1,
                       i % 2 ? QStringLiteral("1") : QStringLiteral("0")});
    }
    return events;
}

// A stored date-time as read back: SQLite gives "YYYY-MM-DD HH:MM:SS", a
// server a date-time of its own, which prints with a 'T'. Read as UTC, so
// that no zone's gap or repeat changes it.
inline QDateTime StoredDate(const QVariant& value)
{
    const QString text = value.toString();
    QDateTime t = QDateTime::fromString(text.left(10) + QLatin1Char(' ') + text.mid(11, 8),
                                        QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    t.setTimeSpec(Qt::UTC);
    return t;
}

inline double Ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

class StderrSink : public MessageSink
{
public:
    void ShowMessage(const UserMessage& m) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(m.text));
    }
};

} // namespace bench
