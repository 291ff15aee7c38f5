#pragma once
// Value noise and the Noise tile.
//
// valueNoise2d(x, y): the program's smooth pseudo-random texture, a 2-D
// value noise on the integer lattice with a cosine ease between lattice
// points, from -1 to 1. No seed, no state beyond one shared table of 1000
// cosines (built once, thread-safely, on first use): the same coordinates
// give the same value in every band and on every run. The lattice hash is
// 32-bit arithmetic with wrap-around; coordinates beyond the 32-bit range
// (or not finite) take the nearest lattice end instead of an undefined
// conversion.
//
// NoiseMod ("Noise", shown as "Grain"): a hidden building block (in the
// prototype list so that filter files load, in no panel section) that adds
// film grain made of a few octaves of value noise, scaled by the pixel's
// brightness. Vars: "Amount" 0..100 (0 leaves the image untouched),
// "Scale" 0..100 (grain size; 100 gives one constant noise value) and
// "Offset" (moves the pattern sideways; not limited). The version selects
// the grain method: 2 the second (clamped noise, weight 0 at black and
// white), 3 and 4 the third (noise bent by a power of 1.35, weight
// sqrt(0.3) at black and white), every other version the first (a power
// curve per sample, stronger in the shadows). New tiles are version 4.
// The grain follows the pixel's whole-picture position, so bands equal the
// whole image. Selectors are not read. Camera styles build it on the stack
// and call apply8 / applyFloat.

#include <cstdint>

#include "framework/ImageMod.h"

// The noise value at (x, y), -1 .. 1.
float valueNoise2d(float x, float y);

// One octave over a row of positions: sums[i] becomes
// sums[i] + weight valueNoise2d(factor xs[i], factor y), or, for the first
// octave, weight valueNoise2d(...) alone (a weight and factor of 1 give the
// noise itself), with the values of the calls one by one. The grain tiles
// run their octaves row by row through it.
void addNoiseOctaveRow(const float* xs, float y, float factor, float weight, bool first, int32_t count, float* sums);

class NoiseMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 4;

    NoiseMod(float amount, float scale, float offset);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The grain bodies, in place; args may be null (the image is the whole
    // picture, frame 0).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

// The strength of the second and third grain methods: (Amount / 100)^2 255.
float noiseAmplitude(float amount);
