#ifndef CERTIFICATE_H
#define CERTIFICATE_H

#include "correctionmethod.h"
#include "matchingsample.h"

#include <QCoreApplication>
#include <QString>

#include <array>
#include <memory>
#include <vector>

// How well each correction method does on the patches of a matching run: the
// figures per patch, their summaries for training and validation patches
// apart, and the method recommended. Computation only; the writers turn it
// into bytes.
class Certificate
{
    Q_DECLARE_TR_FUNCTIONS(Certificate)

public:
    using Xyz = MatchingSample::Xyz;

    // Largest validation Δxy a correction may leave and still pass.
    static constexpr double kDefaultTolerance = 0.002;

    struct PatchFigures {
        QString name;
        bool training = false;
        Xyz reference{};
        Xyz corrected{};
        std::array<double, 3> referenceXyY{};
        std::array<double, 3> correctedXyY{};
        std::array<double, 2> referenceUv{}; // u', v'
        std::array<double, 2> correctedUv{};
        double deltaXy = 0.0;
        double deltaUv = 0.0;
        double deltaE2000 = 0.0;
        double luminanceErrorPercent = 0.0; // (corrected - reference) / reference, signed
    };

    // Over no patches every field but count is NaN.
    struct Summary {
        int count = 0;
        double mean = 0.0;
        double percentile95 = 0.0;
        double maximum = 0.0;
    };

    struct Summaries {
        Summary deltaXy;
        Summary deltaUv;
        Summary deltaE2000;
        Summary luminanceErrorPercent; // of the magnitudes
    };

    struct LeftOut {
        QString name;
        double deltaUv = 0.0; // NaN when the fit without it was refused
        QString error;
    };

    struct MethodResult {
        QString name;
        bool refused = false;
        QString error;
        Matrix3x3 matrix{};
        std::vector<PatchFigures> patches;
        Summaries training;
        Summaries validation;
        // Least squares only: each training patch judged by the fit without it.
        std::vector<LeftOut> leaveOneOut;
        bool passes = false;
    };

    // four-colour, fcmm, astm-e1455, least-squares, in that order.
    static std::vector<std::unique_ptr<CorrectionMethod>> standardMethods();

    // Mean, 95th percentile (linear between the closest ranks, the sorted
    // values at ranks 0 ... n-1 and p = 0.95 (n - 1)) and maximum.
    static Summary summarise(std::vector<double> values);

    // Refuses (false, *error set) only when the reference's "white" training
    // patch, against which CIELAB is taken, is missing or not positive.
    bool compute(const std::vector<MatchingSample>& samples,
                 const std::vector<const CorrectionMethod*>& methods,
                 double tolerance = kDefaultTolerance, QString* error = nullptr);

    double tolerance() const { return m_tolerance; }
    const std::vector<MethodResult>& methods() const { return m_methods; }
    const MethodResult* method(const QString& name) const;
    // Empty when no method could be judged on validation patches.
    QString recommended() const { return m_recommended; }
    // The recommended method's verdict; false without one.
    bool passes() const;

private:
    double m_tolerance = kDefaultTolerance;
    std::vector<MethodResult> m_methods;
    QString m_recommended;
};

#endif // CERTIFICATE_H
