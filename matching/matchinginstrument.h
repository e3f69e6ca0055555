#ifndef MATCHINGINSTRUMENT_H
#define MATCHINGINSTRUMENT_H

#include "correctionmethod.h"
#include "matchingsession.h"
#include "repeatstatistics.h"

#include <QString>

// One of the two instruments of a matching run, as the run sees it. The run
// calls open(), read(), storeMatrix() and close() from one thread of the
// instrument's own, never two at once; cancel() and resume() come from any
// thread.
class MatchingInstrument
{
public:
    virtual ~MatchingInstrument();
    MatchingInstrument(const MatchingInstrument&) = delete;
    MatchingInstrument& operator=(const MatchingInstrument&) = delete;

    // False, with *error saying why, when the instrument cannot be opened.
    virtual bool open(QString* error) = 0;
    virtual void close() = 0;
    // One reading, XYZ in cd/m², raw; a failed reading (RepeatStatistics::isFailed)
    // when the instrument gave none. Returns within the driver's own bound, or
    // at once after cancel().
    virtual RepeatStatistics::Xyz read() = 0;
    // Ends a read() in progress at once where the driver's waits allow it, and
    // every wait until resume().
    virtual void cancel() = 0;
    virtual void resume() = 0;

    // Type, serial number and port; the serial number is known once open.
    virtual MatchingSession::Instrument identity() const = 0;

    // Whether the instrument keeps correction matrices in its own memory.
    virtual bool hasMatrixMemory() const { return false; }
    // Writes matrix to the instrument's memory at index under name, reads it
    // back and compares; false, with *error saying what went wrong (a refused
    // write, a read-back that fails or differs), and nothing is claimed.
    virtual bool storeMatrix(int index, const QString& name, const Matrix3x3& matrix, QString* error);

protected:
    MatchingInstrument() = default;
};

#endif // MATCHINGINSTRUMENT_H
