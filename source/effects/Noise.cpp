#include "effects/Noise.h"

#include <math.h>

#include <cstdint>
#include <vector>

#include "adjustments/TileVars.h"
#include "pixels/RowLoops.h"
#include "pixels/SampleRules.h"

// ---- Value noise --------------------------------------------------------------------

namespace {

constexpr int32_t kCosineCount = 1000;

struct CosineTable {
    float value[kCosineCount];
    CosineTable() {
        // Entry i is cos(pi i / 1000) as the grain has always computed it: the
        // step i 0.001 in float, widened and multiplied by the double
        // 3.1415927 (not the library's pi), the cosine rounded to float.
        for (int32_t i = 0; i < kCosineCount; ++i)
            value[i] = static_cast<float>(cos(static_cast<double>(static_cast<float>(i) * 0.001f) * 3.1415927));
    }
};

// Built by the first caller; the language makes the first use thread-safe
// and publishes the filled table to every later reader.
const float* cosineTable() {
    static const CosineTable table;
    return table.value;
}

// The value of the lattice point (ix, iy), 32-bit arithmetic with
// wrap-around: 1 - m 2^-30 with m the hash rounded to float.
TILE_INLINE float cornerValue(int32_t ix, int32_t iy) {
    uint32_t n = static_cast<uint32_t>(ix) + 2939u * static_cast<uint32_t>(iy);
    n = (n << 13) ^ n;
    const uint32_t m = ((n * n * 60493u + 19990303u) * n + 1376312589u) & 0x7fffffffu;
    return static_cast<float>(1.0 - static_cast<double>(static_cast<float>(static_cast<int32_t>(m))) *
                                        9.313225746154785e-10);
}

// Every conversion below is made on a value already brought into range,
// so none is undefined whatever the coordinates.

// truncf(v): below 2^23 in size a float is truncated exactly through a
// 32-bit integer (a -0 result becomes +0, which nothing downstream tells
// apart); from there up every float is whole, and infinities and NaN stay
// as they are.
TILE_INLINE float wholePart(float v) {
    const bool small = fabsf(v) < 8388608.0f;
    const float inRange = small ? v : 0.0f;
    return small ? static_cast<float>(static_cast<int32_t>(inRange)) : v;
}

// A whole float as a lattice index: beyond the 32-bit range the range's
// end, NaN 0 (saturatingInt's rule).
TILE_INLINE int32_t latticeIndex(float v) {
    const bool inside = (v >= -2147483648.0f) & (v < 2147483648.0f);
    int32_t i = static_cast<int32_t>(inside ? v : 0.0f);
    i = v >= 2147483648.0f ? INT32_MAX : i;
    i = v < -2147483648.0f ? INT32_MIN : i;
    return i;
}

// The cosine ease of a fraction: 0 at the lattice point, close to 1 at the
// next. A negative fraction or NaN takes entry 0.
TILE_INLINE float easeWeight(const float* table, float f) {
    float limited = f < 1.0f ? f : 1.0f;
    limited = f >= 0.0f ? limited : 0.0f;
    const int32_t index = static_cast<int32_t>(static_cast<double>(limited) * 999.9);
    return static_cast<float>((1.0 - static_cast<double>(table[index])) * 0.5);
}

// near (1 - w) + far w: the far product in float, the near one and the sum
// in double.
TILE_INLINE float blendNoise(float nearValue, float farValue, float w) {
    return static_cast<float>(static_cast<double>(farValue * w) +
                              static_cast<double>(nearValue) * (1.0 - static_cast<double>(w)));
}

TILE_INLINE float noiseAt(const float* table, float x, float y) {
    const float X0 = wholePart(x);
    const float Y0 = wholePart(y);
    const int32_t ix0 = latticeIndex(X0);
    const int32_t ix1 = latticeIndex(X0 + 1.0f);
    const int32_t iy0 = latticeIndex(Y0);
    const int32_t iy1 = latticeIndex(Y0 + 1.0f);
    const float wx = easeWeight(table, x - X0);
    const float wy = easeWeight(table, y - Y0);
    const float top = blendNoise(cornerValue(ix0, iy0), cornerValue(ix1, iy0), wx);
    const float bottom = blendNoise(cornerValue(ix0, iy1), cornerValue(ix1, iy1), wx);
    return blendNoise(top, bottom, wy);
}

}  // namespace

float valueNoise2d(float x, float y) { return noiseAt(cosineTable(), x, y); }

void addNoiseOctaveRow(const float* __restrict xs, float y, float factor, float weight, bool first, int32_t count,
                       float* __restrict sums) {
    const float* __restrict table = cosineTable();
    const float fy = factor * y;
    if (first) {
        for (int32_t i = 0; i < count; ++i) sums[i] = weight * noiseAt(table, factor * xs[i], fy);
    } else {
        for (int32_t i = 0; i < count; ++i) sums[i] = sums[i] + weight * noiseAt(table, factor * xs[i], fy);
    }
}

// ---- The Noise tile ----------------------------------------------------------------------

namespace {

// The vars, in the order the constructor adds them.
enum NoiseVar : int32_t { kAmount = 0, kScale = 1, kOffset = 2 };

enum GrainMethod { kOldGrain = 1, kClampedGrain = 2, kBentGrain = 3 };

struct NoiseParams {
    int32_t method = kOldGrain;
    float strength = 0.0f;  // first method: (a/100)^1.4; others: the amplitude
    float f = 0.0f;         // lattice units per pixel
    float xShift = 0.0f;
    int64_t x0 = 0;
    int64_t y0 = 0;
};

// False when the image stays as it is (Amount 0, NaN or not a float var).
bool prepareNoise(const NoiseMod& mod, const ImageBuffer& image, const RenderArgs* args, NoiseParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    const FloatValue* amount = mod.floatAt(kAmount);
    if (!amount || amount->value == 0.0f || amount->value != amount->value) return false;  // NaN: no amount
    const float a = amount->value;
    const float s = tileloop::floatVar(mod, kScale);
    const float o = tileloop::floatVar(mod, kOffset);
    p.method = mod.version == 2 ? kClampedGrain : (mod.version == 3 || mod.version == 4 ? kBentGrain : kOldGrain);

    int64_t wholeWidth = image.width;
    int64_t frame = 0;
    if (args) {
        frame = args->requestValue;
        if (const RenderRegion* region = args->region) {
            if (region->fullWidth > 0) wholeWidth = region->fullWidth;
            p.x0 = region->originX;
            p.y0 = region->originY;
        }
    }
    const float t = static_cast<float>(frame * 50);

    const float k = static_cast<float>(static_cast<double>(s) * 0.006 + 0.4);
    const float q = powf(static_cast<float>(1.0 / static_cast<double>(k) - 1.0), 2.6f);
    p.f = q * 1000.0f / static_cast<float>(wholeWidth);
    if (p.method == kOldGrain) {
        p.strength = powf(static_cast<float>(static_cast<double>(a) * 0.01), 1.4f);
        p.xShift = 50.0f * q * (t - o) + 10000.0f;
    } else {
        p.strength = noiseAmplitude(a);
        p.xShift = s * 1000.0f + 10000.0f + 50.0f * q * (t - o);
    }
    return true;
}

// Row buffers of the calling thread, reused by its later calls: the
// pixels' noise positions and their octave sums.
struct NoiseRows {
    std::vector<float> positions;
    std::vector<float> sums;
};

NoiseRows& threadRows(int32_t width) {
    static thread_local NoiseRows rows;
    if (rows.positions.size() < static_cast<size_t>(width)) {
        rows.positions.resize(static_cast<size_t>(width));
        rows.sums.resize(static_cast<size_t>(width));
    }
    return rows;
}

template <class Sample, int32_t Method, class N>
void noisePixels(ImageBuffer& image, const NoiseParams& p, N channels) {
    const int32_t n = channels;
    const int32_t width = image.width;
    NoiseRows& rows = threadRows(width);
    float* xs = rows.positions.data();
    float* sums = rows.sums.data();
    for (int32_t c = 0; c < width; ++c) xs[c] = fabsf(static_cast<float>(c + p.x0) * p.f + p.xShift);
    Sample* data = static_cast<Sample*>(image.data);
    for (int32_t r = 0; r < image.height; ++r) {
        const float Y = fabsf(static_cast<float>(r + p.y0) * p.f + 10000.0f);
        // The octaves: 1.33^k with weights 0.6^k (first method), 1.137^k
        // with weights 0.7^k (the others).
        addNoiseOctaveRow(xs, Y, 1.0f, 1.0f, true, width, sums);
        if constexpr (Method == kOldGrain) {
            addNoiseOctaveRow(xs, Y, 1.33f, 0.6f, false, width, sums);
            addNoiseOctaveRow(xs, Y, 1.7689002f, 0.36f, false, width, sums);
        } else {
            addNoiseOctaveRow(xs, Y, 1.137f, 0.7f, false, width, sums);
            addNoiseOctaveRow(xs, Y, 1.292769f, 0.48999998f, false, width, sums);
            addNoiseOctaveRow(xs, Y, 1.4698782f, 0.343f, false, width, sums);
        }
        Sample* row = data + static_cast<int64_t>(r) * width * n;
        for (int32_t c = 0; c < width; ++c) {
            Sample* px = row + static_cast<int64_t>(c) * n;
            const float L = pixel::luminance(px, n);
            if constexpr (Method == kOldGrain) {
                float v = sums[c];
                v = v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
                const float dark = (255.0f - L) * pixel::kInv255;
                const float d = static_cast<float>(static_cast<double>(dark * dark) * 0.7 + 0.3);
                v = v * p.strength * d;
                // Within -1..1 already for Amounts up to 100; beyond (a
                // hand-edited file) the exponent would turn negative or NaN
                // and send samples to infinity.
                v = v >= -1.0f ? (v <= 1.0f ? v : 1.0f) : (v < -1.0f ? -1.0f : 0.0f);
                const float e = v >= 0.0f ? 1.0f - v : 1.0f / (1.0f + v);
                for (int32_t k = 0; k < n; ++k) {
                    const float base = tileloop::powerBase(static_cast<float>(px[k]) * pixel::kInv255);
                    tileloop::store(px[k], powf(base, e) * 255.0f);
                }
            } else {
                float v = sums[c] * 0.3947888f;
                const float fromGrey = fabsf((L - 127.5f) * 0.007843138f);
                float w;
                if constexpr (Method == kClampedGrain) {
                    v = v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
                    w = powf(tileloop::powerBase(1.0f - fromGrey), 0.34f);
                } else {
                    v = v > 0.0f ? powf(v, 1.35f) : -powf(-v, 1.35f);
                    const double base = 1.0 - 0.7 * static_cast<double>(fromGrey);
                    w = sqrtf(static_cast<float>(base > 0.0 ? base : 0.0));
                }
                const float delta = v * p.strength * w;
                for (int32_t k = 0; k < n; ++k) tileloop::store(px[k], pixel::clampSampleNanToZero(static_cast<float>(px[k]) + delta));
            }
        }
    }
}

template <class Sample>
void noiseBody(const NoiseMod& mod, ImageBuffer& image, const RenderArgs* args) {
    NoiseParams p;
    if (!prepareNoise(mod, image, args, p)) return;
    pixel::withChannels(image.channelCount(), [&](auto n) {
        if (p.method == kOldGrain)
            noisePixels<Sample, kOldGrain>(image, p, n);
        else if (p.method == kClampedGrain)
            noisePixels<Sample, kClampedGrain>(image, p, n);
        else
            noisePixels<Sample, kBentGrain>(image, p, n);
    });
}

}  // namespace

float noiseAmplitude(float amount) {
    const float fraction = static_cast<float>(static_cast<double>(amount) * 0.01);
    return fraction * fraction * 255.0f;
}

NoiseMod::NoiseMod(float amount, float scale, float offset) : ImageMod(GrowString("Noise"), GrowString("Grain")) {
    tilevars::placed(*this, kAmount, addFloatVar("Amount", amount, 0.0f, 100.0f, 0));
    tilevars::placed(*this, kScale, addFloatVar("Scale", scale, 0.0f, 100.0f, 0));
    FloatValue* shift = tilevars::placed(*this, kOffset, addFloatVar("Offset", offset, 0.0f, 100.0f, 0))->floatValue();
    shift->hasMinimum = 0;  // the offset is not limited
    shift->hasMaximum = 0;
    description = "Apply film grain.";
    setVersion(kNewestVersion);
}

ImageMod* NoiseMod::clone() const { return withVersionOf(*this, new NoiseMod(25.0f, 20.0f, 0.0f)); }

void NoiseMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void NoiseMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void NoiseMod::apply8(ImageBuffer& image, const RenderArgs* args) const { noiseBody<uint8_t>(*this, image, args); }
void NoiseMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const { noiseBody<float>(*this, image, args); }
