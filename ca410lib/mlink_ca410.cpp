// The CA-410 library: support routines, serial transport, the command protocol and
// the device operations are added here as they are built.
#include "mlink_ca410.h"
