#include "effects/borders/BasicBorder.h"

#include <math.h>

#include "adjustments/TileVars.h"
#include "effects/borders/BorderPaint.h"
#include "render/TransformedBitmap.h"

namespace {

const float kOpaqueWhite[4] = {255.0f, 255.0f, 255.0f, 255.0f};

// The vars, in the order the constructor adds them.
enum BasicBorderVar : int32_t { kThickness = 0, kRounding = 1, kColor = 2 };

const char* const kDescription =
    "A basic border of any color, with adjustable width dependent on the size of the image and optional "
    "rounding.";

inline void storeBlended(float* p, double v) { *p = static_cast<float>(v); }
inline void storeBlended(uint8_t* p, double v) {
    if (!(v > 0.0))
        *p = 0;
    else
        *p = v >= 255.0 ? 255 : static_cast<uint8_t>(v);
}

// "Rounding" as the paint uses it: 0..100, NaN and other kinds 0.
float roundingPercent(const ImageMod& mod) {
    const FloatValue* v = mod.floatAt(kRounding);
    const float r = v ? v->value : 0.0f;
    if (!(r > 0.0f)) return 0.0f;
    return r > 100.0f ? 100.0f : r;
}

}  // namespace

float roundedCornerWeight(float d2, float radius) {
    // The distance by 1/sqrtf and one written Newton step: the same on
    // every processor.
    float d = 0.0f;
    if (d2 != 0.0f) {
        const float y = 1.0f / sqrtf(d2);
        d = (-0.5f * d2 * y) * (d2 * y * y - 3.0f);
    }
    if (!(d > 0.0f) || !(d >= radius - 2.0f)) return 0.0f;
    const float e = radius - d;
    const float alpha = e < 0.0f ? 1.0f : (2.0f - (e < 2.0f ? e : 2.0f)) * 0.5f;
    const float w = alpha * alpha * alpha;
    return w > 0.1f ? w : 0.0f;
}

BasicBorder::BasicBorder(bool isRounded, const float* color)
    : BorderMod(GrowString(isRounded ? "Custom Rounded" : "Custom Straight"), GrowString("Basic Border")),
      rounded(isRounded ? 1 : 0) {
    version = kNewestVersion;
    tilevars::placed(*this, kThickness, addFloatVar("Thickness", 5.0f, 0.0f, 100.0f));
    ModVar* rounding = tilevars::placed(*this, kRounding, addFloatVar("Rounding", 0.0f, 0.0f, 100.0f));
    rounding->shown = rounded;
    const float* c = color ? color : kOpaqueWhite;
    tilevars::placed(*this, kColor, addVar(ModVar("Color", new ColorValue(c[0], c[1], c[2], c[3]))));
    description = kDescription;
}

ImageMod* BasicBorder::clone() const {
    BasicBorder* copy = new BasicBorder(rounded != 0, kOpaqueWhite);
    copy->copyFrom(*this);
    copy->rounded = rounded;
    return copy;
}

float BasicBorder::thicknessFraction() const {
    const FloatValue* v = floatAt(kThickness);
    const float thickness = v ? v->value : 0.0f;
    return static_cast<float>(static_cast<double>(thickness) * 0.01);
}

int32_t BasicBorder::bandWidthFor(float w, float h) const {
    const float t = thicknessFraction();
    const float ww = static_cast<float>(saturatingInt(static_cast<double>(w)));
    const float hh = static_cast<float>(saturatingInt(static_cast<double>(h)));
    const float shorter = static_cast<float>(saturatingInt(static_cast<double>(hh < ww ? hh : ww)));
    int32_t p = saturatingInt(static_cast<double>(shorter * t));
    if (t > 0.0f && p < 1) p = 1;
    return p;
}

float BasicBorder::borderAspectFor(float aspect) {
    const float t = thicknessFraction();
    const float A = aspect * 1000.0f;
    const float n = static_cast<float>(saturatingInt(static_cast<double>(A)));
    const float shorter = static_cast<float>(saturatingInt(static_cast<double>(n < 1000.0f ? n : 1000.0f)));
    int32_t p = saturatingInt(static_cast<double>(shorter * t));
    if (t > 0.0f && p < 1) p = 1;
    const float band = 2.0f * static_cast<float>(p);
    return (A + band) / (1000.0f + band);
}

void BasicBorder::contentSizeFor(const float* margins, float* outWidth, float* outHeight, float sourceWidth,
                                 float sourceHeight, float angle) {
    float cw = 0.0f;
    float ch = 0.0f;
    straightenedCroppedSize(margins, sourceWidth, sourceHeight, angle, &cw, &ch);
    const float band = 2.0f * static_cast<float>(bandWidthFor(cw, ch));
    if (outWidth) *outWidth = cw + band;
    if (outHeight) *outHeight = ch + band;
}

template <bool kEightBit>
void BasicBorder::place(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                        float height, float angle) {
    float content[2], box[2];
    if (!dest || !framedBox(source, dest, margins, exact, width, height, angle, content, box)) return;
    const float sw = static_cast<float>(source->width);
    const float sh = static_cast<float>(source->height);
    const float fw = content[0];
    const float fh = content[1];
    const float ow = box[0];
    const float oh = box[1];
    int32_t pixelsWide = 0;
    int32_t pixelsHigh = 0;
    if (!pictureSize(ow, oh, &pixelsWide, &pixelsHigh) || !isfinite(fw) || !isfinite(fh)) {
        dest->release();
        return;
    }
    // The band width of the output size, from the photo; at another size
    // than the full one it scales with the fit.
    float cw = 0.0f;
    float ch = 0.0f;
    straightenedCroppedSize(margins, sw, sh, angle, &cw, &ch);
    int32_t p = bandWidthFor(cw, ch);
    const bool fullSize = pixelsWide == saturatingInt(static_cast<double>(fw)) &&
                          pixelsHigh == saturatingInt(static_cast<double>(fh));
    if (!fullSize && p > 0) {
        const double kx = static_cast<double>(pixelsWide) / static_cast<double>(fw);
        const double ky = static_cast<double>(pixelsHigh) / static_cast<double>(fh);
        p = saturatingInt(static_cast<double>(p) * (kx < ky ? kx : ky) + 0.5);
        if (thicknessFraction() > 0.0f && p < 1) p = 1;
    }
    const int32_t insets[4] = {p, p, p, p};
    if (kEightBit)
        drawTransformedBitmap8(source, pixelsWide, pixelsHigh, margins, insets, dest, angle);
    else
        drawTransformedBitmap(source, pixelsWide, pixelsHigh, margins, insets, dest, angle);
    recordContentInsets(*dest, insets);
}

void BasicBorder::fitImageFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                                float width, float height, float angle) {
    place<false>(source, dest, margins, exact, width, height, angle);
}

void BasicBorder::fitImage8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                            float width, float height, float angle) {
    place<true>(source, dest, margins, exact, width, height, angle);
}

template <class Sample>
void BasicBorder::paint(ImageBuffer& image, const RenderArgs* args) {
    if (!image.data) return;
    const BorderFrame f = borderFrameOf(image, args);
    float color[4];
    borderpaint::colorOf(var(kColor), color);
    borderpaint::fillOutsideContent<Sample>(image, f, color);

    const float rounding = roundingPercent(*this);
    if (!(rounding > 0.0f)) return;
    const int64_t innerWidth = static_cast<int64_t>(f.fullWidth) - f.left - f.right;
    const int64_t innerHeight = static_cast<int64_t>(f.fullHeight) - f.top - f.bottom;
    const float m = static_cast<float>(innerWidth < innerHeight ? innerWidth : innerHeight);
    if (!(m > 0.0f)) return;
    const int32_t R = saturatingInt(
        static_cast<double>(static_cast<float>(static_cast<double>(m) * (static_cast<double>(rounding) * 0.005))));
    if (R < 1) return;
    const float radius = static_cast<float>(R);

    // The inner rectangle in band coordinates, exclusive at right and bottom.
    const int64_t left = static_cast<int64_t>(f.left) - f.x0;
    const int64_t top = static_cast<int64_t>(f.top) - f.y0;
    const int64_t right = static_cast<int64_t>(f.fullWidth) - f.right - f.x0;
    const int64_t bottom = static_cast<int64_t>(f.fullHeight) - f.bottom - f.y0;
    struct Corner {
        int64_t cx, cy, x0, y0;  // centre and the square's first column and row
    };
    const Corner corners[4] = {
        {left + R - 1, top + R - 1, left, top},
        {right - R, top + R - 1, right - R, top},
        {left + R - 1, bottom - R, left, bottom - R},
        {right - R, bottom - R, right - R, bottom - R},
    };
    const int32_t n = image.channelCount();
    const int32_t written = n < 4 ? n : 4;
    Sample* data = static_cast<Sample*>(image.data);
    for (const Corner& corner : corners) {
        // The R x R square clipped to the band's drawn area.
        const int64_t xs = corner.x0 > 0 ? corner.x0 : 0;
        const int64_t ys = corner.y0 > 0 ? corner.y0 : 0;
        const int64_t xe = corner.x0 + R < f.drawWidth ? corner.x0 + R : f.drawWidth;
        const int64_t ye = corner.y0 + R < f.drawHeight ? corner.y0 + R : f.drawHeight;
        for (int64_t y = ys; y < ye; ++y) {
            const float dy = static_cast<float>(y - corner.cy);
            Sample* row = data + y * image.width * n;
            for (int64_t x = xs; x < xe; ++x) {
                const float dx = static_cast<float>(x - corner.cx);
                const float w = roundedCornerWeight(dx * dx + dy * dy, radius);
                if (!(w > 0.0f)) continue;
                Sample* p = row + x * n;
                for (int32_t c = 0; c < written; ++c)
                    storeBlended(p + c, static_cast<double>(p[c]) * (1.0 - static_cast<double>(w)) +
                                            static_cast<double>(color[c] * w));
            }
        }
    }
}

void BasicBorder::processFloat(ImageBuffer& image, const RenderArgs* args) { paint<float>(image, args); }
void BasicBorder::process8(ImageBuffer& image, const RenderArgs* args) { paint<uint8_t>(image, args); }
