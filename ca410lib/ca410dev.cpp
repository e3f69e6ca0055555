// The library's model of one connected CA-410: finding and opening it, and one
// operation per instrument function, each a checked sequence of command
// exchanges that keeps the device record current.
#include "ca410dev.h"
#include "cnumber.h"
#include "mlink_ca410.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <vector>

namespace {

// The records handed out and not yet released.
std::vector<const ca410_dev *> &live_devices()
{
    static std::vector<const ca410_dev *> devices;
    return devices;
}

enum {
    IDO = 1,
    RST = 2,
    STR = 19,
    RGS = 20,
    RGR = 21,
    TDR = 25,
    UCS = 26,
    UWT = 27,
    ETR = 31,
    MDD = 35,
    MES = 38,
};

enum {
    Ok = 0,
    ErrInvalidCommand = 19,
    ErrBadValue = 37,
    ErrParse = 48,
    ErrArgs = 50,
    ErrShort = 52,
    ErrNoMemory = -1,
};

// Setting indices of cfgs with an operation of their own.
enum {
    CfgDisplayMode = 0,
    CfgSyncMode = 1,
    CfgChannel = 2,
    CfgChannelName = 3,
    CfgLumUnit = 4,
    CfgSpeed = 5,
    CfgProbeDisplay = 6,
    CfgProbeOutput = 7,
    CfgTemperature = 8,
    CfgExtSync = 9,
    CfgManualTime = 10,
    CfgTriggerMode = 11,
    CfgTriggerDelay = 12,
    CfgZeroCal = 13,
    CfgSimultaneous = 14,
    CfgIntFreq = 15,
};

enum { MaxFields = 64, TdrFields = 41, ScanSlots = 8, Timeout = 1000 };

// Splits text in place at commas. Empty fields are skipped, so a run of commas
// counts as one; at most max fields are kept.
int split_fields(char *text, char **fields, int max)
{
    int n = 0;
    char *save = nullptr;
    for (char *f = strtok_r(text, ",", &save); f && n < max; f = strtok_r(nullptr, ",", &save))
        fields[n++] = f;
    return n;
}

// Splits text in place at every comma, keeping empty fields, for replies in
// which a missing value must not let the next one take its place.
int split_all_fields(char *text, char **fields, int max)
{
    int n = 0;
    for (char *f = text; f && n < max;) {
        fields[n++] = f;
        f = strchr(f, ',');
        if (f)
            *f++ = '\0';
    }
    return n;
}

// A decimal integer that is the whole field, as the display mode of a reading.
bool read_whole_int(const char *text, long *value)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    const long v = strtol(text, &end, 10);
    if (*end != '\0')
        return false;
    *value = v;
    return true;
}

// A value of a diagnostic log line: NaN shows what did not parse.
double logged_value(const char *text)
{
    double v = NAN;
    return c_parse_double(text, &v) ? v : NAN;
}

// Integers in replies follow the base of their prefix (a leading zero is octal).
long read_int(const char *text)
{
    return strtol(text, nullptr, 0);
}

// Copies at most max characters and always terminates within size.
void copy_text(char *dst, size_t size, const char *src, size_t max)
{
    size_t n = strlen(src);
    if (n > max)
        n = max;
    if (n > size - 1)
        n = size - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
}

void trim_right(char *text)
{
    size_t n = strlen(text);
    while (n > 0 && text[n - 1] == ' ')
        text[--n] = '\0';
}

// A channel name as the instrument keeps it, ready to show: at most 10
// characters without trailing blanks; a blank name becomes "CH<n>".
void channel_name(char *dst, size_t size, const char *src, int32_t channel)
{
    copy_text(dst, size, src, 10);
    trim_right(dst);
    if (!dst[0])
        snprintf(dst, size, "CH%d", channel);
}

// "CH05" reads as 5: two letters, then two digits of which a leading 0 is skipped.
int32_t tdr_channel(const char *field)
{
    if (strlen(field) < 3)
        return -1;
    return static_cast<int32_t>(strtol(field[2] == '0' ? field + 3 : field + 2, nullptr, 10));
}

// Texts go into comma-separated, carriage-return terminated commands: a comma
// or control character would split the command or start another one.
bool safe_text(const char *text)
{
    for (const auto *c = reinterpret_cast<const unsigned char *>(text); *c; ++c)
        if (*c < 32 || *c == 127 || *c == ',')
            return false;
    return true;
}

const char *field_or_empty(char **fields, int count, int index)
{
    return index < count ? fields[index] : "";
}

} // namespace

bool ca410_dev_live(const ca410_dev *dev)
{
    const auto &devices = live_devices();
    return dev && std::find(devices.begin(), devices.end(), dev) != devices.end();
}

int32_t ca410_dev_probe(const char *const *paths, int32_t npaths, char **names, int32_t max, int32_t *count)
{
    if (!names || !count || max <= 0 || npaths < 0 || (npaths > 0 && !paths)) {
        cloge(glog, 0, "[ca410_dev_scan]: invalid args\n");
        return -1;
    }
    *count = 0;
    for (int32_t i = 0; i < npaths; ++i) {
        if (!paths[i])
            continue;
        ser_com *port = new_ser_com(paths[i]);
        if (!port)
            continue;
        if (*count < max && ser_com_check_ca410(port) == 0) {
            if (char *copy = strdup(paths[i]))
                names[(*count)++] = copy;
        }
        ser_com_del(port);
    }
    return 0;
}

int32_t ca410_dev_scan(char **names, int32_t max, int32_t *count)
{
    if (!names || !count || max <= 0) {
        cloge(glog, 0, "[ca410_dev_scan]: invalid args\n");
        return -1;
    }
    *count = 0;
    char *paths[ScanSlots] = {};
    const int32_t err = get_serial_path(paths, ScanSlots);
    if (err < 0) {
        cloge(glog, 0, "[ca410_dev_scan]: get_serial_path err\n");
        return err;
    }
    const char *kept[ScanSlots] = {};
    int32_t nkept = 0;
    for (int32_t i = 0; i < ScanSlots && paths[i]; ++i) {
        clogd(glog, 7, "[ca410_dev_scan]: get path[%d]: [%s]\n", i, paths[i]);
#ifdef __APPLE__
        // The call-out device: the dial-in one would wait for carrier.
        const bool serial = strstr(paths[i], "/dev/cu.") != nullptr;
#else
        // The host enumeration lists USB serial devices only (ttyACM, ttyUSB).
        const bool serial = strncmp(paths[i], "/dev/", 5) == 0;
#endif
        if (serial) {
            clogd(glog, 7, "[ca410_dev_scan]: add sercom[%d] = [%s]\n", nkept, paths[i]);
            kept[nkept++] = paths[i];
        }
    }
    clogd(glog, 7, "[ca410_dev_scan]: add %d coms\n", nkept);
    ca410_dev_probe(kept, nkept, names, max, count);
    for (char *path : paths)
        free(path);
    clogd(glog, 6, "[ca410_dev_scan] scan %d ca410 device\n", *count);
    return 0;
}

ca410_dev *ca410_dev_create(const char *path)
{
    ser_com *port = new_ser_com(path);
    if (!port || !path) {
        ser_com_del(port);
        cloge(glog, 0, "[ca410_dev_create]: new_ser_com err\n");
        return nullptr;
    }
    if (ser_com_setport(port, 3, 10, 3, 2, 3) != 0) {
        ser_com_del(port);
        cloge(glog, 0, "[ca410_dev_create]: ser_com_setport err\n");
        return nullptr;
    }
    return ca410_dev_create_on(port);
}

ca410_dev *ca410_dev_create_on(ser_com *port)
{
    if (!port) {
        cloge(glog, 0, "[ca410_dev_create]: new_ser_com err\n");
        return nullptr;
    }
    auto *dev = static_cast<ca410_dev *>(calloc(1, sizeof(ca410_dev)));
    if (!dev) {
        ser_com_del(port);
        cloge(glog, 0, "[ca410_dev_create]: calloc err\n");
        return nullptr;
    }
    char answer[128];
    int32_t received = 0;
    if (ca410_identity_exchange(port, answer, sizeof answer, &received, 2000) != 0) {
        cloge(glog, 0, "[ca410_dev_create]: ser_com_write_read_ex %s err\n", port->path ? port->path : "");
        ser_com_del(port);
        free(dev);
        return nullptr;
    }
    answer[received] = '\0';
    if (char *cr = strchr(answer, '\r'))
        *cr = '\0';
    static const char identity[] = "OK00,CA-410,";
    if (strlen(answer) < 12 || strncmp(answer, identity, sizeof identity - 1) != 0) {
        ser_com_del(port);
        free(dev);
        cloge(glog, 0, "[ca410_dev_create] get Model len=%d %s err\n", static_cast<int>(strlen(answer)),
              com2fix(answer));
        return nullptr;
    }
    copy_text(dev->name, sizeof dev->name, answer + 5, 6);
    dev->init = 0;
    dev->ser = port;
    live_devices().push_back(dev);
    clogd(glog, 6, "[cri_dev_create]: name=%s\n", dev->name);
    return dev;
}

int32_t ca410_dev_release(ca410_dev *dev)
{
    if (!dev)
        return 0;
    auto &devices = live_devices();
    const auto known = std::find(devices.begin(), devices.end(), dev);
    if (known == devices.end()) {
        cloge(glog, 0, "[ca410_dev_release]: unknown or released handle\n");
        return 0;
    }
    devices.erase(known);
    ser_com_del(dev->ser);
    int freed = 0;
    for (ca410_calitem *item = dev->calitems; item;) {
        ca410_calitem *next = item->next;
        free(item);
        item = next;
        ++freed;
    }
    if (freed)
        clogd(glog, 5, "[ca410_dev_release]: free %d calist\n", freed);
    free(dev);
    clogd(glog, 7, "[ca410_dev_release] done\n");
    return 0;
}

int32_t ca410_set_reset(ca410_dev *dev, int32_t type)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_set_reset]: invalid args\n");
        return ErrArgs;
    }
    if (type < 0 || type > 3) {
        cloge(glog, 0, "[ca410_set_reset]:invalid type = [%d], need [0:3]\r", type);
        return ErrBadValue;
    }
    clogd(glog, 6, "[ca410_set_reset]: reset type [%d] start\n", type);
    char params[16];
    snprintf(params, sizeof params, "0,%d", type);
    char reply[256];
    const int32_t err = ca_command(dev, RST, params, 0, reply, sizeof reply, nullptr, Timeout);
    if (err) {
        cloge(glog, 0, "[ca410_set_reset]: RST cmd err, 0x%x\n", err);
        return err;
    }
    clogd(glog, 6, "[ca410_set_reset]: %d done\n", type);
    return Ok;
}

int32_t ca410_get_firmware_info(ca410_dev *dev)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_get_firmware_info]: invalide args\n");
        return ErrArgs;
    }
    char reply[256];
    const int32_t err = ca_command(dev, IDO, "0,1", 0, reply, sizeof reply, nullptr, Timeout);
    if (err) {
        cloge(glog, 0, "[ca410_get_firmware_info]: IDO cmd err,0x%x\n", err);
        return err;
    }
    char *fields[MaxFields];
    const int n = split_fields(reply, fields, MaxFields);
    for (int i = 0; i < n; ++i)
        clogd(glog, 7, "[ca410_get_firmware_info]: response [%d]:[%s]\n", i, fields[i]);
    if (n < 5) {
        cloge(glog, 0, "[ca410_get_firmware_info]: cannot parse response\n");
        return ErrShort;
    }
    copy_text(dev->vn, sizeof dev->vn, fields[3], 13);
    copy_text(dev->sn, sizeof dev->sn, fields[4], 8);
    copy_text(dev->model, sizeof dev->model, fields[2], 15);
    trim_right(dev->model);
    clogd(glog, 8, "[ca410_get_firmware_info]: model=[%s], vn=[%s], sn=[%s]\n", dev->model, dev->vn, dev->sn);
    return Ok;
}

int32_t ca410_get_state(ca410_dev *dev, int32_t index)
{
    if (!dev || !dev->ser || index < 0 || index >= CA410_CFG_COUNT) {
        cloge(glog, 0, "[ca410_get_state]: invalide args\n");
        return ErrArgs;
    }
    const ca410_cfg &cfg = cfgs[index];
    clogd(glog, 7, "[ca410_get_state]: start (%d) id=[%d]  [%s] \n", index, cfg.id, cfg.name);
    char params[16];
    snprintf(params, sizeof params, "%d", cfg.id);
    char data[256];
    int32_t length = 0;
    const int32_t err = ca_command(dev, STR, params, 0, data, sizeof data, &length, Timeout);
    if (err) {
        cloge(glog, 0, "[ca410_get_state]: STR cmd err, 0x%x\n", err);
        return err;
    }
    // One value: a reply with more fields answers another command.
    if (length <= 0 || !data[0] || strchr(data, ',')) {
        cloge(glog, 0, "[ca410_get_state]: STR,%d  received invalid data\n", cfg.id);
        return ErrShort;
    }
    const auto byte = static_cast<uint8_t>(read_int(data));
    double real = 0;
    const bool decimal = index == CfgTemperature || index == CfgManualTime || index == CfgIntFreq;
    if (decimal && !c_parse_double(data, &real)) {
        cloge(glog, 0, "[ca410_get_state]: STR,%d  received invalid data\n", cfg.id);
        return ErrShort;
    }
    switch (index) {
    case CfgDisplayMode:
        dev->display_mode = byte;
        clogd(glog, 6, "[ca410_get_state]: display_mode = [%d]\n", dev->display_mode);
        break;
    case CfgSyncMode:
        dev->sync_mode = byte;
        clogd(glog, 6, "[ca410_get_state]: sync_mode = [%d]\n", dev->sync_mode);
        break;
    case CfgChannel:
        dev->channel = byte;
        clogd(glog, 6, "[ca410_get_state]: current channel = [%d]\n", dev->channel);
        break;
    case CfgLumUnit:
        dev->lum_unit = byte;
        clogd(glog, 6, "[ca410_get_state]: lum_unit = [%d]\n", dev->lum_unit);
        break;
    case CfgSpeed:
        dev->measure_speed = byte;
        clogd(glog, 6, "[ca410_get_state]: measure_speed = [%d]\n", dev->measure_speed);
        break;
    case CfgProbeDisplay:
        dev->probe_display = byte;
        clogd(glog, 6, "[ca410_get_state]: probe_display = [%d]\n", dev->probe_display);
        break;
    case CfgProbeOutput: {
        // The probe number is a single character; what follows is no part of it.
        const char first[2] = {data[0], '\0'};
        dev->probe_output = static_cast<uint8_t>(read_int(first));
        clogd(glog, 6, "[ca410_get_state]: probe_output = [%d]\n", dev->probe_output);
        break;
    }
    case CfgTemperature:
        dev->temperature_shift = real;
        clogd(glog, 6, "[ca410_get_state]: temperature shift = [%.4f]\n", dev->temperature_shift);
        break;
    case CfgManualTime:
        dev->manual_measure_time = real;
        clogd(glog, 6, "[ca410_get_state]: manual_mode_measure_time = [%.4f] msec\n", dev->manual_measure_time);
        break;
    case CfgTriggerMode:
        dev->trigger_mode = byte;
        clogd(glog, 6, "[ca410_get_state]:  trigger_mode = [%d]\n", dev->trigger_mode);
        break;
    case CfgTriggerDelay:
        dev->trigger_delay = byte;
        clogd(glog, 6, "[ca410_get_state]:  trigger_delay = [%d] msec\n", dev->trigger_delay);
        break;
    case CfgZeroCal:
        dev->zero_cal_status = byte;
        clogd(glog, 6, "[ca410_get_state]: zero_calibration_status = [%d]\n", dev->zero_cal_status);
        break;
    case CfgSimultaneous:
        dev->simultaneous = byte;
        clogd(glog, 6, "[ca410_get_state]: simultaneous measure control = [%d]\n", dev->simultaneous);
        break;
    case CfgIntFreq:
        dev->internal_freq = real;
        clogd(glog, 6, "[ca410_get_state]: internal_freq = [%.4f]Hz\n", dev->internal_freq);
        break;
    default:  // the channel name and the external sync frequency are not kept
        break;
    }
    return Ok;
}

int32_t ca410_set_istate(ca410_dev *dev, int32_t index, int32_t value, const char *text)
{
    if (!dev || !dev->ser || index < 0 || index >= CA410_CFG_COUNT) {
        cloge(glog, 0, "[ca410_set_istate]: invalide args\n");
        return ErrArgs;
    }
    const ca410_cfg &cfg = cfgs[index];
    if (cfg.cmd == 0) {
        cloge(glog, 0, "[ca410_set_istate]: id=[%d]  cmd=[%d] [%s] not accessable\n", cfg.id, cfg.cmd, cfg.name);
        return ErrInvalidCommand;
    }
    const char *prefix = keystr[cfg.cmd];
    clogd(glog, 7, "[ca410_set_istate]: config id[%d] [%s] --> cmd[%d] [%s]\n", cfg.id, cfg.name, cfg.cmd, prefix);

    char params[64];
    snprintf(params, sizeof params, "%d", value);
    int32_t timeout = Timeout;
    const char *params_sent = params;
    switch (index) {
    case CfgSyncMode:
    case CfgExtSync:
    case CfgManualTime:
    case CfgIntFreq:
        if (value < 0 || value > 5) {
            cloge(glog, 0, "[ca410_set_istate]: [%s] invalid args , val = [%d], need [0:5]\n", prefix, value);
            return ErrBadValue;
        }
        if (value >= 4) {
            if (!text || !text[0] || strlen(text) > 6 || !safe_text(text)) {
                cloge(glog, 0, "[ca410_set_istate]: [%s] invalid args, [%s], need 1-6 bytes\n", prefix,
                      text ? com2fix(text) : "(null)");
                return ErrBadValue;
            }
            snprintf(params, sizeof params, "%d,%s", value, text);
        }
        break;
    case CfgChannel:
        if (value < 0 || value > 99) {
            cloge(glog, 0, "[ca410_set_istate]: [%s] invalid num = [%d], need [0:99]\n", prefix, value);
            return ErrBadValue;
        }
        snprintf(params, sizeof params, "1,%d", value);
        break;
    case CfgChannelName: {
        if (value < 0 || value > 99 || !text || !text[0] || !safe_text(text)) {
            cloge(glog, 0, "[ca410_set_istate]: [%s] invalid args, id[%d] name[%s]\n", prefix, value,
                  text ? com2fix(text) : "(null)");
            return ErrBadValue;
        }
        char name[11];
        copy_text(name, sizeof name, text, 10);
        snprintf(params, sizeof params, "01,%02d,%s", value, name);
        break;
    }
    case CfgLumUnit:
        if (value < 0 || value > 1) {
            cloge(glog, 0, "[ca410_set_istate]: [%s] invalid args, val = [%d], need [0:1]\n", prefix, value);
            return ErrBadValue;
        }
        break;
    case CfgProbeDisplay:
        if (value < 1 || value > 10) {
            cloge(glog, 0, "[ca410_set_istate]: [%s] invalid args, val = [%d] ,need [1:10]\n", prefix, value);
            return ErrBadValue;
        }
        break;
    case CfgProbeOutput:
        if (value < 1 || value > 10) {
            cloge(glog, 0, "[ca410_set_istate]: [%s] invalid args, val = [%d] , need[1:10]\n", prefix, value);
            return ErrBadValue;
        }
        break;
    case CfgTriggerDelay:
        if (value < 0 || value > 100) {
            cloge(glog, 0, "[ca410_set_istate]: [%s] invalid args, val = [%d], need [0:100] msec\n", prefix,
                  value);
            return ErrBadValue;
        }
        break;
    case CfgZeroCal:
        // Zero calibration takes its parameters from nothing and needs seconds.
        params_sent = nullptr;
        timeout = 6000;
        break;
    default:
        break;
    }

    char reply[256];
    const int32_t err = ca_command(dev, cfg.cmd, params_sent, 0, reply, sizeof reply, nullptr, timeout);
    if (err) {
        cloge(glog, 0, "[ca410_set_istate]: cmd (%s) err, 0x%x\n", prefix, err);
        return err;
    }
    const auto byte = static_cast<uint8_t>(value);
    switch (index) {
    case CfgDisplayMode:
        dev->display_mode = byte;
        clogd(glog, 6, "[ca410_set_istate]: set display_mode --> [%d]\n", value);
        break;
    case CfgSyncMode:
    case CfgExtSync:
    case CfgManualTime:
    case CfgIntFreq:
        dev->sync_mode = byte;
        clogd(glog, 6, "[ca410_set_istate]: set sync mode --> [%d]\n", value);
        break;
    case CfgChannel:
        dev->channel = byte;
        clogd(glog, 6, "[ca410_set_istate]: set current channel  --> [%d]\n", value);
        break;
    case CfgChannelName:
        clogd(glog, 6, "[ca410_set_istate]: set channel[%d] name [%s]\n", value, text);
        break;
    case CfgLumUnit:
        dev->lum_unit = byte;
        clogd(glog, 6, "[ca410_set_istate]: set luminance unit --> [%d]\n", value);
        break;
    case CfgSpeed:
        dev->measure_speed = byte;
        clogd(glog, 6, "[ca410_set_istate]: set measure_speed --> [%d]\n", value);
        break;
    case CfgProbeDisplay:
        dev->probe_display = byte;
        clogd(glog, 6, "[ca410_set_istate]: set probe_display --> [%d]\n", value);
        break;
    case CfgProbeOutput:
        dev->probe_output = byte;
        clogd(glog, 6, "[ca410_set_istate]: set probe_output --> [%d]\n", value);
        break;
    case CfgTriggerMode:
        dev->trigger_mode = byte;
        clogd(glog, 6, "[ca410_set_istate]: set trigger_mode --> [%d]\n", value);
        break;
    case CfgTriggerDelay:
        dev->trigger_delay = byte;
        clogd(glog, 6, "[ca410_set_istate]: set trigger delay --> [%d] msec\n", value);
        break;
    case CfgSimultaneous:
        dev->simultaneous = byte;
        clogd(glog, 6, "[ca410_set_istate]: set simultaneous measure --> [%d]\n", value);
        break;
    default:  // the zero calibration status is read back by ca410_get_config
        break;
    }
    return Ok;
}

int32_t ca410_get_config(ca410_dev *dev)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_get_config]: invalid args\n");
        return ErrArgs;
    }
    for (int32_t index = 0; index < CA410_CFG_COUNT; ++index) {
        if (index == CfgExtSync && dev->sync_mode != 2) {
            // The external frequency exists only while the sync mode is external.
            cloge(glog, 0, "[ca410_get_config]: External Frequent need 2(Sync Mode), current = [%d]\n",
                  dev->sync_mode);
            continue;
        }
        const int32_t err = ca410_get_state(dev, index);
        if (err) {
            cloge(glog, 0, "[ca410_get_config]: id = [%d], [%s] err, %d\n", index, cfgs[index].name, err);
            return err;
        }
    }
    clogd(glog, 6, "[ca410_get_config]: done\n");
    return Ok;
}

int32_t ca410_get_range(ca410_dev *dev, int32_t type)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_get_range]: invalid args\n");
        return ErrArgs;
    }
    if (type < 0 || type > 1) {
        cloge(glog, 0, "[ca410_get_range]: invalid type=[%d], need [0:1]\n", type);
        return ErrBadValue;
    }
    char params[16];
    snprintf(params, sizeof params, "0,%d", type);
    char reply[64];
    const int32_t err = ca_command(dev, RGR, params, 0, reply, sizeof reply, nullptr, Timeout);
    if (err) {
        cloge(glog, 0, "[ca410_get_range]: RGR cmd err,0x%x\n", err);
        return err;
    }
    char *fields[MaxFields];
    const int n = split_fields(reply, fields, MaxFields);
    for (int i = 0; i < n; ++i)
        clogd(glog, 7, "[ca410_get_range]: (%d) [%s]\n", i, fields[i]);
    long numbers[2] = {};
    if (n < 2 || !read_whole_int(fields[0], &numbers[0]) || !read_whole_int(fields[1], &numbers[1])) {
        cloge(glog, 0, "[ca410_get_range]: cannot parse response\n");
        return ErrShort;
    }
    // Read with the base of their prefix, as every integer of a reply.
    const auto mode = static_cast<uint8_t>(read_int(fields[0]));
    const auto range = static_cast<uint8_t>(read_int(fields[1]));
    if (type == 0) {
        dev->color_range_mode = mode;
        dev->color_range = range;
        clogd(glog, 6, "[ca410_get_range]: color   range = [%d] mode = [%d]\n", range, mode);
    } else {
        dev->flicker_range_mode = mode;
        dev->flicker_range = range;
        clogd(glog, 6, "[ca410_get_range]: flicker range = [%d] mode = [%d]\n", range, mode);
    }
    return Ok;
}

int32_t ca410_set_range(ca410_dev *dev, int32_t type, int32_t mode, int32_t range)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_set_range]: invalid args\n");
        return ErrArgs;
    }
    if (type < 0 || type > 1) {
        cloge(glog, 0, "[ca410_set_range]: invalid type=[%d], need [0:1]\n", type);
        return ErrBadValue;
    }
    if (mode < 0 || mode > 1) {
        cloge(glog, 0, "[ca410_set_range]: invalid mode=[%d], need [0:1]\n", mode);
        return ErrBadValue;
    }
    if (range < 1 || range > (type == 0 ? 6 : 4)) {
        cloge(glog, 0, "[ca410_set_range]: invalid set = [%d], need [1:4]or[1:6]\n", range);
        return ErrBadValue;
    }
    char params[32];
    snprintf(params, sizeof params, "0,%d,%d,%d", type, mode, range);
    char reply[64];
    const int32_t err = ca_command(dev, RGS, params, 0, reply, sizeof reply, nullptr, Timeout);
    if (err) {
        cloge(glog, 0, "[ca410_set_range]: RGR cmd err,0x%x\n", err);
        return err;
    }
    clogd(glog, 6, "[ca410_set_range]: type [%d], mode [%d], range [%d] done\n", type, mode, range);
    return Ok;
}

int32_t ca410_measure(ca410_dev *dev, int32_t format, double *xyz)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_measure]: invalid args\n");
        return ErrArgs;
    }
    return ca410_measure_mode(dev, format, dev->display_mode, xyz);
}

int32_t ca410_measure_mode(ca410_dev *dev, int32_t format, int32_t display_mode, double *xyz)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_measure]: invalid args\n");
        return ErrArgs;
    }
    if (format < 1 || format > 2) {
        cloge(glog, 0, "[ca410_measure]: invalid fmt = [%d], need [1:2]\n", format);
        return ErrBadValue;
    }
    char params[16];
    snprintf(params, sizeof params, "%d", format);
    char reply[128];
    int32_t err = ca_command(dev, MES, params, 0, reply, sizeof reply, nullptr, 3000);
    if (err == 19) {
        cloge(glog, 0, "[ca410_measure]: check zero calibration or command error\n");
        return err;
    }
    if (err == 23) {
        // Over the range once may be a transient: the instrument re-ranges.
        cloge(glog, 0, "[ca410_measure]: out of range, try again\n");
        err = ca_command(dev, MES, params, 0, reply, sizeof reply, nullptr, 1000);
    }
    if (err) {
        cloge(glog, 0, "[ca410_measure]: MES cmd err, 0x%x\n", err);
        return err;
    }
    char copy[sizeof reply];
    copy_text(copy, sizeof copy, reply, sizeof reply);
    // Empty fields are kept: a missing value must not pass for the next one.
    char *fields[MaxFields];
    const int n = split_all_fields(reply, fields, MaxFields);
    long mode = -1;
    double values[3] = {};
    if (n < 7 || !read_whole_int(fields[1], &mode) || !c_parse_double(fields[2], &values[0])
        || !c_parse_double(fields[3], &values[1]) || !c_parse_double(fields[4], &values[2])) {
        cloge(glog, 0, "[ca410_measure]: parse [%s] err\n", copy);
        return ErrParse;
    }
    // Values of another display mode (x, y, Lv after a reset, say) are no
    // reading of what was asked for.
    if (mode != display_mode) {
        cloge(glog, 0, "[ca410_measure]: get disp_mode %ld != %d\n", mode, display_mode);
        return ErrParse;
    }
    if (xyz)
        memcpy(xyz, values, sizeof values);
    clogd(glog, 6, "[ca410_measure]: disp_mode=[%d]  meas: [%.7f]  [%.7f] [%.7f]\n", static_cast<int>(mode),
          values[0], values[1], values[2]);
    return Ok;
}

int32_t ca410_ch_reset(ca410_dev *dev, int32_t channel)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_ch_reset]: invalid args\n");
        return ErrArgs;
    }
    if (channel < 0 || channel > 99) {
        cloge(glog, 0, "[ca410_ch_reset]: invalid channel_num = [%d], need [00:99]\n", channel);
        return ErrBadValue;
    }
    char params[16];
    snprintf(params, sizeof params, "1,%d", channel);
    char reply[64];
    const int32_t err = ca_command(dev, MDD, params, 0, reply, sizeof reply, nullptr, Timeout);
    if (err) {
        cloge(glog, 0, "[ca410_ch_reset]: MDD cmd err, 0x%x\n", err);
        return err;
    }
    clogd(glog, 7, "[ca410_ch_reset]: reset channel %d\n", channel);
    return Ok;
}

int32_t ca410_calmode_set(ca410_dev *dev, int32_t mode)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_calmode_set]: invalid args\n");
        return ErrArgs;
    }
    if (mode < 0 || mode > 1) {
        cloge(glog, 0, "[ca410_calmode_set]: invalid mode = [%d], need [0:1]\n", mode);
        return ErrBadValue;
    }
    char params[16];
    snprintf(params, sizeof params, "%d", mode);
    char reply[64];
    const int32_t err = ca_command(dev, UCS, params, 0, reply, sizeof reply, nullptr, Timeout);
    if (err) {
        cloge(glog, 0, "[ca410_calmode_set]: UCS cmd err, 0x%x\n", err);
        return err;
    }
    dev->calmode = static_cast<uint8_t>(mode);
    clogd(glog, 6, "[ca410_calmode_set]:  calmode = [%d]\n", mode);
    return Ok;
}

int32_t ca410_set_cal_target(ca410_dev *dev, int32_t colour, int32_t display_mode, const double *xyz)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_set_cal_target]: invalid  args\n");
        return ErrArgs;
    }
    if (display_mode != 0 && display_mode != 1 && (display_mode < 5 || display_mode > 8)) {
        cloge(glog, 0, "[ca410_set_cal_target]: invalid disp_mode = [%d], need [0,1,5,6,7,8]\n", display_mode);
        return ErrBadValue;
    }
    if (!xyz || colour < 0 || colour > 3) {
        cloge(glog, 0, "[ca410_set_cal_target]: invalid color_type = [%d], need [0:3]\n", colour);
        return ErrBadValue;
    }
    // An infinite or huge value would print as no number the instrument reads,
    // or overflow the command line.
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(xyz[i]) || std::fabs(xyz[i]) >= 1e9) {
            cloge(glog, 0, "[ca410_set_cal_target]: invalid target [%f] [%f] [%f]\n", xyz[0], xyz[1], xyz[2]);
            return ErrBadValue;
        }
    }
    const int32_t cmd = UWT + colour;  // UWT, URD, UGR, UBL follow each other
    clogd(glog, 7, "[ca410_set_cal_target]: color = %d  disp_mode = %d \n", colour, display_mode);
    // As "%d,%9f,%9f,%9f", but with a decimal point whatever the process locale.
    char params[96];
    int pos = snprintf(params, sizeof params, "%d", display_mode);
    for (int i = 0; i < 3; ++i) {
        params[pos++] = ',';
        pos += c_format_fixed(params + pos, sizeof params - static_cast<size_t>(pos), xyz[i], 9, 6);
    }
    char reply[128];
    const int32_t err = ca_command(dev, cmd, params, 0, reply, sizeof reply, nullptr, Timeout);
    if (err) {
        cloge(glog, 0, "[ca410_set_cal_target]: %s cmd err, 0x%x\n", keystr[cmd], err);
        return err;
    }
    clogd(glog, 6, "[ca410_set_cal_target]: color %d input done\n", colour);
    return Ok;
}

int32_t ca410_ch_enter(ca410_dev *dev, int32_t channel, int32_t year, int32_t month, int32_t day, int32_t hour)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_ch_enter]: invalid  args\n");
        return ErrArgs;
    }
    if (channel < 1 || channel > 99) {
        cloge(glog, 0, "[ca410_ch_enter]: invalid channel = [%d], need [1:99]\n", channel);
        return ErrBadValue;
    }
    if (year < 2000 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23) {
        cloge(glog, 0, "[ca410_ch_enter]: invalid date, [2000:2099],[1:12],[1:31],[0:23]\n");
        return ErrBadValue;
    }
    char params[64];
    snprintf(params, sizeof params, "%d,%4d,%d,%d,%d,00,00", channel, year, month, day, hour);
    char reply[128];
    const int32_t err = ca_command(dev, ETR, params, 0, reply, sizeof reply, nullptr, Timeout);
    if (err) {
        cloge(glog, 0, "[ca410_ch_enter]: ETR cmd err, 0x%x\n", err);
        return err;
    }
    clogd(glog, 6, "[ca410_ch_enter]: enter channel [%d]\n", channel);
    return Ok;
}

namespace {

// Lowers the global debug threshold to at most level for one scope and puts
// it back on every way out of it. Only lowered: a caller who asked for silence
// gets no scan messages either.
class DebugThreshold
{
public:
    explicit DebugThreshold(int32_t level)
        : m_saved(glog ? glog->debug_level : 0)
    {
        clog_set_debug(glog, m_saved < level ? m_saved : level);
    }
    ~DebugThreshold() { restore(); }
    DebugThreshold(const DebugThreshold &) = delete;
    DebugThreshold &operator=(const DebugThreshold &) = delete;
    void restore() { clog_set_debug(glog, m_saved); }

private:
    int32_t m_saved;
};

} // namespace

int32_t ca410_get_callist(ca410_dev *dev)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_get_callist]: invalid args\n");
        return ErrArgs;
    }
    // 99 exchanges: keep the per-byte transport logging out of them.
    DebugThreshold quiet(6);
    const int64_t start = msec_time();
    ca410_calitem **tail = &dev->calitems;
    while (*tail)
        tail = &(*tail)->next;

    for (int32_t n = 1; n <= 99; ++n) {
        char params[16];
        snprintf(params, sizeof params, "%d,1,7", n);
        char reply[512];
        const int32_t err = ca_command(dev, TDR, params, 0, reply, sizeof reply, nullptr, Timeout);
        if (err) {
            quiet.restore();
            cloge(glog, 0, "[ca410_get_callist]: TDR cmd err, 0x%x\n", err);
            return err;
        }
        char *fields[MaxFields];
        const int count = split_fields(reply, fields, MaxFields);
        const char *number = field_or_empty(fields, count, 0);
        clogd(glog, 7, "[ca410_get_callist]: channel num = [%s]\n", number);
        const int32_t got = tdr_channel(number);
        if (got != n) {
            quiet.restore();
            cloge(glog, 0, "[ca410_get_callist]: get channel num [%d] != [%d]\n", got, n);
            return ErrParse;
        }
        const char *type_text = field_or_empty(fields, count, 5);
        const auto type = static_cast<int32_t>(strtol(type_text, nullptr, 10));
        clogd(glog, 7, "[ca410_get_callist]: get channel type = [%s] [%d]\n", type_text, type);
        if (count <= 6)
            continue;
        clogd(glog, 7, "[ca410_get_callist]: get channel name = [%s]\n", fields[6]);
        if (type != 2)
            continue;
        auto *item = static_cast<ca410_calitem *>(calloc(1, sizeof(ca410_calitem)));
        if (!item) {
            quiet.restore();
            cloge(glog, 0, "[ca410_get_callist]: calloc err\n");
            return ErrNoMemory;
        }
        item->channel = n;
        channel_name(item->name, sizeof item->name, fields[6], n);
        if (strspn(fields[6], " ") == strlen(fields[6]))
            clogd(glog, 6, "[ca410_get_calist]: ch%d no username, reset to [%s]\n", n, item->name);
        *tail = item;
        tail = &item->next;
        ++dev->calitem_count;
        clogd(glog, 6, "[ca410_get_calist]: add ch=[%d] name=[%s] calfile_num = [%d]\n", n, item->name,
              dev->calitem_count);
    }
    quiet.restore();
    clogd(glog, 6, "[ca410_get_callist]: total WRGB channel count = [%d], took [%d] msec\n", dev->calitem_count,
          static_cast<int>(msec_time() - start));
    return Ok;
}

int32_t ca410_free_list(ca410_dev *dev)
{
    if (!dev) {
        cloge(glog, 0, "[ca410_free_list]: invalid args\n");
        return ErrArgs;
    }
    if (!dev->calitems)
        return Ok;
    int freed = 0;
    for (ca410_calitem *item = dev->calitems; item;) {
        ca410_calitem *next = item->next;
        free(item);
        item = next;
        ++freed;
    }
    dev->calitems = nullptr;
    dev->calitem_count = 0;
    clogd(glog, 5, "[ca410_free_list]: free %d\n", freed);
    return Ok;
}

namespace {

// Reads the TDR record of a channel into fields (in place in reply) and checks
// that it answers for the channel and display mode asked. fn names the caller
// in the log.
int32_t read_channel(ca410_dev *dev, int32_t channel, int32_t display_mode, char *reply, int32_t size,
                     char **fields, int *count, const char *fn)
{
    char params[32];
    snprintf(params, sizeof params, "%d,1,%d", channel, display_mode);
    const int32_t err = ca_command(dev, TDR, params, 0, reply, size, nullptr, Timeout);
    if (err) {
        cloge(glog, 0, "[%s]: TDR cmd err, 0x%x\n", fn, err);
        return err;
    }
    *count = split_fields(reply, fields, MaxFields);
    return Ok;
}

} // namespace

int32_t ca410_get_calfile(ca410_dev *dev, int32_t channel, int32_t display_mode, ca410_calfile *calfile)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_get_calfile]: invalid args\n");
        return ErrArgs;
    }
    if (channel < 0 || channel > 99) {
        cloge(glog, 0, "[ca410_get_calfile]: invalid ch = [%d], need [0:99]\n", channel);
        return ErrBadValue;
    }
    if (display_mode != 0 && display_mode != 7) {
        cloge(glog, 0, "[ca410_get_calfile]: invalid disp_mode = [%d], need 0/7\n", display_mode);
        return ErrBadValue;
    }
    char reply[512];
    char *fields[MaxFields];
    int count = 0;
    const int32_t err =
        read_channel(dev, channel, display_mode, reply, sizeof reply, fields, &count, "ca410_get_calfile");
    if (err)
        return err;
    const int32_t got = tdr_channel(field_or_empty(fields, count, 0));
    if (got != channel) {
        cloge(glog, 0, "[ca410_get_calfile]: get ch %d != %d\n", got, channel);
        return ErrParse;
    }
    if (count < TdrFields) {
        cloge(glog, 0, "[ca410_get_calfile]: parse %d item < 41 \n", count);
        return ErrParse;
    }
    const auto cal_type = static_cast<int32_t>(strtol(fields[5], nullptr, 10));
    clogd(glog, 7, "[ca410_get_calfile]: get cal type = [%d] [%s]\n", cal_type, fields[5]);
    clogd(glog, 7, "[ca410_get_calfile]: get cal id = [%s]\n", fields[6]);
    const auto mode = static_cast<int32_t>(strtol(fields[8], nullptr, 10));
    if (mode != display_mode) {
        cloge(glog, 0, "[ca410_get_calfile]: get disp_mode %d != %d\n", mode, display_mode);
        return ErrParse;
    }
    if (!calfile) {
        clogd(glog, 6, "[ca410_get_calfile]: done\n");
        return Ok;
    }
    ca410_calfile out{};
    out.channel = channel;
    out.cal_type = cal_type;
    out.display_mode = mode;
    channel_name(out.name, sizeof out.name, fields[6], channel);
    if (strspn(fields[6], " ") == strlen(fields[6]))
        clogd(glog, 5, "[ca410_get_calfile]: ch%d no name founded, reset to [%s]\n", channel, out.name);
    for (int f = 12; f < 36; ++f) {
        const int c = (f - 12) % 12 / 3;
        const int i = f % 3;
        if (!c_parse_double(fields[f], f < 24 ? &out.target[c][i] : &out.measure[c][i])) {
            cloge(glog, 0, "[ca410_get_calfile]: field %d [%s] is no number\n", f, fields[f]);
            return ErrParse;
        }
    }
    *calfile = out;
    clogd(glog, 6, "[ca410_get_calfile]: channel [%d]  name [%s]  disp_mode [%d] cal_type [%d]\n", out.channel,
          out.name, out.display_mode, out.cal_type);
    for (int c = 0; c < 4; ++c)
        clogd(glog, 6, "[ca410_get_calfile]: [%d] measure [%f] [%f] [%f] --> target [%f] [%f] [%f]\n", c,
              out.measure[c][0], out.measure[c][1], out.measure[c][2], out.target[c][0], out.target[c][1],
              out.target[c][2]);
    // The last date part may be missing from a record of exactly 41 fields.
    clogd(glog, 6, "[ca410_get_calfile]: date: [%s:%s:%s:%s:%s:%s]\n", fields[36], fields[37], fields[38],
          fields[39], fields[40], field_or_empty(fields, count, 41));
    clogd(glog, 6, "[ca410_get_calfile]: done\n");
    return Ok;
}

int32_t ca410_ch_info(ca410_dev *dev, int32_t channel, int32_t display_mode)
{
    if (!dev || !dev->ser) {
        cloge(glog, 0, "[ca410_ch_info]: invalid args\n");
        return ErrArgs;
    }
    if (channel < 0 || channel > 99) {
        cloge(glog, 0, "[ca410_ch_info]: invalid ch = [%d], need [0:99]\n", channel);
        return ErrBadValue;
    }
    if (display_mode != 0 && display_mode != 1 && (display_mode < 5 || display_mode > 8)) {
        cloge(glog, 0, "[ca410_ch_info]: invalid disp_mode = [%d], need [1,5,6,7,8]\n", display_mode);
        return ErrBadValue;
    }
    char reply[512];
    char *fields[MaxFields];
    int count = 0;
    const int32_t err = read_channel(dev, channel, display_mode, reply, sizeof reply, fields, &count, "ca410_ch_info");
    if (err)
        return err;
    const int32_t got = tdr_channel(field_or_empty(fields, count, 0));
    if (got != channel) {
        cloge(glog, 0, "[ca410_ch_info]: get ch %d != %d\n", got, channel);
        return ErrParse;
    }
    if (count < TdrFields) {
        cloge(glog, 0, "[ca410_ch_info]: parse return data err\n");
        return ErrParse;
    }
    const auto mode = static_cast<int32_t>(strtol(fields[8], nullptr, 10));
    if (mode != display_mode) {
        cloge(glog, 0, "[ca410_ch_info]: get disp_mode %d != %d\n", mode, display_mode);
        return ErrParse;
    }
    clogd(glog, 5, "[ca410_ch_info]: ch[%d] model[%s] type[%s] name[%s] disp_mode[%d]\n", channel, fields[4],
          fields[5], fields[6], mode);
    static const char *const colours[4] = {"white", "red", "green", "blue"};
    for (int c = 0; c < 4; ++c)
        clogd(glog, 5, "[ca410_ch_info]:  target %s [%f] [%f] [%f] -- meas [%f] [%f] [%f]\n", colours[c],
              logged_value(fields[12 + 3 * c]), logged_value(fields[13 + 3 * c]), logged_value(fields[14 + 3 * c]),
              logged_value(fields[24 + 3 * c]), logged_value(fields[25 + 3 * c]), logged_value(fields[26 + 3 * c]));
    return Ok;
}
