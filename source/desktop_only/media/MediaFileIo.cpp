#include "MediaFileIo.h"

#include "foundation/GrowString.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
    return memory / 2;
}

bool fitsInWorkingMemory(int64_t width, int64_t height) {
    if (width < 1 || height < 1) return false;
    int64_t bytes = 0;
    if (__builtin_mul_overflow(width, height, &bytes)) return false;
    if (__builtin_mul_overflow(bytes, kWorkingBytesPerPixel, &bytes)) return false;
    return bytes <= workingMemoryBudget();
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

bool outputSizeFits(ImageFileKind kind, int64_t width, int64_t height, GrowString* reason) {
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
