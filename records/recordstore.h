#ifndef RECORDSTORE_H
#define RECORDSTORE_H

#include "recordlocation.h"
#include "sessionrecord.h"

#include <QMetaType>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

class QSqlQuery;

// The records in one database, SQLite or PostgreSQL, through one connection
// of Qt SQL. Opening creates the tables, or brings those of an older version
// of the program up to date, recorded in a schema_version table; a database
// made by a newer version is refused rather than written to.
//
// A store belongs to the thread that opened it, as its connection does.
class RecordStore
{
public:
    static constexpr int SchemaVersion = 1;
    // How long a connection to the server may take, and how long a query may
    // wait on a server that stopped answering, in seconds.
    static constexpr int ConnectTimeoutS = 5;

    struct Filter {
        QString station;     // empty: every station
        QString unit;        // empty: every unit
        QString verdict;     // empty: every verdict
        QString sensorSerial;
        QDateTime since;     // null: from the first
        QDateTime until;     // null: to the last
        bool includeOpen = true;
        int limit = 10000;
    };

    // name identifies the connection among the process's connections.
    explicit RecordStore(const QString& connectionName);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    bool open(const RecordLocation& location, QString* error);
    bool isOpen() const;
    void close();
    RecordLocation location() const { return m_location; }
    // The error of the connection itself (not of a query), for telling a
    // server gone from a refused statement.
    bool isConnectionLost() const;

    // Inserts the session as it starts; its id is set.
    bool beginSession(SessionRecord* session, QString* error);
    bool addReading(qint64 sessionId, const SessionRecord::Reading& reading, QString* error);
    bool setUnit(qint64 sessionId, const QString& unit, QString* error);
    // Ends the session: end time, final white and verdict, in one transaction.
    bool closeSession(const SessionRecord& session, QString* error);
    // A session with its readings in one transaction, as sent from a station's
    // local file. True also when a session with the same uid is there already.
    bool insertWhole(const SessionRecord& session, const QVector<SessionRecord::Reading>& readings,
                     QString* error);
    bool removeSession(qint64 sessionId, QString* error);

    QVector<SessionRecord> sessions(const Filter& filter, QString* error) const;
    // False, with no error, when there is no such session.
    bool session(qint64 id, SessionRecord* session, QString* error) const;
    QVector<SessionRecord::Reading> readings(qint64 sessionId, QString* error) const;
    // The time of the session's latest reading kept (null for none): the end
    // of a session left open by a crash.
    bool lastReadingTime(qint64 sessionId, QDateTime* time, QString* error) const;

private:
    bool createOrMigrate(QString* error);
    bool exec(QSqlQuery& query, QString* error) const;
    bool exec(const QString& statement, QString* error);
    bool begin(QString* error);
    bool commit(QString* error);
    void rollback();
    static SessionRecord sessionFrom(const QSqlQuery& query);
    QString fail(const QString& what, const QString& why) const;

    const QString m_connectionName;
    RecordLocation m_location;
    bool m_open = false;
};

Q_DECLARE_METATYPE(RecordStore::Filter)

#endif // RECORDSTORE_H
