#include "certificatefiles.h"

#include "certificatecsv.h"
#include "certificatejson.h"
#include "plainfile.h"

#include <QDir>
#include <QSaveFile>

#include <array>
#include <memory>

namespace {

struct Pending {
    QString fileName;
    QByteArray bytes;
    std::unique_ptr<QSaveFile> file;
};

// Writes the whole text to a temporary file beside the target, which stays as
// it was until commit(); a QSaveFile that is never committed removes its
// temporary file when it goes. Unbuffered, so that a short write is seen here
// rather than lost at the close.
bool prepare(Pending* pending, QString* why)
{
    QString target;
    if (!PlainFile::writeTarget(pending->fileName, &target, why))
        return false;
    pending->file = std::make_unique<QSaveFile>(target);
    QSaveFile& file = *pending->file;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *why = file.errorString();
        return false;
    }
    const qint64 written = file.write(pending->bytes);
    if (written != pending->bytes.size()) {
        *why = written < 0 || file.error() != QFileDevice::NoError
                   ? file.errorString()
                   : CertificateFiles::tr("only %1 of %2 bytes could be written (is the disk full?)")
                         .arg(written)
                         .arg(pending->bytes.size());
        return false;
    }
    return true;
}

} // namespace

bool CertificateFiles::write(const Certificate& certificate, const QString& directory, QString* error)
{
    return write(certificate, CertificatePdf::Heading(), directory, error);
}

bool CertificateFiles::write(const Certificate& certificate, const CertificatePdf::Heading& heading,
                             const QString& directory, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QDir().mkpath(directory))
        return fail(tr("Cannot make the directory %1.").arg(QDir::toNativeSeparators(directory)));
    const QDir dir(directory);
    QString why;
    const QByteArray pdf = CertificatePdf::toPdf(certificate, heading, &why);
    if (pdf.isEmpty())
        return fail(tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(dir.filePath(pdfFileName())), why));
    std::array<Pending, 3> files{{
        {dir.filePath(jsonFileName()), CertificateJson::toJson(certificate), nullptr},
        {dir.filePath(csvFileName()), CertificateCsv::toCsv(certificate), nullptr},
        {dir.filePath(pdfFileName()), pdf, nullptr},
    }};
    for (Pending& pending : files) {
        if (!prepare(&pending, &why))
            return fail(tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(pending.fileName), why));
    }
    for (Pending& pending : files) {
        if (!pending.file->commit())
            return fail(tr("Cannot write %1: %2")
                            .arg(QDir::toNativeSeparators(pending.fileName), pending.file->errorString()));
    }
    return true;
}
