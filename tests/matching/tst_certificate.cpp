#include "certificate.h"
#include "certificatecsv.h"
#include "certificatejson.h"
#include "colourdifference.h"
#include "matchingfixtures.h"
#include "matrix.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace MatchingFixtures;

namespace {

Xyz fromXyY(double x, double y, double Y)
{
    return {x * Y / y, Y, (1.0 - x - y) * Y / y};
}

std::array<double, 2> uvOf(const Xyz& v)
{
    const double d = v[0] + 15.0 * v[1] + 3.0 * v[2];
    return {4.0 * v[0] / d, 9.0 * v[1] / d};
}

double distance(const std::array<double, 2>& a, const std::array<double, 2>& b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]));
}

MatchingSample sample(const char* name, bool training, const Xyz& reference, const Xyz& sensor)
{
    MatchingSample s;
    s.name = QString::fromLatin1(name);
    s.training = training;
    s.reference = reference;
    s.sensor = sensor;
    return s;
}

Xyz half(const Xyz& v)
{
    return {v[0] / 2.0, v[1] / 2.0, v[2] / 2.0};
}

// A sensor that reads everything at half, so every method doubles, and three
// validation patches it also misreads by hand-picked amounts: Δxy 0.001, 0.002
// and 0.004; luminance 0, +2 % and -5 %.
std::vector<MatchingSample> handMade()
{
    std::vector<MatchingSample> s;
    for (const MatchingSample& t : samples(Matrix3x3{{{{0.5, 0, 0}}, {{0, 0.5, 0}}, {{0, 0, 0.5}}}}))
        if (t.training)
            s.push_back(t);
    s.push_back(sample("v1", false, fromXyY(0.3127, 0.3290, 40.0), half(fromXyY(0.3137, 0.3290, 40.0))));
    s.push_back(sample("v2", false, fromXyY(0.25, 0.30, 20.0), half(fromXyY(0.25, 0.302, 20.4))));
    s.push_back(sample("v3", false, fromXyY(0.40, 0.40, 60.0), half(fromXyY(0.4024, 0.4032, 57.0))));
    return s;
}

std::vector<const CorrectionMethod*> pointers(const std::vector<std::unique_ptr<CorrectionMethod>>& methods)
{
    std::vector<const CorrectionMethod*> out;
    for (const auto& m : methods)
        out.push_back(m.get());
    return out;
}

QSet<QString> keys(const QJsonObject& o)
{
    const QStringList k = o.keys();
    return QSet<QString>(k.begin(), k.end());
}

bool within(double a, double b, double tol = 1e-12)
{
    return std::fabs(a - b) <= tol;
}

} // namespace

class TestCertificate : public QObject
{
    Q_OBJECT

private slots:
    void summariesOfAHandMadeCase();
    void percentile_data();
    void percentile();
    void verdictFlipsAtTheTolerance_data();
    void verdictFlipsAtTheTolerance();
    void recommendsTheLowestValidationMaximum();
    void refusedMethodIsListedButNeverRecommended();
    void leaveOneOut();
    void refusesWithoutAReferenceWhite();
    void jsonShape();
    void jsonOfARefusedMethod();
    void csvInAGermanLocale();
};

void TestCertificate::summariesOfAHandMadeCase()
{
    const auto methods = Certificate::standardMethods();
    const std::vector<MatchingSample> s = handMade();
    Certificate c;
    QString error;
    QVERIFY2(c.compute(s, pointers(methods), Certificate::kDefaultTolerance, &error), qPrintable(error));
    QCOMPARE(c.methods().size(), size_t(4));

    // Expected, by hand: Δu'v' of each validation patch from its own formula.
    std::vector<double> uv;
    for (size_t i = 4; i < 7; ++i)
        uv.push_back(distance(uvOf(s[i].sensor), uvOf(s[i].reference)));
    auto doubled = [](const Xyz& v) { return Xyz{2.0 * v[0], 2.0 * v[1], 2.0 * v[2]}; };
    std::vector<double> sortedUv = uv;
    std::sort(sortedUv.begin(), sortedUv.end());

    for (const Certificate::MethodResult& r : c.methods()) {
        QVERIFY2(!r.refused, qPrintable(r.error));
        QCOMPARE(r.patches.size(), s.size());
        for (size_t i = 0; i < s.size(); ++i) {
            const Certificate::PatchFigures& f = r.patches[i];
            QCOMPARE(f.name, s[i].name);
            QCOMPARE(f.training, s[i].training);
            QCOMPARE(f.reference, s[i].reference);
            for (int k = 0; k < 3; ++k)
                QVERIFY(within(f.corrected[k], 2.0 * s[i].sensor[k], 1e-9));
            const auto refXy = xy(s[i].reference);
            QVERIFY(within(f.referenceXyY[0], refXy[0]) && within(f.referenceXyY[1], refXy[1]));
            QVERIFY(within(f.referenceXyY[2], s[i].reference[1]));
            const auto refUv = uvOf(s[i].reference);
            QVERIFY(within(f.referenceUv[0], refUv[0]) && within(f.referenceUv[1], refUv[1]));
            // CIELAB against the reference instrument's white, not the sensor's.
            const Xyz& white = s[3].reference;
            const double e2000 = ColourDifference::ciede2000(ColourDifference::lab(s[i].reference, white),
                                                             ColourDifference::lab(doubled(s[i].sensor), white));
            QVERIFY2(within(f.deltaE2000, e2000, 1e-8), qPrintable(f.name));
        }
        QVERIFY(within(r.patches[4].deltaXy, 0.001, 1e-10));
        QVERIFY(within(r.patches[5].deltaXy, 0.002, 1e-10));
        QVERIFY(within(r.patches[6].deltaXy, 0.004, 1e-10));
        QVERIFY(within(r.patches[5].luminanceErrorPercent, 2.0, 1e-9));
        QVERIFY(within(r.patches[6].luminanceErrorPercent, -5.0, 1e-9));

        // Training: exact, four patches.
        QCOMPARE(r.training.deltaXy.count, 4);
        QVERIFY(r.training.deltaXy.maximum < 1e-12);
        QVERIFY(r.training.deltaUv.maximum < 1e-12);
        QVERIFY(r.training.deltaE2000.maximum < 1e-9);
        QVERIFY(r.training.luminanceErrorPercent.maximum < 1e-9);

        // Validation: [0.001, 0.002, 0.004]; the 95th percentile lies at rank
        // 0.95 x 2 = 1.9: 0.002 + 0.9 x 0.002.
        QCOMPARE(r.validation.deltaXy.count, 3);
        QVERIFY(within(r.validation.deltaXy.mean, 0.007 / 3.0, 1e-10));
        QVERIFY(within(r.validation.deltaXy.percentile95, 0.0038, 1e-10));
        QVERIFY(within(r.validation.deltaXy.maximum, 0.004, 1e-10));
        QVERIFY(within(r.validation.deltaUv.mean, (uv[0] + uv[1] + uv[2]) / 3.0, 1e-10));
        QVERIFY(within(r.validation.deltaUv.percentile95, sortedUv[1] + 0.9 * (sortedUv[2] - sortedUv[1]), 1e-10));
        QVERIFY(within(r.validation.deltaUv.maximum, sortedUv[2], 1e-10));
        // Luminance: magnitudes [0, 2, 5] %.
        QVERIFY(within(r.validation.luminanceErrorPercent.mean, 7.0 / 3.0, 1e-9));
        QVERIFY(within(r.validation.luminanceErrorPercent.percentile95, 2.0 + 0.9 * 3.0, 1e-9));
        QVERIFY(within(r.validation.luminanceErrorPercent.maximum, 5.0, 1e-9));
    }
}

void TestCertificate::percentile_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("p95");
    QTest::addColumn<double>("maximum");
    QTest::newRow("one") << QVector<double>{3.0} << 3.0 << 3.0 << 3.0;
    // Rank 0.95: 1 + 0.95 x (5 - 1).
    QTest::newRow("two, unsorted") << QVector<double>{5.0, 1.0} << 3.0 << 4.8 << 5.0;
    // 21 values 0 ... 20: rank 19 exactly.
    QVector<double> ramp;
    for (int i = 20; i >= 0; --i)
        ramp << i;
    QTest::newRow("ramp") << ramp << 10.0 << 19.0 << 20.0;
}

void TestCertificate::percentile()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, mean);
    QFETCH(double, p95);
    QFETCH(double, maximum);
    const Certificate::Summary s = Certificate::summarise(std::vector<double>(values.begin(), values.end()));
    QCOMPARE(s.count, values.size());
    QVERIFY(within(s.mean, mean));
    QVERIFY2(within(s.percentile95, p95), qPrintable(QString::number(s.percentile95)));
    QCOMPARE(s.maximum, maximum);

    const Certificate::Summary none = Certificate::summarise({});
    QCOMPARE(none.count, 0);
    QVERIFY(std::isnan(none.mean) && std::isnan(none.percentile95) && std::isnan(none.maximum));
}

void TestCertificate::verdictFlipsAtTheTolerance_data()
{
    // The hand-made case's worst validation Δxy is 0.004.
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<bool>("passes");
    QTest::newRow("default 0.002") << Certificate::kDefaultTolerance << false;
    QTest::newRow("just below") << 0.004 - 1e-9 << false;
    QTest::newRow("just above") << 0.004 + 1e-9 << true;
    QTest::newRow("well above") << 0.01 << true;
}

void TestCertificate::verdictFlipsAtTheTolerance()
{
    QFETCH(double, tolerance);
    QFETCH(bool, passes);
    const auto methods = Certificate::standardMethods();
    Certificate c;
    QVERIFY(c.compute(handMade(), pointers(methods), tolerance));
    QCOMPARE(c.tolerance(), tolerance);
    QCOMPARE(c.passes(), passes);
    for (const Certificate::MethodResult& r : c.methods())
        QCOMPARE(r.passes, passes);
    const QJsonObject root = QJsonDocument::fromJson(CertificateJson::toJson(c)).object();
    QCOMPARE(root.value(QStringLiteral("verdict")).toString(), passes ? QStringLiteral("pass") : QStringLiteral("fail"));
}

void TestCertificate::recommendsTheLowestValidationMaximum()
{
    // All four give the identity on the hand-made case: a tie, won by the first listed.
    auto methods = Certificate::standardMethods();
    Certificate c;
    QVERIFY(c.compute(handMade(), pointers(methods)));
    QCOMPARE(c.recommended(), QStringLiteral("four-colour"));
    std::reverse(methods.begin(), methods.end());
    QVERIFY(c.compute(handMade(), pointers(methods)));
    QCOMPARE(c.recommended(), QStringLiteral("least-squares"));

    // Readings no 3 x 3 explains, so the methods differ: the winner is the one
    // whose worst validation patch is closest in xy, worked out here from each
    // method's own matrix.
    std::vector<MatchingSample> s = samples(kSensorError, 2e-3, 11);
    find(s, QStringLiteral("white"))->sensor[2] *= 1.01;
    find(s, QStringLiteral("red"))->sensor[0] *= 0.99;
    methods = Certificate::standardMethods();
    QVERIFY(c.compute(s, pointers(methods)));
    QString best;
    double bestMax = std::numeric_limits<double>::infinity();
    QSet<double> maxima;
    for (const auto& m : methods) {
        Matrix3x3 matrix{};
        QVERIFY(m->compute(s, &matrix, nullptr));
        double worst = 0.0;
        for (const MatchingSample& p : s) {
            if (p.training)
                continue;
            const auto a = xy(CorrectionMethod::apply(matrix, p.sensor));
            const auto b = xy(p.reference);
            worst = std::max(worst, std::hypot(a[0] - b[0], a[1] - b[1]));
        }
        QVERIFY(within(c.method(m->name())->validation.deltaXy.maximum, worst, 1e-12));
        maxima.insert(worst);
        if (worst < bestMax - 1e-9) { // closer than that is a tie of rounding
            bestMax = worst;
            best = m->name();
        }
    }
    QVERIFY(maxima.size() >= 3); // the case does tell them apart
    QCOMPARE(c.recommended(), best);
    QVERIFY(best != QLatin1String("four-colour"));
}

void TestCertificate::refusedMethodIsListedButNeverRecommended()
{
    // A failed white reading: only the three-colour method, which does not use
    // white, can still compute; it is recommended even though it is last but one.
    std::vector<MatchingSample> s = samples();
    find(s, QStringLiteral("white"))->sensor[0] = std::numeric_limits<double>::quiet_NaN();
    const auto methods = Certificate::standardMethods();
    Certificate c;
    QVERIFY(c.compute(s, pointers(methods)));
    QCOMPARE(c.methods().size(), size_t(4));
    for (const Certificate::MethodResult& r : c.methods()) {
        if (r.name == QLatin1String("astm-e1455")) {
            QVERIFY(!r.refused);
            continue;
        }
        QVERIFY2(r.refused, qPrintable(r.name));
        QVERIFY2(r.error.startsWith(r.name + QLatin1Char(':')), qPrintable(r.error));
        QVERIFY(r.patches.empty());
        QVERIFY(!r.passes);
    }
    QCOMPARE(c.recommended(), QStringLiteral("astm-e1455"));
    QVERIFY(c.passes());
}

void TestCertificate::leaveOneOut()
{
    const auto methods = Certificate::standardMethods();
    Certificate c;
    // A pure 3 x 3 error: any three training patches give the exact matrix.
    QVERIFY(c.compute(samples(), pointers(methods)));
    for (const Certificate::MethodResult& r : c.methods()) {
        if (r.name != QLatin1String("least-squares")) {
            QVERIFY(r.leaveOneOut.empty());
            continue;
        }
        QStringList names;
        for (const Certificate::LeftOut& l : r.leaveOneOut) {
            names << l.name;
            QVERIFY2(l.deltaUv < 1e-12, qPrintable(l.name));
        }
        QCOMPARE(names, QStringList({"red", "green", "blue", "white"}));
    }

    // White misread: without white the fit is the exact one of red, green and
    // blue, judged on the misread white.
    std::vector<MatchingSample> s = samples();
    MatchingSample* white = find(s, QStringLiteral("white"));
    white->sensor[0] *= 1.01;
    white->sensor[2] *= 0.99;
    QVERIFY(c.compute(s, pointers(methods)));
    const Certificate::MethodResult* ls = c.method(QStringLiteral("least-squares"));
    QVERIFY(ls);
    QCOMPARE(ls->leaveOneOut.size(), size_t(4));
    const double* rows[3] = {kSensorError[0].data(), kSensorError[1].data(), kSensorError[2].data()};
    const Matrix exact = Matrix(rows, 3, 3).GetInverse();
    Xyz corrected{};
    for (int i = 0; i < 3; ++i)
        corrected[i] = exact(i, 0) * white->sensor[0] + exact(i, 1) * white->sensor[1] + exact(i, 2) * white->sensor[2];
    const double expected = distance(uvOf(corrected), uvOf(white->reference));
    QVERIFY(expected > 1e-3);
    QCOMPARE(ls->leaveOneOut[3].name, QStringLiteral("white"));
    QVERIFY2(within(ls->leaveOneOut[3].deltaUv, expected, 1e-9), qPrintable(QString::number(ls->leaveOneOut[3].deltaUv)));
    // The others are judged by fits that include the misread white.
    for (int i = 0; i < 3; ++i)
        QVERIFY(ls->leaveOneOut[static_cast<size_t>(i)].deltaUv > 1e-5);
}

void TestCertificate::refusesWithoutAReferenceWhite()
{
    const auto methods = Certificate::standardMethods();
    std::vector<MatchingSample> s = samples();
    s.erase(s.begin() + 3);
    Certificate c;
    QString error;
    QVERIFY(!c.compute(s, pointers(methods), Certificate::kDefaultTolerance, &error));
    QVERIFY2(error.contains(QLatin1String("\"white\"")), qPrintable(error));

    s = samples();
    find(s, QStringLiteral("white"))->reference[1] = 0.0;
    error.clear();
    QVERIFY(!c.compute(s, pointers(methods), Certificate::kDefaultTolerance, &error));
    QVERIFY(!error.isEmpty());
}

void TestCertificate::jsonShape()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto methods = Certificate::standardMethods();
    const std::vector<MatchingSample> s = samples(kSensorError, 1e-3, 3);
    Certificate c;
    QVERIFY(c.compute(s, pointers(methods)));
    const QByteArray bytes = CertificateJson::toJson(c);
    QLocale::setDefault(QLocale::c());

    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(parseError.errorString()));
    const QJsonObject root = doc.object();
    QCOMPARE(keys(root), QSet<QString>({"methods", "recommended", "verdict"}));
    QCOMPARE(root.value("recommended").toString(), c.recommended());
    QCOMPARE(root.value("verdict").toString(), c.passes() ? QStringLiteral("pass") : QStringLiteral("fail"));

    const QJsonArray list = root.value("methods").toArray();
    QCOMPARE(list.size(), 4);
    for (int m = 0; m < list.size(); ++m) {
        const QJsonObject o = list.at(m).toObject();
        const Certificate::MethodResult& r = c.methods()[static_cast<size_t>(m)];
        QCOMPARE(keys(o), QSet<QString>({"name", "matrix", "patches", "validation"}));
        QCOMPARE(o.value("name").toString(), r.name);

        // Three rows; corrected = matrix x raw, checked against the raw readings.
        const QJsonArray matrix = o.value("matrix").toArray();
        QCOMPARE(matrix.size(), 3);
        Matrix3x3 rows{};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(matrix.at(i).toArray().size(), 3);
            for (int j = 0; j < 3; ++j)
                rows[i][j] = matrix.at(i).toArray().at(j).toDouble();
        }
        QCOMPARE(rows, r.matrix); // exact: doubles survive the text

        const QJsonArray patches = o.value("patches").toArray();
        QCOMPARE(patches.size(), int(s.size()));
        for (int p = 0; p < patches.size(); ++p) {
            const QJsonObject po = patches.at(p).toObject();
            const MatchingSample& input = s[static_cast<size_t>(p)];
            QCOMPARE(keys(po), QSet<QString>({"name", "training", "reference_xyz", "corrected_xyz", "delta_uv",
                                              "delta_xy", "delta_e2000"}));
            QCOMPARE(po.value("name").toString(), input.name);
            QVERIFY(po.value("training").isBool());
            QCOMPARE(po.value("training").toBool(), input.training);
            const Xyz corrected = CorrectionMethod::apply(rows, input.sensor);
            for (int k = 0; k < 3; ++k) {
                QCOMPARE(po.value("reference_xyz").toArray().at(k).toDouble(), input.reference[static_cast<size_t>(k)]);
                QVERIFY(within(po.value("corrected_xyz").toArray().at(k).toDouble(), corrected[static_cast<size_t>(k)], 1e-9));
            }
            const Certificate::PatchFigures& f = r.patches[static_cast<size_t>(p)];
            QCOMPARE(po.value("delta_uv").toDouble(), f.deltaUv);
            QCOMPARE(po.value("delta_xy").toDouble(), f.deltaXy);
            QCOMPARE(po.value("delta_e2000").toDouble(), f.deltaE2000);
        }
        const QJsonObject v = o.value("validation").toObject();
        QCOMPARE(keys(v), QSet<QString>({"mean_delta_uv", "max_delta_uv", "max_delta_xy"}));
        QCOMPARE(v.value("mean_delta_uv").toDouble(), r.validation.deltaUv.mean);
        QCOMPARE(v.value("max_delta_uv").toDouble(), r.validation.deltaUv.maximum);
        QCOMPARE(v.value("max_delta_xy").toDouble(), r.validation.deltaXy.maximum);
    }
}

void TestCertificate::jsonOfARefusedMethod()
{
    std::vector<MatchingSample> s = samples();
    s.erase(s.begin() + 2); // no blue: every method refuses
    const auto methods = Certificate::standardMethods();
    Certificate c;
    QVERIFY(c.compute(s, pointers(methods)));
    QVERIFY(c.recommended().isEmpty());
    const QJsonObject root = QJsonDocument::fromJson(CertificateJson::toJson(c)).object();
    QCOMPARE(keys(root), QSet<QString>({"methods", "recommended", "verdict"}));
    QVERIFY(root.value("recommended").isNull());
    QCOMPARE(root.value("verdict").toString(), QStringLiteral("fail"));
    for (const QJsonValue& m : root.value("methods").toArray()) {
        const QJsonObject o = m.toObject();
        QCOMPARE(keys(o), QSet<QString>({"name", "matrix", "patches", "validation"}));
        QVERIFY(o.value("matrix").isNull());
        QVERIFY(o.value("patches").toArray().isEmpty());
        const QJsonObject v = o.value("validation").toObject();
        QCOMPARE(keys(v), QSet<QString>({"mean_delta_uv", "max_delta_uv", "max_delta_xy"}));
        for (const QString& k : v.keys())
            QVERIFY2(v.value(k).isNull(), qPrintable(k));
    }
}

void TestCertificate::csvInAGermanLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::vector<MatchingSample> s = samples(kSensorError, 1e-3, 5);
    find(s, QStringLiteral("white"))->sensor[1] = std::numeric_limits<double>::infinity();
    const auto methods = Certificate::standardMethods();
    Certificate c;
    QVERIFY(c.compute(s, pointers(methods)));
    const QByteArray bytes = CertificateCsv::toCsv(c);
    QLocale::setDefault(QLocale::c());

    QList<QByteArray> lines = bytes.split('\n');
    QVERIFY(bytes.endsWith('\n'));
    lines.removeLast();
    const QList<QByteArray> header = lines.takeFirst().split(',');
    QCOMPARE(header.first(), QByteArray("method"));
    QCOMPARE(header.last(), QByteArray("error"));
    const int deltaXyColumn = header.indexOf("delta_xy");
    QVERIFY(deltaXyColumn > 0);

    // astm-e1455 has every patch; the three that need the white refused, one line each.
    QCOMPARE(lines.size(), int(s.size()) + 3);
    int line = 0;
    int nonFinite = 0;
    for (const Certificate::MethodResult& r : c.methods()) {
        if (r.refused) {
            const QByteArray& text = lines.at(line++);
            QVERIFY(text.startsWith(r.name.toUtf8() + ','));
            QVERIFY2(text.contains(r.error.toUtf8()) || text.contains(r.error.toUtf8().replace('"', "\"\"")),
                     text.constData());
            continue;
        }
        for (const Certificate::PatchFigures& f : r.patches) {
            const QList<QByteArray> fields = lines.at(line++).split(',');
            QCOMPARE(fields.size(), header.size());
            QCOMPARE(fields.at(0), r.name.toUtf8());
            QCOMPARE(fields.at(1), f.name.toUtf8());
            QCOMPARE(fields.at(2), QByteArray(f.training ? "true" : "false"));
            bool ok = false;
            if (std::isfinite(f.deltaXy)) {
                const double value = QLocale::c().toDouble(QString::fromUtf8(fields.at(deltaXyColumn)), &ok);
                QVERIFY2(ok, fields.at(deltaXyColumn).constData());
                QVERIFY(within(value, f.deltaXy, 1e-11 * std::max(1.0, f.deltaXy)));
            } else {
                // The infinite white reading: no figure rather than "nan" or "inf".
                QCOMPARE(f.name, QStringLiteral("white"));
                QVERIFY(fields.at(deltaXyColumn).isEmpty());
                ++nonFinite;
            }
            const double y = QLocale::c().toDouble(QString::fromUtf8(fields.at(4)), &ok);
            QVERIFY2(ok, fields.at(4).constData());
            QVERIFY(within(y, f.reference[1], 1e-10 * f.reference[1]));
        }
    }
    QCOMPARE(nonFinite, 1);
}

QTEST_APPLESS_MAIN(TestCertificate)
#include "tst_certificate.moc"
