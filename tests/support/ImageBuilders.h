#pragma once
// Image builders and pixel comparisons for the render tests.
//
// Built images are deterministic (a fixed pseudo-random sequence per seed)
// and own their samples. Comparisons are bit for bit unless they take a
// tolerance, and name the first differing sample on failure.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "foundation/ImageBuffer.h"

namespace testimages {

// Samples spread over 0..255 with fractions (float) or whole bytes.
ImageBuffer makeFloatImage(int32_t width, int32_t height, int32_t channels, uint32_t seed = 7);
ImageBuffer makeByteImage(int32_t width, int32_t height, int32_t channels, uint32_t seed = 7);
// Every pixel the given samples (one per channel).
ImageBuffer filledFloatImage(int32_t width, int32_t height, std::initializer_list<float> pixel);
ImageBuffer filledByteImage(int32_t width, int32_t height, std::initializer_list<int> pixel);
// Independent copies (with insets and scale).
ImageBuffer duplicateFloat(const ImageBuffer& image);
ImageBuffer duplicateBytes(const ImageBuffer& image);

inline float& floatAt(ImageBuffer& image, int32_t x, int32_t y, int32_t c) {
    return image.floats()[(static_cast<int64_t>(y) * image.width + x) * image.channelCount() + c];
}
inline float floatAt(const ImageBuffer& image, int32_t x, int32_t y, int32_t c) {
    return image.floats()[(static_cast<int64_t>(y) * image.width + x) * image.channelCount() + c];
}
inline uint8_t& byteAt(ImageBuffer& image, int32_t x, int32_t y, int32_t c) {
    return image.bytes()[(static_cast<int64_t>(y) * image.width + x) * image.channelCount() + c];
}
inline uint8_t byteAt(const ImageBuffer& image, int32_t x, int32_t y, int32_t c) {
    return image.bytes()[(static_cast<int64_t>(y) * image.width + x) * image.channelCount() + c];
}

// Same size, channel count and samples (bit for bit; NaN equals NaN).
::testing::AssertionResult floatsIdentical(const ImageBuffer& expected, const ImageBuffer& actual);
::testing::AssertionResult bytesIdentical(const ImageBuffer& expected, const ImageBuffer& actual);
// Same size and channel count, every sample within tolerance.
::testing::AssertionResult floatsWithin(const ImageBuffer& expected, const ImageBuffer& actual, float tolerance);

}  // namespace testimages
