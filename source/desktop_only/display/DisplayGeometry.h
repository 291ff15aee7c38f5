#pragma once
// The output geometry of a document view: the size of the picture its chain
// makes from the source (crop, border, output sizing; render/OutputGeometry.h)
// and the source drawn through that geometry at the size the view shows it,
// whole or only the window of it that is visible.

#include <cstdint>

#include "foundation/GrowArray.h"
#include "render/OutputGeometry.h"

class ImageBuffer;
class ImageMod;
struct DrawWindow;

// The output size of the chain on a source of sourceWidth x sourceHeight,
// with the crop (tag 0), border (tag 4) and sizing (tag 1) tiles each taken
// into account only when its flag is set. False (sizes unchanged) when the
// geometry step refuses the chain.
bool displayOutputSize(const GrowArray<ImageMod*>& chain, int32_t sourceWidth, int32_t sourceHeight, bool useCrop,
                       bool useBorders, bool useSizing, int32_t& width, int32_t& height);

// The geometry of the chain scaled down to fit maxWidth x maxHeight (0: no
// limit); the geometric tiles count only when applyGeometric is set.
bool displayGeometry(const GrowArray<ImageMod*>& chain, int32_t sourceWidth, int32_t sourceHeight,
                     bool applyGeometric, int32_t maxWidth, int32_t maxHeight, OutputGeometry& geometry);

// Draws the source through the geometry into dest: the whole picture
// (applyChainGeometry), or only `window` of it when window is not null (dest
// then has the window's size; each pixel as in the whole picture). A window
// of a framed picture draws the whole frame and copies the window out of it.
// Returns whether dest holds a picture.
bool drawDisplaySource(const ImageBuffer& source, const OutputGeometry& geometry, const DrawWindow* window,
                       ImageBuffer& dest);
