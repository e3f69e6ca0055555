#ifndef ERRORMSG_H
#define ERRORMSG_H

#include <QString>

// Reports a fault in a matrix operation: the message goes to the debug log and,
// when quit is true, the application's event loop is asked to end with -1.
// The calling operation carries on; it never throws.
void ErrorMsg(const QString& message, bool quit = true);

#endif // ERRORMSG_H
