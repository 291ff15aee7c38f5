#include "PixelTransfer.h"

#include "foundation/ImageBuffer.h"
#include "platform/ParallelFor.h"

#include <QColorSpace>
#include <QImage>
#include <QVector>

#include <sys/mman.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <vector>

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

// Copies the upright pixels x0..x1-1 of row y into the buffer from a
// picture whose rows from `firstRow` on are held at `bits` (bytesPerLine
// apart): the whole picture with firstRow 0, or a strip of its rows.
#if defined(__SSE2__) && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
// Words 0xffRRGGBB (bytes B, G, R, 255 in memory) to float R, G, B, four
// pixels a step: the samples widened to 32-bit integers and converted
// (exactly), then put in order with shuffles. Returns the pixels done.
// Store is _mm_storeu_ps, or _mm_stream_ps for output aligned to 16 bytes.
template <void (*Store)(float*, __m128)>
inline int32_t wordsToFloatRgbWith(const uint32_t* in, float* out, int32_t count) {
    const __m128i zero = _mm_setzero_si128();
    int32_t x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        const __m128i lo = _mm_unpacklo_epi8(px, zero);
        const __m128i hi = _mm_unpackhi_epi8(px, zero);
        const __m128 q0 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero));  // B0 G0 R0 A0
        const __m128 q1 = _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero));
        const __m128 q2 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero));
        const __m128 q3 = _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero));
        const __m128 t0 = _mm_shuffle_ps(q0, q1, _MM_SHUFFLE(2, 2, 0, 0));   // B0 B0 R1 R1
        const __m128 t2 = _mm_shuffle_ps(q2, q3, _MM_SHUFFLE(2, 2, 0, 0));   // B2 B2 R3 R3
        float* o = out + static_cast<int64_t>(x) * 3;
        Store(o, _mm_shuffle_ps(q0, t0, _MM_SHUFFLE(2, 0, 1, 2)));      // R0 G0 B0 R1
        Store(o + 4, _mm_shuffle_ps(q1, q2, _MM_SHUFFLE(1, 2, 0, 1)));  // G1 B1 R2 G2
        Store(o + 8, _mm_shuffle_ps(t2, q3, _MM_SHUFFLE(0, 1, 2, 0)));  // B2 R3 G3 B3
    }
    return x;
}

inline void storeUnaligned(float* at, __m128 v) { _mm_storeu_ps(at, v); }
inline void storeStreaming(float* at, __m128 v) { _mm_stream_ps(at, v); }

// With `stream`, for a float image written into storage mapped before (a
// batch reusing the last photo's memory), the samples of aligned rows go
// straight to memory (streaming stores) instead of each cache line being
// read first only to be overwritten: about half the memory traffic, most
// of the conversion's time with one thread. Not for fresh storage: there
// the system has just cleared each page through the cache, and plain
// stores find its lines there. The fence makes the streamed samples visible
// to other threads before the row is reported done.
int32_t wordsToFloatRgb(const uint32_t* in, float* out, int32_t count, bool stream) {
    if (!stream || (reinterpret_cast<uintptr_t>(out) & 15) != 0)
        return wordsToFloatRgbWith<storeUnaligned>(in, out, count);
    const int32_t done = wordsToFloatRgbWith<storeStreaming>(in, out, count);
    _mm_sfence();
    return done;
}
#endif

template <class Layout, class D>
void copyUprightRow(const uchar* bits, int64_t bytesPerLine, int64_t firstRow, const OrientationMap& m,
                    ImageBuffer* image, int32_t y, int32_t x0, int32_t x1, bool stream) {
    (void)stream;  // only the vector path streams
    using U = typename Layout::Unit;
    const int32_t channels = image->channelCount();
    const U* base = reinterpret_cast<const U*>(bits);
    const int64_t stride = bytesPerLine / static_cast<int64_t>(sizeof(U));
    // Moving one pixel right in the upright image moves this far in the source.
    const int64_t step = m.ax * Layout::kUnits + m.ay * stride;
    D* tag = nullptr;  // selects the conversion by destination type
    // Offsets, not stepped pointers: a pointer must never be moved outside
    // the image, even after the last pixel of a row.
    int64_t at = (m.ax * x0 + m.bx * y + m.cx) * Layout::kUnits + (m.ay * x0 + m.by * y + m.cy - firstRow) * stride;
    D* row = static_cast<D*>(image->data) + static_cast<int64_t>(y) * image->width * channels;
    switch (channels) {
        case 1:
            for (int32_t x = x0; x < x1; ++x, at += step) {
                const U* p = base + at;
                row[x] = convert(greyOf(Layout::red(p), Layout::green(p), Layout::blue(p)), tag);
            }
            break;
        case 2:
            for (int32_t x = x0; x < x1; ++x, at += step) {
                const U* p = base + at;
                row[x * 2] = convert(greyOf(Layout::red(p), Layout::green(p), Layout::blue(p)), tag);
                row[x * 2 + 1] = convert(Layout::alpha(p), tag);
            }
            break;
        case 3:
#if defined(__SSE2__) && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
            // The common case, an upright JPEG into floats: whole vectors.
            if constexpr (std::is_same_v<Layout, Rgb32Words> && std::is_same_v<D, float>) {
                if (step == 1) {
                    const int32_t done =
                        wordsToFloatRgb(base + at, row + static_cast<int64_t>(x0) * 3, x1 - x0, stream);
                    x0 += done;
                    at += done;
                }
            }
#endif
            for (int32_t x = x0; x < x1; ++x, at += step) {
                const U* p = base + at;
                row[x * 3] = convert(Layout::red(p), tag);
                row[x * 3 + 1] = convert(Layout::green(p), tag);
                row[x * 3 + 2] = convert(Layout::blue(p), tag);
            }
            break;
        default:
            for (int32_t x = x0; x < x1; ++x, at += step) {
                const U* p = base + at;
                row[x * 4] = convert(Layout::red(p), tag);
                row[x * 4 + 1] = convert(Layout::green(p), tag);
                row[x * 4 + 2] = convert(Layout::blue(p), tag);
                row[x * 4 + 3] = convert(Layout::alpha(p), tag);
            }
            break;
    }
}

// The rows of the whole decoded picture, upright, a band of rows a task;
// `stream` as for wordsToFloatRgb.
template <class Layout, class D>
void copyUpright(const QImage& decoded, int32_t orientation, ImageBuffer* image, bool stream) {
    const OrientationMap m = orientationMap(decoded.width(), decoded.height(), orientation);
    const uchar* bits = decoded.constBits();
    const int64_t bytesPerLine = decoded.bytesPerLine();
    const int32_t width = image->width;
    const int64_t rows = rowsPerTask(static_cast<int64_t>(width) * image->channelCount() * sizeof(D));
    forEachRow(image->height, rows, [&](int32_t y) {
        copyUprightRow<Layout, D>(bits, bytesPerLine, 0, m, image, y, 0, width, stream);
    });
}

// The part of the upright buffer that rows first..first+count-1 of a
// width x height picture become: whole rows for orientations 1 to 4, whole
// columns for 5 to 8, which turn rows into columns.
struct UprightPart {
    int32_t x0, x1, y0, y1;
};

UprightPart uprightPartOf(int32_t width, int32_t height, int32_t orientation, int32_t first, int32_t count) {
    switch (orientation) {
        case 3:
        case 4: return {0, width, height - first - count, height - first};
        case 5:
        case 8: return {first, first + count, 0, width};
        case 6:
        case 7: return {height - first - count, height - first, 0, width};
        default: return {0, width, first, first + count};
    }
}

// The strip's rows, upright, on the calling thread.
template <class Layout, class D>
void copyStrip(const QImage& strip, int32_t firstRow, int32_t width, int32_t height, int32_t orientation,
               ImageBuffer* image) {
    const OrientationMap m = orientationMap(width, height, orientation);
    const UprightPart part = uprightPartOf(width, height, orientation, firstRow, strip.height());
    for (int32_t y = part.y0; y < part.y1; ++y)
        copyUprightRow<Layout, D>(strip.constBits(), strip.bytesPerLine(), firstRow, m, image, y, part.x0, part.x1,
                                  false);
}

// Dispatches a copy over the decoded format and the buffer's sample type.
template <template <class, class> class Copy, class... Args>
bool copyBySamples(QImage::Format format, bool asFloat, Args&&... args) {
    switch (format) {
        case QImage::Format_RGBA64:
            if (asFloat) Copy<RgbaSamples<uint16_t>, float>::run(args...);
            else Copy<RgbaSamples<uint16_t>, uint8_t>::run(args...);
            return true;
        case QImage::Format_RGB32:
            if (asFloat) Copy<Rgb32Words, float>::run(args...);
            else Copy<Rgb32Words, uint8_t>::run(args...);
            return true;
        case QImage::Format_RGBA8888:
            if (asFloat) Copy<RgbaSamples<uint8_t>, float>::run(args...);
            else Copy<RgbaSamples<uint8_t>, uint8_t>::run(args...);
            return true;
        default:
            return false;
    }
}

template <class Layout, class D>
struct WholeCopy {
    static void run(const QImage& decoded, int32_t orientation, ImageBuffer* image, bool stream) {
        copyUpright<Layout, D>(decoded, orientation, image, stream);
    }
};

template <class Layout, class D>
struct StripCopy {
    static void run(const QImage& strip, int32_t firstRow, int32_t width, int32_t height, int32_t orientation,
                    ImageBuffer* image) {
        copyStrip<Layout, D>(strip, firstRow, width, height, orientation, image);
    }
};

// A float sample stored as 16 bits: clamped, NaN as 0, rounded to the
// nearest of the 65,535 levels (v / 255 x 65535 = v x 257, halves up). In
// double the product and the half are exact (a float times 257 needs 33
// bits): a float product, rounded to a 256th of a level near the top of
// the scale, could turn a value just under a half into a half and round it
// up a level.
inline uint16_t storeWord(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 65535;
    return static_cast<uint16_t>(static_cast<double>(v) * 257.0 + 0.5);
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

// Stores row y of the buffer's samples of type S as outChannels samples
// of type D a pixel (1 grey, 3 RGB, 4 RGBA). A 2-channel buffer becomes
// grey RGBA; a 3-channel one written into 4 samples is opaque; a 4-channel
// one written into 3 samples loses its alpha.
template <class S, class D>
void storeImageRow(const ImageBuffer& image, int32_t outChannels, int32_t y, D* row) {
    D* tag = nullptr;  // selects the conversion by destination type
    const D opaque = static_cast<D>(sizeof(D) == 1 ? 255 : 65535);
    const int32_t channels = image.channelCount();
    const int32_t width = image.width;
    const S* src = static_cast<const S*>(image.data) + static_cast<int64_t>(y) * width * channels;
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
}

// Fills a QImage laid out with outChannels samples of type D a pixel from
// the buffer's samples of type S, rows in parallel.
template <class S, class D>
void fillImage(const ImageBuffer& image, int32_t outChannels, QImage* target) {
    // The rows are reached through the first one: scanLine() is not to be
    // called from several threads at once.
    uchar* firstRow = target->bits();
    const int64_t bytesPerLine = target->bytesPerLine();
    forEachRow(image.height, rowsPerTask(bytesPerLine), [&](int32_t y) {
        storeImageRow<S, D>(image, outChannels, y, reinterpret_cast<D*>(firstRow + y * bytesPerLine));
    });
}

}  // namespace

void uprightSize(int32_t width, int32_t height, int32_t orientation, int32_t* uprightWidth, int32_t* uprightHeight) {
    const bool swap = orientation >= 5 && orientation <= 8;
    *uprightWidth = swap ? height : width;
    *uprightHeight = swap ? width : height;
}

bool allocateUpright(int32_t width, int32_t height, int32_t orientation, int32_t channels, bool asFloat,
                     ImageBuffer* image, bool keepStorage, bool* kept) {
    if (kept) *kept = false;
    if (!image || channels < 1 || channels > 4) return false;
    int32_t uprightWidth = 0;
    int32_t uprightHeight = 0;
    uprightSize(width, height, orientation, &uprightWidth, &uprightHeight);
    const bool fits = keepStorage && image->data && image->owns && image->width == uprightWidth &&
                      image->height == uprightHeight && image->channels == channels;
    if (fits) {
        if (kept) *kept = true;
        return true;
    }
    const bool allocated = asFloat ? image->allocateFloat(uprightWidth, uprightHeight, channels)
                                   : image->allocate8(uprightWidth, uprightHeight, channels);
    if (!allocated || !image->data) {
        image->release();
        return false;
    }
    preferLargePages(image->data, static_cast<size_t>(image->sampleCount()) * (asFloat ? sizeof(float) : 1));
    return true;
}

bool copyToBuffer(const QImage& decoded, int32_t orientation, int32_t channels, bool asFloat, ImageBuffer* image,
                  bool keepStorage) {
    if (!image || decoded.isNull() || channels < 1 || channels > 4) return false;
    const QImage::Format format = decoded.format();
    if (format != QImage::Format_RGBA64 && format != QImage::Format_RGB32 && format != QImage::Format_RGBA8888)
        return false;
    if (orientation < 1 || orientation > 8) orientation = 1;
    bool kept = false;
    if (!allocateUpright(decoded.width(), decoded.height(), orientation, channels, asFloat, image, keepStorage, &kept))
        return false;
    return copyBySamples<WholeCopy>(format, asFloat, decoded, orientation, image, kept);
}

bool copyStripToBuffer(const QImage& strip, int32_t firstRow, int32_t width, int32_t height, int32_t orientation,
                       bool asFloat, ImageBuffer* image) {
    if (!image || !image->data || strip.isNull() || strip.width() != width || firstRow < 0 ||
        firstRow + strip.height() > height)
        return false;
    if (orientation < 1 || orientation > 8) orientation = 1;
    int32_t uprightWidth = 0;
    int32_t uprightHeight = 0;
    uprightSize(width, height, orientation, &uprightWidth, &uprightHeight);
    if (image->width != uprightWidth || image->height != uprightHeight) return false;
    return copyBySamples<StripCopy>(strip.format(), asFloat, strip, firstRow, width, height, orientation, image);
}

QImage imageFromBuffer(const ImageBuffer& image, bool isFloat, bool sixteenBit, bool opaque, QImage* recycled) {
    const int32_t channels = image.channelCount();
    if (!image.data || image.width < 1 || image.height < 1 || channels < 1 || channels > 4) return QImage();
    const bool deep = isFloat && sixteenBit;
    // Alpha left out of 8-bit samples gives RGB, as for 3 channels.
    const bool rgb = channels == 3 || (channels == 4 && opaque && !deep);
    QImage::Format format;
    if (channels == 1) format = deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    else if (rgb) format = deep ? QImage::Format_RGBX64 : QImage::Format_RGB888;
    else format = deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    // Every sample is written below, rows in parallel.
    QImage target = pictureToFill(recycled, image.width, image.height, format, false);
    if (target.isNull()) return QImage();
    const int32_t outChannels = channels == 1 ? 1 : (rgb && !deep ? 3 : 4);
    if (deep) fillImage<float, uint16_t>(image, outChannels, &target);
    else if (isFloat) fillImage<float, uint8_t>(image, outChannels, &target);
    else fillImage<uint8_t, uint8_t>(image, outChannels, &target);
    return target;
}

// Sixteen samples a step with SSE2 (every x86-64 processor has it): the
// minimum with 255 first (NaN passes as NaN, +inf becomes 255), truncated to
// 32-bit integers (NaN and anything beyond the integers become INT_MIN), then
// narrowed with saturation, which takes every negative value to 0. The same
// bytes as the plain loop, which takes the rest: clamped to 0..255 (NaN fails
// the first test and becomes 0), then truncated toward zero.
//
// The floats are read from a picture far larger than the caches, once,
// which with one thread is bound by how fast memory delivers them: each step
// asks for the cache line kPrefetchAhead bytes ahead (a prefetch never
// faults, so the address may lie past the row), which lets more lines be
// on their way at once than the hardware's own prefetcher keeps (about a
// quarter less time for a 24-megapixel picture on one thread).
void storeBytes(uint8_t* out, const float* in, int64_t count) {
    int64_t i = 0;
#ifdef __SSE2__
    constexpr uintptr_t kPrefetchAhead = 4096;
    const __m128 top = _mm_set1_ps(255.0f);
    for (; i + 16 <= count; i += 16) {
        const uintptr_t ahead = reinterpret_cast<uintptr_t>(in + i) + kPrefetchAhead;
        _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_T0);
        const __m128i a = _mm_cvttps_epi32(_mm_min_ps(top, _mm_loadu_ps(in + i)));
        const __m128i b = _mm_cvttps_epi32(_mm_min_ps(top, _mm_loadu_ps(in + i + 4)));
        const __m128i c = _mm_cvttps_epi32(_mm_min_ps(top, _mm_loadu_ps(in + i + 8)));
        const __m128i d = _mm_cvttps_epi32(_mm_min_ps(top, _mm_loadu_ps(in + i + 12)));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
    }
#endif
    for (; i < count; ++i) {
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

QImage pictureToFill(QImage* recycled, int32_t width, int32_t height, QImage::Format format, bool serialWriter) {
    if (recycled && recycled->width() == width && recycled->height() == height && recycled->format() == format &&
        recycled->isDetached()) {
        QImage picture = std::move(*recycled);
        picture.setColorSpace(QColorSpace());
        return picture;
    }
    QImage picture(width, height, format);
    if (picture.isNull()) return picture;
    if (serialWriter) mapForWriting(picture.bits(), static_cast<size_t>(picture.sizeInBytes()));
    else preferLargePages(picture.bits(), static_cast<size_t>(picture.sizeInBytes()));
    return picture;
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

bool storeEightBitRows(const ImageBuffer& image, bool isFloat, int32_t firstRow, int32_t rows, uint8_t* out,
                       int64_t outBytesPerLine) {
    const int32_t channels = image.channelCount();
    if (!image.data || !out || channels == 2 || channels < 1 || channels > 4 || firstRow < 0 ||
        rows < 0 || firstRow + rows > image.height)
        return false;
    const int32_t outChannels = channels == 1 ? 1 : 3;
    for (int32_t r = 0; r < rows; ++r) {
        uint8_t* row = out + r * outBytesPerLine;
        if (isFloat) storeImageRow<float, uint8_t>(image, outChannels, firstRow + r, row);
        else storeImageRow<uint8_t, uint8_t>(image, outChannels, firstRow + r, row);
    }
    return true;
}

// ---- The band pipeline ------------------------------------------------------

namespace {

// Where each band is: waiting for its first stage, being worked on by its
// parallel stage, ready for the stage after, or through both.
enum BandState : uint8_t { kWaiting, kWorking, kReady, kThrough };

struct Pipeline {
    const BandPipelineSteps& steps;
    int32_t bands;
    int32_t slotCount;
    std::mutex lock;                       // guards everything below
    std::condition_variable serialWaits;   // the serial stage waits for a band's parallel stage
    std::condition_variable helpersWait;   // helpers wait for a band to take on
    std::vector<BandState> state;
    int32_t nextParallel = 0;  // the parallel stage takes the bands in order
    int32_t helpers = 0;       // bodies running only the parallel stage
    bool serialTaken = false;
    bool serialDone = false;
    bool failed = false;

    Pipeline(const BandPipelineSteps& s, int32_t n, int32_t k)
        : steps(s), bands(n), slotCount(k), state(static_cast<size_t>(n), kWaiting) {}

    // Whether the next band's parallel stage may start: its serial stage is
    // through when that comes first; otherwise its slot is free, the band
    // that held the slot before being through the serial stage.
    bool parallelMayStart() const {
        if (nextParallel >= bands) return false;
        if (steps.serialFirst) return state[static_cast<size_t>(nextParallel)] == kReady;
        return nextParallel < slotCount || state[static_cast<size_t>(nextParallel - slotCount)] == kThrough;
    }

    void fail() {
        failed = true;
        serialWaits.notify_all();
        helpersWait.notify_all();
    }

    // Runs the next band's parallel stage (lock held on entry and exit).
    void runParallel(std::unique_lock<std::mutex>& held) {
        const int32_t band = nextParallel++;
        state[static_cast<size_t>(band)] = kWorking;
        held.unlock();
        const bool ok = steps.parallel(band, band % slotCount);
        held.lock();
        state[static_cast<size_t>(band)] = steps.serialFirst ? kThrough : kReady;
        if (!ok) fail();
        serialWaits.notify_one();
    }

    // The serial stage over every band in order, with the parallel stage of
    // any band it has to wait for run here when no one else has taken it.
    void runSerial() {
        std::unique_lock<std::mutex> held(lock);
        for (int32_t band = 0; band < bands && !failed; ++band) {
            // Decoding: the band's slot must be free (the band before in
            // it through). Encoding: the band itself must be ready.
            const int32_t waitFor = steps.serialFirst ? band - slotCount : band;
            const BandState wanted = steps.serialFirst ? kThrough : kReady;
            while (waitFor >= 0 && !failed && state[static_cast<size_t>(waitFor)] != wanted) {
                if (nextParallel == waitFor && parallelMayStart()) runParallel(held);
                else serialWaits.wait(held);
            }
            if (failed) break;
            held.unlock();
            const bool ok = steps.serial(band, band % slotCount);
            held.lock();
            if (!ok) {
                fail();
                break;
            }
            state[static_cast<size_t>(band)] = steps.serialFirst ? kReady : kThrough;
            helpersWait.notify_one();  // a band to convert, or a slot to fill
            // Alone: the band's conversion now, while its rows are in the cache.
            if (steps.serialFirst && helpers == 0 && nextParallel == band) runParallel(held);
        }
        serialDone = true;
        helpersWait.notify_all();
        // What is left of the parallel stage, beside the helpers.
        while (!failed && parallelMayStart()) runParallel(held);
    }

    // The parallel stage of whatever band is next, until none is left. A
    // helper waits only while the serial stage runs (on another thread: it
    // was taken before this body started), which makes bands ready or frees
    // slots.
    void help() {
        std::unique_lock<std::mutex> held(lock);
        ++helpers;
        while (!failed) {
            if (parallelMayStart()) {
                runParallel(held);
                continue;
            }
            if (nextParallel >= bands || serialDone) break;
            helpersWait.wait(held);
        }
        --helpers;
    }
};

}  // namespace

bool runBandPipeline(int32_t bands, int32_t slotCount, const BandPipelineSteps& steps) {
    if (bands <= 0) return true;
    if (slotCount < 1 || !steps.serial || !steps.parallel) return false;
    Pipeline pipeline(steps, bands, slotCount);
    const int32_t threads = parallelThreadCount();
    const int32_t bodies = threads < bands + 1 ? threads : bands + 1;
    // Every body takes the serial stage if no one has yet, else helps: the
    // bodies of the loop may start in any order, and with one thread one
    // after the other.
    parallelFor(bodies, 0.5f, [&pipeline](int32_t) {
        bool serial = false;
        {
            std::lock_guard<std::mutex> guard(pipeline.lock);
            if (!pipeline.serialTaken) pipeline.serialTaken = serial = true;
        }
        if (serial) pipeline.runSerial();
        else pipeline.help();
    });
    return !pipeline.failed;
}
