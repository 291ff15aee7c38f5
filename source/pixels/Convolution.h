#pragma once
// The convolution core the tiles share: the blur kernels (Gaussian, Box,
// Circle), the two-pass and disc blurs, the blur the Blur tile runs for an
// Amount and Mix, the selector blend, and the general convolution. The Blur
// tile runs them, Dynamics blurs its copy of the band with them, the grain
// calls blurImage and blendByMask, the sharpen tile convolveImage, the
// radial blur the bell.
//
// Float images hold samples on the 0..255 scale; the 8-bit twins (suffix 8)
// compute in float and store bytes clamped to 0..255 and truncated toward
// zero.
//
// The routines touch only the images they are given and scratch memory of
// the calling thread, so the pipeline runs them on many bands at once.
//
// Exactness: every sample of the two-pass blurs and of convolveImage is the
// sum of its taps in the order of the kernel (left to right, top to
// bottom), starting from 0, each product and sum rounded to float. The disc
// ("Circle") is summed by rows instead: each row's span of full cells from
// prefix sums of its image row (short spans cell by cell), its rim cells in
// pairs, float sums of a few rows added in double and divided once by the
// sum of the weights; within 1e-6 of the exact sum, relative to the average
// magnitude of the disc's samples Σ w |v| / Σ w and at least 1 (the cell-by-
// cell float sum of the normalised kernel strays by up to 1e-4 on large
// discs). Where the samples share a sign, as a picture's do, that magnitude
// is the exact sum itself; where they cancel, no float sum can come nearer
// than a rounding of the samples' own size. The prefix sums run along the
// image row, so a dark disc in rows that are bright elsewhere is within
// 1e-6 of the largest sample of those rows instead (for 0..255 samples, a
// four-thousandth of a level). Samples whose disc square holds
// a non-finite sample take the cell-by-cell sum. No result depends on how the work is
// split into blocks, bands, threads or vector lanes.

#include <cstdint>
#include <vector>

#include "foundation/ImageBuffer.h"
#include "framework/RenderArgs.h"

class SelectorMod;

// ---- Kernel builders ---------------------------------------------------------

enum BlurMethod : uint32_t {
    kBlurGaussian = 0,
    kBlurBox = 1,
    kBlurCircle = 2,
};

// The widest kernel the routines run: a radius whose half-width exceeds it
// (far beyond any picture, only reachable from a hand-edited file) leaves
// the image unchanged instead of allocating and summing without end.
constexpr int32_t kMaxBlurHalfWidth = 1 << 15;

// The kernel half-width n = (int)ceilf(r - 1) of a radius r; 0 (nothing to
// do) when that is not positive, when r is NaN, and beyond kMaxBlurHalfWidth.
int32_t blurHalfWidth(float r);

// The bell on u (1 at the centre, 0 at the rim): 0 for u <= 0; (2u)^2 / 2
// below 0.5; 1 - s^2 / 2 with s = 2 - 2u below 1; 1 from 1 up.
float bellCurve(float u);
// Raw (unnormalised) weights of the tap at an offset from the centre:
// Gaussian (the bell of 1 - |offset| / r) and Box (1 inside r - 1, r - d on
// the fractional rim, 0 from r out).
float gaussianTapWeight(float r, int32_t offset);
float boxTapWeight(float r, int32_t offset);
// Raw weight of the disc cell at (dx, dy): 1 inside r - 1, r - d on the rim,
// 0 from r out, with d = sqrtf(dx^2 + dy^2).
float discCellWeight(float r, int32_t dx, int32_t dy);
// The same cell of a disc given by its limits: 1 closer than full, rim - d
// closer than rim, 0 from rim out (discCellWeight: full r - 1, rim r).
float discWeight(float full, float rim, int32_t dx, int32_t dy);

// The 2n + 1 normalised one-dimensional weights of the Gaussian or Box
// method: the first divided by their float sum, every later one multiplied
// by its reciprocal. Empty for other methods and for n below 1.
std::vector<float> blurTaps(uint32_t method, float r, int32_t n);
// The (2n + 1)^2 normalised disc weights, row by row, each divided by
// their float sum. Empty for n below 1.
std::vector<float> discKernel(float r, int32_t n);

// ---- Image routines ----------------------------------------------------------

// Blurs the image in place with the method at the radius r (pixels of this
// image) and mixes the blurred result in by mix (0..1, 1 = blurred only).
// Gaussian and Box run two passes, rows then columns; Circle one disc
// (discKernel's cells, summed by rows: cost grows with r, not r^2). Edges
// repeat the nearest row or column. Mix 0, a half-width of 0 and unknown
// methods leave the image unchanged.
void blurImage(ImageBuffer& image, uint32_t method, float r, float mix);
void blurImage8(ImageBuffer& image, uint32_t method, float r, float mix);

// Mixes the unprocessed copy back into the processed image by the selector's
// weight, measured on the unprocessed image: processed = unprocessed (1 - w)
// + processed w, no clamp. Nothing happens unless both images have the same
// size and channel count, and without a selector (weight 1 everywhere).
void blendByMask(const SelectorMod* selector, const ImageBuffer& unprocessed, ImageBuffer& processed,
                 const RenderRegion* region);
void blendByMask8(const SelectorMod* selector, const ImageBuffer& unprocessed, ImageBuffer& processed,
                  const RenderRegion* region);

// Writes the convolution of the source with a kernelWidth x kernelHeight
// kernel (row by row) into the output, edges repeated: the tap (kx, ky)
// reads the source at (x - kernelWidth/2 + kx, y - kernelHeight/2 + ky),
// clamped into the image. The output must have the source's width and
// height; the first min(channel counts) channels are written, float sums
// unclamped (8-bit: clamped and truncated). The output may be the source
// itself. Nothing happens for an empty kernel or a mismatched output.
void convolveImage(const ImageBuffer& source, const float* kernel, int32_t kernelWidth, int32_t kernelHeight,
                   ImageBuffer& output);
void convolveImage8(const ImageBuffer& source, const float* kernel, int32_t kernelWidth, int32_t kernelHeight,
                    ImageBuffer& output);

// The disc averages Σ w v / Σ w of pixels that each have their own radius:
// every pixel whose radius k = radii[x + y width] is above 0 with ceil(k) at
// most n takes the average of the source over the cells (dx, dy), |dx|,
// |dy| <= ceil(k), weighted by discWeight(k, k + 1, dx, dy) (1 closer than
// k, k + 1 - d on the rim), edges repeated, in its first `channels`
// samples, clamped to 0..255 (8-bit: truncated); other pixels and samples
// are left alone. The source is the image as it stood (same size and
// channels). A cell outside a pixel's disc never enters its sum, so a
// non-finite sample reaches only the averages whose discs hold it. n fixes
// how the image is cut into tiles, so it must be the same for every band of
// a picture; pixels of the radius `common` (the one most pixels share)
// share one disc. Accuracy as blurImage's disc; a row of neighbours costs
// about what a row of one radius does.
void discAverages(const ImageBuffer& source, ImageBuffer& image, const float* radii, float common, int32_t n,
                  int32_t channels);
void discAverages8(const ImageBuffer& source, ImageBuffer& image, const float* radii, float common, int32_t n,
                   int32_t channels);

// One kernel along a row of samples: sums[j] = Σ_k weights[k] · row[j + k ·
// step] for j in [0, length), each summed in the kernel's order from 0 in
// float, so that a sample gets exactly the operations of the plain loop
// (vector lanes never mix). Sums and reads go by whole blocks of
// kKernelSumsBlock samples: sums must hold length rounded up to a block,
// and row must be readable (any values) up to that many samples plus
// (taps - 1) · step.
constexpr int32_t kKernelSumsBlock = 96;
void kernelSums(const float* row, const float* weights, int32_t taps, int32_t step, int32_t length, float* sums);

// ---- Blur by Amount ------------------------------------------------------------

// The blur of an Amount (0..100; the radius grows with its square) relative
// to the whole picture's longer side, so a thumbnail and the full-size
// render look alike: r = f (q^2 side) + 1 with q = Amount / 100 (in double,
// rounded to float) and f = 0.03 for Gaussian, 0.02 otherwise. The side is
// the region's full size when args carries one, else the image's.
// mixPercent (0..100) mixes the blurred result in; a selector in args then
// limits the finished blur by its weight (blendByMask). An Amount or Mix of
// 0, an unknown method and a radius below one pixel leave the image as it
// is. args may be null.
void blurByAmount(ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args);
void blurByAmount8(ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args);

// The rows of context a band of that blur needs: ceilf(q^2 f side) with the
// picture's longer side, which is the kernel's half-width. Float rounding
// can put the blur's own half-width (from f (q^2 side) + 1) one above it;
// the larger of the two is returned, so a band never blurs against its own
// edge rows. A margin beyond the height adds nothing (the whole height is
// one band) and is clamped to it; NaN gives 0.
int32_t blurMarginFor(float amount, uint32_t method, int32_t width, int32_t height);
