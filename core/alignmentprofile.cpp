#include "alignmentprofile.h"

#include "matrixcheck.h"
#include "plainfile.h"
#include "sensortypes.h"

#include <QDataStream>
#include <QDebug>

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

    return PlainFile::writeWhole(fileName, bytes, error);
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
