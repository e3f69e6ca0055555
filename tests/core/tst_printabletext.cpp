#include "printabletext.h"

#include <QtTest>

class TestPrintableText : public QObject
{
    Q_OBJECT

private slots:
    void escapes_data();
    void escapes();
    void shownTextHoldsNoControlCharacter();
};

void TestPrintableText::escapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QStringLiteral("52001234 CA-410") << QStringLiteral("52001234 CA-410");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("not ASCII but printable") << QStringLiteral("SN-\u00e9\u4e2d") << QStringLiteral("SN-\u00e9\u4e2d");
    QTest::newRow("terminal escape") << QStringLiteral("\x1b[2J") << QStringLiteral("\\x1b[2J");
    QTest::newRow("line breaks and tab") << QStringLiteral("a\nb\rc\td") << QStringLiteral("a\\nb\\rc\\td");
    QTest::newRow("NUL and DEL") << QString::fromLatin1("x\0y\x7f", 4) << QStringLiteral("x\\x00y\\x7f");
    QTest::newRow("C1 control") << QStringLiteral("\u009b31m") << QStringLiteral("\\x9b31m");
    QTest::newRow("backslash doubled") << QStringLiteral("a\\x1b") << QStringLiteral("a\\\\x1b");
    QTest::newRow("right-to-left override") << QStringLiteral("12\u202e34") << QStringLiteral("12\\u202e34");
    QTest::newRow("line separator") << QStringLiteral("a\u2028b") << QStringLiteral("a\\u2028b");
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) << QStringLiteral("\\ud800");
    QTest::newRow("pair kept") << QStringLiteral("\U0001F600") << QStringLiteral("\U0001F600");
    QTest::newRow("format character beyond the BMP") << QStringLiteral("a\U000E0001") << QStringLiteral("a\\U000e0001");
}

void TestPrintableText::escapes()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(PrintableText::from(text), shown);
}

void TestPrintableText::shownTextHoldsNoControlCharacter()
{
    // Every character of the first two planes' worth of controls and formats.
    QString all;
    for (uint c = 0; c < 0x10000; ++c) {
        if (!QChar::isSurrogate(c))
            all += QChar(c);
    }
    const QString shown = PrintableText::from(all);
    for (const QChar c : shown) {
        QVERIFY2(c.category() != QChar::Other_Control && c.category() != QChar::Other_Format
                     && c.category() != QChar::Separator_Line && c.category() != QChar::Separator_Paragraph,
                 qPrintable(QString::number(c.unicode(), 16)));
    }
}

QTEST_GUILESS_MAIN(TestPrintableText)
#include "tst_printabletext.moc"
