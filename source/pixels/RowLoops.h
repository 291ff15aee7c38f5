#pragma once
// The row loops of the tile bodies: the channel-count dispatch, the pixel
// loops with and without a selector's weights, the byte tables and the
// power map over whole-number samples.
//
// A body prepares its parameters into a small struct, then hands a per-pixel
// operation to one of the loops below. The loops walk the contiguous pixels
// of the buffer (a band or a whole image); without a selector they carry no
// per-pixel call beyond the inlined operation, and the channel count is a
// compile-time constant for the usual 3 and 4 channels, so that simple
// kernels vectorise. The hot tiles run the operation in a row kernel of
// their own instead (TILE_ROW_KERNEL over forEachPixelIn), which also builds
// the wider copies. With a selector the loop asks it for every pixel's
// weight just before that pixel is processed, with band-local coordinates
// and the region of the request.

#include <math.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/RenderArgs.h"
#include "framework/SelectorMod.h"
#include "pixels/KernelAttributes.h"
#include "pixels/PowerBlock.h"
#include "pixels/SampleRules.h"

namespace pixel {

// A channel count known when the kernel is compiled (3 and 4), so that the
// per-sample loops of a pixel unroll.
template <int32_t N>
using Channels = std::integral_constant<int32_t, N>;

// Calls f with the channel count: a compile-time constant for 3 and 4, the
// plain number otherwise.
template <class F>
TILE_INLINE void withChannels(int32_t n, F&& f) {
    if (n == 3)
        f(Channels<3>());
    else if (n == 4)
        f(Channels<4>());
    else
        f(n);
}

// op(pixel, channelCount) for `pixels` consecutive pixels of `channels`
// samples: the body of a row kernel (op a TILE_INLINE_LAMBDA).
template <class Sample, class Op>
TILE_INLINE void forEachPixelIn(Sample* s, int64_t pixels, int32_t channels, Op&& op) {
    withChannels(channels, [&](auto n) TILE_INLINE_LAMBDA {
        const int64_t step = n;
        for (int64_t i = 0; i < pixels; ++i) op(s + i * step, n);
    });
}

// ---- Whole-number samples -------------------------------------------------
//
// An image read from an 8-bit file holds whole numbers 0..255 in its float
// samples until a tile makes fractions of them. A function of one sample
// can then be read from a table of its 256 values: each entry is the
// function computed for exactly that sample, so the result is the same,
// while the function (a power, say) runs 256 times instead of once per
// sample.

// True when every one of the count samples is a whole number 0..255, +0
// included and -0 not (its bits differ from those of the table's 0).
TILE_INLINE bool wholeByteSamples(const float* s, int64_t count) {
    uint32_t differ = 0;
    for (int64_t i = 0; i < count; ++i) {
        const float v = s[i];
        const float inRange = v >= 0.0f && v <= 255.0f ? v : 0.5f;  // 0.5 never matches
        const float whole = static_cast<float>(static_cast<int32_t>(inRange));
        uint32_t a;
        uint32_t b;
        std::memcpy(&a, &v, sizeof a);
        std::memcpy(&b, &whole, sizeof b);
        differ |= a ^ b;
    }
    return differ == 0;
}

// The 256 results of a sample function, built at first use.
struct WholeSampleTable {
    float value[256];
    bool built = false;
};

// Maps every sample alone: v' = map.finish(v, powf(map.base(v), e)), the
// two halves TILE_INLINE members of a small mapping object. The bases and
// the finishing run as vectorised loops over a block of samples, the powers
// in a block of their own (powBlock: powf's own results, several at once);
// a block of whole numbers 0..255 reads the table instead (built from the
// same three steps).
template <class Mapping>
TILE_INLINE void powerMapSamples(const Mapping& map, float* s, int64_t count, float e, WholeSampleTable& table) {
    constexpr int64_t kBlock = 512;
    float power[kBlock];
    for (int64_t start = 0; start < count; start += kBlock) {
        float* block = s + start;
        const int64_t m = count - start < kBlock ? count - start : kBlock;
        if (wholeByteSamples(block, m)) {
            if (!table.built) {
                for (int32_t k = 0; k < 256; ++k) {
                    const float v = static_cast<float>(k);
                    table.value[k] = map.finish(v, powf(map.base(v), e));
                }
                table.built = true;
            }
            for (int64_t i = 0; i < m; ++i) block[i] = table.value[static_cast<int32_t>(block[i])];
            continue;
        }
        for (int64_t i = 0; i < m; ++i) power[i] = map.base(block[i]);
        powBlock(power, m, e);
        for (int64_t i = 0; i < m; ++i) block[i] = map.finish(block[i], power[i]);
    }
}

}  // namespace pixel

namespace tileloop {

inline bool hasPixels(const ImageBuffer& image) {
    return image.data != nullptr && image.width > 0 && image.height > 0;
}

// The number of float var `index`: 0 when the var is missing or holds
// another kind.
inline float floatVar(const ImageMod& mod, int32_t index) {
    const FloatValue* value = mod.floatAt(index);
    return value ? value->value : 0.0f;
}

// The selector that weights a body, and the region handed on to it.
struct Selector {
    const SelectorMod* mod = nullptr;
    const RenderRegion* region = nullptr;
    explicit operator bool() const { return mod != nullptr; }
};

// A null context, or one whose selector is not a selector tile, counts as
// having no selector.
inline Selector selectorOf(const RenderArgs* args) {
    Selector s;
    if (args) {
        s.mod = dynamic_cast<const SelectorMod*>(args->selector);
        s.region = args->region;
    }
    return s;
}

inline float weightAt(const Selector& s, const ImageBuffer& image, int32_t x, int32_t y, const float*) {
    return s.mod->maskWeight(image, x, y, s.region);
}
inline float weightAt(const Selector& s, const ImageBuffer& image, int32_t x, int32_t y, const uint8_t*) {
    return s.mod->maskWeight8(image, x, y, s.region);
}

template <int32_t N>
using Channels = pixel::Channels<N>;

using pixel::forEachPixelIn;
using pixel::withChannels;

// op(pixel, channelCount) for every pixel of the buffer.
template <class Sample, class Op>
TILE_VECTOR_LOOP void forEachPixel(ImageBuffer& image, Op&& op) {
    if (!hasPixels(image)) return;
    Sample* data = static_cast<Sample*>(image.data);
    const int64_t count = static_cast<int64_t>(image.width) * image.height;
    // A local copy of the operation: its captured parameters then cannot
    // alias the samples, so they stay in registers across the loop.
    auto kernel = op;
    withChannels(image.channelCount(), [&](auto n) {
        const int64_t step = n;
        for (int64_t i = 0; i < count; ++i) kernel(data + i * step, n);
    });
}

// op(pixel, channelCount, weight) for every pixel, with the selector's
// weight of that pixel.
template <class Sample, class Op>
void forEachWeightedPixel(ImageBuffer& image, const Selector& selector, Op&& op) {
    if (!hasPixels(image)) return;
    Sample* data = static_cast<Sample*>(image.data);
    const int32_t width = image.width;
    withChannels(image.channelCount(), [&](auto n) {
        const int64_t step = n;
        for (int32_t y = 0; y < image.height; ++y) {
            Sample* row = data + static_cast<int64_t>(y) * width * step;
            for (int32_t x = 0; x < width; ++x) {
                const float w = weightAt(selector, image, x, y, data);
                op(row + x * step, n, w);
            }
        }
    });
}

// Maps every sample of an 8-bit buffer alone: map(byte) is computed once
// for each of the 256 values, then the buffer goes through the table.
template <class Map>
TILE_VECTOR_LOOP void mapEveryByte(ImageBuffer& image, Map&& map) {
    if (!hasPixels(image)) return;
    uint8_t table[256];
    for (int32_t b = 0; b < 256; ++b) table[b] = map(static_cast<uint8_t>(b));
    uint8_t* samples = image.bytes();
    const int64_t count = image.sampleCount();
    for (int64_t i = 0; i < count; ++i) samples[i] = table[samples[i]];
}

// Maps each of the first `mapped` samples (at most 4) of every pixel of an
// 8-bit buffer alone, channel by channel: map(channel, byte) is computed
// once per channel and value, then the pixels go through the tables.
template <class Map>
TILE_VECTOR_LOOP void mapLeadingBytes(ImageBuffer& image, int32_t mapped, Map&& map) {
    if (!hasPixels(image)) return;
    const int32_t n = image.channelCount();
    if (mapped > n) mapped = n;
    if (mapped > 4) mapped = 4;
    uint8_t table[4][256];
    for (int32_t k = 0; k < mapped; ++k)
        for (int32_t b = 0; b < 256; ++b) table[k][b] = map(k, static_cast<uint8_t>(b));
    uint8_t* samples = image.bytes();
    const int64_t count = static_cast<int64_t>(image.width) * image.height;
    for (int64_t i = 0; i < count; ++i) {
        uint8_t* px = samples + i * n;
        for (int32_t k = 0; k < mapped; ++k) px[k] = table[k][px[k]];
    }
}

}  // namespace tileloop
