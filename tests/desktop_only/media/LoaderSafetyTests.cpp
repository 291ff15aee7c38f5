// The loader's safety: what a file's first bytes rule out is refused before
// the file is read whole; codec libraries print nothing while the loader
// reports one reason (a damaged watermark included); the largest sides
// each kind of file can be written with.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/MediaFileIo.h"
#include "effects/Watermark.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

using namespace mediatest;

namespace {

// The bytes this process has read through read() and pread() so far.
int64_t bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    int64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

// A file of `size` bytes (sparse: it takes no room on the disk) that
// starts with `head` and holds `tail` at `tailAt`.
void writeSparse(const std::string& path, const std::vector<char>& head, int64_t size,
                 const std::vector<char>& tail = {}, int64_t tailAt = 0) {
    writeFile(path, head);
    std::filesystem::resize_file(path, static_cast<uintmax_t>(size));
    if (!tail.empty()) {
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), tailAt), static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
}

std::vector<char> bigEndian(std::initializer_list<std::pair<uint32_t, int>> fields) {
    std::vector<char> out;
    for (const auto& f : fields)
        for (int shift = (f.second - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<char>(f.first >> shift));
    return out;
}

std::vector<char> operator+(std::vector<char> a, const std::vector<char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<char> text(const char* t, size_t n) {
    return std::vector<char>(t, t + n);
}

// Three gigabytes, far more than any header here needs.
constexpr int64_t kHuge = int64_t(3) << 30;

TEST(MediaLoaderSafety, HeadersAreJudgedBeforeTheFileIsReadWhole) {
    TempFolder folder;
    std::vector<char> ihdr = text("IHDR", 4) + bigEndian({{100000, 4}, {100000, 4}}) + text("\x08\x02\0\0\0", 5);
    const std::vector<char> hugePng = text("\x89PNG\r\n\x1a\n", 8) + bigEndian({{13, 4}}) + ihdr +
                                      bigEndian({{pngCrc(ihdr), 4}});
    std::vector<char> smallIhdr = text("IHDR", 4) + bigEndian({{10, 4}, {10, 4}}) + text("\x08\x02\0\0\0", 5);
    const std::vector<char> smallPng = text("\x89PNG\r\n\x1a\n", 8) + bigEndian({{13, 4}}) + smallIhdr +
                                       bigEndian({{pngCrc(smallIhdr), 4}});
    // A JPEG whose frame header comes after 200 KB of application segments,
    // well past the first bytes read.
    std::vector<char> farFrame = text("\xFF\xD8", 2);
    for (int k = 0; k < 3; ++k) farFrame = farFrame + text("\xFF\xE9", 2) + bigEndian({{65535, 2}}) + std::vector<char>(65533, 'x');
    farFrame = farFrame + text("\xFF\xC0", 2) + bigEndian({{17, 2}, {8, 1}, {60000, 2}, {60000, 2}, {3, 1}});
    // A TIFF whose first directory sits at the end of the file.
    const int64_t directoryAt = kHuge - 64;
    const std::vector<char> tiffHead = text("II*\0", 4) + std::vector<char>{static_cast<char>(directoryAt & 0xFF),
                                                                        static_cast<char>((directoryAt >> 8) & 0xFF),
                                                                        static_cast<char>((directoryAt >> 16) & 0xFF),
                                                                        static_cast<char>((directoryAt >> 24) & 0xFF)};
    const std::vector<char> directory = {2, 0,                                                // two entries
                                         0, 1, 4, 0, 1, 0, 0, 0, static_cast<char>(0xA0), static_cast<char>(0x86), 1, 0,  // width 100000
                                         1, 1, 4, 0, 1, 0, 0, 0, static_cast<char>(0xA0), static_cast<char>(0x86), 1, 0,  // length 100000
                                         0, 0, 0, 0};
    const std::vector<char> psd = text("8BPS", 4) + bigEndian({{1, 2}, {0, 4}, {0, 2}, {3, 2}, {300000, 4}, {300000, 4}});
    const struct {
        const char* name;
        std::vector<char> head;
        std::vector<char> tail;
        int64_t tailAt;
        const char* reason;
    } cases[] = {
        {"zeros.png", {}, {}, 0, "is not an image this program reads"},
        {"zeros.jpg", {}, {}, 0, "is not an image this program reads"},
        {"huge.png", hugePng, {}, 0, "is too large"},
        {"far-frame.jpg", farFrame, {}, 0, "is too large"},
        {"far-directory.tif", tiffHead, directory, directoryAt, "is too large"},
        {"huge.psd", psd, {}, 0, "is too large"},
        {"small-but-long.png", smallPng, {}, 0, "the file is too large to decode"},
    };
    DesktopImageLoaderSaver io;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        writeSparse(path, c.head, kHuge, c.tail, c.tailAt);
        const int64_t before = bytesReadSoFar();
        ImageBuffer image;
        GrowString reason;
        EXPECT_FALSE(io.load8(gs(path), &image, false, &reason));
        EXPECT_NE(std::string(reason.c_str()).find(c.reason), std::string::npos) << reason.c_str();
        const int64_t read = bytesReadSoFar() - before;
        EXPECT_LT(read, int64_t(1) << 20) << "bytes read";
        DecodedSource source;
        EXPECT_FALSE(io.decode(gs(path), false, true, false, &source));
    }
}

// Standard error sent to a file for the object's lifetime.
class StandardErrorCapture {
public:
    explicit StandardErrorCapture(const std::string& path) : path_(path) {
        std::fflush(stderr);
        kept_ = ::dup(STDERR_FILENO);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StandardErrorCapture() { restore(); }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;
    std::string text() {
        restore();
        const std::vector<char> bytes = readFile(path_);
        return std::string(bytes.begin(), bytes.end());
    }

private:
    void restore() {
        if (kept_ < 0) return;
        std::fflush(stderr);
        ::dup2(kept_, STDERR_FILENO);
        ::close(kept_);
        kept_ = -1;
    }
    std::string path_;
    int kept_ = -1;
};

// The PNG with a few bytes of its pixel data changed and the checksums made
// right again: libpng reads every chunk and fails inside the pixel data.
std::vector<char> pngWithDamagedPixels(const std::vector<char>& png) {
    std::vector<char> out(png.begin(), png.begin() + 8);
    size_t i = 8;
    while (i + 12 <= png.size()) {
        const uint32_t length = static_cast<uint32_t>(static_cast<uint8_t>(png[i]) << 24 | static_cast<uint8_t>(png[i + 1]) << 16 |
                                                      static_cast<uint8_t>(png[i + 2]) << 8 | static_cast<uint8_t>(png[i + 3]));
        std::vector<char> chunk(png.begin() + static_cast<std::ptrdiff_t>(i + 4),
                                png.begin() + static_cast<std::ptrdiff_t>(i + 8 + length));
        if (std::memcmp(chunk.data(), "IDAT", 4) == 0)
            for (size_t k = 14; k < 64 && k < chunk.size(); ++k) chunk[k] = static_cast<char>(chunk[k] ^ 0x5A);
        appendBigEndian32(&out, length);
        out.insert(out.end(), chunk.begin(), chunk.end());
        appendBigEndian32(&out, pngCrc(chunk));
        i += 12 + length;
    }
    return out;
}

// libpng prints "libpng error: ..." for a damaged PNG, and Qt its warnings;
// none of it reaches standard error, the load says why itself, and a
// Watermark tile whose file is damaged leaves the picture as it is.
TEST(MediaLoaderSafety, CodecsPrintNothingAndTheLoadSaysWhy) {
    TempFolder folder;
    const std::vector<char> png = readFile(testData("png/icc-profile.png"));
    const std::string cut = folder.file("cut.png");
    writeFile(cut, std::vector<char>(png.begin(), png.end() - 100));
    const std::string damaged = folder.file("damaged.png");
    writeFile(damaged, pngWithDamagedPixels(png));
    const std::string cutTiff = folder.file("cut.tif");
    const std::vector<char> tiff = readFile(testData("tiff/rgb-16bit.tiff"));
    writeFile(cutTiff, std::vector<char>(tiff.begin(), tiff.end() - 500));

    DesktopImageLoaderSaver io;
    ImageLoaderSaver* const saved = gImageLoaderSaver;
    gImageLoaderSaver = &io;
    StandardErrorCapture capture(folder.file("stderr.txt"));
    const struct {
        const std::string& path;
        const char* reason;
    } cases[] = {
        {cut, "the PNG file is damaged or cut short"},
        {damaged, "the image is damaged or cannot be decoded"},
        {cutTiff, "the TIFF file is damaged or cut short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ImageBuffer image;
        GrowString reason;
        EXPECT_FALSE(io.load8(gs(c.path), &image, true, &reason));
        EXPECT_NE(std::string(reason.c_str()).find(c.reason), std::string::npos) << reason.c_str();

        WatermarkMod watermark;
        watermark.var(0)->fileValue()->path = gs(c.path);
        ImageBuffer picture;
        makePicture(&picture, 64, 48, 3, true);
        ImageBuffer before;
        ImageBuffer::copyFloat(before, picture, true);
        watermark.processFloat(picture, nullptr);
        EXPECT_EQ(difference(before, true, picture, true).max, 0.0);
    }
    std::fprintf(stderr, "standard error is back\n");
    gImageLoaderSaver = saved;
    // The program's own lines reach standard error while a decode on another
    // thread keeps the codecs quiet; the codecs' remarks do not.
    {
        QuietCodecMessages quiet;
        std::fprintf(stderr, "a codec's remark\n");
        printErrorLine("pellucine: p2.jpg: the file cannot be written");
    }
    EXPECT_EQ(capture.text(), "standard error is back\npellucine: p2.jpg: the file cannot be written\n");
}

TEST(MediaLoaderSafety, OutputSizesEachKindOfFileHolds) {
    const struct {
        ImageFileKind kind;
        int64_t width, height;
        const char* reason;  // "" when it fits
    } cases[] = {
        {ImageFileKind::Jpeg, 65500, 15000, ""},
        {ImageFileKind::Jpeg, 65501, 1, "JPEG holds at most 65,500 pixels a side"},
        {ImageFileKind::Jpeg, 1, 65501, "JPEG holds at most 65,500 pixels a side"},
        {ImageFileKind::Png, 1000000, 1, ""},
        {ImageFileKind::Png, 1000001, 1, "PNG holds at most 1,000,000 pixels a side"},
        {ImageFileKind::Png, 7, 1000001, "PNG holds at most 1,000,000 pixels a side"},
        {ImageFileKind::Tiff, 1000001, 1, ""},
        {ImageFileKind::Pli, 1, 1000000000, ""},
        {ImageFileKind::Tiff, 40000, 25001, "over the limit of one gigapixel"},
        {ImageFileKind::Jpeg, 0, 5, "there is no image to save"},
        {ImageFileKind::Png, 5, -1, "there is no image to save"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        GrowString reason;
        EXPECT_EQ(outputSizeFits(c.kind, c.width, c.height, &reason), *c.reason == '\0');
        EXPECT_NE(std::string(reason.c_str()).find(c.reason), std::string::npos) << reason.c_str();
    }
    // The saver refuses a PNG wider than that before encoding.
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer wide;
    wide.allocate8(1000001, 1, 3);
    GrowString reason;
    EXPECT_FALSE(io.save8(gs(folder.file("wide.png")), wide, SaveOptions(), nullptr, &reason));
    EXPECT_STREQ(reason.c_str(), "PNG holds at most 1,000,000 pixels a side");
}

}  // namespace
