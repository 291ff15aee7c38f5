#include "render/BorderMod.h"

#include <math.h>

#include "framework/ImageLoaderSaver.h"
#include "render/TransformedBitmap.h"

// ---- Geometry shared by the borders ------------------------------------------------

float straightenFactor(float width, float height, float angle) {
    if (angle == 0.0f) return 1.0f;
    if (!isfinite(angle)) return NAN;
    // The angle folded into [0, 180), its fraction kept, then into [0, 90].
    float a = fabsf(angle);
    const float whole = truncf(a);
    a = (a - whole) + static_cast<float>(fmod(static_cast<double>(whole), 180.0));
    if (a > 90.0f) a = 180.0f - a;
    const float s = (width < height ? width : height) * 0.5f;
    const float l = (width < height ? height : width) * 0.5f;
    // The half diagonal: 1/sqrtf and one written Newton step, the same on
    // every processor.
    const float d = s * s + l * l;
    float r = 0.0f;
    if (d != 0.0f) {
        const float y = 1.0f / sqrtf(d);
        r = (-0.5f * d * y) * (d * y * y - 3.0f);
    }
    const float theta = atanf(s / l);
    const float phi = static_cast<float>(static_cast<double>(a) * -0.017453292519943295);
    const float q = r / sinf(static_cast<float>(static_cast<double>(phi - theta) + 3.141592653589793));
    return 1.0f / (r / (sinf(theta) * q));
}

void straightenedCroppedSize(const float* margins, float width, float height, float angle, float* outWidth,
                             float* outHeight) {
    const float f = straightenFactor(width, height, angle);
    float w = width * f;
    float h = height * f;
    if (margins) {
        w = static_cast<float>((1.0 - static_cast<double>(margins[0] + margins[1])) * static_cast<double>(w));
        h = static_cast<float>((1.0 - static_cast<double>(margins[2] + margins[3])) * static_cast<double>(h));
    }
    if (outWidth) *outWidth = w;
    if (outHeight) *outHeight = h;
}

void fitIntoBox(float contentWidth, float contentHeight, float boxWidth, float boxHeight, float* outWidth,
                float* outHeight) {
    const float c = contentWidth / contentHeight;
    const float t = boxWidth / boxHeight;
    float w;
    float h;
    if (c > t) {
        w = boxWidth;
        h = static_cast<float>(saturatingInt(static_cast<double>(boxWidth / c) + 0.5));
    } else {
        w = static_cast<float>(saturatingInt(static_cast<double>(c * boxHeight) + 0.5));
        h = boxHeight;
    }
    // A NaN aspect passes on as NaN rather than as a size of 0 x 0.
    if (isnan(c) || isnan(t)) w = h = NAN;
    if (outWidth) *outWidth = w;
    if (outHeight) *outHeight = h;
}

bool pictureSize(double width, double height, int32_t* outWidth, int32_t* outHeight) {
    int32_t w = 0;
    int32_t h = 0;
    bool ok = isfinite(width) && isfinite(height) && width >= 1.0 && height >= 1.0 &&
              width < static_cast<double>(kMaxImagePixels) + 1.0 && height < static_cast<double>(kMaxImagePixels) + 1.0;
    if (ok) {
        w = static_cast<int32_t>(width);
        h = static_cast<int32_t>(height);
        ok = static_cast<int64_t>(w) * h <= kMaxImagePixels;
    }
    if (!ok) w = h = 0;
    if (outWidth) *outWidth = w;
    if (outHeight) *outHeight = h;
    return ok;
}

BorderFrame borderFrameOf(const ImageBuffer& image, const RenderArgs* args) {
    BorderFrame f;
    const RenderRegion* region = args ? args->region : nullptr;
    if (region) {
        f.fullWidth = region->fullWidth;
        f.fullHeight = region->fullHeight;
        f.x0 = region->originX;
        f.y0 = region->originY;
        f.left = region->insetLeft;
        f.right = region->insetRight;
        f.top = region->insetTop;
        f.bottom = region->insetBottom;
    } else {
        f.fullWidth = image.width;
        f.fullHeight = image.height;
        f.left = image.insetLeft;
        f.right = image.insetRight;
        f.top = image.insetTop;
        f.bottom = image.insetBottom;
    }
    const int64_t w = static_cast<int64_t>(f.fullWidth) - f.x0;
    const int64_t h = static_cast<int64_t>(f.fullHeight) - f.y0;
    f.drawWidth = static_cast<int32_t>(w < image.width ? (w < 0 ? 0 : w) : image.width);
    f.drawHeight = static_cast<int32_t>(h < image.height ? (h < 0 ? 0 : h) : image.height);
    if (!image.data) f.drawWidth = f.drawHeight = 0;
    return f;
}

void recordContentInsets(ImageBuffer& image, const int32_t insets[4]) {
    image.insetLeft = insets[0];
    image.insetRight = insets[1];
    image.insetTop = insets[2];
    image.insetBottom = insets[3];
}

// ---- BorderMod ----------------------------------------------------------------------

bool BorderMod::framedBox(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                          float height, float angle, float content[2], float box[2]) {
    const int32_t none[4] = {0, 0, 0, 0};
    recordContentInsets(*dest, none);
    if (!source) {
        dest->release();
        return false;
    }
    content[0] = 0.0f;
    content[1] = 0.0f;
    contentSizeFor(margins, &content[0], &content[1], static_cast<float>(source->width),
                   static_cast<float>(source->height), angle);
    box[0] = width;
    box[1] = height;
    if (!exact) fitIntoBox(content[0], content[1], width, height, &box[0], &box[1]);
    return true;
}

namespace {

using DrawFunction = ImageBuffer* (*)(const ImageBuffer*, int32_t, int32_t, const float*, const int32_t*,
                                      ImageBuffer*, float);

void fitAndResample(DrawFunction draw, const ImageBuffer* source, ImageBuffer* dest, const float* margins,
                    bool exact, float width, float height, float angle) {
    if (!dest) return;
    const int32_t none[4] = {0, 0, 0, 0};
    recordContentInsets(*dest, none);
    float w = 0.0f;
    float h = 0.0f;
    if (source) straightenedCroppedSize(margins, static_cast<float>(source->width),
                                        static_cast<float>(source->height), angle, &w, &h);
    float fw = width;
    float fh = height;
    if (!exact) fitIntoBox(w, h, width, height, &fw, &fh);
    int32_t iw = 0;
    int32_t ih = 0;
    if (!source || !pictureSize(fw, fh, &iw, &ih)) {
        dest->release();
        return;
    }
    draw(source, iw, ih, margins, nullptr, dest, angle);
}

}  // namespace

BorderMod::BorderMod(const GrowString& xmlName, const GrowString& shownName) : ImageMod(xmlName, shownName) {
    addTypeTag(kTagBorder);
}

float BorderMod::borderAspectFor(float aspect) { return aspect; }
float BorderMod::outputRatioAspect(float aspect) { return aspect; }

void BorderMod::contentSizeFor(const float* margins, float* outWidth, float* outHeight, float sourceWidth,
                               float sourceHeight, float angle) {
    straightenedCroppedSize(margins, sourceWidth, sourceHeight, angle, outWidth, outHeight);
}

void BorderMod::fitImageFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                              float width, float height, float angle) {
    fitAndResampleFloat(source, dest, margins, exact, width, height, angle);
}

void BorderMod::fitImage8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                          float width, float height, float angle) {
    fitAndResample8(source, dest, margins, exact, width, height, angle);
}

void BorderMod::fitAndResampleFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                                    float width, float height, float angle) {
    fitAndResample(drawTransformedBitmap, source, dest, margins, exact, width, height, angle);
}

void BorderMod::fitAndResample8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                                float width, float height, float angle) {
    fitAndResample(drawTransformedBitmap8, source, dest, margins, exact, width, height, angle);
}

BorderMod* asBorderMod(ImageMod* mod) {
    return mod && mod->kind() == kBorderMod ? dynamic_cast<BorderMod*>(mod) : nullptr;
}
