#include "matrixtable.h"

#include "ccolor.h"
#include "correctionmatrix.h"
#include "whitealignment.h"

#include <cmath>
#include <limits>
#include <memory>

namespace {

using Instrument = SimulatedWorld::Instrument;

const Instrument kSensors[] = {Instrument::CA410, Instrument::CR100, Instrument::CR250, Instrument::I1DisplayPro,
                               Instrument::K10};

MatrixTable::Matrix3x3 identity()
{
    return {{{{1.0, 0.0, 0.0}}, {{0.0, 1.0, 0.0}}, {{0.0, 0.0, 1.0}}}};
}

Xyz times(const MatrixTable::Matrix3x3& m, const Xyz& v)
{
    Xyz r{};
    for (size_t i = 0; i < 3; ++i)
        r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return r;
}

QString figure(double value)
{
    return std::isfinite(value) ? QString::number(value, 'f', 5) : QStringLiteral("failed");
}

} // namespace

MatrixTable::Matrix3x3 MatrixTable::correctionMatrix(SimulatedWorld& world, Instrument sensor)
{
    // Painted as the calibrate dialog paints them, in its order.
    const std::array<int, 3> patches[CorrectionMatrix::kPatchCount] = {
        {{255, 0, 0}}, {{0, 255, 0}}, {{0, 0, 255}}, {{255, 255, 255}}};
    CColor measured[CorrectionMatrix::kPatchCount];
    CColor reference[CorrectionMatrix::kPatchCount];
    const std::optional<std::array<int, 3>> before = world.screenPatch();
    for (int p = 0; p < CorrectionMatrix::kPatchCount; ++p) {
        world.setScreenPatch(patches[p]);
        const Xyz m = world.sensorReading(sensor);
        const Xyz r = world.referenceReading();
        measured[p] = CColor(m[0], m[1], m[2]);
        reference[p] = CColor(r[0], r[1], r[2]);
    }
    world.setScreenPatch(before);
    const Matrix matrix = CorrectionMatrix::compute(measured, reference);
    Matrix3x3 rows{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            rows[size_t(r)][size_t(c)] = matrix(r, c);
    }
    return rows;
}

double MatrixTable::alignedWhiteError(SimulatedWorld& world, Instrument sensor, const Matrix3x3& matrix,
                                      std::string* error)
{
    WhiteAlignment::Steps steps;
    steps.measure = [&world, sensor, &matrix](const std::string&, const Rgb& level, Xyz* told, std::string*) {
        world.setDisplayPatch(level);
        *told = times(matrix, world.sensorReading(sensor));
        return true;
    };
    steps.applyGains = [&world](const Rgb& gains) { world.setDisplayGains(gains); };
    std::string why;
    if (!WhiteAlignment::run(steps, &why)) {
        if (error)
            *error = why;
        return std::numeric_limits<double>::quiet_NaN();
    }
    return world.trueWhiteError();
}

std::vector<MatrixTable::Row> MatrixTable::compute(std::uint32_t seed)
{
    const auto kinds = DisplayTechnology::kinds();
    std::vector<std::unique_ptr<SimulatedWorld>> worlds;
    for (DisplayTechnology::Kind kind : kinds)
        worlds.push_back(std::make_unique<SimulatedWorld>(kind, seed));

    std::vector<Row> rows;
    for (Instrument sensor : kSensors) {
        std::vector<Matrix3x3> matrices;
        for (size_t t = 0; t < kinds.size(); ++t)
            matrices.push_back(correctionMatrix(*worlds[t], sensor));
        for (size_t d = 0; d < kinds.size(); ++d) {
            Row row;
            row.sensor = sensor;
            row.display = kinds[d];
            row.whiteDeltaUv = alignedWhiteError(*worlds[d], sensor, identity());
            rows.push_back(row);
            for (size_t m = 0; m < kinds.size(); ++m) {
                row.matrixFrom = kinds[m];
                row.whiteDeltaUv = alignedWhiteError(*worlds[d], sensor, matrices[m]);
                rows.push_back(row);
            }
        }
    }
    return rows;
}

QString MatrixTable::sensorName(Instrument sensor)
{
    return QString::fromStdString(SimulatedWorld::instrumentName(sensor));
}

QString MatrixTable::text(const std::vector<Row>& rows)
{
    const auto kinds = DisplayTechnology::kinds();
    const int nameWidth = 16;
    const int width = 16;
    QStringList lines;
    lines << QStringLiteral("The display's white after its own alignment through each sensor, in du'v' from D65:")
          << QStringLiteral("uncorrected, and with the 4-colour matrix made on each technology (* on the display's "
                            "own).");
    QString header = QStringLiteral("  display").leftJustified(nameWidth + 2)
                     + QStringLiteral("uncorrected").rightJustified(width);
    for (DisplayTechnology::Kind kind : kinds)
        header += (DisplayTechnology::key(kind) + QLatin1Char(' ')).rightJustified(width);
    std::optional<Instrument> sensor;
    QString line;
    const auto flush = [&] {
        if (!line.isEmpty())
            lines << line;
        line.clear();
    };
    for (const Row& row : rows) {
        if (!sensor || *sensor != row.sensor) {
            flush();
            sensor = row.sensor;
            lines << QString() << sensorName(row.sensor) << header;
        }
        if (!row.matrixFrom) {
            flush();
            line = (QStringLiteral("  ") + DisplayTechnology::key(row.display)).leftJustified(nameWidth + 2)
                   + figure(row.whiteDeltaUv).rightJustified(width);
        } else {
            const QChar mark = *row.matrixFrom == row.display ? QLatin1Char('*') : QLatin1Char(' ');
            line += (figure(row.whiteDeltaUv) + mark).rightJustified(width);
        }
    }
    flush();
    // The marks' column leaves blanks at the ends of lines.
    for (QString& l : lines) {
        while (l.endsWith(QLatin1Char(' ')))
            l.chop(1);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray MatrixTable::json(const std::vector<Row>& rows)
{
    // Written by hand to keep the keys in the order outside checks are told
    // about; every string is one of the program's own plain names.
    QByteArray out("[");
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        out += i == 0 ? "\n  " : ",\n  ";
        out += "{\"sensor\": \"" + sensorName(row.sensor).toUtf8() + "\", \"display\": \""
               + DisplayTechnology::key(row.display).toUtf8() + "\", \"matrix_from\": ";
        out += row.matrixFrom ? "\"" + DisplayTechnology::key(*row.matrixFrom).toUtf8() + "\"" : QByteArray("null");
        out += ", \"white_delta_uv\": ";
        out += std::isfinite(row.whiteDeltaUv) ? QByteArray::number(row.whiteDeltaUv, 'g', 10) : QByteArray("null");
        out += "}";
    }
    out += rows.empty() ? "]\n" : "\n]\n";
    return out;
}
