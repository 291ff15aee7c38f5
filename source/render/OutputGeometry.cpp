#include "render/OutputGeometry.h"

#include <math.h>

#include "foundation/ImageBuffer.h"
#include "foundation/TextNumbers.h"
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

// Fails with the reason: what is wrong, and which tile made it so.
bool failBecause(OutputGeometry& out, GrowString* reason, const GrowString& text) {
    if (reason) *reason = text;
    return fail(out);
}

// "the border "Fill Out"", "the output size "Output Size"", or "the crop":
// the tile that gave a size.
GrowString sizeGiver(const char* role, const ImageMod* tile) {
    GrowString text("the ");
    text.append(role);
    if (tile) {
        text.append(" \"");
        text.appendString(tile->name);
        text.append("\"");
    }
    return text;
}

GrowString notFinite(const GrowString& giver) {
    GrowString text = giver;
    text.append(" gives a size that is not a finite number");
    return text;
}

GrowString sideOfZero(const GrowString& giver, double w, double h) {
    GrowString text = giver;
    appendFormat(text, " leaves a side of 0 pixels (%.6g x %.6g)", w, h);
    return text;
}

}  // namespace

bool OutputGeometry::isIdentity() const {
    return !hasCrop && angle == 0.0f && !border && width == sourceWidth && height == sourceHeight;
}

bool computeOutputGeometry(const GrowArray<ImageMod*>& chain, int32_t sourceWidth, int32_t sourceHeight,
                           const GeometryOptions& options, OutputGeometry& out, GrowString* reason) {
    out = OutputGeometry();
    out.sourceWidth = sourceWidth;
    out.sourceHeight = sourceHeight;
    if (sourceWidth < 1 || sourceHeight < 1)
        return failBecause(out, reason, sideOfZero(GrowString("the photo"), sourceWidth, sourceHeight));

    if (options.useCrop) {
        if (const CropMod* crop = asCropMod(enabledByTag(chain, kTagCrop))) {
            out.hasCrop = crop->cropMargins(out.margins);
            out.angle = crop->straightenAngle();
        }
    }
    bool finiteCrop = isfinite(out.angle);
    for (float m : out.margins) finiteCrop = finiteCrop && isfinite(m);
    if (!finiteCrop)
        return failBecause(out, reason, GrowString("the crop's margins or straighten angle are not finite numbers"));

    const float sw = static_cast<float>(sourceWidth);
    const float sh = static_cast<float>(sourceHeight);
    float w = sw;
    float h = sh;
    if (options.useBorder) out.border = asBorderMod(enabledByTag(chain, kTagBorder));
    GrowString giver = out.border ? sizeGiver("border", out.border) : sizeGiver("crop", nullptr);
    if (out.border)
        out.border->contentSizeFor(out.cropMargins(), &w, &h, sw, sh, out.angle);
    else
        straightenedCroppedSize(out.cropMargins(), sw, sh, out.angle, &w, &h);
    if (!finiteSize(w, h)) return failBecause(out, reason, notFinite(giver));

    if (options.useSizing) {
        if (SizingMod* sizing = asSizingMod(enabledByTag(chain, kTagOutputSize))) {
            // Both sides from the size before the sizing: the width must not
            // feed the height's computation.
            const float sizedWidth = sizing->outputWidth(w, h);
            const float sizedHeight = sizing->outputHeight(w, h);
            // A side of 0 before the sizing is the crop's or the border's doing.
            if (w > 0.0f && h > 0.0f) giver = sizeGiver("output size", sizing);
            w = sizedWidth;
            h = sizedHeight;
        }
    }
    if (!finiteSize(w, h)) return failBecause(out, reason, notFinite(giver));
    if (!(w > 0.0f) || !(h > 0.0f)) return failBecause(out, reason, sideOfZero(giver, w, h));

    // The caller's limit scales the size down, keeping its aspect. A limit
    // at or above the whole-pixel size on both sides leaves the size as it
    // is: the view at full size, and a save at the size the chain gives,
    // pass the whole-pixel size, which must not shrink a size with a
    // fraction further (300.5 x 200 stays 300 x 200, not 300 x 199).
    // An exact size is taken as it is: scaling to the limit and truncating
    // would lose the pixel that the size's rounding gained (600 x 400 fitted
    // to width 100 is 100 x 66.7, which truncates to 66 where 67 was asked).
    const bool exact = options.exactSize && options.maxWidth > 0 && options.maxHeight > 0;
    double fw = exact ? options.maxWidth : w;
    double fh = exact ? options.maxHeight : h;
    const bool limited = !exact && ((options.maxWidth > 0 && options.maxWidth < floor(fw)) ||
                                    (options.maxHeight > 0 && options.maxHeight < floor(fh)));
    if (limited && options.maxWidth > 0 && fw > options.maxWidth) {
        fh = fh * options.maxWidth / fw;
        fw = options.maxWidth;
    }
    if (limited && options.maxHeight > 0 && fh > options.maxHeight) {
        fw = fw * options.maxHeight / fh;
        fh = options.maxHeight;
    }
    // Whole pixels, at least 1 a side, within the budget.
    if (fw < 1.0) fw = 1.0;
    if (fh < 1.0) fh = 1.0;
    if (!pictureSize(fw, fh, &out.width, &out.height)) {
        GrowString text("");
        appendFormat(text, "the picture would be %.0f x %.0f pixels, beyond one gigapixel", fw, fh);
        return failBecause(out, reason, text);
    }
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
