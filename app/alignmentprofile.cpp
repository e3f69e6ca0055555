#include "alignmentprofile.h"

#include "sensortypes.h"

#include <QDataStream>
#include <QDebug>
#include <QFile>

#include <utility>

namespace {
// Profiles are read by every version of the program: keep the Qt 5.1 form.
constexpr int kStreamVersion = QDataStream::Qt_5_1;
} // namespace

AlignmentProfile::AlignmentProfile(int sensorType, QString serialNumber, Matrix matrix)
    : m_sensorType(sensorType), m_serialNumber(std::move(serialNumber)), m_matrix(std::move(matrix))
{
}

bool AlignmentProfile::write(const QString& fileName) const
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QDataStream out(&file);
    out.setVersion(kStreamVersion);
    out << Magic << FormatVersion << qint32(m_sensorType - 1) << m_serialNumber << m_matrix;
    qDebug() << "SN" << m_serialNumber;
    file.close();
    return out.status() == QDataStream::Ok && file.error() == QFileDevice::NoError;
}

AlignmentProfile::ReadResult AlignmentProfile::read(const QString& fileName)
{
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return ReadResult::CannotOpen;
    QDataStream in(&file);
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

    m_sensorType = typeCode + 1;
    m_serialNumber = serial;
    m_matrix = matrix;
    return ReadResult::Ok;
}
