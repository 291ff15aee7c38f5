#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "foundation/ImageBuffer.h"

namespace {

// A w x h buffer (float or bytes) whose sample k holds 1 + k % 250.
ImageBuffer makeBuffer(bool floats, int32_t w, int32_t h, int32_t ch) {
    ImageBuffer b;
    EXPECT_TRUE(floats ? b.allocateFloat(w, h, ch) : b.allocate8(w, h, ch));
    for (int64_t k = 0; k < b.sampleCount(); ++k) {
        if (floats) b.floats()[k] = 1.0f + k % 250;
        else b.bytes()[k] = static_cast<uint8_t>(1 + k % 250);
    }
    b.insetLeft = 1;
    b.insetRight = 2;
    b.insetTop = 3;
    b.insetBottom = 4;
    b.scale = 0.25f;
    return b;
}

double sample(const ImageBuffer& b, bool floats, int64_t k) {
    return floats ? b.floats()[k] : b.bytes()[k];
}

}  // namespace

TEST(ImageBufferCopy, EmptyTargetWithoutAdoptionGetsThreeChannelsAndTheExtras) {
    const ImageBuffer source = makeBuffer(true, 2, 2, 3);
    ImageBuffer target;  // channel count 0
    ImageBuffer::copyFloat(target, source, false);
    ASSERT_NE(target.data, nullptr);
    EXPECT_EQ(target.owns, 1);
    EXPECT_EQ(target.channels, 3);
    for (int32_t k = 0; k < 12; ++k) EXPECT_EQ(target.floats()[k], source.floats()[k]);
    EXPECT_EQ(target.insetLeft + 10 * target.insetRight + 100 * target.insetTop + 1000 * target.insetBottom, 4321);
    EXPECT_EQ(target.scale, 0.25f);
}

TEST(ImageBufferCopy, MatchingTargetKeepsItsStorageAndGetsOpaqueAlpha) {
    const ImageBuffer source = makeBuffer(true, 2, 2, 3);
    ImageBuffer target;
    ASSERT_TRUE(target.allocateFloat(2, 2, 4));
    void* before = target.data;
    ImageBuffer::copyFloat(target, source, false);
    EXPECT_EQ(target.data, before);
    for (int32_t p = 0; p < 4; ++p) EXPECT_EQ(target.floats()[p * 4 + 3], 255.0f);

    // A wrapped target of the right size is written in place, not replaced.
    std::vector<float> outside(12, -1.0f);
    ImageBuffer view;
    view.wrap(outside.data(), 2, 2, 3);
    ImageBuffer::copyFloat(view, source, true);
    EXPECT_EQ(view.data, outside.data());
    EXPECT_EQ(outside[11], source.floats()[11]);
}

// Which samples each channel combination writes, for the float and the byte copy.
struct ChannelCase {
    int32_t targetChannels, sourceChannels;
    bool adopt;
    int32_t expectChannels;
};

class ImageBufferChannels : public ::testing::TestWithParam<ChannelCase> {};

TEST_P(ImageBufferChannels, CopiesSharedChannelsAndSetsAlpha) {
    const ChannelCase k = GetParam();
    for (bool floats : {true, false}) {
        SCOPED_TRACE(floats ? "float" : "bytes");
        const ImageBuffer source = makeBuffer(floats, 3, 2, k.sourceChannels);
        ImageBuffer target = makeBuffer(floats, 1, 1, k.targetChannels);  // another size: reallocated
        if (floats) ImageBuffer::copyFloat(target, source, k.adopt);
        else ImageBuffer::copy8(target, source, k.adopt);
        ASSERT_EQ(target.channels, k.expectChannels);
        const int32_t tc = target.channelCount(), sc = source.channelCount(), n = std::min(tc, sc);
        for (int32_t p = 0; p < 6; ++p) {
            for (int32_t c = 0; c < tc; ++c) {
                double want = 0.0;  // fresh storage is zeroed
                if (c < n) want = sample(source, floats, p * sc + c);
                else if (tc == 4 && c == 3) want = 255.0;
                EXPECT_EQ(sample(target, floats, p * tc + c), want) << "pixel " << p << " channel " << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ImageBufferChannels,
                         ::testing::Values(ChannelCase{4, 3, false, 4},   // opaque alpha
                                           ChannelCase{4, 4, false, 4},   // alpha copied
                                           ChannelCase{3, 4, false, 3},   // alpha dropped
                                           ChannelCase{3, 4, true, 4},    // adopted
                                           ChannelCase{2, 3, false, 2},
                                           ChannelCase{3, 1, false, 3},   // channels beyond n stay 0
                                           ChannelCase{4, 1, false, 4},
                                           ChannelCase{1, 4, true, 4}));

TEST(ImageBufferCopy, EmptySourceAndSelfCopyAreHarmless) {
    ImageBuffer empty;
    ImageBuffer target = makeBuffer(true, 2, 2, 3);
    ImageBuffer::copyFloat(target, empty, true);
    EXPECT_EQ(target.data, nullptr);
    EXPECT_EQ(target.sampleCount(), 0);

    ImageBuffer b = makeBuffer(true, 2, 2, 4);
    void* before = b.data;
    ImageBuffer::copyFloat(b, b, true);
    ImageBuffer::copy8FromFloat(b, b, false);  // a nonsense request must not free or rewrite
    EXPECT_EQ(b.data, before);
    EXPECT_EQ(b.floats()[15], 16.0f);
}

TEST(ImageBufferConvert, FloatToByteClampsTruncatesAndStoresNanAsZero) {
    const float inf = std::numeric_limits<float>::infinity();
    const float in[] = {-5.0f, 0.99f, 1.0f, 127.5f, 254.999f, 255.0f, 300.0f, inf, -inf,
                        std::numeric_limits<float>::quiet_NaN()};
    const uint8_t want[] = {0, 0, 1, 127, 254, 255, 255, 255, 0, 0};
    const int32_t n = sizeof(in) / sizeof(in[0]);
    ImageBuffer source;
    ASSERT_TRUE(source.allocateFloat(n, 1, 1));
    std::copy(in, in + n, source.floats());
    ImageBuffer bytes;
    ImageBuffer::copy8FromFloat(bytes, source, true);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(bytes.bytes()[i], want[i]) << "sample " << in[i];

    // Every byte survives the way to float and back exactly.
    ImageBuffer all;
    ASSERT_TRUE(all.allocate8(256, 1, 1));
    for (int32_t i = 0; i < 256; ++i) all.bytes()[i] = static_cast<uint8_t>(i);
    ImageBuffer floats, back;
    ImageBuffer::copyFloatFrom8(floats, all, true);
    ImageBuffer::copy8FromFloat(back, floats, true);
    for (int32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(floats.floats()[i], static_cast<float>(i));
        EXPECT_EQ(back.bytes()[i], i);
    }
}

// copyRowsFloatTo8 writes the source's inner rectangle at an offset, within
// the target only.
struct RowsCase {
    int32_t offsetX, offsetY;
    bool useInsets;
    int32_t insets[4];  // left, right, top, bottom
    int32_t written;    // target pixels written
};

class ImageBufferRows : public ::testing::TestWithParam<RowsCase> {};

TEST_P(ImageBufferRows, WritesTheInnerRectangleInsideTheTarget) {
    const RowsCase k = GetParam();
    ImageBuffer source;
    ASSERT_TRUE(source.allocateFloat(4, 4, 4));
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
            for (int32_t c = 0; c < 4; ++c) source.floats()[(y * 4 + x) * 4 + c] = 10.0f * y + x + 0.7f;
    ImageBuffer target;
    ASSERT_TRUE(target.allocate8(4, 4, 3));
    std::fill(target.bytes(), target.bytes() + 48, 200);
    copyRowsFloatTo8(target, source, k.offsetX, k.offsetY, k.useInsets ? k.insets : nullptr);
    const int32_t* in = k.insets;
    int32_t written = 0;
    for (int32_t ty = 0; ty < 4; ++ty) {
        for (int32_t tx = 0; tx < 4; ++tx) {
            const int64_t sx = int64_t(tx) - k.offsetX, sy = int64_t(ty) - k.offsetY;
            const bool inside = k.useInsets ? (sx >= in[0] && sx < 4 - in[1] && sy >= in[2] && sy < 4 - in[3])
                                            : (sx >= 0 && sx < 4 && sy >= 0 && sy < 4);
            const uint8_t* px = target.bytes() + (ty * 4 + tx) * 3;
            written += inside;
            for (int32_t c = 0; c < 3; ++c) EXPECT_EQ(px[c], inside ? 10 * sy + sx : 200) << tx << "," << ty;
        }
    }
    EXPECT_EQ(written, k.written);
}

INSTANTIATE_TEST_SUITE_P(Table, ImageBufferRows,
                         ::testing::Values(RowsCase{0, 0, false, {0, 0, 0, 0}, 16},
                                           RowsCase{0, 0, true, {0, 0, 1, 1}, 8},     // a band's core rows
                                           RowsCase{0, 0, true, {1, 2, 0, 3}, 1},
                                           RowsCase{2, 1, false, {0, 0, 0, 0}, 6},    // cut right and below
                                           RowsCase{-3, -3, false, {0, 0, 0, 0}, 1},  // cut left and above
                                           RowsCase{0, 0, true, {2, 2, 0, 0}, 0},     // empty rectangle
                                           RowsCase{INT32_MAX, INT32_MIN, false, {0, 0, 0, 0}, 0},
                                           RowsCase{0, 0, true, {-5, -5, -5, -5}, 16}));  // never reads outside

TEST(ImageBufferOwnership, MoveTransfersOwnershipAndSelfMoveIsSafe) {
    ImageBuffer a = makeBuffer(true, 3, 2, 4);
    void* samples = a.data;
    ImageBuffer b(std::move(a));
    EXPECT_EQ(b.data, samples);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.owns, 0);
    ImageBuffer c = makeBuffer(false, 1, 1, 1);
    c = std::move(b);  // frees c's own bytes (the sanitizer build checks)
    ImageBuffer& alias = c;
    c = std::move(alias);
    EXPECT_EQ(c.data, samples);
    EXPECT_EQ(c.owns, 1);
    EXPECT_EQ(c.floats()[23], 24.0f);

    // Wrapped samples are never freed, neither by release nor by a new allocation.
    std::vector<uint8_t> outside(12, 7);
    c.wrap(outside.data(), 2, 2, 3);
    ASSERT_TRUE(c.allocate8(1, 1, 0));
    EXPECT_EQ(c.channels, 3);
    c.wrap(outside.data(), 2, 2, 3);
    c.release();
    EXPECT_EQ(outside[11], 7);
}

TEST(ImageBufferSize, SizesAreComputedIn64Bits) {
    ImageBuffer b;
    b.width = 50000;
    b.height = 50000;
    b.channels = 4;
    EXPECT_EQ(b.sampleCount(), 10000000000LL);
    b.width = 0;
    EXPECT_EQ(b.sampleCount(), 0);

    // A size no memory can hold fails cleanly and leaves the buffer empty.
    ImageBuffer huge;
    EXPECT_FALSE(huge.allocateFloat(INT32_MAX, INT32_MAX, 4));
    EXPECT_EQ(huge.data, nullptr);
    EXPECT_EQ(huge.sampleCount(), 0);
    EXPECT_TRUE(huge.allocateFloat(0, 5, 3));  // nothing to allocate is no failure
}

TEST(SaturatingInt, SaturatesNonFiniteAndHugeValues) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in;
        int32_t want;
    } cases[] = {{-0.9, 0},         {2.9, 2},          {-2.9, -2},       {2147483646.5, 2147483646},
                 {2147483647.0, INT32_MAX}, {1e300, INT32_MAX}, {inf, INT32_MAX}, {-2147483648.9, INT32_MIN},
                 {-inf, INT32_MIN}, {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto& c : cases) EXPECT_EQ(saturatingInt(c.in), c.want) << c.in;
}
