#pragma once
// DesktopImageLoaderSaver: the image loader and saver of the desktop program.
//
// Reading: JPEG, PNG, TIFF (8 and 16 bits) and Photoshop documents through
// Qt's image readers and plug-ins, camera raw through LibRaw, and the .pli
// intermediate file. The kind of file is decided by its content (raw files by
// their extension), so a mis-named image still loads and a file of any other
// content fails. Every photo comes up upright: the EXIF orientation is read
// with exiv2 (with Qt's reading as the fallback) and applied once, while the
// samples are copied; Qt's own automatic turning stays off. Embedded ICC
// profiles are converted to sRGB with lcms2 when asked.
//
// Safety: a truncated JPEG (which Qt's reader passes as a success) fails; the
// size is read from the header and an image over the pixel budget is refused
// before decoding; empty files, folders, missing files and unknown content
// fail; no error ends the program.
//
// Writing: .jpg/.jpeg (quality 1..100), .png and .tif/.tiff (8 bits, or 16
// with SaveOptions::sixteenBit from float samples), and .pli. The sRGB profile
// made by lcms2 is embedded when asked; the source's EXIF (orientation 1,
// pixel dimensions of the saved image), XMP and IPTC are carried into JPEG and
// TIFF files. The file is written under a temporary name beside the target
// and renamed over it when complete.
//
// The object has no state: one instance may serve several threads.

#include "framework/ImageLoaderSaver.h"

class DesktopImageLoaderSaver : public ImageLoaderSaver {
public:
    DesktopImageLoaderSaver() = default;
    ~DesktopImageLoaderSaver() override = default;

    bool load8(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile) override;
    bool loadFloat(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile,
                   std::unique_ptr<ImageMetadata>* metadataOut) override;
    bool save8(const GrowString& path, const ImageBuffer& image, const SaveOptions& options,
               const ImageMetadata* metadata) override;
    bool saveFloat(const GrowString& path, const ImageBuffer& image, const SaveOptions& options,
                   const ImageMetadata* metadata) override;

private:
    bool load(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile, bool asFloat,
              std::unique_ptr<ImageMetadata>* metadataOut);
    bool save(const GrowString& path, const ImageBuffer& image, bool isFloat, const SaveOptions& options,
              const ImageMetadata* metadata);
};
