/* The CA-410 library as a program uses it: loaded at run time by file name,
 * its functions bound by name, and driven through a whole session against the
 * emulator program's CA-410 on a pseudo-terminal.
 *
 *   tst_ca410dl <library file> <lumaserve-emulate>
 */
#define _POSIX_C_SOURCE 200809L

#include "mlink_ca410.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int failures = 0;

#define CHECK(cond)                                                       \
    do {                                                                  \
        if (!(cond)) {                                                    \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                   \
        }                                                                 \
    } while (0)

/* The names the program binds, in its order, then the others the library offers. */
static const char *const names[] = {
    "ca410DeviceOpen",     "ca410DeviceRelease",  "ca410DeviceInit",     "ca410GetCallist",
    "ca410DeleteCallist",  "ca410GetDeviceInfo",  "ca410GetDeviceStat",  "ca410GetCalfile",
    "ca410DeleteCalfile",  "ca410MeasureXYZ",     "ca410SetChannel",     "ca410WRGBCalibWhite",
    "ca410WRGBCalibRed",   "ca410WRGBCalibGreen", "ca410WRGBCalibBlue",  "ca410WRGBCalibEnd",
    "ca410DeviceReset",    "ca410SetMeasureSpeed", "ca410BlackCalibration",
};
enum { NameCount = sizeof names / sizeof names[0] };

/* The functions the session calls, in the order of the names above. */
static struct {
    int32_t (*open)(ca410_dev **, const char *, int32_t);
    int32_t (*release)(ca410_dev *);
    int32_t (*init)(ca410_dev *);
    int32_t (*list)(ca410_dev *, ca410_calitem **, int32_t *);
    int32_t (*delete_list)(ca410_calitem **);
    int32_t (*info)(ca410_dev *, ca410Info *);
    int32_t (*stat)(ca410_dev *, ca410Stat *);
    int32_t (*calfile)(ca410_dev *, int32_t, ca410Calfile *);
    int32_t (*delete_calfile)(ca410_dev *, int32_t);
    int32_t (*measure)(ca410_dev *, double *);
    int32_t (*set_channel)(ca410_dev *, int32_t);
    int32_t (*calib[4])(ca410_dev *, const double *, double *);
    int32_t (*end)(ca410_dev *, int32_t, const char *, int32_t, int32_t, int32_t, int32_t);
} api;
typedef int32_t (*AnyFn)(void);

/* Function pointers come back from dlsym as data pointers: copy the bits. */
static int bind_all(void *lib)
{
    AnyFn *slot = (AnyFn *)(void *)&api;
    int i, bound = 0;
    for (i = 0; i < NameCount; ++i) {
        void *address = dlsym(lib, names[i]);
        if (!address) {
            fprintf(stderr, "unresolved: %s\n", names[i]);
            continue;
        }
        ++bound;
        if ((size_t)i < sizeof api / sizeof(AnyFn))
            memcpy(&slot[i], &address, sizeof slot[i]);
    }
    return bound == NameCount;
}

static pid_t emulator = -1;
static int to_emulator = -1;
static int from_emulator = -1;

static int64_t now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/* Reads one line of the emulator's output within the budget; 0 on time-out. */
static int read_line(char *line, size_t size, int timeout_ms)
{
    size_t n = 0;
    const int64_t end = now_ms() + timeout_ms;
    while (n + 1 < size) {
        const int64_t left = end - now_ms();
        struct pollfd pfd = {from_emulator, POLLIN, 0};
        char c;
        if (left <= 0 || poll(&pfd, 1, (int)left) <= 0 || read(from_emulator, &c, 1) != 1)
            return 0;
        if (c == '\n')
            break;
        line[n++] = c;
    }
    line[n] = '\0';
    return 1;
}

static int start_emulator(const char *program, char *path, size_t size)
{
    int in[2], out[2];
    char line[256];
    if (pipe(in) != 0 || pipe(out) != 0)
        return 0;
    emulator = fork();
    if (emulator == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[1]);
        close(out[0]);
        execl(program, program, "ca410", (char *)NULL);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_emulator = in[1];
    from_emulator = out[0];
    if (emulator < 0 || !read_line(line, sizeof line, 10000) || strncmp(line, "ca410 /dev/", 11) != 0)
        return 0;
    /* A path that does not fit is a failure, not a truncated path. */
    size_t length = strlen(line + 6);
    if (length >= size)
        return 0;
    memcpy(path, line + 6, length + 1);
    return 1;
}

static void stop_emulator(void)
{
    int status = 0;
    int64_t end = now_ms() + 5000;
    if (to_emulator >= 0)
        close(to_emulator); /* end of input ends the program */
    while (emulator > 0 && waitpid(emulator, &status, WNOHANG) == 0) {
        struct pollfd none = {-1, 0, 0};
        if (now_ms() > end) {
            kill(emulator, SIGKILL);
            waitpid(emulator, &status, 0);
            break;
        }
        poll(&none, 0, 20);
    }
    if (from_emulator >= 0)
        close(from_emulator);
}

/* Points the emulated probe at X, Y, Z and waits until a measurement sees them. */
static int show(ca410_dev *dev, double x, double y, double z)
{
    char command[128];
    double xyz[3] = {0, 0, 0};
    const int64_t end = now_ms() + 5000;
    snprintf(command, sizeof command, "ca410 xyz %.4f %.4f %.4f\n", x, y, z);
    if (write(to_emulator, command, strlen(command)) != (ssize_t)strlen(command))
        return 0;
    while (now_ms() < end) {
        if (api.measure(dev, xyz) == 0 && xyz[0] == x && xyz[1] == y && xyz[2] == z)
            return 1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    static const double targets[4][3] = {{95.0, 100.0, 108.5}, {41.25, 21.5, 2.0}, {36.0, 72.0, 12.0}, {18.0, 7.25, 95.0}};
    static const double seen[4][3] = {{94.5, 99.0, 107.0}, {40.0, 20.5, 1.5}, {35.5, 71.0, 11.0}, {17.0, 6.5, 94.0}};
    char path[200];
    void *lib;
    ca410_dev *dev = NULL;
    ca410Info info;
    ca410Stat stat;
    ca410Calfile file;
    ca410_calitem *list = NULL;
    int32_t count = -1;
    int c;

    if (argc != 3) {
        fprintf(stderr, "usage: %s <library> <emulator program>\n", argv[0]);
        return 2;
    }
    lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    if (!bind_all(lib) || !start_emulator(argv[2], path, sizeof path)) {
        fprintf(stderr, "no library functions or no emulator\n");
        stop_emulator();
        return 1;
    }

    CHECK(api.open(&dev, path, 1) == 0 && dev);
    CHECK(api.init(dev) == 0);
    memset(&info, 0, sizeof info);
    CHECK(api.info(dev, &info) == 0);
    CHECK(strcmp(info.product_name, "CA-410") == 0);
    CHECK(strlen(info.serial_number) > 0 && strlen(info.firmware_version) > 0);
    CHECK(api.stat(dev, &stat) == 0 && stat.zero_cal == 1);
    CHECK(api.set_channel(dev, 3) == 0);
    CHECK(api.stat(dev, &stat) == 0 && stat.channel == 3);

    /* A user calibration into channel 7, each colour measured as shown. */
    for (c = 0; c < 4; ++c) {
        double measured[3] = {0, 0, 0};
        CHECK(show(dev, seen[c][0], seen[c][1], seen[c][2]));
        CHECK(api.calib[c](dev, targets[c], measured) == 0);
        CHECK(memcmp(measured, seen[c], sizeof measured) == 0);
    }
    CHECK(api.end(dev, 7, "", 2026, 12, 6, 18) == 0);

    CHECK(api.list(dev, &list, &count) == 0);
    CHECK(count == 1 && list && list->channel == 7 && strcmp(list->name, "CH07") == 0 && !list->next);
    CHECK(api.delete_list(&list) == 0 && list == NULL);

    memset(&file, 0, sizeof file);
    CHECK(api.calfile(dev, 7, &file) == 0);
    CHECK(file.channel == 7 && file.cal_type == 2 && strcmp(file.name, "CH07") == 0);
    CHECK(memcmp(file.target, targets, sizeof targets) == 0 && memcmp(file.measure, seen, sizeof seen) == 0);
    CHECK(api.delete_calfile(dev, 7) == 0);
    CHECK(api.calfile(dev, 7, &file) == 0 && file.cal_type == 0);
    CHECK(api.release(dev) == 0);

    stop_emulator();
    dlclose(lib);
    if (failures)
        fprintf(stderr, "%d checks failed\n", failures);
    return failures ? 1 : 0;
}
