#include "patchset.h"

#include <QTemporaryDir>
#include <QtTest>

class TestPatchSet : public QObject
{
    Q_OBJECT

private slots:
    void defaultContents_data();
    void defaultContents();
    void defaultHasNoOtherTraining();
    void csvAccepted();
    void csvRefused_data();
    void csvRefused();
    void readsFile();
};

void TestPatchSet::defaultContents_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");
    QTest::addColumn<bool>("training");

    QTest::newRow("red") << "red" << 255 << 0 << 0 << true;
    QTest::newRow("green") << "green" << 0 << 255 << 0 << true;
    QTest::newRow("blue") << "blue" << 0 << 0 << 255 << true;
    QTest::newRow("white") << "white" << 255 << 255 << 255 << true;
    QTest::newRow("cyan") << "cyan" << 0 << 255 << 255 << false;
    QTest::newRow("magenta") << "magenta" << 255 << 0 << 255 << false;
    QTest::newRow("yellow") << "yellow" << 255 << 255 << 0 << false;
    // 255 x 0.75 = 191.25, x 0.5 = 127.5, x 0.25 = 63.75, x 0.1 = 25.5: the
    // nearest level, halves up.
    QTest::newRow("grey 75") << "grey 75" << 191 << 191 << 191 << false;
    QTest::newRow("grey 50") << "grey 50" << 128 << 128 << 128 << false;
    QTest::newRow("grey 25") << "grey 25" << 64 << 64 << 64 << false;
    QTest::newRow("grey 10") << "grey 10" << 26 << 26 << 26 << false;
}

void TestPatchSet::defaultContents()
{
    QFETCH(QString, name);
    QFETCH(int, r);
    QFETCH(int, g);
    QFETCH(int, b);
    QFETCH(bool, training);

    const PatchSet set = PatchSet::defaultSet();
    const MatchingPatch* patch = set.find(name);
    QVERIFY2(patch, qPrintable(name));
    QCOMPARE(patch->name, name);
    QCOMPARE(patch->r, r);
    QCOMPARE(patch->g, g);
    QCOMPARE(patch->b, b);
    QCOMPARE(patch->training, training);
}

void TestPatchSet::defaultHasNoOtherTraining()
{
    // Besides the rows above, two mid colours that validate: every patch but
    // the four trains nothing, and no name is there twice.
    const PatchSet set = PatchSet::defaultSet();
    QCOMPARE(set.size(), 13);
    QStringList training;
    QSet<QString> names;
    for (const MatchingPatch& p : set.patches()) {
        if (p.training)
            training << p.name;
        names.insert(p.name.toLower());
        QVERIFY(p.r >= 0 && p.r <= 255 && p.g >= 0 && p.g <= 255 && p.b >= 0 && p.b <= 255);
    }
    QCOMPARE(training, (QStringList{"red", "green", "blue", "white"}));
    QCOMPARE(names.size(), set.size());
}

void TestPatchSet::csvAccepted()
{
    PatchSet set;
    QString error;
    QVERIFY2(set.parse("Name, R, G, B\r\n"
                       "\n"
                       "White,250,251,252\r\n"
                       "  orange , 255 , 128 , 0 \n"
                       "red,200,0,0\n"
                       "   \n"
                       "green,0,200,0\n"
                       "blue,0,0,200",
                       &error),
             qPrintable(error));
    // A training colour takes the name every method looks it up by, however
    // the file wrote it: "White" would leave the corrections without a white.
    const std::vector<MatchingPatch> expected{
        {"white", 250, 251, 252, true},
        {"orange", 255, 128, 0, false},
        {"red", 200, 0, 0, true},
        {"green", 0, 200, 0, true},
        {"blue", 0, 0, 200, true},
    };
    QCOMPARE(set.size(), int(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i)
        QVERIFY2(set.patches()[i] == expected[i], qPrintable(set.patches()[i].name));
}

void TestPatchSet::csvRefused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");

    const QByteArray rgb = "red,255,0,0\ngreen,0,255,0\nblue,0,0,255\n";
    QTest::newRow("missing training colours")
        << QByteArray("name,r,g,b\nred,255,0,0\ngreen,0,255,0\ncyan,0,255,255\n")
        << "the set lacks the training colours blue, white";
    QTest::newRow("duplicate name") << QByteArray(rgb + "white,255,255,255\nGreen,0,128,0\n")
                                    << "line 5: 'Green' is given twice";
    QTest::newRow("value 256") << QByteArray(rgb + "white,255,256,255\n")
                               << "line 4: '256' is no level; expected a whole number 0-255";
    QTest::newRow("non-integer") << QByteArray("name,r,g,b\n" + rgb + "white,255,255,254.5\n")
                                 << "line 5: '254.5' is no level; expected a whole number 0-255";
    QTest::newRow("negative") << QByteArray(rgb + "white,-1,255,255\n")
                              << "line 4: '-1' is no level; expected a whole number 0-255";
    QTest::newRow("short line") << QByteArray(rgb + "\nwhite,255,255\n") << "line 5: 3 fields; expected name,r,g,b";
    QTest::newRow("long line") << QByteArray("red,255,0,0,1\n") << "line 1: 5 fields; expected name,r,g,b";
    QTest::newRow("no name") << QByteArray(rgb + " ,1,2,3\nwhite,255,255,255\n") << "line 4: the patch has no name";
    QTest::newRow("header only") << QByteArray("name,r,g,b\n")
                                 << "the set lacks the training colours red, green, blue, white";
    QTest::newRow("header not first") << QByteArray(rgb + "name,r,g,b\nwhite,255,255,255\n")
                                      << "line 4: 'r' is no level; expected a whole number 0-255";
    QTest::newRow("NUL") << QByteArray(rgb + "white,255,25" + '\0' + "5,255\n")
                         << "line 4: a NUL byte; the file is damaged";
}

void TestPatchSet::csvRefused()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);

    PatchSet set = PatchSet::defaultSet();
    QString error;
    QVERIFY(!set.parse(text, &error));
    QCOMPARE(error, expected);
    // A refused file leaves the set as it was.
    QCOMPARE(set.size(), PatchSet::defaultSet().size());
    QVERIFY(set.patches() == PatchSet::defaultSet().patches());
}

void TestPatchSet::readsFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("set.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("red,255,0,0\ngreen,0,255,0\nblue,0,0,255\nwhite,255,255,255\npink,255,192,203\n");
    file.close();

    PatchSet set;
    QString error;
    QVERIFY2(set.read(path, &error), qPrintable(error));
    QCOMPARE(set.size(), 5);
    QVERIFY(set.find("PINK"));
    QCOMPARE(set.find("pink")->g, 192);
    QVERIFY(!set.read(dir.filePath("absent.csv"), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(set.size(), 5);
}

QTEST_GUILESS_MAIN(TestPatchSet)
#include "tst_patchset.moc"
