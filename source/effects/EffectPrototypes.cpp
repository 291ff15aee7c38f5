// Prototypes of the effect, mask, sizing and border tiles, one per class.

#include "effects/Blur.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addEffectPrototypes(GrowArray<ImageMod*>& out) {
    (void)out;
    // Blur
    out.append(new BlurMod(0.0f, 100.0f));
}
