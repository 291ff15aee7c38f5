// A source's bits a sample: named by the loader, kept by the queue's saves
// (16-bit PNG and TIFF from deeper sources, 8 bits for the rest, byte for
// byte as before), stored rounded to the nearest level, and counted by the
// size and memory checks.
#include "MediaTestHelpers.h"
#include "QueueTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/MediaFileIo.h"
#include "desktop_only/media/OutputMemory.h"
#include "desktop_only/media/ProcessingState.h"
#include "support/StateGuards.h"

#include <QColorSpace>

#include <optional>

#include <exiv2/exiv2.hpp>

using namespace mediatest;

namespace {

TEST(MediaSampleDepth, TheLoaderNamesTheBitsOfEverySource) {
    TempFolder folder;
    QImage linear(30, 20, QImage::Format_RGB888);  // 8 bits, converted from its profile at 16
    linear.fill(QColor(128, 60, 200));
    linear.setColorSpace(QColorSpace(QColorSpace::SRgbLinear));
    ASSERT_TRUE(linear.save(QString::fromStdString(folder.file("linear.png"))));
    const struct {
        std::string path;
        int32_t bits;
    } cases[] = {
        {testData("tiff/rgb-16bit.tiff"), 16}, {testData("psd/rgb-16bit-rle.psd"), 16},
        {testData("raw/kodak-c330.raw"), 16},  {testData("psd/rgb-8bit.psd"), 8},
        {testData("jpeg/orientation-6.jpg"), 8}, {folder.file("linear.png"), 8},
    };
    DesktopImageLoaderSaver io;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ImageBuffer loaded;
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.loadFloatKeepingAlpha(gs(c.path), &loaded, true, &metadata));
        EXPECT_EQ(metadata->bitsPerSample, c.bits);
    }
}

TEST(MediaSampleDepth, SixteenBitSamplesAreTheFloatsRoundedToTheNearestLevel) {
    const struct {
        float value;
        quint16 level;  // value / 255 x 65535, rounded
    } cases[] = {
        {0.0f, 0}, {1.0f / 257, 1}, {127.5f, 32768}, {254.999f, 65535},
        {0x1.9101fep+7f, 51529},  // 51529.49998: a float product would make it a half and round up
        {-3.0f, 0}, {300.0f, 65535}, {NAN, 0}, {INFINITY, 65535},
    };
    constexpr int kCount = sizeof cases / sizeof cases[0];
    ImageBuffer line;
    line.allocateFloat(kCount, 1, 1);
    for (int i = 0; i < kCount; ++i) line.floats()[i] = cases[i].value;
    TempFolder folder;
    SaveOptions options;
    options.sixteenBit = true;
    ASSERT_TRUE(DesktopImageLoaderSaver().saveFloat(gs(folder.file("levels.png")), line, options, nullptr));
    const QImage stored(QString::fromStdString(folder.file("levels.png")));
    ASSERT_EQ(stored.format(), QImage::Format_Grayscale16);
    const quint16* levels = reinterpret_cast<const quint16*>(stored.constScanLine(0));
    for (int i = 0; i < kCount; ++i) EXPECT_EQ(levels[i], cases[i].level) << cases[i].value;
}

// Alpha, grey, the sRGB profile and a TIFF's carried metadata, as at 8 bits.
TEST(MediaSampleDepth, SixteenBitFilesKeepAlphaGreyProfileAndMetadata) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer source;  // 4 channels, with EXIF and XMP
    std::unique_ptr<ImageMetadata> metadata;
    ASSERT_TRUE(io.loadFloatKeepingAlpha(gs(testData("psd/orientation6.psd")), &source, false, &metadata));
    const struct {
        const char* name;
        int32_t channels;
        QImage::Format format;
    } cases[] = {
        {"rgba.png", 4, QImage::Format_RGBA64}, {"rgba.tif", 4, QImage::Format_RGBA64},
        {"grey.tif", 1, QImage::Format_Grayscale16},
    };
    SaveOptions options;
    options.sixteenBit = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBuffer picture;
        picture.allocateFloat(source.width, source.height, c.channels);
        for (int64_t i = 0; i < picture.sampleCount(); ++i) picture.floats()[i] = source.floats()[i * 4 / c.channels];
        const std::string path = folder.file(c.name);
        ASSERT_TRUE(io.saveFloat(gs(path), picture, options, metadata.get()));
        const QImage saved(QString::fromStdString(path));
        EXPECT_EQ(saved.format(), c.format);
        EXPECT_EQ(saved.colorSpace().primaries() == QColorSpace::Primaries::SRgb, c.channels != 1);
        ImageBuffer reloaded;
        reloaded.channels = c.channels;
        ASSERT_TRUE(io.loadFloat(gs(path), &reloaded, false, nullptr));
        EXPECT_LE(difference(picture, true, reloaded, true).max, 0.5 / 257 + 1e-4);
        if (std::string(c.name) != "rgba.tif") continue;
        Exiv2::Image::AutoPtr file = Exiv2::ImageFactory::open(path);
        file->readMetadata();
        const auto software = file->exifData().findKey(Exiv2::ExifKey("Exif.Image.Software"));
        ASSERT_NE(software, file->exifData().end());
        EXPECT_EQ(software->toString(), "LIFE Pro 2.18.5 (Windows)");
        EXPECT_FALSE(file->xmpData().empty());
    }
}

TEST(MediaSampleDepth, SixteenBitOutputsAreCountedAtTwoBytesASample) {
    const struct {
        ImageFileKind kind;
        int64_t width, height;
        bool sixteenBit, fits;
    } cases[] = {
        {ImageFileKind::Tiff, 33554431, 1, true, true},  // the widest 16-bit row Qt makes
        {ImageFileKind::Tiff, 33554432, 1, true, false}, {ImageFileKind::Tiff, 33554432, 1, false, true},
        {ImageFileKind::Png, 16384, 16383, true, true},  // just under 2^31 bytes stored
        {ImageFileKind::Png, 16384, 16384, true, false}, {ImageFileKind::Png, 16384, 16384, false, true},
        {ImageFileKind::Jpeg, 16384, 16384, true, true},  // JPEG stays 8-bit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + (c.sixteenBit ? " deep" : ""));
        GrowString reason;
        EXPECT_EQ(outputSizeFits(c.kind, c.width, c.height, &reason, c.sixteenBit), c.fits);
        EXPECT_EQ(reason.isEmpty(), c.fits) << reason.c_str();
    }
    // Memory: a size between the 8-bit and the 16-bit allowance.
    const int64_t pixels = workingMemoryBudget() / (kWorkingBytesPerPixel + kSixteenBitStoredBytesPerPixel / 2);
    EXPECT_TRUE(outputFitsInMemory(pixels, 1, nullptr, false));
    EXPECT_FALSE(outputFitsInMemory(pixels, 1, nullptr, true));
}

// The saver refuses a picture wider than Qt's 16-bit pictures before it
// touches a sample when 16 bits are asked for, and prepares it at 8 bits.
TEST(MediaSampleDepth, TheSaverRefusesARowTooWideOnlyAtSixteenBits) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer row;  // one grey row: 134 MB of floats
    row.allocateFloat(kSixteenBitMaxWidth + 1, 1, 1);
    ASSERT_TRUE(row.data);
    const GrowString path = gs(folder.file("row.tif"));
    for (bool sixteenBit : {true, false}) {
        SCOPED_TRACE(sixteenBit ? "16 bits" : "8 bits");
        SaveOptions options;
        options.sixteenBit = sixteenBit;
        GrowString reason;
        PreparedSave prepared;
        EXPECT_EQ(io.prepareSave(path, row, true, options, &prepared, &reason), !sixteenBit) << reason.c_str();
        if (!sixteenBit) continue;
        EXPECT_STREQ(reason.c_str(), "a 16-bit picture holds at most 33,554,431 pixels a row");
        reason = GrowString();
        EXPECT_FALSE(io.saveFloat(path, row, options, nullptr, &reason));
        EXPECT_STREQ(reason.c_str(), "a 16-bit picture holds at most 33,554,431 pixels a row");
        EXPECT_FALSE(std::filesystem::exists(folder.file("row.tif")));
    }
}

// The worker counts an output at the depth it is saved: a 16-bit TIFF job
// whose size fits at 8 bits only fails with its reason before anything is
// drawn, and the same job at 8 bits is not refused for it. Memory by a
// budget held to 52 bytes a pixel of the output; the width with every image
// allocation failing, so that the 8-bit job fails for want of memory instead
// of drawing 33 million pixels.
TEST(MediaSampleDepth, TheWorkerCountsAnOutputAtItsDepth) {
    const std::string memoryReason = "the output, 1000 x 1000 pixels, needs 0.1 GB of working memory";
    const std::string widthReason = "a 16-bit picture holds at most 33,554,431 pixels a row";
    const struct {
        const char* what;
        float width, height;
        const std::string& reason;
        bool eightBitSaved;
    } cases[] = {
        {"memory", 1000.0f, 1000.0f, memoryReason, true},
        {"width", float(kSixteenBitMaxWidth + 1), 1.0f, widthReason, false},
    };
    TempFolder folder;
    auto source = std::make_shared<ImageBuffer>();
    makePicture(source.get(), 4, 4, 3, true);
    for (const auto& c : cases) {
        for (bool sixteenBit : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (sixteenBit ? ", 16 bits" : ", 8 bits"));
            const std::string output = folder.file(std::string(c.what) + (sixteenBit ? "-16.tif" : "-8.tif"));
            WorkingMemoryLimit limit(c.eightBitSaved ? 1000 * 1000 * 52 : 0);
            std::optional<teststate::FailingImageAllocations> failing;
            if (!c.eightBitSaved) failing.emplace();
            ProcessingState queue;
            queue.installLoader(std::make_unique<DesktopImageLoaderSaver>());
            RenderJob job;
            job.sourcePath = gs("document");
            job.source = source;
            job.outputPath = gs(output);
            job.options.sixteenBit = sixteenBit;
            job.mods.append(exactSize(c.width, c.height));
            queue.addJob(job);
            ASSERT_TRUE(waitUntilIdle(queue));
            failing.reset();
            GrowArray<JobFailure> failures = queue.failureList();
            const std::string reason = failures.count == 1 ? failures[0].reason.c_str() : "";
            failures.destroy();
            if (sixteenBit) {
                EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << reason;
            } else {
                EXPECT_EQ(reason.find(c.reason), std::string::npos) << reason;
                EXPECT_EQ(std::filesystem::exists(output), c.eightBitSaved) << reason;
            }
        }
    }
}

// One batch of 8- and 16-bit sources (all but the first decoded ahead),
// through a chain that changes nothing: each output has its own source's
// depth where its format holds it.
TEST(MediaSampleDepth, ABatchGivesEachOutputItsSourcesDepth) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ASSERT_TRUE(writeSixteenBitGradient(folder.file("deep.png"), 61, 37, false));
    ASSERT_TRUE(writeSixteenBitGradient(folder.file("deep-alpha.tif"), 61, 37, true));
    ImageBuffer picture;
    makePicture(&picture, 61, 37, 3, false);
    ASSERT_TRUE(io.save8(gs(folder.file("flat.png")), picture, SaveOptions(), nullptr));
    const struct {
        const char* source;
        const char* output;
        int bits;
    } cases[] = {
        {"flat.png", "flat-out.png", 8},        {"deep.png", "deep-out.tif", 16},
        {"deep-alpha.tif", "deep-out.png", 16}, {"flat.png", "flat-out.tif", 8},
        {"deep.png", "deep-out.jpg", 8},
    };
    ProcessingState queue;
    queue.installLoader(std::make_unique<DesktopImageLoaderSaver>());
    GrowArray<RenderJob> batch;
    for (const auto& c : cases) {
        RenderJob job;
        job.sourcePath = gs(folder.file(c.source));
        job.outputPath = gs(folder.file(c.output));
        job.mods.append(new AddConstantTile(0.0f));
        batch.append(job);
    }
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_EQ(errorFlagOf(queue), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string output = folder.file(c.output);
        EXPECT_EQ(sampleBitsOfFile(output), c.bits);
        const QImage source(QString::fromStdString(folder.file(c.source)));
        if (c.bits == 16) {
            EXPECT_LE(largestLevelDifference(QImage(QString::fromStdString(output)), source), 1);
        }
        if (std::string(c.source) != "flat.png") continue;
        // An 8-bit source's file is the one an 8-bit save writes.
        ImageBuffer loaded;
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.loadFloatKeepingAlpha(gs(folder.file(c.source)), &loaded, true, &metadata));
        const std::string expected = folder.file(std::string("expected-") + c.output);
        ASSERT_TRUE(io.saveFloat(gs(expected), loaded, SaveOptions(), metadata.get()));
        EXPECT_TRUE(readFile(output) == readFile(expected));
    }
}

}  // namespace
