// The blurs as the tiles call them: blurImage by method and radius,
// blurByAmount by an Amount and Mix relative to the whole picture (and
// blurMarginFor, the rows of context a band of it needs), and blendByMask,
// the selector's limit on a finished blur.
#include "pixels/Convolution.h"

#include <math.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "framework/SelectorMod.h"
#include "pixels/ConvolutionShared.h"
#include "pixels/SampleRules.h"

namespace convolution {
namespace {

// ---- Blur by method ---------------------------------------------------------------------------

template <class Sample>
void blurBody(ImageBuffer& image, uint32_t method, float r, float mix) {
    if (!hasPixels(image) || mix == 0.0f) return;
    const int32_t n = blurHalfWidth(r);
    if (n == 0) return;
    if (method == kBlurGaussian || method == kBlurBox) {
        const std::vector<float> taps = blurTaps(method, r, n);
        if (!taps.empty()) separableBlur<Sample>(image, taps.data(), n, mix);
    } else if (method == kBlurCircle) {
        discBlur<Sample>(image, r, n, mix);
    }
}

// ---- Masked blend ----------------------------------------------------------------------------

inline float weightOf(const SelectorMod& s, const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region,
                      const float*) {
    return s.maskWeight(image, x, y, region);
}
inline float weightOf(const SelectorMod& s, const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region,
                      const uint8_t*) {
    return s.maskWeight8(image, x, y, region);
}

inline void storeBlend(float& sample, double v) { sample = static_cast<float>(v); }
inline void storeBlend(uint8_t& sample, double v) { sample = pixel::storeByteFromDouble(v); }

template <class Sample>
void blendBody(const SelectorMod* selector, const ImageBuffer& unprocessed, ImageBuffer& processed,
               const RenderRegion* region) {
    if (!selector || !hasPixels(unprocessed) || !hasPixels(processed)) return;
    if (unprocessed.width != processed.width || unprocessed.height != processed.height ||
        unprocessed.channelCount() != processed.channelCount())
        return;
    const int32_t channels = processed.channelCount();
    const Sample* before = static_cast<const Sample*>(unprocessed.data);
    Sample* after = static_cast<Sample*>(processed.data);
    for (int32_t y = 0; y < processed.height; ++y) {
        for (int32_t x = 0; x < processed.width; ++x) {
            const float w = weightOf(*selector, unprocessed, x, y, region, before);
            const ptrdiff_t at = (static_cast<ptrdiff_t>(y) * processed.width + x) * channels;
            const double keep = 1.0 - static_cast<double>(w);
            for (int32_t c = 0; c < channels; ++c) {
                const float blurred = sampleValue(after[at + c]) * w;
                storeBlend(after[at + c],
                           static_cast<double>(sampleValue(before[at + c])) * keep + static_cast<double>(blurred));
            }
        }
    }
}

// ---- Blur by Amount: the parameters ---------------------------------------------------------

inline float methodFactor(uint32_t method) { return method == kBlurGaussian ? 0.03f : 0.02f; }

// The fraction q = Amount / 100 (product in double, rounded to float).
inline float amountFraction(float amount) { return static_cast<float>(static_cast<double>(amount) * 0.01); }

// The blur radius for the Amount on a picture whose longer side is `side`.
inline float blurRadius(float amount, uint32_t method, float side) {
    const float q = amountFraction(amount);
    return methodFactor(method) * (q * q * side) + 1.0f;
}

struct BlurParams {
    uint32_t method = 0;
    float radius = 0.0f;
    float mix = 0.0f;
    const SelectorMod* selector = nullptr;
    const RenderRegion* region = nullptr;
};

// False when the image stays as it is: an Amount or a Mix of 0, an unknown
// method or a radius below one pixel, so that no copy is made and a
// selector's blend cannot round the samples.
bool prepareBlur(const ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args,
                 BlurParams& p) {
    if (!hasPixels(image)) return false;
    if (amount == 0.0f) return false;
    p.method = method;
    if (p.method > kBlurCircle) return false;
    // The radius is relative to the whole picture, whatever band this is.
    int32_t wholeWidth = image.width;
    int32_t wholeHeight = image.height;
    if (args && args->region) {
        if (args->region->fullWidth > 0) wholeWidth = args->region->fullWidth;
        if (args->region->fullHeight > 0) wholeHeight = args->region->fullHeight;
        p.region = args->region;
    }
    p.selector = args ? asSelector(args->selector) : nullptr;
    p.mix = amountFraction(mixPercent);
    if (p.mix == 0.0f) return false;
    const float h = static_cast<float>(wholeHeight);
    const float w = static_cast<float>(wholeWidth);
    p.radius = blurRadius(amount, p.method, h > w ? h : w);
    return blurHalfWidth(p.radius) > 0;
}

// ---- Blur by Amount -----------------------------------------------------------------------------

template <class Sample>
void blurByAmountBody(ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args) {
    BlurParams p;
    if (!prepareBlur(image, amount, mixPercent, method, args, p)) return;
    if (!p.selector) {
        blurBody<Sample>(image, p.method, p.radius, p.mix);
        return;
    }
    ImageBuffer unblurred;
    if constexpr (std::is_same<Sample, uint8_t>::value)
        ImageBuffer::copy8(unblurred, image, true);
    else
        ImageBuffer::copyFloat(unblurred, image, true);
    blurBody<Sample>(image, p.method, p.radius, p.mix);
    blendBody<Sample>(p.selector, unblurred, image, p.region);
}

}  // namespace
}  // namespace convolution

using convolution::amountFraction;
using convolution::blendBody;
using convolution::blurBody;
using convolution::blurByAmountBody;
using convolution::blurRadius;
using convolution::methodFactor;

// ---- Image routines -----------------------------------------------------------------------

void blurImage(ImageBuffer& image, uint32_t method, float r, float mix) { blurBody<float>(image, method, r, mix); }

void blurImage8(ImageBuffer& image, uint32_t method, float r, float mix) { blurBody<uint8_t>(image, method, r, mix); }

void blendByMask(const SelectorMod* selector, const ImageBuffer& unprocessed, ImageBuffer& processed,
                 const RenderRegion* region) {
    blendBody<float>(selector, unprocessed, processed, region);
}

void blendByMask8(const SelectorMod* selector, const ImageBuffer& unprocessed, ImageBuffer& processed,
                  const RenderRegion* region) {
    blendBody<uint8_t>(selector, unprocessed, processed, region);
}

int32_t blurMarginFor(float amount, uint32_t method, int32_t width, int32_t height) {
    if (height <= 0) return 0;
    const float q = amountFraction(amount);
    const float side = static_cast<float>(width) > static_cast<float>(height) ? static_cast<float>(width)
                                                                               : static_cast<float>(height);
    const float rows = ceilf(q * q * methodFactor(method) * side);
    int32_t margin = 0;
    if (rows > 0.0f) margin = rows >= static_cast<float>(height) ? height : static_cast<int32_t>(rows);
    const int32_t n = blurHalfWidth(blurRadius(amount, method, side));
    if (n > margin) margin = n < height ? n : height;
    return margin;
}

void blurByAmount(ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args) {
    blurByAmountBody<float>(image, amount, mixPercent, method, args);
}

void blurByAmount8(ImageBuffer& image, float amount, float mixPercent, uint32_t method, const RenderArgs* args) {
    blurByAmountBody<uint8_t>(image, amount, mixPercent, method, args);
}
