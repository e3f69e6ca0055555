#ifndef EXITCODE_H
#define EXITCODE_H

// What the command-line program's exit status means; scripts and the service
// manager rely on these values.
enum ExitCode : int {
    ExitDone = 0,       // done, or stopped by SIGINT/SIGTERM
    ExitUsage = 1,      // bad arguments, or the operator gave up
    ExitInstrument = 2, // the sensor or a port failed or cannot be opened
    ExitFile = 3,       // a file cannot be read or written, is malformed, or belongs elsewhere
    ExitFigures = 4,    // simulate: a figure is not where it must be; match: the verdict is fail
};

#endif // EXITCODE_H
