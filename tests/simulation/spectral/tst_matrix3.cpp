// The 3 x 3 arithmetic the models fit their corrections with.
#include "matrix3.h"

#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(Matrix3)

namespace {

Matrix3 rows(const Vec3& a, const Vec3& b, const Vec3& c)
{
    return Matrix3::fromColumns(a, b, c).transposed();
}

double largestDifference(const Matrix3& a, const Matrix3& b)
{
    double d = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            d = std::max(d, std::fabs(a(i, j) - b(i, j)));
    return d;
}

} // namespace

class TestMatrix3 : public QObject
{
    Q_OBJECT

private slots:
    void inverse_data();
    void inverse();
    void fitRecoversTheMatrixThatMadeThePairs_data();
    void fitRecoversTheMatrixThatMadeThePairs();
    void fitRefusesTooFewDirections();
};

void TestMatrix3::inverse_data()
{
    QTest::addColumn<Matrix3>("m");
    QTest::addColumn<bool>("invertible");
    // sRGB's primaries to XYZ: far from symmetric, as readings are.
    QTest::newRow("sRGB to XYZ") << rows({0.4124, 0.3576, 0.1805}, {0.2126, 0.7152, 0.0722}, {0.0193, 0.1192, 0.9505})
                                 << true;
    QTest::newRow("permutation with scale") << rows({0, 2, 0}, {0, 0, 3}, {5, 0, 0}) << true;
    QTest::newRow("large entries") << rows({1e4, 2e3, 0}, {-3e3, 5e4, 1e3}, {0, 7e2, 9e4}) << true;
    QTest::newRow("rank two") << rows({1, 2, 3}, {2, 4, 6}, {0, 1, 1}) << false;
    QTest::newRow("zero") << Matrix3() << false;
}

void TestMatrix3::inverse()
{
    QFETCH(Matrix3, m);
    QFETCH(bool, invertible);
    bool ok = !invertible;
    const Matrix3 inverse = m.inverted(&ok);
    QCOMPARE(ok, invertible);
    if (invertible) {
        QVERIFY(largestDifference(m * inverse, Matrix3::identity()) < 1e-12);
        QVERIFY(largestDifference(inverse * m, Matrix3::identity()) < 1e-12);
    }
}

void TestMatrix3::fitRecoversTheMatrixThatMadeThePairs_data()
{
    QTest::addColumn<int>("pairs");
    QTest::newRow("three") << 3;
    QTest::newRow("four") << 4;
    QTest::newRow("twelve") << 12;
}

void TestMatrix3::fitRecoversTheMatrixThatMadeThePairs()
{
    QFETCH(int, pairs);
    const Matrix3 truth = rows({1.02, -0.03, 0.01}, {0.015, 0.98, -0.02}, {-0.004, 0.03, 1.05});
    std::vector<Vec3> from, to;
    for (int k = 0; k < pairs; ++k) {
        const Vec3 f{1.0 + k % 3 + 0.1 * k, 2.0 - 0.3 * k + (k % 2), 0.5 + 0.7 * (k % 4)};
        from.push_back(f);
        to.push_back(truth * f);
    }
    bool ok = false;
    const Matrix3 fitted = Matrix3::fit(from, to, {}, &ok);
    QVERIFY(ok);
    QVERIFY2(largestDifference(fitted, truth) < 1e-10, qPrintable(QString::number(largestDifference(fitted, truth))));
    // With pairs that do not agree, least squares leaves the residue where
    // the weight is least: a heavily weighted pair is met within a fraction
    // of a percent of the 0.5 it disagrees by.
    if (pairs > 3) {
        to.back()[1] += 0.5;
        std::vector<double> weights(pairs, 1.0);
        weights.back() = 1e4;
        const Matrix3 weighted = Matrix3::fit(from, to, weights, &ok);
        QVERIFY(ok);
        const Vec3 met = weighted * from.back();
        for (int i = 0; i < 3; ++i)
            QVERIFY2(std::fabs(met[i] - to.back()[i]) < 1e-3, qPrintable(QString::number(met[i] - to.back()[i])));
        QVERIFY(largestDifference(weighted, truth) > 1e-3);
    }
}

void TestMatrix3::fitRefusesTooFewDirections()
{
    // Four pairs, but all in one plane: the third direction is unknown.
    const std::vector<Vec3> from{{1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, -1, 0}};
    bool ok = true;
    const Matrix3 m = Matrix3::fit(from, from, {}, &ok);
    QVERIFY(!ok);
    QCOMPARE(largestDifference(m, Matrix3::identity()), 0.0);
    ok = true;
    Matrix3::fit({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{1, 0, 0}}, {}, &ok);
    QVERIFY(!ok);
}

QTEST_APPLESS_MAIN(TestMatrix3)
#include "tst_matrix3.moc"
