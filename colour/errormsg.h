#ifndef ERRORMSG_H
#define ERRORMSG_H

#include <QString>

// Reports a fault in a matrix operation to the debug log. The calling operation
// carries on and its own result (NaN, an empty matrix) carries the failure, as
// other numeric faults do; the program is never ended for it, since that would
// lose the operator's unsaved work over one bad reading.
void ErrorMsg(const QString& message);

#endif // ERRORMSG_H
