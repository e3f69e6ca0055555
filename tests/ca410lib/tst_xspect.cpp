#include "mlink_ca410.h"

#include <QFile>
#include <QTemporaryFile>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <unistd.h>

namespace {

// Reads the first data set of an IT8 spectrum file of colord-data.
bool readColordSpectrum(const QString& path, xspect* sp, int set = 0)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    *sp = xspect{};
    sp->norm = 1.0;
    bool inData = false;
    int seen = 0;
    while (!file.atEnd()) {
        const QStringList words =
            QString::fromLatin1(file.readLine()).split(QRegExp(QStringLiteral("\\s+")),
                                                       Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        if (words[0] == QLatin1String("SPECTRAL_START_NM"))
            sp->wl_short = words[1].toDouble();
        else if (words[0] == QLatin1String("SPECTRAL_END_NM"))
            sp->wl_long = words[1].toDouble();
        else if (words[0] == QLatin1String("BEGIN_DATA"))
            inData = true;
        else if (words[0] == QLatin1String("END_DATA"))
            inData = false;
        else if (inData && seen++ == set) {
            sp->count = words.size();
            for (int i = 0; i < words.size() && i < XSPECT_MAX_BANDS; ++i)
                sp->values[i] = words[i].toDouble();
            return sp->count >= 2;
        }
    }
    return false;
}

// Runs fn with the process's standard output going to a file; returns what it printed.
QString captureStdout(const std::function<void()>& fn)
{
    QTemporaryFile file;
    if (!file.open())
        return QString();
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(file.handle(), STDOUT_FILENO);
    fn();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    file.seek(0);
    return QString::fromLatin1(file.readAll());
}

void chromaticity(const double xyz[3], double* x, double* y)
{
    const double s = xyz[0] + xyz[1] + xyz[2];
    *x = xyz[0] / s;
    *y = xyz[1] / s;
}

xspect quadratic(int count, double shortWl, double longWl)
{
    // values = (wl - 500)^2 / 100: a cubic reproduces it exactly, a line does not.
    xspect sp{};
    sp.count = count;
    sp.wl_short = shortWl;
    sp.wl_long = longWl;
    sp.norm = 1.0;
    const double step = (longWl - shortWl) / (count - 1);
    for (int i = 0; i < count; ++i) {
        const double d = shortWl + i * step - 500.0;
        sp.values[i] = d * d / 100.0;
    }
    return sp;
}

const char* const kIlluminants = "/usr/share/colord/illuminant/";
const char* const kObservers = "/usr/share/colord/cmf/";

} // namespace

class TestXspect : public QObject
{
    Q_OBJECT

private slots:
    void observerTablesFollowTheirSource();
    void illuminantChromaticities_data();
    void illuminantChromaticities();
    void interpolationMethodFollowsTheSpacing();
    void clampingFlags();
    void malformedSpectraAreRefused();
    void unphysicalSpectraAreRefused();
    void converterConstruction();
    void emissiveScaleAndClamp();
    void interpolationAtSamplesGivesTheSamples();
    void sharedGridAndGeneralPathsAgree();
    void dumpFormat();
    void dmatrixBounds_data();
    void dmatrixBounds();
    void threeByThree();
};

void TestXspect::observerTablesFollowTheirSource()
{
    const xspect* obs[3] = {};
    QCOMPARE(standardObserver(obs, XSPECT_OBS_CIE_1931_2), 0);
    QCOMPARE(QList<double>({double(obs[1]->count), obs[1]->wl_short, obs[1]->wl_long}), QList<double>({471, 360, 830}));
    int peak = 0;
    for (int i = 1; i < obs[1]->count; ++i)
        if (obs[1]->values[i] > obs[1]->values[peak])
            peak = i;
    QCOMPARE(360 + peak, 555);
    QCOMPARE(obs[1]->values[peak], 1.0);

    // Every 5 nm sample of the published tables is reproduced, for both observers.
    const struct { int type; const char* file; } tables[] = {
        {XSPECT_OBS_CIE_1931_2, "CIE1931-2deg-XYZ.cmf"},
        {XSPECT_OBS_CIE_1964_10, "CIE1964-10deg-XYZ.cmf"},
    };
    for (const auto& table : tables) {
        QCOMPARE(standardObserver(obs, table.type), 0);
        for (int j = 0; j < 3; ++j) {
            xspect source{};
            QVERIFY2(readColordSpectrum(QString::fromLatin1(kObservers) + QLatin1String(table.file),
                                        &source, j),
                     "colord-data is missing: run scripts/install-deps.sh");
            QCOMPARE(source.count, 95);
            for (int k = 0; k < source.count; ++k)
                QVERIFY(std::fabs(obs[j]->values[5 * k] - source.values[k]) < 1e-9);
        }
    }
    QCOMPARE(standardObserver(obs, XSPECT_OBS_DEFAULT), 0);
    QCOMPARE(obs[0], &ob_CIE_1931_2[0]);
    QCOMPARE(standardObserver(obs, XSPECT_OBS_CIE_2012_2), 1);
    QCOMPARE(QStringList({stardardObserverDescription(4), stardardObserverDescription(1), stardardObserverDescription(42)}),
             QStringList({"CIE 1964 10 degree observer", "No observer", "Unknown observer"}));
}

void TestXspect::illuminantChromaticities_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("observer");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    // Published CIE chromaticities of the standard illuminants.
    QTest::newRow("D65 2 degree") << "CIE-D65.sp" << XSPECT_OBS_CIE_1931_2 << 0.31272 << 0.32903;
    QTest::newRow("D65 10 degree") << "CIE-D65.sp" << XSPECT_OBS_CIE_1964_10 << 0.31382 << 0.33100;
    QTest::newRow("A 2 degree") << "CIE-A.sp" << XSPECT_OBS_CIE_1931_2 << 0.44757 << 0.40745;
}

void TestXspect::illuminantChromaticities()
{
    QFETCH(QString, file);
    QFETCH(int, observer);
    QFETCH(double, x);
    QFETCH(double, y);

    xspect illuminant{};
    QVERIFY2(readColordSpectrum(QString::fromLatin1(kIlluminants) + file, &illuminant),
             "colord-data is missing: run scripts/install-deps.sh");
    xsp2cie* conv = new_xsp2cie(observer, nullptr, XSPECT_CIE_XYZ);
    QVERIFY(conv);
    double xyz[3] = {};
    QCOMPARE(conv->convert(conv, xyz, &illuminant), 0);
    double cx = 0, cy = 0;
    chromaticity(xyz, &cx, &cy);
    QVERIFY2(std::fabs(cx - x) < 2e-4, qPrintable(QString::number(cx, 'f', 6)));
    QVERIFY2(std::fabs(cy - y) < 2e-4, qPrintable(QString::number(cy, 'f', 6)));
    conv->del(conv);
}

void TestXspect::interpolationMethodFollowsTheSpacing()
{
    // 5 nm spacing: linear, so the midpoint is the mean of its neighbours.
    const xspect five = quadratic(41, 400.0, 600.0);
    double v = 0;
    QCOMPARE(getval_raw_xspec(&five, &v, 502.5), 1);
    QVERIFY(std::fabs(v - 0.125) < 1e-12);

    // Just past 5.01 nm the cubic takes over and is exact on the quadratic.
    const xspect wider = quadratic(41, 400.0, 400.0 + 40 * 5.02);
    QCOMPARE(getval_raw_xspec(&wider, &v, 502.5), 1);
    QVERIFY(std::fabs(v - 0.0625) < 1e-9);
    const xspect ten = quadratic(21, 400.0, 600.0);
    QCOMPARE(getval_raw_xspec(&ten, &v, 403.0), 1); // first interval: samples 0..3
    QVERIFY(std::fabs(v - 97.0 * 97.0 / 100.0) < 1e-9);
    QCOMPARE(getval_raw_xspec(&ten, &v, 599.0), 1); // last interval: samples n-4..n-1
    QVERIFY(std::fabs(v - 99.0 * 99.0 / 100.0) < 1e-9);

    // getval_xspec divides by the norm.
    xspect normed = five;
    normed.norm = 4.0;
    QCOMPARE(getval_xspec(&normed, &v, 500.0), 1);
    QCOMPARE(v, 0.0);
    QCOMPARE(getval_xspec(&normed, &v, 600.0), 1);
    QVERIFY(std::fabs(v - 25.0) < 1e-12);
}

void TestXspect::clampingFlags()
{
    double v = 0;
    // Outside the range the end sample is held, and flagged.
    QCOMPARE(getval_raw_xspec(&ob_CIE_1931_2[1], &v, 355.0), 0);
    QCOMPARE(v, ob_CIE_1931_2[1].values[0]);
    QCOMPARE(getval_raw_xspec(&ob_CIE_1931_2[1], &v, 900.0), 0);
    QCOMPARE(v, ob_CIE_1931_2[1].values[470]);
    QCOMPARE(getval_raw_xspec(&ob_CIE_1931_2[1], &v, 830.0), 1);
    QCOMPARE(getval_raw_xspec(&il_none, &v, 299.0), 0);
    QCOMPARE(v, 1.0);
    QCOMPARE(getval_raw_xspec(&ob_CIE_1931_2[0], &v, std::nan("")), 0);
}

void TestXspect::malformedSpectraAreRefused()
{
    double v = 123.0;
    xspect bad = quadratic(10, 400.0, 500.0);
    bad.count = 0;
    QCOMPARE(getval_raw_xspec(&bad, &v, 450.0), -1);
    bad.count = XSPECT_MAX_BANDS + 1;
    QCOMPARE(getval_raw_xspec_poly3(&bad, &v, 450.0), -1);
    bad.count = 10;
    bad.wl_long = bad.wl_short;
    QCOMPARE(getval_raw_xspec_lin(&bad, &v, 450.0), -1);
    QCOMPARE(getval_xspec(nullptr, &v, 450.0), -1);
    QCOMPARE(v, 123.0);

    // Three samples at wide spacing are too few for a cubic: a line is used.
    const xspect three = quadratic(3, 400.0, 600.0);
    QCOMPARE(getval_raw_xspec(&three, &v, 450.0), 1);
    QVERIFY(std::fabs(v - 50.0) < 1e-12);

    xsp2cie* conv = new_xsp2cie(XSPECT_OBS_CIE_1931_2, nullptr, XSPECT_CIE_XYZ);
    double xyz[3] = {1, 2, 3};
    bad.count = -4;
    QCOMPARE(xsp2cie_convert(conv, xyz, &bad), -1);
    QCOMPARE(xsp2cie_convert(conv, nullptr, &il_none), -1);
    QCOMPARE(xyz[1], 2.0);
    xsp2cie_del(conv);
}

void TestXspect::unphysicalSpectraAreRefused()
{
    // Finite but far outside any wavelength a spectrum can have: the index
    // arithmetic of either method would leave the range of int.
    xspect far = quadratic(XSPECT_MAX_BANDS, 400.0, 700.0);
    far.wl_short = -1e306;
    far.wl_long = 0.0;
    double v = 123.0;
    QCOMPARE(getval_raw_xspec_poly3(&far, &v, -5e305), -1);
    QCOMPARE(getval_raw_xspec_lin(&far, &v, -5e305), -1);
    far.wl_short = 1e17;
    far.wl_long = 2e17;
    QCOMPARE(getval_raw_xspec(&far, &v, 1.5e17), -1);
    QCOMPARE(v, 123.0);
    double xyz[3] = {1, 2, 3};
    xsp2cie* conv = new_xsp2cie(XSPECT_OBS_CIE_1931_2, nullptr, XSPECT_CIE_XYZ);
    QCOMPARE(xsp2cie_convert(conv, xyz, &far), -1);
    xsp2cie_del(conv);

    // The header promises -1 for a null output, not a write through it.
    QCOMPARE(getval_xspec(&il_none, nullptr, 500.0), -1);

    // A custom observer the converter could not walk in 1 nm steps (at 1e17 a
    // step no longer changes the wavelength) is refused when it is made, and so
    // is a malformed one in any of the three places.
    const struct { double shortWl, longWl; int index; } observers[] = {
        {1e17, 2e17, 0}, {0.0, 1e12, 0}, {360.0, 1e12, 2}, {-1e306, 0.0, 1},
    };
    for (const auto& o : observers) {
        xspect custom[3] = {ob_CIE_1931_2[0], ob_CIE_1931_2[1], ob_CIE_1931_2[2]};
        custom[o.index].wl_short = o.shortWl;
        custom[o.index].wl_long = o.longWl;
        xsp2cie* c = nullptr;
        const QString out = captureStdout([&] { c = new_xsp2cie(XSPECT_OBS_CUSTOM, custom, XSPECT_CIE_XYZ); });
        QVERIFY2(!c, qPrintable(QStringLiteral("%1 .. %2").arg(o.shortWl).arg(o.longWl)));
        QVERIFY(out.startsWith(QStringLiteral("new_xsp2cie: custom observer")));
    }

    // Bounds whose product overflows 64 bits are refused before they are multiplied.
    QVERIFY(!dmatrix(INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX));
    QVERIFY(!dmatrix(0, INT32_MAX, 0, INT32_MAX));
    // The pointer array still starts at row 0, so the last possible first row
    // needs INT32_MAX + 1 slots: counted in 64 bits and refused.
    QVERIFY(!dmatrix(INT32_MAX, INT32_MAX, 0, 0));
    // A small matrix far out in its columns needs its padding allocated too;
    // beyond 2^24 elements that is refused rather than taking half a gigabyte.
    QVERIFY(!dmatrix(3, 3, 1 << 26, 1 << 26));
    double** farColumns = dmatrix(3, 3, 1 << 20, 1 << 20);
    QVERIFY(farColumns);
    farColumns[3][1 << 20] = 1.0;
    free_dmatrix(farColumns, 3);
}

void TestXspect::converterConstruction()
{
    xsp2cie* conv = nullptr;
    QString out = captureStdout([&] { conv = new_xsp2cie(XSPECT_OBS_NONE, nullptr, 0); });
    QVERIFY(!conv);
    QCOMPARE(out, QStringLiteral("new_xsp2cie: standardObserver  err\n"));

    out = captureStdout([&] { conv = new_xsp2cie(XSPECT_OBS_CIE_1931_2, nullptr, 1); });
    QVERIFY(!conv);
    QCOMPARE(out, QStringLiteral("new_xsp2cie: output cie type != XYZ\n"));

    out = captureStdout([&] { conv = new_xsp2cie(XSPECT_OBS_CUSTOM, nullptr, 0); });
    QVERIFY(!conv);

    // A custom observer is copied: changing the caller's data afterwards has no effect.
    xspect custom[3] = {il_none, il_none, il_none};
    conv = new_xsp2cie(XSPECT_OBS_CUSTOM, custom, XSPECT_CIE_XYZ);
    QVERIFY(conv);
    custom[1].values[100] = 1e6;
    QCOMPARE(QList<double>({double(conv->emissive), double(conv->clamp), double(conv->step), conv->wl_start, conv->wl_end}),
             QList<double>({1, 1, 1, 300, 830}));
    double xyz[3] = {};
    xspect copy{};
    QCOMPARE(xsp2cie_sconvert(conv, &copy, xyz, &il_none), 0);
    // 530 one-nanometre steps of 1 x 1 x 1, scaled by 0.683002.
    QVERIFY(std::fabs(xyz[1] - 530 * 0.683002) < 1e-9);
    QCOMPARE(copy.count, il_none.count);
    QCOMPARE(copy.values[530], 1.0);
    conv->del(conv);
}

void TestXspect::emissiveScaleAndClamp()
{
    xsp2cie* conv = new_xsp2cie(XSPECT_OBS_CIE_1931_2, nullptr, XSPECT_CIE_XYZ);
    QVERIFY(conv);
    xspect flat = il_none;
    double xyz[3] = {};
    QCOMPARE(conv->convert(conv, xyz, &flat), 0);
    // The equal-energy spectrum sits at the white point (1/3, 1/3) of the 2 degree observer.
    double x = 0, y = 0;
    chromaticity(xyz, &x, &y);
    QVERIFY(std::fabs(x - 1.0 / 3.0) < 2e-4);
    QVERIFY(std::fabs(y - 1.0 / 3.0) < 2e-4);
    const double luminance = xyz[1];

    for (int i = 0; i < flat.count; ++i)
        flat.values[i] = -2.0;
    QCOMPARE(conv->convert(conv, xyz, &flat), 0);
    QCOMPARE(QList<double>(xyz, xyz + 3), QList<double>({0, 0, 0}));
    conv->clamp = 0;
    QCOMPARE(conv->convert(conv, xyz, &flat), 0);
    QVERIFY(std::fabs(xyz[1] + 2.0 * luminance) < 1e-9);
    conv->del(conv);
}

void TestXspect::dumpFormat()
{
    xspect sp{};
    sp.count = 7;
    sp.wl_short = 400;
    sp.wl_long = 460;
    sp.norm = 2;
    for (int i = 0; i < sp.count; ++i)
        sp.values[i] = i * 0.5;
    const QString out = captureStdout([&] { xspect_dump(&sp); });
    QCOMPARE(out, QStringLiteral("\t7, 400.000000, 460.000000\n"
                                 "\t2.000000\n"
                                 "\t\t0.000000, 0.500000, 1.000000, 1.500000, 2.000000, \n"
                                 "\t\t2.500000, 3.000000 \n"
                                 "\n"));
    QCOMPARE(xspect_dump(nullptr), -1);
}

void TestXspect::dmatrixBounds_data()
{
    QTest::addColumn<int>("nrl");
    QTest::addColumn<int>("nrh");
    QTest::addColumn<int>("ncl");
    QTest::addColumn<int>("nch");
    QTest::newRow("one-based") << 1 << 3 << 1 << 3;
    QTest::newRow("zero-based") << 0 << 2 << 0 << 4;
    QTest::newRow("negative rows, high columns") << -2 << 0 << 5 << 7;
    QTest::newRow("all-negative columns") << 2 << 6 << -9 << -7;
    QTest::newRow("upper below lower") << 4 << 1 << 3 << -3;
}

void TestXspect::dmatrixBounds()
{
    QFETCH(int, nrl);
    QFETCH(int, nrh);
    QFETCH(int, ncl);
    QFETCH(int, nch);
    double** m = dmatrix(nrl, nrh, ncl, nch);
    QVERIFY(m);
    const int lastRow = std::max(nrh, nrl);
    const int lastCol = std::max(nch, ncl);
    // Every element is addressable and distinct (the sanitizers check the bounds).
    for (int r = nrl; r <= lastRow; ++r)
        for (int c = ncl; c <= lastCol; ++c)
            m[r][c] = 100.0 * r + c;
    for (int r = nrl; r <= lastRow; ++r)
        for (int c = ncl; c <= lastCol; ++c)
            QCOMPARE(m[r][c], 100.0 * r + c);

    double dst[3][3] = {{-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}};
    copy_dmatrix_to3x3(dst, m, nrl, lastRow, ncl, lastCol);
    QCOMPARE(dst[0][0], 100.0 * nrl + ncl);
    const bool threeByThree = lastRow - nrl >= 2 && lastCol - ncl >= 2;
    if (threeByThree)
        QCOMPARE(dst[2][2], 100.0 * (nrl + 2) + ncl + 2);
    else
        QCOMPARE(dst[2][2], -1.0); // nothing copied beyond the source
    free_dmatrix(m, nrl);
}

void TestXspect::threeByThree()
{
    const double a[9] = {2, 0, 1, 1, 3, 0, 0, 1, 4};
    QCOMPARE(Det3x3(a), 2 * 12 - 0 + 1 * 1.0);
    double inv[9];
    QCOMPARE(Inverse3x3(inv, a), 0);
    double product[9];
    Mul3x3_2(product, a, inv);
    double unity[9];
    SetUnity3x3(unity);
    for (int i = 0; i < 9; ++i)
        QVERIFY(std::fabs(product[i] - unity[i]) < 1e-15);

    // Near-singular: determinant 1e-9 is refused and the destination kept.
    const double flat[9] = {1e-3, 0, 0, 0, 1e-3, 0, 0, 0, 1e-3};
    double keep[9];
    Copy3x3(keep, unity);
    QCOMPARE(Inverse3x3(keep, flat), 1);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(keep[i], unity[i]);

    // In-place products and transposes go through a temporary (a squared and
    // a transposed worked by hand).
    double m[9];
    Copy3x3(m, a);
    Mul3x3_2(m, m, m);
    QCOMPARE(QList<double>(m, m + 9), QList<double>({4, 1, 6, 5, 9, 1, 1, 7, 16}));
    Copy3x3(m, a);
    Transpose3x3(m, m);
    QCOMPARE(QList<double>(m, m + 9), QList<double>({2, 1, 0, 0, 3, 1, 1, 0, 4}));

    double adj[9];
    adjust(adj, a);
    for (int i = 0; i < 9; ++i)
        QVERIFY(std::fabs(adj[i] / Det3x3(a) - inv[i]) < 1e-15);

    double v[3] = {1, -1, 2};
    MulBy3x3(v, a, v);
    QCOMPARE(QList<double>(v, v + 3), QList<double>({4, -2, 7}));
    const double signedValues[3] = {-0.5, 0.0, 3.0};
    double clamped[3];
    Clamp3(clamped, signedValues);
    QCOMPARE(QList<double>(clamped, clamped + 3), QList<double>({0, 0, 3}));
}

void TestXspect::interpolationAtSamplesGivesTheSamples()
{
    // Whole-nanometre spectra can skip interpolation only because it returns
    // the stored sample exactly at every sample's wavelength.
    for (const xspect* observer : {ob_CIE_1931_2, ob_CIE_1964_10}) {
        for (int j = 0; j < 3; ++j) {
            const xspect& sp = observer[j];
            for (int k = 0; k < sp.count; ++k) {
                double value = -1.0;
                QCOMPARE(getval_xspec(&sp, &value, sp.wl_short + k), 1);
                QVERIFY2(value == sp.values[k], qPrintable(QStringLiteral("%1 nm").arg(sp.wl_short + k)));
            }
        }
    }
}

void TestXspect::sharedGridAndGeneralPathsAgree()
{
    struct Grid {
        double first;
        double last;
        int count;
    };
    const Grid grids[] = {
        {380, 780, 401},   // the usual 1 nm spectrum
        {360, 830, 471},   // exactly the observer's range
        {300, 900, 601},   // wider than the observer on both sides
        {420, 700, 281},   // narrower: the ends are held
        {829, 830, 2},     // the last point alone inside
        {380, 780, 81},    // 5 nm
        {381, 779, 200},   // 2 nm
        {300, 900, 201},   // 3 nm, wider than the observer
        {380, 780, 41},    // 10 nm, interpolated by cubics
        {380.5, 779.5, 400}, // off the whole nanometres
    };
    std::mt19937 random(20260612);
    std::uniform_real_distribution<double> sample(0.0, 2.0);
    for (const int type : {XSPECT_OBS_CIE_1931_2, XSPECT_OBS_CIE_1964_10}) {
        xsp2cie* conv = new_xsp2cie(type, nullptr, XSPECT_CIE_XYZ);
        QVERIFY(conv && conv->weights);
        // The same converter without prepared weights takes the general path.
        xsp2cie general = *conv;
        general.weights = nullptr;
        for (const Grid& grid : grids) {
            for (int round = 0; round < 20; ++round) {
                xspect sp{};
                sp.count = grid.count;
                sp.wl_short = grid.first;
                sp.wl_long = grid.last;
                sp.norm = round % 4 == 3 ? 2.5 : 1.0;
                for (int k = 0; k < sp.count; ++k)
                    sp.values[k] = sample(random);
                double fast[3] = {};
                double slow[3] = {};
                QCOMPARE(xsp2cie_convert(conv, fast, &sp), 0);
                QCOMPARE(xsp2cie_convert(&general, slow, &sp), 0);
                for (int j = 0; j < 3; ++j)
                    QVERIFY2(std::fabs(fast[j] - slow[j]) <= 1e-12 * std::fabs(slow[j]),
                             qPrintable(QStringLiteral("observer %1, %2-%3 nm in %4, component %5: %6 against %7")
                                            .arg(type).arg(grid.first).arg(grid.last).arg(grid.count).arg(j)
                                            .arg(fast[j], 0, 'g', 17).arg(slow[j], 0, 'g', 17)));
            }
        }
        xsp2cie_del(conv);
    }
}

QTEST_GUILESS_MAIN(TestXspect)
#include "tst_xspect.moc"
