#pragma once
// Questions about a list of tiles: which tile carries a type tag, and which
// selectors govern the tile at a position of a chain; the order of a chain's
// groups; comparing and freeing lists of tiles, and their owner.

#include "foundation/GrowArray.h"

class ImageMod;

// The first tile, depth first in list order, whose typeTags hold the tag.
ImageMod* findModByTag(const GrowArray<ImageMod*>& list, int32_t tag);
// The enabled selectors of the unbroken run of selectors in front of index.
GrowArray<ImageMod*> precedingSelectors(const GrowArray<ImageMod*>& list, int32_t index);

// A chain runs its leading group (the crop tile) first, then the central
// tiles, then the trailing ones (output sizing, watermark, borders), each
// group in list order. A tile of a group outside the three known ones, and
// every nested tile whatever it holds, counts as central.
int32_t orderingGroup(const ImageMod* mod);
// A new list of the given tiles (not copies) in that order; a null entry is
// left out.
GrowArray<ImageMod*> orderModsByChainGroup(const GrowArray<ImageMod*>& mods);
// Puts the list in that order in place (a stable reordering), and the inside
// of every nested tile likewise, at every depth. Returns whether any tile
// moved.
bool sortModsByChainGroup(GrowArray<ImageMod*>& mods);

// Deletes every tile of the list and empties it.
void freeTiles(GrowArray<ImageMod*>& list);
// Whether two lists hold equal tiles (ImageMod::equals, the enabled flag
// included) in the same order.
bool sameTiles(const GrowArray<ImageMod*>& a, const GrowArray<ImageMod*>& b);

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
