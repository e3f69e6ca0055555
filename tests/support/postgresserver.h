#ifndef POSTGRESSERVER_H
#define POSTGRESSERVER_H

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A PostgreSQL server of the test's own, from the Debian packages' programs:
// made with initdb in a temporary directory and listening only on a Unix
// socket there. Run as root, the server programs run as the "postgres" user,
// as initdb refuses root.
class PostgresServer
{
public:
    PostgresServer();
    ~PostgresServer();

    // Where initdb and pg_ctl are; empty when the server programs are not
    // installed.
    static QString binDir();

    // initdb, start and a database "records"; false and why when it fails.
    bool create(QString* why);
    bool start(QString* why);
    bool stop(QString* why);
    // postgresql://USER@SOCKETDIR/records
    QString url() const;
    QString socketDir() const;

private:
    bool run(const QString& program, const QStringList& arguments, QString* why, int timeoutMs = 60000);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bin;
    bool m_running = false;
};

#endif // POSTGRESSERVER_H
