// The output geometry of a render: the straighten factor and fit rule of the
// border base, the crop tile, the geometry step with its caller's limit and
// pixel budget, the drawing into the starting buffer, and the pixel scale a
// band sees when a render has no request region.
#include <gtest/gtest.h>

#include <math.h>

#include <algorithm>
#include <atomic>
#include <limits>

#include "RenderFixtures.h"
#include "framework/CropMod.h"
#include "framework/SizingMod.h"
#include "render/BorderMod.h"
#include "render/OutputGeometry.h"
#include "render/RenderContext.h"
#include "support/ImageBuilders.h"

using namespace rendertest;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// A sizing tile that answers fixed sizes (or halves the input) and records
// what it was asked.
class FixedSizeTile : public SizingMod {
public:
    FixedSizeTile(float w, float h, bool halve = false)
        : SizingMod(GrowString("Fixed Size"), GrowString("Fixed Size")), w(w), h(h), halve(halve) {}
    ImageMod* clone() const override { return new FixedSizeTile(w, h, halve); }
    float outputWidth(float inW, float inH) override {
        askedWidth[0] = inW;
        askedWidth[1] = inH;
        return halve ? inW * 0.5f : w;
    }
    float outputHeight(float inW, float inH) override {
        askedHeight[0] = inW;
        askedHeight[1] = inH;
        return halve ? inH * 0.5f : h;
    }
    float w, h;
    bool halve;
    float askedWidth[2] = {0, 0};
    float askedHeight[2] = {0, 0};
};

// Remembers the pixel scale of the band record its clones are handed (the
// render context runs clones of the chain).
std::atomic<float> gSeenScale{0.0f};
class ScaleProbeTile : public ImageMod {
public:
    ScaleProbeTile() : ImageMod(GrowString("Scale Probe"), GrowString("Scale Probe")) {}
    ImageMod* clone() const override { return new ScaleProbeTile(); }
    void processFloat(ImageBuffer&, const RenderArgs* args) override {
        if (args && args->region) gSeenScale.store(args->region->scale);
    }
    void process8(ImageBuffer& image, const RenderArgs* args) override { processFloat(image, args); }
};

// A border of the base's geometry: the picture fitted exactly to the size.
class PlainBorder : public BorderMod {
public:
    PlainBorder() : BorderMod(GrowString("Plain Border"), GrowString("Plain Border")) {}
    ImageMod* clone() const override { return new PlainBorder(); }
};

CropMod* addCrop(OwnedChain& chain, float l, float r, float t, float b, float angle) {
    CropMod* crop = chain.add(new CropMod());
    const float values[5] = {l, r, t, b, angle};
    for (int32_t i = 0; i < 5; ++i) crop->floatAt(i)->value = values[i];
    return crop;
}

}  // namespace

TEST(StraightenFactor, WorkedValuesAndFolding) {
    EXPECT_EQ(straightenFactor(3000.0f, 2000.0f, 0.0f), 1.0f);
    EXPECT_EQ(straightenFactor(1000.0f, 1000.0f, 45.0f), 0.70710677f);
    struct Fold {
        float angle, same;
    };
    const Fold folds[] = {{90.0f, 270.0f}, {-30.0f, 30.0f}, {200.5f, 20.5f}, {135.0f, 45.0f}, {-380.0f, 20.0f}};
    for (const Fold& f : folds)
        EXPECT_EQ(straightenFactor(3000.0f, 2000.0f, f.angle), straightenFactor(3000.0f, 2000.0f, f.same)) << f.angle;
    EXPECT_TRUE(isnan(straightenFactor(3000.0f, 2000.0f, kNaN)));
    EXPECT_TRUE(isnan(straightenFactor(3000.0f, 2000.0f, kInf)));
    // A huge finite angle folds without an integer overflow.
    EXPECT_TRUE(isfinite(straightenFactor(3000.0f, 2000.0f, 1e30f)));
}

TEST(StraightenFactor, CroppedSizeAndFitRule) {
    const float margins[4] = {0.1f, 0.1f, 0.0f, 0.25f};
    float w = 0.0f, h = 0.0f;
    straightenedCroppedSize(margins, 3000.0f, 2000.0f, 0.0f, &w, &h);
    EXPECT_FLOAT_EQ(w, 2400.0f);
    EXPECT_FLOAT_EQ(h, 1500.0f);
    straightenedCroppedSize(nullptr, 1000.0f, 1000.0f, 45.0f, &w, &h);
    EXPECT_NEAR(w, 707.1f, 0.01f);
    fitIntoBox(2400.0f, 1500.0f, 1000.0f, 1000.0f, &w, &h);
    EXPECT_EQ(w, 1000.0f);
    EXPECT_EQ(h, 625.0f);
}

TEST(StraightenFactor, PictureSizeGuards) {
    struct Case {
        double w, h;
        bool ok;
        int32_t outW, outH;
    };
    const Case cases[] = {
        {1200.9, 900.2, true, 1200, 900},   {1.0, 1.0, true, 1, 1},           {0.99, 5.0, false, 0, 0},
        {kNaN, 5.0, false, 0, 0},           {5.0, kInf, false, 0, 0},         {-3.0, 5.0, false, 0, 0},
        {31623.0, 31623.0, false, 0, 0},    {1e9, 1.0, true, 1000000000, 1}, {100000.0, 100000.0, false, 0, 0},
        {1e30, 1e30, false, 0, 0},
    };
    for (const Case& c : cases) {
        int32_t w = -1, h = -1;
        EXPECT_EQ(pictureSize(c.w, c.h, &w, &h), c.ok) << c.w << " x " << c.h;
        EXPECT_EQ(w, c.outW);
        EXPECT_EQ(h, c.outH);
    }
}

TEST(CropTile, Margins) {
    CropMod crop;
    EXPECT_TRUE(crop.isNeutral());

    float m[4];
    crop.floatAt(kCropLeft)->value = 0.8f;
    crop.floatAt(kCropRight)->value = 0.8f;  // together more than the side
    crop.floatAt(kCropTop)->value = -1.0f;
    crop.floatAt(kCropBottom)->value = 5.0f;
    EXPECT_TRUE(crop.cropMargins(m));
    EXPECT_FLOAT_EQ(m[0] + m[1], 0.99f);
    EXPECT_EQ(m[2], 0.0f);
    EXPECT_EQ(m[3], 0.99f);
    EXPECT_FALSE(crop.isNeutral());
}

TEST(OutputGeometry, PlainChainAndCrop) {
    OwnedChain chain;
    OutputGeometry g;
    ASSERT_TRUE(computeOutputGeometry(chain.list, 4000, 3000, g));
    EXPECT_EQ(g.width, 4000);
    EXPECT_EQ(g.height, 3000);
    EXPECT_TRUE(g.isIdentity());

    addCrop(chain, 0.1f, 0.1f, 0.0f, 0.25f, 0.0f);
    ASSERT_TRUE(computeOutputGeometry(chain.list, 3000, 2000, g));
    EXPECT_EQ(g.width, 2400);
    EXPECT_EQ(g.height, 1500);
    EXPECT_FALSE(g.isIdentity());

    // A disabled crop, and the crop switched off by the caller, change nothing.
    chain.list[0]->enabled = 0;
    ASSERT_TRUE(computeOutputGeometry(chain.list, 3000, 2000, g));
    EXPECT_EQ(g.width, 3000);
    chain.list[0]->enabled = 1;
    GeometryOptions noCrop;
    noCrop.useCrop = false;
    ASSERT_TRUE(computeOutputGeometry(chain.list, 3000, 2000, noCrop, g));
    EXPECT_EQ(g.width, 3000);
    EXPECT_EQ(g.height, 2000);
}

TEST(OutputGeometry, SizingGetsThePreSizingSizeTwice) {
    OwnedChain chain;
    FixedSizeTile* sizing = chain.add(new FixedSizeTile(0.0f, 0.0f, true));  // halves each side
    OutputGeometry g;
    ASSERT_TRUE(computeOutputGeometry(chain.list, 4001, 3001, g));
    EXPECT_EQ(sizing->askedWidth[0], 4001.0f);
    EXPECT_EQ(sizing->askedHeight[0], 4001.0f);  // not the new width
    EXPECT_EQ(sizing->askedHeight[1], 3001.0f);
    EXPECT_EQ(g.width, 2000);  // 2000.5 truncated
    EXPECT_EQ(g.height, 1500);
}

TEST(OutputGeometry, CallerLimitKeepsAspectAndTruncates) {
    OwnedChain chain;
    // A size with a fraction: 300.5 x 200 from a 601 x 400 source.
    OwnedChain fractional;
    fractional.add(new FixedSizeTile(300.5f, 200.0f));
    struct Case {
        bool fraction;
        int32_t maxW, maxH, w, h;
    };
    const Case cases[] = {
        {false, 1200, 0, 1200, 900}, {false, 0, 600, 800, 600}, {false, 1000, 1000, 1000, 750},
        {false, 8000, 8000, 4000, 3000}, {false, 1, 1, 1, 1},
        {false, 3, 0, 3, 2},  // 2.25 truncated
        // A limit of the whole-pixel size (the view at full size, a save at
        // the chain's own size) changes nothing; a smaller one scales the
        // size with its fraction.
        {true, 300, 200, 300, 200}, {true, 300, 0, 300, 200}, {true, 0, 200, 300, 200},
        {true, 301, 199, 298, 199}, {true, 150, 0, 150, 99},
    };
    for (const Case& c : cases) {
        GeometryOptions options;
        options.maxWidth = c.maxW;
        options.maxHeight = c.maxH;
        OutputGeometry g;
        ASSERT_TRUE(computeOutputGeometry(c.fraction ? fractional.list : chain.list, c.fraction ? 601 : 4000,
                                          c.fraction ? 400 : 3000, options, g));
        EXPECT_EQ(g.width, c.w) << c.fraction << " " << c.maxW << " " << c.maxH;
        EXPECT_EQ(g.height, c.h) << c.fraction << " " << c.maxW << " " << c.maxH;
    }
    // A size below one pixel becomes one pixel.
    chain.add(new FixedSizeTile(0.4f, 300.0f));
    OutputGeometry g;
    ASSERT_TRUE(computeOutputGeometry(chain.list, 4000, 3000, g));
    EXPECT_EQ(g.width, 1);
    EXPECT_EQ(g.height, 300);
}

// An exact size (a save at the size its dialog showed, one side rounded to
// the nearest pixel) is the picture's size, where the limit would scale to
// fit and truncate a pixel away; the drawing fills it at one scale, the
// photo's pixels per picture pixel of the side it fills whole.
TEST(OutputGeometry, AnExactSizeIsThePicturesSize) {
    const float kWide = (1.0f - 600.0f / (16.0f / 9.0f) / 400.0f) / 2.0f;  // a 16:9 crop's top and bottom of 600 x 400
    struct Case {
        const char* what;
        int32_t sourceW, sourceH;
        float cropTopBottom;
        bool border;
        int32_t w, h;            // the exact size
        int32_t limitW, limitH;  // what the same numbers give as a limit
    };
    const Case cases[] = {
        {"600 x 400, width 100", 600, 400, 0.0f, false, 100, 67, 100, 66},
        {"600 x 400, width 101 (rounded down)", 600, 400, 0.0f, false, 101, 67, 100, 67},
        {"3001 x 1999, width 301", 3001, 1999, 0.0f, false, 301, 200, 300, 200},
        {"1999 x 3001, height 301", 1999, 3001, 0.0f, false, 200, 301, 200, 300},
        {"1 x 1000, height 500", 1, 1000, 0.0f, false, 1, 500, 1, 500},
        {"16:9 crop of 600 x 400, width 100", 600, 400, kWide, false, 100, 56, 99, 56},
        {"16:9 crop of 600 x 400, height 330", 600, 400, kWide, false, 588, 330, 586, 330},
        {"a border's picture", 600, 400, 0.0f, true, 100, 67, 100, 66},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OwnedChain chain;
        if (c.cropTopBottom > 0.0f) addCrop(chain, 0.0f, 0.0f, c.cropTopBottom, c.cropTopBottom, 0.0f);
        if (c.border) chain.add(new PlainBorder());
        GeometryOptions options;
        options.maxWidth = c.w;
        options.maxHeight = c.h;
        OutputGeometry limited;
        ASSERT_TRUE(computeOutputGeometry(chain.list, c.sourceW, c.sourceH, options, limited));
        EXPECT_EQ(limited.width, c.limitW);
        EXPECT_EQ(limited.height, c.limitH);

        options.exactSize = true;
        OutputGeometry g;
        ASSERT_TRUE(computeOutputGeometry(chain.list, c.sourceW, c.sourceH, options, g));
        EXPECT_EQ(g.width, c.w);
        EXPECT_EQ(g.height, c.h);
        const ImageBuffer source = testimages::makeFloatImage(c.sourceW, c.sourceH, 3);
        ImageBuffer picture;
        ASSERT_TRUE(applyChainGeometry(source, g, picture));
        EXPECT_EQ(picture.width, c.w);
        EXPECT_EQ(picture.height, c.h);
        const double contentW = c.sourceW;
        const double contentH = c.sourceH * (1.0 - 2.0 * c.cropTopBottom);
        const double fills = std::min(contentW / c.w, contentH / c.h);
        EXPECT_NEAR(picture.scale, fills, fills * 1e-5);
    }
    // One side alone is a limit still.
    OwnedChain chain;
    GeometryOptions options;
    options.maxWidth = 100;
    options.exactSize = true;
    OutputGeometry g;
    ASSERT_TRUE(computeOutputGeometry(chain.list, 600, 400, options, g));
    EXPECT_EQ(g.width, 100);
    EXPECT_EQ(g.height, 66);
}

// Each failure names its cause and the tile behind it.
TEST(OutputGeometry, HostileSizesAndAnglesFail) {
    struct Case {
        const char* what;
        float w, h, angle, margin;
        int32_t sourceW, sourceH;
        const char* reason;
    };
    const Case cases[] = {
        {"beyond a gigapixel", 100000.0f, 100000.0f, 0.0f, 0.0f, 3000, 2000,
         "the picture would be 100000 x 100000 pixels, beyond one gigapixel"},
        {"infinite width", kInf, 100.0f, 0.0f, 0.0f, 3000, 2000,
         "the output size \"Fixed Size\" gives a size that is not a finite number"},
        {"NaN height", 100.0f, kNaN, 0.0f, 0.0f, 3000, 2000,
         "the output size \"Fixed Size\" gives a size that is not a finite number"},
        {"NaN angle", 100.0f, 100.0f, kNaN, 0.0f, 3000, 2000,
         "the crop's margins or straighten angle are not finite numbers"},
        {"infinite angle", 100.0f, 100.0f, -kInf, 0.0f, 3000, 2000,
         "the crop's margins or straighten angle are not finite numbers"},
        {"NaN margin", 100.0f, 100.0f, 0.0f, kNaN, 3000, 2000,
         "the crop's margins or straighten angle are not finite numbers"},
        {"empty source", 100.0f, 100.0f, 0.0f, 0.0f, 0, 2000, "the photo leaves a side of 0 pixels (0 x 2000)"},
        {"negative width", -5.0f, 100.0f, 0.0f, 0.0f, 3000, 2000,
         "the output size \"Fixed Size\" leaves a side of 0 pixels (-5 x 100)"},
    };
    for (const Case& c : cases) {
        OwnedChain chain;
        addCrop(chain, c.margin, 0.0f, 0.0f, 0.0f, c.angle);
        chain.add(new FixedSizeTile(c.w, c.h));
        OutputGeometry g;
        GrowString reason;
        EXPECT_FALSE(computeOutputGeometry(chain.list, c.sourceW, c.sourceH, g, &reason)) << c.what;
        EXPECT_EQ(g.width, 0) << c.what;
        EXPECT_EQ(g.height, 0) << c.what;
        EXPECT_STREQ(reason.c_str(), c.reason) << c.what;
    }
    // The caller's limit brings a huge size back within the budget.
    OwnedChain chain;
    chain.add(new FixedSizeTile(200000.0f, 100000.0f));
    GeometryOptions options;
    options.maxWidth = 2000;
    OutputGeometry g;
    ASSERT_TRUE(computeOutputGeometry(chain.list, 10, 10, options, g));
    EXPECT_EQ(g.width, 2000);
    EXPECT_EQ(g.height, 1000);
}

TEST(OutputGeometry, ApplyDrawsCropAndStraighten) {
    const ImageBuffer source = testimages::makeFloatImage(300, 200, 3);
    OwnedChain chain;
    addCrop(chain, 0.1f, 0.1f, 0.0f, 0.25f, 0.0f);
    OutputGeometry g;
    ASSERT_TRUE(computeOutputGeometry(chain.list, source.width, source.height, g));
    ImageBuffer dest;
    dest.insetLeft = 9;  // stale insets of an earlier use are cleared
    ASSERT_TRUE(applyChainGeometry(source, g, dest));
    EXPECT_EQ(dest.width, 240);
    EXPECT_EQ(dest.height, 150);
    EXPECT_EQ(dest.insetLeft, 0);
    // One to one: the pixel at (0, 0) is the source's at (30, 0).
    EXPECT_EQ(dest.floats()[0], source.floats()[30 * 3]);

    ImageBuffer source8;
    ImageBuffer::copy8FromFloat(source8, source, true);
    ImageBuffer dest8;
    ASSERT_TRUE(applyChainGeometry8(source8, g, dest8));
    EXPECT_EQ(dest8.width, 240);
    EXPECT_EQ(dest8.bytes()[0], source8.bytes()[30 * 3]);

    OutputGeometry failed;
    EXPECT_FALSE(applyChainGeometry(source, failed, dest));
}

// Without a request region every band sees the picture's own pixel scale,
// the scale marginFor is given (a reduced preview has a scale above 1).
TEST(OutputGeometry, BandsSeeThePictureScaleWithoutRegion) {
    ThreadCountGuard guard;
    for (int32_t threads : {1, 3}) {
        setParallelThreadCount(threads);
        OwnedChain chain;
        chain.add(new ScaleProbeTile());
        gSeenScale.store(0.0f);
        ImageBuffer image = testimages::makeFloatImage(40, 30, 3);
        image.scale = 2.5f;
        RenderContext context(0);
        EXPECT_TRUE(context.render(chain.list, &image, nullptr, -1, 0, nullptr));
        EXPECT_EQ(gSeenScale.load(), 2.5f) << threads;
    }
}
