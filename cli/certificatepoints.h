#ifndef CERTIFICATEPOINTS_H
#define CERTIFICATEPOINTS_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// What `plot` draws of a sensor-matching certificate (certificate.json): for
// one correction method, where the reference put each patch and where the
// corrected sensor did, as CIE 1931 x, y. The method is the one the
// certificate recommends unless one is named. Whatever the file holds is
// checked before it is used: a malformed certificate is refused with the
// field at fault.
class CertificatePoints
{
public:
    using Xy = std::array<double, 2>;

    struct Patch {
        QString name;
        Xy reference{};
        Xy corrected{};
    };

    // A certificate holds a few methods of a few dozen patches.
    static constexpr qint64 kMaxBytes = 8 * 1024 * 1024;

    // The patches of method (the recommended one when empty) in fileName;
    // false, with *error naming the file and what is wrong, otherwise.
    bool read(const QString& fileName, const QString& method, QString* error);
    // The same for a document already read.
    bool parse(const QByteArray& json, const QString& method, QString* error);

    // The method drawn, the patches, and every method the certificate names.
    QString method() const { return m_method; }
    const std::vector<Patch>& patches() const { return m_patches; }
    QStringList methods() const { return m_methods; }

private:
    QString m_method;
    std::vector<Patch> m_patches;
    QStringList m_methods;
};

#endif // CERTIFICATEPOINTS_H
