#include "csensor.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// A driver that counts its GetColor calls, to show MeasureColor reaches the override.
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
    void baseSensor();
    void measureColorCallsTheDriverAfterItsDelay();
    void measureColorIsCancelledWithTheSensor();
    void comPortSetting();

private:
    QTemporaryDir m_settingsDir;
};

void TestCSensor::initTestCase()
{
    qRegisterMetaType<CColor>("CColor");
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestCSensor::baseSensor()
{
    CSensor sensor;
    QCOMPARE(sensor.getName(), QStringLiteral("Unknow sensor"));
    QVERIFY(!sensor.getIsOpen());
    QCOMPARE(sensor.startMeasure(), 500);
    // Readings follow a series from (1, 2, 3), each one announced.
    QSignalSpy spy(&sensor, &CSensor::colorChanged);
    const CColor series[] = {CColor(5, 8, 3), CColor(11, 14, 3), CColor(17, 20, 3)};
    for (int i = 0; i < 3; ++i) {
        QVERIFY(sensor.GetColor() == series[i]);
        QVERIFY(qvariant_cast<CColor>(spy.at(i).at(0)) == series[i]);
    }
    QVERIFY(sensor.getLastColor() == series[2]);

    QVERIFY(sensor.init(QStringLiteral("/dev/ttyUSB3")));
    QVERIFY(sensor.getIsOpen());
    sensor.release();
    QVERIFY(!sensor.getIsOpen());
    QCOMPARE(sensor.getPortName(), QStringLiteral("/dev/ttyUSB3"));
}

void TestCSensor::measureColorCallsTheDriverAfterItsDelay()
{
    CountingSensor sensor;
    QSignalSpy spy(&sensor, &CSensor::colorChanged);
    sensor.startMeasure();
    QElapsedTimer clock;
    clock.start();
    sensor.MeasureColor();
    // Nothing happens before control returns to the event loop.
    QCOMPARE(spy.count(), 0);
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
    QCOMPARE(settings.fileName(), m_settingsDir.filePath(QStringLiteral("NVX/Brightfold-alignment.ini")));
    QCOMPARE(settings.value(QStringLiteral("sensor/port")).toInt(), 4);
}

QTEST_GUILESS_MAIN(TestCSensor)
#include "tst_csensor.moc"
