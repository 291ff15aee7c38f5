#include "support/ImageBuilders.h"

#include <cmath>
#include <cstring>

namespace testimages {

namespace {

// xorshift32 from a mixed seed: the same samples on every machine.
struct Sequence {
    uint32_t state;
    explicit Sequence(uint32_t seed) : state(seed * 747796405u + 2891336453u) {
        if (state == 0) state = 1;
    }
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

template <class Sample>
::testing::AssertionResult compare(const ImageBuffer& expected, const ImageBuffer& actual, double tolerance) {
    if (expected.width != actual.width || expected.height != actual.height ||
        expected.channelCount() != actual.channelCount())
        return ::testing::AssertionFailure()
               << "size " << actual.width << "x" << actual.height << "x" << actual.channelCount() << ", expected "
               << expected.width << "x" << expected.height << "x" << expected.channelCount();
    const int64_t count = expected.sampleCount();
    const Sample* a = static_cast<const Sample*>(expected.data);
    const Sample* b = static_cast<const Sample*>(actual.data);
    if (count > 0 && (!a || !b)) return ::testing::AssertionFailure() << "missing samples";
    const int32_t channels = expected.channelCount();
    for (int64_t i = 0; i < count; ++i) {
        bool same;
        if (tolerance < 0.0) {
            same = std::memcmp(a + i, b + i, sizeof(Sample)) == 0;
        } else {
            same = std::fabs(static_cast<double>(a[i]) - static_cast<double>(b[i])) <= tolerance;
        }
        if (!same) {
            const int64_t pixel = i / channels;
            return ::testing::AssertionFailure()
                   << "sample (x " << pixel % expected.width << ", y " << pixel / expected.width << ", channel "
                   << i % channels << "): expected " << +a[i] << ", got " << +b[i];
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

ImageBuffer makeFloatImage(int32_t width, int32_t height, int32_t channels, uint32_t seed) {
    ImageBuffer image;
    image.allocateFloat(width, height, channels);
    Sequence sequence(seed);
    for (int64_t i = 0; i < image.sampleCount(); ++i)
        image.floats()[i] = static_cast<float>(sequence.next() % 25501u) / 100.0f;
    return image;
}

ImageBuffer makeByteImage(int32_t width, int32_t height, int32_t channels, uint32_t seed) {
    ImageBuffer image;
    image.allocate8(width, height, channels);
    Sequence sequence(seed);
    for (int64_t i = 0; i < image.sampleCount(); ++i) image.bytes()[i] = static_cast<uint8_t>(sequence.next() >> 24);
    return image;
}

ImageBuffer filledFloatImage(int32_t width, int32_t height, std::initializer_list<float> pixel) {
    ImageBuffer image;
    const int32_t channels = static_cast<int32_t>(pixel.size());
    image.allocateFloat(width, height, channels);
    const int64_t pixels = static_cast<int64_t>(width) * height;
    for (int64_t p = 0; p < pixels && image.data; ++p) {
        int32_t c = 0;
        for (float v : pixel) image.floats()[p * channels + c++] = v;
    }
    return image;
}

ImageBuffer filledByteImage(int32_t width, int32_t height, std::initializer_list<int> pixel) {
    ImageBuffer image;
    const int32_t channels = static_cast<int32_t>(pixel.size());
    image.allocate8(width, height, channels);
    const int64_t pixels = static_cast<int64_t>(width) * height;
    for (int64_t p = 0; p < pixels && image.data; ++p) {
        int32_t c = 0;
        for (int v : pixel) image.bytes()[p * channels + c++] = static_cast<uint8_t>(v);
    }
    return image;
}

ImageBuffer duplicateFloat(const ImageBuffer& image) {
    ImageBuffer copy;
    ImageBuffer::copyFloat(copy, image, true);
    return copy;
}

ImageBuffer duplicateBytes(const ImageBuffer& image) {
    ImageBuffer copy;
    ImageBuffer::copy8(copy, image, true);
    return copy;
}

::testing::AssertionResult floatsIdentical(const ImageBuffer& expected, const ImageBuffer& actual) {
    return compare<float>(expected, actual, -1.0);
}

::testing::AssertionResult bytesIdentical(const ImageBuffer& expected, const ImageBuffer& actual) {
    return compare<uint8_t>(expected, actual, -1.0);
}

::testing::AssertionResult floatsWithin(const ImageBuffer& expected, const ImageBuffer& actual, float tolerance) {
    return compare<float>(expected, actual, tolerance);
}

}  // namespace testimages
