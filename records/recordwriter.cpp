#include "recordwriter.h"

#include <algorithm>

#include <QCoreApplication>
#include <QThread>
#include <QUuid>

namespace {

// Connection names are per process; each writer needs its own pair.
QString connectionName(const char* role)
{
    return QStringLiteral("records-%1-%2").arg(QLatin1String(role), QUuid::createUuid().toString(QUuid::WithoutBraces));
}

} // namespace

RecordWriter::RecordWriter(const RecordLocation& location, const QString& spoolFile, const QString& station,
                           QObject* parent)
    : QObject(parent), m_location(location), m_spoolFile(spoolFile), m_station(station)
{
    qRegisterMetaType<SessionRecord>();
    qRegisterMetaType<SessionRecord::Reading>();
    qRegisterMetaType<QVector<SessionRecord>>();
    qRegisterMetaType<QVector<SessionRecord::Reading>>();
    qRegisterMetaType<RecordStore::Filter>();
}

RecordWriter::~RecordWriter() = default;

void RecordWriter::start()
{
    if (!m_retryTimer) {
        m_retryTimer = new QTimer(this);
        m_retryTimer->setSingleShot(true);
        connect(m_retryTimer, &QTimer::timeout, this, &RecordWriter::forward);
    }
    m_local = std::make_unique<RecordStore>(connectionName("local"));
    const RecordLocation local = usesServer() ? RecordLocation::sqlite(m_spoolFile) : m_location;
    QString error;
    if (!m_local->open(local, &error)) {
        m_local.reset();
        emit opened(false, error);
        return;
    }
    closeLeftOpen();
    emit opened(true, QString());
    if (usesServer())
        forward();
}

void RecordWriter::closeLeftOpen()
{
    RecordStore::Filter filter;
    filter.station = m_station;
    QString error;
    const QVector<SessionRecord> sessions = m_local->sessions(filter, &error);
    for (SessionRecord session : sessions) {
        if (!session.isOpen())
            continue;
        QDateTime last;
        if (!m_local->lastReadingTime(session.id, &last, &error) || !last.isValid())
            last = session.started;
        session.ended = last;
        session.verdict = SessionRecord::incomplete();
        if (!m_local->closeSession(session, &error))
            report(error);
    }
    if (!error.isEmpty())
        report(error);
}

void RecordWriter::report(const QString& text)
{
    if (m_failing)
        return;
    m_failing = true;
    emit problem(text);
}

void RecordWriter::clearProblem(const QString& text)
{
    if (!m_failing)
        return;
    m_failing = false;
    emit recovered(text);
}

void RecordWriter::beginSession(const SessionRecord& session)
{
    if (!m_local)
        return;
    SessionRecord copy = session;
    QString error;
    if (!m_local->beginSession(&copy, &error)) {
        report(error);
        return;
    }
    m_localIds.insert(copy.uid, copy.id);
}

void RecordWriter::addReading(const QString& uid, const SessionRecord::Reading& reading)
{
    const auto id = m_localIds.constFind(uid);
    if (!m_local || id == m_localIds.constEnd())
        return;
    QString error;
    if (!m_local->addReading(*id, reading, &error))
        report(error);
}

void RecordWriter::setUnit(const QString& uid, const QString& unit)
{
    const auto id = m_localIds.constFind(uid);
    if (!m_local || id == m_localIds.constEnd())
        return;
    QString error;
    if (!m_local->setUnit(*id, unit, &error))
        report(error);
}

void RecordWriter::closeSession(const SessionRecord& session)
{
    const qint64 id = m_localIds.take(session.uid);
    if (!m_local || id == 0)
        return;
    SessionRecord closing = session;
    closing.id = id;
    QString error;
    if (!m_local->closeSession(closing, &error)) {
        report(error);
        return;
    }
    if (!m_local->session(id, &closing, &error)) {
        report(error);
        return;
    }
    if (!usesServer())
        clearProblem(QStringLiteral("The records file %1 takes sessions again.").arg(m_location.displayName()));
    closing.pending = usesServer();
    emit sessionStored(closing);
    if (usesServer())
        forward();
}

bool RecordWriter::connectServer()
{
    if (m_server && m_server->isOpen())
        return true;
    m_server = std::make_unique<RecordStore>(connectionName("server"));
    QString error;
    if (m_server->open(m_location, &error))
        return true;
    serverLost(error);
    return false;
}

void RecordWriter::serverLost(const QString& error)
{
    if (m_server)
        m_server->close();
    m_server.reset();
    if (!m_serverDown) {
        m_serverDown = true;
        emit problem(QStringLiteral("The records database cannot be reached (%1). Sessions are kept in %2 and "
                                    "sent when it answers again.")
                         .arg(error, m_spoolFile));
    }
    if (m_retryTimer)
        m_retryTimer->start(m_retryMs);
}

void RecordWriter::forward()
{
    if (!usesServer() || !m_local)
        return;
    RecordStore::Filter filter;
    filter.station = m_station;
    filter.includeOpen = false;
    QString error;
    QVector<SessionRecord> waiting = m_local->sessions(filter, &error);
    if (waiting.isEmpty()) {
        emit backlogChanged(0);
        return;
    }
    if (!connectServer()) {
        emit backlogChanged(waiting.size());
        return;
    }
    // Oldest first, as they happened.
    std::reverse(waiting.begin(), waiting.end());
    int left = waiting.size();
    for (const SessionRecord& session : qAsConst(waiting)) {
        const QVector<SessionRecord::Reading> readings = m_local->readings(session.id, &error);
        if (!error.isEmpty()) {
            report(error);
            break;
        }
        if (!m_server->insertWhole(session, readings, &error)) {
            if (m_server->isConnectionLost()) {
                serverLost(error);
            } else {
                // The server refused this one: said, and tried again later
                // rather than dropped.
                report(error);
                if (m_retryTimer)
                    m_retryTimer->start(m_retryMs);
            }
            break;
        }
        // The server has it; only now may the station's copy go.
        if (!m_local->removeSession(session.id, &error)) {
            report(error);
            break;
        }
        --left;
    }
    if (left == 0 && m_serverDown) {
        m_serverDown = false;
        emit recovered(QStringLiteral("The records database %1 answers again; the sessions kept meanwhile were sent.")
                           .arg(m_location.displayName()));
    }
    emit backlogChanged(left);
}

void RecordWriter::findSessions(int ticket, const RecordStore::Filter& filter)
{
    QVector<SessionRecord> found;
    QString error;
    if (!m_local) {
        emit sessionsFound(ticket, found, QStringLiteral("The records are not open."));
        return;
    }
    if (usesServer()) {
        if (connectServer()) {
            found = m_server->sessions(filter, &error);
            if (!error.isEmpty() && m_server->isConnectionLost())
                serverLost(error);
        } else {
            error = QStringLiteral("The records database %1 cannot be reached; only this station's sessions not "
                                   "yet sent are shown.")
                        .arg(m_location.displayName());
        }
        QString localError;
        QVector<SessionRecord> waiting = m_local->sessions(filter, &localError);
        for (SessionRecord& session : waiting)
            session.pending = true;
        found = waiting + found;
        if (error.isEmpty())
            error = localError;
    } else {
        found = m_local->sessions(filter, &error);
    }
    emit sessionsFound(ticket, found, error);
}

void RecordWriter::findReadings(int ticket, qint64 sessionId, bool pending)
{
    QString error;
    QVector<SessionRecord::Reading> found;
    RecordStore* store = pending || !usesServer() ? m_local.get() : nullptr;
    if (!store && connectServer())
        store = m_server.get();
    if (store)
        found = store->readings(sessionId, &error);
    else
        error = QStringLiteral("The records database %1 cannot be reached.").arg(m_location.displayName());
    emit readingsFound(ticket, found, error);
}

void RecordWriter::finish()
{
    if (m_retryTimer)
        m_retryTimer->stop();
    if (m_server)
        m_server->close();
    if (m_local)
        m_local->close();
    m_server.reset();
    m_local.reset();
    if (thread() != QCoreApplication::instance()->thread())
        thread()->quit();
}
