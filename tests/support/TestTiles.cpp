#include "support/TestTiles.h"

#include <algorithm>
#include <vector>

// ---------------------------------------------------------------------------
// Tiles of the tile object model tests

namespace {

template <bool kEightBit>
void addWeighted(ImageBuffer& image, const RenderArgs* args, float amount) {
    const SelectorMod* selector = args ? asSelector(args->selector) : nullptr;
    const RenderRegion* region = args ? args->region : nullptr;
    const int32_t channels = image.channelCount();
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            float w = 1.0f;
            if (selector) {
                w = kEightBit ? selector->maskWeight8(image, x, y, region) : selector->maskWeight(image, x, y, region);
            }
            const int64_t base = (static_cast<int64_t>(y) * image.width + x) * channels;
            for (int32_t c = 0; c < channels; ++c) {
                if (kEightBit) {
                    uint8_t& v = image.bytes()[base + c];
                    v = storeByte(static_cast<float>(v) + amount * w);
                } else {
                    image.floats()[base + c] += amount * w;
                }
            }
        }
    }
}

template <bool kEightBit>
void spreadRows(ImageBuffer& image, int32_t m) {
    const int32_t w = image.width;
    const int32_t h = image.height;
    const int32_t channels = image.channelCount();
    if (w < 1 || h < 1 || m < 1) return;
    const int64_t rowSamples = static_cast<int64_t>(w) * channels;
    std::vector<float> source(static_cast<size_t>(rowSamples * h));
    for (int64_t i = 0; i < rowSamples * h; ++i) {
        source[static_cast<size_t>(i)] = kEightBit ? image.bytes()[i] : image.floats()[i];
    }
    for (int32_t y = 0; y < h; ++y) {
        const int32_t above = std::max(0, y - m);
        const int32_t below = std::min(h - 1, y + m);
        for (int64_t s = 0; s < rowSamples; ++s) {
            const float mean = (source[static_cast<size_t>(above * rowSamples + s)] +
                                source[static_cast<size_t>(y * rowSamples + s)] +
                                source[static_cast<size_t>(below * rowSamples + s)]) /
                               3.0f;
            if (kEightBit) {
                image.bytes()[y * rowSamples + s] = storeByte(mean);
            } else {
                image.floats()[y * rowSamples + s] = mean;
            }
        }
    }
}

}  // namespace

AddConstantTile::AddConstantTile(float amount) : ImageMod(GrowString("Add Constant"), GrowString("")) {
    addFloatVar("Amount", amount, -255.0f, 255.0f, 0);
}

ImageMod* AddConstantTile::clone() const { return new AddConstantTile(); }

void AddConstantTile::process8(ImageBuffer& image, const RenderArgs* args) {
    ++calls;
    lastSelector = args ? args->selector : nullptr;
    lastPass = args ? args->pass : 0;
    const FloatValue* amount = floatAt(0);
    addWeighted<true>(image, args, amount ? amount->value : 0.0f);
}

void AddConstantTile::processFloat(ImageBuffer& image, const RenderArgs* args) {
    ++calls;
    lastSelector = args ? args->selector : nullptr;
    lastPass = args ? args->pass : 0;
    const FloatValue* amount = floatAt(0);
    addWeighted<false>(image, args, amount ? amount->value : 0.0f);
}

WeightSelector::WeightSelector(float weight, PixelWeightFunction weightFunction)
    : SelectorMod(GrowString("Weight Selector"), GrowString("")), function(weightFunction) {
    addFloatVar("Weight", weight, 0.0f, 1.0f, 0);
}

ImageMod* WeightSelector::clone() const { return new WeightSelector(1.0f, function); }

float WeightSelector::maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    if (!function) {
        const FloatValue* weight = floatAt(0);
        return weight ? weight->value : 1.0f;
    }
    const int32_t channels = image.channelCount();
    return function(image.floats() + (static_cast<int64_t>(y) * image.width + x) * channels, channels, x, y);
}

float WeightSelector::maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    if (!function) {
        const FloatValue* weight = floatAt(0);
        return weight ? weight->value : 1.0f;
    }
    const int32_t channels = image.channelCount();
    const uint8_t* pixel = image.bytes() + (static_cast<int64_t>(y) * image.width + x) * channels;
    float samples[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t c = 0; c < channels && c < 4; ++c) samples[c] = pixel[c];
    return function(samples, channels, x, y);
}

float redWeight(const float* samples, int32_t, int32_t, int32_t) {
    return std::min(1.0f, std::max(0.0f, samples[0] / 255.0f));
}

RowSpreadTile::RowSpreadTile(int32_t rows) : ImageMod(GrowString("Row Spread"), GrowString("")) {
    addFloatVar("Rows", static_cast<float>(rows), 0.0f, 64.0f, 0);
}

ImageMod* RowSpreadTile::clone() const { return new RowSpreadTile(); }

int32_t RowSpreadTile::marginFor(int32_t, int32_t, float) const {
    const FloatValue* rows = floatAt(0);
    if (!rows || !(rows->value > 0.0f)) return 0;
    return rows->value < 64.0f ? static_cast<int32_t>(rows->value) : 64;
}

void RowSpreadTile::process8(ImageBuffer& image, const RenderArgs*) { spreadRows<true>(image, marginFor(0, 0, 1.0f)); }

void RowSpreadTile::processFloat(ImageBuffer& image, const RenderArgs*) {
    spreadRows<false>(image, marginFor(0, 0, 1.0f));
}

FrameBorderTile::FrameBorderTile() : ImageMod(GrowString("Frame Border"), GrowString("")) { addTypeTag(kTagBorder); }

PassCountTile::PassCountTile(int32_t passCountValue, int32_t refused)
    : ImageMod(GrowString("Pass Count"), GrowString("")), passes(passCountValue), refusedPass(refused) {}

// ---------------------------------------------------------------------------
// Tiles of the render pipeline tests

namespace rendertest {

namespace {

float amountOf(const ImageMod& mod, int32_t index, float fallback) {
    const FloatValue* value = mod.floatAt(index);
    return value ? value->value : fallback;
}

// Vertical box blur of radius r over a float image, rows clamped to it.
void blurColumns(ImageBuffer& image, int32_t r) {
    const int32_t h = image.height;
    const int64_t rowSamples = static_cast<int64_t>(image.width) * image.channelCount();
    if (r < 1 || h < 1 || rowSamples < 1) return;
    std::vector<float> source(image.floats(), image.floats() + rowSamples * h);
    const float scale = 1.0f / static_cast<float>(2 * r + 1);
    for (int32_t y = 0; y < h; ++y) {
        for (int64_t s = 0; s < rowSamples; ++s) {
            float sum = 0.0f;
            for (int32_t d = -r; d <= r; ++d) {
                const int32_t row = std::min(h - 1, std::max(0, y + d));
                sum += source[static_cast<size_t>(row * rowSamples + s)];
            }
            image.floats()[y * rowSamples + s] = sum * scale;
        }
    }
}

// Horizontal box blur of radius r, columns clamped to the image.
void blurRows(ImageBuffer& image, int32_t r) {
    const int32_t w = image.width;
    const int32_t n = image.channelCount();
    if (r < 1 || w < 1) return;
    std::vector<float> row(static_cast<size_t>(w) * n);
    const float scale = 1.0f / static_cast<float>(2 * r + 1);
    for (int32_t y = 0; y < image.height; ++y) {
        float* line = image.floats() + static_cast<int64_t>(y) * w * n;
        std::copy(line, line + static_cast<int64_t>(w) * n, row.begin());
        for (int32_t x = 0; x < w; ++x)
            for (int32_t c = 0; c < n; ++c) {
                float sum = 0.0f;
                for (int32_t d = -r; d <= r; ++d) {
                    const int32_t column = std::min(w - 1, std::max(0, x + d));
                    sum += row[static_cast<size_t>(column) * n + c];
                }
                line[static_cast<int64_t>(x) * n + c] = sum * scale;
            }
    }
}

void flipRows(ImageBuffer& image) {
    const int64_t rowSamples = static_cast<int64_t>(image.width) * image.channelCount();
    for (int32_t y = 0; y < image.height / 2; ++y)
        std::swap_ranges(image.floats() + y * rowSamples, image.floats() + (y + 1) * rowSamples,
                         image.floats() + (image.height - 1 - y) * rowSamples);
}

// Runs a float body on an 8-bit image: widened, processed, stored back.
template <class Body>
void onFloatCopy(ImageBuffer& image8, Body body) {
    ImageBuffer floats;
    ImageBuffer::copyFloatFrom8(floats, image8, true);
    body(floats);
    ImageBuffer::copy8FromFloat(image8, floats, true);
}

}  // namespace

CountingTile::CountingTile(float amount)
    : ImageMod(GrowString("Counting Tile"), GrowString("")), calls(std::make_shared<std::atomic<int32_t>>(0)) {
    addFloatVar("Amount", amount, -255.0f, 255.0f, 0);
}

ImageMod* CountingTile::clone() const {
    CountingTile* copy = new CountingTile();
    copy->calls = calls;
    return copy;
}

void CountingTile::copyFrom(const ImageMod& other) {
    ImageMod::copyFrom(other);
    if (const CountingTile* tile = dynamic_cast<const CountingTile*>(&other)) calls = tile->calls;
}

void CountingTile::process8(ImageBuffer& image, const RenderArgs*) {
    ++*calls;
    const float amount = amountOf(*this, 0, 0.0f);
    for (int64_t i = 0; i < image.sampleCount(); ++i)
        image.bytes()[i] = storeByte(static_cast<float>(image.bytes()[i]) + amount);
}

void CountingTile::processFloat(ImageBuffer& image, const RenderArgs*) {
    ++*calls;
    const float amount = amountOf(*this, 0, 0.0f);
    for (int64_t i = 0; i < image.sampleCount(); ++i) image.floats()[i] += amount;
}

BoxBlurTile::BoxBlurTile(int32_t radiusValue, int32_t margin) : ImageMod(GrowString("Box Blur Test"), GrowString("")) {
    addFloatVar("Radius", static_cast<float>(radiusValue), 0.0f, 64.0f, 0);
    addFloatVar("Margin", static_cast<float>(margin), -1.0f, 64.0f, 0);
}

int32_t BoxBlurTile::radius() const {
    return static_cast<int32_t>(amountOf(*this, 0, 0.0f));
}

int32_t BoxBlurTile::marginFor(int32_t, int32_t, float) const {
    const int32_t margin = static_cast<int32_t>(amountOf(*this, 1, -1.0f));
    return margin < 0 ? radius() : margin;
}

void BoxBlurTile::process8(ImageBuffer& image, const RenderArgs* args) {
    onFloatCopy(image, [&](ImageBuffer& floats) { processFloat(floats, args); });
}

void BoxBlurTile::processFloat(ImageBuffer& image, const RenderArgs*) {
    blurColumns(image, radius());
    blurRows(image, radius());
}

TwoPassTile::TwoPassTile(int32_t radiusValue, bool flipFirst) : ImageMod(GrowString("Two Pass Test"), GrowString("")) {
    addFloatVar("Radius", static_cast<float>(radiusValue), 0.0f, 64.0f, 0);
    addFloatVar("Flip First", flipFirst ? 1.0f : 0.0f, 0.0f, 1.0f, 0);
}

int32_t TwoPassTile::marginFor(int32_t, int32_t, float) const {
    return static_cast<int32_t>(amountOf(*this, 0, 0.0f));
}

bool TwoPassTile::canTile(int32_t pass) const {
    return !(pass == 0 && amountOf(*this, 1, 0.0f) == 1.0f);
}

void TwoPassTile::process8(ImageBuffer& image, const RenderArgs* args) {
    onFloatCopy(image, [&](ImageBuffer& floats) { processFloat(floats, args); });
}

void TwoPassTile::processFloat(ImageBuffer& image, const RenderArgs* args) {
    const int32_t pass = args ? args->pass : -1;
    const int32_t r = static_cast<int32_t>(amountOf(*this, 0, 0.0f));
    if (pass == 0 || pass == -1) {
        if (amountOf(*this, 1, 0.0f) == 1.0f)
            flipRows(image);
        else
            blurColumns(image, r);
    }
    if (pass == 1 || pass == -1) {
        blurColumns(image, r);
        for (int64_t i = 0; i < image.sampleCount(); ++i) image.floats()[i] *= 0.75f;
    }
}

PositionTile::PositionTile() : ImageMod(GrowString("Position Test"), GrowString("")) {}

void PositionTile::process8(ImageBuffer& image, const RenderArgs* args) {
    onFloatCopy(image, [&](ImageBuffer& floats) { processFloat(floats, args); });
}

void PositionTile::processFloat(ImageBuffer& image, const RenderArgs* args) {
    const RenderRegion* region = args ? args->region : nullptr;
    const int32_t originX = region ? region->originX : 0;
    const int32_t originY = region ? region->originY : 0;
    const int32_t n = image.channelCount();
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            float* p = image.floats() + (static_cast<int64_t>(y) * image.width + x) * n;
            p[0] += 0.5f * static_cast<float>(originY + y);
            if (n > 1) p[1] += 0.25f * static_cast<float>(originX + x);
        }
}

ColumnSelector::ColumnSelector(int32_t phase) : SelectorMod(GrowString("Column Selector"), GrowString("")) {
    addFloatVar("Phase", static_cast<float>(phase), 0.0f, 3.0f, 0);
}

float ColumnSelector::maskWeight(const ImageBuffer&, int32_t x, int32_t, const RenderRegion*) const {
    const int32_t phase = static_cast<int32_t>(amountOf(*this, 0, 0.0f));
    return static_cast<float>((x + phase) % 4) / 4.0f;
}

float ColumnSelector::maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion* region) const {
    return maskWeight(image, x, y, region);
}

HookTile::HookTile(ProcessHook function, bool bands)
    : ImageMod(GrowString("Hook Test"), GrowString("")), hook(std::make_shared<ProcessHook>(std::move(function))) {
    addFloatVar("Amount", 0.0f, -255.0f, 255.0f, 0);
    addFloatVar("Bands", bands ? 1.0f : 0.0f, 0.0f, 1.0f, 0);
}

ImageMod* HookTile::clone() const {
    HookTile* copy = new HookTile();
    copy->hook = hook;
    return copy;
}

void HookTile::copyFrom(const ImageMod& other) {
    ImageMod::copyFrom(other);
    if (const HookTile* tile = dynamic_cast<const HookTile*>(&other)) hook = tile->hook;
}

bool HookTile::canTile(int32_t) const {
    return amountOf(*this, 1, 1.0f) != 0.0f;
}

void HookTile::process8(ImageBuffer& image, const RenderArgs* args) {
    if (hook && *hook) (*hook)(image, args, true);
}

void HookTile::processFloat(ImageBuffer& image, const RenderArgs* args) {
    if (hook && *hook) (*hook)(image, args, false);
}

WidthBorderTile::WidthBorderTile(float width) : ImageMod(GrowString("Width Border Test"), GrowString("")) {
    addFloatVar("Width", width, 0.0f, 1000.0f, 0);
    addTypeTag(kTagBorder);
}

}  // namespace rendertest

// ---------------------------------------------------------------------------
// Curves for the curve tiles' tests

Curve curveOf(const char* points) {
    Curve curve(0);
    GrowString text(points);
    curve.setFromString(text);
    return curve;
}
