#include "ccolor.h"
#include "ccolorreference.h"
#include "errormsg.h"
#include "matrixchecks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <thread>

// A matrix fault is logged and the program goes on: the running loop keeps
// running and loops started afterwards (modal dialogs) still wait for their own
// end instead of returning at once.
class TestErrorMsg : public QObject
{
    Q_OBJECT

private slots:
    void faultIsLoggedAndTheLoopRunsOn();
    void singularCalibrationLeavesTheProgramRunning();
    void faultOnAnotherThreadDoesNotEndTheMainLoop();
};

void TestErrorMsg::faultIsLoggedAndTheLoopRunsOn()
{
    QTimer::singleShot(0, [] { ErrorMsg(QStringLiteral("mismatched matrices in addition")); });
    QTimer::singleShot(20, [] { QCoreApplication::exit(7); });
    QTest::ignoreMessage(QtDebugMsg, "\"mismatched matrices in addition\"");
    QCOMPARE(QCoreApplication::exec(), 7);
}

void TestErrorMsg::singularCalibrationLeavesTheProgramRunning()
{
    // A failed reading of (0, 0, 0) taken as the sensor's red, green and blue.
    const Matrix zeroPrimaries(0.0, 3, 3);
    const Matrix reference = Matrix::IdentityMatrix(3);
    Matrix result;
    QTimer::singleShot(0, [&] {
        result = ComputeConversionMatrix(zeroPrimaries, reference, CColor(0.0, 0.0, 0.0),
                                         CColor(0.9505, 1.0, 1.089));
        // A modal dialog opened after the fault must still wait for its answer.
        QEventLoop dialogLoop;
        QTimer::singleShot(30, &dialogLoop, [&dialogLoop] { dialogLoop.exit(3); });
        QCOMPARE(dialogLoop.exec(), 3);
        QCoreApplication::exit(5);
    });
    QCOMPARE(QCoreApplication::exec(), 5);
    // The failure travels in the result, not by ending the program.
    QVERIFY(result.GetRows() == 3 && result.GetColumns() == 3);
    QVERIFY(std::isnan(MatrixChecks::maxAbsDiff(result, result))); // inf - inf is NaN too
}

void TestErrorMsg::faultOnAnotherThreadDoesNotEndTheMainLoop()
{
    std::thread worker;
    QTimer::singleShot(0, [&worker] {
        worker = std::thread([] { ErrorMsg(QStringLiteral("out-of-bounds index")); });
    });
    QTimer::singleShot(50, [] { QCoreApplication::exit(9); });
    QTest::ignoreMessage(QtDebugMsg, "\"out-of-bounds index\"");
    QCOMPARE(QCoreApplication::exec(), 9);
    worker.join();
}

QTEST_GUILESS_MAIN(TestErrorMsg)
#include "tst_errormsg.moc"
