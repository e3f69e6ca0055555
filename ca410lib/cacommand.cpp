// The CA-410 command set, its settings table and the single command exchange.
#include "ca410dev.h"
#include "mlink_ca410.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char *const keystr[CA410_KEY_COUNT] = {
    nullptr, "IDO,", "RST,", "COM,", "BPS,", "BPR",  "MDS,", "DPR,", "OPR,", "LDS,", "LDR",
    "CDS,",  "SCS,", "FSC,", "TMS,", "TDS,", "MMS,", "FMS,", "JCS,", "STR,", "RGS,", "RGR,",
    "LUS,",  "ZRC",  "MCH,", "TDR,", "UCS,", "UWT,", "URD,", "UGR,", "UBL,", "ETR,", "IDS,",
    "MCS,",  "MAD,", "MDD,", "TAD,", "TDD,", "MES,", "JDR,", "FDR,",
};

const ca410_cfg cfgs[CA410_CFG_COUNT] = {
    {0, 6, "display mode"},
    {1, 12, "sync mode"},
    {3, 24, "calibration channel number"},
    {4, 32, "calibration channel name"},
    {6, 22, "luminance unit"},
    {7, 13, "measurement speed"},
    {11, 7, "display probe number"},
    {12, 8, "output probe number"},
    {15, 0, "temperature shift"},
    {16, 12, "External sync frequence"},
    {17, 12, "Manual sync measure time"},
    {18, 14, "trigger mode"},
    {19, 15, "trigger delay"},
    {23, 23, "zero calibration status"},
    {26, 16, "simultaneous measure control"},
    {28, 12, "Internal sync frequence"},
};

namespace {

enum {
    CommandSize = 128,
    ReplySize = 1024,
    MinReply = 5,
};

// Reads a two-character status number the way the instrument's firmware tools
// do: the base follows the prefix, so a leading zero selects octal.
long status_number(const char *two)
{
    char digits[3] = {two[0], two[0] ? two[1] : '\0', '\0'};
    return strtol(digits, nullptr, 0);
}

struct ErrorText {
    int number;
    const char *text;
    int32_t code;
};

const ErrorText error_texts[] = {
    {3, "input color difference value or calib val , invalid value", 16},
    {5, "user calibration failed because measure values", 17},
    {6, "user calibration failed because wrang input", 18},
    {10, "invalide command", 19},
    {16, "write calibration channel data error", 20},
    {20, "when sync_mode EXTERNAL,no sync signal input", 21},
    {21, "zero calibration outer light leak", 22},
    {22, "measure brightness exceed the range", 23},
    {24, "measure calculate error", 24},
    {31, "memory data write and read error", 25},
    {32, "memory data write and read error", 25},
    {50, "flicker measure in contrast , exceed range", 32},
    {51, "flicker measure in contrast , sync signal outside range", 33},
    {53, "flicker measure failed", 34},
    {91, "periodical calibration date error", 35},
    {99, "instrument program error", 36},
};

enum {
    IDO = 1, RST = 2, COM = 3, MDS = 6, DPR = 7, OPR = 8, SCS = 12, FSC = 13, TMS = 14, TDS = 15, MMS = 16,
    STR = 19, RGS = 20, RGR = 21, LUS = 22, ZRC = 23, MCH = 24, TDR = 25, UCS = 26, UWT = 27, UBL = 30, ETR = 31,
    IDS = 32, MDD = 35, MES = 38,
};

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool is_letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A status: two letters, then two digits.
bool has_status(const char *line, size_t length, const char *letters)
{
    return length >= 4 && line[0] == letters[0] && line[1] == letters[1] && is_digit(line[2]) && is_digit(line[3]);
}

// Commands that change a setting or start an action: their reply is a bare status.
bool answers_bare(int32_t cmd)
{
    switch (cmd) {
    case RST: case COM: case MDS: case DPR: case OPR: case SCS: case FSC: case TMS: case TDS: case MMS:
    case RGS: case LUS: case ZRC: case MCH: case UCS: case ETR: case IDS: case MDD:
        return true;
    default:
        return cmd >= UWT && cmd <= UBL;
    }
}

// The data fields of a reply, counted with or without the empty ones, and
// where field `index` starts (null when there are fewer).
size_t count_fields(const char *data, size_t length, bool skip_empty, size_t index, const char **field)
{
    size_t count = 0;
    *field = nullptr;
    for (size_t at = 0; at <= length;) {
        const char *comma = static_cast<const char *>(memchr(data + at, ',', length - at));
        const size_t end = comma ? static_cast<size_t>(comma - data) : length;
        if (end > at || !skip_empty) {
            if (count == index)
                *field = data + at;
            ++count;
        }
        at = end + 1;
    }
    return count;
}

// Whether a reply line (without its terminator) can be the answer to command
// cmd: an error status answers any command; an OK status must carry the data
// its command's reply holds. The fields and counts are what the operations
// need of each reply, so a reply of another command, or the tail of one, is
// told apart from the answer.
bool reply_fits(int32_t cmd, const char *line, size_t length)
{
    if (has_status(line, length, "ER"))
        return true;
    if (!has_status(line, length, "OK"))
        return false;
    const char *data = line + 4;
    size_t n = length - 4;
    if (n > 0 && *data == ',') {
        ++data;
        --n;
    }
    const char *field = nullptr;
    switch (cmd) {
    case IDO:  // family, a flag, model, firmware version, serial number: names lead
        return count_fields(data, n, true, 2, &field) >= 5 && is_letter(data[0]) && is_letter(*field);
    case STR:  // one value
        return n > 0 && !memchr(data, ',', n);
    case RGR:  // mode and range
        return count_fields(data, n, true, 1, &field) >= 2 && is_digit(data[0]) && field && is_digit(*field);
    case MES:  // probe, display mode and three values at least
        return count_fields(data, n, false, 1, &field) >= 5 && field && is_digit(*field);
    case TDR:  // the channel, two letters and two digits, leads the record
        return n >= 4 && is_letter(data[0]) && is_letter(data[1]) && is_digit(data[2]) && is_digit(data[3])
               && (n == 4 || data[4] == ',');
    default:
        return answers_bare(cmd) ? n == 0 : true;
    }
}

} // namespace

int32_t ca410_exchange_line(ser_com *port, int32_t cmd, const char *command, int32_t length, char *line,
                            int32_t size, int32_t *received, int32_t timeout_ms, bool *fitted)
{
    *received = 0;
    *fitted = false;
    const int64_t start = msec_time();
    int32_t have = 0;
    int32_t err = ser_com_write_read_ex(port, command, length, line, size, &have, "\r", 1, timeout_ms, 1);
    if (err & ~SER_COM_TIMEOUT)
        return err;
    std::string last;        // the last line of another form
    bool skipping = false;   // inside a line of another form whose end is still to come
    for (;;) {
        char *cr = static_cast<char *>(memchr(line, '\r', static_cast<size_t>(have)));
        if (skipping || cr) {
            if (!cr) {
                have = 0;
                if (err)
                    break;
            } else {
                const auto used = static_cast<int32_t>(cr - line) + 1;
                if (!skipping && reply_fits(cmd, line, static_cast<size_t>(used - 1))) {
                    // Bytes after the answer that do not end a line are the
                    // head of something the next exchange must not take.
                    const auto rest = static_cast<size_t>(have - used);
                    if (rest > 0 && !memchr(cr + 1, '\r', rest))
                        ser_com_owe_reply(port, timeout_ms);
                    else
                        port->reply_owed = 0;
                    line[used] = '\0';
                    *received = used;
                    *fitted = true;
                    return 0;
                }
                if (!skipping) {
                    last.assign(line, static_cast<size_t>(used));
                    cloge(glog, 0, "[ca_command]: discard reply of another form [%s]\n", com2fix(last.c_str()));
                }
                skipping = false;
                memmove(line, line + used, static_cast<size_t>(have - used));
                have -= used;
                // This command's own reply is still to come.
                ser_com_owe_reply(port, timeout_ms);
                continue;
            }
        } else if (have >= size - 1 || (!err && size - have < 3)) {
            // A full buffer without a terminator: a reply longer than the room.
            if (reply_fits(cmd, line, static_cast<size_t>(have))) {
                ser_com_owe_reply(port, timeout_ms);
                line[have] = '\0';
                *received = have;
                *fitted = true;
                return 0;
            }
            last.assign(line, static_cast<size_t>(have));
            have = 0;
            skipping = true;
        } else if (err) {
            break;
        }
        const int32_t remaining = timeout_ms - static_cast<int32_t>(msec_time() - start);
        if (remaining < 1) {
            err = SER_COM_TIMEOUT;
            break;
        }
        int32_t more = 0;
        err = ser_com_read(port, line + have, size - have, &more, "\r", 1, remaining);
        have += more;
        if (err & ~SER_COM_TIMEOUT)
            return err;
    }
    ser_com_owe_reply(port, timeout_ms);
    if (!last.empty()) {
        const size_t n = last.size() < static_cast<size_t>(size - 1) ? last.size() : static_cast<size_t>(size - 1);
        memcpy(line, last.data(), n);
        line[n] = '\0';
        *received = static_cast<int32_t>(n);
        return 0;
    }
    line[have] = '\0';
    *received = have;
    return err ? err : SER_COM_TIMEOUT;
}

int32_t wcode(const char *reply)
{
    if (!reply || strlen(reply) < 4)
        return 0;
    long number = status_number(reply + 2);
    if (number > 63)
        number -= 64;
    if (number) {
        cloge(glog, 0, "[wcode]: [OK%02ld], ", number);
        if (number & 1)
            cloge(glog, 0, "user calibration data err,");
        if (number & 2)
            cloge(glog, 0, "probe temperature shifted 6,");
        if (number & 4)
            cloge(glog, 0, "probe temperature shifted 6");
        cloge(glog, 0, "\n");
    }
    return static_cast<int32_t>(number);
}

int32_t ecode(const char *number)
{
    const char *text = number ? number : "";
    const long value = strtol(text, nullptr, 0);
    cloge(glog, 0, "[ecode]: [%s] : ", text);
    for (const ErrorText &e : error_texts) {
        if (e.number == value) {
            cloge(glog, 0, "%s", e.text);
            cloge(glog, 0, "\n");
            return e.code;
        }
    }
    cloge(glog, 0, "unknown err %d", static_cast<int>(value));
    cloge(glog, 0, "\n");
    return 39;
}

int32_t ca_command(ca410_dev *dev, int32_t cmd, const char *params, int32_t plen, char *rbuf, int32_t rsize,
                   int32_t *rlen, int32_t timeout_ms)
{
    // Command 0 has no prefix; a reply buffer without room for even the
    // terminating zero cannot be written safely.
    if (!dev || !dev->ser || cmd < 1 || cmd >= CA410_KEY_COUNT || plen < 0 || (plen > 0 && !params)
        || (rbuf && rsize < 1)) {
        cloge(glog, 0, "[ca_command]: invalid args\n");
        return 37;
    }
    const size_t prefix_len = strlen(keystr[cmd]);
    const size_t param_len = plen > 0 ? static_cast<size_t>(plen) : (params ? strlen(params) : 0);
    // Prefix, parameters, carriage return and the terminating zero must fit.
    if (prefix_len + param_len + 2 > CommandSize) {
        cloge(glog, 0, "[ca_command]: invalid args\n");
        return 37;
    }
    char command[CommandSize] = {};
    memcpy(command, keystr[cmd], prefix_len);
    if (param_len)
        memcpy(command + prefix_len, params, param_len);
    command[prefix_len + param_len] = '\r';
    const auto command_len = static_cast<int32_t>(prefix_len + param_len + 1);
    clogd(glog, 8, "[ca_command]: send [%s]\n", com2fix(command));

    char reply[ReplySize];
    int32_t received = 0;
    bool fitted = false;
    const int32_t err =
        ca410_exchange_line(dev->ser, cmd, command, command_len, reply, sizeof reply, &received, timeout_ms, &fitted);
    if (err) {
        if (rlen)
            *rlen = 0;
        if (err & SER_COM_TIMEOUT) {
            cloge(glog, 0, "[ca_command]: communication timeout err, 0x%x\n", err);
            return 38;
        }
        cloge(glog, 0, "[ca_command]: communication failed, 0x%x\n", err);
        return 39;
    }
    // Bytes after the first carriage return belong to no reply of this command.
    if (char *cr = static_cast<char *>(memchr(reply, '\r', static_cast<size_t>(received)))) {
        received = static_cast<int32_t>(cr - reply) + 1;
        reply[received] = '\0';
    }
    if (received < MinReply) {
        if (rlen)
            *rlen = 0;
        cloge(glog, 0, "[ca_command]: receive len=%d < %d , err\n", received, MinReply);
        return 52;
    }
    if (reply[0] == 'E' && reply[1] == 'R') {
        if (rlen)
            *rlen = 0;
        reply[4] = '\0';
        const int32_t code = ecode(reply + 2);
        cloge(glog, 0, "[ca_command]: receive err, [%s]\n", reply);
        return code;
    }
    // Only "OK" opens a good reply: anything else is line noise or another
    // device, and its bytes must not pass for the instrument's data. A
    // setting's reply carries no data: one that does is another command's.
    if (reply[0] != 'O' || reply[1] != 'K' || (!fitted && answers_bare(cmd))) {
        if (rlen)
            *rlen = 0;
        cloge(glog, 0, "[ca_command]: communication failed, invalid reply [%s]\n", com2fix(reply));
        return 39;
    }
    if (strncmp(reply, "OK00", 4) != 0)
        wcode(reply);

    int32_t result = 0;
    int32_t length = received - 4;
    if (memchr(reply + 4, '\r', static_cast<size_t>(length)))
        --length;
    if (rbuf) {
        if (rsize <= length) {
            cloge(glog, 0, "[ca_command]: data size %d > rbuf size %d, part data returned\n", length, rsize);
            length = rsize - 1;
            result = 49;
        }
        const char *data = reply + 4;
        if (reply[4] == ',') {
            ++data;
            if (length > 0)
                --length;
        }
        memcpy(rbuf, data, static_cast<size_t>(length));
        rbuf[length] = '\0';
        clogd(glog, 8, "[ca_command]: return (%d bytes) [%s]\n", length, com2fix(rbuf));
    }
    if (rlen)
        *rlen = length;
    return result;
}

int32_t ca410_identity_exchange(ser_com *port, char *answer, int32_t size, int32_t *received, int32_t timeout_ms)
{
    // Waiting for the carriage return rather than for 12 bytes ends the
    // exchange as soon as a short answer ("ER10") is in, instead of letting it
    // run out the whole budget on every port that is not a CA-410.
    int32_t got = 0;
    bool fitted = false;
    static const char command[] = "IDO,0,1\r";
    int32_t err = ca410_exchange_line(port, IDO, command, sizeof command - 1, answer, size, &got, timeout_ms, &fitted);
    if (err == SER_COM_TIMEOUT && got >= 12)
        err = 0;
    if (received)
        *received = got;
    return err;
}

int32_t ser_com_check_ca410(ser_com *port)
{
    const int32_t timeout = 2000;
    clogd(glog, 6, "[ser_com_check_ca410]: timeout %d msec, port: [%s]\n", timeout,
          port && port->path ? port->path : "");
    int32_t err = ser_com_setport(port, 3, 10, 3, 2, 3);
    if (err) {
        cloge(glog, 0, "[ser_com_check_ca410]: set_com_setport err 0x%x\n", err);
        return err;
    }
    char answer[256];
    int32_t received = 0;
    err = ca410_identity_exchange(port, answer, sizeof answer, &received, timeout);
    if (err) {
        cloge(glog, 0, "[ser_com_check_ca410]: ser_com_write_read_ex err 0x%x\n", err);
        return err;
    }
    answer[received] = '\0';
    if (char *cr = strrchr(answer, '\r'))
        *cr = '\0';
    static const char identity[] = "OK00,CA-410,";
    if (strlen(answer) >= 13 && strncmp(answer, identity, sizeof identity - 1) == 0) {
        clogd(glog, 5, "[ser_com_check_ca410]: get [%s]\n", answer + 5);
        return 0;
    }
    return -1;
}

int32_t buf_dump(const void *data, int32_t length)
{
    if (!data || length < 0)
        return 37;
    const auto *bytes = static_cast<const uint8_t *>(data);
    clogd(glog, 6, "[buf_dump]: ------------ start ----------\n");
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t c = bytes[i];
        const bool row_end = i % 16 == 15;
        if (c >= 32 && c <= 126)
            clogd(glog, 0, row_end ? "%02x[ %c] \n" : "%02x[ %c] ", static_cast<unsigned>(i % 256), c);
        else
            clogd(glog, 0, row_end ? "%02x[%02x] \n" : "%02x[%02x] ", static_cast<unsigned>(i % 256), c);
        if (i % 256 == 255)
            clogd(glog, 0, "-------------- 256x%d ---------------\n", i / 256 + 1);
    }
    return 0;
}
