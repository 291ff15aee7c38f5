#pragma once
// Look-up-table export: a chain of tiles as a 3D LUT in the ".cube" text
// format that colour-grading programs read.
//
//   TITLE "Warm Fade"
//   LUT_3D_SIZE 33
//   0.000000 0.000000 0.000000
//   0.031250 0.000000 0.000000
//   ...
//
// 33 x 33 x 33 grid points, one "R G B" line each, red varying fastest, then
// green, then blue. Each point's colour has the components i x 255 / 32 on
// the 0..255 scale (i = 0..32); the chain renders all of them at once as one
// float image, and each result is written divided by 255 with "%f" in the C
// locale. The LUT can only capture what a tile does to a colour: tiles whose
// result depends on the pixel's position or neighbours (vignettes, blurs,
// borders) see the grid image as a picture and give no meaningful table.

#include <cstdint>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class ImageMod;

// Grid points per axis of the exported table.
constexpr int32_t kCubeLutSize = 33;

// Renders the chain (only read; the render works on clones) over the grid
// and writes the table to path: under a temporary name in the same folder,
// renamed over the target once complete, so a failed export keeps the old
// file. An empty chain gives the identity. In the title, double quotes
// become single quotes and control characters spaces, so that it stays
// one well-formed line. Returns false when the grid cannot be allocated or
// rendered or the file cannot be written; reason, when given, says which.
bool exportCubeLut(const GrowArray<ImageMod*>& chain, const GrowString& path, const GrowString& title,
                   GrowString* reason = nullptr);
