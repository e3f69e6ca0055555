// The records in SQLite and in a PostgreSQL server of the test's own: the
// schema both get, a session's way in and out, the filters, sending a session
// twice, a newer schema refused, and two stations writing at once. Run with
// the user's locale German (decimal comma), as a window program on a German
// desktop would.

#include "postgresserver.h"
#include "recordstore.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

namespace {

SessionRecord makeSession(const QString& uid, const QString& unit, const QDateTime& started)
{
    SessionRecord s;
    s.uid = uid;
    s.station = QStringLiteral("line 1");
    s.unit = unit;
    s.started = started;
    s.sensorType = QStringLiteral("CA410");
    s.sensorSerial = QStringLiteral("51000001");
    s.profile = QStringLiteral("ca410.alg");
    s.matrixSha256 = QString(64, QLatin1Char('a'));
    s.targetX = 0.3127;
    s.targetY = 0.3290;
    s.tolerance = 0.002;
    return s;
}

SessionRecord::Reading makeReading(const QDateTime& time, const QString& request, double y)
{
    SessionRecord::Reading r;
    r.time = time;
    r.request = request;
    if (request == QLatin1String("MDR,1")) {
        r.reply = QStringLiteral("OK01,%1").arg(y);
        r.raw = SessionRecord::Xyz{0.95 * y + 0.125, y, 1.0883 * y};
        r.corrected = SessionRecord::Xyz{0.9505 * y, y + 0.0625, 1.089 * y};
    } else if (request == QLatin1String("MES,1")) {
        r.reply = QStringLiteral("OK00,00100");
    }
    return r;
}

} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void filters_data() { roundTrip_data(); }
    void filters();
    void sentTwiceKeptOnce_data() { roundTrip_data(); }
    void sentTwiceKeptOnce();
    void newerSchemaRefused_data() { roundTrip_data(); }
    void newerSchemaRefused();
    void notARegularFile();
    void unreachableServer();
    void twoStationsAtOnce();

private:
    RecordLocation location(const QString& backend, const QString& name);
    void requirePostgres(const QString& backend);

    QTemporaryDir m_dir;
    PostgresServer m_server;
    bool m_postgres = false;
    QString m_postgresWhy;
    int m_databases = 0;
};

void TestRecordStore::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_postgres = m_server.create(&m_postgresWhy);
    if (!m_postgres)
        qWarning("PostgreSQL cases skipped: %s", qPrintable(m_postgresWhy));
}

void TestRecordStore::requirePostgres(const QString& backend)
{
    if (backend == QLatin1String("postgresql") && !m_postgres)
        QSKIP(qPrintable(QStringLiteral("no PostgreSQL server: %1").arg(m_postgresWhy)));
}

// A fresh database each time: a file, or a schema of its own on the server.
RecordLocation TestRecordStore::location(const QString& backend, const QString& name)
{
    const QString unique = QStringLiteral("%1%2").arg(name).arg(++m_databases);
    if (backend == QLatin1String("sqlite"))
        return RecordLocation::sqlite(m_dir.filePath(unique + QStringLiteral(".sqlite")));
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
        admin.setHostName(m_server.socketDir());
        admin.setUserName(QStringLiteral("lumaserve"));
        admin.setDatabaseName(QStringLiteral("records"));
        if (admin.open())
            QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE %1").arg(unique.toLower()));
        admin.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admin"));
    QString error;
    return RecordLocation::parse(QString(m_server.url()).replace(QLatin1String("/records"), QLatin1Char('/') + unique.toLower()),
                                 &error);
}

void TestRecordStore::roundTrip_data()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

void TestRecordStore::roundTrip()
{
    QFETCH(QString, backend);
    requirePostgres(backend);
    const RecordLocation where = location(backend, QStringLiteral("trip"));
    QString error;
    const QDateTime started = QDateTime(QDate(2026, 12, 8), QTime(9, 15, 2, 25), Qt::UTC);
    SessionRecord session = makeSession(QStringLiteral("u-1"), QStringLiteral("SN-7"), started);
    {
        RecordStore store(QStringLiteral("trip"));
        QVERIFY2(store.open(where, &error), qPrintable(error));
        QVERIFY2(store.beginSession(&session, &error), qPrintable(error));
        QVERIFY(session.id > 0);
        QVERIFY(store.addReading(session.id, makeReading(started.addMSecs(10), QStringLiteral("MES,1"), 0), &error));
        QVERIFY(store.addReading(session.id, makeReading(started.addMSecs(20), QStringLiteral("MDR,1"), 101.25), &error));
        QVERIFY(store.addReading(session.id, makeReading(started.addMSecs(30), QStringLiteral("MES,0"), 0), &error));
        // Open: listed without an end or a verdict.
        const auto open = store.sessions({}, &error);
        QCOMPARE(open.size(), 1);
        QVERIFY(open.first().isOpen());
        QVERIFY(open.first().verdict.isEmpty());

        session.ended = started.addSecs(1);
        session.white = SessionRecord::White{0.31271234, 0.32905678, 101.3125};
        session.verdict = SessionRecord::pass();
        QVERIFY2(store.closeSession(session, &error), qPrintable(error));
    }
    // Read back through a connection of its own, as another program would.
    RecordStore store(QStringLiteral("trip-read"));
    QVERIFY2(store.open(where, &error), qPrintable(error));
    const auto found = store.sessions({}, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(found.size(), 1);
    const SessionRecord& s = found.first();
    QCOMPARE(s.uid, session.uid);
    QCOMPARE(s.unit, QStringLiteral("SN-7"));
    QCOMPARE(s.started, started);
    QCOMPARE(s.ended, started.addSecs(1));
    QCOMPARE(s.sensorSerial, QStringLiteral("51000001"));
    QCOMPARE(s.matrixSha256, session.matrixSha256);
    QVERIFY(s.white);
    QCOMPARE(s.white->x, 0.31271234);
    QCOMPARE(s.white->y, 0.32905678);
    QCOMPARE(s.white->lv, 101.3125);
    QCOMPARE(s.verdict, SessionRecord::pass());
    QCOMPARE(s.readingCount, 3);
    const auto readings = store.readings(s.id, &error);
    QCOMPARE(readings.size(), 3);
    QCOMPARE(readings[0].request, QStringLiteral("MES,1"));
    QVERIFY(!readings[0].raw && !readings[0].corrected);
    QCOMPARE(readings[1].time, started.addMSecs(20));
    QVERIFY(readings[1].raw && readings[1].corrected);
    QCOMPARE(readings[1].raw->x, 0.95 * 101.25 + 0.125);
    QCOMPARE(readings[1].corrected->y, 101.25 + 0.0625);
    QCOMPARE(readings[2].reply, QString());

    // The tables as others read them: the version, and times in ISO 8601 UTC.
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("trip-read"));
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("SELECT version FROM schema_version")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), RecordStore::SchemaVersion);
    QVERIFY(query.exec(QStringLiteral("SELECT started, ended, white_x FROM sessions")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("2026-12-08T09:15:02.025Z"));
    QCOMPARE(query.value(1).toString(), QStringLiteral("2026-12-08T09:15:03.025Z"));
    QCOMPARE(query.value(2).toDouble(), 0.31271234);
}

void TestRecordStore::filters()
{
    QFETCH(QString, backend);
    requirePostgres(backend);
    RecordStore store(QStringLiteral("filters"));
    QString error;
    QVERIFY2(store.open(location(backend, QStringLiteral("filters")), &error), qPrintable(error));
    const QDateTime day = QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);
    const struct {
        const char* unit;
        const char* serial;
        const char* station;
        int dayOffset;
        QString verdict;
    } rows[] = {{"A1", "51000001", "line 1", 0, SessionRecord::pass()},
                {"A2", "51000001", "line 1", 1, SessionRecord::fail()},
                {"A3", "51000002", "line 2", 2, SessionRecord::incomplete()},
                {"A1", "51000002", "line 1", 3, QString()}};
    int n = 0;
    for (const auto& row : rows) {
        SessionRecord s = makeSession(QStringLiteral("f-%1").arg(++n), QLatin1String(row.unit), day.addDays(row.dayOffset));
        s.sensorSerial = QLatin1String(row.serial);
        s.station = QLatin1String(row.station);
        QVERIFY2(store.beginSession(&s, &error), qPrintable(error));
        if (!row.verdict.isEmpty()) {
            s.ended = s.started.addSecs(60);
            s.verdict = row.verdict;
            QVERIFY2(store.closeSession(s, &error), qPrintable(error));
        }
    }
    const auto units = [&](const RecordStore::Filter& filter) {
        QStringList list;
        for (const SessionRecord& s : store.sessions(filter, &error))
            list << s.unit;
        return list.join(QLatin1Char(' '));
    };
    RecordStore::Filter all;
    QCOMPARE(units(all), QStringLiteral("A1 A3 A2 A1")); // newest first
    RecordStore::Filter f;
    f.unit = QStringLiteral("A1");
    QCOMPARE(units(f), QStringLiteral("A1 A1"));
    f = {};
    f.verdict = SessionRecord::fail();
    QCOMPARE(units(f), QStringLiteral("A2"));
    f = {};
    f.sensorSerial = QStringLiteral("51000002");
    QCOMPARE(units(f), QStringLiteral("A1 A3"));
    f = {};
    f.station = QStringLiteral("line 2");
    QCOMPARE(units(f), QStringLiteral("A3"));
    f = {};
    f.since = day.addDays(1);
    f.until = day.addDays(3);
    QCOMPARE(units(f), QStringLiteral("A3 A2"));
    f = {};
    f.includeOpen = false;
    QCOMPARE(units(f), QStringLiteral("A3 A2 A1"));
    // A value that would end the statement if pasted into it.
    f = {};
    f.unit = QStringLiteral("A1' OR '1'='1");
    QCOMPARE(units(f), QString());
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestRecordStore::sentTwiceKeptOnce()
{
    QFETCH(QString, backend);
    requirePostgres(backend);
    RecordStore store(QStringLiteral("twice"));
    QString error;
    QVERIFY2(store.open(location(backend, QStringLiteral("twice")), &error), qPrintable(error));
    const QDateTime t = QDateTime::currentDateTimeUtc();
    SessionRecord s = makeSession(QStringLiteral("twice-1"), QStringLiteral("B1"), t);
    s.ended = t.addSecs(5);
    s.verdict = SessionRecord::fail();
    const QVector<SessionRecord::Reading> readings{makeReading(t, QStringLiteral("MES,1"), 0),
                                                   makeReading(t.addMSecs(5), QStringLiteral("MDR,1"), 90)};
    QVERIFY2(store.insertWhole(s, readings, &error), qPrintable(error));
    QVERIFY2(store.insertWhole(s, readings, &error), qPrintable(error));
    const auto found = store.sessions({}, &error);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().readingCount, 2);
    QCOMPARE(found.first().verdict, SessionRecord::fail());
    QVERIFY(store.removeSession(found.first().id, &error));
    QVERIFY(store.sessions({}, &error).isEmpty());
    QVERIFY(store.readings(found.first().id, &error).isEmpty());
}

void TestRecordStore::newerSchemaRefused()
{
    QFETCH(QString, backend);
    requirePostgres(backend);
    const RecordLocation where = location(backend, QStringLiteral("newer"));
    QString error;
    {
        RecordStore store(QStringLiteral("newer"));
        QVERIFY2(store.open(where, &error), qPrintable(error));
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("newer")));
        QVERIFY(query.exec(QStringLiteral("UPDATE schema_version SET version = 99")));
    }
    RecordStore store(QStringLiteral("newer-again"));
    QVERIFY(!store.open(where, &error));
    QVERIFY2(error.contains(QLatin1String("newer version")), qPrintable(error));
    QVERIFY(!store.isOpen());
}

void TestRecordStore::notARegularFile()
{
    RecordStore store(QStringLiteral("dir"));
    QString error;
    QVERIFY(!store.open(RecordLocation::sqlite(m_dir.path()), &error));
    QVERIFY2(error.contains(QLatin1String("not a regular file")), qPrintable(error));
    QVERIFY(!store.open(RecordLocation::parse(QStringLiteral("postgresql://host"), &error), &error));
}

void TestRecordStore::unreachableServer()
{
    if (!m_postgres)
        QSKIP(qPrintable(QStringLiteral("no PostgreSQL server: %1").arg(m_postgresWhy)));
    RecordStore store(QStringLiteral("nowhere"));
    QString error;
    const RecordLocation nowhere =
        RecordLocation::parse(QStringLiteral("postgresql://lumaserve@%2Fnonexistent%2Fsocket/records"), &error);
    QVERIFY(nowhere.isValid());
    QVERIFY(!store.open(nowhere, &error));
    QVERIFY2(error.contains(QLatin1String("Cannot open the records")), qPrintable(error));
    QVERIFY(store.isConnectionLost());
}

// Two stations send their sessions to the line's database at the same time:
// each session keeps its own readings, none is lost.
void TestRecordStore::twoStationsAtOnce()
{
    if (!m_postgres)
        QSKIP(qPrintable(QStringLiteral("no PostgreSQL server: %1").arg(m_postgresWhy)));
    const RecordLocation where = location(QStringLiteral("postgresql"), QStringLiteral("line"));
    constexpr int SessionsEach = 15;
    constexpr int ReadingsEach = 8;
    QString errors[2];
    const auto station = [&](int number) {
        RecordStore store(QStringLiteral("station-%1").arg(number));
        QString& error = errors[number];
        if (!store.open(where, &error))
            return;
        for (int i = 0; i < SessionsEach; ++i) {
            const QDateTime t = QDateTime::currentDateTimeUtc();
            SessionRecord s = makeSession(QStringLiteral("st%1-%2").arg(number).arg(i), QString(), t);
            s.station = QStringLiteral("station %1").arg(number);
            if (!store.beginSession(&s, &error))
                return;
            for (int r = 0; r < ReadingsEach; ++r) {
                SessionRecord::Reading reading = makeReading(t, QStringLiteral("MDR,1"), 100);
                reading.reply = s.uid;
                if (!store.addReading(s.id, reading, &error))
                    return;
            }
            s.ended = t.addSecs(1);
            s.verdict = SessionRecord::pass();
            if (!store.closeSession(s, &error))
                return;
        }
    };
    std::thread first(station, 0);
    std::thread second(station, 1);
    first.join();
    second.join();
    QVERIFY2(errors[0].isEmpty(), qPrintable(errors[0]));
    QVERIFY2(errors[1].isEmpty(), qPrintable(errors[1]));

    RecordStore store(QStringLiteral("line-check"));
    QString error;
    QVERIFY(store.open(where, &error));
    const auto sessions = store.sessions({}, &error);
    QCOMPARE(sessions.size(), 2 * SessionsEach);
    for (const SessionRecord& s : sessions) {
        QCOMPARE(s.readingCount, ReadingsEach);
        for (const SessionRecord::Reading& r : store.readings(s.id, &error))
            QCOMPARE(r.reply, s.uid);
        QVERIFY(s.uid.startsWith(s.station.right(1) == QLatin1String("0") ? QLatin1String("st0") : QLatin1String("st1")));
    }
}

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
