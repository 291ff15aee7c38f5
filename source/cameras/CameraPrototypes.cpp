// Prototypes of the camera-style tiles, one per style.

#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addCameraPrototypes(GrowArray<ImageMod*>& out) {
    (void)out;
}
