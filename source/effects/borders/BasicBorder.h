#pragma once
// BasicBorder: an even band of one colour around the photo, its width a
// percentage of the photo's shorter side, with optionally rounded inner
// corners that have a soft edge two pixels wide.
//
// Two variants share the class: rounded ("Custom Rounded", shown as "Basic
// Border", with the "Rounding" control) and straight ("Custom Straight",
// "Rounding" hidden). Vars: "Thickness" (0..100; t = Thickness / 100 of the
// photo's shorter side, at least one pixel when positive), "Rounding"
// (0..100; the corner radius is Rounding / 200 of the inner area's shorter
// side) and "Color". The paint rounds by "Rounding" whatever the variant, so
// a straight border read with a positive "Rounding" rounds.
//
// The band's width p is computed once, from the photo, for the output size;
// the placement draws the photo inside that same p (scaled with the fit in
// a reduced render) and records it as the content insets, and the paint
// fills everything outside the recorded insets. Corner squares are clipped
// to the band being painted.

#include "render/BorderMod.h"

class BasicBorder : public BorderMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    // color: four floats, red, green, blue, alpha.
    BasicBorder(bool rounded, const float* color);

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

    // t: "Thickness" x 0.01, computed in double and stored as float.
    float thicknessFraction() const;
    // The band's width in pixels for a photo of w x h pixels:
    // (int)(shorter whole side x t), at least 1 when t > 0.
    int32_t bandWidthFor(float w, float h) const;

    uint8_t rounded = 0;

private:
    template <bool kEightBit>
    void place(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
               float height, float angle);
    template <class Sample>
    void paint(ImageBuffer& image, const RenderArgs* args);
};

// The weight of the colour at distance d from a rounded corner's centre of
// radius R: 0 (untouched) for d = 0 or d < R - 2; otherwise alpha^3 with
// alpha 1 outside the circle and a linear ramp over the two pixels inside
// its edge; weights of 0.1 or less count as 0. d is the square root of
// d2 = dx^2 + dy^2 by 1/sqrtf and one written Newton step.
float roundedCornerWeight(float d2, float radius);
