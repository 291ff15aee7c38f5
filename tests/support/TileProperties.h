#pragma once
// Checks that every tile must pass, shared by the tile tests.
//
// The test images are those of ImageBuilders.h (pseudo-random samples
// spread over 0..255, not whole numbers) with, in their first pixels, the
// extremes that tile formulas treat specially: black, white, pure red,
// samples at 0.05 and 254.95, fully transparent and opaque alpha. 8-bit
// copies are the float samples truncated toward zero.
//
// Every check renders copies; the image handed in is never changed. A tile
// is run over all of its passes (RenderArgs::pass 0 .. passCount - 1), as
// the pipeline runs it over a single band of the whole image. Comparisons
// are bit for bit, NaN included.

#include <gtest/gtest.h>

#include <cstdint>

#include "foundation/ImageBuffer.h"
#include "framework/RenderArgs.h"

class ImageMod;

namespace tiletest {

// A width x height float image of 3 or 4 channels, the same for the same
// arguments on every machine.
ImageBuffer makeTestImage(int32_t width, int32_t height, int32_t channels, uint32_t seed = 1);
// The standard images of the checks below: 23 x 61 pixels (uneven bands for
// every thread count up to 8), 3 and 4 channels.
ImageBuffer standardImage(int32_t channels);

ImageBuffer copyOf(const ImageBuffer& floatImage);
ImageBuffer copyOf8(const ImageBuffer& image8);
// The float samples clamped to 0..255 and truncated toward zero.
ImageBuffer bytesOf(const ImageBuffer& floatImage);
// Byte samples widened to float.
ImageBuffer floatsOf(const ImageBuffer& image8);

// The tile over a copy of the image, whole, every pass; args (selector,
// region) as given, or none.
ImageBuffer renderFloat(ImageMod& tile, const ImageBuffer& image, const RenderArgs* args = nullptr);
ImageBuffer render8(ImageMod& tile, const ImageBuffer& image8, const RenderArgs* args = nullptr);

// Size, channel count and every sample equal, bit for bit (NaN equals NaN);
// on failure names the first differing sample. Short names for
// testimages::floatsIdentical and bytesIdentical.
::testing::AssertionResult sameFloatImages(const ImageBuffer& expected, const ImageBuffer& actual);
::testing::AssertionResult sameByteImages(const ImageBuffer& expected, const ImageBuffer& actual);

// The tile, set by the caller to its identity value (Amount 1 for factor
// tiles, 0 for strength tiles), leaves the standard images of 3 and 4
// channels unchanged, float and 8-bit.
void expectIdentityLeavesImage(ImageMod& tile);

// The chain holding only the tile, rendered through a RenderContext without
// cache with 1 to 8 threads (float and 8-bit pipelines), gives the same
// samples for every thread count, and the float result equals the tile run
// on the whole image.
void expectBandedEqualsWhole(ImageMod& tile, const ImageBuffer& image);

// Under a selector of weight 0 everywhere the tile changes nothing; under
// one of weight 1 it gives what it gives without a selector. Float and 8-bit,
// on the given image or on the standard ones.
void expectSelectorWeightZeroIsIdentity(ImageMod& tile, const ImageBuffer& image);
void expectSelectorWeightZeroIsIdentity(ImageMod& tile);
void expectSelectorWeightOneIsNoSelector(ImageMod& tile, const ImageBuffer& image);
void expectSelectorWeightOneIsNoSelector(ImageMod& tile);

// On whole-number samples (the image truncated to bytes and back), the
// 8-bit body stays within `tolerance` levels of the float body's result
// stored as a byte.
void expect8BitWithinLevel(ImageMod& tile, const ImageBuffer& image, int32_t tolerance = 1);

// clone() followed by copyFrom() gives a tile equal to the source both ways,
// of the same XML name and version, that renders the same samples.
void expectCloneCopyFromEquals(ImageMod& tile);

// Saved alone to a filter file and read back with a prototype list holding
// a clone of the tile, the tile comes back equal (status clean, one tile),
// and saving what was read writes the same bytes. Float values need at most
// six decimals for this, as the file writes them.
void expectFilterRoundTrip(ImageMod& tile);

}  // namespace tiletest
