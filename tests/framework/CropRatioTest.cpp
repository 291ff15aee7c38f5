// The crop frame's proportion from the crop tile's "Aspect" choice.
#include <gtest/gtest.h>

#include "framework/CropRatio.h"
#include "framework/ImageMod.h"

namespace {

const char* const kAspects[] = {"Custom", "Square", "7:6",  "5:4",    "4:3", "7:5",
                                "3:2",    "5:3",    "16:9", "1.85:1", "2:1", "2.39:1"};

// A crop-like tile: a float var first, then the "Aspect" choice.
class AspectTile : public ImageMod {
public:
    AspectTile() : ImageMod("Crop", "") {
        addFloatVar("Angle", 0.0f, -45.0f, 45.0f);
        GrowArray<GrowString> options;
        for (const char* text : kAspects) options.append(GrowString(text));
        addVar(ModVar("Aspect", new ChoiceValue(options, 0)));
    }
    ImageMod* clone() const override { return new AspectTile(); }
    void choose(const char* text) {
        ChoiceValue* choice = vars[1]->choiceValue();
        choice->lists[0][choice->selected] = GrowString(text);
    }
};

}  // namespace

TEST(CropRatioTest, EveryOptionGivesItsRatio) {
    struct Case {
        const char* option;
        float ratio;
    };
    const Case cases[] = {
        {"Custom", 0.0f},      {"Square", 1.0f},  {"7:6", 1.1666666f}, {"5:4", 1.25f},
        {"4:3", 1.3333334f},   {"7:5", 1.4f},     {"3:2", 1.5f},       {"5:3", 1.6666666f},
        {"16:9", 1.7777778f},  {"1.85:1", 1.85f}, {"2:1", 2.0f},       {"2.39:1", 2.39f},
    };
    AspectTile tile;
    for (int32_t i = 0; i < static_cast<int32_t>(sizeof cases / sizeof cases[0]); ++i) {
        tile.vars[1]->choiceValue()->selected = i;
        ASSERT_EQ(tile.vars[1]->choiceText(), cases[i].option);
        EXPECT_EQ(cropAspectRatio(tile), cases[i].ratio) << cases[i].option;
    }
}

TEST(CropRatioTest, TextsThatAreNoOptionAndTilesWithoutAChoiceGiveZero) {
    const char* const unknown[] = {"square", "16:10", "4:3 ", "", "2.39"};
    for (const char* text : unknown) {
        AspectTile tile;
        tile.choose(text);
        EXPECT_EQ(cropAspectRatio(tile), 0.0f) << text;
    }

    AspectTile floatAspect;  // "Aspect" holding a number, not a choice
    floatAspect.vars[1]->setValue(new FloatValue(1.5f));
    EXPECT_EQ(cropAspectRatio(floatAspect), 0.0f);

    AspectTile noValue;
    noValue.vars[1]->setValue(nullptr);
    EXPECT_EQ(cropAspectRatio(noValue), 0.0f);

    AspectTile renamed;
    renamed.vars[1]->name = "Ratio";
    renamed.vars[1]->choiceValue()->selected = 1;
    EXPECT_EQ(cropAspectRatio(renamed), 0.0f);

    // Only the first "Aspect" var counts.
    AspectTile twice;
    twice.vars[0]->name = "Aspect";
    twice.vars[1]->choiceValue()->selected = 1;
    EXPECT_EQ(cropAspectRatio(twice), 0.0f);
}
