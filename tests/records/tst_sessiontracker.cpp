// Where a session begins and ends: "MES,0", a hang-up, silence, the service
// stopping; and that the final white the tracker keeps track of as requests
// come is the one the rule finds in the whole session.

#include "ccolor.h"
#include "cmonitor.h"
#include "sessiontracker.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

namespace {

void white(SessionTracker& tracker, double y)
{
    const CColor xyz(0.9505 * y, y, 1.089 * y);
    tracker.takeRequest(CMonitor::StartMeasure, QStringLiteral("OK00,00100\r"), noDataColor, noDataColor);
    tracker.takeRequest(CMonitor::SendValue, QStringLiteral("OK01,095.050;100.000;108.900\r"), xyz, xyz);
}

SessionRecord endedSession(const QSignalSpy& spy, int index = 0)
{
    return spy.at(index).first().value<SessionRecord>();
}

} // namespace

class TestSessionTracker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<SessionRecord>();
        qRegisterMetaType<SessionRecord::Reading>();
    }
    void endsOnStop();
    void loneStopOpensNothing();
    void ends_data();
    void ends();
    void announcedWaitIsNoSilence();
    void contextAndTarget();
    void trackedWhiteMatchesRule();
};

void TestSessionTracker::endsOnStop()
{
    SessionTracker tracker;
    QSignalSpy started(&tracker, &SessionTracker::sessionStarted);
    QSignalSpy readings(&tracker, &SessionTracker::readingTaken);
    QSignalSpy ended(&tracker, &SessionTracker::sessionEnded);
    white(tracker, 100.0);
    QCOMPARE(started.count(), 1);
    QVERIFY(tracker.isOpen());
    const QString uid = tracker.currentUid();
    tracker.takeRequest(CMonitor::StopMeasure, QString(), noDataColor, noDataColor);
    QCOMPARE(ended.count(), 1);
    QVERIFY(!tracker.isOpen());
    const SessionRecord session = endedSession(ended);
    QCOMPARE(session.uid, uid);
    QCOMPARE(session.verdict, SessionRecord::pass());
    QCOMPARE(session.readingCount, 3);
    QVERIFY(session.ended >= session.started);
    // Every request reaches the writer, the stop too, without the line's CR.
    QCOMPARE(readings.count(), 3);
    const auto value = readings.at(1).at(1).value<SessionRecord::Reading>();
    QCOMPARE(value.request, QStringLiteral("MDR,1"));
    QCOMPARE(value.reply, QStringLiteral("OK01,095.050;100.000;108.900"));
    QVERIFY(value.raw && value.corrected);
    QCOMPARE(readings.at(2).at(1).value<SessionRecord::Reading>().request, QStringLiteral("MES,0"));

    // The next request is the next display.
    white(tracker, 100.0);
    QCOMPARE(started.count(), 2);
    QVERIFY(tracker.currentUid() != uid);
}

void TestSessionTracker::loneStopOpensNothing()
{
    SessionTracker tracker;
    QSignalSpy started(&tracker, &SessionTracker::sessionStarted);
    tracker.takeRequest(CMonitor::StopMeasure, QString(), noDataColor, noDataColor);
    tracker.takeHangUp();
    tracker.takeStop();
    QCOMPARE(started.count(), 0);
    QVERIFY(!tracker.isOpen());
}

void TestSessionTracker::ends_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("hang-up") << "hang-up";
    QTest::newRow("silence") << "silence";
    QTest::newRow("service stopped") << "stop";
}

// Without "MES,0" the display did not finish: INCOMPLETE, with the white it
// had reached kept for whoever looks.
void TestSessionTracker::ends()
{
    QFETCH(QString, how);
    SessionTracker tracker;
    tracker.setSilence(how == QLatin1String("silence") ? 400 : 60000);
    QSignalSpy ended(&tracker, &SessionTracker::sessionEnded);
    white(tracker, 100.0);
    QDateTime lastRequest = QDateTime::currentDateTimeUtc();
    if (how == QLatin1String("hang-up")) {
        tracker.takeHangUp();
    } else if (how == QLatin1String("stop")) {
        tracker.takeStop();
    } else {
        // A request in between starts the silence afresh.
        QTest::qWait(250);
        white(tracker, 100.0);
        lastRequest = QDateTime::currentDateTimeUtc();
        QTest::qWait(250);
        QCOMPARE(ended.count(), 0);
        QVERIFY(ended.wait(2000));
    }
    QCOMPARE(ended.count(), 1);
    const SessionRecord session = endedSession(ended);
    QCOMPARE(session.verdict, SessionRecord::incomplete());
    QVERIFY(session.white);
    QVERIFY(!tracker.isOpen());
    if (how == QLatin1String("silence")) {
        // It ended with its last request, not when the silence was noticed.
        QVERIFY(session.ended <= lastRequest);
        QVERIFY(session.ended.msecsTo(lastRequest) < 50);
    }
}

// A display told to come back for the value in a while waits as told; the
// silence counts from then.
void TestSessionTracker::announcedWaitIsNoSilence()
{
    SessionTracker tracker;
    tracker.setSilence(200);
    QSignalSpy ended(&tracker, &SessionTracker::sessionEnded);
    tracker.takeRequest(CMonitor::StartMeasure, QStringLiteral("OK00,00400\r"), noDataColor, noDataColor);
    QTest::qWait(400);
    QCOMPARE(ended.count(), 0);
    QVERIFY(ended.wait(2000));
    QCOMPARE(SessionTracker::announcedWaitMs(QStringLiteral("OK00,99999999")), SessionTracker::MaxAnnouncedWaitMs);
    QCOMPARE(SessionTracker::announcedWaitMs(QStringLiteral("OK01,00400")), 0);
    QCOMPARE(SessionTracker::announcedWaitMs(QStringLiteral("OK00,x")), 0);
}

void TestSessionTracker::contextAndTarget()
{
    SessionTracker tracker;
    tracker.setVerdict(SessionVerdict(0.3000, 0.3100, 0.001));
    tracker.setContextProvider([](SessionRecord* session) {
        session->station = QStringLiteral("line 2");
        session->unit = QStringLiteral("SN-1");
        session->uid = QStringLiteral("overwritten");
    });
    QSignalSpy ended(&tracker, &SessionTracker::sessionEnded);
    white(tracker, 100.0);
    tracker.takeRequest(CMonitor::StopMeasure, QString(), noDataColor, noDataColor);
    const SessionRecord session = endedSession(ended);
    QCOMPARE(session.station, QStringLiteral("line 2"));
    QCOMPARE(session.unit, QStringLiteral("SN-1"));
    QVERIFY(session.uid != QLatin1String("overwritten"));
    QCOMPARE(session.targetX, 0.3000);
    QCOMPARE(session.targetY, 0.3100);
    QCOMPARE(session.tolerance, 0.001);
    QCOMPARE(session.verdict, SessionRecord::fail());
}

// The tracker keeps only readings that may still be the final white; what it
// finds must be what the rule finds in every reading of the session.
void TestSessionTracker::trackedWhiteMatchesRule()
{
    QRandomGenerator random(20261208u);
    for (int round = 0; round < 200; ++round) {
        SessionTracker tracker;
        QSignalSpy ended(&tracker, &SessionTracker::sessionEnded);
        QVector<SessionRecord::Reading> all;
        const int count = 1 + int(random.bounded(30));
        for (int i = 0; i < count; ++i) {
            const double y = random.bounded(100.0);
            const double x = 0.2 + random.bounded(0.3);
            const CColor xyz(x / 0.33 * y, y, 0.4 / 0.33 * y);
            tracker.takeRequest(CMonitor::SendValue, QStringLiteral("OK01"), xyz, xyz);
            SessionRecord::Reading r;
            r.corrected = SessionRecord::Xyz{xyz[0], xyz[1], xyz[2]};
            all << r;
        }
        tracker.takeRequest(CMonitor::StopMeasure, QString(), noDataColor, noDataColor);
        const int index = SessionVerdict::finalWhiteIndex(all);
        const SessionRecord session = endedSession(ended);
        QVERIFY(session.white);
        QCOMPARE(session.white->lv, all[index].corrected->y);
    }
}

QTEST_GUILESS_MAIN(TestSessionTracker)
#include "tst_sessiontracker.moc"
