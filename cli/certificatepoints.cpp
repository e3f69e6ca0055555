#include "certificatepoints.h"

#include "plainfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace {

// The chromaticity of a tristimulus triple written as a JSON array; false
// when it is not three finite numbers of a positive sum.
bool chromaticity(const QJsonValue& value, CertificatePoints::Xy* xy)
{
    const QJsonArray triple = value.toArray();
    if (!value.isArray() || triple.size() != 3)
        return false;
    double xyz[3];
    for (int i = 0; i < 3; ++i) {
        if (!triple.at(i).isDouble() || !std::isfinite(triple.at(i).toDouble()))
            return false;
        xyz[i] = triple.at(i).toDouble();
    }
    const double sum = xyz[0] + xyz[1] + xyz[2];
    if (!(sum > 0.0))
        return false;
    *xy = {xyz[0] / sum, xyz[1] / sum};
    return std::isfinite((*xy)[0]) && std::isfinite((*xy)[1]);
}

} // namespace

bool CertificatePoints::read(const QString& fileName, const QString& method, QString* error)
{
    QByteArray text;
    QString why;
    if (PlainFile::read(fileName, &text, &why, kMaxBytes) != PlainFile::ReadResult::Read
        || !parse(text, method, &why)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(fileName, why);
        return false;
    }
    return true;
}

bool CertificatePoints::parse(const QByteArray& json, const QString& method, QString* error)
{
    m_method.clear();
    m_patches.clear();
    m_methods.clear();
    const auto fail = [this, error](const QString& why) {
        m_method.clear();
        m_patches.clear();
        if (error)
            *error = why;
        return false;
    };

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON (%1 at byte %2)").arg(parseError.errorString()).arg(parseError.offset));
    if (!document.isObject())
        return fail(QStringLiteral("not a certificate: no object at the top"));
    const QJsonObject root = document.object();
    const QJsonValue methodsValue = root.value(QStringLiteral("methods"));
    if (!methodsValue.isArray())
        return fail(QStringLiteral("not a certificate: \"methods\" is missing or not a list"));
    const QJsonArray methods = methodsValue.toArray();
    for (int m = 0; m < methods.size(); ++m) {
        const QJsonValue name = methods.at(m).toObject().value(QStringLiteral("name"));
        if (!name.isString())
            return fail(QStringLiteral("methods[%1] has no \"name\"").arg(m));
        m_methods << name.toString();
    }

    QString wanted = method;
    if (wanted.isEmpty()) {
        const QJsonValue recommended = root.value(QStringLiteral("recommended"));
        if (recommended.isNull())
            return fail(QStringLiteral("the certificate recommends no method; name one with --method (%1)")
                            .arg(m_methods.join(QStringLiteral(", "))));
        if (!recommended.isString())
            return fail(QStringLiteral("not a certificate: \"recommended\" is missing or not a name"));
        wanted = recommended.toString();
    }
    const int index = int(m_methods.indexOf(wanted));
    if (index < 0)
        return fail(QStringLiteral("no method '%1'; the certificate has %2")
                        .arg(wanted, m_methods.isEmpty() ? QStringLiteral("none") : m_methods.join(QStringLiteral(", "))));

    const QJsonObject chosen = methods.at(index).toObject();
    const QJsonValue patches = chosen.value(QStringLiteral("patches"));
    if (chosen.value(QStringLiteral("matrix")).isNull() || (patches.isArray() && patches.toArray().isEmpty()))
        return fail(QStringLiteral("the method '%1' was refused: it has no matrix and corrected nothing").arg(wanted));
    if (!chosen.value(QStringLiteral("matrix")).isArray())
        return fail(QStringLiteral("methods[%1] \"matrix\" is missing or not a list").arg(index));
    if (!patches.isArray())
        return fail(QStringLiteral("methods[%1] \"patches\" is missing or not a list").arg(index));
    const QJsonArray list = patches.toArray();
    for (int p = 0; p < list.size(); ++p) {
        const QJsonObject patch = list.at(p).toObject();
        const QString where = QStringLiteral("methods[%1].patches[%2]").arg(index).arg(p);
        if (!patch.value(QStringLiteral("name")).isString())
            return fail(QStringLiteral("%1 has no \"name\"").arg(where));
        Patch read;
        read.name = patch.value(QStringLiteral("name")).toString();
        for (const char* key : {"reference_xyz", "corrected_xyz"}) {
            if (!chromaticity(patch.value(QLatin1String(key)),
                              qstrcmp(key, "reference_xyz") == 0 ? &read.reference : &read.corrected))
                return fail(QStringLiteral("%1 \"%2\" is not three numbers X, Y, Z of a positive sum")
                                .arg(where, QLatin1String(key)));
        }
        m_patches.push_back(read);
    }
    m_method = wanted;
    return true;
}
