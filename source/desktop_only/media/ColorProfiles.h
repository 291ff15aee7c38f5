#pragma once
// Colour profiles through lcms2: embedded profiles converted to sRGB, the
// display colour space, and the sRGB profile embedded into saved files.

#include <cstdint>
#include <vector>

class QImage;

// Converts the pixels (QImage::Format_RGBA8888 or Format_RGBA64) in place
// from the given ICC profile to sRGB, perceptual intent; alpha is kept. With
// atSixteenBits, 8-bit pixels are widened to Format_RGBA64 first. RGB
// and grey profiles are used; a profile that cannot be parsed or describes
// another colour space (CMYK, Lab, ...) leaves the pixels alone and gives false.
// A profile equivalent to sRGB (the same primaries and tone curves within a
// fraction of a level, as most photos carry under many names) leaves the
// pixels alone and gives true: the conversion would only add rounding.
bool convertToSrgb(QImage* image, const std::vector<uint8_t>& profile, bool atSixteenBits);

// The sRGB profile made by lcms2, as the bytes of an ICC file. Built once.
const std::vector<uint8_t>& srgbProfileBytes();

// Tags the image with that profile, which Qt's writers then embed into JPEG,
// PNG and TIFF files. False when it could not be attached.
bool attachSrgbProfile(QImage* image);
