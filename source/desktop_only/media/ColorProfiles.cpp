#include "ColorProfiles.h"

#include "PixelTransfer.h"

#include "platform/ParallelFor.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImage>

#include <lcms2.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;
using TransformPtr = std::unique_ptr<void, TransformDeleter>;

// Rows per task of the parallel conversion: about a megabyte of samples.
int rowsPerTask(int width) {
    const int rows = width > 0 ? (1 << 18) / width : 1;
    return rows < 1 ? 1 : rows;
}

// The float value of a decoded sample (0..1), and back (clipped to 0..1,
// rounded to the nearest level).
inline float toUnit(uint8_t v) { return static_cast<float>(v) * (1.0f / 255.0f); }
inline float toUnit(uint16_t v) { return static_cast<float>(v) * (1.0f / 65535.0f); }
template <class Sample>
inline Sample fromUnit(float v) {
    constexpr float kMax = sizeof(Sample) == 1 ? 255.0f : 65535.0f;
    if (!(v > 0.0f)) return 0;  // NaN too
    if (v >= 1.0f) return static_cast<Sample>(kMax);
    return static_cast<Sample>(static_cast<int32_t>(v * kMax + 0.5f));
}

// Runs the float transform over every row of an RGBA image, Sample being
// uint8_t or uint16_t, rows in parallel (the transform keeps no cache, so
// threads may share it). Grey profiles read the red sample (grey images
// decode with equal red, green and blue) and write all three; alpha is
// never touched. The transform is unbounded; its results are clipped to
// 0..1 and rounded to the nearest level.
template <class Sample>
bool transformRows(QImage* image, cmsHTRANSFORM transform, bool greyInput) {
    const int width = image->width();
    const int height = image->height();
    const int rows = rowsPerTask(width);
    const int tasks = (height + rows - 1) / rows;
    std::atomic<bool> failed{false};
    uchar* bits = image->bits();  // detached once, here, not by every task
    const qsizetype rowBytes = image->bytesPerLine();
    if (!bits) return false;
    parallelFor(tasks, 0.5f, [&](int32_t task) {
        std::unique_ptr<float[]> in(new (std::nothrow) float[static_cast<size_t>(width) * 3]);
        std::unique_ptr<float[]> out(new (std::nothrow) float[static_cast<size_t>(width) * 3]);
        if (!in || !out) {
            failed.store(true);
            return;
        }
        const int first = task * rows;
        const int end = first + rows < height ? first + rows : height;
        for (int y = first; y < end; ++y) {
            Sample* row = reinterpret_cast<Sample*>(bits + static_cast<qsizetype>(y) * rowBytes);
            if (greyInput) {
                for (int x = 0; x < width; ++x) in[x] = toUnit(row[x * 4]);
            } else {
                for (int x = 0; x < width; ++x) {
                    in[x * 3 + 0] = toUnit(row[x * 4 + 0]);
                    in[x * 3 + 1] = toUnit(row[x * 4 + 1]);
                    in[x * 3 + 2] = toUnit(row[x * 4 + 2]);
                }
            }
            cmsDoTransform(transform, in.get(), out.get(), static_cast<cmsUInt32Number>(width));
            for (int x = 0; x < width; ++x) {
                row[x * 4 + 0] = fromUnit<Sample>(out[x * 3 + 0]);
                row[x * 4 + 1] = fromUnit<Sample>(out[x * 3 + 1]);
                row[x * 4 + 2] = fromUnit<Sample>(out[x * 3 + 2]);
            }
        }
    });
    return !failed.load();
}

// The size an ICC profile's header declares (its first four bytes, big
// endian).
uint32_t declaredSize(const std::vector<uint8_t>& profile) {
    return static_cast<uint32_t>(profile[0]) << 24 | static_cast<uint32_t>(profile[1]) << 16 |
           static_cast<uint32_t>(profile[2]) << 8 | static_cast<uint32_t>(profile[3]);
}

// Whether a matrix-shaper RGB profile describes sRGB: colorants within 0.002
// of sRGB's (D50-adapted XYZ) and tone curves within 0.001 at 65 points
// (a quarter of an 8-bit level).
bool isSrgbEquivalent(cmsHPROFILE profile, cmsHPROFILE srgb) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile)) return false;
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const cmsCIEXYZ* a = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
        const cmsCIEXYZ* b = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb, colorants[c]));
        if (!a || !b) return false;
        if (std::fabs(a->X - b->X) > 0.002 || std::fabs(a->Y - b->Y) > 0.002 || std::fabs(a->Z - b->Z) > 0.002)
            return false;
        const cmsToneCurve* ta = static_cast<const cmsToneCurve*>(cmsReadTag(profile, curves[c]));
        const cmsToneCurve* tb = static_cast<const cmsToneCurve*>(cmsReadTag(srgb, curves[c]));
        if (!ta || !tb) return false;
        for (int i = 0; i <= 64; ++i) {
            const float x = static_cast<float>(i) / 64.0f;
            if (std::fabs(cmsEvalToneCurveFloat(ta, x) - cmsEvalToneCurveFloat(tb, x)) > 0.001f) return false;
        }
    }
    return true;
}

}  // namespace

bool isSoundProfile(const std::vector<uint8_t>& profile) {
    // An ICC header is 128 bytes; the declared size must be the data's.
    if (profile.size() < 128 || profile.size() > UINT32_MAX) return false;
    if (declaredSize(profile) != profile.size()) return false;
    ProfilePtr opened(cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    return opened != nullptr;
}

struct SrgbConversion::Prepared {
    TransformPtr transform;
    bool grey = false;
};

SrgbConversion::SrgbConversion() = default;
SrgbConversion::~SrgbConversion() = default;

SrgbConversion::Outcome SrgbConversion::prepare(const std::vector<uint8_t>& profile, PixelColours stored) {
    prepared_.reset();
    if (profile.empty() || stored == PixelColours::kOther) return kUnusable;
    ProfilePtr source(cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!source) return kUnusable;
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    const bool grey = space == cmsSigGrayData;
    if (!grey && space != cmsSigRgbData) return kUnusable;
    // A profile of the other model describes other samples than these.
    if ((stored == PixelColours::kGrey && !grey) || (stored == PixelColours::kRgb && grey)) return kUnusable;

    ProfilePtr srgb(cmsCreate_sRGBProfile());
    if (!srgb) return kUnusable;
    if (isSrgbEquivalent(source.get(), srgb.get())) return kNothingToDo;
    // Float samples in and out: lcms2 evaluates the profiles exactly
    // instead of interpolating a precomputed 8- or 16-bit table, which is
    // off by up to 15 levels on saturated colours of wide-gamut profiles.
    const cmsUInt32Number inFormat = grey ? TYPE_GRAY_FLT : TYPE_RGB_FLT;
    TransformPtr transform(
        cmsCreateTransform(source.get(), inFormat, srgb.get(), TYPE_RGB_FLT, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!transform) return kUnusable;
    prepared_ = std::make_unique<Prepared>();
    prepared_->transform = std::move(transform);
    prepared_->grey = grey;
    return kConverts;
}

bool SrgbConversion::apply(QImage* image, bool atSixteenBits) const {
    if (!prepared_ || !image || image->isNull()) return false;
    if (image->format() != QImage::Format_RGBA64 && image->format() != QImage::Format_RGBA8888) return false;
    if (atSixteenBits && image->format() == QImage::Format_RGBA8888) {
        if (!convertInStrips(image, QImage::Format_RGBA64)) return false;
    }
    return image->format() == QImage::Format_RGBA64
               ? transformRows<uint16_t>(image, prepared_->transform.get(), prepared_->grey)
               : transformRows<uint8_t>(image, prepared_->transform.get(), prepared_->grey);
}

bool convertToSrgb(QImage* image, const std::vector<uint8_t>& profile, bool atSixteenBits) {
    if (!image || image->isNull() || profile.empty()) return false;
    if (image->format() != QImage::Format_RGBA64 && image->format() != QImage::Format_RGBA8888) return false;
    SrgbConversion conversion;
    switch (conversion.prepare(profile)) {
        case SrgbConversion::kNothingToDo: return true;
        case SrgbConversion::kConverts: return conversion.apply(image, atSixteenBits);
        default: return false;
    }
}

const std::vector<uint8_t>& srgbProfileBytes() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> result;
        ProfilePtr srgb(cmsCreate_sRGBProfile());
        cmsUInt32Number size = 0;
        if (srgb && cmsSaveProfileToMem(srgb.get(), nullptr, &size) && size > 0) {
            result.resize(size);
            if (!cmsSaveProfileToMem(srgb.get(), result.data(), &size)) result.clear();
        }
        // lcms2 stamps a new profile with the time it was made; a fixed
        // date keeps the bytes of every saved file the same from run to run.
        // The header's profile ID is left unset, so no checksum covers it.
        constexpr size_t kDateOffset = 24;
        static const uint8_t kFixedDate[12] = {0x07, 0xea, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};  // 2026-01-01 00:00:00
        if (result.size() >= 128) std::copy(kFixedDate, kFixedDate + 12, result.begin() + kDateOffset);
        return result;
    }();
    return bytes;
}

bool attachSrgbProfile(QImage* image) {
    const std::vector<uint8_t>& bytes = srgbProfileBytes();
    if (!image || bytes.empty()) return false;
    const QColorSpace space = QColorSpace::fromIccProfile(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size())));
    if (!space.isValid()) return false;
    image->setColorSpace(space);
    return true;
}
