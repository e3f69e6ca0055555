#include "plotcommand.h"

#include "exitcode.h"
#include "plainfile.h"
#include "svgpaintdevice.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

ChromaticityDiagram::Xy inSpace(ChromaticityDiagram::Space space, const ChromaticityDiagram::Xy& xy)
{
    return space == ChromaticityDiagram::Space::Uv ? ChromaticityDiagram::toUv(xy) : xy;
}

} // namespace

QString PlotCommand::summary() const
{
    return QStringLiteral("Draw a chromaticity diagram of points or of a matching certificate into a PNG or SVG file.");
}

double PlotCommand::magnification(double largestError, double span)
{
    return ChromaticityDiagram::vectorMagnification(largestError, span);
}

double PlotCommand::fontSize(const QSize& size)
{
    return std::min(size.width(), size.height()) / 60.0;
}

ChromaticityDiagram PlotCommand::diagram(ChromaticityDiagram::Space space,
                                         const std::vector<PlotPointsFile::Point>& points,
                                         const std::vector<CertificatePoints::Patch>& patches)
{
    ChromaticityDiagram d;
    d.setSpace(space);
    d.setGamuts(ChromaticityDiagram::Bt709);
    std::vector<ChromaticityDiagram::Point> shown;
    for (const PlotPointsFile::Point& p : points) {
        ChromaticityDiagram::Point point;
        point.xy = {p.x, p.y};
        point.label = p.name;
        shown.push_back(point);
    }
    d.setPoints(shown);
    std::vector<ChromaticityDiagram::Vector> vectors;
    double largest = 0.0;
    for (const CertificatePoints::Patch& p : patches) {
        vectors.push_back({p.reference, p.corrected, p.name});
        const auto from = inSpace(space, p.reference), to = inSpace(space, p.corrected);
        largest = std::max(largest, std::hypot(to[0] - from[0], to[1] - from[1]));
    }
    d.setVectors(vectors);
    // The view the errors would have drawn true to size sets how much they
    // are magnified; the view is then fitted again to take in the arrows.
    d.setVectorScale(1.0);
    d.fitView();
    if (!vectors.empty()) {
        d.setVectorScale(magnification(largest, d.span()));
        d.fitView();
    }
    return d;
}

void PlotCommand::paint(QPainter& painter, const ChromaticityDiagram& diagram, const QSize& size)
{
    const QRectF area(QPointF(0.0, 0.0), QSizeF(size));
    painter.fillRect(area, Qt::white);
    diagram.paint(painter, area, fontSize(size));
}

int PlotCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption spaceOption(
        QStringLiteral("space"),
        QStringLiteral("The diagram: xy (CIE 1931, the default) or uv (CIE 1976 u'v')."), QStringLiteral("S"));
    const QCommandLineOption pointsOption(
        QStringLiteral("points"),
        QStringLiteral("Points as lines \"name,x,y\" (CIE 1931 x, y with a decimal point; a header line "
                       "allowed; a name with a comma in double quotes)."),
        QStringLiteral("FILE.csv"));
    const QCommandLineOption certificateOption(
        QStringLiteral("certificate"),
        QStringLiteral("A sensor-matching certificate.json: each patch drawn as an error from the reference's "
                       "chromaticity to the corrected sensor's, magnified as the legend says."),
        QStringLiteral("FILE.json"));
    const QCommandLineOption methodOption(
        QStringLiteral("method"),
        QStringLiteral("The certificate's method to draw (default: the one it recommends)."), QStringLiteral("NAME"));
    const QCommandLineOption outOption(
        QStringLiteral("out"), QStringLiteral("The picture to write, a .png or an .svg file (replaced whole)."),
        QStringLiteral("FILE"));
    const QCommandLineOption sizeOption(
        QStringLiteral("size"),
        QStringLiteral("The picture's width and height in pixels, each %1 to %2 (default 1000x1000).")
            .arg(kMinSide)
            .arg(kMaxSide),
        QStringLiteral("WxH"));
    parser.addOptions({spaceOption, pointsOption, certificateOption, methodOption, outOption, sizeOption});
    const int parsed = parseOptionsOnly(
        parser, arguments,
        QStringLiteral("Draws a chromaticity diagram of the points in a CSV list, of a sensor-matching "
                       "certificate's errors, or of both, with the BT.709 gamut and the Planckian and "
                       "daylight loci, zoomed to what is drawn; no display is needed."));
    if (parsed >= 0)
        return parsed;

    ChromaticityDiagram::Space space = ChromaticityDiagram::Space::Xy;
    if (parser.isSet(spaceOption)) {
        const QString value = parser.value(spaceOption).trimmed().toLower();
        if (value == QLatin1String("uv"))
            space = ChromaticityDiagram::Space::Uv;
        else if (value != QLatin1String("xy"))
            return usageError(QStringLiteral("--space must be xy or uv, not '%1'").arg(parser.value(spaceOption)));
    }
    if (!parser.isSet(pointsOption) && !parser.isSet(certificateOption))
        return usageError(QStringLiteral("give --points, --certificate or both: what to draw"));
    if (parser.isSet(methodOption) && !parser.isSet(certificateOption))
        return usageError(QStringLiteral("--method names a method of the --certificate"));
    if (parser.isSet(methodOption) && parser.value(methodOption).isEmpty())
        return usageError(QStringLiteral("--method needs a name"));
    const QString out = parser.value(outOption);
    if (out.isEmpty())
        return usageError(QStringLiteral("--out is required"));
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("svg"))
        return usageError(QStringLiteral("--out must end in .png or .svg, not '%1'").arg(out));
    QSize size(1000, 1000);
    if (parser.isSet(sizeOption)) {
        static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,5})[xX]([0-9]{1,5})$"));
        const QRegularExpressionMatch match = pattern.match(parser.value(sizeOption).trimmed());
        size = match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
        if (size.width() < kMinSide || size.width() > kMaxSide || size.height() < kMinSide || size.height() > kMaxSide)
            return usageError(QStringLiteral("--size must be WxH, each %1 to %2 pixels, not '%3'")
                                  .arg(kMinSide)
                                  .arg(kMaxSide)
                                  .arg(parser.value(sizeOption)));
    }
    PlotPointsFile points;
    QString error;
    if (parser.isSet(pointsOption) && !points.read(parser.value(pointsOption), &error)) {
        printError(QStringLiteral("Cannot plot the points %1").arg(error));
        return ExitFile;
    }
    CertificatePoints certificate;
    if (parser.isSet(certificateOption)
        && !certificate.read(parser.value(certificateOption), parser.value(methodOption), &error)) {
        printError(QStringLiteral("Cannot plot the certificate %1").arg(error));
        return ExitFile;
    }

    const ChromaticityDiagram shown = diagram(space, points.points(), certificate.patches());
    QByteArray bytes;
    if (suffix == QLatin1String("svg")) {
        SvgPaintDevice svg(size);
        {
            QPainter painter(&svg);
            paint(painter, shown, size);
        }
        bytes = svg.svg();
    } else {
        QImage image(size, QImage::Format_RGB32);
        {
            QPainter painter(&image);
            paint(painter, shown, size);
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) {
            printError(QStringLiteral("Cannot make the PNG picture for %1").arg(out));
            return ExitFile;
        }
    }
    if (!PlainFile::writeWhole(out, bytes, &error)) {
        printError(QStringLiteral("Cannot write %1: %2").arg(out, error));
        return ExitFile;
    }
    return ExitDone;
}
