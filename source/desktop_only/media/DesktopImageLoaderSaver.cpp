#include "DesktopImageLoaderSaver.h"

#include "ColorProfiles.h"
#include "MediaExtensions.h"
#include "MediaFileIo.h"
#include "MetadataIo.h"
#include "PixelTransfer.h"
#include "PliFile.h"
#include "RawDecoder.h"

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

#include <climits>
#include <cstdio>
#include <cstring>

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

struct QtDecoded {
    QImage pixels;                    // Format_RGBA8888, Format_RGBA64 or Format_RGB32
    int32_t orientation = 1;          // as Qt's reader reports it
    std::vector<uint8_t> iccProfile;  // as Qt's reader found it
    bool hasAlpha = false;            // the decoded image carries alpha
};

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

bool decodeWithQt(const FileBytes& bytes, FileKind kind, QtDecoded* out, GrowString* reason, QImage* recycled) {
    const char* format = qtFormatOf(kind);
    if (!format || bytes.size() > static_cast<size_t>(INT_MAX)) {
        setReason(reason, format ? "the file is too large to decode" : "is not an image this program reads");
        return false;
    }
    if (std::strcmp(format, "jpeg") == 0 && !jpegIsComplete(bytes.data(), bytes.size())) {
        setReason(reason, "the JPEG file is damaged or cut short");
        return false;
    }

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
    if (!withinPixelBudget(size.width(), size.height()) || !fitsInWorkingMemory(size.width(), size.height())) {
        if (size.width() < 1 || size.height() < 1)
            setReason(reason, "the image is damaged or cannot be decoded");
        else
            tooLargeReason(size.width(), size.height(), reason);
        return false;
    }

    // A JPEG is decoded into an image made here, which Qt's reader fills
    // when its size and format are right: its memory is then mapped by all
    // threads at once beforehand instead of page by page inside the serial
    // decoder. An earlier picture of the same size and format handed in
    // for reuse serves instead, its memory mapped already; its colour space
    // is cleared first, so that nothing of the earlier file can pass for
    // this one's.
    QImage image;
    if (std::strcmp(format, "jpeg") == 0 && reader.imageFormat() == QImage::Format_RGB32) {
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
    if (!withinPixelBudget(image.width(), image.height()) || !fitsInWorkingMemory(image.width(), image.height())) {
        tooLargeReason(image.width(), image.height(), reason);
        return false;
    }
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

// The orientation to apply (1..8): the one exiv2 read from the file's
// metadata (EXIF, else XMP; 0 when it found none or could not read the file
// at all), else Qt's reader's own, else 1.
int32_t chooseOrientation(int32_t fromMetadata, int32_t fromDecoder) {
    if (fromMetadata >= 1 && fromMetadata <= 8) return fromMetadata;
    return fromDecoder >= 1 && fromDecoder <= 8 ? fromDecoder : 1;
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
    // Everything is decoded before the caller's buffer is touched; on failure
    // the buffer is released so that no earlier picture passes for this file.
    if (image->channels > 4) {
        setReason(reason, "images of more than 4 channels are not supported");
        image->release();
        return false;
    }
    DecodedSource source;
    if (!decode(path, applyEmbeddedProfile, asFloat, metadataOut != nullptr, &source, reason)) {
        image->release();
        return false;
    }
    return finishLoad(source, channelsFromFile ? 0 : image->channels, asFloat, image, metadataOut, reason);
}

bool DesktopImageLoaderSaver::decode(const GrowString& path, bool applyEmbeddedProfile, bool asFloat,
                                     bool wantMetadata, DecodedSource* out, GrowString* reason) {
    const QString qpath = qtPath(path);
    QImage recycled = std::move(out->pixels);  // a picture handed in for reuse, if any
    out->pixels = QImage();
    FileBytes bytes;
    if (!bytes.read(qpath, reason)) return false;

    const FileKind kind = kindToDecode(qpath, bytes.data(), bytes.size());
    if (kind == FileKind::Unknown) {
        const bool misnamed = kindOfContent(bytes.data(), bytes.size()) != FileKind::Unknown;
        setReason(reason, misnamed ? "its content is another kind of image than its extension names"
                                   : "is not an image this program reads");
        return false;
    }
    QImage pixels;
    ImageMetadata metadata;
    metadata.orientation = 0;  // none until exiv2 reads one
    int32_t orientation = 1;
    bool hasAlpha = false;
    if (kind == FileKind::Pli) {
        if (!decodePli(bytes.data(), bytes.size(), &pixels, reason)) return false;
        hasAlpha = true;  // the file always stores alpha
    } else {
        const bool raw = kind == FileKind::Raw;
        QtDecoded decoded;
        if (raw ? !decodeRaw(bytes.data(), bytes.size(), &pixels, reason) : !decodeWithQt(bytes, kind, &decoded, reason, &recycled))
            return false;
        readImageMetadata(bytes.data(), bytes.size(), wantMetadata, &metadata);
        if (raw) {
            // LibRaw has turned the picture already and delivers sRGB.
            metadata.iccProfile.clear();
        } else {
            pixels = std::move(decoded.pixels);
            hasAlpha = decoded.hasAlpha;
            orientation = chooseOrientation(metadata.orientation, decoded.orientation);
            // A damaged profile counts as none: its colours cannot be
            // trusted. Qt hands over the embedded bytes as they stand, while
            // exiv2 may cut them to the size their header declares, so the
            // bytes Qt found are judged too.
            if (!decoded.iccProfile.empty() && !isSoundProfile(decoded.iccProfile)) {
                metadata.iccProfile.clear();
                decoded.iccProfile.clear();
            }
            if (metadata.iccProfile.empty()) metadata.iccProfile = std::move(decoded.iccProfile);
            metadata.orientation = orientation;
        }
        if (!metadata.iccProfile.empty() && !isSoundProfile(metadata.iccProfile)) metadata.iccProfile.clear();
        if (applyEmbeddedProfile && !metadata.iccProfile.empty()) {
            // The profile conversion works on RGBA samples.
            if (pixels.format() == QImage::Format_RGB32 && !convertInStrips(&pixels, QImage::Format_RGBA8888)) {
                setReason(reason, "out of memory converting the decoded picture");
                return false;
            }
            // Float buffers get the conversion at 16 bits, so that an 8-bit
            // source does not lose levels twice.
            if (!convertToSrgb(&pixels, metadata.iccProfile, asFloat)) {
                std::printf("ignoring the unusable colour profile of %s\n", path.c_str());
                std::fflush(stdout);
            }
        }
    }
    if (metadata.orientation < 1 || metadata.orientation > 8) metadata.orientation = 1;
    out->pixels = std::move(pixels);
    out->orientation = orientation;
    out->hasAlpha = hasAlpha;
    out->metadata = std::move(metadata);
    return true;
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
    PreparedSave prepared;
    return prepareSave(path, image, isFloat, options, &prepared, reason) &&
           writePrepared(prepared, metadata, reason);
}

bool DesktopImageLoaderSaver::prepareSave(const GrowString& path, const ImageBuffer& image, bool isFloat,
                                          const SaveOptions& options, PreparedSave* out, GrowString* reason) {
    const QString qpath = qtPath(path);
    if (qpath.isEmpty() || qpath.startsWith(QLatin1String(":/"))) {
        setReason(reason, qpath.isEmpty() ? "no file name given" : "cannot write into the program's resources");
        return false;
    }
    const FileKind format = writeKindOfExtension(QFileInfo(qpath).suffix().toLower());
    if (format == FileKind::Unknown) {
        setReason(reason, "unknown image format (use .jpg, .jpeg, .png, .tif, .tiff or .pli)");
        return false;
    }
    if (!withinPixelBudget(image.width, image.height)) {
        setReason(reason, image.data ? "the image is too large to save" : "there is no image to save");
        return false;
    }

    const bool sixteenBit = options.sixteenBit && (format == FileKind::Png || format == FileKind::Tiff);
    // JPEG has no alpha: it is left out while the samples are stored.
    QImage pixels = imageFromBuffer(image, isFloat, sixteenBit, format == FileKind::Jpeg);
    if (pixels.isNull()) {
        setReason(reason, image.channelCount() > 4 ? "images of more than 4 channels cannot be saved"
                                                   : "out of memory preparing the image");
        return false;
    }
    if (format != FileKind::Pli) {
        if (format == FileKind::Jpeg && pixels.format() != QImage::Format_Grayscale8 &&
            pixels.format() != QImage::Format_RGB888 && !convertInStrips(&pixels, QImage::Format_RGB888)) {
            setReason(reason, "out of memory preparing the image");  // JPEG has no alpha
            return false;
        }
        // The profile is attached for Qt's writer to embed; an RGB profile
        // does not describe a grey file, so grey files carry none.
        const bool grey = pixels.format() == QImage::Format_Grayscale8 || pixels.format() == QImage::Format_Grayscale16;
        if (options.embedProfile && !grey && !attachSrgbProfile(&pixels)) {
            setReason(reason, "cannot attach the sRGB colour profile");
            return false;
        }
    }
    out->path = path;
    out->pixels = std::move(pixels);
    out->kind = format;
    out->quality = options.quality < 1 ? 1 : (options.quality > 100 ? 100 : options.quality);
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
    QByteArray encoded;
    if (format == FileKind::Pli) {
        if (!encodePli(pixels, &encoded)) {
            setReason(reason, "out of memory encoding the image");
            return false;
        }
    } else {
        const char* qtFormat = format == FileKind::Jpeg ? "jpeg" : (format == FileKind::Png ? "png" : "tiff");
        QBuffer device(&encoded);
        if (!device.open(QIODevice::WriteOnly)) {
            setReason(reason, "out of memory encoding the image");
            return false;
        }
        QImageWriter writer(&device, qtFormat);
        if (format == FileKind::Jpeg) writer.setQuality(prepared.quality);
        if (format == FileKind::Tiff) writer.setCompression(1);  // LZW, lossless
        if (!writer.write(pixels)) {
            setReason(reason, ("cannot encode the image: " + writer.errorString().toStdString()).c_str());
            return false;
        }
        device.close();

        // Only when there is something to carry: exiv2 rewrites the whole
        // encoded file, which for a large TIFF costs more than the encoding.
        const bool carries = metadata && (!metadata->exif.empty() || !metadata->xmpPacket.empty() ||
                                          !metadata->iptc.empty());
        if (carries && (format == FileKind::Jpeg || format == FileKind::Tiff) &&
            !writeImageMetadata(&encoded, *metadata, pixels.width(), pixels.height())) {
            // Metadata exiv2 cannot write must not cost the picture: the
            // file is saved without it.
            std::printf("could not write the metadata of %s\n", prepared.path.c_str());
            std::fflush(stdout);
        }
    }
    pixels = QImage();  // the samples are encoded: freed before the file is written
    return writeFileReplacing(qtPath(prepared.path), encoded.constData(), static_cast<size_t>(encoded.size()), reason);
}
