#include "PngCodec.h"

#include "MediaFileIo.h"

#include "foundation/GrowString.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QSysInfo>

#include <csetjmp>
#include <cstring>

#include <png.h>
#include <zlib.h>

// libpng's handles over the bytes in memory. Errors leave libpng through
// onError's longjmp to the setjmp of the function that called it; those
// functions keep no object with a destructor between the two.
struct PngReader::State {
    const uint8_t* data;
    size_t size;
    size_t position = 8;  // libpng is told the signature was read
    bool ranOut = false;  // libpng asked for bytes past the end
    png_structp png = nullptr;
    png_infop info = nullptr;

    State(const uint8_t* d, size_t n) : data(d), size(n) {}
    ~State() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

namespace {

using State = PngReader::State;

// ---- libpng over the bytes in memory -------------------------------------------

void readBytes(png_structp png, png_bytep out, size_t count) {
    State* s = static_cast<State*>(png_get_io_ptr(png));
    if (count > s->size - s->position) {
        s->ranOut = true;
        png_error(png, "cut short");
    }
    std::memcpy(out, s->data + s->position, count);
    s->position += count;
}

// libpng's messages are never printed: an error ends the read (the caller
// gives the reason), a warning changes nothing.
[[noreturn]] void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

uint32_t bigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

// Whether the IHDR (the first chunk) names 16-bit RGB: the only files whose
// header is read with libpng here.
bool headerNamesSixteenBitRgb(const uint8_t* d, size_t n) {
    // Signature, IHDR's length and type, width, height, bit depth, colour type.
    return n >= 33 && std::memcmp(d + 12, "IHDR", 4) == 0 && d[24] == 16 && d[25] == PNG_COLOR_TYPE_RGB;
}

// Reads the chunks up to the image data. True when the layout is one
// Qt's reader misreads: 16-bit RGB with a tRNS colour libpng kept.
bool readInfo(State* s) {
    if (setjmp(png_jmpbuf(s->png))) return false;
    png_read_info(s->png, s->info);
    return png_get_bit_depth(s->png, s->info) == 16 && png_get_color_type(s->png, s->info) == PNG_COLOR_TYPE_RGB &&
           png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;
}

// Reads every row into the picture's rows (`stride` bytes apart), with the
// tRNS colour turned into alpha, then the chunks after the image data up to
// IEND. False on any error of libpng.
bool readRows(State* s, uint8_t* bits, size_t stride, uint32_t width, uint32_t height) {
    if (setjmp(png_jmpbuf(s->png))) return false;
    png_set_tRNS_to_alpha(s->png);
    // Qt's 16-bit formats hold their samples in the machine's byte order.
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian) png_set_swap(s->png);
    const int passes = png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);
    if (png_get_channels(s->png, s->info) != 4 || png_get_bit_depth(s->png, s->info) != 16 ||
        png_get_rowbytes(s->png, s->info) != static_cast<size_t>(width) * 8)
        return false;
    // An interlaced file's passes each fill their pixels into the whole rows.
    for (int pass = 0; pass < passes; ++pass)
        for (uint32_t y = 0; y < height; ++y) png_read_row(s->png, bits + y * stride, nullptr);
    png_read_end(s->png, nullptr);
    return true;
}

// ---- The colour chunks as Qt's reader takes them --------------------------------

void appendBigEndian32(QByteArray* out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out->append(static_cast<char>((v >> shift) & 0xff));
}

// Appends a chunk of the type and data with its length and CRC.
void appendChunk(QByteArray* out, const char* type, const uint8_t* data, uint32_t length) {
    appendBigEndian32(out, length);
    const int start = out->size();
    out->append(type, 4);
    out->append(reinterpret_cast<const char*>(data), static_cast<int>(length));
    const uint8_t* typed = reinterpret_cast<const uint8_t*>(out->constData()) + start;
    appendBigEndian32(out, static_cast<uint32_t>(crc32(0, typed, 4 + length)));
}

// A 1 x 1 8-bit RGB PNG with the file's chunks that make its colour space
// (and PLTE, before which they must stand), copied as they are.
QByteArray colourChunksAsTinyPng(const uint8_t* d, size_t n) {
    QByteArray tiny("\x89PNG\r\n\x1a\n", 8);
    // Width 1, height 1, 8 bits, RGB, deflate, adaptive filters, no interlace.
    const uint8_t header[13] = {0, 0, 0, 1, 0, 0, 0, 1, 8, PNG_COLOR_TYPE_RGB, 0, 0, 0};
    appendChunk(&tiny, "IHDR", header, sizeof header);
    static const char* const kept[] = {"PLTE", "gAMA", "cHRM", "sRGB", "iCCP"};
    size_t i = 8;  // after the signature
    while (i + 12 <= n) {
        const size_t length = bigEndian32(d + i);
        if (length > n - i - 12) break;
        const char* type = reinterpret_cast<const char*>(d + i + 4);
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) break;
        for (const char* k : kept)
            if (std::memcmp(type, k, 4) == 0)
                tiny.append(reinterpret_cast<const char*>(d + i), static_cast<int>(12 + length));
        i += 12 + length;
    }
    // One black pixel: filter byte and three samples, zero, as one stored
    // deflate block (zlib header 78 01, then LEN 4, NLEN, the bytes and
    // their Adler-32).
    const uint8_t pixel[15] = {0x78, 0x01, 0x01, 0x04, 0x00, 0xFB, 0xFF, 0, 0, 0, 0, 0x00, 0x04, 0x00, 0x01};
    appendChunk(&tiny, "IDAT", pixel, sizeof pixel);
    appendChunk(&tiny, "IEND", nullptr, 0);
    return tiny;
}

}  // namespace

PngReader::PngReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

PngReader::~PngReader() = default;

bool PngReader::takesOver() {
    if (state_ || !headerNamesSixteenBitRgb(data_, size_)) return takenOver_;
    state_ = std::make_unique<State>(data_, size_);
    state_->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (!state_->png) return false;
    state_->info = png_create_info_struct(state_->png);
    if (!state_->info) return false;
    png_set_read_fn(state_->png, state_.get(), readBytes);
    png_set_sig_bytes(state_->png, 8);  // checked by the caller (kindOfContent)
    if (!readInfo(state_.get())) return false;
    width_ = png_get_image_width(state_->png, state_->info);
    height_ = png_get_image_height(state_->png, state_->info);
    takenOver_ = true;
    return true;
}

bool PngReader::decode(QImage* out, GrowString* reason) {
    if (!takenOver_ || decoded_) {
        setReason(reason, "the image is damaged or cannot be decoded");
        return false;
    }
    decoded_ = true;  // libpng reads the rows once
    QImage image(static_cast<int>(width_), static_cast<int>(height_), QImage::Format_RGBA64);
    if (image.isNull()) {
        setReason(reason, "out of memory for the image");
        return false;
    }
    if (!readRows(state_.get(), image.bits(), static_cast<size_t>(image.bytesPerLine()),
                  static_cast<uint32_t>(width_), static_cast<uint32_t>(height_))) {
        setReason(reason, state_->ranOut ? "the PNG file is damaged or cut short"
                                         : "the image is damaged or cannot be decoded");
        return false;
    }
    *out = std::move(image);
    return true;
}

QColorSpace PngReader::colourSpace() const {
    QuietCodecMessages quiet;  // Qt's reader warns of a profile it cannot parse
    QByteArray tiny = colourChunksAsTinyPng(data_, size_);
    QBuffer device(&tiny);
    if (!device.open(QIODevice::ReadOnly)) return QColorSpace();
    QImageReader reader(&device, "png");
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    QImage pixel;
    if (!reader.read(&pixel)) return QColorSpace();
    return pixel.colorSpace();
}
