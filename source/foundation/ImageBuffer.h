#pragma once
// ImageBuffer: an image in memory.
//
// Interleaved samples on a 0..255 scale, rows top to bottom, stored either
// as bytes or as 32-bit floats (the buffer does not record which: every
// user knows the kind it works on). `channels` 0 is read as 3 when a buffer
// is allocated; a 4th channel is alpha, 255 opaque. The insets give the
// border around the photograph proper; `scale` is full-resolution pixels per
// pixel of this buffer. Sizes are computed in 64 bits.
//
// Owned samples are allocated with std::malloc/std::calloc and freed with
// std::free, whichever their kind: code that hands a buffer its own memory
// (owns = 1) must allocate it the same way.

#include <cstddef>
#include <cstdint>

#include "ColorConversions.h"

class ImageBuffer {
public:
    void* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    uint8_t owns = 0;
    int32_t insetLeft = 0;
    int32_t insetRight = 0;
    int32_t insetTop = 0;
    int32_t insetBottom = 0;
    float scale = 1.0f;

    ImageBuffer() = default;
    ImageBuffer(const ImageBuffer&) = delete;             // copies are explicit (copyFloat/copy8)
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ImageBuffer(ImageBuffer&& other) noexcept;
    ImageBuffer& operator=(ImageBuffer&& other) noexcept;
    ~ImageBuffer();

    float* floats() const { return static_cast<float*>(data); }
    uint8_t* bytes() const { return static_cast<uint8_t*>(data); }
    int32_t channelCount() const { return channels == 0 ? 3 : channels; }
    int64_t sampleCount() const;  // width * height * channelCount, 0 when empty

    // Frees owned data and allocates width x height x channels samples
    // (channels 0 becomes 3); no data when a dimension is below 1. Samples
    // are zeroed. Returns false when the allocation fails.
    bool allocateFloat(int32_t w, int32_t h, int32_t ch);
    bool allocate8(int32_t w, int32_t h, int32_t ch);
    // Frees owned data, then points at samples the buffer does not own.
    void wrap(void* samples, int32_t w, int32_t h, int32_t ch);
    // Frees owned data; the buffer becomes empty: no data, width and height
    // 0 (channels, insets and scale stay).
    void release();

    // Makes target a copy of source (float, bytes, and the two conversions).
    // The target keeps its storage when it has data of the source's width
    // and height (and, when adoptChannels, channel count); otherwise it frees
    // what it owns and allocates width x height x channels samples, taking
    // the channel count from the source when adoptChannels, else keeping its
    // own (0 becomes 3). Per pixel a 4-channel target gets alpha 255 first,
    // then min(target, source) channels are copied. The insets and the scale
    // are always copied. Copying a buffer onto itself changes nothing.
    static void copyFloat(ImageBuffer& target, const ImageBuffer& source, bool adoptChannels);
    static void copy8(ImageBuffer& target, const ImageBuffer& source, bool adoptChannels);
    // Float samples truncated toward zero into bytes (clamped to 0..255
    // first, NaN stored as 0).
    static void copy8FromFloat(ImageBuffer& target, const ImageBuffer& source, bool adoptChannels);
    static void copyFloatFrom8(ImageBuffer& target, const ImageBuffer& source, bool adoptChannels);

    // Test hook for the paths that must survive a failed allocation: from
    // now on the next `allowed` allocations of pixel storage (allocateFloat,
    // allocate8 and the copies) succeed, the `failing` ones after them fail
    // as an exhausted memory would, and every later one succeeds again.
    // (0, 0) disarms it. Safe to arm while other threads allocate; unarmed
    // it costs one atomic read per allocation.
    static void failAllocationsForTesting(int64_t allowed, int64_t failing);
};

// Writes the rows [top inset, height - bottom inset) and columns
// [left inset, width - right inset) of the float source into the 8-bit
// target at (x + offsetX, y + offsetY), skipping positions outside the
// target; min(channels) samples per pixel, each stored with storeByte.
// insets: {left, right, top, bottom}, or null for none.
void copyRowsFloatTo8(ImageBuffer& target, const ImageBuffer& source, int32_t offsetX, int32_t offsetY,
                      const int32_t* insets);

// The 8-bit store used everywhere a float result goes into a byte:
// clamp to 0..255, NaN stores as 0, then truncate toward zero.
inline uint8_t storeByte(float v) {
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

// Float to int conversion that saturates instead of being undefined:
// NaN gives 0, values beyond the int range give INT32_MIN / INT32_MAX.
int32_t saturatingInt(double v);
