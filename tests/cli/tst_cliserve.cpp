// `serve` run as the real program under conditions of a production line: a
// display unplugged and another plugged in on the same name, a sensor that goes
// and comes back, and the service manager stopping it in the middle of a reading.
#include "alignmentprofile.h"
#include "ca410emulator.h"
#include "clirunner.h"
#include "crxxxemulator.h"
#include "devicelink.h"
#include "monitoremulator.h"
#include "recordstore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

// Splits a CSV line: a field is quoted (a doubled quote inside stands for
// one) or runs to the next comma.
QStringList csvFields(const QString& line)
{
    static const QRegularExpression field(QStringLiteral("(?:^|,)(?:\"((?:[^\"]|\"\")*)\"|([^,]*))"));
    QStringList fields;
    for (auto it = field.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        fields << (match.capturedStart(1) >= 0 ? match.captured(1).replace(QLatin1String("\"\""), QLatin1String("\""))
                                                : match.captured(2));
    }
    return fields;
}

// Sends the display's request and waits until it holds `replies` replies.
bool ask(MonitorEmulator& display, const char* request, size_t replies)
{
    return display.request(request) && display.waitForReplies(replies, 5s);
}

QStringList logLines(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = file.readAll();
    // A complete file ends with its last line's newline.
    if (!content.endsWith('\n'))
        return {QStringLiteral("<incomplete>")};
    return QString::fromUtf8(content).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestCliServe : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void servesAcrossADisplayHangUp();
    void servesTheSensorThatComesBack_data();
    void servesTheSensorThatComesBack();
    void sigtermEndsServeWithinASecondInEveryState_data();
    void sigtermEndsServeWithinASecondInEveryState();

private:
    std::unique_ptr<CrxxxEmulator> sensor;
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const char* name) const { return dir->filePath(QLatin1String(name)); }
    QString sensorPort() const { return QString::fromStdString(sensor->devicePath()); }
    // The name that stays while sensors come and go, as a udev rule keeps it.
    QString sensorLink() const { return path("sensor"); }
    // A sensor plugged in on sensorLink(), silent to silentTo when one is given.
    bool plugSensor(const CrxxxEmulator::Config& config, const char* silentTo = nullptr);
    // Unplugged, and serve has said so on its output.
    bool unplugSensor(CliRunner& cli, const QByteArray& said);
};

bool TestCliServe::plugSensor(const CrxxxEmulator::Config& config, const char* silentTo)
{
    sensor = std::make_unique<CrxxxEmulator>(config);
    if (silentTo)
        sensor->setFault(silentTo, CrxxxEmulator::Fault::Silence);
    return sensor->start() && pointLinkAt(sensorLink(), *sensor);
}

bool TestCliServe::unplugSensor(CliRunner& cli, const QByteArray& said)
{
    sensor.reset();
    return QFile::remove(sensorLink()) && cli.waitForOut(said);
}

void TestCliServe::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(plugSensor(CrxxxEmulator::cr250()));
}

void TestCliServe::cleanup()
{
    sensor.reset();
    dir.reset();
}

void TestCliServe::servesAcrossADisplayHangUp()
{
    const QString link = path("display");
    const QString log = path("serve.csv");
    auto display = std::make_unique<MonitorEmulator>();
    QVERIFY(display->start());
    QVERIFY(pointLinkAt(link, *display));

    const QString records = path("records.sqlite");
    // The unit reader prints the display's id; no shell runs it. It answers
    // after the first display has hung up, which must not lose its unit.
    CliRunner cli({"serve", "--sensor", "CR100/CR250", "--port", sensorPort(), "--monitor", link,
                   "--log", log, "--records", records, "--station", "line 3",
                   "--unit-command", "sh -c \"sleep 0.1; echo DISPLAY-7; echo ignored\""});
    QVERIFY2(cli.waitForOut("serving the display"), cli.err().constData());
    QVERIFY(ask(*display, "MES,1", 1));
    QVERIFY(ask(*display, "MDR,1", 2));

    // Unplugged in the middle of the session; its terminal and its name go.
    display.reset();
    QVERIFY(QFile::remove(link));
    QVERIFY2(cli.waitForOut("hung up; waiting"), cli.out().constData());

    // The next display on the same name, with another reading to give.
    auto config = sensor->config();
    config.x = 95.05;
    config.y = 100.0;
    config.z = 108.9;
    sensor->setConfig(config);
    display = std::make_unique<MonitorEmulator>();
    QVERIFY(display->start());
    QVERIFY(pointLinkAt(link, *display));
    QVERIFY2(cli.waitForOut("is back; serving again"), cli.out().constData());
    QVERIFY(ask(*display, "MES,1", 1));
    QVERIFY(ask(*display, "MDR,1", 2));
    display->request("MES,0");
    QVERIFY(cli.waitForOut("MES,0 -> (no reply)"));
    // Each request answered once.
    QVERIFY(!display->waitForReplies(3, 300ms));

    QVERIFY(cli.signalAndWait(SIGTERM, 5000));
    const auto result = cli.finish(0);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(!result.err.contains("ERROR"), result.err.constData());
    const QString out = QString::fromLocal8Bit(result.out);
    QCOMPARE(out.count(QStringLiteral("MDR,1 -> OK01")), 2);
    QVERIFY(out.contains(QStringLiteral("raw 95.0500 100.0000 108.9000")));

    const QStringList lines = logLines(log);
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.at(0), QStringLiteral("time,request,reply,raw_X,raw_Y,raw_Z,X,Y,Z"));
    const QStringList requests{"MES,1", "MDR,1", "MES,1", "MDR,1", "MES,0"};
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList f = csvFields(lines.at(i));
        QCOMPARE(f.size(), 9);
        QVERIFY(QDateTime::fromString(f.at(0), Qt::ISODateWithMs).isValid());
        QCOMPARE(f.at(1), requests.at(i - 1));
    }
    const QStringList second = csvFields(lines.at(4));
    QCOMPARE(second.at(2), QStringLiteral("OK01,095.050;100.000;108.900"));
    QCOMPARE(second.at(3).toDouble(), 95.05);
    QCOMPARE(second.at(8).toDouble(), 108.9);

    // Beside the log, the records: the display that hung up did not finish;
    // the next one ended with "MES,0" on D65 and passed.
    RecordStore store(QStringLiteral("serve-records"));
    QString error;
    QVERIFY2(store.open(RecordLocation::sqlite(records), &error), qPrintable(error));
    const auto sessions = store.sessions({}, &error);
    QCOMPARE(sessions.size(), 2);
    const SessionRecord& passed = sessions.at(0);
    const SessionRecord& hungUp = sessions.at(1);
    QCOMPARE(hungUp.verdict, SessionRecord::incomplete());
    QCOMPARE(hungUp.readingCount, 2);
    QCOMPARE(passed.verdict, SessionRecord::pass());
    QCOMPARE(passed.readingCount, 3);
    for (const SessionRecord& s : sessions) {
        QCOMPARE(s.station, QStringLiteral("line 3"));
        QCOMPARE(s.unit, QStringLiteral("DISPLAY-7"));
        QCOMPARE(s.sensorType, QStringLiteral("CR100/CR250"));
        QVERIFY(!s.sensorSerial.isEmpty());
        // No profile: the identity matrix.
        QCOMPARE(s.matrixSha256, QString::fromLatin1(QCryptographicHash::hash("1,0,0,0,1,0,0,0,1",
                                                                              QCryptographicHash::Sha256).toHex()));
    }
    QVERIFY(passed.white);
    QCOMPARE(passed.white->x, 95.05 / (95.05 + 100.0 + 108.9));
    QCOMPARE(passed.white->lv, 100.0);
    const auto readings = store.readings(passed.id, &error);
    QCOMPARE(readings.size(), 3);
    QCOMPARE(readings.at(1).reply, QStringLiteral("OK01,095.050;100.000;108.900"));
    QVERIFY(readings.at(1).raw && readings.at(1).raw->z == 108.9);
}

void TestCliServe::servesTheSensorThatComesBack_data()
{
    QTest::addColumn<bool>("withProfile");
    QTest::newRow("any sensor without a profile") << false;
    QTest::newRow("only the profile's sensor") << true;
}

void TestCliServe::servesTheSensorThatComesBack()
{
    QFETCH(bool, withProfile);
    // The profile halves every reading of the sensor it belongs to.
    const double factor = withProfile ? 0.5 : 1.0;
    const auto reply = [factor](const CrxxxEmulator::Config& c) {
        return QString::asprintf("OK01,%07.3f;%07.3f;%07.3f", c.x * factor, c.y * factor, c.z * factor).toStdString();
    };
    const QString profile = path("line4.alg");
    const Matrix halve = Matrix::IdentityMatrix(3) * factor;
    QVERIFY(AlignmentProfile(13, QString::fromStdString(sensor->config().id), halve).write(profile));
    MonitorEmulator display;
    QVERIFY(display.start());
    QStringList arguments{"serve", "--sensor", "13", "--port", sensorLink(), "--monitor",
                          QString::fromStdString(display.devicePath())};
    if (withProfile)
        arguments << "--profile" << profile;
    CliRunner cli(arguments);
    QVERIFY2(cli.waitForOut("serving the display"), cli.err().constData());
    QVERIFY2(ask(display, "MDR,1", 1), (cli.out() + cli.err()).constData());
    QCOMPARE(display.replies().at(0).line, reply(sensor->config()));

    // Unplugged: while the sensor is away the display's requests go unanswered.
    const CrxxxEmulator::Config right = sensor->config();
    QVERIFY2(unplugSensor(cli, "sensor port " + sensorLink().toLocal8Bit() + " hung up"), cli.out().constData());
    display.request("MDR,1");
    QVERIFY(!display.waitForReplies(2, 300ms));

    // Another instrument of the same type plugged in on its port.
    auto other = right;
    other.id = "25000001";
    other.x = 80.0;
    QVERIFY(plugSensor(other));
    if (withProfile) {
        QVERIFY2(cli.waitForErr("serial number 25000001"), cli.err().constData());
        QVERIFY2(cli.err().contains(right.id.c_str()), cli.err().constData());
        display.request("MDR,1");
        QVERIFY(!display.waitForReplies(2, 500ms));
        QVERIFY(!sensor->hasReceived("M"));
        QVERIFY(!cli.out().contains("serving again"));

        // The right one back, now reading another X.
        QVERIFY2(unplugSensor(cli, "waiting for the sensor with serial number " + QByteArray(right.id.c_str())),
                 cli.out().constData());
        other = right;
        other.x = 1.5;
        QVERIFY(plugSensor(other));
    }
    // Served again, with the matrix the profile gives, each request once.
    QVERIFY2(cli.waitForOut("serving again"), (cli.out() + cli.err()).constData());
    QVERIFY(ask(display, "MDR,1", 2));
    QVERIFY(!display.waitForReplies(3, 300ms));
    QCOMPARE(display.replies().at(1).line, reply(other));
    // Stopped as from the terminal, and well.
    QVERIFY(cli.signalAndWait(SIGINT, 5000));
    QCOMPARE(cli.finish(0).exitCode, 0);
}

void TestCliServe::sigtermEndsServeWithinASecondInEveryState_data()
{
    QTest::addColumn<QString>("state");
    // Waiting for a sensor that is away is covered by one that comes back
    // silent: the stop finds the service in the same state once the wait for
    // the instrument has been cut short.
    for (const char* state : {"aligning", "display unplugged", "instrument silent while reading",
                              "instrument silent while opening",
                              "instrument silent when it comes back", "CA-410 silent while reading",
                              "CA-410 silent while opening"})
        QTest::newRow(state) << QString::fromLatin1(state);
}

// A service manager's stop (systemctl stop) must never wait for its kill
// time-out, whatever the line is doing at that moment, and leaves a whole log.
void TestCliServe::sigtermEndsServeWithinASecondInEveryState()
{
    QFETCH(QString, state);
    const QString displayLink = path("display");
    auto display = std::make_unique<MonitorEmulator>();
    QVERIFY(display->start());
    QVERIFY(pointLinkAt(displayLink, *display));
    if (state == QLatin1String("instrument silent while opening"))
        QVERIFY(plugSensor(CrxxxEmulator::cr250(), "RC ID"));
    // The CA-410 is driven through its library, whose waits nothing interrupts.
    const bool ca410 = state.startsWith(QLatin1String("CA-410"));
    Ca410Emulator ca;
    if (ca410) {
        QVERIFY(ca.start());
        QVERIFY(pointLinkAt(sensorLink(), ca));
        if (state == QLatin1String("CA-410 silent while opening"))
            ca.addFault(Ca410Emulator::Fault::Silence, std::string(), 0, -1);
    }

    const QString log = path("serve.csv");
    CliRunner cli({"serve", "--sensor", ca410 ? "7" : "13", "--port", sensorLink(), "--monitor", displayLink,
                   "--log", log});
    if (state == QLatin1String("instrument silent while opening")) {
        QVERIFY(sensor->waitForCommands(1, 5s));
    } else if (state == QLatin1String("CA-410 silent while opening")) {
        QVERIFY(ca.waitForCommands(1, 5000));
    } else {
        QVERIFY2(cli.waitForOut("serving the display"), cli.err().constData());
        QVERIFY(ask(*display, "MES,1", 1));
        // On disk as it is served, not only when serve ends.
        QTRY_COMPARE(logLines(log).size(), 2);
    }

    if (state == QLatin1String("display unplugged")) {
        display.reset();
        QVERIFY(QFile::remove(displayLink));
        QVERIFY2(cli.waitForOut("hung up; waiting"), cli.out().constData());
    } else if (state == QLatin1String("instrument silent when it comes back")) {
        QVERIFY2(unplugSensor(cli, "sensor port " + sensorLink().toLocal8Bit() + " hung up"), cli.out().constData());
        QVERIFY(plugSensor(CrxxxEmulator::cr250(), "RC ID"));
        QVERIFY(sensor->waitForCommands(1, 5s));
    } else if (state == QLatin1String("instrument silent while reading")) {
        // It may take two minutes; the stop must not wait for it.
        sensor->setFault("M", CrxxxEmulator::Fault::Silence);
        sensor->clearCommands();
        display->request("MDR,1");
        QVERIFY(sensor->waitForCommands(1, 5s));
    } else if (state == QLatin1String("CA-410 silent while reading")) {
        ca.addFault(Ca410Emulator::Fault::Silence, "MES", 0, -1);
        ca.clearCommands();
        display->request("MES,1");
        QVERIFY(ca.waitForCommands(1, 5000));
    }

    QElapsedTimer clock;
    clock.start();
    const bool ended = cli.signalAndWait(SIGTERM, 5000);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(ended, (cli.out() + cli.err()).constData());
    qDebug("%s: stopped %lld ms after SIGTERM", qPrintable(state), elapsed);
    QVERIFY2(elapsed <= 1000, qPrintable(QString::number(elapsed)));
    const auto result = cli.finish(0);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.contains(" stopped"), result.out.constData());
    // Only a call inside an instrument library is left behind; every wait of
    // the program's own ends, so the service stops cleanly.
    QCOMPARE(result.out.contains("without waiting"), ca410);

    // Every request served is logged; one the stop interrupted is recorded
    // unanswered after them.
    const QStringList lines = logLines(log);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.at(0), QStringLiteral("time,request,reply,raw_X,raw_Y,raw_Z,X,Y,Z"));
    for (int i = 1; i < lines.size(); ++i)
        QCOMPARE(csvFields(lines.at(i)).size(), 9);
    if (state == QLatin1String("instrument silent while reading")) {
        QCOMPARE(display->replies().size(), size_t(1));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(csvFields(lines.at(2)).at(1), QStringLiteral("MDR,1"));
        QCOMPARE(csvFields(lines.at(2)).at(2), QString());
    }
}

QTEST_GUILESS_MAIN(TestCliServe)
#include "tst_cliserve.moc"
