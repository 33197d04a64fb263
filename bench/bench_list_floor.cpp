// The floor for the list: the same lines as "zqreader-cli list" on a
// database whose dates are all stored in the usual form, printed straight
// from the SQLite C interface with nothing in between.
// Usage: bench_list_floor DB

#include <cstdio>
#include <cstring>
#include <sqlite3.h>

namespace {

char* putNumber(char* p, int value) // "%6d"
{
    char digits[12];
    unsigned v = value < 0 ? 0u - unsigned(value) : unsigned(value);
    int n = 0;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    if (value < 0)
        digits[n++] = '-';
    for (int pad = 6 - n; pad > 0; --pad)
        *p++ = ' ';
    while (n)
        *p++ = digits[--n];
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_list_floor DB\n");
        return 2;
    }
    sqlite3* db = nullptr;
    sqlite3_stmt* rows = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db,
                           "SELECT EVENTS.DATE, EVENTS.USER_NO, USERS.NAME, EVENTS.TIMER FROM "
                           "EVENTS LEFT OUTER JOIN USERS ON EVENTS.USER_NO = USERS.USER_NO AND "
                           "+EVENTS.DATE > +USERS.DATE_START AND +EVENTS.DATE < +USERS.DATE_STOP "
                           "ORDER BY EVENTS.[INDEX], USERS.[INDEX]",
                           -1, &rows, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "bench_list_floor: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    static char buffer[1 << 16];
    char* p = buffer;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        const char* date = reinterpret_cast<const char*>(sqlite3_column_text(rows, 0));
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(rows, 2));
        const int nameSize = sqlite3_column_bytes(rows, 2);
        if (p + 64 + nameSize > buffer + sizeof buffer) {
            std::fwrite(buffer, 1, size_t(p - buffer), stdout);
            p = buffer;
        }
        std::memcpy(p, date, 10);
        p[10] = '\t';
        std::memcpy(p + 11, date + 11, 8);
        p[19] = '\t';
        p = putNumber(p + 20, sqlite3_column_int(rows, 1));
        *p++ = '\t';
        std::memcpy(p, name ? name : "", size_t(nameSize));
        p += nameSize;
        *p++ = '\t';
        p = putNumber(p, sqlite3_column_int(rows, 3));
        *p++ = '\n';
    }
    std::fwrite(buffer, 1, size_t(p - buffer), stdout);
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return 0;
}
