#include "PliFile.h"

#include "MediaFileIo.h"
#include "PixelTransfer.h"

#include <QByteArray>
#include <QImage>

#include <climits>
#include <cstring>

namespace {

const char kMagic[] = "RGBA8XXXXXXX";
constexpr size_t kMagicSize = 12;
constexpr size_t kHeaderSize = kMagicSize + 8;  // magic, width, height

int32_t readLittleEndian32(const uint8_t* p) {
    const uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(v);
}

void writeLittleEndian32(char* p, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    p[0] = static_cast<char>(v & 0xff);
    p[1] = static_cast<char>((v >> 8) & 0xff);
    p[2] = static_cast<char>((v >> 16) & 0xff);
    p[3] = static_cast<char>((v >> 24) & 0xff);
}

}  // namespace

bool isPliData(const uint8_t* data, size_t size) {
    return data && size >= kMagicSize && std::memcmp(data, kMagic, kMagicSize) == 0;
}

bool decodePli(const uint8_t* data, size_t size, QImage* out, GrowString* reason) {
    if (!out || !isPliData(data, size) || size < kHeaderSize) {
        setReason(reason, "is not a .pli file");
        return false;
    }
    const int32_t width = readLittleEndian32(data + kMagicSize);
    const int32_t height = readLittleEndian32(data + kMagicSize + 4);
    if (!withinPixelBudget(width, height)) {
        setReason(reason, "the .pli file's size is out of range");
        return false;
    }
    if (!fitsInWorkingMemory(width, height)) {
        setReason(reason, "is too large for this machine's memory");
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    if ((size - kHeaderSize) / rowBytes < static_cast<size_t>(height)) {
        setReason(reason, "the .pli file is cut short");
        return false;
    }

    QImage image(width, height, QImage::Format_RGBA8888);
    if (image.isNull()) {
        setReason(reason, "out of memory decoding the .pli file");
        return false;
    }
    const uint8_t* pixels = data + kHeaderSize;
    for (int32_t y = 0; y < height; ++y) std::memcpy(image.scanLine(y), pixels + y * rowBytes, rowBytes);
    *out = std::move(image);
    return true;
}

bool encodePli(const QImage& image, QByteArray* out) {
    if (!out || image.isNull()) return false;
    QImage rgba = image;
    if (!convertInStrips(&rgba, QImage::Format_RGBA8888)) return false;
    const size_t rowBytes = static_cast<size_t>(rgba.width()) * 4;
    const size_t total = kHeaderSize + rowBytes * static_cast<size_t>(rgba.height());
    if (total > static_cast<size_t>(INT_MAX)) return false;  // beyond what one QByteArray holds

    QByteArray bytes(static_cast<int>(total), Qt::Uninitialized);
    char* p = bytes.data();
    std::memcpy(p, kMagic, kMagicSize);
    writeLittleEndian32(p + kMagicSize, rgba.width());
    writeLittleEndian32(p + kMagicSize + 4, rgba.height());
    for (int y = 0; y < rgba.height(); ++y) {
        std::memcpy(p + kHeaderSize + static_cast<size_t>(y) * rowBytes, rgba.constScanLine(y), rowBytes);
    }
    *out = std::move(bytes);
    return true;
}
