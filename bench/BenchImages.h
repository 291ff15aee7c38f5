#pragma once
// The pictures the benchmarks render, the same on every run.

#include <cstdint>

#include "foundation/ImageBuffer.h"

namespace bench {

// Every sample drawn from a fixed xorshift sequence, spread over 0..255 with
// fractions: the worst case for caches and branches.
inline ImageBuffer noiseImage(int32_t width, int32_t height) {
    ImageBuffer image;
    image.allocateFloat(width, height, 3);
    uint32_t state = 2463534242u;
    float* s = image.floats();
    const int64_t count = image.sampleCount();
    for (int64_t i = 0; i < count; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        s[i] = static_cast<float>(state % 25501u) / 100.0f;
    }
    return image;
}

// A photo-like picture: smooth colour gradients with a little noise,
// samples 0..255.
inline ImageBuffer gradientPhoto(int32_t width, int32_t height) {
    ImageBuffer image;
    image.allocateFloat(width, height, 3);
    uint32_t state = 2463534242u;
    float* s = image.floats();
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const float noise = static_cast<float>(state % 2001u) / 100.0f - 10.0f;
            const float u = static_cast<float>(x) / static_cast<float>(width);
            const float v = static_cast<float>(y) / static_cast<float>(height);
            float* p = s + (static_cast<int64_t>(y) * width + x) * 3;
            p[0] = 20.0f + 215.0f * u + noise;
            p[1] = 20.0f + 215.0f * v + noise;
            p[2] = 20.0f + 215.0f * (1.0f - u) * v + noise;
            for (int c = 0; c < 3; ++c) p[c] = p[c] < 0.0f ? 0.0f : (p[c] > 255.0f ? 255.0f : p[c]);
        }
    }
    return image;
}

// The size of the pictures the tile benchmarks render (24 megapixels).
constexpr int32_t kPhotoWidth = 6000;
constexpr int32_t kPhotoHeight = 4000;

// The 6000 x 4000 noise picture the tile benchmarks share, float and as
// bytes (the floats truncated), made once.
inline const ImageBuffer& photo() {
    static const ImageBuffer image = noiseImage(kPhotoWidth, kPhotoHeight);
    return image;
}

inline const ImageBuffer& photoBytes() {
    static const ImageBuffer bytes = [] {
        ImageBuffer b;
        ImageBuffer::copy8FromFloat(b, photo(), true);
        return b;
    }();
    return bytes;
}

}  // namespace bench
