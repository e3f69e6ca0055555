#include "calfile.h"

#include <QtTest>

namespace {
// Empty: slot 0, no name, all nine entries 0.
void verifyCleared(const Calfile& f)
{
    QCOMPARE(f.GetId(), 0);
    QVERIFY(f.GetName().isEmpty());
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            QCOMPARE(f(r, c), 0.0);
}
} // namespace

class TestCalfile : public QObject
{
    Q_OBJECT

private slots:
    void constructAndClear();
    void slotNumbers();
    void elementAccess();
};

void TestCalfile::constructAndClear()
{
    verifyCleared(Calfile());
    double r0[] = {1, 2, 3};
    double r1[] = {4, 5, 6};
    double r2[] = {7, 8, 9};
    double* rows[] = {r0, r1, r2};
    // The slot number is taken as given here; only SetId checks it.
    Calfile f(rows, 120, QStringLiteral("D65 panel"));
    QCOMPARE(f.GetId(), 120);
    QCOMPARE(f.GetName(), QStringLiteral("D65 panel"));
    QCOMPARE(f(1, 2), 6.0);
    QCOMPARE(f(2, 0), 7.0);
    f.Clear();
    verifyCleared(f);
}

void TestCalfile::slotNumbers()
{
    Calfile f;
    QCOMPARE(f.SetId(95), 0);
    QCOMPARE(f.GetId(), 95);
    for (int invalid : {96, -1}) {
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("SetId %1 invalid\n").arg(invalid)));
        QCOMPARE(f.SetId(invalid), 1);
    }
    QCOMPARE(f.GetId(), 95);
    QCOMPARE(f.SetId(0), 0);
}

void TestCalfile::elementAccess()
{
    Calfile f;
    QTest::ignoreMessage(QtDebugMsg, "SetData [2][1]=0.250000");
    QCOMPARE(f.SetData(2, 1, 0.25), 0);
    QCOMPARE(f(2, 1), 0.25);
    f(0, 0) = 3.0;

    // Out of range reads the first entry.
    QTest::ignoreMessage(QtDebugMsg, "invalid [3][0]");
    QCOMPARE(f(3, 0), 3.0);
    QTest::ignoreMessage(QtDebugMsg, "invalid [0][-1]");
    QCOMPARE(f(0, -1), 3.0);
    QTest::ignoreMessage(QtDebugMsg, "invalid [1][3]");
    QCOMPARE(f.SetData(1, 3, 9.0), 1);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            QVERIFY(f(r, c) != 9.0);
}

QTEST_GUILESS_MAIN(TestCalfile)
#include "tst_calfile.moc"
