#include "alignmentprofile.h"
#include "filecontents.h"
#include "nonregularfile.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {
Matrix sampleMatrix()
{
    const double v[] = {1.0123456789012345, -0.01, 0.003, 0.02, 0.987, -1e-17, 0, 0.1 / 3, 1.05};
    return Matrix(v, 3, 3);
}

// The profile's bytes with one matrix entry, counted row by row, replaced;
// the nine doubles are the file's last 72 bytes.
QByteArray withEntry(QByteArray bytes, int entry, double value)
{
    QByteArray number;
    QDataStream out(&number, QIODevice::WriteOnly);
    out << value;
    bytes.replace(bytes.size() - 72 + 8 * entry, 8, number);
    return bytes;
}

// Reads the profile; should the reader wait for a writer at a FIFO, a watchdog
// opens the FIFO for writing after a bound and closes it again, which ends the
// wait with an empty file, and *waited says so.
AlignmentProfile::ReadResult readWithin(AlignmentProfile& profile, const QString& path, QString* reason,
                                        bool* waited)
{
    std::mutex mutex;
    std::condition_variable condition;
    bool done = false;
    *waited = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (condition.wait_for(lock, std::chrono::seconds(10), [&] { return done; }))
            return;
        *waited = true;
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    const AlignmentProfile::ReadResult result = profile.read(path, reason);
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    condition.notify_all();
    watchdog.join();
    return result;
}

QByteArray headerBytes(qint32 magic, qint32 version)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << magic << version;
    return bytes;
}
} // namespace

class TestAlignmentProfile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void layoutAndExactRoundTrip();
    void matricesWithinTheBoundAreKept_data();
    void matricesWithinTheBoundAreKept();
    void unreadableFilesLeaveTheProfile_data();
    void unreadableFilesLeaveTheProfile();
    void refusedWritesLeaveNothing_data();
    void refusedWritesLeaveNothing();
    void linkIsWrittenThroughAndStaysALink();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestAlignmentProfile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestAlignmentProfile::layoutAndExactRoundTrip()
{
    const AlignmentProfile saved(7, QStringLiteral("A1B2C3D4"), sampleMatrix());
    const QString file = path(QStringLiteral("ca410.alg"));
    QVERIFY(saved.write(file));
    const QByteArray bytes = fileContents(file);
    QCOMPARE(bytes.size(), 112);
    QCOMPARE(bytes.left(8), QByteArray::fromHex("1234567801000002"));
    QCOMPARE(bytes.mid(8, 4), QByteArray::fromHex("00000006")); // type 7 stored as 6
    QCOMPARE(bytes.mid(12, 4), QByteArray::fromHex("00000010")); // 16 bytes of UTF-16
    QCOMPARE(bytes.mid(16, 4), QByteArray::fromHex("00410031"));  // "A1", big-endian
    QCOMPARE(bytes.mid(32, 8), QByteArray::fromHex("0000000300000003"));

    AlignmentProfile loaded;
    QCOMPARE(loaded.read(file), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(loaded.sensorType(), 7);
    QCOMPARE(loaded.serialNumber(), QStringLiteral("A1B2C3D4"));
    const std::vector<double> a = saved.matrix().GetDataOneDimen();
    const std::vector<double> b = loaded.matrix().GetDataOneDimen();
    QCOMPARE(b.size(), size_t(9));
    QCOMPARE(std::memcmp(a.data(), b.data(), 9 * sizeof(double)), 0);

    // A sensor that reports no serial number stores a null string: 96 bytes.
    QVERIFY(AlignmentProfile(4, QString(), Matrix::IdentityMatrix(3)).write(file));
    QCOMPARE(QFileInfo(file).size(), qint64(96));
    QCOMPARE(loaded.read(file), AlignmentProfile::ReadResult::Ok);
    QVERIFY(loaded.serialNumber().isEmpty());
    QCOMPARE(loaded.sensorType(), 4);
    QCOMPARE(loaded.read(QString()), AlignmentProfile::ReadResult::CannotOpen);
}

void TestAlignmentProfile::matricesWithinTheBoundAreKept_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<double>("value");
    QTest::newRow("the bound") << 1 << 1e6;
    QTest::newRow("minus the bound") << 7 << -1e6;
    QTest::newRow("subnormal") << 3 << 4.9e-324;
}

void TestAlignmentProfile::matricesWithinTheBoundAreKept()
{
    QFETCH(int, entry);
    QFETCH(double, value);
    Matrix matrix = sampleMatrix();
    matrix(entry / 3, entry % 3) = value;
    const QString file = path(QStringLiteral("edge.alg"));
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN1"), matrix).write(file));
    AlignmentProfile profile;
    QCOMPARE(profile.read(file), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(profile.matrix()(entry / 3, entry % 3), value);
}

void TestAlignmentProfile::unreadableFilesLeaveTheProfile_data()
{
    QByteArray good;
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("g.alg"));
        AlignmentProfile(7, QStringLiteral("SN123456"), sampleMatrix()).write(file);
        good = fileContents(file);
    }
    QByteArray notThreeByThree = good.left(32);
    {
        QDataStream out(&notThreeByThree, QIODevice::Append);
        out << Matrix(1.0, 2, 2);
    }
    QByteArray strangeType = good;
    strangeType[11] = char(0x7f);

    // What is at the name (a regular file holds the bytes), and a name to use
    // instead of one in the test's directory.
    QTest::addColumn<NonRegularFile::Kind>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("reasonHolds");
    const auto damaged = [](const char* name, const QByteArray& bytes) {
        QTest::newRow(name) << NonRegularFile::Regular << bytes << QString()
                            << int(AlignmentProfile::ReadResult::ParseError) << QString();
    };
    damaged("empty file", QByteArray());
    damaged("wrong magic", headerBytes(0x12345679, 0x01000002) + good.mid(8));
    damaged("wrong version", headerBytes(0x12345678, 0x01000003) + good.mid(8));
    damaged("magic only", good.left(4));
    damaged("ends in the serial", good.left(20));
    damaged("ends in the matrix", good.left(good.size() - 1));
    damaged("matrix is 2x2", notThreeByThree);
    damaged("type outside the table", strangeType);
    const double inf = std::numeric_limits<double>::infinity();
    damaged("NaN in the matrix", withEntry(good, 4, std::numeric_limits<double>::quiet_NaN()));
    damaged("infinity in the matrix", withEntry(good, 0, inf));
    damaged("minus infinity in the matrix", withEntry(good, 8, -inf));
    damaged("1e308 in the matrix", withEntry(good, 2, 1e308));
    damaged("just beyond the bound", withEntry(good, 6, -1.0000001e6));
    // A whole profile with megabytes after it: no profile is that large.
    QTest::newRow("oversized") << NonRegularFile::Regular << good + QByteArray(2 * 1024 * 1024, '\0')
                               << QString() << int(AlignmentProfile::ReadResult::ParseError) << "larger";

    const auto cannotOpen = [](const char* name, NonRegularFile::Kind kind, const char* reason,
                               const QString& fileName = QString()) {
        QTest::newRow(name) << kind << QByteArray() << fileName << int(AlignmentProfile::ReadResult::CannotOpen)
                            << QString::fromLatin1(reason);
    };
    cannotOpen("missing", NonRegularFile::Missing, "");
    cannotOpen("FIFO without a writer", NonRegularFile::Fifo, "a FIFO");
    cannotOpen("socket", NonRegularFile::Socket, "a socket");
    cannotOpen("directory", NonRegularFile::Directory, "a directory");
    cannotOpen("endless device", NonRegularFile::CharDevice, "a character device", QStringLiteral("/dev/zero"));
}

void TestAlignmentProfile::unreadableFilesLeaveTheProfile()
{
    QFETCH(NonRegularFile::Kind, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fileName);
    QFETCH(int, expected);
    QFETCH(QString, reasonHolds);
    std::unique_ptr<NonRegularFile> special;
    if (fileName.isEmpty()) {
        fileName = path(QStringLiteral("x.alg"));
        if (kind == NonRegularFile::Regular) {
            QFile file(fileName);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(bytes), qint64(bytes.size()));
        } else if (kind != NonRegularFile::Missing) {
            special = std::make_unique<NonRegularFile>(kind, fileName);
            QVERIFY(special->isMade());
        }
    }
    QCOMPARE(NonRegularFile::kindAt(fileName), kind);

    AlignmentProfile profile(5, QStringLiteral("kept"), Matrix::IdentityMatrix(3) * 2.0);
    QString reason;
    bool waited = false;
    const AlignmentProfile::ReadResult result = readWithin(profile, fileName, &reason, &waited);
    QVERIFY2(!waited, "the reader waited for a writer");
    QCOMPARE(int(result), expected);
    QVERIFY2(reason.contains(reasonHolds), qPrintable(reason));
    QCOMPARE(profile.sensorType(), 5);
    QCOMPARE(profile.serialNumber(), QStringLiteral("kept"));
    QVERIFY(profile.matrix() == Matrix::IdentityMatrix(3) * 2.0);
}

void TestAlignmentProfile::refusedWritesLeaveNothing_data()
{
    QTest::addColumn<NonRegularFile::Kind>("kind");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<double>("entry");
    QTest::addColumn<QStringList>("reasonHolds");
    const double sound = sampleMatrix()(1, 1);
    const QString plain = QStringLiteral("x.alg");
    QTest::newRow("NaN") << NonRegularFile::Missing << plain << std::numeric_limits<double>::quiet_NaN()
                         << QStringList{QStringLiteral("not a number")};
    QTest::newRow("infinity") << NonRegularFile::Missing << plain << std::numeric_limits<double>::infinity()
                              << QStringList{QStringLiteral("not a number")};
    QTest::newRow("beyond the bound") << NonRegularFile::Missing << plain << 2e6 << QStringList{QStringLiteral("beyond")};
    QTest::newRow("no such directory") << NonRegularFile::Missing << QStringLiteral("no/such/dir/p.alg") << sound
                                       << QStringList();
    const QList<QPair<NonRegularFile::Kind, QString>> specials{{NonRegularFile::Fifo, QStringLiteral("a FIFO")},
                                                              {NonRegularFile::Socket, QStringLiteral("a socket")},
                                                              {NonRegularFile::Directory, QStringLiteral("a directory")}};
    for (const auto& special : specials)
        QTest::newRow(qPrintable(special.second)) << special.first << plain << sound
                                                  << QStringList{special.second, QStringLiteral("not a regular file")};
}

void TestAlignmentProfile::refusedWritesLeaveNothing()
{
    QFETCH(NonRegularFile::Kind, kind);
    QFETCH(QString, fileName);
    QFETCH(double, entry);
    QFETCH(QStringList, reasonHolds);
    const QString target = path(fileName);
    std::unique_ptr<NonRegularFile> special;
    if (kind != NonRegularFile::Missing) {
        special = std::make_unique<NonRegularFile>(kind, target);
        QVERIFY(special->isMade());
    }
    Matrix matrix = sampleMatrix();
    matrix(1, 1) = entry;
    const AlignmentProfile profile(7, QStringLiteral("SN1"), matrix);
    // Refused through a link just the same, and the link stays.
    const QString link = path(QStringLiteral("link.alg"));
    QVERIFY(QFile::link(target, link));
    for (const QString& name : {target, link}) {
        QString reason;
        QVERIFY(!profile.write(name, &reason));
        QVERIFY(!reason.isEmpty());
        for (const QString& part : reasonHolds)
            QVERIFY2(reason.contains(part), qPrintable(reason));
        QCOMPARE(NonRegularFile::kindAt(target), kind);
        QCOMPARE(NonRegularFile::kindAt(link), NonRegularFile::Link);
    }
    // Nothing was left beside them either.
    const int made = kind == NonRegularFile::Missing ? 1 : 2;
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size(), made);
}

void TestAlignmentProfile::linkIsWrittenThroughAndStaysALink()
{
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("kept")));
    const QString target = path(QStringLiteral("kept/real.alg"));
    QVERIFY(AlignmentProfile(4, QStringLiteral("old"), Matrix::IdentityMatrix(3)).write(target));
    // Relative, as links made by hand often are.
    const QString link = path(QStringLiteral("link.alg"));
    QCOMPARE(::symlink("kept/real.alg", QFile::encodeName(link).constData()), 0);
    QVERIFY(AlignmentProfile(7, QStringLiteral("new"), sampleMatrix()).write(link));
    QCOMPARE(NonRegularFile::kindAt(link), NonRegularFile::Link);
    QCOMPARE(NonRegularFile::kindAt(target), NonRegularFile::Regular);
    AlignmentProfile loaded;
    QCOMPARE(loaded.read(target), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(loaded.serialNumber(), QStringLiteral("new"));

    // A link to a file not there yet creates the file.
    const QString dangling = path(QStringLiteral("dangling.alg"));
    QVERIFY(QFile::link(path(QStringLiteral("kept/later.alg")), dangling));
    QVERIFY(AlignmentProfile(7, QStringLiteral("later"), sampleMatrix()).write(dangling));
    QCOMPARE(NonRegularFile::kindAt(dangling), NonRegularFile::Link);
    QCOMPARE(loaded.read(path(QStringLiteral("kept/later.alg"))), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(loaded.serialNumber(), QStringLiteral("later"));
}

QTEST_GUILESS_MAIN(TestAlignmentProfile)
#include "tst_alignmentprofile.moc"
