#include "effects/Grain.h"

#include <math.h>

#include <cstdint>
#include <type_traits>
#include <vector>

#include "adjustments/TileVars.h"
#include "effects/EffectRandom.h"
#include "framework/Curve.h"
#include "framework/SelectorMod.h"
#include "pixels/Convolution.h"
#include "pixels/RowLoops.h"
#include "pixels/SampleRules.h"

using effectmath::saturatingInt64;
using effectmath::wrapIndex;

namespace {

constexpr int32_t kStampCount = 17;

// The texture engine's parameters for one call.
struct GrainSetup {
    int32_t pass = -1;
    float amount = 0.0f;  // a: (Amount / 100)^1.5, weaker in reduced previews
    float grainSize = 0.5f;
    int64_t offsetX = 0;  // texture offsets of the frame (0 in every render)
    int64_t offsetY = 0;
};

// sv k + 0.5 with k 1/800 of the full-size picture's longer side: the grain
// size in full-size pixels.
float fullSizeGrain(float scaleVar, int32_t width, int32_t height, float s) {
    const float ws = static_cast<float>(width) * s;
    const float hs = static_cast<float>(height) * s;
    const float k = static_cast<float>(static_cast<double>(ws > hs ? ws : hs) * 0.00125);
    const float sv = static_cast<float>(static_cast<double>(scaleVar) * 0.01);
    return sv * k + 0.5f;
}

// The grain size in processed pixels.
inline float grainSizeOf(float fullSize, float s) {
    const float g = fullSize / s;
    return g > 0.5f ? g : 0.5f;
}

// The radius of the softening blur for a grain size above one pixel.
inline float softeningRadius(float g) { return static_cast<float>((static_cast<double>(g) - 1.0) * 0.43 + 0.5); }

GrainSetup setUpGrain(const GrainMod& mod, const ImageBuffer& image, const RenderArgs* args) {
    GrainSetup p;
    int32_t width = image.width;
    int32_t height = image.height;
    float s = image.scale;
    int64_t frame = 0;
    if (args) {
        p.pass = args->pass;
        frame = args->requestValue;
        if (const RenderRegion* region = args->region) {
            if (region->fullWidth > 0) width = region->fullWidth;
            if (region->fullHeight > 0) height = region->fullHeight;
            s = region->scale;
        }
    }
    s = effectmath::usablePixelScale(s);
    p.amount = powf(static_cast<float>(static_cast<double>(tileloop::floatVar(mod, kGrainAmount)) * 0.01), 1.5f);
    p.offsetX = wrapIndex(saturatingInt64(0.679 * static_cast<double>(frame) * width), width);
    p.offsetY = wrapIndex(saturatingInt64(0.433 * static_cast<double>(frame) * height), height);
    const float fullSize = fullSizeGrain(tileloop::floatVar(mod, kGrainScale), width, height, s);
    if (s > 1.0f) {
        // Reduced previews: a weaker grain, weaker still below a pixel.
        const float t = fullSize / s;
        float c = static_cast<float>(0.5 / ((static_cast<double>(s) - 1.0) * 1.5 + 1.0) + 0.5);
        if (t < 1.0f) c = c * sqrtf(t);
        p.amount = p.amount * c;
    }
    p.grainSize = grainSizeOf(fullSize, s);
    return p;
}

// One soft grain profile at tau = (R - d) / R: 0 at the rim, 1 at the centre.
inline float grainProfile(float tau) {
    if (tau >= 0.36f) {
        const float far = static_cast<float>((1.0 - static_cast<double>(tau)) * 1.5625000349245974);
        return static_cast<float>(1.0 - 0.6399999856948853 * static_cast<double>(powf(far, 1.7f)));
    }
    return powf(static_cast<float>(static_cast<double>(tau) * 2.7777776673988104), 1.7f) * 0.36f;
}

// v mod T in 0..T-1, cheap for the texture's coordinates, which lie within
// a few sides of 0.
inline int64_t wrapNear(int64_t v, int64_t T) {
    if (v >= T) {
        v -= T;
        return v < T ? v : v % T;
    }
    return v >= 0 ? v : wrapIndex(v, T);
}

inline void addGrain(float& sample, double v) { sample = static_cast<float>(v); }
inline void addGrain(uint8_t& sample, double v) { sample = pixel::storeByteFromDouble(v); }

}  // namespace

// ---- The texture ------------------------------------------------------------------------------

void GrainMod::buildGrainTexture(int32_t sourceSize, float g, float a) {
    const float u = static_cast<float>(1.0 - 0.01 * static_cast<double>(tileloop::floatVar(*this, kGrainUniformity)));
    const float h = a * 0.5f;
    const float n = static_cast<float>(sourceSize);
    if (grainTexture && g == cachedGrainSize && h == cachedHalfAmount && n == cachedSourceSize && u == cachedSpread)
        return;

    // The side: the largest multiple of g not above N. Below one pixel (or a
    // grain beyond the largest size) there is no texture.
    const int64_t side = g <= kMaxGrainSize
                             ? saturatingInt64(static_cast<double>(sourceSize) -
                                               fmod(static_cast<double>(sourceSize), static_cast<double>(g)))
                             : 0;
    grainTexture = std::make_unique<ImageBuffer>();
    cachedGrainSize = g;
    cachedHalfAmount = h;
    cachedSourceSize = n;
    cachedSpread = u;
    if (side < 1 || !grainTexture->allocateFloat(static_cast<int32_t>(side), static_cast<int32_t>(side), 1) ||
        !grainTexture->data)
        return;
    const int64_t T = side;

    // The texture's own generator, seeded from its parameters: the same
    // parameters give the same grain in every render and every clone.
    uint64_t seed = effectmath::seedWith(0x4752414954455831ull, effectmath::floatBits(g));
    seed = effectmath::seedWith(seed, effectmath::floatBits(h));
    seed = effectmath::seedWith(seed, effectmath::floatBits(n));
    seed = effectmath::seedWith(seed, effectmath::floatBits(u));
    effectmath::TileRandom random(seed);

    // 17 stamps of two soft blobs each, of radius R0 down to 0.7 R0.
    const float cg = ceilf(g);
    const int32_t K = 2 * static_cast<int32_t>(cg) + 1;
    const size_t cells = static_cast<size_t>(K) * K;
    std::vector<float> stamps(cells * kStampCount, 0.0f);
    const float G = g + 0.5f;
    const float R0 = static_cast<float>(static_cast<double>(G) * 0.7);
    for (int32_t e = 0; e < kStampCount; ++e) {
        const float R = e == 0 ? R0
                               : static_cast<float>(static_cast<double>(static_cast<float>(e) * -0.0625f) *
                                                        (0.3 * static_cast<double>(R0)) +
                                                    static_cast<double>(R0));
        float* stamp = stamps.data() + cells * e;
        for (int32_t blob = 0; blob < 2; ++blob) {
            float dx = 0.0f;
            float dy = 0.0f;
            if (R < G) {
                const uint32_t r1 = random.next();
                const uint32_t r2 = random.next();
                const double spread = static_cast<double>(G - R) * 0.0002;
                dx = static_cast<float>(static_cast<double>(r1 % 10000u) * spread + static_cast<double>(R - G));
                dy = static_cast<float>(static_cast<double>(r2 % 10000u) * spread + static_cast<double>(R - G));
            }
            for (int32_t y = 0; y < K; ++y) {
                const float ddy = (static_cast<float>(y) - cg) + dy;
                for (int32_t x = 0; x < K; ++x) {
                    const float ddx = (static_cast<float>(x) - cg) + dx;
                    const float d = sqrtf(ddx * ddx + ddy * ddy);
                    float tau = (R - d) / R;
                    tau = tau > 0.0f ? tau : 0.0f;
                    stamp[y * K + x] += grainProfile(tau) * h;
                }
            }
        }
        for (size_t i = 0; i < cells; ++i) stamp[i] = stamp[i] < 0.0f ? 0.0f : (stamp[i] > h ? h : stamp[i]);
    }

    // The weight curve: Uniformity 100 the diagonal, lower values pull its
    // third point toward (1, 0.125).
    Curve weights;
    GrowArray<CurvePoint> points;
    points.append(CurvePoint{0.0f, 0.0f});
    points.append(CurvePoint{0.125f, 0.125f});
    points.append(CurvePoint{static_cast<float>(0.5625 + 0.4375 * static_cast<double>(u)),
                             static_cast<float>(0.5625 - 0.4375 * static_cast<double>(u))});
    points.append(CurvePoint{1.0f, 1.0f});
    weights.setPoints(points);
    const float* weightTable = weights.table.data;

    // The grid of grains, each jittered by up to gm.
    float* texture = grainTexture->floats();
    int64_t count = saturatingInt64(static_cast<float>(T) / g + 1.0f);
    float step = g;
    if (count > T) {
        count = T;
        step = 1.0f;
    }
    const float gm = static_cast<float>(static_cast<double>(g) > 1.5 ? static_cast<double>(g) : 1.5);
    const double jitterStep = 2.0 * static_cast<double>(gm) * 0.0001;
    auto jitter = [&](uint32_t r) {
        return static_cast<float>(static_cast<double>(r % 10000u) * jitterStep - static_cast<double>(gm));
    };
    // Phase 0 subtracts dark grains, phase 1 adds light ones.
    for (int32_t phase = 0; phase < 2; ++phase) {
        const float sign = phase == 0 ? -1.0f : 1.0f;
        for (int64_t i = 0; i < count; ++i) {
            const float rowBase = static_cast<float>(i) * step + static_cast<float>(T);
            for (int64_t j = 0; j < count; ++j) {
                const uint32_t r1 = random.next();
                const uint32_t r2 = random.next();
                const uint32_t r3 = random.next();
                const uint32_t r4 = random.next();
                const float* stamp = stamps.data() + cells * (r3 % kStampCount);
                const float q = pixel::curveLookupUnit(
                    weightTable, static_cast<float>(static_cast<double>(r4 % 1000u) * 0.001));
                const float top = jitter(r1) + rowBase;
                const float left = static_cast<float>(j) * step + static_cast<float>(T) + jitter(r2);
                for (int32_t y = 0; y < K; ++y) {
                    float* textureRow = texture + wrapNear(saturatingInt64(static_cast<float>(y) + top), T) * T;
                    const float* stampRow = stamp + static_cast<size_t>(y) * K;
                    for (int32_t x = 0; x < K; ++x) {
                        const int64_t tx = wrapNear(saturatingInt64(static_cast<float>(x) + left), T);
                        // Phase 0: t - s q; phase 1: t + s q (the negation is exact).
                        textureRow[tx] += sign * (stampRow[x] * q);
                    }
                }
            }
        }
    }
    const int64_t samples = T * T;
    for (int64_t i = 0; i < samples; ++i) texture[i] = texture[i] < -h ? -h : (texture[i] > h ? h : texture[i]);
}

// ---- The tile ----------------------------------------------------------------------------------

template <class Sample>
void GrainMod::processBody(ImageBuffer& image, const RenderArgs* args) {
    if (!tileloop::hasPixels(image)) return;
    constexpr bool eightBit = std::is_same<Sample, uint8_t>::value;
    if (version == 1) {
        GrainLegacyMod legacy(tileloop::floatVar(*this, kGrainAmount), tileloop::floatVar(*this, kGrainScale),
                              tileloop::floatVar(*this, kGrainUniformity));
        if constexpr (eightBit)
            legacy.apply8(image, args);
        else
            legacy.applyFloat(image, args);
        return;
    }

    const GrainSetup p = setUpGrain(*this, image, args);
    if (p.pass == -1 || p.pass == 0) {
        const int32_t longer = image.width > image.height ? image.width : image.height;
        buildGrainTexture(saturatingInt(static_cast<double>(longer) * 0.397), p.grainSize, p.amount);
        if (p.pass == 0) return;
    } else if (p.pass != 1) {
        return;
    }

    const SelectorMod* selector = args ? asSelector(args->selector) : nullptr;
    const RenderRegion* region = args ? args->region : nullptr;
    ImageBuffer unprocessed;
    if (selector) {
        if constexpr (eightBit)
            ImageBuffer::copy8(unprocessed, image, true);
        else
            ImageBuffer::copyFloat(unprocessed, image, true);
    }

    // Add the texture, read at whole-picture positions, weighted by the
    // tone curve at the pixel's luminance.
    const float* tone = (version < 3 ? grainToneCurveV2() : grainToneCurveV3()).table.data;
    const ImageBuffer* texture = grainTexture.get();
    const int64_t T = texture && texture->data ? texture->width : 0;
    const int64_t x0 = region ? region->originX : 0;
    const int64_t y0 = region ? region->originY : 0;
    const int32_t ch = image.channelCount();
    const int32_t tinted = ch < 3 ? ch : 3;
    const int32_t width = image.width;
    Sample* data = static_cast<Sample*>(image.data);
    for (int32_t j = 0; j < image.height; ++j) {
        Sample* row = data + static_cast<int64_t>(j) * width * ch;
        const float* textureRow = T > 0 ? texture->floats() + wrapIndex(y0 + p.offsetY + j, T) * T : nullptr;
        int64_t tx = T > 0 ? wrapIndex(x0 + p.offsetX, T) : 0;
        for (int32_t i = 0; i < width; ++i) {
            Sample* px = row + static_cast<int64_t>(i) * ch;
            const float grain = textureRow ? textureRow[tx] : 0.0f;
            if (T > 0 && ++tx == T) tx = 0;
            const float w = pixel::curveLookup(tone, pixel::luminance(px, ch));
            const double delta = static_cast<double>(w) * 255.0;
            for (int32_t k = 0; k < tinted; ++k)
                addGrain(px[k], static_cast<double>(px[k]) + static_cast<double>(grain) * delta);
        }
    }
    if constexpr (!eightBit) {
        const int64_t count = image.sampleCount();
        float* samples = image.floats();
        for (int64_t i = 0; i < count; ++i) samples[i] = pixel::clampSampleNanToZero(samples[i]);
    }

    // Soften the grain (only where there is a texture to soften).
    const float g = p.grainSize;
    if (T > 0 && g > 1.0f) {
        float r = softeningRadius(g);
        if (p.amount < 0.25f) r = 4.0f * p.amount * r;
        if (r > 0.0f) {
            if constexpr (eightBit)
                blurImage8(image, kBlurBox, r, 1.0f);
            else
                blurImage(image, kBlurBox, r, 1.0f);
        }
    }
    if (selector) {
        if constexpr (eightBit)
            blendByMask8(selector, unprocessed, image, region);
        else
            blendByMask(selector, unprocessed, image, region);
    }
}

GrainMod::GrainMod() : ImageMod(GrowString("Grain"), GrowString("")) {
    frameIntervalValue = 0.4f;
    ModVar* amountVar = tilevars::placed(*this, kGrainAmount, addFloatVar("Amount", 25.0f, 0.0f, 100.0f));
    ModVar* scaleVar = tilevars::placed(*this, kGrainScale, addFloatVar("Scale", 25.0f, 0.0f, 100.0f));
    ModVar* uniformityVar = tilevars::placed(*this, kGrainUniformity, addFloatVar("Uniformity", 50.0f, 0.0f, 100.0f));
    addAnimTrack(amountVar, "60 20 60", 2.348f);
    addAnimTrack(scaleVar, "30 75 30", 3.577f);
    addAnimTrack(uniformityVar, "0 100 0", 3.0f);
    setVersion(kNewestVersion);
    description = "Apply film grain to the image.";
}

GrainMod::~GrainMod() = default;

ImageMod* GrainMod::clone() const { return withVersionOf(*this, new GrainMod()); }

bool GrainMod::canTile(int32_t pass) const { return version == 1 || pass != 0; }

int32_t GrainMod::passCount() const { return version == 1 ? 1 : 2; }

// Rows of context: the legacy engine's for version 1; the softening blur's
// reach for the texture engine (its radius is never larger than this).
int32_t GrainMod::marginFor(int32_t width, int32_t height, float scale) const {
    const float scaleVar = tileloop::floatVar(*this, kGrainScale);
    if (version == 1) return legacyGrainMargin(width, height, scale, scaleVar);
    const float s = effectmath::usablePixelScale(scale);
    const float g = grainSizeOf(fullSizeGrain(scaleVar, width, height, s), s);
    if (!(g > 1.0f)) return 0;
    return saturatingInt(ceilf(softeningRadius(g)));
}

void GrainMod::process8(ImageBuffer& image, const RenderArgs* args) { processBody<uint8_t>(image, args); }
void GrainMod::processFloat(ImageBuffer& image, const RenderArgs* args) { processBody<float>(image, args); }
