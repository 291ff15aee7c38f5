#pragma once
// AspectRatioMod ("Aspect Ratio"): the sizing tile that trims the output to
// a chosen aspect ratio by cutting the longer side (see
// framework/SizingMod.h). One var, the choice "Aspect": "Custom" (no
// trimming), "Square", "7:6", "5:4", "4:3", "7:5", "3:2", "5:3", "16:9",
// "1.85:1", "2:1", "2.39:1". The ratio is turned for a portrait input; the
// results are not rounded (the geometry step makes whole pixels of them).
// Hovering the options previews nothing.

#include <memory>

#include "foundation/Mutex.h"
#include "framework/SizingMod.h"

class AspectRatioMod : public SizingMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    AspectRatioMod();

    ImageMod* clone() const override;
    bool canTile(int32_t pass) const override;
    float outputWidth(float width, float height) override;
    float outputHeight(float width, float height) override;

    // Width / height of the chosen option; 0 for "Custom", for a text not
    // in the list and without an "Aspect" var.
    float aspectValue() const;

private:
    void computeOutputSize(float w, float h, float* outW, float* outH);

    std::unique_ptr<Mutex> cacheLock;  // guards the two cached values
    float cachedWidth = 1200.0f;
    float cachedHeight = 1200.0f;
};
