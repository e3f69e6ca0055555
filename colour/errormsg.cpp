#include "errormsg.h"

#include <QDebug>

void ErrorMsg(const QString& message)
{
    qDebug() << message;
}
