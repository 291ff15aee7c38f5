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

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>

#include "framework/Curve.h"
#include "framework/ImageMod.h"
#include "platform/ParallelFor.h"

class CameraMod : public ImageMod {
public:
    // The style constructor: names, the two vars and the description.
    // The display name is the XML name followed by " Camera".
    CameraMod(const char* xmlName, const char* descriptionText);

    int32_t kind() const override { return kCameraMod; }
    bool runsSeveralSteps() const override { return true; }

    // Amount and Variation as the recipes read them: the float value of
    // var 0 and var 1, 0 for a var of another kind or none.
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
    // Recipe must be constructible from (float a, float v, uint32_t version).
    template <class Recipe>
    std::shared_ptr<const Recipe> prepared(float a, float v) const {
        uint32_t aBits, vBits;
        std::memcpy(&aBits, &a, sizeof aBits);
        std::memcpy(&vBits, &v, sizeof vBits);
        std::lock_guard<std::mutex> hold(preparedLock_);
        if (preparedRecipe_ && preparedA_ == aBits && preparedV_ == vBits && preparedVersion_ == version) {
            return std::static_pointer_cast<const Recipe>(preparedRecipe_);
        }
        auto recipe = std::make_shared<const Recipe>(a, v, version);
        preparedRecipe_ = recipe;
        preparedA_ = aBits;
        preparedV_ = vBits;
        preparedVersion_ = version;
        return recipe;
    }


    // The common body of a style: leaves the picture alone at Amount 0 (or
    // NaN), otherwise runs the steps of the recipe prepared for the current
    // values. A Recipe lists its steps in order through a template member
    // steps(step), calling step(block, how) for each building block, where
    // `how` says which context the block's body receives.
    template <class Recipe, class Sample>
    void runRecipe(ImageBuffer& image, const RenderArgs* args) const;

    template <class Recipe>
    void appendRecipeChain(GrowArray<ImageMod*>& out) const;

    // A margin of a style whose recipe may blur: the written margin, or the
    // rows the recipe's blur reaches at the current values when that is
    // more (a file may hold an Amount beyond 1). Recipe has a `blur` member,
    // null in the versions that do not blur.
    template <class Recipe>
    int32_t atLeastBlurReach(int32_t written, int32_t width, int32_t height, float scale) const {
        float a, v;
        if (!readValues(a, v)) return written;
        const auto recipe = prepared<Recipe>(a, v);
        if (!recipe->blur) return written;
        const int32_t reach = recipe->blur->marginFor(width, height, scale);
        return reach > written ? reach : written;
    }

private:
    mutable std::mutex preparedLock_;
    mutable std::shared_ptr<const void> preparedRecipe_;
    mutable uint32_t preparedA_ = 0;
    mutable uint32_t preparedV_ = 0;
    mutable uint32_t preparedVersion_ = 0;
};

namespace camera {

// Runs a building block's pixel body on the picture: the 8-bit body for
// byte samples, the float body for float samples. Blocks that the recipe
// runs without the caller's context get null args.
template <class Sample, class Block>
inline void run(const Block& block, ImageBuffer& image, const RenderArgs* args) {
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        block.apply8(image, args);
    } else {
        block.applyFloat(image, args);
    }
}

inline bool hasPixels(const ImageBuffer& image) {
    return image.data != nullptr && image.width > 0 && image.height > 0;
}

// Which context a step's building block receives: none, the style's own,
// or the style's own with the frame number 0 (grain that must not move
// from frame to frame).
enum StepContext { kBare, kWithContext, kStillContext };

template <class Sample, class Block>
inline void runStep(const Block& block, ImageBuffer& image, const RenderArgs* args, StepContext how) {
    if (how == kBare || args == nullptr) {
        run<Sample>(block, image, nullptr);
    } else if (how == kStillContext) {
        RenderArgs still = *args;
        still.requestValue = 0;
        run<Sample>(block, image, &still);
    } else {
        run<Sample>(block, image, args);
    }
}

// The recipes' conversion of a double result to float.
inline float toFloat(double v) { return static_cast<float>(v); }

// A parameter of the general form float(cos(k x + phase) * s + o): the
// cosine, products and sums in double, the result rounded to float.
inline float wave(double x, double k, double phase, double s, double o) {
    return static_cast<float>(std::cos(k * x + phase) * s + o);
}

// A margin in rows from a reach in (possibly fractional) rows: NaN or
// negative gives 0; anything beyond the picture is the picture's height.
int32_t marginRows(double reach, int32_t height);

// The margin the styles write for their blur: ceilf(q q M 0.03) in float,
// with q the blur's Amount / 100 and M the longer side, as rows.
int32_t blurMarginRows(float q, int32_t width, int32_t height);

}  // namespace camera

namespace camera {

// How a style's body walks its recipe over the rows it is given, when it
// knows where they lie in the picture (a region with the picture's size).
//
// Each step of a recipe is either a point step, whose result on a row
// depends on that row alone (and on where it lies, which the region tells),
// or a step that reads rows of context (a blur: its block has a margin). A
// run of point steps goes strip by strip over the rows, every step of the
// run on one strip of about kStripBytes while it is in the core's cache,
// instead of one sweep over all the rows per step; a step that reads context
// runs once over all the rows. The steps after the last one that reads
// context run on the rows the caller keeps only (RenderArgs::contextAbove
// and contextBelow): what they would write into the context rows is thrown
// away. Every kept row meets the same steps in the same order with the same
// arithmetic, so the samples are those of running each step over all rows.
struct StepWalk {
    static constexpr int32_t kMaxSteps = 64;
    // The working-set size of a strip, as the pipeline's fused sub-bands.
    static constexpr int64_t kStripBytes = 256 * 1024;
    // The priority of the loop over strips when a style is called outside
    // any parallel loop (inside one, the loop stays in the caller's arena).
    static constexpr float kStripPriority = 0.5f;
    int32_t count = 0;         // steps of the recipe
    uint64_t readers = 0;      // bit i: step i reads rows of context
    int32_t lastReader = -1;   // the last step that reads context, or -1
    int32_t keptTop = 0;       // rows the caller keeps: [keptTop, keptBottom)
    int32_t keptBottom = 0;
    int32_t stripRows = 1;
};

// Fills `walk` for the recipe over the image; false when the body should
// simply run each step over the whole image (no region, more steps than the
// walk holds, or nothing to gain: no context rows and one strip).
template <class Recipe>
bool planWalk(const Recipe& recipe, const ImageBuffer& image, const RenderArgs* args, int64_t sampleBytes,
              StepWalk& walk) {
    const RenderRegion* region = args ? args->region : nullptr;
    if (!region || region->fullWidth < 1 || region->fullHeight < 1) return false;
    int32_t index = 0;
    recipe.steps([&](const ImageMod& block, StepContext) {
        if (index < StepWalk::kMaxSteps && block.marginFor(region->fullWidth, region->fullHeight, region->scale) > 0) {
            walk.readers |= uint64_t(1) << index;
            walk.lastReader = index;
        }
        ++index;
    });
    if (index > StepWalk::kMaxSteps) return false;
    walk.count = index;
    const int32_t height = image.height;
    const int32_t above = args->contextAbove > 0 ? args->contextAbove : 0;
    const int32_t below = args->contextBelow > 0 ? args->contextBelow : 0;
    walk.keptTop = above < height ? above : height;
    walk.keptBottom = below < height - walk.keptTop ? height - below : walk.keptTop;
    const int64_t rowBytes = static_cast<int64_t>(image.width) * image.channelCount() * sampleBytes;
    const int64_t rows = rowBytes > 0 ? StepWalk::kStripBytes / rowBytes : height;
    walk.stripRows = static_cast<int32_t>(rows < 1 ? 1 : (rows < height ? rows : height));
    return walk.keptTop > 0 || walk.keptBottom < height || walk.stripRows < height;
}

// Runs steps [first, end) of the recipe over rows [top, bottom) of the
// image, strip by strip: each strip is a view of its rows with the region
// moved to where they lie. The strips are tasks of a parallel loop (nested
// in the pipeline's loop over bands), so that threads done with their own
// bands take strips of the others, as they take sub-bands of a fused run.
template <class Sample, class Recipe>
void runStepsInStrips(const Recipe& recipe, ImageBuffer& image, const RenderArgs& args, int32_t first, int32_t end,
                      int32_t top, int32_t bottom, int32_t stripRows) {
    if (bottom <= top) return;
    const int64_t rowSamples = static_cast<int64_t>(image.width) * image.channelCount();
    const auto runStrip = [&](int32_t strip) {
        const int32_t stripTop = top + strip * stripRows;
        const int32_t rows = bottom - stripTop < stripRows ? bottom - stripTop : stripRows;
        ImageBuffer view;
        view.wrap(static_cast<Sample*>(image.data) + stripTop * rowSamples, image.width, rows, image.channels);
        view.insetLeft = image.insetLeft;
        view.insetRight = image.insetRight;
        view.insetTop = image.insetTop;
        view.insetBottom = image.insetBottom;
        view.scale = image.scale;
        RenderRegion region = *args.region;
        region.originY += stripTop;
        RenderArgs stripArgs = args;
        stripArgs.region = &region;
        int32_t index = 0;
        recipe.steps([&](const auto& block, StepContext how) {
            if (index >= first && index < end) runStep<Sample>(block, view, &stripArgs, how);
            ++index;
        });
    };
    const int32_t strips = static_cast<int32_t>((static_cast<int64_t>(bottom - top) + stripRows - 1) / stripRows);
    if (strips == 1) {
        runStrip(0);
    } else {
        parallelFor(strips, StepWalk::kStripPriority, runStrip);
    }
}

// Runs the recipe as `walk` plans it: each step that reads context over the
// whole image, each run of point steps in strips, over every row before the
// last reader and over the kept rows after it.
template <class Sample, class Recipe>
void walkSteps(const Recipe& recipe, ImageBuffer& image, const RenderArgs& callerArgs, const StepWalk& walk) {
    // The blocks get the caller's context without the context rows, which
    // are the style's business.
    RenderArgs args = callerArgs;
    args.contextAbove = 0;
    args.contextBelow = 0;
    int32_t i = 0;
    while (i < walk.count) {
        if (walk.readers >> i & 1u) {
            int32_t index = 0;
            recipe.steps([&](const auto& block, StepContext how) {
                if (index == i) runStep<Sample>(block, image, &args, how);
                ++index;
            });
            ++i;
            continue;
        }
        int32_t end = i + 1;
        while (end < walk.count && !(walk.readers >> end & 1u)) ++end;
        const bool allRows = i < walk.lastReader;
        runStepsInStrips<Sample>(recipe, image, args, i, end, allRows ? 0 : walk.keptTop,
                                 allRows ? image.height : walk.keptBottom, walk.stripRows);
        i = end;
    }
}

}  // namespace camera

template <class Recipe, class Sample>
void CameraMod::runRecipe(ImageBuffer& image, const RenderArgs* args) const {
    float a, v;
    if (!readValues(a, v) || !camera::hasPixels(image)) return;
    const std::shared_ptr<const Recipe> recipe = prepared<Recipe>(a, v);
    camera::StepWalk walk;
    if (camera::planWalk(*recipe, image, args, sizeof(Sample), walk)) {
        camera::walkSteps<Sample>(*recipe, image, *args, walk);
        return;
    }
    recipe->steps(
        [&](const auto& block, camera::StepContext how) { camera::runStep<Sample>(block, image, args, how); });
}

template <class Recipe>
void CameraMod::appendRecipeChain(GrowArray<ImageMod*>& out) const {
    float a, v;
    if (!readValues(a, v)) return;
    prepared<Recipe>(a, v)->steps([&](const ImageMod& block, camera::StepContext) { out.append(duplicateMod(block)); });
}

namespace camera {

// A curve from a point string "x0 y0 x1 y1 ...", hue offset 180, as the
// recipes build their curves.
Curve curveFrom(const char* points);

}  // namespace camera
