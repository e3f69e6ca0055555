#ifndef SENSORTYPES_H
#define SENSORTYPES_H

// The numbering of instrument families used by the panel, the sensor factory and
// the profile file. Type 0 means no sensor. What is known of each type is in the
// sensor table (sensortable.h).
constexpr int kSensorTypeCount = 14;

#endif // SENSORTYPES_H
