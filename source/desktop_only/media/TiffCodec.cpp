#include "TiffCodec.h"

#include "JpegCodec.h"
#include "MediaFileIo.h"
#include "PixelTransfer.h"

#include "foundation/GrowString.h"
#include "platform/ParallelFor.h"

#include <QImage>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include <tiffio.h>

namespace {

// ---- libtiff over the bytes in memory ------------------------------------------

struct MemoryFile {
    const uint8_t* data;
    uint64_t size;
    uint64_t position;
};

MemoryFile& fileOf(thandle_t handle) {
    return *static_cast<MemoryFile*>(handle);
}

tmsize_t readBytes(thandle_t handle, void* out, tmsize_t count) {
    MemoryFile& f = fileOf(handle);
    if (count <= 0 || f.position >= f.size) return 0;
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), f.size - f.position);
    std::memcpy(out, f.data + f.position, static_cast<size_t>(n));
    f.position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return -1;  // opened for reading only
}

// A position past the end is kept: reads there give nothing.
toff_t seekTo(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& f = fileOf(handle);
    const uint64_t base = whence == SEEK_CUR ? f.position : (whence == SEEK_END ? f.size : 0);
    f.position = base + offset;  // a negative offset comes wrapped around
    return f.position;
}

int closeNothing(thandle_t) {
    return 0;
}

toff_t sizeOf(thandle_t handle) {
    return fileOf(handle).size;
}

// The whole file is "mapped": libtiff then reads strips and tiles where they
// lie instead of copying them, and never allocates for what a strip claims.
// libtiff only reads a file it opened for reading.
int mapWhole(thandle_t handle, void** base, toff_t* size) {
    MemoryFile& f = fileOf(handle);
    *base = const_cast<uint8_t*>(f.data);
    *size = f.size;
    return 1;
}

void unmapNothing(thandle_t, void*, toff_t) {}

// What libtiff said about one open file: its first error, and whether
// libjpeg ran out of data in a JPEG-compressed strip or tile (it then fills
// the rest with grey and only warns).
struct Messages {
    std::string firstError;
    bool jpegRanOut = false;
};

std::string formatted(const char* format, va_list arguments) {
    char line[512];
    std::vsnprintf(line, sizeof line, format ? format : "", arguments);
    for (char* c = line; *c; ++c)
        if (*c == '\n' || *c == '\r') *c = ' ';  // a reason is one line
    return line;
}

// The handlers of one open file: returning 1 keeps libtiff's process-wide
// handlers (which print) out of it.
int keepError(TIFF*, void* user, const char*, const char* format, va_list arguments) {
    Messages& messages = *static_cast<Messages*>(user);
    if (messages.firstError.empty()) messages.firstError = formatted(format, arguments);
    return 1;
}

int noteWarning(TIFF*, void* user, const char* module, const char* format, va_list arguments) {
    Messages& messages = *static_cast<Messages*>(user);
    if (module && std::strcmp(module, "JPEGLib") == 0) {
        if (jpegWarningSaysDataRanOut(formatted(format, arguments))) messages.jpegRanOut = true;
    }
    return 1;
}

// One libtiff handle over the bytes, with its messages; closed when it goes.
class TiffHandle {
public:
    TiffHandle(const uint8_t* data, size_t size) : file_{data, size, 0} {}
    ~TiffHandle() {
        if (tiff_) TIFFClose(tiff_);
    }
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;

    // Opens the file at its first directory.
    bool open() {
        std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                               TIFFOpenOptionsFree);
        if (!options) return false;
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keepError, &messages_);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), noteWarning, &messages_);
        tiff_ = TIFFClientOpenExt("TIFF", "r", &file_, readBytes, writeNothing, seekTo, closeNothing, sizeOf,
                                  mapWhole, unmapNothing, options.get());
        return tiff_ != nullptr;
    }
    TIFF* get() const { return tiff_; }
    const Messages& messages() const { return messages_; }

private:
    MemoryFile file_;
    Messages messages_;
    TIFF* tiff_ = nullptr;
};

// The reason of a file that libtiff could not open or decode: the text,
// then libtiff's first error in brackets when it gave one.
std::string withError(const char* text, const Messages& messages) {
    std::string line(text);
    if (!messages.firstError.empty()) line += " (" + messages.firstError + ")";
    return line;
}

const char kDamaged[] = "the TIFF file is damaged or cut short";

// ---- The layouts ----------------------------------------------------------------

enum class Model {
    kGrey,       // 8 or 16 bits, with or without alpha
    kBilevel,    // 1 bit
    kRgb,        // 8 or 16 bits, with or without alpha
    kPalette,    // 8-bit indices
    kConverted,  // through libtiff's RGBA conversion
};

struct Layout {
    Model model = Model::kConverted;
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t bits = 8;            // a stored sample's
    int32_t samples = 1;         // a pixel's, as stored
    int32_t colourSamples = 1;   // grey 1, RGB 3
    int32_t alpha = -1;          // the alpha sample's index, -1 without one
    bool associated = false;     // the colours are premultiplied by alpha
    bool whiteIsZero = false;
    bool planar = false;         // one plane a sample
    bool tiled = false;
    uint32_t bandRows = 0;       // rows of a strip, or of a row of tiles
    uint32_t tileWidth = 0;

    bool deep() const { return bits == 16 && model != Model::kConverted; }
    // The samples decoded: one plane each when planar.
    int32_t usedSamples() const {
        return model == Model::kGrey || model == Model::kRgb ? colourSamples + (alpha >= 0 ? 1 : 0) : 1;
    }
    // Bytes of one decoded row of the given width in a band's buffer: all
    // samples (contiguous) or one (a plane).
    uint64_t rowBytes(uint64_t pixels) const {
        return (pixels * static_cast<uint64_t>(planar ? 1 : samples) * static_cast<uint64_t>(bits) + 7) / 8;
    }
};

// Whether the sample right after the colour ones is alpha, and of which
// kind, from the ExtraSamples tag (`types`, `count` entries describing the
// last samples of a pixel).
void findAlpha(const uint16_t* types, uint16_t count, bool tagged, Layout* l) {
    if (l->samples <= l->colourSamples) return;
    if (!tagged || count == 0) {
        // Without the tag, a single further sample is taken as alpha, as
        // libtiff and Qt's reader take a fourth sample of RGB.
        if (l->samples == l->colourSamples + 1) l->alpha = l->colourSamples;
        return;
    }
    const int32_t entry = l->colourSamples - (l->samples - count);
    if (entry < 0 || entry >= count) return;
    const uint16_t type = types[entry];
    if (type == EXTRASAMPLE_ASSOCALPHA || type == EXTRASAMPLE_UNASSALPHA || type == EXTRASAMPLE_UNSPECIFIED) {
        l->alpha = l->colourSamples;
        l->associated = type == EXTRASAMPLE_ASSOCALPHA;
    }
}

// The reason a sample format or depth is not read, or empty when it is.
std::string refusedSamples(uint16_t format, uint16_t bits, uint16_t samples) {
    char line[160];
    line[0] = '\0';
    switch (format) {
        case SAMPLEFORMAT_UINT:
        case SAMPLEFORMAT_VOID: break;
        case SAMPLEFORMAT_IEEEFP: return "TIFF files of floating-point samples are not supported";
        case SAMPLEFORMAT_INT: return "TIFF files of signed integer samples are not supported";
        case SAMPLEFORMAT_COMPLEXINT:
        case SAMPLEFORMAT_COMPLEXIEEEFP: return "TIFF files of complex samples are not supported";
        default: return "TIFF files of an unknown sample format are not supported";
    }
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
        std::snprintf(line, sizeof line, "TIFF files of %d-bit integer samples are not supported", bits);
    // Bounds the memory a band of rows takes before it is converted.
    else if (samples > 8)
        std::snprintf(line, sizeof line, "TIFF files of %d samples a pixel are not supported", samples);
    return line;
}

// Whether every strip or tile lies within the file: one that does not is
// cut off or claims more than the file holds.
bool stripsWithinFile(TIFF* tif, uint64_t fileSize) {
    const uint32_t count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    for (uint32_t i = 0; i < count; ++i) {
        int error = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(tif, i, &error);
        const uint64_t bytes = TIFFGetStrileByteCountWithErr(tif, i, &error);
        if (error || offset > fileSize || bytes > fileSize - offset) return false;
    }
    return true;
}

// ---- Converting decoded rows ------------------------------------------------------

// One row of grey or RGB samples (T: 8 or 16 bits) into RGBA of the same
// depth. Each channel's samples start at its pointer, `stride` samples
// apart; grey passes the same pointer for red, green and blue. Without an
// alpha pointer alpha is opaque.
template <typename T, bool kInvert>
void storeRow(const T* r, const T* g, const T* b, const T* a, size_t stride, uint32_t width, T* out) {
    constexpr T kMax = static_cast<T>(~T(0));
    const auto level = [](T v) { return kInvert ? static_cast<T>(kMax - v) : v; };
    if (a) {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t i = x * stride;
            out[4 * x] = level(r[i]);
            out[4 * x + 1] = level(g[i]);
            out[4 * x + 2] = level(b[i]);
            out[4 * x + 3] = a[i];
        }
    } else {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t i = x * stride;
            out[4 * x] = level(r[i]);
            out[4 * x + 1] = level(g[i]);
            out[4 * x + 2] = level(b[i]);
            out[4 * x + 3] = kMax;
        }
    }
}

template <typename T>
void storeSamples(const Layout& l, const uint8_t* const* planeRows, uint8_t* out) {
    const T* c[4];
    size_t stride = 1;
    for (int32_t k = 0; k < l.usedSamples(); ++k) {
        // Contiguous samples share one row; planes have a row each.
        c[k] = l.planar ? reinterpret_cast<const T*>(planeRows[k]) : reinterpret_cast<const T*>(planeRows[0]) + k;
        stride = l.planar ? 1 : static_cast<size_t>(l.samples);
    }
    const bool grey = l.model == Model::kGrey;
    const T* r = c[0];
    const T* g = grey ? c[0] : c[1];
    const T* b = grey ? c[0] : c[2];
    const T* a = l.alpha >= 0 ? c[l.usedSamples() - 1] : nullptr;
    T* o = reinterpret_cast<T*>(out);
    if (l.whiteIsZero) storeRow<T, true>(r, g, b, a, stride, l.width, o);
    else storeRow<T, false>(r, g, b, a, stride, l.width, o);
}

// A 1-bit row (most significant bit first) as opaque black and white.
void storeBilevel(const uint8_t* in, bool whiteIsZero, uint32_t width, uint8_t* out) {
    const uint8_t one = whiteIsZero ? 0 : 255;
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t v = (in[x >> 3] >> (7 - (x & 7))) & 1 ? one : static_cast<uint8_t>(255 - one);
        out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = v;
        out[4 * x + 3] = 255;
    }
}

// Palette entries as RGBA bytes.
using Palette = std::array<std::array<uint8_t, 4>, 256>;

void storePalette(const uint8_t* in, const Palette& palette, uint32_t width, uint8_t* out) {
    for (uint32_t x = 0; x < width; ++x) std::memcpy(out + 4 * x, palette[in[x]].data(), 4);
}

// The output of a decode: the picture's rows.
struct Rows {
    uint8_t* first;
    size_t bytesPerLine;
};

// Decodes bands first..end-1 (a band: the rows of one strip, or of one row
// of tiles) with the given handle and stores them. Empty on success, else
// the reason.
std::string decodeBands(const TiffHandle& handle, const Layout& l, const Palette& palette, uint32_t first,
                        uint32_t end, const Rows& rows) {
    TIFF* tif = handle.get();
    const int32_t planes = l.planar ? l.usedSamples() : 1;
    const uint64_t bandRowBytes = l.rowBytes(l.width);
    const uint64_t tileRowBytes = l.tiled ? l.rowBytes(l.tileWidth) : 0;
    const uint64_t tileBytes = tileRowBytes * l.bandRows;
    std::vector<std::unique_ptr<uint8_t[]>> buffers(static_cast<size_t>(planes));
    for (auto& buffer : buffers) {
        buffer.reset(new (std::nothrow) uint8_t[bandRowBytes * l.bandRows]);
        if (!buffer) return "out of memory for the image";
    }
    std::unique_ptr<uint8_t[]> tile;
    if (l.tiled) {
        tile.reset(new (std::nothrow) uint8_t[tileBytes]);
        if (!tile) return "out of memory for the image";
    }
    const uint8_t* planeRows[4];
    for (uint32_t band = first; band < end; ++band) {
        const uint32_t top = band * l.bandRows;
        const uint32_t count = std::min(l.bandRows, l.height - top);
        for (int32_t p = 0; p < planes; ++p) {
            uint8_t* buffer = buffers[static_cast<size_t>(p)].get();
            const uint16_t plane = static_cast<uint16_t>(p);  // planar samples used are the first ones
            if (!l.tiled) {
                const tmsize_t wanted = static_cast<tmsize_t>(bandRowBytes * count);
                if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, top, plane), buffer, wanted) < wanted)
                    return withError(kDamaged, handle.messages());
                continue;
            }
            for (uint32_t left = 0; left < l.width; left += l.tileWidth) {
                const tmsize_t wanted = static_cast<tmsize_t>(tileBytes);
                if (TIFFReadEncodedTile(tif, TIFFComputeTile(tif, left, top, 0, plane), tile.get(), wanted) < wanted)
                    return withError(kDamaged, handle.messages());
                // Each tile starts on a byte (checked with the header).
                const uint64_t at = l.rowBytes(left);
                const uint64_t span = std::min(tileRowBytes, bandRowBytes - at);
                for (uint32_t y = 0; y < count; ++y)
                    std::memcpy(buffer + y * bandRowBytes + at, tile.get() + y * tileRowBytes, span);
            }
        }
        if (handle.messages().jpegRanOut) return withError(kDamaged, handle.messages());
        for (uint32_t y = 0; y < count; ++y) {
            for (int32_t p = 0; p < planes; ++p)
                planeRows[p] = buffers[static_cast<size_t>(p)].get() + y * bandRowBytes;
            uint8_t* out = rows.first + (top + y) * rows.bytesPerLine;
            switch (l.model) {
                case Model::kBilevel: storeBilevel(planeRows[0], l.whiteIsZero, l.width, out); break;
                case Model::kPalette: storePalette(planeRows[0], palette, l.width, out); break;
                default:
                    if (l.deep()) storeSamples<uint16_t>(l, planeRows, out);
                    else storeSamples<uint8_t>(l, planeRows, out);
            }
        }
    }
    return std::string();
}

// The number of parts the bands are decoded in, each with a handle of its
// own on a thread of the parallel loop: one for small pictures, where
// opening further handles would cost more than it saves.
uint32_t partCount(const Layout& l, uint32_t bands) {
    constexpr uint64_t kWorthSharing = uint64_t(4) << 20;  // bytes of decoded samples
    const uint64_t samples = l.rowBytes(l.width) * l.height * static_cast<uint64_t>(l.planar ? l.usedSamples() : 1);
    if (samples < kWorthSharing || bands < 2) return 1;
    return std::min(bands, static_cast<uint32_t>(parallelThreadCount()));
}

}  // namespace

// ---- The reader ------------------------------------------------------------------------

struct TiffReader::State {
    const uint8_t* data;
    size_t size;
    std::unique_ptr<TiffHandle> handle;
    Layout layout;
    Palette palette{};
    std::vector<uint8_t> icc;
    PixelColours colours = PixelColours::kUnknown;
    TIFFRGBAImage rgba;
    bool rgbaBegun = false;

    State(const uint8_t* d, size_t n) : data(d), size(n) {}
    ~State() {
        if (rgbaBegun) TIFFRGBAImageEnd(&rgba);  // before the handle closes
    }
};

TiffReader::TiffReader(const uint8_t* data, size_t size) : state_(std::make_unique<State>(data, size)) {}

TiffReader::~TiffReader() = default;

bool TiffReader::readHeader(GrowString* reason) {
    State& s = *state_;
    if (s.handle) return false;  // read once
    s.handle = std::make_unique<TiffHandle>(s.data, s.size);
    if (!s.data || !s.handle->open()) {
        setReason(reason, withError(kDamaged, s.handle->messages()).c_str());
        return false;
    }
    TIFF* tif = s.handle->get();
    Layout& l = s.layout;
    uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE, photometric = 0, extraCount = 0;
    const uint16_t* extraTypes = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height) ||
        l.width == 0 || l.height == 0) {
        setReason(reason, "the TIFF file is damaged: it gives no picture size");
        return false;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const bool hasPhotometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 0;
    const bool tagged = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) != 0;

    std::string refused = refusedSamples(format, bits, samples);
    if (refused.empty() && !TIFFIsCODECConfigured(compression)) {
        const TIFFCodec* codec = TIFFFindCODEC(compression);
        char line[160];
        if (codec && codec->name)
            std::snprintf(line, sizeof line, "TIFF files compressed with %s are not supported", codec->name);
        else
            std::snprintf(line, sizeof line, "TIFF files of an unknown compression (%d) are not supported",
                          compression);
        refused = line;
    }
    if (refused.empty() && hasPhotometric && photometric == PHOTOMETRIC_SEPARATED && bits != 8) {
        char line[160];
        std::snprintf(line, sizeof line, "TIFF files of %d-bit CMYK samples are not supported", bits);
        refused = line;
    }
    if (!refused.empty()) {
        setReason(reason, refused.c_str());
        return false;
    }

    l.bits = bits;
    l.samples = samples;
    l.planar = planar == PLANARCONFIG_SEPARATE && samples > 1;
    l.tiled = TIFFIsTiled(tif) != 0;
    if (hasPhotometric) {
        switch (photometric) {
            case PHOTOMETRIC_MINISWHITE:
            case PHOTOMETRIC_MINISBLACK:
                l.whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
                if (bits >= 8) l.model = Model::kGrey;
                else if (bits == 1 && samples == 1) l.model = Model::kBilevel;
                l.colourSamples = 1;
                break;
            case PHOTOMETRIC_RGB:
                if (bits >= 8 && samples >= 3) l.model = Model::kRgb;
                l.colourSamples = 3;
                break;
            case PHOTOMETRIC_PALETTE:
                if (bits == 8 && samples == 1) l.model = Model::kPalette;
                break;
            default: break;
        }
    }
    if (l.model == Model::kGrey || l.model == Model::kRgb) findAlpha(extraTypes, extraCount, tagged, &l);
    if (l.model == Model::kPalette) {
        uint16_t* red = nullptr;
        uint16_t* green = nullptr;
        uint16_t* blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) {
            setReason(reason, "the TIFF file is damaged: its palette is missing");
            return false;
        }
        // Each 16-bit colour cut to its high byte, as Qt's reader did.
        for (int i = 0; i < 256; ++i)
            s.palette[static_cast<size_t>(i)] = {static_cast<uint8_t>(red[i] >> 8), static_cast<uint8_t>(green[i] >> 8),
                                                 static_cast<uint8_t>(blue[i] >> 8), 255};
    }

    if (l.tiled) {
        // A tile is decoded whole into a buffer of its own (here, or in
        // libtiff's RGBA conversion): one larger than a picture may be is
        // refused before it is allocated.
        if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &l.tileWidth) ||
            !TIFFGetField(tif, TIFFTAG_TILELENGTH, &l.bandRows) || !withinPixelBudget(l.tileWidth, l.bandRows) ||
            !fitsInWorkingMemory(l.tileWidth, l.bandRows) ||
            l.rowBytes(l.tileWidth) * 8 != uint64_t(l.tileWidth) * (l.planar ? 1 : samples) * bits) {
            setReason(reason, "the TIFF file is damaged: its tiles have no usable size");
            return false;
        }
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        l.bandRows = rowsPerStrip == 0 ? l.height : std::min(rowsPerStrip, l.height);
    }
    if (l.model == Model::kConverted) {
        char message[1024] = "";
        if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&s.rgba, tif, 1, message)) {
            const std::string line = std::string("TIFF files of this layout are not supported (") + message + ")";
            setReason(reason, line.c_str());
            return false;
        }
        s.rgbaBegun = true;
        // The rows as stored: no flip for the Orientation tag.
        s.rgba.req_orientation = s.rgba.orientation;
        // libtiff premultiplies unassociated alpha and passes associated
        // alpha on; unspecified alpha is passed on as it stands.
        l.alpha = s.rgba.alpha != 0 ? 3 : -1;
        l.associated = l.alpha >= 0 && tagged && extraCount > 0 && extraTypes[0] != EXTRASAMPLE_UNSPECIFIED;
    }
    if (!stripsWithinFile(tif, s.size)) {
        setReason(reason, kDamaged);
        return false;
    }

    uint32_t iccBytes = 0;
    void* icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccBytes, &icc) && icc && iccBytes > 0)
        s.icc.assign(static_cast<const uint8_t*>(icc), static_cast<const uint8_t*>(icc) + iccBytes);
    s.colours = tiffPhotometricColours(hasPhotometric ? photometric : -1);
    return true;
}

int64_t TiffReader::width() const {
    return state_->layout.width;
}

int64_t TiffReader::height() const {
    return state_->layout.height;
}

bool TiffReader::hasAlpha() const {
    return state_->layout.alpha >= 0;
}

int32_t TiffReader::bitsPerSample() const {
    return state_->layout.deep() ? 16 : 8;
}

PixelColours TiffReader::colours() const {
    return state_->colours;
}

const std::vector<uint8_t>& TiffReader::iccProfile() const {
    return state_->icc;
}

bool TiffReader::decode(QImage* recycled, QImage* out, GrowString* reason) {
    State& s = *state_;
    const Layout& l = s.layout;
    if (!s.handle || !s.handle->get() || l.width == 0 || l.width > INT_MAX || l.height > INT_MAX) {
        setReason(reason, "the image is damaged or cannot be decoded");
        return false;
    }
    // Associated alpha is un-premultiplied by Qt's conversion afterwards.
    const QImage::Format straight = l.deep() ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    const QImage::Format stored = !l.associated ? straight
                                  : l.deep()    ? QImage::Format_RGBA64_Premultiplied
                                                : QImage::Format_RGBA8888_Premultiplied;
    const uint32_t bands = l.model == Model::kConverted ? 1 : (l.height + l.bandRows - 1) / l.bandRows;
    const uint32_t parts = l.model == Model::kConverted ? 1 : partCount(l, bands);
    QImage image = pictureToFill(recycled, static_cast<int32_t>(l.width), static_cast<int32_t>(l.height), stored,
                                 parts == 1);
    if (image.isNull()) {
        setReason(reason, "out of memory for the image");
        return false;
    }
    const Rows rows{image.bits(), static_cast<size_t>(image.bytesPerLine())};
    std::string failure;
    if (l.model == Model::kConverted) {
        // libtiff's words 0xAABBGGRR are Format_RGBA8888's bytes in
        // little-endian memory.
        uint32_t* words = reinterpret_cast<uint32_t*>(rows.first);
        if (!TIFFRGBAImageGet(&s.rgba, words, l.width, l.height) || s.handle->messages().jpegRanOut) {
            failure = withError(kDamaged, s.handle->messages());
        } else if (Q_BYTE_ORDER == Q_BIG_ENDIAN) {
            const size_t count = static_cast<size_t>(l.width) * l.height;
            for (size_t i = 0; i < count; ++i) {
                const uint32_t w = words[i];
                words[i] = (w << 24) | ((w << 8) & 0xff0000u) | ((w >> 8) & 0xff00u) | (w >> 24);
            }
        }
    } else if (parts == 1) {
        failure = decodeBands(*s.handle, l, s.palette, 0, bands, rows);
    } else {
        std::vector<std::string> failures(parts);
        parallelFor(static_cast<int32_t>(parts), 0.5f, [&](int32_t part) {
            const uint32_t p = static_cast<uint32_t>(part);
            const uint32_t first = static_cast<uint32_t>(uint64_t(bands) * p / parts);
            const uint32_t end = static_cast<uint32_t>(uint64_t(bands) * (p + 1) / parts);
            std::string& failed = failures[p];
            try {
                if (p == 0) {
                    failed = decodeBands(*s.handle, l, s.palette, first, end, rows);
                    return;
                }
                TiffHandle own(s.data, s.size);
                failed = own.open() ? decodeBands(own, l, s.palette, first, end, rows)
                                    : withError(kDamaged, own.messages());
            } catch (const std::bad_alloc&) {
                failed = "out of memory for the image";
            }
        });
        for (const std::string& f : failures)
            if (failure.empty()) failure = f;
    }
    if (!failure.empty()) {
        setReason(reason, failure.c_str());
        return false;
    }
    if (stored != straight && !convertInStrips(&image, straight)) {
        setReason(reason, "out of memory converting the decoded picture");
        return false;
    }
    *out = std::move(image);
    return true;
}
