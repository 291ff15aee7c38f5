#pragma once
// Mutex: the lock object every structure shared between threads holds.
//
// A thin owner of a non-recursive QMutex: locking it twice on one thread
// blocks that thread. Not copyable or movable; owners keep it by pointer or
// as a member and delete it through the virtual destructor.

#include <memory>

class QMutex;

class Mutex {
public:
    Mutex();
    virtual ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    Mutex(Mutex&&) = delete;
    Mutex& operator=(Mutex&&) = delete;

    // Blocks until the lock is taken.
    virtual void lock();
    virtual void unlock();
    // Takes the lock only when it is free at once; returns whether it was taken.
    virtual bool tryLock();

private:
    std::unique_ptr<QMutex> mutex;
};

// Holds a Mutex for the lifetime of the guard.
class MutexLocker {
public:
    explicit MutexLocker(Mutex* m) : held(m) {
        if (held) held->lock();
    }
    ~MutexLocker() {
        if (held) held->unlock();
    }
    MutexLocker(const MutexLocker&) = delete;
    MutexLocker& operator=(const MutexLocker&) = delete;

private:
    Mutex* held;
};
