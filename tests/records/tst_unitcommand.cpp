// The unit id from an outside command: its first line, run without a shell,
// and no unit (with the reason) from one that fails, prints nothing, prints
// without end or takes too long.

#include "unitcommand.h"

#include <QSignalSpy>
#include <QtTest>

class TestUnitCommand : public QObject
{
    Q_OBJECT

private slots:
    void unit_data();
    void unit();
    void noUnit_data();
    void noUnit();
    void check();
};

void TestUnitCommand::unit_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("unit");
    QTest::newRow("first line, trimmed") << "sh -c \"printf '  SN-41 \\nnext\\n'\"" << "SN-41";
    // No shell: a ; is the word it is, not a second command.
    QTest::newRow("no shell") << "echo A;B $HOME" << "A;B $HOME";
    QTest::newRow("control characters dropped") << "printf \"SN\\0337\\n\"" << "SN7";
}

void TestUnitCommand::unit()
{
    QFETCH(QString, command);
    QFETCH(QString, unit);
    UnitCommand runner(command);
    QSignalSpy found(&runner, &UnitCommand::unitFound);
    QSignalSpy failed(&runner, &UnitCommand::failed);
    runner.run(QStringLiteral("session-1"));
    QVERIFY(found.wait(5000));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(found.first().at(0).toString(), QStringLiteral("session-1"));
    QCOMPARE(found.first().at(1).toString(), unit);
}

void TestUnitCommand::noUnit_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("why");
    QTest::newRow("fails") << "sh -c \"echo SN-1; exit 3\"" << "exit code 3";
    QTest::newRow("prints nothing") << "true" << "printed no unit";
    QTest::newRow("not there") << "/nonexistent/reader" << "cannot be started";
    QTest::newRow("prints without end") << "yes" << "printed more than";
}

void TestUnitCommand::noUnit()
{
    QFETCH(QString, command);
    QFETCH(QString, why);
    UnitCommand runner(command);
    QSignalSpy found(&runner, &UnitCommand::unitFound);
    QSignalSpy failed(&runner, &UnitCommand::failed);
    runner.run(QStringLiteral("session-2"));
    QVERIFY(failed.wait(5000));
    QCOMPARE(found.count(), 0);
    QCOMPARE(failed.first().at(0).toString(), QStringLiteral("session-2"));
    QVERIFY2(failed.first().at(1).toString().contains(why), qPrintable(failed.first().at(1).toString()));
}

void TestUnitCommand::check()
{
    QString error;
    QVERIFY(UnitCommand::check(QStringLiteral("reader --port x"), &error));
    QVERIFY(!UnitCommand::check(QStringLiteral("   "), &error));
    QVERIFY(error.contains(QLatin1String("nothing to run")));
}

QTEST_GUILESS_MAIN(TestUnitCommand)
#include "tst_unitcommand.moc"
