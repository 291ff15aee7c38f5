#pragma once
// Channel curve tiles: each sample goes through a curve of its own value,
// X' = X (1 - p) + 255 p T(X) with T the curve and p the strength of the
// pass (no clamp: with p in 0..1 the result stays inside 0..255). A curve
// that is exactly the straight two-point curve (0,0)-(1,1) is skipped. None
// of the three is versioned. A curve var that holds another kind (a
// hand-edited file) leaves the image unchanged.
//
// RgbCurveMod ("RGB Curve", hidden building block that camera styles run):
// one curve for every sample of the pixel, the fourth included, at strength
// Amount (0..1, shown 0..100; 0 leaves the image). Ignores selectors.
//
// RgbCurvesMod ("RGB Curves", shown as "R,G,B Curves", panel tile): per
// channel red, green and blue its own curve, then the common "RGB" curve
// (hidden, as is the Amount, which camera styles set). The fourth sample is
// never touched. The strength is Amount without a selector; with one it is
// the selector's weight alone (Amount is not multiplied in).
//
// ComponentCurveMod ("Component Curve", panel tile): one curve applied to
// the channel or pair chosen by "Components" (Red, Green, Blue, Red+Green,
// Green+Blue, Blue+Red; any later index touches nothing, a var of another
// kind means Red). Strength Amount, times the selector weight.

#include "framework/ImageMod.h"

class RgbCurveMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    RgbCurveMod(const Curve& curve, float amount);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; the context is ignored and may be null.
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

class RgbCurvesMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    RgbCurvesMod(const Curve& red, const Curve& green, const Curve& blue, const Curve& rgb, float amount);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

class ComponentCurveMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    explicit ComponentCurveMod(const Curve& curve);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};
