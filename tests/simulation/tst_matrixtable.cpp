// The matrix table: a sensor corrected on a display technology reads that
// technology right and another one less so, and the table says so in the
// shape outside checks read.
#include "matrixtable.h"
#include "storyfigures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cmath>
#include <map>
#include <set>

using Instrument = SimulatedWorld::Instrument;

class TestMatrixTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameTechnologyMatrixMeetsTheTolerance();
    void anotherTechnologysMatrixMissesByMore();
    void uncorrectedSensorLeavesItsFiltersError();
    void jsonHasTheFixedShape();
    void textHasABlockPerSensor();

private:
    std::vector<MatrixTable::Row> rows;
};

void TestMatrixTable::initTestCase()
{
    rows = MatrixTable::compute();
    // Five sensors, four displays, uncorrected and four matrices each.
    QCOMPARE(int(rows.size()), SimulatedWorld::kInstrumentCount * DisplayTechnology::KindCount
                                   * (1 + DisplayTechnology::KindCount));
    for (const MatrixTable::Row& row : rows)
        QVERIFY2(std::isfinite(row.whiteDeltaUv), qPrintable(MatrixTable::sensorName(row.sensor)));
}

void TestMatrixTable::sameTechnologyMatrixMeetsTheTolerance()
{
    int checked = 0;
    for (const MatrixTable::Row& row : rows) {
        if (!row.matrixFrom || *row.matrixFrom != row.display)
            continue;
        QVERIFY2(row.whiteDeltaUv < StoryFigures::kCorrectedBelow,
                 qPrintable(QStringLiteral("%1 on %2: %3")
                                .arg(MatrixTable::sensorName(row.sensor), DisplayTechnology::key(row.display))
                                .arg(row.whiteDeltaUv)));
        ++checked;
    }
    QCOMPARE(checked, SimulatedWorld::kInstrumentCount * DisplayTechnology::KindCount);
}

void TestMatrixTable::anotherTechnologysMatrixMissesByMore()
{
    // For each sensor at least one display on which a matrix made on another
    // technology leaves more than its own matrix does, and more than the
    // alignment's tolerance: the reason labs keep a matrix per technology.
    std::map<std::pair<int, int>, double> own;
    for (const MatrixTable::Row& row : rows) {
        if (row.matrixFrom && *row.matrixFrom == row.display)
            own[{int(row.sensor), int(row.display)}] = row.whiteDeltaUv;
    }
    std::map<int, int> worsePairs;
    for (const MatrixTable::Row& row : rows) {
        if (!row.matrixFrom || *row.matrixFrom == row.display)
            continue;
        const double ownError = own.at({int(row.sensor), int(row.display)});
        if (row.whiteDeltaUv > ownError && row.whiteDeltaUv > StoryFigures::kCorrectedBelow)
            ++worsePairs[int(row.sensor)];
    }
    for (int sensor = 0; sensor < SimulatedWorld::kInstrumentCount; ++sensor)
        QVERIFY2(worsePairs[sensor] >= 1, qPrintable(MatrixTable::sensorName(Instrument(sensor))));
}

void TestMatrixTable::uncorrectedSensorLeavesItsFiltersError()
{
    // Aligned through the uncorrected sensor, the display's white is where
    // the sensor's filters see D65: the sensor's own error on that white.
    for (Instrument sensor : {Instrument::CA410, Instrument::K10}) {
        for (DisplayTechnology::Kind kind : DisplayTechnology::kinds()) {
            SimulatedWorld world(kind);
            const MatrixTable::Matrix3x3 identity{{{{1.0, 0.0, 0.0}}, {{0.0, 1.0, 0.0}}, {{0.0, 0.0, 1.0}}}};
            const double error = MatrixTable::alignedWhiteError(world, sensor, identity);
            const Spectrum white = world.display().spectrum(Rgb{{1.0, 1.0, 1.0}}, world.displayGains());
            const double sensorError = DisplayModel::deltaUpVp(SimulatedWorld::sensorModel(sensor).reading(white),
                                                               world.referenceReading());
            QVERIFY2(std::abs(error - sensorError) < 0.0002,
                     qPrintable(QStringLiteral("%1 on %2: %3 vs %4")
                                    .arg(MatrixTable::sensorName(sensor), DisplayTechnology::key(kind))
                                    .arg(error)
                                    .arg(sensorError)));
            // The table holds the same figure, but for the noise of other draws.
            bool found = false;
            for (const MatrixTable::Row& row : rows) {
                if (row.sensor == sensor && row.display == kind && !row.matrixFrom) {
                    QVERIFY(std::abs(row.whiteDeltaUv - error) < 1e-4);
                    found = true;
                }
            }
            QVERIFY(found);
        }
    }
}

void TestMatrixTable::jsonHasTheFixedShape()
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(MatrixTable::json(rows), &parseError);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QVERIFY(document.isArray());
    const QJsonArray list = document.array();
    QCOMPARE(list.size(), int(rows.size()));
    std::set<QString> sensors, displays;
    int uncorrected = 0;
    for (int i = 0; i < list.size(); ++i) {
        const QJsonObject object = list.at(i).toObject();
        QCOMPARE(object.keys(), (QStringList{"display", "matrix_from", "sensor", "white_delta_uv"}));
        QVERIFY(object.value(QStringLiteral("sensor")).isString());
        QVERIFY(object.value(QStringLiteral("display")).isString());
        QVERIFY(object.value(QStringLiteral("white_delta_uv")).isDouble());
        sensors.insert(object.value(QStringLiteral("sensor")).toString());
        displays.insert(object.value(QStringLiteral("display")).toString());
        const MatrixTable::Row& row = rows[size_t(i)];
        QCOMPARE(object.value(QStringLiteral("sensor")).toString(), MatrixTable::sensorName(row.sensor));
        QCOMPARE(object.value(QStringLiteral("display")).toString(), DisplayTechnology::key(row.display));
        if (row.matrixFrom) {
            QCOMPARE(object.value(QStringLiteral("matrix_from")).toString(), DisplayTechnology::key(*row.matrixFrom));
        } else {
            QVERIFY(object.value(QStringLiteral("matrix_from")).isNull());
            ++uncorrected;
        }
        QVERIFY(std::abs(object.value(QStringLiteral("white_delta_uv")).toDouble() - row.whiteDeltaUv)
                <= 1e-9 * std::max(1e-6, row.whiteDeltaUv));
    }
    QCOMPARE(uncorrected, SimulatedWorld::kInstrumentCount * DisplayTechnology::KindCount);
    QCOMPARE(sensors, (std::set<QString>{"CA410", "CR-100", "CR-250", "i1Display Pro", "K-10"}));
    QCOMPARE(displays, (std::set<QString>{"wled-lcd", "wide-gamut-lcd", "rgb-oled", "white-oled"}));

    // A failed alignment is no number: null, so the document stays JSON.
    MatrixTable::Row failed;
    failed.whiteDeltaUv = std::nan("");
    const QJsonDocument one = QJsonDocument::fromJson(MatrixTable::json({failed}), &parseError);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QVERIFY(one.array().at(0).toObject().value(QStringLiteral("white_delta_uv")).isNull());
    QCOMPARE(QJsonDocument::fromJson(MatrixTable::json({}), &parseError).array().size(), 0);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
}

void TestMatrixTable::textHasABlockPerSensor()
{
    const QString text = MatrixTable::text(rows);
    for (int sensor = 0; sensor < SimulatedWorld::kInstrumentCount; ++sensor)
        QVERIFY(text.contains(QLatin1Char('\n') + MatrixTable::sensorName(Instrument(sensor)) + QLatin1Char('\n')));
    // One own-technology mark per sensor and display.
    QCOMPARE(text.count(QLatin1Char('*')) - 1, SimulatedWorld::kInstrumentCount * DisplayTechnology::KindCount);
    // A figure with a point whatever the locale, on a line of its display.
    const QStringList lines = text.split(QLatin1Char('\n'));
    int figureLines = 0;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("  wled-lcd "))) {
            QCOMPARE(line.split(QLatin1Char(' '), Qt::SkipEmptyParts).size(), 2 + DisplayTechnology::KindCount);
            QVERIFY(line.contains(QRegularExpression(QStringLiteral("\\b0\\.[0-9]{5}\\b"))));
            ++figureLines;
        }
        QVERIFY2(!line.endsWith(QLatin1Char(' ')), qPrintable(line));
    }
    QCOMPARE(figureLines, SimulatedWorld::kInstrumentCount);
}

QTEST_GUILESS_MAIN(TestMatrixTable)
#include "tst_matrixtable.moc"
