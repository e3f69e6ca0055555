#include "matchingpatch.h"

#include <QStringList>

const QStringList& MatchingPatch::trainingNames()
{
    static const QStringList names{QStringLiteral("red"), QStringLiteral("green"), QStringLiteral("blue"),
                                   QStringLiteral("white")};
    return names;
}

bool MatchingPatch::isTrainingName(const QString& name)
{
    return trainingNames().contains(name, Qt::CaseInsensitive);
}

bool MatchingPatch::operator==(const MatchingPatch& other) const
{
    return name == other.name && r == other.r && g == other.g && b == other.b && training == other.training;
}
