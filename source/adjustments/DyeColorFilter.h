#pragma once
// Dye and Color Filter: hidden building blocks (in the prototype list, in no
// panel section) that recolour the whole image with one "Color", blended by
// "Amount" (0..1, shown 0..100; 0 leaves the image unchanged). Both ignore
// selectors: the whole image is processed with the weight a. Camera styles
// build them on the stack and call apply8 / applyFloat.
//
// DyeMod ("Dye"): every pixel takes the colour's HSV hue and saturation and
// is blended into its first three samples with the weight a. Version 2 (new
// tiles) uses the detail-preserving dye (the value is the pixel's maximum
// channel times the colour's value; images of fewer than three channels are
// left unchanged); every other version, as camera styles build it, the
// luminance dye (the value follows the pixel's luminance and the colour
// fades toward white). The dye operations are those of ColorMethods.h.
//
// ColorFilterMod ("Color Filter"): a photographic filter. With the colour's
// entries e = (r, g, b, 255) and d_k = (e_k - 127.5) / 127.5 a: a component
// below the middle darkens its channel in proportion to the sample,
// X + d_k X; one above brightens it in proportion to its distance from 255,
// X + d_k (255 - X); 127.5 leaves it. A fourth sample goes toward 255;
// samples past the fourth are left alone. Results are clamped to 0..255.
// One version.
//
// A "Color" var that holds another kind (a hand-edited file) leaves the
// image unchanged.

#include "framework/ImageMod.h"

class DyeMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    DyeMod(uint32_t version, const float colour[4], float amount);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; the context is ignored and may be null.
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

class ColorFilterMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    ColorFilterMod(const float colour[4], float amount);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; the context is ignored and may be null.
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};
