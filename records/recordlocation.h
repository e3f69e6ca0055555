#ifndef RECORDLOCATION_H
#define RECORDLOCATION_H

#include <QString>

// Where the records are kept: an SQLite file of the station's own, or a
// PostgreSQL database the whole line shares, named
// postgresql://[USER[:PASSWORD]@]HOST[:PORT]/DB. A host that is a directory
// (written %2F-encoded, or as ?host=/dir) is the server's Unix socket there.
class RecordLocation
{
public:
    enum class Kind { SQLite, PostgreSQL };

    static QString defaultFileName() { return QStringLiteral("records.sqlite"); }

    RecordLocation() = default;
    static RecordLocation sqlite(const QString& fileName);
    // A file name or a postgresql:// address; an invalid location (and why)
    // for an address that names no database.
    static RecordLocation parse(const QString& text, QString* error);

    bool isValid() const { return m_valid; }
    Kind kind() const { return m_kind; }
    bool isPostgreSQL() const { return m_kind == Kind::PostgreSQL; }
    QString fileName() const { return m_fileName; }
    QString host() const { return m_host; }
    int port() const { return m_port; }
    QString database() const { return m_database; }
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    // For messages: the file, or the address without its password.
    QString displayName() const;

private:
    bool m_valid = false;
    Kind m_kind = Kind::SQLite;
    QString m_fileName;
    QString m_host;
    int m_port = -1;
    QString m_database;
    QString m_user;
    QString m_password;
};

#endif // RECORDLOCATION_H
