#include "ImageBuffer.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

int32_t effectiveChannels(int32_t channels) {
    return channels == 0 ? 3 : channels;
}

// Bytes for w x h x ch samples of the given size, or 0 when a count is
// below 1 or the product does not fit in memory's size type.
size_t storageBytes(int32_t w, int32_t h, int32_t ch, size_t sampleSize) {
    if (w < 1 || h < 1 || ch < 1) return 0;
    size_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<size_t>(w), static_cast<size_t>(h), &bytes)) return 0;
    if (__builtin_mul_overflow(bytes, static_cast<size_t>(ch), &bytes)) return 0;
    if (__builtin_mul_overflow(bytes, sampleSize, &bytes)) return 0;
    return bytes;
}

// The allocation failures asked for by failAllocationsForTesting: the
// allocations numbered [failFrom, failTo) since it was armed fail.
std::atomic<int64_t> gAllocationTicket{0};
std::atomic<int64_t> gFailFrom{0};
std::atomic<int64_t> gFailTo{0};

bool allocationMustFail() {
    const int64_t failTo = gFailTo.load(std::memory_order_acquire);
    if (failTo <= 0) return false;
    const int64_t ticket = gAllocationTicket.fetch_add(1, std::memory_order_relaxed);
    return ticket >= gFailFrom.load(std::memory_order_relaxed) && ticket < failTo;
}

// Frees owned data and gives the buffer new storage of w x h x ch samples
// (ch 0 becomes 3). No storage when a dimension is below 1. When the
// allocation fails the buffer is left empty (width and height 0), so that
// nobody indexes a null pointer. Returns false only on that failure.
bool reallocate(ImageBuffer& buffer, int32_t w, int32_t h, int32_t ch, size_t sampleSize, bool zeroed) {
    buffer.release();
    ch = effectiveChannels(ch);
    buffer.width = w;
    buffer.height = h;
    buffer.channels = ch;
    if (w < 1 || h < 1 || ch < 1) return true;
    const size_t bytes = storageBytes(w, h, ch, sampleSize);
    void* storage = bytes == 0 || allocationMustFail() ? nullptr
                                                      : (zeroed ? std::calloc(bytes, 1) : std::malloc(bytes));
    if (!storage) {
        buffer.width = 0;
        buffer.height = 0;
        return false;
    }
    buffer.data = storage;
    buffer.owns = 1;
    return true;
}

void copyGeometryExtras(ImageBuffer& target, const ImageBuffer& source) {
    target.insetLeft = source.insetLeft;
    target.insetRight = source.insetRight;
    target.insetTop = source.insetTop;
    target.insetBottom = source.insetBottom;
    target.scale = source.scale;
}

struct SameSample {
    template <class T>
    T operator()(T v) const { return v; }
};
struct FloatToByte {
    uint8_t operator()(float v) const { return storeByte(v); }
};
struct ByteToFloat {
    float operator()(uint8_t v) const { return static_cast<float>(v); }
};

// The one copy rule behind copyFloat, copy8, copy8FromFloat and
// copyFloatFrom8: Target and Source are the sample types.
template <class Target, class Source, class Convert>
void copyBuffer(ImageBuffer& target, const ImageBuffer& source, bool adoptChannels, Convert convert) {
    if (&target == &source) return;
    const bool reuse = target.data != nullptr && target.width == source.width && target.height == source.height &&
                       (!adoptChannels || target.channelCount() == source.channelCount());
    if (!reuse) {
        // Fresh samples are zeroed so that target channels the source does
        // not have never hold leftover memory.
        reallocate(target, source.width, source.height, adoptChannels ? source.channels : target.channels,
                   sizeof(Target), true);
    }
    if (target.width >= 1 && target.height >= 1 && target.data && source.data) {
        const int32_t tc = target.channelCount();
        const int32_t sc = source.channelCount();
        const int64_t pixels = static_cast<int64_t>(target.width) * target.height;
        Target* out = static_cast<Target*>(target.data);
        const Source* in = static_cast<const Source*>(source.data);
        if (tc == sc) {
            // Same layout: alpha, when there is one, is copied like any channel.
            const int64_t samples = pixels * tc;
            if constexpr (std::is_same_v<Target, Source>) {
                if (out != in) std::memmove(out, in, static_cast<size_t>(samples) * sizeof(Target));
            } else {
                for (int64_t k = 0; k < samples; ++k) out[k] = convert(in[k]);
            }
        } else if (tc >= 1 && sc >= 1) {
            const int32_t n = tc < sc ? tc : sc;
            for (int64_t p = 0; p < pixels; ++p) {
                Target* t = out + p * tc;
                const Source* s = in + p * sc;
                if (tc == 4) t[3] = static_cast<Target>(255);
                for (int32_t c = 0; c < n; ++c) t[c] = convert(s[c]);
            }
        }
    }
    copyGeometryExtras(target, source);
}

}  // namespace

ImageBuffer::ImageBuffer(ImageBuffer&& other) noexcept
    : data(other.data),
      width(other.width),
      height(other.height),
      channels(other.channels),
      owns(other.owns),
      insetLeft(other.insetLeft),
      insetRight(other.insetRight),
      insetTop(other.insetTop),
      insetBottom(other.insetBottom),
      scale(other.scale) {
    other.data = nullptr;
    other.owns = 0;
    other.width = 0;
    other.height = 0;
}

ImageBuffer& ImageBuffer::operator=(ImageBuffer&& other) noexcept {
    if (this == &other) return *this;
    release();
    data = other.data;
    width = other.width;
    height = other.height;
    channels = other.channels;
    owns = other.owns;
    insetLeft = other.insetLeft;
    insetRight = other.insetRight;
    insetTop = other.insetTop;
    insetBottom = other.insetBottom;
    scale = other.scale;
    other.data = nullptr;
    other.owns = 0;
    other.width = 0;
    other.height = 0;
    return *this;
}

ImageBuffer::~ImageBuffer() {
    release();
}

int64_t ImageBuffer::sampleCount() const {
    if (width < 1 || height < 1) return 0;
    return static_cast<int64_t>(width) * height * channelCount();
}

bool ImageBuffer::allocateFloat(int32_t w, int32_t h, int32_t ch) {
    return reallocate(*this, w, h, ch, sizeof(float), true);
}

bool ImageBuffer::allocate8(int32_t w, int32_t h, int32_t ch) {
    return reallocate(*this, w, h, ch, sizeof(uint8_t), true);
}

void ImageBuffer::wrap(void* samples, int32_t w, int32_t h, int32_t ch) {
    release();
    data = samples;
    width = w;
    height = h;
    channels = ch;
    owns = 0;
}

void ImageBuffer::release() {
    if (owns && data) std::free(data);
    data = nullptr;
    owns = 0;
    width = 0;
    height = 0;
}

void ImageBuffer::copyFloat(ImageBuffer& target, const ImageBuffer& source, bool adoptChannels) {
    copyBuffer<float, float>(target, source, adoptChannels, SameSample());
}

void ImageBuffer::copy8(ImageBuffer& target, const ImageBuffer& source, bool adoptChannels) {
    copyBuffer<uint8_t, uint8_t>(target, source, adoptChannels, SameSample());
}

void ImageBuffer::copy8FromFloat(ImageBuffer& target, const ImageBuffer& source, bool adoptChannels) {
    copyBuffer<uint8_t, float>(target, source, adoptChannels, FloatToByte());
}

void ImageBuffer::copyFloatFrom8(ImageBuffer& target, const ImageBuffer& source, bool adoptChannels) {
    copyBuffer<float, uint8_t>(target, source, adoptChannels, ByteToFloat());
}

void copyRowsFloatTo8(ImageBuffer& target, const ImageBuffer& source, int32_t offsetX, int32_t offsetY,
                      const int32_t* insets) {
    if (!target.data || !source.data) return;
    const int64_t left = insets ? insets[0] : 0;
    const int64_t right = insets ? insets[1] : 0;
    const int64_t top = insets ? insets[2] : 0;
    const int64_t bottom = insets ? insets[3] : 0;
    // The source rectangle, cut to the source itself and to the positions
    // that land inside the target; all in 64 bits so offsets cannot overflow.
    int64_t x0 = left > 0 ? left : 0;
    int64_t x1 = static_cast<int64_t>(source.width) - right;
    int64_t y0 = top > 0 ? top : 0;
    int64_t y1 = static_cast<int64_t>(source.height) - bottom;
    if (x1 > source.width) x1 = source.width;
    if (y1 > source.height) y1 = source.height;
    const int64_t dx = offsetX;
    const int64_t dy = offsetY;
    if (x0 < -dx) x0 = -dx;
    if (y0 < -dy) y0 = -dy;
    if (x1 > target.width - dx) x1 = target.width - dx;
    if (y1 > target.height - dy) y1 = target.height - dy;
    if (x0 >= x1 || y0 >= y1) return;

    const int32_t tc = target.channelCount();
    const int32_t sc = source.channelCount();
    const int32_t n = tc < sc ? tc : sc;
    if (n < 1) return;
    const float* in = source.floats();
    uint8_t* out = target.bytes();
    for (int64_t y = y0; y < y1; ++y) {
        const float* s = in + (y * source.width + x0) * sc;
        uint8_t* t = out + ((y + dy) * target.width + (x0 + dx)) * tc;
        for (int64_t x = x0; x < x1; ++x, s += sc, t += tc) {
            for (int32_t c = 0; c < n; ++c) t[c] = storeByte(s[c]);
        }
    }
}

int32_t saturatingInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

void ImageBuffer::failAllocationsForTesting(int64_t allowed, int64_t failing) {
    gFailTo.store(0, std::memory_order_release);
    gAllocationTicket.store(0, std::memory_order_relaxed);
    gFailFrom.store(allowed < 0 ? 0 : allowed, std::memory_order_relaxed);
    if (failing > 0) gFailTo.store((allowed < 0 ? 0 : allowed) + failing, std::memory_order_release);
}
