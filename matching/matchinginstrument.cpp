#include "matchinginstrument.h"

#include <QCoreApplication>

MatchingInstrument::~MatchingInstrument() = default;

bool MatchingInstrument::storeMatrix(int index, const QString& name, const Matrix3x3& matrix, QString* error)
{
    Q_UNUSED(index)
    Q_UNUSED(name)
    Q_UNUSED(matrix)
    if (error)
        *error = QCoreApplication::translate("MatchingInstrument", "The %1 keeps no matrices in its memory.")
                     .arg(identity().typeName);
    return false;
}
