#include "messenger.h"
#include "recordingmessenger.h"

#include <QCoreApplication>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>

// Messages go to the installed messenger, or to the warning log when there is
// none. Raised off the main thread, they reach the main thread's messenger
// without holding up the thread that raised them, once per message while it is pending.
class TestMessenger : public QObject
{
    Q_OBJECT

private slots:
    void mainThreadMessagesAreShownAtOnce();
    void workerMessagesAreShownOnTheMainThreadOnce();
    void workerQuestionTakesTheDefaultWithoutWaiting();
    void mutedThreadOnlyLogs();
};

void TestMessenger::mainThreadMessagesAreShownAtOnce()
{
    // Without an installed messenger, boxes go to the warning log and never block.
    QTest::ignoreMessage(QtWarningMsg, "Q : Really?");
    QCOMPARE(Messenger::question(nullptr, QStringLiteral("Q"), QStringLiteral("Really?"),
                                 Messenger::Yes | Messenger::No, Messenger::No),
             Messenger::No);
    {
        RecordingMessenger recorder;
        recorder.queueAnswer(Messenger::Yes);
        Messenger::critical(nullptr, QStringLiteral("CA410"), QStringLiteral("Open failed"));
        QCOMPARE(Messenger::question(nullptr, QStringLiteral("Save"), QStringLiteral("Sure?")),
                 Messenger::Yes);
        QCOMPARE(recorder.boxes(),
                 (QStringList{QStringLiteral("Critical CA410: Open failed"), QStringLiteral("Question Save: Sure?")}));
        const auto shown = recorder.shown();
        QCOMPARE(shown.at(1).buttons, Messenger::Buttons(Messenger::Yes | Messenger::No));
        for (const auto& box : shown)
            QCOMPARE(box.thread, QThread::currentThread());
    }
    // The recorder uninstalled itself.
    QTest::ignoreMessage(QtWarningMsg, "T : after");
    Messenger::information(nullptr, QStringLiteral("T"), QStringLiteral("after"));
}

void TestMessenger::workerMessagesAreShownOnTheMainThreadOnce()
{
    RecordingMessenger messenger;
    // A failing sensor inside the alignment service: the same warning on every
    // request, and one other.
    std::thread worker([] {
        for (int i = 0; i < 50; ++i)
            Messenger::warning(nullptr, QStringLiteral("CA410"), QStringLiteral("measure err"));
        Messenger::critical(nullptr, QStringLiteral("CA410"), QStringLiteral("lost"));
    });
    worker.join();
    // Nothing is shown on the worker itself.
    QVERIFY(messenger.shown().isEmpty());

    QTRY_COMPARE(messenger.shown().size(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(messenger.texts(), (QStringList{QStringLiteral("measure err"), QStringLiteral("lost")}));
    for (const auto& box : messenger.shown())
        QCOMPARE(box.thread, QThread::currentThread());

    // Once its box has closed, the message is shown again when raised again.
    std::thread again([] {
        Messenger::warning(nullptr, QStringLiteral("CA410"), QStringLiteral("measure err"));
    });
    again.join();
    QTRY_COMPARE(messenger.shown().size(), 3);
}

void TestMessenger::workerQuestionTakesTheDefaultWithoutWaiting()
{
    RecordingMessenger messenger;
    messenger.queueAnswer(Messenger::Yes);
    Messenger::Button answer = Messenger::NoButton;
    std::thread worker([&answer] {
        answer = Messenger::question(nullptr, QString(), QStringLiteral("Stop?"),
                                     Messenger::Yes | Messenger::No, Messenger::No);
    });
    worker.join();
    QCOMPARE(answer, Messenger::No);
    QTRY_COMPARE(messenger.shown().size(), 1);
}

void TestMessenger::mutedThreadOnlyLogs()
{
    RecordingMessenger messenger;
    std::atomic<bool> cancelled{false};
    Messenger::Button answer = Messenger::NoButton;
    std::thread worker([&] {
        Messenger::muteThreadWhile([&cancelled] { return cancelled.load(); });
        Messenger::warning(nullptr, QStringLiteral("CR"), QStringLiteral("before the cancel"));
        cancelled.store(true);
        Messenger::warning(nullptr, QStringLiteral("CR"), QStringLiteral("after the cancel"));
        answer = Messenger::question(nullptr, QStringLiteral("CR"), QStringLiteral("Again?"),
                                     Messenger::Yes | Messenger::No, Messenger::No);
        Messenger::muteThreadWhile({});
        Messenger::warning(nullptr, QStringLiteral("CR"), QStringLiteral("muting ended"));
    });
    worker.join();
    QCOMPARE(answer, Messenger::No);
    // Another thread is not muted by it.
    Messenger::warning(nullptr, QStringLiteral("Main"), QStringLiteral("shown"));
    QTRY_COMPARE(messenger.shown().size(), 3);
    QCoreApplication::processEvents();
    QCOMPARE(messenger.texts(), (QStringList{QStringLiteral("shown"), QStringLiteral("before the cancel"),
                                             QStringLiteral("muting ended")}));
}

QTEST_GUILESS_MAIN(TestMessenger)
#include "tst_messenger.moc"
