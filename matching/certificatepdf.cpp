#include "certificatepdf.h"

#include "certificate.h"
#include "pagefont.h"
#include "plainfile.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

// QString::number ignores the locale: the page reads the same everywhere.
QString fixed(double value, int decimals)
{
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QString(QChar(0x2013));
}

// With its sign, but none on what rounds to nought ("-0.00").
QString signedFixed(double value, int decimals)
{
    QString text = fixed(value, decimals);
    if (!std::isfinite(value))
        return text;
    const bool nought = !text.contains(QRegularExpression(QStringLiteral("[1-9]")));
    if (nought)
        return text.startsWith(QLatin1Char('-')) ? text.mid(1) : text;
    return value > 0.0 ? QLatin1Char('+') + text : text;
}

QString identity(const MatchingSession::Instrument& instrument)
{
    if (instrument.serialNumber.isEmpty())
        return instrument.typeName;
    return CertificatePdf::tr("%1, serial number %2").arg(instrument.typeName, instrument.serialNumber);
}

const QString kDeltaXy = QStringLiteral("\u0394xy");
const QString kDeltaUv = QStringLiteral("\u0394u\u2032v\u2032");

// The page, in points.
constexpr double kMargin = 42.0;
constexpr double kTop = 40.0;
constexpr double kBottom = 34.0;
constexpr double kBody = 8.6;       // heading lines
constexpr double kMethodFont = 7.8; // method table
constexpr double kPatchFont = 7.0;  // patch table
constexpr double kSectionFont = 10.0;

const QColor kPass(0x1b, 0x7a, 0x36);
const QColor kFail(0xb0, 0x20, 0x20);
const QColor kRule(0x99, 0x99, 0x99);
const QColor kMarked(0xe4, 0xee, 0xfa);

// The heights of a table's parts in letters of size.
double rowHeight(double size) { return size * 1.55; }
double headerHeight(const CertificatePdf::Table& table, double size)
{
    int lines = 1;
    for (const QString& h : table.header)
        lines = std::max(lines, int(h.count(QLatin1Char('\n'))) + 1);
    return size * (0.4 + 1.25 * lines);
}
double tableHeight(const CertificatePdf::Table& table, double size)
{
    return headerHeight(table, size) + rowHeight(size) * double(table.rows.size())
           + (table.note.isEmpty() ? 0.0 : rowHeight(size) * 1.2);
}

// The first column's text left, the figures right; widths relative.
double drawTable(QPainter& painter, const QRectF& area, const CertificatePdf::Table& table,
                 const std::vector<double>& widths, double size)
{
    painter.save();
    const QFont font = pageFont(size, painter.device());
    const QFont bold = pageFont(size, painter.device(), true);
    QFont italic = font;
    italic.setItalic(true);
    double total = 0.0;
    for (double w : widths)
        total += w;
    std::vector<double> lefts{area.left()};
    for (double w : widths)
        lefts.push_back(lefts.back() + area.width() * w / total);
    const double pad = size * 0.35;
    const auto cell = [&](int column, double top, double height, int span = 1) {
        const int last = std::min(int(widths.size()), column + span);
        return QRectF(lefts[std::size_t(column)] + pad, top, lefts[std::size_t(last)] - lefts[std::size_t(column)] - 2 * pad,
                      height);
    };
    const auto align = [&table](int column) { return column < table.textColumns ? Qt::AlignLeft : Qt::AlignRight; };

    double y = area.top();
    const double head = headerHeight(table, size);
    painter.setFont(bold);
    painter.setPen(Qt::black);
    for (int c = 0; c < table.header.size() && c < int(widths.size()); ++c)
        // A heading a little wider than its figures runs on to the left.
        painter.drawText(cell(c, y, head - size * 0.3), align(c) | Qt::AlignBottom | Qt::TextDontClip,
                         table.header.at(c));
    y += head;
    painter.setPen(QPen(Qt::black, size * 0.08));
    painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));

    const double row = rowHeight(size);
    for (int r = 0; r < int(table.rows.size()); ++r) {
        const QStringList& cells = table.rows[std::size_t(r)];
        if (r == table.marked)
            painter.fillRect(QRectF(area.left(), y, area.width(), row), kMarked);
        const bool spans = cells.size() < table.header.size();
        for (int c = 0; c < cells.size() && c < int(widths.size()); ++c) {
            const bool last = c == cells.size() - 1;
            const int span = spans && last ? int(widths.size()) - c : 1;
            painter.setFont(r == table.marked ? bold : spans && last ? italic : font);
            painter.setPen(spans && last ? QColor(0x55, 0x55, 0x55) : QColor(Qt::black));
            const QRectF box = cell(c, y, row, span);
            const QString text = QFontMetricsF(painter.font(), painter.device())
                                     .elidedText(cells.at(c), Qt::ElideRight, box.width());
            painter.drawText(box, (spans && last ? Qt::AlignLeft : align(c)) | Qt::AlignVCenter, text);
        }
        y += row;
        painter.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), size * 0.05));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    if (!table.note.isEmpty()) {
        painter.setFont(italic);
        painter.setPen(QColor(0x33, 0x33, 0x33));
        painter.drawText(QRectF(area.left(), y + size * 0.3, area.width(), row), Qt::AlignLeft | Qt::AlignVCenter,
                         table.note);
        y += row * 1.2;
    }
    painter.restore();
    return y - area.top();
}

double drawSection(QPainter& painter, double left, double top, double width, const QString& text)
{
    painter.save();
    painter.setFont(pageFont(kSectionFont, painter.device(), true));
    painter.setPen(Qt::black);
    const double height = kSectionFont * 1.7;
    painter.drawText(QRectF(left, top, width, height), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.restore();
    return height;
}

} // namespace

QString CertificatePdf::title()
{
    return tr("Sensor matching certificate");
}

QStringList CertificatePdf::headingLines(const Certificate& certificate, const Heading& heading)
{
    QStringList lines;
    if (!heading.sensor.typeName.isEmpty() || !heading.sensor.serialNumber.isEmpty())
        lines << tr("Sensor: %1").arg(identity(heading.sensor));
    if (!heading.reference.typeName.isEmpty() || !heading.reference.serialNumber.isEmpty())
        lines << tr("Reference: %1").arg(identity(heading.reference));
    if (heading.date.isValid())
        lines << tr("Date: %1")
                     .arg(QLocale::c().toString(heading.date.toUTC(), QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")));
    lines << tr("Tolerance: largest %1 on validation patches %2")
                 .arg(kDeltaXy, QString::number(certificate.tolerance(), 'g', 6));
    return lines;
}

QString CertificatePdf::verdictText(const Certificate& certificate)
{
    return certificate.passes() ? tr("PASS") : tr("FAIL");
}

QString CertificatePdf::recommendedText(const Certificate& certificate)
{
    return certificate.recommended().isEmpty() ? tr("No method could be judged on validation patches.")
                                               : tr("Recommended method:\n%1").arg(certificate.recommended());
}

CertificatePdf::Table CertificatePdf::methodTable(const Certificate& certificate)
{
    Table table;
    table.header = QStringList{tr("Method"),
                               tr("Validation\nmean %1").arg(kDeltaUv),
                               tr("Validation\nmax %1").arg(kDeltaUv),
                               tr("Validation\nmax %1").arg(kDeltaXy),
                               tr("Training\nmax %1").arg(kDeltaUv),
                               tr("Training\nmax %1").arg(kDeltaXy),
                               tr("Result")};
    for (const Certificate::MethodResult& r : certificate.methods()) {
        if (r.name == certificate.recommended())
            table.marked = int(table.rows.size());
        if (r.refused) {
            table.rows.push_back({r.name, tr("refused: %1").arg(r.error)});
            continue;
        }
        table.rows.push_back({r.name, fixed(r.validation.deltaUv.mean, 5), fixed(r.validation.deltaUv.maximum, 5),
                              fixed(r.validation.deltaXy.maximum, 5), fixed(r.training.deltaUv.maximum, 5),
                              fixed(r.training.deltaXy.maximum, 5), r.passes ? tr("pass") : tr("fail")});
    }
    if (table.marked >= 0)
        table.note = tr("The recommended method is marked: the smallest largest validation %1.").arg(kDeltaXy);
    return table;
}

CertificatePdf::Table CertificatePdf::patchTable(const Certificate& certificate, int maxRows)
{
    Table table;
    table.header = QStringList{tr("Patch"),
                               tr("Use"),
                               tr("Ref. x"),
                               tr("Ref. y"),
                               tr("Ref. Y\ncd/m\u00b2"),
                               tr("Corr. x"),
                               tr("Corr. y"),
                               kDeltaXy,
                               kDeltaUv,
                               QStringLiteral("\u0394E00"),
                               tr("\u0394Y %")};
    table.textColumns = 2;
    const Certificate::MethodResult* method = certificate.method(certificate.recommended());
    if (!method) {
        table.note = tr("No method recommended, so no patches to show.");
        return table;
    }
    const std::vector<Certificate::PatchFigures>& patches = method->patches;
    // Training patches first, then validation patches by their error, worst first.
    std::vector<std::size_t> order(patches.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&patches](std::size_t a, std::size_t b) {
        if (patches[a].training != patches[b].training)
            return patches[a].training;
        return patches[a].deltaXy > patches[b].deltaXy;
    });
    const std::size_t shown = std::min(order.size(), std::size_t(std::max(0, maxRows)));
    order.resize(shown);
    std::sort(order.begin(), order.end());
    for (std::size_t i : order) {
        const Certificate::PatchFigures& f = patches[i];
        table.rows.push_back({f.name, f.training ? tr("training") : tr("validation"), fixed(f.referenceXyY[0], 4),
                              fixed(f.referenceXyY[1], 4), fixed(f.referenceXyY[2], 2), fixed(f.correctedXyY[0], 4),
                              fixed(f.correctedXyY[1], 4), fixed(f.deltaXy, 5), fixed(f.deltaUv, 5),
                              fixed(f.deltaE2000, 2), signedFixed(f.luminanceErrorPercent, 2)});
    }
    const int leftOut = int(patches.size() - shown);
    if (leftOut == 1)
        table.note = tr("1 validation patch with a smaller %1 left out here; certificate.csv has every patch.")
                         .arg(kDeltaXy);
    else if (leftOut > 1)
        table.note = tr("%1 validation patches with smaller %2 left out here; certificate.csv has every patch.")
                         .arg(leftOut)
                         .arg(kDeltaXy);
    return table;
}

ChromaticityPlot CertificatePdf::plot(const Certificate& certificate)
{
    return ChromaticityPlot::ofMethod(certificate.method(certificate.recommended()));
}

QRectF CertificatePdf::plotArea(const Certificate& certificate, const Heading& heading)
{
    const QSizeF size = pageSize();
    const double width = size.width() - 2 * kMargin;
    const double section = kSectionFont * 1.7;
    // Below the title, the heading, the rule, the methods and the diagram's title.
    const double headingHeight = std::max(double(headingLines(certificate, heading).size()) * kBody * 1.5, 48.0);
    const double y = kTop + 30.0 + headingHeight + 10.0 + 6.0 + section + tableHeight(methodTable(certificate), kMethodFont)
                     + 8.0 + section;
    const double patchTop = size.height() - kBottom - section - tableHeight(patchTable(certificate), kPatchFont);
    // As large as the height left allows, beside room for the legend; the
    // patches follow at once when the width bounds it.
    const double widest = width * 0.72;
    const QRectF bounded = ChromaticityPlot::frame(QRectF(0, 0, widest, 1e6), kPlotFont);
    const double plotHeight = std::max(120.0, std::min(patchTop - y - 8.0, bounded.bottom() + kPlotFont * 3.0));
    const QRectF unbounded = ChromaticityPlot::frame(QRectF(0, 0, 1e6, plotHeight), kPlotFont);
    const double plotWidth = std::min(widest, unbounded.right() + kPlotFont * 1.2);
    return QRectF(kMargin, y, plotWidth, plotHeight);
}

QSizeF CertificatePdf::pageSize()
{
    return QPageSize(QPageSize::A4).size(QPageSize::Point);
}

void CertificatePdf::paint(QPainter& painter, const QRectF& page, const Certificate& certificate,
                           const Heading& heading)
{
    const QSizeF size = pageSize();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(page.topLeft());
    painter.scale(page.width() / size.width(), page.height() / size.height());
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    const double left = kMargin, width = size.width() - 2 * kMargin;
    double y = kTop;

    // Title, and the verdict boxed on the right of the heading.
    painter.setFont(pageFont(17.0, painter.device(), true));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(left, y, width, 26.0), Qt::AlignLeft | Qt::AlignVCenter, title());
    y += 30.0;
    const double verdictWidth = 178.0;
    const QStringList lines = headingLines(certificate, heading);
    painter.setFont(pageFont(kBody, painter.device()));
    const double lineHeight = kBody * 1.5;
    const QFontMetricsF bodyMetrics(painter.font(), painter.device());
    for (int i = 0; i < lines.size(); ++i) {
        const QRectF box(left, y + i * lineHeight, width - verdictWidth - 12.0, lineHeight);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                         bodyMetrics.elidedText(lines.at(i), Qt::ElideRight, box.width()));
    }
    const double headingHeight = std::max(double(lines.size()) * lineHeight, 48.0);
    const QRectF verdictBox(left + width - verdictWidth, y, verdictWidth, headingHeight);
    const QColor verdictColour = certificate.passes() ? kPass : kFail;
    painter.setPen(QPen(verdictColour, 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(verdictBox.adjusted(0.6, 0.6, -0.6, -0.6), 4.0, 4.0);
    painter.setFont(pageFont(18.0, painter.device(), true));
    painter.setPen(verdictColour);
    painter.drawText(verdictBox.adjusted(0, 2.0, 0, -verdictBox.height() * 0.5), Qt::AlignCenter,
                     verdictText(certificate));
    painter.setFont(pageFont(kBody, painter.device()));
    painter.setPen(Qt::black);
    painter.drawText(verdictBox.adjusted(6.0, verdictBox.height() * 0.5, -6.0, -2.0),
                     Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap, recommendedText(certificate));
    y += headingHeight + 10.0;
    painter.setPen(QPen(kRule, 0.6));
    painter.drawLine(QPointF(left, y), QPointF(left + width, y));
    y += 6.0;

    // The methods.
    y += drawSection(painter, left, y, width, tr("Correction methods"));
    const Table methods = methodTable(certificate);
    y += drawTable(painter, QRectF(left, y, width, 0.0), methods, {2.1, 1.5, 1.5, 1.5, 1.5, 1.5, 1.0}, kMethodFont);
    y += 8.0;

    // The patches at the foot of the page, the diagram in what is left between.
    const Table patches = patchTable(certificate);
    const QString method = certificate.recommended().isEmpty() ? tr("no") : certificate.recommended();
    const double patchBlock = kSectionFont * 1.7 + tableHeight(patches, kPatchFont);
    const double patchTop = size.height() - kBottom - patchBlock;

    y += drawSection(painter, left, y, width, tr("Chromaticity, CIE 1931 x, y: %1 correction").arg(method));
    const QRectF plotArea = CertificatePdf::plotArea(certificate, heading);
    const ChromaticityPlot diagram = plot(certificate);
    diagram.paint(painter, plotArea, kPlotFont);
    const QRectF frame = ChromaticityPlot::frame(plotArea, kPlotFont);
    const double legendLeft = frame.right() + 16.0;
    diagram.paintLegend(painter, QRectF(legendLeft, frame.top() + 4.0, left + width - legendLeft, frame.height()),
                        frame, kPlotFont);

    double py = std::min(patchTop, plotArea.bottom() + 8.0);
    py += drawSection(painter, left, py, width, tr("Patches: %1 correction").arg(method));
    drawTable(painter, QRectF(left, py, width, 0.0), patches, {2.0, 1.3, 1.0, 1.0, 1.25, 1.0, 1.0, 1.1, 1.1, 0.85, 0.9},
              kPatchFont);
    painter.restore();
}

QByteArray CertificatePdf::toPdf(const Certificate& certificate, const Heading& heading, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    // Letters need the font database, which only the graphical side offers;
    // a painter asked to draw text without it brings the process down.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return fail(tr("the PDF can only be drawn by a program started with its graphical side"));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(300);
        writer.setTitle(title());
        writer.setCreator(QCoreApplication::applicationName());
        QPainter painter;
        if (!painter.begin(&writer))
            return fail(tr("the PDF could not be started"));
        paint(painter, QRectF(0, 0, writer.width(), writer.height()), certificate, heading);
        if (!painter.end())
            return fail(tr("the PDF could not be finished"));
    }
    if (buffer.data().isEmpty())
        return fail(tr("the PDF came out empty"));
    return buffer.data();
}

bool CertificatePdf::write(const QString& fileName, const Certificate& certificate, const Heading& heading,
                           QString* error)
{
    QString why;
    const QByteArray bytes = toPdf(certificate, heading, &why);
    if (bytes.isEmpty()) {
        if (error)
            *error = tr("Cannot write %1: %2").arg(fileName, why);
        return false;
    }
    return PlainFile::writeWhole(fileName, bytes, error);
}
