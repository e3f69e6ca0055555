#include "messenger.h"
#include "recordingmessenger.h"

#include <QCoreApplication>
#include <QThread>
#include <QtTest>

#include <thread>

// Messages raised off the main thread reach the main thread's messenger without
// holding up the thread that raised them, once per message while it is pending.
class TestMessenger : public QObject
{
    Q_OBJECT

private slots:
    void mainThreadMessagesAreShownAtOnce();
    void workerMessagesAreShownOnTheMainThreadOnce();
    void workerQuestionTakesTheDefaultWithoutWaiting();
};

void TestMessenger::mainThreadMessagesAreShownAtOnce()
{
    RecordingMessenger messenger;
    Messenger::warning(nullptr, QStringLiteral("Warning"), QStringLiteral("Alignment is on."));
    const auto shown = messenger.shown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().thread, QThread::currentThread());
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
    const auto shown = messenger.shown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.at(0).text, QStringLiteral("measure err"));
    QCOMPARE(shown.at(1).text, QStringLiteral("lost"));
    for (const auto& box : shown)
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

QTEST_GUILESS_MAIN(TestMessenger)
#include "tst_messenger.moc"
