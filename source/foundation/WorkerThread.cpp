#include "WorkerThread.h"

#include <QMutex>

namespace {

// The process-wide list of started threads and its own non-recursive lock.
// Made on first use and never destroyed, so that a start during static
// construction or destruction still finds it.
struct ThreadList {
    QMutex lock{QMutex::NonRecursive};
    GrowArray<WorkerThread*> threads;
};

ThreadList& threadList() {
    static ThreadList* list = new ThreadList;
    return *list;
}

// Set up the list before main runs, like the other static locks.
[[maybe_unused]] const bool threadListReady = (threadList(), true);

}  // namespace

WorkerThread::~WorkerThread() = default;

void WorkerThread::run() {
    if (function) {
        function();
    } else if (functionWithArgument) {
        functionWithArgument(argument);
    }
    if (finishedCallback) {
        finishedCallback();
    } else if (finishedCallbackWithArgument) {
        finishedCallbackWithArgument(argument);
    }
}

QThread::Priority workerThreadPriorityFor(float priority) {
    const double p = priority;
    if (priority >= 1.0f) return QThread::TimeCriticalPriority;
    if (p >= 0.8333333333333334) return QThread::HighestPriority;  // 5/6
    if (p >= 0.6666666666666666) return QThread::HighPriority;     // 2/3
    if (priority >= 0.5f) return QThread::NormalPriority;
    if (p >= 0.3333333333333333) return QThread::LowPriority;      // 1/3
    if (p >= 0.16666666666666666) return QThread::LowestPriority;  // 1/6
    return QThread::IdlePriority;
}

void startWorkerThread(void (*function)(void*), void* argument, float priority) {
    if (!function) return;
    WorkerThread* thread = new WorkerThread;
    thread->functionWithArgument = function;
    thread->argument = argument;

    ThreadList& list = threadList();
    list.lock.lock();
    for (int32_t i = list.threads.count - 1; i >= 0; --i) {
        WorkerThread* old = list.threads[i];
        if (old->isFinished()) {
            delete old;
            list.threads.removeAt(i);
        }
    }
    list.threads.append(thread);
    list.lock.unlock();

    thread->start(workerThreadPriorityFor(priority));
}

void releaseThreadList() {
    ThreadList& list = threadList();
    list.lock.lock();
    for (WorkerThread* thread : list.threads) {
        if (thread->isFinished()) delete thread;
    }
    list.threads.destroy();
    list.lock.unlock();
}

GrowArray<WorkerThread*> workerThreadListSnapshot() {
    ThreadList& list = threadList();
    list.lock.lock();
    GrowArray<WorkerThread*> copy(list.threads);
    list.lock.unlock();
    return copy;
}
