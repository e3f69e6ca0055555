// Paints the display technologies' primaries and the colorimeters'
// sensitivities (against the observer's functions, dashed) to a PNG.
//   lumaserve-spectra [file.png]
#include "colorimetermodel.h"
#include "displaytechnology.h"
#include "spectrachart.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Painted to an image only: no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString fileName = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("spectra.png");

    const QColor primaryColours[] = {QColor(210, 30, 30), QColor(30, 150, 50), QColor(40, 60, 220), QColor(90, 90, 90)};
    std::vector<SpectraChart> charts;
    for (const DisplayTechnology& t : DisplayTechnology::all()) {
        SpectraChart chart(t.name());
        for (int p = DisplayTechnology::Red; p <= DisplayTechnology::White; ++p)
            if (p != DisplayTechnology::White || t.hasWhiteSubpixel())
                chart.add(t.primary(static_cast<DisplayTechnology::Primary>(p)), primaryColours[p]);
        charts.push_back(chart);
    }
    const Observer& observer = Observer::cie1931();
    for (const ColorimeterModel& c : ColorimeterModel::all()) {
        SpectraChart chart(QStringLiteral("%1 (f1′ %2 / %3 / %4 %)")
                               .arg(c.name())
                               .arg(100.0 * c.f1Prime(0), 0, 'f', 1)
                               .arg(100.0 * c.f1Prime(1), 0, 'f', 1)
                               .arg(100.0 * c.f1Prime(2), 0, 'f', 1));
        for (int channel = 0; channel < 3; ++channel) {
            chart.add(observer.function(channel), primaryColours[channel], true);
            chart.add(c.sensitivity(channel), primaryColours[channel]);
        }
        charts.push_back(chart);
    }

    const int columns = 3;
    const QSizeF cell(520.0, 300.0);
    const int rows = (static_cast<int>(charts.size()) + columns - 1) / columns;
    QImage image(static_cast<int>(columns * cell.width()), static_cast<int>(rows * cell.height()),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        for (std::size_t i = 0; i < charts.size(); ++i) {
            const int row = static_cast<int>(i) / columns, column = static_cast<int>(i) % columns;
            charts[i].paint(painter, QRectF(QPointF(column * cell.width(), row * cell.height()), cell));
        }
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(fileName), qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
