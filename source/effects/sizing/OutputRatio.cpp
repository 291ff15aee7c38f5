#include "effects/sizing/OutputRatio.h"

namespace {

struct AspectOption {
    const char* text;
    float ratio;
};

const AspectOption kAspectOptions[] = {
    {"Custom", 0.0f},       {"Square", 1.0f}, {"7:6", 7.0f / 6.0f},     {"5:4", 1.25f},
    {"4:3", 4.0f / 3.0f},   {"7:5", 1.4f},    {"3:2", 1.5f},            {"5:3", 5.0f / 3.0f},
    {"16:9", 16.0f / 9.0f}, {"1.85:1", 1.85f}, {"2:1", 2.0f},           {"2.39:1", 2.39f},
};

}  // namespace

AspectRatioMod::AspectRatioMod()
    : SizingMod(GrowString("Aspect Ratio"), GrowString("Aspect Ratio")), cacheLock(std::make_unique<Mutex>()) {
    version = kNewestVersion;
    GrowArray<GrowString> options;
    for (const AspectOption& option : kAspectOptions) options.append(GrowString(option.text));
    ModVar* aspect = addVar(ModVar("Aspect", new ChoiceValue(options, 0)));
    aspect->hoverPreview = 0;
    description = "Specify the desired final aspect ratio for the output image.";
}

ImageMod* AspectRatioMod::clone() const { return new AspectRatioMod(); }

bool AspectRatioMod::canTile(int32_t) const { return false; }

float AspectRatioMod::aspectValue() const {
    const ModVar* aspect = findVar("Aspect");
    if (!aspect) return 0.0f;
    const GrowString text = aspect->choiceText();
    for (const AspectOption& option : kAspectOptions)
        if (text == option.text) return option.ratio;
    return 0.0f;
}

void AspectRatioMod::computeOutputSize(float w, float h, float* outW, float* outH) {
    MutexLocker guard(cacheLock.get());
    cachedWidth = w;
    cachedHeight = h;
    float r = aspectValue();
    if (r > 0.0f) {
        if (h > w) r = 1.0f / r;  // portrait input
        if (w / r < h)
            cachedHeight = w / r;  // top and bottom trimmed
        else if (h * r < w)
            cachedWidth = h * r;  // the sides trimmed
    }
    if (outW) *outW = cachedWidth;
    if (outH) *outH = cachedHeight;
}

float AspectRatioMod::outputWidth(float width, float height) {
    float w = 0.0f;
    computeOutputSize(width, height, &w, nullptr);
    return w;
}

float AspectRatioMod::outputHeight(float width, float height) {
    float h = 0.0f;
    computeOutputSize(width, height, nullptr, &h);
    return h;
}
