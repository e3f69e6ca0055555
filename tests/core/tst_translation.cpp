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
    void qtsOwnChineseLoadsFromQtsTranslations_data();
    void qtsOwnChineseLoadsFromQtsTranslations();
    void qtsOwnLoadsNothingForOtherLanguagesOrWhereItIsMissing();
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

void TestTranslation::qtsOwnChineseLoadsFromQtsTranslations_data()
{
    QTest::addColumn<QString>("source");
    for (const char* source : {"OK", "Cancel", "&Yes", "&No"})
        QTest::newRow(source) << QString::fromLatin1(source);
}

void TestTranslation::qtsOwnChineseLoadsFromQtsTranslations()
{
    QFETCH(QString, source);
    const QByteArray sourceText = source.toLatin1();
    QTranslator translator;
    QVERIFY(installQtTranslation(*QCoreApplication::instance(), QLocale(QLocale::Chinese, QLocale::China),
                                 translator));
    const QString translated = QCoreApplication::translate(kQtContext, sourceText.constData());
    QVERIFY2(translated != source && hasChineseCharacter(translated), qPrintable(translated));
    // The program's own translation is a separate one and stays as it was.
    QCOMPARE(QCoreApplication::translate(kContext, kSource), QString::fromLatin1(kSource));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(QCoreApplication::translate(kQtContext, sourceText.constData()), source);
}

void TestTranslation::qtsOwnLoadsNothingForOtherLanguagesOrWhereItIsMissing()
{
    QTranslator translator;
    for (QLocale::Language language : {QLocale::English, QLocale::German, QLocale::Japanese}) {
        QVERIFY(!installQtTranslation(*QCoreApplication::instance(), QLocale(language), translator));
        QCOMPARE(QCoreApplication::translate(kQtContext, "OK"), QStringLiteral("OK"));
    }
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QVERIFY(!installQtTranslation(*QCoreApplication::instance(), QLocale(QLocale::Chinese), translator,
                                  empty.path()));
    QCOMPARE(QCoreApplication::translate(kQtContext, "OK"), QStringLiteral("OK"));
}

QTEST_GUILESS_MAIN(TestTranslation)
#include "tst_translation.moc"
