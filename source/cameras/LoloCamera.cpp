#include "cameras/LoloCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"

struct LoloCamera::Recipe {
    std::unique_ptr<LuminanceContrastMod> contrast;
    std::unique_ptr<SaturationMod> saturation;
    std::unique_ptr<ColorizeCurveMod> colour;
    std::unique_ptr<ContrastMod> finish;

    Recipe(float a, float v, uint32_t) {
        const float w = v * 3.0f + 522.0f;
        const double W = static_cast<double>(w);
        contrast = std::make_unique<LuminanceContrastMod>(
            0.43956005573272705f * a + 1.0f,
            static_cast<float>(std::cos(0.044673449142009804 * W) * 60.0) + 84.81590270996094f);
        saturation = std::make_unique<SaturationMod>(
            1u, (static_cast<float>(std::cos(0.033740705144660564 * W) * 0.10000000149011612) + 0.5759999752044678f) * a +
                    1.0f);
        const float tint[4] = {255.0f, 232.9259033203125f, 171.11842346191406f, 255.0f};
        colour = std::make_unique<ColorizeCurveMod>(
            camera::curveFrom("0.000000 0.500000 0.457143 0.702439 1.000000 0.500000"), tint, 0u,
            (static_cast<float>(std::cos(0.06000441866188032 * W) * 0.5 - 0.5) + 1.0f) * a);
        finish = std::make_unique<ContrastMod>(
            2u,
            (static_cast<float>(std::cos(0.08105308810215502 * W) * 0.1810000091791153 - 0.13099999725818634) +
             0.312000036239624f) * a + 1.0f,
            32.414798736572266f);
    }

    template <class Step>
    void steps(Step&& step) const {
        step(*contrast, camera::kWithContext);
        step(*saturation, camera::kWithContext);
        step(*colour, camera::kWithContext);
        step(*finish, camera::kWithContext);
    }
};

LoloCamera::LoloCamera() : CameraMod("Lolo", "Colorful, vibrant photos shot from the hip.") {}

ImageMod* LoloCamera::clone() const { return new LoloCamera(); }


void LoloCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void LoloCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void LoloCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
