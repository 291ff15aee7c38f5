#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/CompoundFilter.h"
#include "support/TestTiles.h"

namespace {

CompoundFilter* compoundOf(std::initializer_list<ImageMod*> mods, const char* name = "Nested Tile") {
    CompoundFilter* compound = new CompoundFilter(GrowString(name));
    for (ImageMod* mod : mods) compound->subMods.append(mod);
    return compound;
}

void setAmount(CompoundFilter& compound, float amount) { compound.floatAt(0)->value = amount; }

// A float image whose every sample is `value`.
void fillFloat(ImageBuffer& image, int32_t w, int32_t h, float value) {
    image.allocateFloat(w, h, 3);
    std::fill(image.floats(), image.floats() + image.sampleCount(), value);
}

void fill8(ImageBuffer& image, int32_t w, int32_t h, uint8_t value) {
    image.allocate8(w, h, 3);
    std::memset(image.bytes(), value, static_cast<size_t>(image.sampleCount()));
}

// Records what a sub-tile is handed: the arguments and, for a selector array,
// the names and weights of its entries at pixel (0, 0).
class ProbeTile : public ImageMod {
public:
    ProbeTile() : ImageMod(GrowString("Probe"), GrowString("")) {}
    ImageMod* clone() const override { return new ProbeTile(); }
    void processFloat(ImageBuffer& image, const RenderArgs* args) override {
        ++calls;
        sawArgs = args != nullptr;
        if (!args) return;
        region = args->region;
        requestValue = args->requestValue;
        pass = args->pass;
        selector = args->selector;
        selectorName = args->selector ? args->selector->name.c_str() : "";
        names.clear();
        weights.clear();
        if (const SelectorMod* s = asSelector(args->selector)) {
            weight = s->maskWeight(image, 0, 0, args->region);
            if (args->selector->name == "Selector Pointer Array") {
                for (ImageMod* entry : static_cast<const SelectorPointerArray*>(s)->selectors) {
                    names.push_back(entry->name.c_str());
                    weights.push_back(asSelector(entry)->maskWeight(image, 0, 0, nullptr));
                }
            }
        }
    }

    int32_t calls = 0;
    bool sawArgs = false;
    const RenderRegion* region = nullptr;
    int32_t requestValue = -99;
    int32_t pass = -99;
    const ImageMod* selector = nullptr;  // may be gone after the run: compare only
    std::string selectorName;
    float weight = -1.0f;
    std::vector<std::string> names;
    std::vector<float> weights;
};

}  // namespace

TEST(CompoundFilter, AmountFadesTheResultAgainstTheInput) {
    struct Case {
        float amount;
        float expected;
        int32_t calls;
    };
    // A sub-tile turns 100 into 201.
    const Case cases[] = {{0.0f, 100.0f, 0}, {1.0f, 201.0f, 1}, {0.5f, 150.5f, 1}, {0.25f, 125.25f, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.amount);
        AddConstantTile* add = new AddConstantTile(101.0f);
        std::unique_ptr<CompoundFilter> compound(compoundOf({add}));
        setAmount(*compound, c.amount);
        ImageBuffer image;
        fillFloat(image, 3, 2, 100.0f);
        compound->processFloat(image, nullptr);
        EXPECT_EQ(add->calls, c.calls);
        for (int64_t s = 0; s < image.sampleCount(); ++s) ASSERT_FLOAT_EQ(image.floats()[s], c.expected) << s;
    }
}

TEST(CompoundFilter, EightBitBlendTruncates) {
    struct Case {
        float amount;
        uint8_t expected;
    };
    const Case cases[] = {{0.0f, 100}, {1.0f, 201}, {0.5f, 150}, {0.9f, 190}};  // 150.5 and 190.9 truncated
    for (const Case& c : cases) {
        SCOPED_TRACE(c.amount);
        std::unique_ptr<CompoundFilter> compound(compoundOf({new AddConstantTile(101.0f)}));
        setAmount(*compound, c.amount);
        ImageBuffer image;
        fill8(image, 4, 3, 100);
        compound->process8(image, nullptr);
        for (int64_t s = 0; s < image.sampleCount(); ++s) ASSERT_EQ(image.bytes()[s], c.expected) << s;
    }
}

TEST(CompoundFilter, AMissingOrForeignAmountDoesNothing) {
    for (int32_t variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        AddConstantTile* add = new AddConstantTile(5.0f);
        std::unique_ptr<CompoundFilter> compound(compoundOf({add}));
        if (variant == 0) compound->vars[0]->setValue(new ColorValue(1, 1, 1));
        if (variant == 1) compound->vars[0]->setValue(nullptr);
        if (variant == 2) {
            delete compound->vars[0];
            compound->vars.count = 0;
        }
        ImageBuffer image;
        fillFloat(image, 2, 2, 10.0f);
        compound->processFloat(image, nullptr);
        EXPECT_EQ(add->calls, 0);
        EXPECT_EQ(image.floats()[0], 10.0f);
    }
}

TEST(CompoundFilter, DisabledSubTilesAreSkippedButStillCountForMarginAndBands) {
    AddConstantTile* on = new AddConstantTile(1.0f);
    AddConstantTile* off = new AddConstantTile(50.0f);
    off->enabled = 0;
    RowSpreadTile* spread = new RowSpreadTile(4);
    spread->enabled = 0;
    PassCountTile* refusing = new PassCountTile(2, 1);
    refusing->enabled = 0;
    std::unique_ptr<CompoundFilter> compound(compoundOf({on, off, spread, refusing}));
    ImageBuffer image;
    fillFloat(image, 2, 2, 10.0f);
    compound->processFloat(image, nullptr);
    EXPECT_EQ(image.floats()[0], 11.0f);
    EXPECT_EQ(off->calls, 0);
    EXPECT_EQ(compound->marginFor(100, 100, 1.0f), 4);
    EXPECT_FALSE(compound->canTile(0));  // the disabled tile refuses bands for its second pass
}

TEST(CompoundFilter, CanTileAsksEveryPassOfEverySubTile) {
    struct Case {
        int32_t passes;
        int32_t refused;
        bool canTile;
    };
    const Case cases[] = {{1, -1, true}, {3, -1, true}, {3, 2, false}, {3, 0, false}, {1, 1, true}};
    for (const Case& c : cases) {
        std::unique_ptr<CompoundFilter> compound(compoundOf({new AddConstantTile(), new PassCountTile(c.passes, c.refused)}));
        EXPECT_EQ(compound->canTile(5), c.canTile) << c.passes << " " << c.refused;
    }
}

TEST(CompoundFilter, MarginIsTheSumOfTheSubTilesMargins) {
    std::unique_ptr<CompoundFilter> compound(
        compoundOf({new RowSpreadTile(2), new AddConstantTile(), new RowSpreadTile(3)}));
    EXPECT_EQ(compound->marginFor(10, 10, 1.0f), 5);
    std::unique_ptr<CompoundFilter> outer(compoundOf({compound->clone(), new RowSpreadTile(1)}));
    EXPECT_EQ(outer->marginFor(10, 10, 1.0f), 6);
}

TEST(CompoundFilter, BandsWithTheCompoundsMarginGiveTheWholeImageResult) {
    // Two context-reading tiles run one after the other inside each band.
    const int32_t width = 3;
    const int32_t height = 29;
    std::unique_ptr<CompoundFilter> compound(compoundOf({new RowSpreadTile(2), new RowSpreadTile(3)}));
    ImageBuffer source;
    source.allocateFloat(width, height, 3);
    for (int64_t s = 0; s < source.sampleCount(); ++s) source.floats()[s] = static_cast<float>((s * 37) % 251);

    ImageBuffer whole;
    ImageBuffer::copyFloat(whole, source, true);
    compound->processFloat(whole, nullptr);

    auto renderInBands = [&](int32_t margin, int32_t bandHeight, ImageBuffer& result) {
        ImageBuffer::copyFloat(result, source, true);
        const int64_t rowSamples = static_cast<int64_t>(width) * 3;
        for (int32_t top = 0; top < height; top += bandHeight) {
            const int32_t bottom = std::min(height, top + bandHeight);
            const int32_t from = std::max(0, top - margin);
            const int32_t to = std::min(height, bottom + margin);
            ImageBuffer band;
            band.allocateFloat(width, to - from, 3);
            std::memcpy(band.floats(), source.floats() + from * rowSamples,
                        sizeof(float) * static_cast<size_t>(rowSamples * (to - from)));
            compound->processFloat(band, nullptr);
            std::memcpy(result.floats() + top * rowSamples, band.floats() + (top - from) * rowSamples,
                        sizeof(float) * static_cast<size_t>(rowSamples * (bottom - top)));
        }
    };
    const int32_t margin = compound->marginFor(width, height, 1.0f);
    for (int32_t bandHeight : {1, 4, 7, 29}) {
        ImageBuffer banded;
        renderInBands(margin, bandHeight, banded);
        ASSERT_EQ(std::memcmp(banded.floats(), whole.floats(), sizeof(float) * static_cast<size_t>(whole.sampleCount())), 0)
            << "band height " << bandHeight;
    }
    // The largest single margin is not enough.
    ImageBuffer tooThin;
    renderInBands(3, 4, tooThin);
    EXPECT_NE(std::memcmp(tooThin.floats(), whole.floats(), sizeof(float) * static_cast<size_t>(whole.sampleCount())), 0);
}

TEST(CompoundFilter, AnOuterSelectorWeighsByTheIncomingImage) {
    for (bool eightBit : {false, true}) {
        SCOPED_TRACE(eightBit ? "8-bit" : "float");
        // The first sub-tile raises red from 51 to 255 (weight 0.2 -> 1); the
        // second must still see the outer weight of the input, 0.2.
        AddConstantTile* raise = new AddConstantTile(204.0f);
        AddConstantTile* add = new AddConstantTile(10.0f);
        std::unique_ptr<CompoundFilter> compound(compoundOf({raise, add}));
        WeightSelector byRed(1.0f, redWeight);
        RenderArgs args;
        args.selector = &byRed;
        ImageBuffer image;
        if (eightBit) {
            fill8(image, 2, 1, 51);
            compound->process8(image, &args);
            // 51 + 204 * 0.2 = 91.8 -> 91, then + 10 * 0.2 = 93.
            EXPECT_EQ(image.bytes()[0], 93);
        } else {
            fillFloat(image, 2, 1, 51.0f);
            compound->processFloat(image, &args);
            EXPECT_NEAR(image.floats()[0], 51.0f + 204.0f * 0.2f + 10.0f * 0.2f, 1e-4);
        }
    }
}

TEST(CompoundFilter, SubTilesGetTheSelectorsInFrontOfThemAndTheFrozenOuterOne) {
    ProbeTile* plain = new ProbeTile();
    WeightSelector* inner1 = new WeightSelector(0.5f);
    WeightSelector* inner2 = new WeightSelector(0.4f);
    ProbeTile* limited = new ProbeTile();
    std::unique_ptr<CompoundFilter> compound(compoundOf({plain, inner1, inner2, limited}));

    // Without arguments: no selector for the first, an array of the two for the last.
    ImageBuffer image;
    fillFloat(image, 2, 2, 10.0f);
    compound->processFloat(image, nullptr);
    EXPECT_TRUE(plain->sawArgs);
    EXPECT_EQ(plain->selector, nullptr);
    EXPECT_EQ(plain->region, nullptr);
    EXPECT_EQ(plain->requestValue, 0);
    EXPECT_EQ(plain->pass, -1);
    EXPECT_EQ(limited->names, (std::vector<std::string>{"Weight Selector", "Weight Selector"}));
    EXPECT_FLOAT_EQ(limited->weight, 0.2f);

    // With an outer selector: the frozen outer weights come first.
    WeightSelector outer(0.25f);
    RenderRegion region;
    RenderArgs args;
    args.selector = &outer;
    args.region = &region;
    args.requestValue = 7;
    args.pass = 3;
    compound->processFloat(image, &args);
    EXPECT_EQ(plain->region, &region);
    EXPECT_EQ(plain->requestValue, 7);
    EXPECT_EQ(plain->pass, -1);
    EXPECT_EQ(plain->selectorName, "Bitmap Selector");
    EXPECT_FLOAT_EQ(plain->weight, 0.25f);
    EXPECT_EQ(limited->names, (std::vector<std::string>{"Bitmap Selector", "Weight Selector", "Weight Selector"}));
    EXPECT_EQ(limited->weights, (std::vector<float>{0.25f, 0.5f, 0.4f}));
    EXPECT_FLOAT_EQ(limited->weight, 0.05f);

    // A disabled inner selector is left out; a plain tile ends the run.
    inner1->enabled = 0;
    compound->processFloat(image, nullptr);
    EXPECT_EQ(limited->selector, inner2);
}

TEST(CompoundFilter, RemoveModTakesEveryOccurrenceAnywhere) {
    AddConstantTile twice;
    AddConstantTile deep;
    AddConstantTile stranger;
    CompoundFilter* nested = compoundOf({&deep});
    std::unique_ptr<CompoundFilter> compound(compoundOf({&twice, nested, &twice}));
    EXPECT_TRUE(compound->removeMod(&twice));
    EXPECT_EQ(compound->subMods.count, 1);
    EXPECT_TRUE(compound->removeMod(&deep));
    EXPECT_EQ(nested->subMods.count, 0);
    EXPECT_FALSE(compound->removeMod(&stranger));
    EXPECT_EQ(twice.calls, 0);  // still alive: not deleted
    EXPECT_TRUE(compound->removeMod(nested));
    delete nested;
}

TEST(CompoundFilter, BorderModPrefersADirectBorderNearTheEnd) {
    FrameBorderTile* nestedBorder = new FrameBorderTile();
    FrameBorderTile* lastBorder = new FrameBorderTile();
    std::unique_ptr<CompoundFilter> compound(
        compoundOf({new AddConstantTile(), compoundOf({nestedBorder}), lastBorder}));
    EXPECT_EQ(compound->borderMod(), lastBorder);

    // A direct border wins over a nested one standing after it.
    FrameBorderTile* direct = new FrameBorderTile();
    FrameBorderTile* deeper = new FrameBorderTile();
    std::unique_ptr<CompoundFilter> mixed(compoundOf({direct, compoundOf({deeper})}));
    EXPECT_EQ(mixed->borderMod(), direct);

    FrameBorderTile* onlyNested = new FrameBorderTile();
    std::unique_ptr<CompoundFilter> nestedOnly(compoundOf({compoundOf({new AddConstantTile(), onlyNested})}));
    EXPECT_EQ(nestedOnly->borderMod(), onlyNested);
}

TEST(CompoundFilter, CloneCopyFromAndEquals) {
    std::unique_ptr<CompoundFilter> source(compoundOf({new AddConstantTile(3.0f), new RowSpreadTile(2)}, "N"));
    setAmount(*source, 0.5f);
    source->version = 2;
    source->loadedFrom = "look.plf";

    std::unique_ptr<ImageMod> bare(source->clone());
    const CompoundFilter* clone = static_cast<const CompoundFilter*>(bare.get());
    EXPECT_STREQ(clone->name.c_str(), "N");
    EXPECT_STREQ(clone->displayName.c_str(), "N");
    EXPECT_STREQ(clone->loadedFrom.c_str(), "look.plf");
    ASSERT_EQ(clone->subMods.count, 2);
    EXPECT_NE(clone->subMods[0], source->subMods[0]);
    EXPECT_TRUE(clone->subMods[0]->equals(*source->subMods[0]));  // sub-tiles carry their state
    EXPECT_EQ(clone->floatAt(0)->value, 1.0f);                      // the compound's own vars do not
    EXPECT_FALSE(clone->equals(*source));

    std::unique_ptr<ImageMod> copy(duplicateMod(*source));
    EXPECT_TRUE(copy->equals(*source));
    EXPECT_TRUE(source->equals(*copy));

    // A sub-tile that differs makes the compounds differ.
    static_cast<CompoundFilter*>(copy.get())->subMods[1]->floatAt(0)->value = 5.0f;
    EXPECT_FALSE(copy->equals(*source));
    // Different sub-tile counts, or a tile that is no compound.
    std::unique_ptr<CompoundFilter> shorter(compoundOf({new AddConstantTile(3.0f)}, "N"));
    EXPECT_FALSE(shorter->equals(*source));
    AddConstantTile plain;
    EXPECT_FALSE(source->equals(plain));
}

TEST(CompoundFilter, CopyFromCopiesTheCommonSubTilesThenItsOwnState) {
    std::unique_ptr<CompoundFilter> source(compoundOf({new AddConstantTile(3.0f), new AddConstantTile(4.0f)}, "Src"));
    setAmount(*source, 0.3f);
    std::unique_ptr<CompoundFilter> target(compoundOf({new AddConstantTile(0.0f)}, "Dst"));
    target->copyFrom(*source);
    EXPECT_EQ(target->subMods.count, 1);
    EXPECT_EQ(target->subMods[0]->floatAt(0)->value, 3.0f);
    EXPECT_EQ(target->floatAt(0)->value, 0.3f);
    EXPECT_STREQ(target->name.c_str(), "Src");

    // From a tile that is no compound nothing is copied at all.
    AddConstantTile plain(9.0f);
    plain.name = "Plain";
    target->copyFrom(plain);
    EXPECT_STREQ(target->name.c_str(), "Src");
    EXPECT_EQ(target->floatAt(0)->value, 0.3f);

    target->copyFrom(*target);
    EXPECT_EQ(target->subMods.count, 1);
}

TEST(CompoundFilter, VariationVarsJoinTheSubTilesLists) {
    AddConstantTile* a = new AddConstantTile();
    ModVar* first = a->addFloatVar("Variation", 1, 0, 10);
    AddConstantTile* b = new AddConstantTile();
    ModVar* second = b->addFloatVar("Variation", 2, 0, 10);
    std::unique_ptr<CompoundFilter> compound(compoundOf({a, new AddConstantTile(), compoundOf({b})}));
    const GrowArray<ModVar*> found = compound->variationVars();
    ASSERT_EQ(found.count, 2);
    EXPECT_EQ(found[0], first);
    EXPECT_EQ(found[1], second);
}

TEST(CompoundFilter, ASubTileThatResizesTheImageIsNotBlendedOutOfBounds) {
    class Shrink : public ImageMod {
    public:
        Shrink() : ImageMod(GrowString("Shrink"), GrowString("")) {}
        ImageMod* clone() const override { return new Shrink(); }
        void processFloat(ImageBuffer& image, const RenderArgs*) override { fillFloat(image, 1, 1, 7.0f); }
    };
    std::unique_ptr<CompoundFilter> compound(compoundOf({new Shrink()}));
    setAmount(*compound, 0.5f);
    ImageBuffer image;
    fillFloat(image, 4, 4, 1.0f);
    compound->processFloat(image, nullptr);
    EXPECT_EQ(image.width, 1);
    EXPECT_EQ(image.floats()[0], 7.0f);
}
