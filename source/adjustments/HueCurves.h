#pragma once
// Hue curves: tiles of "Advanced Color" that change each pixel by an amount
// drawn as a curve over hue.
//
// The "Hue Region" curve runs around the hue circle (it wraps: its two ends
// are the same hue), starting at the curve's hue offset o: x = 0 and 1 stand
// for hue o, x = 0.5 for o + 180 (with the usual 180, cyan at the ends and
// red in the middle). Height 0.5 means no change; a curve whose points all
// lie at 0.5 leaves the image untouched. A pixel reads the curve at its own
// HSV hue. "Amount" 0..1 (shown 0..100) is a strength, times the selector
// weight. The bodies read and write the first three samples (Saturation
// Curve version 1 and the exposure step of Hue Brightness version 3 treat
// every sample); an image of fewer than three channels is left as it is.
//
// HueShiftMod ("Hue Shift"): turns the hue, keeping saturation and value.
//   version 2 (new tiles): by 180 w t|t| degrees, t = 2y - 1;
//   any other version: by (360 y - 180) w degrees.
//
// HueBrightnessMod ("Hue Brightness", shown as "Hue Exposure" from version 3
// on, "Hue Brightness" below):
//   version 3 (new tiles): the shared exposure curve with
//     1 + (1 - (1 - S)^4) t|t| (1 - (1 - V)^4) w, faded out toward grey and
//     black;
//   version 2: the HSL lightness moved toward 0 or 1, weighted by smooth
//     ramps of lightness and saturation;
//   any other version: (2y - 1) (1 - |2V - 1|) S w 255 added to the three
//     samples, clamped to 0..255.
//
// SaturationCurveMod ("Saturation Curve", shown as "Hue Saturation"): moves
// the samples away from or toward a brightness L by the factor
// k = (1.99999 y - 1) w + 1 (1/(2 - k) above 1; version 3 first flattens the
// height around 0.5 with a power of 1.5):
//   versions 3 (new tiles) and 2: L = sqrt(0.299 R^2 + 0.587 G^2 + 0.114 B^2),
//     the three samples become (c - L) k + L, clamped to 0..255;
//   any other version: L the luminance, every sample c k + (1 - k) L.

#include "framework/ImageMod.h"

class HueShiftMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    // Sets the start curve's wrap flag (rebuilding it when that changes it).
    explicit HueShiftMod(Curve& start);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

class HueBrightnessMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 3;

    explicit HueBrightnessMod(Curve& start);

    // Stores the version; the display name is "Hue Brightness" below 3
    // (signed comparison) and "Hue Exposure" otherwise.
    void setVersion(uint32_t newVersion) override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

class SaturationCurveMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 3;

    explicit SaturationCurveMod(Curve& start);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

// The flat start curve of the hue tiles: five points at height 0.5, hue
// offset 180 (not yet wrapped; the constructors set the flag).
Curve flatHueRegionCurve();
