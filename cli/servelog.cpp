#include "servelog.h"

#include "plainfile.h"

#include <QStringList>

#include <utility>

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

ServeLog::ServeLog() : ServeLog(std::make_unique<QFile>())
{
}

ServeLog::ServeLog(std::unique_ptr<QFile> file) : m_file(std::move(file))
{
}

bool ServeLog::open(const QString& fileName, QString* error)
{
    QString target;
    if (!PlainFile::writeTarget(fileName, &target, error))
        return false;
    // A line left unfinished by an earlier run is ended before the next one.
    {
        QFile existing(target);
        char last = '\n';
        if (existing.open(QIODevice::ReadOnly) && existing.size() > 0 && existing.seek(existing.size() - 1)
            && existing.getChar(&last))
            m_brokenLine = last != '\n';
    }
    m_file->setFileName(target);
    // Unbuffered: each line leaves in one write, never half of it.
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *error = m_file->errorString();
        return false;
    }
    if (m_file->size() == 0 && append(header()) != Outcome::Written) {
        *error = m_error;
        m_file->close();
        return false;
    }
    return true;
}

ServeLog::Outcome ServeLog::append(const QString& csvLine)
{
    if (writeWhole((csvLine + QLatin1Char('\n')).toUtf8())) {
        if (!m_losing)
            return Outcome::Written;
        m_losing = false;
        return Outcome::Resumed;
    }
    if (m_losing) {
        ++m_lost;
        return Outcome::StillLost;
    }
    m_losing = true;
    m_lost = 1;
    return Outcome::Lost;
}

bool ServeLog::writeWhole(QByteArray bytes)
{
    if (m_brokenLine)
        bytes.prepend('\n');
    const qint64 before = m_file->size();
    const qint64 written = m_file->write(bytes);
    if (written == bytes.size()) {
        m_brokenLine = false;
        return true;
    }
    m_error = written < 0 || m_file->error() != QFileDevice::NoError
                  ? m_file->errorString()
                  : QStringLiteral("only %1 of %2 bytes could be written (is the disk full?)")
                        .arg(written)
                        .arg(bytes.size());
    // Half a record would be read as a damaged one, and the next record would
    // be glued to it: what went out is taken back.
    if (written > 0 && !m_file->resize(before))
        m_brokenLine = true;
    return false;
}
