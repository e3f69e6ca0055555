#include "servelog.h"

#include <QStringList>

namespace {

// Replies hold commas ("OK00,00100"): quoted as CSV wants it.
QString quoted(QString text)
{
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void appendTriple(QStringList& fields, const CColor& color)
{
    for (int i = 0; i < 3; ++i)
        fields << (color.IsNoData() ? QString() : QString::number(color[i], 'g', 10));
}

} // namespace

QString ServeLog::header()
{
    return QStringLiteral("time,request,reply,raw_X,raw_Y,raw_Z,X,Y,Z");
}

QString ServeLog::line(const QDateTime& time, const QString& request, const QString& reply,
                       const CColor& raw, const CColor& corrected)
{
    QStringList fields{time.toString(Qt::ISODateWithMs), quoted(request), quoted(reply)};
    appendTriple(fields, raw);
    appendTriple(fields, corrected);
    return fields.join(QLatin1Char(','));
}

bool ServeLog::open(const QString& fileName, QString* error)
{
    m_file.setFileName(fileName);
    // Unbuffered: each line leaves in one write, never half of it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *error = m_file.errorString();
        return false;
    }
    if (m_file.size() == 0 && !append(header())) {
        *error = m_file.errorString();
        m_file.close();
        return false;
    }
    return true;
}

bool ServeLog::append(const QString& csvLine)
{
    const QByteArray bytes = (csvLine + QLatin1Char('\n')).toUtf8();
    return m_file.write(bytes) == bytes.size();
}
