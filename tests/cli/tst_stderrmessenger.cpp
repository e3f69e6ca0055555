#include "stderrmessenger.h"

#include <QtTest>

class TestStderrMessenger : public QObject
{
    Q_OBJECT

private slots:
    void lineIsOneLineWhateverTheInstrumentSays_data();
    void lineIsOneLineWhateverTheInstrumentSays();
};

void TestStderrMessenger::lineIsOneLineWhateverTheInstrumentSays_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::newRow("plain") << "CR-250" << "Can't open /dev/ttyUSB0!" << "CR-250: Can't open /dev/ttyUSB0!\n";
    QTest::newRow("model that clears the screen") << "CR\x1b[2J" << "measXYZ err, 9"
                                                  << "CR\\x1b[2J: measXYZ err, 9\n";
    QTest::newRow("text with a line of its own") << "CA410" << "err\nCA410: all fine\r"
                                                 << "CA410: err\\nCA410: all fine\\r\n";
}

void TestStderrMessenger::lineIsOneLineWhateverTheInstrumentSays()
{
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, line);
    QCOMPARE(StderrMessenger::line(title, text), line);
}

QTEST_GUILESS_MAIN(TestStderrMessenger)
#include "tst_stderrmessenger.moc"
