#pragma once
// CompoundFilter: a tile holding an ordered chain of tiles applied as one,
// its result faded against its input by its Amount. Selectors in front of
// the compound limit every tile inside it; selectors inside limit the tiles
// that follow them.
//
// Its margin is the sum of its sub-tiles' margins: they run one after
// another inside one band, so each needs its context rows on top of the
// rows the previous one consumed.

#include "framework/ImageMod.h"

class CompoundFilter : public ImageMod {
public:
    GrowArray<ImageMod*> subMods;  // owned
    GrowString loadedFrom;         // the file it was loaded from, "" when none

    explicit CompoundFilter(const GrowString& xmlName);
    ~CompoundFilter() override;

    bool removeMod(ImageMod* mod);

    void copyFrom(const ImageMod& other) override;
    ModVar* amountVar() override;
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    int32_t kind() const override { return kCompoundMod; }
    ImageMod* clone() const override;
    bool canTile(int32_t pass) const override;
    int32_t passCount() const override { return 1; }
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    GrowArray<ModVar*> variationVars() override;
    ImageMod* borderMod() override;
    GrowString filePath() const override { return loadedFrom; }
    bool equals(const ImageMod& other) const override;

private:
    template <bool kEightBit>
    void processWith(ImageBuffer& image, const RenderArgs* args);
};
