#pragma once
// Sharpen: adds a scaled high-pass of the image to the image.
//
// SharpenMod ("Sharpen", panel tile): one var, "Amount" 0..100. The
// high-pass is the convolution with a K x K kernel whose cells all hold one
// weight e and whose centre makes the kernel sum to 0; K = 2n + 1 with
// n = ceil(0.5 / scale), scale being full-size pixels per processed pixel,
// so a reduced preview and the full-size render are sharpened alike. Every
// channel becomes clamp(v + h s, 0, 255); a selector scales s per pixel.
//   version 2 (new tiles): s = (Amount / 100)^1.5, e = -1 / scale;
//   version 1 (older files): s = Amount / 100, e = -1.
// The 8-bit body computes the high-pass of its bytes in floating point (a
// signed value) and stores the final sum truncated toward zero.
//
// The 3 x 3 kernel of full-size and reduced renders is convolved tap by tap
// (convolveImage). Larger kernels (renders enlarged beyond twice the full
// size) hold one weight in every cell but the centre, so their high-pass is
// centre v + e (window sum - v) with the window sum taken as separable box
// sums in double precision: within float rounding (1e-5 relative to the
// magnitude of the taps) of the tap-by-tap sum, at a cost of 2K additions
// per sample instead of K^2 multiply-adds. Both directions are summed
// directly (no running sums), so a band gives exactly the rows of the whole
// image and a stray huge sample disturbs only its own window.
//
// The kernel's reach is the tile's margin: n rows above and below a band.

#include <cstdint>
#include <vector>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/RenderArgs.h"

class SharpenMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    SharpenMod();

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

// The kernel half-width n = ceilf(0.5f / scale), at least 1 and at most
// kMaxSharpenHalfWidth. A scale that is not a positive finite number counts
// as 1 (the full-size render).
constexpr int32_t kMaxSharpenHalfWidth = 256;
int32_t sharpenHalfWidth(float scale);

// The K x K kernel (K = 2 sharpenHalfWidth(scale) + 1), row by row, of the
// version at the scale: every cell e, the centre the negated float sum of
// the others.
std::vector<float> sharpenKernel(uint32_t version, float scale);

// The high-pass of the source into `highPass` (the source's width x height x
// channels floats), with the kernel of sharpenKernel: tap by tap for 3 x 3,
// separable box sums for larger kernels. Byte sources are read as floats.
void sharpenHighPass(const ImageBuffer& source, const std::vector<float>& kernel, float* highPass);
void sharpenHighPass8(const ImageBuffer& source, const std::vector<float>& kernel, float* highPass);
