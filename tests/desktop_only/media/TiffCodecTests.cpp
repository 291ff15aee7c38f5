// TIFF read through our reader over libtiff: every layout Qt's reader read
// right gives its pixels byte for byte; the layouts it got wrong (16-bit
// planes, 16-bit floats, grey with alpha) give the stored picture or a
// reason; damaged files fail with a reason, print nothing and never hand on
// rows that were not decoded.
#include "MediaTestHelpers.h"
#include "QueueTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/MediaFileIo.h"
#include "desktop_only/media/ProcessingState.h"
#include "desktop_only/media/TiffCodec.h"
#include "platform/ParallelFor.h"

#include <QImageReader>
#include <QProcess>
#include <QStringList>

#include <cstring>

#include <tiffio.h>

using namespace mediatest;

namespace {

constexpr uint32_t kWidth = 37;  // odd sizes: partial strips and tiles
constexpr uint32_t kHeight = 23;

// A TIFF layout written by libtiff in the test.
struct TiffLayout {
    uint16_t photometric;
    uint16_t samples;
    uint16_t bits;
    int extra = -1;  // the ExtraSamples type of the last sample; -1: no tag
    uint16_t compression = COMPRESSION_NONE;
    uint16_t predictor = PREDICTOR_NONE;
    uint16_t format = SAMPLEFORMAT_UINT;
    uint16_t orientation = 0;  // 0: no tag
    bool planar = false;
    bool tiled = false;
    bool bigEndian = false;

    TiffLayout(uint16_t p, uint16_t s, uint16_t b, int e = -1) : photometric(p), samples(s), bits(b), extra(e) {}
    TiffLayout& compressed(uint16_t c, uint16_t p = PREDICTOR_NONE) { compression = c, predictor = p; return *this; }
    TiffLayout& inPlanes() { planar = true; return *this; }
    TiffLayout& inTiles() { tiled = true; return *this; }
    TiffLayout& bigEndianFile() { bigEndian = true; return *this; }
    TiffLayout& oriented(uint16_t o) { orientation = o; return *this; }
    TiffLayout& floats() { format = SAMPLEFORMAT_IEEEFP; return *this; }
    TiffLayout contiguous() const { TiffLayout s = *this; s.planar = false; return s; }
};

// Sample c of pixel (x, y): every level distinct enough that a swapped
// channel, a wrong plane or an 8-bit stage shows; associated alpha
// premultiplies the colours.
uint32_t sampleAt(const TiffLayout& s, uint32_t x, uint32_t y, int c) {
    const uint32_t max = s.bits >= 32 ? UINT32_MAX : (1u << s.bits) - 1;
    const uint32_t alphaIndex = s.samples - 1;
    const auto raw = [&](int k) {
        if (s.bits == 16) return (x * 1777u + y * 2903u + static_cast<uint32_t>(k) * 21011u + x * y * 13u) & max;
        return (x * 7u + y * 13u + static_cast<uint32_t>(k) * 61u + (x * y) % 17u) & max;
    };
    const uint32_t v = raw(c);
    if (s.extra == EXTRASAMPLE_ASSOCALPHA && static_cast<uint32_t>(c) != alphaIndex)
        return v * raw(static_cast<int>(alphaIndex)) / max;
    return v;
}

// Writes the layout with libtiff: strips of 5 rows (16 for JPEG) or 16 x 16
// tiles; a palette's entries are 16-bit colours that are no multiples of 256.
bool writeTiff(const std::string& path, const TiffLayout& s, uint32_t w = kWidth, uint32_t h = kHeight) {
    TIFF* t = TIFFOpen(path.c_str(), s.bigEndian ? "wb" : "wl");
    if (!t) return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, s.format);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, s.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, s.compression);
    if (s.predictor != PREDICTOR_NONE) TIFFSetField(t, TIFFTAG_PREDICTOR, s.predictor);
    if (s.orientation) TIFFSetField(t, TIFFTAG_ORIENTATION, s.orientation);
    if (s.extra >= 0) {
        const uint16_t types[1] = {static_cast<uint16_t>(s.extra)};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, types);
    }
    if (s.compression == COMPRESSION_JPEG) {
        TIFFSetField(t, TIFFTAG_JPEGQUALITY, 90);
        if (s.photometric == PHOTOMETRIC_YCBCR) TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    std::vector<uint16_t> red(256), green(256), blue(256);
    if (s.photometric == PHOTOMETRIC_PALETTE) {
        for (uint32_t i = 0; i < 256; ++i) {
            red[i] = static_cast<uint16_t>(i * 255 + 200);
            green[i] = static_cast<uint16_t>(65535 - i * 211);
            blue[i] = static_cast<uint16_t>((i * 7919) & 0xffff);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    const uint32_t planes = s.planar ? s.samples : 1;
    const uint32_t perPixel = s.planar ? 1 : s.samples;
    const uint32_t bandRows = s.tiled ? 16 : (s.compression == COMPRESSION_JPEG ? 16 : 5);
    const uint32_t bandWidth = s.tiled ? 16 : w;
    if (s.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, bandRows);
    }
    const size_t rowBytes = (static_cast<size_t>(bandWidth) * perPixel * s.bits + 7) / 8;
    bool ok = true;
    for (uint32_t plane = 0; plane < planes && ok; ++plane) {
        for (uint32_t top = 0; top < h && ok; top += bandRows) {
            for (uint32_t left = 0; left < w && ok; left += bandWidth) {
                const uint32_t rows = s.tiled ? bandRows : std::min(bandRows, h - top);
                std::vector<uint8_t> band(rowBytes * rows, 0);
                for (uint32_t y = 0; y < rows && top + y < h; ++y) {
                    for (uint32_t x = 0; x < bandWidth && left + x < w; ++x) {
                        for (uint32_t k = 0; k < perPixel; ++k) {
                            const int c = static_cast<int>(s.planar ? plane : k);
                            const uint32_t v = sampleAt(s, left + x, top + y, c);
                            const size_t at = static_cast<size_t>(x) * perPixel + k;
                            uint8_t* row = band.data() + y * rowBytes;
                            if (s.format == SAMPLEFORMAT_IEEEFP && s.bits == 32) {
                                const float f = static_cast<float>(v) / 65535.0f;
                                std::memcpy(row + at * 4, &f, 4);
                            } else if (s.bits == 32) {
                                std::memcpy(row + at * 4, &v, 4);
                            } else if (s.bits == 16) {
                                const uint16_t u = static_cast<uint16_t>(v);
                                std::memcpy(row + at * 2, &u, 2);
                            } else if (s.bits == 8) {
                                row[at] = static_cast<uint8_t>(v);
                            } else {
                                const size_t bit = at * s.bits;
                                row[bit / 8] |= static_cast<uint8_t>(v << (8 - s.bits - bit % 8));
                            }
                        }
                    }
                }
                const tmsize_t bytes = static_cast<tmsize_t>(band.size());
                ok = s.tiled ? TIFFWriteEncodedTile(t, TIFFComputeTile(t, left, top, 0, plane), band.data(), bytes) >= 0
                             : TIFFWriteEncodedStrip(t, TIFFComputeStrip(t, top, plane), band.data(), bytes) >= 0;
            }
        }
    }
    TIFFClose(t);
    return ok;
}

// Our reader, through the loader's decode (no profile applied): the
// picture as 8-bit or 16-bit RGBA, with what the load reports.
struct Ours {
    QImage pixels;
    bool hasAlpha = false;
    int32_t bits = 0;
    GrowString reason;
};
Ours decodeOurs(const std::string& path) {
    DesktopImageLoaderSaver io;
    DecodedSource decoded;
    Ours ours;
    if (!io.decode(gs(path), false, true, true, &decoded, &ours.reason)) return ours;
    ours.pixels = std::move(decoded.pixels);
    ours.hasAlpha = decoded.hasAlpha;
    ours.bits = decoded.metadata.bitsPerSample;
    return ours;
}

// What the loader made of Qt's TIFF reader: its picture converted to RGBA
// of its depth (premultiplied formats un-premultiplied by Qt).
QImage decodedByQt(const std::string& path) {
    QImageReader reader(QString::fromStdString(path), "tiff");
    reader.setAutoTransform(false);
    const QImage image = reader.read();
    const QImage::Format f = image.format();
    const bool deep = f == QImage::Format_RGBX64 || f == QImage::Format_RGBA64 ||
                      f == QImage::Format_RGBA64_Premultiplied || f == QImage::Format_Grayscale16;
    return image.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
}

// The first differing byte of two pictures of one size and format, or -1.
int64_t firstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format() || a.isNull()) return 0;
    const size_t rowBytes = static_cast<size_t>(a.width()) * (a.depth() / 8);
    for (int y = 0; y < a.height(); ++y) {
        const uchar* p = a.constScanLine(y);
        const uchar* q = b.constScanLine(y);
        for (size_t i = 0; i < rowBytes; ++i)
            if (p[i] != q[i]) return static_cast<int64_t>(y) * static_cast<int64_t>(rowBytes) + static_cast<int64_t>(i);
    }
    return -1;
}

// The 16-bit picture cut to the high byte of each sample.
QImage highBytes(const QImage& deep) {
    QImage out(deep.size(), QImage::Format_RGBA8888);
    for (int y = 0; y < deep.height(); ++y) {
        const quint16* p = reinterpret_cast<const quint16*>(deep.constScanLine(y));
        uchar* o = out.scanLine(y);
        for (int i = 0; i < deep.width() * 4; ++i) o[i] = static_cast<uchar>(p[i] >> 8);
    }
    return out;
}

// The 8-bit straight picture premultiplied as libtiff's RGBA conversion
// premultiplies unassociated alpha, then un-premultiplied by Qt: the round
// trip Qt's reader and the loader made of such a file.
QImage premultipliedRoundTrip(const QImage& straight) {
    QImage premultiplied(straight.size(), QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < straight.height(); ++y) {
        const uchar* p = straight.constScanLine(y);
        uchar* o = premultiplied.scanLine(y);
        for (int x = 0; x < straight.width(); ++x) {
            const int a = p[4 * x + 3];
            for (int c = 0; c < 3; ++c) o[4 * x + c] = static_cast<uchar>((p[4 * x + c] * a + 127) / 255);
            o[4 * x + 3] = static_cast<uchar>(a);
        }
    }
    return premultiplied.convertToFormat(QImage::Format_RGBA8888);
}

std::vector<uint8_t> bytesOf(const std::string& path) {
    const std::vector<char> bytes = readFile(path);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Runs ImageMagick's convert with an argument list (no shell).
bool runConvert(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("convert"), arguments);
    return process.waitForStarted(30000) && process.waitForFinished(120000) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// The planar 16-bit gradient of the fault, and the same gradient as a
// 16-bit PNG, both from ImageMagick.
bool writePlanarGradient(const std::string& tiff, const std::string& png, const char* size) {
    const QStringList gradient = {QStringLiteral("-size"), QString::fromLatin1(size),
                                  QStringLiteral("gradient:yellow-blue"), QStringLiteral("-depth"),
                                  QStringLiteral("16")};
    return runConvert(gradient + QStringList{QStringLiteral("-interlace"), QStringLiteral("plane"),
                                             QString::fromStdString(tiff)}) &&
           runConvert(gradient + QStringList{QString::fromStdString(png)});
}

// ---- Today's correct layouts, byte for byte ----------------------------------------

enum class Against {
    kQt,                   // Qt's pixels, byte for byte
    kQtHighByte,           // 16 bits where Qt gave 8: their high bytes are Qt's
    kQtRoundTrip,          // unassociated 8-bit alpha: Qt premultiplied and un-premultiplied it
    kQtContiguousTwin,     // 16-bit planes Qt misread: its reading of the contiguous file
};

TEST(TiffCodec, TodaysCorrectLayoutsKeepTheirPixels) {
    TempFolder folder;
    const struct Case {
        const char* name;
        TiffLayout layout;
        Against against;
        int32_t bits;
        bool alpha;
    } cases[] = {
        {"rgb8", TiffLayout(PHOTOMETRIC_RGB, 3, 8), Against::kQt, 8, false},
        {"rgba8-unassociated", TiffLayout(PHOTOMETRIC_RGB, 4, 8, EXTRASAMPLE_UNASSALPHA), Against::kQtRoundTrip, 8, true},
        {"rgba8-associated", TiffLayout(PHOTOMETRIC_RGB, 4, 8, EXTRASAMPLE_ASSOCALPHA), Against::kQt, 8, true},
        {"rgba8-untagged", TiffLayout(PHOTOMETRIC_RGB, 4, 8), Against::kQt, 8, true},
        {"rgba8-unspecified", TiffLayout(PHOTOMETRIC_RGB, 4, 8, EXTRASAMPLE_UNSPECIFIED), Against::kQt, 8, true},
        {"grey8-black-zero", TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 8), Against::kQt, 8, false},
        {"grey8-white-zero", TiffLayout(PHOTOMETRIC_MINISWHITE, 1, 8), Against::kQt, 8, false},
        {"grey16-black-zero", TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 16), Against::kQt, 16, false},
        {"grey16-white-zero", TiffLayout(PHOTOMETRIC_MINISWHITE, 1, 16), Against::kQtHighByte, 16, false},
        {"grey4", TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 4), Against::kQt, 8, false},
        {"grey2-white-zero", TiffLayout(PHOTOMETRIC_MINISWHITE, 1, 2), Against::kQt, 8, false},
        {"bilevel-black-zero", TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 1), Against::kQt, 8, false},
        {"bilevel-white-zero", TiffLayout(PHOTOMETRIC_MINISWHITE, 1, 1).compressed(COMPRESSION_PACKBITS), Against::kQt, 8,
         false},
        {"bilevel-tiled", TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 1).inTiles(), Against::kQt, 8, false},
        {"palette8", TiffLayout(PHOTOMETRIC_PALETTE, 1, 8).compressed(COMPRESSION_LZW), Against::kQt, 8, false},
        {"palette4", TiffLayout(PHOTOMETRIC_PALETTE, 1, 4), Against::kQt, 8, false},
        {"rgb16", TiffLayout(PHOTOMETRIC_RGB, 3, 16), Against::kQt, 16, false},
        {"rgba16-unassociated", TiffLayout(PHOTOMETRIC_RGB, 4, 16, EXTRASAMPLE_UNASSALPHA), Against::kQt, 16, true},
        {"rgba16-associated", TiffLayout(PHOTOMETRIC_RGB, 4, 16, EXTRASAMPLE_ASSOCALPHA), Against::kQt, 16, true},
        {"rgb8-lzw-predictor", TiffLayout(PHOTOMETRIC_RGB, 3, 8).compressed(COMPRESSION_LZW, PREDICTOR_HORIZONTAL),
         Against::kQt, 8, false},
        {"rgb16-deflate-predictor",
         TiffLayout(PHOTOMETRIC_RGB, 3, 16).compressed(COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL), Against::kQt, 16,
         false},
        {"grey8-packbits", TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 8).compressed(COMPRESSION_PACKBITS), Against::kQt, 8, false},
        {"ycbcr-jpeg", TiffLayout(PHOTOMETRIC_YCBCR, 3, 8).compressed(COMPRESSION_JPEG), Against::kQt, 8, false},
        {"ycbcr-jpeg-oriented", TiffLayout(PHOTOMETRIC_YCBCR, 3, 8).compressed(COMPRESSION_JPEG).oriented(3), Against::kQt,
         8, false},
        {"rgb8-oriented", TiffLayout(PHOTOMETRIC_RGB, 3, 8).oriented(6), Against::kQt, 8, false},
        {"rgb8-tiled", TiffLayout(PHOTOMETRIC_RGB, 3, 8).inTiles().compressed(COMPRESSION_LZW), Against::kQt, 8, false},
        {"rgba16-tiled", TiffLayout(PHOTOMETRIC_RGB, 4, 16, EXTRASAMPLE_UNASSALPHA).inTiles(), Against::kQt, 16, true},
        {"rgb16-big-endian", TiffLayout(PHOTOMETRIC_RGB, 3, 16).bigEndianFile().compressed(COMPRESSION_LZW), Against::kQt,
         16, false},
        {"grey16-big-endian", TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 16).bigEndianFile(), Against::kQt, 16, false},
        {"cmyk8", TiffLayout(PHOTOMETRIC_SEPARATED, 4, 8).compressed(COMPRESSION_LZW), Against::kQt, 8, false},
        {"rgb8-planar", TiffLayout(PHOTOMETRIC_RGB, 3, 8).inPlanes(), Against::kQt, 8, false},
        {"rgba8-planar", TiffLayout(PHOTOMETRIC_RGB, 4, 8, EXTRASAMPLE_ASSOCALPHA).inPlanes().compressed(COMPRESSION_LZW),
         Against::kQt, 8, true},
        {"rgba8-planar-tiled", TiffLayout(PHOTOMETRIC_RGB, 4, 8, EXTRASAMPLE_UNASSALPHA).inPlanes().inTiles(),
         Against::kQtRoundTrip, 8, true},
        {"rgb16-planar", TiffLayout(PHOTOMETRIC_RGB, 3, 16).inPlanes().compressed(COMPRESSION_LZW, PREDICTOR_HORIZONTAL),
         Against::kQtContiguousTwin, 16, false},
        {"rgba16-planar", TiffLayout(PHOTOMETRIC_RGB, 4, 16, EXTRASAMPLE_UNASSALPHA).inPlanes(),
         Against::kQtContiguousTwin, 16, true},
        {"rgba16-planar-tiled-associated", TiffLayout(PHOTOMETRIC_RGB, 4, 16, EXTRASAMPLE_ASSOCALPHA).inPlanes().inTiles(),
         Against::kQtContiguousTwin, 16, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(std::string(c.name) + ".tif");
        ASSERT_TRUE(writeTiff(path, c.layout));
        testing::internal::CaptureStderr();
        const Ours ours = decodeOurs(path);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // libtiff's remarks are not printed
        ASSERT_FALSE(ours.pixels.isNull()) << ours.reason.c_str();
        EXPECT_EQ(ours.bits, c.bits);
        EXPECT_EQ(ours.hasAlpha, c.alpha);
        EXPECT_EQ(ours.pixels.format(), c.bits == 16 ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
        QImage expected;
        QImage got = ours.pixels;
        switch (c.against) {
            case Against::kQt: expected = decodedByQt(path); break;
            case Against::kQtHighByte:
                expected = decodedByQt(path);
                got = highBytes(ours.pixels);
                break;
            case Against::kQtRoundTrip:
                expected = decodedByQt(path);
                got = premultipliedRoundTrip(ours.pixels);
                break;
            case Against::kQtContiguousTwin: {
                const std::string twin = folder.file(std::string(c.name) + "-contiguous.tif");
                ASSERT_TRUE(writeTiff(twin, c.layout.contiguous()));
                expected = decodedByQt(twin);
                break;
            }
        }
        EXPECT_EQ(firstDifference(got, expected), -1);
        // The reader and the header agree on the colour model.
        FileBytes file;
        ASSERT_TRUE(file.read(QString::fromStdString(path)));
        TiffReader reader(file.data(), file.size());
        ASSERT_TRUE(reader.readHeader(nullptr));
        EXPECT_EQ(reader.colours(), storedColours(file, ImageFileKind::Tiff));
    }
}

// The project's 16-bit test file, and what its directory carries.
TEST(TiffCodec, TheTestFileAndItsProfileAreReadAsStored) {
    const std::string path = testData("tiff/rgb-16bit.tiff");
    const Ours ours = decodeOurs(path);
    ASSERT_FALSE(ours.pixels.isNull()) << ours.reason.c_str();
    EXPECT_EQ(ours.bits, 16);
    EXPECT_EQ(firstDifference(ours.pixels, decodedByQt(path)), -1);

    TempFolder folder;
    const std::string withProfile = folder.file("profile.tif");
    ASSERT_TRUE(writeTiff(withProfile, TiffLayout(PHOTOMETRIC_RGB, 3, 8)));
    const std::vector<uint8_t> p3 = displayP3Profile();
    ASSERT_TRUE(embedProfile(withProfile, p3));
    const std::vector<uint8_t> bytes = bytesOf(withProfile);
    TiffReader reader(bytes.data(), bytes.size());
    ASSERT_TRUE(reader.readHeader(nullptr));
    EXPECT_TRUE(reader.iccProfile() == p3);
}

// ---- The layouts Qt's reader got wrong ------------------------------------------------

// The fault's own file: three planes of 16 bits, read as the gradient
// ImageMagick wrote, on one thread and on several.
TEST(TiffCodec, PlanarSixteenBitRgbIsTheGradientWritten) {
    TempFolder folder;
    const std::string tiff = folder.file("planar16.tif");
    const std::string png = folder.file("gradient.png");
    ASSERT_TRUE(writePlanarGradient(tiff, png, "1200x800"));
    const QImage written = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGBA64);
    ASSERT_EQ(written.size(), QSize(1200, 800));
    for (int threads : {1, 4}) {
        SCOPED_TRACE(threads);
        setParallelThreadCount(threads);
        const Ours ours = decodeOurs(tiff);
        ASSERT_FALSE(ours.pixels.isNull()) << ours.reason.c_str();
        EXPECT_EQ(ours.bits, 16);
        EXPECT_FALSE(ours.hasAlpha);
        EXPECT_EQ(firstDifference(ours.pixels, written), -1);
    }
    setParallelThreadCount(0);
}

// The picture a grey and alpha file holds, as straight RGBA of its depth:
// grey in red, green and blue; associated grey un-premultiplied as Qt
// un-premultiplies RGBA.
QImage greyAndAlphaOf(const TiffLayout& layout) {
    const bool deep = layout.bits == 16;
    const bool associated = layout.extra == EXTRASAMPLE_ASSOCALPHA;
    QImage stored(kWidth, kHeight,
                  deep ? (associated ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64)
                       : (associated ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888));
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 4; ++c) {
                const uint32_t v = sampleAt(layout, x, y, c == 3 ? 1 : 0);
                if (deep) reinterpret_cast<quint16*>(stored.scanLine(y))[4 * x + c] = static_cast<quint16>(v);
                else stored.scanLine(y)[4 * x + c] = static_cast<uchar>(v);
            }
        }
    }
    return stored.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
}

TEST(TiffCodec, GreyWithAlphaKeepsAlphaAndDepth) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    for (const uint16_t bits : {8, 16}) {
        for (const int extra : {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_ASSOCALPHA, -1}) {  // -1: no ExtraSamples tag
            for (const bool planar : {false, true}) {
                TiffLayout layout(PHOTOMETRIC_MINISBLACK, 2, bits, extra);
                if (planar) layout.inPlanes();
                SCOPED_TRACE(std::to_string(bits) + " bits, extra " + std::to_string(extra) +
                             (planar ? ", planar" : ""));
                const std::string path = folder.file("grey-alpha.tif");
                ASSERT_TRUE(writeTiff(path, layout));
                ImageBuffer loaded;
                std::unique_ptr<ImageMetadata> metadata;
                GrowString reason;
                ASSERT_TRUE(io.loadFloatKeepingAlpha(gs(path), &loaded, false, &metadata, &reason)) << reason.c_str();
                ASSERT_EQ(loaded.channels, 4);
                EXPECT_EQ(metadata->bitsPerSample, bits);
                const QImage expected = greyAndAlphaOf(layout);
                float worst = 0;
                for (uint32_t y = 0; y < kHeight; ++y) {
                    for (uint32_t i = 0; i < kWidth * 4; ++i) {
                        const float want = bits == 16
                                               ? reinterpret_cast<const quint16*>(expected.constScanLine(y))[i] / 257.0f
                                               : expected.constScanLine(y)[i];
                        worst = std::max(worst, std::fabs(loaded.floats()[y * kWidth * 4 + i] - want));
                    }
                }
                EXPECT_EQ(worst, 0.0f);
            }
        }
    }
}

// ---- Refused layouts and damaged files --------------------------------------------

// Offsets in a little-endian TIFF (libtiff's or the one below): the entry of
// a tag in the first directory.
uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
void putLe32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) (*b)[at + k] = static_cast<uint8_t>(v >> (8 * k));
}
// Where value `index` of a SHORT or LONG tag of the first directory lies
// (one a strip or tile for the offsets and byte counts), and whether it is
// a SHORT; 0 without the tag or the value.
size_t valueAt(const std::vector<uint8_t>& b, uint16_t tag, uint32_t index, bool* isShort) {
    const uint32_t directory = le32(b, 4);
    const uint32_t entries = b[directory] | b[directory + 1] << 8;
    for (uint32_t e = 0; e < entries; ++e) {
        const size_t at = directory + 2 + 12 * e;
        if ((b[at] | b[at + 1] << 8) != tag) continue;
        *isShort = b[at + 2] == 3;
        const uint32_t size = *isShort ? 2 : 4;
        const uint32_t count = le32(b, at + 4);
        if (index >= count) return 0;
        return (count * size <= 4 ? at + 8 : le32(b, at + 8)) + index * size;
    }
    return 0;
}
uint32_t valueOf(const std::vector<uint8_t>& b, uint16_t tag, uint32_t index = 0) {
    bool isShort = false;
    const size_t at = valueAt(b, tag, index, &isShort);
    return at == 0 ? 0 : (isShort ? b[at] | b[at + 1] << 8 : le32(b, at));
}
// The file with value `index` of the tag replaced.
std::vector<uint8_t> withValue(std::vector<uint8_t> b, uint16_t tag, uint32_t value, uint32_t index = 0) {
    bool isShort = false;
    const size_t at = valueAt(b, tag, index, &isShort);
    EXPECT_NE(at, 0u) << tag;
    if (at == 0) return b;
    if (isShort) b[at] = static_cast<uint8_t>(value), b[at + 1] = static_cast<uint8_t>(value >> 8);
    else putLe32(&b, at, value);
    return b;
}

// An uncompressed 8-bit RGB TIFF whose directory comes first, strips of 4
// rows after it: cut anywhere in the strips, it keeps its directory.
std::vector<uint8_t> directoryFirstTiff(uint32_t w, uint32_t h) {
    const uint32_t rows = 4;
    const uint32_t strips = (h + rows - 1) / rows;
    const uint16_t entries = 9;
    const uint32_t arrays = 8 + 2 + 12 * entries + 4;
    const uint32_t data = arrays + 8 * strips + 8;
    std::vector<uint8_t> b(data + static_cast<size_t>(w) * h * 3);
    b[0] = b[1] = 'I';
    b[2] = 42;
    putLe32(&b, 4, 8);
    b[8] = entries;
    size_t at = 10;
    const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        b[at] = static_cast<uint8_t>(tag), b[at + 1] = static_cast<uint8_t>(tag >> 8);
        b[at + 2] = static_cast<uint8_t>(type);
        putLe32(&b, at + 4, count);
        putLe32(&b, at + 8, value);
        at += 12;
    };
    entry(256, 4, 1, w);
    entry(257, 4, 1, h);
    entry(258, 3, 1, 8);  // the 3 counts of 8 bits are read as one: libtiff takes the first
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, strips, strips == 1 ? data : arrays);
    entry(277, 3, 1, 3);
    entry(278, 4, 1, rows);
    entry(279, 4, strips, strips == 1 ? w * 3 * h : arrays + 4 * strips);
    for (uint32_t s = 0; s < strips && strips > 1; ++s) {
        putLe32(&b, arrays + 4 * s, data + s * rows * w * 3);
        putLe32(&b, arrays + 4 * strips + 4 * s, std::min(rows, h - s * rows) * w * 3);
    }
    for (size_t i = data; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 31);
    return b;
}

TEST(TiffCodec, UnreadLayoutsAreRefusedWithTheirReason) {
    TempFolder folder;
    const struct {
        const char* name;
        TiffLayout layout;
        const char* reason;
    } cases[] = {
        {"float16", TiffLayout(PHOTOMETRIC_RGB, 3, 16).floats(), "TIFF files of floating-point samples are not supported"},
        {"float32", TiffLayout(PHOTOMETRIC_RGB, 3, 32).floats(), "TIFF files of floating-point samples are not supported"},
        {"grey-float32", TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 32).floats(),
         "TIFF files of floating-point samples are not supported"},
        {"int32", TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 32), "TIFF files of 32-bit integer samples are not supported"},
        {"nine-samples", TiffLayout(PHOTOMETRIC_MINISBLACK, 9, 8), "TIFF files of 9 samples a pixel are not supported"},
        {"cmyk16", TiffLayout(PHOTOMETRIC_SEPARATED, 4, 16), "TIFF files of 16-bit CMYK samples are not supported"},
        {"rgb4", TiffLayout(PHOTOMETRIC_RGB, 3, 4), "TIFF files of this layout are not supported"},
    };
    DesktopImageLoaderSaver io;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(std::string(c.name) + ".tif");
        ASSERT_TRUE(writeTiff(path, c.layout));
        testing::internal::CaptureStderr();
        ImageBuffer image;
        GrowString reason;
        EXPECT_FALSE(io.loadFloatKeepingAlpha(gs(path), &image, true, nullptr, &reason));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_NE(std::string(reason.c_str()).find(c.reason), std::string::npos) << reason.c_str();
        EXPECT_EQ(image.data, nullptr);
    }
}

TEST(TiffCodec, DamagedFilesFailWithAReason) {
    TempFolder folder;
    const std::vector<uint8_t> plain = directoryFirstTiff(64, 30);
    ASSERT_TRUE(writeTiff(folder.file("lzw.tif"), TiffLayout(PHOTOMETRIC_RGB, 3, 8).compressed(COMPRESSION_LZW), 64, 40));
    const std::vector<uint8_t> lzw = bytesOf(folder.file("lzw.tif"));
    TiffLayout jpegLayout = TiffLayout(PHOTOMETRIC_YCBCR, 3, 8).compressed(COMPRESSION_JPEG);
    ASSERT_TRUE(writeTiff(folder.file("jpeg.tif"), jpegLayout, 64, 16));  // one strip
    const std::vector<uint8_t> jpeg = bytesOf(folder.file("jpeg.tif"));
    ASSERT_TRUE(writeTiff(folder.file("rgb.tif"), TiffLayout(PHOTOMETRIC_RGB, 3, 8).compressed(COMPRESSION_LZW), 64, 5));
    const std::vector<uint8_t> single = bytesOf(folder.file("rgb.tif"));  // one strip
    ASSERT_TRUE(writeTiff(folder.file("tiles.tif"), TiffLayout(PHOTOMETRIC_RGB, 3, 16).inTiles(), 64, 40));
    const std::vector<uint8_t> tiles = bytesOf(folder.file("tiles.tif"));
    // Decoded by the reader's own bands, not libtiff's RGBA conversion:
    // tiled LZW RGB, and grey JPEG (in one strip, three, and 128 strips
    // large enough to be decoded in parts, each with a handle of its own).
    const TiffLayout lzwTiled = TiffLayout(PHOTOMETRIC_RGB, 3, 8).inTiles().compressed(COMPRESSION_LZW);
    ASSERT_TRUE(writeTiff(folder.file("lzw-tiles.tif"), lzwTiled, 64, 40));
    const std::vector<uint8_t> lzwTiles = bytesOf(folder.file("lzw-tiles.tif"));
    const TiffLayout greyJpeg = TiffLayout(PHOTOMETRIC_MINISBLACK, 1, 8).compressed(COMPRESSION_JPEG);
    ASSERT_TRUE(writeTiff(folder.file("grey-jpeg.tif"), greyJpeg, 64, 16));
    ASSERT_TRUE(writeTiff(folder.file("grey-jpeg-3.tif"), greyJpeg, 64, 48));
    ASSERT_TRUE(writeTiff(folder.file("grey-jpeg-128.tif"), greyJpeg, 2048, 2048));

    // The sound files load: what fails below fails for its damage.
    DesktopImageLoaderSaver io;
    writeFile(folder.file("plain.tif"), std::vector<char>(plain.begin(), plain.end()));
    for (const char* name : {"plain.tif", "lzw.tif", "jpeg.tif", "rgb.tif", "tiles.tif", "lzw-tiles.tif", "grey-jpeg.tif",
                             "grey-jpeg-3.tif", "grey-jpeg-128.tif"}) {
        ImageBuffer image;
        EXPECT_TRUE(io.load8(gs(folder.file(name)), &image, false)) << name;
    }
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason = "the TIFF file is damaged";  // how the reason starts
    };
    std::vector<Case> cases;
    const auto cut = [](std::vector<uint8_t> b, size_t keep) {
        b.resize(keep);
        return b;
    };
    // The byte count of strip or tile `index` halved (tag 279 or 325): its
    // compressed data runs out half way, within the file.
    const auto halved = [](const std::vector<uint8_t>& b, uint16_t tag, uint32_t index) {
        return withValue(b, tag, valueOf(b, tag, index) / 2, index);
    };
    cases.push_back({"directory first, cut at half", cut(plain, plain.size() / 2)});
    cases.push_back({"directory last, cut at half", cut(lzw, lzw.size() / 2)});
    cases.push_back({"cut in its header", cut(plain, 6)});
    const uint32_t pastPlain = static_cast<uint32_t>(plain.size()) + 10;
    const uint32_t pastTiles = static_cast<uint32_t>(tiles.size()) + 10;
    cases.push_back({"a strip offset past the end", withValue(plain, 273, pastPlain)});
    cases.push_back({"a tile offset past the end", withValue(tiles, 324, pastTiles)});
    cases.push_back({"a huge strip claimed", withValue(single, 279, 0xfffffff0u)});
    cases.push_back({"huge tiles claimed", withValue(withValue(tiles, 322, 0xfff0), 323, 0xfff0)});
    // The strip's own byte count halved: the compressed data runs out.
    cases.push_back({"an LZW strip cut at half", withValue(single, 279, valueOf(single, 279) / 2)});
    cases.push_back({"a JPEG strip cut at half", withValue(jpeg, 279, valueOf(jpeg, 279) / 2)});
    // A tile libtiff fails to decode, and JPEG strips whose data ends before
    // their last rows (libjpeg only warns, and fills the rest with grey).
    const char kCutShort[] = "the TIFF file is damaged or cut short";
    cases.push_back({"an LZW tile cut at half", halved(lzwTiles, 325, 5), kCutShort});
    const std::vector<uint8_t> grey = bytesOf(folder.file("grey-jpeg.tif"));
    const std::vector<uint8_t> grey3 = bytesOf(folder.file("grey-jpeg-3.tif"));
    const std::vector<uint8_t> grey128 = bytesOf(folder.file("grey-jpeg-128.tif"));
    cases.push_back({"a grey JPEG strip cut at half", halved(grey, 279, 0), kCutShort});
    cases.push_back({"the middle grey JPEG strip of three cut at half", halved(grey3, 279, 1), kCutShort});
    cases.push_back({"grey JPEG strip 100 of 128 cut at half, decoded in parts", halved(grey128, 279, 100), kCutShort});
    setParallelThreadCount(4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file("damaged.tif");
        writeFile(path, std::vector<char>(c.bytes.begin(), c.bytes.end()));
        testing::internal::CaptureStderr();
        ImageBuffer image;
        GrowString reason;
        EXPECT_FALSE(io.loadFloatKeepingAlpha(gs(path), &image, true, nullptr, &reason));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(std::string(reason.c_str()).rfind(c.reason, 0), 0u) << reason.c_str();
        EXPECT_EQ(std::string(reason.c_str()).find('\n'), std::string::npos) << reason.c_str();
        EXPECT_EQ(image.data, nullptr);
    }
    setParallelThreadCount(0);
}

// ---- In a batch -----------------------------------------------------------------------

TEST(TiffCodec, ABatchWritesThePlanarFileAndFailsTheFloatOne) {
    TempFolder folder;
    ASSERT_TRUE(writePlanarGradient(folder.file("planar16.tif"), folder.file("gradient.png"), "300x200"));
    ASSERT_TRUE(writeTiff(folder.file("float.tif"), TiffLayout(PHOTOMETRIC_RGB, 3, 32).floats()));
    ProcessingState queue;
    queue.installLoader(std::make_unique<DesktopImageLoaderSaver>());
    GrowArray<RenderJob> batch;
    for (const char* source : {"planar16.tif", "float.tif", "planar16.tif"}) {
        RenderJob job;
        job.sourcePath = gs(folder.file(source));
        job.outputPath = gs(folder.file(std::string(source) + std::to_string(batch.count) + ".png"));
        job.mods.append(new AddConstantTile(0.0f));
        batch.append(job);
    }
    testing::internal::CaptureStderr();
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    testing::internal::GetCapturedStderr();
    const GrowArray<JobFailure> failures = queue.failureList();
    ASSERT_EQ(failures.count, 1);
    EXPECT_EQ(std::string(failures[0].file.c_str()), folder.file("float.tif"));
    EXPECT_NE(std::string(failures[0].reason.c_str()).find("TIFF files of floating-point samples are not supported"),
              std::string::npos)
        << failures[0].reason.c_str();
    EXPECT_FALSE(std::filesystem::exists(folder.file("float.tif1.png")));
    const QImage gradient(QString::fromStdString(folder.file("gradient.png")));
    for (const char* output : {"planar16.tif0.png", "planar16.tif2.png"}) {  // the second decoded ahead
        SCOPED_TRACE(output);
        EXPECT_EQ(sampleBitsOfFile(folder.file(output)), 16);
        EXPECT_EQ(largestLevelDifference(QImage(QString::fromStdString(folder.file(output))), gradient), 0);
    }
}

}  // namespace
