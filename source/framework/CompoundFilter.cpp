#include "framework/CompoundFilter.h"

#include <limits>
#include <memory>

#include "framework/ModListHelpers.h"
#include "framework/SelectorMod.h"

namespace {

// The one var, which the body reads by this position.
enum CompoundFilterVar : int32_t { kCompoundAmount = 0 };

}  // namespace

CompoundFilter::CompoundFilter(const GrowString& xmlName) : ImageMod(xmlName, GrowString("")) {
    // "Amount" fades the group's result against its input: 0..1, shown as 0..100.
    ModVar* amount = addFloatVar("Amount", 1.0f, 0.0f, 1.0f, 0);
    FloatValue* number = amount->floatValue();
    number->displayLow = 0.0f;
    number->displayHigh = 100.0f;
    number->useDisplayRange = 1;
}

CompoundFilter::~CompoundFilter() {
    for (ImageMod* mod : subMods) delete mod;
    subMods.destroy();
}

bool CompoundFilter::removeMod(ImageMod* mod) {
    bool removed = false;
    for (int32_t i = 0; i < subMods.count;) {
        ImageMod* sub = subMods[i];
        if (sub && sub->kind() == kCompoundMod) {
            if (CompoundFilter* nested = dynamic_cast<CompoundFilter*>(sub)) removed = nested->removeMod(mod) || removed;
        }
        if (sub == mod) {
            subMods.removeAt(i);  // the same index is examined again
            removed = true;
        } else {
            ++i;
        }
    }
    return removed;
}

void CompoundFilter::copyFrom(const ImageMod& other) {
    if (&other == this || other.kind() != kCompoundMod) return;
    const CompoundFilter* compound = dynamic_cast<const CompoundFilter*>(&other);
    if (!compound) return;
    const int32_t common = subMods.count < compound->subMods.count ? subMods.count : compound->subMods.count;
    for (int32_t i = 0; i < common; ++i) {
        if (subMods[i] && compound->subMods[i]) subMods[i]->copyFrom(*compound->subMods[i]);
    }
    ImageMod::copyFrom(other);
}

ModVar* CompoundFilter::amountVar() { return vars.count > 0 ? vars[0] : nullptr; }

int32_t CompoundFilter::marginFor(int32_t width, int32_t height, float scale) const {
    // The sub-tiles run one after another inside one band, so each one's
    // context rows are consumed on top of the previous one's: the band needs
    // the sum of their margins (the largest alone would let the band's edge
    // rows of a later sub-tile read rows an earlier one left unprocessed).
    // Disabled sub-tiles count too, as they do for canTile.
    int64_t total = 0;
    for (const ImageMod* mod : subMods) {
        if (!mod) continue;
        const int32_t margin = mod->marginFor(width, height, scale);
        if (margin > 0) total += margin;
    }
    const int64_t limit = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(total < limit ? total : limit);
}

ImageMod* CompoundFilter::clone() const {
    CompoundFilter* copy = new CompoundFilter(GrowString("Compound Filter"));
    for (const ImageMod* mod : subMods) {
        if (!mod) continue;
        if (ImageMod* sub = duplicateMod(*mod)) copy->subMods.append(sub);
    }
    copy->setNames(name, GrowString(""));
    copy->loadedFrom = loadedFrom;
    return copy;
}

bool CompoundFilter::canTile(int32_t) const {
    for (const ImageMod* mod : subMods) {
        if (!mod) continue;
        const int32_t passes = mod->passCount();
        for (int32_t p = 0; p < passes; ++p) {
            if (!mod->canTile(p)) return false;
        }
    }
    return true;
}

template <bool kEightBit>
void CompoundFilter::processWith(ImageBuffer& image, const RenderArgs* args) {
    const FloatValue* amountValue = floatAt(kCompoundAmount);
    if (!amountValue) return;
    const float a = amountValue->value;
    if (a == 0.0f) return;

    const bool blend = a < 1.0f;
    ImageBuffer original;
    if (blend) {
        if (kEightBit) {
            ImageBuffer::copy8(original, image, true);
        } else {
            ImageBuffer::copyFloat(original, image, true);
        }
        // Without the copy the fade cannot be done; leave the image as it is
        // rather than apply the full effect.
        if (image.sampleCount() > 0 && !original.data) return;
    }

    // The selector in front of the compound weighs the tiles inside by the
    // image as it came in, before any of them changes it.
    std::unique_ptr<BitmapSelector> frozen;
    if (args) {
        if (const SelectorMod* outer = asSelector(args->selector)) {
            frozen = std::make_unique<BitmapSelector>();
            if (kEightBit) {
                frozen->fillFrom8(*outer, image);
            } else {
                frozen->fillFrom(*outer, image);
            }
        }
    }

    for (int32_t i = 0; i < subMods.count; ++i) {
        ImageMod* mod = subMods[i];
        if (!mod || !mod->enabled) continue;
        GrowArray<ImageMod*> selectors = precedingSelectors(subMods, i);
        if (frozen) selectors.insertAt(0, frozen.get());
        std::unique_ptr<SelectorPointerArray> combined;
        RenderArgs subArgs;
        subArgs.region = args ? args->region : nullptr;
        subArgs.requestValue = args ? args->requestValue : 0;
        subArgs.selector = chooseSelector(selectors, combined);
        subArgs.pass = -1;
        if (kEightBit) {
            mod->process8(image, &subArgs);
        } else {
            mod->processFloat(image, &subArgs);
        }
    }
    frozen.reset();

    if (!blend) return;
    // A sub-tile that changed the image's size leaves nothing to fade against.
    if (original.width != image.width || original.height != image.height ||
        original.channelCount() != image.channelCount() || !image.data)
        return;
    const int64_t samples = image.sampleCount();
    const float keep = 1.0f - a;
    if (kEightBit) {
        const uint8_t* before = original.bytes();
        uint8_t* after = image.bytes();
        for (int64_t s = 0; s < samples; ++s) {
            const float mixed = static_cast<float>(before[s]) * keep + static_cast<float>(after[s]) * a;
            after[s] = storeByte(mixed);  // truncated toward zero
        }
    } else {
        const float* before = original.floats();
        float* after = image.floats();
        for (int64_t s = 0; s < samples; ++s) after[s] = before[s] * keep + after[s] * a;
    }
}

void CompoundFilter::process8(ImageBuffer& image, const RenderArgs* args) { processWith<true>(image, args); }

void CompoundFilter::processFloat(ImageBuffer& image, const RenderArgs* args) { processWith<false>(image, args); }

GrowArray<ModVar*> CompoundFilter::variationVars() {
    GrowArray<ModVar*> all;
    for (ImageMod* mod : subMods) {
        if (!mod) continue;
        const GrowArray<ModVar*> found = mod->variationVars();
        for (ModVar* v : found) all.append(v);
    }
    return all;
}

ImageMod* CompoundFilter::borderMod() {
    // A border standing directly in the compound wins over one nested deeper;
    // both searches go from the last sub-tile to the first, as the last
    // border of a chain is the one that frames the image.
    for (int32_t i = subMods.count - 1; i >= 0; --i) {
        if (subMods[i] && subMods[i]->kind() == kBorderMod) return subMods[i];
    }
    for (int32_t i = subMods.count - 1; i >= 0; --i) {
        if (!subMods[i]) continue;
        if (ImageMod* border = subMods[i]->borderMod()) return border;
    }
    return nullptr;
}

bool CompoundFilter::equals(const ImageMod& other) const {
    if (other.kind() != kCompoundMod) return false;
    const CompoundFilter* compound = dynamic_cast<const CompoundFilter*>(&other);
    if (!compound || subMods.count != compound->subMods.count) return false;
    for (int32_t i = 0; i < subMods.count; ++i) {
        const ImageMod* a = subMods[i];
        const ImageMod* b = compound->subMods[i];
        if (!a || !b) {
            if (a != b) return false;
            continue;
        }
        if (!a->equals(*b)) return false;
    }
    return ImageMod::equals(other);
}
