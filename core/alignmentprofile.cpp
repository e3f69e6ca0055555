#include "alignmentprofile.h"

#include "matrixcheck.h"
#include "plainfile.h"
#include "sensortypes.h"

#include <QDataStream>
#include <QDebug>
#include <QSaveFile>

#include <utility>

namespace {
// Profiles are read by every version of the program: keep the Qt 5.1 form.
constexpr int kStreamVersion = QDataStream::Qt_5_1;
} // namespace

AlignmentProfile::AlignmentProfile(int sensorType, QString serialNumber, Matrix matrix)
    : m_sensorType(sensorType), m_serialNumber(std::move(serialNumber)), m_matrix(std::move(matrix))
{
}

bool AlignmentProfile::write(const QString& fileName, QString* error) const
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };

    // What the reader would refuse as damage is not written either.
    if (!MatrixCheck::isUsable(m_matrix))
        return fail(QStringLiteral("the matrix holds a value that is not a number or beyond %1")
                        .arg(MatrixCheck::MaxEntry));

    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(kStreamVersion);
        out << Magic << FormatVersion << qint32(m_sensorType - 1) << m_serialNumber << m_matrix;
    }
    qDebug() << "SN" << m_serialNumber;

    // A device, FIFO or socket of that name would be replaced by a file (or,
    // for /dev/full, take nothing and seem to have taken it all).
    QString target;
    QString refusal;
    if (!PlainFile::writeTarget(fileName, &target, &refusal))
        return fail(refusal);

    // A full disk or a crash half-way must neither leave a damaged profile nor
    // destroy the one that was there: the new file replaces it only once it is
    // complete. Unbuffered, so that a short write is seen here; a buffered one
    // would only surface when the file is closed, where it goes unreported.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        const QString reason = written < 0 || file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("only %1 of %2 bytes could be written (is the disk full?)")
                                         .arg(written)
                                         .arg(bytes.size());
        file.cancelWriting();
        file.commit();
        return fail(reason);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

AlignmentProfile::ReadResult AlignmentProfile::read(const QString& fileName, QString* error)
{
    QByteArray bytes;
    QString reason;
    switch (PlainFile::read(fileName, &bytes, &reason)) {
    case PlainFile::ReadResult::Read:
        break;
    case PlainFile::ReadResult::CannotOpen:
    case PlainFile::ReadResult::NotAFile:
        if (error)
            *error = reason;
        return ReadResult::CannotOpen;
    case PlainFile::ReadResult::TooLarge:
        if (error)
            *error = reason;
        return ReadResult::ParseError;
    }
    QDataStream in(bytes);
    in.setVersion(kStreamVersion);

    qint32 magic = 0;
    in >> magic;
    if (in.status() != QDataStream::Ok || magic != Magic)
        return ReadResult::ParseError;
    qint32 version = 0;
    in >> version;
    if (in.status() != QDataStream::Ok || version != FormatVersion)
        return ReadResult::ParseError;

    qint32 typeCode = 0;
    QString serial;
    Matrix matrix = Matrix::IdentityMatrix(3);
    in >> typeCode >> serial >> matrix;
    if (in.status() != QDataStream::Ok || matrix.GetRows() != 3 || matrix.GetColumns() != 3)
        return ReadResult::ParseError;
    // The type picks an entry of the type table; a code naming none is damage.
    if (typeCode < -1 || typeCode > kSensorTypeCount - 2)
        return ReadResult::ParseError;
    // NaN, infinities or entries no correction has would reach the display's
    // gains as nonsense.
    if (!MatrixCheck::isUsable(matrix))
        return ReadResult::ParseError;

    m_sensorType = typeCode + 1;
    m_serialNumber = serial;
    m_matrix = matrix;
    return ReadResult::Ok;
}
