#include "framework/TilePrototypes.h"

#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"

// buildPrototypeList lives in source/TilePrototypeList.cpp, above every
// tile folder: the framework knows none of them.

void freePrototypeList(GrowArray<ImageMod*>& list) { freeTiles(list); }
