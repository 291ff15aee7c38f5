#include "effects/Sharpen.h"

#include <math.h>

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

#include "adjustments/TileVars.h"
#include "framework/SelectorMod.h"
#include "pixels/Convolution.h"
#include "pixels/RowLoops.h"

namespace {

// The one var.
enum SharpenVar : int32_t { kAmount = 0 };

const char* const kDescription = "Sharpen the image using the specified amount.";

// A scale that is not a positive finite number counts as the full size.
float usableScale(float scale) { return scale > 0.0f && scale < INFINITY ? scale : 1.0f; }

inline int32_t clampIndex(int64_t i, int32_t size) {
    return i < 0 ? 0 : (i >= size ? size - 1 : static_cast<int32_t>(i));
}

// out[j] += in[j], j = 0..count-1 (in double).
TILE_ROW_KERNEL void addFloats(double* __restrict out, const float* __restrict in, size_t count) {
    for (size_t j = 0; j < count; ++j) out[j] += static_cast<double>(in[j]);
}
TILE_ROW_KERNEL void addDoubles(double* __restrict out, const double* __restrict in, size_t count) {
    for (size_t j = 0; j < count; ++j) out[j] += in[j];
}

// The box-sum high-pass of a kernel of half-width n with off-centre weight
// e and centre weight `centre`: h = centre v + e (S - v), S the K x K window
// sum (edges repeated) in double. Horizontal sums of the rows a window
// reaches are kept in a ring of K rows; each output row sums its K ring
// rows from the top down.
template <class Sample>
void boxHighPass(const ImageBuffer& source, int32_t n, float e, float centre, float* highPass) {
    const int32_t width = source.width;
    const int32_t height = source.height;
    const int32_t channels = source.channelCount();
    const int32_t taps = 2 * n + 1;
    const size_t rowLength = static_cast<size_t>(width) * channels;
    const int32_t ringRows = taps < height ? taps : height;
    std::unique_ptr<double[]> ring(new (std::nothrow) double[static_cast<size_t>(ringRows) * rowLength]);
    std::unique_ptr<double[]> sums(new (std::nothrow) double[rowLength]);
    std::unique_ptr<float[]> padded(new (std::nothrow) float[(static_cast<size_t>(width) + 2 * n) * channels]);
    std::unique_ptr<const double*[]> table(new (std::nothrow) const double*[taps]);
    if (!ring || !sums || !padded || !table) return;
    const Sample* data = static_cast<const Sample*>(source.data);

    int32_t loaded = 0;  // horizontal sums of rows [0, loaded) are in the ring
    for (int32_t y = 0; y < height; ++y) {
        const int32_t needed = y + n + 1 < height ? y + n + 1 : height;
        for (; loaded < needed; ++loaded) {
            // The row, edges repeated n pixels out, then its window sums.
            const Sample* row = data + static_cast<ptrdiff_t>(loaded) * rowLength;
            float* p = padded.get();
            for (int32_t i = -n; i < width + n; ++i) {
                const Sample* px = row + static_cast<ptrdiff_t>(clampIndex(i, width)) * channels;
                for (int32_t c = 0; c < channels; ++c) *p++ = static_cast<float>(px[c]);
            }
            double* out = ring.get() + static_cast<size_t>(loaded % ringRows) * rowLength;
            for (size_t j = 0; j < rowLength; ++j) out[j] = 0.0;
            for (int32_t i = 0; i < taps; ++i) addFloats(out, padded.get() + static_cast<size_t>(i) * channels, rowLength);
        }
        for (int32_t j = 0; j < taps; ++j) {
            const int32_t row = clampIndex(static_cast<int64_t>(y) - n + j, height);
            table[j] = ring.get() + static_cast<size_t>(row % ringRows) * rowLength;
        }
        double* s = sums.get();
        for (size_t i = 0; i < rowLength; ++i) s[i] = 0.0;
        for (int32_t j = 0; j < taps; ++j) addDoubles(s, table[j], rowLength);
        const Sample* row = data + static_cast<ptrdiff_t>(y) * rowLength;
        float* out = highPass + static_cast<size_t>(y) * rowLength;
        for (size_t i = 0; i < rowLength; ++i) {
            const double v = static_cast<double>(static_cast<float>(row[i]));
            out[i] = static_cast<float>(static_cast<double>(centre) * v + static_cast<double>(e) * (s[i] - v));
        }
    }
}

template <class Sample>
void highPassOf(const ImageBuffer& source, const std::vector<float>& kernel, float* highPass) {
    if (!tileloop::hasPixels(source) || kernel.empty()) return;
    int32_t taps = 1;
    while (static_cast<size_t>(taps) * taps < kernel.size()) ++taps;
    if (static_cast<size_t>(taps) * taps != kernel.size() || taps % 2 == 0) return;
    if (taps > 3) {
        const int32_t n = taps / 2;
        boxHighPass<Sample>(source, n, kernel[0], kernel[static_cast<size_t>(n) * taps + n], highPass);
        return;
    }
    ImageBuffer out;
    out.wrap(highPass, source.width, source.height, source.channelCount());
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        // The bytes as floats, convolved in place: a signed, unclamped result.
        ImageBuffer::copyFloatFrom8(out, source, true);
        convolveImage(out, kernel.data(), taps, taps, out);
    } else {
        convolveImage(source, kernel.data(), taps, taps, out);
    }
}

// Every sample v becomes clamp(v + h s, 0, 255) (bytes truncated).
TILE_ROW_KERNEL void addHighPass(float* __restrict samples, const float* __restrict h, size_t count, float s) {
    for (size_t i = 0; i < count; ++i) samples[i] = tileloop::clampSample(samples[i] + h[i] * s);
}
TILE_ROW_KERNEL void addHighPass(uint8_t* __restrict samples, const float* __restrict h, size_t count, float s) {
    for (size_t i = 0; i < count; ++i) samples[i] = pixel::clampedByte(static_cast<float>(samples[i]) + h[i] * s);
}

template <class Sample>
void sharpenBody(const SharpenMod& mod, ImageBuffer& image, const RenderArgs* args) {
    if (!tileloop::hasPixels(image)) return;
    float s = static_cast<float>(static_cast<double>(tileloop::floatVar(mod, kAmount)) * 0.01);
    if (mod.version >= 2) s = powf(s, 1.5f);
    if (s == 0.0f || isnan(s)) return;  // NaN: a hostile Amount leaves the image alone
    const RenderRegion* region = args ? args->region : nullptr;
    const float scale = region ? region->scale : image.scale;
    const std::vector<float> kernel = sharpenKernel(mod.version, scale);
    const size_t count = static_cast<size_t>(image.sampleCount());
    std::unique_ptr<float[]> highPass(new (std::nothrow) float[count]);
    if (!highPass) return;
    highPassOf<Sample>(image, kernel, highPass.get());

    tileloop::Selector selector;
    selector.mod = args ? asSelector(args->selector) : nullptr;
    selector.region = region;
    const int32_t width = image.width;
    const int32_t channels = image.channelCount();
    Sample* data = static_cast<Sample*>(image.data);
    const float* h = highPass.get();
    if (!selector) {
        addHighPass(data, h, count, s);
        return;
    }
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const float k = selector ? tileloop::weightAt(selector, image, x, y, data) * s : s;
            const size_t at = (static_cast<size_t>(y) * width + x) * channels;
            for (int32_t c = 0; c < channels; ++c)
                tileloop::store(data[at + c], tileloop::clampSample(static_cast<float>(data[at + c]) + h[at + c] * k));
        }
    }
}

}  // namespace

int32_t sharpenHalfWidth(float scale) {
    const float reach = ceilf(0.5f / usableScale(scale));
    if (!(reach >= 1.0f)) return 1;
    if (reach > static_cast<float>(kMaxSharpenHalfWidth)) return kMaxSharpenHalfWidth;
    return static_cast<int32_t>(reach);
}

std::vector<float> sharpenKernel(uint32_t version, float scale) {
    const float usable = usableScale(scale);
    const int32_t n = sharpenHalfWidth(usable);
    const int32_t taps = 2 * n + 1;
    const float e = version >= 2 ? -1.0f / usable : -1.0f;
    std::vector<float> kernel(static_cast<size_t>(taps) * taps, e);
    const size_t centre = static_cast<size_t>(n) * taps + n;
    float sum = 0.0f;
    for (size_t i = 0; i < kernel.size(); ++i)
        if (i != centre) sum += kernel[i];
    kernel[centre] = -sum;
    return kernel;
}

void sharpenHighPass(const ImageBuffer& source, const std::vector<float>& kernel, float* highPass) {
    highPassOf<float>(source, kernel, highPass);
}

void sharpenHighPass8(const ImageBuffer& source, const std::vector<float>& kernel, float* highPass) {
    highPassOf<uint8_t>(source, kernel, highPass);
}

SharpenMod::SharpenMod() : ImageMod(GrowString("Sharpen"), GrowString("Sharpen")) {
    version = kNewestVersion;
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFloatVar("Amount", 50.0f, 0.0f, 100.0f));
    description = kDescription;
    addAnimTrack(amountVar, "0 100 0", 3.0f);
}

ImageMod* SharpenMod::clone() const { return new SharpenMod(); }

// The kernel's half-width at the scale: the rows a band needs around it.
int32_t SharpenMod::marginFor(int32_t, int32_t height, float scale) const {
    const int32_t n = sharpenHalfWidth(scale);
    return height > 0 && n > height ? height : n;
}

void SharpenMod::process8(ImageBuffer& image, const RenderArgs* args) { sharpenBody<uint8_t>(*this, image, args); }
void SharpenMod::processFloat(ImageBuffer& image, const RenderArgs* args) { sharpenBody<float>(*this, image, args); }
