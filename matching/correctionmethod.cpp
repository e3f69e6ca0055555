#include "correctionmethod.h"

#include <cmath>

CorrectionMethod::~CorrectionMethod() = default;

CorrectionMethod::Xyz CorrectionMethod::apply(const Matrix3x3& m, const Xyz& v)
{
    Xyz r{};
    for (int i = 0; i < 3; ++i)
        r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return r;
}

Matrix3x3 CorrectionMethod::multiply(const Matrix3x3& a, const Matrix3x3& b)
{
    Matrix3x3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    return r;
}

bool CorrectionMethod::invert(const Matrix3x3& m, Matrix3x3* inverse)
{
    // Cofactors: c[i][j] is the cofactor of m[j][i], so c is the adjugate.
    Matrix3x3 c{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int r0 = (j + 1) % 3, r1 = (j + 2) % 3;
            const int c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            c[i][j] = m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
        }
    }
    const double det = m[0][0] * c[0][0] + m[0][1] * c[1][0] + m[0][2] * c[2][0];
    double bound = 1.0;
    for (int col = 0; col < 3; ++col)
        bound *= std::sqrt(m[0][col] * m[0][col] + m[1][col] * m[1][col] + m[2][col] * m[2][col]);
    if (!(std::fabs(det) > 1e-9 * bound) || !std::isfinite(det))
        return false;
    for (auto& row : c)
        for (double& v : row)
            v /= det;
    *inverse = c;
    return true;
}

bool CorrectionMethod::isFinite(const Matrix3x3& m)
{
    for (const auto& row : m)
        if (!isFinite(row))
            return false;
    return true;
}

bool CorrectionMethod::isFinite(const Xyz& v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

bool CorrectionMethod::trainingPatches(const std::vector<MatchingSample>& samples,
                                       const QStringList& names,
                                       std::vector<const MatchingSample*>* found,
                                       QString* error) const
{
    std::vector<const MatchingSample*> patches;
    QStringList missing;
    for (const QString& wanted : names) {
        const MatchingSample* hit = nullptr;
        for (const MatchingSample& s : samples) {
            if (s.training && s.name == wanted) {
                hit = &s;
                break;
            }
        }
        if (!hit)
            missing << QLatin1Char('"') + wanted + QLatin1Char('"');
        patches.push_back(hit);
    }
    if (!missing.isEmpty())
        return refuse(error, tr("training colours missing: %1").arg(missing.join(QStringLiteral(", "))));
    for (const MatchingSample* s : patches) {
        if (!isFinite(s->reference))
            return refuse(error, tr("the reference's reading of \"%1\" is not a finite number").arg(s->name));
        if (!isFinite(s->sensor))
            return refuse(error, tr("the sensor's reading of \"%1\" is not a finite number").arg(s->name));
    }
    *found = patches;
    return true;
}

bool CorrectionMethod::refuse(QString* error, const QString& reason) const
{
    if (error)
        *error = tr("%1: %2").arg(name(), reason);
    return false;
}

bool CorrectionMethod::accept(const Matrix3x3& m, Matrix3x3* out, QString* error) const
{
    if (!isFinite(m))
        return refuse(error, tr("the matrix is not finite"));
    *out = m;
    return true;
}
