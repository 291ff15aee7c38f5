#include "framework/PresetBundle.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "foundation/GrowArray.h"
#include "platform/FileOperations.h"

namespace {

// Longer names are no file names; their bytes are skipped, not loaded.
constexpr uint32_t kMaxNameLength = 4096;
constexpr qint64 kCopyChunk = 65536;

bool readU32(QFile& archive, uint32_t& value) {
    unsigned char bytes[4];
    if (archive.read(reinterpret_cast<char*>(bytes), 4) != 4) return false;
    value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
            (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

// Writes all of bytes, retrying short writes.
bool writeAll(int fd, const char* bytes, qint64 size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, bytes, static_cast<size_t>(size));
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += done;
        size -= done;
    }
    return true;
}

// Copies up to length bytes of the archive into fd (-1: read and drop them).
void copyData(QFile& archive, int fd, uint32_t length) {
    qint64 left = length;
    if (fd < 0) {
        archive.skip(left);
        return;
    }
    QByteArray chunk;
    bool writing = true;
    while (left > 0) {
        chunk = archive.read(qMin(left, kCopyChunk));
        if (chunk.isEmpty()) break;  // end of the archive: a short file
        left -= chunk.size();
        if (writing) writing = writeAll(fd, chunk.constData(), chunk.size());
    }
}

struct NestedBundle {
    GrowString path;    // the bundle file that was written
    GrowString folder;  // where its records go
};

// Opens a file path through its bytes as they stand (whatever the locale
// would make of them), and a resource path ":/..." through Qt's resources.
bool openArchive(QFile& archive, const GrowString& path) {
    if (path.c_str()[0] == ':') {
        archive.setFileName(QString::fromUtf8(path.c_str()));
        return archive.open(QIODevice::ReadOnly);
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    if (archive.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return true;
    ::close(fd);
    return false;
}

bool unpackInto(const GrowString& archivePath, const GrowString& target, int depth) {
    QFile archive;
    if (!openArchive(archive, archivePath)) return false;

    GrowArray<NestedBundle> nested;
    bool folderReady = false;
    for (;;) {
        // Records start with "FILE"; anything else is skipped in steps of
        // four bytes until a tag or the end is found.
        char tag[4];
        if (archive.read(tag, 4) != 4) break;
        if (std::memcmp(tag, "FILE", 4) != 0) continue;

        uint32_t nameLength = 0;
        if (!readU32(archive, nameLength)) break;
        QByteArray name;
        if (nameLength <= kMaxNameLength) {
            name = archive.read(nameLength);
            if (static_cast<uint32_t>(name.size()) != nameLength) break;
        } else if (archive.skip(nameLength) != static_cast<qint64>(nameLength)) {
            break;
        }
        uint32_t dataLength = 0;
        if (!readU32(archive, dataLength)) break;

        int fd = -1;
        GrowString path;
        if (isSafeBundleName(name.constData(), static_cast<size_t>(name.size()))) {
            path = target;
            path.append(name.constData());
            if (!folderReady) folderReady = ensureFolderExists(target);
            // O_NOFOLLOW: a link planted under the name is not written through.
            // A name longer than a file name is not tried: the packer refuses
            // by the same judgement what unpacking does not write.
            if (isWritableBundleName(name.constData(), static_cast<size_t>(name.size())))
                fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        }
        copyData(archive, fd, dataLength);
        if (fd < 0) continue;
        ::close(fd);

        // A safe name holds no NUL: its bytes are the whole name.
        if (isNestedBundleName(name.constData())) {
            const int dot = name.lastIndexOf('.');
            GrowString folder = target;
            folder.append(name.left(dot).constData());
            folder.append("/");
            bool seen = false;
            for (int32_t i = 0; i < nested.count && !seen; ++i) seen = nested[i].path == path;
            if (!seen) nested.append(NestedBundle{path, folder});
        }
    }
    archive.close();

    for (int32_t i = 0; i < nested.count; ++i) {
        // Beyond the nesting limit a bundle stays a file: a hostile archive
        // could nest one per record.
        if (depth + 1 > kMaxBundleNesting) continue;
        unpackInto(nested[i].path, nested[i].folder, depth + 1);
        removePath(nested[i].path);
    }
    return true;
}

}  // namespace

bool unpackBundle(const GrowString& archivePath, const GrowString& folder) {
    if (folder.isEmpty() || archivePath.isEmpty()) return false;
    // The folder is always taken for a folder, even when its last component
    // holds a '.', so a bundle named "Vol. 2" unpacks into "Vol. 2/".
    GrowString target = folder;
    if (target.c_str()[target.textLength() - 1] != '/') target.append("/");
    return unpackInto(archivePath, target, 0);
}
