#ifndef DIALOGPROVIDER_H
#define DIALOGPROVIDER_H

#include <QString>

class QWidget;

// The one way the windows ask for file names and texts. The program installs a
// provider with the real Qt dialogs at start-up; tests install one that answers
// at once. With none installed every question is answered as cancelled.
class DialogProvider
{
public:
    virtual ~DialogProvider();

    // An empty string when the user cancels.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    // As saveFileName, and *selectedFilter the filter the user left chosen,
    // for a file whose kind follows it when the name has no suffix. A
    // provider that cannot tell leaves it empty.
    virtual QString saveFileNameAndFilter(QWidget* parent, const QString& caption, const QString& dir,
                                          const QString& filter, QString* selectedFilter);
    // An existing directory; empty when the user cancels, and from a provider
    // that asks for none.
    virtual QString directory(QWidget* parent, const QString& caption, const QString& dir);
    // *ok is false when the user cancels.
    virtual QString text(QWidget* parent, const QString& title, const QString& label,
                         const QString& initial, bool* ok) = 0;

    // The provider in use; never null.
    static DialogProvider& current();
    // Installs a provider the caller keeps alive; nullptr restores the
    // cancelling fallback. Returns the one installed before, or nullptr.
    static DialogProvider* install(DialogProvider* provider);
};

#endif // DIALOGPROVIDER_H
