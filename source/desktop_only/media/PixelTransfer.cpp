#include "PixelTransfer.h"

#include "foundation/ImageBuffer.h"

#include <QImage>

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
inline S greyOf(const S* p) {
    return static_cast<S>((static_cast<uint32_t>(p[0]) * 299u + static_cast<uint32_t>(p[1]) * 587u +
                           static_cast<uint32_t>(p[2]) * 114u + 500u) / 1000u);
}

template <class S, class D>
void copyUpright(const QImage& decoded, int32_t orientation, ImageBuffer* image) {
    const int32_t channels = image->channelCount();
    const OrientationMap m = orientationMap(decoded.width(), decoded.height(), orientation);
    const S* base = reinterpret_cast<const S*>(decoded.constBits());
    const int64_t stride = decoded.bytesPerLine() / static_cast<int64_t>(sizeof(S));
    // Moving one pixel right in the upright image moves this far in the source.
    const int64_t step = m.ax * 4 + m.ay * stride;
    D* out = static_cast<D*>(image->data);
    D* tag = nullptr;  // selects the conversion by destination type
    for (int32_t y = 0; y < image->height; ++y) {
        // Offsets, not stepped pointers: a pointer must never be moved
        // outside the image, even after the last pixel of a row.
        int64_t at = (m.bx * y + m.cx) * 4 + (m.by * y + m.cy) * stride;
        D* row = out + static_cast<int64_t>(y) * image->width * channels;
        switch (channels) {
            case 1:
                for (int32_t x = 0; x < image->width; ++x, at += step) row[x] = convert(greyOf(base + at), tag);
                break;
            case 2:
                for (int32_t x = 0; x < image->width; ++x, at += step) {
                    const S* p = base + at;
                    row[x * 2] = convert(greyOf(p), tag);
                    row[x * 2 + 1] = convert(p[3], tag);
                }
                break;
            case 3:
                for (int32_t x = 0; x < image->width; ++x, at += step) {
                    const S* p = base + at;
                    row[x * 3] = convert(p[0], tag);
                    row[x * 3 + 1] = convert(p[1], tag);
                    row[x * 3 + 2] = convert(p[2], tag);
                }
                break;
            default:
                for (int32_t x = 0; x < image->width; ++x, at += step) {
                    const S* p = base + at;
                    row[x * 4] = convert(p[0], tag);
                    row[x * 4 + 1] = convert(p[1], tag);
                    row[x * 4 + 2] = convert(p[2], tag);
                    row[x * 4 + 3] = convert(p[3], tag);
                }
                break;
        }
    }
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

// Fills a QImage laid out with outChannels samples of type D per pixel (1
// grey, 3 RGB, 4 RGBA) from the buffer's samples of type S. A 2-channel
// buffer becomes grey RGBA; a 3-channel one written into 4 samples is opaque.
template <class S, class D>
void fillImage(const ImageBuffer& image, int32_t outChannels, QImage* target) {
    const int32_t channels = image.channelCount();
    const D opaque = static_cast<D>(sizeof(D) == 1 ? 255 : 65535);
    const S* in = static_cast<const S*>(image.data);
    D* tag = nullptr;  // selects the conversion by destination type
    for (int32_t y = 0; y < image.height; ++y) {
        D* row = reinterpret_cast<D*>(target->scanLine(y));
        const S* src = in + static_cast<int64_t>(y) * image.width * channels;
        if (channels == outChannels) {
            const int64_t count = static_cast<int64_t>(image.width) * channels;
            for (int64_t i = 0; i < count; ++i) row[i] = storeSample(src[i], tag);
        } else if (channels == 2) {
            for (int32_t x = 0; x < image.width; ++x) {
                const D grey = storeSample(src[x * 2], tag);
                row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = grey;
                row[x * 4 + 3] = storeSample(src[x * 2 + 1], tag);
            }
        } else {  // 3 channels into 4 samples
            for (int32_t x = 0; x < image.width; ++x) {
                row[x * 4] = storeSample(src[x * 3], tag);
                row[x * 4 + 1] = storeSample(src[x * 3 + 1], tag);
                row[x * 4 + 2] = storeSample(src[x * 3 + 2], tag);
                row[x * 4 + 3] = opaque;
            }
        }
    }
}

}  // namespace

void uprightSize(int32_t width, int32_t height, int32_t orientation, int32_t* uprightWidth, int32_t* uprightHeight) {
    const bool swap = orientation >= 5 && orientation <= 8;
    *uprightWidth = swap ? height : width;
    *uprightHeight = swap ? width : height;
}

bool copyToBuffer(const QImage& decoded, int32_t orientation, int32_t channels, bool asFloat, ImageBuffer* image) {
    if (!image || decoded.isNull() || channels < 1 || channels > 4) return false;
    const bool deep = decoded.format() == QImage::Format_RGBA64;
    if (!deep && decoded.format() != QImage::Format_RGBA8888) return false;
    if (orientation < 1 || orientation > 8) orientation = 1;
    int32_t width = 0;
    int32_t height = 0;
    uprightSize(decoded.width(), decoded.height(), orientation, &width, &height);
    const bool allocated = asFloat ? image->allocateFloat(width, height, channels) : image->allocate8(width, height, channels);
    if (!allocated || !image->data) {
        image->release();
        return false;
    }
    if (deep) {
        if (asFloat) copyUpright<uint16_t, float>(decoded, orientation, image);
        else copyUpright<uint16_t, uint8_t>(decoded, orientation, image);
    } else {
        if (asFloat) copyUpright<uint8_t, float>(decoded, orientation, image);
        else copyUpright<uint8_t, uint8_t>(decoded, orientation, image);
    }
    return true;
}

QImage imageFromBuffer(const ImageBuffer& image, bool isFloat, bool sixteenBit) {
    const int32_t channels = image.channelCount();
    if (!image.data || image.width < 1 || image.height < 1 || channels < 1 || channels > 4) return QImage();
    const bool deep = isFloat && sixteenBit;
    QImage::Format format;
    switch (channels) {
        case 1: format = deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8; break;
        case 3: format = deep ? QImage::Format_RGBX64 : QImage::Format_RGB888; break;
        default: format = deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888; break;
    }
    QImage target(image.width, image.height, format);
    if (target.isNull()) return QImage();
    const int32_t outChannels = channels == 1 ? 1 : (channels == 3 && !deep ? 3 : 4);
    if (deep) fillImage<float, uint16_t>(image, outChannels, &target);
    else if (isFloat) fillImage<float, uint8_t>(image, outChannels, &target);
    else fillImage<uint8_t, uint8_t>(image, outChannels, &target);
    return target;
}
