#pragma once
// Whole-file reading and replacing writes for the image loader and saver.
//
// Every decoder works from the file's bytes in memory: the same code then
// serves files on disk and ":/" resources, and a file is read exactly once.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/ImageLoaderSaver.h"  // kMaxImagePixels, the program's pixel budget

class GrowString;
class QString;

// True when both sides are at least 1 and width x height is within the
// pixel budget (kMaxImagePixels).
bool withinPixelBudget(int64_t width, int64_t height);

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
    // file, a folder, an empty file, a short read and when memory runs out.
    bool read(const QString& path);

    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_ = 0;
};

// Writes the bytes to a temporary file in the target's folder and renames it
// over the target once everything is on disk. On any failure the target is
// left as it was and the temporary file is removed. Resource paths fail.
bool writeFileReplacing(const QString& path, const char* data, size_t size);
