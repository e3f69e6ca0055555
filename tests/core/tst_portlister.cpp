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
PortLister::Port port(const char* name, bool hasUart = true)
{
    return {QString::fromLatin1(name), QStringLiteral("/dev/") + QString::fromLatin1(name), hasUart};
}
} // namespace

void TestPortLister::offersOnlyPortsThatCanReachADevice()
{
    const QStringList offered = PortLister::offeredNames(
        {port("ttyS0"), port("ttyS1", false), port("ttyUSB0"), port("ttyAMA0"), port("cu.usbserial-1"),
         port("tty.usbserial-1"), port("ttyACM0"), port("ttyS31", false)},
        {});
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
        PortLister::offeredNames({port("ttyUSB0")}, PortLister::extraPorts() + QStringList{QStringLiteral("ttyUSB0")});
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
    // Type 0 is no UART; what is not a number, or not there, is none either.
    const QList<QPair<QString, QByteArray>> types{{QStringLiteral("ttyS0"), "4\n"},
                                                  {QStringLiteral("ttyS1"), "0\n"},
                                                  {QStringLiteral("ttyS2"), "garbage\n"}};
    for (const auto& type : types) {
        QVERIFY(QDir(sysfs.path()).mkpath(type.first));
        QFile file(sysfs.filePath(type.first + QStringLiteral("/type")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(type.second);
    }
    QVERIFY(PortLister::kernelReportsUart(QStringLiteral("ttyS0"), sysfs.path()));
    for (const char* none : {"ttyS1", "ttyS2", "ttyS9"})
        QVERIFY(!PortLister::kernelReportsUart(QString::fromLatin1(none), sysfs.path()));
}

QTEST_GUILESS_MAIN(TestPortLister)
#include "tst_portlister.moc"
