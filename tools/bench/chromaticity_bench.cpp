// Times painting the chromaticity diagram into an 800 x 800 image, side by
// side in one run: the diagram alone (the baseline), with a trail of 10 000
// readings settling on a white, and with 10 000 readings scattered over the
// gamut, where nothing can be merged. Goal: the trails under 16 ms a paint,
// one frame at 60 Hz. With an image file named, the scattered diagram is also
// saved there to be looked at, and with a second the settling trail, fitted.

#include "chromaticitydiagram.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

using Xy = ChromaticityDiagram::Xy;

// Milliseconds a paint, the mean of repeats after one to warm up.
double paintTime(const ChromaticityDiagram& diagram, QImage& image, int repeats)
{
    const QRectF area(0, 0, image.width(), image.height());
    const auto once = [&] {
        image.fill(Qt::white);
        QPainter painter(&image);
        diagram.paint(painter, area, 13.0);
    };
    once();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i)
        once();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / repeats;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const int repeats = 40;
    QImage image(800, 800, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1.0);

    ChromaticityDiagram diagram;
    diagram.setGamuts(ChromaticityDiagram::Bt709 | ChromaticityDiagram::DciP3 | ChromaticityDiagram::Bt2020);
    diagram.setTarget(ChromaticityDiagram::d65(), {ChromaticityDiagram::Tolerance::Shape::CircleUv, 0.005});
    const double baseline = paintTime(diagram, image, repeats);

    // A display's white walking in from a warm start, then held by the service.
    ChromaticityDiagram::Trail settling;
    Xy at{0.33, 0.35};
    for (int i = 0; i < 10000; ++i) {
        at[0] += 0.02 * (0.3127 - at[0]) + 0.0002 * noise(random);
        at[1] += 0.02 * (0.3290 - at[1]) + 0.0002 * noise(random);
        settling.points.push_back(at);
    }
    diagram.setTrails({settling});
    const double settled = paintTime(diagram, image, repeats);
    if (argc > 2) {
        ChromaticityDiagram fitted = diagram;
        fitted.fitView();
        paintTime(fitted, image, 1);
        image.save(QString::fromLocal8Bit(argv[2]));
    }

    ChromaticityDiagram::Trail scattered;
    std::uniform_real_distribution<double> spread(0.0, 1.0);
    for (int i = 0; i < 10000; ++i) {
        const double a = spread(random), b = spread(random) * (1.0 - a);
        scattered.points.push_back({0.64 * a + 0.30 * b + 0.15 * (1.0 - a - b), 0.33 * a + 0.60 * b + 0.06 * (1.0 - a - b)});
    }
    diagram.setTrails({scattered});
    const double worst = paintTime(diagram, image, repeats);

    // QGuiApplication takes the user's locale for the C library too: figures
    // are put into words by Qt, with a decimal point.
    const auto ms = [](double value) { return QString::number(value, 'f', 2).rightJustified(7); };
    const auto over = [baseline](double value) {
        return (value >= baseline ? QStringLiteral("+") : QString()) + QString::number(value - baseline, 'f', 2);
    };
    const auto line = [](const QString& text) { std::puts(qPrintable(text)); };
    line(QStringLiteral("chromaticity diagram, 800 x 800, mean of %1 paints").arg(repeats));
    line(QStringLiteral("  diagram alone (baseline)        %1 ms").arg(ms(baseline)));
    line(QStringLiteral("  10 000 readings settling        %1 ms  (%2 ms over baseline)").arg(ms(settled), over(settled)));
    line(QStringLiteral("  10 000 readings scattered       %1 ms  (%2 ms over baseline)").arg(ms(worst), over(worst)));
    line(QStringLiteral("  goal: under 16 ms a paint       %1")
             .arg(settled < 16.0 && worst < 16.0 ? QStringLiteral("met") : QStringLiteral("NOT met")));
    if (argc > 1)
        return image.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
    return 0;
}
