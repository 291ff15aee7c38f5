#include "effects/RadialBlur.h"

#include <math.h>

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

#include "adjustments/PixelLoops.h"
#include "effects/Blur.h"
#include "effects/Vignette.h"
#include "framework/SelectorMod.h"

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
// Disc: the image is worked in strips of columns; the rows of a strip that
// the discs of the current output row reach are kept in a ring, each as an
// edge-padded float copy and its double prefix sums. A disc is symmetric
// about its centre row: the span of full cells (d < k) and the rim
// (k <= d < k + 1) of each row offset are found once per pixel by walking
// inward from the widest column, row offset by row offset.

namespace {

const char* const kDescription =
    "Blur in a circle around the edges of an image. Falloff affects how quickly the blur intensity grows as it gets "
    "further from the center of the image.";

// Samples whose size could swamp the double prefix sums of a row.
constexpr float kPrefixSafe = 1.0e7f;
// Distance tables are made for discs up to this half-width (1 MiB).
constexpr int32_t kDistanceTableLimit = 512;
// Columns per strip: the columns pass and the disc.
constexpr int32_t kColumnStrip = 16;
constexpr int32_t kDiscStrip = 256;

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

inline int32_t makeKernel(uint32_t method, float* kernel, float k) {
    return method == 0 ? makeBellKernel(kernel, k) : makeBoxKernel(kernel, k);
}

// acc[c] = sum over j of w[j] src[j n + c], j = 0..taps-1 in order, from 0.
template <class N>
inline void tapSums(const float* src, const float* w, int32_t taps, N n, float* acc) {
    const int32_t count = n;
    for (int32_t c = 0; c < count; ++c) acc[c] = 0.0f;
    for (int32_t j = 0; j < taps; ++j) {
        const float wj = w[j];
        const float* s = src + static_cast<ptrdiff_t>(j) * count;
        for (int32_t c = 0; c < count; ++c) acc[c] += wj * s[c];
    }
}

// One pass of the bell or box method: every pixel with k > 0 takes its
// kernel's sum along rows (vertical false) or columns (vertical true) of
// the image as it stood before the pass. The sums are stored unclamped in
// float, truncated in bytes.
template <class Sample>
bool kernelPass(ImageBuffer& image, const float* map, int32_t widest, uint32_t method, bool vertical) {
    if (widest < 1) return true;
    const int32_t width = image.width;
    const int32_t height = image.height;
    const int32_t channels = image.channelCount();
    const size_t rowLength = static_cast<size_t>(width) * channels;
    const int32_t strip = vertical ? kColumnStrip : 1;
    const size_t lineLength = static_cast<size_t>(vertical ? height : width) + 2 * static_cast<size_t>(widest);
    std::unique_ptr<float[]> lines(new (std::nothrow) float[lineLength * channels * strip]);
    std::unique_ptr<float[]> kernel(new (std::nothrow) float[2 * static_cast<size_t>(widest) + 1]);
    std::unique_ptr<float[]> acc(new (std::nothrow) float[channels]);
    if (!lines || !kernel || !acc) return false;
    Sample* data = static_cast<Sample*>(image.data);

    // The pixel (x, y) from its line copy, whose pixel `at` is (x, y) and
    // whose edges reach `pad` pixels out.
    auto blurPixel = [&](int32_t x, int32_t y, const float* line, int64_t at, int32_t pad) {
        const float k = map[static_cast<size_t>(y) * width + x];
        const int32_t m = makeKernel(method, kernel.get(), k);
        if (m == 0) return;
        const float* src = line + (at + pad - m) * channels;
        pixel::withChannels(channels, [&](auto n) { tapSums(src, kernel.get(), 2 * m + 1, n, acc.get()); });
        Sample* px = data + static_cast<size_t>(y) * rowLength + static_cast<size_t>(x) * channels;
        for (int32_t c = 0; c < channels; ++c) tileloop::store(px[c], acc[c]);
    };

    if (!vertical) {
        for (int32_t y = 0; y < height; ++y) {
            const float* mapRow = map + static_cast<size_t>(y) * width;
            int32_t pad = 0;
            for (int32_t x = 0; x < width; ++x) {
                const int32_t m = halfWidthOf(mapRow[x]);
                pad = m > pad ? m : pad;
            }
            if (pad == 0) continue;
            const Sample* row = data + static_cast<size_t>(y) * rowLength;
            float* line = lines.get();
            for (int64_t i = -pad; i < width + pad; ++i) {
                const Sample* px = row + static_cast<size_t>(clampIndex(i, width)) * channels;
                for (int32_t c = 0; c < channels; ++c) *line++ = static_cast<float>(px[c]);
            }
            for (int32_t x = 0; x < width; ++x) blurPixel(x, y, lines.get(), x, pad);
        }
        return true;
    }

    for (int32_t x0 = 0; x0 < width; x0 += strip) {
        const int32_t x1 = x0 + strip < width ? x0 + strip : width;
        int32_t pad = 0;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = x0; x < x1; ++x) {
                const int32_t m = halfWidthOf(map[static_cast<size_t>(y) * width + x]);
                pad = m > pad ? m : pad;
            }
        if (pad == 0) continue;
        // Gather the strip's columns, each contiguous, rows repeated at the edges.
        const size_t columnLength = static_cast<size_t>(height) + 2 * static_cast<size_t>(pad);
        for (int64_t r = -pad; r < height + pad; ++r) {
            const Sample* row = data + static_cast<size_t>(clampIndex(r, height)) * rowLength;
            for (int32_t x = x0; x < x1; ++x) {
                float* out = lines.get() + (static_cast<size_t>(x - x0) * columnLength + static_cast<size_t>(r + pad)) *
                                               channels;
                const Sample* px = row + static_cast<size_t>(x) * channels;
                for (int32_t c = 0; c < channels; ++c) out[c] = static_cast<float>(px[c]);
            }
        }
        for (int32_t x = x0; x < x1; ++x) {
            const float* column = lines.get() + static_cast<size_t>(x - x0) * columnLength * channels;
            for (int32_t y = 0; y < height; ++y) blurPixel(x, y, column, y, pad);
        }
    }
    return true;
}

// ---- Disc ----------------------------------------------------------------------

// Distances sqrtf(dx^2 + dy^2) of the disc's cells, from a table when the
// disc is small enough for one.
struct Distances {
    std::unique_ptr<float[]> table;
    int32_t side = 0;

    bool build(int32_t widest) {
        if (widest > kDistanceTableLimit) return true;
        side = widest + 1;
        table.reset(new (std::nothrow) float[static_cast<size_t>(side) * side]);
        if (!table) return false;
        for (int32_t dy = 0; dy < side; ++dy)
            for (int32_t dx = 0; dx < side; ++dx)
                table[static_cast<size_t>(dy) * side + dx] = sqrtf(static_cast<float>(dx * dx + dy * dy));
        return true;
    }
    float at(int32_t dx, int32_t dy) const {
        if (table) return table[static_cast<size_t>(dy) * side + dx];
        return sqrtf(static_cast<float>(static_cast<int64_t>(dx) * dx + static_cast<int64_t>(dy) * dy));
    }
};

// One row of a strip in the ring: its samples (the first `used` channels),
// edges repeated, and their prefix sums in double.
struct RingRow {
    const float* values = nullptr;
    const double* prefix = nullptr;
    bool direct = false;  // a sample too large for the prefix sums
};

template <class Sample>
bool discPass(ImageBuffer& image, const float* map, int32_t widest) {
    if (widest < 1) return true;
    const int32_t width = image.width;
    const int32_t height = image.height;
    const int32_t channels = image.channelCount();
    const int32_t used = channels < 3 ? channels : 3;
    const size_t rowLength = static_cast<size_t>(width) * channels;
    const int32_t ringCapacity = 2 * widest + 1 < height ? 2 * widest + 1 : height;
    const size_t maxLine = static_cast<size_t>(kDiscStrip) + 2 * static_cast<size_t>(widest);

    Distances distances;
    if (!distances.build(widest)) return false;
    std::unique_ptr<float[]> values(new (std::nothrow) float[static_cast<size_t>(ringCapacity) * maxLine * used]);
    std::unique_ptr<double[]> prefix(new (std::nothrow) double[static_cast<size_t>(ringCapacity) * (maxLine + 1) * used]);
    std::unique_ptr<bool[]> direct(new (std::nothrow) bool[ringCapacity]);
    std::unique_ptr<RingRow[]> rows(new (std::nothrow) RingRow[2 * static_cast<size_t>(widest) + 1]);
    std::unique_ptr<int32_t[]> inner(new (std::nothrow) int32_t[static_cast<size_t>(widest) + 1]);
    std::unique_ptr<int32_t[]> outer(new (std::nothrow) int32_t[static_cast<size_t>(widest) + 1]);
    if (!values || !prefix || !direct || !rows || !inner || !outer) return false;
    Sample* data = static_cast<Sample*>(image.data);

    // The discs read the image as it stood before the pass: a strip's
    // padding reaches into columns that earlier strips have written.
    ImageBuffer source;
    if constexpr (std::is_same<Sample, uint8_t>::value)
        ImageBuffer::copy8(source, image, true);
    else
        ImageBuffer::copyFloat(source, image, true);
    if (!source.data) return false;
    const Sample* src = static_cast<const Sample*>(source.data);

    for (int32_t x0 = 0; x0 < width; x0 += kDiscStrip) {
        const int32_t x1 = x0 + kDiscStrip < width ? x0 + kDiscStrip : width;
        int32_t pad = 0;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = x0; x < x1; ++x) {
                const int32_t m = halfWidthOf(map[static_cast<size_t>(y) * width + x]);
                pad = m > pad ? m : pad;
            }
        if (pad == 0) continue;
        const int32_t line = (x1 - x0) + 2 * pad;
        const int32_t ringRows = 2 * pad + 1 < height ? 2 * pad + 1 : height;

        int32_t loaded = 0;  // source rows [0, loaded) are in the ring
        for (int32_t y = 0; y < height; ++y) {
            const int32_t needed = y + pad + 1 < height ? y + pad + 1 : height;
            for (; loaded < needed; ++loaded) {
                const int32_t slot = loaded % ringRows;
                float* v = values.get() + static_cast<size_t>(slot) * maxLine * used;
                double* p = prefix.get() + static_cast<size_t>(slot) * (maxLine + 1) * used;
                const Sample* row = src + static_cast<size_t>(loaded) * rowLength;
                bool large = false;
                for (int32_t i = 0; i < line; ++i) {
                    const Sample* px = row + static_cast<size_t>(clampIndex(static_cast<int64_t>(x0) - pad + i, width)) *
                                                 channels;
                    for (int32_t c = 0; c < used; ++c) {
                        const float s = static_cast<float>(px[c]);
                        large |= !(fabsf(s) <= kPrefixSafe);
                        v[static_cast<size_t>(i) * used + c] = s;
                    }
                }
                for (int32_t c = 0; c < used; ++c) p[c] = 0.0;
                for (int32_t i = 0; i < line; ++i)
                    for (int32_t c = 0; c < used; ++c)
                        p[static_cast<size_t>(i + 1) * used + c] =
                            p[static_cast<size_t>(i) * used + c] + static_cast<double>(v[static_cast<size_t>(i) * used + c]);
                direct[slot] = large;
            }
            for (int32_t dy = -pad; dy <= pad; ++dy) {
                const int32_t slot = clampIndex(static_cast<int64_t>(y) + dy, height) % ringRows;
                RingRow& r = rows[dy + pad];
                r.values = values.get() + static_cast<size_t>(slot) * maxLine * used;
                r.prefix = prefix.get() + static_cast<size_t>(slot) * (maxLine + 1) * used;
                r.direct = direct[slot];
            }

            for (int32_t x = x0; x < x1; ++x) {
                const float k = map[static_cast<size_t>(y) * width + x];
                const int32_t m = halfWidthOf(k);
                if (m == 0) continue;
                const float rim = k + 1.0f;
                // The widest full cell (d < k) and rim cell (d < k + 1) of
                // each row offset; -1 when the row has none.
                int32_t a = m;
                int32_t b = m;
                for (int32_t ady = 0; ady <= m; ++ady) {
                    while (a >= 0 && !(distances.at(a, ady) < k)) --a;
                    while (b >= 0 && !(distances.at(b, ady) < rim)) --b;
                    inner[ady] = a;
                    outer[ady] = b;
                }
                double sum[3] = {0.0, 0.0, 0.0};
                double weight = 0.0;
                const int32_t at = x - x0 + pad;  // the pixel in the strip's lines
                for (int32_t dy = -m; dy <= m; ++dy) {
                    const int32_t ady = dy < 0 ? -dy : dy;
                    const RingRow& r = rows[dy + pad];
                    const int32_t full = inner[ady];
                    if (full >= 0) {
                        weight += static_cast<double>(2 * full + 1);
                        if (!r.direct) {
                            const double* hi = r.prefix + static_cast<size_t>(at + full + 1) * used;
                            const double* lo = r.prefix + static_cast<size_t>(at - full) * used;
                            for (int32_t c = 0; c < used; ++c) sum[c] += hi[c] - lo[c];
                        } else {
                            for (int32_t c = 0; c < used; ++c) {
                                double s = 0.0;
                                for (int32_t i = at - full; i <= at + full; ++i)
                                    s += static_cast<double>(r.values[static_cast<size_t>(i) * used + c]);
                                sum[c] += s;
                            }
                        }
                    }
                    for (int32_t dx = full + 1; dx <= outer[ady]; ++dx) {
                        const double w = static_cast<double>(rim - distances.at(dx, ady));
                        const float* right = r.values + static_cast<size_t>(at + dx) * used;
                        if (dx == 0) {
                            weight += w;
                            for (int32_t c = 0; c < used; ++c) sum[c] += w * static_cast<double>(right[c]);
                        } else {
                            const float* left = r.values + static_cast<size_t>(at - dx) * used;
                            weight += 2.0 * w;
                            for (int32_t c = 0; c < used; ++c)
                                sum[c] += w * (static_cast<double>(right[c]) + static_cast<double>(left[c]));
                        }
                    }
                }
                Sample* px = data + static_cast<size_t>(y) * rowLength + static_cast<size_t>(x) * channels;
                for (int32_t c = 0; c < used; ++c)
                    tileloop::store(px[c], tileloop::clampSample(static_cast<float>(sum[c] / weight)));
            }
        }
    }
    return true;
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
        discPass<Sample>(image, map.get(), widest);
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
