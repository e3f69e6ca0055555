#ifndef CORRECTIONMETHOD_H
#define CORRECTIONMETHOD_H

#include "matchingsample.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// Rows of a 3 x 3 correction: corrected XYZ = matrix x raw XYZ (column vectors).
using Matrix3x3 = std::array<std::array<double, 3>, 3>;

// One way of computing a sensor's correction matrix from patches read by the
// sensor and by a reference instrument. Methods keep no state between calls,
// so one instance may serve any number of certificates.
class CorrectionMethod
{
    Q_DECLARE_TR_FUNCTIONS(CorrectionMethod)

public:
    using Xyz = MatchingSample::Xyz;

    virtual ~CorrectionMethod();
    CorrectionMethod(const CorrectionMethod&) = delete;
    CorrectionMethod& operator=(const CorrectionMethod&) = delete;

    // "four-colour", "fcmm", "astm-e1455" or "least-squares".
    virtual QString name() const = 0;
    // The matrix from the training patches of samples. On refusal returns false,
    // leaves *out alone and sets *error to a text that starts with name().
    virtual bool compute(const std::vector<MatchingSample>& samples, Matrix3x3* out,
                         QString* error) const = 0;

    static Xyz apply(const Matrix3x3& m, const Xyz& v);
    static Matrix3x3 multiply(const Matrix3x3& a, const Matrix3x3& b);
    // False for a matrix whose determinant is negligible against the largest
    // its columns' lengths allow (Hadamard's bound), so the readings' scale
    // does not decide what counts as singular.
    static bool invert(const Matrix3x3& m, Matrix3x3* inverse);
    static bool isFinite(const Matrix3x3& m);
    static bool isFinite(const Xyz& v);

protected:
    CorrectionMethod() = default;

    // The training patches of these names in this order, or a refusal naming
    // the missing ones or the patch whose reading is not a finite number.
    bool trainingPatches(const std::vector<MatchingSample>& samples, const QStringList& names,
                         std::vector<const MatchingSample*>* found, QString* error) const;
    // Sets *error to name() and the reason; always false, for `return refuse(...)`.
    bool refuse(QString* error, const QString& reason) const;
    // Stores a finished matrix, refusing one that holds infinities or NaN.
    bool accept(const Matrix3x3& m, Matrix3x3* out, QString* error) const;
};

#endif // CORRECTIONMETHOD_H
