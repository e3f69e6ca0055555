#include "translation.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installTranslation(QCoreApplication& app, const QLocale& locale, QTranslator& translator,
                        const QString& directory)
{
    if (locale.language() != QLocale::Chinese)
        return false;
    // The translation ships with the program, not in a system location: beside
    // it where it is built, in the prefix's share/lumaserve/ where it is installed.
    QString dir = directory;
    if (dir.isEmpty()) {
        const QDir programDir(QCoreApplication::applicationDirPath());
        dir = programDir.exists(QStringLiteral("Lumaserve_zh_CN.qm"))
            ? programDir.path()
            : programDir.filePath(QStringLiteral("../share/lumaserve"));
    }
    if (!translator.load(QStringLiteral("Lumaserve_zh_CN"), dir)) {
        qDebug() << "No Chinese translation in" << dir;
        return false;
    }
    return app.installTranslator(&translator);
}

bool installQtTranslation(QCoreApplication& app, const QLocale& locale, QTranslator& translator,
                          const QString& directory)
{
    if (locale.language() != QLocale::Chinese)
        return false;
    // Qt's translations come with Qt (on Debian in qttranslations5-l10n), not
    // with the program.
    const QString dir =
        directory.isEmpty() ? QLibraryInfo::location(QLibraryInfo::TranslationsPath) : directory;
    if (!translator.load(QStringLiteral("qtbase_zh_CN"), dir)) {
        qDebug() << "No Chinese translation of Qt in" << dir;
        return false;
    }
    return app.installTranslator(&translator);
}
