#pragma once
// Grain: film grain of the photographic panel section, and its older engine.
//
// GrainMod ("Grain"): vars "Amount", "Scale" (grain size, measured against
// the full-size picture, so a reduced preview shows the grain of the
// full-size render) and "Uniformity" (how alike the grains' strengths are),
// each 0..100. Three stored versions choose the engine:
// - version 1: the older engine below (GrainLegacyMod built from the three
//   values), one pass on bands, selectors ignored;
// - versions 2 and 3: a texture engine in two passes. Pass 0 runs once on
//   the whole image and builds a square, wrapping, one-channel texture of
//   soft grains about 0.4 of the longer side (kept on the tile and rebuilt
//   only when its parameters change); pass 1 runs on bands and adds the
//   texture, read at whole-picture positions, weighted by the pixel's
//   luminance through a tone curve (version 2 fades the grain out over the
//   brightest twentieth, version 3 over the brightest tenth), then softens
//   the result with a small box blur and blends it by the selector. A tile
//   run outside the pipeline's passes (pass -1) does both at once.
// New tiles are version 3.
//
// Random values come from a generator owned by the texture, seeded from the
// texture's parameters: a render repeats run after run, and a clone (or a
// second tile with the same values) builds the same grain. A texture side
// below one pixel (a picture far smaller than the grain) means no texture:
// only the clamp to 0..255 acts.
//
// GrainLegacyMod ("Grain Legacy"): no prototype; it exists inside version 1
// Grain tiles. It stamps one soft disc per cell of a grid whose pitch is the
// grain size, each jittered, coloured from the unprocessed pixel under it
// brightened or darkened by a random strength (weaker in deep shadows and
// bright highlights), and alpha-blended through one of three stamps. Grains
// near a band's edge take their values from a fixed table indexed by the
// grain's whole-picture position (so overlapping bands paint the same
// grains there); grains inside the band draw from a generator of the band
// seeded from the tile's values and the grain's cell of the whole-picture
// grid, so they are the same whichever band paints them. Which grains count
// as near an edge depends on where bands start, so this engine alone gives
// pixels that depend on how the picture is cut into bands (and so on the
// thread count); a render with the same bands repeats exactly.

#include <cstdint>
#include <memory>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"

class Curve;

// The vars of both grain tiles, in the order their constructors add them.
enum GrainVar : int32_t { kGrainAmount = 0, kGrainScale = 1, kGrainUniformity = 2 };

class GrainMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 3;

    GrainMod();
    ~GrainMod() override;

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    bool canTile(int32_t pass) const override;
    int32_t passCount() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // Builds the grain texture for a source size N, grain size g and amount
    // a, or keeps the one held when nothing changed.
    void buildGrainTexture(int32_t sourceSize, float grainSize, float amount);
    // The texture held (null before the first build or when it is empty).
    const ImageBuffer* texture() const { return grainTexture.get(); }

private:
    template <class Sample>
    void processBody(ImageBuffer& image, const RenderArgs* args);

    std::unique_ptr<ImageBuffer> grainTexture;
    float cachedGrainSize = -1.0f;
    float cachedHalfAmount = -1.0f;
    float cachedSourceSize = -1.0f;
    float cachedSpread = -1.0f;
};

class GrainLegacyMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    GrainLegacyMod(float amount, float scale, float uniformity);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies, in place; args may be null (the image is the whole
    // picture). Selectors are not read.
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

// The rows of context the legacy engine needs on a picture of that size and
// pixel scale for a "Scale" value: twice the grain size, plus one.
int32_t legacyGrainMargin(int32_t width, int32_t height, float scale, float scaleVar);

// The largest grain size (pixels) either engine draws: a hand-edited Scale
// far beyond 100 that asks for more gets no grain instead of stamps that
// allocate without end. A picture
// side of 800000 pixels at Scale 100 still stays below it.
constexpr float kMaxGrainSize = 1024.0f;

// The shared tables, built once (thread-safely) on first use, read-only
// afterwards: the legacy engine's 37003 random values (multiples of 0.001
// in 0..0.999, from a generator seeded with 17) and the tone curves of
// Grain versions 2 and 3.
const float* grainRandomTable();
constexpr int32_t kGrainRandomTableSize = 37003;
const Curve& grainToneCurveV2();
const Curve& grainToneCurveV3();
