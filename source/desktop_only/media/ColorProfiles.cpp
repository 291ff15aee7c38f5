#include "ColorProfiles.h"

#include "PixelTransfer.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImage>

#include <lcms2.h>

#include <cmath>
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

// Runs the transform over every row of an RGBA image, Sample being uint8_t
// or uint16_t. Grey profiles read the red sample (grey images decode with
// equal red, green and blue) and write all three; alpha is never touched.
template <class Sample>
bool transformRows(QImage* image, cmsHTRANSFORM transform, bool greyInput) {
    const int width = image->width();
    std::unique_ptr<Sample[]> in(new (std::nothrow) Sample[static_cast<size_t>(width) * 3]);
    std::unique_ptr<Sample[]> out(new (std::nothrow) Sample[static_cast<size_t>(width) * 3]);
    if (!in || !out) return false;
    for (int y = 0; y < image->height(); ++y) {
        Sample* row = reinterpret_cast<Sample*>(image->scanLine(y));
        if (greyInput) {
            for (int x = 0; x < width; ++x) in[x] = row[x * 4];
        } else {
            for (int x = 0; x < width; ++x) {
                in[x * 3 + 0] = row[x * 4 + 0];
                in[x * 3 + 1] = row[x * 4 + 1];
                in[x * 3 + 2] = row[x * 4 + 2];
            }
        }
        cmsDoTransform(transform, in.get(), out.get(), static_cast<cmsUInt32Number>(width));
        for (int x = 0; x < width; ++x) {
            row[x * 4 + 0] = out[x * 3 + 0];
            row[x * 4 + 1] = out[x * 3 + 1];
            row[x * 4 + 2] = out[x * 3 + 2];
        }
    }
    return true;
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

bool convertToSrgb(QImage* image, const std::vector<uint8_t>& profile, bool atSixteenBits) {
    if (!image || image->isNull() || profile.empty()) return false;
    if (image->format() != QImage::Format_RGBA64 && image->format() != QImage::Format_RGBA8888) return false;

    ProfilePtr source(cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!source) return false;
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    const bool grey = space == cmsSigGrayData;
    if (!grey && space != cmsSigRgbData) return false;

    ProfilePtr srgb(cmsCreate_sRGBProfile());
    if (!srgb) return false;
    if (isSrgbEquivalent(source.get(), srgb.get())) return true;
    if (atSixteenBits && image->format() == QImage::Format_RGBA8888) {
        if (!convertInStrips(image, QImage::Format_RGBA64)) return false;
    }
    const bool deep = image->format() == QImage::Format_RGBA64;
    const cmsUInt32Number inFormat = deep ? (grey ? TYPE_GRAY_16 : TYPE_RGB_16) : (grey ? TYPE_GRAY_8 : TYPE_RGB_8);
    const cmsUInt32Number outFormat = deep ? TYPE_RGB_16 : TYPE_RGB_8;
    TransformPtr transform(cmsCreateTransform(source.get(), inFormat, srgb.get(), outFormat, INTENT_PERCEPTUAL, 0));
    if (!transform) return false;
    return deep ? transformRows<uint16_t>(image, transform.get(), grey)
                : transformRows<uint8_t>(image, transform.get(), grey);
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
