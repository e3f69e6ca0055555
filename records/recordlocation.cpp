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
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return fail(QStringLiteral("%1 is no valid address: %2").arg(text, url.errorString()));
    RecordLocation location;
    location.m_kind = Kind::PostgreSQL;
    location.m_host = url.host(QUrl::FullyDecoded);
    const QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("host")))
        location.m_host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    // QUrl takes no '/' in a host; a socket directory comes through percent-encoded.
    if (location.m_host.isEmpty()) {
        const QString raw = text.section(QLatin1String("://"), 1).section(QLatin1Char('/'), 0, 0);
        const QString hostPart = raw.section(QLatin1Char('@'), -1).section(QLatin1Char(':'), 0, 0);
        location.m_host = QUrl::fromPercentEncoding(hostPart.toUtf8());
    }
    location.m_port = url.port(-1);
    if (query.hasQueryItem(QStringLiteral("port"))) {
        bool ok = false;
        location.m_port = query.queryItemValue(QStringLiteral("port")).toInt(&ok);
        if (!ok || location.m_port <= 0 || location.m_port > 65535)
            return fail(QStringLiteral("%1 has no valid port").arg(text));
    }
    location.m_database = url.path(QUrl::FullyDecoded).mid(1);
    location.m_user = url.userName(QUrl::FullyDecoded);
    location.m_password = url.password(QUrl::FullyDecoded);
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
