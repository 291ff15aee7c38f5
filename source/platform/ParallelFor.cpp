#include "ParallelFor.h"

#include <malloc.h>
#include <sys/resource.h>

#include <memory>
#include <mutex>

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

namespace {

// Priority: the number the callers pass (a render context's 0.5 in every
// case today) names one of four levels: 0.75 or more high, 0.5 or more
// default, 0.25 or more low, below that background. oneTBB arenas have three
// priorities, so low and background share the low arena. Arena priority only
// decides how TBB's workers are shared between arenas that are busy at the
// same time; the pixels never depend on it.
enum ArenaLevel { kLow = 0, kNormal = 1, kHigh = 2, kLevelCount = 3 };

ArenaLevel levelFor(float priority) {
    if (priority >= 0.75f) return kHigh;
    if (priority >= 0.5f) return kNormal;
    return kLow;  // also NaN
}

constexpr int kMaxThreads = 256;  // an injected count above this is capped

int machineThreadCount() {
    const int n = tbb::info::default_concurrency();
    return n < 1 ? 1 : n;
}

// The arenas of one thread count. A set is shared: a loop keeps the set it
// started with alive until it returns, even when the count changes meanwhile.
// An injected count above the machine's default also raises TBB's limit on
// worker threads while the set lives, so that the loop really runs on that
// many threads (tests of band-independent results rely on it). TBB applies
// the smallest limit of the live controls, so while a loop still runs on an
// older, smaller set a newly widened one may get fewer workers for a moment.
struct ArenaSet {
    explicit ArenaSet(int n) : threads(n) {
        if (n > machineThreadCount())
            widened = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                            static_cast<size_t>(n));
        static const tbb::task_arena::priority priorities[kLevelCount] = {
            tbb::task_arena::priority::low, tbb::task_arena::priority::normal, tbb::task_arena::priority::high};
        for (int level = 0; level < kLevelCount; ++level) {
            arenas[level] = std::make_unique<tbb::task_arena>(n, 1, priorities[level]);
            arenas[level]->initialize();
        }
    }
    int threads;
    std::unique_ptr<tbb::global_control> widened;  // declared first: outlives the arenas
    std::unique_ptr<tbb::task_arena> arenas[kLevelCount];
};

struct LoopState {
    std::mutex lock;        // guards the two fields below, never held while a loop runs
    int requested = 0;      // 0: the machine's default
    std::shared_ptr<ArenaSet> current;
};

// Under a cap on the address space (ulimit -v, a container's limit), the C
// library's allocator would reserve 64 MB of address space for the arena of
// every thread that allocates: eight loop threads take 512 MB of a cap that
// holds only pictures, and an allocation that TBB makes inside its own
// worker thread then fails where nothing can catch it, which ends the
// process. With a cap, the threads share two arenas instead; without one,
// nothing changes.
void shareAllocatorArenasUnderAnAddressCap() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) mallopt(M_ARENA_MAX, 2);
}

// Never destroyed, so that a loop run during static destruction still works.
LoopState& loopState() {
    static LoopState* state = [] {
        shareAllocatorArenasUnderAnAddressCap();  // before any loop thread exists
        return new LoopState;
    }();
    return *state;
}

std::shared_ptr<ArenaSet> currentArenas() {
    LoopState& state = loopState();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.current) {
        const int n = state.requested > 0 ? state.requested : machineThreadCount();
        state.current = std::make_shared<ArenaSet>(n);
    }
    return state.current;
}

// How deep the current thread is inside bodies of parallelFor.
thread_local int bodyDepth = 0;

struct BodyScope {
    BodyScope() { ++bodyDepth; }
    ~BodyScope() { --bodyDepth; }
};

// Runs the loop in the arena the calling thread is in. isolate keeps the
// thread, while it waits for the loop, from starting unrelated tasks (an
// outer loop's next band, another caller's work) that could block on a lock
// it holds.
void runLoop(int32_t count, const std::function<void(int32_t)>& body) {
    tbb::this_task_arena::isolate([&] {
        tbb::parallel_for(
            tbb::blocked_range<int32_t>(0, count, 1),
            [&](const tbb::blocked_range<int32_t>& range) {
                for (int32_t i = range.begin(); i != range.end(); ++i) {
                    BodyScope scope;
                    body(i);
                }
            },
            tbb::simple_partitioner());
    });
}

}  // namespace

void parallelFor(int32_t count, float priority, const std::function<void(int32_t)>& body) {
    if (count <= 0 || !body) return;
    if (bodyDepth > 0) {
        // Nested: stay in the arena of the outer loop.
        runLoop(count, body);
        return;
    }
    const std::shared_ptr<ArenaSet> set = currentArenas();
    set->arenas[levelFor(priority)]->execute([&] { runLoop(count, body); });
}

void setParallelThreadCount(int n) {
    if (n < 0) n = 0;
    if (n > kMaxThreads) n = kMaxThreads;
    LoopState& state = loopState();
    std::shared_ptr<ArenaSet> old;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (n == state.requested) return;
        state.requested = n;
        const int effective = n > 0 ? n : machineThreadCount();
        if (state.current && state.current->threads != effective) old = std::move(state.current);
    }
    // The old set goes when its last running loop returns (or here, outside
    // the lock, when none runs).
}

int parallelThreadCount() {
    LoopState& state = loopState();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.requested > 0 ? state.requested : machineThreadCount();
}
