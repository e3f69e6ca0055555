#ifndef MATCHMEASUREMENT_H
#define MATCHMEASUREMENT_H

#include "certificate.h"
#include "matchingpatch.h"

#include <QString>

#include <optional>
#include <vector>

class MatchingSession;

// `match` measuring a new session: opens the sensor and the reference
// instrument, runs the patches past both with the chosen patch source, keeps
// the session in DIR/session.json while it goes, and at the end writes the
// certificate's files, and the recommended matrix to a profile and to the
// sensor's memory when asked. Progress goes to standard error.
class MatchMeasurement
{
public:
    enum class Source { Command, Screen, Operator };

    struct Options {
        int sensorType = 0;
        QString sensorPort;
        int referenceType = 0;
        QString referencePort;
        Source source = Source::Operator;
        QString patternCommand;
        int screen = 0;
        int settleMs = 500;
        std::vector<MatchingPatch> patches;
        int repeats = 3;
        double tolerance = 0.002;
        QString profile; // none when empty
        std::optional<int> memoryIndex;
        QString outDirectory;
    };

    explicit MatchMeasurement(Options options);

    // The exit code.
    int run();
    // The certificate of a run that went to the end.
    const std::optional<Certificate>& certificate() const { return m_certificate; }

private:
    int checkPorts() const;
    int finish(const Certificate& certificate, const MatchingSession& session) const;

    Options m_options;
    std::optional<Certificate> m_certificate;
};

#endif // MATCHMEASUREMENT_H
