#include "recordstore.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <cmath>

namespace {

constexpr const char* SessionColumns =
    "s.id, s.uid, s.station, s.unit, s.started, s.ended, s.sensor_type, s.sensor_serial, s.profile, "
    "s.matrix_sha256, s.white_x, s.white_y, s.white_lv, s.verdict, s.target_x, s.target_y, s.tolerance, "
    "(SELECT count(*) FROM readings r WHERE r.session_id = s.id)";

// Taken inside the transaction that creates or migrates the tables, so that two
// stations starting at once do not both create them.
constexpr const char* SchemaLockKey = "7311410";

QVariant nullDouble()
{
    // QVariant(QMetaType::Double, nullptr) is a 0.0 that is not null in Qt 5,
    // and is written as 0 rather than NULL.
    return QVariant(QVariant::Double);
}

QVariant number(double value)
{
    return std::isfinite(value) ? QVariant(value) : nullDouble();
}

QVariant text(const QString& value)
{
    // NOT NULL columns: an empty text is kept as one.
    return value.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(value);
}

QVariant timeValue(const QDateTime& time)
{
    return time.isValid() ? QVariant(SessionRecord::timeText(time)) : QVariant(QVariant::String);
}

std::optional<SessionRecord::Xyz> xyzFrom(const QSqlQuery& query, int first)
{
    if (query.value(first).isNull() || query.value(first + 1).isNull() || query.value(first + 2).isNull())
        return std::nullopt;
    return SessionRecord::Xyz{query.value(first).toDouble(), query.value(first + 1).toDouble(),
                              query.value(first + 2).toDouble()};
}

void bindXyz(QSqlQuery& query, const std::optional<SessionRecord::Xyz>& xyz)
{
    query.addBindValue(xyz ? number(xyz->x) : nullDouble());
    query.addBindValue(xyz ? number(xyz->y) : nullDouble());
    query.addBindValue(xyz ? number(xyz->z) : nullDouble());
}

// The tables of the first version; types differ between the two databases.
QStringList schemaV1(bool postgres)
{
    const QString key = postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                 : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    const QString real = postgres ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL");
    const QString ref = postgres ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER");
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS sessions ("
                       "id %1, uid TEXT NOT NULL UNIQUE, station TEXT NOT NULL, unit TEXT NOT NULL, "
                       "started TEXT NOT NULL, ended TEXT, sensor_type TEXT NOT NULL, "
                       "sensor_serial TEXT NOT NULL, profile TEXT NOT NULL, matrix_sha256 TEXT NOT NULL, "
                       "white_x %2, white_y %2, white_lv %2, verdict TEXT, "
                       "target_x %2, target_y %2, tolerance %2)")
            .arg(key, real),
        QStringLiteral("CREATE TABLE IF NOT EXISTS readings ("
                       "id %1, session_id %3 NOT NULL REFERENCES sessions(id) ON DELETE CASCADE, "
                       "time TEXT NOT NULL, request TEXT NOT NULL, reply TEXT NOT NULL, "
                       "raw_x %2, raw_y %2, raw_z %2, x %2, y %2, z %2)")
            .arg(key, real, ref),
        QStringLiteral("CREATE INDEX IF NOT EXISTS readings_session ON readings(session_id)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS sessions_started ON sessions(started)"),
    };
}

} // namespace

RecordStore::RecordStore(const QString& connectionName) : m_connectionName(connectionName) {}

RecordStore::~RecordStore()
{
    close();
}

QString RecordStore::fail(const QString& what, const QString& why) const
{
    return QStringLiteral("%1 in %2: %3").arg(what, m_location.displayName(), why);
}

bool RecordStore::open(const RecordLocation& location, QString* error)
{
    close();
    m_location = location;
    if (!location.isValid()) {
        *error = QStringLiteral("no valid records file or database");
        return false;
    }
    const bool postgres = location.isPostgreSQL();
    const QString driver = postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        *error = QStringLiteral("Qt's %1 database driver is not installed (Debian package %2)")
                     .arg(driver, postgres ? QStringLiteral("libqt5sql5-psql") : QStringLiteral("libqt5sql5-sqlite"));
        return false;
    }
    if (!postgres) {
        // SQLite would take a device or a FIFO as its file and hang or write
        // garbage into it; a file that is not there yet is made.
        const QFileInfo info(location.fileName());
        if (info.exists() && !info.isFile()) {
            *error = QStringLiteral("%1 is not a regular file").arg(location.fileName());
            return false;
        }
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connectionName);
        if (postgres) {
            db.setHostName(location.host());
            if (location.port() > 0)
                db.setPort(location.port());
            db.setDatabaseName(location.database());
            db.setUserName(location.user());
            db.setPassword(location.password());
            // A server that vanished mid-query must not hold the writer for the
            // minutes TCP would wait.
            db.setConnectOptions(QStringLiteral("connect_timeout=%1;application_name=Lumaserve;keepalives=1;"
                                                "keepalives_idle=10;keepalives_interval=3;keepalives_count=3;"
                                                "tcp_user_timeout=%2")
                                     .arg(ConnectTimeoutS)
                                     .arg(ConnectTimeoutS * 3000));
        } else {
            db.setDatabaseName(location.fileName());
            // Another station's program, or the command line reading the
            // records, may hold the file for a moment.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        }
        if (!db.open()) {
            *error = fail(QStringLiteral("Cannot open the records"), db.lastError().text());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            return false;
        }
    }
    m_open = true;
    if (!postgres) {
        // WAL: readers never block the writer, and a killed process leaves
        // every committed request in the file.
        if (!exec(QStringLiteral("PRAGMA journal_mode=WAL"), error)
            || !exec(QStringLiteral("PRAGMA synchronous=NORMAL"), error)
            || !exec(QStringLiteral("PRAGMA foreign_keys=ON"), error)) {
            close();
            return false;
        }
    }
    if (!createOrMigrate(error)) {
        close();
        return false;
    }
    return true;
}

bool RecordStore::isOpen() const
{
    return m_open;
}

void RecordStore::close()
{
    if (!m_open && !QSqlDatabase::contains(m_connectionName))
        return;
    m_open = false;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool RecordStore::isConnectionLost() const
{
    if (!m_open)
        return true;
    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.isOpen())
        return true;
    if (!m_location.isPostgreSQL())
        return false;
    // The driver's own handle says whether the server is still there.
    QSqlQuery probe(db);
    return !probe.exec(QStringLiteral("SELECT 1"));
}

bool RecordStore::exec(QSqlQuery& query, QString* error) const
{
    if (query.exec())
        return true;
    if (error)
        *error = fail(QStringLiteral("A records query failed"), query.lastError().text());
    return false;
}

bool RecordStore::exec(const QString& statement, QString* error)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (query.exec(statement))
        return true;
    if (error)
        *error = fail(QStringLiteral("A records statement failed"), query.lastError().text());
    return false;
}

bool RecordStore::begin(QString* error)
{
    // IMMEDIATE: the write lock is taken at once, so two writers wait for
    // each other at the start instead of one failing at its commit.
    return exec(m_location.isPostgreSQL() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"), error);
}

bool RecordStore::commit(QString* error)
{
    if (exec(QStringLiteral("COMMIT"), error))
        return true;
    rollback();
    return false;
}

void RecordStore::rollback()
{
    exec(QStringLiteral("ROLLBACK"), nullptr);
}

bool RecordStore::createOrMigrate(QString* error)
{
    const bool postgres = m_location.isPostgreSQL();
    if (!begin(error))
        return false;
    const auto abandon = [this](bool result) {
        rollback();
        return result;
    };
    if (postgres && !exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(QLatin1String(SchemaLockKey)), error))
        return abandon(false);
    if (!exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"), error))
        return abandon(false);
    int version = 0;
    {
        QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT max(version) FROM schema_version"));
        if (!exec(query, error))
            return abandon(false);
        if (query.next() && !query.value(0).isNull())
            version = query.value(0).toInt();
    }
    if (version > SchemaVersion) {
        *error = fail(QStringLiteral("The records were written by a newer version of the program"),
                      QStringLiteral("schema version %1, this program knows up to %2; nothing was written")
                          .arg(version)
                          .arg(SchemaVersion));
        return abandon(false);
    }
    // Each version's steps, applied in turn from the version found.
    const QVector<QStringList> steps{schemaV1(postgres)};
    for (int next = version + 1; next <= SchemaVersion; ++next) {
        for (const QString& statement : steps[next - 1]) {
            if (!exec(statement, error))
                return abandon(false);
        }
    }
    if (version < SchemaVersion) {
        if (!exec(QStringLiteral("DELETE FROM schema_version"), error)
            || !exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(SchemaVersion), error))
            return abandon(false);
    }
    return commit(error);
}

bool RecordStore::beginSession(SessionRecord* session, QString* error)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "INSERT INTO sessions (uid, station, unit, started, ended, sensor_type, sensor_serial, profile, "
        "matrix_sha256, white_x, white_y, white_lv, verdict, target_x, target_y, tolerance) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
    query.addBindValue(text(session->uid));
    query.addBindValue(text(session->station));
    query.addBindValue(text(session->unit));
    query.addBindValue(timeValue(session->started));
    query.addBindValue(timeValue(session->ended));
    query.addBindValue(text(session->sensorType));
    query.addBindValue(text(session->sensorSerial));
    query.addBindValue(text(session->profile));
    query.addBindValue(text(session->matrixSha256));
    query.addBindValue(session->white ? number(session->white->x) : nullDouble());
    query.addBindValue(session->white ? number(session->white->y) : nullDouble());
    query.addBindValue(session->white ? number(session->white->lv) : nullDouble());
    query.addBindValue(session->verdict.isEmpty() ? QVariant(QVariant::String) : QVariant(session->verdict));
    query.addBindValue(number(session->targetX));
    query.addBindValue(number(session->targetY));
    query.addBindValue(number(session->tolerance));
    if (!exec(query, error))
        return false;
    if (!query.next()) {
        *error = fail(QStringLiteral("A session was not stored"), QStringLiteral("no id came back"));
        return false;
    }
    session->id = query.value(0).toLongLong();
    return true;
}

bool RecordStore::addReading(qint64 sessionId, const SessionRecord::Reading& reading, QString* error)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("INSERT INTO readings (session_id, time, request, reply, raw_x, raw_y, raw_z, "
                                 "x, y, z) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(sessionId);
    query.addBindValue(timeValue(reading.time));
    query.addBindValue(text(reading.request));
    query.addBindValue(text(reading.reply));
    bindXyz(query, reading.raw);
    bindXyz(query, reading.corrected);
    return exec(query, error);
}

bool RecordStore::setUnit(qint64 sessionId, const QString& unit, QString* error)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("UPDATE sessions SET unit = ? WHERE id = ?"));
    query.addBindValue(text(unit));
    query.addBindValue(sessionId);
    return exec(query, error);
}

bool RecordStore::closeSession(const SessionRecord& session, QString* error)
{
    if (!begin(error))
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("UPDATE sessions SET ended = ?, white_x = ?, white_y = ?, white_lv = ?, "
                                 "verdict = ?, unit = ? WHERE id = ?"));
    query.addBindValue(timeValue(session.ended));
    query.addBindValue(session.white ? number(session.white->x) : nullDouble());
    query.addBindValue(session.white ? number(session.white->y) : nullDouble());
    query.addBindValue(session.white ? number(session.white->lv) : nullDouble());
    query.addBindValue(text(session.verdict));
    query.addBindValue(text(session.unit));
    query.addBindValue(session.id);
    if (!exec(query, error)) {
        rollback();
        return false;
    }
    if (query.numRowsAffected() != 1) {
        rollback();
        *error = fail(QStringLiteral("A session could not be closed"),
                      QStringLiteral("session %1 is not there").arg(session.id));
        return false;
    }
    return commit(error);
}

bool RecordStore::insertWhole(const SessionRecord& session, const QVector<SessionRecord::Reading>& readings,
                              QString* error)
{
    if (!begin(error))
        return false;
    {
        QSqlQuery existing(QSqlDatabase::database(m_connectionName, false));
        existing.setForwardOnly(true);
        existing.prepare(QStringLiteral("SELECT id FROM sessions WHERE uid = ?"));
        existing.addBindValue(session.uid);
        if (!exec(existing, error)) {
            rollback();
            return false;
        }
        // Sent before, and only the answer was lost.
        if (existing.next()) {
            existing.finish();
            return commit(error);
        }
    }
    SessionRecord copy = session;
    if (!beginSession(&copy, error)) {
        rollback();
        return false;
    }
    for (const SessionRecord::Reading& reading : readings) {
        if (!addReading(copy.id, reading, error)) {
            rollback();
            return false;
        }
    }
    return commit(error);
}

bool RecordStore::removeSession(qint64 sessionId, QString* error)
{
    if (!begin(error))
        return false;
    QSqlQuery readingsQuery(QSqlDatabase::database(m_connectionName, false));
    readingsQuery.prepare(QStringLiteral("DELETE FROM readings WHERE session_id = ?"));
    readingsQuery.addBindValue(sessionId);
    QSqlQuery sessionQuery(QSqlDatabase::database(m_connectionName, false));
    sessionQuery.prepare(QStringLiteral("DELETE FROM sessions WHERE id = ?"));
    sessionQuery.addBindValue(sessionId);
    if (!exec(readingsQuery, error) || !exec(sessionQuery, error)) {
        rollback();
        return false;
    }
    return commit(error);
}

SessionRecord RecordStore::sessionFrom(const QSqlQuery& query)
{
    SessionRecord session;
    session.id = query.value(0).toLongLong();
    session.uid = query.value(1).toString();
    session.station = query.value(2).toString();
    session.unit = query.value(3).toString();
    session.started = SessionRecord::parseTime(query.value(4).toString());
    session.ended = query.value(5).isNull() ? QDateTime() : SessionRecord::parseTime(query.value(5).toString());
    session.sensorType = query.value(6).toString();
    session.sensorSerial = query.value(7).toString();
    session.profile = query.value(8).toString();
    session.matrixSha256 = query.value(9).toString();
    if (!query.value(10).isNull() && !query.value(11).isNull())
        session.white = SessionRecord::White{query.value(10).toDouble(), query.value(11).toDouble(),
                                             query.value(12).toDouble()};
    session.verdict = query.value(13).toString();
    session.targetX = query.value(14).toDouble();
    session.targetY = query.value(15).toDouble();
    session.tolerance = query.value(16).toDouble();
    session.readingCount = query.value(17).toInt();
    return session;
}

QVector<SessionRecord> RecordStore::sessions(const Filter& filter, QString* error) const
{
    QStringList where;
    QVariantList values;
    const auto condition = [&](const QString& clause, const QVariant& value) {
        where << clause;
        values << value;
    };
    if (!filter.station.isEmpty())
        condition(QStringLiteral("s.station = ?"), filter.station);
    if (!filter.unit.isEmpty())
        condition(QStringLiteral("s.unit = ?"), filter.unit);
    if (!filter.verdict.isEmpty())
        condition(QStringLiteral("s.verdict = ?"), filter.verdict);
    if (!filter.sensorSerial.isEmpty())
        condition(QStringLiteral("s.sensor_serial = ?"), filter.sensorSerial);
    if (filter.since.isValid())
        condition(QStringLiteral("s.started >= ?"), SessionRecord::timeText(filter.since));
    if (filter.until.isValid())
        condition(QStringLiteral("s.started < ?"), SessionRecord::timeText(filter.until));
    if (!filter.includeOpen)
        where << QStringLiteral("s.ended IS NOT NULL");
    QString statement = QStringLiteral("SELECT %1 FROM sessions s").arg(QLatin1String(SessionColumns));
    if (!where.isEmpty())
        statement += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    statement += QStringLiteral(" ORDER BY s.started DESC, s.id DESC LIMIT %1").arg(std::max(1, filter.limit));

    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    QVector<SessionRecord> found;
    if (!exec(query, error))
        return found;
    while (query.next())
        found << sessionFrom(query);
    return found;
}

bool RecordStore::session(qint64 id, SessionRecord* session, QString* error) const
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM sessions s WHERE s.id = ?").arg(QLatin1String(SessionColumns)));
    query.addBindValue(id);
    if (!exec(query, error) || !query.next())
        return false;
    *session = sessionFrom(query);
    return true;
}

QVector<SessionRecord::Reading> RecordStore::readings(qint64 sessionId, QString* error) const
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT time, request, reply, raw_x, raw_y, raw_z, x, y, z FROM readings "
                                 "WHERE session_id = ? ORDER BY id"));
    query.addBindValue(sessionId);
    QVector<SessionRecord::Reading> found;
    if (!exec(query, error))
        return found;
    while (query.next()) {
        SessionRecord::Reading reading;
        reading.time = SessionRecord::parseTime(query.value(0).toString());
        reading.request = query.value(1).toString();
        reading.reply = query.value(2).toString();
        reading.raw = xyzFrom(query, 3);
        reading.corrected = xyzFrom(query, 6);
        found << reading;
    }
    return found;
}

bool RecordStore::lastReadingTime(qint64 sessionId, QDateTime* time, QString* error) const
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT max(time) FROM readings WHERE session_id = ?"));
    query.addBindValue(sessionId);
    if (!exec(query, error))
        return false;
    *time = query.next() && !query.value(0).isNull() ? SessionRecord::parseTime(query.value(0).toString())
                                                      : QDateTime();
    return true;
}
