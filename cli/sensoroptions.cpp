#include "sensoroptions.h"

#include "sensorsession.h"

#include <QCommandLineParser>
#include <QLocale>

namespace {

// Seconds as given, in milliseconds; an empty text is 0. False for a value
// that is no time or longer than an hour.
bool parseReplyTimeout(const QString& text, int* msecs)
{
    if (text.isEmpty()) {
        *msecs = 0;
        return true;
    }
    bool ok = false;
    const double seconds = QLocale::c().toDouble(text, &ok);
    if (!ok || !(seconds > 0.0) || seconds > 3600.0)
        return false;
    *msecs = qMax(1, qRound(seconds * 1000.0));
    return true;
}

} // namespace

SensorOptions::SensorOptions()
    : m_sensorOption(QStringLiteral("sensor"),
                     QStringLiteral("Sensor type: its number or its name (%1).")
                         .arg(SensorSession::typeListText()),
                     QStringLiteral("TYPE"))
    , m_portOption(QStringLiteral("port"),
                   QStringLiteral("The sensor's port: a name under /dev (ttyACM0, pts/3) or a full path."),
                   QStringLiteral("P"))
    , m_replyTimeoutOption(QStringLiteral("reply-timeout"),
                           QStringLiteral("Seconds to wait for each reply of a CR-100/CR-250 before "
                                          "it counts as silent (default: the driver's 120)."),
                           QStringLiteral("S"))
{
}

void SensorOptions::addTo(QCommandLineParser& parser,
                          const QList<QCommandLineOption>& commandOptions) const
{
    parser.addOptions(QList<QCommandLineOption>{m_sensorOption, m_portOption} + commandOptions
                      + QList<QCommandLineOption>{m_replyTimeoutOption});
}

QString SensorOptions::read(const QCommandLineParser& parser)
{
    if (!parser.isSet(m_sensorOption))
        return QStringLiteral("--sensor is required");
    if (!SensorSession::parseType(parser.value(m_sensorOption), &m_sensorType))
        return QStringLiteral("unknown sensor type '%1'").arg(parser.value(m_sensorOption));
    if (!parseReplyTimeout(parser.value(m_replyTimeoutOption), &m_replyTimeoutMs))
        return QStringLiteral("--reply-timeout needs a number of seconds above 0, at most 3600");
    m_port = parser.value(m_portOption);
    return QString();
}
