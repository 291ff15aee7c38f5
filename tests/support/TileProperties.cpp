#include "support/TileProperties.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <typeinfo>

#include "support/ImageBuilders.h"
#include "support/TestTiles.h"
#include "framework/FilterFile.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"

namespace tiletest {

namespace {

// The first pixels of every test image: samples that formulas treat apart.
const float kExtremePixels[][4] = {
    {0.0f, 0.0f, 0.0f, 255.0f},         // black
    {255.0f, 255.0f, 255.0f, 0.0f},     // white, transparent
    {255.0f, 0.0f, 0.0f, 255.0f},       // pure red
    {0.05f, 254.95f, 128.0f, 0.05f},    // at the guards of the power curves
    {1.0f, 254.0f, 0.5f, 254.95f},      // one level from the ends
    {128.0f, 128.0f, 128.0f, 128.0f},   // grey
};

// Runs every pass of the tile over the image, as one band of the whole.
template <class Process>
void runPasses(ImageMod& tile, const RenderArgs* args, Process process) {
    const int32_t passes = tile.passCount();
    if (!args && passes == 1) {
        process(nullptr);  // the stack-built tile's way: no context at all
        return;
    }
    RenderArgs a = args ? *args : RenderArgs();
    for (int32_t p = 0; p < passes; ++p) {
        a.pass = p;
        process(&a);
    }
}

// Restores the machine's thread count when a check ends, early or not.
struct ThreadCountReset {
    ~ThreadCountReset() { setParallelThreadCount(0); }
};

std::string temporaryPath(const char* stem) {
    static std::atomic<int> counter{0};
    const char* base = std::getenv("XDG_CACHE_HOME");
    std::filesystem::path folder = base && *base ? std::filesystem::path(base) : std::filesystem::temp_directory_path();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return (folder / (std::string(stem) + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".plf"))
        .string();
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ImageBuffer makeTestImage(int32_t width, int32_t height, int32_t channels, uint32_t seed) {
    ImageBuffer image = testimages::makeFloatImage(width, height, channels, seed);
    EXPECT_TRUE(image.data != nullptr || width < 1 || height < 1);
    const int32_t n = image.channelCount();
    const int64_t pixels = static_cast<int64_t>(image.width) * image.height;
    float* s = image.floats();
    const int64_t extremes = static_cast<int64_t>(sizeof kExtremePixels / sizeof kExtremePixels[0]);
    for (int64_t p = 0; p < extremes && p < pixels; ++p)
        for (int32_t c = 0; c < n && c < 4; ++c) s[p * n + c] = kExtremePixels[p][c];
    return image;
}

ImageBuffer standardImage(int32_t channels) {
    return makeTestImage(23, 61, channels, static_cast<uint32_t>(channels));
}

ImageBuffer copyOf(const ImageBuffer& floatImage) { return testimages::duplicateFloat(floatImage); }

ImageBuffer copyOf8(const ImageBuffer& image8) { return testimages::duplicateBytes(image8); }

ImageBuffer bytesOf(const ImageBuffer& floatImage) {
    ImageBuffer bytes;
    ImageBuffer::copy8FromFloat(bytes, floatImage, true);
    return bytes;
}

ImageBuffer floatsOf(const ImageBuffer& image8) {
    ImageBuffer floats;
    ImageBuffer::copyFloatFrom8(floats, image8, true);
    return floats;
}

ImageBuffer renderFloat(ImageMod& tile, const ImageBuffer& image, const RenderArgs* args) {
    ImageBuffer out = copyOf(image);
    runPasses(tile, args, [&](const RenderArgs* a) { tile.processFloat(out, a); });
    return out;
}

ImageBuffer render8(ImageMod& tile, const ImageBuffer& image8, const RenderArgs* args) {
    ImageBuffer out = copyOf8(image8);
    runPasses(tile, args, [&](const RenderArgs* a) { tile.process8(out, a); });
    return out;
}

::testing::AssertionResult sameFloatImages(const ImageBuffer& expected, const ImageBuffer& actual) {
    return testimages::floatsIdentical(expected, actual);
}

::testing::AssertionResult sameByteImages(const ImageBuffer& expected, const ImageBuffer& actual) {
    return testimages::bytesIdentical(expected, actual);
}

void expectIdentityLeavesImage(ImageMod& tile) {
    for (int32_t channels : {3, 4}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        const ImageBuffer image = standardImage(channels);
        EXPECT_TRUE(sameFloatImages(image, renderFloat(tile, image)));
        const ImageBuffer bytes = bytesOf(image);
        EXPECT_TRUE(sameByteImages(bytes, render8(tile, bytes)));
    }
}

void expectBandedEqualsWhole(ImageMod& tile, const ImageBuffer& image) {
    ThreadCountReset reset;
    GrowArray<ImageMod*> chain;
    chain.append(&tile);
    const ImageBuffer whole = renderFloat(tile, image);
    const ImageBuffer bytes = bytesOf(image);
    ImageBuffer firstBytes;
    for (int threads = 1; threads <= 8; ++threads) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        setParallelThreadCount(threads);
        RenderContext context(0);
        ImageBuffer out = copyOf(image);
        EXPECT_TRUE(context.render(chain, &out, nullptr, -1, 0, nullptr));
        EXPECT_TRUE(sameFloatImages(whole, out));

        RenderContext context8(0);
        ImageBuffer out8 = copyOf8(bytes);
        EXPECT_TRUE(context8.render8(chain, &out8, nullptr, -1, 0, nullptr));
        if (threads == 1) {
            firstBytes = std::move(out8);
        } else {
            EXPECT_TRUE(sameByteImages(firstBytes, out8));
        }
    }
    // Without a margin the 8-bit pipeline runs the 8-bit body on its bands.
    if (tile.marginFor(image.width, image.height, 1.0f) == 0) {
        EXPECT_TRUE(sameByteImages(render8(tile, bytes), firstBytes));
    }
}

void expectSelectorWeightZeroIsIdentity(ImageMod& tile, const ImageBuffer& image) {
    WeightSelector zero(0.0f);
    RenderArgs args;
    args.selector = &zero;
    EXPECT_TRUE(sameFloatImages(image, renderFloat(tile, image, &args)));
    const ImageBuffer bytes = bytesOf(image);
    EXPECT_TRUE(sameByteImages(bytes, render8(tile, bytes, &args)));
}

void expectSelectorWeightZeroIsIdentity(ImageMod& tile) {
    for (int32_t channels : {3, 4}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        expectSelectorWeightZeroIsIdentity(tile, standardImage(channels));
    }
}

void expectSelectorWeightOneIsNoSelector(ImageMod& tile, const ImageBuffer& image) {
    WeightSelector one(1.0f);
    RenderArgs args;
    args.selector = &one;
    EXPECT_TRUE(sameFloatImages(renderFloat(tile, image), renderFloat(tile, image, &args)));
    const ImageBuffer bytes = bytesOf(image);
    EXPECT_TRUE(sameByteImages(render8(tile, bytes), render8(tile, bytes, &args)));
}

void expectSelectorWeightOneIsNoSelector(ImageMod& tile) {
    for (int32_t channels : {3, 4}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        expectSelectorWeightOneIsNoSelector(tile, standardImage(channels));
    }
}

void expect8BitWithinLevel(ImageMod& tile, const ImageBuffer& image, int32_t tolerance) {
    const ImageBuffer bytes = bytesOf(image);
    const ImageBuffer floats = renderFloat(tile, floatsOf(bytes));
    const ImageBuffer eight = render8(tile, bytes);
    ASSERT_EQ(floats.sampleCount(), eight.sampleCount());
    int64_t outside = 0;
    int64_t first = -1;
    for (int64_t i = 0; i < eight.sampleCount(); ++i) {
        const int32_t expected = storeByte(floats.floats()[i]);
        const int32_t got = eight.bytes()[i];
        if (std::abs(expected - got) > tolerance) {
            if (first < 0) first = i;
            ++outside;
        }
    }
    if (outside > 0) {
        const int64_t n = image.channelCount();
        ADD_FAILURE() << outside << " samples more than " << tolerance << " levels off; first at pixel " << first / n
                      << " channel " << first % n << ": input " << int(bytes.bytes()[first]) << ", float "
                      << floats.floats()[first] << ", 8-bit " << int(eight.bytes()[first]);
    }
}

void expectCloneCopyFromEquals(ImageMod& tile) {
    std::unique_ptr<ImageMod> copy(tile.clone());
    ASSERT_TRUE(copy);
    const ImageMod& source = tile;
    EXPECT_EQ(typeid(*copy).name(), typeid(source).name());
    copy->copyFrom(tile);
    EXPECT_TRUE(copy->equals(tile));
    EXPECT_TRUE(tile.equals(*copy));
    EXPECT_TRUE(copy->name == tile.name);
    EXPECT_EQ(copy->version, tile.version);
    const ImageBuffer image = standardImage(4);
    EXPECT_TRUE(sameFloatImages(renderFloat(tile, image), renderFloat(*copy, image)));
    const ImageBuffer bytes = bytesOf(image);
    EXPECT_TRUE(sameByteImages(render8(tile, bytes), render8(*copy, bytes)));
}

void expectFilterRoundTrip(ImageMod& tile) {
    OwnedTiles prototypes;
    prototypes.list.append(tile.clone());
    GrowArray<ImageMod*> chain;
    chain.append(&tile);
    const std::string path = temporaryPath("round-trip");
    const std::string again = temporaryPath("round-trip-again");
    ASSERT_TRUE(saveFilterFile(chain, GrowString(path.c_str())));

    OwnedTiles loaded;
    uint32_t status = 99;
    loadFilterFile(loaded.list, GrowString(path.c_str()), prototypes.list, status);
    EXPECT_EQ(status, static_cast<uint32_t>(kFilterReadClean));
    ASSERT_EQ(loaded.list.count, 1);
    EXPECT_TRUE(loaded.list[0]->equals(tile)) << fileBytes(path);
    EXPECT_TRUE(tile.equals(*loaded.list[0]));

    ASSERT_TRUE(saveFilterFile(loaded.list, GrowString(again.c_str())));
    EXPECT_EQ(fileBytes(path), fileBytes(again));
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    std::filesystem::remove(again, ignored);
}

}  // namespace tiletest
