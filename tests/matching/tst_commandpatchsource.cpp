// Patches shown by an outside pattern generator: how the command is put
// together, and when a patch counts as shown.
#include "commandpatchsource.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <thread>

#include <sys/types.h>

namespace {

// A cancel or a time-out ends waits of half a minute; this only tells "at
// once" from "at the end", with room for a loaded machine.
constexpr qint64 kPromptMs = 5000;

MatchingPatch orange()
{
    MatchingPatch patch;
    patch.name = QStringLiteral("orange");
    patch.r = 255;
    patch.g = 128;
    patch.b = 0;
    return patch;
}

QString contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// The warnings logged while it lives: a command left running for QProcess's
// destructor to kill says so there.
class WarningLog
{
public:
    WarningLog() : m_previous(qInstallMessageHandler(&WarningLog::record)) { s_current = this; }
    ~WarningLog()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList texts() const
    {
        QMutexLocker lock(&m_mutex);
        return m_texts;
    }

private:
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (WarningLog* log = s_current) {
            if (type == QtWarningMsg) {
                QMutexLocker lock(&log->m_mutex);
                log->m_texts << text;
            }
            log->m_previous(type, context, text);
        }
    }

    static inline WarningLog* s_current = nullptr;
    QtMessageHandler m_previous;
    mutable QMutex m_mutex;
    QStringList m_texts;
};

bool processGone(const QString& pidFile)
{
    bool ok = false;
    const pid_t pid = pid_t(contents(pidFile).toInt(&ok));
    return ok && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

class TestCommandPatchSource : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void commandLine_data();
    void commandLine();
    void refusedCommandLine_data();
    void refusedCommandLine();
    void shownOnceTheCommandSucceedsThenSettled();
    void failures_data();
    void failures();
    void timeoutStopsTheCommand();
    void cancelStopsTheRunningCommand();
    void cancelEndsTheSettle();

private:
    QString file(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestCommandPatchSource::init()
{
    QVERIFY(m_dir.isValid());
}

void TestCommandPatchSource::commandLine_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("levels") << "patgen %r %g %b" << QStringList{"patgen", "255", "128", "0"};
    QTest::newRow("levels inside words") << "gen --rgb=%r,%g,%b" << QStringList{"gen", "--rgb=255,128,0"};
    QTest::newRow("percent sign") << "gen %r%% 100%%" << QStringList{"gen", "255%", "100%"};
    QTest::newRow("percent sign before a level letter") << "gen %%r" << QStringList{"gen", "%r"};
    QTest::newRow("other percent kept") << "gen %x 50% %" << QStringList{"gen", "%x", "50%", "%"};
    QTest::newRow("quoted word") << "\"/opt/pattern gen/show\" \"%r %g\" %b"
                                 << QStringList{"/opt/pattern gen/show", "255 128", "0"};
    QTest::newRow("quotes inside a word") << "gen --name=\"a b\"c" << QStringList{"gen", "--name=a bc"};
    QTest::newRow("empty quoted word") << "gen \"\" x" << QStringList{"gen", "", "x"};
    QTest::newRow("blanks and tabs") << "  gen\t 1   2 " << QStringList{"gen", "1", "2"};
    QTest::newRow("single quotes are characters") << "gen 'a b'" << QStringList{"gen", "'a", "b'"};
    QTest::newRow("no shell") << "gen $HOME *; x" << QStringList{"gen", "$HOME", "*;", "x"};
}

void TestCommandPatchSource::commandLine()
{
    QFETCH(QString, command);
    QFETCH(QStringList, words);
    QString error;
    QCOMPARE(CommandPatchSource::commandLine(command, orange(), &error), words);
    QVERIFY(error.isEmpty());
}

void TestCommandPatchSource::refusedCommandLine_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("text");
    QTest::newRow("unclosed quote") << "gen \"%r %g" << "The pattern command gen \"%r %g has an unclosed quote.";
    QTest::newRow("empty") << "" << "The pattern command names no program to run.";
    QTest::newRow("blanks") << " \t " << "The pattern command names no program to run.";
    QTest::newRow("empty program") << "\"\" 1 2" << "The pattern command names no program to run.";
}

void TestCommandPatchSource::refusedCommandLine()
{
    QFETCH(QString, command);
    QFETCH(QString, text);
    QString error;
    QVERIFY(CommandPatchSource::commandLine(command, orange(), &error).isEmpty());
    QCOMPARE(error, text);

    // Nothing runs for such a command.
    CommandPatchSource source(command, 0);
    error.clear();
    QVERIFY(!source.show(orange(), &error));
    QCOMPARE(error, text);
}

void TestCommandPatchSource::shownOnceTheCommandSucceedsThenSettled()
{
    const int settleMs = 300;
    // The command notes the levels and when it ran, in ms.
    const QString command = QStringLiteral("sh -c \"echo %r %g %b > '%1'; date +%%s%%3N > '%2'\"")
                                .arg(file(QStringLiteral("levels")), file(QStringLiteral("ran")));
    CommandPatchSource source(command, settleMs);
    QString error;
    QVERIFY2(source.show(orange(), &error), qPrintable(error));
    const qint64 returned = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(error.isEmpty());
    QCOMPARE(contents(file(QStringLiteral("levels"))), QStringLiteral("255 128 0"));
    bool ok = false;
    const qint64 ran = contents(file(QStringLiteral("ran"))).toLongLong(&ok);
    QVERIFY(ok);
    QVERIFY2(returned - ran >= settleMs, qPrintable(QStringLiteral("settled %1 ms").arg(returned - ran)));

    // The next patch runs the command again with its own levels.
    MatchingPatch grey;
    grey.r = grey.g = grey.b = 26;
    QVERIFY2(source.show(grey, &error), qPrintable(error));
    QCOMPARE(contents(file(QStringLiteral("levels"))), QStringLiteral("26 26 26"));
}

void TestCommandPatchSource::failures_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("text");
    QTest::newRow("exit code 1") << "sh -c \"exit 1\"" << "The pattern command sh -c exit 1 exited with code 1.";
    QTest::newRow("exit code with a reason")
        << "sh -c \"echo first >&2; echo no display 255 >&2; exit 3\""
        << "The pattern command sh -c echo first >&2; echo no display 255 >&2; exit 3 exited with code 3: "
           "no display 255";
    QTest::newRow("crash") << "sh -c \"kill -SEGV $$\"" << "The pattern command sh -c kill -SEGV $$ crashed.";
    QTest::newRow("missing program") << "/nonexistent/h9a-patgen %r"
                                     << "The pattern command /nonexistent/h9a-patgen 255 could not be started: ";
}

void TestCommandPatchSource::failures()
{
    QFETCH(QString, command);
    QFETCH(QString, text);
    CommandPatchSource source(command, 0);
    QString error;
    QVERIFY(!source.show(orange(), &error));
    QVERIFY2(error.startsWith(text), qPrintable(error));
}

void TestCommandPatchSource::timeoutStopsTheCommand()
{
    const QString pid = file(QStringLiteral("pid"));
    CommandPatchSource source(QStringLiteral("sh -c \"echo $$ > '%1'; exec sleep 30\"").arg(pid), 0);
    source.setTimeoutMs(400);
    QCOMPARE(source.timeoutMs(), 400);
    const WarningLog warnings;
    QElapsedTimer clock;
    clock.start();
    QString error;
    QVERIFY(!source.show(orange(), &error));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 400 && took < kPromptMs, qPrintable(QString::number(took)));
    QVERIFY2(error.contains(QStringLiteral("did not finish within 0.4 s and was stopped")), qPrintable(error));
    QVERIFY(processGone(pid));
    QCOMPARE(warnings.texts(), QStringList());
}

void TestCommandPatchSource::cancelStopsTheRunningCommand()
{
    const QString pid = file(QStringLiteral("pid"));
    CommandPatchSource source(QStringLiteral("sh -c \"echo $$ > '%1'; exec sleep 30\"").arg(pid), 0);
    bool shown = true;
    QString error;
    const WarningLog warnings;
    std::thread runner([&] { shown = source.show(orange(), &error); });
    QTRY_VERIFY_WITH_TIMEOUT(!contents(pid).isEmpty(), 10000);
    QElapsedTimer clock;
    clock.start();
    source.cancel();
    runner.join();
    const qint64 took = clock.elapsed();
    QVERIFY2(took < kPromptMs, qPrintable(QString::number(took)));
    QVERIFY(!shown);
    QCOMPARE(error, QStringLiteral("The patch orange was not shown: the run was cancelled."));
    QVERIFY(processGone(pid));
    QCOMPARE(warnings.texts(), QStringList());

    // Every later patch is refused without running the command.
    QFile::remove(pid);
    QVERIFY(!source.show(orange(), &error));
    QVERIFY(!QFile::exists(pid));
}

void TestCommandPatchSource::cancelEndsTheSettle()
{
    const QString ran = file(QStringLiteral("ran"));
    CommandPatchSource source(QStringLiteral("sh -c \"echo > '%1'\"").arg(ran), 30000);
    bool shown = true;
    QString error;
    std::thread runner([&] { shown = source.show(orange(), &error); });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ran), 10000);
    QElapsedTimer clock;
    clock.start();
    source.cancel();
    runner.join();
    QVERIFY2(clock.elapsed() < kPromptMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!shown);
    QCOMPARE(error, QStringLiteral("The patch orange was not shown: the run was cancelled."));
}

QTEST_GUILESS_MAIN(TestCommandPatchSource)
#include "tst_commandpatchsource.moc"
