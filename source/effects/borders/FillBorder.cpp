#include "effects/borders/FillBorder.h"

#include <math.h>

#include "adjustments/TileVars.h"
#include "effects/borders/BorderPaint.h"
#include "render/TransformedBitmap.h"

namespace {

const float kOpaqueWhite[4] = {255.0f, 255.0f, 255.0f, 255.0f};

// The vars, in the order the constructor adds them.
enum FillBorderVar : int32_t { kAspectRatio = 0, kColor = 1 };

}  // namespace

FillBorder::FillBorder(const float* color) : BorderMod(GrowString("Fill Out"), GrowString("Fill Border")) {
    version = kNewestVersion;
    tilevars::placed(*this, kAspectRatio, addFloatVar("Aspect Ratio", 1.0f, 0.001f, 10.0f));
    const float* c = color ? color : kOpaqueWhite;
    tilevars::placed(*this, kColor, addVar(ModVar("Color", new ColorValue(c[0], c[1], c[2], c[3]))));
    description = "A border of any color that adds bars to the image to make it the desired aspect ratio.";
}

ImageMod* FillBorder::clone() const {
    FillBorder* copy = new FillBorder(kOpaqueWhite);
    copy->copyFrom(*this);
    return copy;
}

float FillBorder::aspectRatio() const {
    const FloatValue* v = floatAt(kAspectRatio);
    return v ? v->value : 0.0f;
}

float FillBorder::borderAspectFor(float) { return aspectRatio(); }

// The photo's size with bars added to reach the ratio; a ratio that is not
// positive gives a size that is not finite, which the geometry step refuses.
void FillBorder::contentSizeFor(const float* margins, float* outWidth, float* outHeight, float sourceWidth,
                                float sourceHeight, float angle) {
    float cw = 0.0f;
    float ch = 0.0f;
    straightenedCroppedSize(margins, sourceWidth, sourceHeight, angle, &cw, &ch);
    const float r = aspectRatio();
    const float a = cw / ch;
    float w = cw;
    float h = ch;
    if (a < r)
        w = r * ch;  // bars at the left and right
    else if (a > r)
        h = cw / r;  // bars at the top and bottom
    else if (!(a == r))
        w = h = NAN;  // no ratio to reach
    if (outWidth) *outWidth = w;
    if (outHeight) *outHeight = h;
}

template <bool kEightBit>
void FillBorder::place(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                       float height, float angle) {
    float content[2], box[2];
    if (!dest || !framedBox(source, dest, margins, exact, width, height, angle, content, box)) return;
    const float sw = static_cast<float>(source->width);
    const float sh = static_cast<float>(source->height);
    const float ow = box[0];
    const float oh = box[1];
    float cw = 0.0f;
    float ch = 0.0f;
    straightenedCroppedSize(margins, sw, sh, angle, &cw, &ch);
    float iw = 0.0f;
    float ih = 0.0f;
    fitIntoBox(cw, ch, ow, oh, &iw, &ih);
    int32_t pixelsWide = 0;
    int32_t pixelsHigh = 0;
    if (!pictureSize(ow, oh, &pixelsWide, &pixelsHigh) || !isfinite(iw) || !isfinite(ih)) {
        dest->release();
        return;
    }
    const int32_t side = saturatingInt(static_cast<double>(ow - iw) * 0.5);
    const int32_t top = saturatingInt(static_cast<double>(oh - ih) * 0.5);
    const int32_t insets[4] = {side, side, top, top};
    if (kEightBit)
        drawTransformedBitmap8(source, pixelsWide, pixelsHigh, margins, insets, dest, angle);
    else
        drawTransformedBitmap(source, pixelsWide, pixelsHigh, margins, insets, dest, angle);
    recordContentInsets(*dest, insets);
}

void FillBorder::fitImageFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                               float width, float height, float angle) {
    place<false>(source, dest, margins, exact, width, height, angle);
}

void FillBorder::fitImage8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                           float width, float height, float angle) {
    place<true>(source, dest, margins, exact, width, height, angle);
}

void FillBorder::processFloat(ImageBuffer& image, const RenderArgs* args) {
    float color[4];
    borderpaint::colorOf(var(kColor), color);
    borderpaint::fillOutsideContent<float>(image, borderFrameOf(image, args), color);
}

void FillBorder::process8(ImageBuffer& image, const RenderArgs* args) {
    float color[4];
    borderpaint::colorOf(var(kColor), color);
    borderpaint::fillOutsideContent<uint8_t>(image, borderFrameOf(image, args), color);
}
