#include "framework/CropRatio.h"

#include "framework/ImageMod.h"

namespace {

struct AspectOption {
    const char* text;
    float ratio;
};

// In the order the crop tile lists them after "Custom".
const AspectOption kAspectOptions[] = {
    {"Square", 1.0f},
    {"7:6", 7.0f / 6.0f},
    {"5:4", 1.25f},
    {"4:3", 4.0f / 3.0f},
    {"7:5", 1.4f},
    {"3:2", 1.5f},
    {"5:3", 5.0f / 3.0f},
    {"16:9", 16.0f / 9.0f},
    {"1.85:1", 1.85f},
    {"2:1", 2.0f},
    {"2.39:1", 2.39f},
};

}  // namespace

float cropAspectRatio(const ImageMod& mod) {
    const ModVar* aspect = mod.findVar("Aspect");
    if (!aspect) return 0.0f;
    const GrowString text = aspect->choiceText();
    for (const AspectOption& option : kAspectOptions) {
        if (text == option.text) return option.ratio;
    }
    return 0.0f;
}
