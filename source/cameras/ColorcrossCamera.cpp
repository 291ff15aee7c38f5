#include "cameras/ColorcrossCamera.h"

#include <cmath>

#include "pixels/SampleRules.h"

ColorcrossCamera::ColorcrossCamera(float amount, float variation)
    : CameraMod("Colorcross", "Chemical color-swapping straight from the darkroom. ") {
    setAmountAndVariation(amount, variation);
    setVersion(2);
}

ImageMod* ColorcrossCamera::clone() const {
    ColorcrossCamera* copy = new ColorcrossCamera(1.0f, 0.0f);
    copy->setVersion(version);
    return copy;
}

void ColorcrossCamera::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void ColorcrossCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

double ColorcrossCamera::phaseFor(float variation) {
    const float shifted = static_cast<float>(static_cast<double>(variation) * 0.5 - 1667.67);
    return static_cast<double>(shifted) * 0.0628318531;
}

namespace {

// Clamped to 0..1; a negative or NaN value becomes 0.
float unitClamp(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

}  // namespace

ColorcrossCamera::Curves::Curves(float, float v, uint32_t) {
    const double t = phaseFor(v);
    for (int c = 0; c < 3; ++c) {
        float x[5] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
        float y[5] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
        for (int j = 1; j <= 3; ++j) {
            const double fx = static_cast<float>(0.956 * j + (0.79 * c + 2.0));
            const double px = static_cast<float>(1.89 * j + 2.2 * c);
            const float dx = static_cast<float>(std::cos(fx * t + px) * 0.11749999970197678);
            const double fy = static_cast<float>(1.59 * j + (0.376 * c + 1.0));
            const double py = static_cast<float>(40.0 * j + 1.2 * c);
            const float dy = static_cast<float>(std::cos(fy * t + py) * 0.11749999970197678);
            x[j] = unitClamp(x[j] + dx);
            if (x[j] < x[j - 1]) x[j] = x[j - 1];
            y[j] = unitClamp(y[j] + dy);
            if (y[j] < y[j - 1]) y[j] = y[j - 1];
        }
        GrowArray<CurvePoint> points;
        for (int i = 0; i < 5; ++i) points.append(CurvePoint{x[i], y[i]});
        Curve& curve = channel[c];
        curve = Curve(3);
        curve.setPoints(points);
    }
}

template <class Sample>
void ColorcrossCamera::run(ImageBuffer& image) const {
    float a, v;
    if (!readValues(a, v) || !camera::hasPixels(image)) return;
    const auto curves = prepared<Curves>(a, v);
    const int32_t channels = image.channelCount();
    const int32_t used = channels < 3 ? channels : 3;
    const double keep = static_cast<double>(1.0f - a);
    const float scale = static_cast<float>(static_cast<double>(a) * 255.0);
    const int64_t pixels = static_cast<int64_t>(image.width) * image.height;
    Sample* samples = static_cast<Sample*>(image.data);
    for (int c = 0; c < used; ++c) {
        const float* table = curves->channel[c].table.data;
        Sample* s = samples + c;
        for (int64_t i = 0; i < pixels; ++i, s += channels) {
            const float in = static_cast<float>(*s);
            const float value = pixel::curveLookup(table, in);
            const double out = static_cast<double>(in) * keep + static_cast<double>(value * scale);
            pixel::storeSample(*s, static_cast<float>(out));
        }
    }
}

void ColorcrossCamera::apply8(ImageBuffer& image, const RenderArgs*) const { run<uint8_t>(image); }
void ColorcrossCamera::applyFloat(ImageBuffer& image, const RenderArgs*) const { run<float>(image); }
