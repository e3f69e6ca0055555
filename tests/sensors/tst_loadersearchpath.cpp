#include "loadersearchpath.h"
#include "sensorlibrary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The directories the system loader searches, read from the environment and
// the loader's configuration, and a library looked up there without loading it.
class TestLoaderSearchPath : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void configurationWithIncludes();
    void environmentComesFirst();
    void findTakesTheFirstReadableFile_data();
    void findTakesTheFirstReadableFile();
    void locateLooksInToldDirectoriesFirst();

private:
    QString dir(const QString& name) const;
    void writeFile(const QString& path, const QByteArray& content) const;

    std::unique_ptr<QTemporaryDir> m_root;
    QByteArray m_savedPath;
};

QString TestLoaderSearchPath::dir(const QString& name) const
{
    const QString path = m_root->filePath(name);
    QDir().mkpath(path);
    return path;
}

void TestLoaderSearchPath::writeFile(const QString& path, const QByteArray& content) const
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void TestLoaderSearchPath::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_savedPath = qgetenv("LD_LIBRARY_PATH");
}

void TestLoaderSearchPath::cleanup()
{
    qputenv("LD_LIBRARY_PATH", m_savedPath);
    SensorLibrary::setExtraDirectories({});
}

void TestLoaderSearchPath::configurationWithIncludes()
{
    const QString confDir = dir(QStringLiteral("etc/ld.so.conf.d"));
    const QString main = m_root->filePath(QStringLiteral("etc/ld.so.conf"));
    writeFile(main, "# the system's own\n/opt/first\ninclude ld.so.conf.d/*.conf\n/opt/last   # after\n\n");
    writeFile(QDir(confDir).filePath(QStringLiteral("b.conf")), "/opt/b1\n/opt/b2\n");
    // An include that leads back to where it came from is not followed again.
    writeFile(QDir(confDir).filePath(QStringLiteral("a.conf")), "include ../ld.so.conf\n/opt/a\n");
    writeFile(QDir(confDir).filePath(QStringLiteral("notes.txt")), "/opt/not-a-conf\n");

    QCOMPARE(LoaderSearchPath::configuredDirectories(main),
             (QStringList{"/opt/first", "/opt/a", "/opt/b1", "/opt/b2", "/opt/last"}));
    QVERIFY(LoaderSearchPath::configuredDirectories(m_root->filePath(QStringLiteral("missing"))).isEmpty());
}

void TestLoaderSearchPath::environmentComesFirst()
{
    qputenv("LD_LIBRARY_PATH", "/opt/one::/opt/two");
    const QStringList dirs = LoaderSearchPath::directories();
    QVERIFY(dirs.size() > 3);
    // An empty entry is the current directory to the loader.
    QCOMPARE(dirs.mid(0, 3), (QStringList{"/opt/one", ".", "/opt/two"}));
    QVERIFY(dirs.contains(QStringLiteral("/usr/lib")));
    for (const QString& configured : LoaderSearchPath::configuredDirectories(QStringLiteral("/etc/ld.so.conf")))
        QVERIFY2(dirs.indexOf(configured) > 2, qPrintable(configured));
}

void TestLoaderSearchPath::findTakesTheFirstReadableFile_data()
{
    QTest::addColumn<QStringList>("present");  // directories holding the file
    QTest::addColumn<QString>("folderIn");     // a directory of that name instead, or ""
    QTest::addColumn<QString>("expected");     // where it is found, or ""
    QTest::newRow("first directory wins") << QStringList{"a", "b"} << QString() << QStringLiteral("a");
    QTest::newRow("later directory") << QStringList{"b"} << QString() << QStringLiteral("b");
    QTest::newRow("a directory of that name is no library") << QStringList{"b"} << QStringLiteral("a")
                                                               << QStringLiteral("b");
    QTest::newRow("nowhere") << QStringList() << QString() << QString();
}

void TestLoaderSearchPath::findTakesTheFirstReadableFile()
{
    QFETCH(QStringList, present);
    QFETCH(QString, folderIn);
    QFETCH(QString, expected);
    const QString name = QStringLiteral("libmlink_nothere_%1.so").arg(QTest::currentDataTag()).replace(' ', '_');
    const QString a = dir(QStringLiteral("a"));
    const QString b = dir(QStringLiteral("b"));
    for (const QString& where : present)
        writeFile(QDir(m_root->filePath(where)).filePath(name), "not loaded");
    if (!folderIn.isEmpty())
        dir(folderIn + QLatin1Char('/') + name);
    qputenv("LD_LIBRARY_PATH", (a + QLatin1Char(':') + b).toLocal8Bit());

    const QString found = LoaderSearchPath::find(name);
    QCOMPARE(found, expected.isEmpty() ? QString() : QDir(m_root->filePath(expected)).filePath(name));
}

void TestLoaderSearchPath::locateLooksInToldDirectoriesFirst()
{
    const QString told = dir(QStringLiteral("told"));
    const QString system = dir(QStringLiteral("system"));
    const QString file = SensorLibrary::fileName(QStringLiteral("libmlink_locatetest"));
    writeFile(QDir(system).filePath(file), "not loaded");
    qputenv("LD_LIBRARY_PATH", system.toLocal8Bit());

    bool onSystemPath = false;
    QCOMPARE(SensorLibrary::locate(QStringLiteral("libmlink_locatetest"), &onSystemPath),
             QDir(system).filePath(file));
    QVERIFY(onSystemPath);

    writeFile(QDir(told).filePath(file), "not loaded");
    SensorLibrary::setExtraDirectories({told});
    QCOMPARE(SensorLibrary::locate(QStringLiteral("libmlink_locatetest"), &onSystemPath),
             QDir(told).filePath(file));
    QVERIFY(!onSystemPath);

    QVERIFY(SensorLibrary::locate(QStringLiteral("libmlink_nowhere_at_all"), &onSystemPath).isEmpty());
    QVERIFY(!onSystemPath);
}

QTEST_GUILESS_MAIN(TestLoaderSearchPath)
#include "tst_loadersearchpath.moc"
