#pragma once
// HsvMask ("HSV Mask", section "Masks"): a selector that weighs each pixel
// by three curves, over its hue, saturation and value.
//
// Vars: "Hue Region" (hue curve, control code 11, wrapping; its hue offset
// is the hue at the curve's x = 0, 180 by default so that red sits in the
// middle), "Saturation Range" (code 10) and "Value Region" (code 9). The
// weight is sat(S) x hue(H) x value(V), each read from its curve's table
// with the NaN-safe unit lookup. A var that holds no curve (a hand-edited
// file) does not restrict. No fade of grey or dark pixels: the curves
// decide. One version.
//
// LuminanceMask ("Luminance Mask", section "Masks"): a selector that weighs
// each pixel by one curve over its luminance 0.299 R + 0.587 G + 0.114 B
// (the first sample for one- and two-channel images). Vars: "Curve" (code
// 9, identity at first) and "Presets", a list whose entries 1..9 replace
// the curve's points with a shadows, midtones or highlights range and then
// return the list to "Load Preset...". One version.
//
// The weight operations only read the tile and are called from every band
// of a render at once.

#include <cstdint>

#include "framework/Curve.h"
#include "framework/SelectorMod.h"

class HsvMask : public SelectorMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    HsvMask(Curve& hueCurve, Curve& saturationCurve, Curve& valueCurve);
    // A mask with the default curves, as the tool panel shows it.
    static HsvMask* makeDefault();

    ImageMod* clone() const override;
    void varChanged(int32_t index) override;
    float maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;
    float maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;

private:
    template <class Sample>
    float weightAt(const ImageBuffer& image, int32_t x, int32_t y) const;
};

class LuminanceMask : public SelectorMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    static constexpr int32_t kPresetCount = 9;
    int32_t presetChoiceIndex[kPresetCount] = {};  // option index of each preset in "Presets"

    explicit LuminanceMask(Curve& curve);
    static LuminanceMask* makeDefault();

    ImageMod* clone() const override;
    // Index 1 ("Presets"): loads the chosen preset's points into "Curve" and
    // selects "Load Preset..." again.
    void varChanged(int32_t index) override;
    float maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;
    float maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;

private:
    template <class Sample>
    float weightAt(const ImageBuffer& image, int32_t x, int32_t y) const;
};
