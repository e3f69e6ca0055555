// The sensor-matching table: what it measures is what the world shows, its
// figures are those the methods' own matrices leave when this test applies
// them itself, a 3 x 3 correction fixes a sensor on a panel of three primaries
// but not where a white sub-pixel adds a fourth spectrum, and the table says
// so in the shape outside checks read.
#include "matchingtable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

namespace {

using Instrument = SimulatedWorld::Instrument;
using Xyz3 = std::array<double, 3>;

// What the test makes of a method on a set of samples, worked out here.
struct OwnFigures {
    bool refused = false;
    double maxUv = 0.0;
    double maxXy = 0.0;
    double meanUv = 0.0;
};

std::array<double, 2> ownUv(const Xyz3& v)
{
    const double d = v[0] + 15.0 * v[1] + 3.0 * v[2];
    return {{4.0 * v[0] / d, 9.0 * v[1] / d}};
}

std::array<double, 2> ownXy(const Xyz3& v)
{
    const double s = v[0] + v[1] + v[2];
    return {{v[0] / s, v[1] / s}};
}

Xyz3 times(const Matrix3x3& m, const Xyz3& v)
{
    Xyz3 r{};
    for (size_t i = 0; i < 3; ++i)
        r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return r;
}

double distance(const std::array<double, 2>& a, const std::array<double, 2>& b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]));
}

OwnFigures ownFigures(const CorrectionMethod& method, const std::vector<MatchingSample>& samples)
{
    OwnFigures f;
    Matrix3x3 m{};
    QString error;
    if (!method.compute(samples, &m, &error)) {
        f.refused = true;
        return f;
    }
    int count = 0;
    double sum = 0.0;
    for (const MatchingSample& s : samples) {
        if (s.training)
            continue;
        const Xyz3 corrected = times(m, s.sensor);
        const double uv = distance(ownUv(corrected), ownUv(s.reference));
        f.maxUv = std::max(f.maxUv, uv);
        f.maxXy = std::max(f.maxXy, distance(ownXy(corrected), ownXy(s.reference)));
        sum += uv;
        ++count;
    }
    f.meanUv = sum / count;
    return f;
}

// The samples the world's truth gives: the reference's XYZ of each patch and
// the sensor's colorimeter's, without noise.
std::vector<MatchingSample> truthOf(SimulatedWorld& world, Instrument sensor)
{
    std::vector<MatchingSample> samples;
    const PatchSet set = PatchSet::defaultSet();
    for (const MatchingPatch& patch : set.patches()) {
        world.setScreenPatch(std::array<int, 3>{{patch.r, patch.g, patch.b}});
        MatchingSample s;
        s.name = patch.name;
        s.training = patch.training;
        s.reference = world.referenceReading();
        s.sensor = SimulatedWorld::sensorModel(sensor).reading(world.trueSpectrum());
        samples.push_back(s);
    }
    world.setScreenPatch(std::nullopt);
    return samples;
}

QString label(DisplayTechnology::Kind kind, Instrument sensor)
{
    return DisplayTechnology::key(kind) + QLatin1Char(' ') + QString::fromStdString(SimulatedWorld::instrumentName(sensor));
}

// Every method's figures in the certificate are the test's own.
void compareWithOwn(const Certificate& certificate, const std::vector<MatchingSample>& samples, const QString& where)
{
    const auto methods = Certificate::standardMethods();
    QCOMPARE(int(certificate.methods().size()), int(methods.size()));
    double bestXy = std::numeric_limits<double>::infinity();
    for (const auto& method : methods) {
        const OwnFigures own = ownFigures(*method, samples);
        QVERIFY2(!own.refused, qPrintable(where + QLatin1Char(' ') + method->name()));
        const Certificate::MethodResult* result = certificate.method(method->name());
        QVERIFY2(result && !result->refused, qPrintable(where + QLatin1Char(' ') + method->name()));
        const QString what = QStringLiteral("%1 %2: %3 in the table, %4 here");
        QVERIFY2(std::fabs(result->validation.deltaUv.maximum - own.maxUv) <= 1e-12,
                 qPrintable(what.arg(where, method->name()).arg(result->validation.deltaUv.maximum).arg(own.maxUv)));
        QVERIFY2(std::fabs(result->validation.deltaXy.maximum - own.maxXy) <= 1e-12,
                 qPrintable(what.arg(where, method->name()).arg(result->validation.deltaXy.maximum).arg(own.maxXy)));
        QVERIFY2(std::fabs(result->validation.deltaUv.mean - own.meanUv) <= 1e-12,
                 qPrintable(what.arg(where, method->name()).arg(result->validation.deltaUv.mean).arg(own.meanUv)));
        bestXy = std::min(bestXy, own.maxXy);
    }
    // The method recommended is one whose worst validation patch is closest in xy.
    const Certificate::MethodResult* recommended = certificate.method(certificate.recommended());
    QVERIFY2(recommended, qPrintable(where));
    QVERIFY2(recommended->validation.deltaXy.maximum <= bestXy + 1e-9, qPrintable(where));
    QCOMPARE(certificate.passes(), recommended->validation.deltaXy.maximum <= Certificate::kDefaultTolerance);
}

} // namespace

class TestMatchingTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void samplesAreWhatTheWorldShows_data();
    void samplesAreWhatTheWorldShows();
    void sensorMeansAreOfTheRepeatsInTurn_data();
    void sensorMeansAreOfTheRepeatsInTurn();
    void readingsBelowTheFloorAreTakenAgainNeverAveraged();
    void figuresAreTheMethodsOwnOnTheTable_data();
    void figuresAreTheMethodsOwnOnTheTable();
    void figuresAreTheMethodsOwnOnTheWorldsTruth_data();
    void figuresAreTheMethodsOwnOnTheWorldsTruth();
    void threeByThreeFixesThreePrimariesButNotAWhiteSubpixel_data();
    void threeByThreeFixesThreePrimariesButNotAWhiteSubpixel();
    void jsonHasTheFixedShape();
    void refusedMethodsAreNullsAndWrong();
    void textHasALinePerTechnologyAndSensor();

private:
    static void addSensorRows();
    const MatchingTable::Row* row(DisplayTechnology::Kind kind, Instrument sensor) const;

    std::vector<MatchingTable::Row> rows;
};

void TestMatchingTable::initTestCase()
{
    rows = MatchingTable::compute();
    QCOMPARE(int(rows.size()), DisplayTechnology::KindCount * SimulatedWorld::kInstrumentCount);
    QVERIFY(MatchingTable::whatIsWrong(rows).isEmpty());
    // Seeded: the same table every time.
    QCOMPARE(MatchingTable::json(MatchingTable::compute()), MatchingTable::json(rows));
}

void TestMatchingTable::addSensorRows()
{
    QTest::addColumn<int>("technology");
    QTest::addColumn<int>("sensor");
    for (DisplayTechnology::Kind kind : DisplayTechnology::kinds()) {
        for (int s = 0; s < SimulatedWorld::kInstrumentCount; ++s)
            QTest::newRow(qPrintable(label(kind, Instrument(s)))) << int(kind) << s;
    }
}

const MatchingTable::Row* TestMatchingTable::row(DisplayTechnology::Kind kind, Instrument sensor) const
{
    for (const MatchingTable::Row& r : rows) {
        if (r.display == kind && r.sensor == sensor)
            return &r;
    }
    return nullptr;
}

void TestMatchingTable::samplesAreWhatTheWorldShows_data()
{
    addSensorRows();
}

void TestMatchingTable::samplesAreWhatTheWorldShows()
{
    QFETCH(int, technology);
    QFETCH(int, sensor);
    const MatchingTable::Row* r = row(DisplayTechnology::Kind(technology), Instrument(sensor));
    QVERIFY(r);
    SimulatedWorld world{DisplayTechnology::Kind(technology)};
    const std::vector<MatchingSample> truth = truthOf(world, Instrument(sensor));
    const PatchSet set = PatchSet::defaultSet();
    const std::vector<MatchingPatch>& patches = set.patches();
    QCOMPARE(r->samples.size(), patches.size());
    for (size_t p = 0; p < patches.size(); ++p) {
        const MatchingSample& s = r->samples[p];
        QCOMPARE(s.name, patches[p].name);
        QCOMPARE(s.training, patches[p].training);
        for (size_t c = 0; c < 3; ++c) {
            // The reference has no noise: its mean is the world's own figure.
            QVERIFY2(std::fabs(s.reference[c] - truth[p].reference[c]) <= 1e-12 * std::fabs(truth[p].reference[c]),
                     qPrintable(s.name));
            // The sensor's mean of its noisy readings lies well within the noise of its truth.
            const double sigma = world.noise() * std::fabs(truth[p].sensor[c]) + world.noiseFloor();
            QVERIFY2(std::fabs(s.sensor[c] - truth[p].sensor[c]) <= 5.0 * sigma,
                     qPrintable(QStringLiteral("%1 channel %2: %3 measured, %4 true")
                                    .arg(s.name).arg(c).arg(s.sensor[c]).arg(truth[p].sensor[c])));
        }
    }
}

void TestMatchingTable::sensorMeansAreOfTheRepeatsInTurn_data()
{
    QTest::addColumn<int>("sensor");
    QTest::addColumn<int>("repeats");
    QTest::newRow("CA410, 3 readings") << int(Instrument::CA410) << 3;
    QTest::newRow("K-10, 3 readings") << int(Instrument::K10) << 3;
    QTest::newRow("CR-100, 5 readings") << int(Instrument::CR100) << 5;
}

void TestMatchingTable::sensorMeansAreOfTheRepeatsInTurn()
{
    // Two worlds of one seed draw the same noise: the table's means are those
    // of `repeats` readings of each patch, patch after patch.
    QFETCH(int, sensor);
    QFETCH(int, repeats);
    SimulatedWorld measured(DisplayTechnology::Kind::RgbOled);
    SimulatedWorld own(DisplayTechnology::Kind::RgbOled);
    const PatchSet set = PatchSet::defaultSet();
    const std::vector<MatchingSample> samples = MatchingTable::measure(measured, Instrument(sensor), set, repeats);
    QCOMPARE(samples.size(), set.patches().size());
    for (size_t p = 0; p < samples.size(); ++p) {
        const MatchingPatch& patch = set.patches()[p];
        own.setScreenPatch(std::array<int, 3>{{patch.r, patch.g, patch.b}});
        Xyz3 sum{};
        for (int i = 0; i < repeats; ++i) {
            const Xyz3 reading = own.sensorReading(Instrument(sensor));
            for (size_t c = 0; c < 3; ++c)
                sum[c] += reading[c];
        }
        for (size_t c = 0; c < 3; ++c)
            QVERIFY2(std::fabs(samples[p].sensor[c] - sum[c] / repeats) <= 1e-12 * std::fabs(sum[c]),
                     qPrintable(patch.name));
    }
    // Nothing more was drawn (and each is back on the display under alignment).
    own.setScreenPatch(std::nullopt);
    QCOMPARE(measured.sensorReading(Instrument(sensor)), own.sensorReading(Instrument(sensor)));
}

void TestMatchingTable::readingsBelowTheFloorAreTakenAgainNeverAveraged()
{
    // Black reads below the luminance floor on both instruments: each of its
    // readings is taken again, by both, until the run would give up on the
    // patch (3 x 3 + 2 readings, so three rounds of three), and none counts.
    PatchSet set;
    QString error;
    QVERIFY2(set.parse("red,255,0,0\ngreen,0,255,0\nblue,0,0,255\nwhite,255,255,255\nblack,0,0,0\ngrey,128,128,128\n",
                       &error),
             qPrintable(error));
    SimulatedWorld measured(DisplayTechnology::Kind::WhiteLedLcd);
    SimulatedWorld own(DisplayTechnology::Kind::WhiteLedLcd);
    const std::vector<MatchingSample> samples = MatchingTable::measure(measured, Instrument::CA410, set, 3);
    QCOMPARE(samples.size(), size_t(6));
    for (const MatchingSample& s : samples) {
        const bool black = s.name == QLatin1String("black");
        for (size_t c = 0; c < 3; ++c) {
            QVERIFY2(std::isnan(s.sensor[c]) == black, qPrintable(s.name));
            QVERIFY2(std::isnan(s.reference[c]) == black, qPrintable(s.name));
        }
    }
    // As many readings as three rounds of three on black, three on the others.
    for (const MatchingPatch& patch : set.patches()) {
        own.setScreenPatch(std::array<int, 3>{{patch.r, patch.g, patch.b}});
        for (int i = 0; i < (patch.name == QLatin1String("black") ? 9 : 3); ++i)
            own.sensorReading(Instrument::CA410);
    }
    own.setScreenPatch(std::nullopt);
    QCOMPARE(measured.sensorReading(Instrument::CA410), own.sensorReading(Instrument::CA410));
    // A patch that could not be read is reported, by name.
    const MatchingTable::Row row = MatchingTable::run(measured, Instrument::CA410, set);
    const QStringList wrong = MatchingTable::whatIsWrong({row});
    QCOMPARE(wrong.size(), 1);
    QVERIFY2(wrong.first().contains(QLatin1String("black")), qPrintable(wrong.first()));
}

void TestMatchingTable::figuresAreTheMethodsOwnOnTheTable_data()
{
    addSensorRows();
}

void TestMatchingTable::figuresAreTheMethodsOwnOnTheTable()
{
    QFETCH(int, technology);
    QFETCH(int, sensor);
    const MatchingTable::Row* r = row(DisplayTechnology::Kind(technology), Instrument(sensor));
    QVERIFY(r);
    compareWithOwn(r->certificate, r->samples, label(r->display, r->sensor));
}

void TestMatchingTable::figuresAreTheMethodsOwnOnTheWorldsTruth_data()
{
    addSensorRows();
}

void TestMatchingTable::figuresAreTheMethodsOwnOnTheWorldsTruth()
{
    QFETCH(int, technology);
    QFETCH(int, sensor);
    SimulatedWorld world{DisplayTechnology::Kind(technology)};
    world.setNoise(0.0, 0.0);
    const std::vector<MatchingSample> truth = truthOf(world, Instrument(sensor));
    const MatchingTable::Row r = MatchingTable::run(world, Instrument(sensor), PatchSet::defaultSet());
    QCOMPARE(r.display, DisplayTechnology::Kind(technology));
    QCOMPARE(r.sensor, Instrument(sensor));
    // Left showing what it showed before.
    QVERIFY(!world.screenPatch());
    compareWithOwn(r.certificate, truth, label(r.display, r.sensor));
}

void TestMatchingTable::threeByThreeFixesThreePrimariesButNotAWhiteSubpixel_data()
{
    QTest::addColumn<int>("sensor");
    for (int s = 0; s < SimulatedWorld::kInstrumentCount; ++s)
        QTest::newRow(SimulatedWorld::instrumentName(Instrument(s)).c_str()) << s;
}

void TestMatchingTable::threeByThreeFixesThreePrimariesButNotAWhiteSubpixel()
{
    QFETCH(int, sensor);
    const auto methods = Certificate::standardMethods();
    double worstOnThree = 0.0;
    for (DisplayTechnology::Kind kind : DisplayTechnology::kinds()) {
        SimulatedWorld world(kind);
        world.setNoise(0.0, 0.0);
        const std::vector<MatchingSample> truth = truthOf(world, Instrument(sensor));
        // The sensor does misread this panel: uncorrected, its white is off.
        const MatchingSample& white = truth[3];
        QCOMPARE(white.name, QStringLiteral("white"));
        QVERIFY2(distance(ownUv(white.sensor), ownUv(white.reference)) > 1e-4, qPrintable(label(kind, Instrument(sensor))));

        double best = std::numeric_limits<double>::infinity();
        double worst = 0.0;
        for (const auto& method : methods) {
            const OwnFigures own = ownFigures(*method, truth);
            QVERIFY(!own.refused);
            best = std::min(best, own.maxUv);
            worst = std::max(worst, own.maxUv);
        }
        const QString what = QStringLiteral("%1: best %2, worst %3").arg(label(kind, Instrument(sensor))).arg(best).arg(worst);
        if (DisplayTechnology::make(kind).hasWhiteSubpixel()) {
            // A fourth spectrum no 3 x 3 maps together with the other three:
            // every method leaves an error no rounding explains.
            QVERIFY2(best > 1e-5, qPrintable(what));
            QVERIFY2(best > 100.0 * worstOnThree, qPrintable(what));
        } else {
            // Every colour the sensor reads is its own fixed 3 x 3 of the
            // truth, which every method finds from the training patches.
            QVERIFY2(worst < 1e-9, qPrintable(what));
            worstOnThree = std::max(worstOnThree, worst);
        }
    }

    // With noise, the table's figures stay within what the noise explains on
    // three primaries, and pass.
    for (const MatchingTable::Row& r : rows) {
        if (r.sensor != Instrument(sensor) || DisplayTechnology::make(r.display).hasWhiteSubpixel())
            continue;
        QVERIFY2(r.certificate.passes(), qPrintable(label(r.display, r.sensor)));
        for (const Certificate::MethodResult& result : r.certificate.methods())
            QVERIFY2(result.validation.deltaUv.maximum < 0.001, qPrintable(label(r.display, r.sensor) + result.name));
    }
}

void TestMatchingTable::jsonHasTheFixedShape()
{
    const QByteArray bytes = MatchingTable::json(rows);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QVERIFY(document.isArray());
    const QJsonArray list = document.array();
    const int methodCount = int(Certificate::standardMethods().size());
    QCOMPARE(list.size(), DisplayTechnology::KindCount * SimulatedWorld::kInstrumentCount * methodCount);

    std::set<std::tuple<QString, QString, QString>> seen;
    std::map<std::pair<QString, QString>, int> recommended;
    for (int i = 0; i < list.size(); ++i) {
        const QJsonObject object = list.at(i).toObject();
        QCOMPARE(object.keys(), (QStringList{"display", "max_delta_uv", "max_delta_xy", "mean_delta_uv", "method",
                                             "recommended", "sensor"}));
        for (const char* key : {"display", "sensor", "method"})
            QVERIFY2(object.value(QLatin1String(key)).isString(), key);
        for (const char* key : {"max_delta_uv", "max_delta_xy", "mean_delta_uv"})
            QVERIFY2(object.value(QLatin1String(key)).isDouble(), key);
        QVERIFY(object.value(QStringLiteral("recommended")).isBool());
        const QString display = object.value(QStringLiteral("display")).toString();
        const QString sensor = object.value(QStringLiteral("sensor")).toString();
        const QString method = object.value(QStringLiteral("method")).toString();
        seen.insert({display, sensor, method});
        if (object.value(QStringLiteral("recommended")).toBool())
            ++recommended[{display, sensor}];

        // The figures are the certificate's, to the digits written.
        const MatchingTable::Row& r = rows[size_t(i / methodCount)];
        QCOMPARE(display, DisplayTechnology::key(r.display));
        QCOMPARE(sensor, QString::fromStdString(SimulatedWorld::instrumentName(r.sensor)));
        const Certificate::MethodResult* result = r.certificate.method(method);
        QVERIFY(result);
        const auto same = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1e-6, std::fabs(b)); };
        QVERIFY(same(object.value(QStringLiteral("max_delta_uv")).toDouble(), result->validation.deltaUv.maximum));
        QVERIFY(same(object.value(QStringLiteral("max_delta_xy")).toDouble(), result->validation.deltaXy.maximum));
        QVERIFY(same(object.value(QStringLiteral("mean_delta_uv")).toDouble(), result->validation.deltaUv.mean));
        QCOMPARE(object.value(QStringLiteral("recommended")).toBool(), method == r.certificate.recommended());
    }
    // One object per technology, sensor and method, and one method recommended for each pair.
    QCOMPARE(int(seen.size()), list.size());
    QCOMPARE(int(recommended.size()), DisplayTechnology::KindCount * SimulatedWorld::kInstrumentCount);
    for (const auto& pair : recommended)
        QCOMPARE(pair.second, 1);
    std::set<QString> methods;
    for (const auto& entry : seen)
        methods.insert(std::get<2>(entry));
    QCOMPARE(methods, (std::set<QString>{"four-colour", "fcmm", "astm-e1455", "least-squares"}));

    // The keys come in the order outside checks are told of.
    const QByteArray first = bytes.mid(bytes.indexOf('{'), bytes.indexOf('}') - bytes.indexOf('{'));
    int at = -1;
    for (const char* key : {"\"display\"", "\"sensor\"", "\"method\"", "\"max_delta_uv\"", "\"max_delta_xy\"",
                            "\"mean_delta_uv\"", "\"recommended\""}) {
        const int next = first.indexOf(key);
        QVERIFY2(next > at, key);
        at = next;
    }
    QCOMPARE(QJsonDocument::fromJson(MatchingTable::json({}), &parseError).array().size(), 0);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
}

void TestMatchingTable::refusedMethodsAreNullsAndWrong()
{
    // Without blue no method can be fitted; each is refused, naming itself.
    MatchingTable::Row broken = rows.front();
    std::vector<MatchingSample> samples;
    for (const MatchingSample& s : broken.samples) {
        if (s.name != QLatin1String("blue"))
            samples.push_back(s);
    }
    const auto methods = Certificate::standardMethods();
    std::vector<const CorrectionMethod*> used;
    for (const auto& m : methods)
        used.push_back(m.get());
    QVERIFY(broken.certificate.compute(samples, used));
    broken.samples = samples;

    QJsonParseError parseError;
    const QJsonArray list = QJsonDocument::fromJson(MatchingTable::json({broken}), &parseError).array();
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QCOMPARE(list.size(), int(methods.size()));
    for (const QJsonValue& value : list) {
        const QJsonObject object = value.toObject();
        for (const char* key : {"max_delta_uv", "max_delta_xy", "mean_delta_uv"})
            QVERIFY2(object.value(QLatin1String(key)).isNull(), key);
        QCOMPARE(object.value(QStringLiteral("recommended")).toBool(), false);
    }
    const QStringList wrong = MatchingTable::whatIsWrong({broken});
    QCOMPARE(wrong.size(), int(methods.size()));
    for (const auto& m : methods)
        QVERIFY2(wrong.join(QLatin1Char('\n')).contains(m->name()), qPrintable(m->name()));
    QVERIFY(MatchingTable::text({broken}).contains(QStringLiteral("refused")));

    // Without the reference's white there is no certificate at all.
    MatchingTable::Row noWhite = rows.front();
    samples.clear();
    for (const MatchingSample& s : noWhite.samples) {
        if (s.name != QLatin1String("white"))
            samples.push_back(s);
    }
    QVERIFY(!noWhite.certificate.compute(samples, used));
    QCOMPARE(MatchingTable::whatIsWrong({noWhite}).size(), 1);
}

void TestMatchingTable::textHasALinePerTechnologyAndSensor()
{
    const QString text = MatchingTable::text(rows);
    const QStringList lines = text.split(QLatin1Char('\n'));
    const int methodCount = int(Certificate::standardMethods().size());
    int figureLines = 0;
    for (const QString& line : lines) {
        QVERIFY2(!line.endsWith(QLatin1Char(' ')), qPrintable(line));
        for (const MatchingTable::Row& r : rows) {
            const QString start = DisplayTechnology::key(r.display) + QLatin1Char(' ');
            const QString sensor = QLatin1Char(' ') + QString::fromStdString(SimulatedWorld::instrumentName(r.sensor)) + QLatin1Char(' ');
            if (!line.startsWith(start) || !line.contains(sensor))
                continue;
            ++figureLines;
            // Each method's two figures with a point whatever the locale, then
            // the method recommended and the verdict.
            QCOMPARE(line.count(QRegularExpression(QStringLiteral("\\b0\\.[0-9]{5}\\b"))), 2 * methodCount);
            QVERIFY2(line.contains(QLatin1Char(' ') + r.certificate.recommended() + QLatin1Char(' ')), qPrintable(line));
            QVERIFY2(line.endsWith(r.certificate.passes() ? QLatin1String(" pass") : QLatin1String(" fail")),
                     qPrintable(line));
        }
    }
    QCOMPARE(figureLines, int(rows.size()));
    for (const auto& method : Certificate::standardMethods())
        QVERIFY(text.contains(method->name()));
}

QTEST_GUILESS_MAIN(TestMatchingTable)
#include "tst_matchingtable.moc"
