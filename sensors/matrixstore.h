#ifndef MATRIXSTORE_H
#define MATRIXSTORE_H

#include "calfile.h"

#include <QStringList>

// Calibration matrices an instrument keeps in its own memory (i1Display Pro,
// K-10): what the features dialog lists, reads, writes and deletes, reached
// through CSensor::matrixStore() without knowing the driver.
class MatrixStore
{
public:
    virtual ~MatrixStore() = default;

    // Names "MAT[index]_name" of the stored matrices; empty on failure.
    virtual QStringList GetCalList() = 0;
    // The matrix at position listIndex of the last GetCalList(); a Calfile with
    // an empty name on failure.
    virtual Calfile GetCalfile(int listIndex) = 0;
    // 0 when stored, 1 otherwise.
    virtual int SaveCalfile(Calfile calfile) = 0;
    // 0 when deleted, 1 otherwise.
    virtual int DelCalfile(int index) = 0;
    // Non-zero when the instrument applies its user matrix to its readings;
    // 0 for an instrument that does not say.
    virtual int getUsrEnabled() const { return 0; }

protected:
    MatrixStore() = default;
    MatrixStore(const MatrixStore&) = default;
    MatrixStore& operator=(const MatrixStore&) = default;
};

#endif // MATRIXSTORE_H
