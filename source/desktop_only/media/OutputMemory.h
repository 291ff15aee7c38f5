#pragma once
// The working-memory check of an output size: the same allowance the loader
// gives a picture it opens (fitsInWorkingMemory), applied to the picture a
// save, a batch job or the render tool is about to draw and render, so that
// a size the machine cannot hold is refused before any memory is taken.

#include <cstdint>

class GrowString;

// True when a width x height output fits the working memory
// (outputWorkingBytesPerPixel: more for a 16-bit file, sixteenBit).
// Otherwise false, with `reason` (when given) saying so in one line: the
// size, the memory it needs and the memory there is ("the output, 24000 x
// 24000 pixels, needs 27.6 GB of working memory; this machine allows 12.0
// GB").
bool outputFitsInMemory(int64_t width, int64_t height, GrowString* reason, bool sixteenBit = false);
