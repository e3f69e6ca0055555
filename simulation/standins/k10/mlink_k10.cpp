// The simulated K-10 behind the stand-in library. One instrument per process;
// every handle opened talks to it. All state is guarded by one mutex, released
// while a reading takes its time.
#include "mlink_k10.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

static_assert(offsetof(k10Info, serial_number) == 32 && offsetof(k10Info, firmware_version) == 64,
              "device information layout");
static_assert(offsetof(k10CalNode, index) == 20 && offsetof(k10CalNode, next) == 24, "list node layout");
static_assert(offsetof(k10CalRecord, name) == 4 && offsetof(k10CalRecord, matrix) == 24
                  && sizeof(k10CalRecord) == 96,
              "calibration record layout");

struct k10_dev {
    std::string port;
    bool initialised = false;
};

namespace {

// Slots past 95 exist only so tests can make the instrument report one.
constexpr int kSimSlots = 128;
constexpr size_t kMaxCommand = 1024;

struct Slot {
    bool used = false;
    std::string name;
    double matrix[3][3] = {};
};

struct Fault {
    int32_t code = 0;
    int times = 0;
};

struct Instrument {
    std::string product = "K-10";
    std::string serial = "K10SIM0001";
    std::string firmware = "2.01";
    double xyz[3] = {95.05, 100.0, 108.88};
    void (*patchSource)(void*, double*) = nullptr;
    void* patchContext = nullptr;
    int readingMs = 500;
    int replyMs = 0;
    double scale = 1.0;
    // Instrument milliseconds spent in readings and replies.
    long long clockMs = 0;
    std::array<Slot, kSimSlots> slots{};
    std::map<std::string, Fault> faults;
    std::map<std::string, int> calls;
    std::set<const k10_dev*> open;
    int badHandles = 0;
    // Lists handed out link their last node back to the first, as a corrupt
    // list from a faulty library would.
    bool cyclic = false;
};

std::mutex mutex;
Instrument sim;
// The nodes of every list handed out and not yet given back, by head. Freed
// from here rather than by following the links, which may run in a circle.
std::map<const k10CalNode*, std::vector<k10CalNode*>> lists;

// Counts the call and answers an injected fault, if one is due.
int32_t enter(const char* function)
{
    ++sim.calls[function];
    const auto it = sim.faults.find(function);
    if (it == sim.faults.end() || it->second.times == 0)
        return K10_OK;
    if (it->second.times > 0)
        --it->second.times;
    return it->second.code;
}

// The real time that many instrument milliseconds take, now on the clock.
std::chrono::microseconds spend(long long instrumentMs)
{
    sim.clockMs += instrumentMs;
    return std::chrono::microseconds(std::llround(double(instrumentMs) * sim.scale * 1000.0));
}

std::chrono::microseconds replies(int count)
{
    return spend(static_cast<long long>(sim.replyMs) * count);
}

// Waits, without the lock, for the replies a call has had, then answers.
int32_t answer(int32_t code, std::chrono::microseconds wait)
{
    if (wait.count() > 0)
        std::this_thread::sleep_for(wait);
    return code;
}

bool valid(const k10_dev* dev)
{
    if (dev && sim.open.count(dev))
        return true;
    ++sim.badHandles;
    return false;
}

// Copies text into a field of size bytes, always zero-terminated.
void copyField(char* field, size_t size, const std::string& text)
{
    const size_t n = text.size() < size ? text.size() : size - 1;
    memcpy(field, text.data(), n);
    memset(field + n, 0, size - n);
}

// Hands out a list of the stored matrices, with the lock held.
int32_t listSlots(k10CalNode** head, std::chrono::microseconds* wait)
{
    std::vector<k10CalNode*> nodes;
    for (int i = 0; i < kSimSlots; ++i) {
        const Slot& slot = sim.slots[size_t(i)];
        if (!slot.used)
            continue;
        auto* node = new (std::nothrow) k10CalNode{};
        if (!node) {
            for (k10CalNode* made : nodes)
                delete made;
            return int32_t(K10_ERR_MEMORY);
        }
        copyField(node->name, sizeof node->name, slot.name);
        node->index = i;
        if (!nodes.empty())
            nodes.back()->next = node;
        nodes.push_back(node);
    }
    // The instrument answers once per matrix it lists, once when it has none.
    *wait = replies(nodes.empty() ? 1 : int(nodes.size()));
    if (nodes.empty()) {
        *head = nullptr;
        return K10_OK;
    }
    if (sim.cyclic)
        nodes.back()->next = nodes.front();
    *head = nodes.front();
    lists[nodes.front()] = std::move(nodes);
    return K10_OK;
}

int32_t control(const std::string& line)
{
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "reset") {
        // Open handles stay valid: they belong to the caller.
        std::set<const k10_dev*> open = std::move(sim.open);
        sim = Instrument{};
        sim.open = std::move(open);
        return 0;
    }
    if (word == "patch") {
        double v[3];
        if (!(in >> v[0] >> v[1] >> v[2]))
            return -1;
        memcpy(sim.xyz, v, sizeof v);
        return 0;
    }
    if (word == "reading") {
        int ms = 0;
        if (!(in >> ms) || ms < 0)
            return -1;
        sim.readingMs = ms;
        return 0;
    }
    if (word == "reply") {
        int ms = 0;
        if (!(in >> ms) || ms < 0)
            return -1;
        sim.replyMs = ms;
        return 0;
    }
    if (word == "clock")
        return int32_t(std::min<long long>(sim.clockMs, INT32_MAX));
    if (word == "clear") {
        int index = -1;
        if (!(in >> index) || index < 0 || index >= kSimSlots)
            return -1;
        sim.slots[size_t(index)] = Slot{};
        return 0;
    }
    if (word == "scale") {
        double f = 0;
        if (!(in >> f) || !(f >= 0.0) || f > 1.0)
            return -1;
        sim.scale = f;
        return 0;
    }
    if (word == "identity") {
        std::string product, serial, firmware;
        if (!(in >> product >> serial >> firmware))
            return -1;
        sim.product = product;
        sim.serial = serial;
        sim.firmware = firmware;
        return 0;
    }
    if (word == "fail") {
        std::string function;
        Fault fault;
        fault.times = 1;
        if (!(in >> function >> fault.code))
            return -1;
        if (!(in >> fault.times))
            fault.times = 1;
        sim.faults[function] = fault;
        return 0;
    }
    if (word == "store") {
        int index = -1;
        std::string name;
        Slot slot;
        if (!(in >> index >> name) || index < 0 || index >= kSimSlots)
            return -1;
        for (auto& row : slot.matrix)
            for (double& value : row)
                if (!(in >> value))
                    return -1;
        slot.used = true;
        slot.name = name;
        sim.slots[size_t(index)] = slot;
        return 0;
    }
    if (word == "stored") {
        int index = -1;
        if (!(in >> index) || index < 0 || index >= kSimSlots)
            return -1;
        return sim.slots[size_t(index)].used ? 1 : 0;
    }
    if (word == "calls") {
        std::string function;
        if (!(in >> function))
            return -1;
        const auto it = sim.calls.find(function);
        return it == sim.calls.end() ? 0 : it->second;
    }
    if (word == "cyclic") {
        sim.cyclic = true;
        return 0;
    }
    if (word == "lists")
        return int32_t(lists.size());
    if (word == "badhandles")
        return sim.badHandles;
    if (word == "open")
        return int32_t(sim.open.size());
    return -1;
}

} // namespace

extern "C" {

int32_t k10DeviceOpen(k10_dev** handle, const char* port, int32_t level)
{
    (void)level;  // the simulation keeps no log
    std::lock_guard<std::mutex> lock(mutex);
    if (const int32_t fault = enter(__func__))
        return fault;
    if (!handle || !port || !port[0])
        return K10_ERR_ARGS;
    auto* dev = new (std::nothrow) k10_dev;
    if (!dev)
        return K10_ERR_MEMORY;
    dev->port = port;
    sim.open.insert(dev);
    *handle = dev;
    return K10_OK;
}

int32_t k10DeviceRelease(k10_dev* dev)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++sim.calls[__func__];
    if (!valid(dev))
        return K10_ERR_HANDLE;
    sim.open.erase(dev);
    delete dev;
    return K10_OK;
}

int32_t k10DeviceInit(k10_dev* dev)
{
    std::chrono::microseconds wait{0};
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (const int32_t fault = enter(__func__))
            return fault;
        if (!valid(dev))
            return K10_ERR_HANDLE;
        dev->initialised = true;
        wait = replies(1);
    }
    return answer(K10_OK, wait);
}

int32_t k10DeviceGetInfo(k10_dev* dev, k10Info* info)
{
    std::chrono::microseconds wait{0};
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (const int32_t fault = enter(__func__))
            return fault;
        if (!valid(dev))
            return K10_ERR_HANDLE;
        if (!info)
            return K10_ERR_ARGS;
        if (!dev->initialised)
            return K10_ERR_NOT_INIT;
        copyField(info->product_name, sizeof info->product_name, sim.product);
        copyField(info->serial_number, sizeof info->serial_number, sim.serial);
        copyField(info->firmware_version, sizeof info->firmware_version, sim.firmware);
        wait = replies(1);
    }
    return answer(K10_OK, wait);
}

int32_t k10MeasureXYZ(k10_dev* dev, double* xyz)
{
    std::chrono::microseconds duration{0};
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (const int32_t fault = enter(__func__))
            return fault;
        if (!valid(dev))
            return K10_ERR_HANDLE;
        if (!xyz)
            return K10_ERR_ARGS;
        if (!dev->initialised)
            return K10_ERR_NOT_INIT;
        duration = spend(sim.readingMs) + replies(1);
    }
    std::this_thread::sleep_for(duration);
    // The patch seen at the end of the reading is the one reported.
    double values[3];
    void (*source)(void*, double*) = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        memcpy(values, sim.xyz, sizeof values);
        source = sim.patchSource;
        context = sim.patchContext;
    }
    // Outside the lock: the source may take locks of its own.
    if (source)
        source(context, values);
    memcpy(xyz, values, sizeof values);
    return K10_OK;
}

int32_t k10DeviceGetList(k10_dev* dev, k10CalNode** head)
{
    // Named here: inside the lambda __func__ is the lambda's own.
    const char* const function = __func__;
    std::chrono::microseconds wait{0};
    const int32_t code = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        if (const int32_t fault = enter(function))
            return fault;
        if (!valid(dev))
            return int32_t(K10_ERR_HANDLE);
        if (!head)
            return int32_t(K10_ERR_ARGS);
        return listSlots(head, &wait);
    }();
    return answer(code, wait);
}

int32_t k10DeviceReleaseList(k10CalNode** head)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++sim.calls[__func__];
    if (!head)
        return K10_ERR_ARGS;
    if (!*head)
        return K10_OK;
    const auto it = lists.find(*head);
    if (it == lists.end())
        return K10_ERR_ARGS;
    for (k10CalNode* node : it->second)
        delete node;
    lists.erase(it);
    *head = nullptr;
    return K10_OK;
}
int32_t k10GetCalibrationMatrix(k10_dev* dev, int32_t index, k10CalRecord* record)
{
    // Named here: inside the lambda __func__ is the lambda's own.
    const char* const function = __func__;
    std::chrono::microseconds wait{0};
    const int32_t code = [&]() -> int32_t {
        std::lock_guard<std::mutex> lock(mutex);
        if (const int32_t fault = enter(function))
            return fault;
        if (!valid(dev))
            return K10_ERR_HANDLE;
        if (!record)
            return K10_ERR_ARGS;
        if (index < 0 || index > K10_MAX_SLOT)
            return K10_ERR_SLOT;
        const Slot& slot = sim.slots[size_t(index)];
        if (!slot.used)
            return K10_ERR_EMPTY;
        record->index = index;
        copyField(record->name, sizeof record->name, slot.name);
        memcpy(record->matrix, slot.matrix, sizeof slot.matrix);
        wait = replies(1);
        return K10_OK;
    }();
    return answer(code, wait);
}

int32_t k10SaveCalibrationMatrix(k10_dev* dev, k10CalRecord record)
{
    // Named here: inside the lambda __func__ is the lambda's own.
    const char* const function = __func__;
    std::chrono::microseconds wait{0};
    const int32_t code = [&]() -> int32_t {
        std::lock_guard<std::mutex> lock(mutex);
        if (const int32_t fault = enter(function))
            return fault;
        if (!valid(dev))
            return K10_ERR_HANDLE;
        if (record.index < 0 || record.index > K10_MAX_SLOT)
            return K10_ERR_SLOT;
        Slot& slot = sim.slots[size_t(record.index)];
        slot.used = true;
        slot.name.assign(record.name, strnlen(record.name, sizeof record.name));
        memcpy(slot.matrix, record.matrix, sizeof slot.matrix);
        wait = replies(1);
        return K10_OK;
    }();
    return answer(code, wait);
}

int32_t k10DeleteCalibrationMatrix(k10_dev* dev, int32_t index)
{
    // Named here: inside the lambda __func__ is the lambda's own.
    const char* const function = __func__;
    std::chrono::microseconds wait{0};
    const int32_t code = [&]() -> int32_t {
        std::lock_guard<std::mutex> lock(mutex);
        if (const int32_t fault = enter(function))
            return fault;
        if (!valid(dev))
            return K10_ERR_HANDLE;
        if (index < 0 || index > K10_MAX_SLOT)
            return K10_ERR_SLOT;
        Slot& slot = sim.slots[size_t(index)];
        if (!slot.used)
            return K10_ERR_EMPTY;
        slot = Slot{};
        wait = replies(1);
        return K10_OK;
    }();
    return answer(code, wait);
}

int32_t k10SimControl(const char* command)
{
    if (!command)
        return -1;
    const std::string line(command, strnlen(command, kMaxCommand));
    std::lock_guard<std::mutex> lock(mutex);
    return control(line);
}

int32_t k10SimSetPatchSource(void (*source)(void* context, double* xyz), void* context)
{
    std::lock_guard<std::mutex> lock(mutex);
    sim.patchSource = source;
    sim.patchContext = source ? context : nullptr;
    return K10_OK;
}

} // extern "C"
