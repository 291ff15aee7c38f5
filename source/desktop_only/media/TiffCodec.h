#pragma once
// TIFF read straight through libtiff, from the file's bytes in memory.
//
// TiffReader decodes the first directory of a classic or big TIFF (the
// others are ignored) into QImage::Format_RGBA8888 (8-bit and fewer bits a
// sample) or Format_RGBA64 (16 bits), straight alpha, rows as stored: the
// Orientation tag is not applied (the loader applies the orientation once,
// from the file's metadata).
//
// Read as the samples stand, strip by strip or tile by tile, contiguous or
// one plane a sample (only the planes of the samples used are decoded),
// every compression libtiff has (LZW, Deflate, PackBits, JPEG, with or
// without a predictor) in either byte order:
// - grey, black or white as zero (white-is-zero is turned over: 255 - v,
//   65535 - v), 8 or 16 bits, repeated in red, green and blue; 1 bit as 0
//   and 255;
// - RGB, 8 or 16 bits;
// - a palette of 8-bit indices, each entry's 16-bit colours cut to their
//   high byte;
// - with alpha: the sample after the grey or RGB ones is alpha when the
//   ExtraSamples tag calls it associated, unassociated or unspecified alpha,
//   or when there is no such tag and it is the only sample beyond them.
//   Unassociated (and unspecified) alpha is kept with its samples as they
//   stand; associated alpha is un-premultiplied by Qt's conversion from its
//   premultiplied formats. Samples beyond alpha are skipped.
// Read through libtiff's RGBA conversion (TIFFRGBAImage, 8 bits a sample,
// alpha un-premultiplied by Qt's conversion): everything else libtiff
// converts, YCbCr (JPEG-compressed or not), CMYK of 8-bit inks, CIE Lab,
// grey and palettes of 2 and 4 bits.
// The pixels are those Qt's TIFF reader gave for the layouts it read right
// (it read the samples as they stand, or through the same RGBA conversion),
// except for 8-bit unassociated alpha, whose colours it premultiplied and
// un-premultiplied again, and 16-bit white-is-zero grey, which it cut to 8
// bits (its levels are the high bytes of these).
//
// Refused with a reason that names the layout: floating-point, signed and
// complex samples, other depths than 1, 2, 4, 8 and 16 bits ("TIFF files of
// 32-bit integer samples are not supported"), more than 8 samples a pixel,
// compressions libtiff lacks, and what libtiff's RGBA conversion does not
// take (16-bit CMYK, sub-8-bit RGB, ...). A file libtiff cannot open, one
// whose strips or tiles lie beyond the end of the file (cut short, or
// claiming more than it holds), and one whose strip or tile fails to decode
// (libjpeg running out of data inside a JPEG-compressed one included) fail
// with "the TIFF file is damaged or cut short" (libtiff's error in brackets
// when it gave one), never with rows left undecoded; tiles larger than a
// picture may be are refused as damage before they are allocated.
//
// libtiff's errors and warnings go to handlers of each open file (never to
// libtiff's process-wide ones): nothing is printed. Large pictures of
// several strips or tile rows are decoded on the parallel loop's threads,
// each with a libtiff handle of its own over the same bytes. A reader
// serves one file on one thread at a time.

#include "ColorProfiles.h"  // PixelColours

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class GrowString;
class QImage;

class TiffReader {
public:
    // The bytes must stay alive and unchanged while the reader lives.
    TiffReader(const uint8_t* data, size_t size);
    ~TiffReader();
    TiffReader(const TiffReader&) = delete;
    TiffReader& operator=(const TiffReader&) = delete;

    // Opens the file and judges its first directory: false, with the
    // reason, for a file libtiff cannot open and for every layout not read
    // (see above). Nothing is decoded yet.
    bool readHeader(GrowString* reason);

    int64_t width() const;
    int64_t height() const;
    // Whether the decoded picture carries alpha.
    bool hasAlpha() const;
    // The bits of a stored sample as the decoded picture keeps them: 16 for
    // 16-bit files, 8 for the rest.
    int32_t bitsPerSample() const;
    // The colour model of the stored samples (from the photometric
    // interpretation, as storedColours tells it).
    PixelColours colours() const;
    // The ICC profile of the directory (empty without one), as stored.
    const std::vector<uint8_t>& iccProfile() const;

    // Decodes the picture (after readHeader gave true) into the picture
    // handed in for reuse when it has the size and format, otherwise into a
    // new one.
    bool decode(QImage* recycled, QImage* out, GrowString* reason);

private:
    struct State;
    std::unique_ptr<State> state_;
};
