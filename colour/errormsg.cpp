#include "errormsg.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMetaObject>
#include <QThread>

void ErrorMsg(const QString& message, bool quit)
{
    qDebug() << message;
    if (!quit)
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // The alignment thread multiplies matrices too; the quit request must reach the
    // main thread's event loop rather than touch it from another thread.
    if (QThread::currentThread() == app->thread())
        QCoreApplication::exit(-1);
    else
        QMetaObject::invokeMethod(app, [] { QCoreApplication::exit(-1); }, Qt::QueuedConnection);
}
