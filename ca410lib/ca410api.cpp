// The exported device interface: short, checked sequences over the device
// operations, each mapping its failure to one result code. Output arguments
// are written only on success.
#include "ca410dev.h"
#include "mlink_ca410.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum {
    Ok = 0,
    ErrDelete = 1,
    ErrCalMeasure = 17,
    ErrCalTarget = 18,
    ErrRange = 26,
    ErrArgs = 37,
    ErrOpen = 40,
    ErrZeroCal = 42,
    ErrCallist = 44,
    ErrReset = 46,
    ErrConfig = 47,
    ErrNotInit = 50,
    ErrIdentify = 51,
    ErrDisplayMode = 54,
    ErrMeasure = 55,
};

enum { CfgDisplayMode = 0, CfgChannel = 2, CfgChannelName = 3, CfgSpeed = 5, CfgZeroCal = 13 };
enum { DisplayXYZ = 7, ZeroCalDone = 2, MaxLevel = 8 };

// A released or unknown handle is treated as a missing one, so every function
// answers it with its code for a missing handle instead of reading freed memory.
ca410_dev *live(ca410_dev *dev)
{
    if (dev && !ca410_dev_live(dev)) {
        cloge(glog, 0, "[ca410]: unknown or released handle\n");
        return nullptr;
    }
    return dev;
}

void free_items(ca410_calitem *item)
{
    while (item) {
        ca410_calitem *next = item->next;
        free(item);
        item = next;
    }
}

// Names in a command must not split it (see ca410_set_istate).
bool printable_name(const char *name)
{
    for (const auto *c = reinterpret_cast<const unsigned char *>(name); *c; ++c)
        if (*c < 32 || *c == 127 || *c == ',')
            return false;
    return true;
}

// One step of a user calibration: measure what the display shows, then hand
// the instrument the target for that colour. fn and colour_name only label
// the log.
int32_t calibrate_colour(ca410_dev *dev, int32_t colour, const double *target, double *measured, const char *fn)
{
    double values[3] = {};
    int32_t err = ca410_measure_mode(dev, 1, DisplayXYZ, values);
    if (err) {
        cloge(glog, 0, "[%s]: ca410_measure err, 0x%x\n", fn, err);
        return ErrCalMeasure;
    }
    err = ca410_set_cal_target(dev, colour, DisplayXYZ, target);
    if (err) {
        cloge(glog, 0, "[%s]: ca410_set_cal_target err, 0x%x\n", fn, err);
        return ErrCalTarget;
    }
    if (measured)
        memcpy(measured, values, sizeof values);
    clogd(glog, 4, "[%s]: meas [%f] [%f] [%f] --> target [%f] [%f] [%f]\n", fn, values[0], values[1], values[2],
          target[0], target[1], target[2]);
    return Ok;
}

} // namespace

int32_t ca410DeviceOpen(ca410_dev **handle, const char *path, int32_t level)
{
    if (!handle || !path) {
        cloge(glog, 0, "[ca410DeviceOpen]: invalid args\n");
        return ErrArgs;
    }
    if (level > 0) {
        const int32_t capped = level < MaxLevel ? level : MaxLevel;
        clog_set_debug(glog, capped);
        clog_set_verb(glog, capped);
        clogd(glog, 1, "[ca410DeviceOpen]: log level %d\n", capped);
    }
    ca410_dev *dev = ca410_dev_create(path);
    if (!dev) {
        cloge(glog, 0, "[ca410DeviceOpen]: ca410_dev_create err\n");
        return ErrOpen;
    }
    *handle = dev;
    return Ok;
}

int32_t ca410DeviceInit(ca410_dev *dev)
{
    dev = live(dev);
    // Until every step has succeeded the record mirrors no known settings.
    if (dev)
        dev->init = 0;
    int32_t err = ca410_get_firmware_info(dev);
    if (err) {
        cloge(glog, 0, "[ca410DeviceInit]: get firmware err, 0x%x\n", err);
        return ErrIdentify;
    }
    err = ca410_set_reset(dev, 2);
    if (err) {
        cloge(glog, 0, "[ca410DevoceInit]: reset measure setting err, 0x%x\n", err);
        return ErrReset;
    }
    err = ca410_set_istate(dev, CfgZeroCal, 0, nullptr);
    if (err) {
        cloge(glog, 0, "[ca410DeviceInit]: zero calibration err, 0x%x\n", err);
        return ErrZeroCal;
    }
    err = ca410_get_config(dev);
    if (err) {
        cloge(glog, 0, "[ca410DeviceInit]: get configure err, 0x%x\n", err);
        return ErrConfig;
    }
    err = ca410_get_range(dev, 0);
    if (err) {
        cloge(glog, 0, "[ca410DeviceInit]: get color range err, 0x%x\n", err);
        return ErrRange;
    }
    err = ca410_set_istate(dev, CfgDisplayMode, DisplayXYZ, nullptr);
    if (err) {
        cloge(glog, 0, "[ca410DeviceInit]: set display mode err, 0x%x\n", err);
        return ErrDisplayMode;
    }
    dev->init = 1;
    clogd(glog, 4, "[ca410DeviceInit]: init = %d\n", dev->init);
    return Ok;
}

int32_t ca410DeviceRelease(ca410_dev *dev)
{
    dev = live(dev);
    ca410_dev_release(dev);
    return Ok;
}

int32_t ca410DeviceReset(ca410_dev *dev)
{
    dev = live(dev);
    const int32_t err = ca410_set_reset(dev, 2);
    if (err) {
        cloge(glog, 0, "[ca410DeviceReset]: ca410_set_reset err, 0x%x\n", err);
        return ErrReset;
    }
    // The instrument is back at its default settings (display mode 0, not
    // X, Y, Z): measuring needs a new ca410DeviceInit.
    dev->init = 0;
    clogd(glog, 5, "[ca410DeviceReset]: done\n");
    return Ok;
}

int32_t ca410GetDeviceInfo(ca410_dev *dev, ca410Info *info)
{
    dev = live(dev);
    if (!info) {
        cloge(glog, 0, "[ca410GetDeviceInfo]: invalid args\n");
        return ErrArgs;
    }
    // A missing handle fails the initialisation, whose code is passed on.
    if (!dev || !dev->init) {
        const int32_t err = ca410DeviceInit(dev);
        if (err) {
            cloge(glog, 0, "[ca410GetDeviceInfo]: init err, 0x%x\n", err);
            return err;
        }
    }
    memcpy(info->product_name, dev->model, 16);
    memcpy(info->serial_number, dev->sn, 16);
    memcpy(info->firmware_version, dev->vn, 16);
    clogd(glog, 5, "[ca410GetDeviceInfo]: name[%s] sn[%s] vn[%s]\n", dev->model, dev->sn, dev->vn);
    return Ok;
}

int32_t ca410GetDeviceStat(ca410_dev *dev, ca410Stat *stat)
{
    dev = live(dev);
    if (!stat) {
        cloge(glog, 0, "[ca410GetDeviceStat]: invalid args\n");
        return ErrArgs;
    }
    const int32_t err = ca410_get_config(dev);
    if (err) {
        cloge(glog, 0, "[ca410GetDeviceStat]: ca410_get_config err, 0x%x\n", err);
        return ErrConfig;
    }
    stat->channel = dev->channel;
    stat->measure_speed = dev->measure_speed;
    stat->zero_cal = dev->zero_cal_status == ZeroCalDone ? 1 : 0;
    clogd(glog, 5, "[ca410GetDeviceStat]: cal_ch[%d] meas_speed[%d] zero_cal[%d]\n", stat->channel,
          stat->measure_speed, stat->zero_cal);
    return Ok;
}

int32_t ca410SetChannel(ca410_dev *dev, int32_t channel)
{
    dev = live(dev);
    if (channel < 0 || channel > 99) {
        cloge(glog, 0, "[ca410SetChannel]: invalid args of ch=%d, need [0:99]\n", channel);
        return ErrArgs;
    }
    const int32_t err = ca410_set_istate(dev, CfgChannel, channel, nullptr);
    if (err) {
        cloge(glog, 0, "[ca410SetChannel]: ca410_set_istate err, 0x%x\n", err);
        return err;
    }
    clogd(glog, 5, "[ca410SetChannel]: ch %d done\n", channel);
    return Ok;
}

int32_t ca410SetMeasureSpeed(ca410_dev *dev, int32_t speed)
{
    dev = live(dev);
    if (speed < 0 || speed > 3) {
        cloge(glog, 0, "[ca410SetMeasureSpeed]: invalid args of speed %d, need [0:3]\n", speed);
        return ErrArgs;
    }
    const int32_t err = ca410_set_istate(dev, CfgSpeed, speed, nullptr);
    if (err) {
        cloge(glog, 0, "[ca410SetMeasureSpeed]: ca410_set_istate err, 0x%x\n", err);
        return err;
    }
    clogd(glog, 5, "[ca410SetMeasureSpeed]: speed = %d done\n", speed);
    return Ok;
}

int32_t ca410BlackCalibration(ca410_dev *dev)
{
    dev = live(dev);
    const int32_t err = ca410_set_istate(dev, CfgZeroCal, 0, nullptr);
    if (err) {
        cloge(glog, 0, "[ca410BlackCalibration]: ca410_set_istate err, 0x%x\n", err);
        return ErrZeroCal;
    }
    clogd(glog, 5, "[ca410BlackCalibration]: done\n");
    return Ok;
}

int32_t ca410MeasureXYZ(ca410_dev *dev, double *xyz)
{
    dev = live(dev);
    if (!dev || dev->init != 1 || dev->zero_cal_status != ZeroCalDone) {
        cloge(glog, 0, "[ca410MeasureXYZ]: dev not init, need zero calibration first\n");
        return ErrNotInit;
    }
    if (!xyz) {
        cloge(glog, 0, "[ca410MeasureXYZ]: invalid args\n");
        return ErrArgs;
    }
    double values[3] = {};
    const int32_t err = ca410_measure_mode(dev, 1, DisplayXYZ, values);
    if (err) {
        cloge(glog, 0, "[ca410MeasureXYZ]: ca410_measure err, 0x%x\n", err);
        return ErrMeasure;
    }
    memcpy(xyz, values, sizeof values);
    clogd(glog, 4, "[ca410MeasureXYZ]: X[%f] Y[%f] Z[%f]\n", xyz[0], xyz[1], xyz[2]);
    return Ok;
}

int32_t ca410GetCallist(ca410_dev *dev, ca410_calitem **list, int32_t *count)
{
    dev = live(dev);
    if (dev && dev->calitems) {
        clogd(glog, 4, "[ca410GetCallist]: calfile num = [%d], release first\n", dev->calitem_count);
        ca410_free_list(dev);
    }
    const int32_t err = ca410_get_callist(dev);
    if (err) {
        clogd(glog, 4, "[ca410GetCallist]: ca410_get_callist err, 0x%x\n", err);
        return ErrCallist;
    }
    // The caller gets a copy of its own: the handle keeps its list until the
    // next scan or release.
    ca410_calitem *head = nullptr;
    ca410_calitem **tail = &head;
    int32_t total = 0;
    for (const ca410_calitem *item = dev->calitems; item; item = item->next) {
        auto *copy = static_cast<ca410_calitem *>(calloc(1, sizeof(ca410_calitem)));
        if (!copy) {
            free_items(head);
            cloge(glog, 0, "[ca410GetCallist]: calloc err\n");
            return ErrCallist;
        }
        copy->channel = item->channel;
        memcpy(copy->name, item->name, sizeof copy->name);
        copy->name[sizeof copy->name - 1] = '\0';
        *tail = copy;
        tail = &copy->next;
        ++total;
        clogd(glog, 5, "[ca410GetCallist]: add ch[%02d] name[%s] total[%d]\n", copy->channel, copy->name, total);
    }
    if (list) {
        *list = head;
        if (count)
            *count = total;
    } else {
        // Nobody to hand the copy to.
        free_items(head);
    }
    clogd(glog, 4, "[ca410GetCallist]: get %d\n", total);
    return Ok;
}

int32_t ca410DeleteCallist(ca410_calitem **list)
{
    if (!list)
        return Ok;
    for (ca410_calitem *item = *list; item;) {
        ca410_calitem *next = item->next;
        clogd(glog, 5, "[ca410DeleteCallist]: release list id=[%02d] name=[%s]\n", item->channel, item->name);
        free(item);
        item = next;
    }
    *list = nullptr;
    return Ok;
}

int32_t ca410GetCalfile(ca410_dev *dev, int32_t channel, ca410Calfile *calfile)
{
    dev = live(dev);
    if (channel < 0 || channel > 99) {
        cloge(glog, 0, "[ca410GetCalfile]: invalid args of channel %d, need [0:99]\n", channel);
        return ErrArgs;
    }
    ca410_calfile internal{};
    const int32_t err = ca410_get_calfile(dev, channel, DisplayXYZ, &internal);
    if (err) {
        cloge(glog, 0, "[ca410GetCalfile]: ca410_get_calfile err, 0x%x\n", err);
        return err;
    }
    if (!calfile)
        return Ok;
    calfile->channel = internal.channel;
    memcpy(calfile->name, internal.name, sizeof calfile->name);
    calfile->cal_type = internal.cal_type;
    memcpy(calfile->target, internal.target, sizeof calfile->target);
    memcpy(calfile->measure, internal.measure, sizeof calfile->measure);
    clogd(glog, 4, "[ca410GetCalfile]: id[%d] caltype[%d] name[%s]\n", calfile->channel, calfile->cal_type,
          calfile->name);
    for (int c = 0; c < 4; ++c)
        clogd(glog, 4, "[ca410GetCalfile]: [%d] measure [%f] [%f] [%f] --> target [%f] [%f] [%f]\n", c,
              calfile->measure[c][0], calfile->measure[c][1], calfile->measure[c][2], calfile->target[c][0],
              calfile->target[c][1], calfile->target[c][2]);
    return Ok;
}

int32_t ca410DeleteCalfile(ca410_dev *dev, int32_t channel)
{
    dev = live(dev);
    if (channel < 0 || channel > 99) {
        cloge(glog, 0, "[ca410DeleteCalfile]: invid args of channel %d, need [0:99]\n", channel);
        return ErrArgs;
    }
    const int32_t err = ca410_ch_reset(dev, channel);
    if (err) {
        cloge(glog, 0, "[ca410DeleteCalfile]: ca410_ch_reset err, 0x%x\n", err);
        return ErrDelete;
    }
    clogd(glog, 4, "[ca410DeleteCalfile]: delete ch%d\n", channel);
    return Ok;
}

int32_t ca410WRGBCalibWhite(ca410_dev *dev, const double *target, double *measured)
{
    dev = live(dev);
    if (!target) {
        cloge(glog, 0, "[ca410WRGBCalibWhite]: invalid args of white target XYZ\n");
        return ErrArgs;
    }
    int32_t err = ca410_set_istate(dev, CfgDisplayMode, DisplayXYZ, nullptr);
    if (err) {
        cloge(glog, 0, "[ca410WRGBCalibWhite]: ca410_set_istate set disp_mode err, 0x%x\n", err);
        return ErrDisplayMode;
    }
    err = ca410_calmode_set(dev, 1);
    if (err) {
        cloge(glog, 0, "[ca410WRGBCalibWhite]: ca410_calmode_set err, 0x%x\n", err);
        return ErrConfig;
    }
    return calibrate_colour(dev, 0, target, measured, "ca410WRGBCalibWhite");
}

int32_t ca410WRGBCalibRed(ca410_dev *dev, const double *target, double *measured)
{
    dev = live(dev);
    if (!target) {
        cloge(glog, 0, "[ca410WRGBCalibRed]: invalid args of red target XYZ\n");
        return ErrArgs;
    }
    return calibrate_colour(dev, 1, target, measured, "ca410WRGBCalibRed");
}

int32_t ca410WRGBCalibGreen(ca410_dev *dev, const double *target, double *measured)
{
    dev = live(dev);
    if (!target) {
        cloge(glog, 0, "[ca410WRGBCalibGreen]: invalid args of green target XYZ\n");
        return ErrArgs;
    }
    return calibrate_colour(dev, 2, target, measured, "ca410WRGBCalibGreen");
}

int32_t ca410WRGBCalibBlue(ca410_dev *dev, const double *target, double *measured)
{
    dev = live(dev);
    if (!target) {
        cloge(glog, 0, "[ca410WRGBCalibBlue]: invalid args of blue target XYZ\n");
        return ErrArgs;
    }
    return calibrate_colour(dev, 3, target, measured, "ca410WRGBCalibBlue");
}

int32_t ca410WRGBCalibEnd(ca410_dev *dev, int32_t channel, const char *name, int32_t year, int32_t month,
                          int32_t day, int32_t hour)
{
    dev = live(dev);
    if (channel < 1 || channel > 99) {
        cloge(glog, 0, "[ca410WRGBCalibEnd]: invalid args of calib channel %d, need [1:99]", channel);
        return ErrArgs;
    }
    if (year < 2000 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23) {
        cloge(glog, 0, "[ca410WRGBCalibEnd]: invalid args of date\n");
        return ErrArgs;
    }
    // A name that would break the naming command is refused before anything is
    // stored, rather than storing the calibration under no name.
    if (name && !printable_name(name)) {
        cloge(glog, 0, "[ca410WRGBCalibEnd]: invalid args of name [%s]\n", com2fix(name));
        return ErrArgs;
    }
    int32_t err = ca410_ch_enter(dev, channel, year, month, day, hour);
    if (err) {
        cloge(glog, 0, "[ca410WRGBCalibEnd]: ca410_ch_enter err, 0x%x\n", err);
        return ErrCalTarget;
    }
    char label[11];
    if (name && name[0]) {
        snprintf(label, sizeof label, "%.10s", name);
    } else {
        snprintf(label, sizeof label, "CH%02d", channel);
    }
    err = ca410_set_istate(dev, CfgChannelName, channel, label);
    if (err)
        cloge(glog, 0, "[ca410WRBGCalibEnd]: set channel name err, 0x%x\n", err);
    return Ok;
}
