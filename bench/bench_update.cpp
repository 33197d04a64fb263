// The list's update after a download of 6144 events appended to a copy of a
// database, the way the program does it (its own commit, noted), beside the
// plain check of the event count (SELECT count(*) FROM EVENTS) on the same
// file. Each run starts from a fresh copy with the list open and counted.
// Prints one line per run: UPDATE_MS <tab> COUNT_MS.
// Usage: bench_update BASE_DB WORK_FOLDER RUNS

#include "bench/benchcommon.h"
#include "db/backend/dbexception.h"
#include "db/backend/processsetup.h"
#include "db/commitcounter.h"
#include "db/messages.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/events.h"
#include "db/record/preparedquery.h"
#include "db/zq6doc.h"
#include "view/eventlistview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

namespace {

constexpr int kEvents = 6144;

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 4 || QByteArray(argv[3]).toInt() <= 0) {
        std::fprintf(stderr, "usage: bench_update BASE_DB WORK_FOLDER RUNS\n");
        return 2;
    }
    const QString base = QFile::decodeName(argv[1]);
    const QString work = QDir(QFile::decodeName(argv[2])).filePath(QStringLiteral("update.db"));
    const int runs = QByteArray(argv[3]).toInt();
    const QVector<NewEvent> events = bench::MakeEvents(kEvents);
    try {
        for (int run = 0; run < runs; ++run) {
            QFile::remove(work);
            if (!QFile::copy(base, work) ||
                !QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner)) {
                std::fprintf(stderr, "bench_update: cannot copy %s\n", argv[1]);
                return 1;
            }
            bench::StderrSink sink;
            CZq6Doc doc(&sink);
            EventListView view(&doc);
            view.resize(600, 32 * view.LineHeight());
            if (!doc.OnOpenDocument(work))
                return 1;
            view.show();
            view.ShowFromStart();
            while (!view.IsRowCountExact())
                app.processEvents(QEventLoop::WaitForMoreEvents, 50);
            const qint64 before = view.RowCount();
            view.viewport()->repaint();

            { // what a download does, on a connection of its own
                CDatabase connection;
                connection.OpenFile(work);
                CEVENTS record(&connection);
                record.Open(CRecordset::dynaset);
                commitcounter::AppendNoted(record, events);
            }
            QElapsedTimer t;
            t.start();
            doc.UpdateAllViews();
            const double update = bench::Ms(t);
            if (!view.IsRowCountExact() || view.RowCount() < before + kEvents) {
                std::fprintf(stderr, "bench_update: %lld rows after the update, %lld before\n",
                             qlonglong(view.RowCount()), qlonglong(before));
                return 1;
            }

            CDatabase db;
            db.OpenFile(work);
            PreparedQuery count(db, QStringLiteral("SELECT count(*) FROM EVENTS"));
            t.restart();
            count.Exec();
            count.Next();
            count.Value(0);
            const double plain = bench::Ms(t);
            count.Finish();
            std::printf("%.3f\t%.3f\n", update, plain);
            std::fflush(stdout);
        }
    } catch (const CDBException& e) {
        std::fprintf(stderr, "bench_update: %s\n", qUtf8Printable(e.m_strError));
        return 1;
    }
    QFile::remove(work);
    return 0;
}
