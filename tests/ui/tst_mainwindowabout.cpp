#include "sensorlibrary.h"
#include "uitest.h"
#include "windowprobe.h"

#include <QLibrary>

// Help -> About names the program, its version, its settings file and where
// the instrument libraries are. A library on the
// system loader's search path is only looked for: loading it would run its
// initialisers. The test runs with a library on that path whose initialiser
// leaves a mark in the environment.
class TestMainWindowAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aboutLooksForLibrariesWithoutLoadingThem_data();
    void aboutLooksForLibrariesWithoutLoadingThem();
    // Last: it loads the library, which is what the About box must not do.
    void theMarkingLibraryMarksWhenLoaded();

private:
    ScratchHome m_home;
};

namespace {

const char* const kMark = "LUMASERVE_MARK_LIBRARY_LOADED";
const QString kMarkDir = QStringLiteral(MARK_LIBRARY_DIR);

} // namespace

void TestMainWindowAbout::initTestCase()
{
    m_home.setUp();
    // Without it the loader would not find the library, and the test would pass
    // whatever the About box does.
    QVERIFY2(qEnvironmentVariable("LD_LIBRARY_PATH").split(QLatin1Char(':')).contains(kMarkDir),
             "run through ctest, which puts the marking library on the loader's path");
    QVERIFY(QFile::exists(QDir(kMarkDir).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_k10")))));
    QVERIFY(!qEnvironmentVariableIsSet(kMark));
}

void TestMainWindowAbout::aboutLooksForLibrariesWithoutLoadingThem_data()
{
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QString>("location");

    const QString k10 = SensorLibrary::fileName(QStringLiteral("libmlink_k10"));
    const QString i1d3 = SensorLibrary::fileName(QStringLiteral("libmlink_i1d3"));
    QTest::newRow("on the loader's path")
        << QStringLiteral("libmlink_k10")
        << QStringLiteral("%1 (on the system's library path)").arg(QDir(kMarkDir).filePath(k10));
    QTest::newRow("where the program was told to look")
        << QStringLiteral("libmlink_i1d3") << m_home.dir.filePath(QStringLiteral("told/") + i1d3);
    QTest::newRow("nowhere") << QStringLiteral("libmlink_ca410") << QStringLiteral("not found");
}

void TestMainWindowAbout::aboutLooksForLibrariesWithoutLoadingThem()
{
    QFETCH(QString, baseName);
    QFETCH(QString, location);

    const QString told = m_home.dir.filePath(QStringLiteral("told"));
    QVERIFY(QDir().mkpath(told));
    QFile placeholder(QDir(told).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_i1d3"))));
    QVERIFY(placeholder.open(QIODevice::WriteOnly));
    placeholder.close();
    SensorLibrary::setExtraDirectories({told});

    WindowProbe probe;
    probe.window = std::make_unique<MainWindow>();
    probe.action(QStringLiteral("&About"))->trigger();
    SensorLibrary::setExtraDirectories({});

    QCOMPARE(probe.messages.shown().size(), 1);
    const auto& about = probe.messages.shown().at(0);
    QCOMPARE(about.title, QStringLiteral("Huelink Trimline"));
    const QStringList lines = about.text.split(QLatin1Char('\n'));
    const QString expected = SensorLibrary::fileName(baseName) + QStringLiteral(": ") + location;
    QVERIFY2(!qEnvironmentVariableIsSet(kMark), "the About box loaded a library to name it");
    QVERIFY2(lines.contains(expected), qPrintable(about.text));
    QVERIFY2(about.text.contains(QString::fromLatin1(qVersion())), qPrintable(about.text));
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"),
                             QStringLiteral("Brightfold-alignment"));
    QVERIFY2(settings.fileName().startsWith(m_home.dir.path()), qPrintable(settings.fileName()));
    QVERIFY2(about.text.contains(settings.fileName()), qPrintable(about.text));
}

void TestMainWindowAbout::theMarkingLibraryMarksWhenLoaded()
{
    // What the loader finds by the bare name is the marking library, and loading
    // it leaves the mark the About test looks for.
    QLibrary library(SensorLibrary::fileName(QStringLiteral("libmlink_k10")));
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    QVERIFY(library.resolve("markonloadPresent"));
    QVERIFY(qEnvironmentVariableIsSet(kMark));
    library.unload();
}

LUMASERVE_UI_TEST_MAIN(TestMainWindowAbout)

#include "tst_mainwindowabout.moc"
