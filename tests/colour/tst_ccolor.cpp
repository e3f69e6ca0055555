#include "ccolor.h"
#include "cspectrum.h"

#include <QtTest>

class TestCColor : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void chromaticityForms();
    void noDataPassesThroughConversions();
    void zeroColours();
    void spectrumOwnership();
    void travelsThroughQueuedSignals();
};

void TestCColor::construction()
{
    const CColor unit;
    QCOMPARE(unit[0], 1.0);
    QCOMPARE(unit[2], 1.0);
    QVERIFY(!unit.HasSpectrum());

    const CColor c(0.25, 0.5, 2.0);
    QCOMPARE(c.GetRows(), 3);
    QCOMPARE(c.GetColumns(), 1);
    QCOMPARE(c.GetLuminance(), 0.5);

    // From a 3x1 product, as the correction matrix gives it.
    const Matrix scale = Matrix::IdentityMatrix(3) * 2.0;
    const CColor corrected = scale * c;
    QCOMPARE(corrected[2], 4.0);
    // A product that failed must not be mistaken for a reading.
    QTest::ignoreMessage(QtDebugMsg, "\"mismatched matrices in multiplication\"");
    const CColor failed = Matrix(1.0, 2, 2) * c;
    QVERIFY(failed.IsNoData());

    QCOMPARE(noDataColor[0], -99999.99);
    QCOMPARE(noDataColor[1], -99999.99);
    QCOMPARE(noDataColor[2], -99999.99);
}

void TestCColor::chromaticityForms()
{
    const CColor d65(0.3127, 0.329);
    QCOMPARE(d65[1], 1.0);
    QVERIFY(qAbs(d65[0] - 0.3127 / 0.329) < 1e-15);
    const CColor xyY = d65.GetxyYValue();
    QVERIFY(qAbs(xyY[0] - 0.3127) < 1e-12);
    QVERIFY(qAbs(xyY[1] - 0.329) < 1e-12);
    QCOMPARE(xyY[2], 1.0);

    // Equal-energy white has u'v' (4/19, 9/19).
    const CColor e(1.0, 1.0, 1.0);
    const CColor uv = e.GetuvYValue();
    QVERIFY(qAbs(uv[0] - 4.0 / 19.0) < 1e-15);
    QVERIFY(qAbs(uv[1] - 9.0 / 19.0) < 1e-15);
    QCOMPARE(uv[2], 1.0);

    CColor back;
    back.SetxyYValue(CColor(0.64, 0.33, 21.26));
    const CColor again = back.GetxyYValue();
    QVERIFY(qAbs(again[0] - 0.64) < 1e-12);
    QVERIFY(qAbs(again[1] - 0.33) < 1e-12);
    QVERIFY(qAbs(again[2] - 21.26) < 1e-12);

    CColor target(7, 8, 9);
    target.SetXYZValue(CColor(1, 2, 3));
    QVERIFY(target == CColor(1, 2, 3));
    QVERIFY(target.GetXYZValue() == target);
    QVERIFY(target.GetSensorValue() == CColor(1, 1, 1));
}

void TestCColor::noDataPassesThroughConversions()
{
    QVERIFY(noDataColor.GetxyYValue().IsNoData());
    QVERIFY(noDataColor.GetuvYValue().IsNoData());
    QVERIFY(noDataColor.GetSensorValue().IsNoData());
    CColor c(1, 2, 3);
    c.SetxyYValue(noDataColor);
    QVERIFY(c.IsNoData());
    QVERIFY(!CColor(-99999.99, -99999.99, 0).IsNoData());
}

void TestCColor::zeroColours()
{
    const CColor black(0, 0, 0);
    QVERIFY(black.GetxyYValue() == CColor(0, 0, 0));
    QVERIFY(black.GetuvYValue() == CColor(0, 0, 0));
    QVERIFY(CColor(0.3, 0.0) == CColor(0, 0, 0));
}

void TestCColor::spectrumOwnership()
{
    CSpectrum s(380, 780, 401);
    float ramp[401];
    for (int i = 0; i < 401; ++i)
        ramp[i] = float(i);
    QVERIFY(s.SetData(0, 401, ramp));

    CColor a(1, 2, 3);
    a.SetSpectrum(s);
    QVERIFY(a.HasSpectrum());

    CColor copy(a);
    copy.ResetSpectrum();
    QVERIFY(a.HasSpectrum());
    QCOMPARE(a.GetSpectrum().GetData(500.0f), 120.0f);

    CColor assigned;
    assigned = a;
    a.ResetSpectrum();
    QVERIFY(assigned.HasSpectrum());
    QCOMPARE(assigned.GetSpectrum().GetCount(), 401);

    CColor& self = assigned;
    assigned = self;
    QVERIFY(assigned.HasSpectrum());
    QCOMPARE(assigned.GetSpectrum().GetData(380.5f), 0.5f);

    // Replacing a spectrum releases the old one (checked by the sanitizers).
    assigned.SetSpectrum(CSpectrum(400, 700, 301));
    QCOMPARE(assigned.GetSpectrum().GetStart(), 400);
    assigned = CColor(4, 5, 6);
    QVERIFY(!assigned.HasSpectrum());

    const CSpectrum none = CColor().GetSpectrum();
    QCOMPARE(none.GetRows(), 0);
    QCOMPARE(none.GetColumns(), 1);
    QCOMPARE(none.GetCount(), 0);
    QVERIFY(none.GetSamples().isEmpty());

    CColor moved(std::move(assigned));
    QCOMPARE(moved[1], 5.0);
}

// Carries a colour across threads the way the sensor's signal does.
class Emitter : public QObject
{
    Q_OBJECT
signals:
    void colorChanged(CColor c);
};

void TestCColor::travelsThroughQueuedSignals()
{
    qRegisterMetaType<CColor>("CColor");
    Emitter emitter;
    CColor received(0, 0, 0);
    QObject::connect(&emitter, &Emitter::colorChanged, this,
                     [&received](const CColor& c) { received = c; }, Qt::QueuedConnection);
    CColor sent(1.5, 2.5, 3.5);
    sent.SetSpectrum(CSpectrum(380, 780, 401));
    emit emitter.colorChanged(sent);
    sent = CColor(9, 9, 9);
    QTRY_VERIFY_WITH_TIMEOUT(received == CColor(1.5, 2.5, 3.5), 2000);
    QVERIFY(received.HasSpectrum());
}

QTEST_GUILESS_MAIN(TestCColor)
#include "tst_ccolor.moc"
