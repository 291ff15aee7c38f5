#include "adjustments/ColorMethods.h"

#include "foundation/ColorConversions.h"

namespace {

// A hue brought into 0..360 by whole turns (the luminance dye's rule);
// rgbToHsv already gives 0..360, so this only matters for a hue that is not.
float wrapDyeHue(float h) {
    if (!(h > -1.0e9f && h < 1.0e9f)) return 0.0f;  // NaN, infinite or absurd
    if (h < 0.0f) h += 360.0f * (1.0f + truncf(-h / 360.0f));
    if (h >= 360.0f) h -= 360.0f * truncf(h / 360.0f);
    return h;
}

void prepareOperand(ColorOperand& e, float r, float g, float b) {
    e.rgb[0] = r;
    e.rgb[1] = g;
    e.rgb[2] = b;
    const float mean = static_cast<float>(static_cast<double>(g + r + b) * 0.3333333333333333);
    const float entries[4] = {r, g, b, 255.0f};
    for (int32_t k = 0; k < 4; ++k) {
        if (k < 3) {
            e.deviation[k] = e.rgb[k] - mean;
            e.unit[k] = e.rgb[k] * pixel::kInv255;
        }
        e.filter[k] = (static_cast<double>(entries[k]) - 127.5) * (1.0 / 127.5);
        e.filterDarkens[k] = entries[k] <= 127.5f;
    }
    e.dye = prepareDyeColour(r, g, b);
}

}  // namespace

GrowArray<GrowString> colorMethodOptions() {
    GrowArray<GrowString> options;
    const char* const names[kColorMethodCount] = {"Colorize", "Tint",   "Color Filter", "Dye",
                                                  "Color Balance", "Screen", "Multiply"};
    for (const char* name : names) options.append(GrowString(name));
    return options;
}

DyeColour prepareDyeColour(float r, float g, float b) {
    float h = 0.0f;
    DyeColour dye;
    rgbToHsv(&h, &dye.saturation, &dye.value, r, g, b);
    dye.detailSector = hueSector(h);
    dye.lumaSector = hueSector(wrapDyeHue(h));
    return dye;
}

void prepareColorMethod(ColorMethodColours& out, float r, float g, float b, bool dyeKeepsDetail) {
    prepareOperand(out.colour, r, g, b);
    prepareOperand(out.complement, 255.0f - r, 255.0f - g, 255.0f - b);
    out.dyeKeepsDetail = dyeKeepsDetail;
}

void dyePixel(const ImageBuffer& image, float* px, float r, float g, float b, float weight) {
    if (px) dyeDetail(px, image.channelCount(), prepareDyeColour(r, g, b), weight);
}

void dyePixel8(const ImageBuffer& image, uint8_t* px, float r, float g, float b, float weight) {
    if (px) dyeDetail(px, image.channelCount(), prepareDyeColour(r, g, b), weight);
}

void dyePixelLuma(const ImageBuffer& image, float* px, float r, float g, float b, float weight) {
    if (px) dyeLuma(px, image.channelCount(), prepareDyeColour(r, g, b), weight);
}

void dyePixelLuma8(const ImageBuffer& image, uint8_t* px, float r, float g, float b, float weight) {
    if (px) dyeLuma(px, image.channelCount(), prepareDyeColour(r, g, b), weight);
}
