#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "framework/ImageMod.h"
#include "support/TestTiles.h"

namespace {

// A tile with a var of every kind that records its varChanged calls.
class AllKindsTile : public ImageMod {
public:
    explicit AllKindsTile(const char* xmlName = "All Kinds", const char* shownName = "")
        : ImageMod(GrowString(xmlName), GrowString(shownName)) {
        addFloatVar("Amount", 1.0f, 0.0f, 2.0f, 0);
        addVar(ModVar("Curve", new CurveValue()));
        addVar(ModVar("Color", new ColorValue(10, 20, 30)));
        addVar(ModVar("Button", new ButtonValue(), kControlButton));
        GrowArray<GrowString> options;
        options.append(GrowString("One"));
        options.append(GrowString("Two"));
        addVar(ModVar("Method", new ChoiceValue(options, 0)));
        addVar(ModVar("Channels", new MultiChoiceValue(options, 1)));
        addVar(ModVar("Image", new FileValue()));
    }
    ImageMod* clone() const override { return new AllKindsTile(); }
    void varChanged(int32_t index) override { changed.push_back(index); }

    std::vector<int32_t> changed;
};

}  // namespace

TEST(ImageMod, VarLookups) {
    AllKindsTile tile("Xml Name", "");
    EXPECT_STREQ(tile.displayName.c_str(), "Xml Name");  // an empty display name shows the XML name
    EXPECT_EQ(tile.amountVar(), tile.vars[0]);
    EXPECT_EQ(tile.firstVar(), tile.vars[0]);
    EXPECT_EQ(tile.findVar("Method"), tile.vars[4]);
    EXPECT_EQ(tile.findVar("Missing"), nullptr);
    EXPECT_NE(tile.floatAt(0), nullptr);
    EXPECT_EQ(tile.floatAt(1), nullptr);  // a curve
    EXPECT_EQ(tile.floatAt(-1), nullptr);
    EXPECT_EQ(tile.floatAt(99), nullptr);
    EXPECT_EQ(tile.var(99), nullptr);

    PassCountTile empty;
    EXPECT_EQ(empty.amountVar(), nullptr);
    EXPECT_EQ(empty.firstVar(), nullptr);
    EXPECT_EQ(empty.variationVars().count, 0);

    // Only the first of two "Variation" vars.
    AddConstantTile varied;
    ModVar* first = varied.addFloatVar("Variation", 1.0f, 0.0f, 10.0f);
    varied.addFloatVar("Variation", 2.0f, 0.0f, 10.0f);
    const GrowArray<ModVar*> variation = varied.variationVars();
    ASSERT_EQ(variation.count, 1);
    EXPECT_EQ(variation[0], first);
}

TEST(ImageMod, AttributesReplaceByName) {
    AddConstantTile tile;
    tile.setAttribute("AliasRange", ".13 1 1.87");
    tile.setAttribute("Other", "x");
    tile.setAttribute("AliasRange", "0 1 2");
    ASSERT_EQ(tile.attrNames.count, 2);
    ASSERT_EQ(tile.attrValues.count, 2);
    EXPECT_STREQ(tile.attributeValue("AliasRange").c_str(), "0 1 2");
    EXPECT_STREQ(tile.attributeValue("Other").c_str(), "x");
    EXPECT_STREQ(tile.attributeValue("Missing").c_str(), "");

    // Values that fell short of the names are padded, never misaligned.
    tile.attrValues.count = 0;
    tile.setAttribute("Other", "y");
    ASSERT_EQ(tile.attrValues.count, 2);
    EXPECT_STREQ(tile.attributeValue("Other").c_str(), "y");
    EXPECT_STREQ(tile.attributeValue("AliasRange").c_str(), "");
    tile.setAttribute("Third", "z");
    EXPECT_STREQ(tile.attributeValue("Third").c_str(), "z");
}

TEST(ImageMod, EqualsComparesNamesVarsFlagsAndVersion) {
    struct Case {
        const char* what;
        std::function<void(AllKindsTile&)> change;
        bool equal;
    };
    const Case cases[] = {
        {"nothing", [](AllKindsTile&) {}, true},
        {"description", [](AllKindsTile& t) { t.description = "help"; }, true},
        {"display name", [](AllKindsTile& t) { t.displayName = "Shown"; }, true},
        {"attributes", [](AllKindsTile& t) { t.setAttribute("A", "1"); }, true},
        {"type tags", [](AllKindsTile& t) { t.addTypeTag(kTagCrop); }, true},
        {"animation tracks", [](AllKindsTile& t) { t.addAnimTrack(t.vars[0], "0 1", 1.0f); }, true},
        {"float ranges", [](AllKindsTile& t) { t.floatAt(0)->maximum = 7.0f; }, true},
        {"name", [](AllKindsTile& t) { t.name = "Other"; }, false},
        {"pinned", [](AllKindsTile& t) { t.pinned = 1; }, false},
        {"enabled", [](AllKindsTile& t) { t.enabled = 0; }, false},
        {"version", [](AllKindsTile& t) { t.version = 2; }, false},
        {"var name", [](AllKindsTile& t) { t.vars[2]->name = "Colour"; }, false},
        {"var alias", [](AllKindsTile& t) { t.vars[2]->setAlias("Tint"); }, false},
        {"hover preview", [](AllKindsTile& t) { t.vars[4]->hoverPreview = 0; }, false},
        {"float value", [](AllKindsTile& t) { t.floatAt(0)->value = 1.5f; }, false},
        {"curve point", [](AllKindsTile& t) { t.vars[1]->curveValue()->curve.points[0].y = 0.1f; }, false},
        {"hue offset", [](AllKindsTile& t) { t.vars[1]->curveValue()->curve.hueOffset = 90.0f; }, false},
        {"colour", [](AllKindsTile& t) { t.vars[2]->colorValue()->fourth = 0.0f; }, false},
        {"button", [](AllKindsTile& t) { t.vars[3]->buttonValue()->value = 1; }, false},
        {"choice", [](AllKindsTile& t) { t.vars[4]->choiceValue()->selected = 1; }, false},
        {"multichoice", [](AllKindsTile& t) { t.vars[5]->multiChoiceValue()->selection.append(0); }, false},
        {"file", [](AllKindsTile& t) { t.vars[6]->fileValue()->path = "x.png"; }, false},
        {"value kind", [](AllKindsTile& t) { t.vars[2]->setValue(new FloatValue(10.0f)); }, false},
        {"var count", [](AllKindsTile& t) { t.addFloatVar("Extra", 0, 0, 1); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AllKindsTile a;
        AllKindsTile b;
        c.change(b);
        EXPECT_EQ(a.equals(b), c.equal);
        EXPECT_EQ(b.equals(a), c.equal);
    }
}

TEST(ImageMod, AVarWithoutValueOnTheLeftMatchesAnyValue) {
    AllKindsTile left;
    AllKindsTile right;
    left.vars[2]->setValue(nullptr);
    EXPECT_TRUE(left.equals(right));
    EXPECT_FALSE(right.equals(left));
}

TEST(ImageMod, CopyFromCarriesStateButNotTracksTagsOrInterval) {
    AllKindsTile source;
    source.name = "Renamed";
    source.displayName = "Shown";
    source.description = "help";
    source.enabled = 0;
    source.pinned = 1;
    source.version = 3;
    source.floatAt(0)->value = 1.75f;
    source.vars[4]->choiceValue()->selected = 1;
    source.setAttribute("Key", "Value");
    source.addTypeTag(kTagBorder);
    source.frameIntervalValue = 0.4f;
    source.addAnimTrack(source.vars[0], "0 1", 1.0f);

    AllKindsTile target;
    target.copyFrom(source);
    EXPECT_TRUE(target.equals(source));
    EXPECT_STREQ(target.displayName.c_str(), "Shown");
    EXPECT_STREQ(target.description.c_str(), "help");
    EXPECT_STREQ(target.attributeValue("Key").c_str(), "Value");
    EXPECT_NE(target.vars[0], source.vars[0]);
    EXPECT_NE(target.vars[0]->value, source.vars[0]->value);
    EXPECT_EQ(target.typeTags.count, 0);
    EXPECT_EQ(target.frameInterval(), 0.05f);
    EXPECT_FALSE(target.hasAnimTracks());

    // Self-copy changes nothing.
    target.copyFrom(target);
    EXPECT_TRUE(target.equals(source));
}

TEST(ImageMod, CopyFromCopiesOnlyTheCommonVars) {
    AddConstantTile shorter(5.0f);
    AddConstantTile longer(7.0f);
    longer.addFloatVar("Extra", 0.3f, 0, 1);
    shorter.copyFrom(longer);
    EXPECT_EQ(shorter.vars.count, 1);
    EXPECT_EQ(shorter.floatAt(0)->value, 7.0f);

    AddConstantTile other(9.0f);
    longer.copyFrom(other);
    EXPECT_EQ(longer.vars.count, 2);
    EXPECT_EQ(longer.floatAt(0)->value, 9.0f);
    EXPECT_EQ(longer.floatAt(1)->value, 0.3f);
}

TEST(ImageMod, DuplicateIsCloneThenCopyFrom) {
    AllKindsTile source;
    source.floatAt(0)->value = 0.25f;
    source.pinned = 1;
    source.version = 4;
    std::unique_ptr<ImageMod> copy(duplicateMod(source));
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->equals(source));
    std::unique_ptr<ImageMod> bare(source.clone());
    EXPECT_FALSE(bare->equals(source));  // clone alone carries no state
}

TEST(ImageMod, DestroyingATileLeavesItsBorrowedVarsAlive) {
    auto shared = std::make_unique<ModVar>("Shared", new FloatValue(0.5f));
    {
        auto tile = std::make_unique<AddConstantTile>(1.0f);
        tile->vars.insertAt(0, shared.get());
        tile->vars.append(shared.get());  // listed twice: removed twice
        tile->borrowedVars.append(shared.get());
    }
    ASSERT_NE(shared->floatValue(), nullptr);
    EXPECT_EQ(shared->floatValue()->value, 0.5f);
}

TEST(ImageMod, ApplyAnimFrameRunsTracksThenNotifiesEveryVar) {
    AllKindsTile tile;
    tile.applyAnimFrame(3);
    EXPECT_EQ(tile.changed, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));

    AllKindsTile animated;
    animated.addAnimTrack(animated.vars[0], "0 2", 1.0f);  // 19 frames
    animated.applyAnimFrame(18);
    EXPECT_EQ(animated.floatAt(0)->value, 2.0f);
    EXPECT_EQ(animated.changed.size(), 7u);
}
