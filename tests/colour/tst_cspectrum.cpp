#include "ccolor.h"
#include "cspectrum.h"

#include <QtTest>

#include <cmath>

namespace {
CSpectrum ramp(int count)
{
    CSpectrum s(380, 380 + count - 1, count);
    std::vector<float> values(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        values[static_cast<size_t>(i)] = float(i);
    s.SetData(0, count, values.data());
    return s;
}
} // namespace

class TestCSpectrum : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void setDataBounds();
    void interpolation();
    void interpolationOnShortSpectraStaysInside();
    void copiesAreIndependent();
    void yieldsNoTristimulusValue();
};

void TestCSpectrum::construction()
{
    const CSpectrum empty;
    QCOMPARE(empty.GetRows(), 0);
    QCOMPARE(empty.GetCount(), 0);

    const CSpectrum sampled(380, 780, 401);
    QCOMPARE(sampled.GetSamples().size(), 401);
    QCOMPARE(sampled.GetSamples().at(400), 0.0f);
    QCOMPARE(sampled.GetRows(), 0);

    const CSpectrum column(5, 380, 780, 401);
    QCOMPARE(column.GetRows(), 5);
    QCOMPARE(column.GetColumns(), 1);
    QVERIFY(column.GetSamples().isEmpty());

    const double v[] = {0.5, 1.5, 2.5};
    CSpectrum filled(3, 400, 402, 3, v);
    QCOMPARE(filled[2], 2.5);
    filled[0] = 7.0;
    QCOMPARE(filled(0, 0), 7.0);
    QTest::ignoreMessage(QtDebugMsg, "\"out-of-bounds index\"");
    QVERIFY(std::isnan(static_cast<const CSpectrum&>(filled)[3]));
}

void TestCSpectrum::setDataBounds()
{
    CSpectrum s(380, 780, 401);
    std::vector<float> ones(402, 1.0f);
    QVERIFY(s.SetData(0, 401, ones.data()));
    QCOMPARE(s.GetSamples().at(400), 1.0f);

    CSpectrum t(380, 780, 401);
    QVERIFY(!t.SetData(1, 401, ones.data()));
    QVERIFY(!t.SetData(-1, 1, ones.data()));
    QCOMPARE(t.GetSamples().at(1), 0.0f);
    QVERIFY(t.SetData(400, 1, ones.data()));
    QCOMPARE(t.GetSamples().at(400), 1.0f);
    QVERIFY(t.SetData(10, 0, nullptr));
    QVERIFY(t.SetData(10, -5, ones.data()));
}

void TestCSpectrum::interpolation()
{
    const CSpectrum s = ramp(401);
    QCOMPARE(s.GetData(380.5f), 0.5f);
    QCOMPARE(s.GetData(550.0f), 170.0f);
    QCOMPARE(s.GetData(780.0f), 400.0f);
    QCOMPARE(s.GetData(790.0f), 410.0f);
    QCOMPARE(s.GetData(370.0f), -10.0f);
    // Far outside the grid the end interval is still extended, with no undefined
    // float-to-int conversion on the way.
    QVERIFY(s.GetData(1e30f) > 1e29f);
    QVERIFY(s.GetData(-1e30f) < -1e29f);
    QVERIFY(std::isnan(s.GetData(std::nanf(""))));
}

void TestCSpectrum::interpolationOnShortSpectraStaysInside()
{
    // Run under the sanitizers: none of these may read past the samples.
    const CSpectrum few = ramp(10);
    QCOMPARE(few.GetData(382.5f), 2.5f);
    QCOMPARE(few.GetData(600.0f), 220.0f); // the last interval, extended
    QCOMPARE(few.GetData(300.0f), -80.0f);
    QCOMPARE(ramp(1).GetData(500.0f), 0.0f);
    QVERIFY(std::isnan(CSpectrum().GetData(500.0f)));
    QVERIFY(std::isnan(CSpectrum(5, 380, 780, 401).GetData(500.0f)));
}

void TestCSpectrum::copiesAreIndependent()
{
    CSpectrum original = ramp(401);
    const CSpectrum copy(original);
    CSpectrum assigned;
    assigned = original;
    const float nine = 9.0f;
    QVERIFY(original.SetData(0, 1, &nine));
    QCOMPARE(copy.GetSamples().at(0), 0.0f);
    QCOMPARE(assigned.GetData(380.0f), 0.0f);
    QCOMPARE(original.GetData(380.0f), 9.0f);
}

void TestCSpectrum::yieldsNoTristimulusValue()
{
    QVERIFY(ramp(401).GetXYZValue() == noDataColor);
    QVERIFY(CSpectrum().GetXYZValue() == noDataColor);
}

QTEST_GUILESS_MAIN(TestCSpectrum)
#include "tst_cspectrum.moc"
