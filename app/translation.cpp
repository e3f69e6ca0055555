#include "translation.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLocale>
#include <QTranslator>

bool installTranslation(QCoreApplication& app, const QLocale& locale, QTranslator& translator,
                        const QString& directory)
{
    if (locale.language() != QLocale::Chinese)
        return false;
    // The translation ships beside the program, not in a system location.
    const QString dir = directory.isEmpty() ? QCoreApplication::applicationDirPath() : directory;
    if (!translator.load(QStringLiteral("Lumaserve_zh_CN"), dir)) {
        qDebug() << "No Chinese translation in" << dir;
        return false;
    }
    return app.installTranslator(&translator);
}
