#include "pixels/Convolution.h"

#include <math.h>

#include <cstddef>
#include <cstdlib>
#include <type_traits>

#include "framework/SelectorMod.h"
#include "pixels/KernelAttributes.h"
#include "pixels/SampleRules.h"

// How the blur is computed fast without changing a bit of its result.
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
constexpr int32_t kBlock = 96;
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

// The disc blur: the convolution mixed with the image, row by row in place
// (the convolution's rows are taken before the row is overwritten). The
// 8-bit convolution is stored as bytes before the mix.
template <class Sample>
void discBlur(ImageBuffer& image, float r, int32_t n, float mix) {
    const std::vector<float> kernel = discKernel(r, n);
    if (kernel.empty()) return;
    const int32_t taps = 2 * n + 1;
    const int32_t length = image.width * image.channelCount();
    Sample* data = static_cast<Sample*>(image.data);
    const float keep = 1.0f - mix;
    convolveRows<Sample>(image, kernel.data(), taps, taps, [&](int32_t y, const float* sums) {
        Sample* row = data + static_cast<ptrdiff_t>(y) * length;
        for (int32_t j = 0; j < length; ++j) {
            if constexpr (std::is_same<Sample, uint8_t>::value) {
                const float convolved = static_cast<float>(storeByte(sums[j]));
                row[j] = storeByte(static_cast<float>(row[j]) * keep + convolved * mix);
            } else {
                row[j] = clamp255(row[j] * keep + sums[j] * mix);
            }
        }
    });
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

float discCellWeight(float r, int32_t dx, int32_t dy) {
    const float d = sqrtf(static_cast<float>(static_cast<int64_t>(dx) * dx + static_cast<int64_t>(dy) * dy));
    if (d < r - 1.0f) return 1.0f;
    if (d < r) return r - d;
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
