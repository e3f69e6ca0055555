// The verdict on the final white of the simulated display's firmware, which
// measures white, red, green, blue, the white again until it is on target and
// a grey ramp: the sessions the tracker cuts from its requests, for every
// display technology and sensor of the station.

#include "ccolor.h"
#include "cmonitor.h"
#include "sessiontracker.h"
#include "sessionverdict.h"
#include "simulatedworld.h"
#include "whitealignment.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(DisplayTechnology::Kind)
Q_DECLARE_METATYPE(SimulatedWorld::Instrument)

namespace {

struct FirmwareRun {
    QVector<SessionRecord::Reading> readings;
    QStringList names;
    Xyz lastWhite{};
};

// The firmware's steps, each patch as the service sees it: "MES,1" then
// "MDR,1" with what the sensor read.
FirmwareRun runFirmware(SimulatedWorld& world, SimulatedWorld::Instrument sensor, SessionTracker* tracker)
{
    FirmwareRun run;
    WhiteAlignment::Steps steps;
    steps.measure = [&](const std::string& name, const Rgb& level, Xyz* told, std::string*) {
        world.setDisplayPatch(level);
        *told = world.sensorReading(sensor);
        const CColor reading((*told)[0], (*told)[1], (*told)[2]);
        if (tracker) {
            tracker->takeRequest(CMonitor::StartMeasure, QStringLiteral("OK00,00100\r"), noDataColor, noDataColor);
            tracker->takeRequest(CMonitor::SendValue, QStringLiteral("OK01,...\r"), reading, reading);
        }
        SessionRecord::Reading r;
        r.request = QStringLiteral("MDR,1");
        r.corrected = SessionRecord::Xyz{(*told)[0], (*told)[1], (*told)[2]};
        run.readings << r;
        run.names << QString::fromStdString(name);
        if (name == "white")
            run.lastWhite = *told;
        return true;
    };
    steps.applyGains = [&world](const Rgb& gains) { world.setDisplayGains(gains); };
    std::string error;
    if (!WhiteAlignment::run(steps, &error))
        qWarning("the firmware failed: %s", error.c_str());
    return run;
}

} // namespace

class TestSessionVerdict : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<SessionRecord>(); }
    void firmwareFinalWhite_data();
    void firmwareFinalWhite();
    void judge_data();
    void judge();
    void finalWhiteIgnoresUnusableReadings();
};

void TestSessionVerdict::firmwareFinalWhite_data()
{
    QTest::addColumn<DisplayTechnology::Kind>("kind");
    QTest::addColumn<SimulatedWorld::Instrument>("sensor");
    const std::pair<SimulatedWorld::Instrument, const char*> sensors[] = {
        {SimulatedWorld::Instrument::CA410, "CA410"},       {SimulatedWorld::Instrument::CR100, "CR100"},
        {SimulatedWorld::Instrument::CR250, "CR250"},       {SimulatedWorld::Instrument::I1DisplayPro, "i1d3"},
        {SimulatedWorld::Instrument::K10, "K10"}};
    for (DisplayTechnology::Kind kind : DisplayTechnology::kinds()) {
        for (const auto& [sensor, name] : sensors)
            QTest::addRow("%d %s", int(kind), name) << kind << sensor;
    }
}

// Whatever the number of corrections, the rule finds the firmware's last
// white and not a primary or a grey, and the session it ended with "MES,0"
// passes: the white it was told is on target to far better than 0.002.
void TestSessionVerdict::firmwareFinalWhite()
{
    QFETCH(DisplayTechnology::Kind, kind);
    QFETCH(SimulatedWorld::Instrument, sensor);
    SimulatedWorld world(kind);
    SessionTracker tracker;
    QSignalSpy ended(&tracker, &SessionTracker::sessionEnded);
    const FirmwareRun run = runFirmware(world, sensor, &tracker);
    QVERIFY(run.names.count(QStringLiteral("white")) >= 2);
    QCOMPARE(run.names.last(), QStringLiteral("grey 25%"));

    const int index = SessionVerdict::finalWhiteIndex(run.readings);
    QVERIFY(index >= 0);
    QCOMPARE(run.names[index], QStringLiteral("white"));
    QCOMPARE(run.names.lastIndexOf(QStringLiteral("white")), index);

    tracker.takeRequest(CMonitor::StopMeasure, QString(), noDataColor, noDataColor);
    QCOMPARE(ended.count(), 1);
    const auto session = ended.first().first().value<SessionRecord>();
    QVERIFY(session.white);
    const double sum = run.lastWhite[0] + run.lastWhite[1] + run.lastWhite[2];
    QCOMPARE(session.white->x, run.lastWhite[0] / sum);
    QCOMPARE(session.white->y, run.lastWhite[1] / sum);
    QCOMPARE(session.white->lv, run.lastWhite[1]);
    QCOMPARE(session.verdict, SessionRecord::pass());
    QCOMPARE(session.readingCount, 2 * run.readings.size() + 1);

    // The same run against a target 0.003 away in y fails.
    SessionTracker shifted;
    shifted.setVerdict(SessionVerdict(SessionVerdict::D65X, SessionVerdict::D65Y + 0.003, 0.002));
    QSignalSpy shiftedEnded(&shifted, &SessionTracker::sessionEnded);
    SimulatedWorld again(kind);
    runFirmware(again, sensor, &shifted);
    shifted.takeRequest(CMonitor::StopMeasure, QString(), noDataColor, noDataColor);
    QCOMPARE(shiftedEnded.count(), 1);
    QCOMPARE(shiftedEnded.first().first().value<SessionRecord>().verdict, SessionRecord::fail());
}

void TestSessionVerdict::judge_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("on target") << 0.3127 << 0.3290 << true << SessionRecord::pass();
    QTest::newRow("x at the edge") << 0.3147 << 0.3290 << true << SessionRecord::pass();
    QTest::newRow("x beyond") << 0.3148 << 0.3290 << true << SessionRecord::fail();
    QTest::newRow("y below") << 0.3127 << 0.3269 << true << SessionRecord::fail();
    QTest::newRow("both within") << 0.3110 << 0.3305 << true << SessionRecord::pass();
    QTest::newRow("not ended") << 0.3127 << 0.3290 << false << SessionRecord::incomplete();
}

void TestSessionVerdict::judge()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(bool, ended);
    QFETCH(QString, verdict);
    const SessionVerdict station;
    QCOMPARE(station.judge(SessionRecord::White{x, y, 100.0}, ended), verdict);
    // Ended without a white read: nothing shows it on target.
    if (ended)
        QCOMPARE(station.judge(std::nullopt, true), SessionRecord::fail());
}

void TestSessionVerdict::finalWhiteIgnoresUnusableReadings()
{
    const auto reading = [](double x, double y, double z) {
        SessionRecord::Reading r;
        r.corrected = SessionRecord::Xyz{x, y, z};
        return r;
    };
    SessionRecord::Reading none;
    const double nan = std::nan("");
    // A failed reading, NaN and a brighter reading of no use must not be
    // taken, nor set the brightness the others are compared with.
    QVector<SessionRecord::Reading> readings{reading(95, 100, 108), none, reading(nan, 500, 1),
                                             reading(-1000, 1000, -1), reading(30, 40, 50)};
    QCOMPARE(SessionVerdict::finalWhiteIndex(readings), 0);
    QCOMPARE(SessionVerdict::finalWhiteIndex({}), -1);
    QCOMPARE(SessionVerdict::finalWhiteIndex({none}), -1);
}

QTEST_GUILESS_MAIN(TestSessionVerdict)
#include "tst_sessionverdict.moc"
