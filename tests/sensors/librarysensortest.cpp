#include "librarysensortest.h"

#include "components.h"
#include "mappedfiles.h"
#include "matrixstore.h"
#include "recordingmessenger.h"
#include "sensorlibrary.h"

#include <QFile>
#include <QLibraryInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

std::unique_ptr<CSensor> LibrarySensorTest::openSensor()
{
    std::unique_ptr<CSensor> sensor = newSensor();
    if (!sensor->init(port()))
        qWarning("the instrument did not open");
    return sensor;
}

void LibrarySensorTest::missingLibraryIsNamed()
{
    RecordingMessenger messenger;
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    SensorLibrary::setExtraDirectories({empty.path()});
    const std::unique_ptr<CSensor> sensor = newSensor();
    QVERIFY(!sensor->init(port()));
    QVERIFY(!sensor->getIsOpen());
    const QString file = SensorLibrary::fileName(library());
    QCOMPARE(messenger.boxes(), QStringList{QStringLiteral("Warning %1: Can not open %2").arg(sensor->getName(), file)});

    // Never bound: a reading fails at once, and never passes for one.
    messenger.clear();
    QCOMPARE(sensor->startMeasure(), 100);
    QCOMPARE(messenger.texts().value(0), closedText());
    QVERIFY(sensor->GetColor().IsNoData());
}

void LibrarySensorTest::libraryWithoutTheFunctionsIsRefused()
{
    RecordingMessenger messenger;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = SensorLibrary::fileName(library());
    const QString other = QLibraryInfo::location(QLibraryInfo::LibrariesPath) + QStringLiteral("/libQt5Core.so.5");
    QVERIFY(QFile::link(other, dir.filePath(file)));
    SensorLibrary::setExtraDirectories({dir.path()});

    const std::unique_ptr<CSensor> sensor = newSensor();
    QVERIFY(!sensor->init(port()));
    QVERIFY(!sensor->getIsOpen());
    QCOMPARE(messenger.texts(), QStringList{QStringLiteral("Error resolve %1").arg(file)});
    sensor->release();
}

void LibrarySensorTest::openFailures_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QString>("text");
    addOpenFailures();
}

void LibrarySensorTest::openFailures()
{
    QFETCH(QByteArray, fault);
    QFETCH(QString, text);
    RecordingMessenger messenger;
    const std::unique_ptr<CSensor> sensor = newSensor();
    QVERIFY(!sensor->init(injectOpenFault(fault)));
    QVERIFY(!sensor->getIsOpen());
    if (identifiesOnlyWhenOpen())
        QVERIFY(sensor->getSerialNumber().isEmpty());
    QCOMPARE(messenger.boxes(), QStringList{QStringLiteral("Warning %1: %2").arg(sensor->getName(), text)});
    QCOMPARE(held(), 0);

    // The handle given up on the failure is not given up twice, and the fault
    // was a single one: the next attempt opens.
    sensor->release();
    QVERIFY(sensor->init(port()));
    QCOMPARE(held(), 1);
    QCOMPARE(messenger.shown().size(), 1);
}

void LibrarySensorTest::initReadsTheIdentityOnce()
{
    RecordingMessenger messenger;
    const std::unique_ptr<CSensor> sensor = openSensor();
    QVERIFY(sensor->getIsOpen());
    QCOMPARE(sensor->getSerialNumber(), serialNumber());
    QCOMPARE(sensor->getFirmwareVersion(), firmwareVersion());
    QCOMPARE(sensor->getPortName(), port());
    QVERIFY(messenger.shown().isEmpty());

    // Open already: the library is not asked again, whatever the port.
    const int opened = opens();
    QVERIFY(sensor->init(QStringLiteral("/dev/h9a-elsewhere")));
    QCOMPARE(opens(), opened);
    QCOMPARE(sensor->getPortName(), port());
}

void LibrarySensorTest::failedReadingIsTakenAgainInGetColor()
{
    RecordingMessenger messenger;
    const std::unique_ptr<CSensor> sensor = openSensor();
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);
    // A dim reading first, so a later retry must not average with it.
    setPatch(1.0, 5.0, 1.0);
    QCOMPARE(sensor->startMeasure(), waitFor(5.0));

    failReadings(1);
    QCOMPARE(sensor->startMeasure(), 100);
    QCOMPARE(messenger.texts(), QStringList{failureTexts().at(0)});
    afterFailedStart();
    setPatch(50.0, 60.0, 70.0);
    QCOMPARE(components(sensor->GetColor()), (QList<double>{50.0, 60.0, 70.0}));
    QCOMPARE(readings(), 3);
    QCOMPARE(spy.count(), 1);

    // Failing again: no reading, never a value.
    failReadings(2);
    QCOMPARE(sensor->startMeasure(), 100);
    QVERIFY(sensor->GetColor().IsNoData());
    QCOMPARE(messenger.texts(), QStringList{failureTexts().at(0)} + failureTexts());
    QCOMPARE(spy.count(), announcesNoData() ? 2 : 1);
    QVERIFY(spy.last().at(0).value<CColor>().IsNoData() == announcesNoData());
}

void LibrarySensorTest::blackIsAReading()
{
    RecordingMessenger messenger;
    const std::unique_ptr<CSensor> sensor = openSensor();
    setPatch(0.0, 0.0, 0.0);
    QCOMPARE(sensor->startMeasure(), waitFor(0.0));
    const CColor black = sensor->GetColor();
    QVERIFY(!black.IsNoData());
    QCOMPARE(components(black), (QList<double>{0.0, 0.0, 0.0}));
    QVERIFY(messenger.shown().isEmpty());
}

void LibrarySensorTest::readingSourceFeedsEveryReading()
{
    const std::unique_ptr<CSensor> sensor = openSensor();
    setPatch(10.0, 20.0, 30.0);
    // A probe looking at something that changes: each reading sees the next value.
    int taken = 0;
    setReadingSource([&taken] {
        ++taken;
        return std::array<double, 3>{{30.5, 40.0 + taken, 50.25}};
    });
    QCOMPARE(sensor->startMeasure(), waitFor(41.0));
    QCOMPARE(components(sensor->GetColor()), (QList<double>{30.5, 41.0, 50.25}));
    QCOMPARE(sensor->startMeasure(), waitFor(42.0));
    QCOMPARE(sensor->GetColor()[1], 42.0);
    QCOMPARE(taken, 2);
    QCOMPARE(readings(), 2);

    // Without a source the fixed patch is measured again.
    setReadingSource(nullptr);
    QCOMPARE(sensor->startMeasure(), waitFor(20.0));
    QCOMPARE(components(sensor->GetColor()), (QList<double>{10.0, 20.0, 30.0}));
    QCOMPARE(taken, 2);
}

void LibrarySensorTest::releaseAndDestroyGiveTheHandleBack()
{
    RecordingMessenger messenger;
    std::unique_ptr<CSensor> sensor = openSensor();
    QCOMPARE(held(), 1);
    sensor->release();
    QVERIFY(!sensor->getIsOpen());
    QCOMPARE(held(), 0);

    // Closed: nothing reaches the library, and a second release is harmless.
    QCOMPARE(sensor->startMeasure(), 100);
    QCOMPARE(messenger.texts(), QStringList{closedText()});
    sensor->release();
    QCOMPARE(readings(), 0);

    // Opened again and then dropped without release(): the handle still goes.
    QVERIFY(sensor->init(port()));
    QCOMPARE(held(), 1);
    setPatch(30.0, 40.0, 50.0);
    QCOMPARE(sensor->startMeasure(), waitFor(40.0));
    QCOMPARE(sensor->GetColor()[2], 50.0);
    sensor.reset();
    QCOMPARE(held(), 0);
}

void LibrarySensorTest::retriedInitLeavesNoLibraryMapped()
{
    const QString refused = refusedPort();
    if (refused.isNull())
        QSKIP("no port the library refuses");
    // A copy of its own, so that only this driver's loads of it are seen.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = SensorLibrary::fileName(library());
    QVERIFY(QFile::copy(SensorLibrary::locate(library()), dir.filePath(name)));
    const QString copy = QFileInfo(dir.filePath(name)).canonicalFilePath();
    SensorLibrary::setExtraDirectories({dir.path()});

    const std::unique_ptr<CSensor> sensor = newSensor();
    QVERIFY(!sensor->init(refused));
    QVERIFY(sensor->init(port()));
    QVERIFY(mappedFiles().contains(copy));
    sensor->release();
    QVERIFY2(!mappedFiles().contains(copy), qPrintable(copy));
}

void LibrarySensorTest::matricesKeepToTheirSlots()
{
    RecordingMessenger messenger;
    const std::unique_ptr<CSensor> sensor = openSensor();
    MatrixStore* const store = sensor->matrixStore();
    if (!store)
        QSKIP("the instrument keeps no matrices");
    double rows[3][3] = {{0.0, 0.0, 0.0}, {0.0, 2.5, 0.0}, {-2.25, 0.0, 0.0}};
    double* data[3] = {rows[0], rows[1], rows[2]};
    // Slots the instrument does not have are refused without asking it.
    for (const int slot : {-1, lastSlot() + 1}) {
        QCOMPARE(store->SaveCalfile(Calfile(data, slot, QStringLiteral("X"))), 1);
        QCOMPARE(store->DelCalfile(slot), 1);
    }
    QCOMPARE(saves(), 0);
    QCOMPARE(deletes(), 0);

    // 25 characters in, 18 stored, leaving room for the terminating zero.
    QCOMPARE(store->SaveCalfile(Calfile(data, lastSlot(), QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXY"))), 0);
    QCOMPARE(store->GetCalList(), QStringList{QStringLiteral("MAT[%1]_ABCDEFGHIJKLMNOPQR").arg(lastSlot())});
    const Calfile back = store->GetCalfile(0);
    QCOMPARE(back.GetId(), lastSlot());
    QCOMPARE(back(1, 1), 2.5);
    QCOMPARE(back(2, 0), -2.25);
    QCOMPARE(back(0, 0), 0.0);

    QCOMPARE(store->DelCalfile(lastSlot()), 0);
    QCOMPARE(store->DelCalfile(lastSlot()), 1);
    QVERIFY(store->GetCalList().isEmpty());
    QVERIFY(messenger.shown().isEmpty());
}
