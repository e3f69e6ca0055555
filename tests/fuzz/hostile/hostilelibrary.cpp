// A hostile outside instrument library. Built once per file name the drivers
// load (HOSTILE_CA410, HOSTILE_K10 or HOSTILE_I1D3 picks the entry points), it
// answers every call from the bytes last handed to hostileSetInput(): result
// codes, record bytes without terminating zeros, raw doubles (NaN, infinities,
// huge values) and calibration lists of any length, with lying counts and
// links that run in a circle.
//
// What it hands out stays its own: a list given back is freed at once (so a
// driver reading it afterwards is caught), and what was never given back is
// freed with the next input. A device handle released twice or used after its
// release aborts; hostileSetInput() reports the handles still open.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#define HOSTILE_API extern "C" __attribute__((visibility("default")))

namespace {

class Source
{
public:
    void set(const uint8_t* data, size_t size)
    {
        bytes.assign(data, data + size);
        pos = 0;
    }

    uint8_t byte() { return pos < bytes.size() ? bytes[pos++] : 0; }

    int32_t int32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(byte()) << (8 * i);
        return static_cast<int32_t>(v);
    }

    double number()
    {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= uint64_t(byte()) << (8 * i);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    // Mostly success, so the fuzzer gets past the first calls; a byte of 0xe0
    // or more is followed by any code at all.
    int32_t code() { return byte() < 0xe0 ? 0 : int32(); }

    // An index that is usually a small slot number but may be anything.
    int32_t index()
    {
        const uint8_t b = byte();
        return b < 0xf0 ? int32_t(b % 100) : int32();
    }

    void fill(void* target, size_t size)
    {
        auto* out = static_cast<uint8_t*>(target);
        for (size_t i = 0; i < size; ++i)
            out[i] = byte();
    }

private:
    std::vector<uint8_t> bytes;
    size_t pos = 0;
};

Source in;

// Open device handles; each is a fresh allocation so a stale one is noticed.
std::set<void*> liveHandles;

void* openHandle()
{
    // A successful open may still hand out no handle at all.
    if (in.byte() == 0xee)
        return nullptr;
    void* handle = std::malloc(1);
    liveHandles.insert(handle);
    return handle;
}

void checkHandle(void* handle)
{
    if (handle && !liveHandles.count(handle))
        std::abort(); // used after its release, or never handed out
}

void releaseHandle(void* handle)
{
    if (!handle)
        return;
    if (!liveHandles.erase(handle))
        std::abort(); // released twice
    std::free(handle);
}

// The drivers check a slot before they ask the library about it; the CA-410
// has none, so its calls pass the whole range.
void checkSlot(int32_t index, int32_t last)
{
    if (index < 0 || index > last)
        std::abort();
}

// Most calls: a known handle (and slot), a result code, then what they fill in.
int32_t answer(void* handle, int32_t slot = 0, int32_t lastSlot = INT32_MAX)
{
    checkSlot(slot, lastSlot);
    checkHandle(handle);
    return in.code();
}

int32_t answerFilling(void* handle, void* target, size_t size, int32_t slot = 0, int32_t lastSlot = INT32_MAX)
{
    const int32_t rv = answer(handle, slot, lastSlot);
    in.fill(target, size);
    return rv;
}

void readXYZ(double* xyz)
{
    for (int i = 0; i < 3; ++i)
        xyz[i] = in.number();
}

int32_t answerXYZ(void* handle, double* xyz)
{
    const int32_t rv = answer(handle);
    readXYZ(xyz);
    return rv;
}

int32_t openDevice(void** handle)
{
    const int32_t rv = in.code();
    if (handle)
        *handle = rv == 0 ? openHandle() : nullptr;
    return rv;
}

int32_t releaseDevice(void* handle)
{
    releaseHandle(handle);
    return in.code();
}

// A record the driver hands in: its name zero-terminated, its slot valid.
template <typename Record>
int32_t takeRecord(void* handle, const Record& record, int32_t lastSlot)
{
    checkHandle(handle);
    if (!std::memchr(record.name, 0, sizeof record.name))
        std::abort();
    checkSlot(record.index, lastSlot);
    return in.code();
}

// Lists handed out and not given back yet.
template <typename Node, int32_t Node::*Index>
struct ListPool {
    std::vector<std::unique_ptr<Node[]>> lists;

    // A list of up to 255 entries with names filling their whole field; its
    // last link may lead back into the list.
    Node* make(int32_t* count)
    {
        const int length = in.byte();
        if (count)
            *count = in.byte() == 0xdd ? in.int32() : length;
        if (length == 0)
            return nullptr;
        std::unique_ptr<Node[]> nodes(new Node[size_t(length)]());
        for (int i = 0; i < length; ++i) {
            nodes[i].*Index = in.index();
            in.fill(nodes[i].name, sizeof nodes[i].name);
            nodes[i].next = i + 1 < length ? &nodes[i + 1] : nullptr;
        }
        const uint8_t loop = in.byte();
        if (loop & 0x80)
            nodes[length - 1].next = &nodes[(loop & 0x7f) % length];
        Node* head = nodes.get();
        lists.push_back(std::move(nodes));
        return head;
    }

    // The answer of a call that lists: the code, then the list.
    int32_t answerList(void* handle, Node** head, int32_t* count)
    {
        const int32_t rv = answer(handle);
        *head = make(count);
        return rv;
    }

    // Frees the list *head starts, if it is one handed out; anything else is
    // left alone. Giving back twice or giving back nothing is harmless.
    int32_t give(Node** head, void* handle = nullptr)
    {
        checkHandle(handle);
        if (head) {
            for (auto it = lists.begin(); it != lists.end(); ++it) {
                if (it->get() == *head) {
                    lists.erase(it);
                    break;
                }
            }
            *head = nullptr;
        }
        return in.code();
    }

    void clear() { lists.clear(); }
};

} // namespace

// An entry point whose whole work is the answer given, taking the parameters
// that follow it.
#define HOSTILE_ENTRY(name, answer, ...) \
    HOSTILE_API int32_t name(__VA_ARGS__) \
    {                                     \
        return answer;                    \
    }

#if defined(HOSTILE_CA410)

#include "mlink_ca410.h"

namespace {
ListPool<ca410_calitem, &ca410_calitem::channel> pool;

int32_t openCa410(ca410_dev** handle)
{
    void* opened = nullptr;
    const int32_t rv = openDevice(&opened);
    if (handle)
        *handle = static_cast<ca410_dev*>(opened);
    return rv;
}

int32_t calibStep(ca410_dev* dev, const double* target, double* measured)
{
    const int32_t rv = answer(dev);
    volatile double sink = target ? target[0] + target[1] + target[2] : 0.0;
    (void)sink;
    if (measured)
        readXYZ(measured);
    return rv;
}

int32_t calibEnd(ca410_dev* dev, const char* name)
{
    checkHandle(dev);
    if (name)
        (void)std::strlen(name);
    return in.code();
}
} // namespace

HOSTILE_ENTRY(ca410DeviceOpen, openCa410(handle), ca410_dev** handle, const char*, int32_t)
HOSTILE_ENTRY(ca410DeviceRelease, releaseDevice(dev), ca410_dev* dev)
HOSTILE_ENTRY(ca410DeviceInit, answer(dev), ca410_dev* dev)
HOSTILE_ENTRY(ca410GetCallist, pool.answerList(dev, list, count), ca410_dev* dev, ca410_calitem** list, int32_t* count)
HOSTILE_ENTRY(ca410DeleteCallist, pool.give(list), ca410_calitem** list)
HOSTILE_ENTRY(ca410GetDeviceInfo, answerFilling(dev, info, sizeof *info), ca410_dev* dev, ca410Info* info)
HOSTILE_ENTRY(ca410GetDeviceStat, answerFilling(dev, stat, sizeof *stat), ca410_dev* dev, ca410Stat* stat)
HOSTILE_ENTRY(ca410GetCalfile, answerFilling(dev, file, sizeof *file), ca410_dev* dev, int32_t, ca410Calfile* file)
HOSTILE_ENTRY(ca410DeleteCalfile, answer(dev), ca410_dev* dev, int32_t)
HOSTILE_ENTRY(ca410MeasureXYZ, answerXYZ(dev, xyz), ca410_dev* dev, double* xyz)
HOSTILE_ENTRY(ca410SetChannel, answer(dev), ca410_dev* dev, int32_t)
HOSTILE_ENTRY(ca410WRGBCalibWhite, calibStep(dev, target, xyz), ca410_dev* dev, const double* target, double* xyz)
HOSTILE_ENTRY(ca410WRGBCalibRed, calibStep(dev, target, xyz), ca410_dev* dev, const double* target, double* xyz)
HOSTILE_ENTRY(ca410WRGBCalibGreen, calibStep(dev, target, xyz), ca410_dev* dev, const double* target, double* xyz)
HOSTILE_ENTRY(ca410WRGBCalibBlue, calibStep(dev, target, xyz), ca410_dev* dev, const double* target, double* xyz)
HOSTILE_ENTRY(ca410WRGBCalibEnd, calibEnd(dev, name), ca410_dev* dev, int32_t, const char* name, int32_t, int32_t,
              int32_t, int32_t)

#elif defined(HOSTILE_K10)

namespace {
// The records as the K-10 library lays them out.
struct K10Info {
    char productName[32];
    char serialNumber[32];
    char firmwareVersion[32];
};
struct K10CalNode {
    char name[20];
    int32_t index;
    K10CalNode* next;
};
struct K10CalRecord {
    int32_t index;
    char name[20];
    double matrix[3][3];
};
static_assert(offsetof(K10CalNode, index) == 20 && offsetof(K10CalNode, next) == 24, "list node layout");
static_assert(offsetof(K10CalRecord, matrix) == 24 && sizeof(K10CalRecord) == 96, "record layout");

ListPool<K10CalNode, &K10CalNode::index> pool;
constexpr int32_t kMaxSlot = 95;
} // namespace

HOSTILE_ENTRY(k10DeviceOpen, openDevice(handle), void** handle, const char*, int32_t)
HOSTILE_ENTRY(k10DeviceRelease, releaseDevice(dev), void* dev)
HOSTILE_ENTRY(k10DeviceInit, answer(dev), void* dev)
HOSTILE_ENTRY(k10DeviceGetList, pool.answerList(dev, head, nullptr), void* dev, K10CalNode** head)
HOSTILE_ENTRY(k10DeviceReleaseList, pool.give(head), K10CalNode** head)
HOSTILE_ENTRY(k10DeviceGetInfo, answerFilling(dev, info, sizeof *info), void* dev, K10Info* info)
HOSTILE_ENTRY(k10GetCalibrationMatrix, answerFilling(dev, record, sizeof *record, index, kMaxSlot), void* dev,
              int32_t index, K10CalRecord* record)
HOSTILE_ENTRY(k10SaveCalibrationMatrix, takeRecord(dev, record, kMaxSlot), void* dev, K10CalRecord record)
HOSTILE_ENTRY(k10DeleteCalibrationMatrix, answer(dev, index, kMaxSlot), void* dev, int32_t index)
HOSTILE_ENTRY(k10MeasureXYZ, answerXYZ(dev, xyz), void* dev, double* xyz)

#elif defined(HOSTILE_I1D3)

namespace {
// The records as the i1Display Pro library lays them out.
struct DeviceInfo {
    char product[34];
    char serial[32];
    char firmware[32];
    char firmwareDate[32];
};
struct Status {
    int32_t diffuserPosition;
    int32_t ledState;
    double integrationTime;
};
struct CalNode {
    int32_t index;
    char name[20];
    CalNode* next;
};
struct CalRecord {
    int32_t index;
    char name[20];
    double matrix[3][3];
};
static_assert(offsetof(DeviceInfo, firmwareDate) == 98, "device information layout");
static_assert(offsetof(CalNode, next) == 24 && offsetof(CalRecord, matrix) == 24, "list and record layout");

ListPool<CalNode, &CalNode::index> pool;
constexpr int32_t kMaxSlot = 17;

int32_t answerInt(void* handle, int32_t* value)
{
    const int32_t rv = answer(handle);
    *value = in.int32();
    return rv;
}
} // namespace

HOSTILE_ENTRY(i1d3DeviceOpen, openDevice(handle), void** handle, const char*, int32_t)
HOSTILE_ENTRY(i1d3DeviceInit, answer(dev), void* dev)
HOSTILE_ENTRY(i1d3DeviceRelease, releaseDevice(dev), void* dev)
HOSTILE_ENTRY(i1d3GetDeviceInfo, answerFilling(dev, info, sizeof *info), void* dev, DeviceInfo* info)
HOSTILE_ENTRY(i1d3GetStatusInfo, answerFilling(dev, status, sizeof *status), void* dev, Status* status)
HOSTILE_ENTRY(i1d3SetIntegrationTime, answer(dev), void* dev, double)
HOSTILE_ENTRY(i1d3SetLedState, answer(dev), void* dev, int32_t)
HOSTILE_ENTRY(i1d3ReadDiffuserPosition, answerInt(dev, position), void* dev, int32_t* position)
HOSTILE_ENTRY(i1d3MeasureXYZ, answerXYZ(dev, xyz), void* dev, double* xyz)
HOSTILE_ENTRY(i1d3GetUsrdataEnableState, answerInt(dev, enabled), void* dev, int32_t* enabled)
HOSTILE_ENTRY(i1d3GetCallist, pool.answerList(dev, head, count), void* dev, CalNode** head, int32_t* count)
HOSTILE_ENTRY(i1d3ReleaseCallist, pool.give(head, dev), void* dev, CalNode** head)
HOSTILE_ENTRY(i1d3GetCalfile, answerFilling(dev, record, sizeof *record, index, kMaxSlot), void* dev, int32_t index,
              CalRecord* record)
HOSTILE_ENTRY(i1d3SaveCalfile, takeRecord(dev, *record, kMaxSlot), void* dev, const CalRecord* record)
HOSTILE_ENTRY(i1d3DeleteCalfile, answer(dev, index, kMaxSlot), void* dev, int32_t index)

#else
#error "no library chosen"
#endif

// Sets the bytes the next calls answer from, frees the lists not given back and
// returns how many device handles were still open (and closes them).
HOSTILE_API int hostileSetInput(const uint8_t* data, size_t size)
{
    in.set(data, size);
    pool.clear();
    const int open = int(liveHandles.size());
    for (void* handle : liveHandles)
        std::free(handle);
    liveHandles.clear();
    return open;
}
