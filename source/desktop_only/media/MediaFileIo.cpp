#include "MediaFileIo.h"

#include "PliFile.h"

#include "foundation/GrowString.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

bool withinPixelBudget(int64_t width, int64_t height) {
    if (width < 1 || height < 1) return false;
    if (width > kMaxImagePixels || height > kMaxImagePixels) return false;
    return width * height <= kMaxImagePixels;
}

namespace {
std::atomic<int64_t> gTestingMemoryLimit{0};  // 0: none
}  // namespace

void limitWorkingMemoryForTesting(int64_t bytes) {
    gTestingMemoryLimit.store(bytes > 0 ? bytes : 0);
}

int64_t workingMemoryBudget() {
    int64_t memory = INT64_MAX;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) memory = static_cast<int64_t>(pages) * pageSize;
    // A limit set on the process counts like a smaller machine.
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        struct rlimit limit;
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
            static_cast<uint64_t>(limit.rlim_cur) < static_cast<uint64_t>(memory))
            memory = static_cast<int64_t>(limit.rlim_cur);
    }
    const int64_t budget = memory / 2;
    const int64_t limit = gTestingMemoryLimit.load();
    return limit > 0 && limit < budget ? limit : budget;
}

bool fitsInWorkingMemory(int64_t width, int64_t height, int64_t bytesPerPixel) {
    if (width < 1 || height < 1) return false;
    int64_t bytes = 0;
    if (__builtin_mul_overflow(width, height, &bytes)) return false;
    if (__builtin_mul_overflow(bytes, bytesPerPixel, &bytes)) return false;
    return bytes <= workingMemoryBudget();
}

bool writesSixteenBits(ImageFileKind kind, const SaveOptions& options) {
    return options.sixteenBit && (kind == ImageFileKind::Png || kind == ImageFileKind::Tiff);
}

void setReason(GrowString* reason, const char* text, int error) {
    if (!reason) return;
    std::string line(text);
    if (error != 0) {
        line += ": ";
        line += std::strerror(error);
    }
    *reason = GrowString(line.c_str());
}

QString qtPath(const GrowString& path) {
    return QFile::decodeName(path.c_str());
}

bool outputSizeFits(ImageFileKind kind, int64_t width, int64_t height, GrowString* reason, bool sixteenBit) {
    if (width < 1 || height < 1) {
        setReason(reason, "there is no image to save");
        return false;
    }
    if (kind == ImageFileKind::Jpeg && (width > kJpegMaxSide || height > kJpegMaxSide)) {
        setReason(reason, "JPEG holds at most 65,500 pixels a side");
        return false;
    }
    if (kind == ImageFileKind::Png && (width > kPngMaxSide || height > kPngMaxSide)) {
        setReason(reason, "PNG holds at most 1,000,000 pixels a side");
        return false;
    }
    if (!withinPixelBudget(width, height)) {
        if (reason) {
            const std::string line = "the image is too large to save: " + std::to_string(width) + " x " +
                                     std::to_string(height) + " pixels is over the limit of one gigapixel";
            setReason(reason, line.c_str());
        }
        return false;
    }
    if (!sixteenBit || (kind != ImageFileKind::Png && kind != ImageFileKind::Tiff)) return true;
    if (width > kSixteenBitMaxWidth) {
        setReason(reason, "a 16-bit picture holds at most 33,554,431 pixels a row");
        return false;
    }
    if (width * height > kSixteenBitMaxStoredBytes / kSixteenBitStoredBytesPerPixel) {
        if (reason) {
            // In decimal megabytes, rounded down; within the pixel budget the
            // product cannot overflow.
            const std::string line = "the image is too large to save with 16 bits a sample: " + std::to_string(width) +
                                     " x " + std::to_string(height) + " pixels would take " +
                                     std::to_string(width * height * kSixteenBitStoredBytesPerPixel / 1000000) +
                                     " MB, more than the 2,147 MB a 16-bit picture may take";
            setReason(reason, line.c_str());
        }
        return false;
    }
    return true;
}

namespace {

// Reads `count` bytes from the descriptor's current position.
bool readFully(int fd, uint8_t* out, uint64_t count, GrowString* reason) {
    uint64_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, out + done, static_cast<size_t>(count - done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            setReason(reason, "cannot read the file", errno);
            return false;
        }
        if (got == 0) {
            setReason(reason, "cannot read the file: it shrank while being read");
            return false;
        }
        done += static_cast<uint64_t>(got);
    }
    return true;
}

}  // namespace

FileBytes::FileBytes(FileBytes&& other) noexcept
    : bytes_(std::move(other.bytes_)), size_(other.size_), fileSize_(other.fileSize_), fd_(other.fd_) {
    other.size_ = 0;
    other.fileSize_ = 0;
    other.fd_ = -1;
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        close();
        bytes_ = std::move(other.bytes_);
        size_ = other.size_;
        fileSize_ = other.fileSize_;
        fd_ = other.fd_;
        other.size_ = 0;
        other.fileSize_ = 0;
        other.fd_ = -1;
    }
    return *this;
}

FileBytes::~FileBytes() {
    close();
}

void FileBytes::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool FileBytes::read(const QString& path, GrowString* reason) {
    return open(path, SIZE_MAX, reason) && readRest(reason);
}

bool FileBytes::open(const QString& path, size_t headBytes, GrowString* reason) {
    close();
    bytes_.reset();
    size_ = 0;
    fileSize_ = 0;
    if (path.isEmpty()) {
        setReason(reason, "no file name given");
        return false;
    }
    if (path.startsWith(QLatin1String(":/"))) {
        // The program's own resources, already in memory: read whole.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            setReason(reason, "no such resource");
            return false;
        }
        const QByteArray all = file.readAll();
        if (all.isEmpty()) {
            setReason(reason, "the file is empty");
            return false;
        }
        std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(all.size())]);
        if (!bytes) {
            setReason(reason, "out of memory reading the file");
            return false;
        }
        std::memcpy(bytes.get(), all.constData(), static_cast<size_t>(all.size()));
        bytes_ = std::move(bytes);
        size_ = static_cast<size_t>(all.size());
        fileSize_ = size_;
        return true;
    }

    // Opened without waiting, so that a FIFO never blocks; only regular
    // files are read (a device such as /dev/zero would never end).
    const QByteArray local = QFile::encodeName(path);
    const int fd = ::open(local.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setReason(reason, "cannot open the file", errno);
        return false;
    }
    struct stat info;
    bool ok = fstat(fd, &info) == 0;
    if (!ok) {
        setReason(reason, "cannot open the file", errno);
    } else if (S_ISDIR(info.st_mode)) {
        setReason(reason, "is a folder, not a file");
        ok = false;
    } else if (!S_ISREG(info.st_mode)) {
        setReason(reason, "is not a regular file");
        ok = false;
    } else if (info.st_size <= 0) {
        setReason(reason, "the file is empty");
        ok = false;
    } else if (static_cast<uint64_t>(info.st_size) > SIZE_MAX / 2) {
        setReason(reason, "the file is too large to read");
        ok = false;
    }
    const uint64_t total = ok ? static_cast<uint64_t>(info.st_size) : 0;
    const uint64_t head = total < headBytes ? total : headBytes;
    std::unique_ptr<uint8_t[]> bytes;
    if (ok) {
        bytes.reset(new (std::nothrow) uint8_t[static_cast<size_t>(head)]);
        if (!bytes) setReason(reason, "out of memory reading the file");
        ok = bytes && readFully(fd, bytes.get(), head, reason);
    }
    if (!ok) {
        ::close(fd);
        return false;
    }
    bytes_ = std::move(bytes);
    size_ = static_cast<size_t>(head);
    fileSize_ = total;
    if (size_ < fileSize_) fd_ = fd;
    else ::close(fd);
    return true;
}

bool FileBytes::readRest(GrowString* reason) {
    if (size_ == fileSize_ && bytes_) return true;
    if (fd_ < 0) {
        setReason(reason, "cannot read the file");
        return false;
    }
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(fileSize_)]);
    if (!bytes) {
        setReason(reason, "out of memory reading the file");
        close();
        return false;
    }
    std::memcpy(bytes.get(), bytes_.get(), size_);
    const bool ok = readFully(fd_, bytes.get() + size_, fileSize_ - size_, reason);
    close();
    if (!ok) return false;
    bytes_ = std::move(bytes);
    size_ = static_cast<size_t>(fileSize_);
    return true;
}

bool FileBytes::readAt(uint64_t offset, void* out, size_t size) const {
    if (offset > fileSize_ || size > fileSize_ - offset) return false;
    if (offset + size <= size_) {
        std::memcpy(out, bytes_.get() + offset, size);
        return true;
    }
    if (fd_ < 0) return false;
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd_, static_cast<uint8_t*>(out) + done, size - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

namespace {

// Standard error while quiet objects live: how many live, and the real
// standard error kept aside meanwhile.
std::mutex quietLock;
int quietCount = 0;
int keptStandardError = -1;

}  // namespace

QuietCodecMessages::QuietCodecMessages() {
    std::lock_guard<std::mutex> guard(quietLock);
    if (quietCount++ > 0) return;
    std::fflush(stderr);
    keptStandardError = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    const int nothing = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (keptStandardError >= 0 && nothing >= 0) ::dup2(nothing, STDERR_FILENO);
    if (nothing >= 0) ::close(nothing);
}

void printErrorLine(const std::string& text) {
    const std::string line = text + "\n";
    std::lock_guard<std::mutex> guard(quietLock);
    std::fflush(stderr);
    const int fd = quietCount > 0 && keptStandardError >= 0 ? keptStandardError : STDERR_FILENO;
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t wrote = ::write(fd, line.data() + done, line.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return;
        done += static_cast<size_t>(wrote);
    }
}

QuietCodecMessages::~QuietCodecMessages() {
    std::lock_guard<std::mutex> guard(quietLock);
    if (--quietCount > 0) return;
    std::fflush(stderr);
    if (keptStandardError >= 0) {
        ::dup2(keptStandardError, STDERR_FILENO);
        ::close(keptStandardError);
        keptStandardError = -1;
    }
}

ReplacingFile::ReplacingFile(const QString& target) : target_(QFile::encodeName(target).toStdString()) {}

ReplacingFile::~ReplacingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

bool ReplacingFile::open(GrowString* reason) {
    if (target_.empty()) {
        setReason(reason, "no file name given");
        return false;
    }
    struct stat info;
    if (::stat(target_.c_str(), &info) == 0) {
        // Only a regular file is replaced: never a folder, a device or a FIFO.
        if (S_ISDIR(info.st_mode)) {
            setReason(reason, "is a folder, not a file");
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            setReason(reason, "is not a regular file");
            return false;
        }
    }
    std::string pattern = target_ + ".XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        const size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target_.substr(0, slash));
        if (error == ENOENT || (::stat(folder.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)))
            setReason(reason, "cannot write the file: the folder does not exist");
        else
            setReason(reason, "cannot write the file", error);
        return false;
    }
    temporary_ = pattern;
    // mkostemp makes the file readable by its owner only; a saved file gets
    // the permissions the umask gives a new file, as a direct write would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    return true;
}

bool ReplacingFile::write(const void* data, size_t size, GrowString* reason) {
    if (fd_ < 0) {
        setReason(reason, "cannot write the file: it is not open");
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t wrote = ::write(fd_, p, size);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            setReason(reason, "cannot write the file", wrote < 0 ? errno : ENOSPC);
            return false;
        }
        p += wrote;
        size -= static_cast<size_t>(wrote);
    }
    return true;
}

bool ReplacingFile::commit(GrowString* reason) {
    if (fd_ < 0) {
        setReason(reason, "cannot write the file: it is not open");
        return false;
    }
    if (::fsync(fd_) != 0) {
        setReason(reason, "cannot write the file", errno);
        return false;
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        setReason(reason, "cannot write the file", errno);
        return false;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        setReason(reason, "cannot write the file", errno);
        return false;
    }
    committed_ = true;
    return true;
}

bool writeFileReplacing(const QString& path, const char* data, size_t size, GrowString* reason) {
    if (path.isEmpty() || path.startsWith(QLatin1String(":/")) || !data) {
        setReason(reason, path.isEmpty() ? "no file name given" : "cannot write into the program's resources");
        return false;
    }
    ReplacingFile file(path);
    return file.open(reason) && file.write(data, size, reason) && file.commit(reason);
}

// ---- What a file's first bytes say ----------------------------------------

uint64_t unsignedAt(const uint8_t* p, int bytes, bool littleEndian) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(p[littleEndian ? i : bytes - 1 - i]) << (8 * i);
    return v;
}

ImageFileKind kindOfContent(const uint8_t* d, size_t n) {
    if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return ImageFileKind::Jpeg;
    if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return ImageFileKind::Png;
    if (n >= 4 && (std::memcmp(d, "II*\0", 4) == 0 || std::memcmp(d, "MM\0*", 4) == 0 ||
                   std::memcmp(d, "II+\0", 4) == 0 || std::memcmp(d, "MM\0+", 4) == 0))
        return ImageFileKind::Tiff;  // classic and big TIFF
    if (n >= 4 && std::memcmp(d, "8BPS", 4) == 0) return ImageFileKind::Psd;
    if (isPliData(d, n)) return ImageFileKind::Pli;
    return ImageFileKind::Unknown;
}

// The PNG chunks are walked by their lengths.
bool pngIsComplete(const uint8_t* d, size_t n) {
    size_t i = 8;  // after the signature
    while (i + 12 <= n) {
        const size_t length = static_cast<size_t>(d[i]) << 24 | static_cast<size_t>(d[i + 1]) << 16 |
                              static_cast<size_t>(d[i + 2]) << 8 | d[i + 3];
        if (length > 0x7fffffffu || length > n - i - 12) return false;  // PNG's limit; runs past the end
        if (std::memcmp(d + i + 4, "IEND", 4) == 0) return true;
        i += 12 + length;  // length, type, data, CRC
    }
    return false;
}

bool pngEmbedsProfile(const uint8_t* d, size_t n) {
    size_t i = 8;  // after the signature
    while (i + 12 <= n) {
        const size_t length = static_cast<size_t>(unsignedAt(d + i, 4, false));
        if (length > n - i - 12) return false;
        const uint8_t* type = d + i + 4;
        if (std::memcmp(type, "iCCP", 4) == 0) return true;
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return false;
        i += 12 + length;
    }
    return false;
}

namespace {

// What a JPEG's headers say up to its first scan, found by walking the
// marker segments: the frame header (the first of SOF0..SOF15 but DHT, JPG
// and DAC) and the header of the first scan.
struct JpegHeaders {
    static constexpr int kMaxComponents = 10;  // libjpeg's limit
    struct Component {
        uint8_t id, h, v;  // identifier, horizontal and vertical sampling factor
    };
    uint8_t frameMarker = 0;  // 0 until a frame header is found
    int64_t width = 0;
    int64_t height = 0;
    int32_t componentCount = 0;  // as the frame header says (0 when it cannot be read)
    Component components[kMaxComponents] = {};  // read when walking through the first scan
    uint64_t scanData = 0;  // where the first scan's entropy-coded data starts; 0 before it
    int32_t scanComponentCount = 0;
    uint8_t scanComponents[4] = {};
    uint8_t spectralStart = 0;  // 0: the scan codes the DC coefficients
};

// Walks the segments to the frame header, or with throughFirstScan on to
// the first scan's header. False when the walk cannot get there (a scan or
// the end of the image before any frame, a segment past the end of the file,
// a frame of more components than libjpeg decodes).
bool walkJpegHeaders(const FileBytes& file, bool throughFirstScan, JpegHeaders* out) {
    uint64_t at = 2;  // after SOI
    for (int segments = 0; segments < 4096; ++segments) {
        uint8_t m[9];
        if (!file.readAt(at, m, 2) || m[0] != 0xFF) return false;
        const uint8_t marker = m[1];
        if (marker == 0xFF) {  // a fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (marker == 0xD9) return false;  // EOI
        if (!file.readAt(at, m, 4)) return false;
        const uint64_t length = static_cast<uint64_t>(m[2]) << 8 | m[3];
        if (marker == 0xDA) {  // SOS: Ns, Ns pairs (Cs, Td/Ta), Ss, Se, Ah/Al
            if (out->frameMarker == 0) return false;  // a scan before any frame
            uint8_t s[1 + 2 * 4 + 1];
            if (!file.readAt(at + 4, s, 1)) return false;
            const int32_t count = s[0];
            if (count < 1 || count > 4 || length < static_cast<uint64_t>(6 + 2 * count) ||
                !file.readAt(at + 4, s, static_cast<size_t>(2 + 2 * count)))
                return false;
            out->scanComponentCount = count;
            for (int32_t c = 0; c < count; ++c) out->scanComponents[c] = s[1 + 2 * c];
            out->spectralStart = s[1 + 2 * count];
            out->scanData = at + 2 + length;
            return true;
        }
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && out->frameMarker == 0) {
            if (!file.readAt(at, m, 9)) return false;
            out->frameMarker = marker;
            out->height = m[5] << 8 | m[6];
            out->width = m[7] << 8 | m[8];
            uint8_t count = 0;
            if (file.readAt(at + 9, &count, 1)) out->componentCount = count;
            if (!throughFirstScan) return true;
            if (count < 1 || count > JpegHeaders::kMaxComponents || length < 8 + 3 * static_cast<uint64_t>(count))
                return false;
            for (int32_t c = 0; c < count; ++c) {
                uint8_t entry[3];  // identifier, sampling factors, quantisation table
                if (!file.readAt(at + 10 + 3 * static_cast<uint64_t>(c), entry, 3)) return false;
                out->components[c] = {entry[0], static_cast<uint8_t>(entry[1] >> 4),
                                      static_cast<uint8_t>(entry[1] & 15)};
            }
        }
        at += 2 + length;
    }
    return false;
}

// The size a JPEG's frame header claims.
bool jpegClaimedSize(const FileBytes& file, int64_t* width, int64_t* height) {
    JpegHeaders headers;
    if (!walkJpegHeaders(file, false, &headers)) return false;
    *width = headers.width;
    *height = headers.height;
    return true;
}

// The numbers of the given tags in a TIFF's first directory (classic or
// big TIFF), SHORT, LONG or LONG8 (halved, kept positive); -1 for a tag it
// lacks or holds as another type. False when the directory cannot be read.
bool tiffFirstDirectoryNumbers(const FileBytes& file, const uint16_t* tags, int64_t* numbers, int count) {
    for (int t = 0; t < count; ++t) numbers[t] = -1;
    uint8_t h[16];
    if (!file.readAt(0, h, 8)) return false;
    const bool little = h[0] == 'I';
    const auto value = [little](const uint8_t* p, int bytes) { return unsignedAt(p, bytes, little); };
    const bool big = value(h + 2, 2) == 43;
    uint64_t directory = value(h + 4, 4);
    if (big) {
        if (!file.readAt(8, h + 8, 8)) return false;
        directory = value(h + 8, 8);
    }
    uint8_t countBytes[8];
    if (!file.readAt(directory, countBytes, big ? 8 : 2)) return false;
    const uint64_t entries = value(countBytes, big ? 8 : 2);
    const uint64_t entrySize = big ? 20 : 12;
    const auto allFound = [&] {
        for (int t = 0; t < count; ++t)
            if (numbers[t] < 0) return false;
        return true;
    };
    for (uint64_t i = 0; i < entries && i < 4096 && !allFound(); ++i) {
        uint8_t e[20];
        if (!file.readAt(directory + (big ? 8 : 2) + i * entrySize, e, static_cast<size_t>(entrySize))) return false;
        const uint64_t tag = value(e, 2);
        int t = 0;
        while (t < count && tags[t] != tag) ++t;
        if (t == count) continue;
        const uint64_t type = value(e + 2, 2);
        const uint8_t* v = e + (big ? 12 : 8);
        int64_t number = -1;
        if (type == 3) number = static_cast<int64_t>(value(v, 2));                   // SHORT
        else if (type == 4) number = static_cast<int64_t>(value(v, 4));              // LONG
        else if (type == 16 && big) number = static_cast<int64_t>(value(v, 8) >> 1);  // LONG8, kept positive
        numbers[t] = number;
    }
    return true;
}

// The size a TIFF's first directory claims: the ImageWidth and ImageLength
// entries.
bool tiffClaimedSize(const FileBytes& file, int64_t* width, int64_t* height) {
    const uint16_t tags[2] = {256, 257};
    int64_t numbers[2];
    if (!tiffFirstDirectoryNumbers(file, tags, numbers, 2) || numbers[0] < 0 || numbers[1] < 0) return false;
    *width = numbers[0];
    *height = numbers[1];
    return true;
}

}  // namespace

bool claimedImageSize(const FileBytes& file, ImageFileKind kind, int64_t* width, int64_t* height) {
    const uint8_t* d = file.data();
    const size_t n = file.size();
    switch (kind) {
        case ImageFileKind::Png:
            if (n < 24 || std::memcmp(d + 12, "IHDR", 4) != 0) return false;
            *width = static_cast<int64_t>(unsignedAt(d + 16, 4, false));
            *height = static_cast<int64_t>(unsignedAt(d + 20, 4, false));
            return true;
        case ImageFileKind::Psd:
            if (n < 22) return false;
            *height = static_cast<int64_t>(unsignedAt(d + 14, 4, false));
            *width = static_cast<int64_t>(unsignedAt(d + 18, 4, false));
            return true;
        case ImageFileKind::Pli:  // 32-bit little-endian signed width and height after the 12-byte tag
            if (n < 20) return false;
            *width = static_cast<int32_t>(d[12] | d[13] << 8 | d[14] << 16 | static_cast<uint32_t>(d[15]) << 24);
            *height = static_cast<int32_t>(d[16] | d[17] << 8 | d[18] << 16 | static_cast<uint32_t>(d[19]) << 24);
            return true;
        case ImageFileKind::Jpeg: return jpegClaimedSize(file, width, height);
        case ImageFileKind::Tiff: return tiffClaimedSize(file, width, height);
        default: return false;
    }
}

bool jpegDataCanFillFrame(const FileBytes& file) {
    JpegHeaders h;
    if (!walkJpegHeaders(file, true, &h) || h.scanData == 0) return true;
    // Huffman-coded frames only (baseline, extended sequential,
    // progressive): arithmetic coding may spend less than a bit on a block.
    // A first scan of AC coefficients alone (out of order) may code a run
    // of empty blocks at once.
    if (h.frameMarker > 0xC2 || h.spectralStart != 0 || h.width < 1 || h.height < 1) return true;
    uint64_t hMax = 1;
    uint64_t vMax = 1;
    for (int32_t c = 0; c < h.componentCount; ++c) {
        const JpegHeaders::Component& k = h.components[c];
        if (k.h < 1 || k.h > 4 || k.v < 1 || k.v > 4) return true;  // libjpeg refuses the frame
        hMax = k.h > hMax ? k.h : hMax;
        vMax = k.v > vMax ? k.v : vMax;
    }
    // The fewest blocks the scan can code: those of its smallest component,
    // each component's own rows and columns of 8 x 8 blocks (an interleaved
    // scan codes whole units, more blocks still).
    uint64_t fewest = UINT64_MAX;
    for (int32_t s = 0; s < h.scanComponentCount; ++s) {
        const JpegHeaders::Component* k = nullptr;
        for (int32_t c = 0; c < h.componentCount; ++c)
            if (h.components[c].id == h.scanComponents[s]) k = &h.components[c];
        if (!k) return true;  // a component the frame lacks: the decoder says so
        const uint64_t columns = (static_cast<uint64_t>(h.width) * k->h + hMax - 1) / hMax;
        const uint64_t rows = (static_cast<uint64_t>(h.height) * k->v + vMax - 1) / vMax;
        const uint64_t blocks = ((columns + 7) / 8) * ((rows + 7) / 8);
        fewest = blocks < fewest ? blocks : fewest;
    }
    const uint64_t bytes = file.fileSize() > h.scanData ? file.fileSize() - h.scanData : 0;
    return bytes >= (fewest + 7) / 8;
}

PixelColours tiffPhotometricColours(int64_t photometric) {
    switch (photometric) {
        case 0: case 1: return PixelColours::kGrey;           // white or black is zero
        case 2: case 3: case 6: return PixelColours::kRgb;    // RGB, palette, YCbCr
        case 5: case 8: case 9: case 10: return PixelColours::kOther;  // separated (CMYK), Lab
        default: return PixelColours::kUnknown;
    }
}

PixelColours storedColours(const FileBytes& file, ImageFileKind kind) {
    const uint8_t* d = file.data();
    const size_t n = file.size();
    switch (kind) {
        case ImageFileKind::Jpeg: {  // the frame's component count
            JpegHeaders h;
            if (!walkJpegHeaders(file, false, &h)) return PixelColours::kUnknown;
            if (h.componentCount == 1) return PixelColours::kGrey;
            if (h.componentCount == 3) return PixelColours::kRgb;
            return h.componentCount == 4 ? PixelColours::kOther : PixelColours::kUnknown;  // CMYK or YCCK
        }
        case ImageFileKind::Png:  // IHDR's colour type
            if (n < 26 || std::memcmp(d + 12, "IHDR", 4) != 0) return PixelColours::kUnknown;
            if (d[25] == 0 || d[25] == 4) return PixelColours::kGrey;
            return d[25] == 2 || d[25] == 3 || d[25] == 6 ? PixelColours::kRgb : PixelColours::kUnknown;
        case ImageFileKind::Tiff: {  // PhotometricInterpretation
            const uint16_t tag = 262;
            int64_t photometric = -1;
            if (!tiffFirstDirectoryNumbers(file, &tag, &photometric, 1)) return PixelColours::kUnknown;
            return tiffPhotometricColours(photometric);
        }
        case ImageFileKind::Psd: {  // the colour mode
            if (n < 26) return PixelColours::kUnknown;
            switch (unsignedAt(d + 24, 2, false)) {
                case 0: case 1: return PixelColours::kGrey;           // bitmap, greyscale
                case 2: case 3: return PixelColours::kRgb;            // indexed, RGB
                case 4: case 7: case 9: return PixelColours::kOther;  // CMYK, multichannel, Lab
                default: return PixelColours::kUnknown;
            }
        }
        default: return PixelColours::kUnknown;
    }
}
