#pragma once
// Small tiles for tests of the framework and the render pipeline. Each group
// of tiles below belongs to the tests that introduced it; add new tiles at
// the end under names of their own.

#include <atomic>

#include "framework/ImageMod.h"
#include "framework/SelectorMod.h"

// ---------------------------------------------------------------------------
// Tiles of the tile object model tests (ImageMod, CompoundFilter, selectors)

// Adds var 0 "Amount" to every sample of the image, each pixel's addition
// scaled by the weight of the selector it is handed (float images keep the
// sum, 8-bit images store it with storeByte). Counts its calls and remembers
// the selector and pass of the last one.
class AddConstantTile : public ImageMod {
public:
    explicit AddConstantTile(float amount = 0.0f);
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    std::atomic<int32_t> calls{0};
    std::atomic<const ImageMod*> lastSelector{nullptr};
    std::atomic<int32_t> lastPass{0};
};

// A selector whose weight is var 0 "Weight", or, when it has one, the value
// of its per-pixel function of the pixel's samples (on the 0..255 scale,
// 8-bit samples widened to float) and position.
using PixelWeightFunction = float (*)(const float* samples, int32_t channels, int32_t x, int32_t y);

class WeightSelector : public SelectorMod {
public:
    explicit WeightSelector(float weight = 1.0f, PixelWeightFunction function = nullptr);
    ImageMod* clone() const override;  // keeps the function
    float maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;
    float maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;

    PixelWeightFunction function;
};

// Per-pixel weights for WeightSelector: the red sample / 255, clamped to 0..1.
float redWeight(const float* samples, int32_t channels, int32_t x, int32_t y);

// A tile that needs context rows: var 0 "Rows" (m) is its margin; every
// sample becomes the mean of the samples m rows above, at and m rows below
// (rows clamped to the image handed in), so a band gives the whole-image
// result only where m rows of true context surround it.
class RowSpreadTile : public ImageMod {
public:
    explicit RowSpreadTile(int32_t rows = 1);
    ImageMod* clone() const override;
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

// A border tile (kind 1, trailing group, tag 4) that changes no pixel.
class FrameBorderTile : public ImageMod {
public:
    FrameBorderTile();
    ImageMod* clone() const override { return new FrameBorderTile(); }
    int32_t kind() const override { return kBorderMod; }
    int32_t chainGroup() const override { return kGroupTrailing; }
    ImageMod* borderMod() override { return this; }
};

// A tile of `passes` passes that refuses bands for one pass (-1: none).
class PassCountTile : public ImageMod {
public:
    PassCountTile(int32_t passes = 1, int32_t refusedPass = -1);
    ImageMod* clone() const override { return new PassCountTile(passes, refusedPass); }
    int32_t passCount() const override { return passes; }
    bool canTile(int32_t pass) const override { return pass != refusedPass; }

    int32_t passes;
    int32_t refusedPass;
};

// ---------------------------------------------------------------------------
// Tiles of the render pipeline tests

#include <functional>
#include <memory>

namespace rendertest {

// Adds var 0 "Amount" to every sample (8-bit: stored with storeByte). The
// call counter is shared by the tile and all its clones, so a test counts
// the calls that a render context's clones receive.
class CountingTile : public ImageMod {
public:
    explicit CountingTile(float amount = 0.0f);
    ImageMod* clone() const override;
    void copyFrom(const ImageMod& other) override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    int32_t callCount() const { return calls->load(); }

    std::shared_ptr<std::atomic<int32_t>> calls;
};

// A separable box blur over the image handed in (rows and columns clamped
// at its edges): var 0 "Radius" r, var 1 "Margin" the margin it asks for
// (-1: r). With a margin below r a band reads clamped rows where the whole
// image has true ones, so banded renders differ from whole ones.
class BoxBlurTile : public ImageMod {
public:
    explicit BoxBlurTile(int32_t radius = 1, int32_t margin = -1);
    ImageMod* clone() const override { return new BoxBlurTile(); }
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    int32_t radius() const;
};

// Two passes, var 0 "Radius" r and var 1 "Flip First":
// - pass 0: with Flip First 1 it turns the image upside down (it needs the
//   whole image and refuses bands), else a vertical box blur of radius r;
// - pass 1: a vertical box blur of radius r, then every sample times 0.75.
// Pass -1 (inside a compound) runs both. The margin is r.
class TwoPassTile : public ImageMod {
public:
    explicit TwoPassTile(int32_t radius = 1, bool flipFirst = false);
    ImageMod* clone() const override { return new TwoPassTile(); }
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    int32_t passCount() const override { return 2; }
    bool canTile(int32_t pass) const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

// Adds where the pixel lies in the whole output image: channel 0 gets
// 0.5 (region originY + y), channel 1 gets 0.25 (region originX + x)
// (region null: 0). Without a margin.
class PositionTile : public ImageMod {
public:
    PositionTile();
    ImageMod* clone() const override { return new PositionTile(); }
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

// A selector weighting columns: ((x + var 0 "Phase") mod 4) / 4.
class ColumnSelector : public SelectorMod {
public:
    explicit ColumnSelector(int32_t phase = 0);
    ImageMod* clone() const override { return new ColumnSelector(); }
    float maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;
    float maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const override;
};

// Calls `hook` on every process call (float and 8-bit) with the image and
// the arguments; the hook is shared with clones. var 0 "Amount" (only to
// make tiles unequal), var 1 "Bands" (0: the tile refuses bands).
using ProcessHook = std::function<void(ImageBuffer& image, const RenderArgs* args, bool eightBit)>;

class HookTile : public ImageMod {
public:
    explicit HookTile(ProcessHook hook = nullptr, bool bands = true);
    ImageMod* clone() const override;
    void copyFrom(const ImageMod& other) override;
    bool canTile(int32_t pass) const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    std::shared_ptr<ProcessHook> hook;
};

// A border tile (kind 1) with var 0 "Width"; changes no pixel.
class WidthBorderTile : public ImageMod {
public:
    explicit WidthBorderTile(float width = 10.0f);
    ImageMod* clone() const override { return new WidthBorderTile(); }
    int32_t kind() const override { return kBorderMod; }
    ImageMod* borderMod() override { return this; }
};

}  // namespace rendertest

// ---------------------------------------------------------------------------
// Curves for the curve tiles' tests

#include "framework/Curve.h"

// A curve of the control points in text ("x0 y0 x1 y1 ..."), as a filter
// file stores them.
Curve curveOf(const char* points);
