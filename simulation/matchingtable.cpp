#include "matchingtable.h"

#include "repeatstatistics.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

using Instrument = SimulatedWorld::Instrument;

const Instrument kSensors[] = {Instrument::CA410, Instrument::CR100, Instrument::CR250, Instrument::I1DisplayPro,
                               Instrument::K10};

QString sensorName(Instrument sensor)
{
    return QString::fromStdString(SimulatedWorld::instrumentName(sensor));
}

QString figure(double value)
{
    return std::isfinite(value) ? QString::number(value, 'f', 5) : QStringLiteral("-");
}

QByteArray jsonNumber(double value)
{
    return std::isfinite(value) ? QByteArray::number(value, 'g', 10) : QByteArray("null");
}

// The readings both instruments take again: a patch is read by both at once,
// so a reading either must take again is taken again by both.
std::vector<int> retakes(const RepeatStatistics& sensor, const RepeatStatistics& reference)
{
    std::vector<int> both = sensor.retakes();
    for (int index : reference.retakes()) {
        if (std::find(both.begin(), both.end(), index) == both.end())
            both.push_back(index);
    }
    std::sort(both.begin(), both.end());
    return both;
}

} // namespace

std::vector<MatchingSample> MatchingTable::measure(SimulatedWorld& world, Instrument sensor,
                                                   const PatchSet& patches, int repeats)
{
    const std::optional<std::array<int, 3>> before = world.screenPatch();
    // As many readings in all as a run takes before it gives up on a patch.
    const int limit = 3 * repeats + 2;
    std::vector<MatchingSample> samples;
    for (const MatchingPatch& patch : patches.patches()) {
        world.setScreenPatch(std::array<int, 3>{{patch.r, patch.g, patch.b}});
        std::vector<RepeatStatistics::Xyz> sensorReadings;
        std::vector<RepeatStatistics::Xyz> referenceReadings;
        for (int i = 0; i < repeats; ++i) {
            sensorReadings.push_back(world.sensorReading(sensor));
            referenceReadings.push_back(world.referenceReading());
        }
        RepeatStatistics sensorStatistics(sensorReadings);
        RepeatStatistics referenceStatistics(referenceReadings);
        int taken = repeats;
        for (std::vector<int> again = retakes(sensorStatistics, referenceStatistics);
             !again.empty() && taken + int(again.size()) <= limit;
             again = retakes(sensorStatistics, referenceStatistics)) {
            for (int index : again) {
                sensorReadings[size_t(index)] = world.sensorReading(sensor);
                referenceReadings[size_t(index)] = world.referenceReading();
            }
            taken += int(again.size());
            sensorStatistics.setReadings(sensorReadings);
            referenceStatistics.setReadings(referenceReadings);
        }
        MatchingSample sample;
        sample.name = patch.name;
        sample.training = patch.training;
        sample.sensor = sensorStatistics.mean();
        sample.reference = referenceStatistics.mean();
        samples.push_back(sample);
    }
    world.setScreenPatch(before);
    return samples;
}

MatchingTable::Row MatchingTable::run(SimulatedWorld& world, Instrument sensor, const PatchSet& patches,
                                      int repeats)
{
    Row row;
    row.display = world.displayTechnology();
    row.sensor = sensor;
    row.samples = measure(world, sensor, patches, repeats);
    const std::vector<std::unique_ptr<CorrectionMethod>> methods = Certificate::standardMethods();
    std::vector<const CorrectionMethod*> used;
    for (const auto& method : methods)
        used.push_back(method.get());
    // Refused only without a positive white, which whatIsWrong() reports as
    // the methods' missing figures.
    row.certificate.compute(row.samples, used);
    return row;
}

std::vector<MatchingTable::Row> MatchingTable::compute(std::uint32_t seed, int repeats)
{
    const PatchSet patches = PatchSet::defaultSet();
    std::vector<Row> rows;
    for (DisplayTechnology::Kind kind : DisplayTechnology::kinds()) {
        SimulatedWorld world(kind, seed);
        for (Instrument sensor : kSensors)
            rows.push_back(run(world, sensor, patches, repeats));
    }
    return rows;
}

QString MatchingTable::text(const std::vector<Row>& rows)
{
    const int displayWidth = 16;
    const int sensorWidth = 15;
    const int figureWidth = 9;
    const int methodWidth = 2 * figureWidth + 2;
    std::vector<QString> methodNames;
    for (const auto& method : Certificate::standardMethods())
        methodNames.push_back(method->name());

    QStringList lines;
    lines << QStringLiteral("Sensor matching on the simulated station: each method's largest du'v' and dxy over the "
                            "validation patches,")
          << QStringLiteral("fitted on red, green, blue and white read by the sensor and the reference at once; the "
                            "verdict passes")
          << QStringLiteral("when the recommended method's largest dxy is at most %1.")
                 .arg(QString::number(Certificate::kDefaultTolerance, 'f', 4))
          << QString();
    QString names = QStringLiteral("display").leftJustified(displayWidth) + QStringLiteral("sensor").leftJustified(sensorWidth);
    QString units = QString(displayWidth + sensorWidth, QLatin1Char(' '));
    for (const QString& name : methodNames) {
        names += QStringLiteral("  ") + name.leftJustified(methodWidth);
        units += QStringLiteral("  ") + (QStringLiteral("du'v'").leftJustified(figureWidth) + QStringLiteral("  ")
                                          + QStringLiteral("dxy").leftJustified(figureWidth));
    }
    names += QStringLiteral("  ") + QStringLiteral("recommended").leftJustified(15) + QStringLiteral("verdict");
    lines << names << units;

    std::optional<DisplayTechnology::Kind> display;
    for (const Row& row : rows) {
        if (display && *display != row.display)
            lines << QString();
        display = row.display;
        QString line = DisplayTechnology::key(row.display).leftJustified(displayWidth)
                       + sensorName(row.sensor).leftJustified(sensorWidth);
        for (const QString& name : methodNames) {
            const Certificate::MethodResult* result = row.certificate.method(name);
            if (!result || result->refused) {
                line += QStringLiteral("  ") + QStringLiteral("refused").leftJustified(methodWidth);
                continue;
            }
            line += QStringLiteral("  ") + figure(result->validation.deltaUv.maximum).leftJustified(figureWidth)
                    + QStringLiteral("  ") + figure(result->validation.deltaXy.maximum).leftJustified(figureWidth);
        }
        const QString recommended = row.certificate.recommended();
        line += QStringLiteral("  ") + (recommended.isEmpty() ? QStringLiteral("-") : recommended).leftJustified(15)
                + (row.certificate.passes() ? QStringLiteral("pass") : QStringLiteral("fail"));
        lines << line;
    }
    for (QString& l : lines) {
        while (l.endsWith(QLatin1Char(' ')))
            l.chop(1);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray MatchingTable::json(const std::vector<Row>& rows)
{
    // Written by hand to keep the keys in the order outside checks are told
    // about; every string is one of the program's own plain names.
    QByteArray out("[");
    bool first = true;
    for (const Row& row : rows) {
        for (const Certificate::MethodResult& result : row.certificate.methods()) {
            out += first ? "\n  " : ",\n  ";
            first = false;
            const bool figures = !result.refused;
            out += "{\"display\": \"" + DisplayTechnology::key(row.display).toUtf8() + "\", \"sensor\": \""
                   + sensorName(row.sensor).toUtf8() + "\", \"method\": \"" + result.name.toUtf8() + "\"";
            out += ", \"max_delta_uv\": " + (figures ? jsonNumber(result.validation.deltaUv.maximum) : "null");
            out += ", \"max_delta_xy\": " + (figures ? jsonNumber(result.validation.deltaXy.maximum) : "null");
            out += ", \"mean_delta_uv\": " + (figures ? jsonNumber(result.validation.deltaUv.mean) : "null");
            out += ", \"recommended\": ";
            out += result.name == row.certificate.recommended() ? "true" : "false";
            out += "}";
        }
    }
    out += first ? "]\n" : "\n]\n";
    return out;
}

QStringList MatchingTable::whatIsWrong(const std::vector<Row>& rows)
{
    QStringList wrong;
    for (const Row& row : rows) {
        const QString where = QStringLiteral("the %1 on %2").arg(sensorName(row.sensor), DisplayTechnology::key(row.display));
        for (const MatchingSample& sample : row.samples) {
            if (!CorrectionMethod::isFinite(sample.sensor) || !CorrectionMethod::isFinite(sample.reference))
                wrong << QStringLiteral("%1: no reading of %2 counted").arg(where, sample.name);
        }
        if (row.certificate.methods().empty())
            wrong << QStringLiteral("%1 has no certificate").arg(where);
        for (const Certificate::MethodResult& result : row.certificate.methods()) {
            if (result.refused)
                wrong << QStringLiteral("%1: %2").arg(where, result.error);
            else if (!std::isfinite(result.validation.deltaUv.maximum)
                     || !std::isfinite(result.validation.deltaXy.maximum))
                wrong << QStringLiteral("%1: %2 leaves no figure").arg(where, result.name);
        }
    }
    return wrong;
}
