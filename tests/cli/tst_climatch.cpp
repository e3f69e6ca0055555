// `lumaserve-cli match --from`: the certificate worked out again from a session
// file made here, run as the real program.
#include "clirunner.h"
#include "matrix3.h"
#include "matchingsession.h"

#include "filecontents.h"
#include "pdfpages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cmath>

namespace {

using Xyz = Matrix3Test::Xyz;
using Matrix = Matrix3Test::Matrix;
using Matrix3Test::inverse;
using Matrix3Test::times;
using Role = MatchingSession::Role;

// A sensor whose filters mix the channels: it reads error x truth.
const Matrix kError{{{1.031, 0.024, -0.012}, {-0.018, 0.976, 0.009}, {0.006, -0.021, 1.064}}};

// An sRGB-like display's primaries at full drive, 100 cd/m² white.
const Xyz kRed{41.24, 21.26, 1.93};
const Xyz kGreen{35.76, 71.52, 11.92};
const Xyz kBlue{18.05, 7.22, 95.05};

struct Drive {
    const char* name;
    double r, g, b; // linear, 0 ... 1
};

const Drive kPatches[] = {{"red", 1, 0, 0},     {"green", 0, 1, 0},    {"blue", 0, 0, 1},
                          {"white", 1, 1, 1},   {"cyan", 0, 1, 1},     {"magenta", 1, 0, 1},
                          {"yellow", 1, 1, 0},  {"grey", 0.21, 0.21, 0.21}, {"skin", 0.55, 0.31, 0.22}};

// Every patch read twice by each instrument, the sensor through kError. The
// sensor's reading of wrongPatch is off by wrongFactor in X; every reading the
// reference took of failedPatch failed.
MatchingSession makeSession(const QString& wrongPatch = QString(), double wrongFactor = 1.0,
                            const QString& failedPatch = QString())
{
    MatchingSession session;
    session.setInstrument(Role::Sensor, {QStringLiteral("i1Display Pro"), 4, QStringLiteral("S-1"), QStringLiteral("/dev/ttyACM0")});
    session.setInstrument(Role::Reference, {QStringLiteral("CA410"), 7, QStringLiteral("R-2"), QStringLiteral("/dev/ttyUSB0")});
    const QDateTime start(QDate(2026, 12, 8), QTime(2, 0), Qt::UTC);
    session.setStarted(start);
    session.setEnded(start.addSecs(600));
    session.setRepeats(2);
    std::vector<MatchingPatch> patches;
    for (const Drive& d : kPatches) {
        MatchingPatch p;
        p.name = QString::fromLatin1(d.name);
        p.r = int(std::lround(255 * d.r));
        p.g = int(std::lround(255 * d.g));
        p.b = int(std::lround(255 * d.b));
        p.training = MatchingPatch::isTrainingName(p.name);
        patches.push_back(p);
    }
    session.setPatches(patches);
    int second = 0;
    for (int i = 0; i < int(std::size(kPatches)); ++i) {
        const Drive& d = kPatches[i];
        Xyz truth{};
        for (int c = 0; c < 3; ++c)
            truth[c] = d.r * kRed[c] + d.g * kGreen[c] + d.b * kBlue[c];
        Xyz read = times(kError, truth);
        if (wrongPatch == QLatin1String(d.name))
            read[0] *= wrongFactor;
        for (int repeat = 0; repeat < 2; ++repeat) {
            const auto referenceRejection = failedPatch == QLatin1String(d.name) ? RepeatStatistics::Rejection::Failed
                                                                                 : RepeatStatistics::Rejection::None;
            session.addReading(i, Role::Reference, {truth, start.addSecs(++second), referenceRejection});
            session.addReading(i, Role::Sensor, {read, start.addSecs(++second), RepeatStatistics::Rejection::None});
        }
    }
    return session;
}

const QStringList kMethods{QStringLiteral("four-colour"), QStringLiteral("fcmm"), QStringLiteral("astm-e1455"),
                           QStringLiteral("least-squares")};

// A German locale writes "0,001"; the program must not.
const QStringList kCommaLocale{QStringLiteral("LANG=de_DE.UTF-8"), QStringLiteral("LC_ALL=de_DE.UTF-8")};

} // namespace

class TestCliMatch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void recomputesEveryMatrixAndPasses();
    void drawsThePdfWithOrWithoutADisplay_data();
    void drawsThePdfWithOrWithoutADisplay();
    void bigValidationErrorFails_data();
    void bigValidationErrorFails();
    void unreadableSessionOrOutputIsAFileFailure_data();
    void unreadableSessionOrOutputIsAFileFailure();
    void usageErrors_data();
    void usageErrors();
    void helpNamesBothForms();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }
};

void TestCliMatch::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestCliMatch::recomputesEveryMatrixAndPasses()
{
    QString error;
    QVERIFY2(makeSession().write(path(QStringLiteral("session.json")), &error), qPrintable(error));
    const auto result = CliRunner::run({QStringLiteral("match"), QStringLiteral("--from"), path(QStringLiteral("session.json")),
                                        QStringLiteral("--out"), path(QStringLiteral("cert"))},
                                       30000, kCommaLocale);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == 0, result.err.constData());

    const QJsonDocument doc = QJsonDocument::fromJson(fileContents(path(QStringLiteral("cert/certificate.json"))));
    const QJsonObject root = doc.object();
    QCOMPARE(root.keys(), (QStringList{QStringLiteral("methods"), QStringLiteral("recommended"), QStringLiteral("verdict")}));
    QCOMPARE(root.value(QStringLiteral("verdict")).toString(), QStringLiteral("pass"));
    QVERIFY(kMethods.contains(root.value(QStringLiteral("recommended")).toString()));
    const QJsonArray methods = root.value(QStringLiteral("methods")).toArray();
    QCOMPARE(methods.size(), kMethods.size());
    const Matrix expected = inverse(kError);
    for (int m = 0; m < methods.size(); ++m) {
        const QJsonObject method = methods.at(m).toObject();
        QCOMPARE(method.keys(), (QStringList{QStringLiteral("matrix"), QStringLiteral("name"), QStringLiteral("patches"),
                                             QStringLiteral("validation")}));
        QCOMPARE(method.value(QStringLiteral("name")).toString(), kMethods.at(m));
        QCOMPARE(method.value(QStringLiteral("patches")).toArray().size(), int(std::size(kPatches)));
        const QJsonArray rows = method.value(QStringLiteral("matrix")).toArray();
        QCOMPARE(rows.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QJsonArray row = rows.at(i).toArray();
            QCOMPARE(row.size(), 3);
            for (int j = 0; j < 3; ++j)
                QVERIFY2(std::abs(row.at(j).toDouble(1e9) - expected[i][j]) < 1e-6,
                         qPrintable(QStringLiteral("%1 [%2][%3]").arg(kMethods.at(m)).arg(i).arg(j)));
        }
    }
    QVERIFY(QFileInfo(path(QStringLiteral("cert/certificate.csv"))).size() > 0);
    const QByteArray pdf = fileContents(path(QStringLiteral("cert/certificate.pdf")));
    QVERIFY(pdf.startsWith("%PDF-"));
    QCOMPARE(pdfPageCount(pdf), 1);

    // The summary: one line per method with its two figures, in the C form.
    const QString out = QString::fromUtf8(result.out);
    for (const QString& name : kMethods) {
        const QRegularExpression line(QStringLiteral("^%1 +(\\d+\\.\\d+) +(\\d+\\.\\d+)$").arg(QRegularExpression::escape(name)),
                                      QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = line.match(out);
        QVERIFY2(match.hasMatch(), qPrintable(out));
        QVERIFY(match.captured(1).toDouble() < 1e-6);
        QVERIFY(match.captured(2).toDouble() < 1e-6);
    }
    QVERIFY2(out.contains(QStringLiteral("Recommended: ") + root.value(QStringLiteral("recommended")).toString()), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("Verdict: pass")), qPrintable(out));
}

void TestCliMatch::drawsThePdfWithOrWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("environment"); // changes to the test's own
    QTest::addColumn<QStringList>("options");     // before match's own

    const QStringList noDisplay{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("DISPLAY"),
                                QStringLiteral("WAYLAND_DISPLAY")};
    // A line PC: nothing says where to draw, and there is no display to find.
    QTest::newRow("headless") << noDisplay << QStringList();
    QTest::newRow("platform on the command line")
        << noDisplay << QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")};
    QTest::newRow("platform in the environment") << QStringList{QStringLiteral("QT_QPA_PLATFORM=offscreen")}
                                                 << QStringList();
}

void TestCliMatch::drawsThePdfWithOrWithoutADisplay()
{
    QFETCH(QStringList, environment);
    QFETCH(QStringList, options);
    QString error;
    QVERIFY2(makeSession().write(path(QStringLiteral("session.json")), &error), qPrintable(error));
    const auto result = CliRunner::run(QStringList{QStringLiteral("match")} + options
                                           + QStringList{QStringLiteral("--from"), path(QStringLiteral("session.json")),
                                                         QStringLiteral("--out"), path(QStringLiteral("cert"))},
                                       30000, environment + kCommaLocale);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == 0, result.err.constData());
    QVERIFY2(result.out.contains("Verdict: pass"), result.out.constData());
    const QByteArray pdf = fileContents(path(QStringLiteral("cert/certificate.pdf")));
    QVERIFY(pdf.startsWith("%PDF-"));
    QCOMPARE(pdfPageCount(pdf), 1);
}

void TestCliMatch::bigValidationErrorFails_data()
{
    QTest::addColumn<QStringList>("tolerance");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("verdict");

    QTest::newRow("default tolerance") << QStringList() << 4 << QStringLiteral("fail");
    QTest::newRow("tighter") << QStringList{QStringLiteral("--tolerance"), QStringLiteral("0.0005")} << 4
                             << QStringLiteral("fail");
    // The cyan misreading leaves about 0.04 in xy.
    QTest::newRow("loose enough") << QStringList{QStringLiteral("--tolerance"), QStringLiteral("0.5")} << 0
                                  << QStringLiteral("pass");
}

void TestCliMatch::bigValidationErrorFails()
{
    QFETCH(QStringList, tolerance);
    QFETCH(int, exitCode);
    QFETCH(QString, verdict);
    QString error;
    QVERIFY2(makeSession(QStringLiteral("cyan"), 1.2).write(path(QStringLiteral("session.json")), &error), qPrintable(error));
    const auto result = CliRunner::run(QStringList{QStringLiteral("match"), QStringLiteral("--from"),
                                                   path(QStringLiteral("session.json")), QStringLiteral("--out"),
                                                   path(QStringLiteral("cert"))}
                                       + tolerance);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == exitCode, result.err.constData());
    // The certificate of a failed run is written all the same: it says why.
    const QJsonObject root = QJsonDocument::fromJson(fileContents(path(QStringLiteral("cert/certificate.json")))).object();
    QCOMPARE(root.value(QStringLiteral("verdict")).toString(), verdict);
    QVERIFY2(result.out.contains("Verdict: " + verdict.toLatin1()), result.out.constData());
    for (const QJsonValue& method : root.value(QStringLiteral("methods")).toArray()) {
        const double worst = method.toObject().value(QStringLiteral("validation")).toObject().value(QStringLiteral("max_delta_xy")).toDouble();
        QVERIFY(worst > 0.005 && worst < 0.5);
    }
}

void TestCliMatch::unreadableSessionOrOutputIsAFileFailure_data()
{
    QTest::addColumn<QByteArray>("session"); // the file's bytes; empty: none
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("message"); // on standard error; empty: the reader's own

    QByteArray good;
    {
        QString error;
        good = makeSession().toJson(&error);
    }
    QByteArray badVersion = good;
    badVersion.replace("\"format_version\": 1", "\"format_version\": 99");
    QByteArray badNumber = good;
    badNumber.replace("\"repeats\": 2", "\"repeats\": \"two\"");
    QByteArray whiteFailed;
    {
        QString error;
        whiteFailed = makeSession(QString(), 1.0, QStringLiteral("white")).toJson(&error);
    }

    QTest::newRow("no such file") << QByteArray() << QStringLiteral("cert") << QStringLiteral("session.json");
    QTest::newRow("not JSON") << QByteArray("{\"format_version\": 1,") << QStringLiteral("cert") << QString();
    QTest::newRow("other version") << badVersion << QStringLiteral("cert") << QString();
    QTest::newRow("repeats not a number") << badNumber << QStringLiteral("cert") << QString();
    // Read, but the correction has nothing to take CIELAB against.
    QTest::newRow("white never read") << whiteFailed << QStringLiteral("cert") << QStringLiteral("\"white\"");
    QTest::newRow("output below a file") << good << QStringLiteral("plain/cert") << QStringLiteral("plain/cert");
}

void TestCliMatch::unreadableSessionOrOutputIsAFileFailure()
{
    QFETCH(QByteArray, session);
    QFETCH(QString, out);
    QFETCH(QString, message);
    QVERIFY(writeFileContents(path(QStringLiteral("plain")), "a file"));
    if (!session.isEmpty())
        QVERIFY(writeFileContents(path(QStringLiteral("session.json")), session));
    if (message.isEmpty()) { // the reader's own message
        MatchingSession reader;
        QVERIFY(!reader.parse(session, &message));
        QVERIFY(!message.isEmpty());
    }
    const auto result = CliRunner::run({QStringLiteral("match"), QStringLiteral("--from"), path(QStringLiteral("session.json")),
                                        QStringLiteral("--out"), path(out)});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 3);
    QVERIFY2(QString::fromUtf8(result.err).contains(message), result.err.constData());
    QVERIFY(!QFileInfo::exists(path(out + QStringLiteral("/certificate.json"))));
    QVERIFY(!QFileInfo::exists(path(out + QStringLiteral("/certificate.csv"))));
    QVERIFY(!QFileInfo::exists(path(out + QStringLiteral("/certificate.pdf"))));
}

void TestCliMatch::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments"); // after "match"; @ is the test's directory
    QTest::addColumn<QString>("message");

    const QStringList from{QStringLiteral("--from"), QStringLiteral("@/session.json")};
    const QStringList out{QStringLiteral("--out"), QStringLiteral("@/cert")};
    QTest::newRow("nothing") << QStringList() << QStringLiteral("--out is required");
    QTest::newRow("neither --from nor instruments") << out << QStringLiteral("--sensor is required");
    QTest::newRow("no --out") << from << QStringLiteral("--out is required");
    QTest::newRow("empty --out") << from + QStringList{QStringLiteral("--out"), QString()} << QStringLiteral("--out is required");
    for (const char* bad : {"0", "-0.002", "nan", "inf", "abc", "0,002", ""})
        QTest::addRow("tolerance '%s'", bad) << from + out + QStringList{QStringLiteral("--tolerance"), QLatin1String(bad)}
                                             << QStringLiteral("--tolerance");
    QTest::newRow("stray argument") << from + out + QStringList{QStringLiteral("extra")} << QStringLiteral("'extra'");
    QTest::newRow("measuring option with --from") << from + out + QStringList{QStringLiteral("--sensor"), QStringLiteral("4")}
                                                  << QStringLiteral("--sensor is for measuring");
    QTest::newRow("unknown option") << from + out + QStringList{QStringLiteral("--sensr"), QStringLiteral("4")}
                                    << QStringLiteral("sensr");
}

void TestCliMatch::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QString error;
    QVERIFY2(makeSession().write(path(QStringLiteral("session.json")), &error), qPrintable(error));
    for (QString& a : arguments)
        a.replace(QLatin1Char('@'), m_dir->path());
    const auto result = CliRunner::run(QStringList{QStringLiteral("match")} + arguments);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(QString::fromUtf8(result.err).contains(message), result.err.constData());
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("cert"))));
}

void TestCliMatch::helpNamesBothForms()
{
    const auto result = CliRunner::run({QStringLiteral("match"), QStringLiteral("--help")});
    QCOMPARE(result.exitCode, 0);
    for (const char* text : {"--from", "--out", "--tolerance", "--sensor", "--port", "--reference",
                             "--reference-port", "--pattern-command", "--screen", "--confirm", "--settle",
                             "--patches", "--repeats", "--profile", "--memory-index", "4 a figure out of bounds"})
        QVERIFY2(result.out.contains(text), text);
    QVERIFY2(!result.out.contains("not yet"), result.out.constData());
    const auto top = CliRunner::run({QStringLiteral("--help")});
    QVERIFY2(top.out.contains("  match "), top.out.constData());
}

QTEST_GUILESS_MAIN(TestCliMatch)
#include "tst_climatch.moc"
