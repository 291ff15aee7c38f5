#pragma once
// Moving pixels between decoded images (QImage) and the core's ImageBuffer.
//
// Decoded images are QImage::Format_RGBA8888 or Format_RGBA64, straight
// (not premultiplied) alpha, exactly as stored in the file, or
// Format_RGB32 (opaque, as Qt's JPEG reader delivers it); the orientation is
// applied while the samples are copied into the buffer. Both copies run on
// the parallel loop's threads, a band of rows each.
//
// Sample rules: 8-bit to 8-bit and 8-bit to float are exact; 16-bit to float
// is value / 257 (0..255, fractions kept); 16-bit to 8-bit rounds to the
// nearest level. Buffers of 1 or 2 channels get grey (Rec. 601 weights,
// exact for grey sources) and, with 2, alpha.

#include <cstddef>
#include <cstdint>

#include <QImage>

class ImageBuffer;

// The upright size of a width x height image with the EXIF orientation (1..8).
void uprightSize(int32_t width, int32_t height, int32_t orientation, int32_t* uprightWidth, int32_t* uprightHeight);

// Allocates the buffer as bytes or floats with the given channel count (1..4)
// and fills it from the decoded image turned upright. False when the channel
// count or the image is unusable or the allocation fails. With keepStorage,
// a buffer that owns storage of samples of the asked kind (the caller knows
// which) and already has the upright size and channel count is filled in
// place: every sample is written, and memory that is reused costs no fresh
// pages.
bool copyToBuffer(const QImage& decoded, int32_t orientation, int32_t channels, bool asFloat, ImageBuffer* image,
                  bool keepStorage = false);

// A QImage of the buffer for encoding: bytes are copied as they are; floats
// are stored as bytes (clamped, truncated toward zero, NaN as 0, the rule of
// every 8-bit store) or, with sixteenBit, as 16-bit samples rounded to the
// nearest of value x 257. With opaque, the alpha of a 4-channel buffer is
// left out of 8-bit images (RGB, for formats without alpha) in the same
// pass. A null image when the buffer is empty, has another channel count
// than 1..4, or memory runs out.
QImage imageFromBuffer(const ImageBuffer& image, bool isFloat, bool sixteenBit, bool opaque = false);

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
