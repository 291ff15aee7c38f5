#pragma once
// Channel mixers: tiles that compute output samples as weighted sums of a
// pixel's red, green and blue. One version each; a stored version of any
// number renders with the same arithmetic.
//
// GreyscaleChannelMixerMod ("Greyscale Channel Mixer", shown as "Greyscale
// Mixer"; a hidden building block): grey s = r Red% + g Green% + b Blue%
// (weights -200..200 percent), clamped to 0..255 (NaN gives 0), written to
// the first three samples. No identity value: weights 0 give black. Honours
// selectors by blending the finished grey: (s - c) w + c. A fourth sample
// is never touched.
//
// FilteredBwMod ("Filtered B+W", "Advanced Color"): greyscale "through a
// colour filter". It scales the saturation by "Amount" (0..100, as a
// version-2 Saturation of Amount / 100), then runs a Greyscale Mixer whose
// weights are the pure colour of "Hue" (0..360, shown as "Filter Hue")
// normalised to 100 percent: colours near the hue come out light, those
// opposite it dark. It always produces a grey image; at Amount 0 every hue
// gives the same grey. Both steps take the tile's context (selector).
//
// ColorMixerMod ("Color Mixer", "Advanced Color"): a 3 x 3 matrix in
// percent (-200..200): output channel X = r RedX + g GreenX + b BlueX,
// clamped to 0..255, blended by the selector weight as (out - c) w + c.
// The nine matrix entries are hidden vars; the visible "Red", "Green",
// "Blue" sliders show the row of the output channel chosen in "Output
// Channel", and varChanged keeps the two in step: a slider edit writes the
// selected row, a change of the selection or of a matrix entry shows the
// selected row on the sliders. The identity matrix leaves the image as it is.
//
// Every body leaves an image of fewer than three channels unchanged.

#include "framework/ImageMod.h"

class GreyscaleChannelMixerMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    // Start weights in percent; the prototype and clones use 30, 59, 11.
    GreyscaleChannelMixerMod(float red, float green, float blue);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;

    // Positions of the weight vars in the var array.
    int32_t redIndex = -1;
    int32_t greenIndex = -1;
    int32_t blueIndex = -1;
};

class FilteredBwMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    FilteredBwMod();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    // "Filtered\n B+W": the tray tile shows the name on two lines.
    GrowString tileLabel() const override;

    // The mixer weights in percent (adding up to 100) that a filter hue in
    // degrees gives; the hue is first wrapped into 0..360.
    static void hueWeights(float hue, float weights[3]);
};

class ColorMixerMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    ColorMixerMod();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    void varChanged(int32_t index) override;

    // Positions in the var array: the visible sliders, the output channel
    // choice and the matrix entries row by row (RedR, GreenR, BlueR, RedG,
    // ..., BlueB).
    int32_t redIndex = -1;
    int32_t greenIndex = -1;
    int32_t blueIndex = -1;
    int32_t outputIndex = -1;
    int32_t matrixIndex[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};

private:
    void showRowOnSliders(int32_t row);
    void storeSlidersInRow(int32_t row);
};
