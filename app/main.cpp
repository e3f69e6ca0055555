#include "application.h"
#include "ccolor.h"
#include "csensor.h"
#include "sensortypes.h"

#include <QCoreApplication>
#include <QTextStream>

// Until the main window exists the program lists the sensor types it knows and
// takes one reading from the built-in demonstration sensor through the event loop.
int main(int argc, char* argv[])
{
    Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Lumaserve"));
    qRegisterMetaType<CColor>("CColor");

    QTextStream out(stdout);
    out << "Huelink Trimline - Lumaserve (the main window is not built yet)\n";
    out << "Sensor types:\n";
    for (int type = 1; type < kSensorTypeCount; ++type)
        out << "  " << type << "  " << strSensors[type]
            << (sensorHasCom[type] ? "  (serial port)" : "") << '\n';
    out.flush();

    CSensor sensor;
    sensor.init(QString());
    QObject::connect(&sensor, &CSensor::colorChanged, &app, [&out](const CColor& c) {
        out << "Demonstration reading: X=" << c[0] << " Y=" << c[1] << " Z=" << c[2] << '\n';
        out.flush();
        QCoreApplication::quit();
    });
    sensor.startMeasure();
    sensor.MeasureColor();
    return app.exec();
}
