#include "csensor.h"
#include "messenger.h"
#include "recordingmessenger.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// A driver that records which GetColor ran, to show MeasureColor reaches the override.
class CountingSensor : public CSensor
{
    Q_OBJECT
public:
    using CSensor::CSensor;
    int startMeasure() override
    {
        measureDelay = 30;
        return 30;
    }
    CColor GetColor() override
    {
        ++calls;
        CColor c(0.1, 0.2, 0.3);
        emit colorChanged(c);
        return c;
    }
    int calls = 0;
};

class TestCSensor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void freshSensor();
    void baseReadingsFollowTheSeries();
    void initAndRelease();
    void measureColorDeliversThroughTheEventLoop();
    void measureColorCallsTheDriversOverride();
    void measureColorIsCancelledWithTheSensor();
    void comPortSetting();
    void messengerFallbackAndRecording();

private:
    QTemporaryDir m_settingsDir;
};

void TestCSensor::initTestCase()
{
    qRegisterMetaType<CColor>("CColor");
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestCSensor::freshSensor()
{
    const CSensor sensor;
    QCOMPARE(sensor.getName(), QStringLiteral("Unknow sensor"));
    QVERIFY(sensor.getSerialNumber().isEmpty());
    QVERIFY(sensor.getFirmwareVersion().isEmpty());
    QVERIFY(!sensor.getIsOpen());
    QVERIFY(!sensor.getHasComPort());
    QCOMPARE(sensor.getMeasureDelay(), 0);
    QVERIFY(sensor.getLastColor() == CColor(1, 2, 3));
    QCOMPARE(sensor.getSpectrum().GetCount(), 0);
}

void TestCSensor::baseReadingsFollowTheSeries()
{
    CSensor sensor;
    QSignalSpy spy(&sensor, &CSensor::colorChanged);
    QVERIFY(sensor.GetColor() == CColor(5, 8, 3));
    QVERIFY(sensor.GetColor() == CColor(11, 14, 3));
    QVERIFY(sensor.GetColor() == CColor(17, 20, 3));
    QCOMPARE(spy.count(), 3);
    QVERIFY(qvariant_cast<CColor>(spy.at(0).at(0)) == CColor(5, 8, 3));
    QVERIFY(qvariant_cast<CColor>(spy.at(2).at(0)) == CColor(17, 20, 3));
    QVERIFY(sensor.getLastColor() == CColor(17, 20, 3));
    QCOMPARE(sensor.startMeasure(), 500);
}

void TestCSensor::initAndRelease()
{
    CSensor sensor;
    QVERIFY(sensor.init(QStringLiteral("/dev/ttyUSB3")));
    QVERIFY(sensor.getIsOpen());
    QCOMPARE(sensor.getPortName(), QStringLiteral("/dev/ttyUSB3"));
    sensor.release();
    QVERIFY(!sensor.getIsOpen());
    QCOMPARE(sensor.getPortName(), QStringLiteral("/dev/ttyUSB3"));
}

void TestCSensor::measureColorDeliversThroughTheEventLoop()
{
    CSensor sensor;
    QSignalSpy spy(&sensor, &CSensor::colorChanged);
    sensor.MeasureColor();
    // Nothing happens before control returns to the event loop.
    QCOMPARE(spy.count(), 0);
    QVERIFY(spy.wait(2000));
    QCOMPARE(spy.count(), 1);
    QVERIFY(qvariant_cast<CColor>(spy.at(0).at(0)) == CColor(5, 8, 3));
}

void TestCSensor::measureColorCallsTheDriversOverride()
{
    CountingSensor sensor;
    QSignalSpy spy(&sensor, &CSensor::colorChanged);
    sensor.startMeasure();
    QElapsedTimer clock;
    clock.start();
    sensor.MeasureColor();
    QVERIFY(spy.wait(2000));
    // The reading is collected only after the driver's measureDelay.
    QVERIFY(clock.elapsed() >= 25);
    QCOMPARE(sensor.calls, 1);
    QVERIFY(qvariant_cast<CColor>(spy.at(0).at(0)) == CColor(0.1, 0.2, 0.3));
}

void TestCSensor::measureColorIsCancelledWithTheSensor()
{
    auto sensor = std::make_unique<CountingSensor>();
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);
    sensor->startMeasure();
    sensor->MeasureColor();
    sensor.reset();
    // A sentinel timer well after the sensor's delay: once it fires, the
    // cancelled call would have run already.
    bool sentinel = false;
    QTimer::singleShot(100, this, [&sentinel] { sentinel = true; });
    QTRY_VERIFY_WITH_TIMEOUT(sentinel, 2000);
    QCOMPARE(spy.count(), 0);
}

void TestCSensor::comPortSetting()
{
    QCOMPARE(CSensor::getComPort(), 0);
    CSensor::setComPort(4);
    QCOMPARE(CSensor::getComPort(), 4);

    // Stored where the other tools of the line expect it.
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"),
                             QStringLiteral("Brightfold-alignment"));
    QVERIFY(settings.fileName().startsWith(m_settingsDir.path()));
    QVERIFY(settings.fileName().endsWith(QStringLiteral("NVX/Brightfold-alignment.ini")));
    QCOMPARE(settings.value(QStringLiteral("sensor/port")).toInt(), 4);
}

void TestCSensor::messengerFallbackAndRecording()
{
    // Without an installed messenger, boxes go to the warning log and never block.
    QTest::ignoreMessage(QtWarningMsg, "Title : Something went wrong");
    Messenger::warning(nullptr, QStringLiteral("Title"), QStringLiteral("Something went wrong"));
    QTest::ignoreMessage(QtWarningMsg, "Q : Really?");
    QCOMPARE(Messenger::question(nullptr, QStringLiteral("Q"), QStringLiteral("Really?"),
                                 Messenger::Yes | Messenger::No, Messenger::No),
             Messenger::No);

    {
        RecordingMessenger recorder;
        recorder.queueAnswer(Messenger::Yes);
        Messenger::critical(nullptr, QStringLiteral("CA410"), QStringLiteral("Open failed"));
        QCOMPARE(Messenger::question(nullptr, QStringLiteral("Save"), QStringLiteral("Sure?")),
                 Messenger::Yes);
        QCOMPARE(recorder.shown().size(), 2);
        QCOMPARE(recorder.shown().at(0).icon, Messenger::Icon::Critical);
        QCOMPARE(recorder.shown().at(0).title, QStringLiteral("CA410"));
        QCOMPARE(recorder.shown().at(0).text, QStringLiteral("Open failed"));
        QCOMPARE(recorder.shown().at(1).buttons, Messenger::Buttons(Messenger::Yes | Messenger::No));
    }
    // The recorder uninstalled itself.
    QTest::ignoreMessage(QtWarningMsg, "T : after");
    Messenger::information(nullptr, QStringLiteral("T"), QStringLiteral("after"));
}

QTEST_GUILESS_MAIN(TestCSensor)
#include "tst_csensor.moc"
