#include "framework/ImageMod.h"

#include "foundation/TextNumbers.h"

namespace {

// The numbers of a key text, each token read as a single-precision number
// (a token that is no number reads as 0).
GrowArray<float> readNumbers(const char* text) {
    GrowArray<float> numbers;
    GrowString rest(text ? text : "");
    for (;;) {
        GrowString token = rest.takeToken();
        if (token.isEmpty()) break;
        numbers.append(static_cast<float>(cStrtod(token.c_str(), nullptr)));
    }
    return numbers;
}

}  // namespace

ImageMod::ImageMod(const GrowString& xmlName, const GrowString& shownName) {
    setNames(xmlName, shownName);
    description = "";
    enabled = 1;
    pinned = 0;
    version = 1;
    frameIntervalValue = defaultFrameInterval;
}

ImageMod::~ImageMod() {
    // Borrowed vars belong to another object: take them out of the list
    // before the owned ones are deleted.
    for (ModVar* borrowed : borrowedVars) {
        for (int32_t i = 0; i < vars.count;) {
            if (vars[i] == borrowed) {
                vars.removeAt(i);
            } else {
                ++i;
            }
        }
    }
    borrowedVars.destroy();
    for (ModVar* owned : vars) delete owned;
    vars.destroy();
    for (AnimTrack* track : animTracks) delete track;
    animTracks.destroy();
}

void ImageMod::setNames(const GrowString& xmlName, const GrowString& shownName) {
    // Copies first: either argument may be one of our own fields.
    GrowString newName(xmlName);
    GrowString newDisplay(shownName.isEmpty() ? xmlName : shownName);
    name = std::move(newName);
    displayName = std::move(newDisplay);
}

ModVar* ImageMod::addVar(const ModVar& prototype) {
    ModVar* copy = new ModVar(prototype);
    vars.append(copy);
    return copy;
}

void ImageMod::addTypeTag(int32_t tag) { typeTags.append(tag); }

ModVar* ImageMod::addFloatVar(const char* varName, float value, float low, float high, int32_t controlCode) {
    FloatValue* number = new FloatValue(value);
    number->minimum = low;
    number->maximum = high;
    number->hasMinimum = 1;
    number->hasMaximum = 1;
    number->rangeLow = low;
    number->rangeHigh = high;
    number->displayLow = low;
    number->displayHigh = high;
    number->useDisplayRange = 0;
    number->tickCount = 10;
    ModVar prototype(varName, number, controlCode);
    return addVar(prototype);
}

FloatValue* ImageMod::floatAt(int32_t index) const {
    const ModVar* v = var(index);
    return v ? v->floatValue() : nullptr;
}

ModVar* ImageMod::findVar(const char* varName) const {
    const GrowString wanted(varName ? varName : "");
    for (ModVar* v : vars) {
        if (v && sameText(v->name, wanted)) return v;
    }
    return nullptr;
}

void ImageMod::setAttribute(const char* attrName, const char* value) {
    const GrowString key(attrName ? attrName : "");
    const GrowString text(value ? value : "");
    for (int32_t i = 0; i < attrNames.count; ++i) {
        if (sameText(attrNames[i], key)) {
            while (attrValues.count < i + 1) attrValues.append(GrowString(""));
            attrValues[i] = text;
            return;
        }
    }
    // Keep the two arrays index-aligned even if the values fell short.
    while (attrValues.count < attrNames.count) attrValues.append(GrowString(""));
    attrNames.append(key);
    attrValues.append(text);
}

GrowString ImageMod::attributeValue(const char* attrName) const {
    const GrowString key(attrName ? attrName : "");
    for (int32_t i = 0; i < attrNames.count; ++i) {
        if (sameText(attrNames[i], key)) return i < attrValues.count ? attrValues[i] : GrowString("");
    }
    return GrowString("");
}

void ImageMod::addAnimTrack(ModVar* var, const char* keyText, float seconds) {
    FloatAnimTrack* track = new FloatAnimTrack();
    track->keys = readNumbers(keyText);
    track->var = var;
    track->frames = animFrameCount(frameInterval(), seconds);
    animTracks.append(track);
}

void ImageMod::addChoiceAnimTrack(ModVar* var, const GrowArray<GrowString>& options, float seconds) {
    GrowString keyText("");
    for (int32_t i = 0; i < options.count; ++i) {
        if (i > 0) keyText.appendChar(' ');
        appendFormat(keyText, "%i", i);
    }
    addAnimTrack(var, keyText.c_str(), seconds);
}

void ImageMod::addColorAnimTrack(ModVar* var, const char* keyText, float seconds) {
    ColorAnimTrack* track = new ColorAnimTrack();
    const GrowArray<float> numbers = readNumbers(keyText);
    // Four numbers per key; an incomplete last group reads the rest as 0.
    for (int32_t i = 0; i < numbers.count; i += 4) {
        track->hues.append(numbers[i]);
        track->saturations.append(i + 1 < numbers.count ? numbers[i + 1] : 0.0f);
        track->values.append(i + 2 < numbers.count ? numbers[i + 2] : 0.0f);
        track->fourth.append(i + 3 < numbers.count ? numbers[i + 3] : 0.0f);
    }
    track->var = var;
    track->frames = animFrameCount(frameInterval(), seconds);
    animTracks.append(track);
}

void ImageMod::addCurveAnimTrack(ModVar* var, const GrowArray<GrowString>& keyTexts,
                                 const GrowArray<float>& seconds) {
    CurveAnimTrack* track = new CurveAnimTrack();
    for (int32_t j = 0; j < keyTexts.count; ++j) {
        const GrowArray<float> numbers = readNumbers(keyTexts[j].c_str());
        GrowArray<CurvePoint> keys;
        // x y pairs; an incomplete last pair reads its y as 0.
        for (int32_t i = 0; i < numbers.count; i += 2) {
            keys.append(CurvePoint{numbers[i], i + 1 < numbers.count ? numbers[i + 1] : 0.0f});
        }
        track->pointKeys.append(keys);
        // A point without its own seconds gets a one-frame loop: it holds its
        // first key.
        track->frames.append(j < seconds.count ? animFrameCount(frameInterval(), seconds[j]) : 0);
    }
    track->var = var;
    animTracks.append(track);
}

// ---------------------------------------------------------------------------
// Virtual operations

void ImageMod::copyFrom(const ImageMod& other) {
    if (&other == this) return;
    name = other.name;
    displayName = other.displayName;
    description = other.description;
    const int32_t common = vars.count < other.vars.count ? vars.count : other.vars.count;
    for (int32_t i = 0; i < common; ++i) {
        if (vars[i] && other.vars[i]) *vars[i] = *other.vars[i];
    }
    enabled = other.enabled;
    pinned = other.pinned;
    version = other.version;
    attrNames = other.attrNames;
    attrValues = other.attrValues;
}

ModVar* ImageMod::amountVar() { return findVar("Amount"); }

int32_t ImageMod::marginFor(int32_t, int32_t, float) const { return 0; }

bool ImageMod::canTile(int32_t) const { return true; }

void ImageMod::process8(ImageBuffer&, const RenderArgs*) {}

void ImageMod::processFloat(ImageBuffer&, const RenderArgs*) {}

ModVar* ImageMod::firstVar() { return vars.count > 0 ? vars[0] : nullptr; }

void ImageMod::varChanged(int32_t) {}

GrowArray<ModVar*> ImageMod::variationVars() {
    GrowArray<ModVar*> found;
    if (ModVar* v = findVar("Variation")) found.append(v);
    return found;
}

bool ImageMod::equals(const ImageMod& other) const {
    if (!sameText(name, other.name)) return false;
    if (vars.count != other.vars.count || enabled != other.enabled || pinned != other.pinned) return false;
    for (int32_t i = 0; i < vars.count; ++i) {
        const ModVar* a = vars[i];
        const ModVar* b = other.vars[i];
        if (!a || !b) {
            if (a != b) return false;
            continue;
        }
        if (!sameText(a->name, b->name)) return false;
        if (!sameText(a->label(), b->label())) return false;
        if (a->hoverPreview != b->hoverPreview) return false;
        // A var without a value matches whatever the other one holds.
        if (a->value) {
            if (!b->value || a->value->kind() != b->value->kind()) return false;
            if (!a->value->equals(*b->value)) return false;
        }
    }
    return version == other.version;
}

void ImageMod::applyAnimFrame(int32_t frame) {
    for (AnimTrack* track : animTracks) {
        if (track) track->applyFrame(frame);
    }
    for (int32_t i = 0; i < vars.count; ++i) varChanged(i);
}

ImageMod* duplicateMod(const ImageMod& mod) {
    ImageMod* copy = mod.clone();
    if (copy) copy->copyFrom(mod);
    return copy;
}
