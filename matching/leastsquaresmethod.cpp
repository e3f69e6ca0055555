#include "leastsquaresmethod.h"

#include "matchingpatch.h"

#include <cmath>

LeastSquaresMethod::LeastSquaresMethod(Weighting weighting)
    : m_weighting(weighting)
{
}

QString LeastSquaresMethod::name() const
{
    return QStringLiteral("least-squares");
}

bool LeastSquaresMethod::compute(const std::vector<MatchingSample>& samples, Matrix3x3* out,
                                 QString* error) const
{
    std::vector<const MatchingSample*> named;
    if (!trainingPatches(samples, MatchingPatch::trainingNames(), &named, error))
        return false;
    std::vector<const MatchingSample*> patches;
    for (const MatchingSample& s : samples)
        if (s.training)
            patches.push_back(&s);
    return fit(patches, out, error);
}

bool LeastSquaresMethod::fit(const std::vector<const MatchingSample*>& patches, Matrix3x3* out,
                             QString* error) const
{
    const size_t n = patches.size();
    if (n < 3)
        return refuse(error, tr("fewer than three training patches"));

    // Rows of a: the weighted sensor readings; rows of b: the weighted reference.
    std::vector<Xyz> a(n);
    std::vector<Xyz> b(n);
    for (size_t i = 0; i < n; ++i) {
        const MatchingSample& s = *patches[i];
        if (!isFinite(s.reference))
            return refuse(error, tr("the reference's reading of \"%1\" is not a finite number").arg(s.name));
        if (!isFinite(s.sensor))
            return refuse(error, tr("the sensor's reading of \"%1\" is not a finite number").arg(s.name));
        double w = 1.0;
        if (m_weighting == Weighting::InverseLuminance) {
            if (!(s.reference[1] > 0.0))
                return refuse(error, tr("the reference's luminance of \"%1\" is not positive").arg(s.name));
            w = 1.0 / s.reference[1];
        }
        for (int k = 0; k < 3; ++k) {
            a[i][k] = w * s.sensor[k];
            b[i][k] = w * s.reference[k];
        }
    }

    double columnNorm[3] = {0.0, 0.0, 0.0};
    for (int j = 0; j < 3; ++j) {
        for (size_t i = 0; i < n; ++i)
            columnNorm[j] += a[i][j] * a[i][j];
        columnNorm[j] = std::sqrt(columnNorm[j]);
    }

    // Householder QR: a becomes R (upper triangle), b becomes Q^T b.
    for (int j = 0; j < 3; ++j) {
        double norm = 0.0;
        for (size_t i = j; i < n; ++i)
            norm += a[i][j] * a[i][j];
        norm = std::sqrt(norm);
        // A column (almost) in the span of the previous ones: the patches do not
        // fix the matrix.
        if (!(norm > 1e-9 * columnNorm[j]))
            return refuse(error, tr("fewer than three independent training patches"));
        const double alpha = a[j][j] > 0.0 ? -norm : norm;
        std::vector<double> v(n, 0.0);
        v[j] = a[j][j] - alpha;
        for (size_t i = j + 1; i < n; ++i)
            v[i] = a[i][j];
        double vv = 0.0;
        for (size_t i = j; i < n; ++i)
            vv += v[i] * v[i];
        if (vv == 0.0)
            continue;
        auto reflect = [&](std::vector<Xyz>& m, int firstColumn) {
            for (int c = firstColumn; c < 3; ++c) {
                double dot = 0.0;
                for (size_t i = j; i < n; ++i)
                    dot += v[i] * m[i][c];
                const double f = 2.0 * dot / vv;
                for (size_t i = j; i < n; ++i)
                    m[i][c] -= f * v[i];
            }
        };
        reflect(a, j);
        reflect(b, 0);
    }

    // Back substitution R x = (Q^T b) for each reference channel; x is then a row of M.
    Matrix3x3 m{};
    for (int channel = 0; channel < 3; ++channel) {
        double x[3] = {0.0, 0.0, 0.0};
        for (int r = 2; r >= 0; --r) {
            double sum = b[r][channel];
            for (int c = r + 1; c < 3; ++c)
                sum -= a[r][c] * x[c];
            x[r] = sum / a[r][r];
        }
        for (int c = 0; c < 3; ++c)
            m[channel][c] = x[c];
    }
    return accept(m, out, error);
}
