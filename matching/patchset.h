#ifndef PATCHSET_H
#define PATCHSET_H

#include "matchingpatch.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The patches a matching session measures, in the order they are shown.
//
// A set may be read from a CSV file of lines "name,r,g,b", levels being
// integers 0-255:
//
//     name,r,g,b
//     red,255,0,0
//     ...
//
// The first line may be that header (in any case); blank lines are skipped.
// Names are unique (ignoring case) and the four training colours (red, green,
// blue, white) must be there: every correction is fitted on them.
class PatchSet
{
public:
    // Far more than anyone measures in one sitting (each patch takes both
    // instruments several readings); a bound for whatever a file claims.
    static constexpr int MaxPatches = 1000;

    // Training: red, green, blue and white at level 255. Validation: cyan,
    // magenta, yellow, greys and two mid colours (see the source).
    static PatchSet defaultSet();

    // Reads the CSV file, a regular file of at most a megabyte; on failure
    // *error says why (a line's fault names its number, from 1) and the set
    // is left as it was.
    bool read(const QString& fileName, QString* error);
    bool parse(const QByteArray& text, QString* error);

    const std::vector<MatchingPatch>& patches() const { return m_patches; }
    int size() const { return static_cast<int>(m_patches.size()); }
    // The patch of that name (ignoring case), or null.
    const MatchingPatch* find(const QString& name) const;

private:
    std::vector<MatchingPatch> m_patches;
};

#endif // PATCHSET_H
