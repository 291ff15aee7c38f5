#pragma once
// Painting shared by the colour borders: the area of a band outside the
// content rectangle (the placed photo) takes one colour.

#include <cstdint>

#include "foundation/ImageBuffer.h"
#include "render/BorderMod.h"

namespace borderpaint {

// The four components of a colour var on the 0..255 scale, opaque black
// when the var holds no colour.
inline void colorOf(const ModVar* var, float out[4]) {
    const ColorValue* c = var ? var->colorValue() : nullptr;
    out[0] = c ? c->red : 0.0f;
    out[1] = c ? c->green : 0.0f;
    out[2] = c ? c->blue : 0.0f;
    out[3] = c ? c->fourth : 255.0f;
}

// A colour as the samples of an image: floats as they are, bytes clamped
// and truncated toward zero.
template <class Sample>
inline void colorSamples(const float color[4], Sample out[4]) {
    for (int32_t c = 0; c < 4; ++c) {
        if constexpr (sizeof(Sample) == 1)
            out[c] = storeByte(color[c]);
        else
            out[c] = color[c];
    }
}

// Every pixel of the band's drawn area whose whole-picture position lies
// outside the content rectangle [left, FW - right) x [top, FH - bottom)
// gets the colour: channel c component c (c < 4).
template <class Sample>
void fillOutsideContent(ImageBuffer& image, const BorderFrame& f, const float color[4]) {
    Sample value[4];
    colorSamples<Sample>(color, value);
    const int32_t n = image.channelCount();
    const int32_t written = n < 4 ? n : 4;
    Sample* data = static_cast<Sample*>(image.data);
    const int64_t contentRight = static_cast<int64_t>(f.fullWidth) - f.right;
    const int64_t contentBottom = static_cast<int64_t>(f.fullHeight) - f.bottom;
    for (int32_t y = 0; y < f.drawHeight; ++y) {
        const int64_t Y = static_cast<int64_t>(y) + f.y0;
        Sample* row = data + static_cast<int64_t>(y) * image.width * n;
        const bool wholeRow = Y < f.top || Y >= contentBottom;
        for (int32_t x = 0; x < f.drawWidth; ++x) {
            const int64_t X = static_cast<int64_t>(x) + f.x0;
            if (!wholeRow && X >= f.left && X < contentRight) {
                x = static_cast<int32_t>(contentRight - f.x0) - 1;  // skip the content
                continue;
            }
            Sample* p = row + static_cast<int64_t>(x) * n;
            for (int32_t c = 0; c < written; ++c) p[c] = value[c];
        }
    }
}

}  // namespace borderpaint
