#ifndef LINERECORDER_H
#define LINERECORDER_H

#include "recordlocation.h"
#include "recordstore.h"
#include "recordwriter.h"
#include "sessionrecord.h"
#include "sessiontracker.h"
#include "sessionverdict.h"

#include <QObject>
#include <QString>

#include <optional>

class Matrix;
class Measure;
class QThread;
class UnitCommand;

// Keeps a record of every display the station's alignment service serves: it
// follows the controller's requests on the main thread, cuts them into
// sessions and hands every request to a writer on a thread of its own, so that
// neither a reply nor the window waits for a database.
class LineRecorder : public QObject
{
    Q_OBJECT

public:
    struct Settings {
        RecordLocation location;
        // The station's own file while the line's database is a server.
        QString spoolFile = RecordWriter::defaultSpoolFileName();
        QString station;
        SessionVerdict verdict;
        // Run at each session's start for the unit id; empty for none.
        QString unitCommand;
        int silenceMs = SessionTracker::SilenceMs;
        int retryMs = RecordWriter::DefaultRetryMs;
    };

    // The station's name when none is given: the machine's host name.
    static QString defaultStation();
    // The SHA-256 of a correction matrix, of its nine elements written row by
    // row with 17 significant digits and separated by commas, in hex.
    static QString matrixSha256(const Matrix& matrix);

    LineRecorder(Measure& measure, Settings settings, QObject* parent = nullptr);
    // Closes a session still open as INCOMPLETE and waits for the writer to
    // finish what it was given.
    ~LineRecorder() override;

    // Opens the station's file; false and why when it cannot be written. The
    // line's server, if any, is tried from the writer's thread afterwards.
    bool start(QString* error);
    const Settings& settings() const { return m_settings; }

    // The unit typed in (a barcode scanner types and presses Enter): the
    // session open now takes it if it has none, otherwise the next one does.
    void setUnit(const QString& unit);
    QString pendingUnit() const { return m_pendingUnit; }
    // The profile whose matrix the controller has just taken. A session
    // names it while the controller's matrix is still that one; the matrix
    // itself is read from the controller when a session begins.
    void setProfileName(const QString& name);
    SessionTracker* tracker() const { return m_tracker; }

    // Asks the writer; sessionsFound / readingsFound answer with the ticket.
    int findSessions(const RecordStore::Filter& filter);
    int findReadings(qint64 sessionId, bool pending);

signals:
    void sessionStarted(SessionRecord session);
    void sessionStored(SessionRecord session);
    // The typed unit was given to a session.
    void unitTaken(QString unit);
    void problem(QString text);
    void recovered(QString text);
    void sessionsFound(int ticket, QVector<SessionRecord> sessions, QString error);
    void readingsFound(int ticket, QVector<SessionRecord::Reading> readings, QString error);

private:
    void fillContext(SessionRecord* session);
    void onSessionStarted(const SessionRecord& session);
    void onSessionEnded(SessionRecord session);
    void stopWriter();
    void closeInWriter(const SessionRecord& session);
    // Closes the session held for its unit, with what is known of it.
    void releaseHeldClose();

    Measure& m_measure;
    const Settings m_settings;
    SessionTracker* m_tracker = nullptr;
    UnitCommand* m_unitCommand = nullptr;
    QThread* m_thread = nullptr;
    RecordWriter* m_writer = nullptr;
    QString m_pendingUnit;
    QString m_profile;
    QString m_profileMatrixSha;
    // The unit of the open session, once known.
    QString m_openUnit;
    int m_nextTicket = 0;
    // A session that ended while its unit command still ran.
    std::optional<SessionRecord> m_heldClose;
};

#endif // LINERECORDER_H
