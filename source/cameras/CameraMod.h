#pragma once
// CameraMod: the base of the camera styles, one-step looks driven by two
// vars. "Amount" (stored 0..1, shown 0..100) scales every step of the look
// toward leaving the picture as it was; "Variation" (shown as "Remix",
// unbounded, slider 0..100) moves each step's parameters along a cosine of
// its own, so every value gives a different, repeatable variant.
//
// A style's body is a fixed recipe: building-block tiles (gamma, vignette,
// curves, dye, saturation, noise, ...) run one after another on the same
// picture. Every stored version of a style keeps its own recipe.
//
// What a recipe builds depends only on (Amount, Variation, version): the
// blocks with their start values, curves and tables. A style therefore
// prepares that once per set of values and keeps it; the pipeline calls a
// style once per band (over a thousand times for one large picture), and
// each call only runs the prepared blocks on its rows. The prepared recipe
// is immutable and shared between the threads that render bands at once.
// CameraRecipe.h holds the recipe as a list of steps and the base of the
// styles that are nothing but their recipe.

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#include "framework/Curve.h"
#include "framework/ImageMod.h"

class CameraMod : public ImageMod {
public:
    // The style constructor: names, the two vars (the look vars of
    // adjustments/TileVars.h) and the description.
    // The display name is the XML name followed by " Camera".
    CameraMod(const char* xmlName, const char* descriptionText);

    int32_t kind() const override { return kCameraMod; }
    bool runsSeveralSteps() const override { return true; }

    // Amount and Variation as the recipes read them: the float value of
    // the var, 0 for a var of another kind or none.
    float amountValue() const;
    float variationValue() const;

    // The building blocks the recipe runs at the current values, in order,
    // as new tiles the caller owns (empty at Amount 0 and for styles whose
    // pixel work is a kernel of their own). The benchmark renders them as
    // a chain of tiles to compare with the style.
    virtual void recipeChain(GrowArray<ImageMod*>& out) const { (void)out; }

    // Reads Amount and Variation; false when the recipe must leave the
    // picture untouched (Amount 0 or NaN).
    bool readValues(float& a, float& v) const {
        a = amountValue();
        v = variationValue();
        return a == a && a != 0.0f;
    }

protected:
    // Sets the Amount and Variation values (used by the Colorcross
    // constructor and by recipes that run another style as a block).
    void setAmountAndVariation(float amount, float variation);

    // The recipe prepared for the current values, built on first use and
    // kept until Amount, Variation or the version change (compared bit for
    // bit, so -0 and 0 or two NaNs of different payload prepare apart).
    // Recipe must be constructible from (float a, float v, uint32_t version,
    // extra...); a tile prepares one kind of recipe only.
    template <class Recipe, class... Extra>
    std::shared_ptr<const Recipe> prepared(float a, float v, Extra... extra) const {
        uint32_t aBits, vBits;
        std::memcpy(&aBits, &a, sizeof aBits);
        std::memcpy(&vBits, &v, sizeof vBits);
        std::lock_guard<std::mutex> hold(preparedLock_);
        if (preparedRecipe_ && preparedA_ == aBits && preparedV_ == vBits && preparedVersion_ == version) {
            return std::static_pointer_cast<const Recipe>(preparedRecipe_);
        }
        auto recipe = std::make_shared<const Recipe>(a, v, version, extra...);
        preparedRecipe_ = recipe;
        preparedA_ = aBits;
        preparedV_ = vBits;
        preparedVersion_ = version;
        return recipe;
    }

private:
    mutable std::mutex preparedLock_;
    mutable std::shared_ptr<const void> preparedRecipe_;
    mutable uint32_t preparedA_ = 0;
    mutable uint32_t preparedV_ = 0;
    mutable uint32_t preparedVersion_ = 0;
};

namespace camera {

inline bool hasPixels(const ImageBuffer& image) {
    return image.data != nullptr && image.width > 0 && image.height > 0;
}

// The constants of a parameter that moves along a cosine of a phase x
// (Variation shifted and scaled as each style says).
struct Wave {
    double rate;
    double phase;
    double swing;
    double offset;
};

// The parameter at x: float(cos(rate x + phase) swing + offset), the
// cosine, products and sums in double, the result rounded to float. A wave
// whose phase or offset is 0 gives the bits of the same formula without
// that term (cos never returns an exact zero, so no -0 turns into +0).
inline float wave(double x, const Wave& w) {
    return static_cast<float>(std::cos(w.rate * x + w.phase) * w.swing + w.offset);
}

// A margin in rows from a reach in (possibly fractional) rows: NaN or
// negative gives 0; anything beyond the picture is the picture's height.
int32_t marginRows(double reach, int32_t height);

// The margin the styles write for their blur of Amount `amount` (0..100):
// ceilf(q q M 0.03) in float, with q = amount / 100 (the product in double,
// rounded to float) and M the longer side, as rows.
int32_t blurMarginRows(float amount, int32_t width, int32_t height);

// A curve from a point string "x0 y0 x1 y1 ...", hue offset 180, as the
// recipes build their curves.
Curve curveFrom(const char* points);

// The cross-processed channel curves (red, green, blue, then all three)
// and the red/cyan split-tone colours that Plastic and 1983 share.
inline constexpr const char* kCrossRedCurve =
    "0.000000 0.000000 0.200276 0.178177 0.665746 0.897790 1.000000 1.000000";
inline constexpr const char* kCrossGreenCurve = "0.000000 0.000000 0.825967 0.820442 1.000000 1.000000";
inline constexpr const char* kCrossBlueCurve = "0.000000 0.000000 0.616022 0.732044 1.000000 1.000000";
inline constexpr const char* kCrossToneCurve =
    "0.000000 0.000000 0.241758 0.000000 0.394231 0.379121 0.766484 0.824176 1.000000 1.000000";
inline constexpr float kCrossDark[4] = {130.8260955810547f, 2.1804330348968506f, 32.38426971435547f, 255.0f};
inline constexpr float kCrossLight[4] = {4.249996185302734f, 255.0f, 130.7152099609375f, 255.0f};

}  // namespace camera
