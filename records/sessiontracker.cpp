#include "sessiontracker.h"

#include "ccolor.h"
#include "cmonitor.h"

#include <QUuid>

#include <algorithm>
#include <cmath>

namespace {

std::optional<SessionRecord::Xyz> xyzOf(const CColor& color)
{
    if (color.IsNoData())
        return std::nullopt;
    return SessionRecord::Xyz{color[0], color[1], color[2]};
}

} // namespace

SessionTracker::SessionTracker(QObject* parent) : QObject(parent)
{
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] { end(m_lastRequest, false); });
}

void SessionTracker::setSilence(int ms)
{
    m_silenceMs = ms;
}

int SessionTracker::announcedWaitMs(const QString& reply)
{
    // "OK00,<ms>": the time after which the display may ask for the value.
    if (!reply.startsWith(QLatin1String("OK00,")))
        return 0;
    bool ok = false;
    const int ms = reply.mid(5).trimmed().toInt(&ok);
    return ok && ms > 0 ? std::min(ms, MaxAnnouncedWaitMs) : 0;
}

void SessionTracker::takeRequest(int command, const QString& reply, const CColor& raw, const CColor& corrected)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!isOpen()) {
        if (command == CMonitor::StopMeasure)
            return;
        m_session = SessionRecord();
        if (m_context)
            m_context(&m_session);
        m_session.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        m_session.started = now;
        m_session.targetX = m_verdict.targetX();
        m_session.targetY = m_verdict.targetY();
        m_session.tolerance = m_verdict.tolerance();
        m_candidates.clear();
        emit sessionStarted(m_session);
    }
    m_lastRequest = now;
    SessionRecord::Reading reading;
    reading.time = now;
    reading.request = CMonitor::requestText(command);
    reading.reply = reply;
    reading.reply.remove(QLatin1Char('\r'));
    if (command == CMonitor::SendValue) {
        reading.raw = xyzOf(raw);
        reading.corrected = xyzOf(corrected);
        keepCandidate(reading);
    }
    ++m_session.readingCount;
    emit readingTaken(m_session.uid, reading);
    if (command == CMonitor::StopMeasure) {
        end(now, true);
        return;
    }
    // A display told to wait for a slow reading is not silent while it waits.
    m_silence.start(m_silenceMs + (command == CMonitor::StartMeasure ? announcedWaitMs(reading.reply) : 0));
}

void SessionTracker::keepCandidate(const SessionRecord::Reading& reading)
{
    if (SessionVerdict::finalWhiteIndex({reading}) < 0)
        return;
    const double y = reading.corrected->y;
    while (!m_candidates.isEmpty() && m_candidates.constLast().corrected->y <= y)
        m_candidates.removeLast();
    m_candidates.append(reading);
}

void SessionTracker::takeHangUp()
{
    if (isOpen())
        end(QDateTime::currentDateTimeUtc(), false);
}

void SessionTracker::takeStop()
{
    if (isOpen())
        end(QDateTime::currentDateTimeUtc(), false);
}

void SessionTracker::end(const QDateTime& time, bool finished)
{
    if (!isOpen())
        return;
    m_silence.stop();
    SessionRecord session = m_session;
    session.ended = time;
    const int index = SessionVerdict::finalWhiteIndex(m_candidates);
    session.white = index < 0 ? std::nullopt : SessionVerdict::whiteOf(*m_candidates[index].corrected);
    session.verdict = m_verdict.judge(session.white, finished);
    m_session = SessionRecord();
    m_candidates.clear();
    emit sessionEnded(session);
}
