#include "effects/RadialBlur.h"

#include <math.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

#include "effects/Vignette.h"
#include "framework/SelectorMod.h"
#include "pixels/Convolution.h"
#include "pixels/RowLoops.h"
#include "platform/ParallelFor.h"

// How the body runs.
//
// A map of every pixel's radius k is made first (one powf and one square
// root per pixel), so the passes need no ramp and a selector is asked once
// per pixel and pass. Without a selector one map serves both passes of the
// bell and box methods; with one the columns pass gets a map of its own,
// measured on the rows pass's result, as the selector sees it there.
//
// Rows pass: each row is copied aside with its edges repeated as far as its
// widest kernel reaches, and every pixel sums its own kernel over the copy.
// Columns pass: the image is worked in strips of a few columns, each strip
// gathered into contiguous column copies (edges repeated), so that a
// pixel's taps lie next to each other in memory.
//
// Disc: the convolution core's discs of a radius per pixel (discAverages)
// over a copy of the image, with the map as the radii.
//
// Threads: blocks of rows and strips of columns are tasks of a nested
// parallel loop (the disc's tiles too), so that threads the pipeline's bands leave idle
// (a margin of 151 rows cuts 4000 rows into 9 bands for 8 threads) help.
// A task writes only its own rows or columns, and every pixel is computed
// by the same code whichever thread runs it.

namespace {

const char* const kDescription =
    "Blur in a circle around the edges of an image. Falloff affects how quickly the blur intensity grows as it gets "
    "further from the center of the image.";

// Columns per task of the columns pass, rows per task of the rows pass.
constexpr int32_t kColumnStrip = 16;
constexpr int32_t kRowBlock = 8;
// Neighbouring pixels of one radius summed as one run along their line.
constexpr int32_t kRunPixels = 8;

// Scratch memory of the calling thread, reused by its later tasks, so that
// a strip or a block of rows allocates nothing once its thread has served
// one as large. Blocks above kKeptScratchBytes are freed when a task ends.
constexpr size_t kKeptScratchBytes = size_t(64) << 20;

template <class T>
class Scratch {
public:
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    Scratch(Scratch&&) = delete;
    Scratch& operator=(Scratch&&) = delete;
    ~Scratch() { delete[] items; }

    // Room for count elements (contents unspecified), or null.
    T* get(size_t count) {
        if (count > capacity) {
            delete[] items;
            items = new (std::nothrow) T[count];
            capacity = items ? count : 0;
        }
        return items;
    }
    void trim() {
        if (capacity * sizeof(T) <= kKeptScratchBytes) return;
        delete[] items;
        items = nullptr;
        capacity = 0;
    }

private:
    T* items = nullptr;
    size_t capacity = 0;
};

uint32_t methodOf(const ImageMod& mod) {
    const ModVar* v = mod.var(3);
    const ChoiceValue* choice = v ? v->choiceValue() : nullptr;
    return choice ? static_cast<uint32_t>(choice->selected) : 0u;
}

inline int32_t clampIndex(int64_t i, int32_t size) {
    return i < 0 ? 0 : (i >= size ? size - 1 : static_cast<int32_t>(i));
}

// m = ceil(k), or 0 for a k that is not above 0 or beyond the limit.
inline int32_t halfWidthOf(float k) {
    if (!(k > 0.0f) || k > kMaxRadialBlurRadius) return 0;
    return static_cast<int32_t>(ceilf(k));
}

struct RadialParams {
    uint32_t method = 0;
    float exponent = 1.0f;
    float reach = 0.0f;      // D
    float maxRadius = 0.0f;  // B
    PhotoRect rect;
    tileloop::Selector selector;
};

bool prepareRadial(const RadialBlurMod& mod, const ImageBuffer& image, const RenderArgs* args, RadialParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    p.method = methodOf(mod);
    const FloatValue* amount = mod.floatAt(0);
    if (!amount || amount->value == 0.0f) return false;
    const float falloff = tileloop::floatVar(mod, 1);
    p.exponent = 1.0f / powf(static_cast<float>(static_cast<double>(falloff) * -0.01 + 1.0), 1.68f);
    const float rr = static_cast<float>(static_cast<double>(tileloop::floatVar(mod, 2)) * 1.85);
    const RenderRegion* region = args ? args->region : nullptr;
    p.rect = photoRectOf(image, region);
    const float rw = static_cast<float>(p.rect.width);
    const float rh = static_cast<float>(p.rect.height);
    const float hw = rw * 0.5f;
    const float hh = rh * 0.5f;
    p.reach = sqrtf(hw * hw + hh * hh) * rr;
    p.maxRadius = radialBlurMaxRadius(amount->value, p.method, rw, rh);
    // NaN, 0 or less (no pixel would blur) and beyond any picture: unchanged.
    if (!(p.maxRadius > 0.0f) || p.maxRadius > kMaxRadialBlurRadius) return false;
    p.selector.mod = args ? asSelector(args->selector) : nullptr;
    p.selector.region = region;
    return true;
}

// Fills map with every pixel's radius k and returns the widest half-width
// ceil(k) among them.
template <class Sample>
int32_t radiusMap(const RadialParams& p, const ImageBuffer& image, float* map) {
    const int32_t width = image.width;
    const Sample* data = static_cast<const Sample*>(image.data);
    int32_t widest = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        const float dy = static_cast<float>(static_cast<int64_t>(y) - p.rect.cy);
        const float dy2 = dy * dy;
        float* out = map + static_cast<size_t>(y) * width;
        for (int32_t x = 0; x < width; ++x) {
            const float dx = static_cast<float>(static_cast<int64_t>(x) - p.rect.cx);
            const float t = sqrtf(dx * dx + dy2) / p.reach;
            const float f = vignetteRamp(t, p.exponent);
            const float k =
                p.selector ? (tileloop::weightAt(p.selector, image, x, y, data) * f) * p.maxRadius : f * p.maxRadius;
            out[x] = k;
            const int32_t m = halfWidthOf(k);
            widest = m > widest ? m : widest;
        }
    }
    return widest;
}

// Four floats in one register: the samples of a pixel of three or four
// channels (a fourth lane unused for three). Each lane keeps the IEEE float
// arithmetic of the scalar code.
typedef float v4f __attribute__((vector_size(16)));
typedef float v4fu __attribute__((vector_size(16), aligned(4), may_alias));

inline v4f load4(const float* p) { return *reinterpret_cast<const v4fu*>(p); }

// Pixels whose kernels are built and summed together, so that their
// independent sums overlap in the processor.
constexpr int32_t kGroup = 4;

// The raw bell weights of offsets d = 1..m for radius k (k1 = k + 1),
// written without branches so that the loop vectorises; the values of
// bellCurve. Its double steps are exact here and are taken in float: for a
// float u in [0.5, 1), 2 - 2u is a float; 1 - y for y = s^2 / 2 is exact in
// double from y >= 2^-30 on (one rounding to float, as the float
// subtraction rounds), and below that both give 1.
TILE_ROW_KERNEL void bellRawWeights(float k1, int32_t m, float* raw) {
    for (int32_t d = 1; d <= m; ++d) {
        const float u = 1.0f - static_cast<float>(d) / k1;
        const float twice = 2.0f * u;
        const float low = twice * twice * 0.5f;
        const float s = 2.0f - twice;
        const float high = 1.0f - 0.5f * (s * s);
        raw[d] = u <= 0.0f ? 0.0f : (u < 0.5f ? low : (u < 1.0f ? high : 1.0f));
    }
}

// The normalised bell of half-width m into kernel[0..2m]: raw[d] / total
// at offsets +-d, the centre 1 / total.
TILE_ROW_KERNEL void normaliseBell(const float* __restrict raw, int32_t m, float total, float* __restrict kernel) {
    float* __restrict right = kernel + m;
    right[0] = 1.0f / total;
    for (int32_t d = 1; d <= m; ++d) right[d] = raw[d] / total;
    const float* __restrict weights = kernel + m + 1;
    for (int32_t i = 0; i < m; ++i) kernel[i] = weights[m - 1 - i];
}

// The kernels of `count` pixels (at most kGroup) of radii k[g] into
// kernels + g stride, as makeBellKernel and makeBoxKernel build them; the
// bell's sums of raw weights run side by side. m[g] receives the
// half-widths (all above 0: the caller groups only blurred pixels).
void groupKernels(uint32_t method, const float* k, int32_t count, int32_t* m, float* kernels, size_t stride,
                  float* raw) {
    if (method != 0) {
        for (int32_t g = 0; g < count; ++g) m[g] = makeBoxKernel(kernels + g * stride, k[g]);
        return;
    }
    int32_t shortest = 0;
    for (int32_t g = 0; g < count; ++g) {
        m[g] = halfWidthOf(k[g]);
        bellRawWeights(k[g] + 1.0f, m[g], raw + g * stride);
        shortest = g == 0 || m[g] < shortest ? m[g] : shortest;
    }
    float sums[kGroup] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (count == kGroup) {
        const float* r0 = raw;
        const float* r1 = raw + stride;
        const float* r2 = raw + 2 * stride;
        const float* r3 = raw + 3 * stride;
        for (int32_t d = 1; d <= shortest; ++d) {
            sums[0] += r0[d];
            sums[1] += r1[d];
            sums[2] += r2[d];
            sums[3] += r3[d];
        }
    } else {
        shortest = 0;
    }
    for (int32_t g = 0; g < count; ++g) {
        const float* r = raw + g * stride;
        for (int32_t d = shortest + 1; d <= m[g]; ++d) sums[g] += r[d];
        normaliseBell(r, m[g], 1.0f + 2.0f * sums[g], kernels + g * stride);
    }
}

// acc[c] = sum over j of w[j] src[j n + c], j = 0..taps-1 in order, from 0.
inline void tapSums(const float* src, const float* w, int32_t taps, int32_t n, float* acc) {
    for (int32_t c = 0; c < n; ++c) acc[c] = 0.0f;
    for (int32_t j = 0; j < taps; ++j) {
        const float wj = w[j];
        const float* s = src + static_cast<ptrdiff_t>(j) * n;
        for (int32_t c = 0; c < n; ++c) acc[c] += wj * s[c];
    }
}

// The same for pixels of four lanes, `count` of them side by side up to the
// shortest kernel, each then finishing its own taps.
inline void groupTapSums(const float* const* src, const float* kernels, size_t stride, const int32_t* m,
                         int32_t count, v4f* out) {
    int32_t shared = 0;
    if (count == kGroup) {
        shared = 2 * m[0] + 1;
        for (int32_t g = 1; g < kGroup; ++g) shared = 2 * m[g] + 1 < shared ? 2 * m[g] + 1 : shared;
        const float* w0 = kernels;
        const float* w1 = kernels + stride;
        const float* w2 = kernels + 2 * stride;
        const float* w3 = kernels + 3 * stride;
        v4f a0 = {0.0f, 0.0f, 0.0f, 0.0f};
        v4f a1 = a0, a2 = a0, a3 = a0;
        for (int32_t j = 0; j < shared; ++j) {
            a0 += w0[j] * load4(src[0] + 4 * j);
            a1 += w1[j] * load4(src[1] + 4 * j);
            a2 += w2[j] * load4(src[2] + 4 * j);
            a3 += w3[j] * load4(src[3] + 4 * j);
        }
        out[0] = a0;
        out[1] = a1;
        out[2] = a2;
        out[3] = a3;
    } else {
        for (int32_t g = 0; g < count; ++g) out[g] = v4f{0.0f, 0.0f, 0.0f, 0.0f};
    }
    for (int32_t g = 0; g < count; ++g) {
        const float* w = kernels + g * stride;
        v4f a = out[g];
        for (int32_t j = shared; j < 2 * m[g] + 1; ++j) a += w[j] * load4(src[g] + 4 * j);
        out[g] = a;
    }
}

// The scratch of one task of a kernel pass.
struct KernelScratch {
    Scratch<float> lines;
    Scratch<float> runSums;
    Scratch<float> kernels;
    Scratch<float> raw;
    Scratch<float> acc;
    void trim() {
        lines.trim();
        runSums.trim();
        kernels.trim();
        raw.trim();
        acc.trim();
    }
};

KernelScratch& kernelScratch() {
    static thread_local KernelScratch scratch;
    return scratch;
}

// One pass of the bell or box method: every pixel with k > 0 takes its
// kernel's sum along rows (vertical false) or columns (vertical true) of
// the image as it stood before the pass. The sums are stored unclamped in
// float, truncated in bytes. Blocks of rows (or strips of columns) are
// independent tasks of a parallel loop: threads that the pipeline's bands
// leave idle help, and each pixel is computed alike whoever computes it.
template <class Sample>
bool kernelPass(ImageBuffer& image, const float* map, int32_t widest, uint32_t method, bool vertical) {
    if (widest < 1) return true;
    const int32_t width = image.width;
    const int32_t height = image.height;
    const int32_t channels = image.channelCount();
    // Pixels of three or four channels are kept in four lanes.
    const int32_t lanes = channels == 3 || channels == 4 ? 4 : channels;
    const size_t rowLength = static_cast<size_t>(width) * channels;
    const int32_t strip = vertical ? kColumnStrip : kRowBlock;
    const size_t lineLength = static_cast<size_t>(vertical ? height : width) + 2 * static_cast<size_t>(widest);
    const size_t stride = 2 * static_cast<size_t>(widest) + 1;
    Sample* data = static_cast<Sample*>(image.data);
    const int32_t extent = vertical ? width : height;
    const int32_t tasks = (extent + strip - 1) / strip;
    // The line copies, and room after them for the whole blocks kernelSums reads.
    const size_t linesLength = lineLength * lanes * (vertical ? strip : 1) + kKernelSumsBlock;
    const size_t runSumsLength =
        (static_cast<size_t>(vertical ? height : width) * lanes + kKernelSumsBlock - 1) / kKernelSumsBlock *
        kKernelSumsBlock;
    std::atomic<bool> failed{false};

    parallelFor(tasks, 0.5f, [&](int32_t task) {
        KernelScratch& scratch = kernelScratch();
        float* lines = scratch.lines.get(linesLength);
        float* kernels = scratch.kernels.get(stride * kGroup);
        float* raw = scratch.raw.get(stride * kGroup);
        float* acc = scratch.acc.get(static_cast<size_t>(channels));
        float* runSums = scratch.runSums.get(runSumsLength);
        if (lines) std::fill(lines + linesLength - kKernelSumsBlock, lines + linesLength, 0.0f);
        if (!lines || !kernels || !raw || !acc || !runSums) {
            failed = true;
            return;
        }
        // A group of blurred pixels waiting for their sums: where they are
        // and where their taps start in their line copies.
        int32_t count = 0;
        int32_t gx[kGroup], gy[kGroup], m[kGroup];
        float gk[kGroup];
        const float* gline[kGroup];
        int64_t gat[kGroup];
        int32_t gpad[kGroup];
        // Every slot's kernel is that of the radius builtFor when it is not
        // NaN: neighbouring pixels often share a radius (every pixel but the
        // centre with Radius 0, the edges of the photo at the full ramp), and
        // then the kernels need not be built again.
        float builtFor = std::numeric_limits<float>::quiet_NaN();
        int32_t builtHalfWidth = 0;
        auto flush = [&]() {
            if (count == 0) return;
            bool built = true;
            for (int32_t g = 0; g < count; ++g) built &= gk[g] == builtFor;
            if (built) {
                for (int32_t g = 0; g < count; ++g) m[g] = builtHalfWidth;
            } else {
                groupKernels(method, gk, count, m, kernels, stride, raw);
                bool same = count == kGroup;
                for (int32_t g = 1; g < count; ++g) same &= gk[g] == gk[0];
                builtFor = same ? gk[0] : std::numeric_limits<float>::quiet_NaN();
                builtHalfWidth = m[0];
            }
            const float* src[kGroup] = {nullptr, nullptr, nullptr, nullptr};
            for (int32_t g = 0; g < count; ++g) src[g] = gline[g] + (gat[g] + gpad[g] - m[g]) * lanes;
            if (lanes == 4) {
                v4f sums[kGroup];
                groupTapSums(src, kernels, stride, m, count, sums);
                for (int32_t g = 0; g < count; ++g) {
                    Sample* px = data + static_cast<size_t>(gy[g]) * rowLength + static_cast<size_t>(gx[g]) * channels;
                    for (int32_t c = 0; c < channels; ++c) tileloop::store(px[c], sums[g][c]);
                }
            } else {
                for (int32_t g = 0; g < count; ++g) {
                    tapSums(src[g], kernels + g * stride, 2 * m[g] + 1, channels, acc);
                    Sample* px = data + static_cast<size_t>(gy[g]) * rowLength + static_cast<size_t>(gx[g]) * channels;
                    for (int32_t c = 0; c < channels; ++c) tileloop::store(px[c], acc[c]);
                }
            }
            count = 0;
        };
        auto add = [&](int32_t x, int32_t y, const float* line, int64_t at, int32_t pad) {
            const float k = map[static_cast<size_t>(y) * width + x];
            if (halfWidthOf(k) == 0) return;
            gx[count] = x;
            gy[count] = y;
            gk[count] = k;
            gline[count] = line;
            gat[count] = at;
            gpad[count] = pad;
            if (++count == kGroup) flush();
        };
        // The pixels [from, to) of a line (at positions from + pad ...) that
        // share the radius k, one kernel over the run: each lane sums the
        // same taps in the same order as a pixel alone would.
        auto addRun = [&](const float* line, int32_t from, int32_t to, int32_t pad, float k, auto&& pixelAt) {
            flush();
            float kOne[1] = {k};
            int32_t mOne[1];
            groupKernels(method, kOne, 1, mOne, kernels, stride, raw);
            builtFor = std::numeric_limits<float>::quiet_NaN();  // slot 0 changed
            const int32_t half = mOne[0];
            kernelSums(line + static_cast<ptrdiff_t>(from + pad - half) * lanes, kernels, 2 * half + 1, lanes,
                       (to - from) * lanes, runSums);
            for (int32_t i = from; i < to; ++i) {
                Sample* px = pixelAt(i);
                const float* sum = runSums + static_cast<size_t>(i - from) * lanes;
                for (int32_t c = 0; c < channels; ++c) tileloop::store(px[c], sum[c]);
            }
        };
        // The pixels [0, count) of a line: runs of one radius together,
        // the other pixels in groups.
        auto addLine = [&](const float* line, int32_t count, int32_t pad, auto&& radiusAt, auto&& addOne,
                           auto&& pixelAt) {
            for (int32_t i = 0; i < count;) {
                const float k = radiusAt(i);
                int32_t end = i + 1;
                while (end < count && radiusAt(end) == k) ++end;
                if (end - i >= kRunPixels && halfWidthOf(k) > 0) {
                    addRun(line, i, end, pad, k, pixelAt);
                } else {
                    for (int32_t j = i; j < end; ++j) addOne(j);
                }
                i = end;
            }
        };
        // One pixel into a line of `lanes` floats per pixel.
        auto copyPixel = [&](const Sample* px, float* out) {
            for (int32_t c = 0; c < channels; ++c) out[c] = static_cast<float>(px[c]);
            for (int32_t c = channels; c < lanes; ++c) out[c] = 0.0f;
        };

        const int32_t first = task * strip;
        const int32_t end = first + strip < extent ? first + strip : extent;
        if (!vertical) {
            for (int32_t y = first; y < end; ++y) {
                const float* mapRow = map + static_cast<size_t>(y) * width;
                int32_t pad = 0;
                for (int32_t x = 0; x < width; ++x) {
                    const int32_t mx = halfWidthOf(mapRow[x]);
                    pad = mx > pad ? mx : pad;
                }
                if (pad == 0) continue;
                const Sample* row = data + static_cast<size_t>(y) * rowLength;
                float* line = lines;
                for (int64_t i = -pad; i < width + pad; ++i, line += lanes)
                    copyPixel(row + static_cast<size_t>(clampIndex(i, width)) * channels, line);
                addLine(
                    lines, width, pad, [&](int32_t x) { return mapRow[x]; },
                    [&](int32_t x) { add(x, y, lines, x, pad); },
                    [&](int32_t x) { return data + static_cast<size_t>(y) * rowLength + static_cast<size_t>(x) * channels; });
                flush();  // the row is written before the next one is copied
            }
        } else {
            int32_t pad = 0;
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = first; x < end; ++x) {
                    const int32_t mx = halfWidthOf(map[static_cast<size_t>(y) * width + x]);
                    pad = mx > pad ? mx : pad;
                }
            if (pad > 0) {
                // Gather the strip's columns, each contiguous, rows repeated
                // at the edges; no other task reads or writes them.
                const size_t columnLength = static_cast<size_t>(height) + 2 * static_cast<size_t>(pad);
                for (int64_t r = -pad; r < height + pad; ++r) {
                    const Sample* row = data + static_cast<size_t>(clampIndex(r, height)) * rowLength;
                    for (int32_t x = first; x < end; ++x) {
                        const size_t at = static_cast<size_t>(x - first) * columnLength + static_cast<size_t>(r + pad);
                        copyPixel(row + static_cast<size_t>(x) * channels, lines + at * lanes);
                    }
                }
                for (int32_t x = first; x < end; ++x) {
                    const float* column = lines + static_cast<size_t>(x - first) * columnLength * lanes;
                    addLine(
                        column, height, pad, [&](int32_t y) { return map[static_cast<size_t>(y) * width + x]; },
                        [&](int32_t y) { add(x, y, column, y, pad); },
                        [&](int32_t y) {
                            return data + static_cast<size_t>(y) * rowLength + static_cast<size_t>(x) * channels;
                        });
                }
                flush();
            }
        }
        scratch.trim();
    });
    return !failed;
}

template <class Sample>
void radialBody(const RadialBlurMod& mod, ImageBuffer& image, const RenderArgs* args) {
    RadialParams p;
    if (!prepareRadial(mod, image, args, p)) return;
    const size_t pixels = static_cast<size_t>(image.width) * image.height;
    std::unique_ptr<float[]> map(new (std::nothrow) float[pixels]);
    if (!map) return;
    int32_t widest = radiusMap<Sample>(p, image, map.get());
    if (p.method > 1) {
        // The discs read the image as it stood before the pass: a disc
        // reaches into pixels that others write.
        ImageBuffer source;
        if constexpr (std::is_same<Sample, uint8_t>::value)
            ImageBuffer::copy8(source, image, true);
        else
            ImageBuffer::copyFloat(source, image, true);
        if (!source.data) return;
        // The tiles are cut by the largest radius B, the same for every
        // band of the picture; pixels of B share one disc.
        const int32_t reach = std::max(halfWidthOf(p.maxRadius), widest);
        if constexpr (std::is_same<Sample, uint8_t>::value)
            discAverages8(source, image, map.get(), p.maxRadius, reach, 3);
        else
            discAverages(source, image, map.get(), p.maxRadius, reach, 3);
        return;
    }
    if (!kernelPass<Sample>(image, map.get(), widest, p.method, false)) return;
    if (p.selector) widest = radiusMap<Sample>(p, image, map.get());
    kernelPass<Sample>(image, map.get(), widest, p.method, true);
    if constexpr (std::is_same<Sample, float>::value) {
        float* s = image.floats();
        const int64_t count = image.sampleCount();
        for (int64_t i = 0; i < count; ++i) s[i] = tileloop::clampSample(s[i]);
    }
}

}  // namespace

float radialBlurMaxRadius(float amount, uint32_t method, float photoWidth, float photoHeight) {
    const float g = method == 0 ? 1.5f : 1.0f;
    const float perPixels = amount * g * 30.0f;
    const float w = static_cast<float>(saturatingInt(static_cast<double>(photoWidth)));
    const float h = static_cast<float>(saturatingInt(static_cast<double>(photoHeight)));
    const float side = w > h ? w : h;
    return static_cast<float>(static_cast<double>(perPixels) * 0.0008333333333333334 * static_cast<double>(side));
}

int32_t makeBoxKernel(float* kernel, float k) {
    const int32_t m = halfWidthOf(k);
    if (m == 0) return 0;
    const float frac = k - static_cast<float>(m) + 1.0f;
    const float sum = 2.0f * frac + static_cast<float>(2 * m - 1);
    const float end = frac / sum;
    const float middle = 1.0f / sum;
    kernel[0] = end;
    for (int32_t j = 1; j < 2 * m; ++j) kernel[j] = middle;
    kernel[2 * m] = end;
    return m;
}

int32_t makeBellKernel(float* kernel, float k) {
    const int32_t m = halfWidthOf(k);
    if (m == 0) return 0;
    const float k1 = k + 1.0f;
    float* right = kernel + m;  // offsets 0..m
    float sum = 0.0f;
    for (int32_t d = 1; d <= m; ++d) {
        right[d] = bellCurve(1.0f - static_cast<float>(d) / k1);
        sum += right[d];
    }
    const float total = 1.0f + 2.0f * sum;
    right[0] = 1.0f / total;
    for (int32_t d = 1; d <= m; ++d) {
        right[d] = right[d] / total;
        kernel[m - d] = right[d];
    }
    return m;
}

RadialBlurMod::RadialBlurMod(float amount, float radius)
    : ImageMod(GrowString("Radial Blur"), GrowString("Circular Blur")) {
    version = kNewestVersion;
    ModVar* amountVar = addFloatVar("Amount", amount, 0.0f, 1.0f);
    FloatValue* amountValue = amountVar->floatValue();
    amountValue->displayLow = 0.0f;
    amountValue->displayHigh = 100.0f;
    amountValue->useDisplayRange = 1;
    ModVar* falloffVar = addFloatVar("Falloff", 50.0f, 0.0f, 100.0f);
    ModVar* radiusVar = addFloatVar("Radius", radius, 0.0f, 2.0f);
    GrowArray<GrowString> methods;
    methods.append(GrowString("Gaussian"));
    methods.append(GrowString("Box"));
    methods.append(GrowString("Circle"));
    ModVar* methodVar = addVar(ModVar("Blur Method", new ChoiceValue(methods, 0)));
    description = kDescription;
    addAnimTrack(amountVar, "1 .25 1", 2.348f);
    addAnimTrack(falloffVar, "35 80 35", 3.343f);
    addAnimTrack(radiusVar, ".75 1.2 .75", 2.844f);
    addChoiceAnimTrack(methodVar, methods, static_cast<float>(methods.count) * 1.91f);
}

ImageMod* RadialBlurMod::clone() const { return new RadialBlurMod(0.5f, 1.0f); }

// The rows the widest kernel reaches, plus one: ceil(B) + 1 with B computed
// as the body computes it, the picture's size standing in for the photo's
// (which is never larger), so that B here is never below the body's.
// Clamped to the height; 0 when the body leaves the image alone anyway.
int32_t RadialBlurMod::marginFor(int32_t width, int32_t height, float) const {
    const FloatValue* amount = floatAt(0);
    const float b = radialBlurMaxRadius(amount ? amount->value : 0.0f, methodOf(*this), static_cast<float>(width),
                                        static_cast<float>(height));
    if (isnan(b) || b > kMaxRadialBlurRadius) return 0;
    const float rows = b > 0.0f ? ceilf(b) + 1.0f : 1.0f;
    if (height > 0 && rows >= static_cast<float>(height)) return height;
    return static_cast<int32_t>(rows);
}

void RadialBlurMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void RadialBlurMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void RadialBlurMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    radialBody<uint8_t>(*this, image, args);
}
void RadialBlurMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    radialBody<float>(*this, image, args);
}
