// Times the CA-410 library against an emulated instrument that keeps the time
// of its line (38400 baud, 7 data bits, even parity, 2 stop bits) and takes a
// set processing time per command, all in one run: single exchanges (a
// setting, a measurement, a channel record), the initialisation, one
// measurement and the scan of the 99 user calibration channels. Each line
// shows the wire time of the bytes that crossed, the instrument's processing
// time, the measured time and the overhead the program adds (measured - wire
// - instrument). Targets: overhead per exchange under 2 ms; initialisation and
// scan within 10 % of wire + instrument time.
//
//   ca410_api_bench [processing time per command in ms, default 1] [rounds, default 20]
#include "ca410dev.h"
#include "ca410emulator.h"
#include "mlink_ca410.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

struct Figures {
    double wireMs = 0;
    double instrumentMs = 0;
    double measuredMs = 0;
    size_t exchanges = 0;
    double overheadMs() const { return measuredMs - wireMs - instrumentMs; }
};

class Meter
{
public:
    Meter(const Ca410Emulator& emulator, double processingMs)
        : m_emulator(emulator), m_processingMs(processingMs)
    {
    }

    // Runs the call once and accounts for what crossed the line meanwhile.
    Figures measure(const std::function<bool()>& call, bool* ok) const
    {
        const size_t commands = m_emulator.commands().size();
        const size_t in = m_emulator.bytesReceived();
        const size_t out = m_emulator.bytesSent();
        const double start = usec_time();
        *ok = call() && *ok;
        Figures f;
        f.measuredMs = (usec_time() - start) / 1000.0;
        const size_t characters = m_emulator.bytesReceived() - in + m_emulator.bytesSent() - out;
        f.wireMs = std::chrono::duration<double, std::milli>(m_emulator.serialLine().wireTime(characters)).count();
        f.exchanges = m_emulator.commands().size() - commands;
        f.instrumentMs = m_processingMs * static_cast<double>(f.exchanges);
        return f;
    }

private:
    const Ca410Emulator& m_emulator;
    double m_processingMs;
};

void print(const char* label, const Figures& f)
{
    std::printf("%-30s %4zu  %9.2f  %9.2f  %9.2f  %9.2f  %7.1f %%\n", label, f.exchanges, f.wireMs, f.instrumentMs,
                f.measuredMs, f.overheadMs(), 100.0 * f.overheadMs() / (f.wireMs + f.instrumentMs));
}

// The median of several runs of one call, by overhead: on a shared machine a
// single run may wait for a processor.
Figures median(const Meter& meter, int rounds, const std::function<bool()>& call, bool* ok)
{
    std::vector<Figures> runs;
    for (int i = 0; i < rounds; ++i)
        runs.push_back(meter.measure(call, ok));
    std::sort(runs.begin(), runs.end(),
              [](const Figures& a, const Figures& b) { return a.overheadMs() < b.overheadMs(); });
    return runs[runs.size() / 2];
}

Figures exchange(const Meter& meter, ca410_dev* dev, int cmd, const char* params, int rounds, bool* ok)
{
    return median(meter, rounds, [&] {
        char reply[1024];
        int32_t length = 0;
        return ca_command(dev, cmd, params, 0, reply, sizeof reply, &length, 1000) == 0;
    }, ok);
}

} // namespace

int main(int argc, char** argv)
{
    const double processingMs = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    Ca410Emulator emulator;
    if (!emulator.start()) {
        std::printf("no pseudo-terminal\n");
        return 1;
    }
    emulator.setPaced(true);
    emulator.setProcessingTime(std::chrono::microseconds(static_cast<long>(processingMs * 1000)));
    Ca410Emulator::Channel channel;
    channel.calType = 2;
    channel.name = "BENCH";
    emulator.setChannel(12, channel);
    emulator.setChannel(57, channel);
    const Meter meter(emulator, processingMs);

    ca410_dev* dev = nullptr;
    double start = usec_time();
    if (ca410DeviceOpen(&dev, emulator.devicePath().c_str(), 0) != 0) {
        std::printf("cannot open %s\n", emulator.devicePath().c_str());
        return 1;
    }
    const double openMs = (usec_time() - start) / 1000.0;

    std::printf("CA-410 on a paced emulated line, 38400 baud 7E2 (%.4f ms per character), %.2f ms processing "
                "per command\n",
                std::chrono::duration<double, std::milli>(emulator.serialLine().characterTime()).count(), processingMs);
    std::printf("ca410DeviceOpen: %.1f ms (the port's fixed settling waits; no exchange)\n\n", openMs);
    std::printf("%-30s %4s  %9s  %9s  %9s  %9s  %9s\n", "", "cmds", "wire ms", "instr ms", "measured", "overhead",
                "of w+i");
    bool ok = true;
    const int inits = std::max(1, rounds / 4);
    const Figures init = median(meter, inits, [&] { return ca410DeviceInit(dev) == 0; }, &ok);
    print("ca410DeviceInit", init);
    const Figures str = exchange(meter, dev, 19, "0", rounds, &ok);
    print("STR,0 (13 B reply)", str);
    const Figures mes = exchange(meter, dev, 38, "1", rounds, &ok);
    print("MES,1", mes);
    const Figures tdr = exchange(meter, dev, 25, "12,1,7", rounds, &ok);
    print("TDR,12,1,7 (237 B reply)", tdr);
    double xyz[3] = {};
    const Figures measurement = median(meter, rounds, [&] { return ca410MeasureXYZ(dev, xyz) == 0; }, &ok);
    print("ca410MeasureXYZ", measurement);
    ca410_calitem* list = nullptr;
    int32_t count = 0;
    const Figures scan = meter.measure([&] { return ca410GetCallist(dev, &list, &count) == 0; }, &ok);
    print("ca410GetCallist (99 channels)", scan);
    ca410DeleteCallist(&list);
    ca410DeviceRelease(dev);

    const double worstExchange = std::max({str.overheadMs(), mes.overheadMs(), tdr.overheadMs()});
    const bool exchangesMet = worstExchange < 2.0;
    const auto within = [](const Figures& f) { return f.measuredMs <= 1.1 * (f.wireMs + f.instrumentMs); };
    std::printf("\nexchanges and measurements are medians of %d runs, init of %d, the scan one run; %s\n", rounds,
                inits, ok ? "every call succeeded" : "A CALL FAILED");
    std::printf("target: overhead per exchange under 2 ms (worst %.2f ms): %s\n", worstExchange,
                exchangesMet ? "met" : "MISSED");
    std::printf("target: init within 10 %% of wire + instrument: %s\n", within(init) ? "met" : "MISSED");
    std::printf("target: 99-channel scan within 10 %% of wire + instrument: %s\n", within(scan) ? "met" : "MISSED");
    return ok && exchangesMet && within(init) && within(scan) ? 0 : 1;
}
