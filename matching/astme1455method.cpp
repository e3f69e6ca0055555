#include "astme1455method.h"

QString AstmE1455Method::name() const
{
    return QStringLiteral("astm-e1455");
}

bool AstmE1455Method::compute(const std::vector<MatchingSample>& samples, Matrix3x3* out,
                              QString* error) const
{
    std::vector<const MatchingSample*> p;
    if (!trainingPatches(samples, {QStringLiteral("red"), QStringLiteral("green"), QStringLiteral("blue")},
                         &p, error))
        return false;

    Matrix3x3 sensor{};
    Matrix3x3 reference{};
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) {
            sensor[r][c] = p[c]->sensor[r];
            reference[r][c] = p[c]->reference[r];
        }
    }
    Matrix3x3 sensorInverse{};
    if (!invert(sensor, &sensorInverse))
        return refuse(error, tr("the sensor's readings of red, green and blue are linearly dependent"));
    // A singular reference would give a correction that flattens colours.
    Matrix3x3 referenceInverse{};
    if (!invert(reference, &referenceInverse))
        return refuse(error, tr("the reference's readings of red, green and blue are linearly dependent"));
    return accept(multiply(reference, sensorInverse), out, error);
}
