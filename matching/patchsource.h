#ifndef PATCHSOURCE_H
#define PATCHSOURCE_H

#include "matchingpatch.h"

#include <QString>

// What puts each patch of a matching run in front of both instruments: a
// window of the program, an outside pattern generator, or the operator.
// show() is called on the run's thread and returns once the patch is shown
// and has settled; cancel() comes from any thread and makes a show() in
// progress, and every later one, return false at once.
class PatchSource
{
public:
    virtual ~PatchSource();
    PatchSource(const PatchSource&) = delete;
    PatchSource& operator=(const PatchSource&) = delete;

    // False, with *error saying why, when the patch could not be shown or the
    // run was cancelled.
    virtual bool show(const MatchingPatch& patch, QString* error) = 0;
    virtual void cancel() = 0;
    // After the last patch, or when the run ends early: takes down what show()
    // put up. On the run's thread.
    virtual void finish() {}

protected:
    PatchSource() = default;
};

#endif // PATCHSOURCE_H
