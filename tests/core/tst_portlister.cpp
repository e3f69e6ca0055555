#include "portlister.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Which serial ports the user is offered, on lists given by the test.
class TestPortLister : public QObject
{
    Q_OBJECT

private slots:
    void offersOnlyPortsThatCanReachADevice();
    void extraPortsFollowTheSystemsOnce();
    void uartTypeFromTheKernel();
};

namespace {
QList<PortLister::Port> sampleSystem()
{
    return {
        {QStringLiteral("ttyS0"), QStringLiteral("/dev/ttyS0"), true},
        {QStringLiteral("ttyS1"), QStringLiteral("/dev/ttyS1"), false},
        {QStringLiteral("ttyUSB0"), QStringLiteral("/dev/ttyUSB0"), true},
        {QStringLiteral("ttyAMA0"), QStringLiteral("/dev/ttyAMA0"), true},
        {QStringLiteral("cu.usbserial-1"), QStringLiteral("/dev/cu.usbserial-1"), true},
        {QStringLiteral("tty.usbserial-1"), QStringLiteral("/dev/tty.usbserial-1"), true},
        {QStringLiteral("ttyACM0"), QStringLiteral("/dev/ttyACM0"), true},
        {QStringLiteral("ttyS31"), QStringLiteral("/dev/ttyS31"), false},
    };
}
} // namespace

void TestPortLister::offersOnlyPortsThatCanReachADevice()
{
    const QStringList offered = PortLister::offeredNames(sampleSystem(), {});
#if defined(Q_OS_MACOS)
    QCOMPARE(offered, QStringList{QStringLiteral("cu.usbserial-1")});
#else
    // USB adaptors and the on-board port with a UART, in the system's order;
    // no phantom ttyS, no macOS names.
    QCOMPARE(offered, (QStringList{QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0"),
                                   QStringLiteral("ttyACM0")}));
#endif
}

void TestPortLister::extraPortsFollowTheSystemsOnce()
{
    PortLister::setExtraPorts({QStringLiteral("/dev/pts/3"), QStringLiteral("pts/4"),
                               QStringLiteral("pts/3"), QString()});
    QCOMPARE(PortLister::extraPorts(),
             (QStringList{QStringLiteral("pts/3"), QStringLiteral("pts/4"), QStringLiteral("pts/3")}));
    const QStringList offered =
        PortLister::offeredNames({{QStringLiteral("ttyUSB0"), QStringLiteral("/dev/ttyUSB0"), true}},
                                 PortLister::extraPorts() + QStringList{QStringLiteral("ttyUSB0")});
#if defined(Q_OS_MACOS)
    QCOMPARE(offered, (QStringList{QStringLiteral("pts/3"), QStringLiteral("pts/4"),
                                   QStringLiteral("ttyUSB0")}));
#else
    QCOMPARE(offered, (QStringList{QStringLiteral("ttyUSB0"), QStringLiteral("pts/3"),
                                   QStringLiteral("pts/4")}));
#endif
    PortLister::setExtraPorts({});
    QVERIFY(PortLister::extraPorts().isEmpty());
}

void TestPortLister::uartTypeFromTheKernel()
{
    QTemporaryDir sysfs;
    QVERIFY(sysfs.isValid());
    const auto writeType = [&sysfs](const QString& name, const QByteArray& type) {
        QVERIFY(QDir(sysfs.path()).mkpath(name));
        QFile file(sysfs.filePath(name + QStringLiteral("/type")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(type);
    };
    writeType(QStringLiteral("ttyS0"), "4\n");
    writeType(QStringLiteral("ttyS1"), "0\n");
    writeType(QStringLiteral("ttyS2"), "garbage\n");
    QVERIFY(PortLister::kernelReportsUart(QStringLiteral("ttyS0"), sysfs.path()));
    QVERIFY(!PortLister::kernelReportsUart(QStringLiteral("ttyS1"), sysfs.path()));
    QVERIFY(!PortLister::kernelReportsUart(QStringLiteral("ttyS2"), sysfs.path()));
    QVERIFY(!PortLister::kernelReportsUart(QStringLiteral("ttyS9"), sysfs.path()));
}

QTEST_GUILESS_MAIN(TestPortLister)
#include "tst_portlister.moc"
