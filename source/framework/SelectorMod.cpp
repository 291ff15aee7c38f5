#include "framework/SelectorMod.h"

SelectorMod::SelectorMod(const GrowString& xmlName, const GrowString& shownName) : ImageMod(xmlName, shownName) {}

float SelectorMod::maskWeight(const ImageBuffer&, int32_t, int32_t, const RenderRegion*) const { return 1.0f; }

float SelectorMod::maskWeight8(const ImageBuffer&, int32_t, int32_t, const RenderRegion*) const { return 1.0f; }

// ---------------------------------------------------------------------------

SelectorPointerArray::SelectorPointerArray(const GrowArray<ImageMod*>& list)
    : SelectorMod(GrowString("Selector Pointer Array"), GrowString("")), selectors(list) {}

ImageMod* SelectorPointerArray::clone() const { return new SelectorPointerArray(GrowArray<ImageMod*>()); }

float SelectorPointerArray::maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    float weight = 1.0f;
    for (const ImageMod* mod : selectors) {
        if (const SelectorMod* s = asSelector(mod)) weight *= s->maskWeight(image, x, y, nullptr);
    }
    return weight;
}

float SelectorPointerArray::maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    float weight = 1.0f;
    for (const ImageMod* mod : selectors) {
        if (const SelectorMod* s = asSelector(mod)) weight *= s->maskWeight8(image, x, y, nullptr);
    }
    return weight;
}

// ---------------------------------------------------------------------------

BitmapSelector::BitmapSelector() : SelectorMod(GrowString("Bitmap Selector"), GrowString("")) {}

BitmapSelector::~BitmapSelector() { delete mask; }

ImageMod* BitmapSelector::clone() const { return new BitmapSelector(); }

template <bool kEightBit>
void BitmapSelector::fill(const SelectorMod& selector, const ImageBuffer& image) {
    delete mask;
    mask = new ImageBuffer();
    const int32_t w = image.width;
    const int32_t h = image.height;
    if (w < 1 || h < 1 || !mask->allocateFloat(w, h, 1)) return;  // an empty mask
    float* weights = mask->floats();
    for (int32_t y = 0; y < h; ++y) {
        float* row = weights + static_cast<int64_t>(y) * w;
        for (int32_t x = 0; x < w; ++x) {
            row[x] = kEightBit ? selector.maskWeight8(image, x, y, nullptr) : selector.maskWeight(image, x, y, nullptr);
        }
    }
}

void BitmapSelector::fillFrom(const SelectorMod& selector, const ImageBuffer& floatImage) {
    fill<false>(selector, floatImage);
}

void BitmapSelector::fillFrom8(const SelectorMod& selector, const ImageBuffer& image8) { fill<true>(selector, image8); }

float BitmapSelector::storedWeight(int32_t x, int32_t y) const {
    if (!mask || !mask->data) return 0.0f;
    // Pixels outside the mask (asked after a sub-tile changed the image's
    // size) get no effect rather than a read outside the mask.
    if (x < 0 || y < 0 || x >= mask->width || y >= mask->height) return 0.0f;
    const int64_t index = (static_cast<int64_t>(y) * mask->width + x) * mask->channelCount();
    return mask->floats()[index];
}

float BitmapSelector::maskWeight(const ImageBuffer&, int32_t x, int32_t y, const RenderRegion*) const {
    return storedWeight(x, y);
}

float BitmapSelector::maskWeight8(const ImageBuffer&, int32_t x, int32_t y, const RenderRegion*) const {
    return storedWeight(x, y);
}

// ---------------------------------------------------------------------------

ImageMod* chooseSelector(const GrowArray<ImageMod*>& selectors, std::unique_ptr<SelectorPointerArray>& holder) {
    holder.reset();
    if (selectors.count == 0) return nullptr;
    if (selectors.count == 1) return selectors[0];
    holder = std::make_unique<SelectorPointerArray>(selectors);
    return holder.get();
}
