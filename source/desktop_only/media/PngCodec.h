#pragma once
// The PNG layouts that Qt 5's reader gets wrong, read straight through
// libpng from the file's bytes in memory. Every other PNG stays with Qt's
// reader, so that it decodes as it always has.
//
// The one layout Qt 5.15 misreads: 16-bit RGB (colour type 2) whose
// transparency is one colour in a tRNS chunk, interlaced or not, whether or
// not any pixel has that colour. Optimisers write it when an RGBA file's
// alpha is all or nothing. Qt's reader asks libpng for a 16-bit RGBA
// picture without asking it to turn the tRNS colour into alpha, so libpng
// writes 6-byte pixels into rows of 8-byte ones: the channels slide, alpha
// takes whatever the samples hold and the last quarter of each row is
// memory no one wrote. Here libpng expands the tRNS colour into alpha
// (0 exactly where a pixel's three samples equal it, 65535 elsewhere) and
// the picture keeps its 16 bits a sample, as QImage::Format_RGBA64
// (straight alpha, native byte order), rows as stored.
//
// Qt reads the neighbouring layouts right and keeps them: 16-bit RGB
// without tRNS, 16-bit grey with tRNS, 8-bit RGB with tRNS. (2-, 4- and
// 8-bit grey with a tRNS grey becomes a palette whose transparent entry is
// transparent black: the colour under alpha 0 is lost, but every visible
// pixel and all alpha are right, and such files keep decoding as before.)
// Whether the tRNS chunk counts is libpng's judgement, as it is for Qt's
// reader: one of the wrong length, after the image data or failing its CRC
// is dropped by libpng, and such a file is read right by Qt.
//
// The colour space is the one Qt's reader makes of the same chunks: Qt's
// reader is handed a 1 x 1 PNG of a layout it reads right (8-bit RGB)
// carrying the file's own PLTE, gAMA, cHRM, sRGB and iCCP chunks as they
// stand, in their order, so that libpng's checks of them (a profile of
// another colour model, chunks out of place, failing CRCs) and Qt's rules
// for making a colour space of what is left apply word for word.
//
// libpng's errors end the read through setjmp, with a reason; its errors
// and warnings are never printed. A file cut short fails with "the PNG file
// is damaged or cut short", every other error (damaged image data, a CRC
// failing in a critical chunk) with "the image is damaged or cannot be
// decoded": no picture is handed on that libpng did not fill whole.
//
// A reader serves one file on one thread at a time.

#include <QColorSpace>

#include <cstddef>
#include <cstdint>
#include <memory>

class GrowString;
class QImage;

class PngReader {
public:
    // The bytes must stay alive and unchanged while the reader lives.
    PngReader(const uint8_t* data, size_t size);
    ~PngReader();
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;
    PngReader(PngReader&&) = delete;
    PngReader& operator=(PngReader&&) = delete;

    // Whether the file is of a layout Qt's reader misreads, which this
    // reader then decodes. The header is read with libpng (up to the image
    // data) only when the IHDR names 16-bit RGB. False for every other
    // file, a header libpng cannot read included: Qt's reader says why, as
    // for any PNG.
    bool takesOver();

    // Of a file taken over.
    int64_t width() const { return width_; }
    int64_t height() const { return height_; }

    // Decodes a file taken over into `out` (Format_RGBA64); the caller has
    // judged the size. False with the reason on any error, `out` then left
    // as it was. Once only.
    bool decode(QImage* out, GrowString* reason);

    // The colour space Qt's reader makes of the file's colour chunks (an
    // invalid one when they make none).
    QColorSpace colourSpace() const;

    struct State;  // libpng's handles and where the reading is (PngCodec.cpp)

private:
    const uint8_t* data_;
    size_t size_;
    std::unique_ptr<State> state_;  // made by takesOver for a 16-bit RGB file
    int64_t width_ = 0;
    int64_t height_ = 0;
    bool takenOver_ = false;
    bool decoded_ = false;
};
