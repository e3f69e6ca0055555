#ifndef ALIGNMENTSERVICE_H
#define ALIGNMENTSERVICE_H

#include "ccolor.h"
#include "measure.h"

#include <QObject>
#include <QString>
#include <QTimer>

class ServeLog;

// The alignment service run unattended: serves the display through the
// controller, reports every request and reply, and rides out what happens on a
// production line. A display unplugged and the next one plugged in is handled
// by the controller's service itself; a sensor whose port vanishes is let go,
// waited for on the same path and taken up again, then serving resumes.
class AlignmentService : public QObject
{
    Q_OBJECT

public:
    struct Settings {
        int sensorType = 0;
        QString sensorPort;
        QString monitorPort;
        QString profile;
        int replyTimeoutMs = 0; // 0: the driver's own
        // Every request and its reply on standard output.
        bool printRequests = true;
    };

    // How often a vanished port is looked for again.
    static constexpr int PollMs = 250;

    AlignmentService(Measure& measure, Settings settings, ServeLog* log, QObject* parent = nullptr);

    // Opens sensor and monitor and switches alignment on; an exit code other
    // than ExitDone when that fails. A sensor of the type that the controller
    // has open already is served as it stands, with the matrix it has.
    int start();

public slots:
    // Switches alignment off; finished() follows once the pass in progress is
    // over and the service has let go of the instruments.
    void stop();

signals:
    // The service reads the display's line: requests sent from now on are answered.
    void serving();
    void finished(int exitCode);

private:
    // WrongSensor: another instrument than the profile's came back on the
    // sensor's port; it is let go of, and the port is watched until it goes.
    enum class Phase { Serving, WaitingForSensor, WrongSensor, WaitingForMonitor, Stopping, Done };

    void onRequestServed(int command, const QString& reply, const CColor& raw, const CColor& corrected);
    void logRequest(const QString& csvLine);
    void onMonitorConnected(bool connected);
    void onStateChanged();
    void poll();
    void loseSensor();
    bool resume();
    void finish(int exitCode);
    void announceWhenServing(const QString& text);
    QString sensorPath() const;
    QString monitorPath() const;

    Measure& m_measure;
    const Settings m_settings;
    ServeLog* const m_log;
    QTimer m_pollTimer;
    // Says "serving" once the service reads the display's line: what the display
    // sends before then is dropped with the line's old contents.
    QTimer m_announceTimer;
    QString m_announcement;
    Phase m_phase = Phase::Serving;
    // The serial number of the sensor the profile's matrix belongs to; empty
    // without a profile, when any instrument of the type will do.
    QString m_profileSerial;
};

#endif // ALIGNMENTSERVICE_H
