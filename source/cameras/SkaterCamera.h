#pragma once
// Skater ("Skater Camera"): skinned knees and noisy photos. Exposure, a
// full dark vignette, shadow-lifting channel curves, saturation and heavy
// grain.
//   version 3 (new tiles): first softens with a blur whose size moves with
//     Variation, and moves the grain pattern with Variation; the margin
//     covers that blur (0 in every other version).
//   version 2: the older chain with the stronger grain of the fourth
//     grain method; any other version: weaker grain, first method.

#include "cameras/CameraMod.h"

class SkaterCamera : public CameraMod {
public:
    explicit SkaterCamera(uint32_t styleVersion);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // Version 3's grain offset for a Variation value: (0.7 v + 230) 100,
    // wrapped below 10000.
    static float grainOffset(float variation);

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
