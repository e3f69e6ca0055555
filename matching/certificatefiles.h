#ifndef CERTIFICATEFILES_H
#define CERTIFICATEFILES_H

#include <QCoreApplication>
#include <QString>

class Certificate;

// The certificate as the user keeps it: certificate.json and certificate.csv
// side by side in one directory, made if missing.
//
// Both files are prepared in full beside their targets before either replaces
// anything, so a file that cannot be written leaves both old files as they
// were. Only when the last step, putting the second file in place, fails is
// the first already the new one; each file is whole in every case.
class CertificateFiles
{
    Q_DECLARE_TR_FUNCTIONS(CertificateFiles)

public:
    static QString jsonFileName() { return QStringLiteral("certificate.json"); }
    static QString csvFileName() { return QStringLiteral("certificate.csv"); }

    // False, with *error naming the directory or the file at fault.
    static bool write(const Certificate& certificate, const QString& directory, QString* error);
};

#endif // CERTIFICATEFILES_H
