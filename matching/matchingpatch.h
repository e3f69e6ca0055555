#ifndef MATCHINGPATCH_H
#define MATCHINGPATCH_H

#include <QString>
#include <QStringList>

// A colour the display shows while both instruments read it: its name, its
// 8-bit drive levels, and whether it trains the correction or only validates it.
struct MatchingPatch {
    QString name;
    int r = 0;
    int g = 0;
    int b = 0;
    bool training = false;

    // The patches every correction is fitted on: the full-level primaries and
    // white. A patch of one of these names (in any case) trains; any other validates.
    static const QStringList& trainingNames();
    static bool isTrainingName(const QString& name);

    bool operator==(const MatchingPatch& other) const;
    bool operator!=(const MatchingPatch& other) const { return !(*this == other); }
};

#endif // MATCHINGPATCH_H
