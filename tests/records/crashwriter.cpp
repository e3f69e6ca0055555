// Serves an endless alignment to the line recorder, one request every few
// milliseconds, and says on standard output how many it has handed over;
// the test kills it with SIGKILL and looks at what reached the file.

#include "ccolor.h"
#include "cmonitor.h"
#include "linerecorder.h"
#include "measure.h"
#include "sessiontracker.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: crashwriter FILE.sqlite\n");
        return 1;
    }
    Measure measure;
    LineRecorder::Settings settings;
    settings.location = RecordLocation::sqlite(QString::fromLocal8Bit(argv[1]));
    settings.station = QStringLiteral("crash station");
    LineRecorder recorder(measure, settings);
    QString error;
    if (!recorder.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    int served = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const CColor xyz(95.0, 100.0 + served, 108.9);
        recorder.tracker()->takeRequest(CMonitor::SendValue, QStringLiteral("OK01"), xyz, xyz);
        std::printf("served %d\n", ++served);
        std::fflush(stdout);
    });
    timer.start(15);
    return app.exec();
}
