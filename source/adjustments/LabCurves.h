#pragma once
// Lab Curves ("Lab Curves", shown as "L,a,b Curves"; in the prototype list,
// in no panel section): converts each pixel to CIE L*a*b* (the samples taken
// as linear RGB with the D65 white, no gamma removed), passes L*, a* and b*
// through the curves "L", "a" and "b", and converts back, clamping to
// 0..255.
//
// The L curve maps L*/100 to L*/100. The a and b curves map a*/128 + 0.5 to
// the new value in the same form, so an active a or b curve limits the
// channel to -64..+64 even where it is the diagonal. A curve that is exactly
// the straight two-point curve (0,0)-(1,1) is inactive and leaves its
// channel as the conversion gives it; the conversion itself runs for every
// pixel, so the identity curves still round the image through Lab.
//
// "Amount" (0..1, shown 0..100) only switches: 0 leaves the image, anything
// else applies the curves in full. Selectors have no effect. A fourth sample
// is never changed; images of fewer than three channels are left unchanged,
// and so is every image when a curve var holds another kind (a hand-edited
// file). One version.

#include "framework/ImageMod.h"

class LabCurvesMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    LabCurvesMod(const Curve& l, const Curve& a, const Curve& b);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};
