#pragma once
// The raw intermediate image file (extension "pli").
//
// Layout: the 12 bytes "RGBA8XXXXXXX"; the width and the height, each a
// 32-bit little-endian signed integer; then width x height pixels of four
// bytes (red, green, blue, alpha), rows top to bottom, without padding.
// Bytes after the pixels are ignored.

#include <cstddef>
#include <cstdint>

class GrowString;
class QByteArray;
class QImage;

// True when the data starts with the file's 12-byte header.
bool isPliData(const uint8_t* data, size_t size);

// Decodes into QImage::Format_RGBA8888. Fails when the header is wrong, a
// size is below 1, over the pixel budget or too large for the working
// memory, or the pixels are cut short; reason, when given, says which.
bool decodePli(const uint8_t* data, size_t size, QImage* out, GrowString* reason = nullptr);

// Encodes the image (converted to RGBA with 8 bits per sample).
bool encodePli(const QImage& image, QByteArray* out);
