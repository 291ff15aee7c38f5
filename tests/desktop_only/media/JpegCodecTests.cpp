// JPEG straight through libjpeg-turbo: the samples of every layout are Qt's
// reader's, byte for byte, CMYK and arithmetic coding included, and valid
// files from the encoder load with its decoder's pixels; loading in bands
// gives the whole decode's buffer for every orientation, profile, channel
// count and thread count; the files written are Qt's writer's, byte for
// byte; cut-off and damaged files fail with their reason, whatever warnings
// came first; the sides at JPEG's limits.
#include "MediaTestHelpers.h"

#include "desktop_only/media/ColorProfiles.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/JpegCodec.h"
#include "desktop_only/media/MetadataIo.h"
#include "desktop_only/media/PixelTransfer.h"
#include "platform/ParallelFor.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageWriter>

#include <exiv2/exiv2.hpp>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using namespace mediatest;

namespace {

// A JPEG written with libjpeg itself, so that every layout can be made:
// the luma sampling, progressive and arithmetic coding, restart markers,
// scan scripts, grey, CMYK and YCCK.
struct Layout {
    const char* name;
    int width, height;
    J_COLOR_SPACE space;  // of the file: JCS_YCbCr, JCS_GRAYSCALE, JCS_RGB, JCS_CMYK or JCS_YCCK
    int hSampling, vSampling;
    bool progressive, arithmetic;
    int restartRows;
    const std::vector<jpeg_scan_info>* scans = nullptr;  // libjpeg's own when none
};

// Scan scripts: one sequential scan a component; a progression whose first
// scans give each component its DC on its own.
const std::vector<jpeg_scan_info> kScanPerComponent = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
const std::vector<jpeg_scan_info> kDcOnItsOwn = {{1, {0}, 0, 0, 0, 0},  {1, {1}, 0, 0, 0, 0},  {1, {2}, 0, 0, 0, 0},
                                                 {1, {0}, 1, 63, 0, 0}, {1, {1}, 1, 63, 0, 0}, {1, {2}, 1, 63, 0, 0}};

std::vector<char> makeJpeg(const Layout& l) {
    const bool fourComponents = l.space == JCS_CMYK || l.space == JCS_YCCK;
    const int components = l.space == JCS_GRAYSCALE ? 1 : (fourComponents ? 4 : 3);
    std::vector<uint8_t> pixels(static_cast<size_t>(l.width) * l.height * components);
    for (int y = 0; y < l.height; ++y)
        for (int x = 0; x < l.width; ++x)
            for (int c = 0; c < components; ++c)
                pixels[(static_cast<size_t>(y) * l.width + x) * components + c] =
                    static_cast<uint8_t>((x * (37 + 20 * c) + y * (11 + 42 * c) + (x * y) % 91) % 256);
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(l.width);
    info.image_height = static_cast<JDIMENSION>(l.height);
    info.input_components = components;
    info.in_color_space = l.space == JCS_YCbCr ? JCS_RGB : (fourComponents ? JCS_CMYK : l.space);
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, l.space);
    jpeg_set_quality(&info, 85, TRUE);
    info.comp_info[0].h_samp_factor = l.hSampling;
    info.comp_info[0].v_samp_factor = l.vSampling;
    if (l.progressive) jpeg_simple_progression(&info);
    info.arith_code = l.arithmetic ? TRUE : FALSE;
    info.restart_in_rows = l.restartRows;
    if (l.scans) {
        info.scan_info = l.scans->data();
        info.num_scans = static_cast<int>(l.scans->size());
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = pixels.data() + static_cast<size_t>(info.next_scanline) * l.width * components;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<char> bytes(out, out + size);
    std::free(out);
    return bytes;
}

// What Qt's reader decodes, as RGB bytes.
QImage qtDecode(const std::string& path) {
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888);
}

void expectSameAsQt(const ImageBuffer& loaded, bool isFloat, const QImage& reference) {
    ASSERT_EQ(loaded.width, reference.width());
    ASSERT_EQ(loaded.height, reference.height());
    ASSERT_EQ(loaded.channelCount(), 3);
    for (int y = 0; y < reference.height(); ++y) {
        const uchar* want = reference.constScanLine(y);
        for (int i = 0; i < reference.width() * 3; ++i) {
            const int64_t at = static_cast<int64_t>(y) * reference.width() * 3 + i;
            ASSERT_EQ(sampleAt(loaded, isFloat, at), static_cast<float>(want[i])) << "row " << y << " sample " << i;
        }
    }
}

const Layout kTaken[] = {
    {"420.jpg", 67, 29, JCS_YCbCr, 2, 2, false, false, 0},
    {"422.jpg", 67, 29, JCS_YCbCr, 2, 1, false, false, 0},
    {"440.jpg", 67, 29, JCS_YCbCr, 1, 2, false, false, 0},
    {"444.jpg", 67, 29, JCS_YCbCr, 1, 1, false, false, 0},
    {"411.jpg", 67, 29, JCS_YCbCr, 4, 1, false, false, 0},
    {"progressive.jpg", 67, 29, JCS_YCbCr, 2, 2, true, false, 0},
    {"restarts.jpg", 67, 29, JCS_YCbCr, 2, 2, false, false, 1},
    {"grey.jpg", 45, 31, JCS_GRAYSCALE, 1, 1, false, false, 0},
    {"grey-progressive.jpg", 45, 31, JCS_GRAYSCALE, 1, 1, true, false, 0},
    {"rgb.jpg", 33, 17, JCS_RGB, 1, 1, false, false, 0},
    {"one-pixel.jpg", 1, 1, JCS_YCbCr, 2, 2, false, false, 0},
    {"cmyk.jpg", 40, 24, JCS_CMYK, 1, 1, false, false, 0},
    {"ycck.jpg", 41, 23, JCS_YCCK, 2, 2, false, false, 0},
    {"cmyk-progressive.jpg", 40, 24, JCS_CMYK, 2, 1, true, false, 0},
    {"arithmetic.jpg", 67, 29, JCS_YCbCr, 2, 2, false, true, 0},
    {"arithmetic-444.jpg", 67, 29, JCS_YCbCr, 1, 1, false, true, 0},
    {"arithmetic-progressive.jpg", 67, 29, JCS_YCbCr, 2, 2, true, true, 0},
    {"arithmetic-restarts.jpg", 67, 29, JCS_YCbCr, 2, 1, false, true, 1},
    {"arithmetic-grey.jpg", 45, 31, JCS_GRAYSCALE, 1, 1, true, true, 0},
    {"arithmetic-cmyk.jpg", 40, 24, JCS_CMYK, 1, 1, false, true, 0},
    {"scan-per-component.jpg", 67, 29, JCS_YCbCr, 2, 2, false, false, 0, &kScanPerComponent},
    {"dc-on-its-own.jpg", 67, 29, JCS_YCbCr, 2, 2, true, true, 0, &kDcOnItsOwn},
    // Many bands: the decode runs through the band pipeline's ring.
    {"wide.jpg", 3001, 77, JCS_YCbCr, 2, 2, false, false, 0},
};

// Every layout decodes as Qt's reader decodes over the same library: the
// same samples, with any number of threads (CMYK read as inverted CMYK
// scaled by black, as Qt reads it).
TEST(MediaJpeg, EveryLayoutDecodesAsQtsReader) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    for (const Layout& l : kTaken) {
        const std::string path = folder.file(l.name);
        writeFile(path, makeJpeg(l));
        const QImage reference = qtDecode(path);
        ASSERT_FALSE(reference.isNull()) << l.name;
        for (int threads : {1, 4}) {
            setParallelThreadCount(threads);
            for (bool asFloat : {false, true}) {
                SCOPED_TRACE(std::string(l.name) + (asFloat ? " float" : " bytes") + ", T " + std::to_string(threads));
                ImageBuffer loaded;
                GrowString reason;
                ASSERT_TRUE(asFloat ? io.loadFloat(gs(path), &loaded, false, nullptr, &reason)
                                    : io.load8(gs(path), &loaded, false, &reason))
                    << reason.c_str();
                expectSameAsQt(loaded, asFloat, reference);
            }
        }
    }
    setParallelThreadCount(0);
}

// An RGB profile does not describe CMYK samples: ignored, the picture as
// Qt's reader made it.
TEST(MediaJpeg, AnRgbProfileOnCmykIsIgnored) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    const std::string path = folder.file("cmyk.jpg");
    writeFile(path, makeJpeg({"", 40, 24, JCS_CMYK, 1, 1, false, false, 0}));
    const QImage reference = qtDecode(path);
    ASSERT_TRUE(embedProfile(path, linearRgbProfile()));
    ImageBuffer loaded;
    ASSERT_TRUE(io.load8(gs(path), &loaded, true));
    expectSameAsQt(loaded, false, reference);
}

// A JPEG with its EXIF orientation set (exiv2 writes it).
void setOrientation(const std::string& path, uint16_t orientation) {
    Exiv2::Image::AutoPtr file = Exiv2::ImageFactory::open(path);
    file->readMetadata();
    file->exifData()["Exif.Image.Orientation"] = orientation;
    file->writeMetadata();
}

// A load decodes band by band and converts the bands on other threads as
// they come; the buffer and metadata must be those of the whole decode
// (decode, then finishLoad), which the batch's look-ahead uses.
TEST(MediaJpeg, LoadingInBandsGivesTheWholeDecode) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    const std::string plain = folder.file("plain.jpg");
    writeFile(plain, makeJpeg({"", 2999, 101, JCS_YCbCr, 2, 2, false, false, 0}));  // three bands
    const std::string profiled = folder.file("p3.jpg");
    writeFile(profiled, makeJpeg({"", 2999, 50, JCS_YCbCr, 2, 2, false, false, 0}));  // two bands
    ASSERT_TRUE(embedProfile(profiled, displayP3Profile()));
    struct Case {
        const std::string& path;
        uint16_t orientation;
        std::vector<int> threads;
        std::vector<int32_t> channels;
    };
    std::vector<Case> cases;
    for (uint16_t orientation = 1; orientation <= 8; ++orientation)
        cases.push_back({plain, orientation, {1, 8}, {1, 2, 3, 4}});
    for (uint16_t orientation : {1, 3, 6})  // the profile's conversion is slow: fewer cases
        cases.push_back({profiled, orientation, {1, 8}, {3}});
    for (const Case& c : cases) {
        setOrientation(c.path, c.orientation);
        for (int threads : c.threads) {
            setParallelThreadCount(threads);
            for (int32_t channels : c.channels) {
                for (bool asFloat : {false, true}) {
                    SCOPED_TRACE(c.path + ", orientation " + std::to_string(c.orientation) + ", T " +
                                 std::to_string(threads) + ", " + std::to_string(channels) +
                                 (asFloat ? " float" : " bytes"));
                    DecodedSource source;
                    ASSERT_TRUE(io.decode(gs(c.path), true, asFloat, true, &source));
                    ImageBuffer whole;
                    std::unique_ptr<ImageMetadata> wholeMetadata;
                    ASSERT_TRUE(io.finishLoad(source, channels, asFloat, &whole, &wholeMetadata));
                    ImageBuffer banded;
                    banded.channels = channels;
                    std::unique_ptr<ImageMetadata> bandedMetadata;
                    ASSERT_TRUE(asFloat ? io.loadFloat(gs(c.path), &banded, true, &bandedMetadata)
                                        : io.load8(gs(c.path), &banded, true));
                    ASSERT_EQ(banded.width, whole.width);
                    ASSERT_EQ(banded.height, whole.height);
                    ASSERT_EQ(banded.channels, channels);
                    ASSERT_EQ(std::memcmp(banded.data, whole.data,
                                          static_cast<size_t>(whole.sampleCount()) * (asFloat ? 4 : 1)),
                              0);
                    if (asFloat) {
                        ASSERT_TRUE(bandedMetadata && wholeMetadata);
                        EXPECT_EQ(bandedMetadata->orientation, c.orientation);
                        EXPECT_EQ(bandedMetadata->iccProfile, wholeMetadata->iccProfile);
                        EXPECT_EQ(bandedMetadata->exif, wholeMetadata->exif);
                        EXPECT_EQ(bandedMetadata->width, wholeMetadata->width);
                    }
                }
            }
        }
    }
    setParallelThreadCount(0);
}

// The batch copies its next photo into the float storage of the last one;
// rows that start on 16 bytes are then written with streaming stores, the
// others (an odd width alternates) and turned pictures as before. Whatever
// the storage held, the floats are those of a fresh copy.
TEST(MediaJpeg, CopyIntoKeptStorageGivesTheFreshCopy) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    const std::string path = folder.file("odd.jpg");
    writeFile(path, makeJpeg({"", 2999, 101, JCS_YCbCr, 2, 2, false, false, 0}));
    for (uint16_t orientation : {1, 6}) {
        setOrientation(path, orientation);
        for (int threads : {1, 8}) {
            SCOPED_TRACE("orientation " + std::to_string(orientation) + ", T " + std::to_string(threads));
            setParallelThreadCount(threads);
            DecodedSource source;
            ASSERT_TRUE(io.decode(gs(path), false, true, false, &source));
            ImageBuffer fresh;
            ASSERT_TRUE(io.finishLoad(source, 3, true, &fresh, nullptr));
            ImageBuffer kept;
            ASSERT_TRUE(kept.allocateFloat(fresh.width, fresh.height, 3));
            const void* storage = kept.data;
            std::fill(kept.floats(), kept.floats() + kept.sampleCount(), -7.0f);
            ASSERT_TRUE(io.finishLoad(source, 3, true, &kept, nullptr, nullptr, true));
            ASSERT_EQ(kept.data, storage);
            ASSERT_EQ(std::memcmp(kept.data, fresh.data, static_cast<size_t>(fresh.sampleCount()) * sizeof(float)), 0);
        }
    }
    setParallelThreadCount(0);
}

// Qt's JPEG writer on the image prepareSave made, as the saver wrote
// files before it drove libjpeg itself.
QByteArray qtEncode(const QImage& image, int quality, bool withProfile) {
    QImage tagged = image;
    if (withProfile) {
        const std::vector<uint8_t>& srgb = srgbProfileBytes();
        tagged.setColorSpace(QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char*>(srgb.data()), static_cast<int>(srgb.size()))));
    }
    QByteArray bytes;
    QBuffer device(&bytes);
    device.open(QIODevice::WriteOnly);
    QImageWriter writer(&device, "jpeg");
    writer.setQuality(quality);
    writer.write(tagged);
    return bytes;
}

// The files are Qt's writer's, byte for byte: the same tables, DCT,
// Huffman coding, JFIF header and profile markers. Both ways of saving
// (a float buffer in bands, and prepareSave with writePrepared, as the
// batch saves) give them.
TEST(MediaJpeg, FilesAreQtsWritersByteForByte) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    for (int32_t channels : {1, 3, 4}) {
        ImageBuffer picture;
        makePicture(&picture, 3001, 45, channels, true);
        for (int64_t i = 0; i < picture.sampleCount(); i += 5) picture.floats()[i] += 0.7f;  // fractions to truncate
        const QImage stored = imageFromBuffer(picture, true, false, true);
        for (int32_t quality : {1, 50, 90, 100}) {
            for (bool embed : {false, true}) {
                SCOPED_TRACE(std::to_string(channels) + " channels, quality " + std::to_string(quality) +
                             (embed ? ", profile" : ""));
                SaveOptions options;
                options.quality = quality;
                options.embedProfile = embed;
                const std::string path = folder.file("saved.jpg");
                ASSERT_TRUE(io.saveFloat(gs(path), picture, options, nullptr));
                const QByteArray expected = qtEncode(stored, quality, embed && channels != 1);
                const std::vector<char> saved = readFile(path);
                ASSERT_EQ(saved.size(), static_cast<size_t>(expected.size()));
                EXPECT_EQ(std::memcmp(saved.data(), expected.constData(), saved.size()), 0);

                PreparedSave prepared;
                ASSERT_TRUE(io.prepareSave(gs(path), picture, true, options, &prepared));
                ASSERT_TRUE(io.writePrepared(prepared, nullptr));
                EXPECT_TRUE(readFile(path) == saved);
            }
        }
    }
}

// A grey buffer makes a grey file (one component, no RGB profile), which
// loads back as the same grey.
TEST(MediaJpeg, GreyBuffersMakeGreyFiles) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer grey;
    makePicture(&grey, 40, 30, 1, false);
    const std::string path = folder.file("grey.jpg");
    ASSERT_TRUE(io.save8(gs(path), grey, SaveOptions(), nullptr));
    EXPECT_EQ(qtDecode(path).isNull(), false);
    EXPECT_EQ(QImage(QString::fromStdString(path)).format(), QImage::Format_Grayscale8);
    ImageBuffer loaded;
    loaded.channels = 3;
    std::unique_ptr<ImageMetadata> metadata;
    ASSERT_TRUE(io.loadFloat(gs(path), &loaded, true, &metadata));
    ASSERT_TRUE(metadata);
    EXPECT_TRUE(metadata->iccProfile.empty());
    double worst = 0;
    for (int64_t p = 0; p < 40 * 30; ++p) {
        EXPECT_EQ(loaded.floats()[p * 3], loaded.floats()[p * 3 + 1]);
        EXPECT_EQ(loaded.floats()[p * 3], loaded.floats()[p * 3 + 2]);
        worst = std::max(worst, double(std::fabs(loaded.floats()[p * 3] - grey.bytes()[p])));
    }
    EXPECT_LT(worst, 8.0);
}

// Where the n-th scan's header starts (the size when there is none).
size_t scanStart(const std::vector<char>& bytes, int n) {
    for (size_t i = 2; i + 1 < bytes.size(); ++i)
        if (static_cast<uint8_t>(bytes[i]) == 0xFF && static_cast<uint8_t>(bytes[i + 1]) == 0xDA && n-- == 0) return i;
    return bytes.size();
}

// Files cut off where the decoder knows pixels are missing (data due in a
// scan, a component no scan coded, whatever warnings came before) and
// damaged headers fail with their reason; what it cannot tell from a valid
// file loads, as libjpeg's own decoder loads it.
TEST(MediaJpeg, CutAndDamagedFilesFailWithTheirReason) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    const std::vector<char> whole = makeJpeg({"", 300, 200, JCS_YCbCr, 2, 2, false, false, 0});
    const std::vector<char> progressive = makeJpeg({"", 300, 200, JCS_YCbCr, 2, 2, true, false, 0});
    const std::vector<char> restarts = makeJpeg({"", 300, 200, JCS_YCbCr, 2, 2, false, false, 1});
    const std::vector<char> arithmetic = makeJpeg({"", 300, 200, JCS_YCbCr, 2, 2, false, true, 0});
    const std::vector<char> arithmeticProgressive = makeJpeg({"", 300, 200, JCS_YCbCr, 2, 2, true, true, 0});
    const std::vector<char> cmyk = makeJpeg({"", 300, 200, JCS_CMYK, 1, 1, false, false, 0});
    auto cut = [](const std::vector<char>& bytes, size_t keep) {
        return std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
    };
    const auto withEnd = [&cut](const std::vector<char>& bytes, size_t keep) {
        std::vector<char> out = cut(bytes, keep);
        out.insert(out.end(), {'\xFF', '\xD9'});
        return out;
    };
    // A frame header of 12-bit samples, which this libjpeg does not decode.
    std::vector<char> twelveBit = whole;
    for (size_t i = 2; i + 4 < twelveBit.size(); ++i)
        if (static_cast<uint8_t>(twelveBit[i]) == 0xFF && static_cast<uint8_t>(twelveBit[i + 1]) == 0xC0) {
            twelveBit[i + 4] = 12;
            break;
        }
    // A harmless warning first: three bytes that are no marker before the
    // first scan.
    std::vector<char> cmykWarned = cmyk;
    cmykWarned.insert(cmykWarned.begin() + static_cast<std::ptrdiff_t>(scanStart(cmyk, 0)), {'\x11', '\x22', '\x33'});
    // Cut where a scan starts: the components of the later scans are missing.
    const auto beforeScan = [](const std::vector<char>& bytes, int n, bool end) {
        std::vector<char> out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(scanStart(bytes, n)));
        if (end) out.insert(out.end(), {'\xFF', '\xD9'});
        return out;
    };
    const std::vector<char> scanPerComponent =
        makeJpeg({"", 300, 200, JCS_YCbCr, 2, 2, false, false, 0, &kScanPerComponent});
    const std::vector<char> arithmeticScanPerComponent =
        makeJpeg({"", 300, 200, JCS_YCbCr, 2, 2, false, true, 0, &kScanPerComponent});
    const std::vector<char> dcOnItsOwn = makeJpeg({"", 300, 200, JCS_YCbCr, 2, 2, true, false, 0, &kDcOnItsOwn});
    const auto beyond = [](J_COLOR_SPACE space) {
        const std::vector<char> tiny = makeJpeg({"", 16, 16, space, 1, 1, false, false, 0});
        const QByteArray b = claimingSize(QByteArray(tiny.data(), static_cast<int>(tiny.size())), 9000, 9000);
        return std::vector<char>(b.begin(), b.end());
    };
    struct Case {
        std::string name;
        std::vector<char> bytes;
        const char* reason;
    };
    std::vector<Case> cases = {
        {"in-the-header.jpg", cut(whole, 300), "damaged or cut short"},
        {"in-a-later-scans-header.jpg", cut(progressive, scanStart(progressive, 1) + 3), "damaged"},
        {"twelve-bit.jpg", twelveBit, "12-bit samples are not supported"},
        {"cmyk-half-with-end.jpg", withEnd(cmyk, cmyk.size() / 2), "damaged or cut short"},
        {"cmyk-warned-then-cut.jpg", withEnd(cmykWarned, cmykWarned.size() / 2), "damaged or cut short"},
        {"frame-beyond-its-data.jpg", beyond(JCS_YCbCr), "damaged or cut short"},
        {"cmyk-frame-beyond-its-data.jpg", beyond(JCS_CMYK), "damaged or cut short"},
    };
    for (bool end : {false, true}) {
        const std::string suffix = end ? "-with-end.jpg" : ".jpg";
        cases.push_back({"chroma-scans-missing" + suffix, beforeScan(scanPerComponent, 1, end), "damaged or cut short"});
        cases.push_back({"arithmetic-chroma-scans-missing" + suffix, beforeScan(arithmeticScanPerComponent, 1, end),
                         "damaged or cut short"});
        cases.push_back({"one-dc-scan-only" + suffix, beforeScan(dcOnItsOwn, 1, end), "damaged or cut short"});
    }
    // Cut at a quarter, at a half and in the last row of MCUs (the last bytes
    // of the data): in every coding without an end marker; with Huffman
    // coding also with the end marker put back, where the decoder still needs
    // bits at the marker.
    const struct {
        const char* name;
        const std::vector<char>& bytes;
        bool huffman;
    } codings[] = {{"baseline", whole, true},
                   {"progressive", progressive, true},
                   {"restarts", restarts, true},
                   {"arithmetic", arithmetic, false},
                   {"arithmetic-progressive", arithmeticProgressive, false}};
    for (const auto& coding : codings) {
        const size_t data = coding.bytes.size() - 2;  // before the end marker
        for (const auto& [at, keep] : {std::pair<const char*, size_t>{"quarter", data / 4},
                                       {"half", data / 2},
                                       {"last-row", data - 12}}) {
            const std::string name = std::string(coding.name) + "-" + at;
            cases.push_back({name + ".jpg", cut(coding.bytes, keep), "damaged or cut short"});
            if (coding.huffman)
                cases.push_back({name + "-with-end.jpg", withEnd(coding.bytes, keep), "damaged or cut short"});
        }
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        writeFile(path, c.bytes);
        for (bool asFloat : {false, true}) {
            ImageBuffer image;
            makePicture(&image, 3, 3, 3, asFloat);  // an earlier picture must not survive
            GrowString reason;
            EXPECT_FALSE(asFloat ? io.loadFloat(gs(path), &image, true, nullptr, &reason)
                                 : io.load8(gs(path), &image, true, &reason));
            EXPECT_EQ(image.data, nullptr);
            EXPECT_NE(std::string(reason.c_str()).find(c.reason), std::string::npos) << reason.c_str();
            DecodedSource source;
            EXPECT_FALSE(io.decode(gs(path), true, asFloat, false, &source));
        }
    }
    // What the decoder cannot tell from a valid file loads: a progressive
    // file lacking only its later scans (every component had its DC), with
    // or without its end marker; an arithmetic-coded scan that meets the end
    // marker early (an encoder leaves out the zero bytes that end its data,
    // and the decoder supplies them).
    const Case loading[] = {
        {"first-scan-only.jpg", beforeScan(progressive, 1, false), ""},
        {"first-scan-only-with-end.jpg", beforeScan(progressive, 1, true), ""},
        {"arithmetic-half-with-end.jpg", withEnd(arithmetic, arithmetic.size() / 2), ""},
        {"arithmetic-progressive-half-with-end.jpg", withEnd(arithmeticProgressive, arithmeticProgressive.size() / 2),
         ""},
    };
    for (const Case& c : loading) {
        SCOPED_TRACE(c.name);
        writeFile(folder.file(c.name), c.bytes);
        ImageBuffer loaded;
        GrowString reason;
        EXPECT_TRUE(io.load8(gs(folder.file(c.name)), &loaded, false, &reason)) << reason.c_str();
    }
    // Bytes that are no marker before the end marker, as cameras write
    // them: the same picture as without, for every colour model.
    for (const std::vector<char>& plain : {whole, cmyk}) {
        std::vector<char> padded = plain;
        padded.insert(padded.end() - 2, 20, '\x11');
        writeFile(folder.file("padded.jpg"), padded);
        writeFile(folder.file("clean.jpg"), plain);
        ImageBuffer a, b;
        ASSERT_TRUE(io.load8(gs(folder.file("padded.jpg")), &a, false));
        ASSERT_TRUE(io.load8(gs(folder.file("clean.jpg")), &b, false));
        EXPECT_EQ(difference(a, false, b, false).max, 0.0);
    }
    // A flat picture holds the least data a frame can: no damage.
    QImage flat(1024, 768, QImage::Format_RGB32);
    flat.fill(qRgb(90, 90, 90));
    for (bool stepwise : {false, true}) {
        QImageWriter writer(QString::fromStdString(folder.file("flat.jpg")), "jpeg");
        writer.setProgressiveScanWrite(stepwise);
        ASSERT_TRUE(writer.write(flat));
        ImageBuffer loaded;
        EXPECT_TRUE(io.load8(gs(folder.file("flat.jpg")), &loaded, false));
    }
    // Bytes flipped in the middle of the scan: libjpeg steps over them.
    std::vector<char> damaged = whole;
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 40; ++i) damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    const std::string path = folder.file("damaged-scan.jpg");
    writeFile(path, damaged);
    const QImage reference = qtDecode(path);
    ASSERT_FALSE(reference.isNull());
    ImageBuffer loaded;
    ASSERT_TRUE(io.load8(gs(path), &loaded, false));
    expectSameAsQt(loaded, false, reference);
}

// A whole file whose end marker is missing, or holds other bytes (as some
// cameras, phones and transfer tools leave it), loads with every pixel of
// the whole file, whole and in bands, in every Huffman layout.
TEST(MediaJpeg, WholeFilesWithoutTheirEndMarkerLoadWithEveryPixel) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    const Layout layouts[] = {
        {"baseline", 300, 200, JCS_YCbCr, 2, 2, false, false, 0},
        {"progressive", 300, 200, JCS_YCbCr, 2, 2, true, false, 0},
        {"restarts", 300, 200, JCS_YCbCr, 2, 2, false, false, 1},
        {"444", 300, 200, JCS_YCbCr, 1, 1, false, false, 0},
        {"grey-progressive", 45, 31, JCS_GRAYSCALE, 1, 1, true, false, 0},
        {"cmyk", 40, 24, JCS_CMYK, 1, 1, false, false, 0},
    };
    for (const Layout& l : layouts) {
        const std::vector<char> complete = makeJpeg(l);
        writeFile(folder.file("complete.jpg"), complete);
        ImageBuffer want;
        ASSERT_TRUE(io.load8(gs(folder.file("complete.jpg")), &want, false));
        std::vector<char> zeros = complete;
        zeros[zeros.size() - 2] = zeros[zeros.size() - 1] = '\0';
        const std::pair<const char*, std::vector<char>> variants[] = {
            {"no-end", std::vector<char>(complete.begin(), complete.end() - 2)}, {"zeros-for-end", zeros}};
        for (const auto& [variant, bytes] : variants) {
            SCOPED_TRACE(std::string(l.name) + " " + variant);
            const std::string path = folder.file(std::string(l.name) + "-" + variant + ".jpg");
            writeFile(path, bytes);
            for (bool asFloat : {false, true}) {
                ImageBuffer loaded;
                GrowString reason;
                ASSERT_TRUE(asFloat ? io.loadFloat(gs(path), &loaded, false, nullptr, &reason)
                                    : io.load8(gs(path), &loaded, false, &reason))
                    << reason.c_str();
                EXPECT_EQ(difference(loaded, asFloat, want, false).max, 0.0);
                DecodedSource source;
                EXPECT_TRUE(io.decode(gs(path), false, asFloat, false, &source));
            }
        }
    }
}

// The sides at the edges: a 1 x 1 photo, and 65,500 pixels (libjpeg's
// largest side) written and read back as Qt's reader reads them; one more
// is refused with its reason.
TEST(MediaJpeg, SidesAtJpegsLimits) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    for (const auto& size : {std::pair<int32_t, int32_t>{1, 1}, {65500, 2}, {3, 65500}}) {
        SCOPED_TRACE(std::to_string(size.first) + " x " + std::to_string(size.second));
        ImageBuffer picture;
        makePicture(&picture, size.first, size.second, 3, true);
        const std::string path = folder.file("edge.jpg");
        GrowString reason;
        ASSERT_TRUE(io.saveFloat(gs(path), picture, SaveOptions(), nullptr, &reason)) << reason.c_str();
        ImageBuffer loaded;
        ASSERT_TRUE(io.loadFloat(gs(path), &loaded, false, nullptr, &reason)) << reason.c_str();
        expectSameAsQt(loaded, true, qtDecode(path));
    }
    for (const auto& size : {std::pair<int32_t, int32_t>{65501, 1}, {1, 65501}}) {
        ImageBuffer picture;
        picture.allocate8(size.first, size.second, 3);
        const std::string path = folder.file("too-wide.jpg");
        GrowString reason;
        EXPECT_FALSE(io.save8(gs(path), picture, SaveOptions(), nullptr, &reason));
        EXPECT_STREQ(reason.c_str(), "JPEG holds at most 65,500 pixels a side");
        PreparedSave prepared;
        EXPECT_FALSE(io.prepareSave(gs(path), picture, false, SaveOptions(), &prepared, &reason));
        EXPECT_STREQ(reason.c_str(), "JPEG holds at most 65,500 pixels a side");
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

// The orientation read from a JPEG's own EXIF segment when exiv2 cannot
// read the file: worked cases and broken segments.
TEST(MediaJpeg, ExifOrientationOfTheSegment) {
    const struct {
        const char* what;
        std::vector<uint8_t> segment;
        int32_t orientation;
    } cases[] = {
        {"little endian", exifSegment(true, 0x0112, 3, 6), 6},
        {"big endian", exifSegment(false, 0x0112, 3, 8), 8},
        {"first entry", exifSegment(true, 0x0112, 3, 3, 1), 3},
        {"out of range", exifSegment(true, 0x0112, 3, 9), 0},
        {"zero", exifSegment(false, 0x0112, 3, 0), 0},
        {"a LONG", exifSegment(true, 0x0112, 4, 6), 6},
        {"a LONG, big endian", exifSegment(false, 0x0112, 4, 5), 5},
        {"a LONG out of range", exifSegment(false, 0x0112, 4, 0x60000), 0},
        {"a signed SHORT", exifSegment(true, 0x0112, 8, 6), 6},
        {"a signed LONG, big endian", exifSegment(false, 0x0112, 9, 6), 6},
        {"no integer", exifSegment(true, 0x0112, 7, 6), 0},
        {"no orientation", exifSegment(true, 0x0110, 3, 6), 0},
        {"no Exif tag", std::vector<uint8_t>{'E', 'x', 'i', 'g', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0}, 0},
        {"no TIFF header", std::vector<uint8_t>{'E', 'x', 'i', 'f', 0, 0, 'X', 'X', 42, 0, 8, 0, 0, 0}, 0},
        {"directory past the end", std::vector<uint8_t>{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 200, 0, 0, 0}, 0},
        {"empty", {}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exifOrientation(c.segment.data(), c.segment.size()), c.orientation) << c.what;
    }
    // Entries cut off by the end of the segment are not read.
    std::vector<uint8_t> cut = exifSegment(true, 0x0112, 3, 6);
    cut.resize(cut.size() - 10);
    EXPECT_EQ(exifOrientation(cut.data(), cut.size()), 0);
}

// The vectorised 8-bit store: sixteen samples a step give storeByte's bytes
// (clamped, NaN as 0, truncated toward zero) for every special value in
// every lane, and the plain loop takes the rest.
TEST(MediaJpeg, VectorStoreFollowsTheEightBitStore) {
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {-5.0f, -0.5f, -0.0f, 0.0f, 0.99f, 1.0f, 127.5f, 254.99f, 255.0f, 255.5f, 300.0f,
                              std::numeric_limits<float>::quiet_NaN(), inf, -inf, 1e30f, -1e30f, 2147483648.0f,
                              -2147483904.0f, 65535.9f, -32769.0f, 12.9f};
    const int64_t count = 16 * 21 + 7;
    std::vector<float> values(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) values[static_cast<size_t>(i)] = specials[(i * 5) % 21];
    std::vector<uint8_t> out(static_cast<size_t>(count));
    storeBytes(out.data(), values.data(), count);
    for (int64_t i = 0; i < count; ++i) EXPECT_EQ(storeByte(values[i]), out[i]) << "value " << values[i] << " at " << i;
}

}  // namespace
