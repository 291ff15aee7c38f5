// Embedded colour profiles: converted as lcms2 converts float samples
// (every sample within half a level of its unbounded result clipped to
// 0..255), and damaged profiles ignored like missing ones.
#include "MediaTestHelpers.h"

#include "desktop_only/media/ColorProfiles.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"

#include <QBuffer>
#include <QImageWriter>

#include <lcms2.h>

#include <algorithm>
#include <cstring>

using namespace mediatest;

namespace {

// lcms2's float conversion of 0..255 RGB from the profile to sRGB, without
// optimisation, clipped to 0..255: the reference.
class ReferenceTransform {
public:
    explicit ReferenceTransform(const std::vector<uint8_t>& profile) {
        cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        transform_ = cmsCreateTransform(source, TYPE_RGB_FLT, srgb, TYPE_RGB_FLT, INTENT_PERCEPTUAL,
                                        cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
        cmsCloseProfile(source);
        cmsCloseProfile(srgb);
    }
    ~ReferenceTransform() {
        if (transform_) cmsDeleteTransform(transform_);
    }
    ReferenceTransform(const ReferenceTransform&) = delete;
    ReferenceTransform& operator=(const ReferenceTransform&) = delete;
    bool valid() const { return transform_ != nullptr; }
    void apply(const float in[3], float out[3]) const {
        const float unit[3] = {in[0] / 255.0f, in[1] / 255.0f, in[2] / 255.0f};
        cmsDoTransform(transform_, unit, out, 1);
        for (int c = 0; c < 3; ++c) out[c] = std::min(255.0f, std::max(0.0f, out[c] * 255.0f));
    }

private:
    cmsHTRANSFORM transform_ = nullptr;
};

// A JPEG (quality 100) of saturated and mixed colours with the profile in
// an APP2 "ICC_PROFILE" segment right after SOI.
std::vector<char> jpegWithProfile(const std::vector<uint8_t>& profile) {
    QImage picture(64, 48, QImage::Format_RGB888);
    const int levels[8] = {0, 20, 60, 118, 160, 200, 235, 255};
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            picture.setPixel(x, y, qRgb(levels[x % 8], levels[(x / 8) % 8], levels[y % 8]));
    QByteArray encoded;
    QBuffer device(&encoded);
    device.open(QIODevice::WriteOnly);
    QImageWriter writer(&device, "jpeg");
    writer.setQuality(100);
    writer.write(picture);
    const size_t length = 2 + 12 + 2 + profile.size();
    QByteArray segment;
    segment.append(char(0xFF)).append(char(0xE2));
    segment.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF));
    segment.append("ICC_PROFILE", 12);  // with its NUL
    segment.append(char(1)).append(char(1));  // chunk 1 of 1
    segment.append(reinterpret_cast<const char*>(profile.data()), static_cast<int>(profile.size()));
    encoded.insert(2, segment);  // right after SOI
    std::vector<char> bytes(encoded.constData(), encoded.constData() + encoded.size());
    return bytes;
}

// The worked example: P3 (118, 255, 0) lies outside sRGB; lcms2's exact
// result has red 0.08, where an interpolated 8-bit table gave 15.
TEST(MediaProfiles, SaturatedP3ColoursConvertExactly) {
    const std::vector<uint8_t> p3 = displayP3Profile();
    ASSERT_FALSE(p3.empty());
    ReferenceTransform reference(p3);
    ASSERT_TRUE(reference.valid());
    for (bool sixteen : {false, true}) {
        SCOPED_TRACE(sixteen ? "16 bits" : "8 bits");
        QImage pixel(1, 1, QImage::Format_RGBA8888);
        pixel.setPixel(0, 0, qRgba(118, 255, 0, 77));
        ASSERT_TRUE(convertToSrgb(&pixel, p3, sixteen));
        const float in[3] = {118.0f, 255.0f, 0.0f};
        float expected[3];
        reference.apply(in, expected);
        EXPECT_LT(expected[0], 0.5f);
        const float scale = sixteen ? 257.0f : 1.0f;
        const auto* samples = pixel.constBits();
        for (int c = 0; c < 3; ++c) {
            const float got = sixteen ? reinterpret_cast<const uint16_t*>(samples)[c] / scale : samples[c];
            EXPECT_NEAR(got, expected[c], 0.5f) << "channel " << c;
        }
        const int alpha = sixteen ? reinterpret_cast<const uint16_t*>(samples)[3] / 257 : samples[3];
        EXPECT_EQ(alpha, 77);
    }
}

// Through the loader: every sample of an 8-bit and a float load is within
// half a level of the reference applied to the file's own samples.
TEST(MediaProfiles, EverySampleIsWithinHalfALevelOfLcms2) {
    TempFolder folder;
    const std::vector<uint8_t> p3 = displayP3Profile();
    const std::string path = folder.file("p3.jpg");
    writeFile(path, jpegWithProfile(p3));
    ReferenceTransform reference(p3);
    ASSERT_TRUE(reference.valid());
    DesktopImageLoaderSaver io;
    ImageBuffer plain;  // the samples as stored
    ASSERT_TRUE(io.loadFloat(gs(path), &plain, false, nullptr));
    ImageBuffer bytes;
    ImageBuffer floats;
    ASSERT_TRUE(io.load8(gs(path), &bytes, true));
    ASSERT_TRUE(io.loadFloat(gs(path), &floats, true, nullptr));
    ASSERT_EQ(bytes.sampleCount(), plain.sampleCount());
    ASSERT_EQ(floats.sampleCount(), plain.sampleCount());
    double worst8 = 0;
    double worstFloat = 0;
    double moved = 0;
    for (int64_t p = 0; p < int64_t(plain.width) * plain.height; ++p) {
        float expected[3];
        reference.apply(plain.floats() + p * 3, expected);
        for (int c = 0; c < 3; ++c) {
            worst8 = std::max(worst8, double(std::fabs(bytes.bytes()[p * 3 + c] - expected[c])));
            worstFloat = std::max(worstFloat, double(std::fabs(floats.floats()[p * 3 + c] - expected[c])));
            moved = std::max(moved, double(std::fabs(plain.floats()[p * 3 + c] - expected[c])));
        }
    }
    EXPECT_GT(moved, 20.0);  // the profile matters: P3 is not sRGB
    EXPECT_LE(worst8, 0.5 + 1e-3);
    EXPECT_LE(worstFloat, 0.5);
}

// A sound profile whose header's size field was altered (larger, smaller),
// or bytes lcms2 cannot open, are ignored like a missing profile: the
// samples stay as stored.
TEST(MediaProfiles, ADamagedProfileIsIgnoredLikeAMissingOne) {
    TempFolder folder;
    const std::vector<uint8_t> p3 = displayP3Profile();
    ASSERT_TRUE(isSoundProfile(p3));
    std::vector<uint8_t> larger = p3;
    larger[2] = static_cast<uint8_t>(larger[2] + 1);  // 256 bytes more than there are
    std::vector<uint8_t> smaller = p3;
    smaller[3] = static_cast<uint8_t>(smaller[3] - 4);
    std::vector<uint8_t> garbage(p3.size(), 0x5A);
    garbage[0] = p3[0], garbage[1] = p3[1], garbage[2] = p3[2], garbage[3] = p3[3];
    DesktopImageLoaderSaver io;
    int index = 0;
    for (const std::vector<uint8_t>* damaged : {&larger, &smaller, &garbage}) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(isSoundProfile(*damaged));
        const std::string path = folder.file("damaged" + std::to_string(index++) + ".jpg");
        writeFile(path, jpegWithProfile(*damaged));
        ImageBuffer plain;
        ImageBuffer applied;
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.loadFloat(gs(path), &plain, false, nullptr));
        ASSERT_TRUE(io.loadFloat(gs(path), &applied, true, &metadata));
        EXPECT_EQ(difference(plain, true, applied, true).max, 0.0);
        ASSERT_TRUE(metadata);
        EXPECT_TRUE(metadata->iccProfile.empty());  // nothing downstream trusts it either
    }
    EXPECT_FALSE(isSoundProfile({}));
    EXPECT_FALSE(isSoundProfile(std::vector<uint8_t>(p3.begin(), p3.begin() + 100)));
}

// The sRGB profile embedded in saved files carries a fixed date, so that a
// file saved twice (in two runs) has the same bytes; lcms2 still reads it,
// and no profile ID checksum would need the date.
TEST(MediaProfiles, TheEmbeddedSrgbProfileHasAFixedDate) {
    const std::vector<uint8_t>& bytes = srgbProfileBytes();
    ASSERT_GE(bytes.size(), 128u);
    const uint8_t date[12] = {0x07, 0xea, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes.data() + 24, date, sizeof date));
    EXPECT_TRUE(std::all_of(bytes.begin() + 84, bytes.begin() + 100, [](uint8_t b) { return b == 0; }));
    cmsHPROFILE profile = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    ASSERT_NE(profile, nullptr);
    struct tm made {};
    EXPECT_TRUE(cmsGetHeaderCreationDateTime(profile, &made));
    EXPECT_EQ(made.tm_year, 126);
    cmsCloseProfile(profile);
}

}  // namespace
