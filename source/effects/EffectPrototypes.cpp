// Prototypes of the effect, mask, sizing and border tiles, one per class.

#include "effects/Blur.h"
#include "effects/DeadPixel.h"
#include "effects/Watermark.h"
#include "effects/masks/HsvMask.h"
#include "effects/masks/HueMask.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addEffectPrototypes(GrowArray<ImageMod*>& out) {
    (void)out;
    // Blur
    out.append(new BlurMod(0.0f, 100.0f));
    // Masks
    out.append(new HueMask());
    out.append(HsvMask::makeDefault());
    out.append(LuminanceMask::makeDefault());
    // Utility
    out.append(new WatermarkMod());
    out.append(new DeadPixelMod());
}
