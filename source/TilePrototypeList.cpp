// The prototype list of every tile folder. It is built into pellucine_core
// itself, above all the layers, since it is the one place that knows every
// tile folder (see framework/TilePrototypes.h).
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void buildPrototypeList(GrowArray<ImageMod*>& out) {
    addAdjustmentPrototypes(out);
    addCameraPrototypes(out);
    addEffectPrototypes(out);
}
