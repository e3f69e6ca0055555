// plot's two readers on whatever a point list or a certificate holds. The
// first byte picks the reader (even: the point list; odd: the certificate,
// the recommended method or, with bit 1 set, the method "fcmm").
//
// Beyond crashes: what is refused says why and keeps nothing; what is taken
// is a chromaticity, every one of it, and a certificate's method is one it names.
#include "certificatepoints.h"
#include "plotpointsfile.h"

#include <QByteArray>

#include <cmath>
#include <cstdlib>

namespace {

bool isChromaticity(double x, double y)
{
    return std::isfinite(x) && std::isfinite(y) && x >= 0.0 && y > 0.0 && x + y <= 1.0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray text(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    QString error;
    if ((data[0] & 1) == 0) {
        PlotPointsFile file;
        if (!file.parse(text, &error)) {
            if (error.isEmpty() || !file.points().empty())
                std::abort();
            return 0;
        }
        if (file.points().empty())
            std::abort();
        for (const PlotPointsFile::Point& p : file.points())
            if (!isChromaticity(p.x, p.y))
                std::abort();
        return 0;
    }
    CertificatePoints certificate;
    const QString method = (data[0] & 2) ? QStringLiteral("fcmm") : QString();
    if (!certificate.parse(text, method, &error)) {
        if (error.isEmpty() || !certificate.patches().empty())
            std::abort();
        return 0;
    }
    if (certificate.patches().empty() || !certificate.methods().contains(certificate.method())
        || (!method.isEmpty() && certificate.method() != method))
        std::abort();
    for (const CertificatePoints::Patch& p : certificate.patches())
        if (!std::isfinite(p.reference[0]) || !std::isfinite(p.reference[1]) || !std::isfinite(p.corrected[0])
            || !std::isfinite(p.corrected[1]))
            std::abort();
    return 0;
}
