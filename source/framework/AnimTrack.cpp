#include "framework/AnimTrack.h"

#include <cmath>
#include <limits>

#include "foundation/ColorConversions.h"
#include "framework/ModVar.h"

int32_t animFrameCount(float frameInterval, float seconds) {
    // In double precision from the single-precision inputs, so 1 second at an
    // interval of 0.05 gives 19 frames (1 / 0.05f is slightly below 20).
    const double n = (1.0 / static_cast<double>(frameInterval)) * static_cast<double>(seconds);
    if (std::isnan(n)) return 0;
    if (n >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (n <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(n);  // toward zero
}

float animLoopPosition(int32_t frame, int32_t frameCount) {
    // A loop of fewer than two frames has no second frame to reach: it stays
    // on its first key.
    if (frameCount < 2) return 0.0f;
    int32_t r = frame % frameCount;
    if (r < 0) r += frameCount;  // negative frames continue the loop backward
    return static_cast<float>(r) / static_cast<float>(frameCount - 1);
}

namespace {

// The key value at loop position t (0..1) over keyCount keys read through
// key(i): x = (keyCount - 1) t, linear between the keys at floor(x) and
// ceil(x), in single precision. Keys missing from key() read as 0.
template <class KeyAt>
float interpolateAt(int32_t keyCount, float t, KeyAt key) {
    if (keyCount < 1) return 0.0f;
    if (!(t >= 0.0f)) t = 0.0f;  // also NaN
    if (t > 1.0f) t = 1.0f;
    const float x = static_cast<float>(keyCount - 1) * t;
    const float low = std::floor(x);
    const float high = std::ceil(x);
    int32_t i0 = static_cast<int32_t>(low);
    int32_t i1 = static_cast<int32_t>(high);
    if (i0 > keyCount - 1) i0 = keyCount - 1;
    if (i1 > keyCount - 1) i1 = keyCount - 1;
    if (low == high) return key(i0);
    return (x - low) * key(i1) + (high - x) * key(i0);
}

float keyOf(const GrowArray<float>& keys, int32_t i) { return i >= 0 && i < keys.count ? keys[i] : 0.0f; }


}  // namespace

void FloatAnimTrack::applyFrame(int32_t frame) {
    if (!var || !var->value || keys.count < 1) return;
    const float number =
        interpolateAt(keys.count, animLoopPosition(frame, frames), [this](int32_t i) { return keys[i]; });
    if (FloatValue* f = var->floatValue()) {
        f->value = number;
    } else if (CurveValue* c = var->curveValue()) {
        c->curve.hueOffset = number;  // sweeps a hue curve around the colour circle
    } else if (ChoiceValue* choice = var->choiceValue()) {
        // Truncated toward zero and kept inside the option list.
        int32_t index = 0;
        if (number >= 1.0f) {
            index = number < 2147483520.0f ? static_cast<int32_t>(number) : std::numeric_limits<int32_t>::max();
        }
        const int32_t options = choice->optionCount();
        if (options > 0 && index > options - 1) index = options - 1;
        choice->selected = index;
    }
}

void ColorAnimTrack::applyFrame(int32_t frame) {
    if (!var) return;
    ColorValue* color = var->colorValue();
    if (!color || hues.count < 1) return;
    // Every array is read at the positions of the hue keys.
    const float t = animLoopPosition(frame, frames);
    auto at = [this, t](const GrowArray<float>& keys) {
        return interpolateAt(hues.count, t, [&keys](int32_t i) { return keyOf(keys, i); });
    };
    float rgb[3];
    hsvToRgb(rgb, at(hues), at(saturations), at(values));
    color->red = rgb[0];
    color->green = rgb[1];
    color->blue = rgb[2];
    color->fourth = at(fourth) * 255.0f;
}

void CurveAnimTrack::applyFrame(int32_t frame) {
    if (!var) return;
    CurveValue* value = var->curveValue();
    if (!value) return;
    Curve& curve = value->curve;
    while (curve.points.count < pointKeys.count && curve.points.count < Curve::kMaxPoints) curve.insertPoint(0);
    const int32_t n = pointKeys.count < curve.points.count ? pointKeys.count : curve.points.count;
    for (int32_t j = 0; j < n; ++j) {
        const GrowArray<CurvePoint>& keys = pointKeys[j];
        if (keys.count < 1) continue;
        const int32_t frameCount = j < frames.count ? frames[j] : 0;
        const float t = animLoopPosition(frame, frameCount);
        const float x = interpolateAt(keys.count, t, [&keys](int32_t i) { return keys[i].x; });
        const float y = interpolateAt(keys.count, t, [&keys](int32_t i) { return keys[i].y; });
        curve.points[j] = CurvePoint{x, y};
    }
    curve.rebuildTable();
}
