#include "emulatorregistry.h"

#include "crxxxemulator.h"
#include "cs2000emulator.h"
#include "monitoremulator.h"
#include "pr6xxemulator.h"

#include <cstdio>

namespace {

std::unique_ptr<PtyDevice> makeMonitor(const EmulatorKind::Print& print)
{
    auto monitor = std::make_unique<MonitorEmulator>();
    monitor->setReplyObserver([print](const MonitorEmulator::Reply& reply) {
        char at[32];
        std::snprintf(at, sizeof at, "%.1f", reply.atMs);
        print("monitor reply " + std::string(at) + " " + reply.line);
    });
    return monitor;
}

// Each input line is one request, sent with the monitor's line ending.
bool monitorCommand(PtyDevice& device, const std::string& text)
{
    auto& monitor = static_cast<MonitorEmulator&>(device);
    if (text == "ending crlf") {
        monitor.setLineEnding(MonitorEmulator::LineEnding::CrLf);
        return true;
    }
    if (text == "ending cr") {
        monitor.setLineEnding(MonitorEmulator::LineEnding::Cr);
        return true;
    }
    return monitor.request(text);
}

std::vector<EmulatorKind> makeKinds()
{
    return {
        {"monitor", "display under alignment; input lines are sent as its requests",
         makeMonitor, monitorCommand},
        {"cr100", "CR-100 colorimeter",
         [](const EmulatorKind::Print&) {
             return std::make_unique<CrxxxEmulator>(CrxxxEmulator::cr100());
         },
         nullptr},
        {"cr250", "CR-250 colorimeter",
         [](const EmulatorKind::Print&) {
             return std::make_unique<CrxxxEmulator>(CrxxxEmulator::cr250());
         },
         nullptr},
        {"cs2000", "CS-2000 spectroradiometer",
         [](const EmulatorKind::Print&) { return std::make_unique<Cs2000Emulator>(); }, nullptr},
        {"pr6xx", "PR-6xx spectroradiometer",
         [](const EmulatorKind::Print&) { return std::make_unique<Pr6xxEmulator>(); }, nullptr},
    };
}

} // namespace

const std::vector<EmulatorKind>& emulatorKinds()
{
    static const std::vector<EmulatorKind> kinds = makeKinds();
    return kinds;
}

const EmulatorKind* findEmulatorKind(const std::string& name)
{
    for (const EmulatorKind& kind : emulatorKinds()) {
        if (kind.name == name)
            return &kind;
    }
    return nullptr;
}
