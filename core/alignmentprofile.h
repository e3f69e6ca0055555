#ifndef ALIGNMENTPROFILE_H
#define ALIGNMENTPROFILE_H

#include "matrix.h"

#include <QString>

// An alignment profile (*.alg): the correction matrix of one instrument with the
// instrument's type and serial number, as one Qt 5.1 data stream. Reading checks
// the file completely and hands back what it holds; applying it is the caller's
// business.
class AlignmentProfile
{
public:
    static constexpr qint32 Magic = 0x12345678;
    static constexpr qint32 FormatVersion = 0x01000002;

    enum class ReadResult {
        Ok,
        CannotOpen, // missing, unreadable or unnamed: callers stay silent
        ParseError, // not a profile, or a damaged one
    };

    AlignmentProfile() = default;
    AlignmentProfile(int sensorType, QString serialNumber, Matrix matrix);

    // The sensor type of the type table; stored in the file as type - 1.
    int sensorType() const { return m_sensorType; }
    QString serialNumber() const { return m_serialNumber; }
    Matrix matrix() const { return m_matrix; }

    // Writes the whole profile or nothing: the file of that name, if any, is
    // replaced only once the new one is complete. False when the file cannot be
    // created or written completely, or when the matrix is not usable
    // (MatrixCheck); *error then says why.
    bool write(const QString& fileName, QString* error = nullptr) const;
    // Rejects a wrong magic or version, a file that ends early or fails to
    // stream, a matrix that is not 3 x 3 or not usable (MatrixCheck) and a
    // type outside the type table; the profile is then unchanged. What is not
    // a regular file is not opened (CannotOpen), one larger than any profile
    // is not read (ParseError); for these *error says why.
    ReadResult read(const QString& fileName, QString* error = nullptr);

private:
    int m_sensorType = 0;
    QString m_serialNumber;
    Matrix m_matrix = Matrix::IdentityMatrix(3);
};

#endif // ALIGNMENTPROFILE_H
