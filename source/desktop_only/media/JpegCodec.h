#pragma once
// JPEG straight through libjpeg-turbo's libjpeg API.
//
// Reading: JpegReader decodes every JPEG this libjpeg decodes (baseline,
// extended sequential and progressive frames, Huffman or arithmetic coded,
// any sampling, scan script and restart interval, 8-bit samples) of grey,
// YCbCr, RGB, CMYK or YCCK components, rows in order, into 32-bit words
// 0xffRRGGBB (QImage::Format_RGB32). It decodes as Qt's JPEG reader decodes
// over the same library (the accurate integer inverse DCT, smooth chroma
// upsampling), so the samples are those Qt's reader gives: grey is repeated
// in red, green and blue, and CMYK (YCCK is turned into CMYK by libjpeg) is
// read as Adobe's applications store it, inverted, each colour scaled by
// the black sample: red = k x c / 255 (integer division), and so on.
// Headers it cannot decode (12-bit samples, lossless and hierarchical
// frames, other numbers of components) are refused by readHeader with the
// reason. The reader also supplies the embedded ICC profile its markers
// carry (the EXIF orientation is read from the file's bytes, as for every
// kind: MetadataIo.h).
//
// Writing: JpegWriter compresses RGB or grey rows as Qt's JPEG writer does
// (libjpeg's defaults: 4:2:0 chroma, the standard quantisation tables scaled
// by the quality, the accurate integer DCT, the standard Huffman tables, a
// JFIF header with the given density in dots per inch), with the ICC profile
// in APP2 markers when one is given; the compressed file is built in memory.
//
// libjpeg's errors end the operation, never the program: each is caught
// (setjmp/longjmp around every call into the library) and becomes the
// operation's reason; libjpeg's messages are kept to the object, nothing is
// printed. Every warning reaches the reader's own error manager. A file
// whose pictures lose data that the decoder knows to be missing fails with
// "the JPEG file is damaged or cut short", where libjpeg itself would fill
// what is missing with grey or with what zero bits decode to:
//  - a Huffman-coded scan that needs bits where a marker stands (the file
//    ends early, or a marker comes where data is due: a cut file with an
//    end-of-image marker put back, a restart interval cut short);
//  - an arithmetic-coded scan that meets the file's physical end before its
//    last row of MCUs (that decoder reads a byte only when it needs one; a
//    valid arithmetic file carries its end marker, which it meets instead);
//  - the file's end met inside a segment (libjpeg's stand-in end marker
//    read as the segment's data);
//  - a frame component that no scan coded (sequential) or that had no DC
//    scan (progressive), as in a file cut at a scan boundary; a progressive
//    file lacking only later refinement scans loads, as progressive files
//    are meant to.
// What the decoder cannot tell from a valid file loads, as libjpeg's own
// decoder loads it: a file that lacks only its end marker (or holds other
// bytes in its place) with every scan decoded, and an arithmetic-coded scan
// that meets a marker early (its encoder leaves out the zero bytes that end
// its data, so a repeating or flat end of the picture costs no bytes; a cut
// with the end marker put back looks the same). Other warnings (corrupt
// data libjpeg steps over within a scan, extraneous bytes before a marker,
// which cameras write) are let pass, as Qt's reader lets them pass.
//
// The pipelines below drive them over whole pictures and buffers, band by
// band beside the other threads. A reader or writer object serves one file
// on one thread at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class GrowString;
class ImageBuffer;
class QByteArray;
class QImage;
class SrgbConversion;

class JpegReader {
public:
    // The bytes must stay alive and unchanged while the reader lives.
    JpegReader(const uint8_t* data, size_t size);
    ~JpegReader();
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    // Reads the markers up to the first scan. False, with the reason, for a
    // damaged header or a file this reader does not decode (see above).
    bool readHeader(GrowString* reason = nullptr);

    int32_t width() const;
    int32_t height() const;
    bool isGrey() const;
    // CMYK or YCCK components (decoded to words as above).
    bool isCmyk() const;
    // The profile of the APP2 "ICC_PROFILE" segments put together in their
    // order; empty when there is none or the segments do not fit together.
    const std::vector<uint8_t>& iccProfile() const { return icc_; }

    // Starts decompressing (after readHeader gave true).
    bool start(GrowString* reason);
    // Decodes the next `count` rows in order into memory from `first` on,
    // rows bytesPerLine apart (width() 32-bit words each).
    bool readRows(uint8_t* first, size_t bytesPerLine, int32_t count, GrowString* reason);
    // Reads on to the end-of-image marker once every row is read, then
    // judges what the scans covered (see above).
    bool finish(GrowString* reason);

private:
    struct State;
    std::unique_ptr<State> state_;
    std::vector<uint8_t> icc_;
};

// Whether the text of a libjpeg warning, as a library that passes libjpeg's
// messages on as text gives it (libtiff's JPEG compression), tells that the
// entropy-coded data ran out: a Huffman decoder needed bits where a marker
// stood, or the data ended. libtiff passes on only the first warning of each
// strip or tile, and a cut strip's first is the end of its data, so there
// the end counts as damage on its own (each strip carries its end marker).
bool jpegWarningSaysDataRanOut(const std::string& text);

class JpegWriter {
public:
    JpegWriter();
    ~JpegWriter();
    JpegWriter(const JpegWriter&) = delete;
    JpegWriter& operator=(const JpegWriter&) = delete;

    // Starts a width x height file of grey (1 byte a pixel) or RGB (3
    // bytes) rows at quality 1..100; `icc`, when not empty, is embedded.
    bool start(int32_t width, int32_t height, bool grey, int32_t quality, int32_t dotsPerInch,
               const std::vector<uint8_t>& icc, GrowString* reason);
    // Compresses the next `count` rows, held from `first` on, bytesPerLine
    // apart.
    bool writeRows(const uint8_t* first, size_t bytesPerLine, int32_t count, GrowString* reason);
    // Ends the file and hands over its bytes.
    bool finish(QByteArray* out, GrowString* reason);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Decodes a JPEG the reader takes (readHeader gave true) whole into 32-bit
// words (QImage::Format_RGB32). The picture handed in for reuse serves when
// it has the size and format; otherwise a new one is mapped on all threads
// first, so that the serial decoder does not stop at every fresh page.
bool decodeJpegPicture(JpegReader& jpeg, QImage* recycled, QImage* out, GrowString* reason);

// Decodes a JPEG the reader takes into an upright buffer allocated for it
// (allocateUpright with the orientation), band by band: libjpeg decodes a
// band while the bands before it are converted (with the profile's
// conversion when one is given, turned upright, stored as the buffer's
// samples) on the other threads, so the buffer is complete a band after
// the last row is decoded, and the whole decoded picture is never held.
// The buffer gets what decodeJpegPicture, the conversion and copyToBuffer
// give.
bool decodeJpegIntoBuffer(JpegReader& jpeg, int32_t orientation, const SrgbConversion* conversion, bool asFloat,
                          ImageBuffer* image, GrowString* reason);

// A picture (QImage::Format_RGB888 or Format_Grayscale8) as a JPEG file,
// the profile embedded when given.
bool encodeJpegPicture(const QImage& pixels, int32_t quality, const std::vector<uint8_t>& icc, QByteArray* out,
                       GrowString* reason);

// A buffer of 1, 3 or 4 channels (alpha left out) as a JPEG file, in bands:
// the bands ahead are stored as bytes (as imageFromBuffer stores them) on
// the other threads while libjpeg compresses the band before them. The
// bytes encodeJpegPicture gives for the stored picture.
bool encodeJpegBuffer(const ImageBuffer& image, bool isFloat, int32_t quality, const std::vector<uint8_t>& icc,
                      QByteArray* out, GrowString* reason);
