// Embedded colour profiles on loading and saving, and the metadata carried
// from a source into the files saved from it.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"

#include <QColorSpace>
#include <QImage>

#include <exiv2/exiv2.hpp>
#include <lcms2.h>

#include <atomic>
#include <cstring>

using namespace mediatest;

namespace {

// What exiv2 finds in a saved file.
struct SavedMetadata {
    Exiv2::ExifData exif;
    Exiv2::XmpData xmp;
    Exiv2::IptcData iptc;
    std::vector<uint8_t> icc;
};

bool readSaved(const std::string& path, SavedMetadata* out) {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
        image->readMetadata();
        out->exif = image->exifData();
        out->xmp = image->xmpData();
        out->iptc = image->iptcData();
        if (image->iccProfileDefined())
            out->icc.assign(image->iccProfile()->pData_, image->iccProfile()->pData_ + image->iccProfile()->size_);
        return true;
    } catch (...) {
        return false;
    }
}

std::string exifText(const Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? std::string("<none>") : it->toString();
}
std::string xmpText(const Exiv2::XmpData& xmp, const char* key) {
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    return it == xmp.end() ? std::string("<none>") : it->toString();
}
std::string iptcText(const Exiv2::IptcData& iptc, const char* key) {
    const auto it = iptc.findKey(Exiv2::IptcKey(key));
    return it == iptc.end() ? std::string("<none>") : it->toString();
}

// True when the ICC bytes describe sRGB primaries (red's colorant near sRGB's).
bool isSrgbProfile(const std::vector<uint8_t>& icc) {
    cmsHPROFILE profile = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    if (!profile) return false;
    bool srgb = false;
    if (const cmsCIEXYZ* red = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigRedColorantTag))) {
        srgb = std::fabs(red->X - 0.4361) < 0.002 && std::fabs(red->Y - 0.2225) < 0.002;
    }
    cmsCloseProfile(profile);
    return srgb;
}

// A grey picture saved by Qt with a linear-light profile attached: mid grey
// 128 in linear light is 188 in sRGB.
void saveLinearTagged(const std::string& path, const char* format) {
    QImage image(16, 8, QImage::Format_RGB888);
    image.fill(QColor(128, 128, 128));
    image.setColorSpace(QColorSpace(QColorSpace::SRgbLinear));
    ASSERT_TRUE(image.save(QString::fromStdString(path), format, 100));
}

// A grey JPEG with a grey linear-light profile, embedded with exiv2 (Qt's
// colour spaces are RGB only).
void saveGreyLinearTagged(const std::string& path) {
    QImage image(16, 8, QImage::Format_Grayscale8);
    image.fill(QColor(128, 128, 128));
    ASSERT_TRUE(image.save(QString::fromStdString(path), "jpeg", 100));
    ASSERT_TRUE(embedProfile(path, linearGreyProfile()));
}

// Counts the loader's notes while it lives.
class LoaderNotes {
public:
    LoaderNotes() {
        count_ = 0;
        setLoaderNoteHandler([](const GrowString&, const char*) { ++count_; });
    }
    ~LoaderNotes() { setLoaderNoteHandler(nullptr); }
    LoaderNotes(const LoaderNotes&) = delete;
    LoaderNotes& operator=(const LoaderNotes&) = delete;
    int count() const { return count_; }

private:
    static inline std::atomic<int> count_{0};
};

TEST(MediaProfiles, EmbeddedProfileIsAppliedOnlyWhenAsked) {
    TempFolder folder;
    saveLinearTagged(folder.file("linear.png"), "png");
    saveLinearTagged(folder.file("linear.jpg"), "jpeg");
    saveLinearTagged(folder.file("linear.tif"), "tiff");
    saveGreyLinearTagged(folder.file("grey-linear.jpg"));
    DesktopImageLoaderSaver io;
    for (const char* name : {"linear.png", "linear.jpg", "linear.tif", "grey-linear.jpg"}) {
        SCOPED_TRACE(name);
        const GrowString path = gs(folder.file(name));
        ImageBuffer ignored;
        ASSERT_TRUE(io.load8(path, &ignored, false));
        ImageBuffer converted;
        ASSERT_TRUE(io.load8(path, &converted, true));
        ImageBuffer floats;
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.loadFloat(path, &floats, true, &metadata));
        ASSERT_TRUE(metadata);
        EXPECT_GT(metadata->iccProfile.size(), 128u);
        for (int64_t i = 0; i < ignored.sampleCount(); ++i) {
            ASSERT_NEAR(ignored.bytes()[i], 128, 1);
            ASSERT_NEAR(converted.bytes()[i], 188, 1);
            ASSERT_NEAR(floats.floats()[i], 187.5f, 1.0f);
        }
    }
}

// A profile of another colour model than the file's samples is ignored as
// an unusable one (the picture is the file's without it, with one note)
// when the file is loaded in bands and when it is decoded whole; a profile
// of the samples' own model is applied.
TEST(MediaProfiles, AProfileOfAnotherColourModelIsIgnored) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    QImage colour(16, 8, QImage::Format_RGB888);
    QImage grey(16, 8, QImage::Format_Grayscale8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            colour.setPixel(x, y, qRgb(40 + x * 10, 60 + y * 20, 200 - x * 8));
            grey.setPixel(x, y, qRgb(50 + x * 9, 50 + x * 9, 50 + x * 9));
        }
    }
    const struct {
        const char* what;
        const QImage& pixels;
        std::vector<uint8_t> profile;
        bool used;
    } cases[] = {
        {"grey on colour", colour, linearGreyProfile(), false},
        {"colour on grey", grey, linearRgbProfile(), false},
        {"CMYK on colour", colour, cmykProfile(), false},
        {"colour on colour", colour, linearRgbProfile(), true},
        {"grey on grey", grey, linearGreyProfile(), true},
    };
    for (const char* extension : {".jpg", ".png", ".tif"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " " + extension);
            const std::string plain = folder.file(std::string("plain") + extension);
            const std::string tagged = folder.file(std::string("tagged") + extension);
            ASSERT_TRUE(c.pixels.save(QString::fromStdString(plain), nullptr, 100));
            ASSERT_TRUE(c.pixels.save(QString::fromStdString(tagged), nullptr, 100));
            ASSERT_TRUE(embedProfile(tagged, c.profile));
            ImageBuffer reference;
            ASSERT_TRUE(io.load8(gs(plain), &reference, true));
            LoaderNotes notes;
            ImageBuffer banded, whole;
            GrowString reason;
            ASSERT_TRUE(io.load8(gs(tagged), &banded, true, &reason)) << reason.c_str();
            DecodedSource source;
            ASSERT_TRUE(io.decode(gs(tagged), true, false, false, &source));
            ASSERT_TRUE(io.finishLoad(source, 3, false, &whole, nullptr));
            for (const ImageBuffer* loaded : {&banded, &whole}) {
                const double change = difference(*loaded, false, reference, false).max;
                if (c.used) EXPECT_GT(change, 20.0);
                else EXPECT_EQ(change, 0.0);
            }
            EXPECT_EQ(notes.count(), c.used ? 0 : 2);
        }
    }
}

// The PNG file with the profile in an iCCP chunk right after IHDR: named,
// zlib-compressed, with its CRC.
std::vector<char> withIccpChunk(const std::vector<char>& png, const std::vector<uint8_t>& icc) {
    // qCompress puts the length before the zlib stream.
    const QByteArray compressed = qCompress(icc.data(), static_cast<int>(icc.size())).mid(4);
    const char name[] = "ICC profile";
    std::vector<char> body(name, name + sizeof name);  // with its NUL
    body.push_back(0);                                  // zlib
    body.insert(body.end(), compressed.begin(), compressed.end());
    const std::vector<char> iccp = pngChunk("iCCP", body);
    std::vector<char> out(png.begin(), png.begin() + 33);  // the signature and IHDR
    out.insert(out.end(), iccp.begin(), iccp.end());
    out.insert(out.end(), png.begin() + 33, png.end());
    return out;
}

// A damaged profile (bytes lcms2 cannot open behind a true size field) is
// ignored like a missing one, with one note a load, whichever decoder reads
// the file: libjpeg in bands and whole, Qt's PNG reader, libtiff (tag
// 34675).
TEST(MediaProfiles, ADamagedProfileIsIgnoredWithOneNote) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    const std::vector<uint8_t> p3 = displayP3Profile();
    std::vector<uint8_t> damaged(p3.size(), 0x5A);
    std::copy(p3.begin(), p3.begin() + 4, damaged.begin());
    QImage colour(16, 8, QImage::Format_RGB888);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) colour.setPixel(x, y, qRgb(40 + x * 10, 60 + y * 20, 200 - x * 8));
    for (const char* extension : {".jpg", ".png", ".tif"}) {
        SCOPED_TRACE(extension);
        const std::string plain = folder.file(std::string("plain") + extension);
        const std::string tagged = folder.file(std::string("damaged") + extension);
        ASSERT_TRUE(colour.save(QString::fromStdString(plain), nullptr, 100));
        ASSERT_TRUE(colour.save(QString::fromStdString(tagged), nullptr, 100));
        if (std::string(extension) == ".png") writeFile(tagged, withIccpChunk(readFile(tagged), damaged));
        else ASSERT_TRUE(embedProfile(tagged, damaged));
        SavedMetadata stored;
        ASSERT_TRUE(readSaved(tagged, &stored));
        ASSERT_TRUE(stored.icc == damaged);
        ImageBuffer reference;
        ASSERT_TRUE(io.load8(gs(plain), &reference, true));
        LoaderNotes notes;
        ImageBuffer banded, whole;
        GrowString reason;
        ASSERT_TRUE(io.load8(gs(tagged), &banded, true, &reason)) << reason.c_str();
        EXPECT_EQ(notes.count(), 1);
        DecodedSource source;
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.decode(gs(tagged), true, false, true, &source));
        ASSERT_TRUE(io.finishLoad(source, 3, false, &whole, &metadata));
        EXPECT_EQ(notes.count(), 2);
        ASSERT_TRUE(metadata);
        EXPECT_TRUE(metadata->iccProfile.empty());  // nothing downstream trusts it either
        for (const ImageBuffer* loaded : {&banded, &whole})
            EXPECT_EQ(difference(*loaded, false, reference, false).max, 0.0);
    }
}

// A Photoshop file written by hand: `channels` planes of width x height
// 8-bit samples in the colour mode (1 grey, 3 RGB, 4 CMYK), uncompressed,
// a gradient in every plane, with the ICC profile as its image resource
// when one is given.
std::vector<char> photoshopFile(uint16_t mode, uint16_t channels, int width, int height,
                                const std::vector<uint8_t>& icc) {
    std::vector<char> out;
    const auto put = [&out](uint64_t value, int bytes) {
        for (int k = bytes - 1; k >= 0; --k) out.push_back(static_cast<char>(value >> (8 * k)));
    };
    out.insert(out.end(), {'8', 'B', 'P', 'S'});
    put(1, 2);  // version
    put(0, 6);  // reserved
    put(channels, 2);
    put(static_cast<uint32_t>(height), 4);
    put(static_cast<uint32_t>(width), 4);
    put(8, 2);  // bits a sample
    put(mode, 2);
    put(0, 4);  // no colour mode data
    const uint32_t padded = static_cast<uint32_t>(icc.size() + icc.size() % 2);
    put(icc.empty() ? 0 : 12 + padded, 4);  // image resources
    if (!icc.empty()) {
        out.insert(out.end(), {'8', 'B', 'I', 'M'});
        put(0x040F, 2);  // the ICC profile
        put(0, 2);       // an empty name, padded
        put(static_cast<uint32_t>(icc.size()), 4);
        out.insert(out.end(), icc.begin(), icc.end());
        if (icc.size() % 2) out.push_back(0);
    }
    put(0, 4);  // no layers
    put(0, 2);  // raw samples, plane after plane
    for (int c = 0; c < channels; ++c)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) out.push_back(static_cast<char>(30 + x * 9 + y * 5 + c * 40));
    return out;
}

// A Photoshop file's colour mode decides which profile fits its samples: an
// RGB profile on a grey or CMYK file is ignored (the picture as without
// it, one note), on an RGB file it converts.
TEST(MediaProfiles, APhotoshopFilesColourModeDecidesWhetherItsProfileFits) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    const struct {
        const char* what;
        uint16_t mode, channels;
        bool used;
    } cases[] = {
        {"grey", 1, 1, false},
        {"CMYK", 4, 4, false},
        {"RGB", 3, 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string plain = folder.file(std::string(c.what) + "-plain.psd");
        const std::string tagged = folder.file(std::string(c.what) + "-tagged.psd");
        writeFile(plain, photoshopFile(c.mode, c.channels, 16, 8, {}));
        writeFile(tagged, photoshopFile(c.mode, c.channels, 16, 8, linearRgbProfile()));
        ImageBuffer reference;
        GrowString reason;
        ASSERT_TRUE(io.load8(gs(plain), &reference, true, &reason)) << reason.c_str();
        LoaderNotes notes;
        ImageBuffer loaded;
        ASSERT_TRUE(io.load8(gs(tagged), &loaded, true, &reason)) << reason.c_str();
        const double change = difference(loaded, false, reference, false).max;
        if (c.used) EXPECT_GT(change, 20.0);
        else EXPECT_EQ(change, 0.0);
        EXPECT_EQ(notes.count(), c.used ? 0 : 1);
        // The profile is read from every mode: only its use depends on it.
        std::unique_ptr<ImageMetadata> metadata;
        ASSERT_TRUE(io.loadFloat(gs(tagged), &loaded, false, &metadata));
        ASSERT_TRUE(metadata);
        EXPECT_EQ(metadata->iccProfile, linearRgbProfile());
    }
}

TEST(MediaProfiles, AnSrgbProfileUnderAnotherNameChangesNothing) {
    // The shared files carry an sRGB profile named "Blue".
    DesktopImageLoaderSaver io;
    for (const char* name : {"jpeg/icc-profile.jpeg", "png/icc-profile.png"}) {
        SCOPED_TRACE(name);
        const std::string path = testData(name);
        ImageBuffer ignored;
        ImageBuffer converted;
        ASSERT_TRUE(io.load8(gs(path), &ignored, false));
        ASSERT_TRUE(io.load8(gs(path), &converted, true));
        EXPECT_EQ(difference(ignored, false, converted, false).max, 0.0);

        // Ignoring the profile gives exactly the decoder's own samples.
        QImage plain(QString::fromStdString(path));
        ASSERT_FALSE(plain.isNull());
        plain = plain.convertToFormat(QImage::Format_RGB888);
        ImageBuffer reference;
        reference.allocate8(plain.width(), plain.height(), 3);
        for (int y = 0; y < plain.height(); ++y)
            std::memcpy(reference.bytes() + int64_t(y) * plain.width() * 3, plain.constScanLine(y), plain.width() * 3);
        EXPECT_EQ(difference(ignored, false, reference, false).max, 0.0);
    }
}

TEST(MediaProfiles, SavingEmbedsTheSrgbProfileOnlyWhenAsked) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer picture;
    makePicture(&picture, 20, 10, 3, false);
    for (const char* name : {"p.jpg", "p.png", "p.tif"}) {
        for (bool embed : {true, false}) {
            SCOPED_TRACE(std::string(name) + (embed ? " embedded" : " plain"));
            SaveOptions options;
            options.embedProfile = embed;
            const std::string path = folder.file(name);
            ASSERT_TRUE(io.save8(gs(path), picture, options, nullptr));
            SavedMetadata saved;
            ASSERT_TRUE(readSaved(path, &saved));
            EXPECT_EQ(!saved.icc.empty(), embed);
            if (embed) {
                EXPECT_TRUE(isSrgbProfile(saved.icc));
            }
            // The profile is sRGB: loading with it applied changes next to nothing.
            ImageBuffer loaded;
            ASSERT_TRUE(io.load8(gs(path), &loaded, true));
            EXPECT_LT(difference(picture, false, loaded, false).mean, std::string(name) == "p.jpg" ? 4.0 : 0.6);
        }
    }
}

TEST(MediaMetadata, SurvivesASaveDescribingTheSavedPixels) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer source;
    std::unique_ptr<ImageMetadata> metadata;
    ASSERT_TRUE(io.loadFloat(gs(testData("psd/orientation6.psd")), &source, false, &metadata));
    ASSERT_TRUE(metadata);
    EXPECT_FALSE(metadata->exif.empty());
    EXPECT_FALSE(metadata->xmpPacket.empty());
    EXPECT_FALSE(metadata->iptc.empty());
    const std::unique_ptr<ImageMetadata> copy = metadata->clone();
    EXPECT_EQ(copy->exif, metadata->exif);
    EXPECT_EQ(copy->xmpPacket, metadata->xmpPacket);

    for (const char* name : {"carried.jpg", "carried.tif"}) {
        SCOPED_TRACE(name);
        const std::string path = folder.file(name);
        ASSERT_TRUE(io.saveFloat(gs(path), source, SaveOptions(), copy.get()));
        SavedMetadata saved;
        ASSERT_TRUE(readSaved(path, &saved));
        EXPECT_EQ(exifText(saved.exif, "Exif.Image.Software"), "LIFE Pro 2.18.5 (Windows)");
        EXPECT_EQ(exifText(saved.exif, "Exif.Photo.ImageUniqueID"), "6768fe733f364c51a6b0ea58f4589f9e");
        EXPECT_EQ(exifText(saved.exif, "Exif.Image.Orientation"), "1");
        EXPECT_EQ(exifText(saved.exif, "Exif.Photo.PixelXDimension"), "480");
        EXPECT_EQ(exifText(saved.exif, "Exif.Photo.PixelYDimension"), "160");
        EXPECT_EQ(xmpText(saved.xmp, "Xmp.tiff.Orientation"), "1");
        EXPECT_EQ(xmpText(saved.xmp, "Xmp.xmp.CreatorTool"), "LIFE Pro 2.18.5 (Windows)");
        EXPECT_EQ(iptcText(saved.iptc, "Iptc.Application2.DateCreated"), "2025-01-18");
        EXPECT_TRUE(isSrgbProfile(saved.icc));
        // The source's pixel layout is not carried: a TIFF keeps its own.
        const std::string width = exifText(saved.exif, "Exif.Image.ImageWidth");
        EXPECT_TRUE(width == "480" || width == "<none>") << width;

        // The saved file comes up upright, not turned a second time.
        ImageBuffer reloaded;
        ASSERT_TRUE(io.loadFloat(gs(path), &reloaded, true, nullptr));
        ASSERT_EQ(reloaded.width, 480);
        ASSERT_EQ(reloaded.height, 160);
        EXPECT_LT(difference(source, true, reloaded, true).mean, 2.0);
    }
}

}  // namespace
