#ifndef SENSORTYPES_H
#define SENSORTYPES_H

#include <QString>

// The numbering of instrument families used by the panel, the sensor factory and
// the profile file. Type 0 means no sensor.
constexpr int kSensorTypeCount = 14;

extern const QString strSensors[kSensorTypeCount];
// True when an instrument of that type is reached through a port the user picks.
extern const bool sensorHasCom[kSensorTypeCount];

#endif // SENSORTYPES_H
