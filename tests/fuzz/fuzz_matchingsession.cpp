// The matching session reader on whatever a session file holds.
//
// Beyond crashes: a file refused says which field is at fault and leaves the
// session as it was; a file taken keeps the bounds the reader promises (counts,
// unique names, counted readings finite, UTC times), is written back to a text
// that reads the same, and gives finite samples.
#include "matchingsession.h"
#include "patchset.h"

#include <QByteArray>
#include <QSet>

#include <cmath>
#include <cstdlib>

namespace {

MatchingSession known()
{
    MatchingSession s;
    s.setInstrument(MatchingSession::Role::Sensor, {QStringLiteral("kept"), 1, QStringLiteral("1"), QString()});
    s.setRepeats(2);
    s.setPatches(PatchSet::defaultSet().patches());
    s.addReading(0, MatchingSession::Role::Sensor,
                 {{1, 2, 3}, QDateTime::fromMSecsSinceEpoch(0, Qt::UTC), RepeatStatistics::Rejection::None});
    return s;
}

bool finite(const MatchingSample::Xyz& xyz)
{
    return std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const MatchingSession before = known();
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<int>(size));

    MatchingSession session = before;
    QString error;
    if (!session.parse(text, &error)) {
        if (error.isEmpty() || session != before)
            std::abort();
        return 0;
    }

    if (session.patches().size() > size_t(PatchSet::MaxPatches) || session.repeats() < 1
        || session.repeats() > MatchingSession::MaxRepeats || !std::isfinite(session.luminanceFloor())
        || !session.started().isValid() || !session.ended().isValid())
        std::abort();
    QSet<QString> names;
    for (const MatchingSession::PatchRecord& record : session.patches()) {
        const MatchingPatch& p = record.patch;
        if (p.name.isEmpty() || p.r < 0 || p.r > 255 || p.g < 0 || p.g > 255 || p.b < 0 || p.b > 255
            || p.training != MatchingPatch::isTrainingName(p.name))
            std::abort();
        names.insert(p.name.toLower());
        for (const auto* list : {&record.sensor, &record.reference}) {
            if (list->size() > size_t(MatchingSession::MaxRepeats))
                std::abort();
            for (const MatchingSession::Reading& r : *list) {
                if (!r.time.isValid() || r.time.timeSpec() != Qt::UTC)
                    std::abort();
                if (r.rejection == RepeatStatistics::Rejection::None && !finite(r.xyz))
                    std::abort();
            }
        }
    }
    if (names.size() != int(session.patches().size()))
        std::abort();
    if (session.stoppedAt()) {
        bool listed = false;
        for (const MatchingSession::PatchRecord& record : session.patches())
            listed = listed || record.patch.name == session.stoppedAt()->patch;
        if (!listed)
            std::abort();
    }

    // What was read is written, and what is written reads the same.
    const QByteArray written = session.toJson(&error);
    MatchingSession again;
    if (written.isEmpty() || !again.parse(written, &error) || again != session || again.toJson(&error) != written)
        std::abort();

    QStringList leftOut;
    const std::vector<MatchingSample> samples = session.samples(&leftOut);
    if (samples.size() + size_t(leftOut.size()) != session.patches().size())
        std::abort();
    for (const MatchingSample& sample : samples) {
        if (!finite(sample.sensor) || !finite(sample.reference))
            std::abort();
    }
    return 0;
}
