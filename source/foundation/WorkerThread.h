#pragma once
// WorkerThread: a thread that runs one function once, fire-and-forget.
//
// startWorkerThread creates a WorkerThread, records it in the process-wide
// thread list and starts it at a priority given as a number between 0 and 1.
// Nobody joins the thread: every later start sweeps the threads that have
// finished out of the list and deletes them.

#include <QThread>

#include "GrowArray.h"

class WorkerThread : public QThread {
public:
    using Function = void (*)();
    using FunctionWithArgument = void (*)(void*);

    WorkerThread() = default;
    ~WorkerThread() override;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    Function function = nullptr;                              // run when set
    Function finishedCallback = nullptr;                      // called after the work when set
    FunctionWithArgument functionWithArgument = nullptr;      // run when function is null
    FunctionWithArgument finishedCallbackWithArgument = nullptr;  // called when finishedCallback is null
    void* argument = nullptr;                                 // not owned

protected:
    // Runs the work, then the finished callback; the thread then finishes
    // and waits in the list for a later start to delete it.
    void run() override;
};

// Starts function(argument) on a new thread at the priority that
// workerThreadPriorityFor gives; the caller keeps no reference. Callable
// from any thread. A null function starts nothing.
void startWorkerThread(void (*function)(void*), void* argument, float priority);

// The thread priority for a number p, tested in this order: p >= 1
// time-critical, >= 5/6 highest, >= 2/3 high, >= 0.5 normal, >= 1/3 low,
// >= 1/6 lowest, else (negative numbers and NaN included) idle. The
// thresholds 1 and 0.5 are compared in single precision, the others in
// double precision.
QThread::Priority workerThreadPriorityFor(float priority);

// At exit: empties the thread list and frees its array. Threads that have
// finished are deleted; threads still running are left to end with the
// process.
void releaseThreadList();

// A copy of the thread list, oldest first (for diagnostics and tests; the
// pointers stay valid only until the next startWorkerThread).
GrowArray<WorkerThread*> workerThreadListSnapshot();
