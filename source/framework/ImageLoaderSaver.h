#pragma once
// ImageLoaderSaver: how the core reads and writes image files.
//
// The core sees only this abstract interface and the global instance that
// the program installs; the implementation over the codec libraries lives
// with the desktop code. Every operation reports failure as false and never
// leaves a half-written file behind.
//
// Loading:
// - The buffer takes the image's width and height, upright (the file's
//   orientation is applied), and keeps its channel count: 0 or less becomes
//   3; 1 is grey, 2 grey and alpha, 3 RGB, 4 RGB and alpha. A 4th channel is
//   255 where the file has no alpha. Other counts are refused.
// - Samples are on the 0..255 scale. In float buffers a 16-bit source keeps
//   its precision (a sample is value / 257, not rounded to a whole number),
//   and its metadata says how many bits a sample it had.
// - applyEmbeddedProfile true converts from the file's embedded colour
//   profile to sRGB, the display colour space; false ignores the profile.
// - On failure the buffer is released (no data, width and height 0): it is
//   then not a valid image, and never a stale picture of an earlier file.
//
// Saving: the format follows the path's extension (jpg/jpeg, png, tif/tiff,
// pli). The file is written beside the target under a temporary name and
// renamed over it only when complete, so a failed save keeps the old file.
// A picture made from a source is saved with as many bits a sample as the
// source had where the format holds them (optionsKeepingDepth).
//
// Reasons: every operation takes an optional `reason`; on failure it
// receives why, in a few words that follow the file's name in a message
// ("is not a regular file", "cannot open the file: No such file or
// directory", "is too large for this machine's memory: ...", "cannot write
// the file: No space left on device"). On success it is left alone.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class GrowString;
class ImageBuffer;

// The pixel budget of the whole program: the loader refuses an image larger
// than one gigapixel before it allocates any pixel storage, and the output
// geometry of a render refuses to make a larger picture.
constexpr int64_t kMaxImagePixels = 1000000000;

// What travels from a source file to the file saved from it.
struct ImageMetadata {
    int32_t width = 0;        // upright size of the loaded pixels
    int32_t height = 0;
    int32_t orientation = 1;  // the source's EXIF orientation (1..8), already applied to the pixels
    std::vector<uint8_t> iccProfile;  // the embedded colour profile, empty when none
    std::vector<uint8_t> exif;        // EXIF as a TIFF-structured block, empty when none
    std::string xmpPacket;            // the XMP packet (UTF-8 XML), empty when none
    std::vector<uint8_t> iptc;        // IPTC-IIM records, empty when none
    // The bits a sample of the source held as decoded: 16 for 16-bit files
    // and camera raw (decoded at 16 bits), 10 for 10-bit pictures, 8 for 8
    // or fewer (and for metadata no loader filled in).
    int32_t bitsPerSample = 8;

    std::unique_ptr<ImageMetadata> clone() const { return std::make_unique<ImageMetadata>(*this); }
};

struct SaveOptions {
    int32_t quality = 90;       // JPEG quality, 1..100 (values outside are clamped)
    bool embedProfile = true;   // embed the sRGB profile (the display profile)
    bool sixteenBit = false;    // saveFloat: 16 bits per sample for PNG and TIFF
};

// The options a picture made from a source is saved with: those given, with
// 16 bits a sample asked for when the source held more than 8, so that the
// precision of a deep master survives its edits. The saver writes 16 bits
// into PNG and TIFF files from float samples only; JPEG and .pli files stay
// 8-bit whatever the source.
SaveOptions optionsKeepingDepth(const SaveOptions& options, const ImageMetadata* source);

class ImageLoaderSaver {
public:
    virtual ~ImageLoaderSaver();

    // Reads a file (or a ":/" resource) into 8-bit samples.
    virtual bool load8(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile,
                       GrowString* reason = nullptr) = 0;
    // Reads into float samples. When metadataOut is not null it receives the
    // source's metadata on success and null on failure.
    virtual bool loadFloat(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile,
                           std::unique_ptr<ImageMetadata>* metadataOut, GrowString* reason = nullptr) = 0;
    // Writes 8-bit or float samples; metadata may be null.
    virtual bool save8(const GrowString& path, const ImageBuffer& image, const SaveOptions& options,
                       const ImageMetadata* metadata, GrowString* reason = nullptr) = 0;
    virtual bool saveFloat(const GrowString& path, const ImageBuffer& image, const SaveOptions& options,
                           const ImageMetadata* metadata, GrowString* reason = nullptr) = 0;

protected:
    ImageLoaderSaver() = default;
    ImageLoaderSaver(const ImageLoaderSaver&) = default;
    ImageLoaderSaver& operator=(const ImageLoaderSaver&) = default;
};

// The application-wide loader: null until the program installs one.
extern ImageLoaderSaver* gImageLoaderSaver;
