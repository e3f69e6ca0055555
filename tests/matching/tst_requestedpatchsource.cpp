#include "requestedpatchsource.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// Far beyond what any answer here takes: a show() still waiting this long
// was not woken by what should have woken it.
constexpr int kLong = 60 * 1000;
constexpr int kBound = 10 * 1000;

// show() on a thread of its own, as the run calls it.
class Shower
{
public:
    Shower(RequestedPatchSource* source, const MatchingPatch& patch)
        : m_thread([this, source, patch] {
            QElapsedTimer clock;
            clock.start();
            m_shown = source->show(patch, &m_error);
            m_elapsed = clock.elapsed();
            m_done = true;
        })
    {}
    ~Shower() { m_thread.join(); }

    bool done() const { return m_done; }
    // Once done().
    bool shown() const { return m_shown; }
    QString error() const { return m_error; }
    qint64 elapsed() const { return m_elapsed; }

private:
    bool m_shown = false;
    QString m_error;
    qint64 m_elapsed = 0;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

} // namespace

class TestRequestedPatchSource : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void cancelledStaysCancelled();
    void finishReachesMainThread();
};

void TestRequestedPatchSource::answers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("settleMs");
    QTest::addColumn<int>("maxWaitMs");
    QTest::addColumn<bool>("shown");
    // What the error must hold when the patch is not shown.
    QTest::addColumn<QString>("named");

    QTest::newRow("shown, then settled") << "shown" << 200 << kLong << true << "";
    QTest::newRow("shown, no settle time") << "shown" << 0 << kLong << true << "";
    QTest::newRow("refused") << "refused" << 0 << kLong << false << "no second screen";
    QTest::newRow("cancelled while waiting for the answer") << "cancel" << 0 << kLong << false << "";
    QTest::newRow("cancelled while settling") << "shown, cancel later" << kLong << kLong << false << "";
    QTest::newRow("no answer in time") << "none" << 0 << 300 << false << "skin";
    QTest::newRow("answer before the request") << "early" << 0 << 300 << false << "skin";
}

void TestRequestedPatchSource::answers()
{
    QFETCH(QString, answer);
    QFETCH(int, settleMs);
    QFETCH(int, maxWaitMs);
    QFETCH(bool, shown);
    QFETCH(QString, named);

    RequestedPatchSource source(settleMs);
    source.setMaxWaitMs(maxWaitMs);
    QCOMPARE(source.settleMs(), settleMs);
    QCOMPARE(source.maxWaitMs(), maxWaitMs);

    QStringList requested;
    bool onMainThread = true;
    QElapsedTimer answered;
    // Direct, so the slot runs where the signal is emitted: on the main thread.
    connect(
        &source, &RequestedPatchSource::patchRequested, this,
        [&](const MatchingPatch& patch) {
            requested << patch.name;
            onMainThread = onMainThread && QThread::currentThread() == thread();
            answered.start();
            if (answer == "shown")
                source.patchShown();
            else if (answer == "refused")
                source.patchRefused(QStringLiteral("no second screen"));
            else if (answer == "cancel")
                source.cancel();
            else if (answer == "shown, cancel later") {
                source.patchShown();
                // Well into the settle time, which runs for a minute.
                QTimer::singleShot(200, &source, &RequestedPatchSource::cancel);
            }
        },
        Qt::DirectConnection);
    // An answer given before the request belongs to no request.
    if (answer == "early")
        source.patchShown();

    const MatchingPatch skin{QStringLiteral("skin"), 194, 150, 130, false};
    Shower shower(&source, skin);
    QTRY_VERIFY_WITH_TIMEOUT(shower.done(), kBound);

    QCOMPARE(requested, QStringList{QStringLiteral("skin")});
    QVERIFY(onMainThread);
    QCOMPARE(shower.shown(), shown);
    if (!shown)
        QVERIFY2(!shower.error().isEmpty() && shower.error().contains(named), qPrintable(shower.error()));
    if (answer == "shown") {
        // The settle time passed after the answer, not before.
        QVERIFY2(answered.elapsed() >= settleMs, qPrintable(QString::number(answered.elapsed())));
    }
    if (answer == "none" || answer == "early")
        QVERIFY2(shower.elapsed() >= maxWaitMs, qPrintable(QString::number(shower.elapsed())));
}

void TestRequestedPatchSource::cancelledStaysCancelled()
{
    RequestedPatchSource source(0);
    QSignalSpy requested(&source, &RequestedPatchSource::patchRequested);
    source.cancel();
    {
        Shower shower(&source, MatchingPatch{QStringLiteral("red"), 255, 0, 0, true});
        QTRY_VERIFY_WITH_TIMEOUT(shower.done(), kBound);
        QVERIFY(!shower.shown());
        QVERIFY(!shower.error().isEmpty());
    }
    QCoreApplication::processEvents();
    QCOMPARE(requested.count(), 0);
}

void TestRequestedPatchSource::finishReachesMainThread()
{
    RequestedPatchSource source(0);
    int finished = 0;
    bool onMainThread = false;
    connect(
        &source, &RequestedPatchSource::finished, this,
        [&] {
            ++finished;
            onMainThread = QThread::currentThread() == thread();
        },
        Qt::DirectConnection);
    std::thread([&source] { source.finish(); }).join();
    QTRY_COMPARE_WITH_TIMEOUT(finished, 1, kBound);
    QVERIFY(onMainThread);
}

QTEST_GUILESS_MAIN(TestRequestedPatchSource)
#include "tst_requestedpatchsource.moc"
