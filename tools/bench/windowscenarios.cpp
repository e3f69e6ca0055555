#include "windowscenarios.h"

#include "calfile.h"
#include "cmonitor.h"
#include "csensor.h"
#include "mainwindow.h"
#include "matrixstore.h"
#include "measure.h"
#include "screenpatchwatcher.h"
#include "sensortable.h"
#include "simulatedstation.h"
#include "stallprobe.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>

namespace {

using Instrument = SimulatedWorld::Instrument;

constexpr int kConnectTimeoutMs = 20000;
constexpr int kReadingTimeoutMs = 20000;
constexpr int kStateTimeoutMs = 10000;
// A list of 99 matrices takes about 7 s at the K-10's wire rate.
constexpr int kListTimeoutMs = 30000;
// Free on the K-10 once the listed matrices are cleared, and the last slot
// the driver addresses.
constexpr int kWriteSlot = 95;

QString nameOf(Instrument instrument)
{
    return QString::fromStdString(SimulatedWorld::instrumentName(instrument));
}

QString storedName(int index)
{
    return QStringLiteral("bench%1").arg(index);
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

bool tableFilled(const QTableWidget* table)
{
    for (int r = 0; r < table->rowCount(); ++r) {
        for (int c = 0; c < table->columnCount(); ++c) {
            if (!table->item(r, c) || table->item(r, c)->text().isEmpty())
                return false;
        }
    }
    return true;
}

// Counts a signal's emissions while it lives.
class Counter
{
public:
    template <typename Signal>
    Counter(const Measure* controller, Signal signal, QObject* context)
        : m_connection(QObject::connect(controller, signal, context, [this] { ++m_count; }))
    {
    }
    ~Counter() { QObject::disconnect(m_connection); }
    Counter(const Counter&) = delete;
    Counter& operator=(const Counter&) = delete;

    int count() const { return m_count; }

private:
    int m_count = 0;
    QMetaObject::Connection m_connection;
};

} // namespace

WindowScenarios::WindowScenarios(SimulatedStation& station, MainWindow& window, StallProbe& probe, Report report,
                                 K10Control k10Control)
    : m_station(station)
    , m_window(window)
    , m_probe(probe)
    , m_report(std::move(report))
    , m_k10(std::move(k10Control))
{
}

QString WindowScenarios::wayName(Way way)
{
    return way == Way::Blocking ? QStringLiteral("blocking call on the main thread") : QStringLiteral("window");
}

bool WindowScenarios::fail(const QString& why)
{
    if (m_failure.isEmpty())
        m_failure = why;
    return false;
}

bool WindowScenarios::noteMessage(const QString& text)
{
    if (!m_expectedMessage.isEmpty() && text.contains(m_expectedMessage)) {
        ++m_expectedSeen;
        return true;
    }
    ++m_messages;
    m_lastMessage = text;
    return false;
}

void WindowScenarios::timed(const QString& name, Way way, const std::function<bool()>& drive)
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
        m_report(std::nullopt, QStringLiteral("%1 (%2): %3")
                                   .arg(name, wayName(way),
                                        m_failure.isEmpty() ? QStringLiteral("did not come out right") : m_failure));
        // Told once: what follows starts clean.
        m_failure.clear();
        return;
    }
    m_report(Figures{name, way, double(elapsedNs) / 1e6, m_probe.tickCount(), m_probe.percentileGapMs(99),
                     m_probe.longestGapMs()},
             QString());
}

bool WindowScenarios::sensorOpen() const
{
    const CSensor* sensor = m_window.controller()->currentSensor();
    return sensor && sensor->getIsOpen();
}

void WindowScenarios::release()
{
    waitIdle();
    m_window.controller()->releaseSensor();
}

bool WindowScenarios::waitIdle()
{
    const Measure* controller = m_window.controller();
    return waitUntil([controller] { return !controller->isInstrumentBusy(); }, QDeadlineTimer(kListTimeoutMs))
           || fail(QStringLiteral("the instrument stayed busy"));
}

int WindowScenarios::sensorType(Instrument instrument) const
{
    const QString type = SimulatedStation::sensorTypeName(instrument);
    for (const SensorTypeRow& row : SensorTable::rows()) {
        if (row.name && type == QLatin1String(row.name))
            return row.type;
    }
    return -1;
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
    return waitIdle();
}

bool WindowScenarios::pickMonitor()
{
    if (!choose(m_window, "monitorPortCombo", m_station.displayPort()))
        return fail(QStringLiteral("the display's port %1 is not offered").arg(m_station.displayPort()));
    const Measure* controller = m_window.controller();
    if (!waitUntil([controller] { return controller->currentMonitor() && controller->currentMonitor()->GetInit(); },
                   QDeadlineTimer(kConnectTimeoutMs)))
        return fail(QStringLiteral("the display's link did not open"));
    return waitIdle();
}

void WindowScenarios::connectSensor(Instrument instrument)
{
    const QString name = QStringLiteral("connect %1").arg(nameOf(instrument));
    release();
    const int type = sensorType(instrument);
    const QString port = m_station.sensorPort(instrument);
    Measure* controller = m_window.controller();
    timed(name, Way::Blocking, [&] {
        return controller->initSensor(type, port) || fail(QStringLiteral("the sensor did not open"));
    });
    release();
    timed(name, Way::Window, [this, instrument] { return pick(instrument); });
}

void WindowScenarios::singleMeasure(Instrument instrument)
{
    const QString name = QStringLiteral("single measure %1").arg(nameOf(instrument));
    Measure* controller = m_window.controller();
    const auto measure = [&](const std::function<void()>& start) {
        const Counter readings(controller, &Measure::colorChanged, &m_window);
        start();
        return waitUntil([&readings] { return readings.count() > 0; }, QDeadlineTimer(kReadingTimeoutMs))
               || fail(QStringLiteral("no reading arrived"));
    };
    timed(name, Way::Blocking, [&] { return measure([controller] { controller->doSingleMeasure(); }); });
    waitIdle();
    QAction* single = action(m_window, MainWindow::tr("S&ingle measure"));
    timed(name, Way::Window, [&] {
        if (!single)
            return fail(QStringLiteral("the window has no Single measure action"));
        return measure([single] { single->trigger(); });
    });
    waitIdle();
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

void WindowScenarios::calibrate(Instrument instrument)
{
    const QString name = QStringLiteral("calibrate %1 (4 x Measure, Calibrate)").arg(nameOf(instrument));
    QAction* calibrateAct = action(m_window, MainWindow::tr("Calib&rate"));
    for (const Way way : {Way::Blocking, Way::Window}) {
        waitIdle();
        timed(name, way, [this, calibrateAct, way] {
            if (!calibrateAct)
                return fail(QStringLiteral("the window has no Calibrate action"));
            return insideDialog(
                "CalibrateDialog", [this, way](QWidget* dialog) { return calibrateInDialog(dialog, way); },
                [calibrateAct] { calibrateAct->trigger(); });
        });
    }
    waitIdle();
}

bool WindowScenarios::calibrateInDialog(QWidget* dialog, Way way)
{
    static const char* const buttons[] = {"redButton", "greenButton", "blueButton", "whiteButton"};
    static const char* const names[] = {"red", "green", "blue", "white"};
    auto* referenceTable = dialog->findChild<QTableWidget*>(QStringLiteral("referenceTable"));
    auto* matrixTable = dialog->findChild<QTableWidget*>(QStringLiteral("matrixTable"));
    auto* measureButton = dialog->findChild<QPushButton*>(QStringLiteral("measureButton"));
    auto* calibrateButton = dialog->findChild<QPushButton*>(QStringLiteral("calibrateButton"));
    if (!referenceTable || !matrixTable || !measureButton || !calibrateButton)
        return fail(QStringLiteral("the calibrate dialog lacks its tables or buttons"));
    Measure* controller = m_window.controller();
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
        const Counter readings(controller, &Measure::rawColorChanged, &m_window);
        // The dialog shows the raw reading of the colour checked, however it was taken.
        if (way == Way::Blocking)
            controller->doSingleMeasure();
        else
            measureButton->click();
        if (!waitUntil([&readings] { return readings.count() > 0; }, QDeadlineTimer(kReadingTimeoutMs)))
            return fail(QStringLiteral("no %1 reading").arg(QLatin1String(names[row])));
        if (!waitUntil([measureButton] { return measureButton->isEnabled(); }, QDeadlineTimer(kStateTimeoutMs)))
            return fail(QStringLiteral("Measure stayed disabled after the %1 reading").arg(QLatin1String(names[row])));
        // The reference instrument's values, as the user types them in.
        const QStringList reference = m_station.referenceReadingText().split(QLatin1Char('\t'));
        for (int c = 0; c < 3 && c < reference.size(); ++c)
            referenceTable->item(row, c)->setText(reference.at(c));
    }
    matrixTable->item(0, 0)->setText(QString());
    calibrateButton->click();
    return !matrixTable->item(0, 0)->text().isEmpty() || fail(QStringLiteral("no matrix was computed"));
}

void WindowScenarios::portscan(Instrument instrument)
{
    const QString name = QStringLiteral("portscan (release %1 and the display's link)").arg(nameOf(instrument));
    Measure* controller = m_window.controller();
    // Whatever sensor is open, the instrument is picked afresh, so that
    // each way lets go of the same one.
    const auto connectBoth = [this, instrument] {
        m_failure.clear();
        release();
        return pick(instrument) && pickMonitor();
    };
    if (!connectBoth()) {
        m_report(std::nullopt, name + QStringLiteral(": ") + m_failure);
        m_failure.clear();
        return;
    }
    timed(name, Way::Blocking, [controller] {
        controller->releaseSensor();
        controller->releaseMonitor();
        return true;
    });
    if (!connectBoth()) {
        m_report(std::nullopt, name + QStringLiteral(": ") + m_failure);
        m_failure.clear();
        return;
    }
    QAction* portscanAct = action(m_window, MainWindow::tr("P&ortscan"));
    timed(name, Way::Window, [this, controller, portscanAct] {
        if (!portscanAct)
            return fail(QStringLiteral("the window has no Portscan action"));
        portscanAct->trigger();
        return waitUntil(
                   [controller] {
                       return !controller->currentSensor() && !controller->currentMonitor()
                              && !controller->isInstrumentBusy();
                   },
                   QDeadlineTimer(kConnectTimeoutMs))
               || fail(QStringLiteral("the instruments were not let go of"));
    });
}

bool WindowScenarios::storeMatrices(int entries)
{
    for (int index = 0; index < entries; ++index) {
        const QByteArray command =
            QStringLiteral("store %1 %2 1 0 0 0 1 0 0 0 1").arg(index).arg(storedName(index)).toLatin1();
        if (m_k10(command) != 0)
            return fail(QStringLiteral("the stand-in K-10 refused to store matrix %1").arg(index));
    }
    return true;
}

void WindowScenarios::clearMatrices(int entries)
{
    for (int index = 0; index < entries; ++index)
        m_k10(QByteArrayLiteral("clear ") + QByteArray::number(index));
}

void WindowScenarios::featuresDialog(int entries)
{
    const QString dialogName = QStringLiteral("features dialog K-10");
    release();
    m_failure.clear();
    if (m_k10(QByteArrayLiteral("stored ") + QByteArray::number(kWriteSlot)) != 0)
        fail(QStringLiteral("slot %1 of the K-10 is not free").arg(kWriteSlot));
    else if (storeMatrices(entries) && pick(Instrument::K10)) {
        auto* sensorButton = m_window.findChild<QPushButton*>(QStringLiteral("sensorButton"));
        if (!sensorButton
            || !waitUntil([sensorButton] { return sensorButton->isEnabled(); }, QDeadlineTimer(kStateTimeoutMs))) {
            fail(QStringLiteral("the sensor's button stays disabled"));
        } else {
            insideDialog(
                "SensorDlg",
                [this, entries](QWidget* dialog) {
                    playFeatures(dialog, entries);
                    return true;
                },
                [sensorButton] { sensorButton->click(); });
        }
    }
    // The K-10 holds what it held before.
    clearMatrices(entries);
    m_k10(QByteArrayLiteral("clear ") + QByteArray::number(kWriteSlot));
    if (!m_failure.isEmpty())
        m_report(std::nullopt, dialogName + QStringLiteral(": ") + m_failure);
    m_failure.clear();
}

void WindowScenarios::playFeatures(QWidget* dialog, int entries)
{
    auto* scan = dialog->findChild<QPushButton*>(QStringLiteral("scanButton"));
    auto* read = dialog->findChild<QPushButton*>(QStringLiteral("readButton"));
    auto* write = dialog->findChild<QPushButton*>(QStringLiteral("writeButton"));
    auto* curRead = dialog->findChild<QPushButton*>(QStringLiteral("curReadButton"));
    auto* curWrite = dialog->findChild<QPushButton*>(QStringLiteral("curWriteButton"));
    auto* list = dialog->findChild<QComboBox*>(QStringLiteral("fileListBox"));
    auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("matrixNameEdit"));
    auto* indexEdit = dialog->findChild<QLineEdit*>(QStringLiteral("matrixIndexEdit"));
    auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("matrixTable"));
    Measure* controller = m_window.controller();
    CSensor* sensor = controller->currentSensor();
    MatrixStore* store = sensor ? sensor->matrixStore() : nullptr;
    if (!scan || !read || !write || !curRead || !curWrite || !list || !nameEdit || !indexEdit || !table || !store) {
        fail(QStringLiteral("the dialog lacks its calibration-file widgets, or the sensor its stored matrices"));
        return;
    }

    // ScanList: every stored matrix listed.
    const QString scanName = QStringLiteral("ScanList K-10 (%1 entries)").arg(entries);
    timed(scanName, Way::Blocking, [&] {
        const int listed = store->GetCalList().size();
        return listed == entries || fail(QStringLiteral("the driver lists %1 entries, not %2").arg(listed).arg(entries));
    });
    list->clear();
    timed(scanName, Way::Window, [&] {
        scan->click();
        return waitUntil([&] { return list->count() >= entries && !controller->isInstrumentBusy(); },
                         QDeadlineTimer(kListTimeoutMs))
               || fail(QStringLiteral("the list shows %1 entries, not %2").arg(list->count()).arg(entries));
    });

    // ReadOut: one entry from the middle of the list, within the slots the driver reads.
    const int position = std::min(entries / 2, kWriteSlot - 1);
    const QString readName = QStringLiteral("ReadOut K-10 (entry %1)").arg(position);
    timed(readName, Way::Blocking, [&] {
        return store->GetCalfile(position).GetName() == storedName(position)
               || fail(QStringLiteral("the driver read no matrix %1").arg(position));
    });
    if (list->count() > position)
        list->setCurrentIndex(position);
    nameEdit->clear();
    indexEdit->clear();
    timed(readName, Way::Window, [&] {
        read->click();
        return waitUntil(
                   [&] {
                       return nameEdit->text() == storedName(position) && indexEdit->text() == QString::number(position)
                              && !controller->isInstrumentBusy();
                   },
                   QDeadlineTimer(kReadingTimeoutMs))
               || fail(QStringLiteral("matrix %1 was not read out").arg(position));
    });

    // WriteIn, with the listed matrices gone again so that the list the write
    // shows afterwards is short: the long list is scanned once a run.
    clearMatrices(entries);
    const QString writeName = QStringLiteral("WriteIn K-10 (slot %1, then the list)").arg(kWriteSlot);
    const QString slotText = QString::number(kWriteSlot);
    timed(writeName, Way::Blocking, [&] {
        Calfile record;
        record.SetName(QStringLiteral("benchsave"));
        record.SetId(kWriteSlot);
        for (int i = 0; i < 3; ++i)
            record.SetData(i, i, 1.0);
        if (store->SaveCalfile(record) != 0)
            return fail(QStringLiteral("the driver did not save"));
        const QStringList listed = store->GetCalList();
        return listed == QStringList{QStringLiteral("MAT[%1]_benchsave").arg(kWriteSlot)}
               || fail(QStringLiteral("the driver lists %1 after the save").arg(listed.join(QLatin1Char(' '))));
    });
    m_k10(QByteArrayLiteral("clear ") + slotText.toLatin1());
    const QString written = QStringLiteral("benchwrite");
    nameEdit->setText(written);
    indexEdit->setText(slotText);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            table->item(r, c)->setText(r == c ? QStringLiteral("1.000000") : QStringLiteral("0.000000"));
    }
    m_expectedMessage = QStringLiteral("Matrix%1 %2 Saved").arg(kWriteSlot).arg(written);
    m_expectedSeen = 0;
    const QString writtenEntry = QStringLiteral("MAT[%1]_%2").arg(kWriteSlot).arg(written);
    timed(writeName, Way::Window, [&] {
        write->click();
        return waitUntil(
                   [&] {
                       return m_expectedSeen > 0 && list->count() == 1 && list->itemText(0) == writtenEntry
                              && !controller->isInstrumentBusy();
                   },
                   QDeadlineTimer(kReadingTimeoutMs))
               || fail(QStringLiteral("the write was not confirmed and listed"));
    });
    m_expectedMessage.clear();
    m_k10(QByteArrayLiteral("clear ") + slotText.toLatin1());

    // MatrixRead and MatrixWrite: the controller's matrix, no instrument.
    const Matrix current = controller->correctionMatrix();
    timed(QStringLiteral("MatrixRead"), Way::Blocking, [&] {
        const Matrix copy = controller->correctionMatrix();
        return (copy.GetRows() == 3 && copy.GetColumns() == 3) || fail(QStringLiteral("the controller's matrix is not 3 x 3"));
    });
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            table->item(r, c)->setText(QString());
    }
    timed(QStringLiteral("MatrixRead"), Way::Window, [&] {
        curRead->click();
        return waitUntil([table] { return tableFilled(table); }, QDeadlineTimer(kStateTimeoutMs))
               || fail(QStringLiteral("the table was not filled"));
    });
    timed(QStringLiteral("MatrixWrite"), Way::Blocking, [&] {
        const Counter changes(controller, &Measure::matrixChanged, &m_window);
        controller->SetMatrix(current);
        return changes.count() > 0 || fail(QStringLiteral("the controller did not take the matrix"));
    });
    timed(QStringLiteral("MatrixWrite"), Way::Window, [&] {
        const Counter changes(controller, &Measure::matrixChanged, &m_window);
        curWrite->click();
        return waitUntil([&changes] { return changes.count() > 0; }, QDeadlineTimer(kStateTimeoutMs))
               || fail(QStringLiteral("the controller did not take the table's matrix"));
    });
    // The table held the controller's own matrix, rounded: put back the exact one.
    controller->SetMatrix(current);
}
