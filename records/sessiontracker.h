#ifndef SESSIONTRACKER_H
#define SESSIONTRACKER_H

#include "sessionrecord.h"
#include "sessionverdict.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

class CColor;

// Cuts the display's requests into sessions. A session begins with the first
// request while none is open and ends with "MES,0" (judged PASS or FAIL on
// its final white), or INCOMPLETE when the display hangs up, when it is silent
// for SilenceMs (beyond the wait a measurement's "OK00" reply announced), or
// when the service stops serving it. A lone "MES,0" opens nothing.
class SessionTracker : public QObject
{
    Q_OBJECT

public:
    static constexpr int SilenceMs = 30000;
    // A longer announced wait is taken as this long: the silence stays bounded.
    static constexpr int MaxAnnouncedWaitMs = 10 * 60 * 1000;

    // Fills in what the station knows when a session begins: station, unit,
    // sensor, profile, matrix.
    using ContextProvider = std::function<void(SessionRecord*)>;

    explicit SessionTracker(QObject* parent = nullptr);

    void setVerdict(const SessionVerdict& verdict) { m_verdict = verdict; }
    SessionVerdict verdict() const { return m_verdict; }
    void setContextProvider(ContextProvider provider) { m_context = std::move(provider); }
    void setSilence(int ms);
    // The wait in milliseconds an "OK00,<ms>" reply announces; 0 for any other.
    static int announcedWaitMs(const QString& reply);
    bool isOpen() const { return !m_session.uid.isEmpty(); }
    QString currentUid() const { return m_session.uid; }

public slots:
    // One request handled by the service (CMonitor's command code).
    void takeRequest(int command, const QString& reply, const CColor& raw, const CColor& corrected);
    void takeHangUp();
    // The service stopped serving (switched off, the program ends).
    void takeStop();

signals:
    void sessionStarted(SessionRecord session);
    void readingTaken(QString uid, SessionRecord::Reading reading);
    // Carries the end time, final white, verdict.
    void sessionEnded(SessionRecord session);

private:
    void end(const QDateTime& time, bool finished);
    void keepCandidate(const SessionRecord::Reading& reading);

    SessionVerdict m_verdict;
    ContextProvider m_context;
    SessionRecord m_session;
    QDateTime m_lastRequest;
    // The readings that may still turn out to be the final white: each one
    // brighter than every later one, as the rule takes them. A reading a later
    // one is as bright as can never be the final white, so it is let go; what
    // stays is short.
    QVector<SessionRecord::Reading> m_candidates;
    QTimer m_silence;
    int m_silenceMs = SilenceMs;
};

#endif // SESSIONTRACKER_H
