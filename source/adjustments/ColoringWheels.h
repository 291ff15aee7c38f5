#pragma once
// Coloring and Color Wheels: panel tiles of "Advanced Color" that keep
// Colorize Curve tiles as members (never in a chain) and drive them from
// their own, simpler vars. The members are kept in step with the vars
// whenever the vars change (construction, varChanged, copyFrom), so that
// processing, which the pipeline runs on several bands at once, only reads.
//
// ColorizeBasicMod ("Colorize Basic", shown as "Coloring"): one member whose
// luminance region is flat at 1, so every pixel gets the strength "Amount"
// (0..1; 0 leaves the image) times the selector weight, and the "Color" is
// applied evenly by the chosen "Color Method" (the seven methods of
// ColorMethods.h, never toward the complement). The member is version 2: its
// "Dye" keeps detail. One version. A "Color" var of another kind (a
// hand-edited file) leaves the image unchanged.
//
// ColorWheelsMod ("Color Wheels"): four members, for all tones, shadows,
// midtones and highlights (luminance regions that fade to neutral between
// 0.25 and 0.375 and between 0.625 and 0.75), run in that order, each on
// the image the ones before it coloured. A wheel's colour gives its member's
// colour (r, g, b) and, through its fourth component k (0..255), the
// member's Amount (k/255)^1.7; k = 0 switches the wheel off. One "Color
// Method" for all four. One version. A wheel var of another kind switches
// its member off.

#include "adjustments/ColorizeCurve.h"
#include "framework/ImageMod.h"

class ColorizeBasicMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    explicit ColorizeBasicMod(const float colour[4]);

    void copyFrom(const ImageMod& other) override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    void varChanged(int32_t index) override;

    // The member as the next render runs it.
    const ColorizeCurveMod& member() const { return curveTile; }

private:
    // Brings the member's Color, Amount and Color Method in step with the
    // tile's vars.
    void syncMember();

    ColorizeCurveMod curveTile;
};

class ColorWheelsMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    ColorWheelsMod(const float shadows[4], const float midtones[4], const float highlights[4], const float all[4]);

    void copyFrom(const ImageMod& other) override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    void varChanged(int32_t index) override;

    // The member of wheel var i: 0 all, 1 shadows, 2 midtones, 3 highlights.
    const ColorizeCurveMod& member(int32_t wheel) const;

    // The luminance regions of the four members, in member order.
    static const char* const kRegions[4];

private:
    ColorizeCurveMod* memberAt(int32_t wheel);
    void syncWheel(int32_t wheel);
    void syncMethod();

    // Declared in processing order; destroyed in reverse (highlights first).
    ColorizeCurveMod allTile;
    ColorizeCurveMod shadowsTile;
    ColorizeCurveMod midtonesTile;
    ColorizeCurveMod highlightsTile;
};
