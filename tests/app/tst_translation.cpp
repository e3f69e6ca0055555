#include "translation.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

// The Chinese translation is loaded from the program's directory when, and
// only when, the system language is Chinese.
class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void chineseLoadsFromTheProgramsDirectory();
    void otherLanguagesLoadNothing();
    void missingFileLoadsNothing();
};

namespace {
const char* kContext = "MainWindow";
const char* kSource = "Ready.";
const QString kChinese = QString::fromUtf8("就绪。");
} // namespace

void TestTranslation::chineseLoadsFromTheProgramsDirectory()
{
    QTranslator translator;
    QVERIFY(installTranslation(*QCoreApplication::instance(), QLocale(QLocale::Chinese, QLocale::China),
                               translator));
    QCOMPARE(QCoreApplication::translate(kContext, kSource), kChinese);
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(QCoreApplication::translate(kContext, kSource), QString::fromLatin1(kSource));
}

void TestTranslation::otherLanguagesLoadNothing()
{
    QTranslator translator;
    for (QLocale::Language language : {QLocale::English, QLocale::German, QLocale::Japanese}) {
        QVERIFY(!installTranslation(*QCoreApplication::instance(), QLocale(language), translator));
        QCOMPARE(QCoreApplication::translate(kContext, kSource), QString::fromLatin1(kSource));
    }
}

void TestTranslation::missingFileLoadsNothing()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QTranslator translator;
    QVERIFY(!installTranslation(*QCoreApplication::instance(), QLocale(QLocale::Chinese), translator,
                                empty.path()));
    QCOMPARE(QCoreApplication::translate(kContext, kSource), QString::fromLatin1(kSource));
}

QTEST_GUILESS_MAIN(TestTranslation)
#include "tst_translation.moc"
