#pragma once
// Exposure Curve: changes the exposure of each pixel by an amount read from
// a curve over the pixel's luminance.
//
// ExposureCurveMod ("Exposure Curve", panel tile of "Advanced Light"): the
// user draws a curve whose height 0.5 means no change, above 0.5 brightens
// and below darkens, from black (left) to white (right). "Amount" 0..1
// (shown 0..100) is a strength: 0 changes nothing; a selector weight scales
// it. A pixel of luminance L gets g = 1 - s + 2 curve(L) s, then:
//   version 2 (every new tile, shown as "Gamma Curve"): a plain power curve
//     on every sample (the fourth included): above 1 from the white end,
//     v' = 255 - 255 ((255 - v)/255)^(1/(2 - g)); below 1,
//     v' = 255 (v/255)^(1/g). Float samples are floored at 0.05 first when
//     lightening and capped at 254.95 when darkening; bytes are kept at 0
//     and capped at 254.
//   any other version (shown as "Exposure Curve"): the shared exposure
//     curve with g, which also pulls darkened pixels toward grey.
// The flat two-point curve (0,0.5)-(1,0.5) changes nothing.

#include "framework/ImageMod.h"

class ExposureCurveMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    explicit ExposureCurveMod(const Curve& initial);

    // Stores the version and takes that version's display name and
    // description.
    void setVersion(uint32_t newVersion) override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

// The flat curve "0 .5 1 .5" that new Exposure Curve tiles start with.
Curve flatExposureCurve();
