// What the decoded picture says, not its header: the channel count of a
// file with alpha (transparent palette entries included), and the
// orientation of a file whose metadata exiv2 cannot read.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"

#include <QImageReader>

#include <exiv2/exiv2.hpp>

#include <cstdint>

using namespace mediatest;

namespace {

void put(std::vector<char>* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// A 3 x 2 uncompressed RGB BigTIFF tagged with orientation 6 (to be turned
// 90 degrees clockwise) as an entry of the type (SHORT or LONG). libtiff,
// and with it Qt's reader, reads BigTIFF and its orientation; exiv2 does
// not know the format at all.
std::vector<char> bigTiffWithOrientation6(uint16_t type) {
    std::vector<char> f = {'I', 'I'};
    put(&f, 43, 2);  // BigTIFF
    put(&f, 8, 2);   // offsets of 8 bytes
    put(&f, 0, 2);
    put(&f, 0, 8);  // the directory's offset, set below
    const uint64_t pixels = f.size();
    for (int i = 0; i < 6; ++i) {
        f.push_back(static_cast<char>(i * 40));
        f.push_back(static_cast<char>(250 - i * 30));
        f.push_back(static_cast<char>(i % 2 ? 200 : 20));
    }
    while (f.size() % 8) f.push_back(0);
    const uint64_t directory = f.size();
    for (int i = 0; i < 8; ++i) f[8 + i] = static_cast<char>((directory >> (8 * i)) & 0xff);
    struct Entry {
        uint16_t tag, type;
        uint64_t count, value;
    };
    const uint64_t eightBits = 8 | (8ull << 16) | (8ull << 32);  // three shorts, held in the entry
    const Entry entries[] = {
        {256, 3, 1, 3},        {257, 3, 1, 2},      {258, 3, 3, eightBits}, {259, 3, 1, 1},
        {262, 3, 1, 2},        {273, 16, 1, pixels}, {274, type, 1, 6},        {277, 3, 1, 3},
        {278, 3, 1, 2},        {279, 16, 1, 18},    {284, 3, 1, 1},
    };
    put(&f, sizeof(entries) / sizeof(entries[0]), 8);
    for (const Entry& e : entries) {
        put(&f, e.tag, 2);
        put(&f, e.type, 2);
        put(&f, e.count, 8);
        put(&f, e.value, 8);
    }
    put(&f, 0, 8);  // no further directory
    return f;
}

bool exiv2Reads(const std::string& path) {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
        image->readMetadata();
        return true;
    } catch (...) {
        return false;
    }
}

TEST(MediaChannels, KeepingAlphaFollowsTheDecodedPicture) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    writePalettePng(folder.file("palette-transparent.png"));
    {
        QImage opaque(4, 2, QImage::Format_Indexed8);
        opaque.setColorTable(QVector<QRgb>{qRgb(255, 0, 0), qRgb(0, 0, 255)});
        opaque.fill(1);
        ASSERT_TRUE(opaque.save(QString::fromStdString(folder.file("palette-opaque.png")), "png"));
    }
    ImageBuffer picture;
    makePicture(&picture, 6, 4, 4, false);
    for (const char* name : {"rgba.png", "rgba.tif", "rgba.pli"}) ASSERT_TRUE(io.save8(gs(folder.file(name)), picture, SaveOptions(), nullptr));
    makePicture(&picture, 6, 4, 3, false);
    ASSERT_TRUE(io.save8(gs(folder.file("rgb.png")), picture, SaveOptions(), nullptr));
    ASSERT_TRUE(writeFlowerWithAlpha(folder.file("flower-alpha.png")));

    const struct {
        std::string path;
        int32_t channels;
    } cases[] = {
        {folder.file("palette-transparent.png"), 4}, {folder.file("palette-opaque.png"), 3},
        {folder.file("rgba.png"), 4},                {folder.file("rgba.tif"), 4},
        {folder.file("rgba.pli"), 4},                {folder.file("rgb.png"), 3},
        {folder.file("flower-alpha.png"), 4},       {testData("jpeg/orientation-6.jpg"), 3},
        {testData("psd/rgb-8bit.psd"), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ImageBuffer loaded;
        loaded.channels = 1;  // the caller's count does not matter
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.loadFloatKeepingAlpha(gs(c.path), &loaded, true, &metadata));
        EXPECT_EQ(loaded.channels, c.channels);
        EXPECT_TRUE(metadata);
    }

    // The transparent palette entry arrives as alpha 0, the colours intact.
    ImageBuffer palette;
    ASSERT_TRUE(io.loadFloatKeepingAlpha(gs(folder.file("palette-transparent.png")), &palette, true, nullptr));
    ASSERT_EQ(palette.channels, 4);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            const float* p = palette.floats() + (y * 4 + x) * 4;
            const bool transparent = (x + y) % 2 == 0;
            EXPECT_EQ(p[0], transparent ? 255.0f : 0.0f) << x << "," << y;
            EXPECT_EQ(p[2], transparent ? 0.0f : 255.0f) << x << "," << y;
            EXPECT_EQ(p[3], transparent ? 0.0f : 255.0f) << x << "," << y;
        }
    }

    // Failures release the buffer as every load does.
    ImageBuffer failed;
    makePicture(&failed, 3, 3, 3, true);
    EXPECT_FALSE(io.loadFloatKeepingAlpha(gs(folder.file("missing.png")), &failed, true, nullptr));
    EXPECT_EQ(failed.data, nullptr);
}

TEST(MediaOrientation, TheFilesOwnReadingServesWhenExiv2CannotReadTheFile) {
    for (uint16_t type : {3, 4}) {
        SCOPED_TRACE(type == 3 ? "SHORT" : "LONG");
        TempFolder folder;
        const std::string path = folder.file("big.tif");
        writeFile(path, bigTiffWithOrientation6(type));
        ASSERT_FALSE(exiv2Reads(path));  // else this would not test the fallback

        QImageReader reader(QString::fromStdString(path));
        reader.setAutoTransform(true);
        const QImage reference = reader.read().convertToFormat(QImage::Format_RGB888);
        ASSERT_EQ(reference.size(), QSize(2, 3));  // Qt sees the orientation

        DesktopImageLoaderSaver io;
        ImageBuffer loaded;
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.loadFloat(gs(path), &loaded, true, &metadata));
        ASSERT_EQ(loaded.width, 2);
        ASSERT_EQ(loaded.height, 3);
        ASSERT_TRUE(metadata);
        EXPECT_EQ(metadata->orientation, 6);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 2; ++x)
                for (int32_t c = 0; c < 3; ++c)
                    EXPECT_EQ(loaded.floats()[(y * 2 + x) * 3 + c], reference.constScanLine(y)[x * 3 + c])
                        << x << "," << y << " channel " << c;
    }
}

// An orientation stored as a SHORT or a LONG (or their signed kin), in
// either byte order, turns the photo loaded in bands and decoded whole (the
// batch's look-ahead); a type that is no integer, or a value out of range,
// leaves it upright.
TEST(MediaOrientation, ShortOrLongInEitherByteOrderTurnsThePhoto) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer picture;
    makePicture(&picture, 24, 16, 3, false);
    const std::string plain = folder.file("plain.jpg");
    ASSERT_TRUE(io.save8(gs(plain), picture, SaveOptions(), nullptr));
    ImageBuffer stored;
    ASSERT_TRUE(io.load8(gs(plain), &stored, false));
    const std::vector<char> bytes = readFile(plain);
    const struct {
        const char* what;
        std::vector<uint8_t> segment;
        bool turned;
    } cases[] = {
        {"SHORT, little endian", exifSegment(true, 0x0112, 3, 6), true},
        {"SHORT, big endian", exifSegment(false, 0x0112, 3, 6), true},
        {"LONG, little endian", exifSegment(true, 0x0112, 4, 6), true},
        {"LONG, big endian", exifSegment(false, 0x0112, 4, 6), true},
        {"signed SHORT", exifSegment(true, 0x0112, 8, 6), true},
        {"signed LONG, big endian", exifSegment(false, 0x0112, 9, 6), true},
        {"UNDEFINED", exifSegment(true, 0x0112, 7, 6), false},
        {"LONG out of range", exifSegment(false, 0x0112, 4, 9), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.file("exif.jpg");
        writeBytes(path, withExifSegment(QByteArray(bytes.data(), static_cast<int>(bytes.size())), c.segment));
        ImageBuffer banded, whole;
        ASSERT_TRUE(io.load8(gs(path), &banded, false));
        DecodedSource source;
        ASSERT_TRUE(io.decode(gs(path), false, false, false, &source));
        ASSERT_TRUE(io.finishLoad(source, 3, false, &whole, nullptr));
        for (const ImageBuffer* loaded : {&banded, &whole}) {
            ASSERT_EQ(loaded->width, c.turned ? 16 : 24);
            // Turned clockwise: the stored picture's left column is the top row.
            for (int32_t y = 0; y < loaded->height; ++y) {
                for (int32_t x = 0; x < loaded->width; ++x) {
                    const int32_t from = c.turned ? (15 - x) * 24 + y : y * 24 + x;
                    for (int32_t k = 0; k < 3; ++k)
                        ASSERT_EQ(loaded->bytes()[(y * loaded->width + x) * 3 + k], stored.bytes()[from * 3 + k]);
                }
            }
        }
    }
}

}  // namespace
