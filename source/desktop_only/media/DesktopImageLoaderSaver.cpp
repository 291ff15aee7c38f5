#include "DesktopImageLoaderSaver.h"

#include "ColorProfiles.h"
#include "JpegCodec.h"
#include "MediaExtensions.h"
#include "MediaFileIo.h"
#include "MetadataIo.h"
#include "PixelTransfer.h"
#include "PliFile.h"
#include "RawDecoder.h"

#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "platform/ParallelFor.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using FileKind = ImageFileKind;

// The kind of image the first bytes announce. Raw files have no common
// signature (several are TIFF containers) and are never recognised here.
FileKind kindOfContent(const uint8_t* d, size_t n) {
    if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return FileKind::Jpeg;
    if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return FileKind::Png;
    if (n >= 4 && (std::memcmp(d, "II*\0", 4) == 0 || std::memcmp(d, "MM\0*", 4) == 0 ||
                   std::memcmp(d, "II+\0", 4) == 0 || std::memcmp(d, "MM\0+", 4) == 0))
        return FileKind::Tiff;  // classic and big TIFF
    if (n >= 4 && std::memcmp(d, "8BPS", 4) == 0) return FileKind::Psd;
    if (isPliData(d, n)) return FileKind::Pli;
    return FileKind::Unknown;
}

// The kind of file to decode: the one the extension names when the content
// is of that kind, the content's own when the extension names none (and for
// ":/" resources, whose names are the program's own). Raw extensions go to
// LibRaw whatever the content. Unknown when the content is no image read
// here or is another kind than the extension says: a PNG named .jpg fails
// like any other file that is not what its name says.
FileKind kindToDecode(const QString& path, const uint8_t* d, size_t n) {
    const FileKind named = readKindOfExtension(QFileInfo(path).suffix().toLower());
    if (named == FileKind::Raw) return FileKind::Raw;
    const FileKind content = kindOfContent(d, n);
    if (named == FileKind::Unknown || path.startsWith(QLatin1String(":/"))) return content;
    return content == named ? content : FileKind::Unknown;
}

// Qt's reader for a kind of file.
const char* qtFormatOf(FileKind kind) {
    switch (kind) {
        case FileKind::Jpeg: return "jpeg";
        case FileKind::Png: return "png";
        case FileKind::Tiff: return "tiff";
        case FileKind::Psd: return "psd";
        default: return nullptr;
    }
}

// Whether a JPEG stream reaches its end-of-image marker. libjpeg, and with it
// Qt's reader, fills a cut-off picture with grey and calls it a success, so
// the stream is walked here: the marker segments up to the first scan, then
// the entropy-coded data (where 0xFF is followed by 0x00 stuffing or a restart
// marker) and any later segments of a progressive file, until EOI.
bool jpegIsComplete(const uint8_t* d, size_t n) {
    size_t i = 2;  // after SOI
    while (i + 1 < n) {
        if (d[i] != 0xFF) {
            ++i;  // entropy-coded data
            continue;
        }
        const uint8_t marker = d[i + 1];
        if (marker == 0xD9) return true;  // EOI
        if (marker == 0x00 || marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            i += (marker == 0xFF) ? 1 : 2;  // stuffing, fill byte, TEM, RSTn, SOI: no length
            continue;
        }
        if (i + 3 >= n) return false;
        const size_t length = (static_cast<size_t>(d[i + 2]) << 8) | d[i + 3];
        if (length < 2) return false;
        i += 2 + length;  // skip the segment; after SOS this lands on scan data
    }
    return false;
}

// Whether a PNG stream reaches its IEND chunk, each chunk whole: libpng
// stops at the first chunk that runs past the end of the data and prints
// why, so a cut-off file is refused here with a reason of its own.
bool pngIsComplete(const uint8_t* d, size_t n) {
    size_t i = 8;  // after the signature
    while (i + 12 <= n) {
        const size_t length = static_cast<size_t>(d[i]) << 24 | static_cast<size_t>(d[i + 1]) << 16 |
                              static_cast<size_t>(d[i + 2]) << 8 | d[i + 3];
        if (length > 0x7fffffffu || length > n - i - 12) return false;  // PNG's limit; runs past the end
        if (std::memcmp(d + i + 4, "IEND", 4) == 0) return true;
        i += 12 + length;  // length, type, data, CRC
    }
    return false;
}

// Qt's name for an orientation, as the EXIF value.
int32_t orientationOf(QImageIOHandler::Transformations t) {
    switch (static_cast<int>(t)) {
        case QImageIOHandler::TransformationMirror: return 2;
        case QImageIOHandler::TransformationRotate180: return 3;
        case QImageIOHandler::TransformationFlip: return 4;
        case QImageIOHandler::TransformationFlipAndRotate90: return 5;
        case QImageIOHandler::TransformationRotate90: return 6;
        case QImageIOHandler::TransformationMirrorAndRotate90: return 7;
        case QImageIOHandler::TransformationRotate270: return 8;
        default: return 1;
    }
}

bool isDeepFormat(QImage::Format format) {
    switch (format) {
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
        case QImage::Format_Grayscale16:
        case QImage::Format_BGR30:
        case QImage::Format_A2BGR30_Premultiplied:
        case QImage::Format_RGB30:
        case QImage::Format_A2RGB30_Premultiplied:
            return true;
        default:
            return false;
    }
}

// The reason of a picture whose header asks for too much: over the pixel
// budget, or more than the working memory holds comfortably.
void tooLargeReason(int64_t width, int64_t height, GrowString* reason) {
    if (!reason) return;
    char line[160];
    if (!withinPixelBudget(width, height)) {
        std::snprintf(line, sizeof line, "is too large: %lld x %lld pixels is over the limit of one gigapixel",
                      static_cast<long long>(width), static_cast<long long>(height));
    } else {
        std::snprintf(line, sizeof line,
                      "is too large for this machine's memory: %lld x %lld pixels would need %lld MB of the %lld MB "
                      "a picture may take",
                      static_cast<long long>(width), static_cast<long long>(height),
                      static_cast<long long>(width * height * kWorkingBytesPerPixel >> 20),
                      static_cast<long long>(workingMemoryBudget() >> 20));
    }
    *reason = GrowString(line);
}

// ---- Opening a source --------------------------------------------------------

// The bytes read first: every header this loader checks before reading the
// rest (PNG's IHDR, Photoshop's and .pli's headers, a TIFF's first
// directory and a JPEG's frame header in all but unusual files) lies in them;
// what lies beyond is read where the header points.
constexpr size_t kHeadBytes = size_t(64) << 10;

uint32_t bigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// The size a JPEG's frame header (SOF0..SOF15 but DHT, JPG and DAC)
// claims, found by walking the marker segments before it.
bool jpegClaimedSize(const FileBytes& file, int64_t* width, int64_t* height) {
    uint64_t at = 2;  // after SOI
    for (int segments = 0; segments < 4096; ++segments) {
        uint8_t m[9];
        if (!file.readAt(at, m, 2) || m[0] != 0xFF) return false;
        const uint8_t marker = m[1];
        if (marker == 0xFF) {  // a fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return false;  // EOI or a scan before any frame
        if (!file.readAt(at, m, 4)) return false;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (!file.readAt(at, m, 9)) return false;
            *height = m[5] << 8 | m[6];
            *width = m[7] << 8 | m[8];
            return true;
        }
        at += 2 + (static_cast<uint64_t>(m[2]) << 8 | m[3]);
    }
    return false;
}

// The size a TIFF's first directory claims (classic or big TIFF): the
// ImageWidth and ImageLength entries, SHORT, LONG or LONG8.
bool tiffClaimedSize(const FileBytes& file, int64_t* width, int64_t* height) {
    uint8_t h[16];
    if (!file.readAt(0, h, 8)) return false;
    const bool little = h[0] == 'I';
    auto value = [little](const uint8_t* p, int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(p[little ? i : bytes - 1 - i]) << (8 * i);
        return v;
    };
    const bool big = value(h + 2, 2) == 43;
    uint64_t directory = value(h + 4, 4);
    if (big) {
        if (!file.readAt(8, h + 8, 8)) return false;
        directory = value(h + 8, 8);
    }
    uint8_t countBytes[8];
    if (!file.readAt(directory, countBytes, big ? 8 : 2)) return false;
    const uint64_t count = value(countBytes, big ? 8 : 2);
    const uint64_t entrySize = big ? 20 : 12;
    int64_t w = -1;
    int64_t l = -1;
    for (uint64_t i = 0; i < count && i < 4096 && (w < 0 || l < 0); ++i) {
        uint8_t e[20];
        if (!file.readAt(directory + (big ? 8 : 2) + i * entrySize, e, static_cast<size_t>(entrySize))) return false;
        const uint64_t tag = value(e, 2);
        if (tag != 256 && tag != 257) continue;
        const uint64_t type = value(e + 2, 2);
        const uint8_t* v = e + (big ? 12 : 8);
        int64_t size = -1;
        if (type == 3) size = static_cast<int64_t>(value(v, 2));                   // SHORT
        else if (type == 4) size = static_cast<int64_t>(value(v, 4));              // LONG
        else if (type == 16 && big) size = static_cast<int64_t>(value(v, 8) >> 1);  // LONG8, kept positive
        (tag == 256 ? w : l) = size;
    }
    if (w < 0 || l < 0) return false;
    *width = w;
    *height = l;
    return true;
}

// The width and height the file's header claims, from its first bytes or
// where they point; false when it cannot tell (the decoder judges then).
bool claimedSize(const FileBytes& file, FileKind kind, int64_t* width, int64_t* height) {
    const uint8_t* d = file.data();
    const size_t n = file.size();
    switch (kind) {
        case FileKind::Png:
            if (n < 24 || std::memcmp(d + 12, "IHDR", 4) != 0) return false;
            *width = bigEndian32(d + 16);
            *height = bigEndian32(d + 20);
            return true;
        case FileKind::Psd:
            if (n < 22) return false;
            *height = bigEndian32(d + 14);
            *width = bigEndian32(d + 18);
            return true;
        case FileKind::Pli:  // 32-bit little-endian signed width and height after the 12-byte tag
            if (n < 20) return false;
            *width = static_cast<int32_t>(d[12] | d[13] << 8 | d[14] << 16 | static_cast<uint32_t>(d[15]) << 24);
            *height = static_cast<int32_t>(d[16] | d[17] << 8 | d[18] << 16 | static_cast<uint32_t>(d[19]) << 24);
            return true;
        case FileKind::Jpeg: return jpegClaimedSize(file, width, height);
        case FileKind::Tiff: return tiffClaimedSize(file, width, height);
        default: return false;
    }
}

// A source file opened for decoding: its bytes, its kind, and for a JPEG
// the direct path takes, its reader with the header read.
struct Source {
    FileBytes bytes;
    FileKind kind = FileKind::Unknown;
    std::unique_ptr<JpegReader> jpeg;
};

// Reads the first bytes, refuses what they rule out (content of no kind
// read here or of another kind than the extension names, a picture the
// header makes too large, a file too large for the decoders), then reads
// the rest.
bool openSource(const QString& qpath, Source* source, GrowString* reason) {
    FileBytes& bytes = source->bytes;
    if (!bytes.open(qpath, kHeadBytes, reason)) return false;
    const FileKind kind = kindToDecode(qpath, bytes.data(), bytes.size());
    if (kind == FileKind::Unknown) {
        const bool misnamed = kindOfContent(bytes.data(), bytes.size()) != FileKind::Unknown;
        setReason(reason, misnamed ? "its content is another kind of image than its extension names"
                                   : "is not an image this program reads");
        return false;
    }
    int64_t width = 0;
    int64_t height = 0;
    if (claimedSize(bytes, kind, &width, &height) && width >= 1 && height >= 1 &&
        (!withinPixelBudget(width, height) || !fitsInWorkingMemory(width, height))) {
        tooLargeReason(width, height, reason);
        return false;
    }
    if (qtFormatOf(kind) && bytes.fileSize() > static_cast<uint64_t>(INT_MAX)) {
        setReason(reason, "the file is too large to decode");
        return false;
    }
    if (!bytes.readRest(reason)) return false;
    source->kind = kind;
    if (kind == FileKind::Jpeg) {
        source->jpeg = std::make_unique<JpegReader>(bytes.data(), bytes.size());
        if (!source->jpeg->readHeader()) source->jpeg.reset();  // Qt's reader serves it
    }
    return true;
}

// ---- Decoding -----------------------------------------------------------------

// What a decoder found beside the pixels.
struct Decoded {
    QImage pixels;                    // Format_RGBA8888, Format_RGBA64 or Format_RGB32
    int32_t orientation = 0;          // as the decoder read it; 0 none
    std::vector<uint8_t> iccProfile;  // as the decoder found it
    bool hasAlpha = false;            // the decoded image carries alpha
};

// A picture refused for the size its decoder reports.
bool refusedForSize(int64_t width, int64_t height, GrowString* reason) {
    if (withinPixelBudget(width, height) && fitsInWorkingMemory(width, height)) return false;
    if (width < 1 || height < 1) setReason(reason, "the image is damaged or cannot be decoded");
    else tooLargeReason(width, height, reason);
    return true;
}

// Qt's image reader, for every kind it reads, with the codec libraries'
// own messages kept off standard error.
bool decodeWithQt(const FileBytes& bytes, FileKind kind, Decoded* out, GrowString* reason, QImage* recycled) {
    const char* format = qtFormatOf(kind);
    if (!format || bytes.size() > static_cast<size_t>(INT_MAX)) {
        setReason(reason, format ? "the file is too large to decode" : "is not an image this program reads");
        return false;
    }
    if (kind == FileKind::Jpeg && !jpegIsComplete(bytes.data(), bytes.size())) {
        setReason(reason, "the JPEG file is damaged or cut short");
        return false;
    }
    if (kind == FileKind::Png && !pngIsComplete(bytes.data(), bytes.size())) {
        setReason(reason, "the PNG file is damaged or cut short");
        return false;
    }
    QuietCodecMessages quiet;

    QByteArray wrapped = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
    QBuffer device(&wrapped);
    if (!device.open(QIODevice::ReadOnly)) {
        setReason(reason, "cannot read the file");
        return false;
    }
    QImageReader reader(&device, format);
    reader.setAutoDetectImageFormat(false);  // only the reader the content calls for
    reader.setAutoTransform(false);          // the orientation is applied once, by the caller
    if (!reader.canRead()) {
        setReason(reason, "the image is damaged or cannot be decoded");
        return false;
    }
    // Refused before any pixel is decoded: the size the header claims.
    const QSize size = reader.size();
    if (refusedForSize(size.width(), size.height(), reason)) return false;

    // A JPEG Qt decodes is decoded into an image made here, which Qt's
    // reader fills when its size and format are right: its memory is then
    // mapped by all threads at once beforehand instead of page by page
    // inside the serial decoder. An earlier picture of the same size and
    // format handed in for reuse serves instead, its memory mapped already;
    // its colour space is cleared first, so that nothing of the earlier file
    // can pass for this one's.
    QImage image;
    if (kind == FileKind::Jpeg && reader.imageFormat() == QImage::Format_RGB32) {
        if (recycled && recycled->size() == size && recycled->format() == QImage::Format_RGB32 &&
            recycled->isDetached()) {
            image = std::move(*recycled);
            image.setColorSpace(QColorSpace());
        } else {
            image = QImage(size, QImage::Format_RGB32);  // null when memory runs out: the reader then tries itself
            if (!image.isNull()) mapForWriting(image.bits(), static_cast<size_t>(image.sizeInBytes()));
        }
    }
    if (!reader.read(&image) || image.isNull()) {
        setReason(reason, "the image is damaged or cannot be decoded (or memory ran out)");
        return false;
    }
    if (refusedForSize(image.width(), image.height(), reason)) return false;
    out->orientation = orientationOf(reader.transformation());
    // Asked of the decoded image, not of the header: a palette image with
    // transparent entries reports an opaque palette format beforehand.
    out->hasAlpha = image.hasAlphaChannel();
    const QByteArray icc = image.colorSpace().iccProfile();
    out->iccProfile.assign(icc.constData(), icc.constData() + icc.size());

    // Qt's JPEG reader delivers 32-bit RGB, which copyToBuffer reads as it
    // stands: no second full-size copy just to reorder the bytes.
    const QImage::Format target = isDeepFormat(image.format()) ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    if (image.format() != target && image.format() != QImage::Format_RGB32 && !convertInStrips(&image, target)) {
        setReason(reason, "out of memory converting the decoded picture");
        return false;
    }
    out->pixels = std::move(image);
    return true;
}

// Rows of a decoded JPEG handed to libjpeg at once.
constexpr int32_t kRowsPerRead = 16;

// A JPEG the direct path takes, decoded whole into 32-bit words. The
// picture handed in for reuse serves when it has the size and format, as
// for Qt's reader; otherwise a new one is mapped on all threads first.
bool decodeJpegWhole(JpegReader& jpeg, Decoded* out, GrowString* reason, QImage* recycled) {
    const int32_t width = jpeg.width();
    const int32_t height = jpeg.height();
    if (refusedForSize(width, height, reason)) return false;
    const QSize size(width, height);
    QImage image;
    if (recycled && recycled->size() == size && recycled->format() == QImage::Format_RGB32 && recycled->isDetached()) {
        image = std::move(*recycled);
        image.setColorSpace(QColorSpace());
    } else {
        image = QImage(size, QImage::Format_RGB32);
        if (image.isNull()) {
            setReason(reason, "out of memory for the image");
            return false;
        }
        mapForWriting(image.bits(), static_cast<size_t>(image.sizeInBytes()));
    }
    if (!jpeg.start(reason)) return false;
    uchar* bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    for (int32_t top = 0; top < height; top += kRowsPerRead) {
        uint8_t* rows[kRowsPerRead];
        const int32_t count = height - top < kRowsPerRead ? height - top : kRowsPerRead;
        for (int32_t r = 0; r < count; ++r) rows[r] = bits + static_cast<qsizetype>(top + r) * bytesPerLine;
        if (!jpeg.readRows(rows, count, reason)) return false;
    }
    if (!jpeg.finish(reason)) return false;
    out->orientation = jpeg.orientation();
    out->iccProfile = jpeg.iccProfile();
    out->hasAlpha = false;
    out->pixels = std::move(image);
    return true;
}

// The orientation to apply (1..8): the one exiv2 read from the file's
// metadata (EXIF, else XMP; 0 when it found none or could not read the file
// at all), else the decoder's own, else 1.
int32_t chooseOrientation(int32_t fromMetadata, int32_t fromDecoder) {
    if (fromMetadata >= 1 && fromMetadata <= 8) return fromMetadata;
    return fromDecoder >= 1 && fromDecoder <= 8 ? fromDecoder : 1;
}

// The metadata of a decoded file (not raw, not .pli): exiv2's reading, the
// orientation to apply and the profile to trust. A damaged profile counts
// as none: its colours cannot be trusted. The decoder hands over the
// embedded bytes as they stand, while exiv2 may cut them to the size their
// header declares, so the bytes the decoder found are judged too.
void settleMetadata(const FileBytes& bytes, bool wantMetadata, int32_t decoderOrientation,
                    std::vector<uint8_t> decoderProfile, ImageMetadata* metadata) {
    metadata->orientation = 0;  // none until exiv2 reads one
    readImageMetadata(bytes.data(), bytes.size(), wantMetadata, metadata);
    if (!decoderProfile.empty() && !isSoundProfile(decoderProfile)) {
        metadata->iccProfile.clear();
        decoderProfile.clear();
    }
    if (metadata->iccProfile.empty()) metadata->iccProfile = std::move(decoderProfile);
    metadata->orientation = chooseOrientation(metadata->orientation, decoderOrientation);
    if (!metadata->iccProfile.empty() && !isSoundProfile(metadata->iccProfile)) metadata->iccProfile.clear();
}

void reportUnusableProfile(const GrowString& path) {
    std::printf("ignoring the unusable colour profile of %s\n", path.c_str());
    std::fflush(stdout);
}

// Decodes an opened source (everything DesktopImageLoaderSaver::decode does
// once the file is read).
bool decodeSource(Source& source, const GrowString& path, bool applyEmbeddedProfile, bool asFloat,
                  bool wantMetadata, DecodedSource* out, GrowString* reason, QImage* recycled) {
    const FileBytes& bytes = source.bytes;
    QImage pixels;
    ImageMetadata metadata;
    int32_t orientation = 1;
    bool hasAlpha = false;
    if (source.kind == FileKind::Pli) {
        if (!decodePli(bytes.data(), bytes.size(), &pixels, reason)) return false;
        hasAlpha = true;  // the file always stores alpha
    } else if (source.kind == FileKind::Raw) {
        {
            QuietCodecMessages quiet;
            if (!decodeRaw(bytes.data(), bytes.size(), &pixels, reason)) return false;
        }
        metadata.orientation = 0;
        readImageMetadata(bytes.data(), bytes.size(), wantMetadata, &metadata);
        // LibRaw has turned the picture already and delivers sRGB.
        metadata.iccProfile.clear();
    } else {
        Decoded decoded;
        const bool ok = source.jpeg ? decodeJpegWhole(*source.jpeg, &decoded, reason, recycled)
                                    : decodeWithQt(bytes, source.kind, &decoded, reason, recycled);
        if (!ok) return false;
        settleMetadata(bytes, wantMetadata, decoded.orientation, std::move(decoded.iccProfile), &metadata);
        pixels = std::move(decoded.pixels);
        hasAlpha = decoded.hasAlpha;
        orientation = metadata.orientation;
        if (applyEmbeddedProfile && !metadata.iccProfile.empty()) {
            // The profile conversion works on RGBA samples.
            if (pixels.format() == QImage::Format_RGB32 && !convertInStrips(&pixels, QImage::Format_RGBA8888)) {
                setReason(reason, "out of memory converting the decoded picture");
                return false;
            }
            // Float buffers get the conversion at 16 bits, so that an 8-bit
            // source does not lose levels twice.
            if (!convertToSrgb(&pixels, metadata.iccProfile, asFloat)) reportUnusableProfile(path);
        }
    }
    if (metadata.orientation < 1 || metadata.orientation > 8) metadata.orientation = 1;
    out->pixels = std::move(pixels);
    out->orientation = orientation;
    out->hasAlpha = hasAlpha;
    out->metadata = std::move(metadata);
    return true;
}

// Bytes of decoded or stored rows in one band of the codecs' pipelines:
// small enough for the cache, large enough that a band is worth a task.
constexpr int64_t kBandBytes = int64_t(512) << 10;

int32_t rowsPerBand(int64_t rowBytes, int32_t height) {
    const int64_t rows = rowBytes > 0 ? kBandBytes / rowBytes : 1;
    const int64_t atLeast = rows < 8 ? 8 : rows;
    return static_cast<int32_t>(atLeast < height ? atLeast : height);
}

// Band buffers in use at once: enough that every thread has one to convert
// while the codec fills or empties others.
int32_t bandSlots() {
    return 2 * parallelThreadCount() + 2;
}

// A JPEG the direct path takes, loaded into the buffer in bands: libjpeg
// decodes band after band while the bands decoded before are converted
// (colour profile, orientation, samples) into the buffer on the other
// threads, so the buffer is complete soon after the last row is decoded,
// and the whole decoded picture is never held. The buffer gets what
// decode and finishLoad give.
bool loadJpegInBands(Source& source, const GrowString& path, bool applyEmbeddedProfile, bool asFloat,
                     int32_t channels, bool wantMetadata, ImageBuffer* image, ImageMetadata* metadata,
                     GrowString* reason) {
    JpegReader& jpeg = *source.jpeg;
    const int32_t width = jpeg.width();
    const int32_t height = jpeg.height();
    if (refusedForSize(width, height, reason)) return false;
    settleMetadata(source.bytes, wantMetadata, jpeg.orientation(), jpeg.iccProfile(), metadata);
    const int32_t orientation = metadata->orientation;
    SrgbConversion conversion;
    bool convert = false;
    if (applyEmbeddedProfile && !metadata->iccProfile.empty()) {
        const SrgbConversion::Outcome outcome = conversion.prepare(metadata->iccProfile);
        convert = outcome == SrgbConversion::kConverts;
        if (outcome == SrgbConversion::kUnusable) reportUnusableProfile(path);
    }
    if (!allocateUpright(width, height, orientation, channels, asFloat, image)) {
        setReason(reason, "out of memory for the image");
        return false;
    }

    const int64_t rowBytes = static_cast<int64_t>(width) * 4;
    const int32_t bandRows = rowsPerBand(rowBytes, height);
    const int32_t bands = (height + bandRows - 1) / bandRows;
    const int32_t slotCount = bandSlots() < bands ? bandSlots() : bands;
    const size_t slotBytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(bandRows);
    std::unique_ptr<uint8_t[]> ring(new (std::nothrow) uint8_t[slotBytes * static_cast<size_t>(slotCount)]);
    if (!ring || !jpeg.start(reason)) {
        if (!ring) setReason(reason, "out of memory for the image");
        image->release();
        return false;
    }
    // Mapped now on all threads, not page by page inside the serial decoder.
    mapForWriting(ring.get(), slotBytes * static_cast<size_t>(slotCount));
    auto rowsOf = [&](int32_t band) {
        const int32_t top = band * bandRows;
        return height - top < bandRows ? height - top : bandRows;
    };
    GrowString decodeFailure;
    std::atomic<bool> conversionFailed{false};
    BandPipelineSteps steps;
    steps.serialFirst = true;
    steps.serial = [&](int32_t band, int32_t slot) {
        uint8_t* base = ring.get() + slotBytes * static_cast<size_t>(slot);
        const int32_t count = rowsOf(band);
        for (int32_t done = 0; done < count; done += kRowsPerRead) {
            uint8_t* rows[kRowsPerRead];
            const int32_t n = count - done < kRowsPerRead ? count - done : kRowsPerRead;
            for (int32_t r = 0; r < n; ++r) rows[r] = base + static_cast<size_t>(done + r) * static_cast<size_t>(rowBytes);
            if (!jpeg.readRows(rows, n, &decodeFailure)) return false;
        }
        return true;
    };
    steps.parallel = [&](int32_t band, int32_t slot) {
        // The slot's rows as a picture of their own, without a copy.
        QImage strip(ring.get() + slotBytes * static_cast<size_t>(slot), width, rowsOf(band),
                     static_cast<qsizetype>(rowBytes), QImage::Format_RGB32);
        if (convert) {
            // The steps decode takes on the whole picture, on these rows.
            if (!convertInStrips(&strip, QImage::Format_RGBA8888) || !conversion.apply(&strip, asFloat)) {
                conversionFailed = true;
                return false;
            }
        }
        return copyStripToBuffer(strip, band * bandRows, width, height, orientation, asFloat, image);
    };
    const bool ok = runBandPipeline(bands, slotCount, steps) && jpeg.finish(&decodeFailure);
    if (!ok) {
        if (conversionFailed) setReason(reason, "out of memory converting the decoded picture");
        else if (reason) *reason = decodeFailure.isEmpty() ? GrowString("the image is damaged or cannot be decoded")
                                                          : decodeFailure;
        image->release();
        return false;
    }
    return true;
}

// ---- Encoding -----------------------------------------------------------------

// The JFIF density Qt's writer gives a JPEG: the resolution of a new image
// (Qt's default: the screen's logical dots per inch; 100 without a screen),
// which every saved picture had. Kept so that the files stay as they were.
int32_t jfifDotsPerInch(const QImage& image) {
    return qRound(image.dotsPerMeterX() * 2.54 / 100.0);
}

int32_t defaultDotsPerInch() {
    return jfifDotsPerInch(QImage(1, 1, QImage::Format_RGB888));
}

// The prepared samples (RGB888 or Grayscale8) as a JPEG file.
bool encodeJpegImage(const QImage& pixels, int32_t quality, bool embedProfile, QByteArray* encoded,
                     GrowString* reason) {
    const bool grey = pixels.format() == QImage::Format_Grayscale8;
    if (!grey && pixels.format() != QImage::Format_RGB888) {
        setReason(reason, "cannot encode the image");
        return false;
    }
    JpegWriter writer;
    static const std::vector<uint8_t> none;
    if (!writer.start(pixels.width(), pixels.height(), grey, quality, jfifDotsPerInch(pixels),
                      embedProfile ? srgbProfileBytes() : none, reason))
        return false;
    const int32_t height = pixels.height();
    for (int32_t top = 0; top < height; top += kRowsPerRead) {
        const uint8_t* rows[kRowsPerRead];
        const int32_t count = height - top < kRowsPerRead ? height - top : kRowsPerRead;
        for (int32_t r = 0; r < count; ++r) rows[r] = pixels.constScanLine(top + r);
        if (!writer.writeRows(rows, count, reason)) return false;
    }
    return writer.finish(encoded, reason);
}

// A buffer of 1, 3 or 4 channels written as a JPEG in bands: the bands
// ahead are stored as bytes on the other threads while libjpeg compresses
// the band before them. The bytes prepareSave and writePrepared give.
bool encodeJpegInBands(const ImageBuffer& image, bool isFloat, int32_t quality, bool embedProfile,
                       QByteArray* encoded, GrowString* reason) {
    const int32_t width = image.width;
    const int32_t height = image.height;
    const bool grey = image.channelCount() == 1;
    JpegWriter writer;
    static const std::vector<uint8_t> none;
    if (!writer.start(width, height, grey, quality, defaultDotsPerInch(), embedProfile && !grey ? srgbProfileBytes() : none,
                      reason))
        return false;
    const int64_t rowBytes = static_cast<int64_t>(width) * (grey ? 1 : 3);
    const int32_t bandRows = rowsPerBand(rowBytes, height);
    const int32_t bands = (height + bandRows - 1) / bandRows;
    const int32_t slotCount = bandSlots() < bands ? bandSlots() : bands;
    const size_t slotBytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(bandRows);
    std::unique_ptr<uint8_t[]> ring(new (std::nothrow) uint8_t[slotBytes * static_cast<size_t>(slotCount)]);
    if (!ring) {
        setReason(reason, "out of memory encoding the image");
        return false;
    }
    auto rowsOf = [&](int32_t band) {
        const int32_t top = band * bandRows;
        return height - top < bandRows ? height - top : bandRows;
    };
    BandPipelineSteps steps;
    steps.serialFirst = false;
    steps.parallel = [&](int32_t band, int32_t slot) {
        return storeEightBitRows(image, isFloat, band * bandRows, rowsOf(band),
                                 ring.get() + slotBytes * static_cast<size_t>(slot), rowBytes);
    };
    GrowString encodeFailure;
    steps.serial = [&](int32_t band, int32_t slot) {
        const uint8_t* base = ring.get() + slotBytes * static_cast<size_t>(slot);
        const int32_t count = rowsOf(band);
        for (int32_t done = 0; done < count; done += kRowsPerRead) {
            const uint8_t* rows[kRowsPerRead];
            const int32_t n = count - done < kRowsPerRead ? count - done : kRowsPerRead;
            for (int32_t r = 0; r < n; ++r) rows[r] = base + static_cast<size_t>(done + r) * static_cast<size_t>(rowBytes);
            if (!writer.writeRows(rows, n, &encodeFailure)) return false;
        }
        return true;
    };
    if (!runBandPipeline(bands, slotCount, steps)) {
        if (reason) *reason = encodeFailure.isEmpty() ? GrowString("cannot encode the image") : encodeFailure;
        return false;
    }
    return writer.finish(encoded, reason);
}

// Carries the metadata into an encoded JPEG or TIFF and writes the file.
bool finishEncodedFile(QByteArray& encoded, FileKind format, int32_t width, int32_t height,
                       const ImageMetadata* metadata, const GrowString& path, GrowString* reason) {
    // Only when there is something to carry: exiv2 rewrites the whole
    // encoded file, which for a large TIFF costs more than the encoding.
    const bool carries =
        metadata && (!metadata->exif.empty() || !metadata->xmpPacket.empty() || !metadata->iptc.empty());
    if (carries && (format == FileKind::Jpeg || format == FileKind::Tiff) &&
        !writeImageMetadata(&encoded, *metadata, width, height)) {
        // Metadata exiv2 cannot write must not cost the picture: the
        // file is saved without it.
        std::printf("could not write the metadata of %s\n", path.c_str());
        std::fflush(stdout);
    }
    return writeFileReplacing(qtPath(path), encoded.constData(), static_cast<size_t>(encoded.size()), reason);
}

// The checks of a save before any sample is touched: the path, the kind of
// file its extension names and the picture's size for that kind.
bool checkSave(const GrowString& path, const ImageBuffer& image, FileKind* format, GrowString* reason) {
    const QString qpath = qtPath(path);
    if (qpath.isEmpty() || qpath.startsWith(QLatin1String(":/"))) {
        setReason(reason, qpath.isEmpty() ? "no file name given" : "cannot write into the program's resources");
        return false;
    }
    *format = writeKindOfExtension(QFileInfo(qpath).suffix().toLower());
    if (*format == FileKind::Unknown) {
        setReason(reason, "unknown image format (use .jpg, .jpeg, .png, .tif, .tiff or .pli)");
        return false;
    }
    if (!image.data) {
        setReason(reason, "there is no image to save");
        return false;
    }
    return outputSizeFits(*format, image.width, image.height, reason);
}

int32_t clampedQuality(int32_t quality) {
    return quality < 1 ? 1 : (quality > 100 ? 100 : quality);
}

}  // namespace

bool DesktopImageLoaderSaver::load8(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile,
                                    GrowString* reason) {
    return load(path, image, applyEmbeddedProfile, false, false, nullptr, reason);
}

bool DesktopImageLoaderSaver::loadFloat(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile,
                                        std::unique_ptr<ImageMetadata>* metadataOut, GrowString* reason) {
    return load(path, image, applyEmbeddedProfile, true, false, metadataOut, reason);
}

bool DesktopImageLoaderSaver::loadFloatKeepingAlpha(const GrowString& path, ImageBuffer* image,
                                                    bool applyEmbeddedProfile,
                                                    std::unique_ptr<ImageMetadata>* metadataOut,
                                                    GrowString* reason) {
    return load(path, image, applyEmbeddedProfile, true, true, metadataOut, reason);
}

bool DesktopImageLoaderSaver::save8(const GrowString& path, const ImageBuffer& image, const SaveOptions& options,
                                    const ImageMetadata* metadata, GrowString* reason) {
    return save(path, image, false, options, metadata, reason);
}

bool DesktopImageLoaderSaver::saveFloat(const GrowString& path, const ImageBuffer& image, const SaveOptions& options,
                                        const ImageMetadata* metadata, GrowString* reason) {
    return save(path, image, true, options, metadata, reason);
}

bool isMisnamedImage(const GrowString& path) {
    const QString qpath = qtPath(path);
    QFile file(qpath);
    // Regular files only: opening a FIFO would wait for a writer.
    if (!QFileInfo(qpath).isFile() || !file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(16);  // the longest signature is the .pli header
    const uint8_t* d = reinterpret_cast<const uint8_t*>(head.constData());
    const size_t n = static_cast<size_t>(head.size());
    return kindOfContent(d, n) != FileKind::Unknown && kindToDecode(qpath, d, n) == FileKind::Unknown;
}

bool DesktopImageLoaderSaver::load(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile,
                                   bool asFloat, bool channelsFromFile,
                                   std::unique_ptr<ImageMetadata>* metadataOut, GrowString* reason) {
    if (metadataOut) metadataOut->reset();
    if (!image) {
        setReason(reason, "no image buffer given");
        return false;
    }
    if (image->channels <= 0 || channelsFromFile) image->channels = 3;  // the file's count is set once decoded
    // On failure the buffer is released so that no earlier picture passes
    // for this file.
    if (image->channels > 4) {
        setReason(reason, "images of more than 4 channels are not supported");
        image->release();
        return false;
    }
    Source source;
    if (!openSource(qtPath(path), &source, reason)) {
        image->release();
        return false;
    }
    if (source.jpeg) {
        // JPEG has no alpha: 3 channels when the file decides.
        ImageMetadata metadata;
        if (!loadJpegInBands(source, path, applyEmbeddedProfile, asFloat, image->channels, metadataOut != nullptr,
                             image, &metadata, reason)) {
            image->release();
            return false;
        }
        if (metadataOut) {
            metadata.width = image->width;
            metadata.height = image->height;
            *metadataOut = std::make_unique<ImageMetadata>(std::move(metadata));
        }
        return true;
    }
    DecodedSource decoded;
    if (!decodeSource(source, path, applyEmbeddedProfile, asFloat, metadataOut != nullptr, &decoded, reason, nullptr)) {
        image->release();
        return false;
    }
    return finishLoad(decoded, channelsFromFile ? 0 : image->channels, asFloat, image, metadataOut, reason);
}

bool DesktopImageLoaderSaver::decode(const GrowString& path, bool applyEmbeddedProfile, bool asFloat,
                                     bool wantMetadata, DecodedSource* out, GrowString* reason) {
    QImage recycled = std::move(out->pixels);  // a picture handed in for reuse, if any
    out->pixels = QImage();
    Source source;
    if (!openSource(qtPath(path), &source, reason)) return false;
    return decodeSource(source, path, applyEmbeddedProfile, asFloat, wantMetadata, out, reason, &recycled);
}

bool DesktopImageLoaderSaver::finishLoad(DecodedSource& source, int32_t channels, bool asFloat, ImageBuffer* image,
                                         std::unique_ptr<ImageMetadata>* metadataOut, GrowString* reason,
                                         bool keepStorage) {
    if (metadataOut) metadataOut->reset();
    if (!image || channels < 0 || channels > 4) {
        setReason(reason, image ? "images of more than 4 channels are not supported" : "no image buffer given");
        if (image) image->release();
        return false;
    }
    if (channels == 0) channels = source.hasAlpha ? 4 : 3;
    if (!keepStorage) image->channels = channels;
    const bool copied = copyToBuffer(source.pixels, source.orientation, channels, asFloat, image, keepStorage);
    if (!copied) {
        setReason(reason, "out of memory for the image");
        return false;
    }
    if (metadataOut) {
        source.metadata.width = image->width;
        source.metadata.height = image->height;
        *metadataOut = std::make_unique<ImageMetadata>(std::move(source.metadata));
    }
    return true;
}

bool DesktopImageLoaderSaver::save(const GrowString& path, const ImageBuffer& image, bool isFloat,
                                   const SaveOptions& options, const ImageMetadata* metadata, GrowString* reason) {
    FileKind format = FileKind::Unknown;
    if (!checkSave(path, image, &format, reason)) return false;
    const int32_t channels = image.channelCount();
    if (format == FileKind::Jpeg && (channels == 1 || channels == 3 || channels == 4)) {
        // Stored as bytes and compressed band by band: no 8-bit copy of
        // the whole picture.
        QByteArray encoded;
        return encodeJpegInBands(image, isFloat, clampedQuality(options.quality), options.embedProfile, &encoded,
                                 reason) &&
               finishEncodedFile(encoded, format, image.width, image.height, metadata, path, reason);
    }
    PreparedSave prepared;
    return prepareSave(path, image, isFloat, options, &prepared, reason) &&
           writePrepared(prepared, metadata, reason);
}

bool DesktopImageLoaderSaver::prepareSave(const GrowString& path, const ImageBuffer& image, bool isFloat,
                                          const SaveOptions& options, PreparedSave* out, GrowString* reason) {
    FileKind format = FileKind::Unknown;
    if (!checkSave(path, image, &format, reason)) return false;

    const bool sixteenBit = options.sixteenBit && (format == FileKind::Png || format == FileKind::Tiff);
    // JPEG has no alpha: it is left out while the samples are stored.
    QImage pixels = imageFromBuffer(image, isFloat, sixteenBit, format == FileKind::Jpeg);
    if (pixels.isNull()) {
        setReason(reason, image.channelCount() > 4 ? "images of more than 4 channels cannot be saved"
                                                   : "out of memory preparing the image");
        return false;
    }
    // An RGB profile does not describe a grey file, so grey files carry none.
    bool grey = pixels.format() == QImage::Format_Grayscale8 || pixels.format() == QImage::Format_Grayscale16;
    if (format == FileKind::Jpeg) {
        if (!grey && pixels.format() != QImage::Format_RGB888 && !convertInStrips(&pixels, QImage::Format_RGB888)) {
            setReason(reason, "out of memory preparing the image");  // JPEG has no alpha
            return false;
        }
    } else if (format != FileKind::Pli) {
        // The profile is attached for Qt's writer to embed.
        if (options.embedProfile && !grey && !attachSrgbProfile(&pixels)) {
            setReason(reason, "cannot attach the sRGB colour profile");
            return false;
        }
    }
    out->path = path;
    out->pixels = std::move(pixels);
    out->kind = format;
    out->quality = clampedQuality(options.quality);
    out->embedProfile = options.embedProfile && !grey;
    return true;
}

bool DesktopImageLoaderSaver::writePrepared(PreparedSave& prepared, const ImageMetadata* metadata,
                                            GrowString* reason) {
    const FileKind format = prepared.kind;
    QImage pixels = std::move(prepared.pixels);
    if (pixels.isNull() || format == FileKind::Unknown) {
        setReason(reason, "there is no image to save");
        return false;
    }
    const int32_t width = pixels.width();
    const int32_t height = pixels.height();
    QByteArray encoded;
    if (format == FileKind::Pli) {
        if (!encodePli(pixels, &encoded)) {
            setReason(reason, "out of memory encoding the image");
            return false;
        }
    } else if (format == FileKind::Jpeg) {
        if (!encodeJpegImage(pixels, prepared.quality, prepared.embedProfile, &encoded, reason)) return false;
    } else {
        QuietCodecMessages quiet;
        QBuffer device(&encoded);
        if (!device.open(QIODevice::WriteOnly)) {
            setReason(reason, "out of memory encoding the image");
            return false;
        }
        QImageWriter writer(&device, format == FileKind::Png ? "png" : "tiff");
        if (format == FileKind::Tiff) writer.setCompression(1);  // LZW, lossless
        if (!writer.write(pixels)) {
            setReason(reason, ("cannot encode the image: " + writer.errorString().toStdString()).c_str());
            return false;
        }
        device.close();
    }
    pixels = QImage();  // the samples are encoded: freed before the file is written
    if (format == FileKind::Pli) return writeFileReplacing(qtPath(prepared.path), encoded.constData(),
                                                           static_cast<size_t>(encoded.size()), reason);
    return finishEncodedFile(encoded, format, width, height, metadata, prepared.path, reason);
}
