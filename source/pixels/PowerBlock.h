#pragma once
// powf over a block of samples, several at a time.
//
// The power curves (Gamma, Exposure, Contrast) call powf once per sample on
// photos whose samples are not whole bytes, and the C library's powf is a
// scalar call: it is most of the cost of those tiles. powBlock gives every
// sample exactly the float that powf gives it, bit for bit, computing four
// samples per step where the processor allows.
//
// How that stays exact: on x86-64 processors with AVX2 and FMA, glibc's
// powf is its FMA variant, a fixed sequence of double-precision operations
// over two small tables (a 16-entry log2 table with a degree-5 polynomial,
// a 32-entry 2^(i/32) table with a degree-3 polynomial). The vector path
// runs the same operations in the same order (the same fused multiply-adds,
// the same roundings) with the same constants, so each lane rounds to the
// same float. Lanes outside the library's main path (a base that is zero,
// negative, subnormal, infinite or NaN; a result near the float range's
// ends) and exponents that are zero, infinite or NaN are left to powf
// itself. At first use the vector path is compared with powf on a spread
// of bases and exponents; if any result differs (another C library, another
// processor), powBlock calls powf for every sample.
//
// The constants are those of that powf, which glibc takes from Arm's
// optimized-routines (MIT licence); they are numbers the exact result
// depends on, kept in PowerBlock.cpp as IEEE bit patterns.

#include <cstdint>

namespace pixel {

// values[i] = powf(values[i], e) for i in 0..count-1.
void powBlock(float* values, int64_t count, float e);

// Whether powBlock uses its vector path in this process (for tests and
// benchmarks).
bool powBlockIsVectorised();

}  // namespace pixel
