#include "emulatorregistry.h"

#include "ca410emulator.h"
#include "crxxxemulator.h"
#include "cs2000emulator.h"
#include "emulatortext.h"
#include "monitoremulator.h"
#include "pr6xxemulator.h"

#include <cstdio>
#include <sstream>

namespace {

std::unique_ptr<PtyDevice> makeMonitor(const EmulatorKind::Print& print)
{
    auto monitor = std::make_unique<MonitorEmulator>();
    monitor->setReplyObserver([print](const MonitorEmulator::Reply& reply) {
        print("monitor reply " + EmulatorText::fixed(reply.atMs, 1) + " " + reply.line);
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

// "xyz X Y Z" sets what the probe sees; "zero S" the status a zero
// calibration leaves ("2" done, anything else failed).
bool ca410Command(PtyDevice& device, const std::string& text)
{
    auto& ca410 = static_cast<Ca410Emulator&>(device);
    double x = 0, y = 0, z = 0;
    if (text.compare(0, 4, "xyz ") == 0) {
        std::istringstream words(text.substr(4));
        std::string a, b, c, tail;
        words >> a >> b >> c >> tail;
        if (!tail.empty() || !EmulatorText::toDouble(a, &x) || !EmulatorText::toDouble(b, &y)
            || !EmulatorText::toDouble(c, &z))
            return false;
        ca410.setMeasurement(x, y, z);
        return true;
    }
    if (text.compare(0, 5, "zero ") == 0 && text.size() > 5) {
        ca410.setZeroCalibrationResult(text.substr(5));
        return true;
    }
    return false;
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
        {"ca410", "CA-410 colorimeter; input \"xyz X Y Z\" sets the reading, \"zero S\" the zero-calibration status",
         [](const EmulatorKind::Print&) { return std::make_unique<Ca410Emulator>(); }, ca410Command},
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
