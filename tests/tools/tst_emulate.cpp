#include "cmonitor.h"
#include "crxxxcensor.h"
#include "recordingmessenger.h"

#include <QProcess>
#include <QtTest>

// The emulator program as a user runs it: one line per device, then requests
// for the monitor on its input and the monitor's replies on its output.
class TestEmulate : public QObject
{
    Q_OBJECT

private slots:
    void servesTheRequestedDevices();
    void refusesAnUnknownKind();

private:
    static QString readLine(QProcess& process, int msecs);
};

QString TestEmulate::readLine(QProcess& process, int msecs)
{
    QDeadlineTimer deadline(msecs);
    while (!process.canReadLine()) {
        if (deadline.hasExpired() || !process.waitForReadyRead(int(deadline.remainingTime())))
            return QString();
    }
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

void TestEmulate::servesTheRequestedDevices()
{
    QProcess emulator;
    emulator.start(QStringLiteral(LUMASERVE_EMULATE),
                   {QStringLiteral("cr250"), QStringLiteral("monitor")});
    QVERIFY(emulator.waitForStarted(5000));

    const QStringList cr = readLine(emulator, 5000).split(QLatin1Char(' '));
    const QStringList mon = readLine(emulator, 5000).split(QLatin1Char(' '));
    QCOMPARE(cr.size(), 2);
    QCOMPARE(mon.size(), 2);
    QCOMPARE(cr.at(0), QStringLiteral("cr250"));
    QCOMPARE(mon.at(0), QStringLiteral("monitor"));
    QVERIFY(cr.at(1).startsWith(QLatin1String("/dev/")));
    QVERIFY(cr.at(1) != mon.at(1));

    RecordingMessenger messages;
    CRXXXCensor sensor;
    sensor.setReadDeadline(2000);
    QVERIFY(sensor.init(cr.at(1)));
    QCOMPARE(sensor.getModel(), QStringLiteral("CR-250"));
    QVERIFY(!sensor.GetColor().IsNoData());

    CMonitor monitor;
    QVERIFY(monitor.init(mon.at(1)));
    emulator.write("monitor MDR,1\n2 MES,0\n");
    QList<int> codes;
    QDeadlineTimer deadline(5000);
    while (codes.size() < 2 && !deadline.hasExpired()) {
        if (const int code = monitor.readCommand())
            codes.append(code);
        else
            QTest::qWait(5);
    }
    QCOMPARE(codes, (QList<int>{3, 2}));

    QVERIFY(monitor.writeInstrument(QStringLiteral("OK01,012.346;1234.500;-01.500\r")));
    const QStringList reply = readLine(emulator, 5000).split(QLatin1Char(' '));
    QCOMPARE(reply.size(), 4);
    QCOMPARE(reply.at(0), QStringLiteral("monitor"));
    QCOMPARE(reply.at(1), QStringLiteral("reply"));
    QVERIFY(reply.at(2).toDouble() > 0.0);
    QCOMPARE(reply.at(3), QStringLiteral("OK01,012.346;1234.500;-01.500"));

    // End of input ends the program.
    emulator.closeWriteChannel();
    QVERIFY(emulator.waitForFinished(5000));
    QCOMPARE(emulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(emulator.exitCode(), 0);
}

void TestEmulate::refusesAnUnknownKind()
{
    QProcess emulator;
    emulator.start(QStringLiteral(LUMASERVE_EMULATE), {QStringLiteral("cr999")});
    QVERIFY(emulator.waitForFinished(5000));
    QCOMPARE(emulator.exitCode(), 2);
    QVERIFY(emulator.readAllStandardError().contains("unknown kind: cr999"));
    QVERIFY(emulator.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestEmulate)
#include "tst_emulate.moc"
