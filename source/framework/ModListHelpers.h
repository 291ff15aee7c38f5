#pragma once
// Questions about a list of tiles: which tile carries a type tag, and which
// selectors govern the tile at a position of a chain; and the owner of a
// list of tiles.

#include "foundation/GrowArray.h"

class ImageMod;

// The first tile, depth first in list order, whose typeTags hold the tag.
ImageMod* findModByTag(const GrowArray<ImageMod*>& list, int32_t tag);
// The enabled selectors of the unbroken run of selectors in front of index.
GrowArray<ImageMod*> precedingSelectors(const GrowArray<ImageMod*>& list, int32_t index);

// Owns the tiles of a list (a prototype list, a chain read from a file, a
// chain built by hand): deletes every one of them when it goes.
struct OwnedTiles {
    GrowArray<ImageMod*> list;
    OwnedTiles() = default;
    OwnedTiles(const OwnedTiles&) = delete;
    OwnedTiles& operator=(const OwnedTiles&) = delete;
    ~OwnedTiles() { clear(); }
    // Deletes every tile and empties the list.
    void clear();
};
