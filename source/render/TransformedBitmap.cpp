#include "render/TransformedBitmap.h"

#include <math.h>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "framework/ImageLoaderSaver.h"
#include "platform/ParallelFor.h"
#include "pixels/SampleRules.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PELLUCINE_BOX_AVX 1
#endif

void matMul4(float* m, const float* b) {
    float product[16];
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int32_t k = 0; k < 4; ++k) sum += b[4 * r + k] * m[4 * k + c];
            product[4 * r + c] = sum;
        }
    std::memcpy(m, product, sizeof(product));
}

namespace {

// trunc(v) clamped to 0..high; NaN and everything at or below 0 give 0.
inline int32_t indexIn(float v, int32_t high) {
    if (!(v > 0.0f) || high < 1) return 0;
    if (v >= static_cast<float>(high)) return high;
    return static_cast<int32_t>(v);
}

// v clamped to 0..high as a float; NaN gives 0.
inline float clampCoordinate(float v, float high) {
    if (!(v > 0.0f)) return 0.0f;
    return v > high ? high : v;
}

template <class Sample>
inline Sample fromDouble(double v);
template <>
inline float fromDouble<float>(double v) {
    return static_cast<float>(v);
}
template <>
inline uint8_t fromDouble<uint8_t>(double v) {
    return pixel::storeByteFromDouble(v);
}

inline void storeClamped(float* out, float v) { *out = pixel::clampSampleNanToZero(v); }
inline void storeClamped(uint8_t* out, uint8_t v) { *out = v; }

template <class Sample>
void samplePixelT(const ImageBuffer& src, Sample* out, float x, float y, float footprint) {
    const int32_t w = src.width;
    const int32_t h = src.height;
    if (!src.data || w < 1 || h < 1 || !out) return;
    const int32_t n = src.channelCount();
    const Sample* data = static_cast<const Sample*>(src.data);
    const int64_t stride = static_cast<int64_t>(w) * n;

    if (footprint == 1.0f) {
        const Sample* p = data + indexIn(y, h - 1) * stride + static_cast<int64_t>(indexIn(x, w - 1)) * n;
        for (int32_t c = 0; c < n; ++c) out[c] = p[c];
        return;
    }

    if (footprint < 1.0f) {
        // Bilinear; the second column or row is the first again in a source
        // one pixel wide or high.
        const int32_t x0 = indexIn(x, w - 2);
        const int32_t y0 = indexIn(y, h - 2);
        const int32_t x1 = x0 + 1 < w ? x0 + 1 : x0;
        const int32_t y1 = y0 + 1 < h ? y0 + 1 : y0;
        const double fx = static_cast<double>(x - static_cast<float>(x0));
        const double fy = static_cast<double>(y - static_cast<float>(y0));
        const Sample* p00 = data + y0 * stride + static_cast<int64_t>(x0) * n;
        const Sample* p10 = data + y0 * stride + static_cast<int64_t>(x1) * n;
        const Sample* p01 = data + y1 * stride + static_cast<int64_t>(x0) * n;
        const Sample* p11 = data + y1 * stride + static_cast<int64_t>(x1) * n;
        for (int32_t c = 0; c < n; ++c) {
            const double top = static_cast<double>(p00[c]) * (1.0 - fx) + static_cast<double>(p10[c]) * fx;
            const double bottom = static_cast<double>(p01[c]) * (1.0 - fx) + static_cast<double>(p11[c]) * fx;
            out[c] = fromDouble<Sample>(top * (1.0 - fy) + bottom * fy);
        }
        return;
    }

    // Box average over [x - f/2, x + f/2] x [y - f/2, y + f/2], each end
    // clamped to the image; every pixel weighs its covered part.
    const float half = footprint / 2.0f;
    const float xs = clampCoordinate(x - half, static_cast<float>(w - 1));
    const float xe = clampCoordinate(x - half + footprint, static_cast<float>(w - 1));
    const float ys = clampCoordinate(y - half, static_cast<float>(h - 1));
    const float ye = clampCoordinate(y - half + footprint, static_cast<float>(h - 1));
    const int32_t i0 = indexIn(xs, w - 1);
    const int32_t i1 = indexIn(xe, w - 1);
    const int32_t j0 = indexIn(ys, h - 1);
    const int32_t j1 = indexIn(ye, h - 1);
    const Sample* first = data + j0 * stride + static_cast<int64_t>(i0) * n;

    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    double weightAll = 0.0;     // every pixel of the span
    double weightColour = 0.0;  // pixels that take part in the colour (alpha not 0 with 4 channels)
    bool allEqual = true;
    bool anyOpaque = false;
    const bool alphaAware = n == 4;
    for (int32_t j = j0; j <= j1; ++j) {
        const float rowLow = static_cast<float>(j) > ys ? static_cast<float>(j) : ys;
        const float rowHigh = static_cast<float>(j + 1) < ye ? static_cast<float>(j + 1) : ye;
        const double wy = static_cast<double>(rowHigh - rowLow);
        const Sample* row = data + j * stride;
        for (int32_t i = i0; i <= i1; ++i) {
            const float colLow = static_cast<float>(i) > xs ? static_cast<float>(i) : xs;
            const float colHigh = static_cast<float>(i + 1) < xe ? static_cast<float>(i + 1) : xe;
            const double weight = static_cast<double>(colHigh - colLow) * wy;
            const Sample* p = row + static_cast<int64_t>(i) * n;
            for (int32_t c = 0; c < n && allEqual; ++c)
                if (p[c] != first[c]) allEqual = false;
            weightAll += weight;
            if (alphaAware) {
                sums[3] += weight * static_cast<double>(p[3]);
                if (p[3] == 0) continue;
                anyOpaque = true;
                weightColour += weight;
                for (int32_t c = 0; c < 3; ++c) sums[c] += weight * static_cast<double>(p[c]);
            } else {
                weightColour += weight;
                for (int32_t c = 0; c < n && c < 4; ++c) sums[c] += weight * static_cast<double>(p[c]);
            }
        }
    }
    if (allEqual) {
        for (int32_t c = 0; c < n; ++c) out[c] = first[c];
        return;
    }
    if (alphaAware && !anyOpaque) return;  // nothing to average: the caller's value stays
    if (!(weightAll > 0.0) || !(weightColour > 0.0)) {
        // The span shrank to a line at the image edge: no area to weigh.
        for (int32_t c = 0; c < n; ++c) out[c] = first[c];
        return;
    }
    if (alphaAware) {
        for (int32_t c = 0; c < 3; ++c) out[c] = fromDouble<Sample>(sums[c] / weightColour);
        out[3] = fromDouble<Sample>(sums[3] / weightAll);
        return;
    }
    for (int32_t c = 0; c < n && c < 4; ++c) out[c] = fromDouble<Sample>(sums[c] / weightAll);
    for (int32_t c = 4; c < n; ++c) out[c] = first[c];  // beyond the four channels the model knows
}

template <class Sample>
void copyResizedNearestT(ImageBuffer& dest, const ImageBuffer& src) {
    if (!dest.data || !src.data || dest.width < 1 || dest.height < 1 || src.width < 1 || src.height < 1) return;
    const float rx = static_cast<float>(src.width) / static_cast<float>(dest.width);
    const float ry = static_cast<float>(src.height) / static_cast<float>(dest.height);
    const int32_t dc = dest.channelCount();
    const int32_t sc = src.channelCount();
    const int32_t n = dc < sc ? dc : sc;
    const Sample* in = static_cast<const Sample*>(src.data);
    Sample* out = static_cast<Sample*>(dest.data);
    const int32_t halfColumn = indexIn(rx / 2.0f, src.width - 1);
    for (int32_t y = 0; y < dest.height; ++y) {
        const float rowPosition = static_cast<float>(y) * ry + truncf(ry / 2.0f);
        const Sample* sourceRow = in + static_cast<int64_t>(indexIn(rowPosition, src.height - 1)) * src.width * sc;
        Sample* destRow = out + static_cast<int64_t>(y) * dest.width * dc;
        for (int32_t x = 0; x < dest.width; ++x) {
            int32_t column = indexIn(static_cast<float>(x) * rx, src.width - 1) + halfColumn;
            if (column > src.width - 1) column = src.width - 1;
            const Sample* p = sourceRow + static_cast<int64_t>(column) * sc;
            Sample* q = destRow + static_cast<int64_t>(x) * dc;
            for (int32_t c = 0; c < n; ++c) q[c] = p[c];
        }
    }
    dest.insetLeft = saturatingInt(static_cast<double>(static_cast<float>(src.insetLeft) / rx));
    dest.insetRight = saturatingInt(static_cast<double>(static_cast<float>(src.insetRight) / rx));
    dest.insetTop = saturatingInt(static_cast<double>(static_cast<float>(src.insetTop) / ry));
    dest.insetBottom = saturatingInt(static_cast<double>(static_cast<float>(src.insetBottom) / ry));
}

// The precision of the straighten arithmetic: the float twin uses the float
// roundings of the constants, the 8-bit twin the double ones.
template <class Sample>
struct AngleMath;

template <>
struct AngleMath<float> {
    static float zoom(float foldedDegrees, float w, float h) {
        const float shorter = w < h ? w : h;
        const float longer = w < h ? h : w;
        const float phi = atanf(shorter / longer);
        const float radians = foldedDegrees * 3.14159274f / 180.0f;
        return sinf(radians + phi) / sinf(phi);
    }
    static double radians(float angle) { return static_cast<double>(angle * 0.0174532924f); }
};

template <>
struct AngleMath<uint8_t> {
    static float zoom(float foldedDegrees, float w, float h) {
        const double shorter = w < h ? w : h;
        const double longer = w < h ? h : w;
        const double phi = atan(shorter / longer);
        const double radians = static_cast<double>(foldedDegrees) * 3.141592653589793 / 180.0;
        return static_cast<float>(sin(radians + phi) / sin(phi));
    }
    static double radians(float angle) { return static_cast<double>(angle) * 0.017453292519943295; }
};

template <class Sample>
bool allocateLike(ImageBuffer& buffer, int32_t w, int32_t h, int32_t channels) {
    if constexpr (std::is_same<Sample, float>::value)
        return buffer.allocateFloat(w, h, channels);
    else
        return buffer.allocate8(w, h, channels);
}

// How destination pixels map to source points in one drawing: the matrix
// (row vectors), the sampling footprint and whether the nearest pixel is
// read, and the source pixels per destination pixel.
struct DrawMapping {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float footprint = 1.0f;
    bool nearest = false;
    float s = 1.0f;
};

// The mapping of a source of W x H drawn at width x height with the crop,
// insets and angle; false when nothing is to be drawn. The sizes are 64-bit
// so that a part of a drawing larger than memory can be planned.
template <class Sample>
bool planDrawing(int32_t W, int32_t H, int64_t width, int64_t height, const float* crop, const int32_t* insets,
                 float angle, bool sizeFromCrop, DrawMapping& mapping) {
    const float kL = crop ? crop[0] : 0.0f;
    const float kR = crop ? crop[1] : 0.0f;
    const float kT = crop ? crop[2] : 0.0f;
    const float kB = crop ? crop[3] : 0.0f;
    const int32_t iL = insets ? insets[0] : 0;
    const int32_t iR = insets ? insets[1] : 0;
    const int32_t iT = insets ? insets[2] : 0;
    const int32_t iB = insets ? insets[3] : 0;
    const int64_t cw = width - iL - iR;
    const int64_t ch = height - iT - iB;
    if (cw < 1 || ch < 1 || !isfinite(angle)) return false;

    // Source rectangle, centre-cropped to the content's proportions.
    const float fw = static_cast<float>(W);
    const float fh = static_cast<float>(H);
    float left = kL * fw;
    const float right = fw - kR * fw;
    float top = kT * fh;
    const float bottom = fh - kB * fh;
    const float rw = right - left;
    const float rh = bottom - top;
    if (!(rw > 0.0f) || !(rh > 0.0f) || !isfinite(rw) || !isfinite(rh) || !isfinite(left) || !isfinite(top))
        return false;
    const float aspect = static_cast<float>(cw) / static_cast<float>(ch);
    float narrowedWidth = rw;
    if (aspect < rw / rh) {
        narrowedWidth = rh * aspect;
        left += (rw - rh * aspect) / 2.0f;
    } else {
        top += (rh - rw / aspect) / 2.0f;
    }
    float s = narrowedWidth / static_cast<float>(cw);
    if (fabsf(narrowedWidth - static_cast<float>(cw)) < 1.0f || sizeFromCrop) s = 1.0f;

    // Straighten zoom: just enough that the turned source covers the frame.
    float z = 1.0f;
    if (angle != 0.0f) {
        float folded = fabsf(angle);
        const float whole = truncf(folded);
        folded = static_cast<float>(fmod(static_cast<double>(whole), 180.0)) + (folded - whole);
        if (folded > 90.0f) folded = 180.0f - folded;
        z = AngleMath<Sample>::zoom(folded, fw, fh);
    }
    if (!(z > 0.0f) || !isfinite(z) || !(s > 0.0f) || !isfinite(s)) return false;

    // destination pixel -> source point
    float* m = mapping.m;
    auto translate = [m](float tx, float ty) {
        const float t[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, tx, ty, 0, 1};
        matMul4(m, t);
    };
    auto scaleBy = [m](float f) {
        const float t[16] = {f, 0, 0, 0, 0, f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        matMul4(m, t);
    };
    const double t = AngleMath<Sample>::radians(angle);
    const float cosT = static_cast<float>(cos(t));
    const float sinT = static_cast<float>(sin(t));
    translate(fw / 2.0f, fh / 2.0f);
    scaleBy(1.0f / z);
    {
        const float r[16] = {cosT, -sinT, 0, 0, sinT, cosT, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        matMul4(m, r);
    }
    translate(-fw / 2.0f, -fh / 2.0f);
    translate(left, top);
    scaleBy(s);
    if (insets) translate(static_cast<float>(-iL), static_cast<float>(-iT));

    float footprint = s / z;
    if (footprint > 2.0f) footprint *= 1.18f;
    mapping.footprint = footprint;
    mapping.nearest = footprint == 1.0f && angle == 0.0f;
    mapping.s = s;
    return true;
}


// The box average of samplePixel along one axis, for each destination
// column (or row) at once: the source pixels its span covers and the
// covered length of each, computed as the sampler computes them.
struct BoxSpans {
    std::vector<int32_t> first;   // first source index of each span
    std::vector<int32_t> offset;  // where its lengths start in `length`; one more entry at the end
    std::vector<double> length;   // covered length of each pixel, the float difference widened
};

void buildBoxSpans(BoxSpans& spans, int32_t count, const float* position, float footprint, int32_t size) {
    spans.first.resize(static_cast<size_t>(count));
    spans.offset.resize(static_cast<size_t>(count) + 1);
    spans.length.clear();
    const float half = footprint / 2.0f;
    const float high = static_cast<float>(size - 1);
    for (int32_t k = 0; k < count; ++k) {
        const float start = clampCoordinate(position[k] - half, high);
        const float end = clampCoordinate(position[k] - half + footprint, high);
        const int32_t i0 = indexIn(start, size - 1);
        const int32_t i1 = indexIn(end, size - 1);
        spans.first[static_cast<size_t>(k)] = i0;
        spans.offset[static_cast<size_t>(k)] = static_cast<int32_t>(spans.length.size());
        for (int32_t i = i0; i <= i1; ++i) {
            const float low = static_cast<float>(i) > start ? static_cast<float>(i) : start;
            const float top = static_cast<float>(i + 1) < end ? static_cast<float>(i + 1) : end;
            spans.length.push_back(static_cast<double>(top - low));
        }
    }
    spans.offset[static_cast<size_t>(count)] = static_cast<int32_t>(spans.length.size());
}

// Every destination pixel's box from the spans: the sums of samplePixel's
// box average, in the same order and precision.
void sumBoxes(const ImageBuffer& src, const BoxSpans& rows, const BoxSpans& columns, ImageBuffer& dest) {
    const float* in = src.floats();
    const int64_t stride = static_cast<int64_t>(src.width) * 3;
    for (int32_t y = 0; y < dest.height; ++y) {
        const int32_t j0 = rows.first[static_cast<size_t>(y)];
        const double* rowLengths = rows.length.data() + rows.offset[static_cast<size_t>(y)];
        const int32_t rowCount = rows.offset[static_cast<size_t>(y) + 1] - rows.offset[static_cast<size_t>(y)];
        float* out = dest.floats() + static_cast<int64_t>(y) * dest.width * 3;
        for (int32_t x = 0; x < dest.width; ++x, out += 3) {
            const int32_t i0 = columns.first[static_cast<size_t>(x)];
            const double* columnLengths = columns.length.data() + columns.offset[static_cast<size_t>(x)];
            const int32_t columnCount =
                columns.offset[static_cast<size_t>(x) + 1] - columns.offset[static_cast<size_t>(x)];
            const float* first = in + j0 * stride + static_cast<int64_t>(i0) * 3;
            double sum0 = 0.0, sum1 = 0.0, sum2 = 0.0, weightAll = 0.0;
            bool allEqual = true;
            for (int32_t j = 0; j < rowCount; ++j) {
                const double wy = rowLengths[j];
                const float* p = first + j * stride;
                for (int32_t i = 0; i < columnCount; ++i, p += 3) {
                    const double weight = columnLengths[i] * wy;
                    allEqual = allEqual && p[0] == first[0] && p[1] == first[1] && p[2] == first[2];
                    weightAll += weight;
                    sum0 += weight * static_cast<double>(p[0]);
                    sum1 += weight * static_cast<double>(p[1]);
                    sum2 += weight * static_cast<double>(p[2]);
                }
            }
            if (allEqual || !(weightAll > 0.0)) {
                for (int32_t c = 0; c < 3; ++c) out[c] = pixel::clampSampleNanToZero(first[c]);
                continue;
            }
            out[0] = pixel::clampSampleNanToZero(static_cast<float>(sum0 / weightAll));
            out[1] = pixel::clampSampleNanToZero(static_cast<float>(sum1 / weightAll));
            out[2] = pixel::clampSampleNanToZero(static_cast<float>(sum2 / weightAll));
        }
    }
}

#if PELLUCINE_BOX_AVX
// The same with the three channels of each sum side by side in one vector:
// each lane adds the same products in the same order as sumBoxes, so every
// sum, and every pixel, is the same.
__attribute__((target("avx"))) void sumBoxesAvx(const ImageBuffer& src, const BoxSpans& rows,
                                               const BoxSpans& columns, ImageBuffer& dest) {
    const float* in = src.floats();
    const int64_t stride = static_cast<int64_t>(src.width) * 3;
    const __m128i three = _mm_set_epi32(0, -1, -1, -1);  // the pixel's three samples, nothing beyond
    for (int32_t y = 0; y < dest.height; ++y) {
        const int32_t j0 = rows.first[static_cast<size_t>(y)];
        const double* rowLengths = rows.length.data() + rows.offset[static_cast<size_t>(y)];
        const int32_t rowCount = rows.offset[static_cast<size_t>(y) + 1] - rows.offset[static_cast<size_t>(y)];
        float* out = dest.floats() + static_cast<int64_t>(y) * dest.width * 3;
        for (int32_t x = 0; x < dest.width; ++x, out += 3) {
            const int32_t i0 = columns.first[static_cast<size_t>(x)];
            const double* columnLengths = columns.length.data() + columns.offset[static_cast<size_t>(x)];
            const int32_t columnCount =
                columns.offset[static_cast<size_t>(x) + 1] - columns.offset[static_cast<size_t>(x)];
            const float* first = in + j0 * stride + static_cast<int64_t>(i0) * 3;
            const __m128 firstPixel = _mm_maskload_ps(first, three);
            __m256d sums = _mm256_setzero_pd();
            double weightAll = 0.0;
            int equal = 7;
            for (int32_t j = 0; j < rowCount; ++j) {
                const double wy = rowLengths[j];
                const float* p = first + j * stride;
                for (int32_t i = 0; i < columnCount; ++i, p += 3) {
                    const double weight = columnLengths[i] * wy;
                    const __m128 pixel = _mm_maskload_ps(p, three);
                    equal &= _mm_movemask_ps(_mm_cmpeq_ps(pixel, firstPixel));
                    weightAll += weight;
                    sums = _mm256_add_pd(sums, _mm256_mul_pd(_mm256_set1_pd(weight), _mm256_cvtps_pd(pixel)));
                }
            }
            // Each lane divided and rounded to float as the scalar steps
            // do; then clampSampleNanToZero as max(v, 0) (NaN gives the
            // second operand, 0) and min(., 255).
            const __m128 value = (equal & 7) == 7 || !(weightAll > 0.0)
                                     ? firstPixel
                                     : _mm256_cvtpd_ps(_mm256_div_pd(sums, _mm256_set1_pd(weightAll)));
            _mm_maskstore_ps(out, three,
                             _mm_min_ps(_mm_max_ps(value, _mm_setzero_ps()), _mm_set1_ps(255.0f)));
        }
    }
}
#endif

// drawMappedRows for a reduction of a three-channel float source into a
// three-channel destination without a turn: each destination column reads
// the same source columns on every row and each row the same source rows,
// so the spans are worked out once per strip and every pixel only sums.
// The sums are those of samplePixel's box average, in the same order and
// precision, so every pixel is the same.
void drawBoxRows3(const ImageBuffer& src, const DrawMapping& mapping, ImageBuffer& dest, int64_t originX,
                  int64_t originY) {
    const int32_t W = src.width;
    const int32_t H = src.height;
    const float* m = mapping.m;
    const float footprint = mapping.footprint;
    std::vector<float> position(static_cast<size_t>(dest.width > dest.height ? dest.width : dest.height));
    // u = fx m0 + fy m4 + m12 with m4 zero: the row adds only a signed zero,
    // which no later step tells apart.
    const float fy0 = static_cast<float>(originY);
    for (int32_t x = 0; x < dest.width; ++x)
        position[static_cast<size_t>(x)] = static_cast<float>(originX + x) * m[0] + fy0 * m[4] + m[12];
    BoxSpans columns;
    buildBoxSpans(columns, dest.width, position.data(), footprint, W);
    const float fx0 = static_cast<float>(originX);
    for (int32_t y = 0; y < dest.height; ++y)
        position[static_cast<size_t>(y)] = fx0 * m[1] + static_cast<float>(originY + y) * m[5] + m[13];
    BoxSpans rows;
    buildBoxSpans(rows, dest.height, position.data(), footprint, H);

#if PELLUCINE_BOX_AVX
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx) {
        sumBoxesAvx(src, rows, columns, dest);
        return;
    }
#endif
    sumBoxes(src, rows, columns, dest);
}

// Draws the destination's pixels through the mapping; destination pixel
// (x, y) is pixel (originX + x, originY + y) of the whole drawing.
template <class Sample>
void drawMappedRows(const ImageBuffer& source, const DrawMapping& mapping, ImageBuffer& destination, int64_t originX,
                    int64_t originY) {
    const ImageBuffer* src = &source;
    ImageBuffer* dest = &destination;
    const int32_t W = src->width;
    const int32_t H = src->height;
    const int32_t dc = dest->channelCount();
    Sample* out = static_cast<Sample*>(dest->data);
    const float* m = mapping.m;
    const float footprint = mapping.footprint;
    const bool nearest = mapping.nearest;
    const int32_t sc = src->channelCount();
    const int32_t n = dc < sc ? dc : sc;
    const Sample* in = static_cast<const Sample*>(src->data);
    if constexpr (std::is_same<Sample, float>::value) {
        if (!nearest && footprint > 1.0f && m[1] == 0.0f && m[4] == 0.0f && sc == 3 && dc == 3 && W >= 1 && H >= 1) {
            drawBoxRows3(source, mapping, destination, originX, originY);
            return;
        }
    }
    std::vector<Sample> pixel(static_cast<size_t>(sc));
    for (int32_t y = 0; y < dest->height; ++y) {
        const float fy = static_cast<float>(originY + y);
        Sample* row = out + static_cast<int64_t>(y) * dest->width * dc;
        for (int32_t x = 0; x < dest->width; ++x) {
            const float fx = static_cast<float>(originX + x);
            const float u = fx * m[0] + fy * m[4] + m[12];
            const float v = fx * m[1] + fy * m[5] + m[13];
            Sample* q = row + static_cast<int64_t>(x) * dc;
            if (nearest) {
                const Sample* p = in + static_cast<int64_t>(indexIn(v + 0.5f, H - 1)) * W * sc +
                                  static_cast<int64_t>(indexIn(u + 0.5f, W - 1)) * sc;
                for (int32_t c = 0; c < n; ++c) storeClamped(q + c, p[c]);
                continue;
            }
            // A box span of nothing but transparent pixels writes nothing:
            // such a pixel becomes transparent black.
            std::fill(pixel.begin(), pixel.end(), static_cast<Sample>(0));
            samplePixelT<Sample>(*src, pixel.data(), u, v, footprint);
            for (int32_t c = 0; c < n; ++c) storeClamped(q + c, pixel[c]);
        }
    }
}

// drawMappedRows over the whole destination, in strips of rows on all
// threads: every pixel depends only on its own position, so the result is
// that of one sweep whatever the thread count.
// With an origin, destination pixel (x, y) is pixel (originX + x,
// originY + y) of the whole drawing.
template <class Sample>
void drawMappedRowsInStrips(const ImageBuffer& source, const DrawMapping& mapping, ImageBuffer& destination,
                            int64_t originX = 0, int64_t originY = 0) {
    constexpr int32_t kStripRows = 32;
    const int32_t strips = (destination.height + kStripRows - 1) / kStripRows;
    if (strips <= 1) {
        drawMappedRows<Sample>(source, mapping, destination, originX, originY);
        return;
    }
    const int64_t rowSamples = static_cast<int64_t>(destination.width) * destination.channelCount();
    Sample* out = static_cast<Sample*>(destination.data);
    parallelFor(strips, 0.5f, [&](int32_t i) {
        const int32_t top = i * kStripRows;
        const int32_t rows = destination.height - top < kStripRows ? destination.height - top : kStripRows;
        ImageBuffer strip;
        strip.wrap(out + top * rowSamples, destination.width, rows, destination.channelCount());
        drawMappedRows<Sample>(source, mapping, strip, originX, originY + top);
    });
}

template <class Sample>
ImageBuffer* drawTransformed(const ImageBuffer* src, int32_t width, int32_t height, const float* crop,
                             const int32_t* insets, ImageBuffer* dest, float angle) {
    const int32_t W = src && src->data ? src->width : 0;
    const int32_t H = src && src->data ? src->height : 0;
    const bool sourceUsable = W >= 1 && H >= 1;
    const float kL = crop ? crop[0] : 0.0f;
    const float kR = crop ? crop[1] : 0.0f;
    const float kT = crop ? crop[2] : 0.0f;
    const float kB = crop ? crop[3] : 0.0f;
    const int32_t iL = insets ? insets[0] : 0;
    const int32_t iR = insets ? insets[1] : 0;
    const int32_t iT = insets ? insets[2] : 0;
    const int32_t iB = insets ? insets[3] : 0;

    // Output size; without one, the crop rectangle in whole pixels (one less
    // than the number of pixels between its edges).
    bool sizeFromCrop = false;
    if (width < 1 || height < 1) {
        sizeFromCrop = true;
        width = height = 0;
        if (sourceUsable) {
            // Each edge truncated, moved out by the inset and clamped to the
            // image; the arithmetic in 64 bits so that no inset overflows.
            auto edge = [](float v, int64_t inset, int32_t high) {
                const int64_t e = static_cast<int64_t>(saturatingInt(static_cast<double>(v))) + inset;
                return static_cast<int32_t>(e < 0 ? 0 : (e > high ? high : e));
            };
            const int32_t left = edge(static_cast<float>(W) * kL, -static_cast<int64_t>(iL), W - 1);
            const int32_t right = edge(static_cast<float>(W - 1) - kR * static_cast<float>(W), static_cast<int64_t>(iR), W - 1);
            const int32_t top = edge(static_cast<float>(H) * kT, -static_cast<int64_t>(iT), H - 1);
            const int32_t bottom = edge(static_cast<float>(H - 1) - kB * static_cast<float>(H), static_cast<int64_t>(iB), H - 1);
            width = right - left;
            height = bottom - top;
            if (width < 1 || height < 1) width = height = 0;
        }
    }

    // Destination: a given one keeps its channel count, a new one takes the
    // source's; then cleared to (opaque) black.
    if (!dest) {
        dest = new ImageBuffer();
        allocateLike<Sample>(*dest, width, height, src ? src->channelCount() : 3);
    } else if (!dest->data || dest->width != width || dest->height != height) {
        allocateLike<Sample>(*dest, width, height, dest->channels);
    }
    if (!dest->data || dest->width < 1 || dest->height < 1) return dest;
    const int32_t dc = dest->channelCount();
    const int64_t destPixels = static_cast<int64_t>(dest->width) * dest->height;
    Sample* out = static_cast<Sample*>(dest->data);
    if (dc >= 3) {
        std::memset(out, 0, static_cast<size_t>(destPixels * dc) * sizeof(Sample));
        if (dc == 4)
            for (int64_t p = 0; p < destPixels; ++p) out[p * 4 + 3] = static_cast<Sample>(255);
    }
    if (!sourceUsable) return dest;

    const int64_t cw = static_cast<int64_t>(width) - iL - iR;
    const int64_t ch = static_cast<int64_t>(height) - iT - iB;
    if (W == width && H == height && angle == 0.0f && kL == 0.0f && kR == 0.0f && kT == 0.0f && kB == 0.0f &&
        cw == width && ch == height) {
        copyResizedNearestT<Sample>(*dest, *src);
        dest->scale = src->scale;
        return dest;
    }
    DrawMapping mapping;
    if (!planDrawing<Sample>(W, H, width, height, crop, insets, angle, sizeFromCrop, mapping)) return dest;
    drawMappedRowsInStrips<Sample>(*src, mapping, *dest);
    dest->scale = mapping.s * src->scale;
    return dest;
}

// The part of a plain resize (no crop, insets or angle) of src to
// width x height that starts at (partX, partY), into dest at dest's size.
template <class Sample>
bool drawResizedPart(const ImageBuffer* src, int64_t width, int64_t height, int64_t partX, int64_t partY,
                     ImageBuffer& dest) {
    if (!dest.data || dest.width < 1 || dest.height < 1) return false;
    const int32_t dc = dest.channelCount();
    const int64_t destPixels = static_cast<int64_t>(dest.width) * dest.height;
    Sample* out = static_cast<Sample*>(dest.data);
    std::memset(out, 0, static_cast<size_t>(destPixels * dc) * sizeof(Sample));
    if (dc == 4)
        for (int64_t p = 0; p < destPixels; ++p) out[p * 4 + 3] = static_cast<Sample>(255);
    if (!src || !src->data || src->width < 1 || src->height < 1 || width < 1 || height < 1) return false;
    if (partX < 0 || partY < 0 || partX + dest.width > width || partY + dest.height > height) return false;
    const int32_t W = src->width;
    const int32_t H = src->height;
    if (W == width && H == height) {
        // One to one: the whole drawing is the source itself.
        const int32_t sc = src->channelCount();
        const int32_t n = dc < sc ? dc : sc;
        const Sample* in = static_cast<const Sample*>(src->data);
        for (int32_t y = 0; y < dest.height; ++y) {
            const Sample* p = in + ((partY + y) * W + partX) * sc;
            Sample* q = out + static_cast<int64_t>(y) * dest.width * dc;
            for (int32_t x = 0; x < dest.width; ++x, p += sc, q += dc)
                for (int32_t c = 0; c < n; ++c) q[c] = p[c];
        }
        return true;
    }
    DrawMapping mapping;
    if (!planDrawing<Sample>(W, H, width, height, nullptr, nullptr, 0.0f, false, mapping)) return false;
    drawMappedRows<Sample>(*src, mapping, dest, partX, partY);
    return true;
}

}  // namespace

void samplePixel(const ImageBuffer& src, float* out, float x, float y, float footprint) {
    samplePixelT<float>(src, out, x, y, footprint);
}

void samplePixel8(const ImageBuffer& src, uint8_t* out, float x, float y, float footprint) {
    samplePixelT<uint8_t>(src, out, x, y, footprint);
}

void copyResizedNearest(ImageBuffer& dest, const ImageBuffer& src) {
    copyResizedNearestT<float>(dest, src);
}

void copyResizedNearest8(ImageBuffer& dest, const ImageBuffer& src) {
    copyResizedNearestT<uint8_t>(dest, src);
}

ImageBuffer* drawTransformedBitmap(const ImageBuffer* src, int32_t width, int32_t height, const float* crop,
                                   const int32_t* insets, ImageBuffer* dest, float angle) {
    return drawTransformed<float>(src, width, height, crop, insets, dest, angle);
}

ImageBuffer* drawTransformedBitmapWindow(const ImageBuffer* src, int32_t width, int32_t height, const float* crop,
                                         const int32_t* insets, ImageBuffer* dest, float angle,
                                         const DrawWindow& window) {
    if (width < 1 || height < 1 || window.width < 1 || window.height < 1) return dest;
    if (!dest) {
        dest = new ImageBuffer();
        allocateLike<float>(*dest, window.width, window.height, src ? src->channelCount() : 3);
    } else if (!dest->data || dest->width != window.width || dest->height != window.height) {
        allocateLike<float>(*dest, window.width, window.height, dest->channels);
    }
    if (!dest->data) return dest;
    const int32_t dc = dest->channelCount();
    const int64_t destPixels = static_cast<int64_t>(dest->width) * dest->height;
    float* out = dest->floats();
    // Cleared to (opaque) black first, unless every sample of the window is
    // about to be written.
    auto clear = [&]() {
        std::memset(out, 0, static_cast<size_t>(destPixels * dc) * sizeof(float));
        if (dc == 4)
            for (int64_t p = 0; p < destPixels; ++p) out[p * 4 + 3] = 255.0f;
    };
    const bool usable = src && src->data && src->width >= 1 && src->height >= 1;
    const int32_t W = usable ? src->width : 0;
    const int32_t H = usable ? src->height : 0;
    const bool plain = !crop || (crop[0] == 0.0f && crop[1] == 0.0f && crop[2] == 0.0f && crop[3] == 0.0f);
    const bool noInsets = !insets || (insets[0] == 0 && insets[1] == 0 && insets[2] == 0 && insets[3] == 0);
    const bool oneToOne = W == width && H == height && angle == 0.0f && plain && noInsets;
    const bool inside = window.originX >= 0 && window.originY >= 0 &&
                        static_cast<int64_t>(window.originX) + window.width <= width &&
                        static_cast<int64_t>(window.originY) + window.height <= height;
    if (!usable || dc > src->channelCount() || !inside) clear();
    if (!usable) return dest;
    if (oneToOne) {
        // One to one: the window's rectangle of the source, rows on all threads.
        const int32_t sc = src->channelCount();
        const int32_t n = dc < sc ? dc : sc;
        const float* in = src->floats();
        const int64_t firstX = window.originX < 0 ? -static_cast<int64_t>(window.originX) : 0;
        int64_t endX = dest->width;
        if (static_cast<int64_t>(window.originX) + endX > W) endX = static_cast<int64_t>(W) - window.originX;
        constexpr int32_t kCopyRows = 64;
        const int32_t tasks = (dest->height + kCopyRows - 1) / kCopyRows;
        parallelFor(tasks, 0.5f, [&](int32_t task) {
            const int32_t top = task * kCopyRows;
            const int32_t bottom = top + kCopyRows < dest->height ? top + kCopyRows : dest->height;
            for (int32_t y = top; y < bottom; ++y) {
                const int64_t sy = static_cast<int64_t>(window.originY) + y;
                if (sy < 0 || sy >= H || endX <= firstX) continue;
                const float* p = in + (sy * W + window.originX + firstX) * sc;
                float* q = out + (static_cast<int64_t>(y) * dest->width + firstX) * dc;
                if (sc == dc) {
                    std::memcpy(q, p, static_cast<size_t>((endX - firstX) * sc) * sizeof(float));
                    continue;
                }
                for (int64_t x = firstX; x < endX; ++x, p += sc, q += dc)
                    for (int32_t c = 0; c < n; ++c) q[c] = p[c];
            }
        });
        dest->scale = src->scale;
        return dest;
    }
    DrawMapping mapping;
    if (!planDrawing<float>(W, H, width, height, crop, insets, angle, false, mapping)) {
        if (dc <= src->channelCount() && inside) clear();  // nothing drawn: black
        return dest;
    }
    drawMappedRowsInStrips<float>(*src, mapping, *dest, window.originX, window.originY);
    dest->scale = mapping.s * src->scale;
    return dest;
}

ImageBuffer* drawTransformedBitmap8(const ImageBuffer* src, int32_t width, int32_t height, const float* crop,
                                    const int32_t* insets, ImageBuffer* dest, float angle) {
    return drawTransformed<uint8_t>(src, width, height, crop, insets, dest, angle);
}

bool loadNamedBitmap(ImageBuffer* image, const char* name, bool applyEmbeddedProfile) {
    if (gImageLoaderSaver) {
        if (!image || !name) return false;
        return gImageLoaderSaver->load8(GrowString(name), image, applyEmbeddedProfile);
    }
    if (!image || !image->data || image->width < 1 || image->height < 1) return false;
    const int32_t n = image->channelCount();
    if (n < 3) return false;
    uint8_t* p = image->bytes();
    const int64_t pixels = static_cast<int64_t>(image->width) * image->height;
    for (int64_t i = 0; i < pixels; ++i, p += n) {
        p[0] = 255;
        p[1] = 0;
        p[2] = 0;
        if (n == 4) p[3] = 255;
    }
    return false;
}

bool drawResizedBitmapPart8(const ImageBuffer* src, int64_t width, int64_t height, int64_t partX, int64_t partY,
                            ImageBuffer& dest) {
    return drawResizedPart<uint8_t>(src, width, height, partX, partY, dest);
}
