#include "render/OutputGeometry.h"

#include <math.h>

#include "foundation/ImageBuffer.h"
#include "framework/CropMod.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/SizingMod.h"
#include "render/BorderMod.h"
#include "render/TransformedBitmap.h"

namespace {

ImageMod* enabledByTag(const GrowArray<ImageMod*>& chain, int32_t tag) {
    ImageMod* mod = findModByTag(chain, tag);
    return mod && mod->enabled ? mod : nullptr;
}

bool finiteSize(float w, float h) { return isfinite(w) && isfinite(h); }

bool fail(OutputGeometry& out) {
    out.width = 0;
    out.height = 0;
    return false;
}

}  // namespace

bool OutputGeometry::isIdentity() const {
    return !hasCrop && angle == 0.0f && !border && width == sourceWidth && height == sourceHeight;
}

bool computeOutputGeometry(const GrowArray<ImageMod*>& chain, int32_t sourceWidth, int32_t sourceHeight,
                           const GeometryOptions& options, OutputGeometry& out) {
    out = OutputGeometry();
    out.sourceWidth = sourceWidth;
    out.sourceHeight = sourceHeight;
    if (sourceWidth < 1 || sourceHeight < 1) return fail(out);

    if (options.useCrop) {
        if (const CropMod* crop = asCropMod(enabledByTag(chain, kTagCrop))) {
            out.hasCrop = crop->cropMargins(out.margins);
            out.angle = crop->straightenAngle();
        }
    }
    if (!isfinite(out.angle)) return fail(out);
    for (float m : out.margins)
        if (!isfinite(m)) return fail(out);

    const float sw = static_cast<float>(sourceWidth);
    const float sh = static_cast<float>(sourceHeight);
    float w = sw;
    float h = sh;
    if (options.useBorder) out.border = asBorderMod(enabledByTag(chain, kTagBorder));
    if (out.border)
        out.border->contentSizeFor(out.cropMargins(), &w, &h, sw, sh, out.angle);
    else
        straightenedCroppedSize(out.cropMargins(), sw, sh, out.angle, &w, &h);
    if (!finiteSize(w, h)) return fail(out);

    if (options.useSizing) {
        if (SizingMod* sizing = asSizingMod(enabledByTag(chain, kTagOutputSize))) {
            // Both sides from the size before the sizing: the width must not
            // feed the height's computation.
            const float sizedWidth = sizing->outputWidth(w, h);
            const float sizedHeight = sizing->outputHeight(w, h);
            w = sizedWidth;
            h = sizedHeight;
        }
    }
    if (!finiteSize(w, h) || !(w > 0.0f) || !(h > 0.0f)) return fail(out);
    out.preLimitWidth = w;
    out.preLimitHeight = h;

    // The caller's limit scales the size down, keeping its aspect.
    double fw = w;
    double fh = h;
    if (options.maxWidth > 0 && fw > options.maxWidth) {
        fh = fh * options.maxWidth / fw;
        fw = options.maxWidth;
    }
    if (options.maxHeight > 0 && fh > options.maxHeight) {
        fw = fw * options.maxHeight / fh;
        fh = options.maxHeight;
    }
    // Whole pixels, at least 1 a side, within the budget.
    if (fw < 1.0) fw = 1.0;
    if (fh < 1.0) fh = 1.0;
    if (!pictureSize(fw, fh, &out.width, &out.height)) return fail(out);
    return true;
}

namespace {

template <bool kEightBit>
bool applyGeometry(const ImageBuffer& source, const OutputGeometry& g, ImageBuffer& dest) {
    if (!source.data || source.width < 1 || source.height < 1 || g.width < 1 || g.height < 1) return false;
    if (!dest.data) dest.channels = source.channelCount();
    if (g.border) {
        if (kEightBit)
            g.border->fitImage8(&source, &dest, g.cropMargins(), true, static_cast<float>(g.width),
                                static_cast<float>(g.height), g.angle);
        else
            g.border->fitImageFloat(&source, &dest, g.cropMargins(), true, static_cast<float>(g.width),
                                    static_cast<float>(g.height), g.angle);
    } else {
        const int32_t none[4] = {0, 0, 0, 0};
        recordContentInsets(dest, none);
        if (kEightBit)
            drawTransformedBitmap8(&source, g.width, g.height, g.cropMargins(), nullptr, &dest, g.angle);
        else
            drawTransformedBitmap(&source, g.width, g.height, g.cropMargins(), nullptr, &dest, g.angle);
    }
    return dest.data != nullptr && dest.width == g.width && dest.height == g.height;
}

}  // namespace

bool applyChainGeometry(const ImageBuffer& source, const OutputGeometry& geometry, ImageBuffer& dest) {
    return applyGeometry<false>(source, geometry, dest);
}

bool applyChainGeometry8(const ImageBuffer& source, const OutputGeometry& geometry, ImageBuffer& dest) {
    return applyGeometry<true>(source, geometry, dest);
}
