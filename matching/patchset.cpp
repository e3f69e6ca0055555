#include "patchset.h"

#include "plainfile.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

// A training colour goes by the name the methods and the certificate look it
// up by, in whatever case the list wrote it.
MatchingPatch patch(const QString& name, int r, int g, int b)
{
    const bool training = MatchingPatch::isTrainingName(name);
    return MatchingPatch{training ? name.toLower() : name, r, g, b, training};
}

// A neutral at a percentage of full drive, its 8-bit level rounded to the
// nearest (halves away from zero): 75 % of 255 is 191.25, so 191.
MatchingPatch grey(int percent)
{
    const int level = static_cast<int>(std::lround(percent * 255.0 / 100.0));
    return patch(QStringLiteral("grey %1").arg(percent), level, level, level);
}

QString onLine(int line, const QString& what)
{
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

} // namespace

PatchSet PatchSet::defaultSet()
{
    PatchSet set;
    set.m_patches = {
        patch(QStringLiteral("red"), 255, 0, 0),
        patch(QStringLiteral("green"), 0, 255, 0),
        patch(QStringLiteral("blue"), 0, 0, 255),
        patch(QStringLiteral("white"), 255, 255, 255),
        // The secondaries test the fit where two primaries mix, the greys
        // whether it holds down the tone scale, near black included.
        patch(QStringLiteral("cyan"), 0, 255, 255),
        patch(QStringLiteral("magenta"), 255, 0, 255),
        patch(QStringLiteral("yellow"), 255, 255, 0),
        grey(75),
        grey(50),
        grey(25),
        grey(10),
        // Mid, unsaturated colours, which no training patch is near, and the two
        // an eye judges a display by most: a light skin tone and a sky blue, about
        // the sRGB levels of those patches on the common 24-patch test chart.
        patch(QStringLiteral("skin"), 194, 150, 130),
        patch(QStringLiteral("sky"), 98, 122, 157),
    };
    return set;
}

bool PatchSet::read(const QString& fileName, QString* error)
{
    QByteArray text;
    if (PlainFile::read(fileName, &text, error) != PlainFile::ReadResult::Read)
        return false;
    return parse(text, error);
}

bool PatchSet::parse(const QByteArray& text, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // Digits only: no sign, no exponent, no decimal point of any locale.
    static const QRegularExpression level(QStringLiteral("^[0-9]{1,9}$"));

    std::vector<MatchingPatch> patches;
    QList<QByteArray> lines = text.split('\n');
    // The newline ending the last line starts no line of its own.
    if (text.endsWith('\n'))
        lines.removeLast();
    bool first = true;
    int lineNumber = 0;
    for (const QByteArray& raw : lines) {
        ++lineNumber;
        // Much of the decoding stops at a NUL, so "12<NUL>8" could pass as 12.
        if (raw.contains('\0'))
            return fail(onLine(lineNumber, QStringLiteral("a NUL byte; the file is damaged")));
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty())
            continue;
        QStringList fields = line.split(QLatin1Char(','));
        for (QString& field : fields)
            field = field.trimmed();
        const bool header = first && fields.size() == 4
                            && fields.at(0).compare(QLatin1String("name"), Qt::CaseInsensitive) == 0
                            && fields.at(1).compare(QLatin1String("r"), Qt::CaseInsensitive) == 0
                            && fields.at(2).compare(QLatin1String("g"), Qt::CaseInsensitive) == 0
                            && fields.at(3).compare(QLatin1String("b"), Qt::CaseInsensitive) == 0;
        first = false;
        if (header)
            continue;
        if (fields.size() != 4)
            return fail(onLine(lineNumber, QStringLiteral("%1 fields; expected name,r,g,b").arg(fields.size())));
        const QString name = fields.at(0);
        if (name.isEmpty())
            return fail(onLine(lineNumber, QStringLiteral("the patch has no name")));
        int values[3];
        for (int i = 0; i < 3; ++i) {
            const QString& field = fields.at(i + 1);
            if (!level.match(field).hasMatch() || field.toInt() > 255)
                return fail(onLine(lineNumber, QStringLiteral("'%1' is no level; expected a whole number 0-255")
                                                   .arg(field)));
            values[i] = field.toInt();
        }
        for (const MatchingPatch& seen : patches) {
            if (seen.name.compare(name, Qt::CaseInsensitive) == 0)
                return fail(onLine(lineNumber, QStringLiteral("'%1' is given twice").arg(name)));
        }
        if (static_cast<int>(patches.size()) == MaxPatches)
            return fail(onLine(lineNumber, QStringLiteral("more than %1 patches").arg(MaxPatches)));
        patches.push_back(patch(name, values[0], values[1], values[2]));
    }

    QStringList missing;
    for (const QString& name : MatchingPatch::trainingNames()) {
        bool present = false;
        for (const MatchingPatch& p : patches)
            present = present || p.name.compare(name, Qt::CaseInsensitive) == 0;
        if (!present)
            missing << name;
    }
    if (!missing.isEmpty())
        return fail(QStringLiteral("the set lacks the training colours %1").arg(missing.join(QStringLiteral(", "))));
    m_patches = std::move(patches);
    return true;
}

const MatchingPatch* PatchSet::find(const QString& name) const
{
    for (const MatchingPatch& p : m_patches) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    }
    return nullptr;
}
