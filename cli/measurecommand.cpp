#include "measurecommand.h"

#include "exitcode.h"
#include "measure.h"
#include "sensoroptions.h"
#include "sensorsession.h"
#include "signalwatcher.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTimer>

#include <cmath>

namespace {

// Full precision, decimal point whatever the locale.
QString exact(double value)
{
    return QString::number(value, 'g', 10);
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

struct Forms {
    double values[11];
};

// X, Y, Z, x, y, u', v', R, G, B and the correlated colour temperature, as the
// value window shows them.
Forms formsOf(const CColor& corrected)
{
    const CColor xyY = corrected.GetxyYValue();
    const CColor uvY = corrected.GetuvYValue();
    const CColor rgb = corrected.GetRGBValue();
    return Forms{{corrected[0], corrected[1], corrected[2], xyY[0], xyY[1], uvY[0], uvY[1], rgb[0],
                  rgb[1], rgb[2], double(corrected.GetColorTemp())}};
}

const char* const kFormNames[11] = {"X", "Y", "Z", "x", "y", "u'", "v'", "R", "G", "B", "CCT"};

QJsonObject jsonReading(int index, const CColor& raw, const CColor& corrected)
{
    QJsonObject object;
    object.insert(QStringLiteral("index"), index);
    object.insert(QStringLiteral("raw"), QJsonObject{{QStringLiteral("X"), raw[0]},
                                                     {QStringLiteral("Y"), raw[1]},
                                                     {QStringLiteral("Z"), raw[2]}});
    QJsonObject correctedObject;
    const Forms forms = formsOf(corrected);
    for (int i = 0; i < 11; ++i)
        correctedObject.insert(QLatin1String(kFormNames[i]), forms.values[i]);
    object.insert(QStringLiteral("corrected"), correctedObject);
    return object;
}

} // namespace

QString MeasureCommand::summary() const
{
    return QStringLiteral("Take readings with the sensor, raw and corrected.");
}

QString MeasureCommand::csvHeader()
{
    QStringList names{QStringLiteral("index"), QStringLiteral("raw_X"), QStringLiteral("raw_Y"),
                      QStringLiteral("raw_Z")};
    for (const char* form : kFormNames)
        names << QLatin1String(form);
    return names.join(QLatin1Char(','));
}

QString MeasureCommand::csvRow(int index, const CColor& raw, const CColor& corrected)
{
    QStringList fields{QString::number(index), exact(raw[0]), exact(raw[1]), exact(raw[2])};
    const Forms forms = formsOf(corrected);
    for (double value : forms.values)
        fields << exact(value);
    return fields.join(QLatin1Char(','));
}

QString MeasureCommand::textBlock(int index, const CColor& raw, const CColor& corrected)
{
    const Forms f = formsOf(corrected);
    QStringList lines;
    lines << QStringLiteral("Reading %1").arg(index);
    lines << QStringLiteral("  raw        X %1  Y %2  Z %3")
                 .arg(fixed(raw[0], 4), fixed(raw[1], 4), fixed(raw[2], 4));
    lines << QStringLiteral("  corrected  X %1  Y %2  Z %3")
                 .arg(fixed(f.values[0], 4), fixed(f.values[1], 4), fixed(f.values[2], 4));
    lines << QStringLiteral("  x %1  y %2  u' %3  v' %4")
                 .arg(fixed(f.values[3], 5), fixed(f.values[4], 5), fixed(f.values[5], 5),
                      fixed(f.values[6], 5));
    lines << QStringLiteral("  R %1  G %2  B %3  CCT %4 K")
                 .arg(fixed(f.values[7], 2), fixed(f.values[8], 2), fixed(f.values[9], 2),
                      QString::number(int(f.values[10])));
    return lines.join(QLatin1Char('\n'));
}

int MeasureCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    SensorOptions sensorOptions;
    const QCommandLineOption profileOption(
        QStringLiteral("profile"), QStringLiteral("Apply this profile (of this very sensor)."),
        QStringLiteral("F.alg"));
    const QCommandLineOption countOption(QStringLiteral("count"),
                                         QStringLiteral("Number of readings (default 1)."),
                                         QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption intervalOption(
        QStringLiteral("interval"), QStringLiteral("Seconds between readings (default 0)."),
        QStringLiteral("S"), QStringLiteral("0"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("text (default), csv or json."),
                                          QStringLiteral("FORMAT"), QStringLiteral("text"));
    sensorOptions.addTo(parser, {profileOption, countOption, intervalOption, formatOption});
    const int parsed = parseOptionsOnly(
        parser, arguments,
        QStringLiteral("Takes readings with the sensor and prints the raw and "
                       "the corrected X, Y, Z with x, y, u', v', R, G, B and "
                       "the colour temperature."));
    if (parsed >= 0)
        return parsed;

    if (const QString error = sensorOptions.read(parser); !error.isEmpty())
        return usageError(error);
    bool ok = false;
    const int count = parser.value(countOption).toInt(&ok);
    if (!ok || count < 1)
        return usageError(QStringLiteral("--count needs a whole number of at least 1"));
    const double interval = QLocale::c().toDouble(parser.value(intervalOption), &ok);
    if (!ok || !std::isfinite(interval) || interval < 0.0 || interval > 86400.0)
        return usageError(QStringLiteral("--interval needs a number of seconds from 0 to 86400"));
    Format format = Format::Text;
    const QString formatText = parser.value(formatOption);
    if (formatText == QLatin1String("csv"))
        format = Format::Csv;
    else if (formatText == QLatin1String("json"))
        format = Format::Json;
    else if (formatText != QLatin1String("text"))
        return usageError(QStringLiteral("unknown format '%1'").arg(formatText));

    Measure measure;
    SensorSession session(measure);
    session.setReplyTimeout(sensorOptions.replyTimeoutMs());
    if (const int opened = session.open(sensorOptions.sensorType(), sensorOptions.port());
        opened != ExitDone)
        return opened;
    if (parser.isSet(profileOption)) {
        if (const int applied = session.applyProfile(parser.value(profileOption)); applied != ExitDone)
            return applied;
    }

    // Ctrl-C between readings ends the series with what has been read.
    bool stopped = false;
    QEventLoop pause;
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::received, &pause, [&] {
        stopped = true;
        pause.quit();
    });

    if (format == Format::Csv)
        printLine(csvHeader());
    QJsonArray readings;
    int result = ExitDone;
    for (int i = 1; i <= count && !stopped; ++i) {
        if (i > 1 && interval > 0.0) {
            QTimer::singleShot(qRound(interval * 1000.0), &pause, &QEventLoop::quit);
            pause.exec();
            if (stopped)
                break;
        }
        const CColor raw = session.readRaw();
        if (raw.IsNoData()) {
            printError(QStringLiteral("The sensor gave no reading."));
            result = ExitInstrument;
            break;
        }
        const CColor corrected = measure.correctionMatrix() * raw;
        switch (format) {
        case Format::Text:
            printLine(textBlock(i, raw, corrected));
            break;
        case Format::Csv:
            printLine(csvRow(i, raw, corrected));
            break;
        case Format::Json:
            readings.append(jsonReading(i, raw, corrected));
            break;
        }
    }
    if (format == Format::Json)
        printLine(QString::fromUtf8(QJsonDocument(readings).toJson(QJsonDocument::Indented)).trimmed());
    return result;
}
