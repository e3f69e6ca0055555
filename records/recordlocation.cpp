#include "recordlocation.h"

#include <QUrl>
#include <QUrlQuery>

RecordLocation RecordLocation::sqlite(const QString& fileName)
{
    RecordLocation location;
    location.m_kind = Kind::SQLite;
    location.m_fileName = fileName;
    location.m_valid = !fileName.isEmpty();
    return location;
}

RecordLocation RecordLocation::parse(const QString& text, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return RecordLocation();
    };
    if (text.isEmpty())
        return fail(QStringLiteral("no records file or database was named"));
    const bool postgres = text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
    if (!postgres) {
        if (text.contains(QLatin1String("://")))
            return fail(QStringLiteral("%1 is neither a file nor a postgresql:// address").arg(text));
        return sqlite(text);
    }
    // Read by hand: QUrl takes no percent-encoded '/' in a host, and a socket
    // directory is written that way.
    const QString rest = text.section(QLatin1String("://"), 1);
    const int queryAt = rest.indexOf(QLatin1Char('?'));
    const QString beforeQuery = queryAt < 0 ? rest : rest.left(queryAt);
    const QUrlQuery query(queryAt < 0 ? QString() : rest.mid(queryAt + 1));
    const int pathAt = beforeQuery.indexOf(QLatin1Char('/'));
    const QString authority = pathAt < 0 ? beforeQuery : beforeQuery.left(pathAt);
    const QString path = pathAt < 0 ? QString() : beforeQuery.mid(pathAt + 1);
    const int userAt = authority.lastIndexOf(QLatin1Char('@'));
    const QString userInfo = userAt < 0 ? QString() : authority.left(userAt);
    QString hostPort = authority.mid(userAt + 1);
    const auto decode = [](const QString& part) { return QUrl::fromPercentEncoding(part.toUtf8()); };

    RecordLocation location;
    location.m_kind = Kind::PostgreSQL;
    QString portText;
    if (hostPort.startsWith(QLatin1Char('['))) {
        const int close = hostPort.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("%1 has an unclosed [ in its host").arg(text));
        location.m_host = hostPort.mid(1, close - 1);
        if (hostPort.size() > close + 1) {
            if (hostPort.at(close + 1) != QLatin1Char(':'))
                return fail(QStringLiteral("%1 has no valid port").arg(text));
            portText = hostPort.mid(close + 2);
        }
    } else {
        const int colon = hostPort.lastIndexOf(QLatin1Char(':'));
        location.m_host = decode(colon < 0 ? hostPort : hostPort.left(colon));
        if (colon >= 0)
            portText = hostPort.mid(colon + 1);
    }
    if (query.hasQueryItem(QStringLiteral("host")))
        location.m_host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (query.hasQueryItem(QStringLiteral("port")))
        portText = query.queryItemValue(QStringLiteral("port"));
    if (!portText.isEmpty()) {
        bool ok = false;
        location.m_port = portText.toInt(&ok);
        if (!ok || location.m_port <= 0 || location.m_port > 65535)
            return fail(QStringLiteral("%1 has no valid port").arg(text));
    }
    location.m_database = decode(path);
    const int passwordAt = userInfo.indexOf(QLatin1Char(':'));
    location.m_user = decode(passwordAt < 0 ? userInfo : userInfo.left(passwordAt));
    location.m_password = passwordAt < 0 ? QString() : decode(userInfo.mid(passwordAt + 1));
    if (location.m_host.isEmpty())
        return fail(QStringLiteral("%1 names no host").arg(text));
    if (location.m_database.isEmpty() || location.m_database.contains(QLatin1Char('/')))
        return fail(QStringLiteral("%1 names no database: write postgresql://HOST/DB").arg(text));
    location.m_valid = true;
    return location;
}

QString RecordLocation::displayName() const
{
    if (m_kind == Kind::SQLite)
        return m_fileName;
    QString name = QStringLiteral("postgresql://");
    if (!m_user.isEmpty())
        name += m_user + QLatin1Char('@');
    name += m_host.startsWith(QLatin1Char('/')) ? QString::fromLatin1(QUrl::toPercentEncoding(m_host)) : m_host;
    if (m_port > 0)
        name += QLatin1Char(':') + QString::number(m_port);
    return name + QLatin1Char('/') + m_database;
}
