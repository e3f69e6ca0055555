#include "walkthrough.h"

#include "aligningfirmware.h"
#include "alignmentwidget.h"
#include "csensor.h"
#include "mainwindow.h"
#include "measure.h"
#include "screenpatchwatcher.h"
#include "sensortable.h"
#include "simulatedstation.h"
#include "stationwindow.h"
#include "walkthroughanswers.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>

#include <cmath>

namespace {

using Instrument = SimulatedWorld::Instrument;

constexpr int kConnectTimeoutMs = 20000;
constexpr int kReadingTimeoutMs = 20000;
constexpr int kPatchSeenTimeoutMs = 5000;
constexpr int kStateTimeoutMs = 10000;
constexpr int kPollMs = 20;

QString fixed(double value, int decimals = 4)
{
    return QString::number(value, 'f', decimals);
}

QString xyzText(const CColor& c)
{
    return QStringLiteral("X %1  Y %2  Z %3").arg(fixed(c[0]), fixed(c[1]), fixed(c[2]));
}

QString matrixRows(const Matrix& m)
{
    QStringList rows;
    for (int r = 0; r < 3; ++r)
        rows << QStringLiteral("[%1 %2 %3]").arg(fixed(m(r, 0), 5), fixed(m(r, 1), 5), fixed(m(r, 2), 5));
    return rows.join(QLatin1Char(' '));
}


// A left click on the widget as the window system hands it over: to the
// widget's window, which passes it on unless a modal dialog blocks the window.
bool clickAsUser(QWidget* widget)
{
    QWidget* window = widget->window();
    QWindow* handle = window->windowHandle();
    if (!handle || !window->isVisible())
        return false;
    const QPoint inWindow = widget->mapTo(window, widget->rect().center());
    const QPoint onScreen = window->mapToGlobal(inWindow);
    QMouseEvent press(QEvent::MouseButtonPress, inWindow, inWindow, onScreen, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, inWindow, inWindow, onScreen, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &release);
    return true;
}

} // namespace

Walkthrough::Walkthrough(SimulatedStation& station, QObject* parent)
    : QObject(parent)
    , m_station(station)
{
}

Walkthrough::~Walkthrough() = default;

void Walkthrough::setPrinter(std::function<void(const QString&)> printer)
{
    m_printer = std::move(printer);
}

void Walkthrough::setStationWindow(StationWindow* window)
{
    m_stationWindow = window;
}

void Walkthrough::setProfileName(const QString& name)
{
    m_profileName = name;
}

void Walkthrough::setAlignmentTimeout(int msecs)
{
    m_alignmentTimeoutMs = msecs;
}

void Walkthrough::print(const QString& line) const
{
    if (m_printer)
        m_printer(line);
}

bool Walkthrough::fail(const QString& why)
{
    if (m_failure.isEmpty())
        m_failure = why;
    print(QStringLiteral("FAILED: ") + why);
    return false;
}

bool Walkthrough::waitFor(const std::function<bool()>& done, int msecs, const QString& what)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > msecs)
            return fail(QStringLiteral("gave up after %1 s waiting for %2").arg(msecs / 1000.0).arg(what));
        // Sleeps in the event loop, so queued signals and timers keep running.
        QEventLoop loop;
        QTimer::singleShot(kPollMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool Walkthrough::choose(const char* comboName, const QString& entry)
{
    auto* combo = m_window->findChild<QComboBox*>(QString::fromLatin1(comboName));
    const int index = combo ? combo->findText(entry) : -1;
    if (index < 0)
        return fail(QStringLiteral("\"%1\" is not offered in %2").arg(entry, QLatin1String(comboName)));
    // As a user's choice: the window acts on activation, not on a change made by code.
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    // The window refuses the next command for an instrument until it has answered.
    Measure* measure = m_window->controller();
    return waitFor([measure] { return !measure->isInstrumentBusy(); }, kConnectTimeoutMs,
                   QStringLiteral("the instruments to answer %1").arg(QLatin1String(comboName)));
}

bool Walkthrough::openWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_window->controller()->setSensorFactory(&SensorTable::createForWindow);
    m_window->show();
    return waitFor([this] { return m_window->isVisible(); }, kStateTimeoutMs, QStringLiteral("the window"));
}

bool Walkthrough::connectInstruments(Instrument sensor)
{
    Measure* measure = m_window->controller();
    const QString type = SimulatedStation::sensorTypeName(sensor);
    const QString port = m_station.sensorPort(sensor);
    print(QStringLiteral("%1. Connect the %2%3 and the display under alignment on %4.")
              .arg(++m_step)
              .arg(QString::fromStdString(SimulatedWorld::instrumentName(sensor)),
                   port.isEmpty() ? QString() : QStringLiteral(" on ") + port, m_station.displayPort()));
    if (!choose("typeCombo", type))
        return false;
    if (!port.isEmpty() && !choose("sensorPortCombo", port))
        return false;
    if (!waitFor([measure] { return measure->currentSensor() && measure->currentSensor()->getIsOpen(); },
                 kConnectTimeoutMs, QStringLiteral("the sensor to connect")))
        return false;
    if (!choose("monitorPortCombo", m_station.displayPort()))
        return false;
    auto* monitorIcon = m_window->findChild<QLabel*>(QStringLiteral("monitorIcon"));
    if (!waitFor([monitorIcon] { return monitorIcon && monitorIcon->isEnabled(); }, kConnectTimeoutMs,
                 QStringLiteral("the display to connect")))
        return false;
    print(QStringLiteral("   Sensor connected: serial number %1.").arg(measure->currentSensor()->getSerialNumber()));
    return true;
}

bool Walkthrough::takeReading()
{
    Measure* measure = m_window->controller();
    int readings = 0;
    CColor last;
    const QMetaObject::Connection counter =
        connect(measure, &Measure::colorChanged, this, [&readings, &last](CColor color) {
            ++readings;
            last = color;
        });
    m_window->doSingleMeasure();
    const bool ok = waitFor([&readings] { return readings > 0; }, kReadingTimeoutMs, QStringLiteral("a reading"));
    disconnect(counter);
    if (!ok)
        return false;
    print(QStringLiteral("%1. Single measure of what the display shows: %2 (Y in cd/m\u00b2).")
              .arg(++m_step)
              .arg(xyzText(last)));
    return true;
}

bool Walkthrough::setAlignment(bool on)
{
    Measure* measure = m_window->controller();
    if ((measure->alignmentState() == Measure::AlignmentState::On) != on) {
        WalkthroughAnswers answers(m_profileName, m_printer);
        m_window->doAlignment();
    }
    // Switched on, the service flushes what the display sent before; requests
    // count only once it serves.
    if (on) {
        return waitFor([measure] { return measure->isServingAlignment(); }, kStateTimeoutMs,
                       QStringLiteral("alignment to switch on"));
    }
    return waitFor([measure] { return measure->alignmentState() == Measure::AlignmentState::Off; },
                   kStateTimeoutMs, QStringLiteral("alignment to switch off"));
}

bool Walkthrough::alignDisplay(double* trueWhiteError)
{
    const Matrix matrix = m_window->controller()->correctionMatrix();
    const bool identity = matrix == Matrix::IdentityMatrix(3);
    print(QStringLiteral("%1. Alignment on; the display runs its own alignment (%2).")
              .arg(++m_step)
              .arg(identity ? QStringLiteral("sensor uncorrected: identity matrix")
                            : QStringLiteral("sensor corrected by its matrix")));
    if (!setAlignment(true))
        return false;
    AligningFirmware& firmware = m_station.firmware();
    if (!firmware.startAlignment())
        return fail(QStringLiteral("the display would not start its alignment"));
    const bool finished = waitFor([&firmware] { return !firmware.isAligning(); }, m_alignmentTimeoutMs,
                                  QStringLiteral("the display's alignment"));
    if (!finished)
        firmware.cancelAlignment();
    const bool off = setAlignment(false);
    if (!finished || !off)
        return false;
    const AligningFirmware::Progress progress = firmware.progress();
    if (!progress.succeeded)
        return fail(QStringLiteral("the display's alignment failed: %1").arg(QString::fromStdString(progress.error)));
    print(QStringLiteral("   %1 patches measured; gains R %2  G %3  B %4.")
              .arg(progress.readings.size())
              .arg(fixed(progress.gains[0]), fixed(progress.gains[1]), fixed(progress.gains[2])));
    print(QStringLiteral("   White error from D65 as measured by the sensor: %1 \u0394u'v'; as the display really "
                         "shows it: %2 \u0394u'v'.")
              .arg(fixed(progress.toldWhiteError), fixed(progress.trueWhiteError)));
    if (trueWhiteError)
        *trueWhiteError = progress.trueWhiteError;
    return true;
}

bool Walkthrough::calibrate()
{
    print(QStringLiteral("%1. Calibrate the sensor against the reference instrument.").arg(++m_step));
    if (m_window->controller()->isAlignmentBusy())
        return fail(QStringLiteral("alignment is still on"));
    bool played = false;
    bool opened = false;
    // The dialog is modal: the steps inside it run from its own event loop. The
    // timer goes with this call, so a dialog refused by the window leaves
    // nothing behind to fire later.
    QTimer inside;
    inside.setSingleShot(true);
    connect(&inside, &QTimer::timeout, this, [this, &played, &opened] {
        QWidget* dialog = nullptr;
        opened = waitFor([&dialog] { return (dialog = ScreenPatchWatcher::visibleDialog("CalibrateDialog")) != nullptr; },
                         kStateTimeoutMs, QStringLiteral("the calibrate dialog"));
        if (!opened)
            return;
        played = calibrateInDialog(dialog);
        if (played) {
            dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        } else {
            QMetaObject::invokeMethod(dialog, "reject");
        }
    });
    inside.start(0);
    m_window->doCalibrate();
    if (!opened || !played)
        return m_failure.isEmpty() ? fail(QStringLiteral("the calibrate dialog did not open")) : false;
    m_figures.matrix = m_window->controller()->correctionMatrix();
    print(QStringLiteral("   OK: the matrix in use is %1.").arg(matrixRows(m_figures.matrix)));
    return true;
}

bool Walkthrough::calibrateInDialog(QWidget* dialog)
{
    static const char* const buttons[] = {"redButton", "greenButton", "blueButton", "whiteButton"};
    static const char* const names[] = {"red", "green", "blue", "white"};
    auto* sensorTable = dialog->findChild<QTableWidget*>(QStringLiteral("sensorTable"));
    auto* referenceTable = dialog->findChild<QTableWidget*>(QStringLiteral("referenceTable"));
    auto* measureButton = dialog->findChild<QPushButton*>(QStringLiteral("measureButton"));
    auto* calibrateButton = dialog->findChild<QPushButton*>(QStringLiteral("calibrateButton"));
    if (!sensorTable || !referenceTable || !measureButton || !calibrateButton)
        return fail(QStringLiteral("the calibrate dialog lacks its tables or buttons"));
    Measure* measure = m_window->controller();

    for (int row = 0; row < 4; ++row) {
        auto* colour = dialog->findChild<QRadioButton*>(QLatin1String(buttons[row]));
        if (!colour)
            return fail(QStringLiteral("the calibrate dialog has no %1 button").arg(QLatin1String(names[row])));
        colour->click();
        // The sensor reads what the dialog shows: wait until the patch is seen.
        SimulatedWorld& world = m_station.world();
        if (!waitFor([&world, row] { return ScreenPatchWatcher::showsRow(world.screenPatch(), row); }, kPatchSeenTimeoutMs,
                     QStringLiteral("the %1 patch on the screen").arg(QLatin1String(names[row]))))
            return false;

        int readings = 0;
        const QMetaObject::Connection counter =
            connect(measure, &Measure::rawColorChanged, this, [&readings](CColor) { ++readings; });
        measureButton->click();
        const bool measured = waitFor([&readings] { return readings > 0; }, kReadingTimeoutMs,
                                      QStringLiteral("the %1 reading").arg(QLatin1String(names[row])));
        disconnect(counter);
        if (!measured)
            return false;

        // The reference instrument's values, copied in the station's window
        // and pasted into the row as from a spreadsheet.
        QString reference;
        if (!copyReference(&reference))
            return false;
        referenceTable->setCurrentCell(row, 0);
        QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
        QApplication::sendEvent(referenceTable, &paste);

        QStringList sensorCells;
        QStringList referenceCells;
        for (int c = 0; c < 3; ++c) {
            sensorCells << sensorTable->item(row, c)->text();
            referenceCells << referenceTable->item(row, c)->text();
        }
        if (referenceCells.join(QLatin1Char('\t')) != reference)
            return fail(QStringLiteral("the reference values did not paste into the %1 row").arg(QLatin1String(names[row])));
        print(QStringLiteral("   %1 patch: sensor %2 | reference %3")
                  .arg(QString::fromLatin1(names[row]).leftJustified(5), sensorCells.join(QLatin1Char(' ')),
                       referenceCells.join(QLatin1Char(' '))));
    }
    calibrateButton->click();
    auto* matrixTable = dialog->findChild<QTableWidget*>(QStringLiteral("matrixTable"));
    QStringList cells;
    for (int r = 0; r < 3 && matrixTable; ++r) {
        for (int c = 0; c < 3; ++c)
            cells << matrixTable->item(r, c)->text();
    }
    print(QStringLiteral("   Calibrate: matrix %1").arg(cells.join(QLatin1Char(' '))));
    return true;
}

StationWindow* Walkthrough::stationWindow()
{
    if (!m_stationWindow) {
        m_ownStationWindow = std::make_unique<StationWindow>(m_station);
        m_ownStationWindow->show();
        m_stationWindow = m_ownStationWindow.get();
    }
    return m_stationWindow;
}

bool Walkthrough::copyReference(QString* copied)
{
    StationWindow* window = stationWindow();
    auto* copyButton = window->findChild<QPushButton*>(QStringLiteral("copyButton"));
    if (!copyButton)
        return fail(QStringLiteral("the station window has no Copy button"));
    if (!waitFor([window] { return window->isVisible() && window->windowHandle(); }, kStateTimeoutMs,
                 QStringLiteral("the station window")))
        return false;
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    if (!clickAsUser(copyButton))
        return fail(QStringLiteral("the station window is not on the screen"));
    *copied = clipboard->text();
    if (copied->isEmpty() || *copied != window->referenceText())
        return fail(QStringLiteral("the station window's Copy button did not take the click"));
    return true;
}

bool Walkthrough::saveProfile()
{
    const QString fileName = QDir::current().absoluteFilePath(m_profileName + QStringLiteral(".alg"));
    print(QStringLiteral("%1. Save the profile as \"%2\".").arg(++m_step).arg(m_profileName));
    QFile::remove(fileName);
    {
        WalkthroughAnswers answers(m_profileName, m_printer);
        m_window->doSaveProfile();
    }
    if (!QFileInfo::exists(fileName))
        return fail(QStringLiteral("no profile was written to %1").arg(fileName));
    m_figures.profilePath = fileName;
    print(QStringLiteral("   Written: %1").arg(QDir::toNativeSeparators(fileName)));
    return true;
}

bool Walkthrough::restart(Instrument sensor)
{
    print(QStringLiteral("%1. Close the program's window and start it anew.").arg(++m_step));
    m_window.reset();
    if (!openWindow() || !connectInstruments(sensor))
        return false;
    print(QStringLiteral("%1. Open the profile \"%2\".").arg(++m_step).arg(m_profileName));
    auto* profiles = m_window->findChild<QComboBox*>(QStringLiteral("profileCombo"));
    const int index = profiles ? profiles->findText(m_profileName) : -1;
    if (index < 0)
        return fail(QStringLiteral("the profile \"%1\" is not offered").arg(m_profileName));
    profiles->setCurrentIndex(index);
    Measure* measure = m_window->controller();
    if (!waitFor([measure] { return !(measure->correctionMatrix() == Matrix::IdentityMatrix(3)); },
                 kStateTimeoutMs, QStringLiteral("the profile's matrix")))
        return false;
    m_figures.reopenedMatrix = measure->correctionMatrix();
    print(QStringLiteral("   The matrix in use is %1.").arg(matrixRows(m_figures.reopenedMatrix)));
    return true;
}

bool Walkthrough::run(Instrument sensor)
{
    m_failure.clear();
    m_step = 0;
    m_figures = Figures();
    const DisplayModel& display = m_station.world().display();
    m_figures.factoryWhiteError = DisplayModel::whiteError(display.emitted(Rgb{{1.0, 1.0, 1.0}}));
    print(QStringLiteral("The display under alignment leaves the factory %1 \u0394u'v' away from D65.")
              .arg(fixed(m_figures.factoryWhiteError)));

    if (!openWindow() || !connectInstruments(sensor) || !takeReading())
        return false;
    if (!alignDisplay(&m_figures.identityWhiteError) || !calibrate())
        return false;
    if (!alignDisplay(&m_figures.correctedWhiteError) || !saveProfile())
        return false;
    if (!restart(sensor) || !alignDisplay(&m_figures.reopenedWhiteError))
        return false;
    const QStringList wrong = m_figures.whatIsWrong();
    if (!wrong.isEmpty())
        return fail(wrong.join(QStringLiteral("; ")));
    print(QStringLiteral("Done: the display's true white error went from %1 (uncorrected sensor) to %2 "
                         "(calibrated sensor), and %3 after reopening the profile.")
              .arg(fixed(m_figures.identityWhiteError), fixed(m_figures.correctedWhiteError),
                   fixed(m_figures.reopenedWhiteError)));
    return true;
}
