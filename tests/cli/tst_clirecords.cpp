// `records list|show|export` on a station's file: the filters, a session
// shown request by request, the exports, and what is refused.

#include "clirunner.h"
#include "recordstore.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

class TestCliRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void list_data();
    void list();
    void show();
    void exports();
    void refused_data();
    void refused();

private:
    QString m_file;
    QTemporaryDir m_dir;
    QVector<qint64> m_ids;
};

void TestCliRecords::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_file = m_dir.filePath(QStringLiteral("records.sqlite"));
    RecordStore store(QStringLiteral("setup"));
    QString error;
    QVERIFY2(store.open(RecordLocation::sqlite(m_file), &error), qPrintable(error));
    const struct {
        const char* unit;
        const char* serial;
        const char* started;
        QString verdict;
    } rows[] = {{"U-100", "51000001", "2026-11-30T10:00:00.000Z", SessionRecord::pass()},
                {"U-101", "51000001", "2026-12-02T10:00:00.000Z", SessionRecord::fail()},
                {"U-102", "51000002", "2026-12-03T10:00:00.000Z", SessionRecord::incomplete()}};
    for (const auto& row : rows) {
        SessionRecord s;
        s.uid = QLatin1String(row.unit);
        s.station = QStringLiteral("line 1");
        s.unit = QLatin1String(row.unit);
        s.sensorType = QStringLiteral("CA410");
        s.sensorSerial = QLatin1String(row.serial);
        s.started = SessionRecord::parseTime(QLatin1String(row.started));
        QVERIFY(store.beginSession(&s, &error));
        SessionRecord::Reading r;
        r.time = s.started.addMSecs(250);
        r.request = QStringLiteral("MDR,1");
        r.reply = QStringLiteral("OK01,095.050;100.000;108.900");
        r.raw = SessionRecord::Xyz{95.5, 100.25, 108.0};
        r.corrected = SessionRecord::Xyz{95.05, 100.0, 108.9};
        QVERIFY(store.addReading(s.id, r, &error));
        s.ended = s.started.addSecs(30);
        s.white = SessionRecord::White{0.3127, 0.3290, 100.0};
        s.verdict = row.verdict;
        QVERIFY(store.closeSession(s, &error));
        m_ids << s.id;
    }
}

void TestCliRecords::list_data()
{
    QTest::addColumn<QStringList>("filter");
    QTest::addColumn<QStringList>("units");
    QTest::newRow("all, newest first") << QStringList() << QStringList{"U-102", "U-101", "U-100"};
    QTest::newRow("unit") << QStringList{"--unit", "U-101"} << QStringList{"U-101"};
    QTest::newRow("verdict, any case") << QStringList{"--verdict", "fail"} << QStringList{"U-101"};
    QTest::newRow("sensor serial") << QStringList{"--sensor-serial", "51000001"} << QStringList{"U-101", "U-100"};
    QTest::newRow("since a date") << QStringList{"--since", "2026-12-02"} << QStringList{"U-102", "U-101"};
    QTest::newRow("since a time") << QStringList{"--since", "2026-12-02T12:00:00Z"} << QStringList{"U-102"};
    QTest::newRow("together") << QStringList{"--sensor-serial", "51000001", "--verdict", "PASS"} << QStringList{"U-100"};
    QTest::newRow("none") << QStringList{"--unit", "U-999"} << QStringList();
}

void TestCliRecords::list()
{
    QFETCH(QStringList, filter);
    QFETCH(QStringList, units);
    const auto result = CliRunner::run(QStringList{"records", "list", "--records", m_file} + filter, 30000, {"TZ=UTC"});
    QCOMPARE(result.exitCode, 0);
    QStringList found;
    for (const QByteArray& line : result.out.split('\n')) {
        if (!line.isEmpty())
            found << QString::fromUtf8(line).split(QStringLiteral("  ")).at(3);
    }
    QCOMPARE(found, units);
}

void TestCliRecords::show()
{
    const auto result = CliRunner::run({"records", "show", QString::number(m_ids.at(1)), "--records", m_file});
    QCOMPARE(result.exitCode, 0);
    const QString out = QString::fromUtf8(result.out);
    QVERIFY2(out.contains(QStringLiteral("U-101")), result.out.constData());
    QVERIFY(out.contains(QStringLiteral("FAIL")));
    QVERIFY(out.contains(QStringLiteral("MDR,1 -> OK01,095.050;100.000;108.900  raw 95.5000 100.2500 108.0000  "
                                        "corrected 95.0500 100.0000 108.9000")));
}

void TestCliRecords::exports()
{
    const QString csv = m_dir.filePath(QStringLiteral("out.csv"));
    auto result = CliRunner::run({"records", "export", "--records", m_file, "--verdict", "PASS", "--out", csv},
                                 30000, {"LC_ALL=de_DE.UTF-8"});
    QCOMPARE(result.exitCode, 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.at(0).startsWith(QLatin1String("session_id,station,unit,started")));
    QVERIFY2(lines.at(1).contains(QLatin1String("U-100")), qPrintable(lines.at(1)));
    QVERIFY(lines.at(1).contains(QLatin1String(",0.3127,0.329,100,PASS,")));
    QVERIFY(lines.at(1).endsWith(QLatin1String("\"OK01,095.050;100.000;108.900\",95.5,100.25,108,95.05,100,108.9")));

    const QString json = m_dir.filePath(QStringLiteral("out.json"));
    result = CliRunner::run({"records", "export", QString::number(m_ids.at(2)), QString::number(m_ids.at(0)),
                             "--records", m_file, "--format", "json", "--out", json});
    QCOMPARE(result.exitCode, 0);
    QFile jsonFile(json);
    QVERIFY(jsonFile.open(QIODevice::ReadOnly));
    const QJsonArray sessions = QJsonDocument::fromJson(jsonFile.readAll()).object().value(QStringLiteral("sessions")).toArray();
    QCOMPARE(sessions.size(), 2);
    QCOMPARE(sessions.at(0).toObject().value(QStringLiteral("unit")).toString(), QStringLiteral("U-102"));
    QCOMPARE(sessions.at(1).toObject().value(QStringLiteral("verdict")).toString(), QStringLiteral("PASS"));
    const QJsonArray readings = sessions.at(1).toObject().value(QStringLiteral("readings")).toArray();
    QCOMPARE(readings.size(), 1);
    QCOMPARE(readings.at(0).toObject().value(QStringLiteral("raw")).toArray().at(1).toDouble(), 100.25);
}

void TestCliRecords::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no action") << QStringList{"records"} << 1 << "needs an action";
    QTest::newRow("unknown action") << QStringList{"records", "drop"} << 1 << "unknown records action";
    QTest::newRow("bad verdict") << QStringList{"records", "list", "--verdict", "GOOD"} << 1 << "PASS, FAIL or INCOMPLETE";
    QTest::newRow("bad date") << QStringList{"records", "list", "--since", "yesterday"} << 1 << "--since";
    QTest::newRow("show without id") << QStringList{"records", "show"} << 1 << "one session id";
    QTest::newRow("id no number") << QStringList{"records", "show", "x1"} << 1 << "no session id";
    QTest::newRow("unknown id") << QStringList{"records", "show", "999"} << 3 << "no session 999";
    QTest::newRow("export without out") << QStringList{"records", "export"} << 1 << "--out";
    QTest::newRow("export format") << QStringList{"records", "export", "--format", "xml", "--out", "x"} << 1 << "csv or json";
    QTest::newRow("no database in the address")
        << QStringList{"records", "list", "--records", "postgresql://host"} << 1 << "names no database";
    QTest::newRow("missing file") << QStringList{"records", "list", "--records", "@missing"} << 3 << "does not exist";
    QTest::newRow("serve option without records")
        << QStringList{"serve", "--sensor", "CA410", "--monitor", "/dev/null", "--tolerance", "0.001"} << 1
        << "--tolerance needs --records";
    QTest::newRow("serve target") << QStringList{"serve", "--sensor", "CA410", "--monitor", "/dev/null", "--records", "@r",
                                                 "--target", "0.7,0.4"}
                                  << 1 << "--target";
}

void TestCliRecords::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString missing = m_dir.filePath(QStringLiteral("missing.sqlite"));
    for (QString& argument : arguments) {
        if (argument == QLatin1String("@missing"))
            argument = missing;
        if (argument == QLatin1String("@r"))
            argument = m_dir.filePath(QStringLiteral("never.sqlite"));
    }
    if (!arguments.contains(QStringLiteral("--records")) && arguments.value(0) == QLatin1String("records"))
        arguments << QStringLiteral("--records") << m_file;
    const auto result = CliRunner::run(arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(message.toUtf8()), result.err.constData());
    // Reading made no file, nor did a refused serve.
    QVERIFY(!QFile::exists(missing));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("never.sqlite"))));
}

QTEST_GUILESS_MAIN(TestCliRecords)
#include "tst_clirecords.moc"
