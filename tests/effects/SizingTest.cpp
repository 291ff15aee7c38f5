// The sizing tiles: Maximum Size ("Output Size"), Exact Size and Aspect
// Ratio, alone and through the output geometry step of a render.
#include <gtest/gtest.h>

#include <limits>

#include "effects/sizing/OutputRatio.h"
#include "effects/sizing/OutputSize.h"
#include "foundation/XmlNode.h"
#include "framework/FilterFile.h"
#include "render/OutputGeometry.h"
#include "support/TileProperties.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Size {
    float w, h;
};

Size sizeOf(SizingMod& tile, float w, float h) { return {tile.outputWidth(w, h), tile.outputHeight(w, h)}; }

void setLimits(OutputSizeMod& tile, float w, float h, float side) {
    tile.floatAt(0)->value = w;
    tile.floatAt(1)->value = h;
    tile.floatAt(2)->value = side;
}

void choose(AspectRatioMod& tile, int32_t option) { tile.var(0)->choiceValue()->selected = option; }

}  // namespace

TEST(OutputSizeTile, WorkedSizes) {
    struct Case {
        float width, height, side, inW, inH, outW, outH;
    };
    const Case cases[] = {
        {1200, 1200, 0, 4000, 3000, 1200, 900},
        {1200, 1200, 0, 600, 800, 900, 1200},    // enlarged to the box
        {1200, 1200, 0, 100, 100, 1200, 1200},
        {0, 0, 0, 3000, 2000, 3000, 2000},       // no limit
        {1200, 0, 0, 4000, 3000, 1200, 900},
        {1200, 0, 0, 800, 600, 800, 600},        // the free side never grows
        {0, 0, 1000, 3000, 2000, 1000, 667},     // 666.67 + 0.5 truncated
        {1200, 1200, 0, 1, 5000, 1, 1200},       // 0.24 + 0.5 truncates to 0, stored as 1
        {kNaN, kNaN, kNaN, 3000, 2000, 3000, 2000},
    };
    for (const Case& c : cases) {
        OutputSizeMod tile(2);
        setLimits(tile, c.width, c.height, c.side);
        const Size s = sizeOf(tile, c.inW, c.inH);
        EXPECT_EQ(s.w, c.outW) << c.width << " " << c.height << " " << c.side << " on " << c.inW << "x" << c.inH;
        EXPECT_EQ(s.h, c.outH) << c.width << " " << c.height << " " << c.side << " on " << c.inW << "x" << c.inH;
    }
}

TEST(OutputSizeTile, LimitsClearEachOther) {
    OutputSizeMod tile(2);
    tile.floatAt(2)->value = 500.0f;
    tile.varChanged(2);
    EXPECT_EQ(tile.floatAt(0)->value, 0.0f);
    EXPECT_EQ(tile.floatAt(1)->value, 0.0f);
    tile.floatAt(0)->value = 800.0f;
    tile.varChanged(0);
    EXPECT_EQ(tile.floatAt(2)->value, 0.0f);
    tile.floatAt(2)->value = 0.0f;  // a zero clears nothing
    tile.floatAt(1)->value = 700.0f;
    tile.varChanged(2);
    EXPECT_EQ(tile.floatAt(1)->value, 700.0f);
    // A var of another kind is replaced by a float 0.
    tile.var(2)->setValue(new ColorValue());
    tile.varChanged(0);
    ASSERT_NE(tile.floatAt(2), nullptr);
    EXPECT_EQ(tile.floatAt(2)->value, 0.0f);
    tile.varChanged(7);  // no such var
}

TEST(OutputSizeTile, VersionShowsMaximumSideAndFileOrderApplies) {
    OutputSizeMod v2(2);
    EXPECT_EQ(v2.var(2)->shown, 0);
    EXPECT_EQ(v2.var(3)->shown, 0);
    EXPECT_EQ(v2.var(0)->label(), GrowString("Max Width"));
    EXPECT_EQ(v2.var(0)->controlCode, kControlNumberBox);
    EXPECT_EQ(v2.floatAt(0)->hasMaximum, 0);

    GrowArray<ImageMod*> prototypes;
    prototypes.append(new OutputSizeMod(2));
    XmlNode root;
    parseXmlText(root, GrowString("<filter version=\"4\"><mod name=\"Output Size\" version=\"1\" enabled=\"1\">"
                                  "<var name=\"Width\" type=\"float\">0</var>"
                                  "<var name=\"Height\" type=\"float\">0</var>"
                                  "<var name=\"Maximum Side\" type=\"float\">1000</var>"
                                  "<var name=\"Quality\" type=\"float\">85</var></mod></filter>"));
    GrowArray<ImageMod*> read;
    GrowArray<ImageMod*> compounds;
    uint32_t status = kFilterReadClean;
    ASSERT_GT(root.children.count, 0);
    xmlToModList(read, root.children[0], compounds, prototypes, status);
    ASSERT_EQ(read.count, 1);
    EXPECT_EQ(read[0]->var(2)->shown, 1);
    EXPECT_EQ(read[0]->floatAt(2)->value, 1000.0f);
    const Size s = sizeOf(*static_cast<OutputSizeMod*>(read[0]), 3000, 2000);
    EXPECT_EQ(s.w, 1000.0f);
    EXPECT_EQ(s.h, 667.0f);
    for (ImageMod* mod : read) delete mod;
    for (ImageMod* mod : prototypes) delete mod;
}

TEST(ExactSizeTile, IgnoresTheSource) {
    struct Case {
        float w, h, outW, outH;
    };
    const Case cases[] = {{640, 480, 640, 480}, {0, 480, 1, 480}, {kNaN, -5, 1, 1}, {0.5f, 2.5f, 1, 2.5f}};
    for (const Case& c : cases) {
        OutputSizeExactMod tile;
        tile.floatAt(0)->value = c.w;
        tile.floatAt(1)->value = c.h;
        const Size s = sizeOf(tile, 4000, 3000);
        EXPECT_EQ(s.w, c.outW);
        EXPECT_EQ(s.h, c.outH);
    }
    OutputSizeExactMod other;
    other.var(0)->setValue(new ColorValue());
    EXPECT_EQ(other.outputWidth(10, 10), 1.0f);
}

TEST(AspectRatioTile, RatiosAndTrimming) {
    AspectRatioMod tile;
    const float ratios[] = {0.0f, 1.0f, 1.16666663f, 1.25f, 1.33333337f, 1.39999998f,
                            1.5f, 1.66666663f, 1.77777779f, 1.85000002f, 2.0f, 2.39000010f};
    for (int32_t i = 0; i < 12; ++i) {
        choose(tile, i);
        EXPECT_EQ(tile.aspectValue(), ratios[i]) << i;
    }
    EXPECT_EQ(tile.var(0)->hoverPreview, 0);
    EXPECT_FALSE(tile.canTile(0));

    struct Case {
        int32_t option;
        float inW, inH, outW, outH;
    };
    const Case cases[] = {
        {0, 4000, 3000, 4000, 3000},   // Custom
        {8, 4000, 3000, 4000, 2250},   // 16:9
        {8, 3000, 4000, 2250, 4000},   // 16:9 on a portrait
        {1, 3000, 2000, 2000, 2000},   // Square
        {1, 2000, 2000, 2000, 2000},
    };
    for (const Case& c : cases) {
        choose(tile, c.option);
        const Size s = sizeOf(tile, c.inW, c.inH);
        EXPECT_EQ(s.w, c.outW) << c.option;
        EXPECT_EQ(s.h, c.outH) << c.option;
    }
    choose(tile, 11);  // 2.39:1 on a square keeps r: fractional height
    const Size s = sizeOf(tile, 1000, 1000);
    EXPECT_EQ(s.w, 1000.0f);
    EXPECT_NEAR(s.h, 418.41f, 0.005f);
    choose(tile, 99);  // an index outside the list reads as no text
    EXPECT_EQ(tile.aspectValue(), 0.0f);
}

TEST(SizingTiles, OutputGeometry) {
    struct Case {
        const char* what;
        SizingMod* tile;
        int32_t inW, inH;
        bool ok;
        int32_t outW, outH;
    };
    OutputSizeExactMod* huge = new OutputSizeExactMod();
    huge->floatAt(0)->value = 100000.0f;
    huge->floatAt(1)->value = 100000.0f;
    AspectRatioMod* wide = new AspectRatioMod();
    choose(*wide, 11);
    const Case cases[] = {
        {"Maximum Size", new OutputSizeMod(2), 4000, 3000, true, 1200, 900},
        {"Maximum Size, portrait", new OutputSizeMod(2), 600, 800, true, 900, 1200},
        {"Exact Size beyond the budget", huge, 3000, 2000, false, 0, 0},
        {"Aspect Ratio 2.39:1", wide, 1000, 1000, true, 1000, 418},
    };
    for (const Case& c : cases) {
        GrowArray<ImageMod*> chain;
        chain.append(c.tile);
        OutputGeometry g;
        EXPECT_EQ(computeOutputGeometry(chain, c.inW, c.inH, g), c.ok) << c.what;
        EXPECT_EQ(g.width, c.outW) << c.what;
        EXPECT_EQ(g.height, c.outH) << c.what;
        c.tile->enabled = 0;  // a disabled sizing tile sizes nothing
        EXPECT_TRUE(computeOutputGeometry(chain, c.inW, c.inH, g)) << c.what;
        EXPECT_EQ(g.width, c.inW) << c.what;
        delete c.tile;
    }
}

TEST(SizingTiles, TileProperties) {
    OutputSizeMod maximum(2);
    maximum.floatAt(0)->value = 800.0f;
    OutputSizeExactMod exact;
    AspectRatioMod aspect;
    choose(aspect, 4);
    for (ImageMod* tile : std::initializer_list<ImageMod*>{&maximum, &exact, &aspect}) {
        tiletest::expectIdentityLeavesImage(*tile);  // no pixel changes
        tiletest::expectCloneCopyFromEquals(*tile);
        tiletest::expectFilterRoundTrip(*tile);
    }
    OutputSizeMod first(1);
    EXPECT_EQ(first.var(2)->shown, 1);
    ImageMod* copy = duplicateMod(first);
    EXPECT_EQ(copy->version, 1u);
    EXPECT_EQ(copy->var(2)->shown, 1);
    delete copy;
}
