#pragma once
// The output geometry of a document view: the size of the picture its chain
// makes from the source (crop, border, output sizing; render/OutputGeometry.h)
// and the source drawn through that geometry at the size the view shows it,
// whole or only the window of it that is visible.

#include <QPoint>
#include <QRect>

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

// Where a view shows the picture: all in device pixels.
struct ViewPlacement {
    float zoom = 1.0f;         // the zoom in force
    int32_t fullWidth = 0;     // the whole picture at that zoom
    int32_t fullHeight = 0;
    int32_t left = 0;          // its top-left corner in the view
    int32_t top = 0;
    int32_t originX = 0;       // the visible part of it
    int32_t originY = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The placement in logical pixels (device pixels divided by dpr): the whole
// picture's rectangle in the view, its edges rounded outwards, and the
// amounts cut off it at the left and top.
QRect logicalPictureRect(const ViewPlacement& p, float dpr);
QPoint logicalVisibleOrigin(const ViewPlacement& p, float dpr);

// The scale at which an outW x outH picture fits a viewW x viewH view (at
// most 1: the view never enlarges).
float fitScaleFor(int32_t outW, int32_t outH, int32_t viewW, int32_t viewH);

// Places the picture of the chain's output (scaled by the zoom, or the fit
// scale in fit mode, and by the screen's device-pixel ratio) in a view of
// viewW x viewH logical pixels panned by (panX, panY); geometry receives the
// output geometry at that size. False when nothing of it can be shown.
bool placePicture(const GrowArray<ImageMod*>& chain, int32_t sourceW, int32_t sourceH, bool applyGeometric,
                  int32_t viewW, int32_t viewH, bool fit, float zoom, float panX, float panY, ViewPlacement& p,
                  OutputGeometry& geometry);
