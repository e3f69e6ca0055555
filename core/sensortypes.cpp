#include "sensortypes.h"

const QString strSensors[kSensorTypeCount] = {
    QString(),
    QStringLiteral("Spyder 3"),
    QStringLiteral("Spyder 4"),
    QStringLiteral("Chroma 5"),
    QStringLiteral("I1Display Pro"),
    QStringLiteral("K-10"),
    QStringLiteral("PR-6xx"),
    QStringLiteral("CA410"),
    QStringLiteral("CA-210/310"),
    QStringLiteral("CS-200"),
    QStringLiteral("CS-2000"),
    QStringLiteral("OTO"),
    QStringLiteral("Avants"),
    QStringLiteral("CR100/CR250"),
};

const bool sensorHasCom[kSensorTypeCount] = {
    false, false, false, false, false, true, true, true, false, false, true, false, false, true,
};
