#pragma once
// Questions about a list of tiles: which tile carries a type tag, and which
// selectors govern the tile at a position of a chain.

#include "foundation/GrowArray.h"

class ImageMod;

// The first tile, depth first in list order, whose typeTags hold the tag.
ImageMod* findModByTag(const GrowArray<ImageMod*>& list, int32_t tag);
// The enabled selectors of the unbroken run of selectors in front of index.
GrowArray<ImageMod*> precedingSelectors(const GrowArray<ImageMod*>& list, int32_t index);
