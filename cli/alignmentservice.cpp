#include "alignmentservice.h"

#include "cmonitor.h"
#include "command.h"
#include "csensor.h"
#include "exitcode.h"
#include "sensorsession.h"
#include "sensortable.h"
#include "servelog.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

QString tripleText(const CColor& color)
{
    if (color.IsNoData())
        return QStringLiteral("none");
    return QStringLiteral("%1 %2 %3").arg(QString::number(color[0], 'f', 4),
                                          QString::number(color[1], 'f', 4),
                                          QString::number(color[2], 'f', 4));
}

QString now()
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
}

} // namespace

AlignmentService::AlignmentService(Measure& measure, Settings settings, ServeLog* log, QObject* parent)
    : QObject(parent), m_measure(measure), m_settings(std::move(settings)), m_log(log)
{
    m_pollTimer.setInterval(PollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &AlignmentService::poll);
    m_announceTimer.setInterval(10);
    connect(&m_announceTimer, &QTimer::timeout, this, [this] {
        if (!m_measure.isServingAlignment())
            return;
        m_announceTimer.stop();
        Command::printLine(QStringLiteral("%1 %2").arg(now(), m_announcement));
        emit serving();
    });
}

void AlignmentService::announceWhenServing(const QString& text)
{
    m_announcement = text;
    m_announceTimer.start();
}

QString AlignmentService::sensorPath() const
{
    return Measure::devicePath(m_settings.sensorPort);
}

QString AlignmentService::monitorPath() const
{
    return Measure::devicePath(m_settings.monitorPort);
}

int AlignmentService::start()
{
    // One device cannot be both: the display would get the instrument's
    // commands, and the service would answer the instrument as a display.
    if (sensorHasCom[m_settings.sensorType] && Measure::samePort(m_settings.sensorPort, m_settings.monitorPort)) {
        Command::printError(QStringLiteral("The sensor's port and the monitor's port are one device, %1: "
                                           "the sensor and the display need a port each.")
                                .arg(monitorPath()));
        return ExitUsage;
    }
    SensorSession session(m_measure);
    session.setReplyTimeout(m_settings.replyTimeoutMs);
    // Opening it again would make the driver take a port it holds already.
    const CSensor* sensor = m_measure.currentSensor();
    const bool open = sensor && sensor->getIsOpen() && m_measure.getSensorType() == m_settings.sensorType;
    if (!open) {
        if (const int opened = session.open(m_settings.sensorType, m_settings.sensorPort); opened != ExitDone)
            return opened;
    }
    if (!m_settings.profile.isEmpty()) {
        if (const int applied = session.applyProfile(m_settings.profile); applied != ExitDone)
            return applied;
        // Checked by applying it: the open sensor's.
        m_profileSerial = m_measure.currentSensor()->getSerialNumber();
    }
    m_measure.initMonitor();
    if (!QFileInfo::exists(monitorPath())) {
        Command::printError(QStringLiteral("Monitor port %1 does not exist.").arg(monitorPath()));
        return ExitInstrument;
    }
    if (!m_measure.connectMonitor(m_settings.monitorPort)) {
        Command::printError(QStringLiteral("Monitor port %1 cannot be opened.").arg(monitorPath()));
        return ExitInstrument;
    }
    // Connected only now: what opening them announced is no news.
    connect(&m_measure, &Measure::alignmentRequestServed, this, &AlignmentService::onRequestServed);
    connect(&m_measure, &Measure::monitorConnected, this, &AlignmentService::onMonitorConnected);
    connect(&m_measure, &Measure::alignmentStateChanged, this, &AlignmentService::onStateChanged);
    if (!m_measure.doAlignment())
        return ExitInstrument;
    m_phase = Phase::Serving;
    announceWhenServing(QStringLiteral("serving the display on %1 with the %2 on %3")
                           .arg(monitorPath(), strSensors[m_settings.sensorType],
                                sensorHasCom[m_settings.sensorType] ? sensorPath()
                                                                    : QStringLiteral("USB")));
    // Only a sensor on a port the program opens can be seen to go away.
    if (sensorHasCom[m_settings.sensorType])
        m_pollTimer.start();
    return ExitDone;
}

void AlignmentService::stop()
{
    if (m_phase == Phase::Stopping || m_phase == Phase::Done)
        return;
    Command::printLine(QStringLiteral("%1 stopping after the request in progress").arg(now()));
    m_phase = Phase::Stopping;
    m_pollTimer.stop();
    m_announceTimer.stop();
    if (m_measure.GetIsAlignment())
        m_measure.doAlignment();
    onStateChanged();
}

void AlignmentService::onStateChanged()
{
    if (m_phase == Phase::Stopping && m_measure.alignmentState() == Measure::AlignmentState::Off)
        finish(ExitDone);
}

void AlignmentService::finish(int exitCode)
{
    m_phase = Phase::Done;
    m_pollTimer.stop();
    m_announceTimer.stop();
    emit finished(exitCode);
}

void AlignmentService::onRequestServed(int command, const QString& reply, const CColor& raw,
                                       const CColor& corrected)
{
    const QDateTime time = QDateTime::currentDateTime();
    QString shownReply = reply;
    shownReply.remove(QLatin1Char('\r'));
    QString text = QStringLiteral("%1 %2 -> %3")
                       .arg(time.toString(Qt::ISODateWithMs), CMonitor::requestText(command),
                            shownReply.isEmpty() ? QStringLiteral("(no reply)") : shownReply);
    if (command == CMonitor::SendValue)
        text += QStringLiteral("  raw %1  corrected %2").arg(tripleText(raw), tripleText(corrected));
    if (m_settings.printRequests)
        Command::printLine(text);
    if (m_log && m_log->isOpen())
        logRequest(ServeLog::line(time, CMonitor::requestText(command), shownReply, raw, corrected));
}

void AlignmentService::logRequest(const QString& csvLine)
{
    // Said once when records start to be lost and once when they are kept
    // again: a full disk must not flood the output with one error per request.
    switch (m_log->append(csvLine)) {
    case ServeLog::Outcome::Written:
    case ServeLog::Outcome::StillLost:
        break;
    case ServeLog::Outcome::Lost:
        Command::printError(QStringLiteral("Cannot write to the log file: %1. Serving goes on; the "
                                           "records are lost until the file takes them again.")
                                .arg(m_log->errorString()));
        break;
    case ServeLog::Outcome::Resumed:
        Command::printError(QStringLiteral("The log file takes records again; %1 were lost.")
                                .arg(m_log->lostRecords()));
        break;
    }
}

void AlignmentService::onMonitorConnected(bool connected)
{
    if (connected)
        Command::printLine(QStringLiteral("%1 monitor port %2 is back; serving again").arg(now(), monitorPath()));
    else
        Command::printLine(QStringLiteral("%1 monitor port %2 hung up; waiting for it to come back")
                               .arg(now(), monitorPath()));
}

void AlignmentService::poll()
{
    switch (m_phase) {
    case Phase::Serving:
        if (!QFileInfo::exists(sensorPath()))
            loseSensor();
        break;
    case Phase::WaitingForSensor:
    case Phase::WaitingForMonitor:
        resume();
        break;
    case Phase::WrongSensor:
        // Whatever comes next on the port is checked again.
        if (!QFileInfo::exists(sensorPath())) {
            Command::printLine(QStringLiteral("%1 sensor port %2 hung up; waiting for the sensor with serial "
                                              "number %3")
                                   .arg(now(), sensorPath(), m_profileSerial));
            m_phase = Phase::WaitingForSensor;
        }
        break;
    case Phase::Stopping:
    case Phase::Done:
        break;
    }
}

void AlignmentService::loseSensor()
{
    Command::printLine(QStringLiteral("%1 sensor port %2 hung up; waiting for it to come back")
                           .arg(now(), sensorPath()));
    m_phase = Phase::WaitingForSensor;
    // Switches the service off and waits for its pass, whose serial waits end at
    // once; a driver that kept the dead port would never read again.
    m_measure.releaseSensor();
}

bool AlignmentService::resume()
{
    if (m_phase == Phase::WaitingForSensor) {
        if (!QFileInfo::exists(sensorPath()))
            return false;
        SensorSession session(m_measure);
        session.setReplyTimeout(m_settings.replyTimeoutMs);
        if (!session.reopen(m_settings.sensorType, m_settings.sensorPort))
            return false;
        // Another instrument on the same port: its readings corrected with the
        // profile's matrix would be wrong without anyone noticing. The matrix
        // stays with the controller for the right one.
        const QString serial = m_measure.currentSensor()->getSerialNumber();
        if (!m_profileSerial.isEmpty() && serial != m_profileSerial) {
            Command::printError(QStringLiteral("%1 the sensor now on %2 has serial number %3, but the profile %4 "
                                               "belongs to serial number %5: not serving with it.")
                                    .arg(now(), sensorPath(), serial, m_settings.profile, m_profileSerial));
            m_measure.releaseSensor();
            m_phase = Phase::WrongSensor;
            return false;
        }
        Command::printLine(QStringLiteral("%1 sensor port %2 is back").arg(now(), sensorPath()));
        m_phase = Phase::WaitingForMonitor;
    }
    // The display may have gone meanwhile; the service then let go of its line.
    const CMonitor* monitor = m_measure.currentMonitor();
    if (!monitor || !monitor->GetInit()) {
        if (!QFileInfo::exists(monitorPath()))
            return false;
        if (!monitor)
            m_measure.initMonitor();
        if (!m_measure.connectMonitor(m_settings.monitorPort))
            return false;
    }
    if (!m_measure.doAlignment())
        return false;
    m_phase = Phase::Serving;
    announceWhenServing(QStringLiteral("serving again"));
    return true;
}
