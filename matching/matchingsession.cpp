#include "matchingsession.h"

#include "patchset.h"
#include "plainfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSet>

#include <cmath>
#include <cstring>
#include <utility>

namespace {

using Role = MatchingSession::Role;
using Rejection = RepeatStatistics::Rejection;

constexpr Role kRoles[] = {Role::Sensor, Role::Reference};

QString timeText(const QDateTime& time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

// Reads the parts of the file, remembering the first fault and the field it is in.
class Reader
{
public:
    QString error;

    bool fail(const QString& field, const QString& what)
    {
        if (error.isEmpty())
            error = QStringLiteral("%1: %2").arg(field, what);
        return false;
    }

    bool member(const QJsonObject& object, const QString& path, const char* key, QJsonValue* value)
    {
        const QString name = QLatin1String(key);
        const QString field = path.isEmpty() ? name : path + QLatin1Char('.') + name;
        if (!object.contains(name))
            return fail(field, QStringLiteral("missing"));
        *value = object.value(name);
        return true;
    }

    static QString fieldOf(const QString& path, const char* key)
    {
        return path.isEmpty() ? QString::fromLatin1(key) : path + QLatin1Char('.') + QLatin1String(key);
    }

    bool string(const QJsonObject& object, const QString& path, const char* key, QString* out)
    {
        QJsonValue v;
        if (!member(object, path, key, &v))
            return false;
        if (!v.isString())
            return fail(fieldOf(path, key), QStringLiteral("expected a text"));
        *out = v.toString();
        return true;
    }

    bool integer(const QJsonObject& object, const QString& path, const char* key, int low, int high, int* out)
    {
        QJsonValue v;
        if (!member(object, path, key, &v))
            return false;
        const QString field = fieldOf(path, key);
        if (!v.isDouble())
            return fail(field, QStringLiteral("expected a whole number"));
        const double d = v.toDouble();
        if (d != std::trunc(d))
            return fail(field, QStringLiteral("%1 is not a whole number").arg(d, 0, 'g', 17));
        if (d < low || d > high)
            return fail(field, QStringLiteral("%1 is not within %2 to %3").arg(d, 0, 'g', 17).arg(low).arg(high));
        *out = static_cast<int>(d);
        return true;
    }

    bool time(const QJsonObject& object, const QString& path, const char* key, QDateTime* out)
    {
        // UTC to the millisecond, and nothing else, so that what is read is
        // exactly what was written.
        static const QRegularExpression form(
            QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z$"));
        QString text;
        if (!string(object, path, key, &text))
            return false;
        const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (!form.match(text).hasMatch() || !t.isValid())
            return fail(fieldOf(path, key),
                        QStringLiteral("'%1' is not a UTC time like 2026-01-31T12:00:00.000Z").arg(text.left(40)));
        *out = t.toUTC();
        return true;
    }

    bool array(const QJsonObject& object, const QString& path, const char* key, int max, QJsonArray* out)
    {
        QJsonValue v;
        if (!member(object, path, key, &v))
            return false;
        if (!v.isArray())
            return fail(fieldOf(path, key), QStringLiteral("expected a list"));
        *out = v.toArray();
        if (out->size() > max)
            return fail(fieldOf(path, key), QStringLiteral("%1 entries; at most %2").arg(out->size()).arg(max));
        return true;
    }

    bool object(const QJsonValue& v, const QString& field, QJsonObject* out)
    {
        if (!v.isObject())
            return fail(field, QStringLiteral("expected an object"));
        *out = v.toObject();
        return true;
    }

    bool instrument(const QJsonObject& o, const QString& path, MatchingSession::Instrument* out)
    {
        return string(o, path, "type_name", &out->typeName)
               && integer(o, path, "type_number", 0, 1000000, &out->typeNumber)
               && string(o, path, "serial_number", &out->serialNumber) && string(o, path, "port", &out->port);
    }

    bool reading(const QJsonValue& v, const QString& path, MatchingSession::Reading* out)
    {
        QJsonObject o;
        if (!object(v, path, &o))
            return false;
        QJsonValue rejected;
        if (!member(o, path, "rejected", &rejected))
            return false;
        out->rejection = Rejection::None;
        if (!rejected.isNull()
            && (!rejected.isString() || !RepeatStatistics::rejectionFromName(rejected.toString(), &out->rejection)))
            return fail(fieldOf(path, "rejected"),
                        QStringLiteral("expected null, \"failed\", \"below floor\" or \"outlier\""));
        QJsonArray xyz;
        if (!array(o, path, "xyz", 3, &xyz))
            return false;
        const QString xyzField = fieldOf(path, "xyz");
        if (xyz.size() != 3)
            return fail(xyzField, QStringLiteral("%1 values; expected X, Y, Z").arg(xyz.size()));
        for (int c = 0; c < 3; ++c) {
            const QJsonValue component = xyz.at(c);
            const QString field = QStringLiteral("%1[%2]").arg(xyzField).arg(c);
            if (component.isNull() && out->rejection == Rejection::Failed) {
                out->xyz[c] = std::nan("");
                continue;
            }
            // A text such as "nan" or "1e999" is no number, whatever it would convert to.
            if (!component.isDouble() || !std::isfinite(component.toDouble()))
                return fail(field, out->rejection == Rejection::Failed
                                       ? QStringLiteral("expected a number or null")
                                       : QStringLiteral("expected a number (only a failed reading may lack one)"));
            out->xyz[c] = component.toDouble();
        }
        return time(o, path, "time", &out->time);
    }

    bool patch(const QJsonValue& v, const QString& path, MatchingSession::PatchRecord* out)
    {
        QJsonObject o;
        if (!object(v, path, &o))
            return false;
        MatchingPatch& p = out->patch;
        if (!string(o, path, "name", &p.name) || !integer(o, path, "r", 0, 255, &p.r)
            || !integer(o, path, "g", 0, 255, &p.g) || !integer(o, path, "b", 0, 255, &p.b))
            return false;
        if (p.name.trimmed().isEmpty() || p.name != p.name.trimmed())
            return fail(fieldOf(path, "name"), QStringLiteral("empty, or space around the name"));
        QJsonValue training;
        if (!member(o, path, "training", &training))
            return false;
        if (!training.isBool())
            return fail(fieldOf(path, "training"), QStringLiteral("expected true or false"));
        p.training = training.toBool();
        // Which patches train is what the corrections are fitted on; a file
        // may not change it.
        if (p.training != MatchingPatch::isTrainingName(p.name))
            return fail(fieldOf(path, "training"),
                        p.training ? QStringLiteral("only red, green, blue and white train")
                                   : QStringLiteral("%1 is a training colour").arg(p.name));
        for (const Role role : kRoles) {
            const QByteArray key = MatchingSession::roleName(role).toLatin1();
            QJsonArray list;
            if (!array(o, path, key.constData(), MatchingSession::MaxRepeats, &list))
                return false;
            std::vector<MatchingSession::Reading>& readings = role == Role::Sensor ? out->sensor : out->reference;
            readings.resize(static_cast<size_t>(list.size()));
            for (int i = 0; i < list.size(); ++i) {
                if (!reading(list.at(i), QStringLiteral("%1[%2]").arg(fieldOf(path, key.constData())).arg(i),
                             &readings[static_cast<size_t>(i)]))
                    return false;
            }
        }
        return true;
    }
};

// The first key an object of the text gives twice, as the path of the field
// ("patches[0].name"), or an empty text. Qt 5.15's JSON parser keeps the last
// value of a repeated key but loses the memory of the one it replaces, so a
// file doing so is refused before it is parsed. Only the structure is followed
// here; whatever else is wrong the parser reports. Nesting beyond what the
// parser accepts ends the search: the parser refuses such a file first.
QString repeatedKey(const QByteArray& text)
{
    struct Frame {
        bool object = false;
        bool expectKey = false;
        int index = 0;
        QString key;
        QSet<QString> keys;
    };
    constexpr size_t MaxDepth = 1100;
    std::vector<Frame> stack;
    const auto path = [&stack](const QString& last) {
        QString p;
        for (size_t f = 0; f + 1 < stack.size(); ++f)
            p += stack[f].object ? (p.isEmpty() ? QString() : QStringLiteral(".")) + stack[f].key
                                 : QStringLiteral("[%1]").arg(stack[f].index);
        return p.isEmpty() ? last : p + QLatin1Char('.') + last;
    };
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        const char c = text.at(i);
        if (c == '"') {
            // A string: raw bytes as UTF-8, escapes decoded as the parser does.
            QString value;
            QByteArray raw;
            int j = i + 1;
            for (; j < n && text.at(j) != '"'; ++j) {
                if (text.at(j) != '\\') {
                    raw += text.at(j);
                    continue;
                }
                if (++j >= n)
                    break;
                value += QString::fromUtf8(raw);
                raw.clear();
                const char e = text.at(j);
                if (e == 'u' && j + 4 < n) {
                    bool ok = false;
                    const ushort unit = text.mid(j + 1, 4).toUShort(&ok, 16);
                    value += QChar(unit);
                    j += 4;
                } else {
                    const char* from = "bfnrt";
                    const char* to = "\b\f\n\r\t";
                    const char* at = std::strchr(from, e);
                    value += QLatin1Char(e != '\0' && at ? to[at - from] : e);
                }
            }
            if (j >= n)
                return QString();
            value += QString::fromUtf8(raw);
            i = j;
            if (!stack.empty() && stack.back().object && stack.back().expectKey) {
                Frame& top = stack.back();
                top.expectKey = false;
                if (top.keys.contains(value))
                    return path(value);
                top.keys.insert(value);
                top.key = value;
            }
        } else if (c == '{' || c == '[') {
            if (stack.size() == MaxDepth)
                return QString();
            stack.push_back(Frame{c == '{', c == '{', 0, QString(), {}});
        } else if (c == '}' || c == ']') {
            if (stack.empty())
                return QString();
            stack.pop_back();
        } else if (c == ',' && !stack.empty()) {
            if (stack.back().object)
                stack.back().expectKey = true;
            else
                ++stack.back().index;
        }
    }
    return QString();
}

QJsonValue numberOrNull(double v)
{
    if (!std::isfinite(v))
        return QJsonValue(QJsonValue::Null);
    // -0 would be written "-0", which the document reads back as the whole
    // number 0: written as 0 at once, the file reads back as it was written.
    return QJsonValue(v == 0 ? 0.0 : v);
}

} // namespace

bool MatchingSession::Instrument::operator==(const Instrument& o) const
{
    return typeName == o.typeName && typeNumber == o.typeNumber && serialNumber == o.serialNumber && port == o.port;
}

bool MatchingSession::Reading::operator==(const Reading& o) const
{
    for (int c = 0; c < 3; ++c) {
        // A failed reading's missing number equals another's.
        if (xyz[c] != o.xyz[c] && !(std::isnan(xyz[c]) && std::isnan(o.xyz[c])))
            return false;
    }
    return time == o.time && rejection == o.rejection;
}

bool MatchingSession::PatchRecord::operator==(const PatchRecord& o) const
{
    return patch == o.patch && sensor == o.sensor && reference == o.reference;
}

bool MatchingSession::Stop::operator==(const Stop& o) const
{
    return patch == o.patch && reason == o.reason;
}

bool MatchingSession::operator==(const MatchingSession& o) const
{
    return m_sensor == o.m_sensor && m_reference == o.m_reference && m_started == o.m_started
           && m_ended == o.m_ended && m_repeats == o.m_repeats
           && (m_floor == o.m_floor || (std::isnan(m_floor) && std::isnan(o.m_floor))) && m_patches == o.m_patches
           && m_stoppedAt == o.m_stoppedAt;
}

QString MatchingSession::roleName(Role role)
{
    return role == Role::Sensor ? QStringLiteral("sensor") : QStringLiteral("reference");
}

void MatchingSession::setInstrument(Role role, const Instrument& instrument)
{
    (role == Role::Sensor ? m_sensor : m_reference) = instrument;
}

void MatchingSession::setPatches(const std::vector<MatchingPatch>& patches)
{
    m_patches.clear();
    for (const MatchingPatch& p : patches)
        m_patches.push_back(PatchRecord{p, {}, {}});
}

bool MatchingSession::addReading(int patchIndex, Role role, const Reading& reading)
{
    if (patchIndex < 0 || patchIndex >= static_cast<int>(m_patches.size()))
        return false;
    PatchRecord& record = m_patches[static_cast<size_t>(patchIndex)];
    (role == Role::Sensor ? record.sensor : record.reference).push_back(reading);
    return true;
}

bool MatchingSession::setReadings(int patchIndex, Role role, std::vector<Reading> readings)
{
    if (patchIndex < 0 || patchIndex >= static_cast<int>(m_patches.size()))
        return false;
    PatchRecord& record = m_patches[static_cast<size_t>(patchIndex)];
    (role == Role::Sensor ? record.sensor : record.reference) = std::move(readings);
    return true;
}

QByteArray MatchingSession::serialise() const
{
    QJsonObject root;
    root.insert(QStringLiteral("format_version"), FormatVersion);
    QJsonArray instruments;
    for (const Role role : kRoles) {
        const Instrument& i = instrument(role);
        instruments.append(QJsonObject{{QStringLiteral("role"), roleName(role)},
                                       {QStringLiteral("type_name"), i.typeName},
                                       {QStringLiteral("type_number"), i.typeNumber},
                                       {QStringLiteral("serial_number"), i.serialNumber},
                                       {QStringLiteral("port"), i.port}});
    }
    root.insert(QStringLiteral("instruments"), instruments);
    root.insert(QStringLiteral("started"), timeText(m_started));
    root.insert(QStringLiteral("ended"), timeText(m_ended));
    root.insert(QStringLiteral("repeats"), m_repeats);
    root.insert(QStringLiteral("luminance_floor"), numberOrNull(m_floor));
    QJsonArray patches;
    for (const PatchRecord& record : m_patches) {
        QJsonObject p{{QStringLiteral("name"), record.patch.name},
                      {QStringLiteral("r"), record.patch.r},
                      {QStringLiteral("g"), record.patch.g},
                      {QStringLiteral("b"), record.patch.b},
                      {QStringLiteral("training"), record.patch.training}};
        for (const Role role : kRoles) {
            QJsonArray list;
            for (const Reading& r : record.readings(role)) {
                const QString why = RepeatStatistics::rejectionName(r.rejection);
                list.append(QJsonObject{
                    {QStringLiteral("xyz"), QJsonArray{numberOrNull(r.xyz[0]), numberOrNull(r.xyz[1]),
                                                       numberOrNull(r.xyz[2])}},
                    {QStringLiteral("time"), timeText(r.time)},
                    {QStringLiteral("rejected"), why.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(why)}});
            }
            p.insert(roleName(role), list);
        }
        patches.append(p);
    }
    root.insert(QStringLiteral("patches"), patches);
    root.insert(QStringLiteral("stopped_at"),
                m_stoppedAt ? QJsonValue(QJsonObject{{QStringLiteral("patch"), m_stoppedAt->patch},
                                                     {QStringLiteral("reason"), m_stoppedAt->reason}})
                            : QJsonValue(QJsonValue::Null));
    // The document writes numbers in the C form, in as few digits as read
    // back to the same double, whatever the locale.
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray MatchingSession::toJson(QString* error) const
{
    const QByteArray text = serialise();
    // What the reader would refuse is not written: a file that cannot be read
    // back is a session lost.
    MatchingSession check;
    QString why;
    if (!check.parse(text, &why)) {
        if (error)
            *error = QStringLiteral("the session cannot be written: %1").arg(why);
        return QByteArray();
    }
    return text;
}

bool MatchingSession::write(const QString& fileName, QString* error) const
{
    const QByteArray bytes = toJson(error);
    return !bytes.isEmpty() && PlainFile::writeWhole(fileName, bytes, error);
}

bool MatchingSession::read(const QString& fileName, QString* error)
{
    QByteArray text;
    if (PlainFile::read(fileName, &text, error, MaxFileSize) != PlainFile::ReadResult::Read)
        return false;
    return parse(text, error);
}

bool MatchingSession::parse(const QByteArray& text, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (text.size() > MaxFileSize)
        return fail(QStringLiteral("the file holds more than %1 bytes").arg(MaxFileSize));
    const QString repeated = repeatedKey(text);
    if (!repeated.isEmpty())
        return fail(QStringLiteral("%1: given twice").arg(repeated));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not a complete JSON file (at byte %1: %2)")
                        .arg(parseError.offset)
                        .arg(parseError.errorString()));
    if (!document.isObject())
        return fail(QStringLiteral("not a session: the file holds no JSON object"));
    const QJsonObject root = document.object();

    Reader in;
    MatchingSession s;
    const QString top;
    QJsonValue versionValue;
    if (!in.member(root, top, "format_version", &versionValue))
        return fail(in.error);
    if (!versionValue.isDouble())
        return fail(QStringLiteral("format_version: expected a number"));
    if (versionValue.toDouble() != FormatVersion)
        return fail(QStringLiteral("format_version: %1 is not a version this program reads (it reads %2)")
                        .arg(versionValue.toDouble(), 0, 'g', 17)
                        .arg(FormatVersion));

    QJsonArray instruments;
    if (!in.array(root, top, "instruments", 2, &instruments))
        return fail(in.error);
    bool seen[2] = {};
    for (int i = 0; i < instruments.size(); ++i) {
        const QString path = QStringLiteral("instruments[%1]").arg(i);
        QJsonObject o;
        QString role;
        if (!in.object(instruments.at(i), path, &o) || !in.string(o, path, "role", &role))
            return fail(in.error);
        int r = -1;
        for (const Role candidate : kRoles) {
            if (role == roleName(candidate))
                r = static_cast<int>(candidate);
        }
        if (r < 0)
            return fail(QStringLiteral("%1.role: '%2' is neither \"sensor\" nor \"reference\"").arg(path, role.left(40)));
        if (seen[r])
            return fail(QStringLiteral("%1.role: a second %2").arg(path, role));
        seen[r] = true;
        if (!in.instrument(o, path, r == static_cast<int>(Role::Sensor) ? &s.m_sensor : &s.m_reference))
            return fail(in.error);
    }
    for (const Role role : kRoles) {
        if (!seen[static_cast<int>(role)])
            return fail(QStringLiteral("instruments: no %1").arg(roleName(role)));
    }

    if (!in.time(root, top, "started", &s.m_started) || !in.time(root, top, "ended", &s.m_ended)
        || !in.integer(root, top, "repeats", 1, MaxRepeats, &s.m_repeats))
        return fail(in.error);
    QJsonValue floor;
    if (!in.member(root, top, "luminance_floor", &floor))
        return fail(in.error);
    if (!floor.isDouble() || !std::isfinite(floor.toDouble()) || floor.toDouble() < 0)
        return fail(QStringLiteral("luminance_floor: expected a number, 0 or more"));
    s.m_floor = floor.toDouble();

    QJsonArray patches;
    if (!in.array(root, top, "patches", PatchSet::MaxPatches, &patches))
        return fail(in.error);
    s.m_patches.resize(static_cast<size_t>(patches.size()));
    for (int i = 0; i < patches.size(); ++i) {
        const QString path = QStringLiteral("patches[%1]").arg(i);
        PatchRecord& record = s.m_patches[static_cast<size_t>(i)];
        if (!in.patch(patches.at(i), path, &record))
            return fail(in.error);
        for (int j = 0; j < i; ++j) {
            if (s.m_patches[static_cast<size_t>(j)].patch.name.compare(record.patch.name, Qt::CaseInsensitive) == 0)
                return fail(QStringLiteral("%1.name: '%2' is also patches[%3]").arg(path, record.patch.name).arg(j));
        }
    }

    QJsonValue stop;
    if (!in.member(root, top, "stopped_at", &stop))
        return fail(in.error);
    if (!stop.isNull()) {
        QJsonObject o;
        Stop where;
        if (!in.object(stop, QStringLiteral("stopped_at"), &o)
            || !in.string(o, QStringLiteral("stopped_at"), "patch", &where.patch)
            || !in.string(o, QStringLiteral("stopped_at"), "reason", &where.reason))
            return fail(in.error);
        bool known = false;
        for (const PatchRecord& record : s.m_patches)
            known = known || record.patch.name == where.patch;
        if (!known)
            return fail(QStringLiteral("stopped_at.patch: '%1' is none of the patches").arg(where.patch.left(40)));
        s.m_stoppedAt = where;
    }

    *this = std::move(s);
    return true;
}

std::vector<MatchingSample> MatchingSession::samples(QStringList* leftOut) const
{
    std::vector<MatchingSample> result;
    for (const PatchRecord& record : m_patches) {
        MatchingSample sample;
        sample.name = record.patch.name;
        sample.training = record.patch.training;
        bool complete = true;
        for (const Role role : kRoles) {
            int n = 0;
            for (const Reading& r : record.readings(role))
                n += r.rejection == Rejection::None ? 1 : 0;
            if (n == 0) {
                complete = false;
                break;
            }
            // Each share divided first: a sum of readings near the largest
            // double would overflow where their mean does not.
            MatchingSample::Xyz& mean = role == Role::Sensor ? sample.sensor : sample.reference;
            for (const Reading& r : record.readings(role)) {
                if (r.rejection != Rejection::None)
                    continue;
                for (int c = 0; c < 3; ++c)
                    mean[c] += r.xyz[c] / n;
            }
        }
        if (complete)
            result.push_back(sample);
        else if (leftOut)
            leftOut->append(record.patch.name);
    }
    return result;
}
