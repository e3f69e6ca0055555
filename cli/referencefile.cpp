#include "referencefile.h"

#include "correctionmatrix.h"
#include "plainfile.h"

#include <QList>
#include <QLocale>

#include <cmath>

namespace {

QString at(int line, int column, const QString& what)
{
    return QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(what);
}

} // namespace

static_assert(int(ReferenceFile::PatchCount) == CorrectionMatrix::kPatchCount
                  && int(ReferenceFile::Red) == int(CorrectionMatrix::Red)
                  && int(ReferenceFile::White) == int(CorrectionMatrix::White),
              "a reference file's values are handed to the correction matrix as they are");

QString ReferenceFile::patchName(int patch)
{
    return CorrectionMatrix::patchName(patch);
}

bool ReferenceFile::read(const QString& fileName, QString* error)
{
    QByteArray text;
    if (PlainFile::read(fileName, &text, error) != PlainFile::ReadResult::Read)
        return false;
    return parse(text, error);
}

bool ReferenceFile::parse(const QByteArray& text, QString* error)
{
    CColor values[PatchCount];
    bool seen[PatchCount] = {};
    QList<QByteArray> lines = text.split('\n');
    // The newline ending the last line starts no line of its own.
    if (text.endsWith('\n'))
        lines.removeLast();
    int lineNumber = 0;
    for (const QByteArray& raw : lines) {
        ++lineNumber;
        // Text ends at a NUL for much of the decoding, so "1.9<NUL>3" would be
        // read as 1.9: a file holding one is damaged.
        if (const int nul = raw.indexOf('\0'); nul >= 0) {
            *error = at(lineNumber, raw.left(nul).count(',') + 1,
                        QStringLiteral("a NUL byte; the file is damaged"));
            return false;
        }
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char(','));
        const QString first = fields.at(0).trimmed();
        if (first.compare(QLatin1String("colour"), Qt::CaseInsensitive) == 0
            || first.compare(QLatin1String("color"), Qt::CaseInsensitive) == 0)
            continue;
        int patch = -1;
        for (int p = 0; p < PatchCount; ++p) {
            if (first.compare(patchName(p), Qt::CaseInsensitive) == 0)
                patch = p;
        }
        if (patch < 0) {
            *error = at(lineNumber, 1,
                        QStringLiteral("'%1' is no colour; expected red, green, blue or white").arg(first));
            return false;
        }
        if (seen[patch]) {
            *error = at(lineNumber, 1, QStringLiteral("%1 is given twice").arg(patchName(patch)));
            return false;
        }
        if (fields.size() < 4) {
            *error = at(lineNumber, fields.size() + 1,
                        QStringLiteral("missing value; expected colour,X,Y,Z"));
            return false;
        }
        if (fields.size() > 4) {
            *error = at(lineNumber, 5, QStringLiteral("too many fields; expected colour,X,Y,Z"));
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            bool ok = false;
            const QString field = fields.at(i + 1).trimmed();
            const double value = QLocale::c().toDouble(field, &ok);
            if (!ok || !std::isfinite(value)) {
                *error = at(lineNumber, i + 2, QStringLiteral("'%1' is not a number").arg(field));
                return false;
            }
            values[patch][i] = value;
        }
        seen[patch] = true;
    }
    for (int p = 0; p < PatchCount; ++p) {
        if (!seen[p]) {
            *error = at(lineNumber + 1, 1, QStringLiteral("no line for %1").arg(patchName(p)));
            return false;
        }
    }
    for (int p = 0; p < PatchCount; ++p)
        m_values[p] = values[p];
    return true;
}
