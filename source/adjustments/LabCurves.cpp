#include "adjustments/LabCurves.h"

#include <math.h>

#include "adjustments/Curves.h"
#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

// The vars, in the order the constructor adds them: the three curves, then
// the Amount.
enum LabCurvesVar : int32_t { kLCurve = 0, kACurve = 1, kBCurve = 2, kAmount = 3 };

// CIE constants of the conversion, as the stored filters were rendered with.
constexpr double kLabEpsilon = 0.008856;               // the linear segment below it
constexpr double kLabSlope = 7.787;                    // slope of that segment
constexpr double kLabOffset = 0.13793103448275862;     // 16/116
constexpr double kLabInverseSlope = 0.1284191601386927;  // 1/7.787
constexpr double kInvWhiteX = 1.0521265581994328;      // 1/0.950456
constexpr double kInvWhiteZ = 0.9184811261313391;      // 1/1.088754
constexpr double kWhiteX = 0.950456;
constexpr double kWhiteZ = 1.088754;
constexpr float kCubeRoot = 0.33333334f;

struct LabParams {
    const float* lTable = nullptr;  // null: the curve is inactive
    const float* aTable = nullptr;
    const float* bTable = nullptr;
};

// False when the call leaves the image unchanged: Amount 0, fewer than three
// channels, or a curve var of another kind.
bool prepareLab(const LabCurvesMod& mod, const ImageBuffer& image, LabParams& p) {
    if (!tileloop::hasPixels(image) || image.channelCount() < 3) return false;
    if (tileloop::floatVar(mod, kAmount) == 0.0f) return false;
    const float** tables[3] = {&p.lTable, &p.aTable, &p.bTable};
    for (int32_t i = 0; i < 3; ++i) {
        const ModVar* v = mod.var(kLCurve + i);
        const CurveValue* value = v ? v->curveValue() : nullptr;
        if (!value || value->curve.table.count < Curve::kTableSize) return false;
        *tables[i] = isStraightCurve(value->curve) ? nullptr : value->curve.table.data;
    }
    return true;
}

// The lookup of u (0..1) at the table position pos (u x 2047, or its direct
// float form for a and b). NaN reads the first entry, and a position that
// rounds onto the last entry still interpolates inside the table.
inline float labLookup(const float* table, float u, float pos) {
    if (u >= 1.0f) return table[pixel::kTableLast];
    if (u > 0.0f) {
        int32_t k = pos > 0.0f ? static_cast<int32_t>(pos) : 0;
        if (k > pixel::kTableLast - 1) k = pixel::kTableLast - 1;
        return (pos - static_cast<float>(k)) * table[k + 1] + (static_cast<float>(k + 1) - pos) * table[k];
    }
    return table[0];
}

inline float labForward(float v) {
    if (static_cast<double>(v) > kLabEpsilon) return powf(v, kCubeRoot);
    return static_cast<float>(kLabSlope * static_cast<double>(v) + kLabOffset);
}

inline float labInverse(float g) {
    const float cube = g * g * g;
    if (static_cast<double>(cube) > kLabEpsilon) return cube;
    return static_cast<float>((static_cast<double>(g) - kLabOffset) * kLabInverseSlope);
}

// A back-converted channel on the sample scale, clamped to 0..255 (NaN,
// from samples no photo holds, as 0).
inline float labSample(float v) {
    const float s = v * 255.0f;
    if (!(s > 0.0f)) return 0.0f;
    return s < 255.0f ? s : 255.0f;
}

template <class Sample>
inline void labPixel(Sample* px, const LabParams& p) {
    const double r = static_cast<float>(static_cast<double>(px[0]) * pixel::kInv255d);
    const double g = static_cast<float>(static_cast<double>(px[1]) * pixel::kInv255d);
    const double b = static_cast<float>(static_cast<double>(px[2]) * pixel::kInv255d);
    float X = static_cast<float>(0.412453 * r + 0.35758 * g + 0.180423 * b);
    const float Y = static_cast<float>(0.212671 * r + 0.71516 * g + 0.072169 * b);
    float Z = static_cast<float>(0.019334 * r + 0.119193 * g + 0.950227 * b);
    X = static_cast<float>(static_cast<double>(X) * kInvWhiteX);
    Z = static_cast<float>(static_cast<double>(Z) * kInvWhiteZ);
    const float fx = labForward(X);
    const float fy = labForward(Y);
    const float fz = labForward(Z);

    float L = 116.0f * fy - 16.0f;
    if (p.lTable) {
        const float u = static_cast<float>(static_cast<double>(L) * 0.01);
        L = 100.0f * labLookup(p.lTable, u, u * 2047.0f);
    }
    const float d = fx - fy;
    float A;
    if (p.aTable) {
        const float u = d * 3.90625f + 0.5f;
        A = (labLookup(p.aTable, u, d * 7996.0938f + 1023.5f) - 0.5f) * 128.0f;
    } else {
        A = 500.0f * d;
    }
    const float e = fy - fz;
    float B;
    if (p.bTable) {
        const float u = e * 1.5625f + 0.5f;
        B = (labLookup(p.bTable, u, e * 3198.4375f + 1023.5f) - 0.5f) * 128.0f;
    } else {
        B = 200.0f * e;
    }

    const float gy = static_cast<float>((static_cast<double>(L) + 16.0) * (1.0 / 116.0));
    const float gx = static_cast<float>(static_cast<double>(A) * 0.002 + static_cast<double>(gy));
    const float gz = static_cast<float>(static_cast<double>(B) * -0.005 + static_cast<double>(gy));
    const double X2 = static_cast<float>(static_cast<double>(labInverse(gx)) * kWhiteX);
    const double Y2 = labInverse(gy);
    const double Z2 = static_cast<float>(static_cast<double>(labInverse(gz)) * kWhiteZ);
    const float R2 = static_cast<float>(3.240479 * X2 - 1.53715 * Y2 - 0.498535 * Z2);
    const float G2 = static_cast<float>(-0.969256 * X2 + 1.875992 * Y2 + 0.041556 * Z2);
    const float B2 = static_cast<float>(0.055648 * X2 - 0.204043 * Y2 + 1.057311 * Z2);
    tileloop::store(px[0], labSample(R2));
    tileloop::store(px[1], labSample(G2));
    tileloop::store(px[2], labSample(B2));
}

template <class Sample>
void labCurves(const LabCurvesMod& mod, ImageBuffer& image) {
    LabParams p;
    if (!prepareLab(mod, image, p)) return;
    tileloop::forEachPixel<Sample>(image, [&](Sample* px, auto) { labPixel(px, p); });
}

}  // namespace

LabCurvesMod::LabCurvesMod(const Curve& l, const Curve& a, const Curve& b)
    : ImageMod(GrowString("Lab Curves"), GrowString("L,a,b Curves")) {
    version = kNewestVersion;
    tilevars::placed(*this, kLCurve, addVar(ModVar("L", new CurveValue(l))));
    tilevars::placed(*this, kACurve, addVar(ModVar("a", new CurveValue(a))));
    tilevars::placed(*this, kBCurve, addVar(ModVar("b", new CurveValue(b))));
    tilevars::placed(*this, kAmount, tilevars::addStrengthAmount(*this, 1.0f));
    description = "Adjust curves in the Lab color space.";
}

ImageMod* LabCurvesMod::clone() const { return new LabCurvesMod(Curve(0), Curve(0), Curve(0)); }

// The context is ignored: the tile honours no selector.
void LabCurvesMod::process8(ImageBuffer& image, const RenderArgs*) { labCurves<uint8_t>(*this, image); }
void LabCurvesMod::processFloat(ImageBuffer& image, const RenderArgs*) { labCurves<float>(*this, image); }
