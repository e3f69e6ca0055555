#include "qtdialogprovider.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>

QString QtDialogProvider::openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                       const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString QtDialogProvider::saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                       const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString QtDialogProvider::saveFileNameAndFilter(QWidget* parent, const QString& caption, const QString& dir,
                                                const QString& filter, QString* selectedFilter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, selectedFilter);
}

QString QtDialogProvider::text(QWidget* parent, const QString& title, const QString& label,
                               const QString& initial, bool* ok)
{
    return QInputDialog::getText(parent, title, label, QLineEdit::Normal, initial, ok);
}

QString QtDialogProvider::directory(QWidget* parent, const QString& caption, const QString& dir)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}
