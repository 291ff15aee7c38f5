// The blur kernels: the half-width of a radius, the bell, the raw weights
// of a Gaussian or Box tap and of a disc cell, and the normalised
// one-dimensional taps and disc kernel built from them.
#include "pixels/Convolution.h"

#include <math.h>

#include <cstddef>
#include <cstdint>
#include <vector>

int32_t blurHalfWidth(float r) {
    const float reach = ceilf(r - 1.0f);
    if (!(reach > 0.0f) || reach > static_cast<float>(kMaxBlurHalfWidth)) return 0;
    return static_cast<int32_t>(reach);
}

float bellCurve(float u) {
    if (u <= 0.0f) return 0.0f;
    if (u < 0.5f) {
        const float twice = 2.0f * u;
        return twice * twice * 0.5f;
    }
    if (u < 1.0f) {
        const float s = static_cast<float>(2.0 - 2.0 * static_cast<double>(u));
        return static_cast<float>(1.0 - 0.5 * static_cast<double>(s * s));
    }
    return 1.0f;
}

float gaussianTapWeight(float r, int32_t offset) {
    const float t = static_cast<float>(offset < 0 ? -static_cast<int64_t>(offset) : offset) / r;
    if (t > 1.0f) return 0.0f;
    return bellCurve(1.0f - t);
}

float boxTapWeight(float r, int32_t offset) {
    const float d = static_cast<float>(offset < 0 ? -static_cast<int64_t>(offset) : offset);
    if (d < r - 1.0f) return 1.0f;
    if (d >= r) return 0.0f;
    return r - d;
}

float discCellWeight(float r, int32_t dx, int32_t dy) { return discWeight(r - 1.0f, r, dx, dy); }

float discWeight(float full, float rim, int32_t dx, int32_t dy) {
    const float d = sqrtf(static_cast<float>(static_cast<int64_t>(dx) * dx + static_cast<int64_t>(dy) * dy));
    if (d < full) return 1.0f;
    if (d < rim) return rim - d;
    return 0.0f;
}

std::vector<float> blurTaps(uint32_t method, float r, int32_t n) {
    std::vector<float> taps;
    if (n < 1 || n > kMaxBlurHalfWidth || (method != kBlurGaussian && method != kBlurBox)) return taps;
    taps.resize(static_cast<size_t>(2 * n + 1));
    float sum = 0.0f;
    for (int32_t k = 0; k < 2 * n + 1; ++k) {
        taps[k] = method == kBlurGaussian ? gaussianTapWeight(r, k - n) : boxTapWeight(r, k - n);
        sum += taps[k];
    }
    if (!(sum != 0.0f)) return std::vector<float>();
    taps[0] = taps[0] / sum;
    const float inverse = 1.0f / sum;
    for (size_t k = 1; k < taps.size(); ++k) taps[k] *= inverse;
    return taps;
}

std::vector<float> discKernel(float r, int32_t n) {
    std::vector<float> kernel;
    if (n < 1 || n > kMaxBlurHalfWidth) return kernel;
    const int32_t taps = 2 * n + 1;
    kernel.resize(static_cast<size_t>(taps) * taps);
    float sum = 0.0f;
    for (int32_t j = 0; j < taps; ++j) {
        for (int32_t i = 0; i < taps; ++i) {
            const float w = discCellWeight(r, i - n, j - n);
            kernel[static_cast<size_t>(j) * taps + i] = w;
            sum += w;
        }
    }
    if (!(sum != 0.0f)) return std::vector<float>();
    for (float& w : kernel) w = w / sum;
    return kernel;
}
