#ifndef WORLDPATCHSOURCE_H
#define WORLDPATCHSOURCE_H

#include "patchsource.h"

#include <atomic>

class SimulatedWorld;

// A matching run's patches put straight onto the simulated display, as the
// program's patch window would paint them: the world's instruments look at
// each one as soon as it is shown, at the display's factory gains.
class WorldPatchSource : public PatchSource
{
public:
    explicit WorldPatchSource(SimulatedWorld& world);

    bool show(const MatchingPatch& patch, QString* error) override;
    void cancel() override;
    // The instruments look at the display under alignment again.
    void finish() override;

private:
    SimulatedWorld& m_world;
    std::atomic<bool> m_cancelled{false};
};

#endif // WORLDPATCHSOURCE_H
