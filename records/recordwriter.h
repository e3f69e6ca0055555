#ifndef RECORDWRITER_H
#define RECORDWRITER_H

#include "recordlocation.h"
#include "recordstore.h"
#include "sessionrecord.h"

#include <QHash>
#include <QObject>
#include <QTimer>

#include <memory>

// Writes a station's sessions, on a thread of its own so that no write holds
// up a reply to the display. Every request goes to the station's own SQLite
// file as it happens.
//
// With a PostgreSQL database for the line, that file is the station's spool:
// a closed session is sent to the server whole, in one transaction, and taken
// out of the file once the server has it. While the server cannot be reached
// the sessions wait in the file and are sent when it answers again, also by
// the next run of the program. A session sent twice (the answer to the first
// lost) is kept once: the server knows it by its uid.
//
// A session the file holds open from a run that ended without closing it (a
// crash, a kill) is closed as INCOMPLETE when the writer starts.
class RecordWriter : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultRetryMs = 5000;
    static QString defaultSpoolFileName() { return QStringLiteral("records-spool.sqlite"); }

    // spoolFile: the station's own file when location is a server; unused
    // for an SQLite location, which is the station's file itself.
    RecordWriter(const RecordLocation& location, const QString& spoolFile, const QString& station,
                 QObject* parent = nullptr);
    ~RecordWriter() override;

    void setRetryInterval(int ms) { m_retryMs = ms; }
    RecordLocation location() const { return m_location; }

public slots:
    // Opens the station's file (and tries the server); opened() answers.
    void start();
    void beginSession(const SessionRecord& session);
    void addReading(const QString& uid, const SessionRecord::Reading& reading);
    void setUnit(const QString& uid, const QString& unit);
    // session carries its end, final white, verdict and unit.
    void closeSession(const SessionRecord& session);
    // Sends what waits in the spool now.
    void forward();
    // The sessions that match (in the line's database and those waiting in
    // the spool); sessionsFound(ticket, ...) answers.
    void findSessions(int ticket, const RecordStore::Filter& filter);
    void findReadings(int ticket, qint64 sessionId, bool pending);
    // Closes the databases and quits the writer's thread; everything asked
    // before it is done first.
    void finish();

signals:
    void opened(bool ok, QString error);
    // A session was closed and kept.
    void sessionStored(SessionRecord session);
    // A write failed, or the server cannot be reached; said once until it
    // works again, then recovered() follows.
    void problem(QString text);
    void recovered(QString text);
    void sessionsFound(int ticket, QVector<SessionRecord> sessions, QString error);
    void readingsFound(int ticket, QVector<SessionRecord::Reading> readings, QString error);
    // Sessions waiting in the spool for the server.
    void backlogChanged(int sessions);

private:
    bool usesServer() const { return m_location.isPostgreSQL(); }
    void closeLeftOpen();
    bool connectServer();
    void serverLost(const QString& error);
    void report(const QString& text);
    void clearProblem(const QString& text);

    const RecordLocation m_location;
    const QString m_spoolFile;
    const QString m_station;
    std::unique_ptr<RecordStore> m_local;
    std::unique_ptr<RecordStore> m_server;
    QHash<QString, qint64> m_localIds;
    QTimer* m_retryTimer = nullptr;
    int m_retryMs = DefaultRetryMs;
    bool m_failing = false;
    bool m_serverDown = false;
};

#endif // RECORDWRITER_H
