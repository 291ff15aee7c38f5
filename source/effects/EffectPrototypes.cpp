// Prototypes of the effect, mask, sizing and border tiles, one per class.

#include "effects/Blur.h"
#include "effects/RadialBlur.h"
#include "effects/Sharpen.h"
#include "effects/Vignette.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addEffectPrototypes(GrowArray<ImageMod*>& out) {
    (void)out;
    // Vignette
    out.append(new VignetteMod(1.0f, 50.0f, 1.0f));
    // Blur
    out.append(new BlurMod(0.0f, 100.0f));
    // Sharpen
    out.append(new SharpenMod());
    // Radial Blur
    out.append(new RadialBlurMod(0.5f, 1.0f));
}
