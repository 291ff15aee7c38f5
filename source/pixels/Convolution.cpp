// The two-pass blur (Gaussian and Box) and the general convolution, both
// summed by one block kernel over edge-padded rows, and kernelSums, that
// kernel along a single row.
#include "pixels/Convolution.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "pixels/ConvolutionShared.h"
#include "pixels/KernelAttributes.h"

// How the two-pass blur and the convolution are computed fast without
// changing a bit of their result (the disc blur is summed otherwise: see
// DiscSums.h).
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

namespace convolution {
namespace {

// ---- The row kernel ----------------------------------------------------------------

// Samples per strip of the vertical pass (the rows it sums stay in cache).
constexpr int32_t kStrip = 2 * kBlock;
// Output rows per chunk of the vertical pass.
constexpr int32_t kChunkRows = 32;

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

}  // namespace

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

template void separableBlur<float>(ImageBuffer& image, const float* weights, int32_t n, float mix);
template void separableBlur<uint8_t>(ImageBuffer& image, const float* weights, int32_t n, float mix);

namespace {

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

}  // namespace
}  // namespace convolution

// ---- Image routines -----------------------------------------------------------------------

void convolveImage(const ImageBuffer& source, const float* kernel, int32_t kernelWidth, int32_t kernelHeight,
                   ImageBuffer& output) {
    convolution::convolveInto<float>(source, kernel, kernelWidth, kernelHeight, output);
}

void convolveImage8(const ImageBuffer& source, const float* kernel, int32_t kernelWidth, int32_t kernelHeight,
                    ImageBuffer& output) {
    convolution::convolveInto<uint8_t>(source, kernel, kernelWidth, kernelHeight, output);
}

void kernelSums(const float* row, const float* weights, int32_t taps, int32_t step, int32_t length, float* sums) {
    if (length > 0 && taps > 0) convolution::weightedSums(&row, 1, weights, taps, step, 0, length, sums);
}
