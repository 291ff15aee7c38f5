#pragma once
// Moving pixels between decoded images (QImage) and the core's ImageBuffer.
//
// Decoded images are QImage::Format_RGBA8888 or Format_RGBA64, straight
// (not premultiplied) alpha, exactly as stored in the file, or
// Format_RGB32 (opaque, as the JPEG decoders deliver it); the orientation is
// applied while the samples are copied into the buffer. The whole-picture
// copies run on the parallel loop's threads, a band of rows each; strips of
// a picture are copied where they are given (runBandPipeline spreads them).
//
// Sample rules: 8-bit to 8-bit and 8-bit to float are exact; 16-bit to float
// is value / 257 (0..255, fractions kept); 16-bit to 8-bit rounds to the
// nearest level. Buffers of 1 or 2 channels get grey (Rec. 601 weights,
// exact for grey sources) and, with 2, alpha.

#include <cstddef>
#include <cstdint>
#include <functional>

#include <QImage>

class ImageBuffer;

// The upright size of a width x height image with the EXIF orientation (1..8).
void uprightSize(int32_t width, int32_t height, int32_t orientation, int32_t* uprightWidth, int32_t* uprightHeight);

// Allocates the buffer as bytes or floats with the given channel count
// (1..4) for a width x height picture turned upright by the orientation.
// With keepStorage, a buffer that owns storage of samples of the asked kind
// (the caller knows which) and already has the upright size and channel
// count is kept as it is: memory that is reused costs no fresh pages; kept
// (when given) tells whether it was. False (the buffer released) when the
// allocation fails.
bool allocateUpright(int32_t width, int32_t height, int32_t orientation, int32_t channels, bool asFloat,
                     ImageBuffer* image, bool keepStorage = false, bool* kept = nullptr);

// Allocates the buffer (allocateUpright) and fills it from the decoded
// image turned upright. False when the channel count or the image is
// unusable or the allocation fails. With keepStorage every sample of a
// kept buffer is written.
bool copyToBuffer(const QImage& decoded, int32_t orientation, int32_t channels, bool asFloat, ImageBuffer* image,
                  bool keepStorage = false);

// Fills the part of an allocated upright buffer that a strip of a decoded
// width x height picture becomes: the strip holds the picture's rows
// firstRow.. firstRow + strip.height() - 1, in any of the decoded formats.
// Runs on the calling thread. Together the strips of a picture give the
// buffer copyToBuffer gives. False when the strip or the buffer does not
// fit the picture.
bool copyStripToBuffer(const QImage& strip, int32_t firstRow, int32_t width, int32_t height, int32_t orientation,
                       bool asFloat, ImageBuffer* image);

// A QImage of the buffer for encoding: bytes are copied as they are; floats
// are stored as bytes (clamped, truncated toward zero, NaN as 0, the rule of
// every 8-bit store) or, with sixteenBit, as 16-bit samples rounded to the
// nearest of value x 257. With opaque, the alpha of a 4-channel buffer is
// left out of 8-bit images (RGB, for formats without alpha) in the same
// pass. A null image when the buffer is empty, has another channel count
// than 1..4, or memory runs out. A recycled picture (when given) of the
// size and format made here, not shared, is filled instead of a new one:
// memory used before costs no fresh pages.
QImage imageFromBuffer(const ImageBuffer& image, bool isFloat, bool sixteenBit, bool opaque = false,
                       QImage* recycled = nullptr);

// Converts the image to another format serially, a strip of rows at a time
// (each strip small enough that Qt converts it on the calling thread), into
// storage allocated once: Qt's own conversion of a large image hands parts
// to its thread pool and waits for them, which never returns when memory
// runs out while the pool starts its threads. False, the image unchanged,
// when memory for the result cannot be had. The colour space is kept.
bool convertInStrips(QImage* image, QImage::Format target);

// storeByte on `count` samples (clamped to 0..255, NaN as 0, truncated
// toward zero), vectorised.
void storeBytes(uint8_t* out, const float* in, int64_t count);

// Asks the system to back a large, freshly allocated and not yet touched
// buffer with large pages: a 24-megapixel float image then costs a few
// hundred page faults instead of seventy thousand when it is first written,
// and far less work when it is freed. Advice only; small buffers are left
// alone.
void preferLargePages(void* data, size_t bytes);

// Prepares a freshly allocated buffer that a serial writer (a decoder) is
// about to fill: large pages asked for, and every page mapped now by the
// parallel loop's threads (one zero byte written per page), so that the
// writer does not stop at each page for the system to map it.
void mapForWriting(void* data, size_t bytes);

// A picture of the size and format that a decoder or a store is about to
// fill completely: the recycled one (when given) if it has that size and
// format and is not shared, its colour space cleared so that nothing of the
// earlier picture passes for this one's (memory used before costs no fresh
// pages); otherwise a new one, prepared for a serial writer (mapForWriting)
// or, for rows filled in parallel, with large pages asked for. Null when
// memory runs out.
QImage pictureToFill(QImage* recycled, int32_t width, int32_t height, QImage::Format format, bool serialWriter);

// Stores rows firstRow.. firstRow + rows - 1 of a buffer of 1, 3 or 4
// channels as the 8-bit rows an encoder of a format without alpha takes:
// grey for 1 channel, RGB for 3 and 4 (alpha left out), each sample as
// imageFromBuffer stores it; rows outBytesPerLine apart. On the calling
// thread. False for 2 channels and rows outside the buffer.
bool storeEightBitRows(const ImageBuffer& image, bool isFloat, int32_t firstRow, int32_t rows, uint8_t* out,
                       int64_t outBytesPerLine);

// A picture worked on in bands of rows by a serial stage (a codec: every
// band in order, one at a time) and a parallel stage (the conversion of a
// band's samples: several bands at once on the parallel loop's threads),
// through `slotCount` band buffers used in turn (band b in slot b %
// slotCount).
// With serialFirst (decoding) a band goes through the serial stage, then
// the parallel one, and its slot is free again after that; otherwise
// (encoding) the parallel stage fills the slot first. Each step gets the
// band and its slot and returns false to stop the whole run.
struct BandPipelineSteps {
    bool serialFirst = true;
    std::function<bool(int32_t band, int32_t slot)> serial;
    std::function<bool(int32_t band, int32_t slot)> parallel;
};

// Runs the stages over bands 0..bands-1; the serial stage of band b
// overlaps the parallel stages of the bands around it. Returns when every
// step has returned: true when none failed. The serial stage runs on one
// thread throughout; with one thread of the parallel loop, each band goes
// through both stages before the next starts.
bool runBandPipeline(int32_t bands, int32_t slotCount, const BandPipelineSteps& steps);
