#include "certificatecsv.h"

#include "certificate.h"

#include <QStringList>

#include <cmath>

namespace {

QString number(double v)
{
    // QString::number ignores the locale; an empty field says "no figure".
    return std::isfinite(v) ? QString::number(v, 'g', 12) : QString();
}

QString field(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QByteArray CertificateCsv::toCsv(const Certificate& certificate)
{
    static const QStringList header{
        QStringLiteral("method"), QStringLiteral("patch"), QStringLiteral("training"),
        QStringLiteral("reference_X"), QStringLiteral("reference_Y"), QStringLiteral("reference_Z"),
        QStringLiteral("corrected_X"), QStringLiteral("corrected_Y"), QStringLiteral("corrected_Z"),
        QStringLiteral("reference_x"), QStringLiteral("reference_y"),
        QStringLiteral("corrected_x"), QStringLiteral("corrected_y"),
        QStringLiteral("reference_u'"), QStringLiteral("reference_v'"),
        QStringLiteral("corrected_u'"), QStringLiteral("corrected_v'"),
        QStringLiteral("delta_xy"), QStringLiteral("delta_uv"), QStringLiteral("delta_e2000"),
        QStringLiteral("luminance_error_percent"), QStringLiteral("error")};

    QString out = header.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const Certificate::MethodResult& r : certificate.methods()) {
        if (r.refused) {
            QStringList line{field(r.name)};
            for (int i = 2; i < header.size(); ++i)
                line << QString();
            line << field(r.error);
            out += line.join(QLatin1Char(',')) + QLatin1Char('\n');
            continue;
        }
        for (const Certificate::PatchFigures& f : r.patches) {
            QStringList line{field(r.name), field(f.name),
                             f.training ? QStringLiteral("true") : QStringLiteral("false")};
            for (double v : f.reference)
                line << number(v);
            for (double v : f.corrected)
                line << number(v);
            line << number(f.referenceXyY[0]) << number(f.referenceXyY[1])
                 << number(f.correctedXyY[0]) << number(f.correctedXyY[1])
                 << number(f.referenceUv[0]) << number(f.referenceUv[1])
                 << number(f.correctedUv[0]) << number(f.correctedUv[1])
                 << number(f.deltaXy) << number(f.deltaUv) << number(f.deltaE2000)
                 << number(f.luminanceErrorPercent) << QString();
            out += line.join(QLatin1Char(',')) + QLatin1Char('\n');
        }
    }
    return out.toUtf8();
}
