#include "csensor.h"
#include "sensortable.h"

#include <QtTest>

#include <memory>

// The one table every program reads: the names and ports of the fourteen
// types, which drivers exist, which the window creates, and what each driver
// hands out beyond CSensor.
class TestSensorTable : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void outsideTheTableNothingIsCreated();
};

void TestSensorTable::rows_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hasCom");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("byWindow");
    QTest::addColumn<QString>("library");
    QTest::addColumn<bool>("storesMatrices");
    QTest::addColumn<bool>("hasCrModes");

    const QString none;
    QTest::newRow("no sensor") << 0 << QString() << false << none << false << none << false << false;
    QTest::newRow("Spyder 3") << 1 << "Spyder 3" << false << none << false << none << false << false;
    QTest::newRow("Spyder 4") << 2 << "Spyder 4" << false << none << false << none << false << false;
    QTest::newRow("Chroma 5") << 3 << "Chroma 5" << false << none << false << none << false << false;
    QTest::newRow("i1Display Pro") << 4 << "I1Display Pro" << false << "I1d3Sensor" << true
                                   << "libmlink_i1d3" << true << false;
    QTest::newRow("K-10") << 5 << "K-10" << true << "K10Sensor" << true << "libmlink_k10" << true << false;
    QTest::newRow("PR-6xx") << 6 << "PR-6xx" << true << "PR6xxSensor" << false << none << false << false;
    QTest::newRow("CA-410") << 7 << "CA410" << true << "CA410Sensor" << true << "libmlink_ca410" << false
                            << false;
    QTest::newRow("CA-210/310") << 8 << "CA-210/310" << false << none << false << none << false << false;
    QTest::newRow("CS-200") << 9 << "CS-200" << false << none << false << none << false << false;
    QTest::newRow("CS-2000") << 10 << "CS-2000" << true << "CS2000Sensor" << false << none << false << false;
    QTest::newRow("OTO") << 11 << "OTO" << false << none << false << none << false << false;
    QTest::newRow("Avants") << 12 << "Avants" << false << none << false << none << false << false;
    QTest::newRow("CR-100/CR-250") << 13 << "CR100/CR250" << true << "CRXXXCensor" << true << none << false
                                   << true;
}

void TestSensorTable::rows()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(bool, hasCom);
    QFETCH(QString, driver);
    QFETCH(bool, byWindow);
    QFETCH(QString, library);
    QFETCH(bool, storesMatrices);
    QFETCH(bool, hasCrModes);

    const SensorTypeRow& row = SensorTable::row(type);
    QCOMPARE(row.type, type);
    QCOMPARE(strSensors[size_t(type)], name);
    QCOMPARE(QString::fromLatin1(row.name), name);
    QCOMPARE(sensorHasCom[size_t(type)], hasCom);
    QCOMPARE(row.createdByWindow, byWindow);
    QCOMPARE(SensorTable::libraryOf(type), library);

    // The row's own way of creating, which a later user of the reference
    // instruments takes, whatever the window does.
    QCOMPARE(row.create != nullptr, !driver.isEmpty());
    if (!row.create)
        return;
    const std::unique_ptr<CSensor> made(row.create());
    QCOMPARE(QString::fromLatin1(made->metaObject()->className()), driver);
    QCOMPARE(made->getName(), name);
    QCOMPARE(made->getHasComPort(), hasCom);
    QCOMPARE(made->matrixStore() != nullptr, storesMatrices);
    QCOMPARE(made->crModes() != nullptr, hasCrModes);

    // The window's factory: the drivers it offers, nothing for the rest.
    const std::unique_ptr<CSensor> offered(SensorTable::createForWindow(type));
    QCOMPARE(offered != nullptr, byWindow);
    if (offered)
        QCOMPARE(QString::fromLatin1(offered->metaObject()->className()), driver);
}

void TestSensorTable::outsideTheTableNothingIsCreated()
{
    for (const int type : {-1, kSensorTypeCount, 1000}) {
        const std::unique_ptr<CSensor> made(SensorTable::createForWindow(type));
        QVERIFY2(!made, qPrintable(QString::number(type)));
        QCOMPARE(SensorTable::libraryOf(type), QString());
    }
    QCOMPARE(int(SensorTable::rows().size()), kSensorTypeCount);
}

QTEST_GUILESS_MAIN(TestSensorTable)
#include "tst_sensortable.moc"
