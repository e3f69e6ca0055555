#include "linerecorder.h"

#include "ccolor.h"
#include "csensor.h"
#include "matrix.h"
#include "measure.h"
#include "recordwriter.h"
#include "sensortable.h"
#include "sessiontracker.h"
#include "unitcommand.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QSysInfo>
#include <QThread>

QString LineRecorder::defaultStation()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("station") : host;
}

QString LineRecorder::matrixSha256(const Matrix& matrix)
{
    QStringList elements;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column)
            elements << QString::number(matrix(row, column), 'g', 17);
    }
    return QString::fromLatin1(
        QCryptographicHash::hash(elements.join(QLatin1Char(',')).toLatin1(), QCryptographicHash::Sha256).toHex());
}

LineRecorder::LineRecorder(Measure& measure, Settings settings, QObject* parent)
    : QObject(parent), m_measure(measure), m_settings(std::move(settings))
{
    m_tracker = new SessionTracker(this);
    m_tracker->setVerdict(m_settings.verdict);
    m_tracker->setSilence(m_settings.silenceMs);
    m_tracker->setContextProvider([this](SessionRecord* session) { fillContext(session); });
    if (!m_settings.unitCommand.isEmpty()) {
        m_unitCommand = new UnitCommand(m_settings.unitCommand, this);
        connect(m_unitCommand, &UnitCommand::unitFound, this, [this](const QString& uid, const QString& unit) {
            if (m_heldClose && m_heldClose->uid == uid) {
                m_heldClose->unit = unit;
                releaseHeldClose();
                return;
            }
            if (uid != m_tracker->currentUid())
                return;
            m_openUnit = unit;
            QMetaObject::invokeMethod(m_writer, "setUnit", Qt::QueuedConnection, Q_ARG(QString, uid),
                                      Q_ARG(QString, unit));
        });
        connect(m_unitCommand, &UnitCommand::failed, this, [this](const QString& uid, const QString& error) {
            emit problem(QStringLiteral("No unit id for this session: %1.").arg(error));
            if (m_heldClose && m_heldClose->uid == uid)
                releaseHeldClose();
        });
    }
    connect(m_tracker, &SessionTracker::sessionStarted, this, &LineRecorder::onSessionStarted);
    connect(m_tracker, &SessionTracker::sessionEnded, this, &LineRecorder::onSessionEnded);
}

LineRecorder::~LineRecorder()
{
    m_tracker->takeStop();
    releaseHeldClose();
    stopWriter();
}

bool LineRecorder::start(QString* error)
{
    if (m_thread)
        return true;
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("records"));
    m_writer = new RecordWriter(m_settings.location, m_settings.spoolFile, m_settings.station);
    m_writer->setRetryInterval(m_settings.retryMs);
    m_writer->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_writer, &QObject::deleteLater);
    connect(m_writer, &RecordWriter::sessionStored, this, &LineRecorder::sessionStored);
    connect(m_writer, &RecordWriter::problem, this, &LineRecorder::problem);
    connect(m_writer, &RecordWriter::recovered, this, &LineRecorder::recovered);
    connect(m_writer, &RecordWriter::sessionsFound, this, &LineRecorder::sessionsFound);
    connect(m_writer, &RecordWriter::readingsFound, this, &LineRecorder::readingsFound);
    // The writer reaches the tracker's sessions in the order they happen:
    // queued connections into one thread keep their order.
    // The session itself goes to the writer in onSessionStarted, before anyone
    // hears of it: a query asked on sessionStarted finds it.
    connect(m_tracker, &SessionTracker::readingTaken, m_writer, &RecordWriter::addReading);
    m_thread->start();

    bool ok = false;
    QString why;
    // Only the station's own file is opened here, which takes no longer than
    // SQLite's wait for another writer; the server is tried afterwards.
    QMetaObject::invokeMethod(
        m_writer,
        [this, &ok, &why] {
            const auto connection = connect(m_writer, &RecordWriter::opened, m_writer,
                                            [&ok, &why](bool opened, const QString& text) {
                                                ok = opened;
                                                why = text;
                                            },
                                            Qt::DirectConnection);
            m_writer->start();
            disconnect(connection);
        },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        if (error)
            *error = why;
        stopWriter();
        return false;
    }
    connect(&m_measure, &Measure::alignmentRequestServed, m_tracker, &SessionTracker::takeRequest);
    connect(&m_measure, &Measure::monitorHungUp, m_tracker, &SessionTracker::takeHangUp);
    connect(&m_measure, &Measure::alignmentStateChanged, m_tracker, [this](Measure::AlignmentState state) {
        if (state == Measure::AlignmentState::Off)
            m_tracker->takeStop();
    });
    return true;
}

void LineRecorder::stopWriter()
{
    if (!m_thread)
        return;
    if (m_writer)
        QMetaObject::invokeMethod(m_writer, "finish", Qt::QueuedConnection);
    else
        m_thread->quit();
    // Bounded by the databases' own time-outs (a server's connection and
    // query time-outs, SQLite's wait for another writer).
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_writer = nullptr;
}

void LineRecorder::fillContext(SessionRecord* session)
{
    session->station = m_settings.station;
    const int type = m_measure.getSensorType();
    const CSensor* sensor = m_measure.currentSensor();
    if (sensor && type >= 0 && type < kSensorTypeCount) {
        session->sensorType = strSensors[static_cast<size_t>(type)];
        session->sensorSerial = sensor->getSerialNumber();
    }
    session->matrixSha256 = matrixSha256(m_measure.correctionMatrix());
    // A matrix calibrated since is no longer the profile's.
    if (session->matrixSha256 == m_profileMatrixSha)
        session->profile = m_profile;
    if (!m_pendingUnit.isEmpty()) {
        session->unit = m_pendingUnit;
        m_pendingUnit.clear();
        emit unitTaken(session->unit);
    }
}

void LineRecorder::setProfileName(const QString& name)
{
    m_profile = name;
    m_profileMatrixSha = name.isEmpty() ? QString() : matrixSha256(m_measure.correctionMatrix());
}

void LineRecorder::onSessionStarted(const SessionRecord& session)
{
    // The next display is here: the last one's unit is not coming.
    releaseHeldClose();
    m_openUnit = session.unit;
    if (m_writer)
        QMetaObject::invokeMethod(m_writer, "beginSession", Qt::QueuedConnection, Q_ARG(SessionRecord, session));
    emit sessionStarted(session);
    if (m_unitCommand)
        m_unitCommand->run(session.uid);
}

void LineRecorder::onSessionEnded(SessionRecord session)
{
    if (!m_openUnit.isEmpty())
        session.unit = m_openUnit;
    m_openUnit.clear();
    // A short session (a display that hangs up at once) may end before the
    // unit command answers; it is closed with the answer, which comes within
    // the command's time-out.
    if (session.unit.isEmpty() && m_unitCommand && m_unitCommand->isRunningFor(session.uid)) {
        m_heldClose = session;
        return;
    }
    closeInWriter(session);
}

void LineRecorder::closeInWriter(const SessionRecord& session)
{
    if (m_writer)
        QMetaObject::invokeMethod(m_writer, "closeSession", Qt::QueuedConnection, Q_ARG(SessionRecord, session));
}

void LineRecorder::releaseHeldClose()
{
    if (!m_heldClose)
        return;
    const SessionRecord session = *m_heldClose;
    m_heldClose.reset();
    closeInWriter(session);
}

void LineRecorder::setUnit(const QString& unit)
{
    const QString trimmed = unit.trimmed();
    if (trimmed.isEmpty())
        return;
    if (m_tracker->isOpen() && m_openUnit.isEmpty()) {
        m_openUnit = trimmed;
        if (m_writer)
            QMetaObject::invokeMethod(m_writer, "setUnit", Qt::QueuedConnection,
                                      Q_ARG(QString, m_tracker->currentUid()), Q_ARG(QString, trimmed));
        emit unitTaken(trimmed);
        return;
    }
    m_pendingUnit = trimmed;
}

int LineRecorder::findSessions(const RecordStore::Filter& filter)
{
    const int ticket = ++m_nextTicket;
    if (m_writer)
        QMetaObject::invokeMethod(m_writer, "findSessions", Qt::QueuedConnection, Q_ARG(int, ticket),
                                  Q_ARG(RecordStore::Filter, filter));
    return ticket;
}

int LineRecorder::findReadings(qint64 sessionId, bool pending)
{
    const int ticket = ++m_nextTicket;
    if (m_writer)
        QMetaObject::invokeMethod(m_writer, "findReadings", Qt::QueuedConnection, Q_ARG(int, ticket),
                                  Q_ARG(qint64, sessionId), Q_ARG(bool, pending));
    return ticket;
}
