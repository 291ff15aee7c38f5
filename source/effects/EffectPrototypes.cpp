// Prototypes of the effect, mask, sizing and border tiles, one per class.

#include "effects/Blur.h"
#include "framework/CropMod.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addEffectPrototypes(GrowArray<ImageMod*>& out) {
    (void)out;
    // Blur
    out.append(new BlurMod(0.0f, 100.0f));
    // Crop: no list button; made so that filter files holding one load
    out.append(new CropMod());
}
