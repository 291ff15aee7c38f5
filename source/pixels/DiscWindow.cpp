// The rows of a disc tile's window: loaded from the image with its edges
// repeated, their prefix sums, the checks that send a row to the direct
// sums, and the cell-by-cell sum of the samples near a non-finite one.
#include "pixels/DiscSums.h"

#include <math.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "pixels/ConvolutionShared.h"
#include "pixels/KernelAttributes.h"

namespace convolution {
namespace {

// Samples whose size could swamp the prefix sums of a row.
constexpr float kPrefixSafe = 1.0e7f;

}  // namespace

// The normalised kernel's sum of one sample, cell by cell in the kernel's
// order, as the plain convolution takes it; stops at NaN (which stays).
float cellByCellSum(const DiscRow* const* rows, const float* kernel, int32_t n, int32_t channels, int32_t j) {
    const int32_t taps = 2 * n + 1;
    float acc = 0.0f;
    for (int32_t ky = 0; ky < taps; ++ky) {
        const float* v = rows[ky]->values + j;
        const float* w = kernel + static_cast<ptrdiff_t>(ky) * taps;
        for (int32_t kx = 0; kx < taps; ++kx) acc += w[kx] * v[static_cast<ptrdiff_t>(kx) * channels];
        if (acc != acc) break;
    }
    return acc;
}

// The pixels [from, from + count) of a row as floats, columns outside the
// row repeating its first or last pixel.
template <class Sample>
TILE_VECTOR_LOOP void loadWindow(const Sample* row, int32_t width, int32_t channels, int32_t from, int32_t count,
                                 float* out) {
    int32_t p = 0;
    for (; p < count && from + p < 0; ++p)
        for (int32_t c = 0; c < channels; ++c) out[p * channels + c] = sampleValue(row[c]);
    const int32_t inside = (width - from < count ? width - from : count) - p;
    if (inside > 0) {
        const Sample* first = row + static_cast<ptrdiff_t>(from + p) * channels;
        float* o = out + static_cast<ptrdiff_t>(p) * channels;
        const int32_t length = inside * channels;
        for (int32_t j = 0; j < length; ++j) o[j] = sampleValue(first[j]);
        p += inside;
    }
    const Sample* last = row + static_cast<ptrdiff_t>(width - 1) * channels;
    for (; p < count; ++p)
        for (int32_t c = 0; c < channels; ++c) out[p * channels + c] = sampleValue(last[c]);
}

template void loadWindow<float>(const float* row, int32_t width, int32_t channels, int32_t from, int32_t count,
                                float* out);
template void loadWindow<uint8_t>(const uint8_t* row, int32_t width, int32_t channels, int32_t from, int32_t count,
                                  float* out);

// prefix[j + channels] = the sum of values[j], values[j - channels], ...
// from prefix[0..channels) = 0: each summed in double and rounded to float
// once, so its error is half a unit in its last place, however long the row.
void prefixSums(const float* values, int32_t count, int32_t channels, float* prefix) {
    for (int32_t c = 0; c < channels; ++c) prefix[c] = 0.0f;
    if (channels == 3) {
        double r0 = 0.0, r1 = 0.0, r2 = 0.0;  // three chains side by side
        int32_t j = 0;
        for (; j + 3 <= count; j += 3) {
            r0 += static_cast<double>(values[j]);
            r1 += static_cast<double>(values[j + 1]);
            r2 += static_cast<double>(values[j + 2]);
            prefix[j + 3] = static_cast<float>(r0);
            prefix[j + 4] = static_cast<float>(r1);
            prefix[j + 5] = static_cast<float>(r2);
        }
        if (j < count) {
            r0 += static_cast<double>(values[j]);
            prefix[j + 3] = static_cast<float>(r0);
        }
        if (j + 1 < count) prefix[j + 4] = static_cast<float>(r1 + static_cast<double>(values[j + 1]));
        return;
    }
    for (int32_t c = 0; c < channels; ++c) {
        double running = 0.0;
        for (int32_t j = c; j < count; j += channels) {
            running += static_cast<double>(values[j]);
            prefix[j + channels] = static_cast<float>(running);
        }
    }
}

// Whether every sample is within ±kPrefixSafe (NaN is not), and whether
// every one is finite.
TILE_VECTOR_LOOP bool allModest(const float* v, int32_t count) {
    int32_t outside = 0;
    for (int32_t j = 0; j < count; ++j) outside |= !(fabsf(v[j]) <= kPrefixSafe);
    return outside == 0;
}
bool allFinite(const float* v, int32_t count) {
    for (int32_t j = 0; j < count; ++j)
        if (!std::isfinite(v[j])) return false;
    return true;
}

}  // namespace convolution
