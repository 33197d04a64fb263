// Makes a database for the benchmarks: the template with 200 users and the
// given number of events, the same for the same arguments (fixed seed).
// Some user numbers were handed over from one user to another, some of them
// with overlapping periods (events there have two rows in the list), and some
// events have a user number nobody holds. Dates are local time, as ZQreader
// stores them, one event every minute on average from 2019 on.
// Usage: bench_makedb OUT EVENTS

#include "db/backend/processsetup.h"
#include "db/record/ctime.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>
#include <sqlite3.h>

namespace {

// splitmix64: the same numbers everywhere.
class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 Next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return int(Next() % quint64(n)); }

private:
    quint64 m_state;
};

bool run(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "bench_makedb: %s\n", error);
        sqlite3_free(error);
        return false;
    }
    return true;
}

QByteArray dbText(qint64 t)
{
    return CTime(t).ToDbText().toUtf8();
}

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    if (argc != 3 || QByteArray(argv[2]).toLongLong() <= 0) {
        std::fprintf(stderr, "usage: bench_makedb OUT EVENTS\n");
        return 2;
    }
    const QString out = QFile::decodeName(argv[1]);
    const qint64 count = QByteArray(argv[2]).toLongLong();
    QFile::remove(out);
    if (!QFile::copy(QStringLiteral(ZQ_BIN_DIR "/template.db"), out) ||
        !QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner)) {
        std::fprintf(stderr, "bench_makedb: cannot copy the template to %s\n", argv[1]);
        return 1;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(argv[1], &db) != SQLITE_OK)
        return 1;
    if (!run(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; BEGIN"))
        return 1;

    Random random(20240501);
    const qint64 start = 1546300800; // 2019-01-01 00:00 UTC
    const qint64 span = count * 60;
    sqlite3_stmt* user = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES (?, ?, "
                       "?, ?)",
                       -1, &user, nullptr);
    auto addUser = [&](const QByteArray& name, int number, const QByteArray& from,
                       const QByteArray& to) {
        sqlite3_bind_text(user, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(user, 2, number);
        sqlite3_bind_text(user, 3, from.constData(), int(from.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(user, 4, to.constData(), int(to.size()), SQLITE_TRANSIENT);
        const bool ok = sqlite3_step(user) == SQLITE_DONE;
        sqlite3_reset(user);
        return ok;
    };
    const QByteArray always = "2000-01-01 00:00:00";
    const QByteArray never = "2100-01-01 00:00:00";
    // Numbers 0-119: one user each. 120-159: handed over once, the first ten
    // with a month in which both hold the number. 160-179 and -1: nobody.
    for (int n = 0; n < 160; ++n) {
        const QByteArray name = (n % 7 == 3 ? "Łucja Wójcik " : "User ") + QByteArray::number(n);
        if (n < 120) {
            if (!addUser(name, n, always, never))
                return 1;
            continue;
        }
        const qint64 handover = start + qint64(random.Next() % quint64(span));
        const qint64 stop = n < 130 ? handover + 30 * 86400 : handover;
        if (!addUser(name, n, always, dbText(stop)) ||
            !addUser("Next " + name, n, dbText(handover), never))
            return 1;
    }
    sqlite3_finalize(user);

    sqlite3_stmt* event = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES (?, ?, ?, ?)",
                       -1, &event, nullptr);
    qint64 t = start;
    for (qint64 i = 0; i < count; ++i) {
        t += 1 + random.Below(119);
        const QByteArray date = dbText(t);
        sqlite3_bind_int(event, 1, int(t & 0x3FFFFF));
        sqlite3_bind_text(event, 2, date.constData(), int(date.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(event, 3, random.Below(181) - 1);
        sqlite3_bind_text(event, 4, random.Below(2) ? "1" : "0", 1, SQLITE_STATIC);
        if (sqlite3_step(event) != SQLITE_DONE) {
            std::fprintf(stderr, "bench_makedb: %s\n", sqlite3_errmsg(db));
            return 1;
        }
        sqlite3_reset(event);
    }
    sqlite3_finalize(event);
    if (!run(db, "COMMIT"))
        return 1;
    sqlite3_close(db);
    return 0;
}
