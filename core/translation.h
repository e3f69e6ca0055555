#ifndef TRANSLATION_H
#define TRANSLATION_H

#include <QString>

class QCoreApplication;
class QLocale;
class QTranslator;

// Loads "Lumaserve_zh_CN" from directory (the program's own directory when
// empty) into translator and installs it in app, when locale's language is
// Chinese. Returns whether a translation was installed.
bool installTranslation(QCoreApplication& app, const QLocale& locale, QTranslator& translator,
                        const QString& directory = QString());

// Loads Qt's own Chinese translation, "qtbase_zh_CN" (the texts Qt supplies:
// the standard buttons OK, Cancel, Yes, No and its dialogs), from directory
// (Qt's installed translations when empty) into translator and installs it in
// app, when locale's language is Chinese. Returns whether it was installed.
bool installQtTranslation(QCoreApplication& app, const QLocale& locale, QTranslator& translator,
                          const QString& directory = QString());

#endif // TRANSLATION_H
