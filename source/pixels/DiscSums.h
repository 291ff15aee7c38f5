#pragma once
// A disc by rows, as the disc blur and the disc averages sum it, private to
// this folder: the distances of its cells, its shape (full spans and rim
// cells, or the band of a block of radii), the rows of a tile's window, the
// plan one output row of a block sums, the block sums themselves
// (DiscSums.cpp) and the loading of a window's rows (DiscWindow.cpp);
// DiscBlur.cpp cuts the image into tiles and runs them.
//
// Every output sample of the disc is Σ w · v over the disc's cells divided
// by Σ w. A row of the disc holds a span of cells of weight 1 around its
// centre and, outside it, the few cells of the fractional rim. A long
// span's sum is the difference of two prefix sums of its image row (each
// summed in double and rounded to float once; short spans are summed cell
// by cell), so a sample costs the disc's height in span sums plus its rim
// cells: both grow with the radius, not with its square. The rows above and
// below the centre have the same span and rim, and so do the cells left and
// right of it, so they are added in pairs. The spans and rim cells of four
// row offsets at a time are summed in float and added to a double sum,
// divided once by the double sum of the weights: within about 3e-7 of the
// exact sum, relative to the average magnitude of the disc's samples
// (Σ w |v| / Σ w, the sample itself where they share a sign) and at least 1.
// A span's rounding is that of its row's prefix sums, which grow along the
// row: a dark disc in rows that are bright elsewhere is held to the size
// of those rows instead (within 1e-6 of their largest sample).
//
// Neighbouring samples of a row share the disc, so kDiscBlock of them are
// summed together (vector lanes that never mix). The image is worked in
// tiles of columns and rows, each a task of a nested parallel loop that
// reads a copy of the image as it stood and writes only its own tile; the
// prefix sums of a row start at the left end of its tile's window, and the
// tiles' columns are fixed by the image's width, so bands and threads never
// change a result.
//
// Discs of a radius per pixel (discAverages) are summed the same way. The
// neighbours in a block have nearly the same radius k: the cells closer
// than the smallest k of the block weigh 1 for every one of them and are
// summed as spans; the band of cells up to the largest rim k + 1 is summed
// cell by cell, each lane weighing a cell by its own radius and adding that
// weight to its own sum of weights. The band is a little wider than a rim,
// so a block costs about what a block of one radius does. Each output row
// of a block has its own band, made from the radii of its own pixels, so
// how rows are grouped changes no result; rows whose pixels all have the
// common radius the caller names take its one disc.
//
// A sample whose disc square holds a non-finite sample is summed cell by
// cell, as the plain convolution of the normalised kernel does (so NaN and
// infinity spread as they always did), and rows holding a non-finite or a
// huge sample sum their spans one sample at a time, so that such a sample
// cannot spoil the prefix sums of its row. Discs of a radius per pixel take
// their own cells only: a cell outside a lane's disc is left out of its
// sum, not multiplied by 0.

#include <math.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixels/KernelAttributes.h"

namespace convolution {

// Samples summed together (four AVX registers of floats).
constexpr int32_t kDiscBlock = 32;
// Output rows a block of samples is taken down before the next block.
constexpr int32_t kDiscBandRows = 16;
// Discs of a radius per pixel read their cells' distances from a table up
// to this half-width (1 MiB), beyond it compute them.
constexpr int32_t kDistanceTableLimit = 512;

// The distance sqrtf(dx^2 + dy^2) of a cell, as discWeight computes it.
inline float cellDistance(int32_t dx, int32_t dy) {
    return sqrtf(static_cast<float>(static_cast<int64_t>(dx) * dx + static_cast<int64_t>(dy) * dy));
}

// The distances of the cells of a quadrant, dx and dy in [0, n]: from a
// table when n is at most kDistanceTableLimit, else computed.
struct DistanceTable {
    std::vector<float> table;
    int32_t side = 0;
    void build(int32_t n) {
        if (n > kDistanceTableLimit) return;
        side = n + 1;
        table.resize(static_cast<size_t>(side) * side);
        for (int32_t dy = 0; dy < side; ++dy)
            for (int32_t dx = 0; dx < side; ++dx) table[static_cast<size_t>(dy) * side + dx] = cellDistance(dx, dy);
    }
    TILE_INLINE float operator()(int32_t dx, int32_t dy) const {
        return table.empty() ? cellDistance(dx, dy) : table[static_cast<size_t>(dy) * side + dx];
    }
    // The largest dx in [0, n] whose cell at row offset dy lies closer than
    // limit (-1: none). With the table it starts from the exact boundary,
    // ceil(sqrt(limit^2 - dy^2)) - 1 in double, and looks at the two cells
    // around it: for these sizes the float distances of neighbouring cells
    // lie far more than their rounding apart, so the float boundary is one
    // of the three. Beyond the table the cells are walked from guess.
    int32_t closerThan(float limit, int32_t dy, int32_t n, int32_t guess) const {
        if (table.empty()) {
            int32_t a = guess > n ? n : guess;
            while (a >= 0 && !(cellDistance(a, dy) < limit)) --a;
            while (a < n && cellDistance(a + 1, dy) < limit) ++a;
            return a;
        }
        const double room = static_cast<double>(limit) * limit - static_cast<double>(dy) * dy;
        if (!(room > 0.0)) return -1;
        int32_t c = static_cast<int32_t>(std::ceil(std::sqrt(room))) - 1;
        c = c < n ? c : n;
        const float* row = table.data() + static_cast<size_t>(dy) * side;
        return c - 1 + (row[c] < limit ? 1 : 0) + (c < n && row[c + 1] < limit ? 1 : 0);
    }
};

// One rim cell at a row offset: its column offset (0 or more; the cell at
// -dx weighs the same) and weight.
struct RimCell {
    int32_t dx;
    float w;
};

// A disc of half-width n by rows. At row offset dy (0..n; -dy is alike)
// the cells |dx| <= full[dy] weigh 1 (-1: none). In a disc of one radius
// the rim cells rim[firstRim[dy] .. firstRim[dy + 1]) follow them, with
// discWeight's weights, and weight is the double sum of every cell's
// weight. In the band of a block of radii (bandShape) the band's cells
// full[dy] < |dx| <= outer[dy] follow them, and weight counts the full
// cells.
struct DiscShape {
    std::vector<int32_t> full;
    std::vector<int32_t> firstRim;
    std::vector<RimCell> rim;
    std::vector<int32_t> outer;
    double weight = 0.0;
    int32_t n = 0;
};

// The disc of one radius: cells closer than full weigh 1, closer than rim
// rim - d (discWeight), half-width n.
DiscShape discShape(float full, float rim, int32_t n);

// The band of pixels whose radii k lie in [kMin, kMax], half-width n =
// ceil(kMax), into shape (its arrays reused): the cells closer than kMin
// weigh 1 for all of them (full), the cells from there to the largest rim
// rimMax = max(k + 1) follow, and weight counts the full cells. Cells from
// rimMax out weigh 0 for all of them.
void bandShape(const DistanceTable& distance, float kMin, float rimMax, int32_t n, DiscShape& shape);

// The cells closer than each limit of a grid, level · step (step a power of
// two), so that the band of a block of radii is looked up rather than
// made: the grid limit at or below the smallest radius bounds the cells
// that weigh 1 for all of the block, the one at or above the largest rim
// bounds the band. The band is then wider than the radii need by less than
// a step on each side, which costs a few cells and changes no weight.
// Level 0 holds the centre cell alone (a limit just above 0). Made from the
// distance table, so only for discs up to kDistanceTableLimit.
struct DiscLevels {
    std::vector<int32_t> closer;  // [level · (n + 1) + dy]: as closerThan, -1 none
    std::vector<double> cells;    // [level]: how many cells are closer
    float step = 0.0f;
    int32_t n = 0;
    int32_t levels = 0;

    // The grid has at most kMaxLevels levels: steps of 1/8 up to a
    // half-width of 254, coarser beyond.
    static constexpr int32_t kMaxLevels = 2048;

    void build(const DistanceTable& distance, int32_t halfWidth) {
        if (distance.table.empty()) return;
        n = halfWidth;
        step = 0.125f;
        while (static_cast<float>(n + 2) / step + 1.0f > static_cast<float>(kMaxLevels)) step *= 2.0f;
        levels = static_cast<int32_t>(ceilf(static_cast<float>(n + 2) / step)) + 1;
        const size_t side = static_cast<size_t>(n) + 1;
        closer.assign(static_cast<size_t>(levels) * side, -1);
        cells.assign(static_cast<size_t>(levels), 1.0);
        closer[0] = 0;
        for (int32_t level = 1; level < levels; ++level) {
            const float limit = static_cast<float>(level) * step;
            int32_t* row = closer.data() + static_cast<size_t>(level) * side;
            int64_t count = 0;
            int32_t a = n;
            for (int32_t dy = 0; dy <= n; ++dy) {
                a = distance.closerThan(limit, dy, n, a);
                row[dy] = a;
                count += (dy == 0 ? 1 : 2) * static_cast<int64_t>(a >= 0 ? 2 * a + 1 : 0);
            }
            cells[level] = static_cast<double>(count);
        }
    }
    // The level whose limit is at or below k, and the one at or above r.
    int32_t below(float k) const {
        const float level = floorf(k / step);
        return level < 0.0f ? 0 : (level >= static_cast<float>(levels) ? levels - 1 : static_cast<int32_t>(level));
    }
    int32_t above(float r) const {
        const float level = ceilf(r / step);
        return level >= static_cast<float>(levels) ? levels - 1 : static_cast<int32_t>(level);
    }
    const int32_t* row(int32_t level) const { return closer.data() + static_cast<size_t>(level) * (n + 1); }
};

// One source row of a tile: its window (edge-padded, kDiscBlock zeros
// after), the prefix sums of each channel, prefix[j + channels] =
// prefix[j] + values[j] from prefix[0..channels) = 0, and the running count
// of non-finite samples in the same layout (null when the row has none).
struct DiscRow {
    const float* values = nullptr;
    const float* prefix = nullptr;
    const int32_t* nonFinite = nullptr;
    bool direct = false;  // a non-finite or huge sample: spans summed one by one
};

// The rows of a tile's window: rows[i] is image row first + i, and rows
// above and below the image repeat its first and last.
struct DiscRows {
    const DiscRow* rows;
    int32_t first;
    int32_t height;
    TILE_INLINE const DiscRow& at(int32_t y) const {
        return rows[(y < 0 ? 0 : (y >= height ? height - 1 : y)) - first];
    }
};

// A window row as a block of samples reads it: its values and prefix sums
// from the block's centre column on.
struct BlockRow {
    const float* values;
    const float* prefix;
    bool direct;
};

// The disc that one output row of a block sums, row offset by row offset
// (dy = 0..n; n -1: the row has nothing to sum): the cells |dx| <= full[dy]
// weigh 1; then either the rim cells of one radius with their weights,
// rim[firstRim[dy] .. firstRim[dy + 1]), or a band: the cells full[dy] <
// |dx| <= outer[dy], which each lane weighs by its own radius k and rim
// k + 1 (kDiscBlock of each), their distances from the table. weight is
// the sum of all weights (one radius) or the count of full cells (a band).
struct DiscPlan {
    int32_t n = -1;
    const int32_t* full = nullptr;
    const int32_t* firstRim = nullptr;
    const RimCell* rim = nullptr;
    const int32_t* outer = nullptr;
    const float* radii = nullptr;
    const float* rims = nullptr;
    const DistanceTable* distances = nullptr;
    double weight = 0.0;
};

inline DiscPlan planOf(const DiscShape& shape) {
    DiscPlan plan;
    plan.n = shape.n;
    plan.full = shape.full.data();
    plan.firstRim = shape.firstRim.data();
    plan.rim = shape.rim.data();
    plan.weight = shape.weight;
    return plan;
}

// The normalised kernel's sum of one sample, cell by cell (DiscWindow.cpp).
float cellByCellSum(const DiscRow* const* rows, const float* kernel, int32_t n, int32_t channels, int32_t j);

// The pixels [from, from + count) of a row as floats, columns outside the
// row repeating its first or last pixel (DiscWindow.cpp).
template <class Sample>
void loadWindow(const Sample* row, int32_t width, int32_t channels, int32_t from, int32_t count, float* out);

// The prefix sums of a window row (DiscWindow.cpp).
void prefixSums(const float* values, int32_t count, int32_t channels, float* prefix);

// Whether every sample is within the range the prefix sums take, and
// whether every one is finite (DiscWindow.cpp).
bool allModest(const float* v, int32_t count);
bool allFinite(const float* v, int32_t count);

typedef void (*DiscSumsKernel)(const DiscRows& rows, int32_t y0, int32_t count, const DiscPlan* plans, int32_t pad,
                               int32_t channels, int32_t j0, BlockRow* near, float* out);

// The disc sums for this processor (the block sums of DiscSums.cpp's
// discSumsBody); leavingOut: the window holds a non-finite sample, which a
// lane of a band must leave out rather than weigh by 0.
DiscSumsKernel discSumsKernel(bool leavingOut);

}  // namespace convolution
