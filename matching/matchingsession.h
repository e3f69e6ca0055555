#ifndef MATCHINGSESSION_H
#define MATCHINGSESSION_H

#include "matchingpatch.h"
#include "matchingsample.h"
#include "repeatstatistics.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// One sitting of sensor matching as it is kept on disk: both instruments, the
// patches, and every reading each instrument took of each patch, those to be
// taken again included, so that any correction can be worked out again later
// without measuring again.
//
// The file is JSON:
//
//     {
//       "format_version": 1,
//       "instruments": [ {"role": "sensor", "type_name": "...", "type_number": 7,
//                         "serial_number": "...", "port": "..."},
//                        {"role": "reference", ...} ],
//       "started": "2026-12-08T02:00:00.000Z", "ended": "...",
//       "repeats": 5, "luminance_floor": 0.05,
//       "patches": [ {"name": "red", "r": 255, "g": 0, "b": 0, "training": true,
//                     "sensor": [ {"xyz": [X, Y, Z], "time": "...", "rejected": null}, ... ],
//                     "reference": [ ... ]}, ... ],
//       "stopped_at": null  or  {"patch": "green", "reason": "..."}
//     }
//
// Times are UTC to the millisecond. "rejected" is null for a reading that
// counts, else why it was taken again ("failed", "below floor", "outlier");
// the XYZ of a failed reading may be null where the instrument gave no number.
// "repeats" is how many readings were asked of each instrument per patch.
class MatchingSession
{
public:
    static constexpr int FormatVersion = 1;
    // Bounds for what a file claims. A full session of the most patches a set
    // may have, each read 20 times by both instruments, is about 3 MB.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;
    static constexpr int MaxRepeats = 1000; // readings of one patch by one instrument, retakes included

    enum class Role { Sensor, Reference };

    struct Instrument {
        QString typeName;
        int typeNumber = 0;
        QString serialNumber;
        QString port;
        bool operator==(const Instrument& o) const;
    };

    struct Reading {
        RepeatStatistics::Xyz xyz{};
        QDateTime time; // UTC
        RepeatStatistics::Rejection rejection = RepeatStatistics::Rejection::None;
        bool operator==(const Reading& o) const;
    };

    struct PatchRecord {
        MatchingPatch patch;
        std::vector<Reading> sensor;
        std::vector<Reading> reference;
        const std::vector<Reading>& readings(Role role) const { return role == Role::Sensor ? sensor : reference; }
        bool operator==(const PatchRecord& o) const;
    };

    // Where a session ended early because an instrument failed.
    struct Stop {
        QString patch;
        QString reason;
        bool operator==(const Stop& o) const;
    };

    static QString roleName(Role role); // "sensor", "reference"

    const Instrument& instrument(Role role) const { return role == Role::Sensor ? m_sensor : m_reference; }
    void setInstrument(Role role, const Instrument& instrument);

    QDateTime started() const { return m_started; }
    void setStarted(const QDateTime& time) { m_started = time; }
    QDateTime ended() const { return m_ended; }
    void setEnded(const QDateTime& time) { m_ended = time; }

    int repeats() const { return m_repeats; }
    void setRepeats(int repeats) { m_repeats = repeats; }
    double luminanceFloor() const { return m_floor; }
    void setLuminanceFloor(double floor) { m_floor = floor; }

    // Setting the patches drops every reading.
    void setPatches(const std::vector<MatchingPatch>& patches);
    const std::vector<PatchRecord>& patches() const { return m_patches; }
    // False for an index out of range.
    bool addReading(int patchIndex, Role role, const Reading& reading);
    // Replaces one instrument's readings of a patch, as when a later reading
    // changes which earlier ones count; false for an index out of range.
    bool setReadings(int patchIndex, Role role, std::vector<Reading> readings);

    const std::optional<Stop>& stoppedAt() const { return m_stoppedAt; }
    void setStoppedAt(const std::optional<Stop>& stop) { m_stoppedAt = stop; }

    // The file's text; empty, with *error saying why, for a session the reader
    // would refuse (a reading with no number that did not fail, a duplicate
    // name...), which is therefore not written either.
    QByteArray toJson(QString* error) const;
    // Writes the file whole or not at all.
    bool write(const QString& fileName, QString* error) const;

    // Reads the file; on failure *error names the field at fault (as in
    // "patches[2].sensor[0].xyz[1]: ...") and the session is left as it was.
    bool read(const QString& fileName, QString* error);
    bool parse(const QByteArray& text, QString* error);

    // One sample per patch that has an accepted reading of both instruments:
    // the means of the accepted readings. The names of the patches left out,
    // in order, go to *leftOut.
    std::vector<MatchingSample> samples(QStringList* leftOut = nullptr) const;

    bool operator==(const MatchingSession& o) const;
    bool operator!=(const MatchingSession& o) const { return !(*this == o); }

private:
    QByteArray serialise() const;

    Instrument m_sensor;
    Instrument m_reference;
    QDateTime m_started;
    QDateTime m_ended;
    int m_repeats = 1;
    double m_floor = RepeatStatistics::DefaultLuminanceFloor;
    std::vector<PatchRecord> m_patches;
    std::optional<Stop> m_stoppedAt;
};

#endif // MATCHINGSESSION_H
