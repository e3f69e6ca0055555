#include "worldpatchsource.h"

#include "simulatedworld.h"

#include <QCoreApplication>

WorldPatchSource::WorldPatchSource(SimulatedWorld& world)
    : m_world(world)
{
}

bool WorldPatchSource::show(const MatchingPatch& patch, QString* error)
{
    if (m_cancelled) {
        if (error)
            *error = QCoreApplication::translate("WorldPatchSource", "Cancelled.");
        return false;
    }
    m_world.setScreenPatch(std::array<int, 3>{patch.r, patch.g, patch.b});
    return true;
}

void WorldPatchSource::cancel()
{
    m_cancelled = true;
}

void WorldPatchSource::finish()
{
    m_world.setScreenPatch(std::nullopt);
}
