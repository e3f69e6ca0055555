#include "crmodes.h"
#include "crxxxemulator.h"
#include "csensor.h"
#include "instrumentworker.h"
#include "measure.h"
#include "monitoremulator.h"
#include "recordingmessenger.h"
#include "scriptedsensor.h"
#include "sensortable.h"
#include "serialport.h"
#include "waitbounds.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <memory>

using namespace std::chrono_literals;
using Fault = CrxxxEmulator::Fault;

namespace {

// A CR driver's reply deadline: long beside the stall and cancel bounds, short enough
// that a test run with the request on the main thread fails quickly.
constexpr int kCrDeadlineMs = 2000;
// How long a library call blocks in the scripted sensor.
constexpr int kLibraryCallMs = 400;

Measure::RequestResult resultOf(const QSignalSpy& spy, int i)
{
    return qvariant_cast<Measure::RequestResult>(spy.at(i).at(1));
}

Measure::Request requestOf(const QSignalSpy& spy, int i)
{
    return qvariant_cast<Measure::Request>(spy.at(i).at(0));
}

QList<bool> flags(const QSignalSpy& spy)
{
    QList<bool> all;
    for (const auto& arguments : spy)
        all << arguments.at(0).toBool();
    return all;
}

// A controller whose sensors are the real CR driver with a short deadline
// (type 13), or a scripted stand-in for a library driver (any other type).
struct Rig {
    Rig()
    {
        measure->setSensorFactory([this](int type) -> CSensor* {
            if (type == 13) {
                CSensor* cr = SensorTable::createForWindow(type);
                cr->crModes()->setReadDeadline(kCrDeadlineMs);
                return cr;
            }
            scripted = new ScriptedSensor;
            return scripted;
        });
    }

    QString crPort() const { return QString::fromStdString(instrument.portName()); }
    QString monitorPort() const { return QString::fromStdString(monitor.portName()); }

    RecordingMessenger messages;
    CrxxxEmulator instrument{CrxxxEmulator::cr250()};
    MonitorEmulator monitor;
    std::unique_ptr<Measure> measure = std::make_unique<Measure>();
    ScriptedSensor* scripted = nullptr; // owned by the controller
};

} // namespace

class TestInstrumentWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void requestsRunOffTheMainThread();
    void armedReadingGivesWayToARequest();
    void cancelEndsASerialWait_data();
    void cancelEndsASerialWait();
    void cancelOfALibraryCallIsAppliedOnReturn_data();
    void cancelOfALibraryCallIsAppliedOnReturn();
    void pendingRequestRefusesWhatUsesItsInstrument();
    void alignmentRefusesRequests();

private:
    QTemporaryDir m_settings;
};

void TestInstrumentWorker::initTestCase()
{
    QVERIFY(m_settings.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
}

void TestInstrumentWorker::requestsRunOffTheMainThread()
{
    Rig rig;
    QSignalSpy finished(rig.measure.get(), &Measure::requestFinished);
    QSignalSpy connected(rig.measure.get(), &Measure::sensorConnected);
    QSignalSpy corrected(rig.measure.get(), &Measure::colorChanged);
    QSignalSpy busy(rig.measure.get(), &Measure::instrumentBusyChanged);

    QVERIFY(rig.measure->requestConnectSensor(7, QString()));
    QVERIFY(rig.measure->isInstrumentBusy());
    QCOMPARE(rig.measure->instrumentWaitText(), QStringLiteral("Connecting the sensor"));
    QVERIFY(finished.wait(3000));
    QCOMPARE(requestOf(finished, 0), Measure::Request::ConnectSensor);
    QCOMPARE(resultOf(finished, 0), Measure::RequestResult::Succeeded);
    QCOMPARE(flags(connected), QList<bool>{true});
    QVERIFY(rig.measure->currentSensor()->getIsOpen());
    QVERIFY(!rig.measure->isInstrumentBusy());
    QCOMPARE(flags(busy), (QList<bool>{true, false}));

    // The reading is corrected and announced on the main thread.
    const double scale[] = {2, 0, 0, 0, 1, 0, 0, 0, 0.5};
    rig.measure->SetMatrix(Matrix(scale, 3, 3));
    rig.scripted->queueReading(CColor(10, 20, 30));
    QVERIFY(rig.measure->requestSingleMeasure());
    QVERIFY(finished.wait(3000));
    QCOMPARE(resultOf(finished, 1), Measure::RequestResult::Succeeded);
    QCOMPARE(corrected.count(), 1);
    QVERIFY(qvariant_cast<CColor>(corrected.at(0).at(0)) == CColor(20, 20, 15));

    // A dialog's job runs on the instrument thread, its answer on this one.
    QThread* jobThread = nullptr;
    QThread* doneThread = nullptr;
    QVariant answer;
    QObject dialog;
    QVERIFY(rig.measure->runInstrumentJob(
        QStringLiteral("Reading the list"),
        [&jobThread] {
            jobThread = QThread::currentThread();
            return QVariant(42);
        },
        &dialog,
        [&](QVariant result) {
            doneThread = QThread::currentThread();
            answer = result;
        }));
    QVERIFY(finished.wait(3000));
    QVERIFY(jobThread && jobThread != QThread::currentThread());
    QCOMPARE(doneThread, QThread::currentThread());
    QCOMPARE(answer.toInt(), 42);

    // The port scan lets go of the sensor.
    QVERIFY(rig.measure->requestRelease(true, false));
    QVERIFY(finished.wait(3000));
    QCOMPARE(requestOf(finished, 3), Measure::Request::Release);
    QVERIFY(!rig.measure->currentSensor());
    QVERIFY(rig.messages.shown().isEmpty());
}

void TestInstrumentWorker::armedReadingGivesWayToARequest()
{
    Rig rig;
    QVERIFY(rig.measure->initSensor(7, QString()));
    rig.scripted->setMeasureDelay(200);
    QSignalSpy finished(rig.measure.get(), &Measure::requestFinished);
    QSignalSpy corrected(rig.measure.get(), &Measure::colorChanged);
    // The synchronous reading would be collected on this thread while the
    // request reads on the instrument thread.
    rig.measure->doSingleMeasure();
    QVERIFY(rig.scripted->isReadingPending());
    QVERIFY(rig.measure->requestSingleMeasure());
    QVERIFY(!rig.scripted->isReadingPending());
    QVERIFY(finished.wait(3000));
    QCOMPARE(resultOf(finished, 0), Measure::RequestResult::Succeeded);
    QCOMPARE(rig.scripted->startCalls.load(), 2);
    QCOMPARE(rig.scripted->colorCalls.load(), 1);
    QCOMPARE(corrected.count(), 1);
    QVERIFY(rig.messages.shown().isEmpty());
}

void TestInstrumentWorker::cancelEndsASerialWait_data()
{
    QTest::addColumn<bool>("reading");
    QTest::addColumn<QString>("command");
    QTest::newRow("connect, identity unanswered") << false << "RC ID";
    QTest::newRow("connect, model unanswered") << false << "RC Model";
    QTest::newRow("reading unanswered") << true << "M";
    QTest::newRow("reading's values unanswered") << true << "RM XYZ";
}

void TestInstrumentWorker::cancelEndsASerialWait()
{
    QFETCH(bool, reading);
    QFETCH(QString, command);
    Rig rig;
    QVERIFY(rig.instrument.start());
    if (reading)
        QVERIFY(rig.measure->initSensor(13, rig.crPort()));
    rig.instrument.setFault(command.toStdString(), Fault::Silence);
    rig.instrument.clearCommands();
    QSignalSpy finished(rig.measure.get(), &Measure::requestFinished);
    QSignalSpy corrected(rig.measure.get(), &Measure::colorChanged);
    QSignalSpy connected(rig.measure.get(), &Measure::sensorConnected);

    StallProbe probe;

    probe.start();
    QVERIFY(reading ? rig.measure->requestSingleMeasure() : rig.measure->requestConnectSensor(13, rig.crPort()));
    // Pending on the command the instrument leaves unanswered.
    QTRY_VERIFY_WITH_TIMEOUT(rig.instrument.hasReceived(command.toStdString()), 3000);
    QVERIFY(rig.measure->isInstrumentBusy());
    QVERIFY(finished.isEmpty());

    QElapsedTimer clock;
    clock.start();
    rig.measure->cancelInstrumentRequest();
    QVERIFY(finished.wait(1000));
    VERIFY_CANCEL_IN_TIME(clock);
    VERIFY_NO_STALL(probe);
    QCOMPARE(resultOf(finished, 0), Measure::RequestResult::Cancelled);
    QVERIFY(corrected.isEmpty());
    QVERIFY(!rig.measure->isInstrumentBusy());
    // What failed because of the cancel is not told as news.
    QCOMPARE(rig.messages.boxes(), QStringList());

    CSensor* sensor = rig.measure->currentSensor();
    QVERIFY(sensor);
    if (!reading) {
        // Nothing connected, and the port is free for the next attempt.
        QVERIFY(!sensor->getIsOpen());
        QCOMPARE(flags(connected), QList<bool>{false});
        SerialPort port(Measure::devicePath(rig.crPort()));
        QVERIFY2(port.open(), qPrintable(port.errorString()));
        port.close();
        return;
    }
    // A cancelled reading changes nothing: the sensor stays open, and its
    // waits work again for the next reading.
    QVERIFY(sensor->getIsOpen());
    QVERIFY(connected.isEmpty());
    rig.instrument.clearFaults();
    CrxxxEmulator::Config config = rig.instrument.config();
    config.x = 11.5;
    config.y = 12.5;
    config.z = 13.5;
    rig.instrument.setConfig(config);
    QVERIFY(rig.measure->requestSingleMeasure());
    QVERIFY(finished.wait(3000));
    QCOMPARE(resultOf(finished, 1), Measure::RequestResult::Succeeded);
    QCOMPARE(corrected.count(), 1);
    QVERIFY(qvariant_cast<CColor>(corrected.at(0).at(0)) == CColor(11.5, 12.5, 13.5));
}

void TestInstrumentWorker::cancelOfALibraryCallIsAppliedOnReturn_data()
{
    QTest::addColumn<bool>("reading");
    QTest::newRow("connect") << false;
    QTest::newRow("reading") << true;
}

void TestInstrumentWorker::cancelOfALibraryCallIsAppliedOnReturn()
{
    QFETCH(bool, reading);
    Rig rig;
    if (reading) {
        QVERIFY(rig.measure->initSensor(7, QString()));
        rig.scripted->setColorDuration(kLibraryCallMs);
    }
    QSignalSpy finished(rig.measure.get(), &Measure::requestFinished);
    QSignalSpy corrected(rig.measure.get(), &Measure::colorChanged);
    QSignalSpy connected(rig.measure.get(), &Measure::sensorConnected);

    StallProbe probe;

    probe.start();
    if (reading) {
        QVERIFY(rig.measure->requestSingleMeasure());
    } else {
        // The factory hands out a new scripted sensor for the request.
        rig.measure->setSensorFactory([&rig](int) -> CSensor* {
            rig.scripted = new ScriptedSensor;
            rig.scripted->setInitDuration(kLibraryCallMs);
            return rig.scripted;
        });
        QVERIFY(rig.measure->requestConnectSensor(7, QString()));
    }
    ScriptedSensor* sensor = rig.scripted;
    const std::atomic<bool>& inside = reading ? sensor->insideColor : sensor->insideInit;
    QTRY_VERIFY_WITH_TIMEOUT(inside.load(), 3000);

    rig.measure->cancelInstrumentRequest();
    // The library call goes on; the request is answered once it returns.
    QVERIFY(finished.wait(3000));
    QVERIFY(!inside.load());
    QCOMPARE(reading ? sensor->colorCalls.load() : sensor->initCalls.load(), 1);
    QCOMPARE(resultOf(finished, 0), Measure::RequestResult::Cancelled);
    VERIFY_NO_STALL(probe);
    // Its result is dropped: no reading, no sensor left open.
    QVERIFY(corrected.isEmpty());
    if (reading) {
        QVERIFY(sensor->getIsOpen());
        QVERIFY(connected.isEmpty());
    } else {
        QVERIFY(!sensor->getIsOpen());
        QCOMPARE(sensor->releaseCalls.load(), 1);
        QCOMPARE(flags(connected), QList<bool>{false});
    }
}

void TestInstrumentWorker::pendingRequestRefusesWhatUsesItsInstrument()
{
    Rig rig;
    QVERIFY(rig.monitor.start());
    QVERIFY(rig.measure->initSensor(7, QString()));
    rig.measure->initMonitor();
    QVERIFY(rig.measure->connectMonitor(rig.monitorPort()));
    // A reading that waits long before it is collected.
    rig.scripted->setMeasureDelay(60000);
    QSignalSpy finished(rig.measure.get(), &Measure::requestFinished);
    QSignalSpy corrected(rig.measure.get(), &Measure::colorChanged);

    StallProbe probe;

    probe.start();
    QVERIFY(rig.measure->requestSingleMeasure());
    QTRY_COMPARE_WITH_TIMEOUT(rig.scripted->startCalls.load(), 1, 3000);

    const QString waiting = QStringLiteral("Waiting for the instrument: Measuring. Try again when it has answered, "
                                           "or cancel.");
    bool jobRan = false;
    QVERIFY(!rig.measure->requestSingleMeasure());
    QVERIFY(!rig.measure->runInstrumentJob(
        QStringLiteral("Reading the list"), [&jobRan] { jobRan = true; return QVariant(); }, nullptr, {}));
    QVERIFY(!rig.measure->requestConnectSensor(7, QString()));
    QVERIFY(!rig.measure->requestRelease(true, true));
    rig.measure->doSingleMeasure();
    QVERIFY(!rig.measure->doAlignment());
    QCOMPARE(rig.measure->alignmentState(), Measure::AlignmentState::Off);
    QCOMPARE(rig.messages.boxes(), (QStringList{
                                       QStringLiteral("Warning Single measure: ") + waiting,
                                       QStringLiteral("Warning Warning: ") + waiting,
                                       QStringLiteral("Warning Sensor: ") + waiting,
                                       QStringLiteral("Warning Warning: ") + waiting,
                                       QStringLiteral("Warning Single measure: ") + waiting,
                                       QStringLiteral("Warning Error!: ") + waiting,
                                   }));
    QCOMPARE(rig.scripted->startCalls.load(), 1);

    // The monitor is another instrument: its request goes ahead meanwhile.
    QVERIFY(rig.measure->requestConnectMonitor(rig.monitorPort()));
    QVERIFY(finished.wait(3000));
    QCOMPARE(requestOf(finished, 0), Measure::Request::ConnectMonitor);
    QCOMPARE(resultOf(finished, 0), Measure::RequestResult::Succeeded);
    QVERIFY(rig.measure->isInstrumentBusy());

    // The wait for the reading is the program's own: cancelled at once.
    QElapsedTimer clock;
    clock.start();
    rig.measure->cancelInstrumentRequest();
    QVERIFY(finished.wait(1000));
    VERIFY_CANCEL_IN_TIME(clock);
    QCOMPARE(resultOf(finished, 1), Measure::RequestResult::Cancelled);
    QCOMPARE(rig.scripted->colorCalls.load(), 0);
    QVERIFY(corrected.isEmpty());
    QVERIFY(!jobRan);
    VERIFY_NO_STALL(probe);

    // Deleting the sensor under a pending request cancels it and waits.
    QVERIFY(rig.measure->requestSingleMeasure());
    QTRY_COMPARE_WITH_TIMEOUT(rig.scripted->startCalls.load(), 2, 3000);
    rig.measure->releaseSensor();
    QCOMPARE(finished.count(), 3);
    QCOMPARE(resultOf(finished, 2), Measure::RequestResult::Cancelled);
    QVERIFY(!rig.measure->isInstrumentBusy());
}

void TestInstrumentWorker::alignmentRefusesRequests()
{
    Rig rig;
    QVERIFY(rig.monitor.start());
    QVERIFY(rig.measure->initSensor(7, QString()));
    rig.measure->initMonitor();
    QVERIFY(rig.measure->connectMonitor(rig.monitorPort()));
    QVERIFY(rig.measure->doAlignment());
    bool jobRan = false;
    QVERIFY(!rig.measure->requestSingleMeasure());
    QVERIFY(!rig.measure->runInstrumentJob(
        QStringLiteral("Reading the list"), [&jobRan] { jobRan = true; return QVariant(); }, nullptr, {}));
    QVERIFY(!rig.measure->requestConnectMonitor(rig.monitorPort()));
    QCOMPARE(rig.messages.boxes(), (QStringList{QStringLiteral("Warning Single measure: Alignment is on."),
                                                QStringLiteral("Warning Warning: Alignment is on."),
                                                QStringLiteral("Warning Monitor: Alignment is on.")}));
    QVERIFY(!rig.measure->isInstrumentBusy());
    QVERIFY(!rig.measure->doAlignment());
    QTRY_COMPARE_WITH_TIMEOUT(rig.measure->alignmentState(), Measure::AlignmentState::Off, 3000);
    QVERIFY(!jobRan);
}

QTEST_MAIN(TestInstrumentWorker)
#include "tst_instrumentworker.moc"
