// The shapes of a disc by rows and the sums of a block of samples over
// them, built for the wider vector sets with a copy in AVX-512 registers;
// how the disc is summed is told in DiscSums.h.
#include "pixels/DiscSums.h"

#include <cstddef>
#include <cstdint>

#include "pixels/Convolution.h"
#include "pixels/KernelAttributes.h"

namespace convolution {

DiscShape discShape(float full, float rim, int32_t n) {
    DiscShape shape;
    shape.n = n;
    shape.full.resize(static_cast<size_t>(n) + 1);
    shape.firstRim.resize(static_cast<size_t>(n) + 2);
    // The cells' distances grow with |dx| and |dy|, so the ends of the full
    // span and of the rim only move inward from one row to the next.
    int32_t inner = n;
    int32_t outer = n;
    for (int32_t dy = 0; dy <= n; ++dy) {
        while (inner >= 0 && discWeight(full, rim, inner, dy) != 1.0f) --inner;
        while (outer >= 0 && !(discWeight(full, rim, outer, dy) > 0.0f)) --outer;
        shape.full[dy] = inner;
        shape.firstRim[dy] = static_cast<int32_t>(shape.rim.size());
        double row = static_cast<double>(2 * inner + 1 > 0 ? 2 * inner + 1 : 0);
        for (int32_t dx = inner + 1; dx <= outer; ++dx) {
            const float w = discWeight(full, rim, dx, dy);
            shape.rim.push_back(RimCell{dx, w});
            row += dx == 0 ? static_cast<double>(w) : 2.0 * static_cast<double>(w);
        }
        shape.weight += dy == 0 ? row : 2.0 * row;
    }
    shape.firstRim[n + 1] = static_cast<int32_t>(shape.rim.size());
    return shape;
}

void bandShape(const DistanceTable& distance, float kMin, float rimMax, int32_t n, DiscShape& shape) {
    shape.n = n;
    shape.full.resize(static_cast<size_t>(n) + 1);
    shape.outer.resize(static_cast<size_t>(n) + 1);
    int32_t inner = n;
    int32_t outer = n;
    int64_t cells = 0;
    for (int32_t dy = 0; dy <= n; ++dy) {
        inner = distance.closerThan(kMin, dy, n, inner);
        outer = distance.closerThan(rimMax, dy, n, outer);
        shape.full[dy] = inner;
        shape.outer[dy] = outer;
        cells += (dy == 0 ? 1 : 2) * static_cast<int64_t>(inner + 1 > 0 ? 2 * inner + 1 : 0);
    }
    shape.weight = static_cast<double>(cells);
}

namespace {

// Row offsets whose float sums are added together before they go into the
// double sums.
constexpr int32_t kDiscFloatRows = 4;
// Spans shorter than 2 kShortSpan + 1 cells are summed cell by cell: the
// prefix sums' rounding, which grows with the row, would weigh on their
// small sums.
constexpr int32_t kShortSpan = 8;

// The sum of the samples at [from, from + count · step) in steps, in double.
TILE_INLINE double directSum(const float* v, int32_t count, int32_t step) {
    double sum = 0.0;
    for (int32_t i = 0; i < count; ++i) sum += static_cast<double>(v[static_cast<ptrdiff_t>(i) * step]);
    return sum;
}

// Vector registers of the disc's sums: four doubles; Lanes floats, 8 (AVX)
// or 16 (AVX-512), read from any address. A block of kDiscBlock samples is
// kDiscBlock / Lanes of them; every lane does the same operations whatever
// the width, so both widths give the same sums.
typedef double DiscDoubles __attribute__((vector_size(32)));
constexpr int32_t kDiscDoubleVectors = kDiscBlock / 4;

template <int32_t Lanes>
struct DiscLanes {
    typedef float Floats __attribute__((vector_size(4 * Lanes)));
    typedef float FloatsAt __attribute__((vector_size(4 * Lanes), aligned(4), may_alias));
    static constexpr int32_t kVectors = kDiscBlock / Lanes;
};

// The helpers and lambdas below that return vectors wider than 16 bytes are
// always inlined into the kernel's copies, so the note that such a vector
// is returned differently with and without AVX concerns no call ever made
// (GCC gives it when the file's functions are emitted, so it is off to the
// end).
#pragma GCC diagnostic ignored "-Wpsabi"
template <int32_t Lanes>
TILE_INLINE typename DiscLanes<Lanes>::Floats loadFloats(const float* p) {
    return *reinterpret_cast<const typename DiscLanes<Lanes>::FloatsAt*>(p);
}

// The span |dx| <= a of one row for the samples of a block, added to sum: a
// short span cell by cell, a long one from the prefix sums, and in a row
// that holds a non-finite or huge sample one sample at a time in double.
template <int32_t Lanes, class Floats = typename DiscLanes<Lanes>::Floats>
TILE_INLINE void addSpan(Floats* sum, const BlockRow& row, int32_t a, int32_t channels) {
    constexpr int32_t vectors = DiscLanes<Lanes>::kVectors;
    if (!row.direct && a < kShortSpan) {
        const float* first = row.values - static_cast<ptrdiff_t>(a) * channels;
        for (int32_t i = 0; i <= 2 * a; ++i) {
            const float* v = first + static_cast<ptrdiff_t>(i) * channels;
#pragma GCC unroll 4
            for (int32_t k = 0; k < vectors; ++k) sum[k] += loadFloats<Lanes>(v + Lanes * k);
        }
        return;
    }
    if (!row.direct) {
        const float* high = row.prefix + static_cast<ptrdiff_t>(a + 1) * channels;
        const float* low = row.prefix - static_cast<ptrdiff_t>(a) * channels;
#pragma GCC unroll 4
        for (int32_t k = 0; k < vectors; ++k)
            sum[k] += loadFloats<Lanes>(high + Lanes * k) - loadFloats<Lanes>(low + Lanes * k);
        return;
    }
    const float* first = row.values - static_cast<ptrdiff_t>(a) * channels;
    for (int32_t j = 0; j < kDiscBlock; ++j)
        sum[j / Lanes][j % Lanes] += static_cast<float>(directSum(first + j, 2 * a + 1, channels));
}

// The disc sums Σ w · v / Σ w of the samples [j0, j0 + kDiscBlock) of the
// output rows [y0, y0 + count) (count at most kDiscBandRows), each by its
// plan, into out[(y - y0) · kDiscBlock + j]. Sample j of a row is at j +
// pad · channels of every window (its centre column). Each vector lane
// alone, in a fixed order: for the row offsets 0, ±1, ±2, ... the float sum
// of the spans and then the rim cells of the offset (left and right
// together, above and below together), the float sums of kDiscFloatRows
// offsets added together and then to a double sum. The output rows take
// turns for each group of offsets, so that the rows they read, neighbours
// at the same columns, stay in the processor's cache. In a band, a lane
// weighs a cell at distance d by 1 closer than its k, by k + 1 - d closer
// than its rim, else leaves it out, and sums those weights (in quarters: a
// cell stands for its four mirror images) beside its samples.
// MayHoldNonFinite: the window holds a non-finite sample, which a lane must
// leave out rather than weigh by 0. near must have room for count + 2 n
// rows, n the widest plan's.
template <int32_t Lanes, bool MayHoldNonFinite>
TILE_INLINE void discSumsBody(const DiscRows& rows, int32_t y0, int32_t count, const DiscPlan* plans, int32_t pad,
                              int32_t channels, int32_t j0, BlockRow* near, float* out) {
    typedef typename DiscLanes<Lanes>::Floats Floats;
    constexpr int32_t vectors = DiscLanes<Lanes>::kVectors;
    DiscDoubles sums[kDiscBandRows][kDiscDoubleVectors];
    DiscDoubles weights[kDiscBandRows][kDiscDoubleVectors];
    int32_t last = -1;
    for (int32_t b = 0; b < count; ++b) {
#pragma GCC unroll 8
        for (int32_t k = 0; k < kDiscDoubleVectors; ++k) sums[b][k] = weights[b][k] = DiscDoubles{0.0, 0.0, 0.0, 0.0};
        last = plans[b].n > last ? plans[b].n : last;
    }
    // near[i]: window row y0 - last + i, as this block reads it.
    const ptrdiff_t centre = j0 + static_cast<ptrdiff_t>(pad) * channels;
    for (int32_t i = 0; i < count + 2 * last; ++i) {
        const DiscRow& row = rows.at(y0 - last + i);
        near[i] = BlockRow{row.values + centre, row.prefix + centre, row.direct};
    }
    const Floats one = Floats{} + 1.0f;
    auto load = [](const float* p) TILE_INLINE_LAMBDA { return loadFloats<Lanes>(p); };
    // Adds the float sums p of a group of offsets to the double sums.
    auto flush = [](const Floats* p, DiscDoubles* to) TILE_INLINE_LAMBDA {
#pragma GCC unroll 4
        for (int32_t k = 0; k < vectors; ++k) {
            DiscDoubles* t = to + k * (Lanes / 4);
            t[0] += __builtin_convertvector(__builtin_shufflevector(p[k], p[k], 0, 1, 2, 3), DiscDoubles);
            t[1] += __builtin_convertvector(__builtin_shufflevector(p[k], p[k], 4, 5, 6, 7), DiscDoubles);
            if constexpr (Lanes == 16) {
                t[2] += __builtin_convertvector(__builtin_shufflevector(p[k], p[k], 8, 9, 10, 11), DiscDoubles);
                t[3] += __builtin_convertvector(__builtin_shufflevector(p[k], p[k], 12, 13, 14, 15), DiscDoubles);
            }
        }
    };
    for (int32_t group = 0; group <= last; group += kDiscFloatRows) {
        for (int32_t b = 0; b < count; ++b) {
            const DiscPlan& plan = plans[b];
            if (group > plan.n) continue;
            const int32_t groupEnd = group + kDiscFloatRows <= plan.n ? group + kDiscFloatRows : plan.n + 1;
            const float* radii = plan.radii;
            Floats p[vectors] = {};
            Floats q[vectors] = {};  // a band's lane weights, in quarters
            for (int32_t dy = group; dy < groupEnd; ++dy) {
                const int32_t a = plan.full[dy];
                const BlockRow& up = near[b - dy + last];
                const BlockRow& down = near[b + dy + last];
                // The offset's float sums, kept in registers.
                Floats s[vectors] = {};
                auto add = [&](auto&& at) TILE_INLINE_LAMBDA {
#pragma GCC unroll 4
                    for (int32_t k = 0; k < vectors; ++k) s[k] += at(Lanes * k);
                };
                if (dy > 0 && a >= kShortSpan && !up.direct && !down.direct) {
                    const float* uh = up.prefix + static_cast<ptrdiff_t>(a + 1) * channels;
                    const float* ul = up.prefix - static_cast<ptrdiff_t>(a) * channels;
                    const float* dh = down.prefix + static_cast<ptrdiff_t>(a + 1) * channels;
                    const float* dl = down.prefix - static_cast<ptrdiff_t>(a) * channels;
                    add([&](int32_t o) TILE_INLINE_LAMBDA {
                        return (load(uh + o) - load(ul + o)) + (load(dh + o) - load(dl + o));
                    });
                } else if (a >= 0) {
                    Floats spans[vectors] = {};
                    addSpan<Lanes>(spans, up, a, channels);
                    if (dy > 0) addSpan<Lanes>(spans, down, a, channels);
                    add([&](int32_t o) TILE_INLINE_LAMBDA { return spans[o / Lanes]; });
                }
                // The cell at dx and its mirror images (two on an axis, else
                // four), weighed by w(o), the weights of the lanes from o.
                auto addCell = [&](int32_t cellDx, auto&& w) TILE_INLINE_LAMBDA {
                    const ptrdiff_t dx = static_cast<ptrdiff_t>(cellDx) * channels;
                    const float* ur = up.values + dx;
                    const float* ul = up.values - dx;
                    const float* dr = down.values + dx;
                    const float* dl = down.values - dx;
                    if (dy == 0) {
                        add([&](int32_t o) TILE_INLINE_LAMBDA { return w(o) * (load(ur + o) + load(ul + o)); });
                    } else if (cellDx == 0) {
                        add([&](int32_t o) TILE_INLINE_LAMBDA { return w(o) * (load(ur + o) + load(dr + o)); });
                    } else {
                        add([&](int32_t o) TILE_INLINE_LAMBDA {
                            return w(o) * ((load(ur + o) + load(ul + o)) + (load(dr + o) + load(dl + o)));
                        });
                    }
                };
                if (!radii) {
                    const int32_t rimEnd = plan.firstRim[dy + 1];
                    for (int32_t i = plan.firstRim[dy]; i < rimEnd; ++i) {
                        const Floats w = Floats{} + plan.rim[i].w;
                        addCell(plan.rim[i].dx, [&](int32_t) TILE_INLINE_LAMBDA { return w; });
                    }
                } else {
                    // A band: each lane weighs the cell by its own radius,
                    // adds the weight's quarters (the cell stands for four)
                    // to its weight, and leaves out a cell beyond its rim.
                    const float* rims = plan.rims;
                    const DistanceTable& distance = *plan.distances;
                    const int32_t bandEnd = plan.outer[dy] < plan.n ? plan.outer[dy] : plan.n;
                    for (int32_t cellDx = a + 1; cellDx <= bandEnd; ++cellDx) {
                        const Floats d = Floats{} + distance(cellDx, dy);
                        const float quarter = dy == 0 || cellDx == 0 ? 0.5f : 1.0f;
                        Floats w[vectors];
#pragma GCC unroll 4
                        for (int32_t k = 0; k < vectors; ++k) {
                            Floats fraction = load(rims + Lanes * k) - d;
                            fraction = fraction > Floats{} ? fraction : Floats{};
                            w[k] = d < load(radii + Lanes * k) ? one : fraction;
                            q[k] += w[k] * quarter;
                        }
                        if (!MayHoldNonFinite) {
                            addCell(cellDx, [&](int32_t o) TILE_INLINE_LAMBDA { return w[o / Lanes]; });
                            continue;
                        }
                        // w 0 times a non-finite sample would be NaN.
                        Floats before[vectors];
#pragma GCC unroll 4
                        for (int32_t k = 0; k < vectors; ++k) before[k] = s[k];
                        addCell(cellDx, [&](int32_t o) TILE_INLINE_LAMBDA { return w[o / Lanes]; });
#pragma GCC unroll 4
                        for (int32_t k = 0; k < vectors; ++k) s[k] = w[k] > Floats{} ? s[k] : before[k];
                    }
                }
#pragma GCC unroll 4
                for (int32_t k = 0; k < vectors; ++k) p[k] += s[k];
            }
            flush(p, sums[b]);
            if (radii) flush(q, weights[b]);
        }
    }
    for (int32_t b = 0; b < count; ++b) {
        const DiscPlan& plan = plans[b];
        if (plan.n < 0) continue;
        for (int32_t j = 0; j < kDiscBlock; ++j) {
            const double weight = plan.radii ? plan.weight + 4.0 * weights[b][j / 4][j % 4] : plan.weight;
            out[b * kDiscBlock + j] = static_cast<float>(sums[b][j / 4][j % 4] / weight);
        }
    }
}

TILE_TARGET_CLONES
void discSums8(const DiscRows& rows, int32_t y0, int32_t count, const DiscPlan* plans, int32_t pad, int32_t channels,
               int32_t j0, BlockRow* near, float* out) {
    discSumsBody<8, false>(rows, y0, count, plans, pad, channels, j0, near, out);
}

TILE_TARGET_CLONES
void discSumsLeavingOut8(const DiscRows& rows, int32_t y0, int32_t count, const DiscPlan* plans, int32_t pad,
                         int32_t channels, int32_t j0, BlockRow* near, float* out) {
    discSumsBody<8, true>(rows, y0, count, plans, pad, channels, j0, near, out);
}

// The sums in AVX-512 registers where the processor has them (about a
// sixth less time); GCC lowers vectors wider than the processor's badly,
// so the other copies keep the width of AVX.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(PELLUCINE_BASELINE_KERNELS)
#define DISC_WIDE_SUMS 1
__attribute__((target("arch=x86-64-v4"))) void discSums16(const DiscRows& rows, int32_t y0, int32_t count,
                                                         const DiscPlan* plans, int32_t pad, int32_t channels,
                                                         int32_t j0, BlockRow* near, float* out) {
    discSumsBody<16, false>(rows, y0, count, plans, pad, channels, j0, near, out);
}

__attribute__((target("arch=x86-64-v4"))) void discSumsLeavingOut16(const DiscRows& rows, int32_t y0,
                                                                   int32_t count, const DiscPlan* plans, int32_t pad,
                                                                   int32_t channels, int32_t j0, BlockRow* near,
                                                                   float* out) {
    discSumsBody<16, true>(rows, y0, count, plans, pad, channels, j0, near, out);
}
#endif

}  // namespace

// The disc sums for this processor; leavingOut: the window holds a
// non-finite sample (discSumsBody's MayHoldNonFinite).
DiscSumsKernel discSumsKernel(bool leavingOut) {
#ifdef DISC_WIDE_SUMS
    static const bool wide = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                             __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
    if (wide) return leavingOut ? discSumsLeavingOut16 : discSums16;
#endif
    return leavingOut ? discSumsLeavingOut8 : discSums8;
}

}  // namespace convolution
