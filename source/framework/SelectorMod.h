#pragma once
// Selector tiles: masks of kind 4 that change no pixel themselves but weight
// the effect of the tile after them per pixel (0..1). The weight operations
// are read-only and are called from several bands at once.

#include "framework/ImageMod.h"

#include <memory>

class SelectorMod : public ImageMod {
public:
    SelectorMod(const GrowString& xmlName, const GrowString& shownName);
    // Kind 4 is what marks a tile as a selector (see asSelector).
    int32_t kind() const override { return kSelectorMod; }
    bool hasHoverPreview() const override { return false; }
    virtual float maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const;
    virtual float maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const;
};

// The selector behind a tile pointer (the `selector` of RenderArgs, an entry
// of a selector list), or null when the tile is no selector. Only SelectorMod
// and its subclasses answer kind 4, so the kind decides without a
// dynamic_cast in the per-pixel path.
inline const SelectorMod* asSelector(const ImageMod* mod) {
    return mod && mod->kind() == kSelectorMod ? static_cast<const SelectorMod*>(mod) : nullptr;
}

// The product of several selectors' weights (not owned). A list entry that
// is no selector counts as weight 1.
class SelectorPointerArray : public SelectorMod {
public:
    GrowArray<ImageMod*> selectors;
    explicit SelectorPointerArray(const GrowArray<ImageMod*>& list);
    ImageMod* clone() const override;
    float maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;
    float maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;
};

// A selector's weights frozen into a one-channel float mask. Without a mask
// (a fresh clone) every weight is 0; so is a pixel outside the mask.
class BitmapSelector : public SelectorMod {
public:
    ImageBuffer* mask = nullptr;  // owned
    BitmapSelector();
    ~BitmapSelector() override;
    void fillFrom(const SelectorMod& selector, const ImageBuffer& floatImage);
    void fillFrom8(const SelectorMod& selector, const ImageBuffer& image8);
    ImageMod* clone() const override;
    float maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;
    float maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;

private:
    template <bool kEightBit>
    void fill(const SelectorMod& selector, const ImageBuffer& image);
    float storedWeight(int32_t x, int32_t y) const;
};

// The selector a tile receives for a list of preceding selectors: null for
// none, the selector itself for one, an array (returned in `holder`) for more.
ImageMod* chooseSelector(const GrowArray<ImageMod*>& selectors, std::unique_ptr<SelectorPointerArray>& holder);
