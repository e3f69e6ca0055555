// `lumaserve-cli plot`: its two readers row by row in the process, its
// refusals through the command itself, and the picture drawn by the real
// program, checked on its pixels.
#include "certificatepoints.h"
#include "clirunner.h"
#include "exitcode.h"
#include "plotcommand.h"
#include "plotpointsfile.h"

#include "filecontents.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <array>
#include <cmath>

namespace {

using Xy = ChromaticityDiagram::Xy;
using Xyz = std::array<double, 3>;

Xy chromaticity(const Xyz& xyz)
{
    const double sum = xyz[0] + xyz[1] + xyz[2];
    return {xyz[0] / sum, xyz[1] / sum};
}

QJsonArray triple(const Xyz& v)
{
    return QJsonArray{v[0], v[1], v[2]};
}

struct TestPatch {
    const char* name;
    Xyz reference;
    Xyz corrected;
};

// The reference's primaries and white of an sRGB display; the corrected
// sensor off by a few thousandths, most on blue, which is drawn alone at the
// bottom of the diagram.
const TestPatch kPatches[] = {
    {"red", {41.24, 21.26, 1.93}, {41.30, 21.26, 1.95}},
    {"green", {35.76, 71.52, 11.92}, {35.70, 71.52, 11.95}},
    {"blue", {18.05, 7.22, 95.05}, {18.25, 7.22, 94.80}},
    {"white", {95.05, 100.0, 108.9}, {95.20, 100.0, 108.8}},
};

QJsonObject patchObject(const TestPatch& p)
{
    return QJsonObject{{QStringLiteral("name"), QLatin1String(p.name)},
                       {QStringLiteral("training"), true},
                       {QStringLiteral("reference_xyz"), triple(p.reference)},
                       {QStringLiteral("corrected_xyz"), triple(p.corrected)},
                       {QStringLiteral("delta_uv"), 0.001},
                       {QStringLiteral("delta_xy"), 0.001},
                       {QStringLiteral("delta_e2000"), 0.5}};
}

QJsonObject methodObject(const QString& name, int patchCount, bool refused = false)
{
    QJsonArray patches;
    for (int i = 0; i < patchCount; ++i)
        patches.append(patchObject(kPatches[i]));
    QJsonArray matrix{QJsonArray{1.0, 0.0, 0.0}, QJsonArray{0.0, 1.0, 0.0}, QJsonArray{0.0, 0.0, 1.0}};
    return QJsonObject{{QStringLiteral("name"), name},
                       {QStringLiteral("matrix"), refused ? QJsonValue(QJsonValue::Null) : QJsonValue(matrix)},
                       {QStringLiteral("patches"), refused ? QJsonArray() : patches},
                       {QStringLiteral("validation"), QJsonObject()}};
}

// A certificate as sensor matching writes it: four-colour has all four
// patches, fcmm was refused, least-squares (recommended) has three.
QJsonObject certificate()
{
    return QJsonObject{{QStringLiteral("methods"),
                        QJsonArray{methodObject(QStringLiteral("four-colour"), 4),
                                   methodObject(QStringLiteral("fcmm"), 4, true),
                                   methodObject(QStringLiteral("least-squares"), 3)}},
                       {QStringLiteral("recommended"), QStringLiteral("least-squares")},
                       {QStringLiteral("verdict"), QStringLiteral("pass")}};
}

QByteArray text(const QJsonObject& o)
{
    return QJsonDocument(o).toJson();
}

// The certificate with the first patch of the method at index changed by edit.
template <typename Edit>
QByteArray withPatch(int method, Edit edit)
{
    QJsonObject root = certificate();
    QJsonArray methods = root.value(QStringLiteral("methods")).toArray();
    QJsonObject m = methods.at(method).toObject();
    QJsonArray patches = m.value(QStringLiteral("patches")).toArray();
    QJsonObject p = patches.at(0).toObject();
    edit(p);
    patches[0] = p;
    m.insert(QStringLiteral("patches"), patches);
    methods[method] = m;
    root.insert(QStringLiteral("methods"), methods);
    return text(root);
}

// The pixels of the points' own colour within radius of at, and their centre.
QPointF centroidNear(const QImage& image, const QPointF& at, double radius, const QColor& colour, int* count)
{
    double sx = 0.0, sy = 0.0;
    *count = 0;
    for (int y = int(at.y() - radius); y <= int(at.y() + radius); ++y) {
        for (int x = int(at.x() - radius); x <= int(at.x() + radius); ++x) {
            if (image.valid(x, y) && std::hypot(x + 0.5 - at.x(), y + 0.5 - at.y()) <= radius
                && image.pixel(x, y) == colour.rgb()) {
                sx += x + 0.5;
                sy += y + 0.5;
                ++*count;
            }
        }
    }
    return *count ? QPointF(sx / *count, sy / *count) : QPointF(-1e6, -1e6);
}

bool reddishNear(const QImage& image, const QPointF& at, double radius)
{
    for (int y = int(at.y() - radius); y <= int(at.y() + radius) + 1; ++y) {
        for (int x = int(at.x() - radius); x <= int(at.x() + radius) + 1; ++x) {
            if (!image.valid(x, y))
                continue;
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 150 && qGreen(p) < 120 && qBlue(p) < 120)
                return true;
        }
    }
    return false;
}

const QStringList kNoDisplay{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("DISPLAY"),
                             QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("LANG=de_DE.UTF-8"),
                             QStringLiteral("LC_ALL=de_DE.UTF-8")};

} // namespace

class TestCliPlot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void readsPoints_data();
    void readsPoints();
    void refusesWhatIsNoListOfPoints_data();
    void refusesWhatIsNoListOfPoints();
    void readErrorsNameTheFile();
    void readsTheCertificatesMethod_data();
    void readsTheCertificatesMethod();
    void refusesAMalformedCertificate_data();
    void refusesAMalformedCertificate();
    void errorsAreMagnifiedToBeSeen_data();
    void errorsAreMagnifiedToBeSeen();
    void refusals_data();
    void refusals();
    void drawsThePngWithoutADisplay();
    void drawsTheSvg();
    void helpListsTheOptions();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCliPlot::initTestCase()
{
    // Where "0,31" is a number and "0.31" may not be: the readers must not care.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestCliPlot::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestCliPlot::readsPoints_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<double>>("xy");

    QTest::newRow("plain") << QByteArray("red,0.64,0.33\ngreen,0.3,0.6\n") << QStringList{"red", "green"}
                           << QList<double>{0.64, 0.33, 0.3, 0.6};
    QTest::newRow("header") << QByteArray("name,x,y\nwhite,0.3127,0.3290\n") << QStringList{"white"}
                            << QList<double>{0.3127, 0.329};
    QTest::newRow("other header, spaces") << QByteArray("  Patch , CIE x , CIE y \n  a , 0.25 , 0.5 \n")
                                          << QStringList{"a"} << QList<double>{0.25, 0.5};
    QTest::newRow("header after blank lines") << QByteArray("\n\nname,x,y\na,0.2,0.3\n") << QStringList{"a"}
                                              << QList<double>{0.2, 0.3};
    QTest::newRow("blank lines") << QByteArray("\na,0.2,0.3\n\n   \nb,0.4,0.4") << QStringList{"a", "b"}
                                 << QList<double>{0.2, 0.3, 0.4, 0.4};
    QTest::newRow("CRLF") << QByteArray("a,0.2,0.3\r\nb,0.4,0.4\r\n") << QStringList{"a", "b"}
                          << QList<double>{0.2, 0.3, 0.4, 0.4};
    QTest::newRow("empty name") << QByteArray(",0.2,0.3\n") << QStringList{""} << QList<double>{0.2, 0.3};
    QTest::newRow("quoted name with a comma") << QByteArray("\"a, b\",0.2,0.3\n\"say \"\"hi\"\"\",0.1,0.1\n")
                                              << QStringList{"a, b", "say \"hi\""}
                                              << QList<double>{0.2, 0.3, 0.1, 0.1};
    QTest::newRow("exponent and edges") << QByteArray("a,0,1\nb,1e-1,5E-1\nc,0.5,0.5\n")
                                        << QStringList{"a", "b", "c"}
                                        << QList<double>{0.0, 1.0, 0.1, 0.5, 0.5, 0.5};
}

void TestCliPlot::readsPoints()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, names);
    QFETCH(QList<double>, xy);
    PlotPointsFile points;
    QString error;
    QVERIFY2(points.parse(file, &error), qPrintable(error));
    QCOMPARE(int(points.points().size()), names.size());
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(points.points()[i].name, names.at(i));
        QCOMPARE(points.points()[i].x, xy.at(2 * i));
        QCOMPARE(points.points()[i].y, xy.at(2 * i + 1));
    }
}

void TestCliPlot::refusesWhatIsNoListOfPoints_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");

    QTest::newRow("empty") << QByteArray() << "no points";
    QTest::newRow("blank lines only") << QByteArray("\n  \n\n") << "no points";
    QTest::newRow("header only") << QByteArray("name,x,y\n") << "no points";
    QTest::newRow("two fields") << QByteArray("a,0.3,0.3\n\n\nb,0.3\n") << "line 4: 2 fields";
    QTest::newRow("four fields") << QByteArray("a,0.3,0.3,12\n") << "line 1: 4 fields";
    QTest::newRow("header not first") << QByteArray("a,0.3,0.3\nname,x,y\n") << "line 2: x 'x' is not a number";
    QTest::newRow("half a header") << QByteArray("name,0.3,y\n") << "line 1: y 'y' is not a number";
    QTest::newRow("not a number") << QByteArray("a,0.3,0.3\nb,0.3,abc\n") << "line 2: y 'abc' is not a number";
    QTest::newRow("empty number") << QByteArray("a,,0.3\n") << "line 1: x '' is not a number";
    QTest::newRow("comma decimal quoted") << QByteArray("w,0.3,0.3\na,\"0,31\",\"0,33\"\n")
                                          << "line 2: x '0,31' is not a number";
    QTest::newRow("comma decimal bare") << QByteArray("a,0,31,0,33\n") << "line 1: 5 fields";
    QTest::newRow("nan") << QByteArray("a,nan,0.3\n") << "line 1: x and y must be finite";
    QTest::newRow("inf") << QByteArray("a,0.3,inf\n") << "line 1: x and y must be finite";
    QTest::newRow("x above 1") << QByteArray("a,1.2,0.3\n") << "line 1: x 1.2, y 0.3 is no chromaticity";
    QTest::newRow("x below 0") << QByteArray("a,-0.1,0.3\n") << "line 1: x -0.1, y 0.3 is no chromaticity";
    QTest::newRow("y zero") << QByteArray("a,0.3,0\n") << "line 1: x 0.3, y 0 is no chromaticity";
    QTest::newRow("y above 1") << QByteArray("a,0,1.5\n") << "line 1: x 0, y 1.5 is no chromaticity";
    QTest::newRow("x + y above 1") << QByteArray("a,0.7,0.5\n") << "line 1: x 0.7, y 0.5 is no chromaticity";
    QTest::newRow("luminance as y") << QByteArray("white,0.3127,100\n") << "line 1: x 0.3127, y 100 is no chromaticity";
    QTest::newRow("unclosed quote") << QByteArray("\"a,0.3,0.3\n") << "line 1: a quote is not closed";
    QTest::newRow("NUL") << QByteArray("a,0.3,0.3\nb,0.3\0009,0.3\n", 22) << "line 2: a NUL byte";
    QTest::newRow("too many lines") << QByteArray("a,0.3,0.3\n") + QByteArray(PlotPointsFile::kMaxLines, '\n')
                                    << "more than 1000000 lines";
}

void TestCliPlot::refusesWhatIsNoListOfPoints()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    PlotPointsFile points;
    QString why;
    QVERIFY(!points.parse(file, &why));
    QVERIFY2(why.startsWith(error), qPrintable(why));
    QVERIFY(points.points().empty());
}

void TestCliPlot::readErrorsNameTheFile()
{
    const QString bad = path(QStringLiteral("bad.csv"));
    QVERIFY(writeFileContents(bad, "a,0.3,0.3\nb,0.3\n"));
    PlotPointsFile points;
    QString error;
    QVERIFY(!points.read(bad, &error));
    QCOMPARE(error, bad + QStringLiteral(": line 2: 2 fields; expected name,x,y"));

    const QString big = path(QStringLiteral("big.csv"));
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(PlotPointsFile::kMaxBytes + 1));
    file.close();
    QVERIFY(!points.read(big, &error));
    QVERIFY2(error.startsWith(big + QStringLiteral(": it is larger than")), qPrintable(error));

    CertificatePoints certificatePoints;
    QVERIFY(!certificatePoints.read(path(QStringLiteral("missing.json")), QString(), &error));
    QVERIFY2(error.startsWith(path(QStringLiteral("missing.json")) + QLatin1Char(':')), qPrintable(error));
}

void TestCliPlot::readsTheCertificatesMethod_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("drawn");
    QTest::addColumn<int>("patches");

    QTest::newRow("recommended") << QString() << "least-squares" << 3;
    QTest::newRow("named") << "four-colour" << "four-colour" << 4;
}

void TestCliPlot::readsTheCertificatesMethod()
{
    QFETCH(QString, method);
    QFETCH(QString, drawn);
    QFETCH(int, patches);
    CertificatePoints points;
    QString error;
    QVERIFY2(points.parse(text(certificate()), method, &error), qPrintable(error));
    QCOMPARE(points.method(), drawn);
    QCOMPARE(points.methods(), (QStringList{"four-colour", "fcmm", "least-squares"}));
    QCOMPARE(int(points.patches().size()), patches);
    for (int i = 0; i < patches; ++i) {
        const CertificatePoints::Patch& p = points.patches()[std::size_t(i)];
        QCOMPARE(p.name, QLatin1String(kPatches[i].name));
        const Xy reference = chromaticity(kPatches[i].reference), corrected = chromaticity(kPatches[i].corrected);
        for (int c = 0; c < 2; ++c) {
            QVERIFY(std::abs(p.reference[c] - reference[c]) < 1e-12);
            QVERIFY(std::abs(p.corrected[c] - corrected[c]) < 1e-12);
        }
    }
}

void TestCliPlot::refusesAMalformedCertificate_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("error");

    const QByteArray good = text(certificate());
    QTest::newRow("unknown method") << good << "magic"
                                    << "no method 'magic'; the certificate has four-colour, fcmm, least-squares";
    QTest::newRow("refused method") << good << "fcmm" << "the method 'fcmm' was refused";
    QJsonObject none = certificate();
    none.insert(QStringLiteral("recommended"), QJsonValue(QJsonValue::Null));
    QTest::newRow("nothing recommended") << text(none) << QString()
                                         << "the certificate recommends no method; name one with --method "
                                            "(four-colour, fcmm, least-squares)";
    QJsonObject unknownRecommended = certificate();
    unknownRecommended.insert(QStringLiteral("recommended"), QStringLiteral("gone"));
    QTest::newRow("recommended not there") << text(unknownRecommended) << QString() << "no method 'gone'";
    QTest::newRow("not JSON") << QByteArray("{\"methods\": [") << QString() << "not JSON";
    QTest::newRow("empty file") << QByteArray() << QString() << "not JSON";
    QTest::newRow("a list") << QByteArray("[1, 2]") << QString() << "not a certificate: no object";
    QJsonObject noMethods = certificate();
    noMethods.remove(QStringLiteral("methods"));
    QTest::newRow("no methods") << text(noMethods) << QString() << "not a certificate: \"methods\"";
    QJsonObject noRecommended = certificate();
    noRecommended.remove(QStringLiteral("recommended"));
    QTest::newRow("no recommended") << text(noRecommended) << QString() << "not a certificate: \"recommended\"";
    QJsonObject nameless = certificate();
    QJsonArray methods = nameless.value(QStringLiteral("methods")).toArray();
    methods[1] = QJsonObject{{QStringLiteral("matrix"), QJsonValue(QJsonValue::Null)}};
    nameless.insert(QStringLiteral("methods"), methods);
    QTest::newRow("method without a name") << text(nameless) << QString() << "methods[1] has no \"name\"";
    QTest::newRow("patch without a name")
        << withPatch(2, [](QJsonObject& p) { p.remove(QStringLiteral("name")); }) << QString()
        << "methods[2].patches[0] has no \"name\"";
    QTest::newRow("no reference")
        << withPatch(2, [](QJsonObject& p) { p.remove(QStringLiteral("reference_xyz")); }) << QString()
        << "methods[2].patches[0] \"reference_xyz\" is not three numbers";
    QTest::newRow("text for a number")
        << withPatch(0, [](QJsonObject& p) { p.insert(QStringLiteral("corrected_xyz"), QJsonArray{1.0, "2", 3.0}); })
        << "four-colour" << "methods[0].patches[0] \"corrected_xyz\" is not three numbers";
    QTest::newRow("null for a number")
        << withPatch(2, [](QJsonObject& p) {
               p.insert(QStringLiteral("corrected_xyz"), QJsonArray{1.0, QJsonValue(QJsonValue::Null), 3.0});
           })
        << QString() << "methods[2].patches[0] \"corrected_xyz\" is not three numbers";
    QTest::newRow("two numbers")
        << withPatch(2, [](QJsonObject& p) { p.insert(QStringLiteral("reference_xyz"), QJsonArray{1.0, 2.0}); })
        << QString() << "methods[2].patches[0] \"reference_xyz\" is not three numbers";
    QTest::newRow("four numbers")
        << withPatch(2, [](QJsonObject& p) { p.insert(QStringLiteral("reference_xyz"), QJsonArray{1.0, 2.0, 3.0, 4.0}); })
        << QString() << "methods[2].patches[0] \"reference_xyz\" is not three numbers";
    QTest::newRow("black")
        << withPatch(2, [](QJsonObject& p) { p.insert(QStringLiteral("reference_xyz"), QJsonArray{0.0, 0.0, 0.0}); })
        << QString() << "methods[2].patches[0] \"reference_xyz\" is not three numbers X, Y, Z of a positive sum";
    QTest::newRow("negative sum")
        << withPatch(2, [](QJsonObject& p) { p.insert(QStringLiteral("corrected_xyz"), QJsonArray{1.0, -3.0, 1.0}); })
        << QString() << "methods[2].patches[0] \"corrected_xyz\" is not three numbers X, Y, Z of a positive sum";
    QJsonObject noPatches = certificate();
    methods = noPatches.value(QStringLiteral("methods")).toArray();
    QJsonObject m = methods.at(2).toObject();
    m.remove(QStringLiteral("patches"));
    methods[2] = m;
    noPatches.insert(QStringLiteral("methods"), methods);
    QTest::newRow("no patches") << text(noPatches) << QString() << "methods[2] \"patches\" is missing";
}

void TestCliPlot::refusesAMalformedCertificate()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, method);
    QFETCH(QString, error);
    CertificatePoints points;
    QString why;
    QVERIFY(!points.parse(json, method, &why));
    QVERIFY2(why.startsWith(error), qPrintable(why));
    QVERIFY(points.patches().empty());
}

void TestCliPlot::errorsAreMagnifiedToBeSeen_data()
{
    QTest::addColumn<double>("largest");
    QTest::addColumn<double>("span");
    QTest::addColumn<double>("factor");

    // span / 20 / largest, rounded down to 1, 2 or 5 times a power of ten.
    QTest::newRow("2.5 to 2") << 0.001 << 0.05 << 2.0;
    QTest::newRow("12.5 to 10") << 0.0004 << 0.1 << 10.0;
    QTest::newRow("37.5 to 20") << 0.0008 << 0.6 << 20.0;
    QTest::newRow("75 to 50") << 0.0004 << 0.6 << 50.0;
    QTest::newRow("exactly 5") << 0.002 << 0.2 << 5.0;
    QTest::newRow("never shrunk") << 0.05 << 0.3 << 1.0;
    QTest::newRow("at most 1000") << 1e-9 << 0.5 << 1000.0;
    QTest::newRow("no error") << 0.0 << 0.5 << 1.0;
}

void TestCliPlot::errorsAreMagnifiedToBeSeen()
{
    QFETCH(double, largest);
    QFETCH(double, span);
    QFETCH(double, factor);
    QCOMPARE(PlotCommand::magnification(largest, span), factor);
}

void TestCliPlot::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");

    const QString points = QStringLiteral("@points.csv"), out = QStringLiteral("@out.png");
    QTest::newRow("no --out") << QStringList{"--points", points} << int(ExitUsage);
    QTest::newRow("nothing to draw") << QStringList{"--out", out} << int(ExitUsage);
    QTest::newRow("other extension") << QStringList{"--points", points, "--out", "@out.jpg"} << int(ExitUsage);
    QTest::newRow("no extension") << QStringList{"--points", points, "--out", "@out"} << int(ExitUsage);
    QTest::newRow("unknown space") << QStringList{"--space", "lab", "--points", points, "--out", out} << int(ExitUsage);
    QTest::newRow("size too small") << QStringList{"--size", "100x1000", "--points", points, "--out", out}
                                    << int(ExitUsage);
    QTest::newRow("size too large") << QStringList{"--size", "1000x9000", "--points", points, "--out", out}
                                    << int(ExitUsage);
    QTest::newRow("size not WxH") << QStringList{"--size", "1000", "--points", points, "--out", out} << int(ExitUsage);
    QTest::newRow("method without certificate") << QStringList{"--method", "fcmm", "--points", points, "--out", out}
                                                << int(ExitUsage);
    QTest::newRow("stray argument") << QStringList{"--points", points, "--out", out, "extra"} << int(ExitUsage);
    QTest::newRow("missing points file") << QStringList{"--points", "@none.csv", "--out", out} << int(ExitFile);
    QTest::newRow("malformed points") << QStringList{"--points", "@bad.csv", "--out", out} << int(ExitFile);
    QTest::newRow("malformed certificate") << QStringList{"--certificate", "@bad.csv", "--out", out} << int(ExitFile);
    QTest::newRow("refused method") << QStringList{"--certificate", "@certificate.json", "--method", "fcmm", "--out", out}
                                    << int(ExitFile);
    QTest::newRow("output is a directory") << QStringList{"--points", points, "--out", "@dir.png"} << int(ExitFile);
    QTest::newRow("output in no directory") << QStringList{"--points", points, "--out", "@none/out.png"} << int(ExitFile);
    QTest::newRow("drawn") << QStringList{"--points", points, "--certificate", "@certificate.json", "--out", out}
                           << int(ExitDone);
}

void TestCliPlot::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QVERIFY(writeFileContents(path(QStringLiteral("points.csv")), "white,0.3127,0.329\n"));
    QVERIFY(writeFileContents(path(QStringLiteral("bad.csv")), "white,0.3127\n"));
    QVERIFY(writeFileContents(path(QStringLiteral("certificate.json")), text(certificate())));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("dir.png")));
    for (QString& a : arguments) {
        if (a.startsWith(QLatin1Char('@')))
            a = path(a.mid(1));
    }
    arguments.prepend(QStringLiteral("lumaserve-cli plot"));
    QCOMPARE(PlotCommand().run(arguments), exitCode);
    // Nothing is left behind unless the picture was drawn.
    QCOMPARE(QFileInfo(path(QStringLiteral("out.png"))).isFile(), exitCode == ExitDone);
    if (exitCode == ExitDone)
        QVERIFY(fileContents(path(QStringLiteral("out.png"))).startsWith("\x89PNG"));
}

void TestCliPlot::drawsThePngWithoutADisplay()
{
    // Points well away from the certificate's patches and from the legend's
    // corner, so that what is found near each is its own.
    const std::vector<PlotPointsFile::Point> points{{QStringLiteral("tungsten"), 0.45, 0.41},
                                                    {QStringLiteral("a, b"), 0.22, 0.30},
                                                    {QStringLiteral("pink"), 0.42, 0.26}};
    QVERIFY(writeFileContents(path(QStringLiteral("points.csv")),
                              "name,x,y\ntungsten,0.45,0.41\n\n\"a, b\",0.22,0.30\npink,0.42,0.26\n"));
    QVERIFY(writeFileContents(path(QStringLiteral("certificate.json")), text(certificate())));
    const QSize size(900, 700);
    const auto result = CliRunner::run({QStringLiteral("plot"), QStringLiteral("--space"), QStringLiteral("uv"),
                                        QStringLiteral("--points"), path(QStringLiteral("points.csv")),
                                        QStringLiteral("--certificate"), path(QStringLiteral("certificate.json")),
                                        QStringLiteral("--method"), QStringLiteral("four-colour"),
                                        QStringLiteral("--size"), QStringLiteral("900x700"), QStringLiteral("--out"),
                                        path(QStringLiteral("plot.png"))},
                                       60000, kNoDisplay);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == ExitDone, result.err.constData());
    const QImage image(path(QStringLiteral("plot.png")));
    QCOMPARE(image.size(), size);

    // The same view worked out here.
    std::vector<CertificatePoints::Patch> patches;
    for (const TestPatch& p : kPatches)
        patches.push_back({QLatin1String(p.name), chromaticity(p.reference), chromaticity(p.corrected)});
    const ChromaticityDiagram expected = PlotCommand::diagram(ChromaticityDiagram::Space::Uv, points, patches);
    const double font = std::min(size.width(), size.height()) / 60.0;
    const QRectF frame = ChromaticityDiagram::frame(QRectF(QPointF(), QSizeF(size)), font);
    for (const PlotPointsFile::Point& p : points) {
        const QPointF at = expected.map({p.x, p.y}, frame);
        int count = 0;
        const QPointF found = centroidNear(image, at, font, ChromaticityDiagram::Point().colour, &count);
        QVERIFY2(count >= 9, qPrintable(QStringLiteral("%1: %2 pixels").arg(p.name).arg(count)));
        QVERIFY2(std::hypot(found.x() - at.x(), found.y() - at.y()) <= 1.0,
                 qPrintable(QStringLiteral("%1 at %2,%3, expected %4,%5")
                                .arg(p.name)
                                .arg(found.x())
                                .arg(found.y())
                                .arg(at.x())
                                .arg(at.y())));
    }
    // Blue's error, the largest, is drawn magnified: its arrow passes the
    // point more than half way to the magnified end, and nothing red lies
    // beyond that end.
    const Xy from = chromaticity(kPatches[2].reference), to = chromaticity(kPatches[2].corrected);
    const double scale = expected.vectorScale();
    QVERIFY2(scale >= 5.0, qPrintable(QString::number(scale)));
    const auto along = [&](double t) {
        return expected.map({from[0] + t * scale * (to[0] - from[0]), from[1] + t * scale * (to[1] - from[1])}, frame);
    };
    QVERIFY(reddishNear(image, along(0.6), 1.0));
    QVERIFY(!reddishNear(image, along(1.6), 2.0));
}

void TestCliPlot::drawsTheSvg()
{
    // A name with XML's own characters must come through as text.
    const std::vector<PlotPointsFile::Point> points{{QStringLiteral("R&D <1>"), 0.20, 0.60},
                                                    {QStringLiteral("amber"), 0.55, 0.42}};
    QVERIFY(writeFileContents(path(QStringLiteral("points.csv")), "R&D <1>,0.20,0.60\namber,0.55,0.42\n"));
    const QString out = path(QStringLiteral("plot.svg"));
    QCOMPARE(PlotCommand().run({QStringLiteral("lumaserve-cli plot"), QStringLiteral("--points"),
                                path(QStringLiteral("points.csv")), QStringLiteral("--size"), QStringLiteral("640x480"),
                                QStringLiteral("--out"), out}),
             int(ExitDone));

    const QSize size(640, 480);
    const ChromaticityDiagram expected = PlotCommand::diagram(ChromaticityDiagram::Space::Xy, points, {});
    const QRectF frame = ChromaticityDiagram::frame(QRectF(QPointF(), QSizeF(size)), PlotCommand::fontSize(size));
    std::vector<QPointF> wanted;
    for (const PlotPointsFile::Point& p : points)
        wanted.push_back(expected.map({p.x, p.y}, frame));
    const QString pointColour = ChromaticityDiagram::Point().colour.name();

    QXmlStreamReader xml(fileContents(out));
    QStringList texts;
    std::vector<QPointF> dots;
    bool root = true;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (root) {
            QCOMPARE(xml.name().toString(), QStringLiteral("svg"));
            QCOMPARE(xml.attributes().value(QStringLiteral("width")).toString().remove(QStringLiteral("px")), QStringLiteral("640"));
            root = false;
        }
        if (xml.name() == QLatin1String("text")) {
            texts << xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.name() == QLatin1String("ellipse")
                   && xml.attributes().value(QStringLiteral("fill")).toString() == pointColour) {
            dots.emplace_back(xml.attributes().value(QStringLiteral("cx")).toDouble(),
                              xml.attributes().value(QStringLiteral("cy")).toDouble());
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(!root);
    QVERIFY2(texts.contains(QStringLiteral("R&D <1>")), qPrintable(texts.join(QLatin1Char('|'))));
    QVERIFY(texts.contains(QStringLiteral("amber")));
    QCOMPARE(int(dots.size()), int(wanted.size()));
    for (std::size_t i = 0; i < wanted.size(); ++i)
        QVERIFY2(std::hypot(dots[i].x() - wanted[i].x(), dots[i].y() - wanted[i].y()) <= 1.0,
                 qPrintable(QStringLiteral("%1,%2 for %3,%4").arg(dots[i].x()).arg(dots[i].y()).arg(wanted[i].x()).arg(wanted[i].y())));
}

void TestCliPlot::helpListsTheOptions()
{
    const auto result = CliRunner::run({QStringLiteral("plot"), QStringLiteral("--help")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, int(ExitDone));
    for (const char* option : {"--space", "--points", "--certificate", "--method", "--out", "--size", "Exit codes"})
        QVERIFY2(result.out.contains(option), option);
    QVERIFY(result.out.startsWith("Usage: lumaserve-cli plot"));
}

QTEST_MAIN(TestCliPlot)
#include "tst_cliplot.moc"
