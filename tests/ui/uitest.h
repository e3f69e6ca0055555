#ifndef UITEST_H
#define UITEST_H

#include "application.h"
#include "matrix.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Not symmetric and with no two entries alike, so a matrix shown or stored
// transposed or shifted is caught.
inline Matrix sampleMatrix()
{
    const double values[] = {1.25, 0.5, -0.125, 0.0, 0.75, 0.0, 0.03125, 0.0, 2.0};
    return Matrix(values, 3, 3);
}

// Settings kept in a scratch home for the whole run, so the user's own are
// never read or written, and a working directory of each test function's own:
// profiles are written and listed there.
struct ScratchHome {
    void setUp() const
    {
        QVERIFY(dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    }

    void enterWorkDir()
    {
        work = dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
        QVERIFY(QDir().mkpath(work));
        QVERIFY(QDir::setCurrent(work));
    }

    QTemporaryDir dir;
    QString work;
};

// The window tests run under the program's own application object.
#define LUMASERVE_UI_TEST_MAIN(TestClass)                                                                    \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        Application app(argc, argv);                                                                         \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }

#endif // UITEST_H
