// The disc blur and the disc averages of a radius per pixel: the image cut
// into tiles of fixed columns, each tile's window rows loaded with their
// prefix sums, the rows of a block planned (one disc, or the band of the
// block's radii) and summed by the block sums of DiscSums.cpp, the samples
// near a non-finite one summed cell by cell.
#include "pixels/Convolution.h"

#include <math.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "pixels/ConvolutionShared.h"
#include "pixels/DiscSums.h"
#include "pixels/KernelAttributes.h"
#include "platform/ParallelFor.h"

namespace convolution {
namespace {

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
// Discs up to this half-width keep their normalised kernel for the samples
// near non-finite ones (a larger one gives those samples NaN, the result of
// nearly every such sum).
constexpr int32_t kCellByCellLimit = 1024;

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

}  // namespace

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

template void discBlur<float>(ImageBuffer& image, float r, int32_t n, float mix);
template void discBlur<uint8_t>(ImageBuffer& image, float r, int32_t n, float mix);

namespace {

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

}  // namespace
}  // namespace convolution

void discAverages(const ImageBuffer& source, ImageBuffer& image, const float* radii, float common, int32_t n,
                  int32_t channels) {
    convolution::discAveragesBody<float>(source, image, radii, common, n, channels);
}

void discAverages8(const ImageBuffer& source, ImageBuffer& image, const float* radii, float common, int32_t n,
                   int32_t channels) {
    convolution::discAveragesBody<uint8_t>(source, image, radii, common, n, channels);
}

