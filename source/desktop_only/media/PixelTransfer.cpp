#include "PixelTransfer.h"

#include "foundation/ImageBuffer.h"
#include "platform/ParallelFor.h"

#include <QColorSpace>
#include <QImage>
#include <QVector>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace {

// Where upright pixel (x, y) is found in the stored image:
// sx = ax * x + bx * y + cx, sy = ay * x + by * y + cy.
struct OrientationMap {
    int64_t ax, bx, cx, ay, by, cy;
};

OrientationMap orientationMap(int64_t w, int64_t h, int32_t orientation) {
    switch (orientation) {
        case 2: return {-1, 0, w - 1, 0, 1, 0};        // mirrored left to right
        case 3: return {-1, 0, w - 1, 0, -1, h - 1};   // turned 180 degrees
        case 4: return {1, 0, 0, 0, -1, h - 1};        // mirrored top to bottom
        case 5: return {0, 1, 0, 1, 0, 0};             // transposed
        case 6: return {0, 1, 0, -1, 0, h - 1};        // to be turned 90 degrees clockwise
        case 7: return {0, -1, w - 1, -1, 0, h - 1};   // transversed
        case 8: return {0, -1, w - 1, 1, 0, 0};        // to be turned 90 degrees anticlockwise
        default: return {1, 0, 0, 0, 1, 0};
    }
}

// Sample conversions from the decoded image's samples to the buffer's; the
// unused pointer argument selects the buffer's sample type.
inline uint8_t convert(uint8_t v, uint8_t*) { return v; }
inline uint8_t convert(uint16_t v, uint8_t*) {
    return static_cast<uint8_t>((static_cast<uint32_t>(v) * 255u + 32767u) / 65535u);  // nearest level
}
inline float convert(uint8_t v, float*) { return static_cast<float>(v); }
inline float convert(uint16_t v, float*) { return static_cast<float>(v) / 257.0f; }

// Rec. 601 luma, rounded; gives r itself when r == g == b.
template <class S>
inline S greyOf(S r, S g, S b) {
    return static_cast<S>((static_cast<uint32_t>(r) * 299u + static_cast<uint32_t>(g) * 587u +
                           static_cast<uint32_t>(b) * 114u + 500u) / 1000u);
}

// How the decoded image's pixels are laid out: four samples R, G, B, A of
// 8 or 16 bits, or one 32-bit word 0xffRRGGBB (Format_RGB32, read as a word
// so that the byte order of the machine does not matter).
template <class S>
struct RgbaSamples {
    using Unit = S;      // what the image's rows are made of
    using Sample = S;    // one sample
    static constexpr int64_t kUnits = 4;  // units per pixel
    static Sample red(const Unit* p) { return p[0]; }
    static Sample green(const Unit* p) { return p[1]; }
    static Sample blue(const Unit* p) { return p[2]; }
    static Sample alpha(const Unit* p) { return p[3]; }
};

struct Rgb32Words {
    using Unit = uint32_t;
    using Sample = uint8_t;
    static constexpr int64_t kUnits = 1;
    static Sample red(const Unit* p) { return static_cast<uint8_t>(*p >> 16); }
    static Sample green(const Unit* p) { return static_cast<uint8_t>(*p >> 8); }
    static Sample blue(const Unit* p) { return static_cast<uint8_t>(*p); }
    static Sample alpha(const Unit*) { return 255; }
};

// Rows per task of the parallel copies: about a megabyte of output each.
int64_t rowsPerTask(int64_t rowBytes) {
    const int64_t rows = rowBytes > 0 ? (int64_t(1) << 20) / rowBytes : 1;
    return rows < 1 ? 1 : rows;
}

// Runs body(y) for every row of a height-row image on the parallel loop's
// threads, `rows` neighbouring rows a task.
template <class Body>
void forEachRow(int32_t height, int64_t rows, const Body& body) {
    const int32_t tasks = static_cast<int32_t>((height + rows - 1) / rows);
    parallelFor(tasks, 0.5f, [&](int32_t task) {
        const int64_t top = static_cast<int64_t>(task) * rows;
        const int64_t bottom = top + rows < height ? top + rows : height;
        for (int64_t y = top; y < bottom; ++y) body(static_cast<int32_t>(y));
    });
}

template <class Layout, class D>
void copyUpright(const QImage& decoded, int32_t orientation, ImageBuffer* image) {
    using U = typename Layout::Unit;
    const int32_t channels = image->channelCount();
    const OrientationMap m = orientationMap(decoded.width(), decoded.height(), orientation);
    const U* base = reinterpret_cast<const U*>(decoded.constBits());
    const int64_t stride = decoded.bytesPerLine() / static_cast<int64_t>(sizeof(U));
    // Moving one pixel right in the upright image moves this far in the source.
    const int64_t step = m.ax * Layout::kUnits + m.ay * stride;
    D* out = static_cast<D*>(image->data);
    const int32_t width = image->width;
    forEachRow(image->height, rowsPerTask(static_cast<int64_t>(width) * channels * sizeof(D)), [&](int32_t y) {
        D* tag = nullptr;  // selects the conversion by destination type
        // Offsets, not stepped pointers: a pointer must never be moved
        // outside the image, even after the last pixel of a row.
        int64_t at = (m.bx * y + m.cx) * Layout::kUnits + (m.by * y + m.cy) * stride;
        D* row = out + static_cast<int64_t>(y) * width * channels;
        switch (channels) {
            case 1:
                for (int32_t x = 0; x < width; ++x, at += step) {
                    const U* p = base + at;
                    row[x] = convert(greyOf(Layout::red(p), Layout::green(p), Layout::blue(p)), tag);
                }
                break;
            case 2:
                for (int32_t x = 0; x < width; ++x, at += step) {
                    const U* p = base + at;
                    row[x * 2] = convert(greyOf(Layout::red(p), Layout::green(p), Layout::blue(p)), tag);
                    row[x * 2 + 1] = convert(Layout::alpha(p), tag);
                }
                break;
            case 3:
                for (int32_t x = 0; x < width; ++x, at += step) {
                    const U* p = base + at;
                    row[x * 3] = convert(Layout::red(p), tag);
                    row[x * 3 + 1] = convert(Layout::green(p), tag);
                    row[x * 3 + 2] = convert(Layout::blue(p), tag);
                }
                break;
            default:
                for (int32_t x = 0; x < width; ++x, at += step) {
                    const U* p = base + at;
                    row[x * 4] = convert(Layout::red(p), tag);
                    row[x * 4 + 1] = convert(Layout::green(p), tag);
                    row[x * 4 + 2] = convert(Layout::blue(p), tag);
                    row[x * 4 + 3] = convert(Layout::alpha(p), tag);
                }
                break;
        }
    });
}

// A float sample stored as 16 bits: clamped, NaN as 0, rounded.
inline uint16_t storeWord(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 65535;
    return static_cast<uint16_t>(v * 257.0f + 0.5f);
}
inline uint8_t storeSample(float v, uint8_t*) { return storeByte(v); }
inline uint16_t storeSample(float v, uint16_t*) { return storeWord(v); }
inline uint8_t storeSample(uint8_t v, uint8_t*) { return v; }

template <class S, class D>
inline void storeRow(D* out, const S* in, int64_t count) {
    D* tag = nullptr;
    for (int64_t i = 0; i < count; ++i) out[i] = storeSample(in[i], tag);
}
template <>
inline void storeRow<float, uint8_t>(uint8_t* out, const float* in, int64_t count) {
    storeBytes(out, in, count);
}

// Fills a QImage laid out with outChannels samples of type D per pixel (1
// grey, 3 RGB, 4 RGBA) from the buffer's samples of type S. A 2-channel
// buffer becomes grey RGBA; a 3-channel one written into 4 samples is opaque;
// a 4-channel one written into 3 samples loses its alpha.
template <class S, class D>
void fillImage(const ImageBuffer& image, int32_t outChannels, QImage* target) {
    const int32_t channels = image.channelCount();
    const D opaque = static_cast<D>(sizeof(D) == 1 ? 255 : 65535);
    const S* in = static_cast<const S*>(image.data);
    // The rows are reached through the first one: scanLine() is not to be
    // called from several threads at once.
    uchar* firstRow = target->bits();
    const int64_t bytesPerLine = target->bytesPerLine();
    const int32_t width = image.width;
    forEachRow(image.height, rowsPerTask(bytesPerLine), [&](int32_t y) {
        D* tag = nullptr;  // selects the conversion by destination type
        D* row = reinterpret_cast<D*>(firstRow + y * bytesPerLine);
        const S* src = in + static_cast<int64_t>(y) * width * channels;
        if (channels == outChannels) {
            storeRow(row, src, static_cast<int64_t>(width) * channels);
        } else if (channels == 4 && outChannels == 3) {
            for (int32_t x = 0; x < width; ++x) {
                row[x * 3] = storeSample(src[x * 4], tag);
                row[x * 3 + 1] = storeSample(src[x * 4 + 1], tag);
                row[x * 3 + 2] = storeSample(src[x * 4 + 2], tag);
            }
        } else if (channels == 2) {
            for (int32_t x = 0; x < width; ++x) {
                const D grey = storeSample(src[x * 2], tag);
                row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = grey;
                row[x * 4 + 3] = storeSample(src[x * 2 + 1], tag);
            }
        } else {  // 3 channels into 4 samples
            for (int32_t x = 0; x < width; ++x) {
                row[x * 4] = storeSample(src[x * 3], tag);
                row[x * 4 + 1] = storeSample(src[x * 3 + 1], tag);
                row[x * 4 + 2] = storeSample(src[x * 3 + 2], tag);
                row[x * 4 + 3] = opaque;
            }
        }
    });
}

}  // namespace

void uprightSize(int32_t width, int32_t height, int32_t orientation, int32_t* uprightWidth, int32_t* uprightHeight) {
    const bool swap = orientation >= 5 && orientation <= 8;
    *uprightWidth = swap ? height : width;
    *uprightHeight = swap ? width : height;
}

bool copyToBuffer(const QImage& decoded, int32_t orientation, int32_t channels, bool asFloat, ImageBuffer* image,
                  bool keepStorage) {
    if (!image || decoded.isNull() || channels < 1 || channels > 4) return false;
    const bool deep = decoded.format() == QImage::Format_RGBA64;
    const bool words = decoded.format() == QImage::Format_RGB32;
    if (!deep && !words && decoded.format() != QImage::Format_RGBA8888) return false;
    if (orientation < 1 || orientation > 8) orientation = 1;
    int32_t width = 0;
    int32_t height = 0;
    uprightSize(decoded.width(), decoded.height(), orientation, &width, &height);
    const bool fits = keepStorage && image->data && image->owns && image->width == width && image->height == height &&
                      image->channels == channels;
    if (!fits) {
        const bool allocated =
            asFloat ? image->allocateFloat(width, height, channels) : image->allocate8(width, height, channels);
        if (!allocated || !image->data) {
            image->release();
            return false;
        }
        preferLargePages(image->data, static_cast<size_t>(image->sampleCount()) * (asFloat ? sizeof(float) : 1));
    }
    if (deep) {
        if (asFloat) copyUpright<RgbaSamples<uint16_t>, float>(decoded, orientation, image);
        else copyUpright<RgbaSamples<uint16_t>, uint8_t>(decoded, orientation, image);
    } else if (words) {
        if (asFloat) copyUpright<Rgb32Words, float>(decoded, orientation, image);
        else copyUpright<Rgb32Words, uint8_t>(decoded, orientation, image);
    } else {
        if (asFloat) copyUpright<RgbaSamples<uint8_t>, float>(decoded, orientation, image);
        else copyUpright<RgbaSamples<uint8_t>, uint8_t>(decoded, orientation, image);
    }
    return true;
}

QImage imageFromBuffer(const ImageBuffer& image, bool isFloat, bool sixteenBit, bool opaque) {
    const int32_t channels = image.channelCount();
    if (!image.data || image.width < 1 || image.height < 1 || channels < 1 || channels > 4) return QImage();
    const bool deep = isFloat && sixteenBit;
    // Alpha left out of 8-bit samples gives RGB, as for 3 channels.
    const bool rgb = channels == 3 || (channels == 4 && opaque && !deep);
    QImage::Format format;
    if (channels == 1) format = deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    else if (rgb) format = deep ? QImage::Format_RGBX64 : QImage::Format_RGB888;
    else format = deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    QImage target(image.width, image.height, format);
    if (target.isNull()) return QImage();
    preferLargePages(target.bits(), static_cast<size_t>(target.sizeInBytes()));
    const int32_t outChannels = channels == 1 ? 1 : (rgb && !deep ? 3 : 4);
    if (deep) fillImage<float, uint16_t>(image, outChannels, &target);
    else if (isFloat) fillImage<float, uint8_t>(image, outChannels, &target);
    else fillImage<uint8_t, uint8_t>(image, outChannels, &target);
    return target;
}

// Written without branches so that it vectorises: clamped to 0..255 (NaN
// fails the first test and becomes 0), then truncated toward zero.
__attribute__((optimize("vect-cost-model=dynamic"))) void storeBytes(uint8_t* out, const float* in, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        float v = in[i];
        v = v > 0.0f ? v : 0.0f;
        v = v < 255.0f ? v : 255.0f;
        out[i] = static_cast<uint8_t>(static_cast<int32_t>(v));
    }
}

void preferLargePages(void* data, size_t bytes) {
    constexpr size_t kLargePage = size_t(2) << 20;  // the x86-64 transparent huge page
    if (!data || bytes < 4 * kLargePage) return;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLargePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);  // advice only: failure is harmless
}

void mapForWriting(void* data, size_t bytes) {
    if (!data || bytes == 0) return;
    preferLargePages(data, bytes);
    constexpr size_t kPage = 4096;      // the smallest page: every page gets one write
    constexpr size_t kChunk = size_t(1) << 21;
    char* base = static_cast<char*>(data);
    const int32_t chunks = static_cast<int32_t>((bytes + kChunk - 1) / kChunk);
    parallelFor(chunks, 0.5f, [base, bytes](int32_t i) {
        const size_t start = static_cast<size_t>(i) * kChunk;
        const size_t end = start + kChunk < bytes ? start + kChunk : bytes;
        for (size_t at = start; at < end; at += kPage) base[at] = 0;
    });
}

bool convertInStrips(QImage* image, QImage::Format target) {
    if (!image || image->isNull()) return false;
    if (image->format() == target) return true;
    const int width = image->width();
    const int height = image->height();
    QImage converted(width, height, target);
    if (converted.isNull()) return false;
    // Qt converts sources under 128 KB on the calling thread; a strip of
    // 64 KB (at least one row) stays below that.
    constexpr qsizetype kStripBytes = qsizetype(1) << 16;
    const qsizetype rowBytes = image->bytesPerLine();
    const int stripRows = rowBytes > 0 && rowBytes < kStripBytes ? static_cast<int>(kStripBytes / rowBytes) : 1;
    const QVector<QRgb> palette = image->colorTable();
    const size_t outRowBytes = static_cast<size_t>(converted.bytesPerLine());
    for (int top = 0; top < height; top += stripRows) {
        const int rows = stripRows < height - top ? stripRows : height - top;
        // A read-only view of the strip's rows: no copy.
        QImage strip(image->constScanLine(top), width, rows, static_cast<int>(rowBytes), image->format());
        if (!palette.isEmpty()) strip.setColorTable(palette);
        const QImage part = strip.convertToFormat(target);
        if (part.isNull() || static_cast<size_t>(part.bytesPerLine()) < outRowBytes) return false;
        for (int r = 0; r < rows; ++r) std::memcpy(converted.scanLine(top + r), part.constScanLine(r), outRowBytes);
    }
    converted.setColorSpace(image->colorSpace());
    *image = std::move(converted);
    return true;
}
