// Times ca_command exchanges against an emulated CA-410 that answers at once,
// next to the time the same bytes take on the instrument's line (38400 baud,
// 7 data bits, even parity, 2 stop bits: 11 bits per character).
#include "ca410dev.h"
#include "ca410emulator.h"
#include "mlink_ca410.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

double wireMs(size_t characters)
{
    return static_cast<double>(characters) * 11.0 * 1000.0 / 38400.0;
}

bool bench(ca410_dev* dev, const char* label, int cmd, const char* params, int rounds)
{
    std::vector<double> ms;
    char reply[1024];
    int32_t length = 0;
    for (int i = 0; i < rounds; ++i) {
        const double start = usec_time();
        const int32_t err = ca_command(dev, cmd, params, 0, reply, sizeof reply, &length, 1000);
        const double took = (usec_time() - start) / 1000.0;
        if (err) {
            std::printf("%s: ca_command failed with %d\n", label, err);
            return false;
        }
        ms.push_back(took);
    }
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    // Command: prefix, parameters, CR. Reply: status, comma and data when any, CR.
    const size_t sent = std::strlen(keystr[cmd]) + std::strlen(params) + 1;
    const size_t received = 4 + (length > 0 ? 1 + static_cast<size_t>(length) : 0) + 1;
    std::printf("%-28s %4zu B  mean %6.2f ms  median %6.2f ms  min %6.2f ms  max %6.2f ms  |  wire %6.2f ms\n",
                label, sent + received, sum / ms.size(), ms[ms.size() / 2], ms.front(), ms.back(),
                wireMs(sent + received));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    Ca410Emulator emulator;
    if (!emulator.start()) {
        std::printf("no pseudo-terminal\n");
        return 1;
    }
    clog_set_debug(glog, 0);
    ser_com* port = new_ser_com(emulator.devicePath().c_str());
    if (ser_com_setport(port, 3, 10, 3, 2, 3) != 0) {
        std::printf("cannot open %s\n", emulator.devicePath().c_str());
        ser_com_del(port);
        return 1;
    }
    ca410_dev dev{};
    dev.ser = port;
    ca_command(&dev, 23, nullptr, 0, nullptr, 0, nullptr, 1000);  // zero calibration, so MES answers

    std::printf("ca_command exchanges, %d rounds each, drain of stale input included\n", rounds);
    bool ok = bench(&dev, "STR,0 (read one setting)", 19, "0", rounds);
    ok = ok && bench(&dev, "MES,1 (measure)", 38, "1", rounds);
    ok = ok && bench(&dev, "TDR,1,1,7 (channel data)", 25, "1,1,7", rounds);
    std::printf("target: under 25 ms per exchange\n");
    ser_com_del(port);
    return ok ? 0 : 1;
}
