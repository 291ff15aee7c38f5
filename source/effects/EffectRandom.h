#pragma once
// Integer helpers of the noise and grain tiles: the guarded 64-bit
// float-to-integer conversion and the tiles' own random generator.
//
// The grain tiles draw their random values from a generator owned by what
// they build (a grain texture, a band of the legacy grain), seeded from the
// tile's values and the band's origin. A render therefore repeats run after
// run, the same picture size, scale and region give the same pixels, and no
// band ever waits for another's generator or depends on which thread ran
// first.

#include <math.h>

#include <cstdint>
#include <cstring>

#include "foundation/ImageBuffer.h"

namespace effectmath {

// trunc(v) as a 64-bit integer: NaN gives 0, values beyond the range the
// nearest end. (saturatingInt in foundation/ImageBuffer.h is its 32-bit twin.)
inline int64_t saturatingInt64(double v) {
    if (!(v == v)) return 0;
    if (v >= 9223372036854775807.0) return INT64_MAX;
    if (v <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(v);
}

// A pixel scale that is not a positive, finite number counts as 1.
inline float usablePixelScale(float s) { return s > 0.0f && s < 1e30f ? s : 1.0f; }

// v mod m in 0..m-1 (m >= 1), whatever the sign of v.
inline int64_t wrapIndex(int64_t v, int64_t m) {
    const int64_t r = v % m;
    return r < 0 ? r + m : r;
}

// The bits of a float, for seeding (so that 0.1 and 0.10000001 differ).
inline uint64_t floatBits(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// One step of the splitmix64 sequence: a well-mixed 64-bit value of x.
inline uint64_t mix64(uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// Folds one more value into a seed.
inline uint64_t seedWith(uint64_t seed, uint64_t value) { return mix64(seed ^ mix64(value)); }

// A small, fast generator (xorshift64*), owned by its user: uniform
// non-negative integers below 2^31, as the grain formulas expect of a
// generator ("r mod 10000" and the like).
class TileRandom {
public:
    explicit TileRandom(uint64_t seed) : state(mix64(seed) | 1u) {}
    uint32_t next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<uint32_t>((state * 0x2545f4914f6cdd1dull) >> 33);
    }

private:
    uint64_t state;
};

}  // namespace effectmath
