// 16-bit RGB PNGs whose transparency is one colour (a tRNS chunk), which
// Qt 5's reader misreads, are read through libpng: every route (load8,
// loadFloat, decode, a batch, a save) gives the picture ImageMagick reads,
// alpha 0 exactly where a pixel has the tRNS colour; the colour space is the
// one Qt's reader makes of the same chunks; the neighbouring layouts stay
// with Qt's reader; a damaged file is refused with its reason.
#include "MediaTestHelpers.h"
#include "QueueTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/PngCodec.h"
#include "desktop_only/media/ProcessingState.h"

#include <QColorSpace>
#include <QProcess>

#include <functional>

using namespace mediatest;

namespace {

bool runConvert(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.start(QStringLiteral("convert"), arguments);
    const bool ran = process.waitForStarted(30000) && process.waitForFinished(120000) &&
                     process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output) *output = process.readAllStandardOutput();
    return ran;
}

std::vector<char> bigEndian(std::initializer_list<uint32_t> values, int bytes) {
    std::vector<char> out;
    for (uint32_t v : values)
        for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
    return out;
}

// The chunks inserted right after IHDR (at `at` from the end when given).
std::vector<char> withChunks(std::vector<char> png, const std::vector<std::vector<char>>& chunks, size_t fromEnd = 0) {
    size_t at = fromEnd ? png.size() - fromEnd : 33;  // signature and IHDR
    for (const std::vector<char>& c : chunks) {
        png.insert(png.begin() + static_cast<std::ptrdiff_t>(at), c.begin(), c.end());
        at += c.size();
    }
    return png;
}

// ImageMagick's gradient at 16 bits, as `mode` (png48, png24, ...), without
// ancillary chunks; with a white square made transparent when asked.
std::vector<char> gradientPng(const TempFolder& folder, const char* mode, bool whiteSquare, bool interlaced) {
    const std::string path = folder.file("gradient.png");
    QStringList arguments{"-size", "64x48", "gradient:red-blue", "-depth", "16"};
    if (whiteSquare) arguments << "-fill" << "white" << "-draw" << "rectangle 0,0 10,10" << "-transparent" << "white";
    if (interlaced) arguments << "-interlace" << "PNG";
    arguments << "-strip" << QString("%1:%2").arg(mode, QString::fromStdString(path));
    return runConvert(arguments) ? readFile(path) : std::vector<char>();
}

// A tRNS colour of 16-bit RGB no pixel of the gradient has (its green is 0).
const std::vector<char> kUnusedColour = bigEndian({0x1234, 0x5678, 0x9abc}, 2);

struct Layout {
    const char* name;
    bool colourUsed;  // the white square has the tRNS colour; else no pixel has it
    bool interlaced;
};
const Layout kLayouts[] = {
    {"used.png", true, false}, {"used-interlaced.png", true, true},
    {"unused.png", false, false}, {"unused-interlaced.png", false, true},
};

// Writes the layout's file: 16-bit RGB (colour type 2) with a tRNS chunk.
void writeLayout(const TempFolder& folder, const Layout& layout) {
    std::vector<char> png = gradientPng(folder, "png48", layout.colourUsed, layout.interlaced);
    if (!layout.colourUsed) png = withChunks(png, {pngChunk("tRNS", kUnusedColour)});
    ASSERT_GT(png.size(), 33u);
    ASSERT_EQ(png[24], 16) << "bit depth";
    ASSERT_EQ(png[25], 2) << "colour type";
    ASSERT_EQ(png[28], layout.interlaced ? 1 : 0) << "interlace method";
    ASSERT_NE(std::search(png.begin(), png.end(), "tRNS", "tRNS" + 4), png.end());
    writeFile(folder.file(layout.name), png);
}

// ImageMagick's reading of a file: 16-bit RGBA, four samples a pixel.
std::vector<uint16_t> imageMagickRgba(const std::string& path) {
    QByteArray raw;
    if (!runConvert({QString::fromStdString(path), "-depth", "16", "-endian", "MSB", "rgba:-"}, &raw)) return {};
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(raw.constData());
    std::vector<uint16_t> samples(static_cast<size_t>(raw.size()) / 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    return samples;
}

// How a picture (sample i as a 16-bit level, by `level`) agrees with
// ImageMagick's reading: samples beyond `tolerance` levels where its alpha
// is not 0, pixels transparent on one side only, and its transparent pixels.
struct Agreement {
    int differing = 0;
    int alphaDisagrees = 0;
    int transparent = 0;
};
Agreement agreement(const std::vector<uint16_t>& reference, const std::function<double(size_t)>& level,
                    double tolerance) {
    Agreement a;
    for (size_t p = 0; p + 3 < reference.size(); p += 4) {
        const bool clear = reference[p + 3] == 0;
        a.transparent += clear;
        if (clear != (level(p + 3) == 0)) ++a.alphaDisagrees;
        if (clear) continue;
        for (size_t c = 0; c < 4; ++c) a.differing += std::fabs(level(p + c) - reference[p + c]) > tolerance;
    }
    return a;
}

Agreement agreementOfRgba64(const std::vector<uint16_t>& reference, const QImage& picture) {
    const size_t samples = size_t(picture.width()) * size_t(picture.height()) * 4;
    if (picture.format() != QImage::Format_RGBA64 || samples != reference.size()) return Agreement{-1, -1, -1};
    const int w = picture.width();
    return agreement(reference, [&](size_t i) {
        const size_t pixel = i / 4;
        return reinterpret_cast<const quint16*>(picture.constScanLine(int(pixel / w)))[pixel % w * 4 + i % 4];
    }, 0);
}

Agreement agreementOfFile(const std::vector<uint16_t>& reference, const std::string& path) {
    const QImage written(QString::fromStdString(path));
    return agreementOfRgba64(reference, written.convertToFormat(QImage::Format_RGBA64));
}

// The count of transparent pixels ImageMagick reads in the layout's file.
int transparentPixels(const Layout& layout) {
    return layout.colourUsed ? 11 * 11 : 0;  // the white square, 0..10 on both sides
}

}  // namespace

TEST(PngCodec, TransparentColourFilesLoadAsImageMagickReadsThem) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        writeLayout(folder, layout);
        const std::string path = folder.file(layout.name);
        const std::vector<uint16_t> reference = imageMagickRgba(path);
        ASSERT_EQ(reference.size(), 64u * 48 * 4);

        DecodedSource decoded;
        ASSERT_TRUE(io.decode(gs(path), true, false, true, &decoded));
        EXPECT_TRUE(decoded.hasAlpha);
        EXPECT_EQ(decoded.metadata.bitsPerSample, 16);
        Agreement a = agreementOfRgba64(reference, decoded.pixels);
        EXPECT_EQ(a.differing, 0);
        EXPECT_EQ(a.alphaDisagrees, 0);
        EXPECT_EQ(a.transparent, transparentPixels(layout));

        for (const bool asFloat : {false, true}) {
            ImageBuffer loaded;
            loaded.channels = 4;
            std::unique_ptr<ImageMetadata> metadata;
            ASSERT_TRUE(asFloat ? io.loadFloat(gs(path), &loaded, true, &metadata) : io.load8(gs(path), &loaded, true));
            ASSERT_EQ(loaded.sampleCount(), int64_t(reference.size()));
            // Floats are levels / 257; bytes the nearest of 255 levels.
            a = agreement(reference, [&](size_t i) { return sampleAt(loaded, asFloat, int64_t(i)) * 257.0; },
                          asFloat ? 0.01 : 128.5);
            EXPECT_EQ(a.differing, 0) << "float " << asFloat;
            EXPECT_EQ(a.alphaDisagrees, 0) << "float " << asFloat;
        }
    }
}

// One batch (the photos after the first decoded ahead) and a 16-bit save
// of each photo loaded with its alpha.
TEST(PngCodec, ABatchAndASaveWriteThePictureImageMagickReads) {
    TempFolder folder;
    ProcessingState queue;
    queue.installLoader(std::make_unique<DesktopImageLoaderSaver>());
    GrowArray<RenderJob> batch;
    for (const Layout& layout : kLayouts) {
        writeLayout(folder, layout);
        RenderJob job;
        job.sourcePath = gs(folder.file(layout.name));
        job.outputPath = gs(folder.file(std::string("batch-") + layout.name));
        job.mods.append(new AddConstantTile(0.0f));
        batch.append(job);
    }
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_EQ(errorFlagOf(queue), 0);

    DesktopImageLoaderSaver io;
    SaveOptions sixteenBit;
    sixteenBit.sixteenBit = true;
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        const std::string path = folder.file(layout.name);
        ImageBuffer loaded;
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.loadFloatKeepingAlpha(gs(path), &loaded, true, &metadata));
        EXPECT_EQ(loaded.channels, 4);
        const std::string saved = folder.file(std::string("saved-") + layout.name);
        ASSERT_TRUE(io.saveFloat(gs(saved), loaded, sixteenBit, metadata.get()));
        const std::vector<uint16_t> reference = imageMagickRgba(path);
        for (const std::string& output : {saved, folder.file(std::string("batch-") + layout.name)}) {
            SCOPED_TRACE(output);
            EXPECT_EQ(sampleBitsOfFile(output), 16);
            const Agreement a = agreementOfFile(reference, output);
            EXPECT_EQ(a.differing, 0);
            EXPECT_EQ(a.alphaDisagrees, 0);
            EXPECT_EQ(a.transparent, transparentPixels(layout));
        }
    }
}

// Only 16-bit RGB with a tRNS colour libpng keeps is taken from Qt's reader.
TEST(PngCodec, OnlyTheLayoutQtMisreadsIsTakenOver) {
    TempFolder folder;
    const std::vector<char> rgb16 = gradientPng(folder, "png48", false, false);
    const std::vector<char> rgb8 = gradientPng(folder, "png24", false, false);
    QImage grey(8, 4, QImage::Format_Grayscale16);
    grey.fill(Qt::gray);
    QByteArray greyBytes;
    QBuffer device(&greyBytes);
    ASSERT_TRUE(device.open(QIODevice::WriteOnly) && grey.save(&device, "png"));
    const std::vector<char> greyPng(greyBytes.begin(), greyBytes.end());
    ASSERT_EQ(rgb16[25], 2);
    ASSERT_EQ(rgb8[24], 8);
    ASSERT_EQ(greyPng[24], 16);
    ASSERT_EQ(greyPng[25], 0);
    const struct {
        const char* what;
        std::vector<char> png;
        bool takenOver;
    } cases[] = {
        {"16-bit RGB with tRNS", withChunks(rgb16, {pngChunk("tRNS", kUnusedColour)}), true},
        {"16-bit RGB", rgb16, false},
        {"tRNS of the wrong length", withChunks(rgb16, {pngChunk("tRNS", bigEndian({0x1234, 0x5678}, 2))}), false},
        {"tRNS after the image data", withChunks(rgb16, {pngChunk("tRNS", kUnusedColour)}, 12), false},
        {"8-bit RGB with tRNS", withChunks(rgb8, {pngChunk("tRNS", bigEndian({1, 2, 3}, 2))}), false},
        {"16-bit grey with tRNS", withChunks(greyPng, {pngChunk("tRNS", bigEndian({1234}, 2))}), false},
    };
    for (const auto& c : cases) {
        PngReader reader(reinterpret_cast<const uint8_t*>(c.png.data()), c.png.size());
        EXPECT_EQ(reader.takesOver(), c.takenOver) << c.what;
    }
}

// The colour chunks of a 16-bit RGB file with tRNS make the colour space
// Qt's reader makes of the same chunks in an 8-bit RGB file, through the
// reader and through the loader's metadata.
TEST(PngCodec, TheColourSpaceIsTheOneQtMakesOfTheSameChunks) {
    TempFolder folder;
    const std::vector<char> deep =
        withChunks(gradientPng(folder, "png48", false, false), {pngChunk("tRNS", kUnusedColour)});
    const std::vector<char> flat = gradientPng(folder, "png24", false, false);
    ASSERT_EQ(flat[24], 8);
    const auto iccp = [](const std::vector<uint8_t>& profile) {
        const QByteArray packed = qCompress(reinterpret_cast<const uchar*>(profile.data()), int(profile.size()));
        std::vector<char> data = {'p', 'r', 'o', 'f', 'i', 'l', 'e', 0, 0};  // name, deflate
        data.insert(data.end(), packed.begin() + 4, packed.end());          // past qCompress's length
        return pngChunk("iCCP", data);
    };
    const auto gama = [](uint32_t gamma) { return pngChunk("gAMA", bigEndian({gamma}, 4)); };
    // White point and primaries of Display P3, x and y times 100000.
    const std::vector<char> chrm = pngChunk("cHRM", bigEndian({31270, 32900, 68000, 32000, 26500, 69000, 15000, 6000}, 4));
    std::vector<char> badCrc = gama(100000);
    badCrc.back() ^= 1;
    const struct {
        const char* what;
        std::vector<std::vector<char>> chunks;
        bool valid;  // Qt's reader makes a colour space of them
    } cases[] = {
        {"none", {}, false},
        {"gAMA", {gama(45455)}, true},
        {"cHRM and gAMA", {chrm, gama(100000)}, true},
        {"cHRM alone", {chrm}, false},
        {"sRGB", {pngChunk("sRGB", {0})}, true},
        {"sRGB and a gAMA of its own", {pngChunk("sRGB", {1}), gama(70000)}, true},
        {"iCCP", {iccp(displayP3Profile())}, true},
        {"iCCP and gAMA", {iccp(displayP3Profile()), gama(100000)}, true},
        {"iCCP of grey", {iccp(linearGreyProfile())}, false},
        {"iCCP of grey and gAMA", {iccp(linearGreyProfile()), gama(55555)}, false},
        {"damaged iCCP", {iccp(std::vector<uint8_t>(300, 7))}, false},
        {"gAMA after PLTE", {pngChunk("PLTE", {1, 2, 3, 4, 5, 6}), gama(100000)}, false},
        {"gAMA failing its CRC", {badCrc}, false},
    };
    DesktopImageLoaderSaver io;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<char> ours = withChunks(deep, c.chunks);
        const std::vector<char> qts = withChunks(flat, c.chunks);
        QuietCodecMessages quiet;  // libpng's warnings about the chunks
        const QImage byQt = QImage::fromData(reinterpret_cast<const uchar*>(qts.data()), int(qts.size()), "png");
        ASSERT_FALSE(byQt.isNull());
        EXPECT_EQ(byQt.colorSpace().isValid(), c.valid);
        PngReader reader(reinterpret_cast<const uint8_t*>(ours.data()), ours.size());
        ASSERT_TRUE(reader.takesOver());
        EXPECT_TRUE(reader.colourSpace() == byQt.colorSpace());
        EXPECT_EQ(reader.colourSpace().iccProfile(), byQt.colorSpace().iccProfile());

        writeFile(folder.file("ours.png"), ours);
        writeFile(folder.file("qts.png"), qts);
        DecodedSource fromOurs;
        DecodedSource fromQts;
        ASSERT_TRUE(io.decode(gs(folder.file("ours.png")), false, false, true, &fromOurs));
        ASSERT_TRUE(io.decode(gs(folder.file("qts.png")), false, false, true, &fromQts));
        EXPECT_EQ(fromOurs.metadata.iccProfile, fromQts.metadata.iccProfile);
    }
}

// A cut or damaged file of the layout gives its reason and no picture.
TEST(PngCodec, DamagedFilesAreRefusedWithTheirReason) {
    TempFolder folder;
    writeLayout(folder, kLayouts[1]);
    const std::vector<char> png = readFile(folder.file(kLayouts[1].name));
    const auto idat = std::search(png.begin(), png.end(), "IDAT", "IDAT" + 4);
    ASSERT_NE(idat, png.end());
    const size_t data = static_cast<size_t>(idat - png.begin()) + 4;  // the first IDAT's data
    const size_t length = static_cast<size_t>(unsignedAt(reinterpret_cast<const uint8_t*>(&png[data - 8]), 4, false));
    ASSERT_GT(length, 40u);
    // The IDAT's data replaced, with a CRC that fits.
    const auto withData = [&](const std::vector<char>& replacement) {
        std::vector<char> out(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(data - 8));
        const std::vector<char> c = pngChunk("IDAT", replacement);
        out.insert(out.end(), c.begin(), c.end());
        out.insert(out.end(), png.begin() + static_cast<std::ptrdiff_t>(data + length + 4), png.end());
        return out;
    };
    std::vector<char> first(png.begin() + static_cast<std::ptrdiff_t>(data),
                            png.begin() + static_cast<std::ptrdiff_t>(data + length));
    std::vector<char> scrambled = first;
    for (size_t i = 10; i < scrambled.size(); i += 3) scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5a);
    std::vector<char> badCrc = png;
    badCrc[data + length] ^= 1;
    const struct {
        const char* what;
        std::vector<char> bytes;
        const char* reason;
    } cases[] = {
        {"cut in its image data", std::vector<char>(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(data + 20)),
         "the PNG file is damaged or cut short"},
        {"image data cut short", withData(std::vector<char>(first.begin(), first.begin() + 30)),
         "the image is damaged or cannot be decoded"},
        {"scrambled image data", withData(scrambled), "the image is damaged or cannot be decoded"},
        {"image data failing its CRC", badCrc, "the image is damaged or cannot be decoded"},
    };
    DesktopImageLoaderSaver io;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.file("damaged.png");
        writeFile(path, c.bytes);
        GrowString reason;
        ImageBuffer loaded;
        makePicture(&loaded, 4, 4, 4, false);  // an earlier picture must not pass for this file
        EXPECT_FALSE(io.load8(gs(path), &loaded, true, &reason));
        EXPECT_EQ(loaded.data, nullptr);
        EXPECT_STREQ(reason.c_str(), c.reason);
        DecodedSource decoded;
        EXPECT_FALSE(io.decode(gs(path), true, true, true, &decoded));
        EXPECT_TRUE(decoded.pixels.isNull());
    }
}
