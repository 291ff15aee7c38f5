#pragma once
// The per-pixel reading the hue and HSV masks share: r, g, b of one pixel
// on 0..1 and its hexcone hue, saturation and value, in the exact order of
// operations the stored masks were made with.
//
// Each sample is widened to double, multiplied by the double 1/255 and
// rounded to float. max = max(max(g, b), r), min likewise, d = max - min.
// A grey pixel (d = 0) has hue and saturation 0. Otherwise the saturation is
// d / max and the hue in degrees, in float:
// - red is the maximum: ((g - max) 60 / d - 180) + ((max - b) 60 (1/d) + 180);
// - else green is:      ((max - r) 60 (1/d) + 300) - ((max - b) 60 (1/d) + 180);
// - else:               (r - g) 60 / d + 240;
// ties go to red, then green. The hue then gets 360 added when below 0 and
// 360 subtracted when at or above 360 (once each). The value is max.
//
// Images of one or two channels read their first sample as r, g and b
// (grey), so no read goes past the pixel.

#include <cstdint>

#include "foundation/ImageBuffer.h"

namespace maskpixel {

struct MaskHsv {
    float hue = 0.0f;
    float saturation = 0.0f;
    float value = 0.0f;
};

constexpr double kInv255d = 0.00392156862745098;

template <class Sample>
inline float unitSample(Sample v) {
    return static_cast<float>(static_cast<double>(v) * kInv255d);
}

template <class Sample>
inline MaskHsv maskHsv(const Sample* p, int32_t channels) {
    const float r = unitSample(p[0]);
    const float g = unitSample(channels >= 3 ? p[1] : p[0]);
    const float b = unitSample(channels >= 3 ? p[2] : p[0]);
    float maxValue = g < b ? b : g;
    maxValue = maxValue < r ? r : maxValue;
    float minValue = b < g ? b : g;
    minValue = r < minValue ? r : minValue;
    const float delta = maxValue - minValue;
    MaskHsv out;
    out.value = maxValue;
    if (delta == 0.0f) return out;
    out.saturation = delta / maxValue;
    const float inverse = 1.0f / delta;
    float hue;
    if (r == maxValue)
        hue = ((g - maxValue) * 60.0f / delta - 180.0f) + ((maxValue - b) * 60.0f * inverse + 180.0f);
    else if (g == maxValue)
        hue = ((maxValue - r) * 60.0f * inverse + 300.0f) - ((maxValue - b) * 60.0f * inverse + 180.0f);
    else
        hue = (r - g) * 60.0f / delta + 240.0f;
    if (hue < 0.0f) hue += 360.0f;
    if (hue >= 360.0f) hue -= 360.0f;
    out.hue = hue;
    return out;
}

// The first sample of pixel (x, y), or null when (x, y) lies outside the
// image or it has no data.
template <class Sample>
inline const Sample* pixelAt(const ImageBuffer& image, int32_t x, int32_t y) {
    if (!image.data || x < 0 || y < 0 || x >= image.width || y >= image.height) return nullptr;
    const int64_t index = (static_cast<int64_t>(y) * image.width + x) * image.channelCount();
    return static_cast<const Sample*>(image.data) + index;
}

}  // namespace maskpixel
