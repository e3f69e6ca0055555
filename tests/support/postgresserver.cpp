#include "postgresserver.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const User = "lumaserve";

} // namespace

PostgresServer::PostgresServer() : m_bin(binDir()) {}

PostgresServer::~PostgresServer()
{
    if (m_running) {
        QString ignored;
        run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_dir->path() + QStringLiteral("/data"), QStringLiteral("-m"),
                                       QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
            &ignored, 20000);
    }
}

QString PostgresServer::binDir()
{
    // Debian keeps the server programs off PATH, one directory a version.
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::sort(found.begin(), found.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& version : qAsConst(found)) {
        const QString bin = versions.filePath(version + QStringLiteral("/bin"));
        if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable() && QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable())
            return bin;
    }
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    if (!initdb.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("pg_ctl")).isEmpty())
        return QFileInfo(initdb).absolutePath();
    return QString();
}

bool PostgresServer::run(const QString& program, const QStringList& arguments, QString* why, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    const QString path = m_bin + QLatin1Char('/') + program;
    if (geteuid() == 0)
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), path} + arguments);
    else
        process.start(path, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        *why = QStringLiteral("%1 did not finish: %2").arg(program, QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *why = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool PostgresServer::create(QString* why)
{
    if (m_bin.isEmpty()) {
        *why = QStringLiteral("the PostgreSQL server programs are not installed");
        return false;
    }
    // Short: a Unix socket's path has room for about a hundred bytes.
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/lspg-XXXXXX"));
    if (!m_dir->isValid()) {
        *why = QStringLiteral("no temporary directory");
        return false;
    }
    if (geteuid() == 0) {
        const passwd* postgres = getpwnam("postgres");
        if (!postgres || chown(m_dir->path().toLocal8Bit().constData(), postgres->pw_uid, postgres->pw_gid) != 0) {
            *why = QStringLiteral("running as root, and no \"postgres\" user to run the server as");
            return false;
        }
    }
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), m_dir->path() + QStringLiteral("/data"), QStringLiteral("-A"), QStringLiteral("trust"),
              QStringLiteral("-U"), QLatin1String(User), QStringLiteral("--no-sync"), QStringLiteral("--no-instructions"),
              QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C")},
             why))
        return false;
    if (!start(why))
        return false;
    return run(QStringLiteral("createdb"), {QStringLiteral("-h"), socketDir(), QStringLiteral("-U"), QLatin1String(User),
                                            QStringLiteral("records")},
               why);
}

bool PostgresServer::start(QString* why)
{
    const QString options = QStringLiteral("-k %1 -c listen_addresses= -F -c max_connections=30 -c shared_buffers=8MB")
                                .arg(socketDir());
    if (!run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_dir->path() + QStringLiteral("/data"), QStringLiteral("-l"),
                                        m_dir->path() + QStringLiteral("/log"), QStringLiteral("-o"), options,
                                        QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("start")},
             why))
        return false;
    m_running = true;
    return true;
}

bool PostgresServer::stop(QString* why)
{
    if (!run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_dir->path() + QStringLiteral("/data"), QStringLiteral("-m"),
                                        QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")},
             why))
        return false;
    m_running = false;
    return true;
}

QString PostgresServer::socketDir() const
{
    return m_dir ? m_dir->path() : QString();
}

QString PostgresServer::url() const
{
    return QStringLiteral("postgresql://%1@%2/records")
        .arg(QLatin1String(User), QString::fromLatin1(QUrl::toPercentEncoding(socketDir())));
}
