#include "ccolor.h"
#include "repeatstatistics.h"

#include <QtTest>

#include <cmath>
#include <limits>

using Xyz = RepeatStatistics::Xyz;
using Rejection = RepeatStatistics::Rejection;

Q_DECLARE_METATYPE(Xyz)
Q_DECLARE_METATYPE(std::vector<Xyz>)
Q_DECLARE_METATYPE(Rejection)

namespace {

// The sample deviation, worked out here on its own.
double sampleDeviation(const std::vector<double>& values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    const double mean = sum / values.size();
    double squares = 0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    return std::sqrt(squares / (values.size() - 1));
}

} // namespace

class TestRepeatStatistics : public QObject
{
    Q_OBJECT

private slots:
    void meanAndDeviation();
    void outlier_data();
    void outlier();
    void steadyReadings_data();
    void steadyReadings();
    void failedAndFloor_data();
    void failedAndFloor();
    void tooFewToJudge();
    void rejectionNames();
};

void TestRepeatStatistics::meanAndDeviation()
{
    const RepeatStatistics stats({{1, 10, 5}, {2, 12, 5}, {3, 14, 5}});
    QCOMPARE(stats.acceptedCount(), 3);
    QCOMPARE(stats.mean(), (Xyz{2, 12, 5}));
    QCOMPARE(stats.standardDeviation(), (Xyz{1, 2, 0}));
    QVERIFY(stats.retakes().empty());

    const RepeatStatistics one({{1, 10, 5}});
    QCOMPARE(one.mean(), (Xyz{1, 10, 5}));
    QCOMPARE(one.standardDeviation(), (Xyz{0, 0, 0}));

    const RepeatStatistics none;
    QCOMPARE(none.acceptedCount(), 0);
    QVERIFY(std::isnan(none.mean()[1]));
}

void TestRepeatStatistics::outlier_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<double>("sigmas");
    QTest::addColumn<bool>("rejected");

    for (int channel = 0; channel < 3; ++channel) {
        const QByteArray c = QByteArray::number(channel);
        QTest::newRow("6 sigma high, channel " + c) << channel << 6.0 << true;
        QTest::newRow("6 sigma low, channel " + c) << channel << -6.0 << true;
        QTest::newRow("4 sigma high, channel " + c) << channel << 4.0 << false;
        QTest::newRow("4 sigma low, channel " + c) << channel << -4.0 << false;
    }
}

void TestRepeatStatistics::outlier()
{
    QFETCH(int, channel);
    QFETCH(double, sigmas);
    QFETCH(bool, rejected);

    // The other readings spread on the channel tested, steady on the others.
    const std::vector<double> others{100, 101, 99, 100.5, 99.5};
    const double sigma = sampleDeviation(others); // of the others alone
    std::vector<Xyz> readings;
    for (double v : others) {
        Xyz xyz{80, 90, 70};
        xyz[channel] = v;
        readings.push_back(xyz);
    }
    Xyz odd{80, 90, 70};
    odd[channel] = 100 + sigmas * sigma;
    // In the middle: the verdict does not depend on where the reading comes.
    readings.insert(readings.begin() + 2, odd);

    const RepeatStatistics stats(readings);
    QCOMPARE(stats.rejection(2), rejected ? Rejection::Outlier : Rejection::None);
    for (int i : {0, 1, 3, 4, 5})
        QCOMPARE(stats.rejection(i), Rejection::None);
    QCOMPARE(stats.retakes(), rejected ? std::vector<int>{2} : std::vector<int>{});
    QCOMPARE(stats.acceptedCount(), rejected ? 5 : 6);
    // An outlier never reaches the mean.
    const double mean = rejected ? 100.0 : (500.0 + odd[channel]) / 6;
    QVERIFY2(std::fabs(stats.mean()[channel] - mean) < 1e-9, qPrintable(QString::number(stats.mean()[channel])));
}

void TestRepeatStatistics::steadyReadings_data()
{
    QTest::addColumn<std::vector<Xyz>>("readings");

    QTest::newRow("identical") << std::vector<Xyz>(5, Xyz{50.1234, 52.5, 60.0});
    QTest::newRow("identical near black") << std::vector<Xyz>(5, Xyz{0.0612, 0.0655, 0.0711});
    // Four agree to the last digit an instrument gives; one is a digit off.
    QTest::newRow("bright, last digit") << std::vector<Xyz>{{95.05, 100.00, 108.90}, {95.05, 100.00, 108.90},
                                                            {95.05, 100.01, 108.90}, {95.05, 100.00, 108.90},
                                                            {95.05, 100.00, 108.90}};
    QTest::newRow("dark, last digit") << std::vector<Xyz>{{0.0612, 0.0655, 0.0711}, {0.0612, 0.0655, 0.0711},
                                                          {0.0612, 0.0656, 0.0711}, {0.0612, 0.0655, 0.0711}};
}

void TestRepeatStatistics::steadyReadings()
{
    QFETCH(std::vector<Xyz>, readings);

    const RepeatStatistics stats(readings);
    QVERIFY(stats.retakes().empty());
    QCOMPARE(stats.acceptedCount(), int(readings.size()));
}

void TestRepeatStatistics::failedAndFloor_data()
{
    QTest::addColumn<Xyz>("reading");
    QTest::addColumn<double>("floor");
    QTest::addColumn<Rejection>("expected");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double d = RepeatStatistics::DefaultLuminanceFloor;
    QTest::newRow("NaN") << Xyz{10, nan, 10} << d << Rejection::Failed;
    QTest::newRow("infinite X") << Xyz{inf, 10, 10} << d << Rejection::Failed;
    QTest::newRow("infinite Z") << Xyz{10, 10, -inf} << d << Rejection::Failed;
    QTest::newRow("no-data marker") << Xyz{noDataColor[0], noDataColor[1], noDataColor[2]} << d << Rejection::Failed;
    QTest::newRow("below default floor") << Xyz{0.04, 0.049, 0.05} << d << Rejection::BelowFloor;
    QTest::newRow("negative") << Xyz{0.01, -0.2, 0.01} << d << Rejection::BelowFloor;
    QTest::newRow("at default floor") << Xyz{0.05, 0.05, 0.05} << d << Rejection::None;
    QTest::newRow("below a floor set") << Xyz{0.5, 0.5, 0.5} << 1.0 << Rejection::BelowFloor;
    QTest::newRow("above a floor set low") << Xyz{0.02, 0.02, 0.02} << 0.01 << Rejection::None;
}

void TestRepeatStatistics::failedAndFloor()
{
    QFETCH(Xyz, reading);
    QFETCH(double, floor);
    QFETCH(Rejection, expected);

    // A reading to keep among steady ones like itself; one to take again
    // beside two good ones, which alone are too few to judge it an outlier.
    const Xyz good = expected == Rejection::None ? reading : Xyz{10, 10, 10};
    RepeatStatistics stats({good, reading, good});
    stats.setLuminanceFloor(floor);
    QCOMPARE(stats.luminanceFloor(), floor);
    QCOMPARE(stats.rejection(1), expected);
    QCOMPARE(stats.rejection(0), Rejection::None);
    QCOMPARE(stats.rejection(2), Rejection::None);
    if (expected == Rejection::None) {
        QCOMPARE(stats.acceptedCount(), 3);
        return;
    }
    QCOMPARE(stats.retakes(), std::vector<int>{1});
    // What is taken again never counts.
    QCOMPARE(stats.acceptedCount(), 2);
    QCOMPARE(stats.mean(), good);
    QCOMPARE(stats.standardDeviation(), (Xyz{0, 0, 0}));
}

void TestRepeatStatistics::tooFewToJudge()
{
    // Two readings far apart: there is no telling which is wrong, so neither is judged.
    const RepeatStatistics two({{1, 10, 1}, {1, 90, 1}});
    QVERIFY(two.retakes().empty());
    // Three, one failed: the two usable are still too few.
    const RepeatStatistics failed({{1, 10, 1}, {1, std::nan(""), 1}, {1, 90, 1}});
    QCOMPARE(failed.retakes(), std::vector<int>{1});
}

void TestRepeatStatistics::rejectionNames()
{
    for (const Rejection r : {Rejection::Failed, Rejection::BelowFloor, Rejection::Outlier}) {
        Rejection back = Rejection::None;
        QVERIFY(RepeatStatistics::rejectionFromName(RepeatStatistics::rejectionName(r), &back));
        QCOMPARE(back, r);
    }
    QVERIFY(RepeatStatistics::rejectionName(Rejection::None).isEmpty());
    Rejection back = Rejection::None;
    QVERIFY(!RepeatStatistics::rejectionFromName(QString(), &back));
    QVERIFY(!RepeatStatistics::rejectionFromName("Outlier", &back));
}

QTEST_GUILESS_MAIN(TestRepeatStatistics)
#include "tst_repeatstatistics.moc"
