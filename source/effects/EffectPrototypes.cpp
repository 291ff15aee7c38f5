// Prototypes of the effect, mask, sizing and border tiles, one per class.

#include "effects/Blur.h"
#include "effects/Discolor.h"
#include "effects/Grain.h"
#include "effects/Noise.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addEffectPrototypes(GrowArray<ImageMod*>& out) {
    (void)out;
    // Blur
    out.append(new BlurMod(0.0f, 100.0f));
    // Grain; Noise, Discolor and Lightleak (hidden building blocks)
    out.append(new GrainMod());
    out.append(new NoiseMod(25.0f, 20.0f, 0.0f));
    {
        const float leakColour[4] = {255.0f, 127.0f, 0.0f, 255.0f};
        out.append(new DiscolorMod(leakColour, 1.0f, 0.0f, 1.0f, 1.0f));
    }
    out.append(new LightleakMod());
}
