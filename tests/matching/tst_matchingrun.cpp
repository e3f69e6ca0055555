#include "matchingrun.h"
#include "matchingrunfakes.h"
#include "patchset.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>
#include <set>

using namespace MatchingRunFakes;
using Role = MatchingSession::Role;
using Rejection = RepeatStatistics::Rejection;
using Outcome = MatchingRun::Outcome;
using State = MatchingRun::InstrumentState;

Q_DECLARE_METATYPE(MatchingRun::Outcome)
Q_DECLARE_METATYPE(MatchingRun::InstrumentState)

namespace {

// Generous for a loaded machine and a sanitised build; the runs here take a
// fraction of it.
constexpr int kRunBound = 60000;
// How soon a cancel must end the run, while what it interrupts would wait a minute.
constexpr qint64 kCancelBound = 5000;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

int indexOf(const std::vector<MatchingPatch>& patches, const QString& name)
{
    for (size_t i = 0; i < patches.size(); ++i)
        if (patches[i].name == name)
            return static_cast<int>(i);
    return -1;
}

std::vector<MatchingPatch> withoutPatch(std::vector<MatchingPatch> patches, const QString& name)
{
    patches.erase(patches.begin() + indexOf(patches, name));
    return patches;
}

// A run of two fake instruments on a fake display: the sensor reads the
// fixtures' sensor error times the truth, the reference the truth.
struct Bench {
    QTemporaryDir dir;
    FakeDisplay display;
    FakeSource source{&display};
    std::unique_ptr<FakeInstrument> sensorOwned;
    std::unique_ptr<FakeInstrument> referenceOwned;
    FakeInstrument* sensor;
    FakeInstrument* reference;
    MatchingRun::Settings settings;
    std::unique_ptr<MatchingRun> run;
    std::unique_ptr<QSignalSpy> finished;
    std::unique_ptr<QSignalSpy> states;
    std::unique_ptr<QSignalSpy> started;
    std::unique_ptr<QSignalSpy> patchDone;
    std::unique_ptr<QSignalSpy> certificates;
    std::unique_ptr<QSignalSpy> readings;

    Bench()
        : sensorOwned(std::make_unique<FakeInstrument>(QStringLiteral("i1Display Pro"), &display,
                                                       [](const MatchingPatch& p, int) {
                                                           return CorrectionMethod::apply(
                                                               MatchingFixtures::kSensorError, truth(p));
                                                       }))
        , referenceOwned(std::make_unique<FakeInstrument>(QStringLiteral("CS-2000"), &display,
                                                          [](const MatchingPatch& p, int) { return truth(p); }))
        , sensor(sensorOwned.get())
        , reference(referenceOwned.get())
    {
        settings.patches = PatchSet::defaultSet().patches();
        settings.sessionFile = dir.filePath(QStringLiteral("session.json"));
    }

    int patchCount() const { return static_cast<int>(settings.patches.size()); }

    void make()
    {
        run = std::make_unique<MatchingRun>(std::move(sensorOwned), std::move(referenceOwned), &source, settings);
        MatchingRun* r = run.get();
        finished = std::make_unique<QSignalSpy>(r, &MatchingRun::finished);
        states = std::make_unique<QSignalSpy>(r, &MatchingRun::instrumentStateChanged);
        started = std::make_unique<QSignalSpy>(r, &MatchingRun::patchStarted);
        patchDone = std::make_unique<QSignalSpy>(r, &MatchingRun::patchFinished);
        certificates = std::make_unique<QSignalSpy>(r, &MatchingRun::certificateUpdated);
        readings = std::make_unique<QSignalSpy>(r, &MatchingRun::readingTaken);
    }

    Outcome outcome() const { return finished->at(0).at(0).value<Outcome>(); }
    QString error() const { return finished->at(0).at(1).toString(); }

    // The states an instrument went through, in order.
    std::vector<State> statesOf(Role role) const
    {
        std::vector<State> out;
        for (const QList<QVariant>& args : *states) {
            if (args.at(0).value<Role>() == role)
                out.push_back(args.at(1).value<State>());
        }
        return out;
    }

    MatchingSession file() const
    {
        MatchingSession s;
        QString error;
        if (!s.read(settings.sessionFile, &error))
            qWarning("session file: %s", qPrintable(error));
        return s;
    }
};

// Factors a script multiplies the truth by; NaN makes a failed reading.
using Script = QVector<double>;

QStringList rejectionNames(const std::vector<MatchingSession::Reading>& readings)
{
    QStringList names;
    for (const MatchingSession::Reading& r : readings)
        names << RepeatStatistics::rejectionName(r.rejection);
    return names;
}

bool sameThread(const std::vector<std::thread::id>& threads)
{
    return !threads.empty() && std::set<std::thread::id>(threads.begin(), threads.end()).size() == 1;
}

} // namespace

class TestMatchingRun : public QObject
{
    Q_OBJECT

private slots:
    void checkSettings_data();
    void checkSettings();
    void retakes_data();
    void retakes();
    void readsAtTheSameTime();
    void sessionWrittenAfterEachPatch_data();
    void sessionWrittenAfterEachPatch();
    void stops_data();
    void stops();
    void cancel_data();
    void cancel();
    void pureMatrixError_data();
    void pureMatrixError();
};

void TestMatchingRun::checkSettings_data()
{
    QTest::addColumn<QString>("fault");
    // What the refusal must name, taken from the fault; empty for settings that run.
    QTest::addColumn<QString>("named");

    QTest::newRow("default set runs") << ""
                                      << "";
    QTest::newRow("no patches") << "no patches"
                                << "patches";
    QTest::newRow("white missing") << "no white"
                                   << "white";
    QTest::newRow("red and blue missing") << "no red, blue"
                                          << "red, blue";
    QTest::newRow("repeats 0") << "repeats 0"
                               << "0";
    QTest::newRow("repeats -2") << "repeats -2"
                                << "-2";
    QTest::newRow("repeats above the session's bound") << "repeats 1001"
                                                       << "1001";
    QTest::newRow("fewer readings allowed than repeats") << "max 4 of 5"
                                                         << "4";
    QTest::newRow("more readings allowed than a session keeps") << "max 1001"
                                                                << "1001";
    QTest::newRow("floor NaN") << "floor nan"
                               << "floor";
    QTest::newRow("floor infinite") << "floor inf"
                                    << "floor";
    QTest::newRow("floor negative") << "floor -0.1"
                                    << "floor";
    QTest::newRow("tolerance 0") << "tolerance 0"
                                 << "tolerance";
    QTest::newRow("tolerance NaN") << "tolerance nan"
                                   << "tolerance";
    QTest::newRow("tolerance negative") << "tolerance -1"
                                        << "tolerance";
    QTest::newRow("name given twice in another case") << "twice"
                                                      << "Cyan";
    QTest::newRow("validation patch training") << "cyan trains"
                                               << "cyan";
    QTest::newRow("training patch not training") << "red validates"
                                                 << "red";
    QTest::newRow("level above 255") << "level 256"
                                     << "yellow";
    QTest::newRow("name with a space around it") << "spaced"
                                                 << " sky";
    QTest::newRow("memory index negative") << "memory -1"
                                           << "memory";
}

void TestMatchingRun::checkSettings()
{
    QFETCH(QString, fault);
    QFETCH(QString, named);

    Bench b;
    MatchingRun::Settings& s = b.settings;
    const auto patch = [&s](const char* name) -> MatchingPatch& {
        return s.patches[static_cast<size_t>(indexOf(s.patches, QLatin1String(name)))];
    };
    if (fault == "no patches")
        s.patches.clear();
    else if (fault == "no white")
        s.patches = withoutPatch(s.patches, "white");
    else if (fault == "no red, blue")
        s.patches = withoutPatch(withoutPatch(s.patches, "red"), "blue");
    else if (fault.startsWith("repeats "))
        s.repeats = fault.mid(8).toInt();
    else if (fault == "max 4 of 5") {
        s.repeats = 5;
        s.maxReadingsPerPatch = 4;
    } else if (fault == "max 1001")
        s.maxReadingsPerPatch = 1001;
    else if (fault.startsWith("floor "))
        s.luminanceFloor = QLocale::c().toDouble(fault.mid(6));
    else if (fault.startsWith("tolerance "))
        s.tolerance = QLocale::c().toDouble(fault.mid(10));
    else if (fault == "twice")
        s.patches.push_back(MatchingPatch{"Cyan", 0, 200, 200, false});
    else if (fault == "cyan trains")
        patch("cyan").training = true;
    else if (fault == "red validates")
        patch("red").training = false;
    else if (fault == "level 256")
        patch("yellow").b = 256;
    else if (fault == "spaced")
        patch("sky").name = " sky";
    else if (fault == "memory -1")
        s.memoryIndex = -1;
    else
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    // NaN and infinity do not come from text the C locale reads.
    if (fault == "floor nan")
        s.luminanceFloor = kNaN;
    if (fault == "floor inf")
        s.luminanceFloor = std::numeric_limits<double>::infinity();
    if (fault == "tolerance nan")
        s.tolerance = kNaN;

    const QString why = MatchingRun::checkSettings(s);
    if (named.isEmpty()) {
        QVERIFY2(why.isEmpty(), qPrintable(why));
        return;
    }
    QVERIFY2(why.contains(named), qPrintable(why));

    // Settings refused are not run: nothing opened, nothing follows.
    b.make();
    QVERIFY(!b.run->start());
    QVERIFY(!b.run->isRunning());
    QCoreApplication::processEvents();
    QCOMPARE(b.finished->count(), 0);
    QCOMPARE(b.sensor->opens(), 0);
    QCOMPARE(b.reference->opens(), 0);
}

void TestMatchingRun::retakes_data()
{
    // What each instrument reads of green, as factors of the truth; every
    // other patch is read as it is. Three readings of each must count.
    QTest::addColumn<Script>("sensorScript");
    QTest::addColumn<Script>("referenceScript");
    // The verdict on each reading kept, in order.
    QTest::addColumn<QStringList>("sensorVerdicts");
    QTest::addColumn<QStringList>("referenceVerdicts");

    QTest::newRow("none needed") << Script{1.0, 1.0002, 0.9999} << Script{1.0, 1.0, 1.0} << QStringList{"", "", ""}
                                 << QStringList{"", "", ""};
    QTest::newRow("sensor reading failed") << Script{kNaN, 1.0, 1.0002, 0.9999} << Script{1.0, 1.0, 1.0, 1.0}
                                           << QStringList{"failed", "", "", ""} << QStringList{"", "", "", ""};
    QTest::newRow("two failed, then read")
        << Script{kNaN, kNaN, 1.0, 1.0002, 0.9999} << Script{1.0, 1.0002, 1.0, 1.0, 1.0}
        << QStringList{"failed", "failed", "", "", ""} << QStringList{"", "", "", "", ""};
    QTest::newRow("reference below floor") << Script{1.0, 1.0002, 0.9999, 1.0002} << Script{1.0, 0.0001, 1.0003, 0.9998}
                                           << QStringList{"", "", "", ""} << QStringList{"", "below floor", "", ""};
    QTest::newRow("sensor outlier") << Script{1.0, 1.0002, 1.3, 0.9999} << Script{1.0, 1.0, 1.0, 1.0}
                                    << QStringList{"", "", "outlier", ""} << QStringList{"", "", "", ""};
    QTest::newRow("each fails once, at different pairs")
        << Script{kNaN, 1.0, 1.0002, 0.9999} << Script{1.0, 1.0003, kNaN, 0.9998} << QStringList{"failed", "", "", ""}
        << QStringList{"", "", "failed", ""};
    // The sensor has its three after four pairs, but the reference needs a fifth.
    QTest::newRow("more retakes of one than of the other")
        << Script{kNaN, 1.0, 1.0002, 1.0, 0.9999} << Script{1.0, 1.0003, 0.0001, 0.0001, 0.9998}
        << QStringList{"failed", "", "", "", ""} << QStringList{"", "", "below floor", "below floor", ""};
}

void TestMatchingRun::retakes()
{
    QFETCH(Script, sensorScript);
    QFETCH(Script, referenceScript);
    QFETCH(QStringList, sensorVerdicts);
    QFETCH(QStringList, referenceVerdicts);

    Bench b;
    const auto scripted = [](Script script, bool sensor) {
        return [script, sensor](const MatchingPatch& p, int n) {
            const Xyz read = sensor ? CorrectionMethod::apply(MatchingFixtures::kSensorError, truth(p)) : truth(p);
            if (p.name != QLatin1String("green"))
                return read;
            // Beyond the script a read is out of place: it must not count.
            const double factor = n < script.size() ? script.at(n) : 1000.0;
            return std::isnan(factor) ? failedReading() : scaled(read, factor);
        };
    };
    b.sensorOwned
        = std::make_unique<FakeInstrument>(QStringLiteral("i1Display Pro"), &b.display, scripted(sensorScript, true));
    b.referenceOwned
        = std::make_unique<FakeInstrument>(QStringLiteral("CS-2000"), &b.display, scripted(referenceScript, false));
    b.sensor = b.sensorOwned.get();
    b.reference = b.referenceOwned.get();
    b.settings.repeats = 3;
    b.make();
    QVERIFY(b.run->start());
    QTRY_COMPARE_WITH_TIMEOUT(b.finished->count(), 1, kRunBound);
    QCOMPARE(b.outcome(), Outcome::Completed);

    const MatchingSession session = b.run->session();
    const int green = indexOf(b.settings.patches, "green");
    const MatchingSession::PatchRecord& record = session.patches().at(static_cast<size_t>(green));
    // Both read again whenever either has to, so the pairs stay whole.
    QCOMPARE(rejectionNames(record.sensor), sensorVerdicts);
    QCOMPARE(rejectionNames(record.reference), referenceVerdicts);

    // The means are those of the readings that count alone.
    const auto expectedMean = [](const Script& script, const QStringList& verdicts, const Xyz& read) {
        double sum = 0;
        int n = 0;
        for (int i = 0; i < verdicts.size(); ++i) {
            if (verdicts.at(i).isEmpty()) {
                sum += script.at(i);
                ++n;
            }
        }
        return scaled(read, sum / n);
    };
    const MatchingPatch& greenPatch = b.settings.patches.at(static_cast<size_t>(green));
    const Xyz sensorMean = expectedMean(sensorScript, sensorVerdicts,
                                        CorrectionMethod::apply(MatchingFixtures::kSensorError, truth(greenPatch)));
    const Xyz referenceMean = expectedMean(referenceScript, referenceVerdicts, truth(greenPatch));
    const std::vector<MatchingSample> samples = session.samples();
    QCOMPARE(static_cast<int>(samples.size()), b.patchCount());
    const MatchingSample& sample = samples.at(static_cast<size_t>(green));
    for (int c = 0; c < 3; ++c) {
        QVERIFY2(
            std::fabs(sample.sensor[c] - sensorMean[c]) <= 1e-9 * sensorMean[c],
            qPrintable(
                QStringLiteral("sensor channel %1: %2, expected %3").arg(c).arg(sample.sensor[c]).arg(sensorMean[c])));
        QVERIFY2(std::fabs(sample.reference[c] - referenceMean[c]) <= 1e-9 * referenceMean[c],
                 qPrintable(QStringLiteral("reference channel %1: %2, expected %3")
                                .arg(c)
                                .arg(sample.reference[c])
                                .arg(referenceMean[c])));
    }

    // The last word on green says how many of each count after how many pairs.
    QList<QVariant> last;
    for (const QList<QVariant>& args : *b.readings) {
        if (args.at(0).toInt() == green)
            last = args;
    }
    QCOMPARE(last.size(), 4);
    QCOMPARE(last.at(1).toInt(), static_cast<int>(sensorVerdicts.count(QString())));
    QCOMPARE(last.at(2).toInt(), static_cast<int>(referenceVerdicts.count(QString())));
    QCOMPARE(last.at(3).toInt(), sensorVerdicts.size());
    // The file keeps the same.
    QCOMPARE(b.file(), session);
}

void TestMatchingRun::readsAtTheSameTime()
{
    Bench b;
    Meeting meeting;
    b.sensor->meeting = &meeting;
    b.sensor->seat = 0;
    b.reference->meeting = &meeting;
    b.reference->seat = 1;
    b.settings.repeats = 2;
    b.make();
    QVERIFY(b.run->start());
    QTRY_COMPARE_WITH_TIMEOUT(b.finished->count(), 1, kRunBound);
    QCOMPARE(b.outcome(), Outcome::Completed);

    // Every open and every read of one met the other's under way.
    QCOMPARE(meeting.misses(), 0);
    QCOMPARE(meeting.count(0), 1 + 2 * b.patchCount());
    QCOMPARE(meeting.count(1), meeting.count(0));

    // One thread of its own for each instrument, the same for all its calls.
    const auto sensorThreads = b.sensor->threads();
    const auto referenceThreads = b.reference->threads();
    QVERIFY(sameThread(sensorThreads));
    QVERIFY(sameThread(referenceThreads));
    QVERIFY(sensorThreads.front() != referenceThreads.front());
    QVERIFY(sensorThreads.front() != std::this_thread::get_id());
    QVERIFY(referenceThreads.front() != std::this_thread::get_id());
    QCOMPARE(b.sensor->closes(), 1);
    QCOMPARE(b.reference->closes(), 1);
}

void TestMatchingRun::sessionWrittenAfterEachPatch_data()
{
    QTest::addColumn<int>("holdAt");
    QTest::newRow("after the first patch") << 1;
    QTest::newRow("after the training patches") << 4;
    QTest::newRow("before the last patch") << 12;
}

void TestMatchingRun::sessionWrittenAfterEachPatch()
{
    QFETCH(int, holdAt);

    Bench b;
    b.source.holdAt = holdAt;
    b.make();
    QVERIFY(b.run->start());
    QTRY_VERIFY_WITH_TIMEOUT(b.source.holding(), kRunBound);

    // While the next patch is being put up, the file holds every patch read.
    MatchingSession sofar;
    QString error;
    QVERIFY2(sofar.read(b.settings.sessionFile, &error), qPrintable(error));
    QVERIFY(!sofar.stoppedAt());
    QVERIFY(sofar.ended().isValid());
    QCOMPARE(sofar.instrument(Role::Sensor).serialNumber, QStringLiteral("SN-i1Display Pro"));
    QCOMPARE(sofar.instrument(Role::Reference).typeName, QStringLiteral("CS-2000"));
    QCOMPARE(sofar.repeats(), 3);
    QCOMPARE(static_cast<int>(sofar.patches().size()), b.patchCount());
    for (int i = 0; i < b.patchCount(); ++i) {
        const auto& record = sofar.patches().at(static_cast<size_t>(i));
        const size_t expected = i < holdAt ? 3 : 0;
        QCOMPARE(record.sensor.size(), expected);
        QCOMPARE(record.reference.size(), expected);
    }
    QCOMPARE(static_cast<int>(sofar.samples().size()), holdAt);

    b.source.release();
    QTRY_COMPARE_WITH_TIMEOUT(b.finished->count(), 1, kRunBound);
    QCOMPARE(b.outcome(), Outcome::Completed);
    QVERIFY(b.error().isEmpty());
    const MatchingSession last = b.file();
    QCOMPARE(last, b.run->session());
    QCOMPARE(static_cast<int>(last.samples().size()), b.patchCount());
    QVERIFY(last.ended() >= sofar.ended());
    QCOMPARE(last.started(), sofar.started());
    QCOMPARE(b.source.finishes(), 1);
}

void TestMatchingRun::stops_data()
{
    QTest::addColumn<QString>("fault");
    // The patch the session says it stopped at; empty when it never read one.
    QTest::addColumn<QString>("stoppedAt");
    QTest::addColumn<QStringList>("named");
    // The patches, from the first, with a reading of both that counts.
    QTest::addColumn<int>("complete");
    QTest::addColumn<int>("failedRole"); // -1: neither instrument failed

    const int sensor = static_cast<int>(Role::Sensor);
    const int reference = static_cast<int>(Role::Reference);
    QTest::newRow("reference fails mid-session")
        << "reference fails"
        << "cyan" << QStringList{"reference", "CS-2000", "cyan"} << 4 << reference;
    // Blue's one good reading before the failures is a sample still.
    QTest::newRow("sensor fails mid-patch") << "sensor fails"
                                            << "blue" << QStringList{"sensor", "i1Display Pro", "blue"} << 3 << sensor;
    QTest::newRow("sensor does not open") << "sensor does not open"
                                          << "" << QStringList{"sensor", "no answer on /dev/ttyUSB9"} << 0 << sensor;
    QTest::newRow("reference does not open") << "reference does not open"
                                             << "" << QStringList{"reference", "port busy"} << 0 << reference;
    QTest::newRow("patch refused") << "refused"
                                   << "blue" << QStringList{"blue", "window closed"} << 2 << -1;
    QTest::newRow("sensor always below the floor") << "below floor"
                                                   << "green" << QStringList{"green", "sensor"} << 1 << -1;
    QTest::newRow("session cannot be written") << "unwritable"
                                               << "red" << QStringList{"written"} << 1 << -1;
}

void TestMatchingRun::stops()
{
    QFETCH(QString, fault);
    QFETCH(QString, stoppedAt);
    QFETCH(QStringList, named);
    QFETCH(int, complete);
    QFETCH(int, failedRole);

    Bench b;
    const int repeats = 3;
    b.settings.repeats = repeats;
    if (fault == "reference fails") {
        b.reference->failAfter = 4 * repeats; // the training patches read
    } else if (fault == "sensor fails") {
        b.sensor->failAfter = 2 * repeats + 1; // one reading of blue
    } else if (fault == "sensor does not open") {
        b.sensor->openError = QStringLiteral("no answer on /dev/ttyUSB9");
    } else if (fault == "reference does not open") {
        b.reference->openError = QStringLiteral("port busy");
    } else if (fault == "refused") {
        b.source.refuseAt = 2;
        b.source.refusal = QStringLiteral("window closed");
    } else if (fault == "below floor") {
        b.sensorOwned = std::make_unique<FakeInstrument>(
            QStringLiteral("i1Display Pro"), &b.display, [](const MatchingPatch& p, int) {
                return p.name == QLatin1String("green") ? Xyz{0.01, 0.01, 0.01} : truth(p);
            });
        b.sensor = b.sensorOwned.get();
    } else if (fault == "unwritable") {
        b.settings.sessionFile = b.dir.filePath(QStringLiteral("no such directory/session.json"));
    }
    b.make();
    QVERIFY(b.run->start());
    QTRY_COMPARE_WITH_TIMEOUT(b.finished->count(), 1, kRunBound);
    QCOMPARE(b.outcome(), Outcome::Stopped);
    for (const QString& name : named)
        QVERIFY2(b.error().contains(name), qPrintable(b.error()));

    const MatchingSession session = b.run->session();
    if (stoppedAt.isEmpty()) {
        QVERIFY(!session.stoppedAt());
        // Nothing was read: no file to keep.
        QVERIFY(!QFileInfo::exists(b.settings.sessionFile));
    } else {
        QVERIFY(session.stoppedAt());
        QCOMPARE(session.stoppedAt()->patch, stoppedAt);
        QCOMPARE(session.stoppedAt()->reason, b.error());
        if (fault != "unwritable") {
            // Written with where it stopped, and read back as the run has it.
            QCOMPARE(b.file(), session);
        }
    }
    QStringList leftOut;
    const std::vector<MatchingSample> samples = session.samples(&leftOut);
    QCOMPARE(static_cast<int>(samples.size()), complete);
    for (int i = 0; i < complete; ++i)
        QCOMPARE(samples.at(static_cast<size_t>(i)).name, b.settings.patches.at(static_cast<size_t>(i)).name);

    // The readings of the patch it stopped at are kept too.
    if (fault == "reference fails") {
        const auto& cyan = session.patches().at(4);
        QCOMPARE(rejectionNames(cyan.reference), (QStringList{"failed", "failed", "failed"}));
        QCOMPARE(rejectionNames(cyan.sensor), (QStringList{"", "", ""}));
    } else if (fault == "sensor fails") {
        const auto& blue = session.patches().at(2);
        QCOMPARE(rejectionNames(blue.sensor), (QStringList{"", "failed", "failed", "failed"}));
        QCOMPARE(rejectionNames(blue.reference), (QStringList{"", "", "", ""}));
    } else if (fault == "below floor") {
        const auto& green = session.patches().at(1);
        QStringList below;
        for (int i = 0; i < 3 * repeats + 2; ++i)
            below << "below floor";
        QCOMPARE(rejectionNames(green.sensor), below);
        QCOMPARE(green.reference.size(), below.size());
    }

    if (failedRole >= 0) {
        const std::vector<State> states = b.statesOf(static_cast<Role>(failedRole));
        QVERIFY(!states.empty());
        QCOMPARE(states.back(), State::Failed);
    }
    // What was opened is closed, whatever stopped the run.
    QCOMPARE(b.sensor->closes(), b.sensor->opens() == 1 && fault != "sensor does not open" ? 1 : 0);
    QCOMPARE(b.reference->closes(), b.reference->opens() == 1 && fault != "reference does not open" ? 1 : 0);
    QVERIFY(!b.run->isRunning());
}

void TestMatchingRun::cancel_data()
{
    QTest::addColumn<QString>("during");
    QTest::addColumn<QString>("stoppedAt"); // empty: nothing read
    QTest::addColumn<int>("complete");

    QTest::newRow("a slow read") << "read"
                                 << "green" << 1;
    QTest::newRow("showing a patch") << "show"
                                     << "blue" << 2;
    QTest::newRow("opening") << "open"
                             << "" << 0;
}

void TestMatchingRun::cancel()
{
    QFETCH(QString, during);
    QFETCH(QString, stoppedAt);
    QFETCH(int, complete);

    Bench b;
    if (during == "read")
        b.sensor->blockAtRead = 3; // the first of green
    else if (during == "show")
        b.source.holdAt = 2;
    else
        b.reference->blockOpen = true;
    b.make();
    QVERIFY(b.run->start());
    if (during == "show")
        QTRY_VERIFY_WITH_TIMEOUT(b.source.holding(), kRunBound);
    else if (during == "read")
        QTRY_VERIFY_WITH_TIMEOUT(b.sensor->waiting(), kRunBound);
    else // the sensor open, the reference still opening
        QTRY_VERIFY_WITH_TIMEOUT(b.sensor->opens() == 1 && b.reference->waiting(), kRunBound);

    QElapsedTimer clock;
    clock.start();
    b.run->cancel();
    QTRY_COMPARE_WITH_TIMEOUT(b.finished->count(), 1, static_cast<int>(kCancelBound));
    QVERIFY2(clock.elapsed() < kCancelBound, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(b.outcome(), Outcome::Cancelled);
    QVERIFY(!b.run->isRunning());

    const MatchingSession session = b.run->session();
    if (stoppedAt.isEmpty()) {
        QVERIFY(!session.stoppedAt());
    } else {
        QVERIFY(session.stoppedAt());
        QCOMPARE(session.stoppedAt()->patch, stoppedAt);
        QCOMPARE(b.file(), session);
        // A pair broken off by the cancel is not kept.
        const auto& record = session.patches().at(static_cast<size_t>(complete));
        QVERIFY(record.sensor.empty());
        QVERIFY(record.reference.empty());
    }
    QCOMPARE(static_cast<int>(session.samples().size()), complete);
    QCOMPARE(b.started->count(), stoppedAt.isEmpty() ? 0 : complete + 1);
    QCOMPARE(b.patchDone->count(), complete);
    // What was opened is closed; what a cancel stopped opening is not.
    QCOMPARE(b.sensor->closes(), 1);
    QCOMPARE(b.reference->closes(), during == "open" ? 0 : 1);

    // A second cancel, and the run's end, change nothing.
    b.run->cancel();
    b.run.reset();
    QCOMPARE(b.finished->count(), 1);
}

void TestMatchingRun::pureMatrixError_data()
{
    QTest::addColumn<int>("memoryIndex"); // -1: none asked
    QTest::addColumn<QString>("memoryName");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("whiteFirst"); // the training patches in another order

    QTest::newRow("no memory write") << -1 << "" << true << false;
    QTest::newRow("white first") << -1 << "" << true << true;
    QTest::newRow("written to memory 3") << 3 << "desk" << true << false;
    QTest::newRow("memory write refused") << 5 << "desk" << false << false;
    QTest::newRow("no name: the method's") << 2 << "" << true << false;
}

void TestMatchingRun::pureMatrixError()
{
    QFETCH(int, memoryIndex);
    QFETCH(QString, memoryName);
    QFETCH(bool, accepted);
    QFETCH(bool, whiteFirst);

    Bench b;
    b.settings.repeats = 2;
    if (whiteFirst) {
        auto& patches = b.settings.patches;
        std::rotate(patches.begin(), patches.begin() + indexOf(patches, "white"),
                    patches.begin() + indexOf(patches, "white") + 1);
        QCOMPARE(patches.front().name, QStringLiteral("white"));
    }
    if (memoryIndex >= 0)
        b.settings.memoryIndex = memoryIndex;
    b.settings.memoryName = memoryName;
    b.sensor->storeAccepted = accepted;
    b.sensor->storeError = QStringLiteral("the matrix read back differs");
    b.make();
    QVERIFY(b.run->start());
    QVERIFY(!b.run->start());
    QVERIFY(b.run->isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(b.finished->count(), 1, kRunBound);
    QCOMPARE(b.outcome(), Outcome::Completed);
    QVERIFY2(b.error().isEmpty(), qPrintable(b.error()));

    // Every patch in order, each read twice by each instrument.
    QCOMPARE(b.started->count(), b.patchCount());
    QCOMPARE(b.patchDone->count(), b.patchCount());
    for (int i = 0; i < b.patchCount(); ++i) {
        QCOMPARE(b.started->at(i).at(0).toInt(), i);
        QCOMPARE(b.patchDone->at(i).at(0).toInt(), i);
    }
    const MatchingSession session = b.run->session();
    for (const auto& record : session.patches()) {
        QCOMPARE(rejectionNames(record.sensor), (QStringList{"", ""}));
        QCOMPARE(rejectionNames(record.reference), (QStringList{"", ""}));
    }
    QCOMPARE(b.file(), session);
    QVERIFY(!session.stoppedAt());

    // A certificate once the last training patch is read, and after each patch since.
    int lastTraining = 0;
    for (const QString& name : MatchingPatch::trainingNames())
        lastTraining = std::max(lastTraining, indexOf(b.settings.patches, name));
    QCOMPARE(b.certificates->count(), b.patchCount() - lastTraining);
    const std::optional<Certificate> certificate = b.run->certificate();
    QVERIFY(certificate);
    Matrix3x3 inverse{};
    QVERIFY(CorrectionMethod::invert(MatchingFixtures::kSensorError, &inverse));
    QCOMPARE(certificate->methods().size(), Certificate::standardMethods().size());
    for (const Certificate::MethodResult& method : certificate->methods()) {
        QVERIFY2(!method.refused, qPrintable(method.error));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::fabs(method.matrix[r][c] - inverse[r][c]) < 1e-9,
                         qPrintable(QStringLiteral("%1 [%2][%3]: %4, expected %5")
                                        .arg(method.name)
                                        .arg(r)
                                        .arg(c)
                                        .arg(method.matrix[r][c])
                                        .arg(inverse[r][c])));
        QVERIFY(method.passes);
    }
    QVERIFY(!certificate->recommended().isEmpty());
    QVERIFY(certificate->passes());

    const auto stores = b.sensor->stores();
    if (memoryIndex < 0) {
        QVERIFY(stores.empty());
        QVERIFY(b.run->memoryResult().isEmpty());
        QVERIFY(!b.run->memoryStored());
    } else {
        QCOMPARE(static_cast<int>(stores.size()), 1);
        QCOMPARE(stores.front().index, memoryIndex);
        QCOMPARE(stores.front().name, memoryName.isEmpty() ? certificate->recommended() : memoryName);
        QVERIFY(stores.front().matrix == certificate->method(certificate->recommended())->matrix);
        QCOMPARE(b.run->memoryStored(), accepted);
        QVERIFY(!b.run->memoryResult().isEmpty());
        if (!accepted)
            QVERIFY2(b.run->memoryResult().contains(b.sensor->storeError), qPrintable(b.run->memoryResult()));
        QCOMPARE(b.reference->stores().size(), size_t(0));
    }
    // The write went through the sensor's own thread like everything else.
    QVERIFY(sameThread(b.sensor->threads()));

    // Each instrument opened, read and was closed.
    for (const Role role : {Role::Sensor, Role::Reference}) {
        const std::vector<State> states = b.statesOf(role);
        QVERIFY(states.size() >= 4);
        QCOMPARE(states.at(0), State::Opening);
        QCOMPARE(states.at(1), State::Ready);
        QVERIFY(std::find(states.begin(), states.end(), State::Reading) != states.end());
        QCOMPARE(states.back(), State::Closed);
    }
    QVERIFY(!b.run->isRunning());
}

QTEST_GUILESS_MAIN(TestMatchingRun)
#include "tst_matchingrun.moc"
