#ifndef QTQUIET_H
#define QTQUIET_H

// Formats every Qt log message and throws it away, so a fuzzer's millions of
// driver diagnostics cost no terminal output but still run their formatting.

#include <QString>
#include <QtGlobal>

inline void quietQtHandler(QtMsgType, const QMessageLogContext&, const QString& message)
{
    (void)message.size();
}

// FUZZ_VERBOSE=1 keeps the log, to read it when replaying an input.
inline void quietQtLog()
{
    if (!qEnvironmentVariableIsSet("FUZZ_VERBOSE"))
        qInstallMessageHandler(quietQtHandler);
}

#endif // QTQUIET_H
