#pragma once
// Colour profiles through lcms2: embedded profiles converted to sRGB, the
// display colour space, and the sRGB profile embedded into saved files.

#include <cstdint>
#include <memory>
#include <vector>

class QImage;

// Whether embedded profile bytes are a sound ICC profile: the size its
// header declares is the size of the data, and lcms2 can open it. A
// damaged profile is ignored like a missing one, as web browsers do: its
// colours are not to be trusted.
bool isSoundProfile(const std::vector<uint8_t>& profile);

// The colour model of a file's stored samples, which an embedded profile
// must describe to be used: a grey profile on colour samples would make the
// picture grey, an RGB one on grey samples tint it.
enum class PixelColours {
    kUnknown,  // the file does not tell: RGB and grey profiles are both taken
    kGrey,     // one sample a pixel (grey, grey and alpha)
    kRgb,      // RGB, YCbCr or a palette of RGB colours
    kOther,    // CMYK, Lab and the like, which no profile here converts
};

// Converts the pixels (QImage::Format_RGBA8888 or Format_RGBA64) in place
// from the given ICC profile to sRGB, perceptual intent; alpha is kept.
// The conversion is lcms2's own on float samples, clipped to 0..1 and
// rounded to the nearest level of the image's samples: within half a level
// of the exact result (no interpolated table). With
// atSixteenBits, 8-bit pixels are widened to Format_RGBA64 first. RGB
// and grey profiles are used; a profile that cannot be parsed or describes
// another colour space (CMYK, Lab, ...) leaves the pixels alone and gives
// false (SrgbConversion::prepare judges the stored samples' model too).
// A profile equivalent to sRGB (the same primaries and tone curves within a
// fraction of a level, as most photos carry under many names) leaves the
// pixels alone and gives true: the conversion would only add rounding.
bool convertToSrgb(QImage* image, const std::vector<uint8_t>& profile, bool atSixteenBits);

// The conversion convertToSrgb makes, prepared once from a profile and then
// applied to any number of images: the strips of one picture converted one
// by one give the samples the whole picture converted at once gives.
class SrgbConversion {
public:
    SrgbConversion();
    ~SrgbConversion();
    SrgbConversion(const SrgbConversion&) = delete;
    SrgbConversion& operator=(const SrgbConversion&) = delete;

    enum Outcome {
        kConverts,     // apply converts the samples
        kNothingToDo,  // a profile equivalent to sRGB: the samples stay as they are
        kUnusable,     // cannot be parsed, describes another colour space, or
                       // another colour model than the stored samples'
    };
    Outcome prepare(const std::vector<uint8_t>& profile, PixelColours stored = PixelColours::kUnknown);
    // As convertToSrgb, with the prepared profile (kConverts). Safe to call
    // from several threads at once.
    bool apply(QImage* image, bool atSixteenBits) const;

private:
    struct Prepared;
    std::unique_ptr<Prepared> prepared_;
};

// The sRGB profile made by lcms2, as the bytes of an ICC file. Built once.
const std::vector<uint8_t>& srgbProfileBytes();

// Tags the image with that profile, which Qt's writers then embed into JPEG,
// PNG and TIFF files. False when it could not be attached.
bool attachSrgbProfile(QImage* image);
