#pragma once
// Curves and Tone Curve: strength tiles (unchanged at Amount 0) that reshape
// brightness with a user curve.
//
// CurvesMod ("Curves", shown as "Luminance Curve", a hidden building block
// that camera styles run with fixed curves): each pixel's luminance L goes
// through the curve, the new luminance is L (1 - a) + a 255 curve(L), and the
// samples (the fourth included) are scaled toward 0 or 255 so the pixel takes
// it while keeping its hue. Amount 0..1 (shown 0..100). The straight
// two-point curve (0,0)-(1,1) changes nothing; selectors have no effect.
// One version.
//
// ToneCurveMod ("Tone Curve", panel tile): a curve with a choice of what it
// acts on ("RGB" every sample, "Luminance", HSV "Value", HSL "Lightness").
// Its pixel work is the shared tone-curve body (pixels/ToneCurves.h),
// which the Shadows/Highlights tile also runs on the Tone Curve it owns.
// Amount 0..1 (shown 0..100) scales the strength, times the selector weight.
// One version.

#include "framework/ImageMod.h"

class CurvesMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    CurvesMod(const Curve& curve, float amount);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; the context is ignored and may be null.
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

class ToneCurveMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    explicit ToneCurveMod(const Curve& curve);

    ImageMod* clone() const override;
    // Both run the shared tone-curve body on this tile's vars.
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

// Whether the curve is the straight two-point curve (0,0)-(1,1), which the
// curve tiles skip; a curve with more points on the diagonal does not count.
bool isStraightCurve(const Curve& curve);
