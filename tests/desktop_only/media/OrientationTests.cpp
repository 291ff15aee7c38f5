// The EXIF orientation as exiv2's path (readImageMetadata) and the file's
// own reading (fileOrientation) find it, in a JPEG's EXIF segment, a PNG's
// eXIf chunk and a TIFF's first directory, classic and big, and the loader
// turning the picture by it.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/MetadataIo.h"
#include "support/ImageBuilders.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace mediatest;

namespace {

using Bytes = std::vector<uint8_t>;

// The bytes of a TIFF value of `width` bytes in the byte order.
Bytes encoded(uint64_t value, int width, bool little) {
    Bytes out;
    for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * (little ? i : width - 1 - i))));
    return out;
}

// The width of a value of the TIFF type (LONG8 and its kin 8 bytes).
int typeWidth(uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;
        case 3: case 8: return 2;
        case 4: case 9: case 11: case 13: return 4;
        default: return 8;  // RATIONAL, SRATIONAL, DOUBLE, LONG8, SLONG8, IFD8
    }
}

// Where an Orientation entry's values lie: where they belong (in the entry
// when they fit, else at offset 8 in classic TIFF, 16 in big TIFF), at an
// offset outside the block, or at the block's end, the last value cut short.
enum class Place { kOwn, kOutside, kPastTheEnd };

struct Orientation {
    bool big;
    bool little;
    uint16_t type;
    uint64_t count;
    int64_t value;  // every value; a RATIONAL's numerator (over 1)
    Place place = Place::kOwn;
};

// A TIFF-structured block with a first directory holding the Orientation
// entry, alone or beside a 3 x 2 uncompressed RGB picture (`pixels`, 18
// bytes). The values that do not fit in their entries come first after the
// header, the Orientation's before any other; the directory last.
Bytes tiffBlock(const Orientation& o, const Bytes* pixels = nullptr) {
    const bool big = o.big, little = o.little;
    const int field = big ? 8 : 4;
    struct Entry {
        uint16_t tag, type;
        uint64_t count;
        Bytes values;
    };
    std::vector<Entry> entries;
    if (pixels) {
        entries = {{256, 3, 1, encoded(3, 2, little)}, {257, 3, 1, encoded(2, 2, little)},
                   {258, 3, 1, encoded(8, 2, little)}, {259, 3, 1, encoded(1, 2, little)},
                   {262, 3, 1, encoded(2, 2, little)}, {273, 4, 1, Bytes()}};
    }
    Bytes values;
    for (uint64_t i = 0; i < o.count && i < 16; ++i) {  // enough to pass the field
        const bool rational = o.type == 5 || o.type == 10;
        const Bytes v = rational ? encoded(static_cast<uint64_t>(o.value), 4, little)
                                 : encoded(static_cast<uint64_t>(o.value), typeWidth(o.type), little);
        values.insert(values.end(), v.begin(), v.end());
        if (rational) {
            const Bytes one = encoded(1, 4, little);
            values.insert(values.end(), one.begin(), one.end());
        }
    }
    entries.push_back({0x0112, o.type, o.count, values});
    if (pixels) {
        entries.push_back({277, 3, 1, encoded(3, 2, little)});
        entries.push_back({278, 3, 1, encoded(2, 2, little)});
        entries.push_back({279, 3, 1, encoded(18, 2, little)});
        entries.push_back({284, 3, 1, encoded(1, 2, little)});
    }

    Bytes b = {static_cast<uint8_t>(little ? 'I' : 'M'), static_cast<uint8_t>(little ? 'I' : 'M')};
    const auto append = [&b](const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); };
    append(encoded(big ? 43 : 42, 2, little));
    if (big) append(encoded(8, 2, little)), append(encoded(0, 2, little));
    const size_t directoryField = b.size();
    append(encoded(0, field, little));
    // The values that do not fit, then the pixels.
    std::vector<uint64_t> offsets(entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].values.size() <= static_cast<size_t>(field)) continue;
        offsets[i] = b.size();
        append(entries[i].values);
        if (b.size() % 2) b.push_back(0);
    }
    const uint64_t pixelsAt = b.size();
    if (pixels) append(*pixels);
    if (b.size() % 2) b.push_back(0);
    // The directory.
    const uint64_t directory = b.size();
    const Bytes at = encoded(directory, field, little);
    std::copy(at.begin(), at.end(), b.begin() + static_cast<long>(directoryField));
    append(encoded(entries.size(), big ? 8 : 2, little));
    size_t orientationField = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        append(encoded(e.tag, 2, little));
        append(encoded(e.type, 2, little));
        append(encoded(e.count, field, little));
        if (e.tag == 0x0112) orientationField = b.size();
        Bytes f = e.tag == 273 ? encoded(pixelsAt, 4, little) : e.values;
        if (e.values.size() > static_cast<size_t>(field)) f = encoded(offsets[i], field, little);
        f.resize(static_cast<size_t>(field), 0);
        append(f);
    }
    append(encoded(0, field, little));  // no further directory
    // An offset outside: the first value as it would read from the field
    // itself, padded so that the offset lies far past the block (a field
    // no wider than one value holds an offset past the block instead).
    const int width = typeWidth(o.type);
    if (o.place == Place::kOutside) {
        Bytes f = width < field ? encoded(static_cast<uint64_t>(o.value), width, little)
                                : encoded(0x00ffffff, field, little);
        f.resize(static_cast<size_t>(field), 1);
        std::copy(f.begin(), f.end(), b.begin() + static_cast<long>(orientationField));
    } else if (o.place == Place::kPastTheEnd) {
        // The values at the end of the block, the last cut by one byte.
        const Bytes f = encoded(b.size(), field, little);
        std::copy(f.begin(), f.end(), b.begin() + static_cast<long>(orientationField));
        append(values);
        b.pop_back();
    }
    return b;
}

// A 3 x 2 picture whose six pixels differ (in luminance too, so that a JPEG
// keeps them apart): every turn and mirror of it differs.
QImage asymmetricPicture() {
    QImage picture(3, 2, QImage::Format_RGB888);
    const QRgb colours[6] = {qRgb(250, 20, 20),  qRgb(20, 230, 20), qRgb(30, 30, 240),
                             qRgb(240, 240, 40), qRgb(0, 0, 0),     qRgb(130, 60, 200)};
    for (int i = 0; i < 6; ++i) picture.setPixel(i % 3, i / 3, colours[i]);
    return picture;
}

Bytes rgbBytes(const QImage& picture) {
    Bytes out;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            out.insert(out.end(), {static_cast<uint8_t>(qRed(p)), static_cast<uint8_t>(qGreen(p)),
                                   static_cast<uint8_t>(qBlue(p))});
        }
    return out;
}

QByteArray bytesOf(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

QByteArray pngOf(const QImage& picture) {
    QByteArray bytes;
    QBuffer device(&bytes);
    device.open(QIODevice::WriteOnly);
    picture.save(&device, "png");
    return bytes;
}

// The PNG with a chunk of the type inserted right after its header chunk.
QByteArray withPngChunk(const QByteArray& png, const char* type, const Bytes& data) {
    std::vector<char> chunk;
    appendBigEndian32(&chunk, static_cast<uint32_t>(data.size()));
    std::vector<char> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    chunk.insert(chunk.end(), typed.begin(), typed.end());
    appendBigEndian32(&chunk, pngCrc(typed));
    constexpr int kAfterHeader = 8 + 25;  // the signature and IHDR
    return png.left(kAfterHeader) + QByteArray(chunk.data(), static_cast<int>(chunk.size())) + png.mid(kAfterHeader);
}

Bytes exifBody(const Bytes& block) {
    Bytes s = {'E', 'x', 'i', 'f', 0, 0};
    s.insert(s.end(), block.begin(), block.end());
    return s;
}

// The stored picture turned upright by the EXIF orientation (1..8).
ImageBuffer upright(const ImageBuffer& stored, int32_t orientation) {
    const int32_t w = stored.width, h = stored.height;
    const bool swaps = orientation >= 5;
    ImageBuffer out;
    out.allocate8(swaps ? h : w, swaps ? w : h, 3);
    for (int32_t y = 0; y < out.height; ++y) {
        for (int32_t x = 0; x < out.width; ++x) {
            int32_t sx = x, sy = y;
            switch (orientation) {
                case 2: sx = w - 1 - x; break;
                case 3: sx = w - 1 - x, sy = h - 1 - y; break;
                case 4: sy = h - 1 - y; break;
                case 5: sx = y, sy = x; break;
                case 6: sx = y, sy = h - 1 - x; break;
                case 7: sx = w - 1 - y, sy = h - 1 - x; break;
                case 8: sx = w - 1 - y, sy = x; break;
                default: break;
            }
            for (int32_t c = 0; c < 3; ++c) testimages::byteAt(out, x, y, c) = testimages::byteAt(stored, sx, sy, c);
        }
    }
    return out;
}

struct Container {
    const char* name;
    ImageFileKind kind;
    QByteArray plain;  // the picture with no orientation
    QByteArray (*with)(const QByteArray& plain, const Bytes& block);
};

QByteArray jpegWith(const QByteArray& plain, const Bytes& block) {
    return withExifSegment(plain, exifBody(block));
}
QByteArray pngWith(const QByteArray& plain, const Bytes& block) {
    return withPngChunk(plain, "eXIf", block);
}
QByteArray tiffWith(const QByteArray&, const Bytes& block) {
    return bytesOf(block);
}

// exiv2's path and the file's own reading find `expected` (0: none) in the
// file; exiv2 may not read a big TIFF block at all.
void expectReadersAgree(const QByteArray& file, ImageFileKind kind, bool big, int32_t expected) {
    const auto* data = reinterpret_cast<const uint8_t*>(file.constData());
    const size_t size = static_cast<size_t>(file.size());
    ImageMetadata metadata;
    metadata.orientation = -1;
    const bool read = readImageMetadata(data, size, false, &metadata);
    if (!big) {
        EXPECT_TRUE(read) << "exiv2 reads a classic TIFF block";
    }
    if (read) {
        EXPECT_EQ(metadata.orientation, expected) << "exiv2's path";
    }
    EXPECT_EQ(fileOrientation(data, size, kind), expected) << "the file's own reading";
}

// The loader turns the file's picture from `stored` by the orientation
// (0 none), loading it whole and through decode as the batch does.
void expectLoadedTurned(const std::string& path, const ImageBuffer& stored, int32_t orientation) {
    DesktopImageLoaderSaver io;
    const ImageBuffer expected = upright(stored, orientation == 0 ? 1 : orientation);
    ImageBuffer loaded;
    ASSERT_TRUE(io.load8(gs(path), &loaded, false));
    EXPECT_TRUE(testimages::bytesIdentical(expected, loaded)) << "load8";
    DecodedSource source;
    ASSERT_TRUE(io.decode(gs(path), false, false, false, &source));
    EXPECT_EQ(source.orientation, orientation == 0 ? 1 : orientation);
    ImageBuffer whole;
    ASSERT_TRUE(io.finishLoad(source, 3, false, &whole, nullptr));
    EXPECT_TRUE(testimages::bytesIdentical(expected, whole)) << "decode";
}

class MediaOrientationRule : public ::testing::Test {
protected:
    void SetUp() override {
        const QImage picture = asymmetricPicture();
        pixels = rgbBytes(picture);
        containers = {
            {"JPEG", ImageFileKind::Jpeg, jpegOf(picture, 100), jpegWith},
            {"PNG", ImageFileKind::Png, pngOf(picture), pngWith},
            {"TIFF", ImageFileKind::Tiff, QByteArray(), tiffWith},
        };
    }

    // Each case in each container: the readers agree on `expected`, and the
    // loader turns the picture by it.
    void check(const Orientation& o, int32_t expected, const std::string& what) {
        for (const Container& c : containers) {
            SCOPED_TRACE(what + " in a " + c.name);
            const bool tiff = c.kind == ImageFileKind::Tiff;
            const Orientation none{o.big, o.little, 3, 1, 1};  // a TIFF file needs its directory
            const QByteArray plain = tiff ? bytesOf(tiffBlock(none, &pixels)) : c.plain;
            const QByteArray file = c.with(plain, tiff ? tiffBlock(o, &pixels) : tiffBlock(o));
            expectReadersAgree(file, c.kind, o.big, expected);

            const std::string extension = tiff ? ".tif" : c.kind == ImageFileKind::Png ? ".png" : ".jpg";
            writeBytes(folder.file("plain" + extension), plain);
            writeBytes(folder.file("tagged" + extension), file);
            ImageBuffer stored;
            ASSERT_TRUE(DesktopImageLoaderSaver().load8(gs(folder.file("plain" + extension)), &stored, false));
            ASSERT_EQ(stored.width, 3);
            expectLoadedTurned(folder.file("tagged" + extension), stored, expected);
        }
    }

    TempFolder folder;
    Bytes pixels;
    std::vector<Container> containers;
};

std::string describe(const Orientation& o) {
    return std::string(o.big ? "big" : "classic") + (o.little ? " II" : " MM") + " type " + std::to_string(o.type) +
           " count " + std::to_string(o.count) + " value " + std::to_string(o.value) +
           (o.place == Place::kOutside ? " outside the block" : o.place == Place::kPastTheEnd ? " past the end" : "");
}

// Every integer type, in both byte orders, classic and big, its values in
// the entry and at an offset: the first value read at its type's width.
TEST_F(MediaOrientationRule, EveryIntegerTypeInTheEntryOrAtAnOffset) {
    int32_t value = 2;
    for (bool big : {false, true}) {
        for (bool little : {true, false}) {
            for (uint16_t type : {1, 3, 4, 6, 8, 9, 16, 17}) {
                if (!big && (type == 16 || type == 17)) continue;
                const uint64_t inEntry = static_cast<uint64_t>((big ? 8 : 4) / typeWidth(type));
                for (uint64_t count : {uint64_t(1), inEntry, inEntry + 1}) {
                    if (count == inEntry && inEntry == 1) continue;  // the first count again
                    const Orientation o{big, little, type, count, value};
                    check(o, value, describe(o));
                    value = value == 8 ? 2 : value + 1;
                }
            }
        }
    }
}

// What is no orientation, whichever reader: other types, a count of none,
// values out of 1..8 (negative ones of the signed types), an offset taken
// for the value (a SHORT[3] whose 9s lie at offset 8 was turned by 8), an
// offset outside the block (where the field's first bytes read 6), values
// running past its end (the first one inside), a count no block holds.
TEST_F(MediaOrientationRule, WhatIsNoOrientation) {
    const struct {
        Orientation o;
        int32_t expected;
    } cases[] = {
        {{false, true, 2, 1, 6}, 0},            // ASCII
        {{false, true, 5, 1, 6}, 0},            // RATIONAL 6/1
        {{false, false, 7, 1, 6}, 0},           // UNDEFINED
        {{false, true, 10, 1, 6}, 0},           // SRATIONAL
        {{false, true, 11, 1, 6}, 0},           // FLOAT
        {{false, false, 12, 1, 6}, 0},          // DOUBLE
        {{false, true, 13, 1, 6}, 0},           // IFD
        {{false, true, 16, 1, 6}, 0},           // LONG8 exists in big TIFF only
        {{false, false, 17, 1, 6}, 0},          // SLONG8 likewise
        {{true, true, 13, 1, 6}, 0},            // IFD in big TIFF
        {{true, false, 18, 1, 6}, 0},           // IFD8
        {{true, true, 5, 1, 6}, 0},             // RATIONAL in big TIFF, in the entry
        {{false, true, 3, 0, 6}, 0},            // no value
        {{false, true, 3, 1, 0}, 0},
        {{false, false, 3, 1, 9}, 0},
        {{false, true, 4, 1, 9}, 0},
        {{false, false, 1, 1, 0}, 0},
        {{true, true, 16, 1, 9}, 0},
        {{false, true, 6, 1, -2}, 0},           // negative SBYTE (254 unsigned)
        {{false, false, 6, 5, -6}, 0},
        {{false, true, 8, 1, -6}, 0},           // SSHORT 0xfffa
        {{false, false, 8, 3, -1}, 0},
        {{false, true, 9, 1, -2}, 0},           // SLONG 0xfffffffe
        {{false, false, 9, 2, -6}, 0},
        {{true, true, 17, 1, -2}, 0},
        {{true, false, 9, 3, -6}, 0},
        {{false, true, 3, 3, 9}, 0},            // the pointer reads 8
        {{false, false, 4, 2, 9}, 0},
        {{false, true, 3, 3, 6, Place::kOutside}, 0},
        {{false, false, 3, 3, 6, Place::kOutside}, 0},
        {{false, true, 1, 5, 6, Place::kOutside}, 0},
        {{false, false, 9, 2, 6, Place::kOutside}, 0},
        {{true, true, 3, 5, 6, Place::kOutside}, 0},
        {{true, false, 16, 2, 6, Place::kOutside}, 0},
        {{false, true, 3, 3, 6, Place::kPastTheEnd}, 0},
        {{false, false, 9, 2, 6, Place::kPastTheEnd}, 0},
        {{true, true, 4, 3, 6, Place::kPastTheEnd}, 0},
        {{false, true, 3, 0x0fffffff, 6}, 0},   // a count no block holds
        {{true, false, 1, 0xffffffffffffffff, 6}, 0},
    };
    for (const auto& c : cases) check(c.o, c.expected, describe(c.o));
}

// The camera file of the fault: a JPEG whose Orientation is the SLONG 6
// (and, with it, the SSHORT and SBYTE), read by exiv2 as by the file's own
// reading.
TEST_F(MediaOrientationRule, SignedTypesTurnThePhoto) {
    for (bool little : {true, false}) {
        for (uint16_t type : {9, 8, 6}) {
            const Orientation o{false, little, type, 1, 6};
            check(o, 6, describe(o));
        }
    }
}

// exiv2 gives up on a PNG holding a compressed text chunk it cannot inflate
// (which libpng only warns about): its eXIf chunk is then read by the file's
// own reading, and the picture still turned.
TEST(MediaOrientation, APngsEXIfChunkTurnsItWhereExiv2CannotReadTheFile) {
    TempFolder folder;
    const QImage picture = asymmetricPicture();
    const QByteArray plain = pngOf(picture);
    const Bytes damagedText = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0, 'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'};
    for (uint16_t type : {3, 9}) {
        SCOPED_TRACE(type);
        const Orientation o{false, false, type, 1, 6};
        const QByteArray file = withPngChunk(pngWith(plain, tiffBlock(o)), "zTXt", damagedText);
        const auto* data = reinterpret_cast<const uint8_t*>(file.constData());
        ImageMetadata metadata;
        ASSERT_FALSE(readImageMetadata(data, static_cast<size_t>(file.size()), false, &metadata))
            << "else this would not test the file's own reading";
        EXPECT_EQ(fileOrientation(data, static_cast<size_t>(file.size()), ImageFileKind::Png), 6);

        writeBytes(folder.file("plain.png"), plain);
        writeBytes(folder.file("tagged.png"), file);
        ImageBuffer stored;
        ASSERT_TRUE(DesktopImageLoaderSaver().load8(gs(folder.file("plain.png")), &stored, false));
        expectLoadedTurned(folder.file("tagged.png"), stored, 6);
    }
}

// The EXIF orientation comes first, of whatever integer type; the XMP one
// serves only where the EXIF one is no orientation.
TEST(MediaOrientation, TheXmpOrientationServesWhereTheExifOneIsNone) {
    const QByteArray plain = jpegOf(asymmetricPicture(), 100);
    const std::string packet =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" tiff:Orientation=\"3\"/>"
        "</rdf:RDF></x:xmpmeta>";
    Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd', 'o', 'b', 'e', '.', 'c', 'o', 'm',
                 '/', 'x', 'a', 'p', '/', '1', '.', '0', '/', 0};
    xmp.insert(xmp.end(), packet.begin(), packet.end());
    const struct {
        Orientation exif;
        int32_t expected;
    } cases[] = {
        {{false, true, 9, 1, 6}, 6},
        {{false, false, 1, 1, 8}, 8},
        {{false, true, 9, 1, -6}, 3},
        {{false, true, 3, 3, 9}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.exif));
        // The EXIF segment first, the XMP one after it.
        const QByteArray file = withExifSegment(withExifSegment(plain, xmp), exifBody(tiffBlock(c.exif)));
        ImageMetadata metadata;
        ASSERT_TRUE(readImageMetadata(reinterpret_cast<const uint8_t*>(file.constData()),
                                      static_cast<size_t>(file.size()), false, &metadata));
        EXPECT_EQ(metadata.orientation, c.expected);
    }
}

}  // namespace
