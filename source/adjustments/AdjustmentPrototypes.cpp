// Prototypes of the colour and tone adjustment tiles, one per class, each
// with the start values of its class.

#include "adjustments/GammaExposure.h"
#include "adjustments/BrightnessContrast.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "adjustments/MultiTool.h"
#include "adjustments/WhiteBalanceTint.h"
#include "adjustments/AdvancedContrast.h"
#include "adjustments/ExposureCurve.h"
#include "adjustments/HueCurves.h"
#include "adjustments/ShadowsHighlights.h"
#include "adjustments/Dynamics.h"
#include "adjustments/ChannelCurves.h"
#include "adjustments/ColoringWheels.h"
#include "adjustments/DyeColorFilter.h"
#include "adjustments/LabCurves.h"
#include "adjustments/SplitTone.h"
#include "adjustments/ChannelMixers.h"
#include "adjustments/SelectiveSaturation.h"
#include "adjustments/ColorCorrection.h"
#include "adjustments/RgbSwap.h"
#include "adjustments/ColorBalance.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addAdjustmentPrototypes(GrowArray<ImageMod*>& out) {
    // Gamma and Exposure (Gamma is a hidden building block)
    out.append(new GammaMod(1.0f));
    out.append(new ExposureMod(1.0f));

    // Contrast, Saturation and Contrast Saturation (the last one hidden)
    out.append(new ContrastMod(ContrastMod::kNewestVersion, 1.0f, 90.0f));
    out.append(new SaturationMod(SaturationMod::kNewestVersion, 1.0f));
    out.append(new ContrastSaturationMod());
    // Curves (hidden building block) and Tone Curve
    out.append(new CurvesMod(Curve(0), 1.0f));
    out.append(new ToneCurveMod(Curve(0)));
    // Luminance Contrast (hidden building block) and Brightness
    out.append(new LuminanceContrastMod(1.0f, 90.0f));
    out.append(new BrightnessMod(1.0f));
    // White Balance, Tint and Colorize (hidden; red, which no section shows)
    {
        const float red[4] = {255.0f, 0.0f, 0.0f, 255.0f};
        out.append(new WhiteBalanceMod(red));
        out.append(new TintMod(red));
        out.append(new ColorizeMod(red));
    }
    // Multi Tool and Temperature
    out.append(new MultiToolMod());
    out.append(new ColorizeTemperatureMod());
    // Colorize Curve
    {
        const float colour[4] = {127.0f, 63.0f, 0.0f, 255.0f};
        out.append(new ColorizeCurveMod(ColorizeCurveMod::startRegion(), colour, 0, 1.0f));
    }
    // Shadows and Highlights (hidden building blocks), Shadows/Highlights,
    // Exposure Curve, Advanced Contrast
    out.append(new ShadowsMod(1.0f));
    out.append(new HighlightsMod());
    out.append(new ShadowsHighlightsMod());
    out.append(new ExposureCurveMod(flatExposureCurve()));
    out.append(new AdvancedContrastMod());
    // Hue curves: Hue Shift, Hue Brightness, Saturation Curve
    {
        Curve hueRegion = flatHueRegionCurve();
        out.append(new HueShiftMod(hueRegion));
        out.append(new HueBrightnessMod(hueRegion));
        out.append(new SaturationCurveMod(hueRegion));
    }
    // Dynamics
    out.append(new DynamicsMod());
    // Dye and Color Filter (hidden building blocks)
    {
        const float red[4] = {255.0f, 0.0f, 0.0f, 255.0f};
        out.append(new DyeMod(DyeMod::kNewestVersion, red, 0.0f));
        const float filter[4] = {255.0f, 127.0f, 127.0f, 255.0f};
        out.append(new ColorFilterMod(filter, 0.0f));
    }
    // Channel curves: RGB Curve (hidden building block), RGB Curves,
    // Component Curve
    out.append(new RgbCurveMod(Curve(0), 1.0f));
    out.append(new RgbCurvesMod(Curve(0), Curve(0), Curve(0), Curve(0), 1.0f));
    out.append(new ComponentCurveMod(Curve(0)));
    // Coloring and Color Wheels
    {
        const float colour[4] = {127.0f, 63.0f, 0.0f, 255.0f};
        out.append(new ColorizeBasicMod(colour));
        const float off[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        out.append(new ColorWheelsMod(off, off, off, off));
    }
    // Split Tone
    out.append(new SplitToneMod(SplitToneMod::kStartDark, SplitToneMod::kStartLight, 1.0f));
    // Lab Curves (hidden)
    out.append(new LabCurvesMod(Curve(0), Curve(0), Curve(0)));
    // Channel mixers and colour shifts: Greyscale Mixer, Selective
    // Saturation, Color Correction and RGB Swap (hidden building blocks),
    // Filtered B+W, Color Balance, Color Mixer
    out.append(new GreyscaleChannelMixerMod(30.0f, 59.0f, 11.0f));
    out.append(new FilteredBwMod());
    {
        const float target[4] = {229.0f, 182.0f, 171.0f, 255.0f};
        out.append(new SelectiveSaturationMod(target));
        const float black[4] = {0.0f, 0.0f, 0.0f, 255.0f};
        out.append(new ColorCorrectionMod(black, black, black, 1.0f));
        const float red[4] = {255.0f, 0.0f, 0.0f, 255.0f};
        const float green[4] = {0.0f, 255.0f, 0.0f, 255.0f};
        const float blue[4] = {0.0f, 0.0f, 255.0f, 255.0f};
        out.append(new RgbSwapMod(red, green, blue));
    }
    out.append(new ColorBalanceMod());
    out.append(new ColorMixerMod());
}
