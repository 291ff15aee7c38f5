#pragma once
// Colorcross ("Colorcross Camera"): cross-processed colour. Red, green and
// blue each go through a tone curve of their own whose three inner points
// Variation moves along cosines; Amount blends the result with the
// picture: s' = s (1 - a) + 255 a curve_c(s). The fourth channel is kept.
// One recipe whatever the version (the constructor stores 2). Mono, Silver,
// Helga, 1974 and 1962 run a local Colorcross as a building block.

#include <memory>

#include "cameras/CameraMod.h"
#include "framework/Curve.h"

class ColorcrossCamera : public CameraMod {
public:
    ColorcrossCamera(float amount, float variation);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The kernels other styles call; they take no context.
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;

    // The three channel curves for a Variation value (exposed for tests).
    struct Curves {
        Curve channel[3];
        Curves(float a, float v, uint32_t version);
    };
    // The phase t of the curves' cosines for a Variation value.
    static double phaseFor(float variation);

private:
    template <class Sample>
    void run(ImageBuffer& image) const;
};
