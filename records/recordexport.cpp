#include "recordexport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>

namespace {

QString numberText(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 12) : QString();
}

QJsonValue numberJson(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}

QStringList sessionFields(const SessionRecord& s)
{
    return {QString::number(s.id),
            s.station,
            s.unit,
            SessionRecord::timeText(s.started),
            s.ended.isValid() ? SessionRecord::timeText(s.ended) : QString(),
            s.sensorType,
            s.sensorSerial,
            s.profile,
            s.matrixSha256,
            s.white ? numberText(s.white->x) : QString(),
            s.white ? numberText(s.white->y) : QString(),
            s.white ? numberText(s.white->lv) : QString(),
            s.verdict};
}

QStringList xyzFields(const std::optional<SessionRecord::Xyz>& xyz)
{
    if (!xyz)
        return {QString(), QString(), QString()};
    return {numberText(xyz->x), numberText(xyz->y), numberText(xyz->z)};
}

QJsonValue xyzJson(const std::optional<SessionRecord::Xyz>& xyz)
{
    if (!xyz)
        return QJsonValue();
    return QJsonArray{numberJson(xyz->x), numberJson(xyz->y), numberJson(xyz->z)};
}

} // namespace

QString RecordExport::csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray RecordExport::csv(const QVector<Entry>& entries)
{
    QString out = QStringLiteral("session_id,station,unit,started,ended,sensor_type,sensor_serial,profile,"
                                 "matrix_sha256,white_x,white_y,white_lv,verdict,time,request,reply,raw_x,raw_y,"
                                 "raw_z,x,y,z\n");
    const auto row = [&out](QStringList fields) {
        for (QString& field : fields)
            field = csvField(field);
        out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    };
    for (const Entry& entry : entries) {
        const QStringList session = sessionFields(entry.session);
        if (entry.readings.isEmpty())
            row(session + QStringList{QString(), QString(), QString()} + xyzFields({}) + xyzFields({}));
        for (const SessionRecord::Reading& r : entry.readings)
            row(session + QStringList{SessionRecord::timeText(r.time), r.request, r.reply} + xyzFields(r.raw)
                + xyzFields(r.corrected));
    }
    return out.toUtf8();
}

QByteArray RecordExport::json(const QVector<Entry>& entries)
{
    QJsonArray sessions;
    for (const Entry& entry : entries) {
        const SessionRecord& s = entry.session;
        QJsonArray readings;
        for (const SessionRecord::Reading& r : entry.readings) {
            readings.append(QJsonObject{{QStringLiteral("time"), SessionRecord::timeText(r.time)},
                                        {QStringLiteral("request"), r.request},
                                        {QStringLiteral("reply"), r.reply},
                                        {QStringLiteral("raw"), xyzJson(r.raw)},
                                        {QStringLiteral("xyz"), xyzJson(r.corrected)}});
        }
        QJsonObject object{{QStringLiteral("id"), static_cast<double>(s.id)},
                           {QStringLiteral("station"), s.station},
                           {QStringLiteral("unit"), s.unit},
                           {QStringLiteral("started"), SessionRecord::timeText(s.started)},
                           {QStringLiteral("ended"), s.ended.isValid() ? QJsonValue(SessionRecord::timeText(s.ended))
                                                                        : QJsonValue()},
                           {QStringLiteral("sensor_type"), s.sensorType},
                           {QStringLiteral("sensor_serial"), s.sensorSerial},
                           {QStringLiteral("profile"), s.profile},
                           {QStringLiteral("matrix_sha256"), s.matrixSha256},
                           {QStringLiteral("white"), s.white ? QJsonValue(QJsonObject{{QStringLiteral("x"), numberJson(s.white->x)},
                                                                                      {QStringLiteral("y"), numberJson(s.white->y)},
                                                                                      {QStringLiteral("lv"), numberJson(s.white->lv)}})
                                                             : QJsonValue()},
                           {QStringLiteral("verdict"), s.verdict.isEmpty() ? QJsonValue() : QJsonValue(s.verdict)},
                           {QStringLiteral("target"), QJsonObject{{QStringLiteral("x"), numberJson(s.targetX)},
                                                                  {QStringLiteral("y"), numberJson(s.targetY)},
                                                                  {QStringLiteral("tolerance"), numberJson(s.tolerance)}}},
                           {QStringLiteral("readings"), readings}};
        sessions.append(object);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("sessions"), sessions}}).toJson(QJsonDocument::Indented);
}
