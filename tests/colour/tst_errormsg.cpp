#include "errormsg.h"

#include <QCoreApplication>
#include <QTimer>
#include <QtTest>

#include <thread>

// The quit request stays in force for every event loop started after it until the
// application's main loop runs again, so each case runs the main loop itself.
class TestErrorMsg : public QObject
{
    Q_OBJECT

private slots:
    void withoutQuitTheLoopRunsOn();
    void quitEndsTheRunningLoopWithMinusOne();
    void quitFromAnotherThreadReachesTheMainLoop();
};

void TestErrorMsg::quitEndsTheRunningLoopWithMinusOne()
{
    QTimer::singleShot(0, [] { ErrorMsg(QStringLiteral("mismatched matrices in addition")); });
    QTest::ignoreMessage(QtDebugMsg, "\"mismatched matrices in addition\"");
    QCOMPARE(QCoreApplication::exec(), -1);
}

void TestErrorMsg::quitFromAnotherThreadReachesTheMainLoop()
{
    std::thread worker;
    QTimer::singleShot(0, [&worker] {
        worker = std::thread([] { ErrorMsg(QStringLiteral("out-of-bounds index")); });
    });
    QTest::ignoreMessage(QtDebugMsg, "\"out-of-bounds index\"");
    QCOMPARE(QCoreApplication::exec(), -1);
    worker.join();
}

void TestErrorMsg::withoutQuitTheLoopRunsOn()
{
    QTimer::singleShot(0, [] { ErrorMsg(QStringLiteral("just logged"), false); });
    QTimer::singleShot(20, [] { QCoreApplication::exit(7); });
    QTest::ignoreMessage(QtDebugMsg, "\"just logged\"");
    QCOMPARE(QCoreApplication::exec(), 7);
}

QTEST_GUILESS_MAIN(TestErrorMsg)
#include "tst_errormsg.moc"
