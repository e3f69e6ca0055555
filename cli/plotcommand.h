#ifndef PLOTCOMMAND_H
#define PLOTCOMMAND_H

#include "certificatepoints.h"
#include "chromaticitydiagram.h"
#include "command.h"
#include "plotpointsfile.h"

#include <QSize>

#include <vector>

class QPainter;

// `plot`: a chromaticity diagram of points from a CSV list, or of a
// sensor-matching certificate's errors, drawn without a display into a PNG or
// SVG file.
class PlotCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("plot"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;

    static constexpr int kMinSide = 200;
    static constexpr int kMaxSide = 8000;

    // The diagram the command draws: the points labelled with their names,
    // each patch an error vector from its reference to its corrected
    // chromaticity, magnified so the largest is seen, and the view fitted.
    static ChromaticityDiagram diagram(ChromaticityDiagram::Space space,
                                       const std::vector<PlotPointsFile::Point>& points,
                                       const std::vector<CertificatePoints::Patch>& patches);
    // How many times longer error vectors are drawn so that the largest,
    // largestError long, is about a twentieth of a view span across: 1, 2 or
    // 5 times a power of ten, never below 1 nor above 1000.
    static double magnification(double largestError, double span);
    // The letter size for a picture of size.
    static double fontSize(const QSize& size);
    // The whole picture, white behind the diagram.
    static void paint(QPainter& painter, const ChromaticityDiagram& diagram, const QSize& size);
};

#endif // PLOTCOMMAND_H
