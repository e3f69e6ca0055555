#include "astme1455method.h"
#include "certificate.h"
#include "fcmmmethod.h"
#include "fourcolourmethod.h"
#include "leastsquaresmethod.h"
#include "matchingfixtures.h"
#include "matrix.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace MatchingFixtures;

namespace {

std::unique_ptr<CorrectionMethod> makeMethod(const QString& name)
{
    for (auto& m : Certificate::standardMethods())
        if (m->name() == name)
            return std::move(m);
    return nullptr;
}

// The inverse by the colour library, not by the code under test.
Matrix3x3 inverseOf(const Matrix3x3& m)
{
    const double* rows[3] = {m[0].data(), m[1].data(), m[2].data()};
    const Matrix inverse = Matrix(rows, 3, 3).GetInverse();
    Matrix3x3 out{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = inverse(r, c);
    return out;
}

double maxAbsDiff(const Matrix3x3& a, const Matrix3x3& b)
{
    double worst = 0.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const double d = std::fabs(a[r][c] - b[r][c]);
            if (!(d <= worst))
                worst = d; // NaN sticks
        }
    return worst;
}

double relativeDiff(const Xyz& a, const Xyz& b)
{
    const double scale = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1])
                     + (a[2] - b[2]) * (a[2] - b[2]))
           / scale;
}

// Readings no 3 x 3 explains: each patch misread its own way, as a sensor
// whose spectral error differs between the display's primaries would.
std::vector<MatchingSample> distortedSamples()
{
    std::vector<MatchingSample> s = samples();
    const double offsets[][3] = {{1.02, 0.97, 1.01}, {0.99, 1.03, 0.96}, {1.04, 1.01, 0.98},
                                 {0.97, 1.02, 1.05}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k)
            s[static_cast<size_t>(i)].sensor[k] *= offsets[i][k];
    return s;
}

// A method whose arithmetic overflowed: what every method hands its result to.
class OverflowingMethod : public CorrectionMethod
{
public:
    QString name() const override { return QStringLiteral("overflowing"); }
    bool compute(const std::vector<MatchingSample>&, Matrix3x3* out, QString* error) const override
    {
        Matrix3x3 m{{{{1.0, 0.0, 0.0}}, {{0.0, std::numeric_limits<double>::infinity(), 0.0}}, {{0.0, 0.0, 1.0}}}};
        return accept(m, out, error);
    }
};

const QStringList kAllMethods{QStringLiteral("four-colour"), QStringLiteral("fcmm"),
                              QStringLiteral("astm-e1455"), QStringLiteral("least-squares")};

} // namespace

class TestCorrectionMethods : public QObject
{
    Q_OBJECT

private slots:
    void names();
    void recoversTheSensorsInverse_data();
    void recoversTheSensorsInverse();
    void fourColourMethodsAreExactOnWhiteAndPrimaryChromaticities_data();
    void fourColourMethodsAreExactOnWhiteAndPrimaryChromaticities();
    void threeColourMethodIsExactOnThePrimaries();
    void leastSquaresMinimisesItsWeightedResiduals_data();
    void leastSquaresMinimisesItsWeightedResiduals();
    void refusals_data();
    void refusals();
    void leastSquaresNeedsThreeIndependentPatches();
    void nonFiniteResultsAreRefused();
};

void TestCorrectionMethods::names()
{
    QStringList names;
    for (const auto& m : Certificate::standardMethods())
        names << m->name();
    QCOMPARE(names, kAllMethods);
}

void TestCorrectionMethods::recoversTheSensorsInverse_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<double>("noise");
    QTest::addColumn<double>("tolerance");
    for (const QString& m : kAllMethods) {
        QTest::newRow(qPrintable(m + QStringLiteral(" exact"))) << m << 0.0 << 1e-9;
        // A relative noise of 1e-4 on each channel moves a matrix whose
        // elements are about 1 by a few times that; 1e-3 leaves room for the
        // amplification by the primaries' overlap, and is still far below the
        // sensor's own error of 1e-2 ... 6e-2.
        QTest::newRow(qPrintable(m + QStringLiteral(" noisy"))) << m << 1e-4 << 1e-3;
    }
}

void TestCorrectionMethods::recoversTheSensorsInverse()
{
    QFETCH(QString, method);
    QFETCH(double, noise);
    QFETCH(double, tolerance);

    const auto m = makeMethod(method);
    QVERIFY(m);
    Matrix3x3 result{};
    QString error;
    QVERIFY2(m->compute(samples(kSensorError, noise), &result, &error), qPrintable(error));
    const double diff = maxAbsDiff(result, inverseOf(kSensorError));
    QVERIFY2(diff <= tolerance, qPrintable(QStringLiteral("off by %1").arg(diff)));
}

void TestCorrectionMethods::fourColourMethodsAreExactOnWhiteAndPrimaryChromaticities_data()
{
    QTest::addColumn<QString>("method");
    QTest::newRow("four-colour") << QStringLiteral("four-colour");
    QTest::newRow("fcmm") << QStringLiteral("fcmm");
}

void TestCorrectionMethods::fourColourMethodsAreExactOnWhiteAndPrimaryChromaticities()
{
    QFETCH(QString, method);
    const std::vector<MatchingSample> s = distortedSamples();
    Matrix3x3 m{};
    QString error;
    QVERIFY2(makeMethod(method)->compute(s, &m, &error), qPrintable(error));

    // White: all of X, Y and Z.
    const Xyz white = CorrectionMethod::apply(m, s[3].sensor);
    QVERIFY2(relativeDiff(white, s[3].reference) < 1e-12, qPrintable(s[3].name));
    // Primaries: their chromaticity, luminance left free.
    for (size_t i = 0; i < 3; ++i) {
        const auto corrected = xy(CorrectionMethod::apply(m, s[i].sensor));
        const auto reference = xy(s[i].reference);
        QVERIFY2(std::fabs(corrected[0] - reference[0]) < 1e-12, qPrintable(s[i].name));
        QVERIFY2(std::fabs(corrected[1] - reference[1]) < 1e-12, qPrintable(s[i].name));
    }
    // The distortion is not a 3 x 3, so the primaries' luminance cannot all be right too:
    // the property is not met by accident of an exact sensor.
    double worstY = 0.0;
    for (size_t i = 0; i < 3; ++i)
        worstY = std::max(worstY, std::fabs(CorrectionMethod::apply(m, s[i].sensor)[1] / s[i].reference[1] - 1.0));
    QVERIFY(worstY > 1e-4);
}

void TestCorrectionMethods::threeColourMethodIsExactOnThePrimaries()
{
    const std::vector<MatchingSample> s = distortedSamples();
    Matrix3x3 m{};
    QString error;
    QVERIFY2(AstmE1455Method().compute(s, &m, &error), qPrintable(error));
    for (size_t i = 0; i < 3; ++i)
        QVERIFY2(relativeDiff(CorrectionMethod::apply(m, s[i].sensor), s[i].reference) < 1e-12,
                 qPrintable(s[i].name));
    // White is not part of it, and the distortion makes it miss.
    QVERIFY(relativeDiff(CorrectionMethod::apply(m, s[3].sensor), s[3].reference) > 1e-3);
}

void TestCorrectionMethods::leastSquaresMinimisesItsWeightedResiduals_data()
{
    QTest::addColumn<bool>("inverseLuminance");
    QTest::newRow("1/Y") << true;
    QTest::newRow("uniform") << false;
}

void TestCorrectionMethods::leastSquaresMinimisesItsWeightedResiduals()
{
    QFETCH(bool, inverseLuminance);
    // Training patches of very different luminance, so the weighting matters.
    std::vector<MatchingSample> s = distortedSamples();
    for (MatchingSample& p : s)
        if (p.name == QLatin1String("grey 10") || p.name == QLatin1String("skin"))
            p.training = true;
    find(s, QStringLiteral("grey 10"))->sensor[1] *= 1.05;

    const LeastSquaresMethod method(inverseLuminance ? LeastSquaresMethod::Weighting::InverseLuminance
                                                     : LeastSquaresMethod::Weighting::Uniform);
    Matrix3x3 m{};
    QString error;
    QVERIFY2(method.compute(s, &m, &error), qPrintable(error));

    // Sum over training patches of |w (M s - r)|^2, w = 1/Y or 1.
    auto objective = [&](const Matrix3x3& candidate, bool relative) {
        double sum = 0.0;
        for (const MatchingSample& p : s) {
            if (!p.training)
                continue;
            const double w = relative ? 1.0 / p.reference[1] : 1.0;
            const Xyz c = CorrectionMethod::apply(candidate, p.sensor);
            for (int k = 0; k < 3; ++k)
                sum += w * w * (c[k] - p.reference[k]) * (c[k] - p.reference[k]);
        }
        return sum;
    };
    // At the minimum every small step in any element makes it worse.
    const double best = objective(m, inverseLuminance);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (double step : {1e-5, -1e-5}) {
                Matrix3x3 moved = m;
                moved[r][c] += step;
                QVERIFY2(objective(moved, inverseLuminance) > best,
                         qPrintable(QStringLiteral("element %1,%2 step %3").arg(r).arg(c).arg(step)));
            }
        }
    }
    // And the two weightings do give different fits here.
    const LeastSquaresMethod other(inverseLuminance ? LeastSquaresMethod::Weighting::Uniform
                                                    : LeastSquaresMethod::Weighting::InverseLuminance);
    Matrix3x3 m2{};
    QVERIFY(other.compute(s, &m2, &error));
    QVERIFY(objective(m2, inverseLuminance) > best);
}

void TestCorrectionMethods::refusals_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("mentions");
    for (const QString& m : kAllMethods) {
        QTest::newRow(qPrintable(m + QStringLiteral(" missing blue"))) << m << "missing blue" << "\"blue\"";
        QTest::newRow(qPrintable(m + QStringLiteral(" blue not training"))) << m << "blue validation" << "\"blue\"";
        QTest::newRow(qPrintable(m + QStringLiteral(" singular"))) << m << "singular" << "independent|dependent|admit";
        QTest::newRow(qPrintable(m + QStringLiteral(" NaN sensor"))) << m << "NaN sensor" << "\"green\"";
        QTest::newRow(qPrintable(m + QStringLiteral(" infinite reference"))) << m << "inf reference" << "\"red\"";
    }
}

void TestCorrectionMethods::refusals()
{
    QFETCH(QString, method);
    QFETCH(QString, fault);
    QFETCH(QString, mentions);

    std::vector<MatchingSample> s = samples();
    if (fault == QLatin1String("missing blue")) {
        s.erase(s.begin() + 2);
    } else if (fault == QLatin1String("blue validation")) {
        find(s, QStringLiteral("blue"))->training = false;
    } else if (fault == QLatin1String("singular")) {
        // Blue read as red and white inside their plane: no three of the
        // training readings span XYZ.
        MatchingSample* red = find(s, QStringLiteral("red"));
        MatchingSample* green = find(s, QStringLiteral("green"));
        find(s, QStringLiteral("blue"))->sensor = red->sensor;
        for (int k = 0; k < 3; ++k)
            find(s, QStringLiteral("white"))->sensor[k] = 2.0 * red->sensor[k] + green->sensor[k];
    } else if (fault == QLatin1String("NaN sensor")) {
        find(s, QStringLiteral("green"))->sensor[1] = std::numeric_limits<double>::quiet_NaN();
    } else if (fault == QLatin1String("inf reference")) {
        find(s, QStringLiteral("red"))->reference[2] = std::numeric_limits<double>::infinity();
    }

    const auto m = makeMethod(method);
    const Matrix3x3 untouched{{{{7.0, 7.0, 7.0}}, {{7.0, 7.0, 7.0}}, {{7.0, 7.0, 7.0}}}};
    Matrix3x3 out = untouched;
    QString error;
    QVERIFY(!m->compute(s, &out, &error));
    QVERIFY2(error.startsWith(method + QLatin1Char(':')), qPrintable(error));
    QVERIFY2(error.contains(QRegularExpression(mentions)), qPrintable(error));
    QCOMPARE(out, untouched);
}

void TestCorrectionMethods::leastSquaresNeedsThreeIndependentPatches()
{
    std::vector<MatchingSample> s = samples();
    const LeastSquaresMethod method;
    Matrix3x3 m{};
    QString error;
    // Two patches: too few whatever they are.
    QVERIFY(!method.fit({&s[0], &s[1]}, &m, &error));
    QVERIFY2(error.startsWith(QLatin1String("least-squares:")), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("fewer than three training patches")), qPrintable(error));
    // Five patches all mixes of red and green.
    const MatchingSample* yellow = find(s, QStringLiteral("yellow"));
    MatchingSample halfYellow = *yellow;
    for (int k = 0; k < 3; ++k) {
        halfYellow.sensor[k] *= 0.5;
        halfYellow.reference[k] *= 0.5;
    }
    error.clear();
    QVERIFY(!method.fit({&s[0], &s[1], yellow, &halfYellow}, &m, &error));
    QVERIFY2(error.contains(QLatin1String("independent")), qPrintable(error));
    // Three that span: accepted, and exact on them.
    QVERIFY2(method.fit({&s[0], &s[1], yellow, find(s, QStringLiteral("sky"))}, &m, &error), qPrintable(error));
    QVERIFY(maxAbsDiff(m, inverseOf(kSensorError)) < 1e-9);
}

void TestCorrectionMethods::nonFiniteResultsAreRefused()
{
    const Matrix3x3 untouched{};
    Matrix3x3 out = untouched;
    QString error;
    QVERIFY(!OverflowingMethod().compute(samples(), &out, &error));
    QVERIFY2(error.startsWith(QLatin1String("overflowing:")), qPrintable(error));
    QCOMPARE(out, untouched);

    // A sensor that reads a 1e-200 of the reference: the white's luminance
    // would need a factor beyond any double.
    std::vector<MatchingSample> s = samples();
    for (MatchingSample& p : s)
        for (int k = 0; k < 3; ++k) {
            p.sensor[k] *= 1e-200;
            p.reference[k] *= 1e150;
        }
    error.clear();
    QVERIFY(!FcmmMethod().compute(s, &out, &error));
    QVERIFY2(error.startsWith(QLatin1String("fcmm:")), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("luminance")), qPrintable(error));
    QCOMPARE(out, untouched);
}

QTEST_APPLESS_MAIN(TestCorrectionMethods)
#include "tst_correctionmethods.moc"
