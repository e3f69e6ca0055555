// The CA-410 library's reply grammar and every device operation that parses a
// reply, against an instrument in memory behind the library's transport.
//
// Input: one operation byte and one argument byte, then the instrument's
// replies separated by newlines, in the order the commands ask for them. The
// first reply answers the identification when the device is opened. Each reply
// arrives with a carriage return after it; once the replies run out the
// instrument stays silent, which the library sees as a time-out at once.
#include "fuzzinput.h"
#include "mlink_ca410.h"
#include "quietlog.h"

#include <cstdlib>
#include <string>

namespace {

struct Instrument {
    FuzzInput* replies = nullptr;
};

int32_t instrumentWrite(void*, const char*, int32_t, int32_t)
{
    return 0;
}

int32_t instrumentRead(void* context, char* buffer, int32_t size, int32_t* received, const char* terminators,
                       int32_t, int32_t)
{
    auto* instrument = static_cast<Instrument*>(context);
    *received = 0;
    // Nothing stale waits on the line: a drain finds it silent.
    if (!terminators || !*terminators || instrument->replies->empty())
        return SER_COM_TIMEOUT;
    const std::string reply = instrument->replies->piece() + '\r';
    const size_t n = reply.size() < static_cast<size_t>(size - 1) ? reply.size() : static_cast<size_t>(size - 1);
    reply.copy(buffer, n);
    *received = static_cast<int32_t>(n);
    return 0;
}

const ser_com_ops kOps = {instrumentWrite, instrumentRead};

void userCalibration(ca410_dev* dev, uint8_t arg)
{
    const double target[3] = {95.0, 100.0, 108.0};
    double measured[3];
    if (ca410WRGBCalibWhite(dev, target, measured) || ca410WRGBCalibRed(dev, target, measured)
        || ca410WRGBCalibGreen(dev, target, nullptr) || ca410WRGBCalibBlue(dev, target, measured))
        return;
    ca410WRGBCalibEnd(dev, arg % 100, arg & 1 ? "user" : nullptr, 2024, 5, 6, 7);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quietLibraryLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t op = in.byte();
    const uint8_t arg = in.byte();
    Instrument instrument{&in};
    ser_com* port = new_ser_com_on(&kOps, &instrument);
    ca410_dev* dev = ca410_dev_create_on(port);
    if (!dev)
        return 0;

    double xyz[3];
    switch (op % 8) {
    case 0:
        ca410DeviceInit(dev);
        break;
    case 1: {
        ca410Info info;
        ca410GetDeviceInfo(dev, &info);
        break;
    }
    case 2: {
        ca410Stat stat;
        ca410GetDeviceStat(dev, &stat);
        break;
    }
    case 3:
        if (ca410DeviceInit(dev) == 0)
            ca410MeasureXYZ(dev, xyz);
        break;
    case 4: {
        ca410_calitem* list = nullptr;
        int32_t count = 0;
        if (ca410GetCallist(dev, &list, &count) == 0)
            ca410DeleteCallist(&list);
        break;
    }
    case 5: {
        ca410Calfile calfile;
        ca410GetCalfile(dev, arg % 100, &calfile);
        break;
    }
    case 6:
        userCalibration(dev, arg);
        break;
    default:
        ca410SetChannel(dev, arg % 100);
        ca410SetMeasureSpeed(dev, arg % 4);
        ca410BlackCalibration(dev);
        ca410DeleteCalfile(dev, arg % 100);
        ca410DeviceReset(dev);
        ca410_measure(dev, arg % 3, xyz);
        ca410_get_state(dev, arg % CA410_CFG_COUNT);
        ca410_get_range(dev, arg & 1);
        ca410_ch_info(dev, arg % 100, arg & 1 ? 7 : 0);
        break;
    }
    ca410DeviceRelease(dev);
    // A caller that goes on with the released handle must be refused, not
    // served from freed memory.
    if (ca410MeasureXYZ(dev, xyz) != 50 || ca410DeviceRelease(dev) != 0)
        std::abort();
    return 0;
}
