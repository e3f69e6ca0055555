#ifndef SENSOROPTIONS_H
#define SENSOROPTIONS_H

#include <QCommandLineOption>
#include <QList>
#include <QString>

class QCommandLineParser;

// The options of the commands that drive a sensor: --sensor, --port and
// --reply-timeout, with their checks, so that measure, serve and calibrate
// word them and refuse bad values alike.
class SensorOptions
{
public:
    SensorOptions();

    // Adds --sensor and --port, then the command's own options, then
    // --reply-timeout: the order --help lists them in.
    void addTo(QCommandLineParser& parser, const QList<QCommandLineOption>& commandOptions) const;

    // Reads the values from a parsed parser. Returns an empty string when they
    // are usable, else the usage error to report.
    QString read(const QCommandLineParser& parser);

    int sensorType() const { return m_sensorType; }
    QString port() const { return m_port; }
    // Milliseconds; 0 keeps the driver's own.
    int replyTimeoutMs() const { return m_replyTimeoutMs; }

private:
    QCommandLineOption m_sensorOption;
    QCommandLineOption m_portOption;
    QCommandLineOption m_replyTimeoutOption;
    int m_sensorType = 0;
    QString m_port;
    int m_replyTimeoutMs = 0;
};

#endif // SENSOROPTIONS_H
