#include "adjustments/ColorCorrection.h"

#include <type_traits>

#include "adjustments/TileVars.h"
#include "framework/Curve.h"
#include "pixels/PixelKit.h"

namespace {

const float kBlack[4] = {0.0f, 0.0f, 0.0f, 255.0f};

// The tone-weight curves, as x y pairs: shadows, midtones, highlights.
const char* const kToneCurvePoints[3] = {
    "0 1 0.25 1 0.5 0 0.75 0 1 0",
    "0 0 0.25 0 0.5 1 0.75 0 1 0",
    "0 0 0.25 0 0.5 0 0.75 1 1 1",
};

// The three weight curves never change, so their tables are built once
// (the same tables every call would build from the point strings).
struct ToneCurves {
    Curve curves[3];
    ToneCurves() {
        for (int32_t t = 0; t < 3; ++t) {
            curves[t] = Curve(0);
            GrowString text(kToneCurvePoints[t]);
            curves[t].setFromString(text);
        }
    }
};

const ToneCurves& toneCurves() {
    static const ToneCurves built;
    return built;
}

struct CorrectionParams {
    const float* tables[3] = {nullptr, nullptr, nullptr};
    float offsets[3][3] = {};  // per tone: red, green, blue offset from its grey
    double strength = 0.0;     // 0.3 Amount
};

// The vars, in the order the constructor adds them.
enum ColorCorrectionVar : int32_t { kAmount = 0, kShadows = 1, kMidtones = 2, kHighlights = 3 };

ColorValue* colourAt(const ImageMod& mod, int32_t index) {
    const ModVar* v = mod.var(index);
    return v ? v->colorValue() : nullptr;
}

// False when the call leaves the image unchanged: Amount 0 or not a number
// var, a colour var of another kind, no pixels, or fewer than three
// channels (the shift reads and writes three samples).
bool prepareCorrection(const ColorCorrectionMod& mod, const ImageBuffer& image, CorrectionParams& p) {
    const FloatValue* amount = mod.floatAt(kAmount);
    if (!amount || amount->value == 0.0f) return false;
    const ColorValue* tones[3] = {colourAt(mod, kShadows), colourAt(mod, kMidtones), colourAt(mod, kHighlights)};
    if (!tones[0] || !tones[1] || !tones[2]) return false;
    if (!tileloop::hasPixels(image) || image.channelCount() < 3) return false;
    for (int32_t t = 0; t < 3; ++t) {
        const float r = tones[t]->red;
        const float g = tones[t]->green;
        const float b = tones[t]->blue;
        const float m = static_cast<float>(static_cast<double>(g + r + b) * (1.0 / 3.0));
        p.offsets[t][0] = r - m;
        p.offsets[t][1] = g - m;
        p.offsets[t][2] = b - m;
    }
    const ToneCurves& curves = toneCurves();
    for (int32_t t = 0; t < 3; ++t) {
        if (curves.curves[t].table.count < Curve::kTableSize) return false;
        p.tables[t] = curves.curves[t].table.data;
    }
    p.strength = static_cast<double>(amount->value) * 0.3;
    return true;
}

// One shifted sample, clamped to 0..255 (NaN gives 0); the 8-bit body keeps
// it as the truncated byte for the next step.
template <class Sample>
inline float shiftedSample(float v) {
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        return static_cast<float>(storeByte(v));
    } else {
        if (!(v >= 0.0f)) return 0.0f;
        return v < 255.0f ? v : 255.0f;
    }
}

template <class Sample>
void correctPixels(ImageBuffer& image, const CorrectionParams& p) {
    tileloop::forEachPixel<Sample>(image, [&](Sample* px, auto) {
        // The weights come from the input luminance and serve all passes.
        const float L = pixel::luminance(px, 3);
        float f[3];
        for (int32_t t = 0; t < 3; ++t)
            f[t] = static_cast<float>(static_cast<double>(pixel::curveLookup(p.tables[t], L)) * p.strength);
        float c[3] = {static_cast<float>(px[0]), static_cast<float>(px[1]), static_cast<float>(px[2])};
        for (int32_t pass = 0; pass < 3; ++pass) {
            for (int32_t t = 0; t < 3; ++t) {
                for (int32_t k = 0; k < 3; ++k) c[k] = shiftedSample<Sample>(f[t] * p.offsets[t][k] + c[k]);
            }
        }
        tileloop::store(px[0], c[0]);
        tileloop::store(px[1], c[1]);
        tileloop::store(px[2], c[2]);
    });
}

}  // namespace

ColorCorrectionMod::ColorCorrectionMod(const float shadows[4], const float midtones[4], const float highlights[4],
                                       float amount)
    : ImageMod(GrowString("Color Correction"), GrowString("Color Correction")) {
    version = kNewestVersion;
    tilevars::placed(*this, kAmount, tilevars::addStrengthAmount(*this, amount))->shown = 0;
    tilevars::placed(*this, kShadows,
                     addVar(ModVar("Shadows", new ColorValue(shadows[0], shadows[1], shadows[2], shadows[3]))));
    tilevars::placed(*this, kMidtones,
                     addVar(ModVar("Midtones", new ColorValue(midtones[0], midtones[1], midtones[2], midtones[3]))));
    tilevars::placed(
        *this, kHighlights,
        addVar(ModVar("Highlights", new ColorValue(highlights[0], highlights[1], highlights[2], highlights[3]))));
    description = "Separately adjust the color of highlights, midtones, and shadows.";
}

ImageMod* ColorCorrectionMod::clone() const { return new ColorCorrectionMod(kBlack, kBlack, kBlack, 1.0f); }

void ColorCorrectionMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void ColorCorrectionMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void ColorCorrectionMod::apply8(ImageBuffer& image, const RenderArgs*) const {
    CorrectionParams p;
    if (prepareCorrection(*this, image, p)) correctPixels<uint8_t>(image, p);
}

void ColorCorrectionMod::applyFloat(ImageBuffer& image, const RenderArgs*) const {
    CorrectionParams p;
    if (prepareCorrection(*this, image, p)) correctPixels<float>(image, p);
}
