// The band plan: how many bands, how high, and which rows each one reads
// and writes back.
#include <gtest/gtest.h>

#include <climits>

#include "render/RenderPipeline.h"

namespace {

struct PlanCase {
    int32_t height;
    int32_t threads;
    int32_t margin;
    int32_t maxBandHeight;
    bool scratch;
    int64_t bandHeight;
    int32_t bandCount;
};

TEST(BandPlan, HeightAndCount) {
    const PlanCase cases[] = {
        {1000, 8, 10, 256, true, 125, 8},     // b0 = 125 wins over 3 m
        {50, 8, 20, 256, true, 60, 1},        // 3 m = 60 covers the image: one band
        {1000, 8, 50, 256, true, 150, 7},     // 3 m = 150 over b0 = 125
        {1000, 4, 4, 256, true, 250, 4},
        {10, 8, 0, 256, false, 1, 8},         // no margin: T bands of H / T rows
        {5, 8, 0, 256, false, 0, 8},          // fewer rows than threads
        {4000, 2, 5, 256, true, 256, 16},     // capped by the band limit
        {4000, 2, 5, 128, true, 128, 32},     // the tool-tip preview's limit
        {100, 0, 0, 256, false, 100, 1},      // no thread count counts as one
        {5, 8, 0, 256, true, 5, 1},           // float bands, no margin, H < T: one band
        {100, 4, 0, 0, true, 100, 1},         // band limit below 1: one band
        {100, 8, 5000, 256, true, 300, 1},    // margin clamped to the height
        {100, 8, INT_MAX, 256, true, 300, 1}, // no overflow of 3 m
        {1, 8, 3, 256, true, 3, 1},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "H " << c.height << " T " << c.threads << " m " << c.margin);
        const BandPlan plan = planBands(c.height, c.threads, c.margin, c.maxBandHeight, c.scratch);
        EXPECT_EQ(c.bandHeight, plan.bandHeight);
        EXPECT_EQ(c.bandCount, plan.bandCount);
    }
}

struct RowsCase {
    int32_t height;
    int32_t threads;
    int32_t margin;
    int32_t band;
    BandRows rows;
};

TEST(BandPlan, RowsOfBands) {
    const RowsCase cases[] = {
        // m = 4, H = 1000, T = 4: band 1 reads 246..503 and writes 250..499;
        // band 3 reads 746..999 and writes 750..999.
        {1000, 4, 4, 0, {0, 254, 0, 4}},
        {1000, 4, 4, 1, {246, 504, 4, 4}},
        {1000, 4, 4, 3, {746, 1000, 4, 0}},
        // m = 50, H = 1000, T = 8: band 6 owns 900..999.
        {1000, 8, 50, 5, {700, 950, 50, 50}},
        {1000, 8, 50, 6, {850, 1000, 50, 0}},
        // One band, no margin rows to read.
        {50, 8, 20, 0, {0, 50, 0, 0}},
        // No margin, H = 10, T = 8: one row each, the last takes 7..9.
        {10, 8, 0, 0, {0, 1, 0, 0}},
        {10, 8, 0, 6, {6, 7, 0, 0}},
        {10, 8, 0, 7, {7, 10, 0, 0}},
        // No margin, H = 5, T = 8: empty bands, the last is the image.
        {5, 8, 0, 3, {0, 0, 0, 0}},
        {5, 8, 0, 7, {0, 5, 0, 0}},
        // A last band shorter than the margin: the band before it reads
        // only the rows that exist.
        {950, 3, 100, 2, {500, 950, 100, 50}},
        {1010, 4, 4, 4, {1004, 1010, 4, 0}},
    };
    for (const RowsCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "H " << c.height << " T " << c.threads << " m " << c.margin << " band "
                                        << c.band);
        const BandPlan plan = planBands(c.height, c.threads, c.margin, 256, c.margin > 0);
        const BandRows rows = bandRows(plan, c.band, c.height);
        EXPECT_EQ(c.rows.viewTop, rows.viewTop);
        EXPECT_EQ(c.rows.viewBottom, rows.viewBottom);
        EXPECT_EQ(c.rows.overlapAbove, rows.overlapAbove);
        EXPECT_EQ(c.rows.overlapBelow, rows.overlapBelow);
    }
}

// Every row of the image is written back by exactly one band, and every
// band reads at most `margin` rows beyond its own on each side.
TEST(BandPlan, OwnRowsTileTheImage) {
    for (int32_t height : {1, 2, 3, 7, 64, 255, 256, 257, 1000, 4099}) {
        for (int32_t threads = 1; threads <= 8; ++threads) {
            for (int32_t margin : {0, 1, 3, 20, 500}) {
                SCOPED_TRACE(testing::Message() << "H " << height << " T " << threads << " m " << margin);
                const BandPlan plan = planBands(height, threads, margin, 64, margin > 0);
                int32_t next = 0;
                for (int32_t i = 0; i < plan.bandCount; ++i) {
                    const BandRows rows = bandRows(plan, i, height);
                    const int32_t ownTop = rows.viewTop + rows.overlapAbove;
                    const int32_t ownBottom = rows.viewBottom - rows.overlapBelow;
                    if (ownBottom == ownTop) continue;
                    ASSERT_EQ(next, ownTop);
                    ASSERT_LE(rows.overlapAbove, plan.margin);
                    ASSERT_LE(rows.overlapBelow, plan.margin);
                    ASSERT_GE(rows.viewTop, 0);
                    ASSERT_LE(rows.viewBottom, height);
                    next = ownBottom;
                }
                EXPECT_EQ(height, next);
            }
        }
    }
}

}  // namespace
