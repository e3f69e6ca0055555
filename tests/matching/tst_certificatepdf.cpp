#include "certificate.h"
#include "certificatepdf.h"
#include "chromaticityplot.h"
#include "matchingfixtures.h"

#include "pdfpages.h"

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

using MatchingFixtures::Xyz;

Certificate certify(const std::vector<MatchingSample>& samples)
{
    return MatchingFixtures::standardCertificate(samples);
}

// The display's patches and extra validation colours beyond them, the sensor
// off by a little more on each extra one, so their errors all differ.
std::vector<MatchingSample> manyPatches(int extra)
{
    std::vector<MatchingSample> out = MatchingFixtures::samples(MatchingFixtures::kSensorError, 0.002);
    for (int i = 0; i < extra; ++i) {
        MatchingSample s;
        s.name = QStringLiteral("mix %1").arg(i);
        s.reference = MatchingFixtures::mix(0.1 + 0.03 * i, 0.8 - 0.02 * i, 0.2 + 0.025 * (i % 7));
        s.sensor = CorrectionMethod::apply(MatchingFixtures::kSensorError, s.reference);
        s.sensor[0] *= 1.0 + 0.0004 * (i + 1);
        out.push_back(s);
    }
    return out;
}

double number(const QString& text, bool* ok)
{
    return QLocale::c().toDouble(text, ok);
}

} // namespace

class TestCertificatePdf : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void methodTableHasEveryMethodAndMarksTheRecommended();
    void refusedMethodIsShownWithItsReason();
    void headingSaysWhatWasMatchedAndTheVerdict_data();
    void headingSaysWhatWasMatchedAndTheVerdict();
    void patchTableLeavesOutWhatDoesNotFit_data();
    void patchTableLeavesOutWhatDoesNotFit();
    void numbersUseADecimalPointUnderAGermanLocale();
    void exactCorrectionShowsNoughtsWithoutSign();
    void plotShowsEveryPairInsideTheFrameAndApart_data();
    void plotShowsEveryPairInsideTheFrameAndApart();
    void pageShowsEachPatchWhereItsFiguresSay_data();
    void pageShowsEachPatchWhereItsFiguresSay();
    void pdfIsOnePage_data();
    void pdfIsOnePage();
    void pageDrawsTheVerdictInItsColour_data();
    void pageDrawsTheVerdictInItsColour();
};

void TestCertificatePdf::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestCertificatePdf::methodTableHasEveryMethodAndMarksTheRecommended()
{
    const Certificate certificate = certify(MatchingFixtures::samples(MatchingFixtures::kSensorError, 0.002));
    const CertificatePdf::Table table = CertificatePdf::methodTable(certificate);
    QCOMPARE(table.rows.size(), certificate.methods().size());
    QVERIFY(!certificate.recommended().isEmpty());
    QVERIFY(table.marked >= 0 && table.marked < int(table.rows.size()));
    QCOMPARE(table.rows[std::size_t(table.marked)].first(), certificate.recommended());
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const Certificate::MethodResult& r = certificate.methods()[i];
        const QStringList& row = table.rows[i];
        QCOMPARE(row.size(), table.header.size());
        QCOMPARE(row.at(0), r.name);
        // The figures, each within the rounding of its printed decimals.
        const double expected[] = {r.validation.deltaUv.mean, r.validation.deltaUv.maximum,
                                   r.validation.deltaXy.maximum, r.training.deltaUv.maximum,
                                   r.training.deltaXy.maximum};
        for (int c = 0; c < 5; ++c) {
            bool ok = false;
            const double shown = number(row.at(c + 1), &ok);
            QVERIFY2(ok, qPrintable(row.at(c + 1)));
            QVERIFY2(std::abs(shown - expected[c]) <= 0.5e-5 + 1e-12,
                     qPrintable(QStringLiteral("%1 column %2: %3").arg(r.name).arg(c + 1).arg(row.at(c + 1))));
        }
        QCOMPARE(row.last(), r.passes ? QStringLiteral("pass") : QStringLiteral("fail"));
    }
}

void TestCertificatePdf::refusedMethodIsShownWithItsReason()
{
    // A sensor's white reading that is no number: the methods that use white refuse.
    std::vector<MatchingSample> samples = MatchingFixtures::samples();
    MatchingFixtures::find(samples, QStringLiteral("white"))->sensor[0] = std::numeric_limits<double>::quiet_NaN();
    const Certificate certificate = certify(samples);
    const CertificatePdf::Table table = CertificatePdf::methodTable(certificate);
    int refused = 0;
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const Certificate::MethodResult& r = certificate.methods()[i];
        if (!r.refused)
            continue;
        ++refused;
        QCOMPARE(table.rows[i].size(), 2);
        QCOMPARE(table.rows[i].at(0), r.name);
        QVERIFY(!r.error.isEmpty());
        QVERIFY2(table.rows[i].at(1).contains(QStringLiteral("refused")) && table.rows[i].at(1).contains(r.error),
                 qPrintable(table.rows[i].at(1)));
        QVERIFY(int(i) != table.marked);
    }
    QCOMPARE(refused, 3);
    QVERIFY(table.marked >= 0 && table.marked < int(table.rows.size()));
    QCOMPARE(table.rows[std::size_t(table.marked)].first(), QStringLiteral("astm-e1455"));
}

void TestCertificatePdf::headingSaysWhatWasMatchedAndTheVerdict_data()
{
    QTest::addColumn<double>("misread");  // the sensor's X of cyan, times
    QTest::addColumn<bool>("identified"); // instruments and date given
    QTest::addColumn<QString>("verdict");

    QTest::newRow("passes, identified") << 1.0 << true << QStringLiteral("PASS");
    QTest::newRow("fails, identified") << 1.2 << true << QStringLiteral("FAIL");
    QTest::newRow("passes, nothing known") << 1.0 << false << QStringLiteral("PASS");
}

void TestCertificatePdf::headingSaysWhatWasMatchedAndTheVerdict()
{
    QFETCH(double, misread);
    QFETCH(bool, identified);
    QFETCH(QString, verdict);
    std::vector<MatchingSample> samples = MatchingFixtures::samples();
    MatchingFixtures::find(samples, QStringLiteral("cyan"))->sensor[0] *= misread;
    const Certificate certificate = certify(samples);
    CertificatePdf::Heading heading;
    if (identified) {
        heading.sensor = {QStringLiteral("i1Display Pro"), 4, QStringLiteral("S-1"), QStringLiteral("/dev/ttyACM0")};
        heading.reference = {QStringLiteral("CS-2000"), 9, QStringLiteral("R-77"), QStringLiteral("/dev/ttyUSB0")};
        heading.date = QDateTime(QDate(2026, 12, 8), QTime(3, 4), Qt::UTC);
    }
    const QStringList lines = CertificatePdf::headingLines(certificate, heading);
    const QString all = lines.join(QLatin1Char('\n'));
    for (const char* text : {"i1Display Pro", "S-1", "CS-2000", "R-77", "2026-12-08 03:04"})
        QCOMPARE(all.contains(QLatin1String(text)), identified);
    QCOMPARE(lines.size(), identified ? 4 : 1);
    QVERIFY2(lines.last().contains(QStringLiteral("0.002")), qPrintable(lines.last()));
    QCOMPARE(CertificatePdf::verdictText(certificate), verdict);
    QVERIFY(CertificatePdf::recommendedText(certificate).endsWith(certificate.recommended()));
    QCOMPARE(CertificatePdf::title(), QStringLiteral("Sensor matching certificate"));
}

void TestCertificatePdf::patchTableLeavesOutWhatDoesNotFit_data()
{
    QTest::addColumn<int>("extra"); // validation patches beyond the display's eleven
    QTest::addColumn<int>("maxRows");

    QTest::newRow("all fit") << 0 << CertificatePdf::kMaxPatchRows;
    QTest::newRow("exactly full") << 9 << CertificatePdf::kMaxPatchRows;
    QTest::newRow("one too many") << 10 << CertificatePdf::kMaxPatchRows;
    QTest::newRow("far too many") << 40 << CertificatePdf::kMaxPatchRows;
    QTest::newRow("room for the training patches only") << 3 << 4;
}

void TestCertificatePdf::patchTableLeavesOutWhatDoesNotFit()
{
    QFETCH(int, extra);
    QFETCH(int, maxRows);
    const Certificate certificate = certify(manyPatches(extra));
    const Certificate::MethodResult* method = certificate.method(certificate.recommended());
    QVERIFY(method);
    const CertificatePdf::Table table = CertificatePdf::patchTable(certificate, maxRows);

    // Expected: every training patch, then the validation patches worst first.
    std::vector<const Certificate::PatchFigures*> validation;
    QStringList expected;
    for (const Certificate::PatchFigures& f : method->patches) {
        if (f.training)
            expected << f.name;
        else
            validation.push_back(&f);
    }
    std::sort(validation.begin(), validation.end(),
              [](const auto* a, const auto* b) { return a->deltaXy > b->deltaXy; });
    while (expected.size() < maxRows && !validation.empty()) {
        expected << validation.front()->name;
        validation.erase(validation.begin());
    }
    const int leftOut = int(validation.size());

    QStringList shown;
    for (const QStringList& row : table.rows) {
        QCOMPARE(row.size(), table.header.size());
        shown << row.first();
    }
    QCOMPARE(int(table.rows.size()), std::min(maxRows, int(method->patches.size())));
    std::sort(expected.begin(), expected.end());
    QStringList sortedShown = shown;
    std::sort(sortedShown.begin(), sortedShown.end());
    QCOMPARE(sortedShown, expected);
    // In the patches' own order.
    int last = -1;
    for (const QString& name : shown) {
        int at = -1;
        for (int i = 0; i < int(method->patches.size()); ++i)
            if (method->patches[std::size_t(i)].name == name)
                at = i;
        QVERIFY2(at > last, qPrintable(name));
        last = at;
    }
    if (leftOut == 0) {
        QVERIFY2(table.note.isEmpty(), qPrintable(table.note));
    } else {
        QVERIFY2(table.note.contains(QStringLiteral("left out")), qPrintable(table.note));
        // The count, and the noun in its number.
        QVERIFY2(table.note.startsWith(QStringLiteral("%1 validation %2 ")
                                           .arg(leftOut)
                                           .arg(leftOut == 1 ? QStringLiteral("patch") : QStringLiteral("patches"))),
                 qPrintable(table.note));
    }
}

void TestCertificatePdf::numbersUseADecimalPointUnderAGermanLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const Certificate certificate = certify(manyPatches(5));
    const Certificate::MethodResult* method = certificate.method(certificate.recommended());
    QVERIFY(method);
    const QRegularExpression figure(QStringLiteral("^[+-]?\\d+\\.\\d+$"));
    const CertificatePdf::Table patches = CertificatePdf::patchTable(certificate);
    QCOMPARE(patches.rows.size(), method->patches.size());
    for (std::size_t i = 0; i < patches.rows.size(); ++i) {
        const QStringList& row = patches.rows[i];
        const Certificate::PatchFigures& f = method->patches[i];
        for (int c = 2; c < row.size(); ++c)
            QVERIFY2(figure.match(row.at(c)).hasMatch(), qPrintable(row.join(QLatin1Char('|'))));
        // Read back in the C form, the figures are the certificate's.
        const double expected[] = {f.referenceXyY[0], f.referenceXyY[1], f.referenceXyY[2],
                                   f.correctedXyY[0], f.correctedXyY[1], f.deltaXy,
                                   f.deltaUv,         f.deltaE2000,      f.luminanceErrorPercent};
        const double rounding[] = {0.5e-4, 0.5e-4, 0.5e-2, 0.5e-4, 0.5e-4, 0.5e-5, 0.5e-5, 0.5e-2, 0.5e-2};
        for (int c = 0; c < 9; ++c) {
            bool ok = false;
            const double shown = number(row.at(c + 2), &ok);
            QVERIFY(ok);
            QVERIFY2(std::abs(shown - expected[c]) <= rounding[c] * 1.0001, qPrintable(row.join(QLatin1Char('|'))));
        }
    }
    for (const QStringList& row : CertificatePdf::methodTable(certificate).rows)
        for (int c = 1; c < row.size() - 1; ++c)
            QVERIFY2(figure.match(row.at(c)).hasMatch(), qPrintable(row.join(QLatin1Char('|'))));
    QVERIFY(CertificatePdf::headingLines(certificate, {}).last().endsWith(QStringLiteral(" 0.002")));
}

// A sensor off by a pure matrix is corrected exactly but for rounding, which
// leaves errors of either sign far below the last decimal: "-0.00" would
// claim a direction the figures do not have.
void TestCertificatePdf::exactCorrectionShowsNoughtsWithoutSign()
{
    const Certificate certificate = certify(MatchingFixtures::samples());
    const CertificatePdf::Table table = CertificatePdf::patchTable(certificate);
    QCOMPARE(table.rows.size(), MatchingFixtures::displayPatches().size());
    for (const QStringList& row : table.rows) {
        QCOMPARE(row.at(7), QStringLiteral("0.00000")); // delta xy
        QCOMPARE(row.at(8), QStringLiteral("0.00000")); // delta u'v'
        QCOMPARE(row.at(10), QStringLiteral("0.00"));   // delta Y %
    }
}

void TestCertificatePdf::plotShowsEveryPairInsideTheFrameAndApart_data()
{
    QTest::addColumn<bool>("greysOnly");
    QTest::addColumn<double>("noise");

    QTest::newRow("all patches") << false << 0.002;
    QTest::newRow("greys only") << true << 0.002;
    QTest::newRow("large errors") << false << 0.03;
}

void TestCertificatePdf::plotShowsEveryPairInsideTheFrameAndApart()
{
    QFETCH(bool, greysOnly);
    QFETCH(double, noise);
    std::vector<ChromaticityPlot::Pair> pairs;
    for (const MatchingSample& s : manyPatches(10)) {
        const Xyz corrected = {s.reference[0] * (1.0 + noise), s.reference[1], s.reference[2] * (1.0 - noise)};
        const auto reference = MatchingFixtures::xy(s.reference);
        if (greysOnly && std::hypot(reference[0] - 0.3127, reference[1] - 0.329) > 0.01)
            continue;
        pairs.push_back({reference, MatchingFixtures::xy(corrected), s.name});
    }
    QVERIFY(pairs.size() >= 2);
    pairs.push_back({{std::numeric_limits<double>::quiet_NaN(), 0.3}, {0.3, 0.3}, QStringLiteral("bad")}); // left out
    const ChromaticityPlot plot(pairs);
    QCOMPARE(plot.pairs().size(), pairs.size() - 1);
    // One arrow a patch, from its reference to its corrected point, named.
    const ChromaticityDiagram& diagram = plot.diagram();
    QCOMPARE(diagram.vectors().size(), plot.pairs().size());
    for (std::size_t i = 0; i < plot.pairs().size(); ++i) {
        QCOMPARE(diagram.vectors()[i].from, plot.pairs()[i].reference);
        QCOMPARE(diagram.vectors()[i].to, plot.pairs()[i].corrected);
        QCOMPARE(diagram.vectors()[i].label, plot.pairs()[i].name);
    }
    QCOMPARE(diagram.vectorScale(), plot.magnification());

    const QRectF area(50, 100, 330, 300);
    const QRectF frame = ChromaticityPlot::frame(area, 7.5);
    QVERIFY(area.contains(frame));
    QVERIFY(frame.width() > 200 && qFuzzyCompare(frame.width(), frame.height()));
    // Zoomed to the patches: the gamut fills the frame, greys alone a small
    // part of the diagram around the white.
    double left = 1, right = 0, bottom = 1, top = 0;
    for (const auto& p : plot.pairs()) {
        left = std::min({left, p.reference[0], p.corrected[0]});
        right = std::max({right, p.reference[0], p.corrected[0]});
        bottom = std::min({bottom, p.reference[1], p.corrected[1]});
        top = std::max({top, p.reference[1], p.corrected[1]});
    }
    const double spanned = std::max(right - left, top - bottom);
    if (greysOnly)
        QVERIFY2(diagram.span() < 0.05, qPrintable(QString::number(diagram.span())));
    else
        QVERIFY2(spanned > 0.6 * diagram.span(), qPrintable(QString::number(diagram.span())));

    const double magnification = plot.magnification();
    QVERIFY(magnification >= 1.0);
    const double perUnit = frame.width() / diagram.span();
    double largest = 0.0;
    for (const auto& p : plot.pairs()) {
        const QPointF reference = diagram.map(p.reference, frame);
        const QPointF corrected = diagram.map(plot.drawnCorrected(p), frame);
        QVERIFY(frame.contains(reference));
        QVERIFY(frame.contains(corrected));
        // The offset drawn is the true one, enlarged by the stated factor.
        const double trueOffset = std::hypot(p.corrected[0] - p.reference[0], p.corrected[1] - p.reference[1]);
        const double drawn = QLineF(reference, corrected).length();
        QVERIFY(std::abs(drawn - trueOffset * magnification * perUnit) < 1e-6 * frame.width());
        largest = std::max(largest, drawn);
    }
    // The worst error is plain to see: a few points at least, yet far from the frame's size.
    QVERIFY2(largest > 0.02 * frame.width() && largest < 0.25 * frame.width(), qPrintable(QString::number(largest)));
    QVERIFY(plot.magnificationNote().contains(magnification > 1.0 ? QString::number(magnification, 'f', 0)
                                                                  : QStringLiteral("where they lie")));
}

void TestCertificatePdf::pageShowsEachPatchWhereItsFiguresSay_data()
{
    QTest::addColumn<int>("extra");

    QTest::newRow("eleven patches") << 0;
    QTest::newRow("twenty patches") << 9;
}

// On the page as printed: each patch's reference ringed where its reference
// x, y lies, and an arrowhead where its corrected x, y lies once the offset is
// enlarged by the factor the legend states.
void TestCertificatePdf::pageShowsEachPatchWhereItsFiguresSay()
{
    QFETCH(int, extra);
    const Certificate certificate = certify(manyPatches(extra));
    const Certificate::MethodResult* method = certificate.method(certificate.recommended());
    QVERIFY(method);
    constexpr double kScale = 4.0;
    QImage image((CertificatePdf::pageSize() * kScale).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        CertificatePdf::paint(painter, image.rect(), certificate, {});
    }
    const ChromaticityPlot plot = CertificatePdf::plot(certificate);
    QVERIFY(plot.magnification() > 1.0);
    const QRectF frame = ChromaticityPlot::frame(CertificatePdf::plotArea(certificate, {}), CertificatePdf::kPlotFont);
    // Where a chromaticity lands, from the view the plot chose and the frame.
    const double perUnit = frame.width() / plot.diagram().span();
    const auto pixel = [&](double x, double y) {
        return QPointF(frame.center().x() + (x - plot.diagram().centre().x()) * perUnit,
                       frame.center().y() - (y - plot.diagram().centre().y()) * perUnit)
               * kScale;
    };
    const auto near = [&](const QPointF& at, double radius, const std::function<bool(QRgb)>& wanted) {
        for (int y = int(at.y() - radius); y <= int(at.y() + radius) + 1; ++y)
            for (int x = int(at.x() - radius); x <= int(at.x() + radius) + 1; ++x)
                if (image.valid(x, y) && std::hypot(x + 0.5 - at.x(), y + 0.5 - at.y()) <= radius
                    && wanted(image.pixel(x, y)))
                    return true;
        return false;
    };
    const auto blue = [](QRgb c) { return qBlue(c) > qRed(c) + 60 && qBlue(c) > 110; };
    const auto red = [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 100 && qBlue(c) < 100; };
    const double ring = 0.22 * CertificatePdf::kPlotFont * kScale;
    int arrows = 0;
    for (const Certificate::PatchFigures& f : method->patches) {
        const QPointF reference = pixel(f.referenceXyY[0], f.referenceXyY[1]);
        const double m = plot.magnification();
        const QPointF tip = pixel(f.referenceXyY[0] + m * (f.correctedXyY[0] - f.referenceXyY[0]),
                                  f.referenceXyY[1] + m * (f.correctedXyY[1] - f.referenceXyY[1]));
        QVERIFY2(frame.contains(reference / kScale) && frame.contains(tip / kScale), qPrintable(f.name));
        QVERIFY2(near(reference, ring + 2.0, blue), qPrintable(f.name + QStringLiteral(": no ring")));
        // A short arrow hides under its ring; the rest show their heads.
        const double length = QLineF(reference, tip).length();
        if (length < 3.0 * ring)
            continue;
        ++arrows;
        const QPointF inHead = tip + (reference - tip) / length * (0.15 * CertificatePdf::kPlotFont * kScale);
        QVERIFY2(near(inHead, 0.1 * CertificatePdf::kPlotFont * kScale, red),
                 qPrintable(f.name + QStringLiteral(": no arrowhead")));
    }
    QVERIFY2(arrows >= 2, qPrintable(QString::number(arrows)));
}

void TestCertificatePdf::pdfIsOnePage_data()
{
    QTest::addColumn<int>("extra");
    QTest::addColumn<bool>("refusals");

    QTest::newRow("eleven patches") << 0 << false;
    QTest::newRow("fifty patches") << 39 << false;
    QTest::newRow("three methods refused") << 0 << true;
}

void TestCertificatePdf::pdfIsOnePage()
{
    QFETCH(int, extra);
    QFETCH(bool, refusals);
    std::vector<MatchingSample> samples = manyPatches(extra);
    if (refusals)
        MatchingFixtures::find(samples, QStringLiteral("white"))->sensor[0] = std::numeric_limits<double>::quiet_NaN();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QString error;
    const QByteArray pdf = CertificatePdf::toPdf(certify(samples), {}, &error);
    QVERIFY2(!pdf.isEmpty(), qPrintable(error));
    QVERIFY(pdf.startsWith("%PDF-"));
    QVERIFY(pdf.trimmed().endsWith("%%EOF"));
    QCOMPARE(pdfPageCount(pdf), 1);
    // A4: 595 x 842 points.
    const QRegularExpressionMatch box = QRegularExpression(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([\\d.]+)\\s+([\\d.]+)"))
                                            .match(pdfText(pdf));
    QVERIFY(box.hasMatch());
    QVERIFY(std::abs(box.captured(1).toDouble() - 595.0) < 1.0);
    QVERIFY(std::abs(box.captured(2).toDouble() - 842.0) < 1.0);
}

void TestCertificatePdf::pageDrawsTheVerdictInItsColour_data()
{
    QTest::addColumn<double>("misread");
    QTest::addColumn<bool>("passes");

    QTest::newRow("pass") << 1.0 << true;
    QTest::newRow("fail") << 1.2 << false;
}

// The verdict box is the only thing drawn in the verdict's colour.
void TestCertificatePdf::pageDrawsTheVerdictInItsColour()
{
    QFETCH(double, misread);
    QFETCH(bool, passes);
    std::vector<MatchingSample> samples = MatchingFixtures::samples();
    MatchingFixtures::find(samples, QStringLiteral("cyan"))->sensor[0] *= misread;
    const Certificate certificate = certify(samples);
    QCOMPARE(certificate.passes(), passes);
    QImage image(CertificatePdf::pageSize().toSize(), QImage::Format_RGB32);
    image.fill(Qt::gray);
    {
        QPainter painter(&image);
        CertificatePdf::paint(painter, image.rect(), certificate, {});
    }
    // The page is white where nothing is drawn, up to its edges.
    QCOMPARE(image.pixelColor(1, 1), QColor(Qt::white));
    QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), QColor(Qt::white));
    int green = 0, red = 0;
    for (int y = 0; y < image.height() / 5; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > 100 && c.red() < 60 && c.blue() < 90)
                ++green;
            if (c.red() > 150 && c.green() < 60 && c.blue() < 60)
                ++red;
        }
    }
    QVERIFY2(passes ? green > 50 && red == 0 : red > 50 && green == 0,
             qPrintable(QStringLiteral("green %1, red %2").arg(green).arg(red)));
}

QTEST_MAIN(TestCertificatePdf)
#include "tst_certificatepdf.moc"
