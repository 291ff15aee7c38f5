#pragma once
// The parallel loop over bands: a thin layer over oneTBB.
//
// parallelFor runs body(i) once for every i in 0..count-1, spread over the
// loop's threads, and returns only when all have returned. It may be called
// from several threads at once (each call waits only for its own indices)
// and from inside a body (a nested loop runs in the same thread pool; the
// waiting thread only picks up work of its own loop, so a body may hold a
// lock across a nested call).
//
// The number of threads is injectable for tests and the render tool:
// setParallelThreadCount(n) with n >= 1 fixes it, 0 restores the machine's
// default. parallelThreadCount() is the number in use, never 0; the render
// pipeline uses it as its thread count when it cuts an image into bands.

#include <cstdint>
#include <functional>

void parallelFor(int32_t count, float priority, const std::function<void(int32_t)>& body);

void setParallelThreadCount(int n);
int parallelThreadCount();
