#include "ccolor.h"
#include "matchingsession.h"
#include "patchset.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using Role = MatchingSession::Role;
using Reading = MatchingSession::Reading;
using Rejection = RepeatStatistics::Rejection;

namespace {

QDateTime at(int minute, int second, int ms)
{
    return QDateTime(QDate(2026, 12, 8), QTime(2, minute, second, ms), Qt::UTC);
}

Reading reading(double x, double y, double z, int second, Rejection rejection = Rejection::None)
{
    return Reading{{x, y, z}, at(1, second, 10 * second + 7), rejection};
}

// A session of the default set stopped at green, with numbers that need every
// digit to read back the same.
MatchingSession makeSession()
{
    MatchingSession s;
    s.setInstrument(Role::Sensor, {"i1Display Pro", 3, "A01-2345", "/dev/cu.usbserial-1"});
    s.setInstrument(Role::Reference, {"CS-2000", 5, "SN 9876 ä", "/dev/ttyUSB0"});
    s.setStarted(at(0, 0, 1));
    s.setEnded(at(9, 59, 999));
    s.setRepeats(3);
    s.setLuminanceFloor(0.05);
    s.setPatches(PatchSet::defaultSet().patches());
    const int red = 0;
    s.addReading(red, Role::Sensor, reading(0.1 + 0.2, 1.0 / 3, 123456.78901234567, 1));
    s.addReading(red, Role::Sensor, reading(41.24, 21.26, 1.93, 2));
    s.addReading(red, Role::Sensor, reading(80.5, 40.0, 3.0, 3, Rejection::Outlier));
    s.addReading(red, Role::Sensor, reading(std::nan(""), 21.0, 1.9, 4, Rejection::Failed));
    s.addReading(red, Role::Reference, reading(5e-324, 1.7976931348623157e308, 1e-7, 5));
    s.addReading(red, Role::Reference, reading(noDataColor[0], noDataColor[1], noDataColor[2], 6, Rejection::Failed));
    s.addReading(red, Role::Reference, reading(42.0, 22.0, 2.0, 7));
    s.addReading(1, Role::Sensor, reading(0.01, 0.02, 0.03, 8, Rejection::BelowFloor));
    s.addReading(4, Role::Reference, reading(1234.5, 2.0, 3.0, 9));
    s.setStoppedAt(MatchingSession::Stop{"green", "the reference instrument did not answer"});
    return s;
}

// The value at a path such as "patches/0/sensor/1" replaced, or removed when
// the new value is undefined.
QJsonValue replaced(const QJsonValue& node, QStringList path, const QJsonValue& value)
{
    const QString key = path.takeFirst();
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        const int index = key.toInt();
        if (path.isEmpty()) {
            if (value.isUndefined())
                array.removeAt(index);
            else if (index == array.size())
                array.append(value);
            else
                array[index] = value;
        } else {
            array[index] = replaced(array.at(index), path, value);
        }
        return array;
    }
    QJsonObject object = node.toObject();
    if (path.isEmpty()) {
        if (value.isUndefined())
            object.remove(key);
        else
            object[key] = value;
    } else {
        object[key] = replaced(object.value(key), path, value);
    }
    return object;
}

QByteArray validText()
{
    QString error;
    const QByteArray text = makeSession().toJson(&error);
    if (text.isEmpty())
        qFatal("the session to change cannot be written: %s", qPrintable(error));
    return text;
}

QJsonArray copies(const QJsonValue& value, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(value);
    return array;
}

} // namespace

class TestMatchingSession : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void roundTrip();
    void roundTripNotStopped();
    void germanLocaleWritesPoints();
    void refusedField_data();
    void refusedField();
    void repeatedKeyRefused_data();
    void repeatedKeyRefused();
    void truncatedRefused_data();
    void truncatedRefused();
    void oversizedRefused();
    void unwritableSessionNotWritten();
    void samples();
    void setReadings();
};

void TestMatchingSession::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestMatchingSession::roundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("session.json");
    const MatchingSession written = makeSession();
    QString error;
    QVERIFY2(written.write(path, &error), qPrintable(error));

    MatchingSession read;
    QVERIFY2(read.read(path, &error), qPrintable(error));
    QVERIFY(read == written);
    // Each part on its own, so that the comparison itself is not all there is.
    const Reading& first = read.patches()[0].sensor[0];
    QCOMPARE(first.xyz[0], 0.1 + 0.2);
    QCOMPARE(first.xyz[1], 1.0 / 3);
    QCOMPARE(first.xyz[2], 123456.78901234567);
    QCOMPARE(first.time, at(1, 1, 17));
    QCOMPARE(first.time.timeSpec(), Qt::UTC);
    const Reading& extreme = read.patches()[0].reference[0];
    QCOMPARE(extreme.xyz[0], 5e-324);
    QCOMPARE(extreme.xyz[1], 1.7976931348623157e308);
    QCOMPARE(extreme.xyz[2], 1e-7);
    QCOMPARE(read.patches()[0].reference[1].xyz[1], noDataColor[1]);
    QVERIFY(std::isnan(read.patches()[0].sensor[3].xyz[0]));
    QCOMPARE(read.patches()[0].sensor[3].xyz[1], 21.0);
    QCOMPARE(read.patches()[0].sensor[2].rejection, Rejection::Outlier);
    QCOMPARE(read.patches()[0].sensor[3].rejection, Rejection::Failed);
    QCOMPARE(read.patches()[1].sensor[0].rejection, Rejection::BelowFloor);
    QCOMPARE(read.instrument(Role::Reference).serialNumber, QString("SN 9876 ä"));
    QCOMPARE(read.instrument(Role::Sensor).typeNumber, 3);
    QCOMPARE(read.started(), at(0, 0, 1));
    QCOMPARE(read.ended(), at(9, 59, 999));
    QCOMPARE(read.repeats(), 3);
    QCOMPARE(read.patches().size(), PatchSet::defaultSet().patches().size());
    QVERIFY(read.stoppedAt().has_value());
    QCOMPARE(read.stoppedAt()->patch, QString("green"));
    QCOMPARE(read.stoppedAt()->reason, QString("the reference instrument did not answer"));
    // Written again, the same text.
    QCOMPARE(read.toJson(&error), written.toJson(&error));
}

void TestMatchingSession::roundTripNotStopped()
{
    MatchingSession written = makeSession();
    written.setStoppedAt(std::nullopt);
    QString error;
    const QByteArray text = written.toJson(&error);
    QVERIFY2(!text.isEmpty(), qPrintable(error));
    QCOMPARE(QJsonDocument::fromJson(text).object().value("stopped_at").type(), QJsonValue::Null);
    MatchingSession read = makeSession();
    QVERIFY2(read.parse(text, &error), qPrintable(error));
    QVERIFY(!read.stoppedAt().has_value());
    QVERIFY(read == written);
}

void TestMatchingSession::germanLocaleWritesPoints()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QString error;
    const QByteArray text = makeSession().toJson(&error);
    QVERIFY2(!text.isEmpty(), qPrintable(error));
    QVERIFY(text.contains("1234.5"));
    QVERIFY(text.contains("0.05"));
    QVERIFY(text.contains("\"2026-12-08T02:01:09.097Z\""));
    QVERIFY2(!QRegularExpression("[0-9],[0-9]").match(QString::fromUtf8(text)).hasMatch(), text.constData());
    MatchingSession read;
    QVERIFY2(read.parse(text, &error), qPrintable(error));
    QVERIFY(read == makeSession());
}

void TestMatchingSession::refusedField_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("expected");

    const QJsonValue gone(QJsonValue::Undefined);
    auto row = [](const char* name, const char* path, const QJsonValue& value, const char* expected) {
        QTest::newRow(name) << QString(path) << value << QString(expected);
    };
    row("no format_version", "format_version", gone, "format_version: missing");
    row("format_version 2", "format_version", 2, "format_version: 2 is not a version");
    row("format_version text", "format_version", "1", "format_version: expected a number");
    row("no instruments", "instruments", gone, "instruments: missing");
    row("instruments not a list", "instruments", QJsonObject(), "instruments: expected a list");
    row("no reference", "instruments/1", gone, "instruments: no reference");
    row("three instruments", "instruments/2", QJsonObject(), "instruments: 3 entries; at most 2");
    row("unknown role", "instruments/0/role", "probe", "instruments[0].role: 'probe' is neither");
    row("two sensors", "instruments/1/role", "sensor", "instruments[1].role: a second sensor");
    row("instrument not an object", "instruments/0", "sensor", "instruments[0]: expected an object");
    row("type number text", "instruments/0/type_number", "3", "instruments[0].type_number: expected a whole number");
    row("type number fraction", "instruments/0/type_number", 3.5, "instruments[0].type_number: 3.5 is not a whole");
    row("no type name", "instruments/1/type_name", gone, "instruments[1].type_name: missing");
    row("serial number a number", "instruments/1/serial_number", 9876, "instruments[1].serial_number: expected a text");
    row("no port", "instruments/1/port", gone, "instruments[1].port: missing");
    row("started not a time", "started", "yesterday", "started: 'yesterday' is not a UTC time");
    row("started not UTC", "started", "2026-12-08T03:00:00.000+01:00", "started: '2026-12-08T03:00:00.000+01:00'");
    row("started no day 32", "started", "2026-12-32T03:00:00.000Z", "started: '2026-12-32T03:00:00.000Z'");
    row("no ended", "ended", gone, "ended: missing");
    row("repeats negative", "repeats", -1, "repeats: -1 is not within 1 to 1000");
    row("repeats zero", "repeats", 0, "repeats: 0 is not within 1 to 1000");
    row("repeats too many", "repeats", 1001, "repeats: 1001 is not within 1 to 1000");
    row("floor nan text", "luminance_floor", "nan", "luminance_floor: expected a number");
    row("floor negative", "luminance_floor", -0.1, "luminance_floor: expected a number, 0 or more");
    row("no floor", "luminance_floor", gone, "luminance_floor: missing");
    row("patches not a list", "patches", "red", "patches: expected a list");
    row("patch not an object", "patches/3", 7, "patches[3]: expected an object");
    row("duplicate name", "patches/1/name", "red", "patches[1].name: 'red' is also patches[0]");
    row("duplicate name, case", "patches/5/name", "Cyan", "patches[5].name: 'Cyan' is also patches[4]");
    row("empty name", "patches/5/name", "", "patches[5].name: empty");
    row("r 256", "patches/0/r", 256, "patches[0].r: 256 is not within 0 to 255");
    row("g negative", "patches/0/g", -1, "patches[0].g: -1 is not within 0 to 255");
    row("b text", "patches/0/b", "0", "patches[0].b: expected a whole number");
    row("training colour validating", "patches/3/training", false, "patches[3].training: white is a training");
    row("validation colour training", "patches/4/training", true, "patches[4].training: only red");
    row("training text", "patches/4/training", "no", "patches[4].training: expected true or false");
    row("no reference list", "patches/0/reference", gone, "patches[0].reference: missing");
    row("readings not a list", "patches/0/sensor", 3, "patches[0].sensor: expected a list");
    row("reading not an object", "patches/0/sensor/1", 3, "patches[0].sensor[1]: expected an object");
    row("xyz nan text", "patches/0/sensor/0/xyz/1", "nan", "patches[0].sensor[0].xyz[1]: expected a number");
    row("xyz Infinity text", "patches/0/reference/2/xyz/0", "Infinity",
        "patches[0].reference[2].xyz[0]: expected a number");
    row("xyz null, accepted", "patches/0/sensor/1/xyz/2", QJsonValue(),
        "patches[0].sensor[1].xyz[2]: expected a number (only a failed");
    row("xyz null, outlier", "patches/0/sensor/2/xyz/2", QJsonValue(), "patches[0].sensor[2].xyz[2]: expected");
    row("xyz text, failed", "patches/0/sensor/3/xyz/1", "-", "patches[0].sensor[3].xyz[1]: expected a number or null");
    row("xyz two values", "patches/0/sensor/0/xyz", QJsonArray{1, 2}, "patches[0].sensor[0].xyz: 2 values");
    row("xyz four values", "patches/0/sensor/0/xyz", QJsonArray{1, 2, 3, 4}, "patches[0].sensor[0].xyz: 4 entries");
    row("no time", "patches/0/reference/0/time", gone, "patches[0].reference[0].time: missing");
    row("time local", "patches/0/reference/0/time", "2026-12-08T02:01:05.057",
        "patches[0].reference[0].time: '2026-12-08T02:01:05.057' is not");
    row("unknown rejection", "patches/0/sensor/2/rejected", "noisy", "patches[0].sensor[2].rejected: expected null");
    row("rejection not text", "patches/0/sensor/2/rejected", true, "patches[0].sensor[2].rejected: expected null");
    row("no rejection", "patches/1/sensor/0/rejected", gone, "patches[1].sensor[0].rejected: missing");
    row("no stopped_at", "stopped_at", gone, "stopped_at: missing");
    row("stopped_at text", "stopped_at", "green", "stopped_at: expected an object");
    row("stopped at unknown patch", "stopped_at/patch", "violet", "stopped_at.patch: 'violet' is none of the patches");
    row("stopped_at no reason", "stopped_at/reason", gone, "stopped_at.reason: missing");
    row("too many readings", "patches/4/reference",
        copies(QJsonObject{{"xyz", QJsonArray{1, 2, 3}}, {"time", "2026-12-08T02:00:00.000Z"}, {"rejected", "outlier"}},
               MatchingSession::MaxRepeats + 1),
        "patches[4].reference: 1001 entries; at most 1000");
    row("too many patches", "patches", copies(QJsonObject(), PatchSet::MaxPatches + 1),
        "patches: 1001 entries; at most 1000");
}

void TestMatchingSession::refusedField()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(QString, expected);

    const QJsonValue changed = replaced(QJsonDocument::fromJson(validText()).object(), path.split('/'), value);
    const QByteArray text = QJsonDocument(changed.toObject()).toJson();

    MatchingSession session = makeSession();
    session.setRepeats(7);
    const MatchingSession before = session;
    QString error;
    QVERIFY(!session.parse(text, &error));
    QVERIFY2(error.startsWith(expected), qPrintable(error));
    QVERIFY(session == before);
}

void TestMatchingSession::repeatedKeyRefused_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("expected");

    QTest::newRow("top level") << QByteArray("\"repeats\": 3,") << QByteArray("\"repeats\": 3, \"repeats\": 4,")
                               << "repeats: given twice";
    QTest::newRow("escaped") << QByteArray("\"repeats\": 3,") << QByteArray("\"repeats\": 3, \"rep\\u0065ats\": 4,")
                             << "repeats: given twice";
    QTest::newRow("in a reading") << QByteArray("\"rejected\": null,")
                                  << QByteArray("\"rejected\": null, \"rejected\": {\"a\": [1]},")
                                  << "patches[0].reference[0].rejected: given twice";
    QTest::newRow("object value") << QByteArray("\"stopped_at\": {")
                                  << QByteArray("\"stopped_at\": {\"x\": {\"y\": 1}, \"x\": 2, ")
                                  << "stopped_at.x: given twice";
}

void TestMatchingSession::repeatedKeyRefused()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, expected);

    QByteArray text = validText();
    const int at = text.indexOf(from);
    QVERIFY(at >= 0);
    text.replace(at, from.size(), to);
    MatchingSession session;
    QString error;
    QVERIFY(!session.parse(text, &error));
    QCOMPARE(error, expected);
    QVERIFY(session == MatchingSession());
}

void TestMatchingSession::truncatedRefused_data()
{
    QTest::addColumn<int>("cut");

    const int size = validText().size();
    QTest::newRow("empty") << size;
    QTest::newRow("one byte") << size - 1;
    QTest::newRow("last brace") << 2;
    QTest::newRow("half") << size / 2;
    QTest::newRow("in a number") << size - validText().indexOf("1234.5") - 3;
}

void TestMatchingSession::truncatedRefused()
{
    QFETCH(int, cut);

    const QByteArray text = validText();
    // The newline after the last brace is not what is cut.
    const QByteArray truncated = text.trimmed().left(text.trimmed().size() - cut);
    MatchingSession session;
    const MatchingSession before = session;
    QString error;
    QVERIFY(!session.parse(truncated, &error));
    QVERIFY2(error.startsWith("not a complete JSON file (at byte"), qPrintable(error));
    QVERIFY(session == before);
}

void TestMatchingSession::oversizedRefused()
{
    // A valid file made the size asked for by space before its last brace.
    const auto padded = [](qint64 size) {
        QByteArray text = validText();
        const QByteArray tail = text.right(2);
        text.chop(2);
        return text + QByteArray(int(size - text.size() - tail.size()), ' ') + tail;
    };
    const QByteArray over = padded(MatchingSession::MaxFileSize + 1);
    QCOMPARE(qint64(over.size()), MatchingSession::MaxFileSize + 1);
    MatchingSession session;
    QString error;
    QVERIFY(!session.parse(over, &error));
    QVERIFY2(error.contains(QString::number(MatchingSession::MaxFileSize)), qPrintable(error));
    QVERIFY(session == MatchingSession());

    QTemporaryDir dir;
    QFile file(dir.filePath("big.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(over), qint64(over.size()));
    file.close();
    error.clear();
    QVERIFY(!session.read(file.fileName(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(session == MatchingSession());

    // At the cap it is still read.
    QVERIFY2(session.parse(padded(MatchingSession::MaxFileSize), &error), qPrintable(error));
    QVERIFY(session == makeSession());
}

void TestMatchingSession::unwritableSessionNotWritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("session.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("kept");
    file.close();

    // A counted reading with no number: the reader would refuse the file.
    MatchingSession session = makeSession();
    session.addReading(2, Role::Sensor, reading(1, std::numeric_limits<double>::infinity(), 1, 10));
    QString error;
    QVERIFY(session.toJson(&error).isEmpty());
    QVERIFY(!session.write(path, &error));
    QVERIFY2(error.startsWith("the session cannot be written: patches[2].sensor[0].xyz[1]"), qPrintable(error));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("kept"));
}

void TestMatchingSession::samples()
{
    const MatchingSession session = makeSession();
    QStringList leftOut;
    const std::vector<MatchingSample> samples = session.samples(&leftOut);
    // Red: two counted sensor readings and two counted reference ones; green
    // has only one it had to take again, cyan only a reference reading, the
    // rest none.
    QCOMPARE(samples.size(), size_t(1));
    const MatchingSample& red = samples[0];
    QCOMPARE(red.name, QString("red"));
    QVERIFY(red.training);
    QCOMPARE(red.sensor[0], ((0.1 + 0.2) + 41.24) / 2);
    QCOMPARE(red.sensor[1], (1.0 / 3 + 21.26) / 2);
    QCOMPARE(red.sensor[2], (123456.78901234567 + 1.93) / 2);
    QCOMPARE(red.reference[0], (5e-324 + 42.0) / 2);
    QCOMPARE(red.reference[1], 1.7976931348623157e308 / 2 + 22.0 / 2);
    QCOMPARE(red.reference[2], (1e-7 + 2.0) / 2);

    QStringList expected;
    const PatchSet set = PatchSet::defaultSet();
    for (const MatchingPatch& p : set.patches())
        expected << p.name;
    expected.removeFirst();
    QCOMPARE(leftOut, expected);
}

void TestMatchingSession::setReadings()
{
    MatchingSession session = makeSession();
    const MatchingSession before = session;
    const std::vector<Reading> replacement{reading(1, 2, 3, 20), reading(4, 5, 6, 21, Rejection::Outlier)};
    QVERIFY(session.setReadings(0, Role::Reference, replacement));
    QCOMPARE(session.patches()[0].reference, replacement);
    // The other instrument and the other patches are left as they were.
    QCOMPARE(session.patches()[0].sensor, before.patches()[0].sensor);
    for (size_t i = 1; i < session.patches().size(); ++i)
        QCOMPARE(session.patches()[i], before.patches()[i]);

    const MatchingSession changed = session;
    QVERIFY(!session.setReadings(-1, Role::Sensor, replacement));
    QVERIFY(!session.setReadings(static_cast<int>(session.patches().size()), Role::Sensor, replacement));
    QCOMPARE(session, changed);
}

QTEST_GUILESS_MAIN(TestMatchingSession)
#include "tst_matchingsession.moc"
