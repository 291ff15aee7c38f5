#include "adjustments/ChannelMixers.h"

#include <cmath>
#include <type_traits>

#include "adjustments/ContrastSaturation.h"
#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

using tileloop::floatVar;

namespace {

// A weighted sum clamped to the sample range: below 0, and NaN, give 0.
TILE_INLINE float clampOrZero(float v) {
    if (!(v >= 0.0f)) return 0.0f;
    return v < 255.0f ? v : 255.0f;
}

// A percentage as a factor: the product in double, rounded to float.
inline float percentFactor(float percent) { return static_cast<float>(static_cast<double>(percent) * 0.01); }

// The vars of Filtered B+W, in the order its constructor adds them. The two
// mixers record their vars' positions in members as they add them.
enum FilteredBwVar : int32_t { kFilterAmount = 0, kFilterHue = 1 };

// A weight in percent, -200..200, with the slider settings of the tiles.
ModVar* addPercentVar(ImageMod& mod, const char* name, float value) {
    return mod.addFloatVar(name, value, -200.0f, 200.0f, 0);
}

// ---- Greyscale mix ---------------------------------------------------------------

struct GreyParams {
    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;
    tileloop::Selector selector;
};

// False when the image has no pixels or fewer than three channels (the mix
// reads and writes three samples).
bool prepareGrey(const GreyscaleChannelMixerMod& mod, const ImageBuffer& image, const RenderArgs* args,
                 GreyParams& p) {
    if (!tileloop::hasPixels(image) || image.channelCount() < 3) return false;
    p.red = percentFactor(floatVar(mod, mod.redIndex));
    p.green = percentFactor(floatVar(mod, mod.greenIndex));
    p.blue = percentFactor(floatVar(mod, mod.blueIndex));
    p.selector = tileloop::selectorOf(args);
    return true;
}

// s = r w_r + g w_g + b w_b in single precision, added in that order.
template <class Sample>
inline float greyOf(const Sample* px, float wr, float wg, float wb) {
    const float r = static_cast<float>(px[0]);
    const float g = static_cast<float>(px[1]);
    const float b = static_cast<float>(px[2]);
    return clampOrZero(r * wr + g * wg + b * wb);
}

template <class Sample>
void greyPixels(ImageBuffer& image, const GreyParams& p) {
    const float wr = p.red;
    const float wg = p.green;
    const float wb = p.blue;
    if (p.selector) {
        // The finished grey is blended with each input sample by the weight.
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&](Sample* px, auto, float w) {
            const float s = greyOf(px, wr, wg, wb);
            for (int32_t k = 0; k < 3; ++k) {
                const float c = static_cast<float>(px[k]);
                tileloop::store(px[k], (s - c) * w + c);
            }
        });
        return;
    }
    tileloop::forEachPixel<Sample>(image, [wr, wg, wb](Sample* px, auto) {
        const float s = greyOf(px, wr, wg, wb);
        tileloop::store(px[0], s);
        tileloop::store(px[1], s);
        tileloop::store(px[2], s);
    });
}

// ---- Filtered B+W ------------------------------------------------------------------

constexpr double kInverse360 = 0.002777777777777778;  // 1/360

// The "Hue" var wrapped into 0..360 by whole turns. The turn counts are
// whole numbers kept in double precision (no integer overflow for huge
// values); a non-finite hue reads as 0, and a hue too large for a float to
// keep a fraction falls back to the remainder of a division.
float wrapFilterHue(float h) {
    if (!std::isfinite(h)) return 0.0f;
    const float given = h;
    if (h < 0.0f) h += static_cast<float>(std::trunc(static_cast<double>(h) * -kInverse360) * 360.0 + 360.0);
    if (h >= 360.0f) h -= static_cast<float>(std::trunc(static_cast<double>(h) * kInverse360) * 360.0);
    if (!(h >= 0.0f && h < 360.0f)) {
        h = static_cast<float>(std::fmod(static_cast<double>(given), 360.0));
        if (h < 0.0f) h += 360.0f;
        if (!(h >= 0.0f && h < 360.0f)) h = 0.0f;
    }
    return h;
}

// The pure colour of a hue: sextant k = floor(x), x = (h / 360) 6, and the
// fraction f = x - k rising or falling within it.
void filterColour(float h, float rgb[3]) {
    const float x = static_cast<float>(static_cast<double>(h) * kInverse360) * 6.0f;
    const float k = std::floor(x);
    const float f = x - k;
    switch (hsvpixel::sectorOf(k)) {
        case 0: rgb[0] = 1.0f; rgb[1] = f; rgb[2] = 0.0f; break;
        case 1: rgb[0] = 1.0f - f; rgb[1] = 1.0f; rgb[2] = 0.0f; break;
        case 2: rgb[0] = 0.0f; rgb[1] = 1.0f; rgb[2] = f; break;
        case 3: rgb[0] = 0.0f; rgb[1] = 1.0f - f; rgb[2] = 1.0f; break;
        case 4: rgb[0] = f; rgb[1] = 0.0f; rgb[2] = 1.0f; break;
        default: rgb[0] = 1.0f; rgb[1] = 0.0f; rgb[2] = 1.0f - f; break;
    }
}

// Saturation scaled by the Amount, then the grey mix through the filter
// colour, on stack tiles run with the tile's context.
template <class Sample>
void filteredBw(const FilteredBwMod& mod, ImageBuffer& image, const RenderArgs* args) {
    const float a = percentFactor(floatVar(mod, kFilterAmount));
    float weights[3];
    FilteredBwMod::hueWeights(floatVar(mod, kFilterHue), weights);
    SaturationMod saturation(2, a);
    GreyscaleChannelMixerMod mixer(weights[0], weights[1], weights[2]);
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        saturation.apply8(image, args);
        mixer.apply8(image, args);
    } else {
        saturation.applyFloat(image, args);
        mixer.applyFloat(image, args);
    }
}

// ---- Color Mixer ----------------------------------------------------------------------

struct MatrixParams {
    float m[9] = {};  // row by row: output red, green, blue; factors
    tileloop::Selector selector;
};

// False when the call leaves the image unchanged: the identity matrix (exact
// comparison), no pixels, or fewer than three channels.
bool prepareMatrix(const ColorMixerMod& mod, const ImageBuffer& image, const RenderArgs* args, MatrixParams& p) {
    float percent[9];
    for (int32_t k = 0; k < 9; ++k) percent[k] = floatVar(mod, mod.matrixIndex[k]);
    bool identity = true;
    for (int32_t k = 0; k < 9; ++k) {
        const float expected = (k == 0 || k == 4 || k == 8) ? 100.0f : 0.0f;
        if (percent[k] != expected) identity = false;
    }
    if (identity) return false;
    if (!tileloop::hasPixels(image) || image.channelCount() < 3) return false;
    for (int32_t k = 0; k < 9; ++k) p.m[k] = percentFactor(percent[k]);
    p.selector = tileloop::selectorOf(args);
    return true;
}

// The three outputs of a pixel, each clamped to 0..255.
template <class Sample>
TILE_INLINE void matrixOf(const Sample* px, const float* m, float out[3]) {
    const float t0 = static_cast<float>(px[0]);
    const float t1 = static_cast<float>(px[1]);
    const float t2 = static_cast<float>(px[2]);
    out[0] = clampOrZero(t0 * m[0] + t1 * m[1] + t2 * m[2]);
    out[1] = clampOrZero(t0 * m[3] + t1 * m[4] + t2 * m[5]);
    out[2] = clampOrZero(t0 * m[6] + t1 * m[7] + t2 * m[8]);
}

// The factors, copied so that the kernel keeps them in registers.
struct Matrix {
    float m[9];
};

template <class Sample>
TILE_ROW_KERNEL void matrixRow(Sample* __restrict s, int64_t pixels, int32_t channels, Matrix matrix) {
    tileloop::forEachPixelIn(s, pixels, channels, [&matrix](Sample* px, auto) TILE_INLINE_LAMBDA {
        float out[3];
        matrixOf(px, matrix.m, out);
        tileloop::store(px[0], out[0]);
        tileloop::store(px[1], out[1]);
        tileloop::store(px[2], out[2]);
    });
}

template <class Sample>
void matrixPixels(ImageBuffer& image, const MatrixParams& p) {
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&](Sample* px, auto, float w) {
            float out[3];
            matrixOf(px, p.m, out);
            for (int32_t k = 0; k < 3; ++k) {
                const float c = static_cast<float>(px[k]);
                tileloop::store(px[k], (out[k] - c) * w + c);
            }
        });
        return;
    }
    Matrix matrix;
    for (int32_t k = 0; k < 9; ++k) matrix.m[k] = p.m[k];
    matrixRow(static_cast<Sample*>(image.data), static_cast<int64_t>(image.width) * image.height,
                image.channelCount(), matrix);
}

const char* const kMatrixNames[9] = {"RedR", "GreenR", "BlueR", "RedG", "GreenG",
                                     "BlueG", "RedB", "GreenB", "BlueB"};

}  // namespace

// ---- GreyscaleChannelMixerMod ------------------------------------------------------------

GreyscaleChannelMixerMod::GreyscaleChannelMixerMod(float red, float green, float blue)
    : ImageMod(GrowString("Greyscale Channel Mixer"), GrowString("Greyscale Mixer")) {
    version = kNewestVersion;
    addPercentVar(*this, "Red", red);
    redIndex = vars.count - 1;
    addPercentVar(*this, "Green", green);
    greenIndex = vars.count - 1;
    addPercentVar(*this, "Blue", blue);
    blueIndex = vars.count - 1;
    description =
        "Create a greyscale image based on the weighted input of the red, green, and blue image components.";
}

ImageMod* GreyscaleChannelMixerMod::clone() const {
    return withVersionOf(*this, new GreyscaleChannelMixerMod(30.0f, 59.0f, 11.0f));
}

void GreyscaleChannelMixerMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void GreyscaleChannelMixerMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void GreyscaleChannelMixerMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    GreyParams p;
    if (prepareGrey(*this, image, args, p)) greyPixels<uint8_t>(image, p);
}

void GreyscaleChannelMixerMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    GreyParams p;
    if (prepareGrey(*this, image, args, p)) greyPixels<float>(image, p);
}

// ---- FilteredBwMod ---------------------------------------------------------------------------

FilteredBwMod::FilteredBwMod() : ImageMod(GrowString("Filtered B+W"), GrowString("Filtered B+W")) {
    version = kNewestVersion;
    tilevars::placed(*this, kFilterAmount, addFloatVar("Amount", 100.0f, 0.0f, 100.0f, 0));
    ModVar* hue = tilevars::placed(*this, kFilterHue, addFloatVar("Hue", 180.0f, 0.0f, 360.0f, 0));
    hue->setAlias("Filter Hue");
    addAnimTrack(hue, "0 360", 3.0f);
    description = "Create a greyscale image while filtering for selected hues.";
}

ImageMod* FilteredBwMod::clone() const { return withVersionOf(*this, new FilteredBwMod()); }

GrowString FilteredBwMod::tileLabel() const { return GrowString("Filtered\n B+W"); }

void FilteredBwMod::hueWeights(float hue, float weights[3]) {
    float rgb[3];
    filterColour(wrapFilterHue(hue), rgb);
    const float R = rgb[0];
    const float G = rgb[1];
    const float B = rgb[2];
    // 100 R / (R + G + B) and so on; the sum never falls below 1.
    const float n = 1.0f / ((R + B + G) * 255.0f);
    weights[0] = R * 255.0f * 100.0f * n;
    weights[1] = G * 255.0f * 100.0f * n;
    weights[2] = B * 255.0f * 100.0f * n;
}

void FilteredBwMod::process8(ImageBuffer& image, const RenderArgs* args) { filteredBw<uint8_t>(*this, image, args); }
void FilteredBwMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    filteredBw<float>(*this, image, args);
}

// ---- ColorMixerMod ---------------------------------------------------------------------------

ColorMixerMod::ColorMixerMod() : ImageMod(GrowString("Color Mixer"), GrowString("Color Mixer")) {
    version = kNewestVersion;
    addPercentVar(*this, "Red", 100.0f);
    redIndex = vars.count - 1;
    addPercentVar(*this, "Green", 0.0f);
    greenIndex = vars.count - 1;
    addPercentVar(*this, "Blue", 0.0f);
    blueIndex = vars.count - 1;
    GrowArray<GrowString> channels;
    channels.append(GrowString("Red"));
    channels.append(GrowString("Green"));
    channels.append(GrowString("Blue"));
    addVar(ModVar("Output Channel", new ChoiceValue(channels, 0)));
    outputIndex = vars.count - 1;
    for (int32_t k = 0; k < 9; ++k) {
        const float start = (k == 0 || k == 4 || k == 8) ? 100.0f : 0.0f;
        addPercentVar(*this, kMatrixNames[k], start)->shown = 0;
        matrixIndex[k] = vars.count - 1;
    }
    addAnimTrack(vars[matrixIndex[0]], "80 120 80", 2.376f);  // RedR
    addAnimTrack(vars[matrixIndex[5]], "0 30 0", 2.786f);     // BlueG
    addAnimTrack(vars[matrixIndex[7]], "30 0 30", 3.05f);     // GreenB
    description = "Determine how to calculate the output values of the red, green, and blue channels.";
}

ImageMod* ColorMixerMod::clone() const { return withVersionOf(*this, new ColorMixerMod()); }

// The sliders and the selected row are kept in step:
// - a new output channel shows its row on the sliders;
// - a changed matrix entry also shows the selected row on the sliders, so
//   that reading a stored tile (the selection comes before the matrix in
//   the file, and each var read is followed by this call) gives back the
//   stored matrix with the sliders on the stored row;
// - a changed slider (or any other var) writes the sliders into the row.
// A selection outside the three channels changes nothing.
void ColorMixerMod::varChanged(int32_t index) {
    const ModVar* output = var(outputIndex);
    const ChoiceValue* choice = output ? output->choiceValue() : nullptr;
    const int32_t row = choice ? choice->selected : 0;
    bool matrixEntry = false;
    for (int32_t k = 0; k < 9; ++k) matrixEntry = matrixEntry || index == matrixIndex[k];
    if (index == outputIndex || matrixEntry)
        showRowOnSliders(row);
    else
        storeSlidersInRow(row);
}

namespace {

// Writes a number into a var, giving a var of another kind a new default
// float value first.
void writeFloat(ImageMod& mod, int32_t index, float value) {
    if (ModVar* v = mod.var(index)) v->makeFloat()->value = value;
}

}  // namespace

void ColorMixerMod::showRowOnSliders(int32_t row) {
    if (row < 0 || row > 2) return;
    const int32_t* entries = matrixIndex + row * 3;
    writeFloat(*this, redIndex, floatVar(*this, entries[0]));
    writeFloat(*this, greenIndex, floatVar(*this, entries[1]));
    writeFloat(*this, blueIndex, floatVar(*this, entries[2]));
}

void ColorMixerMod::storeSlidersInRow(int32_t row) {
    if (row < 0 || row > 2) return;
    const int32_t* entries = matrixIndex + row * 3;
    writeFloat(*this, entries[0], floatVar(*this, redIndex));
    writeFloat(*this, entries[1], floatVar(*this, greenIndex));
    writeFloat(*this, entries[2], floatVar(*this, blueIndex));
}

void ColorMixerMod::process8(ImageBuffer& image, const RenderArgs* args) {
    MatrixParams p;
    if (prepareMatrix(*this, image, args, p)) matrixPixels<uint8_t>(image, p);
}

void ColorMixerMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    MatrixParams p;
    if (prepareMatrix(*this, image, args, p)) matrixPixels<float>(image, p);
}
