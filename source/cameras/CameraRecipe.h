#pragma once
// A camera style's recipe as data, and the base of the styles that are
// nothing but their recipe.
//
// A Recipe is the list of a style's steps at one set of values (Amount,
// Variation, version): each step is a building-block tile built with its
// start values, the context its body receives, and its 8-bit and float
// bodies. A style writes, per version, one function that adds its steps in
// order; the list is built once per prepared recipe (CameraMod::prepared),
// is immutable from then on and is shared by the threads that render bands
// at once. Every walk over the steps (running them, cutting them into
// strips, the benchmark's chain of tiles, a style's margin) reads this one
// list by index.

#include <cstdint>
#include <type_traits>
#include <utility>

#include "cameras/CameraMod.h"
#include "foundation/GrowArray.h"

namespace camera {

// Which context a step's building block receives: none, the style's own,
// or the style's own with the frame number 0 (grain that must not move
// from frame to frame).
enum StepContext { kBare, kWithContext, kStillContext };

// A building block's pixel body, called through the block's own class.
using BlockBody = void (*)(const ImageMod& block, ImageBuffer& image, const RenderArgs* args);

template <class Block>
void blockBody8(const ImageMod& block, ImageBuffer& image, const RenderArgs* args) {
    static_cast<const Block&>(block).apply8(image, args);
}

template <class Block>
void blockBodyFloat(const ImageMod& block, ImageBuffer& image, const RenderArgs* args) {
    static_cast<const Block&>(block).applyFloat(image, args);
}

// One step: the block (owned by the recipe), its context and its bodies.
struct Step {
    const ImageMod* block = nullptr;
    StepContext how = kBare;
    BlockBody body8 = nullptr;
    BlockBody bodyFloat = nullptr;
};

class Recipe;

// A style's steps at (a, v, version), added to `recipe` in order.
using RecipeSteps = void (*)(Recipe& recipe, float a, float v, uint32_t version);

class Recipe {
public:
    Recipe() = default;
    // The list that `steps` adds at these values.
    Recipe(float a, float v, uint32_t version, RecipeSteps steps) { steps(*this, a, v, version); }
    Recipe(const Recipe&) = delete;
    Recipe& operator=(const Recipe&) = delete;
    ~Recipe();

    // Builds a block from its constructor arguments and lists it as the
    // next step; returns it for the few settings a constructor leaves out
    // (a pinned version stored after construction).
    template <class Block, class... Args>
    Block& add(StepContext how, Args&&... args) {
        static_assert(std::is_base_of<ImageMod, Block>::value, "a step's block is a tile");
        Block* block = new Block(std::forward<Args>(args)...);
        steps_.append(Step{block, how, &blockBody8<Block>, &blockBodyFloat<Block>});
        return *block;
    }

    int32_t stepCount() const { return steps_.count; }
    const Step& step(int32_t index) const { return steps_[index]; }

    // The most rows of context any step reads around a band (0 when no
    // step blurs).
    int32_t reach(int32_t width, int32_t height, float scale) const;

    // Runs the steps on the picture in place: walked strip by strip when the
    // context tells where the rows lie, else each step over the whole image.
    template <class Sample>
    void run(ImageBuffer& image, const RenderArgs* args) const;

    // The blocks as new tiles the caller owns, in order.
    void appendChain(GrowArray<ImageMod*>& out) const;

private:
    GrowArray<Step> steps_;
};

extern template void Recipe::run<uint8_t>(ImageBuffer&, const RenderArgs*) const;
extern template void Recipe::run<float>(ImageBuffer&, const RenderArgs*) const;

}  // namespace camera

// A camera style whose pixel work is its recipe: it supplies the clone and
// the bodies, so that a style's file holds its constants, the steps of its
// versions and, where it blurs, its margin. Style is the style's own class:
// a style whose constructor takes a version is cloned with this tile's
// version, any other is built plainly (version 1).
template <class Style>
class CameraStyle : public CameraMod {
public:
    ImageMod* clone() const override {
        if constexpr (std::is_constructible<Style, uint32_t>::value) {
            return new Style(version);
        } else {
            return new Style();
        }
    }
    void process8(ImageBuffer& image, const RenderArgs* args) override { run<uint8_t>(image, args); }
    void processFloat(ImageBuffer& image, const RenderArgs* args) override { run<float>(image, args); }
    void recipeChain(GrowArray<ImageMod*>& out) const override {
        float a, v;
        if (readValues(a, v)) recipe(a, v)->appendChain(out);
    }

protected:
    // Names, vars and description as every style has them; a versioned style
    // passes its version, which is set through setVersion.
    CameraStyle(const char* xmlName, const char* descriptionText, camera::RecipeSteps steps)
        : CameraMod(xmlName, descriptionText), steps_(steps) {}
    CameraStyle(const char* xmlName, const char* descriptionText, camera::RecipeSteps steps, uint32_t styleVersion)
        : CameraStyle(xmlName, descriptionText, steps) {
        setVersion(styleVersion);
    }

    // The recipe prepared for these values.
    std::shared_ptr<const camera::Recipe> recipe(float a, float v) const {
        return prepared<camera::Recipe>(a, v, steps_);
    }

    // A margin of a style whose recipe may blur: the written margin, or the
    // rows the recipe's steps reach at the current values when that is more
    // (a file may hold an Amount beyond 1).
    int32_t atLeastRecipeReach(int32_t written, int32_t width, int32_t height, float scale) const {
        float a, v;
        if (!readValues(a, v)) return written;
        const int32_t reach = recipe(a, v)->reach(width, height, scale);
        return reach > written ? reach : written;
    }

private:
    template <class Sample>
    void run(ImageBuffer& image, const RenderArgs* args) const {
        float a, v;
        if (!readValues(a, v) || !camera::hasPixels(image)) return;
        recipe(a, v)->template run<Sample>(image, args);
    }

    camera::RecipeSteps steps_;
};
