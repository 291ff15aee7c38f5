#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "foundation/Mutex.h"
#include "foundation/WorkerThread.h"

namespace {

using Clock = std::chrono::steady_clock;

// Polls a condition for up to ten seconds.
template <class Condition>
bool eventually(Condition condition) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The argument of a test thread: it runs until released.
struct Gate {
    std::atomic<bool> open{false};
    std::atomic<int> runs{0};
};

void waitAtGate(void* argument) {
    Gate* gate = static_cast<Gate*>(argument);
    gate->runs.fetch_add(1);
    while (!gate->open.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool allListedThreadsFinished() {
    GrowArray<WorkerThread*> list = workerThreadListSnapshot();
    for (WorkerThread* t : list)
        if (!t->isFinished()) return false;
    return true;
}

}  // namespace

TEST(WorkerThreadPriority, MapsTheNumberOntoThreadPriorities) {
    const struct {
        float p;
        QThread::Priority want;
    } cases[] = {
        {1.0f, QThread::TimeCriticalPriority},
        {2.0f, QThread::TimeCriticalPriority},
        {std::numeric_limits<float>::infinity(), QThread::TimeCriticalPriority},
        {0.9f, QThread::HighestPriority},  // saving and batch work
        {std::nextafter(5.0f / 6.0f, 1.0f), QThread::HighestPriority},
        {5.0f / 6.0f, QThread::HighPriority},  // 0.83333331 is below 5/6 in double
        {0.75f, QThread::HighPriority},
        {2.0f / 3.0f, QThread::HighPriority},  // 0.66666669 is above 2/3
        {std::nextafter(2.0f / 3.0f, 0.0f), QThread::NormalPriority},
        {0.5f, QThread::NormalPriority},
        {std::nextafter(0.5f, 0.0f), QThread::LowPriority},
        {1.0f / 3.0f, QThread::LowPriority},  // 0.33333334 is above 1/3
        {std::nextafter(1.0f / 3.0f, 0.0f), QThread::LowestPriority},
        {1.0f / 6.0f, QThread::LowestPriority},  // 0.16666667 is above 1/6
        {std::nextafter(1.0f / 6.0f, 0.0f), QThread::IdlePriority},
        {0.0f, QThread::IdlePriority},
        {-1.0f, QThread::IdlePriority},  // display and thumbnail threads
        {std::numeric_limits<float>::quiet_NaN(), QThread::IdlePriority},
    };
    for (const auto& c : cases) EXPECT_EQ(workerThreadPriorityFor(c.p), c.want) << c.p;
}

TEST(WorkerThread, StartSweepsFinishedThreadsKeepingTheOrderOfTheOthers) {
    ASSERT_TRUE(eventually(allListedThreadsFinished));
    startWorkerThread(nullptr, nullptr, 0.5f);  // starts nothing
    Gate quick, slow, later;  // all closed: nothing finishes before the snapshot
    startWorkerThread(waitAtGate, &quick, -1.0f);  // swept any earlier threads
    startWorkerThread(waitAtGate, &slow, 0.9f);
    startWorkerThread(waitAtGate, &quick, 0.5f);
    startWorkerThread(waitAtGate, &quick, 0.0f);
    GrowArray<WorkerThread*> before = workerThreadListSnapshot();
    ASSERT_EQ(before.count, 4);
    quick.open = true;
    ASSERT_TRUE(eventually([&] {
        return quick.runs.load() == 3 && slow.runs.load() == 1 && before[0]->isFinished() &&
               before[2]->isFinished() && before[3]->isFinished();
    }));

    EXPECT_EQ(workerThreadListSnapshot().count, 4);  // nobody swept them yet
    startWorkerThread(waitAtGate, &later, 1.0f);
    GrowArray<WorkerThread*> after = workerThreadListSnapshot();
    ASSERT_EQ(after.count, 2);
    EXPECT_EQ(after[0], before[1]);  // the unfinished thread, then the new one
    EXPECT_NE(after[1], before[1]);

    slow.open = true;
    later.open = true;
    EXPECT_TRUE(eventually(allListedThreadsFinished));
    EXPECT_EQ(later.runs.load(), 1);
    releaseThreadList();  // deletes the finished threads and empties the list
    EXPECT_EQ(workerThreadListSnapshot().count, 0);
}

TEST(Mutex, TryLockOnAMutexHeldElsewhereFailsAtOnce) {
    Mutex m;
    m.lock();
    bool taken = true;
    Clock::duration waited{};
    std::thread other([&] {
        const auto start = Clock::now();
        taken = m.tryLock();
        waited = Clock::now() - start;
    });
    other.join();
    EXPECT_FALSE(taken);
    EXPECT_LT(waited, std::chrono::milliseconds(500));
    // Non-recursive: the holder cannot take it again either.
    EXPECT_FALSE(m.tryLock());
    m.unlock();

    std::thread again([&] {
        taken = m.tryLock();
        if (taken) m.unlock();
    });
    again.join();
    EXPECT_TRUE(taken);
}
