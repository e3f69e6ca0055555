#ifndef MATCHINGRUN_H
#define MATCHINGRUN_H

#include "certificate.h"
#include "matchinginstrument.h"
#include "matchingpatch.h"
#include "matchingsession.h"
#include "patchsource.h"

#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// One sitting of sensor matching: the sensor under correction and the
// reference instrument each on a thread of its own, both reading every patch
// at the same time, each patch read until both have `repeats` readings that
// count (a reading that failed, fell below the luminance floor or lies more
// than 5 sigma from the others is taken again, by both instruments, and never
// averaged in). Every reading goes into the session, which is written to
// the session file, whole, after each patch and when the run ends, also when
// it ends early: then it says where it stopped.
//
// Once the training patches are read the certificate is worked out after every
// patch. At the end, when asked, the recommended method's matrix is written to
// the sensor's own memory, read back and compared.
//
// The run's own thread does the waiting; the object lives on the thread that
// made it and its signals arrive there.
class MatchingRun : public QObject
{
    Q_OBJECT

public:
    struct Settings {
        std::vector<MatchingPatch> patches;
        int repeats = 3;
        double luminanceFloor = RepeatStatistics::DefaultLuminanceFloor;
        double tolerance = Certificate::kDefaultTolerance;
        // Written after every patch and at the end; none when empty, and
        // not written when neither instrument took a reading.
        QString sessionFile;
        // Readings of one patch by one instrument, retakes included, before
        // the run gives up on the patch.
        int maxReadingsPerPatch = 0; // 0: 3 x repeats + 2, at most MatchingSession::MaxRepeats
        // The sensor's memory slot for the recommended matrix, written once
        // every patch is read; none when unset.
        std::optional<int> memoryIndex;
        QString memoryName; // the recommended method's name when empty
    };

    enum class Outcome { Completed, Stopped, Cancelled };
    Q_ENUM(Outcome)

    // What the dialog shows of each instrument.
    enum class InstrumentState { Idle, Opening, Ready, Reading, Failed, Closed };
    Q_ENUM(InstrumentState)

    // The patch source is not owned and must outlive the run.
    MatchingRun(std::unique_ptr<MatchingInstrument> sensor, std::unique_ptr<MatchingInstrument> reference,
                PatchSource* source, Settings settings, QObject* parent = nullptr);
    // Cancels the run and waits for its threads.
    ~MatchingRun() override;

    // Why the settings cannot be run (no patches, a training colour missing,
    // repeats below 1...); empty when they can.
    static QString checkSettings(const Settings& settings);

    // Starts the run; false when it was started before or the settings fail
    // checkSettings (finished follows in neither case).
    bool start();
    // False again once the run's threads are done, maybe just before finished arrives.
    bool isRunning() const;

    // Copies, safe while the run goes on.
    MatchingSession session() const;
    // The last certificate worked out; empty before the training patches are read.
    std::optional<Certificate> certificate() const;
    // What became of the memory write: empty when none was asked or it has not run.
    QString memoryResult() const;
    bool memoryStored() const;

public slots:
    // Ends the run: waits in progress end at once, the session keeps what was
    // read; finished(Cancelled) follows.
    void cancel();

signals:
    void instrumentStateChanged(MatchingSession::Role role, MatchingRun::InstrumentState state, const QString& text);
    void patchStarted(int index);
    // After each reading pair: how many of each instrument's readings count so far.
    void readingTaken(int index, int sensorAccepted, int referenceAccepted, int taken);
    void patchFinished(int index);
    // A new certificate() is there.
    void certificateUpdated();
    // Exactly once after a successful start(); error says why a run stopped.
    void finished(MatchingRun::Outcome outcome, const QString& error);

private:
    class Private;
    std::unique_ptr<Private> d;
};

Q_DECLARE_METATYPE(MatchingSession::Role)

#endif // MATCHINGRUN_H
