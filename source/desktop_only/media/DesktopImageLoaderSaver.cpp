#include "DesktopImageLoaderSaver.h"

#include "ColorProfiles.h"
#include "JpegCodec.h"
#include "MediaExtensions.h"
#include "MediaFileIo.h"
#include "MetadataIo.h"
#include "PixelTransfer.h"
#include "PliFile.h"
#include "PngCodec.h"
#include "RawDecoder.h"
#include "TiffCodec.h"

#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"

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

// The bits a colour sample of a picture Qt decoded holds: 16 or 10 for its
// deep formats, 8 for every other (palettes and fewer bits included).
int32_t sampleBitsOf(QImage::Format format) {
    switch (format) {
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
        case QImage::Format_Grayscale16:
            return 16;
        case QImage::Format_BGR30:
        case QImage::Format_A2BGR30_Premultiplied:
        case QImage::Format_RGB30:
        case QImage::Format_A2RGB30_Premultiplied:
            return 10;
        default:
            return 8;
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

// A source file opened for decoding: its bytes, its kind, and for a JPEG
// its reader with the header read.
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
    if (claimedImageSize(bytes, kind, &width, &height) && width >= 1 && height >= 1 &&
        (!withinPixelBudget(width, height) || !fitsInWorkingMemory(width, height))) {
        tooLargeReason(width, height, reason);
        return false;
    }
    // Judged before the picture is allocated by either JPEG decoder: a
    // frame its data cannot fill is refused for the bytes it has.
    if (kind == FileKind::Jpeg && !jpegDataCanFillFrame(bytes)) {
        setReason(reason, "the JPEG file is damaged or cut short");
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
        if (!source->jpeg->readHeader(reason)) return false;
    }
    return true;
}

// ---- Decoding -----------------------------------------------------------------

// What a decoder found beside the pixels.
struct Decoded {
    QImage pixels;                    // Format_RGBA8888, Format_RGBA64 or Format_RGB32
    std::vector<uint8_t> iccProfile;  // as the decoder found it
    bool profileEmbedded = true;      // the file holds the profile's bytes (Qt's PNG reader also makes
                                      // one of the gAMA and cHRM chunks)
    bool hasAlpha = false;            // the decoded image carries alpha
    int32_t bitsPerSample = 8;        // of the picture as the file stores it
    PixelColours colours = PixelColours::kUnknown;  // of the file's samples, before decoding
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
bool decodeWithQt(const FileBytes& bytes, FileKind kind, Decoded* out, GrowString* reason) {
    const char* format = qtFormatOf(kind);
    if (!format || bytes.size() > static_cast<size_t>(INT_MAX)) {
        setReason(reason, format ? "the file is too large to decode" : "is not an image this program reads");
        return false;
    }
    if (kind == FileKind::Png) {
        if (!pngIsComplete(bytes.data(), bytes.size())) {
            setReason(reason, "the PNG file is damaged or cut short");
            return false;
        }
        // The layouts Qt's reader misreads go through libpng (PngCodec.h),
        // with the colour space Qt's reader makes of the same chunks.
        PngReader png(bytes.data(), bytes.size());
        if (png.takesOver()) {
            if (refusedForSize(png.width(), png.height(), reason) || !png.decode(&out->pixels, reason)) return false;
            out->colours = storedColours(bytes, kind);
            out->hasAlpha = true;  // from the tRNS colour
            out->bitsPerSample = 16;
            const QByteArray icc = png.colourSpace().iccProfile();
            out->iccProfile.assign(icc.constData(), icc.constData() + icc.size());
            out->profileEmbedded = pngEmbedsProfile(bytes.data(), bytes.size());
            return true;
        }
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

    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        setReason(reason, "the image is damaged or cannot be decoded (or memory ran out)");
        return false;
    }
    if (refusedForSize(image.width(), image.height(), reason)) return false;
    // The file's own colour model: Qt's reader turns grey with alpha (and
    // CMYK) into colour. Where the header does not tell, the format Qt
    // decoded to does for grey.
    out->colours = storedColours(bytes, kind);
    if (out->colours == PixelColours::kUnknown &&
        (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16))
        out->colours = PixelColours::kGrey;
    // Asked of the decoded image, not of the header: a palette image with
    // transparent entries reports an opaque palette format beforehand.
    out->hasAlpha = image.hasAlphaChannel();
    out->bitsPerSample = sampleBitsOf(image.format());
    const QByteArray icc = image.colorSpace().iccProfile();
    out->iccProfile.assign(icc.constData(), icc.constData() + icc.size());
    out->profileEmbedded = kind != FileKind::Png || pngEmbedsProfile(bytes.data(), bytes.size());

    // 32-bit RGB (as Qt gives opaque colour pictures) is read by
    // copyToBuffer as it stands: no second full-size copy just to reorder
    // the bytes.
    const QImage::Format target = out->bitsPerSample > 8 ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    if (image.format() != target && image.format() != QImage::Format_RGB32 && !convertInStrips(&image, target)) {
        setReason(reason, "out of memory converting the decoded picture");
        return false;
    }
    out->pixels = std::move(image);
    return true;
}

// The colour model of a JPEG's samples: every layout decodes to 32-bit
// words, so the decoder tells.
PixelColours jpegColours(const JpegReader& jpeg) {
    if (jpeg.isCmyk()) return PixelColours::kOther;
    return jpeg.isGrey() ? PixelColours::kGrey : PixelColours::kRgb;
}

// A JPEG decoded whole (into the picture handed in for reuse when it fits),
// with what its markers carry.
bool decodeJpegWhole(JpegReader& jpeg, Decoded* out, GrowString* reason, QImage* recycled) {
    if (refusedForSize(jpeg.width(), jpeg.height(), reason) || !decodeJpegPicture(jpeg, recycled, &out->pixels, reason))
        return false;
    out->iccProfile = jpeg.iccProfile();
    out->hasAlpha = false;
    out->colours = jpegColours(jpeg);
    return true;
}

// A TIFF, decoded by our reader over libtiff with what its first directory
// carries.
bool decodeTiffWhole(const FileBytes& bytes, Decoded* out, GrowString* reason, QImage* recycled) {
    TiffReader tiff(bytes.data(), bytes.size());
    if (!tiff.readHeader(reason) || refusedForSize(tiff.width(), tiff.height(), reason) ||
        !tiff.decode(recycled, &out->pixels, reason))
        return false;
    out->iccProfile = tiff.iccProfile();
    out->hasAlpha = tiff.hasAlpha();
    out->bitsPerSample = tiff.bitsPerSample();
    out->colours = tiff.colours();
    return true;
}

// The orientation to apply (1..8): the one exiv2 read from the file's
// metadata (EXIF, else XMP; 0 when it found none or could not read the file
// at all), else the one of the file's own EXIF block read without exiv2
// (by the same rule), else 1.
int32_t chooseOrientation(const FileBytes& bytes, FileKind kind, int32_t fromMetadata) {
    if (fromMetadata >= 1 && fromMetadata <= 8) return fromMetadata;
    const int32_t fromFile = fileOrientation(bytes.data(), bytes.size(), kind);
    return fromFile >= 1 && fromFile <= 8 ? fromFile : 1;
}

// What became of the colour profile a file carries.
struct SettledProfile {
    bool damaged = false;  // an embedded profile was left out as damaged
    bool embedded = true;  // the profile kept is one the file embeds
};

// The metadata of a decoded file (not raw, not .pli): exiv2's reading, the
// orientation to apply and the profile to trust. A damaged profile counts
// as none: its colours cannot be trusted. The decoder hands over the
// embedded bytes as they stand, while exiv2 may cut them to the size their
// header declares, so the bytes the decoder found are judged too.
SettledProfile settleMetadata(const FileBytes& bytes, FileKind kind, bool wantMetadata,
                              std::vector<uint8_t> decoderProfile, bool decoderProfileEmbedded,
                              ImageMetadata* metadata) {
    metadata->orientation = 0;  // none until exiv2 reads one
    readImageMetadata(bytes.data(), bytes.size(), wantMetadata, metadata);
    metadata->orientation = chooseOrientation(bytes, kind, metadata->orientation);
    // Each profile is judged once: the decoder's when it has one, exiv2's
    // when that is the one kept (exiv2 reads only embedded profiles).
    SettledProfile settled;
    if (!decoderProfile.empty() && !isSoundProfile(decoderProfile)) {
        settled.damaged = decoderProfileEmbedded || !metadata->iccProfile.empty();
        metadata->iccProfile.clear();
    } else if (metadata->iccProfile.empty()) {
        metadata->iccProfile = std::move(decoderProfile);
        settled.embedded = decoderProfileEmbedded;
    } else if (!isSoundProfile(metadata->iccProfile)) {
        metadata->iccProfile.clear();
        settled.damaged = true;
    }
    return settled;
}

std::atomic<LoaderNoteHandler> gNoteHandler{nullptr};

// A profile that is not used (damaged, of another colour space or another
// colour model than the pixels, or failing to convert): the photo opens as
// if it had none, which is no failure, and a note says so.
void reportUnusableProfile(const GrowString& path) {
    const char* const note = "ignoring the unusable colour profile";
    if (const LoaderNoteHandler handler = gNoteHandler.load()) {
        handler(path, note);
        return;
    }
    std::printf("%s of %s\n", note, path.c_str());
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
    int32_t bitsPerSample = 8;  // a .pli file stores 8 bits a sample
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
        // LibRaw has turned the picture already and delivers sRGB, at 16 bits.
        metadata.iccProfile.clear();
        bitsPerSample = 16;
    } else {
        Decoded decoded;
        const bool ok = source.jpeg                    ? decodeJpegWhole(*source.jpeg, &decoded, reason, recycled)
                        : source.kind == FileKind::Tiff ? decodeTiffWhole(bytes, &decoded, reason, recycled)
                                                        : decodeWithQt(bytes, source.kind, &decoded, reason);
        if (!ok) return false;
        const SettledProfile settled = settleMetadata(bytes, source.kind, wantMetadata, std::move(decoded.iccProfile),
                                                      decoded.profileEmbedded, &metadata);
        pixels = std::move(decoded.pixels);
        hasAlpha = decoded.hasAlpha;
        bitsPerSample = decoded.bitsPerSample;  // before a profile conversion widens 8-bit samples
        orientation = metadata.orientation;
        if (applyEmbeddedProfile && settled.damaged) reportUnusableProfile(path);
        if (applyEmbeddedProfile && !metadata.iccProfile.empty()) {
            SrgbConversion conversion;
            const SrgbConversion::Outcome outcome = conversion.prepare(metadata.iccProfile, decoded.colours);
            if (outcome == SrgbConversion::kUnusable) {
                // Opened as if it had none; a colour space the decoder made
                // of other chunks is no profile the file embeds.
                if (settled.embedded) reportUnusableProfile(path);
            } else {
                // The profile conversion works on RGBA samples.
                if (pixels.format() == QImage::Format_RGB32 && !convertInStrips(&pixels, QImage::Format_RGBA8888)) {
                    setReason(reason, "out of memory converting the decoded picture");
                    return false;
                }
                // Float buffers get the conversion at 16 bits, so that an
                // 8-bit source does not lose levels twice.
                if (outcome == SrgbConversion::kConverts && !conversion.apply(&pixels, asFloat))
                    reportUnusableProfile(path);
            }
        }
    }
    if (metadata.orientation < 1 || metadata.orientation > 8) metadata.orientation = 1;
    metadata.bitsPerSample = bitsPerSample;
    out->pixels = std::move(pixels);
    out->orientation = orientation;
    out->hasAlpha = hasAlpha;
    out->metadata = std::move(metadata);
    return true;
}

// A JPEG, loaded into the buffer in bands
// (decodeJpegIntoBuffer) with the metadata and profile decode settles: the
// buffer and metadata decode and finishLoad give.
bool loadJpegInBands(Source& source, const GrowString& path, bool applyEmbeddedProfile, bool asFloat,
                     int32_t channels, bool wantMetadata, ImageBuffer* image, ImageMetadata* metadata,
                     GrowString* reason) {
    JpegReader& jpeg = *source.jpeg;
    if (refusedForSize(jpeg.width(), jpeg.height(), reason)) return false;
    const SettledProfile settled =
        settleMetadata(source.bytes, source.kind, wantMetadata, jpeg.iccProfile(), true, metadata);
    metadata->bitsPerSample = 8;  // the reader takes 8-bit JPEGs only
    SrgbConversion conversion;
    bool convert = false;
    if (applyEmbeddedProfile && settled.damaged) reportUnusableProfile(path);
    if (applyEmbeddedProfile && !metadata->iccProfile.empty()) {
        const SrgbConversion::Outcome outcome = conversion.prepare(metadata->iccProfile, jpegColours(jpeg));
        convert = outcome == SrgbConversion::kConverts;
        if (outcome == SrgbConversion::kUnusable) reportUnusableProfile(path);
    }
    if (!allocateUpright(jpeg.width(), jpeg.height(), metadata->orientation, channels, asFloat, image)) {
        setReason(reason, "out of memory for the image");
        return false;
    }
    if (decodeJpegIntoBuffer(jpeg, metadata->orientation, convert ? &conversion : nullptr, asFloat, image, reason))
        return true;
    image->release();
    return false;
}

// The profile a JPEG carries: the sRGB profile when asked, none for grey.
const std::vector<uint8_t>& jpegProfile(bool embed) {
    static const std::vector<uint8_t> none;
    return embed ? srgbProfileBytes() : none;
}

// ---- Encoding -----------------------------------------------------------------

// Carries the metadata into an encoded JPEG or TIFF (files of other kinds
// carry none) and writes the file.
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
// file its extension names and the picture's size for that kind (and for 16
// bits a sample when they are asked for).
bool checkSave(const GrowString& path, const ImageBuffer& image, bool sixteenBit, FileKind* format,
               GrowString* reason) {
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
    return outputSizeFits(*format, image.width, image.height, reason, sixteenBit);
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

void setLoaderNoteHandler(LoaderNoteHandler handler) {
    gNoteHandler.store(handler);
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
    if (!checkSave(path, image, isFloat && options.sixteenBit, &format, reason)) return false;
    const int32_t channels = image.channelCount();
    if (format == FileKind::Jpeg && (channels == 1 || channels == 3 || channels == 4)) {
        // Stored as bytes and compressed band by band: no 8-bit copy of
        // the whole picture.
        QByteArray encoded;
        return encodeJpegBuffer(image, isFloat, clampedQuality(options.quality),
                                jpegProfile(options.embedProfile && channels != 1), &encoded, reason) &&
               finishEncodedFile(encoded, format, image.width, image.height, metadata, path, reason);
    }
    PreparedSave prepared;
    return prepareSave(path, image, isFloat, options, &prepared, reason) &&
           writePrepared(prepared, metadata, reason);
}

bool DesktopImageLoaderSaver::prepareSave(const GrowString& path, const ImageBuffer& image, bool isFloat,
                                          const SaveOptions& options, PreparedSave* out, GrowString* reason) {
    FileKind format = FileKind::Unknown;
    if (!checkSave(path, image, isFloat && options.sixteenBit, &format, reason)) return false;

    const bool sixteenBit = isFloat && writesSixteenBits(format, options);
    QImage recycled = std::move(out->pixels);  // a picture handed in for reuse, if any
    out->pixels = QImage();
    // JPEG has no alpha: it is left out while the samples are stored.
    QImage pixels = imageFromBuffer(image, isFloat, sixteenBit, format == FileKind::Jpeg, &recycled);
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
    QByteArray encoded;
    return encodePrepared(prepared, &encoded, reason) && writeEncoded(prepared, encoded, metadata, reason);
}

bool DesktopImageLoaderSaver::encodePrepared(const PreparedSave& prepared, QByteArray* out, GrowString* reason) {
    const FileKind format = prepared.kind;
    const QImage& pixels = prepared.pixels;
    if (pixels.isNull() || format == FileKind::Unknown || !out) {
        setReason(reason, "there is no image to save");
        return false;
    }
    QByteArray& encoded = *out;
    encoded.clear();
    if (format == FileKind::Pli) {
        if (!encodePli(pixels, &encoded)) {
            setReason(reason, "out of memory encoding the image");
            return false;
        }
    } else if (format == FileKind::Jpeg) {
        if (!encodeJpegPicture(pixels, prepared.quality, jpegProfile(prepared.embedProfile), &encoded, reason))
            return false;
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
    return true;
}

bool DesktopImageLoaderSaver::writeEncoded(const PreparedSave& prepared, QByteArray& encoded,
                                           const ImageMetadata* metadata, GrowString* reason) {
    const FileKind format = prepared.kind;
    if (prepared.pixels.isNull() || format == FileKind::Unknown) {
        setReason(reason, "there is no image to save");
        return false;
    }
    return finishEncodedFile(encoded, format, prepared.pixels.width(), prepared.pixels.height(), metadata,
                             prepared.path, reason);
}
