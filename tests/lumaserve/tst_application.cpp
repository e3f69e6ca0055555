#include "application.h"
#include "ccolorreference.h"

#include <QtTest>

// The application object exists before QtTest runs, as in the program, so this
// test has its own main.
class TestApplication : public QObject
{
    Q_OBJECT

private slots:
    void ownsTheRunsReference();
};

void TestApplication::ownsTheRunsReference()
{
    auto* app = qobject_cast<Application*>(QCoreApplication::instance());
    QVERIFY(app);
    const CColorReference& ref = GetColorReference();
    QCOMPARE(&ref, &app->colorReference());
    QCOMPARE(ref.GetStandard(), StandardRec709);
    QCOMPARE(ref.GetWhiteTarget(), WhiteD65);
    QCOMPARE(ref.GetWhiteName(), QStringLiteral("D65"));
    QCOMPARE(ref.GetGamma(), -1.0);
    // No icon resource is compiled in: the platform default stays.
    QVERIFY(QApplication::windowIcon().isNull());
}

int main(int argc, char** argv)
{
    const CColorReference* owned = nullptr;
    int status = 0;
    {
        Application app(argc, argv);
        owned = &app.colorReference();
        TestApplication test;
        status = QTest::qExec(&test, argc, argv);
    }
    // Once the application is gone conversions must not read its deleted reference.
    if (&GetColorReference() == owned) {
        qWarning("the reference of a destroyed application is still in use");
        return 1;
    }
    return status;
}

#include "tst_application.moc"
