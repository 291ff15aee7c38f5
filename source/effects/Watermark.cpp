#include "effects/Watermark.h"

#include <math.h>

#include <cstdio>

#include "adjustments/TileVars.h"
#include "framework/RenderArgs.h"
#include "render/TransformedBitmap.h"

namespace {

// The vars, in the order the constructor adds them.
enum WatermarkVar : int32_t { kFile = 0, kAnchor = 1, kOffset = 2, kScale = 3, kOpacity = 4 };

constexpr double kInv255d = 0.00392156862745098;
// Scaled sizes beyond this many pixels a side are refused: far beyond any
// picture, and the float arithmetic of the placement would lose pixels.
constexpr double kMaxScaledSide = 1099511627776.0;  // 2^40

float floatVar(const ImageMod& mod, int32_t index) {
    const FloatValue* v = mod.floatAt(index);
    return v ? v->value : 0.0f;
}

// A float truncated toward zero into 64 bits, or -1 when it is not a size
// the overlay can take (NaN, negative, beyond kMaxScaledSide).
int64_t sideOf(float v) {
    if (!(v >= 0.0f) || static_cast<double>(v) > kMaxScaledSide) return -1;
    return static_cast<int64_t>(v);
}

template <class Sample>
Sample storeBlend(double v);
template <>
float storeBlend<float>(double v) {
    return static_cast<float>(v);
}
template <>
uint8_t storeBlend<uint8_t>(double v) {
    return storeByte(static_cast<float>(v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v)));
}

}  // namespace

WatermarkMod::WatermarkMod() : ImageMod(GrowString("Watermark"), GrowString("")), lock(std::make_unique<Mutex>()) {
    version = kNewestVersion;
    FileValue* file = new FileValue();
    for (const char* extension : {"png", "tif", "tiff", "jpg", "jpeg"}) file->extensions.append(GrowString(extension));
    tilevars::placed(*this, kFile, addVar(ModVar("File", file)));
    GrowArray<GrowString> anchors;
    for (const char* text : {"Lower Right", "Lower Left", "Upper Right", "Upper Left", "Left", "Right", "Top", "Bottom",
                             "Center"})
        anchors.append(GrowString(text));
    tilevars::placed(*this, kAnchor, addVar(ModVar("Anchor", new ChoiceValue(anchors, 0))));
    tilevars::placed(*this, kOffset, addFloatVar("Offset", 5.0f, 0.0f, 100.0f, 0));
    tilevars::placed(*this, kScale, addFloatVar("Scale", 15.0f, 0.0f, 100.0f, 0));
    ModVar* opacity = tilevars::placed(*this, kOpacity, addFloatVar("Opacity", 1.0f, 0.0f, 1.0f, 0));
    tilevars::showAsPercent(*opacity->floatValue(), 0.0f);
    description = "Add a watermark or other overlay to your image.";
}

WatermarkMod::~WatermarkMod() = default;

ImageMod* WatermarkMod::clone() const { return new WatermarkMod(); }

void WatermarkMod::placement(int32_t anchor, int64_t W, int64_t H, int64_t ow, int64_t oh, int64_t m, int64_t* left,
                             int64_t* top) {
    const int64_t dx = W - ow;
    const int64_t dy = H - oh;
    switch (anchor) {
        case kLowerLeft: *left = m; *top = dy - m; break;
        case kUpperRight: *left = dx - m; *top = m; break;
        case kUpperLeft: *left = m; *top = m; break;
        case kLeft: *left = m; *top = dy / 2; break;
        case kRight: *left = dx - m; *top = dy / 2; break;
        case kTop: *left = dx / 2; *top = m; break;
        case kBottom: *left = dx / 2; *top = dy - m; break;
        case kCenter: *left = dx / 2; *top = dy / 2; break;
        default: *left = dx - m; *top = dy - m; break;  // "Lower Right"
    }
}

template <class Sample>
void WatermarkMod::overlayOnto(ImageBuffer& image, const RenderArgs* args) {
    MutexLocker guard(lock.get());
    const ModVar* fileVar = var(kFile);
    const FileValue* file = fileVar ? fileVar->fileValue() : nullptr;
    if (!file || file->path.isEmpty() || !image.data || image.width < 1 || image.height < 1) return;
    const GrowString& path = file->path;
    const float offset = floatVar(*this, kOffset);
    const float scaleVar = floatVar(*this, kScale);
    const ModVar* anchorVar = var(kAnchor);
    const ChoiceValue* anchorChoice = anchorVar ? anchorVar->choiceValue() : nullptr;
    const int32_t anchor = anchorChoice ? anchorChoice->selected : 0;
    float opacity = floatVar(*this, kOpacity);
    if (!(opacity > 0.0f)) return;  // 0 (and NaN) leaves the picture as it is
    if (opacity > 1.0f) opacity = 1.0f;

    // Geometry of this image in the whole picture.
    const int32_t w = image.width;
    const int32_t h = image.height;
    const RenderRegion* region = args ? args->region : nullptr;
    int64_t W = w;
    int64_t H = h;
    int64_t bx = 0;
    int64_t by = 0;
    int64_t vw = w;
    int64_t vh = h;
    float s = image.scale;
    if (region) {
        W = region->fullWidth;
        H = region->fullHeight;
        bx = region->originX;
        by = region->originY;
        const float cw = static_cast<float>(W - bx);
        const float chh = static_cast<float>(H - by);
        vw = static_cast<int64_t>(cw < static_cast<float>(w) ? cw : static_cast<float>(w));
        vh = static_cast<int64_t>(chh < static_cast<float>(h) ? chh : static_cast<float>(h));
        s = region->scale;
    }
    if (vw < 1 || vh < 1 || W < 1 || H < 1) return;
    if (!(s > 0.0f) || !isfinite(s)) s = 1.0f;

    // The file, read once per path.
    if (!loaded || overlayWidth <= 0 || overlayHeight <= 0 || !(overlayPath == path)) {
        overlay.reset();
        auto bitmap = std::make_unique<ImageBuffer>();
        bitmap->allocate8(10, 10, 4);
        if (!loadNamedBitmap(bitmap.get(), path.c_str(), true) || !bitmap->data || bitmap->width < 1 ||
            bitmap->height < 1 || bitmap->channelCount() != 4) {
            loaded.reset();
            overlayWidth = overlayHeight = 0;
            overlayPath = "";
            return;
        }
        loaded = std::move(bitmap);
        overlayWidth = loaded->width;
        overlayHeight = loaded->height;
        overlayPath = path;
    }

    // The box, and the bitmap's size covering it.
    const float sigma = static_cast<float>(static_cast<double>(scaleVar) * 0.01);
    int64_t ow;
    int64_t oh;
    if (sigma > 0.0f) {
        const int64_t tw = sideOf(static_cast<float>(W) * sigma);
        const int64_t th = sideOf(static_cast<float>(H) * sigma);
        if (tw < 1 || th < 1) return;  // a box of less than a pixel draws nothing
        const float a = static_cast<float>(overlayWidth) / static_cast<float>(overlayHeight);
        if (a > static_cast<float>(tw) / static_cast<float>(th)) {
            ow = sideOf(a * static_cast<float>(th));
            oh = th;
        } else {
            ow = tw;
            oh = sideOf(static_cast<float>(tw) / a);
        }
    } else {
        std::printf("applying overlay with pixelScale %f\n", static_cast<double>(s));
        std::fflush(stdout);
        const float inverse = 1.0f / s;
        const int64_t tw = sideOf(static_cast<float>(overlayWidth) * inverse);
        const int64_t th = sideOf(static_cast<float>(overlayHeight) * inverse);
        if (tw < 1 || th < 1) return;
        if (s != 1.0f) {
            ow = tw;
            oh = th;
        } else {
            ow = overlayWidth;
            oh = overlayHeight;
        }
    }
    if (ow < 1 || oh < 1) return;

    // Placement, and the part of the bitmap inside the visible area.
    const float shorter = static_cast<float>(W) < static_cast<float>(H) ? static_cast<float>(W) : static_cast<float>(H);
    const int64_t m = sideOf(shorter * static_cast<float>(static_cast<double>(offset) * 0.005));
    int64_t left = 0;
    int64_t top = 0;
    placement(anchor, W, H, ow, oh, m < 0 ? 0 : m, &left, &top);
    const int64_t x0 = left > bx ? left : bx;
    const int64_t y0 = top > by ? top : by;
    const int64_t x1 = left + ow < bx + vw ? left + ow : bx + vw;
    const int64_t y1 = top + oh < by + vh ? top + oh : by + vh;
    if (x1 <= x0 || y1 <= y0) return;
    const int64_t key[6] = {ow, oh, x0 - left, y0 - top, x1 - x0, y1 - y0};
    bool fresh = overlay && overlay->data;
    for (int32_t k = 0; k < 6 && fresh; ++k) fresh = overlayKey[k] == key[k];
    if (!fresh) {
        overlay = std::make_unique<ImageBuffer>();
        if (!overlay->allocate8(static_cast<int32_t>(key[4]), static_cast<int32_t>(key[5]), 4) ||
            !drawResizedBitmapPart8(loaded.get(), ow, oh, key[2], key[3], *overlay)) {
            overlay.reset();
            return;
        }
        for (int32_t k = 0; k < 6; ++k) overlayKey[k] = key[k];
    }

    // Blend by the bitmap's alpha times the opacity, over min(4, image
    // channels) channels.
    const int32_t ic = image.channelCount();
    const int32_t n = ic < 4 ? ic : 4;
    const int32_t partWidth = overlay->width;
    const uint8_t* bitmap = overlay->bytes();
    Sample* samples = static_cast<Sample*>(image.data);
    for (int64_t Y = y0; Y < y1; ++Y) {
        const uint8_t* B = bitmap + ((Y - y0) * partWidth) * 4;
        Sample* I = samples + ((Y - by) * w + (x0 - bx)) * ic;
        for (int64_t X = x0; X < x1; ++X, B += 4, I += ic) {
            const float alpha = static_cast<float>(
                static_cast<double>(static_cast<float>(B[3]) * opacity) * kInv255d);
            for (int32_t k = 0; k < n; ++k)
                I[k] = storeBlend<Sample>(static_cast<double>(I[k]) * (1.0 - static_cast<double>(alpha)) +
                                          static_cast<double>(static_cast<float>(B[k]) * alpha));
        }
    }
}

void WatermarkMod::process8(ImageBuffer& image, const RenderArgs* args) { overlayOnto<uint8_t>(image, args); }

void WatermarkMod::processFloat(ImageBuffer& image, const RenderArgs* args) { overlayOnto<float>(image, args); }
