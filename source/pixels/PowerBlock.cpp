#include "pixels/PowerBlock.h"

#include <math.h>

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12's intrinsic headers start some vectors from an undefined value,
// which -Wmaybe-uninitialized reports once they are inlined here.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#define PELLUCINE_POW_VECTOR 1
#endif

namespace pixel {

namespace {

#if PELLUCINE_POW_VECTOR

// The constants of the library's powf, as IEEE double bit patterns.
// log2(x) = log1p(z/c - 1)/ln2 + log2(c) + k over 16 subintervals of z:
// 1/c and log2(c) of each.
constexpr uint64_t kInvC[16] = {
    0x3ff661ec79f8f3be, 0x3ff571ed4aaf883d, 0x3ff49539f0f010b0, 0x3ff3c995b0b80385,
    0x3ff30d190c8864a5, 0x3ff25e227b0b8ea0, 0x3ff1bb4a4a1a343f, 0x3ff12358f08ae5ba,
    0x3ff0953f419900a7, 0x3ff0000000000000, 0x3fee608cfd9a47ac, 0x3feca4b31f026aa0,
    0x3feb2036576afce6, 0x3fe9c2d163a1aa2d, 0x3fe886e6037841ed, 0x3fe767dcf5534862,
};
constexpr uint64_t kLogC[16] = {
    0xbfdefec65b963019, 0xbfdb0b6832d4fca4, 0xbfd7418b0a1fb77b, 0xbfd39de91a6dcf7b,
    0xbfd01d9bf3f2b631, 0xbfc97c1d1b3b7af0, 0xbfc2f9e393af3c9f, 0xbfb960cbbf788d5c,
    0xbfaa6f9db6475fce, 0x0000000000000000, 0x3fb338ca9f24f53d, 0x3fc476a9543891ba,
    0x3fce840b4ac4e4d2, 0x3fd40645f0c6651c, 0x3fd88e9c2c1b9ff8, 0x3fdce0a44eb17bcc,
};
// The log1p(r)/ln2 polynomial, highest power first.
constexpr uint64_t kLogPoly[5] = {0x3fd27616c9496e0b, 0xbfd71969a075c67a, 0x3fdec70a6ca7badd,
                                  0xbfe7154748bef6c8, 0x3ff71547652ab82b};
// 2^(i/32) with i << 47 taken out of its bits.
constexpr uint64_t kExp2Table[32] = {
    0x3ff0000000000000, 0x3fefd9b0d3158574, 0x3fefb5586cf9890f, 0x3fef9301d0125b51,
    0x3fef72b83c7d517b, 0x3fef54873168b9aa, 0x3fef387a6e756238, 0x3fef1e9df51fdee1,
    0x3fef06fe0a31b715, 0x3feef1a7373aa9cb, 0x3feedea64c123422, 0x3feece086061892d,
    0x3feebfdad5362a27, 0x3feeb42b569d4f82, 0x3feeab07dd485429, 0x3feea47eb03a5585,
    0x3feea09e667f3bcd, 0x3fee9f75e8ec5f74, 0x3feea11473eb0187, 0x3feea589994cce13,
    0x3feeace5422aa0db, 0x3feeb737b0cdc5e5, 0x3feec49182a3f090, 0x3feed503b23e255d,
    0x3feee89f995ad3ad, 0x3feeff76f2fb5e47, 0x3fef199bdd85529c, 0x3fef3720dcef9069,
    0x3fef5818dcfba487, 0x3fef7c97337b9b5f, 0x3fefa4afa2a490da, 0x3fefd0765b6e4540,
};
constexpr uint64_t kExp2Shift = 0x42e8000000000000;  // 1.5 * 2^52 / 32: rounds to a multiple of 1/32
// The 2^r polynomial: r^3, r^2 and r coefficients.
constexpr uint64_t kExp2Poly[3] = {0x3fac6af84b912394, 0x3fcebfce50fac4f3, 0x3fe62e42ff0c52d6};

double fromBits(uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// Four samples at a time; each lane outside the library's main path is
// redone by powf afterwards.
__attribute__((target("avx2,fma"))) void powBlockAvx2(float* values, int64_t count, float e) {
    const double* invC = reinterpret_cast<const double*>(kInvC);
    const double* logC = reinterpret_cast<const double*>(kLogC);
    const long long* exp2Table = reinterpret_cast<const long long*>(kExp2Table);
    const __m256d exponent = _mm256_set1_pd(static_cast<double>(e));
    const __m256d minusOne = _mm256_set1_pd(-1.0);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d a0 = _mm256_set1_pd(fromBits(kLogPoly[0]));
    const __m256d a1 = _mm256_set1_pd(fromBits(kLogPoly[1]));
    const __m256d a2 = _mm256_set1_pd(fromBits(kLogPoly[2]));
    const __m256d a3 = _mm256_set1_pd(fromBits(kLogPoly[3]));
    const __m256d a4 = _mm256_set1_pd(fromBits(kLogPoly[4]));
    const __m256d shift = _mm256_set1_pd(fromBits(kExp2Shift));
    const __m256d c0 = _mm256_set1_pd(fromBits(kExp2Poly[0]));
    const __m256d c1 = _mm256_set1_pd(fromBits(kExp2Poly[1]));
    const __m256d c2 = _mm256_set1_pd(fromBits(kExp2Poly[2]));
    const __m128i flip = _mm_set1_epi32(static_cast<int32_t>(0x80000000u));
    int64_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i ix = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
        // Main path: a positive normal finite base (ix - 2^23 < 0x7f000000 unsigned).
        const __m128i fromNormal = _mm_sub_epi32(ix, _mm_set1_epi32(0x00800000));
        const __m128i normal = _mm_cmplt_epi32(_mm_xor_si128(fromNormal, flip),
                                               _mm_xor_si128(_mm_set1_epi32(0x7f000000), flip));
        // x = 2^k z with z in [0x3f330000, 2 * 0x3f330000) as floats.
        const __m128i tmp = _mm_sub_epi32(ix, _mm_set1_epi32(0x3f330000));
        const __m256i index = _mm256_cvtepu32_epi64(_mm_and_si128(_mm_srli_epi32(tmp, 19), _mm_set1_epi32(15)));
        const __m128i top = _mm_and_si128(tmp, _mm_set1_epi32(static_cast<int32_t>(0xff800000u)));
        const __m128i iz = _mm_sub_epi32(ix, top);
        const __m128i k = _mm_srai_epi32(top, 23);
        const __m256d z = _mm256_cvtps_pd(_mm_castsi128_ps(iz));
        const __m256d invc = _mm256_i64gather_pd(invC, index, 8);
        const __m256d logc = _mm256_i64gather_pd(logC, index, 8);
        const __m256d r = _mm256_fmadd_pd(z, invc, minusOne);
        const __m256d y0 = _mm256_add_pd(_mm256_cvtepi32_pd(k), logc);
        const __m256d y = _mm256_fmadd_pd(r, a0, a1);
        const __m256d p = _mm256_fmadd_pd(r, a2, a3);
        const __m256d r2 = _mm256_mul_pd(r, r);
        __m256d q = _mm256_fmadd_pd(r, a4, y0);
        const __m256d r4 = _mm256_mul_pd(r2, r2);
        q = _mm256_fmadd_pd(r2, p, q);
        const __m256d logx = _mm256_fmadd_pd(y, r4, q);
        const __m256d ylogx = _mm256_mul_pd(exponent, logx);
        // Main path: |y log2 x| below about 126 (bits 47..62 at most 0x80be).
        const __m256i high = _mm256_and_si256(_mm256_srli_epi64(_mm256_castpd_si256(ylogx), 47),
                                              _mm256_set1_epi64x(0xffff));
        const __m256i outOfRange = _mm256_cmpgt_epi64(high, _mm256_set1_epi64x(0x80be));
        // 2^ylogx = 2^(k/32) 2^r with r in [-1/64, 1/64].
        __m256d kd = _mm256_add_pd(ylogx, shift);
        const __m256i ki = _mm256_castpd_si256(kd);
        kd = _mm256_sub_pd(kd, shift);
        const __m256d rr = _mm256_sub_pd(ylogx, kd);
        const __m256i entry = _mm256_i64gather_epi64(exp2Table, _mm256_and_si256(ki, _mm256_set1_epi64x(31)), 8);
        const __m256d s = _mm256_castsi256_pd(_mm256_add_epi64(entry, _mm256_slli_epi64(ki, 47)));
        const __m256d zz = _mm256_fmadd_pd(rr, c0, c1);
        const __m256d rr2 = _mm256_mul_pd(rr, rr);
        __m256d result = _mm256_fmadd_pd(rr, c2, one);
        result = _mm256_fmadd_pd(zz, rr2, result);
        result = _mm256_mul_pd(result, s);
        _mm_storeu_ps(values + i, _mm256_cvtpd_ps(result));

        // Lanes off the main path: powf on the base as it was.
        const int normalMask = _mm_movemask_ps(_mm_castsi128_ps(normal));
        const int rangeMask = _mm256_movemask_pd(_mm256_castsi256_pd(outOfRange));
        const int redo = (~normalMask | rangeMask) & 0xf;
        if (redo) {
            alignas(16) int32_t bases[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(bases), ix);
            for (int lane = 0; lane < 4; ++lane)
                if (redo & (1 << lane)) {
                    float base;
                    std::memcpy(&base, &bases[lane], sizeof base);
                    values[i + lane] = powf(base, e);
                }
        }
    }
    for (; i < count; ++i) values[i] = powf(values[i], e);
}

// Eight samples at a time with AVX-512: the tables sit in registers and
// are read by two-register permutes. The same operations as above.
__attribute__((target("avx512f,avx2,fma"))) void powBlockAvx512(float* values, int64_t count, float e) {
    const __m512d invCLow = _mm512_loadu_pd(kInvC);
    const __m512d invCHigh = _mm512_loadu_pd(kInvC + 8);
    const __m512d logCLow = _mm512_loadu_pd(kLogC);
    const __m512d logCHigh = _mm512_loadu_pd(kLogC + 8);
    const __m512i exp2Table[4] = {_mm512_loadu_si512(kExp2Table), _mm512_loadu_si512(kExp2Table + 8),
                                  _mm512_loadu_si512(kExp2Table + 16), _mm512_loadu_si512(kExp2Table + 24)};
    const __m512d exponent = _mm512_set1_pd(static_cast<double>(e));
    const __m512d minusOne = _mm512_set1_pd(-1.0);
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d a0 = _mm512_set1_pd(fromBits(kLogPoly[0]));
    const __m512d a1 = _mm512_set1_pd(fromBits(kLogPoly[1]));
    const __m512d a2 = _mm512_set1_pd(fromBits(kLogPoly[2]));
    const __m512d a3 = _mm512_set1_pd(fromBits(kLogPoly[3]));
    const __m512d a4 = _mm512_set1_pd(fromBits(kLogPoly[4]));
    const __m512d shift = _mm512_set1_pd(fromBits(kExp2Shift));
    const __m512d c0 = _mm512_set1_pd(fromBits(kExp2Poly[0]));
    const __m512d c1 = _mm512_set1_pd(fromBits(kExp2Poly[1]));
    const __m512d c2 = _mm512_set1_pd(fromBits(kExp2Poly[2]));
    const __m256i flip = _mm256_set1_epi32(static_cast<int32_t>(0x80000000u));
    int64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i ix = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + i));
        const __m256i fromNormal = _mm256_sub_epi32(ix, _mm256_set1_epi32(0x00800000));
        const __m256i normal = _mm256_cmpgt_epi32(_mm256_xor_si256(_mm256_set1_epi32(0x7f000000), flip),
                                                  _mm256_xor_si256(fromNormal, flip));
        const __m256i tmp = _mm256_sub_epi32(ix, _mm256_set1_epi32(0x3f330000));
        const __m512i index =
            _mm512_cvtepu32_epi64(_mm256_and_si256(_mm256_srli_epi32(tmp, 19), _mm256_set1_epi32(15)));
        const __m256i top = _mm256_and_si256(tmp, _mm256_set1_epi32(static_cast<int32_t>(0xff800000u)));
        const __m256i iz = _mm256_sub_epi32(ix, top);
        const __m256i k = _mm256_srai_epi32(top, 23);
        const __m512d z = _mm512_cvtps_pd(_mm256_castsi256_ps(iz));
        const __m512d invc = _mm512_permutex2var_pd(invCLow, index, invCHigh);
        const __m512d logc = _mm512_permutex2var_pd(logCLow, index, logCHigh);
        const __m512d r = _mm512_fmadd_pd(z, invc, minusOne);
        const __m512d y0 = _mm512_add_pd(_mm512_cvtepi32_pd(k), logc);
        const __m512d y = _mm512_fmadd_pd(r, a0, a1);
        const __m512d p = _mm512_fmadd_pd(r, a2, a3);
        const __m512d r2 = _mm512_mul_pd(r, r);
        __m512d q = _mm512_fmadd_pd(r, a4, y0);
        const __m512d r4 = _mm512_mul_pd(r2, r2);
        q = _mm512_fmadd_pd(r2, p, q);
        const __m512d logx = _mm512_fmadd_pd(y, r4, q);
        const __m512d ylogx = _mm512_mul_pd(exponent, logx);
        const __m512i high = _mm512_and_si512(_mm512_srli_epi64(_mm512_castpd_si512(ylogx), 47),
                                              _mm512_set1_epi64(0xffff));
        const __mmask8 outOfRange = _mm512_cmpgt_epi64_mask(high, _mm512_set1_epi64(0x80be));
        __m512d kd = _mm512_add_pd(ylogx, shift);
        const __m512i ki = _mm512_castpd_si512(kd);
        kd = _mm512_sub_pd(kd, shift);
        const __m512d rr = _mm512_sub_pd(ylogx, kd);
        // Entry ki & 31: bits 0..3 pick within a pair of registers, bit 4 the pair.
        const __m512i low = _mm512_permutex2var_epi64(exp2Table[0], ki, exp2Table[1]);
        const __m512i upper = _mm512_permutex2var_epi64(exp2Table[2], ki, exp2Table[3]);
        const __mmask8 bit4 = _mm512_test_epi64_mask(ki, _mm512_set1_epi64(16));
        const __m512i entry = _mm512_mask_blend_epi64(bit4, low, upper);
        const __m512d s = _mm512_castsi512_pd(_mm512_add_epi64(entry, _mm512_slli_epi64(ki, 47)));
        const __m512d zz = _mm512_fmadd_pd(rr, c0, c1);
        const __m512d rr2 = _mm512_mul_pd(rr, rr);
        __m512d result = _mm512_fmadd_pd(rr, c2, one);
        result = _mm512_fmadd_pd(zz, rr2, result);
        result = _mm512_mul_pd(result, s);
        _mm256_storeu_ps(values + i, _mm512_cvtpd_ps(result));

        const int normalMask = _mm256_movemask_ps(_mm256_castsi256_ps(normal));
        const int redo = (~normalMask | static_cast<int>(outOfRange)) & 0xff;
        if (redo) {
            alignas(32) int32_t bases[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(bases), ix);
            for (int lane = 0; lane < 8; ++lane)
                if (redo & (1 << lane)) {
                    float base;
                    std::memcpy(&base, &bases[lane], sizeof base);
                    values[i + lane] = powf(base, e);
                }
        }
    }
    if (i < count) powBlockAvx2(values + i, count - i, e);
}

// Whether the exponent takes the library's main path (not 0, infinite or NaN).
bool ordinaryExponent(float e) {
    uint32_t bits;
    std::memcpy(&bits, &e, sizeof bits);
    return 2u * bits - 1u < 2u * 0x7f800000u - 1u;
}

using BlockFunction = void (*)(float*, int64_t, float);

// A vector path against powf on a spread of bases (every few 2^-23 steps of
// 0.5..1, a sweep of bit patterns over the whole float range, the
// neighbourhood of 1/255) for exponents like those of the curves.
bool matchesLibrary(BlockFunction block) {
    static const float exponents[] = {1.25f, 0.8695652f, 1.0f / 0.35f, 0.4f, 2.0f, 0.5f, 3.7f, -1.3f, 1e-3f, 60.0f};
    constexpr int kCount = 4093;  // not a multiple of 8: the shorter paths at the end run too
    float bases[kCount];
    float out[kCount];
    for (float e : exponents) {
        for (int pass = 0; pass < 3; ++pass) {
            for (int j = 0; j < kCount; ++j) {
                uint32_t bits;
                if (pass == 0) bits = 0x3f000000u + static_cast<uint32_t>(j) * 2047u;
                else if (pass == 1) bits = static_cast<uint32_t>(j) * 1048573u;
                else bits = 0x3b800000u + static_cast<uint32_t>(j) * 7919u;
                std::memcpy(&bases[j], &bits, sizeof bits);
            }
            std::memcpy(out, bases, sizeof out);
            block(out, kCount, e);
            for (int j = 0; j < kCount; ++j) {
                const float expected = powf(bases[j], e);
                if (std::memcmp(&expected, &out[j], sizeof expected) != 0) return false;
            }
        }
    }
    return true;
}

// The widest vector path the processor has that gives powf's results; null
// for none.
BlockFunction chooseBlock() {
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) return nullptr;
    if (!matchesLibrary(powBlockAvx2)) return nullptr;
    if (__builtin_cpu_supports("avx512f") && matchesLibrary(powBlockAvx512)) return powBlockAvx512;
    return powBlockAvx2;
}

BlockFunction vectorBlock() {
    static const BlockFunction chosen = chooseBlock();
    return chosen;
}

#endif

}  // namespace

void powBlock(float* values, int64_t count, float e) {
#if PELLUCINE_POW_VECTOR
    if (count >= 4 && ordinaryExponent(e)) {
        if (BlockFunction block = vectorBlock()) {
            block(values, count, e);
            return;
        }
    }
#endif
    for (int64_t i = 0; i < count; ++i) values[i] = powf(values[i], e);
}

bool powBlockIsVectorised() {
#if PELLUCINE_POW_VECTOR
    return vectorBlock() != nullptr;
#else
    return false;
#endif
}

}  // namespace pixel
