// The reference file reader (REF.csv) on whatever such a file holds.
//
// Beyond crashes: a file refused says where and leaves the values read before
// as they were; a file taken holds no NUL, every number it gave is finite and
// written as a plain number, and writing the values back reads the same.
#include "referencefile.h"

#include "plainnumbertext.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <cstdlib>

namespace {

QByteArray csvOf(const ReferenceFile& file)
{
    QByteArray text = "colour,X,Y,Z\n";
    for (int p = 0; p < ReferenceFile::PatchCount; ++p) {
        text += ReferenceFile::patchName(p).toLatin1();
        for (int i = 0; i < 3; ++i)
            text += ',' + QByteArray::number(file.value(p)[i], 'g', 17);
        text += '\n';
    }
    return text;
}

bool sameValues(const ReferenceFile& a, const ReferenceFile& b)
{
    // By value: the text written back for -0 may read as 0.
    for (int p = 0; p < ReferenceFile::PatchCount; ++p) {
        for (int i = 0; i < 3; ++i) {
            if (a.value(p)[i] != b.value(p)[i])
                return false;
        }
    }
    return true;
}

// The number fields of the lines that name a colour.
void checkNumbersAsWritten(const QByteArray& text)
{
    for (const QByteArray& raw : text.split('\n')) {
        const QStringList fields = QString::fromUtf8(raw).trimmed().split(QLatin1Char(','));
        if (fields.size() != 4)
            continue;
        const QString first = fields.at(0).trimmed();
        bool names = false;
        for (int p = 0; p < ReferenceFile::PatchCount; ++p)
            names = names || first.compare(ReferenceFile::patchName(p), Qt::CaseInsensitive) == 0;
        if (!names)
            continue;
        for (int i = 1; i < 4; ++i) {
            if (!looksLikePlainNumber(fields.at(i)))
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QByteArray known = "red,1,2,3\ngreen,4,5,6\nblue,7,8,9\nwhite,10,11,12\n";
    static const QRegularExpression where(QStringLiteral("^line [0-9]+, column [0-9]+: \\S"));
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<int>(size));

    ReferenceFile reference;
    QString error;
    if (!reference.parse(known, &error))
        std::abort();
    ReferenceFile before = reference;
    if (!reference.parse(text, &error)) {
        if (!where.match(error).hasMatch() || !sameValues(reference, before))
            std::abort();
        return 0;
    }
    if (text.contains('\0'))
        std::abort();
    for (int p = 0; p < ReferenceFile::PatchCount; ++p) {
        for (int i = 0; i < 3; ++i) {
            if (!std::isfinite(reference.value(p)[i]))
                std::abort();
        }
    }
    checkNumbersAsWritten(text);
    ReferenceFile again;
    if (!again.parse(csvOf(reference), &error) || !sameValues(again, reference))
        std::abort();
    return 0;
}
