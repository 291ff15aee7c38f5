#include "framework/TilePrototypes.h"

#include "framework/ImageMod.h"

// buildPrototypeList lives in source/TilePrototypeList.cpp, above every
// tile folder: the framework knows none of them.

void freePrototypeList(GrowArray<ImageMod*>& list) {
    for (int32_t i = 0; i < list.count; ++i) delete list[i];
    list.destroy();
}
