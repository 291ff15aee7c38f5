#pragma once
// The geometry of a rendered buffer within the whole output image, and the
// arguments every process operation receives.

#include <cstdint>

class ImageMod;

struct RenderRegion {
    int32_t fullWidth = 0;    // width of the whole output image
    int32_t fullHeight = 0;   // its height
    int32_t originX = 0;      // column of the buffer's first pixel in it
    int32_t originY = 0;      // row of the buffer's first row in it
    int32_t insetLeft = 0;    // border around the photograph proper
    int32_t insetRight = 0;
    int32_t insetTop = 0;
    int32_t insetBottom = 0;
    float scale = 1.0f;       // full-resolution pixels per buffer pixel
};

struct RenderArgs {
    RenderRegion* region = nullptr;  // may be null
    ImageMod* selector = nullptr;    // selector (kind 4) weighting the effect, or null
    int32_t requestValue = 0;
    int32_t pass = 0;                // -1 when a compound runs its sub-tiles
    // Rows at the top and at the bottom of the image that are there only as
    // context for a tile that reads neighbouring rows (a band's margin): the
    // caller keeps nothing the tile writes into them. 0 when every row is kept.
    int32_t contextAbove = 0;
    int32_t contextBelow = 0;
};
