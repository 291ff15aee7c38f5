#pragma once
// Mono ("Mono Camera"): black and white through a colour filter.
//   version 2 (new tiles): a filtered grey of its own. Variation picks the
//     red, green and blue filter weights along three cosines; the weighted
//     luminance, normalised so the filter never darkens overall, replaces
//     the colour in proportion to Amount.
//   any other version: Colorcross curves, then Saturation 1 - a (all colour
//     gone at full Amount), then a Luminance Contrast that Variation moves.
// Silver and 1962 run a local Mono (version 2, Amount 1, Variation 0).

#include "cameras/CameraRecipe.h"

class MonoCamera : public CameraMod {
public:
    MonoCamera();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The kernels other styles call; the context reaches the chain's
    // Saturation and Luminance Contrast steps.
    void apply8(ImageBuffer& image, const RenderArgs* args) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args) const;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;

private:
    template <class Sample>
    void run(ImageBuffer& image, const RenderArgs* args) const;
};
