#include "pixels/Convolution.h"

#include <math.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <type_traits>

#include "framework/SelectorMod.h"
#include "pixels/KernelAttributes.h"
#include "pixels/SampleRules.h"
#include "platform/ParallelFor.h"

// How the two-pass blur and the convolution are computed fast without
// changing a bit of their result (the disc blur has its own section below).
//
// Every output sample is a weighted sum Σ w[k] · in[k] taken in the order of
// the taps, one float product and one float sum at a time. Neighbouring
// samples of a row (x · channels + c) have the same sums over shifted
// inputs, so one kernel computes a block of kBlock neighbouring samples at
// once: for each tap, every lane adds its own product. Lanes never mix, so
// each sample sees exactly the plain loop's operations in the plain loop's
// order; the compiler turns the block into vector registers (AVX2 where the
// processor has it, through function multiversioning, SSE otherwise).
// -ffp-contract=off keeps products and sums apart.
//
// Edges: each source row is first copied into an edge-padded row (the first
// and last pixel repeated as far as the kernel reaches), so every tap of
// every block reads inside the padded row and no tap needs a clamp. Rows
// beyond the top and bottom are resolved once per output row, in a table of
// row pointers.
//
// The two-pass blur works down the image in chunks of rows. The horizontal
// pass writes its rows into a ring of scratch rows (as many as one chunk
// plus the kernel's height need); the vertical pass then sums ring rows
// (whole contiguous rows, never copied columns), strip by strip so that the
// rows it sums stay in the processor's cache. A row of the image is written
// only after every horizontal row that reads it has been computed, so the
// blur runs in place without a copy of the image, and the mix with the
// unblurred image reads the row just before it is overwritten.
//
// Scratch memory belongs to the calling thread and is reused by its later
// calls; nothing is allocated per row or pixel.

namespace {

// ---- The row kernel ----------------------------------------------------------------

// Samples per block: 96 floats are twelve AVX registers of accumulators.
constexpr int32_t kBlock = kKernelSumsBlock;
// Samples per strip of the vertical pass (the rows it sums stay in cache).
constexpr int32_t kStrip = 2 * kBlock;
// Output rows per chunk of the vertical pass.
constexpr int32_t kChunkRows = 32;
// Scratch rings above this many floats (16 MiB) are freed after a call
// instead of being kept for the thread's next one.
constexpr size_t kKeptScratchFloats = size_t(4) << 20;

// The block kernel is built for the wider vector sets too (TILE_TARGET_CLONES),
// and the per-row copies and stores under the dynamic cost model
// (TILE_VECTOR_LOOP): vector lanes keep every sample's IEEE result, so
// nothing changes but the speed.

inline int32_t roundUpToBlock(int32_t v) { return (v + kBlock - 1) / kBlock * kBlock; }

// sums[j] for j in [0, length), rounded up to whole blocks:
//   Σ over r = 0..rowCount-1, then k = 0..taps-1, of
//   weights[r · taps + k] · rows[r][offset + j + k · step],
// summed in that order from 0. Every row must be readable up to
// offset + roundUpToBlock(length) + (taps - 1) · step samples, and sums must
// hold roundUpToBlock(length) floats.
TILE_TARGET_CLONES
void weightedSums(const float* const* rows, int32_t rowCount, const float* weights, int32_t taps, int32_t step,
                  int32_t offset, int32_t length, float* sums) {
    for (int32_t j0 = 0; j0 < length; j0 += kBlock) {
        float acc[kBlock];
#pragma GCC unroll 96
        for (int32_t j = 0; j < kBlock; ++j) acc[j] = 0.0f;
        const float* w = weights;
        for (int32_t r = 0; r < rowCount; ++r) {
            const float* src = rows[r] + offset + j0;
            for (int32_t k = 0; k < taps; ++k) {
                const float wk = w[k];
                const float* s = src + static_cast<ptrdiff_t>(k) * step;
#pragma GCC unroll 96
                for (int32_t j = 0; j < kBlock; ++j) acc[j] += wk * s[j];
            }
            w += taps;
        }
        float* out = sums + j0;
#pragma GCC unroll 96
        for (int32_t j = 0; j < kBlock; ++j) out[j] = acc[j];
    }
}

// ---- Per-thread scratch ------------------------------------------------------------

// A growable block of plain elements; malloc'd so that a failed allocation
// is a false result, not an exception.
template <class T>
class ScratchArray {
public:
    ScratchArray() = default;
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;
    ScratchArray(ScratchArray&&) = delete;
    ScratchArray& operator=(ScratchArray&&) = delete;
    ~ScratchArray() { std::free(items); }

    // Room for count elements (contents unspecified); false when it cannot
    // be had.
    bool reserve(size_t count) {
        if (count <= capacity) return true;
        T* bigger = static_cast<T*>(std::malloc(count * sizeof(T)));
        if (!bigger) return false;
        std::free(items);
        items = bigger;
        capacity = count;
        return true;
    }
    void releaseAbove(size_t keep) {
        if (capacity <= keep) return;
        std::free(items);
        items = nullptr;
        capacity = 0;
    }
    T* get() const { return items; }

private:
    T* items = nullptr;
    size_t capacity = 0;
};

struct ConvolutionScratch {
    ScratchArray<float> ring;          // horizontal-pass rows, or padded source rows
    ScratchArray<float> padded;        // one edge-padded source row
    ScratchArray<float> sums;          // one row (or strip) of sums
    ScratchArray<const float*> table;  // the rows one output row sums
};

ConvolutionScratch& threadScratch() {
    static thread_local ConvolutionScratch scratch;
    return scratch;
}

// Frees a large ring after a call so that idle threads do not hold on to
// memory the size of a band.
struct ScratchTrim {
    ConvolutionScratch& scratch;
    ~ScratchTrim() { scratch.ring.releaseAbove(kKeptScratchFloats); }
};

// ---- Rows ----------------------------------------------------------------------------

inline float sampleValue(float v) { return v; }
inline float sampleValue(uint8_t v) { return static_cast<float>(v); }

// Writes `left` copies of the row's first pixel, the row, `right` copies of
// its last pixel and then kBlock zeros (room for whole blocks) into out.
template <class Sample>
TILE_VECTOR_LOOP void padRow(const Sample* row, int32_t width, int32_t channels, int32_t left, int32_t right, float* out) {
    float* o = out;
    for (int32_t i = 0; i < left; ++i)
        for (int32_t c = 0; c < channels; ++c) *o++ = sampleValue(row[c]);
    const int32_t length = width * channels;
    for (int32_t j = 0; j < length; ++j) o[j] = sampleValue(row[j]);
    o += length;
    const Sample* last = row + static_cast<ptrdiff_t>(width - 1) * channels;
    for (int32_t i = 0; i < right; ++i)
        for (int32_t c = 0; c < channels; ++c) *o++ = sampleValue(last[c]);
    for (int32_t j = 0; j < kBlock; ++j) o[j] = 0.0f;
}

inline int32_t clampRow(int32_t r, int32_t height) { return r < 0 ? 0 : (r >= height ? height - 1 : r); }

// clamp(v, 0, 255) as the blur writes it (NaN stays NaN).
inline float clamp255(float v) { return pixel::clampSampleKeepNan(v); }

// Sizes that keep every row index of the kernels within 32 bits.
inline bool rowFits(int32_t width, int32_t channels, int32_t reach) {
    const int64_t padded = (static_cast<int64_t>(width) + 2 * static_cast<int64_t>(reach)) * channels + 4 * kBlock;
    return padded < (int64_t(1) << 30);
}

// ---- Two-pass blur -----------------------------------------------------------------------

// Stores one strip of vertical sums into the image row: clamped to 0..255,
// then, when mixing, mixed with the unblurred sample still in the row.
TILE_VECTOR_LOOP void storeBlurred(float* row, const float* sums, int32_t count, bool mixing, float mix) {
    if (!mixing) {
        for (int32_t j = 0; j < count; ++j) row[j] = clamp255(sums[j]);
        return;
    }
    const float keep = 1.0f - mix;
    for (int32_t j = 0; j < count; ++j) row[j] = clamp255(clamp255(sums[j]) * mix + row[j] * keep);
}

TILE_VECTOR_LOOP void storeBlurred(uint8_t* row, const float* sums, int32_t count, bool mixing, float mix) {
    if (!mixing) {
        for (int32_t j = 0; j < count; ++j) row[j] = storeByte(sums[j]);
        return;
    }
    const float keep = 1.0f - mix;
    for (int32_t j = 0; j < count; ++j)
        row[j] = storeByte(static_cast<float>(storeByte(sums[j])) * mix + static_cast<float>(row[j]) * keep);
}

// The horizontal pass of an 8-bit image stores bytes: its sums truncated.
TILE_VECTOR_LOOP void truncateRow(float* row, int32_t count) {
    for (int32_t j = 0; j < count; ++j) row[j] = static_cast<float>(storeByte(row[j]));
}

template <class Sample>
void separableBlur(ImageBuffer& image, const float* weights, int32_t n, float mix) {
    const int32_t width = image.width;
    const int32_t height = image.height;
    const int32_t channels = image.channelCount();
    if (!rowFits(width, channels, n)) return;
    const int32_t taps = 2 * n + 1;
    const int32_t length = width * channels;
    const int32_t stride = roundUpToBlock(length);
    const int32_t ringRows = taps + kChunkRows - 1 < height ? taps + kChunkRows - 1 : height;
    const int32_t windowRows = kChunkRows + taps - 1;

    ConvolutionScratch& scratch = threadScratch();
    ScratchTrim trim{scratch};
    if (!scratch.padded.reserve(static_cast<size_t>(length) + static_cast<size_t>(2 * n) * channels + kBlock) ||
        !scratch.ring.reserve(static_cast<size_t>(ringRows) * stride) || !scratch.sums.reserve(kStrip) ||
        !scratch.table.reserve(static_cast<size_t>(windowRows)))
        return;
    float* padded = scratch.padded.get();
    float* ring = scratch.ring.get();
    float* sums = scratch.sums.get();
    const float** table = scratch.table.get();
    const bool mixing = mix < 1.0f;
    Sample* data = static_cast<Sample*>(image.data);

    int32_t computed = 0;  // horizontal rows [0, computed) are in the ring
    for (int32_t y0 = 0; y0 < height; y0 += kChunkRows) {
        const int32_t y1 = y0 + kChunkRows < height ? y0 + kChunkRows : height;
        // Horizontal pass of every row the chunk reaches that is not done yet.
        const int32_t needed = y1 + n < height ? y1 + n : height;
        for (; computed < needed; ++computed) {
            padRow(data + static_cast<ptrdiff_t>(computed) * length, width, channels, n, n, padded);
            float* out = ring + static_cast<ptrdiff_t>(computed % ringRows) * stride;
            const float* source = padded;
            weightedSums(&source, 1, weights, taps, channels, 0, length, out);
            if constexpr (std::is_same<Sample, uint8_t>::value) truncateRow(out, length);
        }
        // The ring rows of rows y0 - n .. y1 - 1 + n, edges repeated.
        const int32_t first = y0 - n;
        const int32_t count = (y1 - y0) + 2 * n;
        for (int32_t i = 0; i < count; ++i)
            table[i] = ring + static_cast<ptrdiff_t>(clampRow(first + i, height) % ringRows) * stride;
        // Vertical pass, strip by strip.
        for (int32_t j0 = 0; j0 < length; j0 += kStrip) {
            const int32_t strip = length - j0 < kStrip ? length - j0 : kStrip;
            for (int32_t y = y0; y < y1; ++y) {
                weightedSums(table + (y - y0), taps, weights, 1, 0, j0, strip, sums);
                storeBlurred(data + static_cast<ptrdiff_t>(y) * length + j0, sums, strip, mixing, mix);
            }
        }
    }
}

// ---- Two-dimensional convolution -----------------------------------------------------------

// Convolves the source with the kernel and hands each output row's sums
// (source channel layout, width x channels floats) to store(y, sums), row
// after row. Source rows are copied, edge-padded, into a ring before the
// first output row that needs them, so store may overwrite source row y.
template <class Sample, class Store>
void convolveRows(const ImageBuffer& source, const float* kernel, int32_t kernelWidth, int32_t kernelHeight,
                  Store&& store) {
    const int32_t width = source.width;
    const int32_t height = source.height;
    const int32_t channels = source.channelCount();
    const int32_t reach = kernelWidth > kernelHeight ? kernelWidth : kernelHeight;
    if (!rowFits(width, channels, reach)) return;
    const int32_t left = kernelWidth / 2;
    const int32_t right = kernelWidth - 1 - left;
    const int32_t top = kernelHeight / 2;
    const int32_t length = width * channels;
    const int32_t rowStride = roundUpToBlock((width + kernelWidth - 1) * channels + kBlock);
    const int32_t ringRows = kernelHeight < height ? kernelHeight : height;

    ConvolutionScratch& scratch = threadScratch();
    ScratchTrim trim{scratch};
    if (!scratch.ring.reserve(static_cast<size_t>(ringRows) * rowStride) ||
        !scratch.sums.reserve(static_cast<size_t>(roundUpToBlock(length))) ||
        !scratch.table.reserve(static_cast<size_t>(kernelHeight)))
        return;
    float* ring = scratch.ring.get();
    float* sums = scratch.sums.get();
    const float** table = scratch.table.get();
    const Sample* data = static_cast<const Sample*>(source.data);

    int32_t loaded = 0;  // source rows [0, loaded) are in the ring
    for (int32_t y = 0; y < height; ++y) {
        const int32_t needed = y - top + kernelHeight < height ? y - top + kernelHeight : height;
        for (; loaded < needed; ++loaded)
            padRow(data + static_cast<ptrdiff_t>(loaded) * length, width, channels, left, right,
                   ring + static_cast<ptrdiff_t>(loaded % ringRows) * rowStride);
        for (int32_t ky = 0; ky < kernelHeight; ++ky)
            table[ky] = ring + static_cast<ptrdiff_t>(clampRow(y - top + ky, height) % ringRows) * rowStride;
        weightedSums(table, kernelHeight, kernel, kernelWidth, channels, 0, length, sums);
        store(y, sums);
    }
}

inline bool hasPixels(const ImageBuffer& image) {
    return image.data != nullptr && image.width > 0 && image.height > 0;
}

template <class Sample>
void convolveInto(const ImageBuffer& source, const float* kernel, int32_t kernelWidth, int32_t kernelHeight,
                  ImageBuffer& output) {
    if (!kernel || kernelWidth < 1 || kernelHeight < 1 || !hasPixels(source) || !hasPixels(output)) return;
    if (output.width != source.width || output.height != source.height) return;
    const int32_t width = source.width;
    const int32_t sourceChannels = source.channelCount();
    const int32_t outputChannels = output.channelCount();
    const int32_t written = sourceChannels < outputChannels ? sourceChannels : outputChannels;
    Sample* out = static_cast<Sample*>(output.data);
    convolveRows<Sample>(source, kernel, kernelWidth, kernelHeight, [&](int32_t y, const float* sums) {
        Sample* row = out + static_cast<ptrdiff_t>(y) * width * outputChannels;
        if (sourceChannels == outputChannels) {
            const int32_t length = width * outputChannels;
            for (int32_t j = 0; j < length; ++j) {
                if constexpr (std::is_same<Sample, uint8_t>::value)
                    row[j] = storeByte(sums[j]);
                else
                    row[j] = sums[j];
            }
            return;
        }
        for (int32_t x = 0; x < width; ++x) {
            for (int32_t c = 0; c < written; ++c) {
                const float v = sums[x * sourceChannels + c];
                if constexpr (std::is_same<Sample, uint8_t>::value)
                    row[x * outputChannels + c] = storeByte(v);
                else
                    row[x * outputChannels + c] = v;
            }
        }
    });
}

// ---- Disc blur -------------------------------------------------------------------------------
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
// exact sum, relative to the sample and at least 1.
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

// Samples summed together (four AVX registers of floats).
constexpr int32_t kDiscBlock = 32;
// Pixel columns and output rows of a task's tile.
constexpr int32_t kDiscTileColumns = 512;
// A tile is narrower for a small disc: a span's error is a rounding of the
// prefix sums, which grow with the window, against a disc sum that grows
// with the square of the half-width.
inline int32_t discTileColumns(int32_t n) {
    const int64_t columns = 16 * static_cast<int64_t>(n);
    return columns < 32 ? 32 : (columns > kDiscTileColumns ? kDiscTileColumns : static_cast<int32_t>(columns));
}
constexpr int32_t kDiscTileRows = 256;
// Row offsets whose float sums are added together before they go into the
// double sums.
constexpr int32_t kDiscFloatRows = 4;
// Output rows a block of samples is taken down before the next block.
constexpr int32_t kDiscBandRows = 16;
// Samples whose size could swamp the prefix sums of a row.
constexpr float kPrefixSafe = 1.0e7f;
// Spans shorter than 2 kShortSpan + 1 cells are summed cell by cell: the
// prefix sums' rounding, which grows with the row, would weigh on their
// small sums.
constexpr int32_t kShortSpan = 8;
// Discs up to this half-width keep their normalised kernel for the samples
// near non-finite ones (a larger one gives those samples NaN, the result of
// nearly every such sum).
constexpr int32_t kCellByCellLimit = 1024;
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

// The band of pixels whose radii k lie in [kMin, kMax], half-width n =
// ceil(kMax), into shape (its arrays reused): the cells closer than kMin
// weigh 1 for all of them (full), the cells from there to the largest rim
// rimMax = max(k + 1) follow, and weight counts the full cells. Cells from
// rimMax out weigh 0 for all of them.
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

DiscPlan planOf(const DiscShape& shape) {
    DiscPlan plan;
    plan.n = shape.n;
    plan.full = shape.full.data();
    plan.firstRim = shape.firstRim.data();
    plan.rim = shape.rim.data();
    plan.weight = shape.weight;
    return plan;
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

typedef void (*DiscSumsKernel)(const DiscRows& rows, int32_t y0, int32_t count, const DiscPlan* plans, int32_t pad,
                               int32_t channels, int32_t j0, BlockRow* near, float* out);

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

// The normalised kernel's sum of one sample, cell by cell in the kernel's
// order, as the plain convolution takes it; stops at NaN (which stays).
float cellByCellSum(const DiscRow* const* rows, const float* kernel, int32_t n, int32_t channels, int32_t j) {
    const int32_t taps = 2 * n + 1;
    float acc = 0.0f;
    for (int32_t ky = 0; ky < taps; ++ky) {
        const float* v = rows[ky]->values + j;
        const float* w = kernel + static_cast<ptrdiff_t>(ky) * taps;
        for (int32_t kx = 0; kx < taps; ++kx) acc += w[kx] * v[static_cast<ptrdiff_t>(kx) * channels];
        if (acc != acc) break;
    }
    return acc;
}

// The pixels [from, from + count) of a row as floats, columns outside the
// row repeating its first or last pixel.
template <class Sample>
TILE_VECTOR_LOOP void loadWindow(const Sample* row, int32_t width, int32_t channels, int32_t from, int32_t count,
                                 float* out) {
    int32_t p = 0;
    for (; p < count && from + p < 0; ++p)
        for (int32_t c = 0; c < channels; ++c) out[p * channels + c] = sampleValue(row[c]);
    const int32_t inside = (width - from < count ? width - from : count) - p;
    if (inside > 0) {
        const Sample* first = row + static_cast<ptrdiff_t>(from + p) * channels;
        float* o = out + static_cast<ptrdiff_t>(p) * channels;
        const int32_t length = inside * channels;
        for (int32_t j = 0; j < length; ++j) o[j] = sampleValue(first[j]);
        p += inside;
    }
    const Sample* last = row + static_cast<ptrdiff_t>(width - 1) * channels;
    for (; p < count; ++p)
        for (int32_t c = 0; c < channels; ++c) out[p * channels + c] = sampleValue(last[c]);
}

// prefix[j + channels] = the sum of values[j], values[j - channels], ...
// from prefix[0..channels) = 0: each summed in double and rounded to float
// once, so its error is half a unit in its last place, however long the row.
void prefixSums(const float* values, int32_t count, int32_t channels, float* prefix) {
    for (int32_t c = 0; c < channels; ++c) prefix[c] = 0.0f;
    if (channels == 3) {
        double r0 = 0.0, r1 = 0.0, r2 = 0.0;  // three chains side by side
        int32_t j = 0;
        for (; j + 3 <= count; j += 3) {
            r0 += static_cast<double>(values[j]);
            r1 += static_cast<double>(values[j + 1]);
            r2 += static_cast<double>(values[j + 2]);
            prefix[j + 3] = static_cast<float>(r0);
            prefix[j + 4] = static_cast<float>(r1);
            prefix[j + 5] = static_cast<float>(r2);
        }
        if (j < count) {
            r0 += static_cast<double>(values[j]);
            prefix[j + 3] = static_cast<float>(r0);
        }
        if (j + 1 < count) prefix[j + 4] = static_cast<float>(r1 + static_cast<double>(values[j + 1]));
        return;
    }
    for (int32_t c = 0; c < channels; ++c) {
        double running = 0.0;
        for (int32_t j = c; j < count; j += channels) {
            running += static_cast<double>(values[j]);
            prefix[j + channels] = static_cast<float>(running);
        }
    }
}

// Whether every sample is within ±kPrefixSafe (NaN is not), and whether
// every one is finite.
TILE_VECTOR_LOOP bool allModest(const float* v, int32_t count) {
    int32_t outside = 0;
    for (int32_t j = 0; j < count; ++j) outside |= !(fabsf(v[j]) <= kPrefixSafe);
    return outside == 0;
}
bool allFinite(const float* v, int32_t count) {
    for (int32_t j = 0; j < count; ++j)
        if (!std::isfinite(v[j])) return false;
    return true;
}

// The radii of a band differ by at most this much: a wider spread is
// summed in several passes, each over the pixels of one group of radii, as
// a band costs more cells the wider it is (about a pass's worth beyond a
// spread of 2) and sums its cells one by one in float.
constexpr float kBandSpread = 2.0f;

// One pass over a row of a block: the pixels whose radii lie in [low,
// high] take the average of this pass's disc.
struct DiscGroup {
    float low = 0.0f;
    float high = -1.0f;
    float next = std::numeric_limits<float>::infinity();  // the smallest radius above high, if any
};

struct DiscScratch {
    ScratchArray<float> values;
    ScratchArray<float> prefix;
    ScratchArray<int32_t> nonFinite;
    ScratchArray<DiscRow> rows;
    ScratchArray<const DiscRow*> window;
    ScratchArray<BlockRow> near;
    // The bands of a block's rows (discs of a radius per pixel) and their
    // lanes' radii and rims.
    DiscShape bands[kDiscBandRows];
    DiscGroup groups[kDiscBandRows];
    float radii[kDiscBandRows][kDiscBlock];
    float rims[kDiscBandRows][kDiscBlock];
    void trim() {
        values.releaseAbove(kKeptScratchFloats);
        prefix.releaseAbove(kKeptScratchFloats);
        nonFinite.releaseAbove(kKeptScratchFloats);
    }
};

DiscScratch& discScratch() {
    static thread_local DiscScratch scratch;
    return scratch;
}

// What every tile of one disc blur shares.
template <class Sample>
struct DiscJob {
    const Sample* source;  // the image as it stood
    Sample* image;
    int32_t width, height, channels;
    int32_t n;  // the windows' half-width, which fixes the tiles' columns
    float mix;
    DiscShape shape;
    std::vector<float> kernel;  // the normalised kernel, when non-finite samples need it
    bool nonFinite = false;     // the image holds a non-finite sample
    // Averages (discAverages) rather than the blur: every pixel whose
    // radius has a half-width (discReach) takes the average of its own disc
    // in its first `written` channels; pixels of the common radius share
    // `shape`.
    const float* radii = nullptr;
    float common = 0.0f;
    DistanceTable distances;
    DiscLevels levels;
    int32_t written = 0;
};

inline int32_t clampIndex(int32_t i, int32_t size) { return i < 0 ? 0 : (i >= size ? size - 1 : i); }

// The half-width ceil(k) of a pixel's radius, 0 (the pixel keeps its
// value) when k is not above 0 or its disc is wider than the windows.
inline int32_t discReach(float k, int32_t n) {
    if (!(k > 0.0f) || !(k <= static_cast<float>(n))) return 0;
    return static_cast<int32_t>(ceilf(k));
}

// The widest half-width among the pixels of columns [x0, x1) and rows
// [y0, y1) (0: none of them is averaged).
template <class Sample>
int32_t widestReach(const DiscJob<Sample>& job, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
    int32_t widest = 0;
    for (int32_t y = y0; y < y1; ++y) {
        const float* k = job.radii + static_cast<size_t>(y) * job.width;
        for (int32_t x = x0; x < x1; ++x) {
            const int32_t m = discReach(k[x], job.n);
            widest = m > widest ? m : widest;
        }
    }
    return widest;
}

// The plan of output row y for the samples [j0, j0 + count) of a tile
// whose first column is x0, for the group of averaged pixels whose radii
// start at the smallest one from `from` on: nothing when there is none, the
// common disc when all of the group share its radius, else the band of
// their radii (lanes of other pixels take the group's largest radius,
// which widens no band).
template <class Sample>
DiscPlan planRow(const DiscJob<Sample>& job, int32_t y, int32_t x0, int32_t j0, int32_t count, float from,
                 DiscGroup& group, DiscShape& band, float* radii, float* rims) {
    const int32_t channels = job.channels;
    const float* k = job.radii + static_cast<size_t>(y) * job.width + x0;
    const int32_t firstPixel = j0 / channels;
    const int32_t endPixel = (j0 + count - 1) / channels + 1;
    bool any = false;
    float kMin = 0.0f;
    for (int32_t p = firstPixel; p < endPixel; ++p) {
        const float r = k[p];
        if (!(r >= from) || discReach(r, job.n) == 0) continue;
        kMin = !any || r < kMin ? r : kMin;
        any = true;
    }
    DiscPlan plan;
    group = DiscGroup{};
    if (!any) return plan;
    const float limit = kMin + kBandSpread;
    float kMax = kMin, rimMax = kMin + 1.0f;
    float next = std::numeric_limits<float>::infinity();
    bool common = true;
    for (int32_t p = firstPixel; p < endPixel; ++p) {
        const float r = k[p];
        if (!(r >= kMin) || discReach(r, job.n) == 0) continue;
        if (r > limit) {
            next = r < next ? r : next;
            continue;
        }
        kMax = r > kMax ? r : kMax;
        const float rim = r + 1.0f;
        rimMax = rim > rimMax ? rim : rimMax;
        common &= r == job.common;
    }
    group = DiscGroup{kMin, kMax, next};
    if (common) return planOf(job.shape);
    for (int32_t j = 0, p = firstPixel, c = j0 - firstPixel * channels; j < kDiscBlock; ++j) {
        const float r = j < count && k[p] >= kMin && k[p] <= kMax && discReach(k[p], job.n) > 0 ? k[p] : kMax;
        radii[j] = r;
        rims[j] = r + 1.0f;
        if (++c == channels) {
            c = 0;
            ++p;
        }
    }
    plan.n = discReach(kMax, job.n);
    if (job.levels.levels > 0) {
        const int32_t inner = job.levels.below(kMin);
        plan.full = job.levels.row(inner);
        plan.outer = job.levels.row(job.levels.above(rimMax));
        plan.weight = job.levels.cells[inner];
    } else {
        bandShape(job.distances, kMin, rimMax, plan.n, band);
        plan.full = band.full.data();
        plan.outer = band.outer.data();
        plan.weight = band.weight;
    }
    plan.radii = radii;
    plan.rims = rims;
    plan.distances = &job.distances;
    return plan;
}

// The averages of a group among the samples [j0, j0 + count) of a tile's
// row y: the first `written` channels of its pixels, clamped to 0..255.
template <class Sample>
void storeAverages(const DiscJob<Sample>& job, int32_t y, int32_t x0, int32_t j0, int32_t count,
                   const DiscGroup& group, const float* sums) {
    const int32_t channels = job.channels;
    const float* k = job.radii + static_cast<size_t>(y) * job.width + x0;
    Sample* out = job.image + (static_cast<size_t>(y) * job.width + x0) * channels;
    for (int32_t j = 0, p = j0 / channels, c = j0 % channels; j < count; ++j) {
        if (c < job.written && k[p] >= group.low && k[p] <= group.high && discReach(k[p], job.n) > 0) {
            if constexpr (std::is_same<Sample, uint8_t>::value)
                out[j0 + j] = storeByte(sums[j]);
            else
                out[j0 + j] = clamp255(sums[j]);
        }
        if (++c == channels) {
            c = 0;
            ++p;
        }
    }
}

// One tile: output columns [x0, x1) and rows [y0, y1). False when its
// scratch memory cannot be had (the tile keeps its samples).
template <class Sample>
bool discTile(const DiscJob<Sample>& job, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
    const int32_t n = job.n;
    // Averages reach only the rows of their own discs.
    const int32_t rowReach = job.radii ? widestReach(job, x0, x1, y0, y1) : n;
    if (rowReach == 0) return true;
    const int32_t channels = job.channels;
    const int32_t height = job.height;
    const int32_t firstRow = y0 - rowReach > 0 ? y0 - rowReach : 0;
    const int32_t lastRow = y1 - 1 + rowReach < height - 1 ? y1 - 1 + rowReach : height - 1;
    const int32_t rowCount = lastRow - firstRow + 1;
    const int32_t windowPixels = (x1 - x0) + 2 * n;
    const int32_t line = windowPixels * channels;
    const size_t valueStride = static_cast<size_t>(line) + kDiscBlock;
    const size_t prefixStride = static_cast<size_t>(line) + channels + kDiscBlock;

    DiscScratch& scratch = discScratch();
    if (!scratch.values.reserve(valueStride * rowCount) || !scratch.prefix.reserve(prefixStride * rowCount) ||
        !scratch.rows.reserve(static_cast<size_t>(rowCount)) ||
        !scratch.window.reserve(2 * static_cast<size_t>(n) + 1) ||
        !scratch.near.reserve(2 * static_cast<size_t>(n) + kDiscBandRows) ||
        (job.nonFinite && !scratch.nonFinite.reserve(prefixStride * rowCount)))
        return false;
    DiscRow* rows = scratch.rows.get();
    const size_t rowLength = static_cast<size_t>(job.width) * channels;
    bool anyNonFinite = false;
    for (int32_t i = 0; i < rowCount; ++i) {
        const Sample* row = job.source + static_cast<size_t>(firstRow + i) * rowLength;
        float* v = scratch.values.get() + valueStride * i;
        loadWindow(row, job.width, channels, x0 - n, windowPixels, v);
        for (int32_t j = 0; j < kDiscBlock; ++j) v[line + j] = 0.0f;
        float* prefix = scratch.prefix.get() + prefixStride * i;
        prefixSums(v, static_cast<int32_t>(valueStride), channels, prefix);
        const bool direct = std::is_same<Sample, float>::value && !allModest(v, line);
        int32_t* counts = nullptr;
        if (direct && (job.nonFinite || job.radii) && !allFinite(v, line)) {
            anyNonFinite = true;
            if (job.nonFinite) {
                counts = scratch.nonFinite.get() + prefixStride * i;
                for (int32_t c = 0; c < channels; ++c) counts[c] = 0;
                for (size_t j = 0; j < valueStride; ++j)
                    counts[j + channels] = counts[j] + (std::isfinite(v[j]) ? 0 : 1);
            }
        }
        rows[i] = DiscRow{v, prefix, counts, direct};
    }

    const int32_t taps = 2 * n + 1;
    const int32_t stripLength = (x1 - x0) * channels;
    const bool cellByCell = anyNonFinite && !job.kernel.empty();
    const float keep = 1.0f - job.mix;
    const DiscRows window{rows, firstRow, height};
    float sums[kDiscBandRows * kDiscBlock];
    DiscPlan plans[kDiscBandRows];
    // A block of samples down a few rows, then the next block.
    for (int32_t b0 = y0; b0 < y1; b0 += kDiscBandRows) {
        const int32_t band = y1 - b0 < kDiscBandRows ? y1 - b0 : kDiscBandRows;
        bool nearNonFinite = false;
        for (int32_t y = b0 - n; y < b0 + band + n && anyNonFinite && !job.radii; ++y)
            nearNonFinite |= window.at(y).nonFinite != nullptr;
        for (int32_t j0 = 0; j0 < stripLength; j0 += kDiscBlock) {
            const int32_t count = stripLength - j0 < kDiscBlock ? stripLength - j0 : kDiscBlock;
            if (job.radii) {
                // A pass for each group of radii, rows with fewer groups
                // idle in the later passes.
                float from[kDiscBandRows];
                for (int32_t b = 0; b < band; ++b) from[b] = 0.0f;
                for (bool any = true; any;) {
                    any = false;
                    for (int32_t b = 0; b < band; ++b) {
                        if (!(from[b] < std::numeric_limits<float>::infinity())) {
                            plans[b] = DiscPlan{};  // its groups are done
                            continue;
                        }
                        plans[b] = planRow(job, b0 + b, x0, j0, count, from[b], scratch.groups[b], scratch.bands[b],
                                           scratch.radii[b], scratch.rims[b]);
                        any |= plans[b].n >= 0;
                        from[b] = scratch.groups[b].next;
                    }
                    if (!any) break;
                    discSumsKernel(anyNonFinite)(window, b0, band, plans, n, channels, j0, scratch.near.get(), sums);
                    for (int32_t b = 0; b < band; ++b)
                        if (plans[b].n >= 0)
                            storeAverages(job, b0 + b, x0, j0, count, scratch.groups[b], sums + b * kDiscBlock);
                }
                continue;
            }
            for (int32_t b = 0; b < band; ++b) plans[b] = planOf(job.shape);
            discSumsKernel(false)(window, b0, band, plans, n, channels, j0, scratch.near.get(), sums);
            for (int32_t b = 0; b < band; ++b) {
                const int32_t y = b0 + b;
                float* rowSums = sums + b * kDiscBlock;
                if (nearNonFinite) {
                    // Samples whose disc square holds a non-finite sample: the
                    // cell-by-cell sum (NaN when the kernel is too large to keep).
                    const DiscRow** square = scratch.window.get();
                    for (int32_t k = 0; k < taps; ++k) square[k] = &window.at(y - n + k);
                    for (int32_t j = 0; j < count; ++j) {
                        bool touched = false;
                        for (int32_t k = 0; k < taps && !touched; ++k) {
                            const int32_t* nf = square[k]->nonFinite;
                            touched = nf && nf[j0 + j + taps * channels] != nf[j0 + j];
                        }
                        if (touched)
                            rowSums[j] = cellByCell ? cellByCellSum(square, job.kernel.data(), n, channels, j0 + j)
                                                    : std::numeric_limits<float>::quiet_NaN();
                    }
                }
                Sample* out =
                    job.image + static_cast<size_t>(y) * rowLength + static_cast<size_t>(x0) * channels + j0;
                for (int32_t j = 0; j < count; ++j) {
                    if constexpr (std::is_same<Sample, uint8_t>::value)
                        out[j] = storeByte(static_cast<float>(out[j]) * keep +
                                           static_cast<float>(storeByte(rowSums[j])) * job.mix);
                    else
                        out[j] = clamp255(out[j] * keep + rowSums[j] * job.mix);
                }
            }
        }
    }
    scratch.trim();
    return true;
}

// Runs a job over tiles of equal height (how the rows are cut changes no
// result; the columns, fixed from the left edge, set where the prefix sums
// start).
template <class Sample>
void runDiscJob(const DiscJob<Sample>& job) {
    const int32_t tileColumns = discTileColumns(job.n);
    const int32_t columns = (job.width + tileColumns - 1) / tileColumns;
    const int32_t rowTiles = (job.height + kDiscTileRows - 1) / kDiscTileRows;
    const int32_t tileRows = (job.height + rowTiles - 1) / rowTiles;
    parallelFor(columns * rowTiles, 0.5f, [&](int32_t tile) {
        const int32_t x0 = (tile % columns) * tileColumns;
        const int32_t y0 = (tile / columns) * tileRows;
        const int32_t x1 = x0 + tileColumns < job.width ? x0 + tileColumns : job.width;
        const int32_t y1 = y0 + tileRows < job.height ? y0 + tileRows : job.height;
        // Without scratch memory the tile keeps its samples.
        (void)discTile(job, x0, x1, y0, y1);
    });
}

// The disc blur mixed with the image, in place.
template <class Sample>
void discBlur(ImageBuffer& image, float r, int32_t n, float mix) {
    DiscJob<Sample> job;
    job.width = image.width;
    job.height = image.height;
    job.channels = image.channelCount();
    job.n = n;
    job.mix = mix;
    if (!rowFits(kDiscTileColumns, job.channels, n)) return;
    job.shape = discShape(r - 1.0f, r, n);
    if (!(job.shape.weight > 0.0)) return;
    // The tiles read the image as it stood: their windows reach into the
    // columns and rows of other tiles.
    ImageBuffer source;
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        ImageBuffer::copy8(source, image, true);
    } else {
        ImageBuffer::copyFloat(source, image, true);
        const float* s = source.floats();
        const int64_t count = source.sampleCount();
        bool finite = true;
        for (int64_t i = 0; s && i < count; ++i) finite &= std::isfinite(s[i]);
        job.nonFinite = !finite;
        if (job.nonFinite && n <= kCellByCellLimit) job.kernel = discKernel(r, n);
    }
    if (!source.data) return;
    job.source = static_cast<const Sample*>(source.data);
    job.image = static_cast<Sample*>(image.data);
    runDiscJob(job);
}

template <class Sample>
void discAveragesBody(const ImageBuffer& source, ImageBuffer& image, const float* radii, float common, int32_t n,
                      int32_t channels) {
    if (!radii || !hasPixels(source) || !hasPixels(image) || source.width != image.width ||
        source.height != image.height || source.channelCount() != image.channelCount() || n < 1 ||
        n > kMaxBlurHalfWidth || !rowFits(kDiscTileColumns, image.channelCount(), n))
        return;
    DiscJob<Sample> job;
    job.width = image.width;
    job.height = image.height;
    job.channels = image.channelCount();
    job.n = n;
    job.mix = 1.0f;
    const int32_t commonReach = discReach(common, n);
    // Without a common disc no pixel takes one.
    job.common = commonReach > 0 ? common : std::numeric_limits<float>::quiet_NaN();
    if (commonReach > 0) job.shape = discShape(common, common + 1.0f, commonReach);
    job.distances.build(n);
    job.levels.build(job.distances, n);
    job.source = static_cast<const Sample*>(source.data);
    job.image = static_cast<Sample*>(image.data);
    job.radii = radii;
    job.written = channels < 0 ? 0 : (channels < job.channels ? channels : job.channels);
    runDiscJob(job);
}
template <class Sample>
void blurBody(ImageBuffer& image, uint32_t method, float r, float mix) {
    if (!hasPixels(image) || mix == 0.0f) return;
    const int32_t n = blurHalfWidth(r);
    if (n == 0) return;
    if (method == kBlurGaussian || method == kBlurBox) {
        const std::vector<float> taps = blurTaps(method, r, n);
        if (!taps.empty()) separableBlur<Sample>(image, taps.data(), n, mix);
    } else if (method == kBlurCircle) {
        discBlur<Sample>(image, r, n, mix);
    }
}

// ---- Masked blend ----------------------------------------------------------------------------

inline float weightOf(const SelectorMod& s, const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region,
                      const float*) {
    return s.maskWeight(image, x, y, region);
}
inline float weightOf(const SelectorMod& s, const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region,
                      const uint8_t*) {
    return s.maskWeight8(image, x, y, region);
}

inline void storeBlend(float& sample, double v) { sample = static_cast<float>(v); }
inline void storeBlend(uint8_t& sample, double v) { sample = pixel::storeByteFromDouble(v); }

template <class Sample>
void blendBody(const SelectorMod* selector, const ImageBuffer& unprocessed, ImageBuffer& processed,
               const RenderRegion* region) {
    if (!selector || !hasPixels(unprocessed) || !hasPixels(processed)) return;
    if (unprocessed.width != processed.width || unprocessed.height != processed.height ||
        unprocessed.channelCount() != processed.channelCount())
        return;
    const int32_t channels = processed.channelCount();
    const Sample* before = static_cast<const Sample*>(unprocessed.data);
    Sample* after = static_cast<Sample*>(processed.data);
    for (int32_t y = 0; y < processed.height; ++y) {
        for (int32_t x = 0; x < processed.width; ++x) {
            const float w = weightOf(*selector, unprocessed, x, y, region, before);
            const ptrdiff_t at = (static_cast<ptrdiff_t>(y) * processed.width + x) * channels;
            const double keep = 1.0 - static_cast<double>(w);
            for (int32_t c = 0; c < channels; ++c) {
                const float blurred = sampleValue(after[at + c]) * w;
                storeBlend(after[at + c],
                           static_cast<double>(sampleValue(before[at + c])) * keep + static_cast<double>(blurred));
            }
        }
    }
}


// ---- Blur by Amount: the parameters ---------------------------------------------------------


inline float methodFactor(uint32_t method) { return method == kBlurGaussian ? 0.03f : 0.02f; }

// The fraction q = Amount / 100 (product in double, rounded to float).
inline float amountFraction(float amount) { return static_cast<float>(static_cast<double>(amount) * 0.01); }

// The blur radius for the Amount on a picture whose longer side is `side`.
inline float blurRadius(float amount, uint32_t method, float side) {
    const float q = amountFraction(amount);
    return methodFactor(method) * (q * q * side) + 1.0f;
}

struct BlurParams {
    uint32_t method = 0;
    float radius = 0.0f;
    float mix = 0.0f;
    const SelectorMod* selector = nullptr;
    const RenderRegion* region = nullptr;
};

// False when the image stays as it is: an Amount or a Mix of 0, an unknown
// method or a radius below one pixel, so that no copy is made and a
// selector's blend cannot round the samples.
bool prepareBlur(const ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args,
                 BlurParams& p) {
    if (!hasPixels(image)) return false;
    if (amount == 0.0f) return false;
    p.method = method;
    if (p.method > kBlurCircle) return false;
    // The radius is relative to the whole picture, whatever band this is.
    int32_t wholeWidth = image.width;
    int32_t wholeHeight = image.height;
    if (args && args->region) {
        if (args->region->fullWidth > 0) wholeWidth = args->region->fullWidth;
        if (args->region->fullHeight > 0) wholeHeight = args->region->fullHeight;
        p.region = args->region;
    }
    p.selector = args ? asSelector(args->selector) : nullptr;
    p.mix = amountFraction(mixPercent);
    if (p.mix == 0.0f) return false;
    const float h = static_cast<float>(wholeHeight);
    const float w = static_cast<float>(wholeWidth);
    p.radius = blurRadius(amount, p.method, h > w ? h : w);
    return blurHalfWidth(p.radius) > 0;
}

}  // namespace

// ---- Kernel builders ------------------------------------------------------------------------

int32_t blurHalfWidth(float r) {
    const float reach = ceilf(r - 1.0f);
    if (!(reach > 0.0f) || reach > static_cast<float>(kMaxBlurHalfWidth)) return 0;
    return static_cast<int32_t>(reach);
}

float bellCurve(float u) {
    if (u <= 0.0f) return 0.0f;
    if (u < 0.5f) {
        const float twice = 2.0f * u;
        return twice * twice * 0.5f;
    }
    if (u < 1.0f) {
        const float s = static_cast<float>(2.0 - 2.0 * static_cast<double>(u));
        return static_cast<float>(1.0 - 0.5 * static_cast<double>(s * s));
    }
    return 1.0f;
}

float gaussianTapWeight(float r, int32_t offset) {
    const float t = static_cast<float>(offset < 0 ? -static_cast<int64_t>(offset) : offset) / r;
    if (t > 1.0f) return 0.0f;
    return bellCurve(1.0f - t);
}

float boxTapWeight(float r, int32_t offset) {
    const float d = static_cast<float>(offset < 0 ? -static_cast<int64_t>(offset) : offset);
    if (d < r - 1.0f) return 1.0f;
    if (d >= r) return 0.0f;
    return r - d;
}

float discCellWeight(float r, int32_t dx, int32_t dy) { return discWeight(r - 1.0f, r, dx, dy); }

float discWeight(float full, float rim, int32_t dx, int32_t dy) {
    const float d = sqrtf(static_cast<float>(static_cast<int64_t>(dx) * dx + static_cast<int64_t>(dy) * dy));
    if (d < full) return 1.0f;
    if (d < rim) return rim - d;
    return 0.0f;
}

std::vector<float> blurTaps(uint32_t method, float r, int32_t n) {
    std::vector<float> taps;
    if (n < 1 || n > kMaxBlurHalfWidth || (method != kBlurGaussian && method != kBlurBox)) return taps;
    taps.resize(static_cast<size_t>(2 * n + 1));
    float sum = 0.0f;
    for (int32_t k = 0; k < 2 * n + 1; ++k) {
        taps[k] = method == kBlurGaussian ? gaussianTapWeight(r, k - n) : boxTapWeight(r, k - n);
        sum += taps[k];
    }
    if (!(sum != 0.0f)) return std::vector<float>();
    taps[0] = taps[0] / sum;
    const float inverse = 1.0f / sum;
    for (size_t k = 1; k < taps.size(); ++k) taps[k] *= inverse;
    return taps;
}

std::vector<float> discKernel(float r, int32_t n) {
    std::vector<float> kernel;
    if (n < 1 || n > kMaxBlurHalfWidth) return kernel;
    const int32_t taps = 2 * n + 1;
    kernel.resize(static_cast<size_t>(taps) * taps);
    float sum = 0.0f;
    for (int32_t j = 0; j < taps; ++j) {
        for (int32_t i = 0; i < taps; ++i) {
            const float w = discCellWeight(r, i - n, j - n);
            kernel[static_cast<size_t>(j) * taps + i] = w;
            sum += w;
        }
    }
    if (!(sum != 0.0f)) return std::vector<float>();
    for (float& w : kernel) w = w / sum;
    return kernel;
}

// ---- Image routines -----------------------------------------------------------------------

void blurImage(ImageBuffer& image, uint32_t method, float r, float mix) { blurBody<float>(image, method, r, mix); }

void blurImage8(ImageBuffer& image, uint32_t method, float r, float mix) { blurBody<uint8_t>(image, method, r, mix); }

void blendByMask(const SelectorMod* selector, const ImageBuffer& unprocessed, ImageBuffer& processed,
                 const RenderRegion* region) {
    blendBody<float>(selector, unprocessed, processed, region);
}

void blendByMask8(const SelectorMod* selector, const ImageBuffer& unprocessed, ImageBuffer& processed,
                  const RenderRegion* region) {
    blendBody<uint8_t>(selector, unprocessed, processed, region);
}

void convolveImage(const ImageBuffer& source, const float* kernel, int32_t kernelWidth, int32_t kernelHeight,
                   ImageBuffer& output) {
    convolveInto<float>(source, kernel, kernelWidth, kernelHeight, output);
}

void convolveImage8(const ImageBuffer& source, const float* kernel, int32_t kernelWidth, int32_t kernelHeight,
                    ImageBuffer& output) {
    convolveInto<uint8_t>(source, kernel, kernelWidth, kernelHeight, output);
}

void discAverages(const ImageBuffer& source, ImageBuffer& image, const float* radii, float common, int32_t n,
                  int32_t channels) {
    discAveragesBody<float>(source, image, radii, common, n, channels);
}

void discAverages8(const ImageBuffer& source, ImageBuffer& image, const float* radii, float common, int32_t n,
                   int32_t channels) {
    discAveragesBody<uint8_t>(source, image, radii, common, n, channels);
}

void kernelSums(const float* row, const float* weights, int32_t taps, int32_t step, int32_t length, float* sums) {
    if (length > 0 && taps > 0) weightedSums(&row, 1, weights, taps, step, 0, length, sums);
}

int32_t blurMarginFor(float amount, uint32_t method, int32_t width, int32_t height) {
    if (height <= 0) return 0;
    const float q = amountFraction(amount);
    const float side = static_cast<float>(width) > static_cast<float>(height) ? static_cast<float>(width)
                                                                               : static_cast<float>(height);
    const float rows = ceilf(q * q * methodFactor(method) * side);
    int32_t margin = 0;
    if (rows > 0.0f) margin = rows >= static_cast<float>(height) ? height : static_cast<int32_t>(rows);
    const int32_t n = blurHalfWidth(blurRadius(amount, method, side));
    if (n > margin) margin = n < height ? n : height;
    return margin;
}

// ---- Blur by Amount -----------------------------------------------------------------------------

namespace {

template <class Sample>
void blurByAmountBody(ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args) {
    BlurParams p;
    if (!prepareBlur(image, amount, mixPercent, method, args, p)) return;
    if (!p.selector) {
        blurBody<Sample>(image, p.method, p.radius, p.mix);
        return;
    }
    ImageBuffer unblurred;
    if constexpr (std::is_same<Sample, uint8_t>::value)
        ImageBuffer::copy8(unblurred, image, true);
    else
        ImageBuffer::copyFloat(unblurred, image, true);
    blurBody<Sample>(image, p.method, p.radius, p.mix);
    blendBody<Sample>(p.selector, unblurred, image, p.region);
}

}  // namespace

void blurByAmount(ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args) {
    blurByAmountBody<float>(image, amount, mixPercent, method, args);
}

void blurByAmount8(ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args) {
    blurByAmountBody<uint8_t>(image, amount, mixPercent, method, args);
}
