#pragma once
// Image metadata through exiv2: the orientation and embedded profile of a
// source, the EXIF, XMP and IPTC blocks carried to a saved file, and the
// writing of those blocks and of a colour profile into an encoded file.
//
// exiv2 reports errors by throwing; every entry point here catches them and
// answers with its result instead.

#include "framework/ImageLoaderSaver.h"

class QByteArray;

// Reads the metadata of a file held in memory. orientation is the EXIF
// orientation (1..8) or 0 when the file has none; iccProfile is the embedded
// profile when exiv2 finds one. The EXIF, XMP and IPTC blocks are filled only
// when withBlocks is set; EXIF is stripped of what describes the stored
// pixels rather than the photograph (strips, tiles, thumbnails, raw sub-images).
// Returns false when exiv2 does not know the file; out is then untouched.
bool readImageMetadata(const uint8_t* data, size_t size, bool withBlocks, ImageMetadata* out);

// Rewrites an encoded JPEG or TIFF file in memory with the carried EXIF
// (orientation 1, pixel dimensions width x height), XMP (the same properties
// updated) and IPTC; the file's own colour profile and pixel layout stay.
// Returns false when exiv2 fails; the file is then unchanged.
bool writeImageMetadata(QByteArray* file, const ImageMetadata& carried, int32_t width, int32_t height);
