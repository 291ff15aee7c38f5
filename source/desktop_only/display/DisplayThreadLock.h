#pragma once
// DisplayThreadLock: the lock a running display thread holds.
//
// The interface thread takes it (tryLock) before it starts a display thread,
// and that thread releases it when it ends: it is locked and released by
// different threads, which a mutex forbids. So it is a one-permit semaphore
// behind the lock calls of Mutex.

#include <QSemaphore>

class DisplayThreadLock {
public:
    DisplayThreadLock() : permit(1) {}
    DisplayThreadLock(const DisplayThreadLock&) = delete;
    DisplayThreadLock& operator=(const DisplayThreadLock&) = delete;

    // Takes the permit only when it is free at once.
    bool tryLock() { return permit.tryAcquire(1); }
    // Waits for the permit.
    void lock() { permit.acquire(1); }
    // Gives the permit back; any thread may call it.
    void unlock() { permit.release(1); }
    bool isLocked() const { return permit.available() == 0; }

private:
    QSemaphore permit;
};
