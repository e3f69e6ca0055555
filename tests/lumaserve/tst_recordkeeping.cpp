// The window program's records as its settings file says: what is read from
// the "Records" group, and the one warning when they cannot be kept.

#include "application.h"
#include "measure.h"
#include "recordingmessenger.h"
#include "recordkeeping.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Values = QMap<QString, QString>;
Q_DECLARE_METATYPE(Values)

class TestRecordKeeping : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void readsTheRecordsGroup_data();
    void readsTheRecordsGroup();
    void startWarnsOnceWhenTheRecordsCannotBeKept_data();
    void startWarnsOnceWhenTheRecordsCannotBeKept();

private:
    QTemporaryDir m_dir;
};

void TestRecordKeeping::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
    // A settings file is read with a decimal point whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestRecordKeeping::cleanupTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestRecordKeeping::readsTheRecordsGroup_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("spool");
    QTest::addColumn<QString>("station");
    QTest::addColumn<double>("targetX");
    QTest::addColumn<double>("targetY");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<QString>("unitCommand");

    QTest::newRow("defaults") << Values() << true << QStringLiteral("records.sqlite")
                              << QStringLiteral("records-spool.sqlite") << LineRecorder::defaultStation() << 0.3127
                              << 0.3290 << 0.002 << QString();
    QTest::newRow("all given") << Values{{"database", "postgresql://db.line/records"},
                                         {"spool", "st4.sqlite"},
                                         {"station", "line2-st04"},
                                         {"targetX", "0.3135"},
                                         {"targetY", "0.33"},
                                         {"tolerance", "0.0035"},
                                         {"unitCommand", "mes-unit --station 4"}}
                               << true << QStringLiteral("postgresql://db.line/records") << QStringLiteral("st4.sqlite")
                               << QStringLiteral("line2-st04") << 0.3135 << 0.33 << 0.0035
                               << QStringLiteral("mes-unit --station 4");
    QTest::newRow("not numbers keep the defaults")
        << Values{{"targetX", "0,3135"}, {"tolerance", "wide"}, {"station", "  "}} << true
        << QStringLiteral("records.sqlite") << QStringLiteral("records-spool.sqlite") << LineRecorder::defaultStation()
        << 0.3127 << 0.3290 << 0.002 << QString();
    QTest::newRow("an address without a database")
        << Values{{"database", "postgresql://db.line"}} << false << QString() << QStringLiteral("records-spool.sqlite")
        << LineRecorder::defaultStation() << 0.3127 << 0.3290 << 0.002 << QString();
}

void TestRecordKeeping::readsTheRecordsGroup()
{
    QFETCH(Values, values);
    QFETCH(bool, valid);
    QFETCH(QString, database);
    QFETCH(QString, spool);
    QFETCH(QString, station);
    QFETCH(double, targetX);
    QFETCH(double, targetY);
    QFETCH(double, tolerance);
    QFETCH(QString, unitCommand);

    const QString file = m_dir.filePath(QStringLiteral("%1.ini").arg(QTest::currentDataTag()));
    {
        QSettings settings(file, QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(QStringLiteral("Records/") + it.key(), it.value());
    }
    QSettings settings(file, QSettings::IniFormat);
    LineRecorder::Settings read;
    QString error;
    QCOMPARE(RecordKeeping::read(settings, &read, &error), valid);
    QCOMPARE(error.isEmpty(), valid);
    if (valid)
        QCOMPARE(read.location.displayName(), database);
    QCOMPARE(read.spoolFile, spool);
    QCOMPARE(read.station, station);
    QCOMPARE(read.verdict.targetX(), targetX);
    QCOMPARE(read.verdict.targetY(), targetY);
    QCOMPARE(read.verdict.tolerance(), tolerance);
    QCOMPARE(read.unitCommand, unitCommand);
}

void TestRecordKeeping::startWarnsOnceWhenTheRecordsCannotBeKept_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("kept");
    QTest::newRow("a file that can be written") << m_dir.filePath(QStringLiteral("records.sqlite")) << true;
    QTest::newRow("a file in no directory") << m_dir.filePath(QStringLiteral("missing/records.sqlite")) << false;
    QTest::newRow("an address without a database") << QStringLiteral("postgresql://db.line") << false;
}

void TestRecordKeeping::startWarnsOnceWhenTheRecordsCannotBeKept()
{
    QFETCH(QString, database);
    QFETCH(bool, kept);

    // The window's own settings file.
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"), QStringLiteral("Brightfold-alignment"))
        .setValue(QStringLiteral("Records/database"), database);
    RecordingMessenger messages;
    Measure measure;
    const std::unique_ptr<LineRecorder> recorder = RecordKeeping::start(measure, nullptr);
    QCOMPARE(recorder != nullptr, kept);
    QCOMPARE(messages.texts().size(), kept ? 0 : 1);
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestRecordKeeping test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordkeeping.moc"
