#ifndef SESSIONVERDICT_H
#define SESSIONVERDICT_H

#include "sessionrecord.h"

#include <QVector>

// How a session is judged. A station has a target white and a tolerance in x
// and in y; a finished session passes when its final white lies within both.
//
// The final white is found by luminance alone, as the requests say nothing of
// the patch shown. Take the value readings that are brighter than every
// reading after them (the last reading always is one); from the brightest of
// them, walk on to later ones while each is at least FinalWhiteShare as bright
// as the one before; the final white is where the walk stops.
//
// A display shows its white brighter than any other patch: of the primaries
// green is the brightest, at about 70 % of the white, and they come before
// the white is read again, so none of them is brighter than everything after
// it. Each correction of the gains lowers the white by a few per cent, which
// the walk follows (a panel with a white sub-pixel loses a fifth and more from
// its factory white over all corrections, but never in one step); a grey of
// the ramp at 75 % drive and below gives about 55 % and less, where the walk
// stops. So the rule finds the last white of a firmware that measures white,
// red, green, blue, the white again until it is on target, then a grey ramp,
// whatever the number of corrections, and whichever way the ramp runs.
class SessionVerdict
{
public:
    static constexpr double FinalWhiteShare = 0.8;
    // D65, as x, y; the default tolerance in x and in y.
    static constexpr double D65X = 0.3127;
    static constexpr double D65Y = 0.3290;
    static constexpr double DefaultTolerance = 0.002;

    SessionVerdict() = default;
    SessionVerdict(double targetX, double targetY, double tolerance);

    double targetX() const { return m_targetX; }
    double targetY() const { return m_targetY; }
    double tolerance() const { return m_tolerance; }

    // The index of the final white among readings; -1 when no reading has a
    // usable corrected value.
    static int finalWhiteIndex(const QVector<SessionRecord::Reading>& readings);
    static std::optional<SessionRecord::White> whiteOf(const SessionRecord::Xyz& xyz);

    // PASS or FAIL for a session the display ended with "MES,0": FAIL also when
    // it never had a white read; INCOMPLETE for one it did not end.
    QString judge(const std::optional<SessionRecord::White>& white, bool ended) const;
    bool isOnTarget(const SessionRecord::White& white) const;

private:
    double m_targetX = D65X;
    double m_targetY = D65Y;
    double m_tolerance = DefaultTolerance;
};

#endif // SESSIONVERDICT_H
