// Hostile and broken input: every bad file is a clean failure, huge images
// are refused before allocation, and a failed save keeps the old file.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"

#include <csignal>
#include <sys/resource.h>

using namespace mediatest;

namespace {

std::vector<char> truncated(const std::string& path, size_t cut) {
    std::vector<char> bytes = readFile(path);
    bytes.resize(bytes.size() > cut ? bytes.size() - cut : 0);
    return bytes;
}

// A well-formed PNG signature and header chunk (with a correct CRC) that
// claims width x height, followed by a tiny IDAT and IEND.
std::vector<char> pngClaiming(uint32_t width, uint32_t height) {
    std::vector<char> png = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    std::vector<char> ihdr = {'I', 'H', 'D', 'R'};
    appendBigEndian32(&ihdr, width);
    appendBigEndian32(&ihdr, height);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB
    appendBigEndian32(&png, 13);
    png.insert(png.end(), ihdr.begin(), ihdr.end());
    appendBigEndian32(&png, pngCrc(ihdr));
    const char tail[] = "\0\0\0\0IEND\xae\x42\x60\x82";
    png.insert(png.end(), tail, tail + 12);
    return png;
}

std::vector<char> pliClaiming(int32_t width, int32_t height, size_t pixelBytes) {
    std::vector<char> pli = {'R', 'G', 'B', 'A', '8', 'X', 'X', 'X', 'X', 'X', 'X', 'X'};
    for (int32_t v : {width, height})
        for (int shift = 0; shift < 32; shift += 8) pli.push_back(static_cast<char>((static_cast<uint32_t>(v) >> shift) & 0xff));
    pli.resize(pli.size() + pixelBytes, '\x7f');
    return pli;
}

struct BadFile {
    const char* name;
    std::vector<char> bytes;
};

TEST(MediaBadInput, BrokenFilesFailCleanlyAndReleaseTheBuffer) {
    TempFolder folder;
    const std::string text = "this is not a picture\n";
    const BadFile files[] = {
        {"cut.jpg", truncated(testData("jpeg/orientation-1.jpg"), 100)},
        {"cut-more.jpg", truncated(testData("jpeg/icc-profile.jpeg"), 3000)},
        {"cut-in-the-last-row.jpg", truncated(testData("jpeg/orientation-6.jpg"), 12)},
        {"cut.png", truncated(testData("png/icc-profile.png"), 100)},
        {"cut.tiff", truncated(testData("tiff/rgb-16bit.tiff"), 500)},
        {"cut.psd", truncated(testData("psd/rgb-8bit.psd"), 100)},
        {"cut.raw", truncated(testData("raw/kodak-c330.raw"), 4096)},
        {"cut.pli", pliClaiming(4, 4, 4 * 4 * 4 - 1)},
        {"empty.jpg", {}},
        {"empty.pli", {}},
        {"text.jpg", std::vector<char>(text.begin(), text.end())},
        {"text.png", std::vector<char>(text.begin(), text.end())},
        {"text.nef", std::vector<char>(text.begin(), text.end())},
        {"jpeg-inside.cr2", readFile(testData("jpeg/orientation-1.jpg"))},
        {"header-only.png", std::vector<char>{'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'}},
        {"soi-only.jpg", std::vector<char>{'\xff', '\xd8', '\xff'}},
        {"huge.png", pngClaiming(100000, 100000)},
        {"wide.png", pngClaiming(0x7fffffff, 1)},
        {"huge.pli", pliClaiming(40000, 40000, 16)},
        {"negative.pli", pliClaiming(-5, 10, 200)},
        {"zero.pli", pliClaiming(0, 10, 0)},
    };
    DesktopImageLoaderSaver io;
    for (const BadFile& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = folder.file(f.name);
        writeFile(path, f.bytes);
        for (bool asFloat : {false, true}) {
            ImageBuffer image;
            makePicture(&image, 3, 3, 3, asFloat);  // an earlier picture must not survive
            std::unique_ptr<ImageMetadata> metadata = std::make_unique<ImageMetadata>();
            const bool loaded = asFloat ? io.loadFloat(gs(path), &image, true, &metadata) : io.load8(gs(path), &image, true);
            EXPECT_FALSE(loaded);
            EXPECT_EQ(image.data, nullptr);
            EXPECT_EQ(image.width, 0);
            EXPECT_EQ(image.height, 0);
            if (asFloat) {
                EXPECT_EQ(metadata, nullptr);
            }
        }
    }
}

TEST(MediaBadInput, MissingFilesFoldersAndOddBuffersFail) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer image;
    EXPECT_FALSE(io.load8(gs(folder.file("missing.jpg")), &image, false));
    EXPECT_FALSE(io.load8(gs(folder.path()), &image, false));
    std::filesystem::create_directory(folder.file("folder.png"));
    EXPECT_FALSE(io.load8(gs(folder.file("folder.png")), &image, false));
    EXPECT_FALSE(io.load8(GrowString(""), &image, false));
    EXPECT_FALSE(io.load8(GrowString(":/no/such/resource.png"), &image, false));
    EXPECT_FALSE(io.load8(gs(testData("jpeg/orientation-1.jpg")), nullptr, false));
    ImageBuffer fiveChannels;
    fiveChannels.channels = 5;
    EXPECT_FALSE(io.load8(gs(testData("jpeg/orientation-1.jpg")), &fiveChannels, false));
}

TEST(MediaBadInput, ContentMustBeTheKindItsExtensionNames) {
    TempFolder folder;
    const std::string png = testData("png/icc-profile.png");       // 48 wide
    const std::string jpeg = testData("jpeg/orientation-1.jpg");
    const std::string tiff = testData("tiff/rgb-16bit.tiff");
    const std::string psd = testData("psd/rgb-8bit.psd");
    const std::vector<char> pli = pliClaiming(2, 2, 16);
    struct Case {
        const char* name;
        std::vector<char> bytes;
        bool loads;
    };
    const Case cases[] = {
        // Another kind of image than the extension names: refused.
        {"really-a-png.jpg", readFile(png), false},
        {"really-a-png.jpe", readFile(png), false},
        {"really-a-png.JPEG", readFile(png), false},
        {"really-a-jpeg.png", readFile(jpeg), false},
        {"really-a-jpeg.tif", readFile(jpeg), false},
        {"really-a-tiff.psd", readFile(tiff), false},
        {"really-a-psd.tiff", readFile(psd), false},
        {"really-a-pli.png", pli, false},
        {"really-a-png.pli", readFile(png), false},
        // The kind the extension names, in any case of letters, or no
        // extension of a kind: read as the content says.
        {"upper.PNG", readFile(png), true},
        {"jpeg.jpe", readFile(jpeg), true},
        {"plain.pli", pli, true},
        {"unknown-extension.img", readFile(png), true},
        {"no-extension", readFile(jpeg), true},
    };
    DesktopImageLoaderSaver io;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        writeFile(path, c.bytes);
        EXPECT_EQ(isMisnamedImage(gs(path)), !c.loads);
        for (bool asFloat : {false, true}) {
            ImageBuffer image;
            makePicture(&image, 3, 3, 3, asFloat);  // an earlier picture must not survive
            std::unique_ptr<ImageMetadata> metadata;
            const bool loaded = asFloat ? io.loadFloat(gs(path), &image, true, &metadata) : io.load8(gs(path), &image, true);
            EXPECT_EQ(loaded, c.loads);
            EXPECT_EQ(image.data != nullptr, c.loads);
            EXPECT_EQ(metadata != nullptr, asFloat && c.loads);
            if (!c.loads) {
                EXPECT_EQ(image.width, 0);
            }
        }
    }
    // A file that does not open is not called misnamed.
    EXPECT_FALSE(isMisnamedImage(gs(folder.file("missing.png"))));
}

// Lets every write of this process beyond a file size limit fail with EFBIG,
// as a full disk would, for the lifetime of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

TEST(MediaSaving, AFailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer small;
    makePicture(&small, 8, 8, 3, false);
    ImageBuffer large;  // noise, which no format compresses much
    large.allocate8(400, 300, 3);
    uint32_t seed = 12345;
    for (int64_t i = 0; i < large.sampleCount(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        large.bytes()[i] = static_cast<uint8_t>(seed >> 24);
    }

    for (const char* name : {"keep.png", "keep.tif", "keep.jpg", "keep.pli"}) {
        SCOPED_TRACE(name);
        const std::string path = folder.file(name);
        ASSERT_TRUE(io.save8(gs(path), small, SaveOptions(), nullptr));
        const std::vector<char> before = readFile(path);
        ASSERT_FALSE(before.empty());
        {
            FileSizeLimit limit(before.size() + 256);  // the old file fits, the new one does not
            ASSERT_TRUE(limit.active());
            GrowString reason;
            EXPECT_FALSE(io.save8(gs(path), large, SaveOptions(), nullptr, &reason));
            EXPECT_STREQ(reason.c_str(), "cannot write the file: File too large");  // the system's own reason
        }
        EXPECT_TRUE(readFile(path) == before);
        // A save refused before writing keeps it too.
        ImageBuffer empty;
        EXPECT_FALSE(io.save8(gs(path), empty, SaveOptions(), nullptr));
        EXPECT_TRUE(readFile(path) == before);
    }
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 4);  // only the four kept files
}

TEST(MediaSaving, UnwritableTargetsFail) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer picture;
    makePicture(&picture, 8, 8, 3, false);
    EXPECT_FALSE(io.save8(gs(folder.file("picture.bmp")), picture, SaveOptions(), nullptr));
    EXPECT_FALSE(io.save8(gs(folder.file("picture")), picture, SaveOptions(), nullptr));
    EXPECT_FALSE(io.save8(gs(folder.file("no/such/folder/picture.png")), picture, SaveOptions(), nullptr));
    EXPECT_FALSE(io.save8(GrowString(":/picture.png"), picture, SaveOptions(), nullptr));
    std::filesystem::create_directory(folder.file("taken.png"));
    EXPECT_FALSE(io.save8(gs(folder.file("taken.png")), picture, SaveOptions(), nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(folder.file("taken.png")));
    ImageBuffer fiveChannels;
    fiveChannels.allocate8(4, 4, 5);
    EXPECT_FALSE(io.save8(gs(folder.file("five.png")), fiveChannels, SaveOptions(), nullptr));
}

}  // namespace
