#pragma once
// What the convolution files of the pixel kit share, private to this folder
// (no header outside it includes this one): the block size of the row
// kernels, how much per-thread scratch they keep, the sample conversions
// and the clamp the blurs store with, the size check of padded rows, and the
// two blurs that blurImage picks from (the two-pass blur of Convolution.cpp
// and the disc of DiscBlur.cpp, each built for float and 8-bit images).

#include <cstddef>
#include <cstdint>

#include "foundation/ImageBuffer.h"
#include "pixels/Convolution.h"
#include "pixels/SampleRules.h"
#include "pixels/ScratchArray.h"

namespace convolution {

// Samples per block: 96 floats are twelve AVX registers of accumulators.
constexpr int32_t kBlock = kKernelSumsBlock;
// Scratch rings above this many floats (16 MiB) are freed after a call
// instead of being kept for the thread's next one.
constexpr size_t kKeptScratchFloats = size_t(4) << 20;

inline float sampleValue(float v) { return v; }
inline float sampleValue(uint8_t v) { return static_cast<float>(v); }

// clamp(v, 0, 255) as the blur writes it (NaN stays NaN).
inline float clamp255(float v) { return pixel::clampSampleKeepNan(v); }

// Sizes that keep every row index of the kernels within 32 bits.
inline bool rowFits(int32_t width, int32_t channels, int32_t reach) {
    const int64_t padded = (static_cast<int64_t>(width) + 2 * static_cast<int64_t>(reach)) * channels + 4 * kBlock;
    return padded < (int64_t(1) << 30);
}

inline bool hasPixels(const ImageBuffer& image) {
    return image.data != nullptr && image.width > 0 && image.height > 0;
}

// The two-pass blur (Gaussian or Box) of the image in place with the
// 2n + 1 normalised weights, mixed in by mix (Convolution.cpp).
template <class Sample>
void separableBlur(ImageBuffer& image, const float* weights, int32_t n, float mix);

// The disc blur of radius r and half-width n, mixed in by mix, in place
// (DiscBlur.cpp).
template <class Sample>
void discBlur(ImageBuffer& image, float r, int32_t n, float mix);

}  // namespace convolution
