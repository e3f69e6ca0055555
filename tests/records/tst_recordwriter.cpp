// Nothing lost: a session written request by request survives a kill -9 of
// the program but for at most its last request, and is closed INCOMPLETE when
// the program comes back; sessions closed while the line's PostgreSQL server
// is down wait in the station's file and reach the server when it is back,
// also through a restart of the program.

#include "postgresserver.h"
#include "recordstore.h"
#include "recordwriter.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#ifndef CRASHWRITER_PATH
#error "CRASHWRITER_PATH must name the crash writer program"
#endif

namespace {

SessionRecord session(const QString& uid)
{
    SessionRecord s;
    s.uid = uid;
    s.station = QStringLiteral("line 1");
    s.started = QDateTime::currentDateTimeUtc();
    return s;
}

SessionRecord::Reading value(double y)
{
    SessionRecord::Reading r;
    r.time = QDateTime::currentDateTimeUtc();
    r.request = QStringLiteral("MDR,1");
    r.corrected = SessionRecord::Xyz{0.95 * y, y, 1.09 * y};
    return r;
}

// One display served start to end through the writer.
void serveOne(RecordWriter& writer, const QString& uid)
{
    SessionRecord s = session(uid);
    writer.beginSession(s);
    writer.addReading(uid, value(100));
    writer.addReading(uid, value(80));
    s.ended = QDateTime::currentDateTimeUtc();
    s.verdict = SessionRecord::pass();
    writer.closeSession(s);
}

QStringList uids(const QVector<SessionRecord>& sessions)
{
    QStringList list;
    for (const SessionRecord& s : sessions)
        list << s.uid;
    list.sort();
    return list;
}

} // namespace

class TestRecordWriter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedMidSession();
    void serverDownAndBack();
    void backlogSentByNextRun();

private:
    QVector<SessionRecord> onServer(QString* error);

    QTemporaryDir m_dir;
    PostgresServer m_server;
    bool m_postgres = false;
    QString m_postgresWhy;
};

void TestRecordWriter::initTestCase()
{
    qRegisterMetaType<SessionRecord>();
    QVERIFY(m_dir.isValid());
    m_postgres = m_server.create(&m_postgresWhy);
    if (!m_postgres)
        qWarning("PostgreSQL cases skipped: %s", qPrintable(m_postgresWhy));
}

QVector<SessionRecord> TestRecordWriter::onServer(QString* error)
{
    RecordStore store(QStringLiteral("check"));
    if (!store.open(RecordLocation::parse(m_server.url(), error), error))
        return {};
    return store.sessions({}, error);
}

void TestRecordWriter::killedMidSession()
{
    const QString file = m_dir.filePath(QStringLiteral("killed.sqlite"));
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(QStringLiteral(CRASHWRITER_PATH), {file});
    QVERIFY(writer.waitForStarted(10000));
    // It says how many requests the service has handed over so far; killed
    // after the twelfth, the file must hold at least eleven.
    int served = 0;
    QByteArray output;
    QDeadlineTimer deadline(20000);
    while (served < 12 && !deadline.hasExpired()) {
        if (!writer.canReadLine() && !writer.waitForReadyRead(int(deadline.remainingTime())))
            break;
        while (writer.canReadLine()) {
            const QByteArray line = writer.readLine().trimmed();
            if (line.startsWith("served "))
                served = line.mid(7).toInt();
        }
    }
    QCOMPARE(served, 12);
    writer.kill(); // SIGKILL: nothing of the program runs after it
    QVERIFY(writer.waitForFinished(10000));

    QString error;
    {
        RecordStore store(QStringLiteral("killed"));
        QVERIFY2(store.open(RecordLocation::sqlite(file), &error), qPrintable(error));
        const auto sessions = store.sessions({}, &error);
        QCOMPARE(sessions.size(), 1);
        QVERIFY(sessions.first().isOpen());
        QVERIFY2(sessions.first().readingCount >= 11, qPrintable(QString::number(sessions.first().readingCount)));
    }
    // The next run of the program closes it, as the display did not finish.
    RecordWriter next(RecordLocation::sqlite(file), QString(), QStringLiteral("crash station"));
    QSignalSpy opened(&next, &RecordWriter::opened);
    next.start();
    QCOMPARE(opened.count(), 1);
    QVERIFY(opened.first().first().toBool());
    next.finish();
    RecordStore store(QStringLiteral("killed-after"));
    QVERIFY(store.open(RecordLocation::sqlite(file), &error));
    const auto sessions = store.sessions({}, &error);
    QCOMPARE(sessions.size(), 1);
    QCOMPARE(sessions.first().verdict, SessionRecord::incomplete());
    QVERIFY(!sessions.first().isOpen());
    QDateTime last;
    QVERIFY(store.lastReadingTime(sessions.first().id, &last, &error));
    QCOMPARE(sessions.first().ended, last);
}

void TestRecordWriter::serverDownAndBack()
{
    if (!m_postgres)
        QSKIP(qPrintable(QStringLiteral("no PostgreSQL server: %1").arg(m_postgresWhy)));
    QString error;
    const QString spool = m_dir.filePath(QStringLiteral("spool.sqlite"));
    RecordWriter writer(RecordLocation::parse(m_server.url(), &error), spool, QStringLiteral("line 1"));
    writer.setRetryInterval(100);
    QSignalSpy problem(&writer, &RecordWriter::problem);
    QSignalSpy recovered(&writer, &RecordWriter::recovered);
    QSignalSpy backlog(&writer, &RecordWriter::backlogChanged);
    writer.start();

    serveOne(writer, QStringLiteral("before"));
    QCOMPARE(uids(onServer(&error)), QStringList{QStringLiteral("before")});
    QCOMPARE(problem.count(), 0);

    QVERIFY2(m_server.stop(&error), qPrintable(error));
    serveOne(writer, QStringLiteral("during-1"));
    serveOne(writer, QStringLiteral("during-2"));
    QCOMPARE(problem.count(), 1); // said once, not per session
    QVERIFY(problem.first().first().toString().contains(spool));
    QCOMPARE(backlog.last().first().toInt(), 2);
    // Meanwhile the station's own sessions can still be seen, as waiting.
    QSignalSpy found(&writer, &RecordWriter::sessionsFound);
    writer.findSessions(7, {});
    QCOMPARE(found.count(), 1);
    const auto waiting = found.first().at(1).value<QVector<SessionRecord>>();
    QCOMPARE(uids(waiting), (QStringList{QStringLiteral("during-1"), QStringLiteral("during-2")}));
    QVERIFY(waiting.first().pending);
    QVERIFY(!found.first().at(2).toString().isEmpty());

    QVERIFY2(m_server.start(&error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(recovered.count(), 1, 10000);
    QCOMPARE(uids(onServer(&error)),
             (QStringList{QStringLiteral("before"), QStringLiteral("during-1"), QStringLiteral("during-2")}));
    QCOMPARE(backlog.last().first().toInt(), 0);
    // Each arrived with its readings, and left the spool.
    for (const SessionRecord& s : onServer(&error))
        QCOMPARE(s.readingCount, 2);
    RecordStore local(QStringLiteral("spool-check"));
    QVERIFY(local.open(RecordLocation::sqlite(spool), &error));
    QVERIFY(local.sessions({}, &error).isEmpty());
    writer.finish();
}

void TestRecordWriter::backlogSentByNextRun()
{
    if (!m_postgres)
        QSKIP(qPrintable(QStringLiteral("no PostgreSQL server: %1").arg(m_postgresWhy)));
    QString error;
    const QString spool = m_dir.filePath(QStringLiteral("spool-next.sqlite"));
    const RecordLocation server = RecordLocation::parse(m_server.url(), &error);
    QVERIFY2(m_server.stop(&error), qPrintable(error));
    {
        RecordWriter writer(server, spool, QStringLiteral("line 1"));
        writer.start();
        serveOne(writer, QStringLiteral("kept-over"));
        writer.finish();
    }
    QVERIFY2(m_server.start(&error), qPrintable(error));
    QVERIFY(!uids(onServer(&error)).contains(QStringLiteral("kept-over")));
    RecordWriter next(server, spool, QStringLiteral("line 1"));
    next.start();
    QVERIFY(uids(onServer(&error)).contains(QStringLiteral("kept-over")));
    next.finish();
}

QTEST_GUILESS_MAIN(TestRecordWriter)
#include "tst_recordwriter.moc"
