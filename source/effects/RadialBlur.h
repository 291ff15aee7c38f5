#pragma once
// Radial Blur: leaves the centre of the photo sharp and blurs it more and
// more toward the edges.
//
// RadialBlurMod ("Radial Blur", shown as "Circular Blur"; panel tile and
// building block of the Helga camera): vars "Amount" 0..1 (shown as
// 0..100), "Falloff" 0..100, "Radius" 0..2 and "Blur Method" ("Gaussian",
// "Box", "Circle"). Every pixel gets its own blur radius k = ramp(t) B: the
// vignette's S-shaped ramp over its distance t from the photo's centre
// (t = 1 at 1.85 Radius half-diagonals, Falloff its steepness) scales the
// largest radius B = Amount g 30 pixels per 1200 pixels of the photo's
// longer side (g = 1.5 for "Gaussian", 1 otherwise). A selector scales k
// per pixel; a pixel whose k is not above 0 keeps its value.
//   "Gaussian" and "Box": a bell or flat kernel of 2 ceil(k) + 1 taps for
//     each pixel, rows then columns, every channel; samples then clamped to
//     0..255.
//   "Circle" (and higher indices): the average over a disc of radius k with
//     a fractional rim of one pixel, of the first three channels (a fourth
//     keeps its value), clamped to 0..255.
// One version. The centre and B come from the whole picture's content
// rectangle (see photoRectOf), so a band gives the rows of the whole image;
// marginFor gives each band the rows its largest kernel reaches.
//
// Exactness and speed: the bell and box sums are taken tap by tap in the
// kernel's order (float). A kernel is built once for a run of pixels of one
// radius, and such a run is summed along its line as one kernel; other
// neighbours are built and summed side by side in vector lanes. Either
// way each sample gets the operations it would have alone, bit for bit.
// The disc is the convolution core's disc of a radius per pixel
// (discAverages): each row of the disc a span of full cells from prefix
// sums of its image row, the cells of the rim one by one, neighbouring
// pixels summed together in vector lanes (each with its own rim weights),
// within 1e-6 of the exact sum relative to the average magnitude of the
// disc's samples (the sum itself, as a picture's samples share a sign) and
// at least 1 (of the largest sample of its rows, for a dark disc in rows
// bright elsewhere), at a cost that grows with k rather than with k squared.
// Cells outside a pixel's disc are never visited, so a non-finite sample
// reaches only the discs that hold it. The pixels of the largest radius B (Radius 0, or the photo's
// edges where the ramp has reached 1) share one disc.

#include <cstdint>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/RenderArgs.h"

class RadialBlurMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    RadialBlurMod(float amount, float radius);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies, in place; args, its region and its selector may each
    // be null (without a region the image is the whole picture).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

// The largest blur radius B for an Amount, a method and the photo's width
// and height: float((double)(a g 30) 0.0008333333333333334 (double)max),
// a g 30 in float.
float radialBlurMaxRadius(float amount, uint32_t method, float photoWidth, float photoHeight);

// A B beyond this (only from hand-edited values) leaves the image unchanged.
constexpr float kMaxRadialBlurRadius = 8192.0f;

// The normalised one-dimensional kernels of a radius k > 0: 2m + 1 taps,
// m = ceil(k), written to `kernel` (room for 2 ceil(k) + 1 floats). Return
// m, or 0 (nothing written) when k is not above 0 or beyond the limit.
//   box: the end taps frac / S, the others 1 / S, frac = k - m + 1,
//     S = 2 frac + (2m - 1);
//   bell: the bell of u = 1 - |d| / (k + 1) at offset d, each divided by
//     S = 1 + 2 (sum of the raw weights of d = 1..m).
int32_t makeBoxKernel(float* kernel, float k);
int32_t makeBellKernel(float* kernel, float k);
