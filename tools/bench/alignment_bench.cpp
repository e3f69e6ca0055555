// Measures the alignment service through a pseudo-terminal with an instant
// sensor: the reply latency the service adds (the monitor's CR written to the
// reply's CR read) over many requests, and the processor time the service takes
// per second while alignment is on and the display is silent.

#include "csensor.h"
#include "measure.h"
#include "monitoremulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class InstantSensor : public CSensor
{
public:
    InstantSensor() { name = QStringLiteral("Instant"); }
    int startMeasure() override { return 500; }
    CColor GetColor() override
    {
        const CColor c(12.3456, 20.5, 30.0);
        emit colorChanged(c);
        return c;
    }
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
    return v[i];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int requests = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 3;

    MonitorEmulator display;
    if (!display.start())
        return 1;
    Measure measure;
    measure.setSensorFactory([](int) -> CSensor* { return new InstantSensor; });
    if (!measure.initSensor(7, QString()))
        return 1;
    measure.initMonitor();
    if (!measure.connectMonitor(QString::fromStdString(display.portName())))
        return 1;
    measure.doAlignment();
    QElapsedTimer clock;
    clock.start();
    while (!measure.isServingAlignment() && clock.elapsed() < 5000)
        QCoreApplication::processEvents();

    std::vector<double> latencies;
    latencies.reserve(static_cast<size_t>(requests));
    for (int i = 0; i < requests; ++i) {
        const double sent = display.elapsedMs();
        display.request(i % 2 ? "MDR,1" : "MES,1");
        if (!display.waitForReplies(static_cast<size_t>(i + 1), std::chrono::seconds(5))) {
            std::fprintf(stderr, "request %d got no reply\n", i);
            return 1;
        }
        latencies.push_back(display.replies().back().atMs - sent);
        // Readings also travel to the main thread; keep that queue short.
        QCoreApplication::processEvents();
    }

    const double cpuBefore = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    // The main thread sleeps in its event loop, as the program's would.
    QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double cpuUsed = cpuSeconds() - cpuBefore;
    const double wall = idle.elapsed() / 1000.0;
    measure.doAlignment();

    std::printf("alignment service, %d requests through a pseudo-terminal, instant sensor\n",
                requests);
    std::printf("reply latency p50: %.3f ms\n", percentile(latencies, 0.50));
    std::printf("reply latency p99: %.3f ms\n", percentile(latencies, 0.99));
    std::printf("reply latency max: %.3f ms\n", percentile(latencies, 1.0));
    std::printf("idle while aligning: %.2f %% of one core (%.3f s CPU in %.1f s)\n",
                100.0 * cpuUsed / wall, cpuUsed, wall);
    return 0;
}
