// The service log on a disk that fills up and frees again, through a file
// whose writes stop after the room the test gives it.
#include "filecontents.h"
#include "servelog.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A file on which only `room` more bytes fit (unlimited when negative); a
// write that does not fit writes what fits, as a full disk does, and one that
// finds no room fails. Whether a short write can be cut back is up to the test.
class FillingFile : public QFile
{
public:
    qint64 room = -1;
    bool canShrink = true;

    bool resize(qint64 size) override { return canShrink && QFile::resize(size); }

protected:
    qint64 writeData(const char* data, qint64 len) override
    {
        if (room < 0)
            return QFile::writeData(data, len);
        if (room == 0) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        const qint64 written = QFile::writeData(data, qMin(room, len));
        room -= written;
        return written;
    }
};

QString record(int n)
{
    return QStringLiteral("2026-01-01T00:00:%1.000,\"MDR,1\",\"OK01,1;2;3\",1,2,3,1,2,3")
        .arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

class TestServeLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fullDiskLosesWholeRecordsAndSaysSoOnce_data();
    void fullDiskLosesWholeRecordsAndSaysSoOnce();
    void unfinishedLineOfAnEarlierRunIsEnded();
    void onlyRegularFilesAreLogs();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestServeLog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestServeLog::fullDiskLosesWholeRecordsAndSaysSoOnce_data()
{
    QTest::addColumn<qint64>("room");
    QTest::addColumn<bool>("canShrink");
    QTest::newRow("half a record fits") << qint64(20) << true;
    QTest::newRow("nothing fits") << qint64(0) << true;
    // A file that cannot be cut back keeps the part; the next record must
    // still start on a line of its own.
    QTest::newRow("half fits, cannot be taken back") << qint64(20) << false;
}

void TestServeLog::fullDiskLosesWholeRecordsAndSaysSoOnce()
{
    QFETCH(qint64, room);
    QFETCH(bool, canShrink);
    const QString path = m_dir->filePath(QStringLiteral("serve.csv"));
    auto owned = std::make_unique<FillingFile>();
    FillingFile* file = owned.get();
    ServeLog log(std::move(owned));
    QString error;
    QVERIFY2(log.open(path, &error), qPrintable(error));
    QCOMPARE(log.append(record(1)), ServeLog::Outcome::Written);
    const QByteArray before = fileContents(path);

    file->room = room;
    file->canShrink = canShrink;
    QCOMPARE(log.append(record(2)), ServeLog::Outcome::Lost);
    QVERIFY(!log.errorString().isEmpty());
    if (canShrink)
        QCOMPARE(fileContents(path), before);
    file->room = 0;
    QCOMPARE(log.append(record(3)), ServeLog::Outcome::StillLost);
    QCOMPARE(log.append(record(4)), ServeLog::Outcome::StillLost);
    QCOMPARE(log.lostRecords(), 3);

    // Room again.
    file->room = -1;
    QCOMPARE(log.append(record(5)), ServeLog::Outcome::Resumed);
    QCOMPARE(log.lostRecords(), 3);
    QCOMPARE(log.append(record(6)), ServeLog::Outcome::Written);
    log.close();

    const QList<QByteArray> lines = fileContents(path).split('\n');
    QCOMPARE(lines.last(), QByteArray()); // ends with a whole line
    QCOMPARE(lines.first(), ServeLog::header().toUtf8());
    QCOMPARE(lines.at(1), record(1).toUtf8());
    QCOMPARE(lines.at(lines.size() - 3), record(5).toUtf8());
    QCOMPARE(lines.at(lines.size() - 2), record(6).toUtf8());
    // Only a part left behind by a file that could not be cut back lies between.
    QCOMPARE(lines.size(), canShrink || room == 0 ? 5 : 6);
    if (lines.size() == 6)
        QCOMPARE(lines.at(2), record(2).toUtf8().left(int(room)));
}

void TestServeLog::unfinishedLineOfAnEarlierRunIsEnded()
{
    const QString path = m_dir->filePath(QStringLiteral("serve.csv"));
    {
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write(ServeLog::header().toUtf8() + '\n' + record(1).toUtf8().left(15));
    }
    ServeLog log;
    QString error;
    QVERIFY2(log.open(path, &error), qPrintable(error));
    QCOMPARE(log.append(record(2)), ServeLog::Outcome::Written);
    log.close();
    const QList<QByteArray> lines = fileContents(path).split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(2), record(2).toUtf8());
}

void TestServeLog::onlyRegularFilesAreLogs()
{
    // A directory in its place: refused with the reason, not opened.
    const QString path = m_dir->filePath(QStringLiteral("serve.csv"));
    QVERIFY(QDir().mkdir(path));
    ServeLog log;
    QString error;
    QVERIFY(!log.open(path, &error));
    QVERIFY2(error.contains(QLatin1String("a directory, not a regular file")), qPrintable(error));
    QVERIFY(!log.isOpen());
}

QTEST_GUILESS_MAIN(TestServeLog)
#include "tst_servelog.moc"
