#include "effects/DeadPixel.h"

#include <math.h>

#include "framework/RenderArgs.h"

namespace {

constexpr double kTwoPi = 6.2831853071796;
constexpr float kInv255f = 0.003921568859368563f;      // the float nearest 1/255
constexpr float kInvSquare255f = -1.5378702300949953e-05f;  // -1/255^2 as a float
constexpr float kRadiusLow = 1.0f;
constexpr float kRadiusHigh = 10.0f;

// The var's float, 0 when it holds another kind.
float floatVar(const ImageMod& mod, int32_t index) {
    const FloatValue* v = mod.floatAt(index);
    return v ? v->value : 0.0f;
}

// A usable pixel scale: the given one when positive and finite, else 1.
float usableScale(float s) { return s > 0.0f && isfinite(s) ? s : 1.0f; }

// The Radius var within its range 1..10 (a hand-edited file may hold more,
// and a ring of billions of samples or a margin past the picture serves no
// one); NaN reads as 1.
float radiusVar(const ImageMod& mod) {
    const float r = floatVar(mod, 2);
    return r > kRadiusLow ? (r < kRadiusHigh ? r : kRadiusHigh) : kRadiusLow;
}

// R in processed pixels: max(Radius / s, 1).
float processedRadius(const ImageMod& mod, float s) {
    const float r = radiusVar(mod) / s;
    return r > 1.0f ? r : 1.0f;
}

template <class Sample>
Sample storeResult(double v);
template <>
float storeResult<float>(double v) {
    return static_cast<float>(v);
}
template <>
uint8_t storeResult<uint8_t>(double v) {
    return storeByte(static_cast<float>(v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v)));
}

template <class Sample>
void repairPixel(const ImageMod& mod, ImageBuffer& image, const RenderArgs* args) {
    if (!image.data || image.width < 1 || image.height < 1) return;
    const RenderRegion* region = args ? args->region : nullptr;
    const float s = usableScale(region ? region->scale : image.scale);
    float x = floatVar(mod, 0) / s;
    float y = floatVar(mod, 1) / s;
    if (region) {
        x -= static_cast<float>(region->originX);
        y -= static_cast<float>(region->originY);
    }
    const float R = processedRadius(mod, s);
    const int32_t width = image.width;
    const int32_t height = image.height;
    const float fw = static_cast<float>(width);
    const float fh = static_cast<float>(height);
    // The neighbourhood misses the image (NaN positions too).
    if (!(1.0f + x + R >= 0.0f) || !(x - R - 1.0f <= fw) || !(1.0f + y + R >= 0.0f) || !(y - R - 1.0f <= fh))
        return;

    const int32_t channels = image.channelCount();
    const int32_t q = channels < 3 ? channels : 3;
    Sample* samples = static_cast<Sample*>(image.data);
    auto at = [&](int32_t px, int32_t py) {
        return samples + (static_cast<int64_t>(py) * width + px) * channels;
    };

    // Ring average.
    const int32_t ringLimit = static_cast<int32_t>(kTwoPi * static_cast<double>(R));
    const int32_t N = ringLimit > 8 ? ringLimit : 8;
    float sum[3] = {0.0f, 0.0f, 0.0f};
    int32_t count = 0;
    for (int32_t i = 0; i < N; ++i) {
        const double theta = static_cast<double>(static_cast<float>(i)) * kTwoPi / static_cast<double>(static_cast<float>(N));
        const int32_t sx = static_cast<int32_t>(sin(theta) * static_cast<double>(R) + (static_cast<double>(x) + 0.5));
        const int32_t sy = static_cast<int32_t>(cos(theta) * static_cast<double>(R) + (static_cast<double>(y) + 0.5));
        if (sx < 0 || sx >= width || sy < 0 || sy >= height) continue;
        const Sample* p = at(sx, sy);
        for (int32_t k = 0; k < q; ++k) sum[k] += static_cast<float>(p[k]) / static_cast<float>(N);
        ++count;
    }
    // No sample inside the image: there is no average to paint.
    if (count == 0) return;
    float average[3] = {0.0f, 0.0f, 0.0f};
    for (int32_t k = 0; k < q; ++k) average[k] = sum[k] * (static_cast<float>(N) / static_cast<float>(count));
    if (R <= 1.0f) return;

    // The disc.
    const int32_t cx = static_cast<int32_t>(static_cast<double>(x) - 0.5);
    const int32_t cy = static_cast<int32_t>(static_cast<double>(y) - 0.5);
    const int32_t right = static_cast<int32_t>(static_cast<float>(cx) + R);
    const int32_t left = static_cast<int32_t>(static_cast<float>(cx) - R);
    const int32_t bottom = static_cast<int32_t>(static_cast<float>(cy) + R);
    const int32_t top = static_cast<int32_t>(static_cast<float>(cy) - R);
    if (right < 0 || left >= width || bottom < 0 || top >= height) return;
    const int32_t x0 = left > 0 ? left : 0;
    const int32_t x1 = right < width - 1 ? right : width - 1;
    const int32_t y0 = top > 0 ? top : 0;
    const int32_t y1 = bottom < height - 1 ? bottom : height - 1;
    const float inner = R > 2.0f ? R - 1.0f : 1.0f;
    const float fade = R - inner;

    for (int32_t Y = y0; Y <= y1; ++Y) {
        for (int32_t X = x0; X <= x1; ++X) {
            const float dx = static_cast<float>(cx - X);
            const float dy = static_cast<float>(cy - Y);
            const float d = sqrtf(dx * dx + dy * dy);
            float g = 255.0f;
            if (!(d <= inner)) {
                const float f = (inner - d) / fade + 1.0f;
                g = 255.0f * (f > 0.0f ? f : 0.0f);
            }
            const float a = g * kInv255f;
            Sample* p = at(X, Y);
            if (channels >= 4) {
                const float A = static_cast<float>(p[3]);
                const float b = (g * kInvSquare255f + kInv255f) * A;
                const float t = b + a;
                // t = 0: a transparent pixel the disc does not reach keeps
                // its colour (the formula has none for it).
                if (t != 0.0f) {
                    const float inverse = 1.0f / t;
                    for (int32_t k = 0; k < 3; ++k)
                        p[k] = storeResult<Sample>(
                            static_cast<double>((static_cast<float>(p[k]) * b + average[k] * a) * inverse));
                }
                p[3] = storeResult<Sample>(static_cast<double>(t * 255.0f));
            } else {
                for (int32_t k = 0; k < channels; ++k)
                    p[k] = storeResult<Sample>(static_cast<double>(average[k] * a) +
                                               static_cast<double>(p[k]) * (1.0 - static_cast<double>(a)));
            }
        }
    }
}

}  // namespace

DeadPixelMod::DeadPixelMod() : ImageMod(GrowString("Dead Pixel"), GrowString("")) {
    for (const char* name : {"Pixel X", "Pixel Y"}) {
        ModVar* v = addFloatVar(name, 0.0f, 0.0f, 1.0f, kControlNumberBox);
        v->floatValue()->hasMaximum = 0;  // only the lower bound is enforced
    }
    ModVar* radius = addFloatVar("Radius", 1.0f, 1.0f, 10.0f, 0);
    radius->floatValue()->tickCount = 9;
    description = "Fix a pixel that is stuck or dead on your camera by blending it with surrounding pixels.";
}

ImageMod* DeadPixelMod::clone() const { return new DeadPixelMod(); }

int32_t DeadPixelMod::marginFor(int32_t, int32_t, float scale) const {
    const float R = processedRadius(*this, usableScale(scale));
    return static_cast<int32_t>(ceilf(2.0f * R)) + 2;
}

void DeadPixelMod::process8(ImageBuffer& image, const RenderArgs* args) { repairPixel<uint8_t>(*this, image, args); }

void DeadPixelMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    repairPixel<float>(*this, image, args);
}
