#include "certificatejson.h"

#include "certificate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// JSON has no NaN or infinity; QJsonDocument would not say what it made of them.
QJsonValue number(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

QJsonArray triple(const MatchingSample::Xyz& v)
{
    return QJsonArray{number(v[0]), number(v[1]), number(v[2])};
}

QJsonObject methodObject(const Certificate::MethodResult& r)
{
    QJsonObject o;
    o.insert(QStringLiteral("name"), r.name);
    if (r.refused) {
        o.insert(QStringLiteral("matrix"), QJsonValue(QJsonValue::Null));
    } else {
        QJsonArray rows;
        for (const auto& row : r.matrix)
            rows.append(triple(row));
        o.insert(QStringLiteral("matrix"), rows);
    }
    QJsonArray patches;
    for (const Certificate::PatchFigures& f : r.patches) {
        QJsonObject p;
        p.insert(QStringLiteral("name"), f.name);
        p.insert(QStringLiteral("training"), f.training);
        p.insert(QStringLiteral("reference_xyz"), triple(f.reference));
        p.insert(QStringLiteral("corrected_xyz"), triple(f.corrected));
        p.insert(QStringLiteral("delta_uv"), number(f.deltaUv));
        p.insert(QStringLiteral("delta_xy"), number(f.deltaXy));
        p.insert(QStringLiteral("delta_e2000"), number(f.deltaE2000));
        patches.append(p);
    }
    o.insert(QStringLiteral("patches"), patches);
    QJsonObject validation;
    validation.insert(QStringLiteral("mean_delta_uv"), number(r.validation.deltaUv.mean));
    validation.insert(QStringLiteral("max_delta_uv"), number(r.validation.deltaUv.maximum));
    validation.insert(QStringLiteral("max_delta_xy"), number(r.validation.deltaXy.maximum));
    o.insert(QStringLiteral("validation"), validation);
    return o;
}

} // namespace

QByteArray CertificateJson::toJson(const Certificate& certificate)
{
    QJsonArray methods;
    for (const Certificate::MethodResult& r : certificate.methods())
        methods.append(methodObject(r));
    QJsonObject root;
    root.insert(QStringLiteral("methods"), methods);
    root.insert(QStringLiteral("recommended"), certificate.recommended().isEmpty()
                                                   ? QJsonValue(QJsonValue::Null)
                                                   : QJsonValue(certificate.recommended()));
    root.insert(QStringLiteral("verdict"),
                certificate.passes() ? QStringLiteral("pass") : QStringLiteral("fail"));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
