#include "windowscenarios.h"

#include "csensor.h"
#include "mainwindow.h"
#include "measure.h"
#include "screenpatchwatcher.h"
#include "simulatedstation.h"
#include "stallprobe.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>

namespace {

using Instrument = SimulatedWorld::Instrument;

constexpr int kConnectTimeoutMs = 20000;
constexpr int kReadingTimeoutMs = 20000;
constexpr int kStateTimeoutMs = 10000;

QString nameOf(Instrument instrument)
{
    return QString::fromStdString(SimulatedWorld::instrumentName(instrument));
}

// Runs the event loop until done() holds; false once the deadline passes. The
// condition is looked at every 2 ms, so a scenario's end is seen promptly.
bool waitUntil(const std::function<bool()>& done, QDeadlineTimer deadline)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    check.start();
    loop.exec();
    return done();
}

bool choose(QWidget& window, const char* comboName, const QString& entry)
{
    auto* combo = window.findChild<QComboBox*>(QString::fromLatin1(comboName));
    const int index = combo ? combo->findText(entry) : -1;
    if (index < 0)
        return false;
    // As a user's choice: the window acts on activation, not on a change made by code.
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
}

QAction* action(const MainWindow& window, const QString& text)
{
    const QList<QAction*> actions = window.findChildren<QAction*>();
    for (QAction* a : actions) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}


} // namespace

WindowScenarios::WindowScenarios(SimulatedStation& station, MainWindow& window, StallProbe& probe)
    : m_station(station)
    , m_window(window)
    , m_probe(probe)
{
}

bool WindowScenarios::fail(const QString& why)
{
    if (m_failure.isEmpty())
        m_failure = why;
    return false;
}

void WindowScenarios::noteMessage(const QString& text)
{
    ++m_messages;
    m_lastMessage = text;
}

std::optional<WindowScenarios::Figures> WindowScenarios::timed(const QString& name,
                                                              const std::function<bool()>& drive)
{
    m_failure.clear();
    const int messagesBefore = m_messages;
    QElapsedTimer clock;
    m_probe.start();
    clock.start();
    const bool ok = drive();
    const qint64 elapsedNs = clock.nsecsElapsed();
    m_probe.stop();
    if (ok && m_messages != messagesBefore)
        fail(QStringLiteral("the window showed a message: %1").arg(m_lastMessage));
    if (!ok || !m_failure.isEmpty()) {
        m_failure = name + QStringLiteral(": ")
                    + (m_failure.isEmpty() ? QStringLiteral("did not come out right") : m_failure);
        return std::nullopt;
    }
    return Figures{name, double(elapsedNs) / 1e6, m_probe.tickCount(), m_probe.percentileGapMs(99),
                   m_probe.longestGapMs()};
}

bool WindowScenarios::sensorOpen() const
{
    const CSensor* sensor = m_window.controller()->currentSensor();
    return sensor && sensor->getIsOpen();
}

void WindowScenarios::release()
{
    m_window.controller()->releaseSensor();
}

bool WindowScenarios::pick(Instrument instrument)
{
    const QString type = SimulatedStation::sensorTypeName(instrument);
    const QString port = m_station.sensorPort(instrument);
    if (!choose(m_window, "typeCombo", type))
        return fail(QStringLiteral("\"%1\" is not offered as a sensor type").arg(type));
    if (!port.isEmpty() && !choose(m_window, "sensorPortCombo", port))
        return fail(QStringLiteral("port %1 is not offered").arg(port));
    if (!waitUntil([this] { return sensorOpen(); }, QDeadlineTimer(kConnectTimeoutMs)))
        return fail(QStringLiteral("the sensor did not connect"));
    return true;
}

std::optional<WindowScenarios::Figures> WindowScenarios::connectSensor(Instrument instrument)
{
    release();
    return timed(QStringLiteral("connect %1").arg(nameOf(instrument)), [this, instrument] { return pick(instrument); });
}

std::optional<WindowScenarios::Figures> WindowScenarios::singleMeasure(Instrument instrument)
{
    QAction* single = action(m_window, MainWindow::tr("S&ingle measure"));
    return timed(QStringLiteral("single measure %1").arg(nameOf(instrument)), [this, single] {
        if (!single)
            return fail(QStringLiteral("the window has no Single measure action"));
        int readings = 0;
        const QMetaObject::Connection counter = QObject::connect(
            m_window.controller(), &Measure::colorChanged, &m_window, [&readings](CColor) { ++readings; });
        single->trigger();
        const bool arrived = waitUntil([&readings] { return readings > 0; }, QDeadlineTimer(kReadingTimeoutMs));
        QObject::disconnect(counter);
        return arrived || fail(QStringLiteral("no reading arrived"));
    });
}

bool WindowScenarios::insideDialog(const char* className, const std::function<bool(QWidget*)>& play,
                                   const std::function<void()>& open)
{
    bool played = false;
    bool opened = false;
    QTimer inside;
    inside.setSingleShot(true);
    QObject::connect(&inside, &QTimer::timeout, &m_window, [&] {
        QWidget* dialog = nullptr;
        opened = waitUntil([&dialog, className] { return (dialog = ScreenPatchWatcher::visibleDialog(className)) != nullptr; },
                           QDeadlineTimer(kStateTimeoutMs));
        if (!opened)
            return;
        played = play(dialog);
        // Cancelled either way: the next run finds the window as before.
        QMetaObject::invokeMethod(dialog, "reject");
    });
    inside.start(0);
    open();
    if (!opened)
        return fail(QStringLiteral("the %1 did not open").arg(QLatin1String(className)));
    return played;
}

std::optional<WindowScenarios::Figures> WindowScenarios::scanList(Instrument instrument, int entries)
{
    release();
    m_failure.clear();
    const QString name = QStringLiteral("scan list %1 (%2 entries)").arg(nameOf(instrument)).arg(entries);
    if (!pick(instrument)) {
        m_failure = name + QStringLiteral(": ") + m_failure;
        return std::nullopt;
    }
    std::optional<Figures> figures;
    auto* sensorButton = m_window.findChild<QPushButton*>(QStringLiteral("sensorButton"));
    const bool ok = insideDialog(
        "SensorDlg",
        [&](QWidget* dialog) {
            auto* scan = dialog->findChild<QPushButton*>(QStringLiteral("scanButton"));
            auto* list = dialog->findChild<QComboBox*>(QStringLiteral("fileListBox"));
            figures = timed(name, [this, scan, list, entries] {
                if (!scan || !list)
                    return fail(QStringLiteral("the features dialog has no ScanList"));
                scan->click();
                if (!waitUntil([list, entries] { return list->count() >= entries; },
                               QDeadlineTimer(kReadingTimeoutMs)))
                    return fail(QStringLiteral("the list shows %1 entries, not %2").arg(list->count()).arg(entries));
                return true;
            });
            return figures.has_value();
        },
        [sensorButton] {
            if (sensorButton)
                sensorButton->click();
        });
    if (!ok && !m_failure.startsWith(name))
        m_failure = name + QStringLiteral(": ") + m_failure;
    return ok ? figures : std::nullopt;
}

std::optional<WindowScenarios::Figures> WindowScenarios::calibrate(Instrument instrument)
{
    QAction* calibrateAct = action(m_window, MainWindow::tr("Calib&rate"));
    return timed(QStringLiteral("calibrate %1 (4 x Measure, Calibrate)").arg(nameOf(instrument)),
                 [this, calibrateAct] {
                     if (!calibrateAct)
                         return fail(QStringLiteral("the window has no Calibrate action"));
                     return insideDialog(
                         "CalibrateDialog", [this](QWidget* dialog) { return calibrateInDialog(dialog); },
                         [calibrateAct] { calibrateAct->trigger(); });
                 });
}

bool WindowScenarios::calibrateInDialog(QWidget* dialog)
{
    static const char* const buttons[] = {"redButton", "greenButton", "blueButton", "whiteButton"};
    static const char* const names[] = {"red", "green", "blue", "white"};
    auto* referenceTable = dialog->findChild<QTableWidget*>(QStringLiteral("referenceTable"));
    auto* matrixTable = dialog->findChild<QTableWidget*>(QStringLiteral("matrixTable"));
    auto* measureButton = dialog->findChild<QPushButton*>(QStringLiteral("measureButton"));
    auto* calibrateButton = dialog->findChild<QPushButton*>(QStringLiteral("calibrateButton"));
    if (!referenceTable || !matrixTable || !measureButton || !calibrateButton)
        return fail(QStringLiteral("the calibrate dialog lacks its tables or buttons"));
    for (int row = 0; row < 4; ++row) {
        auto* colour = dialog->findChild<QRadioButton*>(QLatin1String(buttons[row]));
        if (!colour)
            return fail(QStringLiteral("no %1 button").arg(QLatin1String(names[row])));
        colour->click();
        // The sensor reads what the dialog shows: measure once the patch is seen.
        SimulatedWorld& world = m_station.world();
        if (!waitUntil([&world, row] { return ScreenPatchWatcher::showsRow(world.screenPatch(), row); },
                       QDeadlineTimer(kStateTimeoutMs)))
            return fail(QStringLiteral("the %1 patch was not seen").arg(QLatin1String(names[row])));
        int readings = 0;
        const QMetaObject::Connection counter = QObject::connect(
            m_window.controller(), &Measure::rawColorChanged, &m_window, [&readings](CColor) { ++readings; });
        measureButton->click();
        const bool measured = waitUntil([&readings] { return readings > 0; }, QDeadlineTimer(kReadingTimeoutMs));
        QObject::disconnect(counter);
        if (!measured)
            return fail(QStringLiteral("no %1 reading").arg(QLatin1String(names[row])));
        // The reference instrument's values, as the user types them in.
        const QStringList reference = m_station.referenceReadingText().split(QLatin1Char('\t'));
        for (int c = 0; c < 3 && c < reference.size(); ++c)
            referenceTable->item(row, c)->setText(reference.at(c));
    }
    matrixTable->item(0, 0)->setText(QString());
    calibrateButton->click();
    return !matrixTable->item(0, 0)->text().isEmpty() || fail(QStringLiteral("no matrix was computed"));
}
