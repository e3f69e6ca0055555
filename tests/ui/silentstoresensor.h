#ifndef SILENTSTORESENSOR_H
#define SILENTSTORESENSOR_H

#include "csensor.h"
#include "matrixstore.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

// A serial instrument with stored matrices, named as the K-10 is, whose store
// answers at once or, once made silent, never: each call then waits on its
// line until the waits are cancelled or the test lets it answer (at most
// 10 s, so that a broken test ends). Whatever a call returns looks like success with data of its own, so
// that a result shown after a cancel is seen.
class SilentStoreSensor : public CSensor, private MatrixStore
{
    Q_OBJECT

public:
    // What the store lists and hands out; a list that comes late is another.
    static const QString kListed;
    static const QString kListedLate;
    static const QString kStoredName;
    static constexpr int kStoredId = 3;
    static constexpr double kStoredValue = 0.5;

    explicit SilentStoreSensor(QObject* parent = nullptr);

    MatrixStore* matrixStore() override { return this; }
    void cancelWaits() override;
    void resumeWaits() override;

    void setSilent(bool on) { silent.store(on); }
    // The answer comes at last to the call that waits for it.
    void answer();
    // True while a call waits for the answer that does not come.
    bool isWaiting() const { return waiting.load(); }
    int calls() const { return callCount.load(); }

private:
    QStringList GetCalList() override;
    Calfile GetCalfile(int listIndex) override;
    int SaveCalfile(Calfile calfile) override;
    int DelCalfile(int index) override;
    void call();

    std::atomic<bool> silent{false};
    std::atomic<bool> waiting{false};
    std::atomic<int> callCount{0};
    std::mutex mutex;
    std::condition_variable changed;
    bool cancelled = false;
    bool answered = false;
};

#endif // SILENTSTORESENSOR_H
