#include "storyfigures.h"

#include <algorithm>
#include <cmath>

namespace {

QString figure(double value)
{
    return QString::number(value, 'f', 6);
}

} // namespace

double StoryFigures::reopenedMatrixDrift() const
{
    double worst = 0.0;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::fabs(reopenedMatrix(r, c) - matrix(r, c)));
    }
    return worst;
}

QStringList StoryFigures::whatIsWrong() const
{
    // Written so that a figure never taken (NaN) counts as wrong.
    QStringList wrong;
    if (!(identityWhiteError > kUncorrectedAtLeast))
        wrong << QStringLiteral("with the sensor uncorrected the display's true white error is %1, not above %2")
                     .arg(figure(identityWhiteError), QString::number(kUncorrectedAtLeast));
    if (!(correctedWhiteError < kCorrectedBelow))
        wrong << QStringLiteral("with the calibrated sensor the display's true white error is %1, not below %2")
                     .arg(figure(correctedWhiteError), QString::number(kCorrectedBelow));
    if (!(reopenedMatrixDrift() <= kMatrixTolerance))
        wrong << QStringLiteral("the reopened profile's matrix differs from the saved one by up to %1")
                     .arg(QString::number(reopenedMatrixDrift(), 'g', 3));
    if (!(reopenedWhiteError < kCorrectedBelow))
        wrong << QStringLiteral("after reopening the profile the display's true white error is %1, not below %2")
                     .arg(figure(reopenedWhiteError), QString::number(kCorrectedBelow));
    if (matchedValidationDeltaXy && !(*matchedValidationDeltaXy < kMatchedBelow))
        wrong << QStringLiteral("the matched sensor leaves up to %1 in xy on the validation patches, not below %2")
                     .arg(figure(*matchedValidationDeltaXy), QString::number(kMatchedBelow));
    if (keptSessions >= 0 && keptSessions != alignmentRuns)
        wrong << QStringLiteral("%1 alignments left %2 sessions in the records, not one each").arg(alignmentRuns).arg(keptSessions);
    for (const QString& verdict : keptVerdicts) {
        if (verdict != QLatin1String("PASS"))
            wrong << QStringLiteral("a session kept in the records was judged %1, not PASS").arg(verdict);
    }
    return wrong;
}
