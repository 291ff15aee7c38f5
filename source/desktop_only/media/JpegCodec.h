#pragma once
// JPEG straight through libjpeg-turbo's libjpeg API.
//
// Reading: JpegReader decodes baseline and progressive Huffman-coded JPEGs
// of 8-bit samples whose colours are YCbCr, RGB or grey, rows in order,
// into 32-bit words 0xffRRGGBB (QImage::Format_RGB32; grey is repeated in
// red, green and blue). It decodes as Qt's JPEG reader decodes over the same
// library (the accurate integer inverse DCT, smooth chroma upsampling), so
// the samples are those Qt's reader gives. Everything else (CMYK and YCCK,
// arithmetic coding, 12-bit samples, headers libjpeg cannot read) is left to
// Qt's reader: readHeader then says the file is not taken. The reader also
// supplies the embedded ICC profile its markers carry (the EXIF orientation
// is read from the file's bytes, as for every kind: MetadataIo.h).
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
// printed. A file that ends before its end-of-image marker fails with "the
// JPEG file is damaged or cut short" at the first warning that the
// entropy-coded data ran out before the frame was filled (the file ends
// early, or a marker comes where data is due, as in a cut file with an
// end-of-image marker appended), where libjpeg itself would fill the
// missing rows with grey and warn. Other warnings (corrupt data it can
// step over, extraneous bytes before a marker, which cameras write) are
// let pass, as Qt's reader lets them pass.
//
// The pipelines below drive them over whole pictures and buffers, band by
// band beside the other threads. A reader or writer object serves one file
// on one thread at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
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

    // Reads the markers up to the first scan. True when the direct path
    // takes the file; false for every file it leaves to Qt's reader (see
    // above), damaged headers included.
    bool readHeader();

    int32_t width() const;
    int32_t height() const;
    bool isGrey() const;
    // The profile of the APP2 "ICC_PROFILE" segments put together in their
    // order; empty when there is none or the segments do not fit together.
    const std::vector<uint8_t>& iccProfile() const { return icc_; }

    // Starts decompressing (after readHeader gave true).
    bool start(GrowString* reason);
    // Decodes the next `count` rows in order into memory from `first` on,
    // rows bytesPerLine apart (width() 32-bit words each).
    bool readRows(uint8_t* first, size_t bytesPerLine, int32_t count, GrowString* reason);
    // Reads on to the end-of-image marker once every row is read.
    bool finish(GrowString* reason);

private:
    struct State;
    std::unique_ptr<State> state_;
    std::vector<uint8_t> icc_;
};

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

// While an object lives, the libjpeg warnings that Qt's JPEG reader passes
// on as Qt messages on this thread are watched for the two telling that the
// entropy-coded data ran out before the frame was filled, which Qt's reader
// lets pass with the rest of the picture grey. Qt's reader passes on the
// first warning of a file, so a file whose first warning is another is not
// caught here. Every message still reaches the handler installed before.
class QtJpegWarningWatch {
public:
    QtJpegWarningWatch();
    ~QtJpegWarningWatch();
    QtJpegWarningWatch(const QtJpegWarningWatch&) = delete;
    QtJpegWarningWatch& operator=(const QtJpegWarningWatch&) = delete;

    bool dataRanOut() const { return dataRanOut_; }

private:
    friend struct QtJpegWarningHandler;
    QtJpegWarningWatch* outer_;  // the watch this one stands in for on its thread
    bool dataRanOut_ = false;
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
