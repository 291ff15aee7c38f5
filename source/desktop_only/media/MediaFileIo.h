#pragma once
// Whole-file reading and replacing writes for the image loader and saver.
//
// Every decoder works from the file's bytes in memory: the same code then
// serves files on disk and ":/" resources, and a file is read exactly once.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/ImageLoaderSaver.h"  // kMaxImagePixels, the program's pixel budget

class GrowString;
class QString;

// True when both sides are at least 1 and width x height is within the
// pixel budget (kMaxImagePixels).
bool withinPixelBudget(int64_t width, int64_t height);

// Bytes per pixel a picture costs while it is opened and rendered: its
// float image (four channels at most) and the two further copies of that
// size a render or a save makes (the decoded picture, a destination, the
// cache of a view).
constexpr int64_t kWorkingBytesPerPixel = 3 * 4 * int64_t(sizeof(float));

// The memory a picture may take: half of the machine's physical memory, or
// half of the process's address-space or data limit when one is lower.
int64_t workingMemoryBudget();

// True when a width x height picture fits comfortably in memory:
// kWorkingBytesPerPixel for each pixel within workingMemoryBudget().
bool fitsInWorkingMemory(int64_t width, int64_t height);

// Writes a failure's reason into `reason` when one was asked for; with an
// error number, ": " and the system's text for it follow.
void setReason(GrowString* reason, const char* text, int error = 0);

// A path of the core (bytes in the file system's encoding) as a Qt path.
QString qtPath(const GrowString& path);

// The whole content of one file.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    FileBytes(FileBytes&&) noexcept = default;
    FileBytes& operator=(FileBytes&&) noexcept = default;
    ~FileBytes() = default;

    // Reads the file or ":/" resource. Fails for a missing or unreadable
    // file, a folder and anything else that is not a regular file (a FIFO
    // or a device is refused without waiting for it), an empty file, a
    // short read and when memory runs out; reason, when given, says which.
    bool read(const QString& path, GrowString* reason = nullptr);

    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_ = 0;
};

// A file written under a temporary name beside its target ("<name>.XXXXXX")
// and renamed over the target by commit() once everything is on disk; a
// file never committed is removed when the object goes. Written with the
// system's calls, so that every failure keeps the system's own reason
// ("No space left on device", "File too large").
class ReplacingFile {
public:
    explicit ReplacingFile(const QString& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool open(GrowString* reason);
    bool write(const void* data, size_t size, GrowString* reason);
    bool commit(GrowString* reason);

private:
    std::string target_;     // in the file system's encoding
    std::string temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

// Writes the bytes to a temporary file in the target's folder and renames it
// over the target once everything is on disk. On any failure the target is
// left as it was and the temporary file is removed. Resource paths fail.
// reason, when given, receives what failed ("cannot write the file: No
// space left on device").
bool writeFileReplacing(const QString& path, const char* data, size_t size, GrowString* reason = nullptr);
