#ifndef CERTIFICATEFILES_H
#define CERTIFICATEFILES_H

#include "certificatepdf.h"

#include <QCoreApplication>
#include <QString>

class Certificate;

// The certificate as the user keeps it: certificate.json, certificate.csv and
// certificate.pdf side by side in one directory, made if missing.
//
// All files are prepared in full beside their targets before any replaces
// anything, so a file that cannot be made or written leaves every old file as
// it was. Only when the last step, putting the files in place one after the
// other, fails are those before already the new ones; each file is whole in
// every case.
class CertificateFiles
{
    Q_DECLARE_TR_FUNCTIONS(CertificateFiles)

public:
    static QString jsonFileName() { return QStringLiteral("certificate.json"); }
    static QString csvFileName() { return QStringLiteral("certificate.csv"); }
    static QString pdfFileName() { return QStringLiteral("certificate.pdf"); }

    // False, with *error naming the directory or the file at fault. The PDF's
    // heading names the instruments and the date; without them it leaves
    // them out.
    static bool write(const Certificate& certificate, const CertificatePdf::Heading& heading,
                      const QString& directory, QString* error);
    static bool write(const Certificate& certificate, const QString& directory, QString* error);
};

#endif // CERTIFICATEFILES_H
