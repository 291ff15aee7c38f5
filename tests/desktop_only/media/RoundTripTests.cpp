// Saving and loading again gives the same picture: exactly for the lossless
// formats, within JPEG's tolerance for JPEG, and with 16-bit precision kept.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/MediaExtensions.h"

#include <cmath>
#include <set>

using namespace mediatest;

namespace {

struct RoundTripCase {
    const char* name;      // file name; the extension picks the format
    int32_t channels;
    bool fromFloat;        // saveFloat (else save8)
    bool sixteenBit;
    double maxError;       // largest sample difference allowed
    double meanError;      // mean sample difference allowed
};

const RoundTripCase kRoundTrips[] = {
    {"rgb.png", 3, false, false, 0, 0},
    {"rgba.png", 4, false, false, 0, 0},
    {"grey.png", 1, false, false, 0, 0},
    {"rgb.tif", 3, false, false, 0, 0},
    {"rgb.tiff", 3, true, false, 1, 1},  // floats stored truncated to bytes
    {"rgb.pli", 3, false, false, 0, 0},
    {"rgba.pli", 4, false, false, 0, 0},
    {"rgb.jpg", 3, false, false, 12, 1.5},
    {"rgba.jpeg", 4, false, false, 12, 1.5},  // alpha is dropped, reads back opaque
    {"rgb16.png", 3, true, true, 0.5 / 257 + 1e-4, 0.5 / 257},
    {"rgba16.png", 4, true, true, 0.5 / 257 + 1e-4, 0.5 / 257},
    {"rgb16.tif", 3, true, true, 0.5 / 257 + 1e-4, 0.5 / 257},
    {"rgba16.tiff", 4, true, true, 0.5 / 257 + 1e-4, 0.5 / 257},
};

TEST(MediaRoundTrip, SavedFilesLoadBackAsTheSamePicture) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    for (const RoundTripCase& c : kRoundTrips) {
        SCOPED_TRACE(c.name);
        ImageBuffer original;
        makePicture(&original, 61, 37, c.channels, c.fromFloat);
        SaveOptions options;
        options.quality = 95;
        options.sixteenBit = c.sixteenBit;
        const GrowString path = gs(folder.file(c.name));
        ASSERT_TRUE(c.fromFloat ? io.saveFloat(path, original, options, nullptr)
                                : io.save8(path, original, options, nullptr));

        ImageBuffer loaded;
        loaded.channels = c.channels;
        ASSERT_TRUE(io.loadFloat(path, &loaded, true, nullptr));
        ASSERT_EQ(loaded.width, 61);
        ASSERT_EQ(loaded.height, 37);
        ASSERT_EQ(loaded.channels, c.channels);

        const bool jpegAlpha = c.channels == 4 && std::string(c.name).find(".jp") != std::string::npos;
        double worst = 0;
        double sum = 0;
        const int64_t n = original.sampleCount();
        for (int64_t i = 0; i < n; ++i) {
            float expected = sampleAt(original, c.fromFloat, i);
            if (c.fromFloat && !c.sixteenBit) expected = std::floor(expected);
            if (jpegAlpha && i % 4 == 3) expected = 255.0f;
            const double diff = std::fabs(loaded.floats()[i] - expected);
            worst = std::max(worst, diff);
            sum += diff;
        }
        EXPECT_LE(worst, c.maxError);
        EXPECT_LE(sum / n, c.meanError);
    }
}

TEST(MediaRoundTrip, FloatSavedAsBytesFollowsTheEightBitStore) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer original;
    original.allocateFloat(2, 1, 3);
    const float values[6] = {10.9f, -3.0f, 300.0f, NAN, 254.999f, 0.5f};
    for (int i = 0; i < 6; ++i) original.floats()[i] = values[i];
    const GrowString path = gs(folder.file("store.png"));
    ASSERT_TRUE(io.saveFloat(path, original, SaveOptions(), nullptr));
    ImageBuffer loaded;
    ASSERT_TRUE(io.load8(path, &loaded, false));
    const uint8_t expected[6] = {10, 0, 255, 0, 254, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(loaded.bytes()[i], expected[i]) << i;
}

TEST(MediaRoundTrip, JpegQualityIsSettableAndClamped) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer picture;
    makePicture(&picture, 64, 48, 3, false);
    for (int64_t i = 0; i < picture.sampleCount(); i += 7) picture.bytes()[i] ^= 0x55;  // detail to compress
    struct { int32_t quality; const char* name; } cases[] = {
        {-5, "q-5.jpg"}, {1, "q1.jpg"}, {10, "q10.jpg"}, {95, "q95.jpg"}, {100, "q100.jpg"}, {500, "q500.jpg"}};
    for (const auto& c : cases) {
        SaveOptions options;
        options.quality = c.quality;
        options.embedProfile = false;
        ASSERT_TRUE(io.save8(gs(folder.file(c.name)), picture, options, nullptr)) << c.quality;
    }
    EXPECT_LT(readFile(folder.file("q10.jpg")).size(), readFile(folder.file("q95.jpg")).size() / 2);
    EXPECT_TRUE(readFile(folder.file("q-5.jpg")) == readFile(folder.file("q1.jpg")));
    EXPECT_TRUE(readFile(folder.file("q500.jpg")) == readFile(folder.file("q100.jpg")));
}

TEST(MediaRoundTrip, ChannelCountOfTheBufferIsKept) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer original;
    makePicture(&original, 9, 7, 3, false);
    const GrowString path = gs(folder.file("opaque.png"));
    ASSERT_TRUE(io.save8(path, original, SaveOptions(), nullptr));

    struct { int32_t requested; int32_t expected; } cases[] = {{0, 3}, {-2, 3}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        ImageBuffer loaded;
        loaded.channels = c.requested;
        ASSERT_TRUE(io.load8(path, &loaded, false));
        EXPECT_EQ(loaded.channels, c.expected);
        if (c.expected == 4) {
            for (int64_t p = 0; p < 9 * 7; ++p) ASSERT_EQ(loaded.bytes()[p * 4 + 3], 255);  // no alpha: opaque
        }
        if (c.expected >= 3) {
            EXPECT_EQ(loaded.bytes()[(2 * 9 + 5) * c.expected + 1], original.bytes()[(2 * 9 + 5) * 3 + 1]);
        }
    }
}

TEST(MediaRoundTrip, AlphaOfTheFileIsRead) {
    DesktopImageLoaderSaver io;
    TempFolder folder;
    ASSERT_TRUE(writeFlowerWithAlpha(folder.file("flower-alpha.png")));
    ImageBuffer loaded;
    loaded.channels = 4;
    ASSERT_TRUE(io.load8(gs(folder.file("flower-alpha.png")), &loaded, false));
    ASSERT_EQ(loaded.width, 2268);
    std::set<int> alphas;
    for (int64_t p = 0; p < int64_t(loaded.width) * loaded.height; p += 997) alphas.insert(loaded.bytes()[p * 4 + 3]);
    EXPECT_GT(alphas.size(), 2u);
}

TEST(MediaExtensions, ListsTheOpenableFormatsInLowerCaseWithoutDots) {
    const GrowArray<GrowString> extensions = supportedOpenExtensions();
    std::set<std::string> found;
    for (const GrowString& e : extensions) {
        const std::string text = e.c_str();
        EXPECT_EQ(text.find('.'), std::string::npos);
        for (char ch : text) EXPECT_FALSE(ch >= 'A' && ch <= 'Z') << text;
        found.insert(text);
    }
    for (const char* needed : {"jpg", "jpeg", "png", "tif", "tiff", "psd", "pli", "cr2", "cr3", "nef", "arw",
                               "dng", "raf", "orf", "rw2", "pef", "srw", "raw"}) {
        EXPECT_TRUE(found.count(needed)) << needed;
    }
    EXPECT_TRUE(hasSupportedOpenExtension(GrowString("/photos/IMG_0001.CR2")));
    EXPECT_TRUE(hasSupportedOpenExtension(GrowString("a.b/photo.Jpeg")));
    EXPECT_FALSE(hasSupportedOpenExtension(GrowString("notes.txt")));
    EXPECT_FALSE(hasSupportedOpenExtension(GrowString("folder.jpg/README")));
}

}  // namespace
