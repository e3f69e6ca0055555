#include "sensortable.h"

#include "ca410sensor.h"
#include "crxxxcensor.h"
#include "cs2000sensor.h"
#include "i1d3sensor.h"
#include "k10sensor.h"
#include "pr6xxsensor.h"

namespace {

template <typename Driver>
CSensor* make()
{
    return new Driver;
}

using C = SensorConnection;

constexpr std::array<SensorTypeRow, kSensorTypeCount> kRows{{
    {0, "", C::None, nullptr, false, nullptr},
    {1, "Spyder 3", C::Usb, nullptr, false, nullptr},
    {2, "Spyder 4", C::Usb, nullptr, false, nullptr},
    {3, "Chroma 5", C::Usb, nullptr, false, nullptr},
    {4, "I1Display Pro", C::Usb, "libmlink_i1d3", true, &make<I1d3Sensor>},
    {5, "K-10", C::SerialPort, "libmlink_k10", true, &make<K10Sensor>},
    // Complete, but not offered in the window yet.
    {6, "PR-6xx", C::SerialPort, nullptr, false, &make<PR6xxSensor>},
    {7, "CA410", C::SerialPort, "libmlink_ca410", true, &make<CA410Sensor>},
    {8, "CA-210/310", C::Usb, nullptr, false, nullptr},
    {9, "CS-200", C::Usb, nullptr, false, nullptr},
    {10, "CS-2000", C::SerialPort, nullptr, false, &make<CS2000Sensor>},
    {11, "OTO", C::Usb, nullptr, false, nullptr},
    {12, "Avants", C::Usb, nullptr, false, nullptr},
    {13, "CR100/CR250", C::SerialPort, nullptr, true, &make<CRXXXCensor>},
}};

template <typename T, typename Column>
std::array<T, kSensorTypeCount> column(Column pick)
{
    std::array<T, kSensorTypeCount> values{};
    for (int type = 0; type < kSensorTypeCount; ++type)
        values[size_t(type)] = pick(kRows[size_t(type)]);
    return values;
}

} // namespace

const std::array<QString, kSensorTypeCount> strSensors =
    column<QString>([](const SensorTypeRow& row) { return QString::fromLatin1(row.name); });
const std::array<bool, kSensorTypeCount> sensorHasCom =
    column<bool>([](const SensorTypeRow& row) { return row.connection == SensorConnection::SerialPort; });

const std::array<SensorTypeRow, kSensorTypeCount>& SensorTable::rows()
{
    return kRows;
}

const SensorTypeRow& SensorTable::row(int type)
{
    return type >= 0 && type < kSensorTypeCount ? kRows[size_t(type)] : kRows[0];
}

QString SensorTable::libraryOf(int type)
{
    const char* library = row(type).library;
    return library ? QString::fromLatin1(library) : QString();
}

CSensor* SensorTable::createForWindow(int type)
{
    const SensorTypeRow& found = row(type);
    return found.type == type && found.createdByWindow && found.create ? found.create() : nullptr;
}
