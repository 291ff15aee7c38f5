// pellucine-pack-bundle: packs a folder of filter files into a preset bundle
// (.bnd), the archive format that unpackBundle reads.
//
//   pellucine-pack-bundle SOURCE_FOLDER OUTPUT.bnd
//
// Every regular file of the folder becomes a record of its name; every
// sub-folder becomes a nested bundle record named after it with ".bnd"
// appended. A folder's files come first, then its sub-folders, each in the
// byte order of their names, so the output is the same byte for byte on
// every machine. Hidden entries (a leading '.') are skipped; links are
// followed.
//
// The whole tree is checked before a byte is written. What the bundle cannot
// hold, or what unpackBundle would not unpack, is refused with one line on
// standard error and exit status 1, and the output is left as it was:
//   - an entry that is neither a regular file nor a folder (a device, a
//     FIFO, a socket, a link to one of them or to nothing);
//   - a file larger than kMaxPackedFileBytes;
//   - a name that is not UTF-8, or that the unpacker skips (one holding a
//     backslash or "..", or a record's name longer than a file name can be,
//     a folder's with ".bnd" appended), or a file and a folder that would
//     both be records of the same name;
//   - folders nested deeper than the unpacker unpacks (kMaxBundleNesting);
//   - a nested bundle too large for its 32-bit length;
//   - a file named like a nested bundle ("*.bnd") that is not one whole, or
//     that holds a record unpacking would not write: unpacking would take it
//     for a bundle, unpack what it could and delete it (a real bundle is
//     packed, and unpacks into a folder);
//   - a file that changes while it is packed.
// The files are streamed into a temporary file beside the output, which is
// renamed over it once complete and on disk.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "framework/FilterFile.h"
#include "framework/PresetBundle.h"

namespace {

// The largest file packed: as large as the program reads a filter file,
// thousands of times any preset, and well within a record's 32-bit length.
constexpr uint64_t kMaxPackedFileBytes = static_cast<uint64_t>(kMaxFilterFileBytes);
static_assert(kMaxPackedFileBytes < UINT32_MAX, "a record's length is 32 bits");
constexpr uint64_t kMaxRecordDataBytes = UINT32_MAX;
constexpr size_t kChunkBytes = 65536;

// A path or name as it may be printed on one line: control bytes and the
// backslash written as C escapes.
std::string printable(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 32 || c == 127) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool fail(const std::string& path, const std::string& problem) {
    std::fprintf(stderr, "pack-bundle: %s: %s\n", printable(path).c_str(), problem.c_str());
    return false;
}

bool isUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t point = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            point = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            point = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            point = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = (point << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and points past U+10FFFF.
        if ((extra == 2 && point < 0x800) || (extra == 3 && point < 0x10000) || point > 0x10FFFF ||
            (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// One entry of the tree, as checked before writing.
struct Entry {
    std::string record;  // the record's name (a folder's with ".bnd")
    std::string path;
    bool folder = false;
    uint64_t size = 0;           // a file's length; a folder's nested bundle length
    std::vector<Entry> entries;  // a folder's, files first, each part in name order
};

uint64_t recordBytes(const Entry& entry) { return 12 + entry.record.size() + entry.size; }

uint64_t u32At(const char* bytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<uint64_t>(b[0]) | (static_cast<uint64_t>(b[1]) << 8) | (static_cast<uint64_t>(b[2]) << 16) |
           (static_cast<uint64_t>(b[3]) << 24);
}

// Whether bytes, a bundle unpacked at nesting depth `depth`, unpack whole:
// records back to back from the first byte to the last, each with a name
// unpacking writes, and each nested bundle that is unpacked (within
// kMaxBundleNesting) whole in turn. No bytes at all are a bundle of no
// records, as the packer makes of an empty folder. A name too long to be
// written is told in `problem`.
bool isWholeBundle(const char* bytes, uint64_t size, int depth, std::string& problem) {
    uint64_t at = 0;
    while (at < size) {
        if (size - at < 8 || std::memcmp(bytes + at, "FILE", 4) != 0) return false;
        const uint64_t nameLength = u32At(bytes + at + 4);
        at += 8;
        if (size - at < nameLength + 4) return false;
        const std::string name(bytes + at, static_cast<size_t>(nameLength));
        at += nameLength;
        const uint64_t dataLength = u32At(bytes + at);
        at += 4;
        if (size - at < dataLength || !isSafeBundleName(name.data(), name.size())) return false;
        if (!isWritableBundleName(name.data(), name.size())) {
            problem = "it holds a record whose name is " + std::to_string(name.size()) + " bytes long, beyond the " +
                      std::to_string(kMaxBundleNameBytes) + " bytes of a file name, which unpacking cannot write: \"" +
                      printable(name) + "\"";
            return false;
        }
        if (depth + 1 <= kMaxBundleNesting && isNestedBundleName(name.c_str()) &&
            !isWholeBundle(bytes + at, dataLength, depth + 1, problem))
            return false;
        at += dataLength;
    }
    return true;
}

// Reads a file of the checked length whole; a file of another length has
// changed since it was listed.
bool readWholeFile(const Entry& file, std::string& bytes) {
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(file.path, std::string("cannot read: ") + std::strerror(errno));
    // One byte more than the length is asked for: a file that grew has it.
    bytes.resize(static_cast<size_t>(file.size) + 1);
    size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t got = ::read(fd, &bytes[have], bytes.size() - have);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            return fail(file.path, std::string("cannot read: ") + std::strerror(error));
        }
        if (got == 0) break;
        have += static_cast<size_t>(got);
    }
    ::close(fd);
    if (have != file.size) return fail(file.path, "the file changed while it was packed");
    bytes.resize(have);
    return true;
}

// Lists and checks a folder at nesting depth `depth` (the source is 0).
bool scanFolder(Entry& folder, int depth) {
    DIR* dir = ::opendir(folder.path.c_str());
    if (!dir) return fail(folder.path, std::string("cannot read the folder: ") + std::strerror(errno));
    std::vector<std::string> names;
    // readdir gives null at the end of the folder and on a failure; errno,
    // cleared just before each call, tells which.
    int listError = 0;
    while (true) {
        errno = 0;
        const dirent* item = ::readdir(dir);
        if (!item) {
            listError = errno;
            break;
        }
        if (item->d_name[0] != '.') names.emplace_back(item->d_name);
    }
    ::closedir(dir);
    if (listError != 0) return fail(folder.path, std::string("cannot read the folder: ") + std::strerror(listError));
    std::sort(names.begin(), names.end());

    std::vector<Entry> files;
    std::vector<Entry> folders;
    for (const std::string& name : names) {
        Entry entry;
        entry.path = folder.path + "/" + name;
        if (!isUtf8(name)) return fail(entry.path, "the name is not UTF-8");
        if (name.find('\\') != std::string::npos || name.find("..") != std::string::npos)
            return fail(entry.path, "the name holds a backslash or \"..\", which unpacking skips");
        struct stat info;
        if (::stat(entry.path.c_str(), &info) != 0)
            return fail(entry.path, std::string("cannot read: ") + std::strerror(errno));
        if (S_ISDIR(info.st_mode)) {
            entry.folder = true;
            entry.record = name + ".bnd";
            if (!isWritableBundleName(entry.record.data(), entry.record.size()))
                return fail(entry.path, "the name is too long: its record \"" + printable(entry.record) + "\" is " +
                                            std::to_string(entry.record.size()) + " bytes, beyond the " +
                                            std::to_string(kMaxBundleNameBytes) +
                                            " bytes of a file name, which unpacking cannot write");
            folders.push_back(std::move(entry));
        } else if (S_ISREG(info.st_mode)) {
            if (static_cast<uint64_t>(info.st_size) > kMaxPackedFileBytes)
                return fail(entry.path, "the file is larger than " + std::to_string(kMaxPackedFileBytes >> 20) +
                                            " MB, far beyond any preset");
            entry.record = name;
            entry.size = static_cast<uint64_t>(info.st_size);
            files.push_back(std::move(entry));
        } else {
            return fail(entry.path, "not a regular file or a folder");
        }
    }
    if (!folders.empty() && depth + 1 > kMaxBundleNesting)
        return fail(folders.front().path,
                    "folders nested deeper than " + std::to_string(kMaxBundleNesting) + " levels do not unpack");

    std::set<std::string> records;
    folder.entries = std::move(files);
    for (Entry& sub : folders) folder.entries.push_back(std::move(sub));
    for (Entry& entry : folder.entries) {
        if (!records.insert(entry.record).second)
            return fail(entry.path, "a file and a folder would both be stored as \"" + entry.record + "\"");
        if (entry.folder && !scanFolder(entry, depth + 1)) return false;
    }
    // Unpacking takes a record named like a bundle for one, as long as it
    // unpacks nested bundles at the next depth; a file so named must be one.
    for (const Entry& entry : folder.entries) {
        if (entry.folder || depth + 1 > kMaxBundleNesting || !isNestedBundleName(entry.record.c_str())) continue;
        std::string bytes;
        if (!readWholeFile(entry, bytes)) return false;
        std::string problem;
        if (!isWholeBundle(bytes.data(), bytes.size(), depth + 1, problem))
            return fail(entry.path, !problem.empty() ? problem
                                                     : "the name ends in \".bnd\" but the file is not a bundle: "
                                                       "unpacking would take it for one and lose it");
    }
    folder.size = 0;
    for (const Entry& entry : folder.entries) folder.size += recordBytes(entry);
    if (depth > 0 && folder.size > kMaxRecordDataBytes)
        return fail(folder.path, "the folder makes a nested bundle of 4 GB or more, beyond a record's length");
    return true;
}

// Buffered writing to the temporary output file.
class Output {
public:
    explicit Output(int fd) : fd_(fd) { buffer_.reserve(kChunkBytes); }
    bool put(const void* bytes, size_t size) {
        const char* p = static_cast<const char*>(bytes);
        if (buffer_.size() + size > kChunkBytes && !flush()) return false;
        if (size >= kChunkBytes) return writeAll(p, size);
        buffer_.insert(buffer_.end(), p, p + size);
        return true;
    }
    bool putU32(uint64_t value) {
        const unsigned char bytes[4] = {static_cast<unsigned char>(value & 0xFF),
                                        static_cast<unsigned char>((value >> 8) & 0xFF),
                                        static_cast<unsigned char>((value >> 16) & 0xFF),
                                        static_cast<unsigned char>((value >> 24) & 0xFF)};
        return put(bytes, 4);
    }
    bool flush() {
        const bool ok = writeAll(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok;
    }
    // Why the last write failed, as the system says it.
    std::string problem() const {
        return std::string("cannot write the bundle: ") + std::strerror(error != 0 ? error : EIO);
    }
    int error = 0;

private:
    bool writeAll(const char* p, size_t size) {
        while (size > 0) {
            const ssize_t done = ::write(fd_, p, size);
            if (done < 0) {
                if (errno == EINTR) continue;
                error = errno;
                return false;
            }
            p += done;
            size -= static_cast<size_t>(done);
        }
        return true;
    }
    int fd_;
    std::vector<char> buffer_;
};

// Copies exactly the checked length of a file into the output.
bool streamFile(const Entry& file, Output& out) {
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(file.path, std::string("cannot read: ") + std::strerror(errno));
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<uint64_t>(info.st_size) != file.size) {
        ::close(fd);
        return fail(file.path, "the file changed while it was packed");
    }
    std::vector<char> chunk(kChunkBytes);
    uint64_t left = file.size;
    // One byte more than the length is asked for at the end: a file that
    // grew meanwhile has it.
    while (true) {
        const size_t want = left > 0 ? static_cast<size_t>(std::min<uint64_t>(left, kChunkBytes)) : 1;
        const ssize_t got = ::read(fd, chunk.data(), want);
        if (got < 0 && errno == EINTR) continue;
        bool ok = true;
        if (got < 0)
            ok = fail(file.path, std::string("cannot read: ") + std::strerror(errno));
        else if ((got == 0) != (left == 0))
            ok = fail(file.path, "the file changed while it was packed");
        else if (got > 0 && !out.put(chunk.data(), static_cast<size_t>(got)))
            ok = fail(file.path, out.problem());
        if (!ok || left == 0) {
            ::close(fd);
            return ok;
        }
        left -= static_cast<uint64_t>(got);
    }
}

bool writeEntries(const Entry& folder, Output& out) {
    for (const Entry& entry : folder.entries) {
        bool ok = out.put("FILE", 4) && out.putU32(entry.record.size()) &&
                  out.put(entry.record.data(), entry.record.size()) && out.putU32(entry.size);
        if (!ok) return fail(entry.path, out.problem());
        ok = entry.folder ? writeEntries(entry, out) : streamFile(entry, out);
        if (!ok) return false;
    }
    return true;
}

// Writes the bundle beside the target and renames it over the target.
bool writeBundle(const Entry& source, const std::string& target) {
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) return fail(target, std::string("cannot write: ") + std::strerror(errno));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);  // the permissions a new file gets
    Output out(fd);
    bool ok = writeEntries(source, out);
    if (ok && (!out.flush() || ::fsync(fd) != 0)) {
        if (out.error == 0) out.error = errno;
        ok = fail(target, std::string("cannot write: ") + std::strerror(out.error));
    }
    if (::close(fd) != 0 && ok) ok = fail(target, std::string("cannot write: ") + std::strerror(errno));
    if (ok && std::rename(temp.c_str(), target.c_str()) != 0)
        ok = fail(target, std::string("cannot write: ") + std::strerror(errno));
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pellucine-pack-bundle SOURCE_FOLDER OUTPUT.bnd\n");
        return 2;
    }
    Entry source;
    source.path = argv[1];
    while (source.path.size() > 1 && source.path.back() == '/') source.path.pop_back();
    struct stat info;
    if (::stat(source.path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        fail(source.path, "no folder");
        return 1;
    }
    if (!scanFolder(source, 0) || !writeBundle(source, argv[2])) return 1;
    return 0;
}
