#pragma once
// Camera raw files through LibRaw.

#include <cstddef>
#include <cstdint>

class GrowString;
class QImage;
class QString;

// True for the lower-case extensions (without the dot) of the raw formats
// LibRaw decodes. Raw files are recognised by extension: several raw formats
// are TIFF containers, and a few (such as some ".raw") have no header at all.
bool isRawExtension(const QString& extension);

// Those extensions, as a list ended by a null pointer.
const char* const* rawExtensions();

// Decodes a raw file held in memory with the camera's white balance, 16 bits
// per sample and sRGB output, turned upright by LibRaw from the camera's
// orientation. The result is QImage::Format_RGBA64, opaque. Sensor and
// output sizes above the pixel budget, or too large for the working memory
// (fitsInWorkingMemory), are refused before decoding.
// reason, when given, receives why a file failed.
bool decodeRaw(const uint8_t* data, size_t size, QImage* out, GrowString* reason = nullptr);
