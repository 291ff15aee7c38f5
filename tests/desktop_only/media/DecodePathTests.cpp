// The decode path: files that Qt hands over as 32-bit RGB words (JPEG, PNG
// without alpha) are copied into the buffer straight from those words, on
// several threads; every channel count and both sample kinds must give what
// the RGBA samples of the same picture give.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/PixelTransfer.h"
#include "platform/ParallelFor.h"

#include <QImage>

#include <cmath>
#include <limits>

using namespace mediatest;

namespace {

// A picture with colour in every pixel, odd sizes so that rows do not fall
// on round boundaries.
QImage colourfulPicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, (x * y + 91) % 256));
    return image;
}

// The expected sample c of upright pixel (x, y) for a buffer of n channels,
// from the RGBA bytes of the decoded picture (the rules of PixelTransfer.h).
int expectedByte(const QImage& rgba, int x, int y, int n, int c) {
    const uchar* p = rgba.constScanLine(y) + x * 4;
    const int grey = (p[0] * 299 + p[1] * 587 + p[2] * 114 + 500) / 1000;
    if (n == 1) return grey;
    if (n == 2) return c == 0 ? grey : p[3];
    return p[c];
}

TEST(MediaDecodePath, RgbWordsGiveTheRgbaSamples) {
    TempFolder folder;
    const QImage picture = colourfulPicture(67, 29);
    const std::string jpeg = folder.file("picture.jpg");
    const std::string png = folder.file("picture.png");
    ASSERT_TRUE(picture.save(QString::fromStdString(jpeg), "jpeg", 90));
    ASSERT_TRUE(picture.save(QString::fromStdString(png), "png"));
    DesktopImageLoaderSaver loader;
    for (const std::string& path : {jpeg, png}) {
        // What Qt decodes, as RGBA bytes.
        const QImage rgba = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGBA8888);
        ASSERT_FALSE(rgba.isNull());
        for (int threads : {1, 3}) {
            setParallelThreadCount(threads);
            for (int32_t n = 1; n <= 4; ++n) {
                for (bool asFloat : {false, true}) {
                    SCOPED_TRACE(path + ", " + std::to_string(n) + " channels" + (asFloat ? ", float" : ", bytes") +
                                 ", T " + std::to_string(threads));
                    ImageBuffer image;
                    image.channels = n;
                    const bool ok = asFloat ? loader.loadFloat(GrowString(path.c_str()), &image, false, nullptr)
                                            : loader.load8(GrowString(path.c_str()), &image, false);
                    ASSERT_TRUE(ok);
                    ASSERT_EQ(67, image.width);
                    ASSERT_EQ(29, image.height);
                    for (int y = 0; y < 29; ++y) {
                        for (int x = 0; x < 67; ++x) {
                            for (int c = 0; c < n; ++c) {
                                const int64_t i = (static_cast<int64_t>(y) * 67 + x) * n + c;
                                const float got = asFloat ? image.floats()[i] : static_cast<float>(image.bytes()[i]);
                                ASSERT_EQ(static_cast<float>(expectedByte(rgba, x, y, n, c)), got)
                                    << "at " << x << "," << y << " channel " << c;
                            }
                        }
                    }
                }
            }
        }
    }
    setParallelThreadCount(0);
}

// The vectorised 8-bit store follows storeByte: clamped to 0..255, NaN as 0,
// truncated toward zero.
TEST(MediaDecodePath, StoreBytesFollowsTheEightBitStore) {
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {-5.0f, -0.5f, 0.0f, 0.99f, 1.0f, 127.5f, 254.99f, 255.0f, 300.0f,
                            std::numeric_limits<float>::quiet_NaN(), inf, -inf, 12.9f, 254.0f, 1e30f, -1e30f,
                            3.0f, 200.7f};
    const int64_t count = static_cast<int64_t>(sizeof values / sizeof values[0]);
    uint8_t out[sizeof values / sizeof values[0]];
    storeBytes(out, values, count);
    for (int64_t i = 0; i < count; ++i) EXPECT_EQ(storeByte(values[i]), out[i]) << "value " << values[i];
}

// Samples stored for a format without alpha: the 4th channel is left out in
// the same pass, the others follow the 8-bit store (floats) or are copied.
TEST(MediaDecodePath, OpaqueImagesLeaveTheAlphaOut) {
    const float specials[] = {-3.0f, 0.5f, 254.99f, 300.0f, std::numeric_limits<float>::quiet_NaN(), 77.7f};
    for (int threads : {1, 3}) {
        setParallelThreadCount(threads);
        for (bool isFloat : {true, false}) {
            SCOPED_TRACE(std::string(isFloat ? "float" : "bytes") + ", T " + std::to_string(threads));
            ImageBuffer buffer;
            makePicture(&buffer, 31, 23, 4, isFloat);
            if (isFloat) {
                for (int64_t i = 0; i < buffer.sampleCount(); i += 7) buffer.floats()[i] = specials[(i / 7) % 6];
            }
            const QImage rgb = imageFromBuffer(buffer, isFloat, false, true);
            ASSERT_EQ(rgb.format(), QImage::Format_RGB888);
            ASSERT_EQ(rgb.size(), QSize(31, 23));
            for (int y = 0; y < 23; ++y) {
                for (int x = 0; x < 31; ++x) {
                    for (int c = 0; c < 3; ++c) {
                        const int64_t i = (static_cast<int64_t>(y) * 31 + x) * 4 + c;
                        const uint8_t expected = isFloat ? storeByte(buffer.floats()[i]) : buffer.bytes()[i];
                        ASSERT_EQ(rgb.constScanLine(y)[x * 3 + c], expected) << x << "," << y << " channel " << c;
                    }
                }
            }
            // Without the request the alpha stays.
            EXPECT_EQ(imageFromBuffer(buffer, isFloat, false, false).format(), QImage::Format_RGBA8888);
        }
    }
    setParallelThreadCount(0);
}

}  // namespace
