#pragma once
// Wedding ("Wedding Camera"): bright, clean and slightly contrasty with a
// soft dark vignette. One recipe for every version.

#include "cameras/CameraMod.h"

class WeddingCamera : public CameraMod {
public:
    WeddingCamera();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
