#include "framework/TilePrototypes.h"

#include "framework/ImageMod.h"

void buildPrototypeList(GrowArray<ImageMod*>& out) {
    addAdjustmentPrototypes(out);
    addCameraPrototypes(out);
    addEffectPrototypes(out);
}

void freePrototypeList(GrowArray<ImageMod*>& list) {
    for (int32_t i = 0; i < list.count; ++i) delete list[i];
    list.destroy();
}
