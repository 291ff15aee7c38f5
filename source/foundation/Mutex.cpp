#include "Mutex.h"

#include <QMutex>

Mutex::Mutex() : mutex(std::make_unique<QMutex>(QMutex::NonRecursive)) {}

Mutex::~Mutex() = default;

void Mutex::lock() {
    mutex->lock();
}

void Mutex::unlock() {
    mutex->unlock();
}

bool Mutex::tryLock() {
    return mutex->tryLock(0);
}
