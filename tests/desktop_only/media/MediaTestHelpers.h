#pragma once
// Helpers for the media tests: a private temporary folder, the project's
// test files (tests/data), synthetic images and pixel comparisons.

#include "desktop_only/media/MediaFileIo.h"
#include "effects/sizing/OutputSize.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QVector>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mediatest {

inline std::string testData(const std::string& relative) {
    return std::string(PELLUCINE_TESTDATA_DIR) + "/" + relative;
}

// A folder of its own for each test, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pellucine-media-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Holds workingMemoryBudget() to at most `bytes` while it lives.
class WorkingMemoryLimit {
public:
    explicit WorkingMemoryLimit(int64_t bytes) { limitWorkingMemoryForTesting(bytes); }
    ~WorkingMemoryLimit() { limitWorkingMemoryForTesting(0); }
    WorkingMemoryLimit(const WorkingMemoryLimit&) = delete;
    WorkingMemoryLimit& operator=(const WorkingMemoryLimit&) = delete;
};

inline std::vector<char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A smooth, asymmetric test picture: a gradient with every channel distinct,
// so that a turned, mirrored or channel-swapped copy differs clearly. Float
// samples carry fractions (steps of 1/257 would survive 16 bits).
inline void makePicture(ImageBuffer* image, int32_t w, int32_t h, int32_t channels, bool asFloat) {
    if (asFloat) image->allocateFloat(w, h, channels);
    else image->allocate8(w, h, channels);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const float r = 255.0f * x / (w - 1);
            const float g = 255.0f * y / (h - 1);
            const float b = 40.0f + 150.0f * (x + y) / (w + h - 2);
            const float a = 60.0f + 195.0f * (w - 1 - x) / (w - 1);
            const float values[4] = {r, g, b, a};
            for (int32_t c = 0; c < channels; ++c) {
                const int64_t i = (static_cast<int64_t>(y) * w + x) * channels + c;
                if (asFloat) image->floats()[i] = values[c];
                else image->bytes()[i] = static_cast<uint8_t>(values[c]);
            }
        }
    }
}

inline float sampleAt(const ImageBuffer& image, bool isFloat, int64_t i) {
    return isFloat ? image.floats()[i] : static_cast<float>(image.bytes()[i]);
}

// Mean and largest absolute sample difference of two buffers of equal shape.
struct Difference {
    double mean = 0;
    double max = 0;
};
inline Difference difference(const ImageBuffer& a, bool aFloat, const ImageBuffer& b, bool bFloat) {
    Difference d;
    const int64_t n = a.sampleCount();
    if (n == 0 || n != b.sampleCount()) {
        d.mean = d.max = 1e9;
        return d;
    }
    double sum = 0;
    for (int64_t i = 0; i < n; ++i) {
        const double diff = std::fabs(sampleAt(a, aFloat, i) - sampleAt(b, bFloat, i));
        sum += diff;
        if (diff > d.max) d.max = diff;
    }
    d.mean = sum / static_cast<double>(n);
    return d;
}

// A 4 x 2 palette PNG whose palette has a fully transparent red (index 0,
// where x + y is even) and an opaque blue (index 1). Qt's writer stores it
// as colour type 3 with the transparency in a tRNS chunk, which the test
// checks so that it really exercises that layout.
inline void writePalettePng(const std::string& path) {
    QImage image(4, 2, QImage::Format_Indexed8);
    image.setColorTable(QVector<QRgb>{qRgba(255, 0, 0, 0), qRgba(0, 0, 255, 255)});
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) image.setPixel(x, y, static_cast<uint>((x + y) % 2));
    const QString name = QString::fromStdString(path);
    ASSERT_TRUE(image.save(name, "png"));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 26);
    EXPECT_EQ(bytes[25], 3) << "colour type";  // IHDR's colour type byte
    EXPECT_TRUE(bytes.contains("tRNS"));
}

// The flower photo with an alpha channel of its own, written as a PNG:
// alpha runs from 0 at the left edge to 255 at the right, so that a picture
// of many alpha values passes through the loaders.
inline bool writeFlowerWithAlpha(const std::string& path) {
    QImage image(QString::fromStdString(testData("png/flower.png")));
    if (image.isNull()) return false;
    image = image.convertToFormat(QImage::Format_RGBA8888);
    const int w = image.width();
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < w; ++x) row[x * 4 + 3] = static_cast<uchar>(x * 255 / (w > 1 ? w - 1 : 1));
    }
    return image.save(QString::fromStdString(path), "png");
}

// A 16-bit gradient written by Qt's writer (the extension picks PNG or
// TIFF): every sample a different level, few of them multiples of 257, so
// that an 8-bit stage anywhere on the way shows.
inline bool writeSixteenBitGradient(const std::string& path, int w, int h, bool alpha) {
    QImage image(w, h, alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    for (int y = 0; y < h; ++y) {
        quint16* row = reinterpret_cast<quint16*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            row[x * 4] = static_cast<quint16>(x * 65535 / (w - 1));
            row[x * 4 + 1] = static_cast<quint16>(y * 65535 / (h - 1));
            row[x * 4 + 2] = static_cast<quint16>(1000 + 311 * (x + y));
            row[x * 4 + 3] = alpha ? static_cast<quint16>(65535 - 97 * x) : 65535;
        }
    }
    return image.save(QString::fromStdString(path));
}

// The bits a sample of an image file as Qt reads it: 16 or 8 (0 unreadable).
inline int sampleBitsOfFile(const std::string& path) {
    const QImage image(QString::fromStdString(path));
    if (image.isNull()) return 0;
    const QImage::Format f = image.format();
    return f == QImage::Format_RGBX64 || f == QImage::Format_RGBA64 || f == QImage::Format_Grayscale16 ? 16 : 8;
}

// The largest difference of two pictures in 16-bit levels, every channel
// (alpha included); -1 when their sizes differ.
inline int largestLevelDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return -1;
    const QImage x = a.convertToFormat(QImage::Format_RGBA64);
    const QImage y = b.convertToFormat(QImage::Format_RGBA64);
    int worst = 0;
    for (int r = 0; r < x.height(); ++r) {
        const quint16* p = reinterpret_cast<const quint16*>(x.constScanLine(r));
        const quint16* q = reinterpret_cast<const quint16*>(y.constScanLine(r));
        for (int i = 0; i < x.width() * 4; ++i) worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
    }
    return worst;
}

// An "Output Size Exact" tile of the given size.
inline ImageMod* exactSize(float w, float h) {
    OutputSizeExactMod* tile = new OutputSizeExactMod();
    tile->floatAt(0)->value = w;
    tile->floatAt(1)->value = h;
    return tile;
}

// The CRC-32 that PNG chunks carry (polynomial 0xEDB88320).
inline uint32_t pngCrc(const std::vector<char>& bytes) {
    uint32_t crc = 0xffffffffu;
    for (char ch : bytes) {
        crc ^= static_cast<uint8_t>(ch);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xffffffffu;
}

inline void appendBigEndian32(std::vector<char>* out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>((v >> shift) & 0xff));
}

// A PNG chunk of the type and data, with its length and CRC.
inline std::vector<char> pngChunk(const char* type, const std::vector<char>& data) {
    std::vector<char> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    std::vector<char> out;
    appendBigEndian32(&out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), typed.begin(), typed.end());
    appendBigEndian32(&out, pngCrc(typed));
    return out;
}

inline GrowString gs(const std::string& text) {
    return GrowString(text.c_str());
}

// A profile made with lcms2 as the bytes of an ICC file; the profile is
// closed. lcms2 stamps the header with the second the profile was made, so
// the date is set to a fixed one: the same profile made twice is the same
// bytes, however slowly the test runs.
inline std::vector<uint8_t> profileBytes(cmsHPROFILE profile) {
    std::vector<uint8_t> bytes;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    if (bytes.size() >= 36) {
        // 2020-01-01 00:00:00, six big-endian 16-bit fields at byte 24.
        const uint8_t date[12] = {0x07, 0xE4, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
        std::copy(date, date + 12, bytes.begin() + 24);
    }
    if (profile) cmsCloseProfile(profile);
    return bytes;
}

// A Display P3 profile (P3 primaries, D65 white, the sRGB tone curve), made
// here with lcms2.
inline std::vector<uint8_t> displayP3Profile() {
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const double srgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return profileBytes(profile);
}

// Linear-light profiles, which change every mid-tone when applied: grey,
// and RGB with sRGB's primaries.
inline std::vector<uint8_t> linearGreyProfile() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsFreeToneCurve(linear);
    return profileBytes(profile);
}
inline std::vector<uint8_t> linearRgbProfile() {
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.640, 0.330, 1.0}, {0.300, 0.600, 1.0}, {0.150, 0.060, 1.0}};
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {linear, linear, linear};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(linear);
    return profileBytes(profile);
}
// A profile whose colour space is CMYK (an ink-limiting device link).
inline std::vector<uint8_t> cmykProfile() {
    return profileBytes(cmsCreateInkLimitingDeviceLink(cmsSigCmykData, 300.0));
}

// Embeds the profile into a JPEG, PNG or TIFF file with exiv2.
inline bool embedProfile(const std::string& path, const std::vector<uint8_t>& icc) {
    try {
        Exiv2::Image::AutoPtr file = Exiv2::ImageFactory::open(path);
        file->readMetadata();
        Exiv2::DataBuf bytes(icc.data(), static_cast<long>(icc.size()));
        file->setIccProfile(bytes, true);
        file->writeMetadata();
        return true;
    } catch (...) {
        return false;
    }
}

// ---- JPEG streams edited as damaged files are

// The picture as a JPEG from Qt's writer (4:2:0, baseline).
inline QByteArray jpegOf(const QImage& picture, int quality = 90) {
    QByteArray bytes;
    QBuffer device(&bytes);
    device.open(QIODevice::WriteOnly);
    picture.save(&device, "jpeg", quality);
    return bytes;
}

// The JPEG cut after its first `keep` bytes, the end-of-image marker
// appended when asked (as a repair tool or a careless copy leaves it).
inline QByteArray cutJpeg(const QByteArray& jpeg, int keep, bool endMarker) {
    return jpeg.left(keep) + (endMarker ? QByteArray("\xFF\xD9", 2) : QByteArray());
}

// The JPEG with its baseline frame header claiming width x height (the
// quantisation tables before it hold no 0xFF at the qualities used here).
inline QByteArray claimingSize(QByteArray jpeg, int width, int height) {
    const int frame = jpeg.indexOf("\xFF\xC0");
    if (frame < 0) return QByteArray();
    const int values[4] = {height >> 8, height & 0xFF, width >> 8, width & 0xFF};
    for (int k = 0; k < 4; ++k) jpeg[frame + 5 + k] = static_cast<char>(values[k]);
    return jpeg;
}

// The body of an APP1 "Exif" segment written by hand: a TIFF header in the
// byte order asked and a first directory of `entries` 12-byte entries, an
// ImageWidth before the last, which is tag `tag` of type `type` holding
// `value` (4 bytes for a LONG or a signed LONG, 2 otherwise).
inline std::vector<uint8_t> exifSegment(bool little, uint16_t tag, uint16_t type, uint32_t value, int entries = 2) {
    std::vector<uint8_t> s = {'E', 'x', 'i', 'f', 0, 0};
    auto put16 = [&](uint32_t v) {
        s.push_back(static_cast<uint8_t>(little ? v : v >> 8));
        s.push_back(static_cast<uint8_t>(little ? v >> 8 : v));
    };
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) s.push_back(static_cast<uint8_t>(v >> (little ? 8 * i : 24 - 8 * i)));
    };
    s.push_back(little ? 'I' : 'M');
    s.push_back(little ? 'I' : 'M');
    put16(42);
    put32(8);
    put16(static_cast<uint16_t>(entries));
    for (int e = 0; e + 1 < entries; ++e) put16(0x0100), put16(3), put32(1), put16(640), put16(0);
    put16(tag), put16(type), put32(1);
    if (type == 4 || type == 9) put32(value);
    else put16(value), put16(0);
    put32(0);
    return s;
}

// The JPEG with the segment as an APP1 marker right after its start.
inline QByteArray withExifSegment(const QByteArray& jpeg, const std::vector<uint8_t>& segment) {
    const int length = static_cast<int>(segment.size()) + 2;
    QByteArray marker("\xFF\xE1", 2);
    marker.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF));
    marker.append(reinterpret_cast<const char*>(segment.data()), static_cast<int>(segment.size()));
    return jpeg.left(2) + marker + jpeg.mid(2);
}

inline void writeBytes(const std::string& path, const QByteArray& bytes) {
    writeFile(path, std::vector<char>(bytes.begin(), bytes.end()));
}

}  // namespace mediatest
