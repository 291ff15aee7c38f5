#pragma once
// Pixel loops and sample rules shared by the colour and tone tile bodies.
//
// A body prepares its parameters into a small struct, then hands a per-pixel
// operation to one of the loops below. The loops walk the contiguous pixels
// of the buffer (a band or a whole image); without a selector they carry no
// per-pixel call beyond the inlined operation, and the channel count is a
// compile-time constant for the usual 3 and 4 channels, so that simple
// kernels vectorise. The hot tiles run the operation in a row kernel of
// their own instead (TILE_ROW_KERNEL over forEachPixelIn, PixelMath.h),
// which also builds an AVX2 copy. With a selector the loop asks it for
// every pixel's weight just before that pixel is processed, with band-local
// coordinates and the region of the request.
//
// Samples are read as floats; a float result goes into a byte by
// storeByte's rule (clamped to 0..255, NaN as 0, truncated toward zero).

#include <math.h>

#include <cstdint>
#include <type_traits>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/RenderArgs.h"
#include "framework/PixelMath.h"
#include "framework/SelectorMod.h"

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

// Stores a float result into a sample of either kind.
TILE_INLINE void store(float& sample, float v) { sample = v; }
TILE_INLINE void store(uint8_t& sample, float v) { pixel::storeSample(sample, v); }

// Clamps a float result to 0..255 (NaN passes through; a byte store then
// takes it as 0).
TILE_INLINE float clampSample(float v) {
    if (v < 0.0f) return 0.0f;
    if (v > 255.0f) return 255.0f;
    return v;
}

// A result computed in double: a float sample takes it rounded to float; a
// byte takes it clamped to 0..255 and truncated from the double itself
// (NaN stores as 0).
TILE_INLINE uint8_t storeByteFromDouble(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<uint8_t>(v);
}

// A power base that has fallen below 0 (a sample outside 0..255, a hostile
// parameter) is taken as 0, so the power stays defined; in-range bases pass
// unchanged.
TILE_INLINE float powerBase(float b) { return b > 0.0f ? b : 0.0f; }

// ---- The contrast power curve -----------------------------------------------------
//
// Contrast, Luminance Contrast and Advanced Contrast bend a value v about a
// centre c with the exponent e: above c the power is taken on the distance
// from white, 255 - ((255 - v)/span)^e span with span = 255 - c; below it on
// the distance from black, (v/c)^e c. A value on the centre (or NaN), or on
// a side whose span is 0 (a centre of 255 or 0, reached only by values
// outside 0..255), is kept. The exponent is the factor itself below 1 and
// 1/(2 - factor) from 1 up.

TILE_INLINE float contrastExponent(float factor) { return factor < 1.0f ? factor : 1.0f / (2.0f - factor); }

// The curve in two halves around its power, so that a row kernel can run
// the powers in a loop of their own (see pixel::powerMapSamples): base(v)
// is the power's base on v's side, finish(v, power) the bent value.
struct ContrastCurve {
    float center;
    float span;  // 255 - center

    explicit ContrastCurve(float c) : center(c), span(255.0f - c) {}

    // Whether v moves at all.
    TILE_INLINE bool moves(float v) const { return v > center ? span != 0.0f : (v < center && center != 0.0f); }
    TILE_INLINE float base(float v) const {
        const bool above = v > center;
        return powerBase((above ? 255.0f - v : v) / (above ? span : center));
    }
    TILE_INLINE float finish(float v, float power) const {
        const float aboveValue = span == 0.0f ? v : 255.0f - power * span;
        const float belowValue = center == 0.0f ? v : power * center;
        return v > center ? aboveValue : (v < center ? belowValue : v);
    }
    TILE_INLINE float bend(float v, float e) const { return finish(v, powf(base(v), e)); }
};

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
