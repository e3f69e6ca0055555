// The command-line program's patch window: a requested patch counts as shown
// only once the window has painted it.
#include "clipatchwindow.h"
#include "requestedpatchsource.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include <atomic>
#include <thread>

class TestCliPatchWindow : public QObject
{
    Q_OBJECT

private slots:
    void eachPatchIsShownOncePainted();
};

void TestCliPatchWindow::eachPatchIsShownOncePainted()
{
    RequestedPatchSource source(0);
    // A window that never answers fails the run in seconds, not in an hour.
    source.setMaxWaitMs(5000);
    CliPatchWindow window(source, QGuiApplication::primaryScreen());
    for (const MatchingPatch& patch : {MatchingPatch{QStringLiteral("red"), 255, 0, 0, true},
                                       MatchingPatch{QStringLiteral("grey 50"), 128, 128, 128, false}}) {
        std::atomic<bool> done{false};
        bool shown = false;
        QString error;
        // show() is called from the run's thread and waits for the main thread.
        std::thread run([&] {
            shown = source.show(patch, &error);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        run.join();
        QVERIFY2(shown, qPrintable(error));
        QVERIFY(window.isVisible());
        QCOMPARE(window.colour(), QColor(patch.r, patch.g, patch.b));
        QCOMPARE(window.geometry(), QGuiApplication::primaryScreen()->geometry());
    }
    // The end of the run takes the window down.
    source.finish();
    QTRY_VERIFY(!window.isVisible());
}

QTEST_MAIN(TestCliPatchWindow)
#include "tst_clipatchwindow.moc"
