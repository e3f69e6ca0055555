// Times the CA-410 library's exported calls against an emulated instrument
// that answers at once: the initialisation, one measurement and the scan of
// the 99 user calibration channels (target: under 3 s).
#include "ca410emulator.h"
#include "mlink_ca410.h"

#include <cstdio>

namespace {

double msSince(double startUs)
{
    return (usec_time() - startUs) / 1000.0;
}

} // namespace

int main()
{
    Ca410Emulator emulator;
    if (!emulator.start()) {
        std::printf("no pseudo-terminal\n");
        return 1;
    }
    Ca410Emulator::Channel channel;
    channel.calType = 2;
    channel.name = "BENCH";
    emulator.setChannel(12, channel);
    emulator.setChannel(57, channel);

    ca410_dev* dev = nullptr;
    double start = usec_time();
    if (ca410DeviceOpen(&dev, emulator.devicePath().c_str(), 0) != 0) {
        std::printf("cannot open %s\n", emulator.devicePath().c_str());
        return 1;
    }
    std::printf("ca410DeviceOpen     %8.1f ms  (port open and settle included)\n", msSince(start));

    start = usec_time();
    int32_t err = ca410DeviceInit(dev);
    std::printf("ca410DeviceInit     %8.1f ms  result %d (%zu exchanges)\n", msSince(start), err,
                emulator.commands().size() - 1);

    double xyz[3] = {};
    start = usec_time();
    err = ca410MeasureXYZ(dev, xyz);
    std::printf("ca410MeasureXYZ     %8.1f ms  result %d\n", msSince(start), err);

    ca410_calitem* list = nullptr;
    int32_t count = 0;
    start = usec_time();
    err = ca410GetCallist(dev, &list, &count);
    const double scanMs = msSince(start);
    std::printf("ca410GetCallist     %8.1f ms  result %d, %d channels, %.2f ms per exchange\n", scanMs, err, count,
                scanMs / 99.0);
    std::printf("target: 99-channel scan under 3000 ms: %s\n", scanMs < 3000.0 ? "met" : "MISSED");
    ca410DeleteCallist(&list);
    ca410DeviceRelease(dev);
    return err == 0 && scanMs < 3000.0 ? 0 : 1;
}
