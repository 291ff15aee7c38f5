#pragma once
// The order in which a chain's tiles run: the leading group (the crop tile)
// first, then the central tiles, then the trailing ones (output sizing,
// borders), each group keeping its tiles in list order.

#include "foundation/GrowArray.h"

class ImageMod;

// A new list of the given tiles (not copies) ordered by chain group; a null
// entry is left out. Tiles of a group outside the three known ones count as
// central.
GrowArray<ImageMod*> orderModsByChainGroup(const GrowArray<ImageMod*>& mods);
