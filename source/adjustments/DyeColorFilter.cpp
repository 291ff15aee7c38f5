#include "adjustments/DyeColorFilter.h"

#include "adjustments/ColorMethods.h"
#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

const float kDyeStartColour[4] = {255.0f, 0.0f, 0.0f, 255.0f};
const float kFilterStartColour[4] = {255.0f, 127.0f, 127.0f, 255.0f};

using tilevars::addStrengthAmount;  // the "Amount" of both tiles

// The vars of both tiles, in the order their constructors add them.
enum DyeVar : int32_t { kAmount = 0, kColour = 1 };

void addColourVar(ImageMod& mod, const float colour[4]) {
    tilevars::placed(mod, kColour,
                     mod.addVar(ModVar("Color", new ColorValue(colour[0], colour[1], colour[2], colour[3]))));
}

// ---- Dye ---------------------------------------------------------------------

struct DyeParams {
    float amount = 0.0f;
    bool keepsDetail = true;  // version 2: dyePixel, else dyePixelLuma
    DyeColour dye;
};

// False when the call leaves the image unchanged: Amount 0, no pixels, a
// colour var of another kind, or the detail dye (which reads three samples)
// on an image of fewer channels.
bool prepareDye(const DyeMod& mod, const ImageBuffer& image, DyeParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    const ModVar* colourVar = mod.var(kColour);
    const ColorValue* colour = colourVar ? colourVar->colorValue() : nullptr;
    if (!colour) return false;
    p.amount = tileloop::floatVar(mod, kAmount);
    if (p.amount == 0.0f) return false;
    p.keepsDetail = mod.version == 2;
    if (p.keepsDetail && image.channelCount() < 3) return false;
    p.dye = prepareDyeColour(colour->red, colour->green, colour->blue);
    return true;
}

template <class Sample>
void dyePixels(ImageBuffer& image, const DyeParams& p) {
    const DyeColour& dye = p.dye;
    const float w = p.amount;
    if (p.keepsDetail) {
        tileloop::forEachPixel<Sample>(image, [&](Sample* px, auto n) { dyeDetail(px, n, dye, w); });
    } else {
        tileloop::forEachPixel<Sample>(image, [&](Sample* px, auto n) { dyeLuma(px, n, dye, w); });
    }
}

// ---- Color Filter --------------------------------------------------------------

// Per colour entry (r, g, b and 255 for a fourth sample): the signed step
// d a and whether the entry darkens (e_k <= 127.5) or brightens.
struct ColorFilterParams {
    float step[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool darkens[4] = {false, false, false, false};
};

bool prepareColorFilter(const ColorFilterMod& mod, const ImageBuffer& image, ColorFilterParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    const ModVar* colourVar = mod.var(kColour);
    const ColorValue* colour = colourVar ? colourVar->colorValue() : nullptr;
    if (!colour) return false;
    const float a = tileloop::floatVar(mod, kAmount);
    if (a == 0.0f) return false;
    const float entries[4] = {colour->red, colour->green, colour->blue, 255.0f};
    for (int32_t k = 0; k < 4; ++k) {
        // d in double, rounded to float, then times a in float.
        const float d = static_cast<float>((static_cast<double>(entries[k]) - 127.5) * (1.0 / 127.5));
        p.step[k] = d * a;
        p.darkens[k] = entries[k] <= 127.5f;
    }
    return true;
}

// One filtered sample: toward 0 in proportion to x, or toward 255 in
// proportion to 255 - x; clamped to 0..255.
inline float filterSample(float x, float step, bool darkens) {
    const float moved = darkens ? step * x + x
                                : static_cast<float>(static_cast<double>(step) * (255.0 - static_cast<double>(x)) +
                                                     static_cast<double>(x));
    return tileloop::clampSample(moved);
}

TILE_VECTOR_LOOP void colorFilterFloats(ImageBuffer& image, const ColorFilterParams& p) {
    tileloop::forEachPixel<float>(image, [&](float* px, auto n) {
        const int32_t filtered = n < 4 ? static_cast<int32_t>(n) : 4;
        for (int32_t k = 0; k < filtered; ++k) px[k] = filterSample(px[k], p.step[k], p.darkens[k]);
    });
}

// Bytes go through one 256-entry table per channel, built with the float
// arithmetic above.
TILE_VECTOR_LOOP void colorFilterBytes(ImageBuffer& image, const ColorFilterParams& p) {
    uint8_t tables[4][256];
    for (int32_t k = 0; k < 4; ++k) {
        for (int32_t b = 0; b < 256; ++b)
            tables[k][b] = storeByte(filterSample(static_cast<float>(b), p.step[k], p.darkens[k]));
    }
    tileloop::forEachPixel<uint8_t>(image, [&](uint8_t* px, auto n) {
        const int32_t filtered = n < 4 ? static_cast<int32_t>(n) : 4;
        for (int32_t k = 0; k < filtered; ++k) px[k] = tables[k][px[k]];
    });
}

}  // namespace

// ---- DyeMod ----------------------------------------------------------------------

DyeMod::DyeMod(uint32_t version, const float colour[4], float amount) : ImageMod(GrowString("Dye"), GrowString("")) {
    tilevars::placed(*this, kAmount, addStrengthAmount(*this, amount));
    addColourVar(*this, colour);
    setVersion(version);
    description = "Dye the image with the selected color, preserving detail. Compare this result with Color Filter and Tint.";
}

ImageMod* DyeMod::clone() const { return withVersionOf(*this, new DyeMod(kNewestVersion, kDyeStartColour, 0.0f)); }

void DyeMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void DyeMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void DyeMod::apply8(ImageBuffer& image, const RenderArgs*) const {
    DyeParams p;
    if (prepareDye(*this, image, p)) dyePixels<uint8_t>(image, p);
}

void DyeMod::applyFloat(ImageBuffer& image, const RenderArgs*) const {
    DyeParams p;
    if (prepareDye(*this, image, p)) dyePixels<float>(image, p);
}

// ---- ColorFilterMod ----------------------------------------------------------------

ColorFilterMod::ColorFilterMod(const float colour[4], float amount)
    : ImageMod(GrowString("Color Filter"), GrowString("")) {
    version = kNewestVersion;
    tilevars::placed(*this, kAmount, addStrengthAmount(*this, amount));
    addColourVar(*this, colour);
    description = "Filter the image with the selected color. Compare this result with Tint and Dye.";
}

ImageMod* ColorFilterMod::clone() const { return new ColorFilterMod(kFilterStartColour, 0.0f); }

void ColorFilterMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void ColorFilterMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void ColorFilterMod::apply8(ImageBuffer& image, const RenderArgs*) const {
    ColorFilterParams p;
    if (prepareColorFilter(*this, image, p)) colorFilterBytes(image, p);
}

void ColorFilterMod::applyFloat(ImageBuffer& image, const RenderArgs*) const {
    ColorFilterParams p;
    if (prepareColorFilter(*this, image, p)) colorFilterFloats(image, p);
}
