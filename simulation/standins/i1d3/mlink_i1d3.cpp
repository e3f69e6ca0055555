// Stand-in i1Display Pro library: the calls the program makes, answered by one
// simulated instrument that tests steer through i1d3SimControl.

#include "mlink_i1d3.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

static_assert(offsetof(i1d3_devinfo, serial) == 34, "device information layout");
static_assert(offsetof(i1d3_devinfo, firmware) == 66, "device information layout");
static_assert(offsetof(i1d3_devinfo, firmware_date) == 98, "device information layout");
static_assert(offsetof(i1d3_status, led_state) == 4, "status layout");
static_assert(offsetof(i1d3_status, int_time) == 8, "status layout");
static_assert(offsetof(i1d3_calnode, name) == 4, "calibration list layout");
static_assert(offsetof(i1d3_calnode, next) == 24, "calibration list layout");
static_assert(offsetof(i1d3_calfile, name) == 4, "calibration record layout");
static_assert(offsetof(i1d3_calfile, matrix) == 24, "calibration record layout");

struct i1d3_dev {
    bool initialised = false;
    int32_t logLevel = 0;
};

namespace {

enum Function {
    DeviceOpen,
    DeviceInit,
    DeviceRelease,
    GetDeviceInfo,
    GetStatusInfo,
    SetIntegrationTime,
    SetLedState,
    ReadDiffuserPosition,
    MeasureXYZ,
    GetUsrdataEnableState,
    GetCallist,
    ReleaseCallist,
    GetCalfile,
    SaveCalfile,
    DeleteCalfile,
    FunctionCount
};

const char* const functionNames[FunctionCount] = {
    "i1d3DeviceOpen",         "i1d3DeviceInit",           "i1d3DeviceRelease",
    "i1d3GetDeviceInfo",      "i1d3GetStatusInfo",        "i1d3SetIntegrationTime",
    "i1d3SetLedState",        "i1d3ReadDiffuserPosition", "i1d3MeasureXYZ",
    "i1d3GetUsrdataEnableState", "i1d3GetCallist",        "i1d3ReleaseCallist",
    "i1d3GetCalfile",         "i1d3SaveCalfile",          "i1d3DeleteCalfile",
};

struct Failure {
    int32_t code = I1D3_OK;
    int64_t remaining = 0;
};

struct Slot {
    bool used = false;
    char name[I1D3_NAME_SIZE] = {};
    double matrix[3][3] = {};
};

struct Instrument {
    double patch[3] = {95.05, 100.0, 108.9};
    void (*patchSource)(void*, double*) = nullptr;
    void* patchContext = nullptr;
    int64_t readingTime = 200;
    double timeScale = 1.0;
    int32_t usrEnabled = 1;
    int32_t led = 0;
    int32_t diffuser = 0;
    double integrationTime = 0.2;
    int64_t clock = 0;
    Slot slots[I1D3_CAL_SLOTS];
    Failure failures[FunctionCount];
    int64_t calls[FunctionCount] = {};
    std::vector<i1d3_dev*> devices;
};

std::mutex mutex;
Instrument sim;

void resetLocked()
{
    for (i1d3_dev* dev : sim.devices)
        delete dev;
    sim = Instrument();
}

int functionIndex(const char* name, size_t size)
{
    if (!name || !memchr(name, '\0', size))
        return -1;
    for (int i = 0; i < FunctionCount; ++i) {
        if (strcmp(name, functionNames[i]) == 0)
            return i;
    }
    return -1;
}

bool isOpen(const i1d3_dev* dev)
{
    return dev && std::find(sim.devices.begin(), sim.devices.end(), dev) != sim.devices.end();
}

// The common entry of every call on an open device: counts it, then refuses an
// unknown handle, an injected failure or a device not yet initialised.
int32_t enter(Function fn, const i1d3_dev* dev, bool needsInit = true)
{
    ++sim.calls[fn];
    if (!isOpen(dev))
        return I1D3_ERR_BAD_ARGS;
    Failure& failure = sim.failures[fn];
    if (failure.remaining > 0) {
        --failure.remaining;
        return failure.code;
    }
    if (needsInit && !dev->initialised)
        return I1D3_ERR_NOT_INITIALISED;
    return I1D3_OK;
}

// Copies at most size - 1 characters and always terminates.
void copyText(char* to, size_t size, const char* from)
{
    const size_t length = strnlen(from, size - 1);
    memcpy(to, from, length);
    to[length] = '\0';
}

bool validSlot(int32_t index)
{
    return index >= 0 && index < I1D3_CAL_SLOTS;
}

} // namespace

extern "C" {

int32_t i1d3DeviceOpen(i1d3_dev** handle, const char* /*port*/, int32_t log_level)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++sim.calls[DeviceOpen];
    if (!handle)
        return I1D3_ERR_BAD_ARGS;
    *handle = nullptr;
    Failure& failure = sim.failures[DeviceOpen];
    if (failure.remaining > 0) {
        --failure.remaining;
        return failure.code;
    }
    auto* dev = new i1d3_dev;
    dev->logLevel = log_level;
    sim.devices.push_back(dev);
    *handle = dev;
    return I1D3_OK;
}

int32_t i1d3DeviceInit(i1d3_dev* dev)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(DeviceInit, dev, false);
    if (rv == I1D3_OK)
        dev->initialised = true;
    return rv;
}

int32_t i1d3DeviceRelease(i1d3_dev* dev)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++sim.calls[DeviceRelease];
    const auto it = std::find(sim.devices.begin(), sim.devices.end(), dev);
    if (it == sim.devices.end())
        return I1D3_ERR_BAD_ARGS;
    // Injected failures do not apply: a handle is always given up.
    sim.devices.erase(it);
    delete dev;
    return I1D3_OK;
}

int32_t i1d3GetDeviceInfo(i1d3_dev* dev, i1d3_devinfo* info)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(GetDeviceInfo, dev);
    if (rv != I1D3_OK)
        return rv;
    if (!info)
        return I1D3_ERR_BAD_ARGS;
    memset(info, 0, sizeof(*info));
    copyText(info->product, sizeof(info->product), I1D3_SIM_PRODUCT);
    copyText(info->serial, sizeof(info->serial), I1D3_SIM_SERIAL);
    copyText(info->firmware, sizeof(info->firmware), I1D3_SIM_FIRMWARE);
    copyText(info->firmware_date, sizeof(info->firmware_date), I1D3_SIM_FIRMWARE_DATE);
    return I1D3_OK;
}

int32_t i1d3GetStatusInfo(i1d3_dev* dev, i1d3_status* status)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(GetStatusInfo, dev);
    if (rv != I1D3_OK)
        return rv;
    if (!status)
        return I1D3_ERR_BAD_ARGS;
    status->diffuser_pos = sim.diffuser;
    status->led_state = sim.led;
    status->int_time = sim.integrationTime;
    return I1D3_OK;
}

int32_t i1d3SetIntegrationTime(i1d3_dev* dev, double seconds)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(SetIntegrationTime, dev);
    if (rv != I1D3_OK)
        return rv;
    if (!(seconds > 0.0 && seconds <= 60.0))
        return I1D3_ERR_BAD_ARGS;
    sim.integrationTime = seconds;
    return I1D3_OK;
}

int32_t i1d3SetLedState(i1d3_dev* dev, int32_t state)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(SetLedState, dev);
    if (rv != I1D3_OK)
        return rv;
    if (state != 0 && state != 1)
        return I1D3_ERR_BAD_ARGS;
    sim.led = state;
    return I1D3_OK;
}

int32_t i1d3ReadDiffuserPosition(i1d3_dev* dev, int32_t* position)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(ReadDiffuserPosition, dev);
    if (rv != I1D3_OK)
        return rv;
    if (!position)
        return I1D3_ERR_BAD_ARGS;
    *position = sim.diffuser;
    return I1D3_OK;
}

int32_t i1d3MeasureXYZ(i1d3_dev* dev, double* xyz)
{
    double values[3];
    std::chrono::duration<double, std::milli> wait;
    void (*source)(void*, double*) = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const int32_t rv = enter(MeasureXYZ, dev);
        if (rv != I1D3_OK)
            return rv;
        if (!xyz)
            return I1D3_ERR_BAD_ARGS;
        std::copy(sim.patch, sim.patch + 3, values);
        source = sim.patchSource;
        context = sim.patchContext;
        sim.clock += sim.readingTime;
        wait = std::chrono::duration<double, std::milli>(double(sim.readingTime) * sim.timeScale);
    }
    // Outside the lock: the source may take locks of its own.
    if (source)
        source(context, values);
    // The reading blocks like the instrument's, scaled; the lock is not held so
    // that a test can still steer the instrument meanwhile.
    if (wait.count() > 0.0)
        std::this_thread::sleep_for(wait);
    std::copy(values, values + 3, xyz);
    return I1D3_OK;
}

int32_t i1d3GetUsrdataEnableState(i1d3_dev* dev, int32_t* enabled)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(GetUsrdataEnableState, dev);
    if (rv != I1D3_OK)
        return rv;
    if (!enabled)
        return I1D3_ERR_BAD_ARGS;
    *enabled = sim.usrEnabled;
    return I1D3_OK;
}

int32_t i1d3GetCallist(i1d3_dev* dev, i1d3_calnode** head, int32_t* count)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(GetCallist, dev);
    if (rv != I1D3_OK)
        return rv;
    if (!head || !count)
        return I1D3_ERR_BAD_ARGS;
    *head = nullptr;
    *count = 0;
    if (!sim.usrEnabled)
        return I1D3_ERR_STORAGE_DISABLED;
    i1d3_calnode** tail = head;
    for (int32_t i = 0; i < I1D3_CAL_SLOTS; ++i) {
        if (!sim.slots[i].used)
            continue;
        auto* node = static_cast<i1d3_calnode*>(calloc(1, sizeof(i1d3_calnode)));
        if (!node)
            return I1D3_ERR_INTERNAL; // what was built is the caller's to release
        node->index = i;
        copyText(node->name, sizeof(node->name), sim.slots[i].name);
        *tail = node;
        tail = &node->next;
        ++*count;
    }
    return I1D3_OK;
}

int32_t i1d3ReleaseCallist(i1d3_dev* dev, i1d3_calnode** head)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(ReleaseCallist, dev, false);
    if (rv != I1D3_OK)
        return rv;
    if (!head)
        return I1D3_ERR_BAD_ARGS;
    i1d3_calnode* node = *head;
    while (node) {
        i1d3_calnode* next = node->next;
        free(node);
        node = next;
    }
    *head = nullptr;
    return I1D3_OK;
}

int32_t i1d3GetCalfile(i1d3_dev* dev, int32_t index, i1d3_calfile* calfile)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(GetCalfile, dev);
    if (rv != I1D3_OK)
        return rv;
    if (!calfile || !validSlot(index))
        return I1D3_ERR_BAD_ARGS;
    if (!sim.usrEnabled)
        return I1D3_ERR_STORAGE_DISABLED;
    const Slot& slot = sim.slots[index];
    if (!slot.used)
        return I1D3_ERR_NO_SAVED_DATA;
    memset(calfile, 0, sizeof(*calfile));
    calfile->index = index;
    copyText(calfile->name, sizeof(calfile->name), slot.name);
    memcpy(calfile->matrix, slot.matrix, sizeof(slot.matrix));
    return I1D3_OK;
}

int32_t i1d3SaveCalfile(i1d3_dev* dev, const i1d3_calfile* calfile)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(SaveCalfile, dev);
    if (rv != I1D3_OK)
        return rv;
    if (!calfile || !validSlot(calfile->index) || !memchr(calfile->name, '\0', sizeof(calfile->name)))
        return I1D3_ERR_BAD_ARGS;
    if (!sim.usrEnabled)
        return I1D3_ERR_STORAGE_DISABLED;
    Slot& slot = sim.slots[calfile->index];
    slot.used = true;
    copyText(slot.name, sizeof(slot.name), calfile->name);
    memcpy(slot.matrix, calfile->matrix, sizeof(slot.matrix));
    return I1D3_OK;
}

int32_t i1d3DeleteCalfile(i1d3_dev* dev, int32_t index)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int32_t rv = enter(DeleteCalfile, dev);
    if (rv != I1D3_OK)
        return rv;
    if (!validSlot(index))
        return I1D3_ERR_BAD_ARGS;
    if (!sim.usrEnabled)
        return I1D3_ERR_STORAGE_DISABLED;
    if (!sim.slots[index].used)
        return I1D3_ERR_NO_SAVED_DATA;
    sim.slots[index] = Slot();
    return I1D3_OK;
}

int32_t i1d3SimControl(i1d3_sim_request* request)
{
    if (!request)
        return I1D3_ERR_BAD_ARGS;
    std::lock_guard<std::mutex> lock(mutex);
    switch (request->op) {
    case I1D3_SIM_RESET:
        resetLocked();
        return I1D3_OK;
    case I1D3_SIM_SET_PATCH:
        std::copy(request->data, request->data + 3, sim.patch);
        return I1D3_OK;
    case I1D3_SIM_SET_READING_TIME:
        if (request->value < 0)
            return I1D3_ERR_BAD_ARGS;
        sim.readingTime = request->value;
        return I1D3_OK;
    case I1D3_SIM_SET_TIME_SCALE:
        if (!(request->data[0] >= 0.0 && request->data[0] <= 1.0))
            return I1D3_ERR_BAD_ARGS;
        sim.timeScale = request->data[0];
        return I1D3_OK;
    case I1D3_SIM_SET_USR_ENABLED:
        sim.usrEnabled = int32_t(request->value);
        return I1D3_OK;
    case I1D3_SIM_FAIL:
    case I1D3_SIM_CALLS: {
        const int fn = functionIndex(request->function, sizeof(request->function));
        if (fn < 0)
            return I1D3_ERR_BAD_ARGS;
        if (request->op == I1D3_SIM_CALLS) {
            request->value = sim.calls[fn];
        } else {
            sim.failures[fn].code = request->code;
            sim.failures[fn].remaining = request->code != I1D3_OK ? std::max<int64_t>(request->value, 0) : 0;
        }
        return I1D3_OK;
    }
    case I1D3_SIM_CLOCK:
        request->value = sim.clock;
        return I1D3_OK;
    case I1D3_SIM_LED:
        request->value = sim.led;
        return I1D3_OK;
    case I1D3_SIM_STORE: {
        if (request->value < 0 || request->value >= I1D3_CAL_SLOTS
            || !memchr(request->name, '\0', sizeof(request->name)))
            return I1D3_ERR_BAD_ARGS;
        Slot& slot = sim.slots[request->value];
        slot.used = true;
        copyText(slot.name, sizeof(slot.name), request->name);
        memcpy(slot.matrix, request->data, sizeof(slot.matrix));
        return I1D3_OK;
    }
    case I1D3_SIM_OPEN_DEVICES:
        request->value = int64_t(sim.devices.size());
        return I1D3_OK;
    default:
        return I1D3_ERR_BAD_ARGS;
    }
}

int32_t i1d3SimSetPatchSource(void (*source)(void* context, double* xyz), void* context)
{
    std::lock_guard<std::mutex> lock(mutex);
    sim.patchSource = source;
    sim.patchContext = source ? context : nullptr;
    return I1D3_OK;
}

} // extern "C"
