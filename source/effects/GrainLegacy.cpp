// The older grain engine (GrainLegacyMod) and the grain tiles' shared
// tables.

#include <math.h>

#include <cstdint>
#include <type_traits>
#include <vector>

#include "adjustments/TileVars.h"
#include "effects/EffectRandom.h"
#include "effects/Grain.h"
#include "framework/Curve.h"
#include "pixels/RowLoops.h"
#include "pixels/SampleRules.h"

using effectmath::saturatingInt64;

// ---- Shared tables ------------------------------------------------------------------------

namespace {

struct RandomTable {
    float value[kGrainRandomTableSize];
    RandomTable() {
        // A generator of our own seeded with 17: the same table in every
        // run, whatever else draws random numbers.
        effectmath::TileRandom random(17);
        for (int32_t i = 0; i < kGrainRandomTableSize; ++i)
            value[i] = static_cast<float>(static_cast<double>(random.next() % 1000u) * 0.001);
    }
};

Curve toneCurve(const char* points) {
    Curve curve;
    GrowString text(points);
    curve.setFromString(text);
    return curve;
}

}  // namespace

// Function-local statics: the first caller builds the table, the language
// makes that thread-safe and publishes it to every later reader.
const float* grainRandomTable() {
    static const RandomTable table;
    return table.value;
}

const Curve& grainToneCurveV2() {
    static const Curve curve = toneCurve("0 0 .1 1 .25 1 .5 1 .75 1 .95 1 1 0");
    return curve;
}

const Curve& grainToneCurveV3() {
    static const Curve curve = toneCurve("0 0 .1 1 .25 1 .5 1 .75 1 .90 1 1 0");
    return curve;
}

// ---- The legacy engine ---------------------------------------------------------------------

namespace {

// The grain size before its lower limit of half a pixel: g0.
float legacyGrainSize(int64_t wholeWidth, int64_t wholeHeight, float s, float scaleVar) {
    const int64_t side = wholeWidth > wholeHeight ? wholeWidth : wholeHeight;
    const float k = static_cast<float>(static_cast<double>(static_cast<float>(side) * s) * 0.00125);
    return static_cast<float>(static_cast<double>(k - 0.5f) * (static_cast<double>(scaleVar) * 0.01) + 0.5) / s;
}

inline float atLeastHalf(float g0) { return g0 > 0.5f ? g0 : 0.5f; }

// The brightness weight of a grain over a pixel of luminance L: rising from
// 0 at black to 1 at 0.14, falling from 1 at 0.86 to 0 at white.
inline float toneWeight(float L) {
    const float l = L * pixel::kInv255;
    if (l < 0.14f) {
        const float t = L * 0.028011206537485123f - 1.0f;
        return 1.0f - t * t;
    }
    if (static_cast<double>(l) > 0.8599999994039536) {
        const float t = static_cast<float>((static_cast<double>(l) - 0.7199999988079071) * 7.142857074737549 - 1.0);
        return 1.0f - t * t;
    }
    return 1.0f;
}

// The soft-disc profile of the stamps at tau = (R - d) / R.
inline float stampProfile(float tau) {
    if (tau < 0.3f) {
        const float t = static_cast<float>(static_cast<double>(tau) * 3.3333332008785725);
        return 0.3f * (t * t);
    }
    const float t = static_cast<float>((1.0 - static_cast<double>(tau)) * 1.4285714528998554);
    return static_cast<float>(1.0 - 0.699999988079071 * static_cast<double>(t * t));
}

inline void storeBlended(float& sample, double v) { sample = static_cast<float>(v); }
inline void storeBlended(uint8_t& sample, double v) { sample = pixel::storeByteFromDouble(v); }

inline void copyBand(ImageBuffer& target, const ImageBuffer& source, const float*) {
    ImageBuffer::copyFloat(target, source, true);
}
inline void copyBand(ImageBuffer& target, const ImageBuffer& source, const uint8_t*) {
    ImageBuffer::copy8(target, source, true);
}

template <class Sample>
void legacyBody(const GrainLegacyMod& mod, ImageBuffer& image, const RenderArgs* args) {
    if (!tileloop::hasPixels(image)) return;
    const float A = tileloop::floatVar(mod, kGrainAmount);
    const float S = tileloop::floatVar(mod, kGrainScale);
    const float U = tileloop::floatVar(mod, kGrainUniformity);

    int32_t wholeWidth = image.width;
    int32_t wholeHeight = image.height;
    int64_t x0 = 0;
    int64_t y0 = 0;
    float s = 1.0f;
    int64_t frame = 0;
    if (args) {
        frame = args->requestValue;
        if (const RenderRegion* region = args->region) {
            if (region->fullWidth > 0) wholeWidth = region->fullWidth;
            if (region->fullHeight > 0) wholeHeight = region->fullHeight;
            x0 = region->originX;
            y0 = region->originY;
            s = effectmath::usablePixelScale(region->scale);
        }
    }
    const int32_t w = image.width;
    const int32_t h = image.height;
    const int32_t ch = image.channelCount();

    // Sizes: the grain size and grid pitch g, the stamp's reach c and side K.
    const float g0 = legacyGrainSize(wholeWidth, wholeHeight, s, S);
    const float g = atLeastHalf(g0);
    if (!(g <= kMaxGrainSize)) return;
    const int32_t c = static_cast<int32_t>(ceil(static_cast<double>(g) - 0.5));
    const int32_t K = 2 * c + 1;

    float a = static_cast<float>(static_cast<double>(A) * 0.01);
    if (g0 < g) a = a * g0 / g;  // grains below half a pixel: weaker
    const float u = static_cast<float>(static_cast<double>(U) * 0.01);
    const float sv = static_cast<float>(static_cast<double>(S) * 0.01);

    // Three stamps of radius G, 0.85 G and 0.7 G, scaled by the amount.
    std::vector<float> stamps(static_cast<size_t>(3) * K * K);
    const float G = g + 0.5f;
    for (int32_t e = 0; e < 3; ++e) {
        const float R = e == 0 ? G
                               : static_cast<float>(static_cast<double>(static_cast<float>(e) * -0.5f) *
                                                        (0.3 * static_cast<double>(G)) +
                                                    static_cast<double>(G));
        float* stamp = stamps.data() + static_cast<size_t>(e) * K * K;
        for (int32_t y = 0; y < K; ++y) {
            for (int32_t x = 0; x < K; ++x) {
                const float dx = static_cast<float>(x - c);
                const float dy = static_cast<float>(y - c);
                const float d = sqrtf(dx * dx + dy * dy);
                float tau = (R - d) / R;
                tau = tau > 0.0f ? tau : 0.0f;
                stamp[y * K + x] = stampProfile(tau) * a;
            }
        }
    }

    // The unprocessed band: grains take their colour from it.
    ImageBuffer unprocessed;
    copyBand(unprocessed, image, static_cast<const Sample*>(nullptr));
    if (!unprocessed.data) return;
    const Sample* before = static_cast<const Sample*>(unprocessed.data);
    Sample* data = static_cast<Sample*>(image.data);
    std::vector<float> colour(static_cast<size_t>(ch));

    // The edge zone: grains this close to a band edge use the table.
    const int32_t m = mod.marginFor(wholeWidth, wholeHeight, s);
    const float E = static_cast<float>(static_cast<double>(m) * 1.05);
    const float A2 = a * 200.0f;
    const float J = static_cast<float>(static_cast<double>(2.0f * g) * 0.2);
    const float J2 = J + J;
    const float B = ((sv + u) * 200.0f + static_cast<float>(3 * frame)) + A2;
    const float* table = grainRandomTable();
    const float edgeBottom = static_cast<float>(h) - static_cast<float>(K) - E;
    const float edgeRight = static_cast<float>(w) - static_cast<float>(K) - E;

    // Interior grains draw from a generator of the band, started afresh for
    // every grain from the tile's values and the grain's cell of the
    // whole-picture grid: a grain inside a band gets the same values
    // whichever band paints it, and nothing is shared between threads.
    uint64_t seed = effectmath::seedWith(0x4c45474143590001ull, effectmath::floatBits(A));
    seed = effectmath::seedWith(seed, effectmath::floatBits(S));
    seed = effectmath::seedWith(seed, effectmath::floatBits(U));
    seed = effectmath::seedWith(seed, effectmath::floatBits(s));
    seed = effectmath::seedWith(seed, static_cast<uint64_t>(wholeWidth));
    seed = effectmath::seedWith(seed, static_cast<uint64_t>(wholeHeight));
    seed = effectmath::seedWith(seed, static_cast<uint64_t>(frame));
    const double pitch = g;

    // The grid lies on multiples of g in whole-picture coordinates and starts
    // one pitch above (left of) the band.
    const float firstRow = static_cast<float>(-static_cast<double>(g) - fmod(static_cast<double>(y0), g));
    const float firstColumn = static_cast<float>(-static_cast<double>(g) - fmod(static_cast<double>(x0), g));
    for (float yc = firstRow; yc < static_cast<float>(h); yc += g) {
        const int64_t iy = saturatingInt64(trunc(static_cast<double>(yc) + 0.5));
        const float yf = static_cast<float>(iy);
        const uint64_t rowSeed =
            effectmath::seedWith(seed, static_cast<uint64_t>(llround((static_cast<double>(yc) + y0) / pitch)));
        for (float xc = firstColumn; xc < static_cast<float>(w); xc += g) {
            const int64_t ix = saturatingInt64(trunc(static_cast<double>(xc) + 0.5));
            const float xf = static_cast<float>(ix);

            // The grain's five random values.
            float values[5];
            const bool edge = g > 1.0f && (yf < E || yf > edgeBottom || xf < E || xf > edgeRight);
            if (edge) {
                // Indexed by the whole-picture pixel index, in 64 bits.
                const int64_t pixelIndex = (iy + y0) * wholeWidth + x0 + ix;
                int64_t start = saturatingInt64(trunc(static_cast<float>(pixelIndex) + B));
                if (start < 0) start = 0;
                start %= kGrainRandomTableSize;
                for (int32_t v = 0; v < 5; ++v) values[v] = table[(start + v + 1) % kGrainRandomTableSize];
            } else {
                effectmath::TileRandom random(effectmath::seedWith(
                    rowSeed, static_cast<uint64_t>(llround((static_cast<double>(xc) + x0) / pitch))));
                for (int32_t v = 0; v < 5; ++v)
                    values[v] = static_cast<float>(static_cast<double>(random.next() % 10000u) * 0.0001);
            }

            // Jitter: the stamp's top-left corner.
            const float jx = values[0] * J2 + (xf - J);
            const float jy = values[1] * J2 + (yf - J);
            const int64_t X = saturatingInt64(jx);
            const int64_t Y = saturatingInt64(jy);

            // The colour under the grain's centre, brightened or darkened.
            int64_t cx = X + c;
            int64_t cy = Y + c;
            cx = cx < 0 ? 0 : (cx > w - 1 ? w - 1 : cx);
            cy = cy < 0 ? 0 : (cy > h - 1 ? h - 1 : cy);
            const Sample* centre = before + (cy * w + cx) * ch;
            const float omega = toneWeight(pixel::luminance(centre, ch));
            const float q = values[2];
            float v;
            if (u > 0.5f) {
                v = static_cast<float>(static_cast<double>((q * 0.85f + 0.15f) * A2) * (2.0 - 2.0 * static_cast<double>(u)) +
                                       static_cast<double>(2.0f * u - 1.0f) * 0.5 * static_cast<double>(A2));
            } else {
                v = (powf(q, 3.0f - 4.0f * u) * 0.85f + 0.15f) * A2;
            }
            float strength = v * omega;
            if (values[3] > 0.5f) strength = -strength;  // a darker grain
            for (int32_t k = 0; k < ch; ++k) colour[k] = static_cast<float>(centre[k]) + strength;

            int32_t e = static_cast<int32_t>(static_cast<double>(values[4] * 3.0f) * 0.999);
            e = e < 0 ? 0 : (e > 2 ? 2 : e);
            const float* stamp = stamps.data() + static_cast<size_t>(e) * K * K;

            // Blend the stamp over the band; cells outside it are skipped.
            const int64_t rowFrom = Y < 0 ? -Y : 0;
            const int64_t rowTo = h - Y < K ? h - Y : K;
            const int64_t columnFrom = X < 0 ? -X : 0;
            const int64_t columnTo = w - X < K ? w - X : K;
            for (int64_t r = rowFrom; r < rowTo; ++r) {
                const int64_t rowStart = (Y + r) * w + X;  // may lie left of the band: only indices
                const float* alphas = stamp + r * K;
                for (int64_t x = columnFrom; x < columnTo; ++x) {
                    const float alpha = alphas[x];
                    const double keep = 1.0 - static_cast<double>(alpha);
                    Sample* px = data + (rowStart + x) * ch;
                    for (int32_t k = 0; k < ch; ++k) {
                        const double blended = keep * static_cast<double>(px[k]) +
                                               static_cast<double>(static_cast<float>(alpha * colour[k]));
                        storeBlended(px[k], blended);
                    }
                }
            }
            if (xc + g == xc) break;  // a pitch lost in float rounding
        }
        if (yc + g == yc) break;
    }

    if constexpr (!std::is_same<Sample, uint8_t>::value) {
        const int64_t count = image.sampleCount();
        float* samples = image.floats();
        for (int64_t i = 0; i < count; ++i) samples[i] = pixel::clampSampleNanToZero(samples[i]);
    }
}

}  // namespace

GrainLegacyMod::GrainLegacyMod(float amount, float scale, float uniformity)
    : ImageMod(GrowString("Grain Legacy"), GrowString("")) {
    frameIntervalValue = 0.4f;
    ModVar* amountVar = tilevars::placed(*this, kGrainAmount, addFloatVar("Amount", amount, 0.0f, 100.0f));
    ModVar* scaleVar = tilevars::placed(*this, kGrainScale, addFloatVar("Scale", scale, 0.0f, 100.0f));
    ModVar* uniformityVar = tilevars::placed(*this, kGrainUniformity, addFloatVar("Uniformity", uniformity, 0.0f, 100.0f));
    addAnimTrack(amountVar, "60 20 60", 2.348f);
    addAnimTrack(scaleVar, "30 75 30", 3.577f);
    addAnimTrack(uniformityVar, "0 100 0", 3.0f);
    description = "Apply film grain to the image.";
}

int32_t legacyGrainMargin(int32_t width, int32_t height, float scale, float scaleVar) {
    const float g = atLeastHalf(legacyGrainSize(width, height, effectmath::usablePixelScale(scale), scaleVar));
    return saturatingInt(ceilf(2.0f * g) + 1.0f);
}

int32_t GrainLegacyMod::marginFor(int32_t width, int32_t height, float scale) const {
    return legacyGrainMargin(width, height, scale, tileloop::floatVar(*this, kGrainScale));
}

ImageMod* GrainLegacyMod::clone() const { return withVersionOf(*this, new GrainLegacyMod(25.0f, 25.0f, 50.0f)); }

void GrainLegacyMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void GrainLegacyMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void GrainLegacyMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    legacyBody<uint8_t>(*this, image, args);
}
void GrainLegacyMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    legacyBody<float>(*this, image, args);
}
