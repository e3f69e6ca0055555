#ifndef MODALDIALOG_H
#define MODALDIALOG_H

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>

// Acts on the next modal dialog of type D as soon as it runs, so that a window
// slot that opens one with exec() can be tested without anybody at the keyboard.
// The dialog is rejected after the action unless the action closed it; when no
// such dialog appears within the deadline the watch ends by itself, so a slot
// that opens nothing is never waited on for ever. The watch returned is null
// once it has ended.
template <typename D>
QPointer<QTimer> whenModal(std::function<void(D*)> act, int deadlineMs = 5000)
{
    auto* watch = new QTimer;
    watch->setInterval(10);
    const QDeadlineTimer deadline(deadlineMs);
    QObject::connect(watch, &QTimer::timeout, [watch, deadline, act] {
        QPointer<D> dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!dialog && !deadline.hasExpired())
            return;
        watch->stop();
        watch->deleteLater();
        if (!dialog)
            return;
        act(dialog);
        if (dialog && dialog->isVisible())
            dialog->reject();
    });
    watch->start();
    return watch;
}

#endif // MODALDIALOG_H
