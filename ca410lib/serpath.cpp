// Enumeration of the host's call-out serial devices.
#include "mlink_ca410.h"

#include <cstdlib>
#include <cstring>

#ifdef __APPLE__
#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/serial/IOSerialKeys.h>
#else
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <unistd.h>
#endif

namespace {

// Copies of the paths found, stored straight into the caller's array.
struct Found {
    char **paths;
    int32_t max;
    int32_t stored;
    void add(const char *path)
    {
        if (stored >= max)
            return;
        if (char *copy = strdup(path))
            paths[stored++] = copy;
    }
};

#ifdef __APPLE__

// Reads a string property of this registry entry only (not of its parents).
bool string_property(io_object_t service, const char *key, char *out, CFIndex size)
{
    CFStringRef name = CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingUTF8);
    CFTypeRef value = IORegistryEntryCreateCFProperty(service, name, kCFAllocatorDefault, 0);
    CFRelease(name);
    out[0] = '\0';
    if (!value)
        return false;
    bool ok = CFGetTypeID(value) == CFStringGetTypeID()
              && CFStringGetCString(static_cast<CFStringRef>(value), out, size, kCFStringEncodingUTF8);
    CFRelease(value);
    return ok;
}

int32_t scan_ports(Found &found)
{
    CFMutableDictionaryRef match = IOServiceMatching(kIOSerialBSDServiceValue);
    if (!match) {
        cloge(glog, 0, "[IOServiceMatching] return NULL dictionary\n");
        return -1;
    }
    CFDictionarySetValue(match, CFSTR(kIOSerialBSDTypeKey), CFSTR("IOSerialStream"));
    io_iterator_t iter = 0;
    // MACH_PORT_NULL picks the default main port under every macOS version.
    const kern_return_t kr = IOServiceGetMatchingServices(MACH_PORT_NULL, match, &iter);
    if (kr != KERN_SUCCESS) {
        cloge(glog, 0, "[IOServiceGetMatchingServices] return %d\n", kr);
        return -1;
    }
    io_object_t service;
    while ((service = IOIteratorNext(iter))) {
        char text[200];
        string_property(service, kIODialinDeviceKey, text, sizeof text);
        clogd(glog, 8, "[IORegistryEntrySearchCFProperty] dialin=[%s]\n", text);
        if (!string_property(service, "Product Name", text, sizeof text)
            && !string_property(service, "USB Product Name", text, sizeof text))
            string_property(service, "BTName", text, sizeof text);
        clogd(glog, 8, "[IORegistryEntrySearchCFProperty] prodname=[%s]\n", text);

        char path[1024];
        CFTypeRef value = IORegistryEntryCreateCFProperty(service, CFSTR(kIOCalloutDeviceKey), kCFAllocatorDefault, 0);
        if (!value) {
            cloge(glog, 0, "[IORegistryEntryCreateCFProperty]  get %s err\n", kIOCalloutDeviceKey);
            IOObjectRelease(service);
            break;
        }
        const bool ok = CFGetTypeID(value) == CFStringGetTypeID()
                        && CFStringGetCString(static_cast<CFStringRef>(value), path, sizeof path,
                                              kCFStringEncodingUTF8);
        CFRelease(value);
        IOObjectRelease(service);
        if (!ok) {
            cloge(glog, 0, "[CFStringGetCString] err\n");
            break;
        }
        clogd(glog, 8, "[get_serial_path]  scan path=[%s]\n", path);
        found.add(path);
    }
    clogd(glog, 8, "[IOIteratorNext]  end\n");
    IOObjectRelease(iter);
    return 0;
}

#else

// The subsystem a tty's device belongs to: "usb" for CDC-ACM interfaces,
// "usb-serial" for USB-to-serial converters.
bool is_usb_tty(const char *name)
{
    char link[PATH_MAX];
    char target[PATH_MAX];
    snprintf(link, sizeof link, "/sys/class/tty/%s/device/subsystem", name);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    const char *slash = strrchr(target, '/');
    const char *subsystem = slash ? slash + 1 : target;
    return strcmp(subsystem, "usb") == 0 || strcmp(subsystem, "usb-serial") == 0;
}

int compare_names(const void *a, const void *b)
{
    return strcmp(*static_cast<char *const *>(a), *static_cast<char *const *>(b));
}

// Adds "/dev/<name>" for every entry of dir that keep() accepts, in name order.
void scan_dir(Found &found, const char *dir, bool (*keep)(const char *))
{
    DIR *d = opendir(dir);
    if (!d)
        return;
    enum { MaxEntries = 4096 };
    char **names = static_cast<char **>(calloc(MaxEntries, sizeof(char *)));
    size_t count = 0;
    while (names && count < MaxEntries) {
        const dirent *e = readdir(d);
        if (!e)
            break;
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0 && keep(e->d_name))
            if ((names[count] = strdup(e->d_name)))
                ++count;
    }
    closedir(d);
    if (!names)
        return;
    qsort(names, count, sizeof(char *), compare_names);
    for (size_t i = 0; i < count; ++i) {
        char path[PATH_MAX];
        snprintf(path, sizeof path, "/dev/%s", names[i]);
        clogd(glog, 8, "[get_serial_path]  scan path=[%s]\n", path);
        found.add(path);
        free(names[i]);
    }
    free(names);
}

bool is_callout_name(const char *name)
{
    return strncmp(name, "cu.", 3) == 0;
}

int32_t scan_ports(Found &found)
{
    scan_dir(found, "/sys/class/tty", is_usb_tty);
    scan_dir(found, "/dev", is_callout_name);
    return 0;
}

#endif

} // namespace

int32_t get_serial_path(char **paths, int32_t max)
{
    if (!paths || max < 0) {
        cloge(glog, 0, "[get_serial_path]: invalid args\n");
        return -1;
    }
    Found found{paths, max, 0};
    if (scan_ports(found) != 0)
        return -1;
    clogd(glog, 8, "[get_serial_path] scan %d\n", found.stored);
    return 0;
}
