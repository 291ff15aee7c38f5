#include "effects/RadialBlur.h"

#include <math.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

#include "adjustments/TileVars.h"
#include "effects/Vignette.h"
#include "framework/SelectorMod.h"
#include "pixels/Convolution.h"
#include "pixels/RowLoops.h"
#include "pixels/ScratchArray.h"
#include "platform/ParallelFor.h"

// How the body runs.
//
// A map of every pixel's radius k is made first (one powf and one square
// root per pixel), so the passes need no ramp and a selector is asked once
// per pixel and pass. Without a selector one map serves both passes of the
// bell and box methods; with one the columns pass gets a map of its own,
// measured on the rows pass's result, as the selector sees it there.
//
// Rows pass: a block of rows is copied aside, one plane per channel, edges
// repeated as far as its widest kernel reaches. Columns pass: the image is
// worked in strips of a few columns, each gathered into contiguous column
// copies the same way. Along such a line, runs of pixels of one radius
// share one kernel; the other pixels are summed eight neighbours at a time,
// one in each vector lane, their kernels built side by side (the lanes'
// divisions are the scalar code's), each lane summing its own taps in
// their order and weights of 0 beyond them.
//
// Disc: the convolution core's discs of a radius per pixel (discAverages)
// over a copy of the image, with the map as the radii.
//
// Threads: blocks of rows and strips of columns are tasks of a nested
// parallel loop (the disc's tiles too), so that threads the pipeline's
// bands leave idle (a margin of 151 rows cuts 4000 rows into 9 bands for 8
// threads) help. A task writes only its own rows or columns, and every
// pixel is computed by the same code whichever thread runs it.

namespace {

// The vars, in the order the constructor adds them.
enum RadialBlurVar : int32_t { kAmount = 0, kFalloff = 1, kRadius = 2, kMethod = 3 };

const char* const kDescription =
    "Blur in a circle around the edges of an image. Falloff affects how quickly the blur intensity grows as it gets "
    "further from the center of the image.";

// Columns per task of the columns pass, rows per task of the rows pass.
constexpr int32_t kColumnStrip = 16;
constexpr int32_t kRowBlock = 8;
// Neighbouring pixels of one radius summed as one run along their line.
constexpr int32_t kRunPixels = 8;

// Scratch memory of the calling thread (ScratchArray), reused by its later
// tasks, so that a strip or a block of rows allocates nothing once its
// thread has served one as large. Blocks above kKeptScratchBytes are freed
// when a task ends.
constexpr size_t kKeptScratchBytes = size_t(64) << 20;

uint32_t methodOf(const ImageMod& mod) {
    const ModVar* v = mod.var(kMethod);
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
    const FloatValue* amount = mod.floatAt(kAmount);
    if (!amount || amount->value == 0.0f) return false;
    const float falloff = tileloop::floatVar(mod, kFalloff);
    p.exponent = 1.0f / powf(static_cast<float>(static_cast<double>(falloff) * -0.01 + 1.0), 1.68f);
    const float rr = static_cast<float>(static_cast<double>(tileloop::floatVar(mod, kRadius)) * 1.85);
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

// Pixels whose kernels are built and summed side by side, one in each lane
// of a vector: neighbours along a line (a row, or a column in the columns
// pass), whose radii are nearly the same. Each lane keeps the IEEE float
// arithmetic of the scalar code.
constexpr int32_t kLanes = 8;
typedef float LaneFloats __attribute__((vector_size(4 * kLanes)));
typedef float LaneFloatsAt __attribute__((vector_size(4 * kLanes), aligned(4), may_alias));

// These helpers are always inlined into the kernels' copies, so the note
// that a 32-byte vector is returned differently with and without AVX
// concerns no call ever made (it is off to the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"
TILE_INLINE LaneFloats loadLanes(const float* p) { return *reinterpret_cast<const LaneFloatsAt*>(p); }
TILE_INLINE void storeLanes(float* p, LaneFloats v) { *reinterpret_cast<LaneFloatsAt*>(p) = v; }

// The kernels of kLanes pixels of radii k[p] side by side, as makeBellKernel
// (method 0) and makeBoxKernel (other methods) build them: weights[j kLanes
// + p] is pixel p's weight at offset j - half (j = 0..2 half, half the widest
// of their half-widths, returned), 0 beyond its own half-width; a radius
// without a half-width (0, NaN, beyond the limit) gets no weights at all.
// raw needs room for (half + 1) kLanes floats. The bell's raw weights are
// bellCurve's, its double steps taken in float where they are exact: for a
// float u in [0.5, 1), 2 - 2u is a float; 1 - y for y = s^2 / 2 is exact in
// double from y >= 2^-30 on (one rounding to float, as the float
// subtraction rounds), and below that both give 1.
TILE_TARGET_CLONES
int32_t laneKernels(uint32_t method, const float* radii, float* raw, float* weights) {
    LaneFloats k = {}, m = {};
    int32_t half = 0;
    for (int32_t p = 0; p < kLanes; ++p) {
        const int32_t h = halfWidthOf(radii[p]);
        k[p] = h > 0 ? radii[p] : 0.0f;
        m[p] = static_cast<float>(h);
        half = h > half ? h : half;
    }
    if (half == 0) return 0;
    const LaneFloats zero = {};
    const LaneFloats none = m > zero ? zero + 1.0f : zero;  // 0 for lanes without a kernel
    if (method != 0) {
        const LaneFloats frac = k - m + 1.0f;
        const LaneFloats sum = 2.0f * frac + (2.0f * m - 1.0f);
        const LaneFloats end = frac / sum * none;
        const LaneFloats middle = 1.0f / sum * none;
        for (int32_t j = 0; j <= 2 * half; ++j) {
            const LaneFloats offset = zero + static_cast<float>(j < half ? half - j : j - half);
            storeLanes(weights + static_cast<size_t>(j) * kLanes,
                       offset < m ? middle : (offset == m ? end : zero));
        }
        return half;
    }
    const LaneFloats k1 = k + 1.0f;
    LaneFloats sum = zero;
    for (int32_t d = 1; d <= half; ++d) {
        const LaneFloats at = zero + static_cast<float>(d);
        const LaneFloats u = 1.0f - at / k1;
        const LaneFloats twice = 2.0f * u;
        const LaneFloats low = twice * twice * 0.5f;
        const LaneFloats s = 2.0f - twice;
        const LaneFloats high = 1.0f - 0.5f * (s * s);
        LaneFloats r = u < 1.0f ? high : zero + 1.0f;
        r = u < 0.5f ? low : r;
        r = (u <= 0.0f) | (at > m) ? zero : r;
        storeLanes(raw + static_cast<size_t>(d) * kLanes, r);
        sum += r;
    }
    const LaneFloats total = 1.0f + 2.0f * sum;
    storeLanes(weights + static_cast<size_t>(half) * kLanes, 1.0f / total * none);
    for (int32_t d = 1; d <= half; ++d) {
        const LaneFloats w = loadLanes(raw + static_cast<size_t>(d) * kLanes) / total;
        storeLanes(weights + static_cast<size_t>(half + d) * kLanes, w);
        storeLanes(weights + static_cast<size_t>(half - d) * kLanes, w);
    }
    return half;
}

// The sums of kLanes neighbours along a line: lane p of channel c sums
// weights[j kLanes + p] · lines[c][p + j] for j = 0..taps-1 in order, from
// 0 (lines[c] points at lane 0's first tap), into sums[c kLanes + p]. A
// lane whose taps end before the others' has weights 0 there, and a
// product 0 · v changes no sum unless v is not finite: with leaveOut such
// taps are left out.
template <int32_t Channels, bool LeaveOut>
TILE_INLINE void laneSumsOf(const float* const* lines, int32_t taps, const float* weights, float* sums) {
    LaneFloats acc[Channels] = {};
    for (int32_t j = 0; j < taps; ++j) {
        const LaneFloats w = loadLanes(weights + static_cast<size_t>(j) * kLanes);
#pragma GCC unroll 4
        for (int32_t c = 0; c < Channels; ++c) {
            const LaneFloats v = w * loadLanes(lines[c] + j);
            acc[c] = LeaveOut ? (w > LaneFloats{} ? acc[c] + v : acc[c]) : acc[c] + v;
        }
    }
#pragma GCC unroll 4
    for (int32_t c = 0; c < Channels; ++c) storeLanes(sums + static_cast<size_t>(c) * kLanes, acc[c]);
}

TILE_TARGET_CLONES
void laneSums(const float* const* lines, int32_t channels, int32_t taps, const float* weights, bool leaveOut,
              float* sums) {
    for (int32_t c0 = 0; c0 < channels; c0 += 4) {
        const float* const* l = lines + c0;
        float* s = sums + static_cast<size_t>(c0) * kLanes;
        switch ((channels - c0 < 4 ? channels - c0 : 4) * 2 + (leaveOut ? 1 : 0)) {
            case 2: laneSumsOf<1, false>(l, taps, weights, s); break;
            case 3: laneSumsOf<1, true>(l, taps, weights, s); break;
            case 4: laneSumsOf<2, false>(l, taps, weights, s); break;
            case 5: laneSumsOf<2, true>(l, taps, weights, s); break;
            case 6: laneSumsOf<3, false>(l, taps, weights, s); break;
            case 7: laneSumsOf<3, true>(l, taps, weights, s); break;
            case 8: laneSumsOf<4, false>(l, taps, weights, s); break;
            default: laneSumsOf<4, true>(l, taps, weights, s); break;
        }
    }
}

// The scratch of one task of a kernel pass.
struct KernelScratch {
    ScratchArray<float> samples;
    ScratchArray<float> sums;
    ScratchArray<float> kernel;
    ScratchArray<float> raw;
    ScratchArray<uint8_t> waiting;
    ScratchArray<uint8_t> nonFinite;
    ScratchArray<const float*> lines;
    void trim() {
        samples.releaseAbove(kKeptScratchBytes / sizeof(float));
        sums.releaseAbove(kKeptScratchBytes / sizeof(float));
        kernel.releaseAbove(kKeptScratchBytes / sizeof(float));
        raw.releaseAbove(kKeptScratchBytes / sizeof(float));
        waiting.releaseAbove(kKeptScratchBytes);
    }
};

KernelScratch& kernelScratch() {
    static thread_local KernelScratch scratch;
    return scratch;
}

// The lines of a task of a kernel pass (rows of the rows pass, columns of
// the columns pass), each a copy of its samples, one plane per channel,
// the pixel at position i at pad + i, edges repeated pad positions out,
// then room for the lanes of a last group and the whole blocks kernelSums
// reads. Runs of kRunPixels or more pixels of one radius along a line share
// one kernel (kernelSums: each sample with the operations it would have
// alone); the other pixels with k > 0 are summed kLanes neighbours at a
// time, each with its own kernel.
struct KernelTask {
    uint32_t method = 0;
    int32_t channels = 0;
    int32_t count = 0;   // pixels of a line
    int32_t pad = 0;     // the widest half-width of the task's pixels
    size_t stride = 0;   // floats per line of a plane
    size_t planeFloats = 0;
    float* samples = nullptr;
    KernelScratch* scratch = nullptr;

    float* line(int32_t l, int32_t c) const {
        return samples + static_cast<size_t>(c) * planeFloats + static_cast<size_t>(l) * stride;
    }
};

constexpr size_t kLineSlack = kLanes + kKernelSumsBlock;

// The pixels of line l of a task: radiusAt(i) is pixel i's radius,
// store(i, sums, step) hands pixel i's channel sums sums[c step];
// nonFinite: the line holds a NaN or an infinity. False when scratch
// memory cannot be had.
template <class RadiusAt, class Store>
bool taskLineSums(const KernelTask& task, int32_t l, bool nonFinite, RadiusAt&& radiusAt, Store&& store) {
    KernelScratch& scratch = *task.scratch;
    const int32_t channels = task.channels;
    const int32_t count = task.count;
    const size_t runLength = static_cast<size_t>(count + kKernelSumsBlock - 1) / kKernelSumsBlock * kKernelSumsBlock;
    if (!scratch.kernel.reserve((2 * static_cast<size_t>(task.pad) + 1) * kLanes) ||
        !scratch.raw.reserve((static_cast<size_t>(task.pad) + 1) * kLanes) ||
        !scratch.sums.reserve(runLength * static_cast<size_t>(channels)) ||
        !scratch.waiting.reserve(static_cast<size_t>(count) + kLanes) ||
        !scratch.lines.reserve(2 * static_cast<size_t>(channels)))
        return false;
    float* kernel = scratch.kernel.get();
    float* raw = scratch.raw.get();
    float* sums = scratch.sums.get();
    uint8_t* waiting = scratch.waiting.get();
    const float** lines = scratch.lines.get();  // then the taps
    for (int32_t c = 0; c < channels; ++c) lines[c] = task.line(l, c) + task.pad;
    std::fill(waiting, waiting + count + kLanes, 0);
    for (int32_t i = 0; i < count;) {
        const float k = radiusAt(i);
        int32_t end = i + 1;
        while (end < count && radiusAt(end) == k) ++end;
        const int32_t half = halfWidthOf(k);
        if (end - i >= kRunPixels && half > 0) {
            if (task.method == 0)
                makeBellKernel(kernel, k);
            else
                makeBoxKernel(kernel, k);
            for (int32_t c = 0; c < channels; ++c)
                kernelSums(lines[c] + i - half, kernel, 2 * half + 1, 1, end - i, sums + runLength * c);
            for (int32_t j = i; j < end; ++j) store(j, sums + (j - i), runLength);
        } else if (half > 0) {
            std::fill(waiting + i, waiting + end, 1);
        }
        i = end;
    }
    const float** taps = lines + channels;
    for (int32_t i = 0; i < count; ++i) {
        if (!waiting[i]) continue;
        float radii[kLanes];
        for (int32_t p = 0; p < kLanes; ++p) radii[p] = waiting[i + p] ? radiusAt(i + p) : 0.0f;
        const int32_t half = laneKernels(task.method, radii, raw, kernel);
        for (int32_t c = 0; c < channels; ++c) taps[c] = lines[c] + i - half;
        laneSums(taps, channels, 2 * half + 1, kernel, nonFinite, sums);
        for (int32_t p = 0; p < kLanes; ++p)
            if (waiting[i + p]) store(i + p, sums + p, kLanes);
        i += kLanes - 1;
    }
    return true;
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
    const int32_t strip = vertical ? kColumnStrip : kRowBlock;
    Sample* data = static_cast<Sample*>(image.data);
    const int32_t extent = vertical ? width : height;
    const int32_t tasks = (extent + strip - 1) / strip;
    std::atomic<bool> failed{false};

    parallelFor(tasks, 0.5f, [&](int32_t index) {
        const int32_t first = index * strip;
        const int32_t lineCount = (first + strip < extent ? first + strip : extent) - first;
        // Pixel i of line l, and its radius.
        auto pixelOf = [&](int32_t l, int32_t i) {
            const int32_t x = vertical ? first + l : i;
            const int32_t y = vertical ? i : first + l;
            return static_cast<size_t>(y) * width + x;
        };
        KernelTask task;
        task.method = method;
        task.channels = channels;
        task.count = vertical ? height : width;
        for (int32_t l = 0; l < lineCount; ++l)
            for (int32_t i = 0; i < task.count; ++i) {
                const int32_t m = halfWidthOf(map[pixelOf(l, i)]);
                task.pad = m > task.pad ? m : task.pad;
            }
        if (task.pad == 0) return;
        const int32_t pad = task.pad;
        task.stride = static_cast<size_t>(task.count) + 2 * static_cast<size_t>(pad) + kLineSlack;
        task.planeFloats = task.stride * static_cast<size_t>(lineCount);
        KernelScratch& scratch = kernelScratch();
        task.scratch = &scratch;
        if (!scratch.samples.reserve(task.planeFloats * static_cast<size_t>(channels)) ||
            !scratch.nonFinite.reserve(static_cast<size_t>(lineCount))) {
            failed = true;
            return;
        }
        task.samples = scratch.samples.get();
        uint8_t* nonFinite = scratch.nonFinite.get();
        // Copy the lines, edges repeated; the slack is zero. Columns are
        // gathered kLanes rows at a time, so that each line is written a
        // run of samples at a time.
        std::fill(nonFinite, nonFinite + lineCount, 0);
        for (int32_t l = 0; l < lineCount; ++l)
            for (int32_t c = 0; c < channels; ++c)
                std::fill(task.line(l, c) + task.count + 2 * pad, task.line(l, c) + task.stride, 0.0f);
        const int32_t block = vertical ? kLanes : 1;
        for (int32_t r0 = -pad; r0 < task.count + pad; r0 += vertical ? block : task.count + 2 * pad) {
            const int32_t r1 = vertical ? (r0 + block < task.count + pad ? r0 + block : task.count + pad) : r0 + 1;
            for (int32_t l = 0; l < lineCount; ++l)
                for (int32_t c = 0; c < channels; ++c) {
                    float* out = task.line(l, c) + pad;
                    bool finite = true;
                    // Rows pass: the whole row; columns pass: rows [r0, r1).
                    const int32_t from = vertical ? r0 : -pad;
                    const int32_t to = vertical ? r1 : task.count + pad;
                    for (int32_t i = from; i < to; ++i) {
                        const float v = static_cast<float>(data[pixelOf(l, clampIndex(i, task.count)) * channels + c]);
                        out[i] = v;
                        finite &= std::isfinite(v);
                    }
                    nonFinite[l] |= !finite;
                }
        }
        for (int32_t l = 0; l < lineCount; ++l) {
            const bool ok = taskLineSums(
                task, l, nonFinite[l] != 0, [&](int32_t i) { return map[pixelOf(l, i)]; },
                [&](int32_t i, const float* sums, size_t step) {
                    Sample* px = data + pixelOf(l, i) * channels;
                    for (int32_t c = 0; c < channels; ++c) tileloop::store(px[c], sums[c * step]);
                });
            if (!ok) {
                failed = true;
                return;
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
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFloatVar("Amount", amount, 0.0f, 1.0f));
    tilevars::showAsPercent(*amountVar->floatValue(), 0.0f);
    ModVar* falloffVar = tilevars::placed(*this, kFalloff, addFloatVar("Falloff", 50.0f, 0.0f, 100.0f));
    ModVar* radiusVar = tilevars::placed(*this, kRadius, addFloatVar("Radius", radius, 0.0f, 2.0f));
    GrowArray<GrowString> methods;
    methods.append(GrowString("Gaussian"));
    methods.append(GrowString("Box"));
    methods.append(GrowString("Circle"));
    ModVar* methodVar = tilevars::placed(*this, kMethod, addVar(ModVar("Blur Method", new ChoiceValue(methods, 0))));
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
    const FloatValue* amount = floatAt(kAmount);
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
