#include "cameras/CameraRecipe.h"

#include "platform/ParallelFor.h"

namespace camera {

namespace {

// Runs one step's body on the picture with the context the step asks for.
template <class Sample>
void runStep(const Step& step, ImageBuffer& image, const RenderArgs* args) {
    const BlockBody body = std::is_same<Sample, uint8_t>::value ? step.body8 : step.bodyFloat;
    if (step.how == kBare || args == nullptr) {
        body(*step.block, image, nullptr);
    } else if (step.how == kStillContext) {
        RenderArgs still = *args;
        still.requestValue = 0;
        body(*step.block, image, &still);
    } else {
        body(*step.block, image, args);
    }
}

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
bool planWalk(const Recipe& recipe, const ImageBuffer& image, const RenderArgs* args, int64_t sampleBytes,
              StepWalk& walk) {
    const RenderRegion* region = args ? args->region : nullptr;
    if (!region || region->fullWidth < 1 || region->fullHeight < 1) return false;
    const int32_t count = recipe.stepCount();
    if (count > StepWalk::kMaxSteps) return false;
    for (int32_t i = 0; i < count; ++i) {
        if (recipe.step(i).block->marginFor(region->fullWidth, region->fullHeight, region->scale) > 0) {
            walk.readers |= uint64_t(1) << i;
            walk.lastReader = i;
        }
    }
    walk.count = count;
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
template <class Sample>
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
        for (int32_t i = first; i < end; ++i) runStep<Sample>(recipe.step(i), view, &stripArgs);
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
template <class Sample>
void walkSteps(const Recipe& recipe, ImageBuffer& image, const RenderArgs& callerArgs, const StepWalk& walk) {
    // The blocks get the caller's context without the context rows, which
    // are the style's business.
    RenderArgs args = callerArgs;
    args.contextAbove = 0;
    args.contextBelow = 0;
    int32_t i = 0;
    while (i < walk.count) {
        if (walk.readers >> i & 1u) {
            runStep<Sample>(recipe.step(i), image, &args);
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

}  // namespace

Recipe::~Recipe() {
    for (const Step& step : steps_) delete step.block;
}

int32_t Recipe::reach(int32_t width, int32_t height, float scale) const {
    int32_t most = 0;
    for (const Step& step : steps_) {
        const int32_t rows = step.block->marginFor(width, height, scale);
        if (rows > most) most = rows;
    }
    return most;
}

template <class Sample>
void Recipe::run(ImageBuffer& image, const RenderArgs* args) const {
    StepWalk walk;
    if (planWalk(*this, image, args, sizeof(Sample), walk)) {
        walkSteps<Sample>(*this, image, *args, walk);
        return;
    }
    for (const Step& step : steps_) runStep<Sample>(step, image, args);
}

template void Recipe::run<uint8_t>(ImageBuffer&, const RenderArgs*) const;
template void Recipe::run<float>(ImageBuffer&, const RenderArgs*) const;

void Recipe::appendChain(GrowArray<ImageMod*>& out) const {
    for (const Step& step : steps_) out.append(duplicateMod(*step.block));
}

}  // namespace camera
