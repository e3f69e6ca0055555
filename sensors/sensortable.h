#ifndef SENSORTABLE_H
#define SENSORTABLE_H

#include "sensortypes.h"

#include <QString>

#include <array>

class CSensor;

// How an instrument of a type is reached: through a serial port the user
// picks, or over USB without one.
enum class SensorConnection { None, Usb, SerialPort };

// Everything the program knows about one sensor type.
struct SensorTypeRow
{
    int type;
    // The strSensors text.
    const char* name;
    SensorConnection connection;
    // Base name of the instrument library the driver loads; null for none.
    const char* library;
    // Whether the window's factory creates the driver; a type it does not
    // create is refused by the controller.
    bool createdByWindow;
    // Makes the driver; null for a type without one.
    CSensor* (*create)();
};

// The sensor-type table, indexed by type; see sensortypes.h for the numbering.
class SensorTable
{
public:
    static const std::array<SensorTypeRow, kSensorTypeCount>& rows();
    // The row of type; the empty row 0 for a number outside the table.
    static const SensorTypeRow& row(int type);
    // The library's base name of type ("libmlink_ca410"); empty for none.
    static QString libraryOf(int type);
    // The factory the programs hand to the controller: the driver of a type
    // the window drives, null for every other.
    static CSensor* createForWindow(int type);
};

// The display name of each type, and whether it is reached through a serial
// port the user picks; taken from the table.
extern const std::array<QString, kSensorTypeCount> strSensors;
extern const std::array<bool, kSensorTypeCount> sensorHasCom;

#endif // SENSORTABLE_H
