#pragma once
// Split Tone ("Split Tone", panel tile of "Advanced Color"): a two-toned
// image. Each pixel's target is a mix of the "Dark Color" and the "Light
// Color" by its luminance x = L/255 (the dark colour at black, the light one
// at white, linear between), and the pixel is blended toward it by
// "Amount" (0..1, shown 0..100; 0 leaves the image) times the selector
// weight. Only the first min(channels, 3) samples change (an image of one or
// two channels is toned from its first sample); no clamp is needed, as each
// result lies between the sample and its target. A colour var of another
// kind (a hand-edited file) leaves the image unchanged. One version.
//
// Camera styles build the tile on the stack and call apply8 / applyFloat.

#include "framework/ImageMod.h"

class SplitToneMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    SplitToneMod(const float dark[4], const float light[4], float amount);

    // The start colours of the prototype: a deep blue and a warm yellow.
    static const float kStartDark[4];
    static const float kStartLight[4];

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};
