#pragma once
// The output size tiles: they decide the pixel size of the result and never
// touch pixels (see framework/SizingMod.h).
//
// OutputSizeMod ("Output Size", shown as "Maximum Size"): the result fits
// inside limits, keeping the source's aspect. Vars: "Width" and "Height"
// (shown as "Max Width" and "Max Height", 0 for no limit on that side),
// "Maximum Side" (shown as "Longest Side"; offered only in version 1, read
// in every version) and "Quality" (never shown, read by nothing). Setting
// "Maximum Side" clears "Width" and "Height" and the other way round. When
// both limits are set the result touches the box even if the source is
// smaller; a side without a limit starts from the source size, so it never
// grows. The side that does not touch the box is rounded half up.
//
// OutputSizeExactMod ("Output Size Exact", shown as "Exact Size"): the
// result has exactly "Width" x "Height" pixels (at least 1 each), whatever
// the source.
//
// Both compute in single precision; the output geometry step turns the
// sizes into whole pixels and refuses sizes beyond the pixel budget.

#include <memory>

#include "foundation/Mutex.h"
#include "framework/SizingMod.h"

class OutputSizeMod : public SizingMod {
public:
    // Version 1 offers "Maximum Side"; version 2 hides it.
    static constexpr uint32_t kNewestVersion = 2;
    // The panel's tile is version 2.
    explicit OutputSizeMod(uint32_t version);

    ImageMod* clone() const override;
    void setVersion(uint32_t newVersion) override;
    void varChanged(int32_t index) override;
    float outputWidth(float width, float height) override;
    float outputHeight(float width, float height) override;

    // Computes the output size of an inW x inH source into the cache (under
    // the tile's lock) and returns it.
    void computeOutputSize(float inW, float inH, float* outW, float* outH);

private:
    std::unique_ptr<Mutex> cacheLock;  // guards the two cached values
    float cachedWidth = 1200.0f;
    float cachedHeight = 1200.0f;
};

class OutputSizeExactMod : public SizingMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    OutputSizeExactMod();

    ImageMod* clone() const override;
    float outputWidth(float width, float height) override;
    float outputHeight(float width, float height) override;
};
