// Takes the pictures of the main window shown in the README:
//
//   lumaserve-screenshots OUTDIR
//
// serves an emulated CR-250 and an emulated display on pseudo-terminals, picks
// them in the window as a user would, takes a reading, and writes
// OUTDIR/mainwindow-off.png and, with alignment on, OUTDIR/mainwindow-on.png.
// Run it on the offscreen platform (QT_QPA_PLATFORM=offscreen).

#include "alignmentwidget.h"
#include "application.h"
#include "colordockwidget.h"
#include "crxxxemulator.h"
#include "mainwindow.h"
#include "measure.h"
#include "monitoremulator.h"
#include "portlister.h"

#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QTest>

#include <cstdio>

namespace {

bool choose(MainWindow& window, const char* comboName, const QString& entry)
{
    auto* combo = window.findChild<QComboBox*>(QString::fromLatin1(comboName));
    const int index = combo ? combo->findText(entry) : -1;
    if (index <= 0)
        return false;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
}

bool save(MainWindow& window, const QDir& outDir, const char* name)
{
    QTest::qWait(200); // let the layout settle before the picture
    const QString path = outDir.filePath(QString::fromLatin1(name));
    if (!window.grab().save(path, "PNG")) {
        std::fprintf(stderr, "lumaserve-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool fail(const char* what)
{
    std::fprintf(stderr, "lumaserve-screenshots: %s\n", what);
    return false;
}

bool run(const QDir& outDir)
{
    CrxxxEmulator instrument(CrxxxEmulator::cr250());
    MonitorEmulator display;
    if (!instrument.start() || !display.start())
        return fail("no pseudo-terminal for the emulated devices");
    const QString instrumentPort = QString::fromStdString(instrument.portName());
    const QString displayPort = QString::fromStdString(display.portName());
    PortLister::setExtraPorts({instrumentPort, displayPort});

    MainWindow window;
    window.show();
    if (!choose(window, "typeCombo", QStringLiteral("CR100/CR250")) ||
        !choose(window, "sensorPortCombo", instrumentPort) || !choose(window, "monitorPortCombo", displayPort))
        return fail("cannot pick the emulated devices");

    window.doSingleMeasure();
    if (!QTest::qWaitFor([&] { return !window.valueWindow()->valueText(1).isEmpty(); }, 5000))
        return fail("no reading from the emulated CR-250");
    if (!save(window, outDir, "mainwindow-off.png"))
        return false;

    window.doAlignment();
    if (!QTest::qWaitFor([&] { return window.controller()->isServingAlignment(); }, 5000))
        return fail("the alignment service did not start");
    if (!save(window, outDir, "mainwindow-on.png"))
        return false;

    // Off again without the question box, so the window may close.
    window.controller()->doAlignment();
    if (!QTest::qWaitFor([&] { return !window.controller()->isAlignmentBusy(); }, 5000))
        return fail("the alignment service did not stop");
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: lumaserve-screenshots OUTDIR\n", stderr);
        return 2;
    }
    const QDir outDir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(outDir.path()))
        return 1;
    return run(outDir) ? 0 : 1;
}
