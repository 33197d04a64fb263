// The download's progress dialog, and running the exchange on a worker thread
// while the windows keep painting and drop all input.

#include "app/dialogs/progressdialog.h"
#include "app/dialogs/windoweddownload.h"
#include "tests/support/guitest.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QTest>
#include <QThread>
#include <stdexcept>

namespace {

// Runs fn on the window thread and waits for it; from a worker thread.
void OnWindowThread(const std::function<void()>& fn)
{
    QMetaObject::invokeMethod(qApp, fn, Qt::BlockingQueuedConnection);
}

} // namespace

class TestAppProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dialogPositions()
    {
        QMainWindow frame;
        frame.show();
        DownloadProgressDialog dlg(&frame);
        QVERIFY(!dlg.isVisible());
        dlg.Advance(); // not started yet: nothing happens
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.EventsRead(), 0);

        dlg.Start();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isModal());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Reading events from receiver"));
        QCOMPARE(dlg.findChildren<QAbstractButton*>().size(), 0);
        QProgressBar* bar = dlg.ProgressBar();
        QVERIFY(bar);
        QCOMPARE(dlg.findChildren<QProgressBar*>().size(), 1);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 1);

        for (int i = 0; i < 98; ++i)
            dlg.Advance();
        QCOMPARE(bar->value(), 99);
        dlg.Advance(); // the 99th event fills the bar
        QCOMPARE(bar->value(), 100);
        dlg.Advance(); // the 100th starts again at the left
        QCOMPARE(bar->value(), 1);
        dlg.Advance();
        QCOMPARE(bar->value(), 2);
        // The bar starts again, the count goes on.
        auto* count = dlg.findChild<QLabel*>(QStringLiteral("eventsRead"));
        QVERIFY(count);
        QCOMPARE(count->text(), QStringLiteral("Events read so far: 101"));

        // The user cannot close it.
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.close());
        QVERIFY(dlg.isVisible());
    }

    void progressFromTheWorkerThread()
    {
        QMainWindow frame;
        frame.show();
        WindowedDownloadProgress progress(&frame);
        QVector<int> seen;
        int dialogsAfterFinish = -1;
        QThread* worker = nullptr;

        RunKeepingWindowsAlive([&] {
            worker = QThread::currentThread();
            progress.Start();
            OnWindowThread([&] { seen << progress.Dialog()->ProgressBar()->value(); });
            for (int i = 0; i < 150; ++i)
                progress.Advance();
            OnWindowThread([&] { seen << progress.Dialog()->ProgressBar()->value(); });
            progress.Finish();
            OnWindowThread([&] { dialogsAfterFinish = guitest::CountProgressDialogs(); });
        });

        QVERIFY(worker && worker != QThread::currentThread());
        QCOMPARE(seen, (QVector<int>{1, 51}));
        // Gone when Finish returned, before anything else could be shown.
        QCOMPARE(dialogsAfterFinish, 0);
        QVERIFY(!progress.Dialog());
    }

    void inputIsDroppedWhileTheJobRuns()
    {
        QMainWindow frame;
        auto* edit = new QLineEdit(&frame);
        frame.setCentralWidget(edit);
        frame.show();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        edit->setFocus();

        QString during;
        RunKeepingWindowsAlive([&] {
            OnWindowThread([&] {
                QTest::keyClicks(edit, QStringLiteral("abc"));
                during = edit->text();
            });
        });
        QCOMPARE(during, QString());
        QVERIFY(frame.isVisible());
        QTest::keyClicks(edit, QStringLiteral("abc"));
        QCOMPARE(edit->text(), QStringLiteral("abc"));
    }

    void closingIsRefusedWhileTheJobRuns()
    {
        QMainWindow frame;
        frame.show();
        bool closed = true;
        RunKeepingWindowsAlive([&] { OnWindowThread([&] { closed = frame.close(); }); });
        QVERIFY(!closed);
        QVERIFY(frame.isVisible());
    }

    void failureOfTheJobComesBack()
    {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, RunKeepingWindowsAlive([] {
                                     throw std::runtime_error("port gone");
                                 }));
    }
};

QTEST_MAIN(TestAppProgress)
#include "test_app_progress.moc"
