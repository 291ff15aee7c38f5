// The colour borders: Fill Border and Basic Border, their output sizes,
// their placement of the photo (the content insets), their paint, and the
// geometry step with a border.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "effects/borders/BasicBorder.h"
#include "effects/borders/FillBorder.h"
#include "framework/CropMod.h"
#include "render/OutputGeometry.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

using testimages::floatAt;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kRed[4] = {255.0f, 0.0f, 0.0f, 128.0f};

struct Size {
    float w, h;
};

Size contentSize(BorderMod& border, float w, float h, const float* margins = nullptr, float angle = 0.0f) {
    Size s{0, 0};
    border.contentSizeFor(margins, &s.w, &s.h, w, h, angle);
    return s;
}

// The placement of a source of w x h at exactly the border's full size, or
// into the given target.
ImageBuffer place(BorderMod& border, int32_t w, int32_t h, float targetW = 0, float targetH = 0, bool exact = true) {
    const ImageBuffer source = testimages::makeFloatImage(w, h, 3);
    const Size full = contentSize(border, static_cast<float>(w), static_cast<float>(h));
    ImageBuffer dest;
    border.fitImageFloat(&source, &dest, nullptr, exact, targetW > 0 ? targetW : full.w,
                         targetH > 0 ? targetH : full.h, 0.0f);
    return dest;
}

void expectInsets(const ImageBuffer& image, int32_t l, int32_t r, int32_t t, int32_t b) {
    EXPECT_EQ(image.insetLeft, l);
    EXPECT_EQ(image.insetRight, r);
    EXPECT_EQ(image.insetTop, t);
    EXPECT_EQ(image.insetBottom, b);
}

// An image whose content insets are set, as the placement leaves it.
ImageBuffer framedImage(int32_t w, int32_t h, int32_t channels, int32_t inset) {
    ImageBuffer image = tiletest::makeTestImage(w, h, channels);
    image.insetLeft = image.insetRight = image.insetTop = image.insetBottom = inset;
    return image;
}

}  // namespace

TEST(FillBorderTile, OutputSizes) {
    struct Case {
        float ratio, inW, inH, outW, outH;
    };
    const Case cases[] = {
        {1.0f, 3000, 2000, 3000, 3000}, {2.0f, 3000, 2000, 4000, 2000}, {1.5f, 3000, 2000, 3000, 2000}};
    for (const Case& c : cases) {
        FillBorder border(nullptr);
        border.floatAt(0)->value = c.ratio;
        const Size s = contentSize(border, c.inW, c.inH);
        EXPECT_EQ(s.w, c.outW) << c.ratio;
        EXPECT_EQ(s.h, c.outH) << c.ratio;
        EXPECT_EQ(border.borderAspectFor(0.3f), c.ratio);
    }
    // A ratio that is not positive gives no finite size, and the geometry
    // step says so (not that the picture is too large).
    FillBorder zero(nullptr);
    zero.floatAt(0)->value = 0.0f;
    EXPECT_FALSE(std::isfinite(contentSize(zero, 3000, 2000).h));
    zero.floatAt(0)->value = kNaN;
    EXPECT_FALSE(std::isfinite(contentSize(zero, 3000, 2000).w));
    for (float ratio : {0.0f, kNaN}) {
        zero.floatAt(0)->value = ratio;
        GrowArray<ImageMod*> chain;
        chain.append(&zero);
        OutputGeometry geometry;
        GrowString reason;
        EXPECT_FALSE(computeOutputGeometry(chain, 64, 48, geometry, &reason));
        EXPECT_STREQ(reason.c_str(), "the border \"Fill Out\" gives a size that is not a finite number") << ratio;
    }
}

TEST(FillBorderTile, PlacementCentresThePhoto) {
    FillBorder border(nullptr);
    ImageBuffer placed = place(border, 300, 200);
    EXPECT_EQ(placed.width, 300);
    EXPECT_EQ(placed.height, 300);
    expectInsets(placed, 0, 0, 50, 50);

    border.floatAt(0)->value = 2.0f;
    placed = place(border, 300, 200);
    EXPECT_EQ(placed.width, 400);
    expectInsets(placed, 50, 50, 0, 0);

    border.floatAt(0)->value = 1.5f;  // the photo has the ratio: no bars
    placed = place(border, 300, 200);
    expectInsets(placed, 0, 0, 0, 0);
    // An odd leftover row belongs to the photo: both bars stay 0.
    placed = place(border, 300, 200, 300, 201);
    EXPECT_EQ(placed.height, 201);
    expectInsets(placed, 0, 0, 0, 0);
    // Not exact: the framed size fitted into the target.
    border.floatAt(0)->value = 1.0f;
    placed = place(border, 300, 200, 600, 400, false);
    EXPECT_EQ(placed.width, 400);
    EXPECT_EQ(placed.height, 400);
    expectInsets(placed, 0, 0, 66, 66);
}

TEST(FillBorderTile, PaintsOutsideTheInsets) {
    FillBorder border(kRed);
    ImageBuffer image = framedImage(20, 30, 4, 0);
    image.insetTop = 5;
    image.insetBottom = 4;
    const ImageBuffer before = tiletest::copyOf(image);
    const ImageBuffer out = tiletest::renderFloat(border, image);
    for (int32_t y : {0, 4, 26, 29})
        for (int32_t c = 0; c < 4; ++c) EXPECT_EQ(floatAt(out, 7, y, c), kRed[c]) << y;
    for (int32_t y : {5, 25})
        for (int32_t c = 0; c < 4; ++c) EXPECT_EQ(floatAt(out, 7, y, c), floatAt(before, 7, y, c)) << y;
    const ImageBuffer out8 = tiletest::render8(border, tiletest::bytesOf(image));
    EXPECT_EQ(testimages::byteAt(out8, 0, 0, 3), 128);
}

TEST(BasicBorderTile, BandWidthsAndOutputSizes) {
    struct Case {
        float thickness, inW, inH, outW, outH;
    };
    const Case cases[] = {
        {5.0f, 3000, 2000, 3200, 2200},
        {0.0f, 3000, 2000, 3000, 2000},   // no band
        {0.01f, 50, 50, 52, 52},          // at least one pixel when positive
        {1.0f, 800, 800, 816, 816},
        {kNaN, 3000, 2000, 3000, 2000},
    };
    for (const Case& c : cases) {
        BasicBorder border(true, nullptr);
        border.floatAt(0)->value = c.thickness;
        const Size s = contentSize(border, c.inW, c.inH);
        EXPECT_EQ(s.w, c.outW) << c.thickness;
        EXPECT_EQ(s.h, c.outH) << c.thickness;
    }
    BasicBorder border(true, nullptr);
    EXPECT_FLOAT_EQ(border.borderAspectFor(1.5f), 1600.0f / 1100.0f);
}

// The photo is placed inside the band width used for the output size: the
// 800 x 800 photo with Thickness 1 gets 8 pixels on each side (recomputing
// from the 816 output side would give 7 and resample the photo).
TEST(BasicBorderTile, PlacementUsesTheSizingBandWidth) {
    struct Case {
        float thickness;
        int32_t w, h, band;
    };
    const Case cases[] = {{1.0f, 800, 800, 8}, {5.0f, 300, 200, 10}, {0.0f, 300, 200, 0}, {0.01f, 50, 40, 1}};
    for (const Case& c : cases) {
        BasicBorder border(false, nullptr);
        border.floatAt(0)->value = c.thickness;
        const ImageBuffer placed = place(border, c.w, c.h);
        EXPECT_EQ(placed.width, c.w + 2 * c.band) << c.thickness;
        expectInsets(placed, c.band, c.band, c.band, c.band);
    }
    // The photo is drawn one to one inside the band.
    BasicBorder border(false, nullptr);
    border.floatAt(0)->value = 1.0f;
    const ImageBuffer source = testimages::makeFloatImage(800, 800, 3);
    ImageBuffer dest;
    border.fitImageFloat(&source, &dest, nullptr, true, 816.0f, 816.0f, 0.0f);
    EXPECT_EQ(floatAt(dest, 8, 8, 0), floatAt(source, 0, 0, 0));
    EXPECT_EQ(floatAt(dest, 807, 807, 2), floatAt(source, 799, 799, 2));
    // In a reduced render the band scales with the fit.
    border.floatAt(0)->value = 5.0f;
    const ImageBuffer half = place(border, 300, 200, 160, 110);
    expectInsets(half, 5, 5, 5, 5);
}

TEST(BasicBorderTile, CornerWeights) {
    const float R = 100.0f;
    struct Case {
        float d, weight;
    };
    const Case cases[] = {{100.0f, 1.0f}, {120.0f, 1.0f}, {99.0f, 0.125f}, {98.9f, 0.0f}, {97.0f, 0.0f}};
    for (const Case& c : cases) EXPECT_NEAR(roundedCornerWeight(c.d * c.d, R), c.weight, 1e-4f) << c.d;
    EXPECT_EQ(roundedCornerWeight(0.0f, 1.0f), 0.0f);
    EXPECT_EQ(roundedCornerWeight(kNaN, R), 0.0f);
}

TEST(BasicBorderTile, PaintsFromTheRecordedInsets) {
    BasicBorder border(false, kRed);
    border.floatAt(0)->value = 50.0f;  // the thickness does not decide the paint
    ImageBuffer image = framedImage(40, 30, 3, 0);
    image.insetLeft = 3;
    image.insetRight = 2;
    image.insetTop = 4;
    image.insetBottom = 1;
    const ImageBuffer out = tiletest::renderFloat(border, image);
    EXPECT_EQ(floatAt(out, 2, 15, 0), 255.0f);
    EXPECT_EQ(floatAt(out, 3, 15, 0), floatAt(image, 3, 15, 0));
    EXPECT_EQ(floatAt(out, 37, 15, 0), floatAt(image, 37, 15, 0));
    EXPECT_EQ(floatAt(out, 38, 15, 1), 0.0f);
    EXPECT_EQ(floatAt(out, 20, 3, 2), 0.0f);
    EXPECT_EQ(floatAt(out, 20, 4, 2), floatAt(image, 20, 4, 2));
    EXPECT_EQ(floatAt(out, 20, 29, 0), 255.0f);
}

// A band of a 320 x 220 picture (insets 10, Rounding 20: corner radius 20)
// that starts at row 25 paints the same pixels as the whole picture does
// there, and nothing outside itself: the corner square reaches rows 10..29.
TEST(BasicBorderTile, CornersAreClippedToTheBand) {
    BasicBorder border(false, kRed);  // straight, but a stored Rounding rounds
    border.floatAt(1)->value = 20.0f;
    const ImageBuffer whole = tiletest::renderFloat(border, framedImage(320, 220, 3, 10));
    ImageBuffer band = testimages::makeFloatImage(320, 10, 3);
    const ImageBuffer source = framedImage(320, 220, 3, 10);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 320; ++x)
            for (int32_t c = 0; c < 3; ++c) floatAt(band, x, y, c) = floatAt(source, x, y + 25, c);
    RenderRegion region;
    region.fullWidth = 320;
    region.fullHeight = 220;
    region.originY = 25;
    region.insetLeft = region.insetRight = region.insetTop = region.insetBottom = 10;
    RenderArgs args;
    args.region = &region;
    border.processFloat(band, &args);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 320; ++x)
            for (int32_t c = 0; c < 3; ++c) ASSERT_EQ(floatAt(band, x, y, c), floatAt(whole, x, y + 25, c)) << x << "," << y;
    // The corner really is rounded: inside the square, off the circle.
    EXPECT_EQ(floatAt(whole, 10, 10, 0), 255.0f);
    EXPECT_EQ(floatAt(whole, 20, 20, 1), floatAt(source, 20, 20, 1));
}

TEST(BorderTiles, OutputGeometry) {
    struct Case {
        const char* what;
        BorderMod* border;
        int32_t inW, inH;
        bool ok;
        int32_t outW, outH;
    };
    FillBorder* thin = new FillBorder(nullptr);
    thin->floatAt(0)->value = 0.001f;  // 6000 x 4000 would need 6 million rows
    FillBorder* zero = new FillBorder(nullptr);
    zero->floatAt(0)->value = 0.0f;
    const Case cases[] = {
        {"Fill Border 1", new FillBorder(nullptr), 3000, 2000, true, 3000, 3000},
        {"Basic Border 5", new BasicBorder(true, nullptr), 3000, 2000, true, 3200, 2200},
        {"Fill Border 0.001", thin, 6000, 4000, false, 0, 0},
        {"Fill Border 0", zero, 6000, 4000, false, 0, 0},
    };
    for (const Case& c : cases) {
        GrowArray<ImageMod*> chain;
        chain.append(c.border);
        OutputGeometry g;
        EXPECT_EQ(computeOutputGeometry(chain, c.inW, c.inH, g), c.ok) << c.what;
        EXPECT_EQ(g.width, c.outW) << c.what;
        EXPECT_EQ(g.height, c.outH) << c.what;
        delete c.border;
    }
    // Crop, border and drawing together: the cropped 300 x 200 photo
    // (240 x 150) in a Fill Border of ratio 1.
    GrowArray<ImageMod*> chain;
    CropMod* crop = new CropMod();
    crop->floatAt(kCropLeft)->value = 0.1f;
    crop->floatAt(kCropRight)->value = 0.1f;
    crop->floatAt(kCropBottom)->value = 0.25f;
    chain.append(crop);
    chain.append(new FillBorder(nullptr));
    OutputGeometry g;
    ASSERT_TRUE(computeOutputGeometry(chain, 300, 200, g));
    EXPECT_EQ(g.width, 240);
    EXPECT_EQ(g.height, 240);
    const ImageBuffer source = testimages::makeFloatImage(300, 200, 3);
    ImageBuffer dest;
    ASSERT_TRUE(applyChainGeometry(source, g, dest));
    expectInsets(dest, 0, 0, 45, 45);
    EXPECT_EQ(floatAt(dest, 0, 45, 0), floatAt(source, 30, 0, 0));
    for (ImageMod* mod : chain) delete mod;
}

TEST(BorderTiles, TileProperties) {
    FillBorder fill(kRed);
    fill.floatAt(0)->value = 1.25f;
    BasicBorder rounded(true, kRed);
    rounded.floatAt(1)->value = 100.0f;
    BasicBorder straight(false, nullptr);
    std::unique_ptr<ImageMod> copy(duplicateMod(straight));
    EXPECT_EQ(static_cast<BasicBorder*>(copy.get())->rounded, 0);
    for (BorderMod* tile : std::initializer_list<BorderMod*>{&fill, &rounded, &straight}) {
        SCOPED_TRACE(tile->name.c_str());
        tiletest::expectBandedEqualsWhole(*tile, framedImage(40, 90, 4, 6));
        tiletest::expect8BitWithinLevel(*tile, framedImage(40, 90, 3, 6));
        tiletest::expectCloneCopyFromEquals(*tile);
        tiletest::expectFilterRoundTrip(*tile);
    }
}

// Hostile sizes and angles reach no integer conversion and no unbounded
// allocation: each border either draws a picture within the budget or
// leaves the destination empty.
TEST(BorderTiles, HostileSizesAndAngles) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        float width, height, angle, margin;
    };
    const Case cases[] = {
        {"NaN angle", 64, 48, kNaN, 0},      {"infinite angle", 64, 48, inf, 0},
        {"huge angle", 64, 48, 1e30f, 0},    {"NaN margin", 64, 48, 0, kNaN},
        {"huge target", 1e12f, 1e12f, 0, 0}, {"NaN target", kNaN, 48, 0, 0},
        {"negative target", -64, 48, 0, 0},  {"margins past the side", 64, 48, 0, 1.5f},
    };
    const ImageBuffer source = testimages::makeFloatImage(30, 20, 3);
    ImageBuffer source8;
    ImageBuffer::copy8FromFloat(source8, source, true);
    FillBorder fill(nullptr);
    BasicBorder basic(true, nullptr);
    basic.floatAt(1)->value = 100.0f;
    for (BorderMod* border : std::initializer_list<BorderMod*>{&fill, &basic}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << border->name.c_str() << ": " << c.what);
            const float margins[4] = {c.margin, c.margin, 0.0f, 0.0f};
            float w = 0, h = 0;
            border->contentSizeFor(margins, &w, &h, 30.0f, 20.0f, c.angle);
            for (bool exact : {true, false}) {
                ImageBuffer dest;
                border->fitImageFloat(&source, &dest, margins, exact, c.width, c.height, c.angle);
                EXPECT_LE(static_cast<int64_t>(dest.width) * dest.height, int64_t(1000000000));
                ImageBuffer dest8;
                border->fitImage8(&source8, &dest8, margins, exact, c.width, c.height, c.angle);
                if (dest.data) tiletest::renderFloat(*border, dest);
            }
        }
        EXPECT_TRUE(std::isfinite(border->borderAspectFor(1.5f)));
        border->borderAspectFor(kNaN);
        border->borderAspectFor(inf);
    }
}
