#pragma once
// HueMask ("Hue Mask", tool-panel section "Masks"): a selector that limits
// the tile after it to the hues of the colour bands the user ticks.
//
// Var "Hue": a multichoice over seven swatches (red, orange, yellow, green,
// cyan, blue, magenta as "R G B" texts), red alone selected at first,
// control code 13. Each band is a hue range in degrees {riseStart,
// fullStart, fullEnd, fallEnd}: weight 0 outside, 1 on the flat top, a
// quadratic ease between. The weights of the selected bands are summed (a
// hue at or above 290 degrees is also tested 360 degrees lower, so red and
// orange reach across 0) and capped at 1, then faded out for pixels of
// saturation or value below 0.5 by 1 - (1 - 2x)^2. One version.
//
// The weight operations only read the tile; they are called from every
// band of a render at once. A selected index outside the seven bands (a
// hand-edited file) selects nothing, and a NaN sample weighs 0.

#include "foundation/GrowArray.h"
#include "framework/SelectorMod.h"

struct HueBand {
    float riseStart = 0.0f;
    float fullStart = 10.0f;
    float fullEnd = 350.0f;
    float fallEnd = 360.0f;
};

class HueMask : public SelectorMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    GrowArray<HueBand> bands;
    float wrapThreshold = 290.0f;  // degrees: hues from here up are also tested 360 lower

    HueMask();
    ImageMod* clone() const override;
    float maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;
    float maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;

    // The weight of band `index` at a hue in degrees (0 for an index outside
    // the list and for NaN).
    static float bandWeight(const GrowArray<HueBand>& bands, int32_t index, float hue);

private:
    template <class Sample>
    float weightAt(const ImageBuffer& image, int32_t x, int32_t y) const;
};
