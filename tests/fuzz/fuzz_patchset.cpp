// The patch set reader on whatever a CSV patch list holds.
//
// Beyond crashes: a list refused says where or what is missing and leaves the
// set as it was; a list taken has the training colours, unique names and
// levels 0-255, and written back as CSV reads the same.
#include "patchset.h"

#include <QByteArray>
#include <QSet>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const PatchSet before = PatchSet::defaultSet();
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<int>(size));

    PatchSet set = before;
    QString error;
    if (!set.parse(text, &error)) {
        if (!(error.startsWith(QLatin1String("line ")) || error.startsWith(QLatin1String("the set lacks")))
            || set.patches() != before.patches())
            std::abort();
        return 0;
    }
    if (set.size() < 4 || set.size() > PatchSet::MaxPatches)
        std::abort();
    QSet<QString> names;
    QByteArray csv = "name,r,g,b\n";
    for (const MatchingPatch& p : set.patches()) {
        if (p.name.isEmpty() || p.name != p.name.trimmed() || p.name.contains(QLatin1Char(','))
            || p.r < 0 || p.r > 255 || p.g < 0 || p.g > 255 || p.b < 0 || p.b > 255
            || p.training != MatchingPatch::isTrainingName(p.name))
            std::abort();
        names.insert(p.name.toLower());
        csv += p.name.toUtf8() + ',' + QByteArray::number(p.r) + ',' + QByteArray::number(p.g) + ','
               + QByteArray::number(p.b) + '\n';
    }
    for (const QString& name : MatchingPatch::trainingNames()) {
        if (!set.find(name))
            std::abort();
    }
    if (names.size() != set.size())
        std::abort();
    PatchSet again;
    if (!again.parse(csv, &error) || again.patches() != set.patches())
        std::abort();
    return 0;
}
