#include "MediaFileIo.h"

#include "foundation/GrowString.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include <new>

bool withinPixelBudget(int64_t width, int64_t height) {
    if (width < 1 || height < 1) return false;
    if (width > kMaxImagePixels || height > kMaxImagePixels) return false;
    return width * height <= kMaxImagePixels;
}

QString qtPath(const GrowString& path) {
    return QFile::decodeName(path.c_str());
}

bool FileBytes::read(const QString& path) {
    bytes_.reset();
    size_ = 0;
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) return false;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const qint64 total = file.size();
    if (total <= 0) return false;

    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(total)]);
    if (!bytes) return false;
    qint64 done = 0;
    while (done < total) {
        const qint64 got = file.read(reinterpret_cast<char*>(bytes.get()) + done, total - done);
        if (got <= 0) return false;  // error or the file shrank while being read
        done += got;
    }
    bytes_ = std::move(bytes);
    size_ = static_cast<size_t>(total);
    return true;
}

bool writeFileReplacing(const QString& path, const char* data, size_t size) {
    if (path.isEmpty() || path.startsWith(QLatin1String(":/")) || !data) return false;
    if (QFileInfo(path).isDir()) return false;
    // QSaveFile writes "<name>.XXXXXX" beside the target and renames it over
    // the target on commit; without commit the temporary file is discarded.
    // Unbuffered: every write reaches the file at once, so a short or failed
    // write (a full disk, a file-size limit) is seen here. Through the buffer
    // it would surface only in commit's flush, whose failure commit ignores,
    // renaming a truncated file over the target.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    size_t done = 0;
    while (done < size) {
        const qint64 wrote = file.write(data + done, static_cast<qint64>(size - done));
        if (wrote <= 0) {
            file.cancelWriting();
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return file.commit();
}
