#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <tbb/info.h>

#include "platform/ParallelFor.h"

namespace {

class ParallelFor : public ::testing::Test {
protected:
    void TearDown() override { setParallelThreadCount(0); }
};

// Runs a loop and checks that every index ran exactly once.
void expectEachIndexOnce(int32_t count, float priority) {
    std::vector<std::atomic<int>> hits(count > 0 ? count : 0);
    std::atomic<int> outside{0};
    parallelFor(count, priority, [&](int32_t i) {
        if (i < 0 || i >= count) {
            outside.fetch_add(1);
            return;
        }
        hits[i].fetch_add(1);
    });
    EXPECT_EQ(outside.load(), 0);
    for (int32_t i = 0; i < count; ++i) ASSERT_EQ(hits[i].load(), 1) << "index " << i << " of " << count;
}

}  // namespace

TEST_F(ParallelFor, EveryIndexRunsExactlyOnce) {
    const int threadCounts[] = {0, 1, 2, 3, 8};
    const int32_t counts[] = {-3, 0, 1, 2, 7, 8, 9, 100, 1000};
    const float priorities[] = {0.5f, 0.2499f, 0.75f, std::numeric_limits<float>::quiet_NaN()};
    for (int threads : threadCounts) {
        setParallelThreadCount(threads);
        for (int32_t count : counts) {
            for (float priority : priorities) {
                SCOPED_TRACE(testing::Message() << threads << " threads, " << count << " indices, priority "
                                                << priority);
                expectEachIndexOnce(count, priority);
            }
        }
    }
}

TEST_F(ParallelFor, ThreadCountIsInjectable) {
    EXPECT_EQ(parallelThreadCount(), tbb::info::default_concurrency());
    setParallelThreadCount(3);
    EXPECT_EQ(parallelThreadCount(), 3);
    setParallelThreadCount(-2);  // read as the default
    EXPECT_EQ(parallelThreadCount(), tbb::info::default_concurrency());

    // One thread: every band runs on the caller.
    setParallelThreadCount(1);
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> elsewhere{0};
    parallelFor(64, 0.5f, [&](int32_t) {
        if (std::this_thread::get_id() != caller) elsewhere.fetch_add(1);
    });
    EXPECT_EQ(elsewhere.load(), 0);

    // Two threads: never more than two bands at once.
    setParallelThreadCount(2);
    std::atomic<int> active{0}, peak{0};
    parallelFor(64, 0.5f, [&](int32_t) {
        const int now = active.fetch_add(1) + 1;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        active.fetch_sub(1);
    });
    EXPECT_LE(peak.load(), 2);
}

TEST_F(ParallelFor, BandsReallyRunAtTheSameTime) {
    setParallelThreadCount(2);
    // Each of the two bands waits for the other to start: a loop that ran
    // them one after the other would time out here.
    std::atomic<int> started{0};
    std::atomic<int> met{0};
    parallelFor(2, 0.5f, [&](int32_t) {
        started.fetch_add(1);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (started.load() < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        if (started.load() == 2) met.fetch_add(1);
    });
    EXPECT_EQ(met.load(), 2);
}

TEST_F(ParallelFor, NestedLoopsRunEveryPairOnce) {
    for (int threads : {1, 2, 4}) {
        setParallelThreadCount(threads);
        const int32_t outer = 12, inner = 40;
        std::vector<std::atomic<int>> hits(outer * inner);
        parallelFor(outer, 0.5f, [&](int32_t i) {
            parallelFor(inner, 0.9f, [&](int32_t j) { hits[i * inner + j].fetch_add(1); });
        });
        for (int32_t k = 0; k < outer * inner; ++k) ASSERT_EQ(hits[k].load(), 1) << threads << " threads, pair " << k;
    }
}

TEST_F(ParallelFor, ABodyMayHoldALockAcrossANestedLoop) {
    // While a thread waits for its nested loop it must not pick up another
    // band of the outer loop, which would try the same lock and deadlock.
    setParallelThreadCount(4);
    std::mutex lock;
    std::atomic<int> total{0};
    parallelFor(32, 0.5f, [&](int32_t) {
        std::lock_guard<std::mutex> hold(lock);
        parallelFor(16, 0.5f, [&](int32_t) { total.fetch_add(1); });
    });
    EXPECT_EQ(total.load(), 32 * 16);
}

TEST_F(ParallelFor, CallsFromSeveralThreadsAtOnce) {
    setParallelThreadCount(3);
    const int callers = 6, rounds = 20, count = 150;
    std::vector<std::atomic<int>> sums(callers);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < callers; ++c) {
        threads.emplace_back([&, c] {
            for (int r = 0; r < rounds; ++r) {
                std::vector<std::atomic<int>> hits(count);
                parallelFor(count, c % 2 ? 0.9f : 0.1f, [&](int32_t i) { hits[i].fetch_add(1); });
                for (auto& h : hits)
                    if (h.load() != 1) wrong.fetch_add(1);
                sums[c].fetch_add(1);
            }
        });
    }
    // Change the thread count while the loops run: each loop finishes on the
    // arena it started with.
    for (int n : {1, 4, 0, 2}) {
        setParallelThreadCount(n);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    for (int c = 0; c < callers; ++c) EXPECT_EQ(sums[c].load(), rounds);
}
