// Failures that say why: every refused load and save gives its reason, and
// hostile inputs (FIFOs, devices, pictures too large for memory) are
// refused before anything waits or allocates. Also the one table of
// extensions and the serial conversion of decoded pictures.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/MediaExtensions.h"
#include "desktop_only/media/MediaFileIo.h"
#include "desktop_only/media/PixelTransfer.h"

#include <QString>

#include <sys/stat.h>

#include <cstring>
#include <set>

using namespace mediatest;

namespace {

// A complete little JPEG whose frame header claims width x height.
std::vector<char> jpegClaiming(uint16_t width, uint16_t height) {
    std::vector<char> bytes = readFile(testData("jpeg/orientation-1.jpg"));
    for (size_t i = 2; i + 8 < bytes.size(); ++i) {
        const uint8_t marker = static_cast<uint8_t>(bytes[i + 1]);
        if (static_cast<uint8_t>(bytes[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            bytes[i + 5] = static_cast<char>(height >> 8);
            bytes[i + 6] = static_cast<char>(height & 0xFF);
            bytes[i + 7] = static_cast<char>(width >> 8);
            bytes[i + 8] = static_cast<char>(width & 0xFF);
            return bytes;
        }
    }
    return {};
}

bool contains(const GrowString& text, const char* part) {
    return std::string(text.c_str()).find(part) != std::string::npos;
}

TEST(MediaReasons, EveryRefusedLoadSaysWhy) {
    TempFolder folder;
    const std::string fifo = folder.file("pipe.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    writeFile(folder.file("empty.png"), {});
    writeFile(folder.file("notes.png"), {'h', 'e', 'l', 'l', 'o'});
    writeFile(folder.file("really-a-png.jpg"), readFile(testData("png/icc-profile.png")));
    std::vector<char> cut = readFile(testData("jpeg/orientation-1.jpg"));
    cut.resize(cut.size() / 2);
    writeFile(folder.file("cut.jpg"), cut);
    std::filesystem::create_directory(folder.file("folder.png"));
    const std::vector<char> huge = jpegClaiming(30000, 30000);
    ASSERT_FALSE(huge.empty());
    writeFile(folder.file("huge.jpg"), huge);

    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {folder.file("missing.png"), "cannot open the file: No such file or directory"},
        {folder.file("folder.png"), "is a folder, not a file"},
        {fifo, "is not a regular file"},  // refused without waiting for a writer
        {"/dev/zero", "is not a regular file"},
        {folder.file("empty.png"), "the file is empty"},
        {folder.file("notes.png"), "is not an image this program reads"},
        {folder.file("really-a-png.jpg"), "its content is another kind of image than its extension names"},
        {folder.file("cut.jpg"), "damaged or cut short"},
        {folder.file("huge.jpg"), fitsInWorkingMemory(30000, 30000) ? "" : "is too large for this machine's memory"},
    };
    DesktopImageLoaderSaver io;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        for (bool asFloat : {false, true}) {
            ImageBuffer image;
            GrowString reason;
            const bool loaded = asFloat ? io.loadFloat(gs(c.path), &image, true, nullptr, &reason)
                                        : io.load8(gs(c.path), &image, true, &reason);
            if (*c.reason == '\0') continue;  // a machine with room for 30000 x 30000
            EXPECT_FALSE(loaded);
            EXPECT_EQ(image.data, nullptr);
            EXPECT_TRUE(contains(reason, c.reason)) << reason.c_str();
        }
    }
}

TEST(MediaReasons, TheWorkingMemoryBudgetIsHalfTheMemory) {
    const int64_t budget = workingMemoryBudget();
    ASSERT_GT(budget, 0);
    const int64_t side = 1000;
    EXPECT_TRUE(fitsInWorkingMemory(side, side) == (side * side * kWorkingBytesPerPixel <= budget));
    // A picture whose float image and render copies exceed the budget.
    const int64_t pixels = budget / kWorkingBytesPerPixel + 1;
    EXPECT_FALSE(fitsInWorkingMemory(pixels, 1));
    EXPECT_TRUE(fitsInWorkingMemory(pixels - 1, 1));
    EXPECT_FALSE(fitsInWorkingMemory(INT64_MAX / 2, 4));  // no overflow
    EXPECT_FALSE(fitsInWorkingMemory(0, 10));
}

TEST(MediaReasons, EveryRefusedSaveSaysWhy) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer picture;
    makePicture(&picture, 8, 8, 3, false);
    std::filesystem::create_directory(folder.file("taken.png"));
    const std::string fifo = folder.file("pipe.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ImageBuffer empty;
    const struct {
        std::string path;
        const ImageBuffer* image;
        const char* reason;
    } cases[] = {
        {folder.file("picture.bmp"), &picture, "unknown image format"},
        {folder.file("picture.psd"), &picture, "unknown image format"},  // read, never written
        {folder.file("no/such/folder/picture.png"), &picture, "the folder does not exist"},
        {folder.file("taken.png"), &picture, "is a folder, not a file"},
        {fifo, &picture, "is not a regular file"},
        {":/picture.png", &picture, "resources"},
        {folder.file("nothing.png"), &empty, "there is no image to save"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        GrowString reason;
        EXPECT_FALSE(io.save8(gs(c.path), *c.image, SaveOptions(), nullptr, &reason));
        EXPECT_TRUE(contains(reason, c.reason)) << reason.c_str();
    }
    struct stat info;
    ASSERT_EQ(stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));  // not replaced
    // Success leaves the reason alone.
    GrowString untouched("unchanged");
    EXPECT_TRUE(io.save8(gs(folder.file("fine.jpeg")), picture, SaveOptions(), nullptr, &untouched));
    EXPECT_STREQ(untouched.c_str(), "unchanged");
}

// One table: what is read is offered, and what the saver takes is written.
TEST(MediaExtensions, OneTableOfWhatIsReadAndWritten) {
    std::set<std::string> offered;
    for (const GrowString& e : supportedOpenExtensions()) offered.insert(e.c_str());
    std::set<std::string> written;
    for (const GrowString& e : supportedSaveExtensions()) written.insert(e.c_str());
    EXPECT_EQ(written, (std::set<std::string>{"jpg", "jpeg", "png", "tif", "tiff", "pli"}));
    for (const std::string& e : written) EXPECT_TRUE(offered.count(e)) << e;
    EXPECT_TRUE(offered.count("jpe"));  // read, so offered
    EXPECT_EQ(readKindOfExtension("jpe"), ImageFileKind::Jpeg);
    EXPECT_EQ(writeKindOfExtension("jpe"), ImageFileKind::Unknown);
    EXPECT_EQ(writeKindOfExtension("jpeg"), ImageFileKind::Jpeg);
    EXPECT_EQ(readKindOfExtension("cr2"), ImageFileKind::Raw);
    EXPECT_EQ(writeKindOfExtension("cr2"), ImageFileKind::Unknown);
    EXPECT_EQ(readKindOfExtension(""), ImageFileKind::Unknown);
    for (const std::string& e : offered) {
        EXPECT_NE(readKindOfExtension(QString::fromStdString(e)), ImageFileKind::Unknown) << e;
    }
}

// The serial conversion gives Qt's own pixels, across strip boundaries and
// for palettes, grey and deep formats.
TEST(MediaConversion, StripsGiveQtsOwnConversion) {
    QImage argb(301, 457, QImage::Format_ARGB32);
    QImage grey16(300, 200, QImage::Format_Grayscale16);
    QImage palette(257, 300, QImage::Format_Indexed8);
    palette.setColorTable(QVector<QRgb>{qRgba(255, 0, 0, 0), qRgba(0, 0, 255, 255), qRgba(10, 200, 30, 128)});
    for (int y = 0; y < 457; ++y)
        for (int x = 0; x < 301; ++x) argb.setPixel(x, y, qRgba(x % 256, y % 256, (x * y) % 256, (x + y) % 256));
    for (int y = 0; y < 200; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(grey16.scanLine(y));
        for (int x = 0; x < 300; ++x) row[x] = static_cast<uint16_t>(x * 211 + y * 7);
    }
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 257; ++x) palette.setPixel(x, y, static_cast<uint>((x + y) % 3));
    const struct {
        const QImage* source;
        QImage::Format target;
    } cases[] = {
        {&argb, QImage::Format_RGBA8888}, {&argb, QImage::Format_RGB888},   {&argb, QImage::Format_RGBA64},
        {&grey16, QImage::Format_RGBA64}, {&palette, QImage::Format_RGBA8888},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.target));
        QImage converted = *c.source;
        ASSERT_TRUE(convertInStrips(&converted, c.target));
        const QImage expected = c.source->convertToFormat(c.target);
        ASSERT_EQ(converted.format(), c.target);
        ASSERT_EQ(converted.size(), expected.size());
        const size_t rowBytes = static_cast<size_t>(expected.width()) * static_cast<size_t>(expected.depth()) / 8;
        for (int y = 0; y < expected.height(); ++y)
            ASSERT_EQ(std::memcmp(converted.constScanLine(y), expected.constScanLine(y), rowBytes), 0) << "row " << y;
    }
}

}  // namespace
