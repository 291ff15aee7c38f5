#pragma once
// Image metadata through exiv2: the orientation and embedded profile of a
// source, the EXIF, XMP and IPTC blocks carried to a saved file, and the
// writing of those blocks and of a colour profile into an encoded file.
//
// exiv2 reports errors by throwing; every entry point here catches them and
// answers with its result instead.

#include "MediaExtensions.h"
#include "framework/ImageLoaderSaver.h"

#include <cstddef>
#include <cstdint>

class QByteArray;

// ---- The EXIF orientation
//
// Read one way for every path that turns a photo upright (the view, saves,
// the batch, the render tool, thumbnails), by exiv2 and, for a file it
// cannot read or where it finds none, from the file's own bytes: the
// Orientation entry (0x0112) of the first image directory, of any integer
// type (BYTE, SHORT, LONG, SBYTE, SSHORT, SLONG, and in big TIFF LONG8 and
// SLONG8; not IFD or IFD8, which are offsets, nor RATIONAL, ASCII,
// UNDEFINED, FLOAT...), with one value or more, whose first value, read at
// its type's width in the block's byte order (signed for the signed types),
// is 1..8. Where the values do not all fit in the entry's value field (4
// bytes in classic TIFF, 8 in big TIFF), the field holds their offset from
// the start of the TIFF header and the first value is read there; an offset
// outside the block, or values running past its end, is no orientation, and
// the offset is never taken for the value. Any other type, count or value
// is no orientation: the photo then counts as upright (1) unless its XMP
// orientation says otherwise.

// The orientation an entry of the type (TIFF's numbering: 1 BYTE, 3 SHORT,
// 4 LONG, 6 SBYTE, 8 SSHORT, 9 SLONG, 16 LONG8, 17 SLONG8), count and first
// value (as its type reads it) gives, in a classic or a big TIFF block; 0
// for none.
int32_t orientationOfEntry(uint32_t type, uint64_t count, int64_t value, bool bigTiff);

// The orientation in a TIFF-structured block (byte order mark, 42 or 43 for
// big TIFF, the first directory's offset), as a TIFF file is and as a
// JPEG's EXIF segment and a PNG's eXIf chunk hold it; 0 when it holds none
// or cannot be read.
int32_t tiffOrientation(const uint8_t* tiff, size_t size);

// The orientation in the body of a JPEG's APP1 segment that starts with
// "Exif\0\0"; 0 when it holds none or cannot be read.
int32_t exifOrientation(const uint8_t* segment, size_t size);

// The orientation in a file's own EXIF block, found without exiv2 (for a
// file exiv2 cannot read): a JPEG's first EXIF segment, a TIFF's first
// directory, a PNG's eXIf chunk; 0 for other kinds and when there is none.
int32_t fileOrientation(const uint8_t* data, size_t size, ImageFileKind kind);

// Reads the metadata of a file held in memory. orientation is the EXIF
// orientation (1..8, read as above), else the XMP one, or 0 when the file
// has neither; iccProfile is the embedded
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
