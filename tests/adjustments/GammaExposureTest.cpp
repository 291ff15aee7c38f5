#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "adjustments/GammaExposure.h"
#include "framework/ModListHelpers.h"
#include "framework/TilePrototypes.h"
#include "support/TestTiles.h"
#include "support/TileProperties.h"

using namespace tiletest;

namespace {

std::unique_ptr<GammaMod> makeGamma(uint32_t version, float amount) {
    auto gamma = std::make_unique<GammaMod>(amount);
    gamma->setVersion(version);
    return gamma;
}

// One pixel whose samples all hold `value`.
ImageBuffer pixelOf(float value, int32_t channels = 3) {
    ImageBuffer image;
    EXPECT_TRUE(image.allocateFloat(1, 1, channels));
    for (int32_t c = 0; c < channels; ++c) image.floats()[c] = value;
    return image;
}

ImageBuffer pixelOf(std::vector<float> samples) {
    ImageBuffer image;
    EXPECT_TRUE(image.allocateFloat(1, 1, static_cast<int32_t>(samples.size())));
    for (size_t c = 0; c < samples.size(); ++c) image.floats()[c] = samples[c];
    return image;
}

float spread(const ImageBuffer& pixel) {
    const float* s = pixel.floats();
    return std::fmax(std::fmax(s[0], s[1]), s[2]) - std::fmin(std::fmin(s[0], s[1]), s[2]);
}

}  // namespace

// ---- Gamma worked values ---------------------------------------------------

struct GammaSampleCase {
    uint32_t version;
    float amount;
    float input;
    float floatResult;
    int byteResult;
};

TEST(Gamma, MapsSamplesAsEachVersionDoes) {
    const GammaSampleCase cases[] = {
        // Version 2 darkening caps white below 255: 254.95 for floats, 254 for bytes.
        {2, 0.5f, 255.0f, 254.9000f, 253},
        {2, 0.5f, 64.0f, 16.0627f, 16},
        // Version 2 lightening floors floats at 0.05; a byte 0 stays 0.
        {2, 1.5f, 0.0f, 0.09996f, 0},
        // Bytes store 255 minus the truncated power (143.06), not the
        // truncation of the float result (111.94).
        {2, 1.5f, 64.0f, 111.9373f, 112},
        {2, 1.5f, 255.0f, 255.0f, 255},
        // Version 1: the plain power.
        {1, 1.5f, 64.0f, 127.7498f, 127},
        {1, 1.5f, 255.0f, 255.0f, 255},
        {1, 0.5f, 64.0f, 16.0627f, 16},
        // Any version other than 2 follows version 1.
        {3, 1.5f, 64.0f, 127.7498f, 127},
        {0, 1.5f, 64.0f, 127.7498f, 127},
        // The ends of the range.
        {1, 2.0f, 100.0f, 255.0f, 255},
        {2, 2.0f, 100.0f, 255.0f, 255},
        {1, 0.0f, 100.0f, 0.0f, 0},
        {1, 0.0f, 255.0f, 255.0f, 255},
        {2, 0.0f, 255.0f, 0.0f, 0},
    };
    for (const GammaSampleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << ", Amount " << c.amount << ", sample " << c.input);
        auto gamma = makeGamma(c.version, c.amount);
        const ImageBuffer image = pixelOf(c.input);
        const ImageBuffer floats = renderFloat(*gamma, image);
        for (int32_t k = 0; k < 3; ++k) EXPECT_NEAR(floats.floats()[k], c.floatResult, 1e-3);
        const ImageBuffer bytes = render8(*gamma, bytesOf(image));
        for (int32_t k = 0; k < 3; ++k) EXPECT_EQ(bytes.bytes()[k], c.byteResult);
    }
}

TEST(Gamma, MapsTheFourthSampleLikeTheOthers) {
    for (uint32_t version : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        auto gamma = makeGamma(version, 1.5f);
        const ImageBuffer out = renderFloat(*gamma, pixelOf({64.0f, 64.0f, 255.0f, 64.0f}));
        EXPECT_EQ(out.floats()[3], out.floats()[0]);
        EXPECT_EQ(out.floats()[2], 255.0f);  // white stays white above 1
        const ImageBuffer opaque = renderFloat(*gamma, pixelOf({10.0f, 20.0f, 30.0f, 255.0f}));
        EXPECT_EQ(opaque.floats()[3], 255.0f);
    }
}

TEST(Gamma, IgnoresSelectors) {
    auto gamma = makeGamma(2, 1.5f);
    const ImageBuffer image = standardImage(3);
    WeightSelector zero(0.0f);
    RenderArgs args;
    args.selector = &zero;
    EXPECT_TRUE(sameFloatImages(renderFloat(*gamma, image), renderFloat(*gamma, image, &args)));
}

TEST(Gamma, SamplesOutsideTheRangeGiveNoNaN) {
    // Earlier tiles of a float chain may leave samples below 0 or above 255;
    // the power never sees a negative base.
    const ImageBuffer image = pixelOf({-10.0f, 300.0f, 1.0e6f});
    for (uint32_t version : {1u, 2u}) {
        for (float amount : {0.5f, 1.5f}) {
            SCOPED_TRACE(testing::Message() << "version " << version << ", Amount " << amount);
            auto gamma = makeGamma(version, amount);
            const ImageBuffer out = renderFloat(*gamma, image);
            for (int32_t k = 0; k < 3; ++k) EXPECT_TRUE(std::isfinite(out.floats()[k])) << out.floats()[k];
        }
    }
}

TEST(GammaExposure, AmountsOutsideTheRangeGiveNoNaN) {
    const ImageBuffer image = standardImage(4);
    for (float amount : {-1.0f, 2.5f, 5.0f}) {
        SCOPED_TRACE(testing::Message() << "Amount " << amount);
        for (uint32_t version : {1u, 2u}) {
            auto gamma = makeGamma(version, amount);
            const ImageBuffer out = renderFloat(*gamma, image);
            for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_FALSE(std::isnan(out.floats()[i])) << i;
            render8(*gamma, bytesOf(image));
        }
    }
}

TEST(GammaExposure, AnAmountOfAnotherKindReadsAsZero) {
    // Both tiles map every sample to 0 at Amount 0 (version 2 Gamma caps white first).
    std::unique_ptr<ImageMod> tiles[] = {makeGamma(2, 1.5f), std::make_unique<ExposureMod>(1.5f)};
    for (auto& tile : tiles) {
        SCOPED_TRACE(tile->name.c_str());
        tile->vars[0]->makeChoice();
        const ImageBuffer image = standardImage(3);
        const ImageBuffer floats = renderFloat(*tile, image);
        for (int64_t i = 0; i < floats.sampleCount(); ++i) ASSERT_EQ(floats.floats()[i], 0.0f) << i;
        const ImageBuffer bytes = render8(*tile, bytesOf(image));
        for (int64_t i = 0; i < bytes.sampleCount(); ++i) ASSERT_EQ(bytes.bytes()[i], 0) << i;
    }
}

TEST(GammaExposure, AmountVarIsVarZeroWhateverItsName) {
    std::unique_ptr<ImageMod> tiles[] = {makeGamma(2, 1.0f), std::make_unique<ExposureMod>(1.0f)};
    for (auto& tile : tiles) {
        tile->vars[0]->name = "Renamed";
        EXPECT_EQ(tile->amountVar(), tile->vars[0]);
    }
}

// ---- Exposure ------------------------------------------------------------

TEST(Exposure, AboveOneIsGammaVersionTwo) {
    for (float amount : {1.2f, 1.5f, 1.9f}) {
        SCOPED_TRACE(testing::Message() << "Amount " << amount);
        ExposureMod exposure(amount);
        auto gamma = makeGamma(2, amount);
        const ImageBuffer image = standardImage(4);
        EXPECT_TRUE(sameFloatImages(renderFloat(*gamma, image), renderFloat(exposure, image)));
        const ImageBuffer bytes = bytesOf(image);
        EXPECT_TRUE(sameByteImages(render8(*gamma, bytes), render8(exposure, bytes)));
    }
}

TEST(Exposure, BelowOneDarkensAndPullsTowardGrey) {
    ExposureMod exposure(0.5f);
    auto gamma = makeGamma(2, 0.5f);
    // A grey pixel only darkens: 255 (128/255)^2.
    EXPECT_NEAR(renderFloat(exposure, pixelOf(128.0f)).floats()[0], 64.251f, 1e-3);
    // A coloured pixel also loses colour: its spread shrinks by 0.5^0.4.
    const ImageBuffer colour = pixelOf({200.0f, 100.0f, 50.0f, 120.0f});
    const ImageBuffer darker = renderFloat(*gamma, colour);
    const ImageBuffer exposed = renderFloat(exposure, colour);
    EXPECT_NEAR(spread(exposed), spread(darker) * std::pow(0.5f, 0.4f), 1e-3);
    // The fourth sample takes part in the curve and the pull.
    EXPECT_NE(exposed.floats()[3], 120.0f);
}

TEST(Exposure, SelectorWeightScalesTheAmount) {
    struct Case {
        float amount;
        float weight;
        float effective;  // 1 + w (a - 1)
    };
    const Case cases[] = {{1.5f, 0.5f, 1.25f}, {0.2f, 0.25f, 0.8f}, {1.75f, 0.5f, 1.375f}};
    const ImageBuffer image = standardImage(4);
    const ImageBuffer bytes = bytesOf(image);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Amount " << c.amount << ", weight " << c.weight);
        ExposureMod weighted(c.amount);
        ExposureMod plain(c.effective);
        WeightSelector selector(c.weight);
        RenderArgs args;
        args.selector = &selector;
        EXPECT_TRUE(sameFloatImages(renderFloat(plain, image), renderFloat(weighted, image, &args)));
        EXPECT_TRUE(sameByteImages(render8(plain, bytes), render8(weighted, bytes, &args)));
    }
}

TEST(Exposure, SelectorWeightIsTakenPerPixel) {
    // The weight follows each pixel's red sample: black keeps its value,
    // pure red gets the full Amount.
    const ImageBuffer image = standardImage(3);
    ExposureMod exposure(1.5f);
    WeightSelector byRed(1.0f, redWeight);
    RenderArgs args;
    args.selector = &byRed;
    const ImageBuffer weighted = renderFloat(exposure, image, &args);
    const ImageBuffer full = renderFloat(exposure, image);
    EXPECT_EQ(weighted.floats()[0], 0.0f);  // pixel 0 is black
    for (int32_t k = 6; k < 9; ++k) EXPECT_EQ(weighted.floats()[k], full.floats()[k]);  // pixel 2 is pure red
}

// ---- Properties of both tiles ---------------------------------------------

namespace {

// Every stored form of the two tiles at the given Amount.
std::vector<std::unique_ptr<ImageMod>> everyForm(float amount) {
    std::vector<std::unique_ptr<ImageMod>> tiles;
    tiles.push_back(makeGamma(1, amount));
    tiles.push_back(makeGamma(2, amount));
    tiles.push_back(std::make_unique<ExposureMod>(amount));
    return tiles;
}

std::string describe(const ImageMod& tile) {
    return std::string(tile.name.c_str()) + " version " + std::to_string(tile.version) + " Amount " +
           std::to_string(tile.floatAt(0)->value);
}

}  // namespace

TEST(GammaExposureProperties, IdentityAmountLeavesImage) {
    for (auto& tile : everyForm(1.0f)) {
        SCOPED_TRACE(describe(*tile));
        expectIdentityLeavesImage(*tile);
    }
}

TEST(GammaExposureProperties, BandedEqualsWhole) {
    for (float amount : {0.5f, 1.5f}) {
        for (auto& tile : everyForm(amount)) {
            SCOPED_TRACE(describe(*tile));
            expectBandedEqualsWhole(*tile, standardImage(3));
            expectBandedEqualsWhole(*tile, standardImage(4));
        }
    }
}

TEST(GammaExposureProperties, ExposureSelectorWeights) {
    for (float amount : {0.5f, 1.5f}) {
        ExposureMod exposure(amount);
        SCOPED_TRACE(describe(exposure));
        expectSelectorWeightZeroIsIdentity(exposure);
        expectSelectorWeightOneIsNoSelector(exposure);
    }
}

TEST(GammaExposureProperties, EightBitWithinALevelOfFloat) {
    // Not at the ends of the Amount range: near 0 the darkening caps white
    // at 254 for bytes but at 254.95 for floats, and near 2 the float floor
    // of 0.05 lifts black by several levels while a byte 0 stays 0.
    // Exposure below 1 truncates twice in 8 bits (after the curve and after
    // the pull toward grey) on top of that cap, so white may end 2 levels
    // lower than in float.
    for (float amount : {0.5f, 0.8f, 1.2f, 1.5f}) {
        for (auto& tile : everyForm(amount)) {
            SCOPED_TRACE(describe(*tile));
            const int32_t tolerance = tile->name == "Exposure" && amount < 1.0f ? 2 : 1;
            expect8BitWithinLevel(*tile, standardImage(3), tolerance);
            expect8BitWithinLevel(*tile, standardImage(4), tolerance);
        }
    }
}

TEST(GammaExposureProperties, CloneAndCopyFromGiveAnEqualTile) {
    for (auto& tile : everyForm(0.7f)) {
        SCOPED_TRACE(describe(*tile));
        expectCloneCopyFromEquals(*tile);
    }
    // A Gamma tile read as version 1 stays version 1 when copied.
    auto old = makeGamma(1, 1.5f);
    std::unique_ptr<ImageMod> copy(old->clone());
    EXPECT_EQ(copy->version, 2u);
    copy->copyFrom(*old);
    EXPECT_EQ(copy->version, 1u);
}

TEST(GammaExposureProperties, FilterFileRoundTrip) {
    for (auto& tile : everyForm(0.745318f)) {
        SCOPED_TRACE(describe(*tile));
        expectFilterRoundTrip(*tile);
    }
}

TEST(GammaExposureProperties, PrototypesHaveTheStartValues) {
    OwnedTiles prototypes;
    buildPrototypeList(prototypes.list);
    int gammas = 0;
    int exposures = 0;
    for (ImageMod* mod : prototypes.list) {
        if (mod->name == "Gamma") {
            ++gammas;
            EXPECT_EQ(mod->version, 2u);
            EXPECT_EQ(mod->floatAt(0)->value, 1.0f);
        } else if (mod->name == "Exposure") {
            ++exposures;
            EXPECT_EQ(mod->floatAt(0)->value, 1.0f);
            EXPECT_TRUE(mod->hasAnimTracks());
        }
    }
    EXPECT_EQ(gammas, 1);
    EXPECT_EQ(exposures, 1);
}
