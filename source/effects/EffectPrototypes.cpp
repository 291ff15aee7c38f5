// Prototypes of the effect, mask, sizing and border tiles, one per class.

#include "effects/Blur.h"
#include "effects/Discolor.h"
#include "effects/Grain.h"
#include "effects/Noise.h"
#include "effects/DeadPixel.h"
#include "effects/RadialBlur.h"
#include "effects/Sharpen.h"
#include "effects/Vignette.h"
#include "effects/Watermark.h"
#include "effects/masks/HsvMask.h"
#include "effects/masks/HueMask.h"
#include "effects/borders/BasicBorder.h"
#include "effects/borders/BitmapBorder.h"
#include "effects/borders/FillBorder.h"
#include "effects/borders/ImageBorder.h"
#include "effects/sizing/OutputRatio.h"
#include "effects/sizing/OutputSize.h"
#include "framework/CropMod.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addEffectPrototypes(GrowArray<ImageMod*>& out) {
    (void)out;
    // Vignette
    out.append(new VignetteMod(1.0f, 50.0f, 1.0f));
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
    // Sharpen
    out.append(new SharpenMod());
    // Radial Blur
    out.append(new RadialBlurMod(0.5f, 1.0f));
    // Masks
    out.append(new HueMask());
    out.append(HsvMask::makeDefault());
    out.append(LuminanceMask::makeDefault());
    // Utility
    out.append(new WatermarkMod());
    out.append(new DeadPixelMod());
    // Crop: no list button; made so that filter files holding one load
    out.append(new CropMod());
    // Borders: the straight basic border (no list button), then the rounded one
    {
        const float white[4] = {255.0f, 255.0f, 255.0f, 255.0f};
        out.append(new BasicBorder(false, white));
        out.append(new BasicBorder(true, white));
        out.append(new FillBorder(white));
    }
    out.append(new ImageBorder());
    // The built-in frames
    addBuiltInFrames(out);
    // Sizing
    out.append(new AspectRatioMod());
    out.append(new OutputSizeExactMod());
    out.append(new OutputSizeMod(OutputSizeMod::kNewestVersion));
}
