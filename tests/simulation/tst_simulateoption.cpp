// The program started as the README's run command starts it where there is no
// display: Lumaserve --simulate --walkthrough on the offscreen platform.
#include "mismatchcheck.h"
#include "simulatedworld.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

const QString kProgram = QStringLiteral(PROGRAM_FILE);

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QString& program, const QStringList& arguments, const QString& workDir, int timeoutMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestSimulateOption : public QObject
{
    Q_OBJECT

private slots:
    void helpNamesTheSimulation();
    void walkthroughTellsTheStoryAndSucceeds();
    void stationWithoutItsStandinsIsAnError();
};

void TestSimulateOption::helpNamesTheSimulation()
{
    const Run run = runProgram(kProgram, {QStringLiteral("--help")}, QDir::tempPath(), 30000);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains(QStringLiteral("--simulate")));
    QVERIFY(run.out.contains(QStringLiteral("--walkthrough")));
}

void TestSimulateOption::walkthroughTellsTheStoryAndSucceeds()
{
    QTemporaryDir workDir;
    QVERIFY(workDir.isValid());
    const Run run = runProgram(kProgram, {QStringLiteral("--simulate"), QStringLiteral("--walkthrough")},
                               workDir.path(), 200000);
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err.right(2000)));

    // Which port is which device comes first, then the numbered steps.
    QVERIFY(run.out.startsWith(QStringLiteral("Simulated station:")));
    QVERIFY(run.out.contains(QStringLiteral("1. Connect the CA410 on pts/")));
    QVERIFY(run.out.contains(QStringLiteral("Calibrate: matrix")));
    const QRegularExpression done(QStringLiteral("Done: the display's true white error went from ([0-9.]+) "
                                                 "\\(uncorrected sensor\\) to ([0-9.]+) \\(calibrated sensor\\), "
                                                 "and ([0-9.]+) after reopening the profile"));
    const QRegularExpressionMatch figures = done.match(run.out);
    QVERIFY2(figures.hasMatch(), qPrintable(run.out));
    // Uncorrected, the display takes on the CA410's own error.
    const double predicted = MismatchCheck::predictedUncorrectedError(
        SimulatedWorld().mismatch(SimulatedWorld::Instrument::CA410));
    QVERIFY2(std::fabs(figures.captured(1).toDouble() - predicted) < 0.0006,
             qPrintable(QStringLiteral("%1 vs %2").arg(figures.captured(1)).arg(predicted)));
    QVERIFY(figures.captured(2).toDouble() < 0.0005);
    QVERIFY(figures.captured(3).toDouble() < 0.0005);
    QVERIFY(run.out.contains(QStringLiteral("To see the window")));
    // The profile went to a directory of its own, not where the program was started.
    QVERIFY(QDir(workDir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

void TestSimulateOption::stationWithoutItsStandinsIsAnError()
{
    // The program alone, without the stand-in libraries the build puts beside it.
    QTemporaryDir alone;
    const QString copy = QDir(alone.path()).filePath(QStringLiteral("Lumaserve"));
    QVERIFY(QFile::copy(kProgram, copy));
    QVERIFY(QFile::setPermissions(copy, QFile::permissions(kProgram)));
    const Run run = runProgram(copy, {QStringLiteral("--simulate"), QStringLiteral("--walkthrough")},
                               alone.path(), 60000);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("the simulated station cannot start")), qPrintable(run.err.right(2000)));
    QVERIFY(!run.out.contains(QStringLiteral("1. Connect")));
}

QTEST_GUILESS_MAIN(TestSimulateOption)

#include "tst_simulateoption.moc"
