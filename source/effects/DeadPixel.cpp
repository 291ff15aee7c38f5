#include "effects/DeadPixel.h"

#include <math.h>

#include "adjustments/TileVars.h"
#include "framework/RenderArgs.h"

namespace {

// The vars, in the order the constructor adds them.
enum DeadPixelVar : int32_t { kPixelX = 0, kPixelY = 1, kRadius = 2 };

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
    const float r = floatVar(mod, kRadius);
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
    // Positions stay in whole-picture pixels, and the band's offset is taken
    // off the whole-pixel results: truncating band-relative positions (which
    // may be negative) or subtracting the offset in float would make the
    // result depend on where the bands start.
    const float x = floatVar(mod, kPixelX) / s;
    const float y = floatVar(mod, kPixelY) / s;
    const int64_t originX = region ? region->originX : 0;
    const int64_t originY = region ? region->originY : 0;
    const int64_t pictureWidth = region && region->fullWidth > 0 ? region->fullWidth : image.width;
    const int64_t pictureHeight = region && region->fullHeight > 0 ? region->fullHeight : image.height;
    const float R = processedRadius(mod, s);
    const int32_t width = image.width;
    const int32_t height = image.height;
    const float left0 = static_cast<float>(originX);
    const float top0 = static_cast<float>(originY);
    // The neighbourhood misses the image (NaN positions too).
    if (!(1.0f + x + R >= left0) || !(x - R - 1.0f <= left0 + static_cast<float>(width)) ||
        !(1.0f + y + R >= top0) || !(y - R - 1.0f <= top0 + static_cast<float>(height)))
        return;

    const int32_t channels = image.channelCount();
    const int32_t q = channels < 3 ? channels : 3;
    Sample* samples = static_cast<Sample*>(image.data);
    auto at = [&](int64_t px, int64_t py) { return samples + (py * width + px) * channels; };

    // Ring average over the samples inside the picture. The band's margin
    // holds every ring row of a disc that reaches the band's own rows; a
    // band that misses a sample paints only rows the pipeline throws away.
    const int32_t ringLimit = static_cast<int32_t>(kTwoPi * static_cast<double>(R));
    const int32_t N = ringLimit > 8 ? ringLimit : 8;
    float sum[3] = {0.0f, 0.0f, 0.0f};
    int32_t count = 0;
    for (int32_t i = 0; i < N; ++i) {
        const double theta =
            static_cast<double>(static_cast<float>(i)) * kTwoPi / static_cast<double>(static_cast<float>(N));
        const int64_t sx = static_cast<int64_t>(sin(theta) * static_cast<double>(R) + (static_cast<double>(x) + 0.5));
        const int64_t sy = static_cast<int64_t>(cos(theta) * static_cast<double>(R) + (static_cast<double>(y) + 0.5));
        if (sx < 0 || sx >= pictureWidth || sy < 0 || sy >= pictureHeight) continue;
        const int64_t bx = sx - originX;
        const int64_t by = sy - originY;
        if (bx < 0 || bx >= width || by < 0 || by >= height) return;
        const Sample* p = at(bx, by);
        for (int32_t k = 0; k < q; ++k) sum[k] += static_cast<float>(p[k]) / static_cast<float>(N);
        ++count;
    }
    // No sample inside the picture: there is no average to paint.
    if (count == 0) return;
    float average[3] = {0.0f, 0.0f, 0.0f};
    for (int32_t k = 0; k < q; ++k) average[k] = sum[k] * (static_cast<float>(N) / static_cast<float>(count));
    if (R <= 1.0f) return;

    // The disc, in whole-picture pixels, then clipped to this image.
    const int64_t cx = static_cast<int64_t>(static_cast<double>(x) - 0.5);
    const int64_t cy = static_cast<int64_t>(static_cast<double>(y) - 0.5);
    const int64_t right = static_cast<int64_t>(static_cast<float>(cx) + R) - originX;
    const int64_t left = static_cast<int64_t>(static_cast<float>(cx) - R) - originX;
    const int64_t bottom = static_cast<int64_t>(static_cast<float>(cy) + R) - originY;
    const int64_t top = static_cast<int64_t>(static_cast<float>(cy) - R) - originY;
    if (right < 0 || left >= width || bottom < 0 || top >= height) return;
    const int64_t x0 = left > 0 ? left : 0;
    const int64_t x1 = right < width - 1 ? right : width - 1;
    const int64_t y0 = top > 0 ? top : 0;
    const int64_t y1 = bottom < height - 1 ? bottom : height - 1;
    const float inner = R > 2.0f ? R - 1.0f : 1.0f;
    const float fade = R - inner;

    for (int64_t Y = y0; Y <= y1; ++Y) {
        for (int64_t X = x0; X <= x1; ++X) {
            const float dx = static_cast<float>(cx - (X + originX));
            const float dy = static_cast<float>(cy - (Y + originY));
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
    version = kNewestVersion;
    const struct {
        DeadPixelVar index;
        const char* name;
    } coordinates[] = {{kPixelX, "Pixel X"}, {kPixelY, "Pixel Y"}};
    for (const auto& c : coordinates) {
        ModVar* v = tilevars::placed(*this, c.index, addFloatVar(c.name, 0.0f, 0.0f, 1.0f, kControlNumberBox));
        v->floatValue()->hasMaximum = 0;  // only the lower bound is enforced
    }
    ModVar* radius = tilevars::placed(*this, kRadius, addFloatVar("Radius", 1.0f, 1.0f, 10.0f, 0));
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
