#pragma once
// FillBorder ("Fill Out", shown as "Fill Border"): bars of one colour on two
// opposite sides of the photo so that the result has the chosen aspect
// ratio; the photo is never cut or stretched.
//
// Vars: "Aspect Ratio" (width / height of the result, 0.001..10) and
// "Color" (red, green, blue, alpha on the 0..255 scale). The photo is
// centred: both bars of a pair are equal, an odd leftover pixel goes to the
// photo's area. The placement records the bars as the picture's content
// insets, and the paint fills everything outside them.

#include "render/BorderMod.h"

class FillBorder : public BorderMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    // color: four floats, red, green, blue, alpha.
    explicit FillBorder(const float* color);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    float borderAspectFor(float aspect) override;
    void contentSizeFor(const float* margins, float* outWidth, float* outHeight, float sourceWidth,
                        float sourceHeight, float angle) override;
    void fitImageFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                       float height, float angle) override;
    void fitImage8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                   float height, float angle) override;

private:
    float aspectRatio() const;
    template <bool kEightBit>
    void place(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
               float height, float angle);
};
