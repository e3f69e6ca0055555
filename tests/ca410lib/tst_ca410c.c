/* The public header is a C interface: this file must build as plain C and
 * reach the library through it. */
#include "mlink_ca410.h"

#include <stdio.h>
#include <string.h>

int main(void)
{
    uint8_t b[3];
    clog *log = new_clog_default(NULL);
    int failures = 0;
    if (!log || log->ref_count != 1 || clog_del(log) != 0)
        ++failures;
    if (Float2Bytes3Buf(b, 1.0) != 0 || b[0] != 0x40 || b[2] != 0x01)
        ++failures;
    if (strcmp(keystr[38], "MES,") != 0 || cfgs[13].cmd != 23)
        ++failures;
    if (ca_command(NULL, 19, "0", 0, NULL, 0, NULL, 10) != 37)
        ++failures;
    if (failures)
        printf("%d checks failed\n", failures);
    return failures ? 1 : 0;
}
