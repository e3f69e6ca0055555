// Draws the program's icons. Every picture is drawn here, on a 100 x 100 design
// grid scaled to the size it is needed at, in one palette and one line weight,
// so the set stays consistent and can be changed by editing this file.
//
//   lumaserve-icongen OUTDIR
//
// writes OUTDIR/<name>.png for every icon. The build runs it and compiles the
// pictures into the program as the resources ":/icons/resource/<name>.png".
//
//   lumaserve-icongen --theme THEMEDIR NAME
//
// writes the program's own picture for the desktop's menus, in the layout of an
// icon theme: THEMEDIR/<n>x<n>/apps/NAME.png at every size menus and launchers
// ask for, and THEMEDIR/scalable/apps/NAME.svg.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSaveFile>
#include <QString>

#include "svgpaintdevice.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

const QColor ink(0x26, 0x32, 0x38);       // outlines
const QColor paper(0xf5, 0xf7, 0xf8);     // light fills
const QColor blue(0x1e, 0x88, 0xe5);
const QColor teal(0x00, 0x89, 0x7b);
const QColor green(0x43, 0xa0, 0x47);
const QColor red(0xe5, 0x39, 0x35);
const QColor orange(0xfb, 0x8c, 0x00);
const QColor amber(0xff, 0xc1, 0x07);
constexpr double kLine = 6.0;             // line weight on the design grid

QPen outline(double width = kLine, const QColor& colour = ink)
{
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// A folder with a profile sheet in it: opens a profile.
void drawOpen(QPainter& p)
{
    p.setPen(outline());
    p.setBrush(orange.darker(115));
    QPainterPath back;
    back.moveTo(8, 82);
    back.lineTo(8, 22);
    back.lineTo(38, 22);
    back.lineTo(46, 30);
    back.lineTo(88, 30);
    back.lineTo(88, 82);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(paper);
    p.drawRect(QRectF(22, 14, 50, 40));
    p.setPen(outline(4, blue));
    p.drawLine(QPointF(30, 26), QPointF(64, 26));
    p.drawLine(QPointF(30, 38), QPointF(56, 38));
    p.setPen(outline());
    p.setBrush(orange);
    QPainterPath front;
    front.moveTo(8, 86);
    front.lineTo(18, 46);
    front.lineTo(96, 46);
    front.lineTo(86, 86);
    front.closeSubpath();
    p.drawPath(front);
}

// A diskette: saves a profile.
void drawSave(QPainter& p)
{
    p.setPen(outline());
    p.setBrush(blue);
    QPainterPath body;
    body.moveTo(10, 14);
    body.lineTo(76, 14);
    body.lineTo(90, 28);
    body.lineTo(90, 86);
    body.lineTo(10, 86);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(paper);
    p.drawRect(QRectF(24, 14, 44, 24));
    p.setBrush(ink);
    p.drawRect(QRectF(52, 20, 8, 12));
    p.setBrush(paper);
    p.drawRoundedRect(QRectF(22, 52, 56, 34), 4, 4);
    p.setPen(outline(4, blue));
    p.drawLine(QPointF(32, 64), QPointF(68, 64));
    p.drawLine(QPointF(32, 75), QPointF(60, 75));
}

// A target with one hit: one reading.
void drawSingle(QPainter& p)
{
    p.setPen(outline());
    p.setBrush(paper);
    p.drawEllipse(QPointF(50, 50), 38, 38);
    p.setPen(outline(kLine, teal));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(50, 50), 22, 22);
    p.setPen(outline());
    for (const auto& d : {QPointF(0, -1), QPointF(0, 1), QPointF(-1, 0), QPointF(1, 0)})
        p.drawLine(QPointF(50 + d.x() * 30, 50 + d.y() * 30), QPointF(50 + d.x() * 44, 50 + d.y() * 44));
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawEllipse(QPointF(50, 50), 9, 9);
}

// The rounded button shape shared by the alignment on and off pictures.
void drawButton(QPainter& p, const QColor& colour)
{
    QLinearGradient shade(0, 8, 0, 92);
    shade.setColorAt(0, colour.lighter(125));
    shade.setColorAt(1, colour.darker(115));
    p.setPen(outline());
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(8, 8, 84, 84), 18, 18);
}

// Starts the alignment service.
void drawAlignment(QPainter& p)
{
    drawButton(p, green);
    p.setPen(outline(4, ink));
    p.setBrush(paper);
    QPainterPath play;
    play.moveTo(38, 28);
    play.lineTo(74, 50);
    play.lineTo(38, 72);
    play.closeSubpath();
    p.drawPath(play);
}

// Stops the alignment service.
void drawStopAlignment(QPainter& p)
{
    drawButton(p, red);
    p.setPen(outline(4, ink));
    p.setBrush(paper);
    p.drawRoundedRect(QRectF(32, 32, 36, 36), 4, 4);
}

// A magnifier over a plug: looks for serial ports.
void drawScan(QPainter& p)
{
    p.setPen(outline(12));
    p.drawLine(QPointF(62, 62), QPointF(88, 88));
    p.setPen(outline());
    p.setBrush(paper);
    p.drawEllipse(QPointF(42, 42), 32, 32);
    // Plug: body and two pins.
    p.setBrush(teal);
    p.drawRoundedRect(QRectF(30, 40, 24, 18), 3, 3);
    p.setPen(outline(5));
    p.drawLine(QPointF(36, 40), QPointF(36, 28));
    p.drawLine(QPointF(48, 40), QPointF(48, 28));
}

// A 3 x 3 matrix in brackets, its diagonal highlighted: the correction matrix.
void drawMatrix(QPainter& p)
{
    p.setPen(outline());
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(22, 10), QPointF(10, 10), QPointF(10, 90), QPointF(22, 90)}));
    p.drawPolyline(QPolygonF({QPointF(78, 10), QPointF(90, 10), QPointF(90, 90), QPointF(78, 90)}));
    p.setPen(outline(3));
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            p.setBrush(r == c ? teal : paper);
            p.drawRoundedRect(QRectF(20 + c * 21, 20 + r * 21, 18, 18), 3, 3);
        }
    }
}

// An information sign: the About box.
void drawAbout(QPainter& p)
{
    QRadialGradient shade(QPointF(40, 36), 60);
    shade.setColorAt(0, blue.lighter(130));
    shade.setColorAt(1, blue.darker(110));
    p.setPen(outline());
    p.setBrush(shade);
    p.drawEllipse(QPointF(50, 50), 42, 42);
    p.setPen(Qt::NoPen);
    p.setBrush(paper);
    p.drawEllipse(QPointF(50, 28), 8, 8);
    p.drawRoundedRect(QRectF(42, 42, 16, 38), 5, 5);
}

// The display under alignment, showing colour bars.
void drawDisplay(QPainter& p, const QRectF& bezel)
{
    p.setPen(outline());
    p.setBrush(ink);
    const double cx = bezel.center().x();
    p.drawRect(QRectF(cx - 6, bezel.bottom(), 12, 10));
    p.drawRoundedRect(QRectF(cx - 22, bezel.bottom() + 10, 44, 6), 3, 3);
    p.drawRoundedRect(bezel, 6, 6);
    const QRectF screen = bezel.adjusted(7, 7, -7, -7);
    const QColor bars[] = {red, green, blue, paper};
    const double w = screen.width() / 4;
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(bars[i]);
        p.drawRect(QRectF(screen.left() + i * w, screen.top(), w, screen.height()));
    }
}

void drawMonitor(QPainter& p)
{
    drawDisplay(p, QRectF(6, 12, 88, 62));
}

// The colour-measuring instrument: a puck with its lens ring and cable.
void drawSensor(QPainter& p)
{
    p.setPen(outline(kLine));
    p.setBrush(Qt::NoBrush);
    QPainterPath cable;
    cable.moveTo(50, 22);
    cable.cubicTo(50, 10, 74, 16, 84, 8);
    p.drawPath(cable);
    QLinearGradient body(0, 20, 0, 92);
    body.setColorAt(0, QColor(0x60, 0x7d, 0x8b));
    body.setColorAt(1, ink);
    p.setBrush(body);
    p.drawEllipse(QRectF(12, 22, 76, 70));
    p.setBrush(paper);
    p.drawEllipse(QPointF(50, 57), 22, 22);
    QRadialGradient lens(QPointF(44, 51), 20);
    lens.setColorAt(0, teal.lighter(160));
    lens.setColorAt(1, teal);
    p.setBrush(lens);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(50, 57), 14, 14);
    p.setBrush(amber);
    p.drawEllipse(QPointF(72, 34), 5, 5);
}

// The program: a display with the instrument on its screen.
void drawApp(QPainter& p)
{
    drawDisplay(p, QRectF(6, 10, 88, 64));
    p.setPen(outline(5));
    p.setBrush(ink);
    p.drawEllipse(QPointF(50, 42), 16, 16);
    p.setPen(Qt::NoPen);
    p.setBrush(teal.lighter(140));
    p.drawEllipse(QPointF(50, 42), 7, 7);
}

struct Icon {
    const char* name;
    int size;
    std::function<void(QPainter&)> draw;
};

// Paints the design grid onto device, scaled to its size.
void paint(QPaintDevice& device, int size, const std::function<void(QPainter&)>& draw)
{
    QPainter p(&device);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);
    draw(p);
}

bool makeDirectory(const QString& path)
{
    if (QDir().mkpath(path))
        return true;
    std::fprintf(stderr, "lumaserve-icongen: cannot create %s\n", qPrintable(path));
    return false;
}

bool writePng(const std::function<void(QPainter&)>& draw, int size, const QString& path)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    paint(image, size, draw);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "lumaserve-icongen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writeSvg(const std::function<void(QPainter&)>& draw, int size, const QString& path)
{
    SvgPaintDevice svg(QSize(size, size));
    paint(svg, size, draw);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(svg.svg()) < 0 || !file.commit()) {
        std::fprintf(stderr, "lumaserve-icongen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool render(const Icon& icon, const QDir& outDir)
{
    return writePng(icon.draw, icon.size, outDir.filePath(QString::fromLatin1(icon.name) + QStringLiteral(".png")));
}

// The sizes the freedesktop menus, panels and launchers ask a theme for; the
// scalable picture serves every other.
bool renderTheme(const QDir& themeDir, const QString& name)
{
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = themeDir.filePath(QStringLiteral("%1x%1/apps").arg(size));
        if (!makeDirectory(dir) || !writePng(drawApp, size, QDir(dir).filePath(name + QStringLiteral(".png"))))
            return false;
    }
    const QString dir = themeDir.filePath(QStringLiteral("scalable/apps"));
    return makeDirectory(dir) && writeSvg(drawApp, 100, QDir(dir).filePath(name + QStringLiteral(".svg")));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--theme") == 0)
        return renderTheme(QDir(QString::fromLocal8Bit(argv[2])), QString::fromLocal8Bit(argv[3])) ? 0 : 1;
    if (argc != 2) {
        std::fputs("usage: lumaserve-icongen OUTDIR\n       lumaserve-icongen --theme THEMEDIR NAME\n", stderr);
        return 2;
    }
    const QDir outDir(QString::fromLocal8Bit(argv[1]));
    if (!makeDirectory(outDir.path()))
        return 1;
    // Tool-bar pictures are drawn at twice the usual tool-bar size so they stay
    // sharp when scaled; the panel shows sensor and monitor at 55 pixels.
    const std::vector<Icon> icons = {
        {"new", 48, drawOpen},
        {"save", 48, drawSave},
        {"single", 48, drawSingle},
        {"alignment", 48, drawAlignment},
        {"stop_alignment", 48, drawStopAlignment},
        {"scan", 48, drawScan},
        {"matrix", 48, drawMatrix},
        {"Calibration1", 48, drawAbout},
        {"app", 48, drawApp},
        {"sensor", 55, drawSensor},
        {"monitor", 55, drawMonitor},
    };
    for (const Icon& icon : icons) {
        if (!render(icon, outDir))
            return 1;
    }
    return 0;
}
