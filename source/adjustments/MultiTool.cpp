#include "adjustments/MultiTool.h"

#include <math.h>

#include <type_traits>

#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

// Runs a stack tile's body of the image's kind.
template <class Sample, class Tile>
void runBody(const Tile& tile, ImageBuffer& image, const RenderArgs* args) {
    if constexpr (std::is_same<Sample, uint8_t>::value)
        tile.apply8(image, args);
    else
        tile.applyFloat(image, args);
}

// ---- Multi Tool ------------------------------------------------------------

// The vars of Multi Tool, in the order its constructor adds them; the
// Temperature tile has the Amount only.
enum MultiToolVar : int32_t { kExposure = 0, kContrast = 1, kSaturation = 2 };
enum TemperatureVar : int32_t { kTemperatureAmount = 0 };

// The Contrast step's tile is built as version 2, which pivots at 90
// whatever centre it is given; 90 is handed over so the tile is consistent.
constexpr float kMultiToolContrastCenter = 90.0f;

// A 0..100 slider as a factor: 0.02 v in double, rounded to float (50 is 1).
inline float sliderFactor(const ImageMod& mod, int32_t index) {
    return static_cast<float>(0.02 * static_cast<double>(tileloop::floatVar(mod, index)));
}

ModVar* addSlider(ImageMod& mod, const char* name, int32_t ticks, const char* keys, float seconds) {
    ModVar* v = mod.addFloatVar(name, 50.0f, 0.0f, 100.0f, 0);
    v->floatValue()->tickCount = ticks;
    mod.addAnimTrack(v, keys, seconds);
    return v;
}

// Exposure (Gamma in version 1), Contrast, Saturation, in that order. Each
// step returns at once in its own body when its factor is 1.
template <class Sample>
void multiTool(const MultiToolMod& mod, ImageBuffer& image, const RenderArgs* args) {
    const float e = sliderFactor(mod, kExposure);
    const float c = sliderFactor(mod, kContrast);
    const float s = sliderFactor(mod, kSaturation);
    if (mod.version >= 2) {
        ExposureMod exposure(e);
        runBody<Sample>(exposure, image, args);
    } else {
        GammaMod gamma(e);
        runBody<Sample>(gamma, image, args);
    }
    ContrastMod contrast(2, c, kMultiToolContrastCenter);
    runBody<Sample>(contrast, image, args);
    SaturationMod saturation(1, s);
    runBody<Sample>(saturation, image, args);
}

// ---- Temperature -------------------------------------------------------------

// The Colorize Curve step a Temperature call runs.
struct TemperatureStep {
    const char* region = nullptr;  // control points of the luminance region
    float colour[4] = {0.0f, 0.0f, 0.0f, 255.0f};
    float strength = 0.0f;
};

void setColour(TemperatureStep& step, float r, float g, float b) {
    step.colour[0] = r;
    step.colour[1] = g;
    step.colour[2] = b;
    step.colour[3] = 255.0f;
}

// Version 3: the orange warms the midtones (region up to 1) or moves them
// toward its complement (region down to 0), at strength |a|.
TemperatureStep temperatureVersion3(float a) {
    TemperatureStep step;
    setColour(step, 255.0f, 170.0f, 0.0f);
    if (a > 0.0f) {
        step.region = "0.000000 0.500000 0.250000 0.666667 0.500000 1.000000 0.750000 0.666667 1.000000 0.500000";
        step.strength = a;
    } else {
        step.region = "0.000000 0.500000 0.250000 0.333333 0.500000 0.000000 0.750000 0.333333 1.000000 0.500000";
        step.strength = -a;
    }
    return step;
}

// Version 2: the colour itself scales with the Amount, at strength 1.
TemperatureStep temperatureVersion2(float a) {
    TemperatureStep step;
    step.region = "0 .5 .25 1 .75 1 1 .5";
    if (a > 0.0f)
        setColour(step, 127.5f * a, 63.75f * a, 0.0f);
    else
        setColour(step, 0.0f, -63.75f * a, -127.5f * a);
    step.strength = 1.0f;
    return step;
}

// The oldest formula: the complement of blue (warming) or of orange
// (cooling) below the midline over most of the range, at strength |a|^1.5.
TemperatureStep temperatureVersion1(float a) {
    TemperatureStep step;
    step.region = "0.000000 0.500000 0.500000 0.000000 1.000000 0.000000 1.000000 0.500000";
    if (a > 0.0f)
        setColour(step, 0.0f, 127.0f, 255.0f);
    else
        setColour(step, 255.0f, 127.0f, 0.0f);
    step.strength = powf(fabsf(a), 1.5f);
    return step;
}

template <class Sample>
void temperature(const ColorizeTemperatureMod& mod, ImageBuffer& image, const RenderArgs* args) {
    const FloatValue* amount = mod.floatAt(kTemperatureAmount);
    if (!amount) return;
    const float a = amount->value;
    if (!(a > 0.0f) && !(a < 0.0f)) return;  // 0, or NaN from a hostile file
    TemperatureStep step;
    if (mod.version == 3)
        step = temperatureVersion3(a);
    else if (mod.version == 2)
        step = temperatureVersion2(a);
    else
        step = temperatureVersion1(a);
    Curve region(0);
    GrowString text(step.region);
    region.setFromString(text);
    ColorizeCurveMod colorize(region, step.colour, 0, step.strength);
    runBody<Sample>(colorize, image, args);
}

}  // namespace

// ---- MultiToolMod ------------------------------------------------------------------

MultiToolMod::MultiToolMod() : ImageMod(GrowString("Multi Tool"), GrowString("Multi Tool")) {
    version = kNewestVersion;
    tilevars::placed(*this, kExposure, addSlider(*this, "Exposure", 10, "20 80 20", 3.2f));
    tilevars::placed(*this, kContrast, addSlider(*this, "Contrast", 8, "35 65 35", 4.43f));
    tilevars::placed(*this, kSaturation, addSlider(*this, "Saturation", 10, "0 70 0", 5.09f));
    description = "Adjust exposure, contrast, and saturation simultaneously.";
}

ImageMod* MultiToolMod::clone() const { return new MultiToolMod(); }

void MultiToolMod::process8(ImageBuffer& image, const RenderArgs* args) { multiTool<uint8_t>(*this, image, args); }
void MultiToolMod::processFloat(ImageBuffer& image, const RenderArgs* args) { multiTool<float>(*this, image, args); }

// ---- ColorizeTemperatureMod ----------------------------------------------------------

ColorizeTemperatureMod::ColorizeTemperatureMod()
    : ImageMod(GrowString("Colorize Temperature"), GrowString("Temperature")) {
    ModVar* amountVar = tilevars::placed(*this, kTemperatureAmount, addFloatVar("Amount", 0.0f, -1.0f, 1.0f, 0));
    tilevars::showAsPercent(*amountVar->floatValue(), -100.0f);
    addAnimTrack(amountVar, "-.5 -.5 .5 .5 -.5", 3.0f);
    setVersion(kNewestVersion);
    description = "Adjust tones to be warmer or cooler.";
}

ImageMod* ColorizeTemperatureMod::clone() const { return withVersionOf(*this, new ColorizeTemperatureMod()); }

void ColorizeTemperatureMod::process8(ImageBuffer& image, const RenderArgs* args) {
    temperature<uint8_t>(*this, image, args);
}

void ColorizeTemperatureMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    temperature<float>(*this, image, args);
}
