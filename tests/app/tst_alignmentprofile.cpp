#include "alignmentprofile.h"

#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <limits>

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
    void layoutOfAnEightCharacterSerial();
    void roundTripIsExact();
    void damagedFilesAreParseErrors_data();
    void damagedFilesAreParseErrors();
    void matricesWithinTheBoundAreKept_data();
    void matricesWithinTheBoundAreKept();
    void damagedMatricesAreNotWritten_data();
    void damagedMatricesAreNotWritten();
    void missingFilesAreQuiet();
    void unwritableFileFails();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestAlignmentProfile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestAlignmentProfile::layoutOfAnEightCharacterSerial()
{
    const AlignmentProfile profile(7, QStringLiteral("A1B2C3D4"), sampleMatrix());
    QVERIFY(profile.write(path(QStringLiteral("ca410.alg"))));
    QFile file(path(QStringLiteral("ca410.alg")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 112);
    QCOMPARE(bytes.left(8), QByteArray::fromHex("1234567801000002"));
    QCOMPARE(bytes.mid(8, 4), QByteArray::fromHex("00000006")); // type 7 stored as 6
    QCOMPARE(bytes.mid(12, 4), QByteArray::fromHex("00000010")); // 16 bytes of UTF-16
    QCOMPARE(bytes.mid(16, 4), QByteArray::fromHex("00410031"));  // "A1", big-endian
    QCOMPARE(bytes.mid(32, 8), QByteArray::fromHex("0000000300000003"));
}

void TestAlignmentProfile::roundTripIsExact()
{
    const AlignmentProfile saved(13, QStringLiteral("CR-250 #0042"), sampleMatrix());
    QVERIFY(saved.write(path(QStringLiteral("p.alg"))));
    AlignmentProfile loaded;
    QCOMPARE(loaded.read(path(QStringLiteral("p.alg"))), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(loaded.sensorType(), 13);
    QCOMPARE(loaded.serialNumber(), QStringLiteral("CR-250 #0042"));
    const std::vector<double> a = saved.matrix().GetDataOneDimen();
    const std::vector<double> b = loaded.matrix().GetDataOneDimen();
    QCOMPARE(b.size(), size_t(9));
    QCOMPARE(std::memcmp(a.data(), b.data(), 9 * sizeof(double)), 0);

    // A sensor that reports no serial number stores a null string: 96 bytes.
    const AlignmentProfile anonymous(4, QString(), Matrix::IdentityMatrix(3));
    QVERIFY(anonymous.write(path(QStringLiteral("anon.alg"))));
    QCOMPARE(QFileInfo(path(QStringLiteral("anon.alg"))).size(), qint64(96));
    QCOMPARE(loaded.read(path(QStringLiteral("anon.alg"))), AlignmentProfile::ReadResult::Ok);
    QVERIFY(loaded.serialNumber().isEmpty());
    QCOMPARE(loaded.sensorType(), 4);
}

void TestAlignmentProfile::damagedFilesAreParseErrors_data()
{
    QByteArray good;
    {
        const AlignmentProfile profile(7, QStringLiteral("SN123456"), sampleMatrix());
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("g.alg"));
        profile.write(file);
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        good = f.readAll();
    }
    QByteArray notThreeByThree = good.left(32);
    {
        QDataStream out(&notThreeByThree, QIODevice::Append);
        out << Matrix(1.0, 2, 2);
    }
    QByteArray strangeType = good;
    strangeType[11] = char(0x7f);

    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("wrong magic") << headerBytes(0x12345679, 0x01000002) + good.mid(8);
    QTest::newRow("wrong version") << headerBytes(0x12345678, 0x01000003) + good.mid(8);
    QTest::newRow("magic only") << good.left(4);
    QTest::newRow("ends in the serial") << good.left(20);
    QTest::newRow("ends in the matrix") << good.left(good.size() - 1);
    QTest::newRow("matrix is 2x2") << notThreeByThree;
    QTest::newRow("type outside the table") << strangeType;
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("NaN in the matrix") << withEntry(good, 4, std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("infinity in the matrix") << withEntry(good, 0, inf);
    QTest::newRow("minus infinity in the matrix") << withEntry(good, 8, -inf);
    QTest::newRow("1e308 in the matrix") << withEntry(good, 2, 1e308);
    QTest::newRow("just beyond the bound") << withEntry(good, 6, -1.0000001e6);
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

void TestAlignmentProfile::damagedMatricesAreNotWritten_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("beyond the bound") << 2e6;
}

void TestAlignmentProfile::damagedMatricesAreNotWritten()
{
    QFETCH(double, value);
    Matrix matrix = sampleMatrix();
    matrix(1, 1) = value;
    const QString file = path(QStringLiteral("made.alg"));
    QString reason;
    QVERIFY(!AlignmentProfile(7, QStringLiteral("SN1"), matrix).write(file, &reason));
    QVERIFY(!reason.isEmpty());
    QVERIFY(!QFile::exists(file));
}

void TestAlignmentProfile::damagedFilesAreParseErrors()
{
    QFETCH(QByteArray, bytes);
    QFile file(path(QStringLiteral("bad.alg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    AlignmentProfile profile(5, QStringLiteral("kept"), Matrix::IdentityMatrix(3) * 2.0);
    QCOMPARE(profile.read(file.fileName()), AlignmentProfile::ReadResult::ParseError);
    QCOMPARE(profile.serialNumber(), QStringLiteral("kept"));
    QVERIFY(profile.matrix() == Matrix::IdentityMatrix(3) * 2.0);
}

void TestAlignmentProfile::missingFilesAreQuiet()
{
    AlignmentProfile profile;
    QCOMPARE(profile.read(QString()), AlignmentProfile::ReadResult::CannotOpen);
    QCOMPARE(profile.read(path(QStringLiteral("nope.alg"))), AlignmentProfile::ReadResult::CannotOpen);
}

void TestAlignmentProfile::unwritableFileFails()
{
    const AlignmentProfile profile(7, QStringLiteral("x"), Matrix::IdentityMatrix(3));
    QString reason;
    QVERIFY(!profile.write(path(QStringLiteral("no/such/dir/p.alg")), &reason));
    QVERIFY(!reason.isEmpty());
}

QTEST_GUILESS_MAIN(TestAlignmentProfile)
#include "tst_alignmentprofile.moc"
