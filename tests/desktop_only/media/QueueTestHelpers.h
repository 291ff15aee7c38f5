#pragma once
// What the batch worker's tests share: a gate that holds a render inside a
// tile until the test opens it, and waits on the queue.
#include "desktop_only/media/ProcessingState.h"
#include "foundation/Mutex.h"
#include "support/TestTiles.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace mediatest {

// Holds a render inside a tile until the test opens it.
class Gate {
public:
    void enterAndWait() {
        std::unique_lock<std::mutex> lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    bool waitUntilEntered() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [this] { return entered_; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool open_ = false;
};

// A tile that waits at the gate, then leaves the image as it is.
inline ImageMod* gateTile(const std::shared_ptr<Gate>& gate) {
    return new rendertest::HookTile([gate](ImageBuffer&, const RenderArgs*, bool) { gate->enterAndWait(); }, false);
}

// Waits up to a minute for the queue to go idle.
inline bool waitUntilIdle(const ProcessingState& queue) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (queue.isBusy()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline int32_t errorFlagOf(ProcessingState& queue) {
    MutexLocker status(queue.statusLock.get());
    return queue.errorFlag;
}

}  // namespace mediatest
