#include "translation.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

// The Chinese translations (the program's own, beside it, and Qt's, with Qt) are
// loaded when, and only when, the system language is Chinese and the file is there.
class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void loadsOnlyChinese_data();
    void loadsOnlyChinese();
};

namespace {
const char* kContext = "MainWindow";
const char* kSource = "Ready.";
const QString kChinese = QString::fromUtf8("就绪。");

// Where Qt keeps the texts of its standard buttons.
const char* kQtContext = "QPlatformTheme";

bool hasChineseCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.script() == QChar::Script_Han)
            return true;
    }
    return false;
}
} // namespace

void TestTranslation::loadsOnlyChinese_data()
{
    QTest::addColumn<bool>("qts");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("emptyDirectory");
    QTest::addColumn<bool>("installed");
    for (const bool qts : {false, true}) {
        const char* whose = qts ? "Qt's" : "own";
        QTest::addRow("%s, Chinese", whose) << qts << QLocale(QLocale::Chinese, QLocale::China) << false << true;
        for (QLocale::Language language : {QLocale::English, QLocale::German, QLocale::Japanese})
            QTest::addRow("%s, %s", whose, qPrintable(QLocale::languageToString(language)))
                << qts << QLocale(language) << false << false;
        QTest::addRow("%s, Chinese, no file", whose) << qts << QLocale(QLocale::Chinese) << true << false;
    }
}

void TestTranslation::loadsOnlyChinese()
{
    QFETCH(bool, qts);
    QFETCH(QLocale, locale);
    QFETCH(bool, emptyDirectory);
    QFETCH(bool, installed);
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    const QString directory = emptyDirectory ? empty.path() : QString();
    QCoreApplication& app = *QCoreApplication::instance();
    QTranslator translator;
    QCOMPARE(qts ? installQtTranslation(app, locale, translator, directory)
                 : installTranslation(app, locale, translator, directory),
             installed);

    // Each translation holds its own texts only.
    QCOMPARE(QCoreApplication::translate(kContext, kSource),
             installed && !qts ? kChinese : QString::fromLatin1(kSource));
    for (const char* source : {"OK", "Cancel", "&Yes", "&No"}) {
        const QString translated = QCoreApplication::translate(kQtContext, source);
        QVERIFY2(hasChineseCharacter(translated) == (installed && qts), qPrintable(translated));
    }
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(QCoreApplication::translate(kContext, kSource), QString::fromLatin1(kSource));
    QCOMPARE(QCoreApplication::translate(kQtContext, "OK"), QStringLiteral("OK"));
}

QTEST_GUILESS_MAIN(TestTranslation)
#include "tst_translation.moc"
