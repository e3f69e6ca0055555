// Paints the display technologies' primaries and the colorimeters'
// sensitivities (against the observer's functions, dashed) to a PNG.
#include "colorimetermodel.h"
#include "displaytechnology.h"
#include "spectrachart.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>

#include <cstdio>

namespace {

enum ExitCode { Written = 0, NotWritten = 1, WrongCommandLine = 2 };

int refuse(const QString& error)
{
    const QString name = QCoreApplication::applicationName();
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qPrintable(name), qPrintable(error), qPrintable(name));
    return WrongCommandLine;
}

} // namespace

int main(int argc, char* argv[])
{
    // Painted to an image only: no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumaserve-spectra"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Paints the simulated display technologies' primaries and the simulated colorimeters'\n"
                       "sensitivities (solid) against the CIE 1931 observer (dashed) into a PNG file.\n"
                       "\n"
                       "Exit status:\n"
                       "  0  the picture was written\n"
                       "  1  the file could not be written (nothing of it is left behind)\n"
                       "  2  wrong command line"));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The PNG file to write, such as docs/spectra.png."));
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return Written;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return refuse(files.isEmpty() ? QStringLiteral("no FILE given")
                                              : QStringLiteral("one FILE only, not %1").arg(files.size()));
    const QString fileName = files.first();

    const QColor primaryColours[] = {QColor(210, 30, 30), QColor(30, 150, 50), QColor(40, 60, 220), QColor(90, 90, 90)};
    std::vector<SpectraChart> charts;
    for (const DisplayTechnology& t : DisplayTechnology::all()) {
        SpectraChart chart(t.name());
        for (int p = DisplayTechnology::Red; p <= DisplayTechnology::White; ++p)
            if (p != DisplayTechnology::White || t.hasWhiteSubpixel())
                chart.add(t.primary(static_cast<DisplayTechnology::Primary>(p)), primaryColours[p]);
        if (t.hasWhiteSubpixel())
            chart.addLegend(QStringLiteral("white sub-pixel"), primaryColours[DisplayTechnology::White]);
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
        chart.addLegend(QStringLiteral("sensor"), Qt::black);
        chart.addLegend(QStringLiteral("CIE 1931"), Qt::black, true);
        charts.push_back(chart);
    }

    const int columns = 3;
    const QSizeF cell(520.0, 300.0);
    const int rows = (static_cast<int>(charts.size()) + columns - 1) / columns;
    const double captionHeight = 64.0;
    QImage image(static_cast<int>(columns * cell.width()), static_cast<int>(rows * cell.height() + captionHeight),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        for (std::size_t i = 0; i < charts.size(); ++i) {
            const int row = static_cast<int>(i) / columns, column = static_cast<int>(i) % columns;
            charts[i].paint(painter, QRectF(QPointF(column * cell.width(), row * cell.height()), cell));
        }
        painter.setPen(Qt::black);
        painter.drawText(QRectF(12.0, rows * cell.height() + 4.0, image.width() - 24.0, captionHeight - 8.0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                         QStringLiteral("Solid: the display technologies' red, green and blue sub-pixels (grey: a "
                                        "white sub-pixel) at full drive, and the colorimeters' X, Y and Z channel "
                                        "sensitivities. Dashed: the CIE 1931 standard observer's colour-matching "
                                        "functions the channels should follow; f1′ is each channel's mismatch with "
                                        "them. Every panel is scaled to its own highest value."));
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(fileName), qPrintable(file.errorString()));
        return NotWritten;
    }
    return Written;
}
