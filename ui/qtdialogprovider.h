#ifndef QTDIALOGPROVIDER_H
#define QTDIALOGPROVIDER_H

#include "dialogprovider.h"

// Asks through the real modal QFileDialog and QInputDialog.
class QtDialogProvider final : public DialogProvider
{
public:
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString saveFileNameAndFilter(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                                  QString* selectedFilter) override;
    QString directory(QWidget* parent, const QString& caption, const QString& dir) override;
    QString text(QWidget* parent, const QString& title, const QString& label,
                 const QString& initial, bool* ok) override;
};

#endif // QTDIALOGPROVIDER_H
