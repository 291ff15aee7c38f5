#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "framework/CompoundFilter.h"
#include "framework/CropMod.h"
#include "framework/ModListHelpers.h"
#include "support/TestTiles.h"

namespace {

// Owns the tiles of a test list.
struct TileList {
    std::vector<std::unique_ptr<ImageMod>> owned;
    GrowArray<ImageMod*> list;

    ImageMod* add(ImageMod* mod) {
        owned.emplace_back(mod);
        list.append(mod);
        return mod;
    }
};

ImageMod* selector(bool enabled = true) {
    WeightSelector* s = new WeightSelector(0.5f);
    s->enabled = enabled ? 1 : 0;
    return s;
}

}  // namespace

TEST(ModListHelpers, PrecedingSelectorsTakeTheUnbrokenRunOfEnabledSelectors) {
    // [one, two (disabled), three, T]: T gets [one, three].
    TileList chain;
    ImageMod* one = chain.add(selector());
    chain.add(selector(false));
    ImageMod* three = chain.add(selector());
    chain.add(new AddConstantTile());
    GrowArray<ImageMod*> found = precedingSelectors(chain.list, 3);
    ASSERT_EQ(found.count, 2);
    EXPECT_EQ(found[0], one);
    EXPECT_EQ(found[1], three);

    // [one, X, two, T]: the run ends at X.
    TileList broken;
    broken.add(selector());
    broken.add(new AddConstantTile());
    ImageMod* two = broken.add(selector());
    broken.add(new AddConstantTile());
    found = precedingSelectors(broken.list, 3);
    ASSERT_EQ(found.count, 1);
    EXPECT_EQ(found[0], two);
    EXPECT_EQ(precedingSelectors(broken.list, 2).count, 0);  // a plain tile in front

    for (int32_t index : {0, -1, 4, 100}) EXPECT_EQ(precedingSelectors(broken.list, index).count, 0) << index;
    EXPECT_EQ(precedingSelectors(GrowArray<ImageMod*>(), 0).count, 0);
}

TEST(ModListHelpers, FindModByTagSearchesDepthFirst) {
    TileList chain;
    EXPECT_EQ(findModByTag(chain.list, kTagCrop), nullptr);

    CompoundFilter* compound = new CompoundFilter(GrowString("Nested"));
    AddConstantTile* nestedCrop = new AddConstantTile();
    nestedCrop->addTypeTag(kTagCrop);
    compound->subMods.append(new AddConstantTile());
    compound->subMods.append(nestedCrop);
    chain.add(new AddConstantTile());
    chain.add(compound);
    AddConstantTile* topCrop = new AddConstantTile();
    topCrop->addTypeTag(kTagCrop);
    chain.add(topCrop);
    chain.add(new FrameBorderTile());

    EXPECT_EQ(findModByTag(chain.list, kTagCrop), nestedCrop);
    EXPECT_EQ(findModByTag(chain.list, kTagBorder), chain.list[3]);
    EXPECT_EQ(findModByTag(chain.list, kTagOutputSize), nullptr);

    // A compound's own tag is found before its children's.
    compound->addTypeTag(kTagCrop);
    EXPECT_EQ(findModByTag(chain.list, kTagCrop), compound);
}

// Leading (crop), central, trailing (borders, sizing), each group in list
// order; a nested tile counts as central and its inside is ordered too.
TEST(ModListHelpers, ChainGroupOrder) {
    TileList chain;
    ImageMod* frame = chain.add(new FrameBorderTile());
    ImageMod* a = chain.add(new AddConstantTile(1.0f));
    ImageMod* crop = chain.add(new CropMod());
    auto* nested = new CompoundFilter(GrowString("Compound Filter"));
    ImageMod* innerFrame = new FrameBorderTile();
    ImageMod* innerB = new AddConstantTile(2.0f);
    nested->subMods.append(innerFrame);
    nested->subMods.append(innerB);
    chain.add(nested);
    ImageMod* c = chain.add(new AddConstantTile(3.0f));

    GrowArray<ImageMod*> withNull = chain.list;
    withNull.append(nullptr);
    const GrowArray<ImageMod*> ordered = orderModsByChainGroup(withNull);
    const std::vector<ImageMod*> expected = {crop, a, nested, c, frame};
    ASSERT_EQ(ordered.count, 5);
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(ordered[i], expected[i]);
    EXPECT_EQ(nested->subMods[0], innerFrame);  // a new list leaves the tiles alone

    EXPECT_TRUE(sortModsByChainGroup(chain.list));
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(chain.list[i], expected[i]);
    ASSERT_EQ(nested->subMods.count, 2);
    EXPECT_EQ(nested->subMods[0], innerB);
    EXPECT_EQ(nested->subMods[1], innerFrame);
    EXPECT_FALSE(sortModsByChainGroup(chain.list));  // already in order
}
