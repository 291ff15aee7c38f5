#pragma once
// The output geometry of a render: what size the result has and how the
// source is drawn into the buffer the chain then runs on.
//
// Every render of a chain (the display, thumbnails, saves, the batch worker
// and the render tool) goes: computeOutputGeometry, applyChainGeometry into
// the starting buffer, then the chain itself. The geometry comes from three
// tiles of the chain, each found by its type tag (depth first, inside
// compound filters too) and used only when enabled:
//   1. the crop tile (tag 0, CropMod): margins cut from the source and the
//      straighten angle; without a border the size becomes the straightened
//      and cropped source size;
//   2. the border (tag 4, BorderMod): contentSizeFor gives the framed size;
//   3. the sizing tile (tag 1, SizingMod): outputWidth, then outputHeight,
//      both given the same size from before the sizing;
// then the caller's final width or height limit scales the size down
// keeping its aspect (a limit no smaller than the whole-pixel size on
// either side changes nothing), and the size becomes whole pixels
// (truncated toward zero, at least 1). A caller that asks for an exact size
// instead (a save at the size its dialog showed) gets that size whole: the
// drawing fills it at one scale, never stretching the picture, so where the
// size's proportion, rounded to whole pixels, differs from the picture's,
// the overhang (about a pixel) is cut evenly from both sides.
//
// The drawing sets the starting buffer's scale field: the photo's own
// pixels per buffer pixel (2 for a sizing tile at half the photo's width,
// 4 when a limit then halves that again). Every render of the chain runs
// at that scale (the view hands it on in its request region), so a tile
// that measures in the photo's pixels (grain size, sharpening, a dead
// pixel's place) gives the same picture in the view, a preview and a save
// of the same size.
//
// The step fails on a size or an angle that is not finite, on a side of 0
// pixels or less before the size is made whole, and on a picture beyond the
// pixel budget (kMaxImagePixels, the loader's budget), so no integer
// conversion sees such a value and no render allocates without bound. The
// caller can ask for the reason, which names the tile that caused it.

#include <cstdint>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class BorderMod;
class ImageBuffer;
class ImageMod;

struct GeometryOptions {
    bool useCrop = true;     // apply the crop tile
    bool useBorder = true;   // apply the border's geometry
    bool useSizing = true;   // apply the sizing tile
    int32_t maxWidth = 0;    // the caller's final limit, 0 for none
    int32_t maxHeight = 0;
    // maxWidth x maxHeight, when both are given, is the size itself rather
    // than a limit. The caller keeps it to the picture's proportion with one
    // side rounded to the nearest pixel, as the Save Size dialog does.
    bool exactSize = false;
};

struct OutputGeometry {
    int32_t width = 0;    // the size of the starting buffer
    int32_t height = 0;
    bool hasCrop = false;         // margins holds the crop tile's margins
    float margins[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // left, right, top, bottom
    float angle = 0.0f;           // straighten angle, degrees
    BorderMod* border = nullptr;  // the enabled border of the chain, or null (not owned)
    int32_t sourceWidth = 0;
    int32_t sourceHeight = 0;

    // The crop margins for the drawing functions, or null without a crop.
    const float* cropMargins() const { return hasCrop ? margins : nullptr; }
    // True when the starting buffer is the source as it stands: no crop,
    // no angle, no border, and the source's own size.
    bool isIdentity() const;
};

// Finds the chain's output size for a sourceWidth x sourceHeight source.
// False, with a size of 0 x 0, when a value is not finite, the source or
// the picture has a side of 0 pixels, or the picture would exceed the pixel
// budget. reason, when given, then receives what is wrong in a few words
// ("the border "Fill Out" gives a size that is not a finite number", "the
// crop leaves a side of 0 pixels (0 x 2000)", "the picture would be
// 100000 x 100000 pixels, beyond one gigapixel", ...); it is left alone on
// success.
bool computeOutputGeometry(const GrowArray<ImageMod*>& chain, int32_t sourceWidth, int32_t sourceHeight,
                           const GeometryOptions& options, OutputGeometry& out, GrowString* reason = nullptr);
inline bool computeOutputGeometry(const GrowArray<ImageMod*>& chain, int32_t sourceWidth, int32_t sourceHeight,
                                  OutputGeometry& out, GrowString* reason = nullptr) {
    return computeOutputGeometry(chain, sourceWidth, sourceHeight, GeometryOptions(), out, reason);
}

// Draws the source into dest at the geometry's size: through the border's
// fitImageFloat (exact) when the geometry has a border, else cut by the crop
// margins and turned by the angle with drawTransformedBitmap (content insets
// 0). dest keeps its channel count when it has data, else takes the
// source's. False when nothing could be drawn (no source, no memory).
bool applyChainGeometry(const ImageBuffer& source, const OutputGeometry& geometry, ImageBuffer& dest);
// The same for 8-bit images (fitImage8, drawTransformedBitmap8).
bool applyChainGeometry8(const ImageBuffer& source, const OutputGeometry& geometry, ImageBuffer& dest);
