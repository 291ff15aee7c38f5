// The real files of the shared test data: orientation, raw, Photoshop and
// 16-bit TIFF decoding, and ":/" resources.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"

#include "desktop_only/media/MediaFileIo.h"

#include <QImage>
#include <QImageReader>

#include <exiv2/exiv2.hpp>

#include <cmath>
#include <cstring>
#include <thread>

using namespace mediatest;

namespace {

// The same buffer turned 180 degrees: a picture must not look like this.
void turnedHalfway(const ImageBuffer& source, ImageBuffer* target) {
    target->allocate8(source.width, source.height, source.channelCount());
    const int64_t pixels = int64_t(source.width) * source.height;
    const int32_t ch = source.channelCount();
    for (int64_t p = 0; p < pixels; ++p)
        for (int32_t c = 0; c < ch; ++c) target->bytes()[p * ch + c] = source.bytes()[(pixels - 1 - p) * ch + c];
}

TEST(MediaOrientation, EveryOrientationComesUpAsTheSameUprightPicture) {
    DesktopImageLoaderSaver io;
    ImageBuffer upright;
    ASSERT_TRUE(io.load8(gs(testData("jpeg/orientation-1.jpg")), &upright, false));
    ASSERT_EQ(upright.width, 50);
    ASSERT_EQ(upright.height, 70);
    ImageBuffer wrong;
    turnedHalfway(upright, &wrong);
    ASSERT_GT(difference(upright, false, wrong, false).mean, 30.0);  // the picture is not symmetric

    for (const char* name : {"jpeg/orientation-3.jpg", "jpeg/orientation-6.jpg", "jpeg/orientation-8.jpg"}) {
        SCOPED_TRACE(name);
        ImageBuffer loaded;
        ASSERT_TRUE(io.load8(gs(testData(name)), &loaded, false));
        ASSERT_EQ(loaded.width, 50);
        ASSERT_EQ(loaded.height, 70);
        // Separately compressed JPEGs of one picture: equal within JPEG's error.
        EXPECT_LT(difference(upright, false, loaded, false).mean, 3.0);
    }
}

TEST(MediaOrientation, AllEightOrientationsMatchQtsOwnTurning) {
    // One stored picture tagged with each orientation in turn; Qt's reader,
    // asked to turn it itself, is the reference.
    TempFolder folder;
    QImage stored(23, 11, QImage::Format_RGB888);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x) stored.setPixelColor(x, y, QColor(x * 11, y * 23, (x * y) % 256));
    const std::string path = folder.file("turned.jpg");
    ASSERT_TRUE(stored.save(QString::fromStdString(path), "jpeg", 100));
    DesktopImageLoaderSaver io;
    for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        Exiv2::Image::AutoPtr file = Exiv2::ImageFactory::open(path);
        file->readMetadata();
        file->exifData()["Exif.Image.Orientation"] = orientation;
        file->writeMetadata();

        QImageReader reader(QString::fromStdString(path));
        reader.setAutoTransform(true);
        const QImage reference = reader.read().convertToFormat(QImage::Format_RGB888);
        ImageBuffer loaded;
        ASSERT_TRUE(io.load8(gs(path), &loaded, false));
        ASSERT_EQ(loaded.width, reference.width());
        ASSERT_EQ(loaded.height, reference.height());
        EXPECT_EQ(loaded.width, orientation >= 5 ? 11 : 23);
        for (int y = 0; y < reference.height(); ++y) {
            ASSERT_EQ(std::memcmp(loaded.bytes() + int64_t(y) * loaded.width * 3, reference.constScanLine(y),
                                  size_t(reference.width()) * 3),
                      0)
                << "row " << y;
        }
    }
}

TEST(MediaLimits, PixelBudgetIsOneGigapixel) {
    struct { int64_t w, h; bool ok; } cases[] = {
        {1, 1, true}, {40000, 25000, true}, {1000000000, 1, true}, {40000, 25001, false},
        {1000000001, 1, false}, {0, 10, false}, {10, -1, false}, {int64_t(1) << 40, int64_t(1) << 40, false},
    };
    for (const auto& c : cases) EXPECT_EQ(withinPixelBudget(c.w, c.h), c.ok) << c.w << " x " << c.h;
}

TEST(MediaOrientation, FloatLoadAndResourcePathAreTurnedToo) {
    DesktopImageLoaderSaver io;
    ImageBuffer upright;
    ASSERT_TRUE(io.loadFloat(gs(testData("jpeg/orientation-1.jpg")), &upright, false, nullptr));
    for (const std::string& path : {testData("jpeg/orientation-6.jpg"), std::string(":/testdata/orientation-6.jpg")}) {
        SCOPED_TRACE(path);
        ImageBuffer loaded;
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.loadFloat(gs(path), &loaded, false, &metadata));
        ASSERT_EQ(loaded.width, 50);
        ASSERT_EQ(loaded.height, 70);
        EXPECT_LT(difference(upright, true, loaded, true).mean, 3.0);
        ASSERT_TRUE(metadata);
        EXPECT_EQ(metadata->orientation, 6);
        EXPECT_EQ(metadata->width, 50);
        EXPECT_EQ(metadata->height, 70);
    }
}

TEST(MediaOrientation, PhotoshopOrientationMissedByTheReaderIsApplied) {
    // Stored 160 x 480 with orientation 6 (turn clockwise): upright it is wide.
    DesktopImageLoaderSaver io;
    ImageBuffer loaded;
    std::unique_ptr<ImageMetadata> metadata;
    ASSERT_TRUE(io.loadFloat(gs(testData("psd/orientation6.psd")), &loaded, false, &metadata));
    EXPECT_EQ(loaded.width, 480);
    EXPECT_EQ(loaded.height, 160);
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->orientation, 6);
}

struct KnownFile {
    const char* path;
    int32_t width;
    int32_t height;
    int64_t fractions;  // float samples with a fraction: at least this many; -1 none (8-bit source)
};

const KnownFile kKnownFiles[] = {
    {"raw/kodak-c330.raw", 1216, 912, 1216 * 912},
    {"psd/rgb-8bit.psd", 32, 32, -1},
    {"psd/rgb-16bit-rle.psd", 485, 484, 22095},  // the samples that are not whole multiples of 257
    {"tiff/rgb-16bit.tiff", 150, 103, 0},        // 8-bit data widened to 16 bits
    {"png/flower.png", 2268, 1512, -1},
    {"jpeg/icc-profile.jpeg", 48, 48, -1},
};

TEST(MediaRealFiles, DecodeToTheirKnownSizes) {
    DesktopImageLoaderSaver io;
    for (const KnownFile& f : kKnownFiles) {
        SCOPED_TRACE(f.path);
        ImageBuffer loaded;
        ASSERT_TRUE(io.loadFloat(gs(testData(f.path)), &loaded, false, nullptr));
        EXPECT_EQ(loaded.width, f.width);
        EXPECT_EQ(loaded.height, f.height);
        EXPECT_EQ(loaded.channels, 3);

        int64_t fractional = 0;
        float low = 255.0f;
        float high = 0.0f;
        for (int64_t i = 0; i < loaded.sampleCount(); ++i) {
            const float v = loaded.floats()[i];
            ASSERT_TRUE(v >= 0.0f && v <= 255.0f) << v;
            if (v != std::floor(v)) ++fractional;
            low = std::min(low, v);
            high = std::max(high, v);
        }
        EXPECT_GT(high - low, 50.0f);  // a picture, not a blank
        if (f.fractions < 0) {
            EXPECT_EQ(fractional, 0);
        } else {
            EXPECT_GE(fractional, f.fractions);
        }

        ImageBuffer bytes;
        ASSERT_TRUE(io.load8(gs(testData(f.path)), &bytes, false));
        EXPECT_LE(difference(loaded, true, bytes, false).max, 0.5 + 1e-3);  // 8 bits are the rounded floats
    }
}

TEST(MediaRealFiles, ThreadsLoadingAtOnceGetTheSamePixels) {
    // One loader serves the interface and the batch worker at the same time.
    DesktopImageLoaderSaver io;
    const char* names[] = {"raw/kodak-c330.raw", "psd/rgb-16bit-rle.psd", "jpeg/orientation-6.jpg",
                           "png/icc-profile.png", "tiff/rgb-16bit.tiff", "psd/orientation6.psd"};
    constexpr int kCount = 6;
    ImageBuffer serial[kCount];
    for (int i = 0; i < kCount; ++i) ASSERT_TRUE(io.loadFloat(gs(testData(names[i])), &serial[i], true, nullptr));
    ImageBuffer parallel[kCount];
    bool loaded[kCount] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < kCount; ++i) {
        threads.emplace_back([&, i] {
            std::unique_ptr<ImageMetadata> metadata;
            loaded[i] = io.loadFloat(gs(testData(names[i])), &parallel[i], true, &metadata);
        });
    }
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(names[i]);
        ASSERT_TRUE(loaded[i]);
        EXPECT_EQ(difference(serial[i], true, parallel[i], true).max, 0.0);
    }
}

}  // namespace
