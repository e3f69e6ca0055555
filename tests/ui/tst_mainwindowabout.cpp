#include "application.h"
#include "mainwindow.h"
#include "recordingmessenger.h"
#include "sensorlibrary.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Help -> About names where the instrument libraries are. A library on the
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
    QTemporaryDir m_home;
};

namespace {

const char* const kMark = "LUMASERVE_MARK_LIBRARY_LOADED";
const QString kMarkDir = QStringLiteral(MARK_LIBRARY_DIR);

QAction* findAction(const QWidget& window, const QString& text)
{
    for (QAction* a : window.findChildren<QAction*>()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

} // namespace

void TestMainWindowAbout::initTestCase()
{
    QVERIFY(m_home.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.filePath(QStringLiteral("config")));
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
        << QStringLiteral("libmlink_i1d3") << m_home.filePath(QStringLiteral("told/") + i1d3);
    QTest::newRow("nowhere") << QStringLiteral("libmlink_ca410") << QStringLiteral("not found");
}

void TestMainWindowAbout::aboutLooksForLibrariesWithoutLoadingThem()
{
    QFETCH(QString, baseName);
    QFETCH(QString, location);

    const QString told = m_home.filePath(QStringLiteral("told"));
    QVERIFY(QDir().mkpath(told));
    QFile placeholder(QDir(told).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_i1d3"))));
    QVERIFY(placeholder.open(QIODevice::WriteOnly));
    placeholder.close();
    SensorLibrary::setExtraDirectories({told});

    RecordingMessenger messages;
    MainWindow window;
    findAction(window, QStringLiteral("&About"))->trigger();
    SensorLibrary::setExtraDirectories({});

    QCOMPARE(messages.shown().size(), 1);
    const QStringList lines = messages.shown().at(0).text.split(QLatin1Char('\n'));
    const QString expected = SensorLibrary::fileName(baseName) + QStringLiteral(": ") + location;
    QVERIFY2(!qEnvironmentVariableIsSet(kMark), "the About box loaded a library to name it");
    QVERIFY2(lines.contains(expected), qPrintable(messages.shown().at(0).text));
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

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestMainWindowAbout test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowabout.moc"
