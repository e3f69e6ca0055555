// Takes the pictures of the main window and its dialogs shown in the README:
//
//   lumaserve-screenshots OUTDIR [--certificate-only | --records-only]
//
// serves an emulated CR-250 and an emulated display on pseudo-terminals, picks
// them in the window as a user would, takes a reading, and writes
// OUTDIR/mainwindow-off.png and, with alignment on, OUTDIR/mainwindow-on.png;
// before that, OUTDIR/mainwindow-busy.png while the CR-250 is silent.
// Then the calibrate dialog after a computed matrix, the features dialog of the
// CR-250 and that of the stand-in i1Display Pro with a stored matrix read out,
// and the sensor matching dialog after a run of modelled instruments,
// in English (OUTDIR/<dialog>-en.png) and, with the program's and Qt's Chinese
// translations, in Chinese (OUTDIR/<dialog>-zh.png, and mainwindow-zh.png).
// The main window while the simulated display aligns itself, its chromaticity
// dock showing the readings sent so far (OUTDIR/mainwindow-aligning.png).
// The main window with its Records dock after a few displays of mixed verdicts
// (OUTDIR/records-dock.png): one the simulated display aligned itself, the
// others told to the recorder as the service would
// (lumaserve-screenshots OUTDIR --records-only takes this one alone).
// Last the sensor-matching certificate's page (OUTDIR/certificate.png), drawn
// as its PDF is, from a run made up here.
// Run it on the offscreen platform (QT_QPA_PLATFORM=offscreen); the Chinese
// pictures need a CJK font.

#include "alignmentwidget.h"
#include "application.h"
#include "calibratedialog.h"
#include "certificate.h"
#include "cmonitor.h"
#include "certificatepdf.h"
#include "colordockwidget.h"
#include "crxxxemulator.h"
#include "mainwindow.h"
#include "patchset.h"
#include "csensor.h"
#include "linerecorder.h"
#include "measure.h"
#include "monitoremulator.h"
#include "mlink_i1d3.h"
#include "portlister.h"
#include "recordsdock.h"
#include "sensordlg.h"
#include "sensormatchingdialog.h"
#include "sensorlibrary.h"
#include "sensortable.h"
#include "sessiontracker.h"
#include "screenpatchwatcher.h"
#include "simulatedstation.h"
#include "stationwindow.h"
#include "translation.h"
#include "walkthrough.h"

#include <QComboBox>
#include <QDir>
#include <QLibrary>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>

namespace {

bool choose(MainWindow& window, const char* comboName, const QString& entry)
{
    auto* combo = window.findChild<QComboBox*>(QString::fromLatin1(comboName));
    const int index = combo ? combo->findText(entry) : -1;
    if (index <= 0)
        return false;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    // The window refuses the next command for an instrument until it has answered.
    const Measure* measure = window.controller();
    return QTest::qWaitFor([measure] { return !measure->isInstrumentBusy(); }, 5000);
}

bool save(QWidget& window, const QDir& outDir, const QString& name)
{
    QTest::qWait(200); // let the layout settle before the picture
    const QString path = outDir.filePath(name);
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

// sRGB primaries and D65 white as a reference instrument might read them.
const double kReference[4][3] = {
    {41.24, 21.26, 1.93},
    {35.76, 71.52, 11.92},
    {18.05, 7.22, 95.05},
    {95.05, 100.0, 108.9},
};

void setCell(QTableWidget* table, int row, int col, double value)
{
    table->item(row, col)->setText(QString::number(value, 'f', 5));
}

// The calibrate dialog with the white patch shown and a matrix computed from a
// sensor that reads 3 % low in X and 2 % high in Z.
bool calibrateDialog(MainWindow& window, const QDir& outDir, const QString& suffix)
{
    CalibrateDialog dialog(window.controller(), &window);
    auto* sensorTable = dialog.findChild<QTableWidget*>(QStringLiteral("sensorTable"));
    auto* referenceTable = dialog.findChild<QTableWidget*>(QStringLiteral("referenceTable"));
    for (int r = 0; r < 4; ++r) {
        setCell(sensorTable, r, 0, kReference[r][0] * 0.97);
        setCell(sensorTable, r, 1, kReference[r][1]);
        setCell(sensorTable, r, 2, kReference[r][2] * 1.02);
        for (int c = 0; c < 3; ++c)
            setCell(referenceTable, r, c, kReference[r][c]);
    }
    dialog.findChild<QPushButton*>(QStringLiteral("calibrateButton"))->click();
    dialog.findChild<QRadioButton*>(QStringLiteral("whiteButton"))->click();
    dialog.show();
    return save(dialog, outDir, QStringLiteral("calibratedialog-%1.png").arg(suffix));
}

bool sensorDialog(CSensor* sensor, Measure* controller, const QDir& outDir, const QString& name)
{
    SensorDlg dialog(sensor, controller);
    dialog.show();
    return save(dialog, outDir, name);
}

// The stand-in i1Display Pro with one matrix stored, listed and read out.
bool i1d3Dialog(Measure* controller, const QDir& outDir, const QString& suffix)
{
    QLibrary standin(QDir(QStringLiteral(I1D3_STANDIN_DIR))
                         .filePath(SensorLibrary::fileName(QStringLiteral("libmlink_i1d3"))));
    using Control = int32_t (*)(i1d3_sim_request*);
    const auto control = reinterpret_cast<Control>(standin.resolve("i1d3SimControl"));
    if (!control)
        return fail("no stand-in i1Display Pro library");
    i1d3_sim_request request = {};
    request.op = I1D3_SIM_RESET;
    control(&request);
    request = {};
    request.op = I1D3_SIM_STORE;
    request.value = 3;
    qstrncpy(request.name, "OLED panel", sizeof(request.name));
    const double stored[9] = {1.0213, -0.0118, 0.0042, 0.0087, 0.9931, -0.0025, -0.0016, 0.0104, 1.0378};
    std::copy(std::begin(stored), std::end(stored), std::begin(request.data));
    control(&request);

    SensorLibrary::setExtraDirectories({QStringLiteral(I1D3_STANDIN_DIR)});
    const std::unique_ptr<CSensor> sensor(SensorTable::createForWindow(4));
    if (!sensor || !sensor->init(QString()))
        return fail("the stand-in i1Display Pro did not open");
    SensorDlg dialog(sensor.get(), controller);
    // Each answered before the next: the dialog's buttons wait for the instrument.
    for (const char* name : {"scanButton", "readButton"}) {
        dialog.findChild<QPushButton*>(QString::fromLatin1(name))->click();
        if (!QTest::qWaitFor([controller] { return !controller->isInstrumentBusy(); }, 5000))
            return fail("the stand-in i1Display Pro did not answer");
    }
    dialog.show();
    const bool saved = save(dialog, outDir, QStringLiteral("sensordlg-i1d3-%1.png").arg(suffix));
    sensor->release();
    SensorLibrary::setExtraDirectories({});
    return saved;
}

// A display with sRGB primaries and a 160 cd/m² white, read by a reference and
// by a colorimeter a few per cent off with some crosstalk, whatever patch the
// operator prompt last asked for.
class ModelInstrument final : public MatchingInstrument
{
public:
    using Response = std::array<RepeatStatistics::Xyz, 3>;
    struct Screen {
        std::mutex mutex;
        std::array<int, 3> rgb{};
    };

    ModelInstrument(Screen& screen, Response response, std::array<double, 3> gamma, int type, QString serial)
        : m_screen(screen), m_response(response), m_gamma(gamma), m_type(type), m_serial(std::move(serial))
    {
    }
    bool open(QString*) override { return true; }
    void close() override {}
    RepeatStatistics::Xyz read() override
    {
        std::lock_guard<std::mutex> lock(m_screen.mutex);
        RepeatStatistics::Xyz xyz{};
        for (size_t p = 0; p < 3; ++p) {
            // Each instrument sees the channels' response a little differently,
            // so the corrections differ on the validation patches.
            const double level = std::pow(m_screen.rgb[p] / 255.0, m_gamma[p]);
            for (size_t c = 0; c < 3; ++c)
                xyz[c] += m_response[p][c] * level;
        }
        return xyz;
    }
    void cancel() override {}
    void resume() override {}
    MatchingSession::Instrument identity() const override
    {
        MatchingSession::Instrument id;
        id.typeName = QString::fromLatin1(SensorTable::row(m_type).name);
        id.typeNumber = m_type;
        id.serialNumber = m_serial;
        return id;
    }

private:
    Screen& m_screen;
    const Response m_response;
    const std::array<double, 3> m_gamma;
    const int m_type;
    const QString m_serial;
};

// The sensor matching dialog after a run of the standard patches, the
// operator putting each one up.
bool sensorMatchingDialog(Measure* controller, const QDir& outDir, const QString& suffix)
{
    QTemporaryDir work;
    // Two ports of their own, neither the window's sensor's nor the display's.
    const QStringList portsBefore = PortLister::extraPorts();
    PortLister::setExtraPorts(portsBefore + QStringList{QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")});
    ModelInstrument::Screen screen;
    const ModelInstrument::Response reference = {{{65.98, 34.02, 3.09}, {57.22, 114.43, 19.07}, {28.88, 11.55, 152.08}}};
    const ModelInstrument::Response sensor = {{{63.1, 35.4, 3.6}, {58.9, 110.8, 20.2}, {28.1, 12.3, 158.7}}};
    SensorMatchingDialog dialog(controller);
    PortLister::setExtraPorts(portsBefore);
    dialog.setInstrumentFactory([&](int type, QString) -> std::unique_ptr<MatchingInstrument> {
        const bool isReference = type == 10;
        return std::make_unique<ModelInstrument>(screen, isReference ? reference : sensor,
                                                 isReference ? std::array<double, 3>{{2.2, 2.2, 2.2}}
                                                             : std::array<double, 3>{{2.195, 2.21, 2.2}},
                                                 type,
                                                 isReference ? QStringLiteral("20001234") : QStringLiteral("A10-5531"));
    });
    const auto choose = [&dialog](const char* name, const QVariant& value, bool byData) {
        auto* combo = dialog.findChild<QComboBox*>(QString::fromLatin1(name));
        const int index = !combo ? -1 : byData ? combo->findData(value) : combo->findText(value.toString());
        if (index >= 0)
            combo->setCurrentIndex(index);
        return index >= 0;
    };
    if (!choose("sensorTypeCombo", QStringLiteral("CA410"), false)
        || !choose("referenceTypeCombo", QStringLiteral("CS-2000"), false)
        || !choose("sensorPortCombo", QStringLiteral("ttyUSB0"), false)
        || !choose("referencePortCombo", QStringLiteral("ttyUSB1"), false)
        || !choose("sourceCombo", int(SensorMatchingDialog::PatchSourceKind::Operator), true))
        return fail("cannot set up the sensor matching dialog");
    dialog.findChild<QLineEdit*>(QStringLiteral("outputEdit"))->setText(work.path());
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
    static const QRegularExpression levels(QStringLiteral("\\((\\d+), (\\d+), (\\d+)\\)"));
    while (dialog.isRunning()) {
        QMessageBox* box = nullptr;
        if (!QTest::qWaitFor([&] {
                box = dialog.findChild<QMessageBox*>(QStringLiteral("patchPrompt"));
                return (box && box->isVisible()) || !dialog.isRunning();
            }, 5000))
            return fail("the sensor matching dialog asked for no patch");
        if (!dialog.isRunning())
            break;
        const QRegularExpressionMatch match = levels.match(box->text());
        {
            std::lock_guard<std::mutex> lock(screen.mutex);
            screen.rgb = {match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()};
        }
        const QPointer<QMessageBox> answered = box;
        box->button(QMessageBox::Ok)->click();
        if (!QTest::qWaitFor([&] { return !answered || !answered->isVisible(); }, 5000))
            return fail("the patch prompt stayed up");
    }
    if (!QTest::qWaitFor([&] { return !dialog.isRunning(); }, 5000))
        return fail("the sensor matching run did not end");
    return save(dialog, outDir, QStringLiteral("sensormatching-%1.png").arg(suffix));
}

// The window with the emulated CR-250 connected, and its dialogs.
bool dialogs(MainWindow& window, const QDir& outDir, const QString& suffix)
{
    return calibrateDialog(window, outDir, suffix)
        && sensorDialog(window.controller()->currentSensor(), window.controller(), outDir,
                        QStringLiteral("sensordlg-cr250-%1.png").arg(suffix))
        && i1d3Dialog(window.controller(), outDir, suffix)
        && sensorMatchingDialog(window.controller(), outDir, suffix);
}

bool chinese(const QDir& outDir)
{
    // Qt's own texts as well, as the program loads both on a Chinese system.
    QTranslator qtTranslator;
    if (!installQtTranslation(*QCoreApplication::instance(), QLocale(QLocale::Chinese, QLocale::China),
                              qtTranslator))
        return fail("no Chinese translation of Qt (Debian: qttranslations5-l10n)");
    QTranslator translator;
    if (!installTranslation(*QCoreApplication::instance(), QLocale(QLocale::Chinese, QLocale::China),
                            translator, QStringLiteral(PROGRAM_DIR)))
        return fail("no Chinese translation beside the program");
    CrxxxEmulator instrument(CrxxxEmulator::cr250());
    if (!instrument.start())
        return fail("no pseudo-terminal for the emulated CR-250");
    const QString instrumentPort = QString::fromStdString(instrument.portName());
    PortLister::setExtraPorts({instrumentPort});

    MainWindow window;
    window.controller()->setSensorFactory(&SensorTable::createForWindow);
    window.show();
    if (!choose(window, "typeCombo", QStringLiteral("CR100/CR250")) || !choose(window, "sensorPortCombo", instrumentPort))
        return fail("cannot pick the emulated CR-250");
    window.doSingleMeasure();
    if (!QTest::qWaitFor([&] { return !window.valueWindow()->valueText(1).isEmpty(); }, 5000))
        return fail("no reading from the emulated CR-250");
    const bool ok = save(window, outDir, QStringLiteral("mainwindow-zh.png")) && dialogs(window, outDir, QStringLiteral("zh"));
    QCoreApplication::removeTranslator(&translator);
    QCoreApplication::removeTranslator(&qtTranslator);
    return ok;
}

// The window while the CR-250 keeps quiet about its identity: what it waits
// for, the busy bar and Cancel in the status bar. Cancelled after the picture.
bool busyWindow(MainWindow& window, CrxxxEmulator& instrument, const QString& instrumentPort, const QDir& outDir)
{
    if (!choose(window, "typeCombo", QStringLiteral("CR100/CR250")))
        return fail("cannot pick the CR-250's type");
    instrument.setFault("RC ID", CrxxxEmulator::Fault::Silence);
    auto* ports = window.findChild<QComboBox*>(QStringLiteral("sensorPortCombo"));
    const int index = ports ? ports->findText(instrumentPort) : -1;
    if (index <= 0)
        return fail("the CR-250's port is not offered");
    ports->setCurrentIndex(index);
    emit ports->activated(index);
    Measure* measure = window.controller();
    // Until the silent identity query has been sent, so that the picture shows a wait in progress.
    if (!QTest::qWaitFor([&] { return measure->isInstrumentBusy() && instrument.hasReceived("RC ID"); }, 5000))
        return fail("the window did not wait for the CR-250");
    const bool saved = save(window, outDir, QStringLiteral("mainwindow-busy.png"));
    measure->cancelInstrumentRequest();
    instrument.clearFaults();
    if (!QTest::qWaitFor([measure] { return !measure->isInstrumentBusy(); }, 5000))
        return fail("the cancelled connect did not end");
    return saved;
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
    window.controller()->setSensorFactory(&SensorTable::createForWindow);
    window.show();
    if (!busyWindow(window, instrument, instrumentPort, outDir))
        return false;
    if (!choose(window, "sensorPortCombo", instrumentPort) || !choose(window, "monitorPortCombo", displayPort))
        return fail("cannot pick the emulated devices");

    window.doSingleMeasure();
    if (!QTest::qWaitFor([&] { return !window.valueWindow()->valueText(1).isEmpty(); }, 5000))
        return fail("no reading from the emulated CR-250");
    if (!save(window, outDir, QStringLiteral("mainwindow-off.png")))
        return false;

    window.doAlignment();
    if (!QTest::qWaitFor([&] { return window.controller()->isServingAlignment(); }, 5000))
        return fail("the alignment service did not start");
    if (!save(window, outDir, QStringLiteral("mainwindow-on.png")))
        return false;

    // Off again without the question box, so the window may close.
    window.controller()->doAlignment();
    if (!QTest::qWaitFor([&] { return !window.controller()->isAlignmentBusy(); }, 5000))
        return fail("the alignment service did not stop");
    return dialogs(window, outDir, QStringLiteral("en"));
}

} // namespace

// Runs shoot with a simulated station started from a scratch working
// directory, the CA-410 library found beside the build, and puts both back.
bool withStation(const std::function<bool(SimulatedStation&)>& shoot)
{
    const QStringList directoriesBefore = SensorLibrary::extraDirectories();
    SensorLibrary::setExtraDirectories({QStringLiteral(CA410_LIBRARY_DIR)});
    QTemporaryDir workDir;
    const QString startDir = QDir::currentPath();
    QDir::setCurrent(workDir.path());
    bool ok = false;
    {
        SimulatedStation station(QStringLiteral(I1D3_STANDIN_DIR));
        QString error;
        if (station.start(&error))
            ok = shoot(station);
        else
            fail(qPrintable(error));
    }
    QDir::setCurrent(startDir);
    SensorLibrary::setExtraDirectories(directoriesBefore);
    return ok;
}

// The "Simulated station" window beside the main window, after the display
// aligned itself twice: with the CA410 uncorrected, then calibrated.
bool stationBesideWindow(const QDir& outDir)
{
    return withStation([&](SimulatedStation& station) {
        bool ok = false;
        ScreenPatchWatcher watcher(station.world());
        StationWindow stationWindow(station);
        stationWindow.show();
        Walkthrough walkthrough(station);
        walkthrough.setStationWindow(&stationWindow);
        ok = walkthrough.openWindow() && walkthrough.connectInstruments(SimulatedWorld::Instrument::CA410)
             && walkthrough.alignDisplay(nullptr) && walkthrough.calibrate() && walkthrough.alignDisplay(nullptr)
             && walkthrough.takeReading();
        if (!ok) {
            fail(qPrintable(walkthrough.failure()));
        } else {
            QTest::qWait(400); // the station's reference reading refreshes
            const QPixmap main = walkthrough.window()->grab();
            const QPixmap side = stationWindow.grab();
            const int gap = 16;
            QPixmap both(main.width() + gap + side.width(), qMax(main.height(), side.height()));
            both.fill(QColor(0x4a, 0x52, 0x5e));
            QPainter painter(&both);
            painter.drawPixmap(0, 0, main);
            painter.drawPixmap(main.width() + gap, 0, side);
            painter.end();
            const QString path = outDir.filePath(QStringLiteral("station-beside-mainwindow.png"));
            ok = both.save(path, "PNG");
            if (ok)
                std::printf("%s\n", qPrintable(path));
            else
                fail(qPrintable(QStringLiteral("cannot write the station picture (%1 x %2 beside %3 x %4)")
                                    .arg(main.width())
                                    .arg(main.height())
                                    .arg(side.width())
                                    .arg(side.height())));
        }
        return ok;
    });
}

// The main window while the simulated display aligns itself with an
// uncorrected CA410: the "Chromaticity" dock's trail is what the service has
// sent the display so far, converging on the white the sensor takes for D65.
bool dockDuringAlignment(const QDir& outDir)
{
    return withStation([&](SimulatedStation& station) {
        Walkthrough walkthrough(station);
        bool ok = walkthrough.openWindow() && walkthrough.connectInstruments(SimulatedWorld::Instrument::CA410);
        MainWindow* window = walkthrough.window();
        AligningFirmware& firmware = station.firmware();
        if (!ok) {
            fail(qPrintable(walkthrough.failure()));
        } else {
            window->resize(1100, 560);
            window->controller()->doAlignment();
            ok = QTest::qWaitFor([&] { return window->controller()->isServingAlignment(); }, 5000)
                 && firmware.startAlignment()
                 // Most of the way: the primaries read and the white on its way in.
                 && QTest::qWaitFor([&] {
                        const AligningFirmware::Progress p = firmware.progress();
                        return !p.running || (p.steps > 0 && p.step >= p.steps - 2);
                    }, 60000);
            ok = ok && save(*window, outDir, QStringLiteral("mainwindow-aligning.png"));
            if (!ok)
                fail("the display did not align");
            if (!QTest::qWaitFor([&] { return !firmware.isAligning(); }, 60000))
                firmware.cancelAlignment();
            window->controller()->doAlignment();
            ok = QTest::qWaitFor([&] { return !window->controller()->isAlignmentBusy(); }, 5000) && ok;
        }
        return ok;
    });
}

CColor fromXy(double x, double y, double luminance)
{
    return CColor(luminance * x / y, luminance, luminance * (1.0 - x - y) / y);
}

// One display's requests as the service hands them to the recorder: the
// primaries, the white a few times on its way to where it ends, and the end,
// or a hang-up before it for one that never finished.
void tellSession(LineRecorder& recorder, const QString& unit, double whiteX, double whiteY, bool finished)
{
    SessionTracker* tracker = recorder.tracker();
    recorder.setUnit(unit);
    const QString ok = QStringLiteral("OK");
    tracker->takeRequest(CMonitor::StartMeasure, ok, CColor(), CColor());
    const CColor primaries[3]
        = {fromXy(0.6402, 0.3298, 38.4), fromXy(0.3001, 0.6003, 128.6), fromXy(0.1502, 0.0601, 13.1)};
    for (const CColor& primary : primaries)
        tracker->takeRequest(CMonitor::SendValue, ok, primary, primary);
    const int whites = finished ? 4 : 2;
    for (int i = 1; i <= whites; ++i) {
        // From a bluish white at the start towards where this display ends.
        const double share = double(i) / whites;
        const CColor white
            = fromXy(0.3050 + share * (whiteX - 0.3050), 0.3180 + share * (whiteY - 0.3180), 186.0 - 3.0 * i);
        tracker->takeRequest(CMonitor::SendValue, ok, white, white);
    }
    if (finished)
        tracker->takeRequest(CMonitor::StopMeasure, ok, CColor(), CColor());
    else
        tracker->takeHangUp();
}

// The main window keeping records on the simulated station: the display
// aligns itself once through the window's own service, its unit scanned into
// the Unit field, then more displays are told to the recorder.
bool recordsDockPicture(const QDir& outDir)
{
    return withStation([&](SimulatedStation& station) {
        Walkthrough walkthrough(station);
        if (!walkthrough.openWindow() || !walkthrough.connectInstruments(SimulatedWorld::Instrument::CA410))
            return fail(qPrintable(walkthrough.failure()));
        MainWindow* window = walkthrough.window();
        LineRecorder::Settings settings;
        // The station's own file in the working directory, as the program's default.
        settings.location = RecordLocation::sqlite(RecordLocation::defaultFileName());
        settings.station = QStringLiteral("line2-st04");
        LineRecorder recorder(*window->controller(), settings);
        QString error;
        if (!recorder.start(&error))
            return fail(qPrintable(error));
        window->setLineRecorder(&recorder);
        window->resize(1180, 980);
        window->resizeDocks({window->recordsWindow()}, {360}, Qt::Vertical);
        QSignalSpy stored(&recorder, &LineRecorder::sessionStored);

        auto* unitEdit = window->findChild<QLineEdit*>(QStringLiteral("unitEdit"));
        if (!unitEdit)
            return fail("no Unit field");
        QTest::keyClicks(unitEdit, QStringLiteral("DSP-2612-0417"));
        QTest::keyClick(unitEdit, Qt::Key_Return);
        if (!walkthrough.alignDisplay(nullptr))
            return fail(qPrintable(walkthrough.failure()));
        if (!QTest::qWaitFor([&] { return stored.count() >= 1; }, 5000))
            return fail("the display's own alignment was not recorded");
        const SessionRecord aligned = stored.at(0).at(0).value<SessionRecord>();
        std::printf("recorded the simulated display's alignment: unit %s, %s %s, %d requests, white %.4f %.4f, %s\n",
                    qPrintable(aligned.unit), qPrintable(aligned.sensorType), qPrintable(aligned.sensorSerial),
                    aligned.readingCount, aligned.white ? aligned.white->x : 0.0,
                    aligned.white ? aligned.white->y : 0.0, qPrintable(aligned.verdict));

        tellSession(recorder, QStringLiteral("DSP-2612-0418"), 0.3129, 0.3288, true);
        tellSession(recorder, QStringLiteral("DSP-2612-0419"), 0.3166, 0.3341, true);
        tellSession(recorder, QStringLiteral("DSP-2612-0420"), 0.3120, 0.3279, false);
        tellSession(recorder, QStringLiteral("DSP-2612-0421"), 0.3125, 0.3293, true);
        if (!QTest::qWaitFor([&] { return stored.count() >= 5; }, 5000))
            return fail("the sessions told were not recorded");
        // One in progress, its unit scanned while it runs.
        recorder.tracker()->takeRequest(CMonitor::StartMeasure, QStringLiteral("OK"), CColor(), CColor());
        QTest::keyClicks(unitEdit, QStringLiteral("DSP-2612-0422"));
        QTest::keyClick(unitEdit, Qt::Key_Return);
        RecordsDock* dock = window->recordsWindow();
        if (!QTest::qWaitFor([&] { return dock->table()->rowCount() == 6; }, 5000))
            return fail("the Records dock did not show the sessions");
        return save(*window, outDir, QStringLiteral("records-dock.png"));
    });
}

// The certificate of a matching run on an sRGB display with a 120 cd/m² white:
// the default patches, a sensor whose filters mix the channels, each reading
// a little off in a way that repeats from run to run.
bool certificatePage(const QDir& outDir)
{
    const double primaries[3][3] = {{49.49, 25.51, 2.32}, {42.91, 85.82, 14.30}, {21.66, 8.66, 114.06}};
    const Matrix3x3 error{{{{1.028, 0.031, -0.015}}, {{-0.021, 0.981, 0.012}}, {{0.009, -0.026, 1.071}}}};
    const auto linear = [](int level) {
        const double v = level / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    std::vector<MatchingSample> samples;
    int k = 0;
    const PatchSet set = PatchSet::defaultSet();
    for (const MatchingPatch& patch : set.patches()) {
        MatchingSample s;
        s.name = patch.name;
        s.training = patch.training;
        const double drive[3] = {linear(patch.r), linear(patch.g), linear(patch.b)};
        for (int c = 0; c < 3; ++c)
            s.reference[c] = drive[0] * primaries[0][c] + drive[1] * primaries[1][c] + drive[2] * primaries[2][c];
        s.sensor = CorrectionMethod::apply(error, s.reference);
        ++k;
        for (int c = 0; c < 3; ++c)
            s.sensor[c] *= 1.0 + 0.0025 * std::sin(1.7 * k + 2.3 * c);
        samples.push_back(s);
    }
    const auto methods = Certificate::standardMethods();
    std::vector<const CorrectionMethod*> used;
    for (const auto& m : methods)
        used.push_back(m.get());
    Certificate certificate;
    QString why;
    if (!certificate.compute(samples, used, Certificate::kDefaultTolerance, &why))
        return fail(qPrintable(why));
    CertificatePdf::Heading heading;
    heading.sensor = {QStringLiteral("i1Display Pro"), 4, QStringLiteral("D3P-104117"), QString()};
    heading.reference = {QStringLiteral("CS-2000"), 9, QStringLiteral("20931027"), QString()};
    heading.date = QDateTime(QDate(2026, 12, 8), QTime(2, 41), Qt::UTC);

    // 150 dots per inch.
    const QSize size = (CertificatePdf::pageSize() * (150.0 / 72.0)).toSize();
    QImage page(size, QImage::Format_RGB32);
    page.setDotsPerMeterX(int(std::lround(150.0 / 0.0254)));
    page.setDotsPerMeterY(int(std::lround(150.0 / 0.0254)));
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        CertificatePdf::paint(painter, QRectF(QPointF(0, 0), QSizeF(size)), certificate, heading);
    }
    const QString path = outDir.filePath(QStringLiteral("certificate.png"));
    if (!page.save(path, "PNG"))
        return fail("cannot write the certificate's picture");
    std::printf("%s\n", qPrintable(path));
    return true;
}

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    const bool only
        = argc == 3 && (qstrcmp(argv[2], "--certificate-only") == 0 || qstrcmp(argv[2], "--records-only") == 0);
    if (argc != 2 && !only) {
        std::fputs("usage: lumaserve-screenshots OUTDIR [--certificate-only | --records-only]\n", stderr);
        return 2;
    }
    // Absolute, as the station's picture is taken from a working folder of its own.
    const QDir outDir(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
    if (!QDir().mkpath(outDir.path()))
        return 1;
    if (argc == 3 && qstrcmp(argv[2], "--certificate-only") == 0)
        return certificatePage(outDir) ? 0 : 1;
    if (argc == 3 && qstrcmp(argv[2], "--records-only") == 0)
        return recordsDockPicture(outDir) ? 0 : 1;
    return run(outDir) && stationBesideWindow(outDir) && dockDuringAlignment(outDir) && recordsDockPicture(outDir)
            && chinese(outDir) && certificatePage(outDir)
        ? 0
        : 1;
}
