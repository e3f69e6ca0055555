#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The spectra picture program as a user runs it: its command line, its exit
// codes and the file it leaves.
class TestSpectra : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void writesThePicture();

private:
    QTemporaryDir dir;
};

namespace {

struct Run {
    int code = -1;
    QString out;
    QString err;
};

Run run(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(LUMASERVE_SPECTRA), arguments);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.code = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

} // namespace

void TestSpectra::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.png")));
}

void TestSpectra::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("outContains");
    QTest::addColumn<QString>("errContains");
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("Exit status:")
                          << QString();
    QTest::newRow("no file") << QStringList{} << 2 << QString() << QStringLiteral("no FILE given");
    QTest::newRow("two files") << QStringList{QStringLiteral("a.png"), QStringLiteral("b.png")} << 2 << QString()
                               << QStringLiteral("one FILE only");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--width=3"), QStringLiteral("a.png")} << 2
                                    << QString() << QStringLiteral("width");
    // A directory stands where the picture should go.
    const QString taken = dir.filePath(QStringLiteral("taken.png"));
    QTest::newRow("unwritable") << QStringList{taken} << 1 << QString() << QStringLiteral("cannot write %1").arg(taken);
}

void TestSpectra::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, outContains);
    QFETCH(QString, errContains);
    const Run result = run(arguments);
    QCOMPARE(result.code, code);
    if (!outContains.isEmpty())
        QVERIFY2(result.out.contains(outContains), qPrintable(result.out));
    if (!errContains.isEmpty())
        QVERIFY2(result.err.contains(errContains), qPrintable(result.err));
    // Only a successful run writes to standard output; errors go to standard error.
    if (code != 0)
        QVERIFY2(result.out.isEmpty(), qPrintable(result.out));
    // Nothing is left behind where an error stopped the program.
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

void TestSpectra::writesThePicture()
{
    const QString file = dir.filePath(QStringLiteral("spectra.png"));
    const Run result = run({file});
    QCOMPARE(result.code, 0);
    QImage image;
    QVERIFY(image.load(file, "PNG"));
    QVERIFY(image.width() > 1000 && image.height() > 600);
    QVERIFY(QFile::remove(file));
}

QTEST_GUILESS_MAIN(TestSpectra)

#include "tst_spectra.moc"
