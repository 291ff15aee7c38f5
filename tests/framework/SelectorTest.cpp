#include <gtest/gtest.h>

#include <memory>

#include "framework/SelectorMod.h"
#include "support/TestTiles.h"

namespace {

// A 3 x 2 image whose red sample is 0, 51, 102, ... (weights 0, 0.2, 0.4, ...).
void fillRamp(ImageBuffer& image, bool eightBit) {
    if (eightBit) {
        image.allocate8(3, 2, 3);
    } else {
        image.allocateFloat(3, 2, 3);
    }
    for (int32_t i = 0; i < 6; ++i) {
        if (eightBit) {
            image.bytes()[i * 3] = static_cast<uint8_t>(i * 51);
        } else {
            image.floats()[i * 3] = static_cast<float>(i * 51);
        }
    }
}

float weightOf(const SelectorMod& selector, const ImageBuffer& image, int32_t x, int32_t y, bool eightBit) {
    return eightBit ? selector.maskWeight8(image, x, y, nullptr) : selector.maskWeight(image, x, y, nullptr);
}

}  // namespace

TEST(Selector, PointerArrayMultipliesTheWeights) {
    WeightSelector half(0.5f);
    WeightSelector twoFifths(0.4f);
    AddConstantTile notASelector;
    ImageBuffer image;
    image.allocateFloat(2, 2, 3);
    GrowArray<ImageMod*> list;
    list.append(&half);
    list.append(&twoFifths);
    SelectorPointerArray both(list);
    EXPECT_FLOAT_EQ(both.maskWeight(image, 1, 1, nullptr), 0.2f);
    EXPECT_FLOAT_EQ(both.maskWeight8(image, 1, 1, nullptr), 0.2f);
    list.append(&notASelector);  // counts as weight 1
    SelectorPointerArray withPlain(list);
    EXPECT_FLOAT_EQ(withPlain.maskWeight(image, 0, 0, nullptr), 0.2f);

    SelectorPointerArray empty{GrowArray<ImageMod*>()};
    EXPECT_EQ(empty.maskWeight(image, 0, 0, nullptr), 1.0f);
    std::unique_ptr<ImageMod> clone(both.clone());
    EXPECT_EQ(static_cast<SelectorPointerArray*>(clone.get())->selectors.count, 0);
    EXPECT_STREQ(both.name.c_str(), "Selector Pointer Array");
}

TEST(Selector, ChooseSelectorForNoneOneAndSeveral) {
    WeightSelector a(0.5f);
    WeightSelector b(0.4f);
    std::unique_ptr<SelectorPointerArray> holder;
    GrowArray<ImageMod*> list;
    EXPECT_EQ(chooseSelector(list, holder), nullptr);
    EXPECT_EQ(holder, nullptr);
    list.append(&a);
    EXPECT_EQ(chooseSelector(list, holder), &a);  // the selector itself, not an array
    EXPECT_EQ(holder, nullptr);
    list.append(&b);
    ImageMod* chosen = chooseSelector(list, holder);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(chosen, holder.get());
    EXPECT_EQ(holder->selectors.count, 2);
}

TEST(Selector, BitmapSelectorFreezesTheWeightsForEitherDepth) {
    for (bool eightBit : {false, true}) {
        SCOPED_TRACE(eightBit ? "8-bit" : "float");
        WeightSelector byRed(1.0f, redWeight);
        ImageBuffer image;
        fillRamp(image, eightBit);
        BitmapSelector frozen;
        if (eightBit) {
            frozen.fillFrom8(byRed, image);
        } else {
            frozen.fillFrom(byRed, image);
        }
        ASSERT_NE(frozen.mask, nullptr);
        EXPECT_EQ(frozen.mask->width, 3);
        EXPECT_EQ(frozen.mask->height, 2);
        EXPECT_EQ(frozen.mask->channelCount(), 1);
        // Change the image: the frozen weights stay those of the fill.
        for (int32_t i = 0; i < 6; ++i) {
            if (eightBit) {
                image.bytes()[i * 3] = 255;
            } else {
                image.floats()[i * 3] = 255.0f;
            }
        }
        for (int32_t y = 0; y < 2; ++y) {
            for (int32_t x = 0; x < 3; ++x) {
                const float expected = (y * 3 + x) * 0.2f;
                EXPECT_NEAR(weightOf(frozen, image, x, y, eightBit), expected, 1e-6) << x << "," << y;
                EXPECT_NEAR(weightOf(frozen, image, x, y, !eightBit), expected, 1e-6) << x << "," << y;
                EXPECT_EQ(weightOf(byRed, image, x, y, eightBit), 1.0f);
            }
        }
        // Outside the mask: no effect, and no read outside it.
        EXPECT_EQ(frozen.maskWeight(image, 3, 0, nullptr), 0.0f);
        EXPECT_EQ(frozen.maskWeight(image, 0, -1, nullptr), 0.0f);
        // Refilling replaces the mask.
        frozen.fillFrom(WeightSelector(0.75f), image);
        EXPECT_EQ(frozen.maskWeight(image, 2, 1, nullptr), 0.75f);
    }
}

TEST(Selector, BitmapSelectorWithoutMaskGivesNoEffect) {
    BitmapSelector source;
    std::unique_ptr<ImageMod> clone(source.clone());
    const SelectorMod* fresh = asSelector(clone.get());
    ASSERT_NE(fresh, nullptr);
    ImageBuffer image;
    image.allocateFloat(2, 2, 3);
    EXPECT_EQ(fresh->maskWeight(image, 0, 0, nullptr), 0.0f);
    EXPECT_EQ(fresh->maskWeight8(image, 1, 1, nullptr), 0.0f);

    // An image without rows or columns gives an empty mask.
    ImageBuffer empty;
    BitmapSelector frozen;
    frozen.fillFrom(WeightSelector(0.5f), empty);
    EXPECT_EQ(frozen.maskWeight(empty, 0, 0, nullptr), 0.0f);
}
