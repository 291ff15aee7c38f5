#pragma once
// DesktopImageLoaderSaver: the image loader and saver of the desktop program.
//
// Reading: JPEG straight through libjpeg-turbo in every layout it decodes
// (JpegCodec.h); TIFF (8 and 16 bits) straight through libtiff
// (TiffCodec.h); PNG and Photoshop documents through Qt's image readers and
// plug-ins, but for the PNG layout Qt's reader misreads (16-bit RGB with a
// transparent colour), which goes straight through libpng (PngCodec.h);
// camera raw through LibRaw; the .pli intermediate file. The
// extension names the kind of file (jpg/jpeg/jpe, png, tif/tiff, psd, pli)
// and the content must be of that kind: a PNG named .jpg fails. Raw extensions go to LibRaw
// whatever the first bytes (several raw formats are TIFF containers); ":/"
// resources and paths without one of these extensions are read as their
// content says. Every photo comes up upright: the EXIF orientation (else the
// XMP one) is read with exiv2, the file's own EXIF block read without it (a
// JPEG's EXIF segment, a TIFF's first directory, a PNG's eXIf chunk)
// serving when exiv2 finds none or cannot read the file, both by the one
// rule of MetadataIo.h (any integer type whose first value, in the entry or
// at its offset, is 1..8; anything else upright),
// and applied once, while the samples are copied; Qt's own automatic
// turning stays off. Embedded ICC profiles (exiv2's reading, else the
// decoder's) are converted to sRGB with lcms2 when asked, when they are of
// the colour model the file's samples are stored in (setLoaderNoteHandler
// tells of the others, which are ignored). The metadata names the bits a
// sample the file held (ImageMetadata::bitsPerSample: 16 for camera raw and
// 16-bit files, 8 for JPEG and .pli). A JPEG loaded
// whole (load8, loadFloat) is decoded band by band while the bands before
// are converted into the buffer on the other threads.
//
// Safety: the first bytes are read before the rest, and a file whose
// content is no image read here, or of another kind than its extension
// names, or whose header claims a picture over the pixel budget or too
// large for the memory (fitsInWorkingMemory), is refused before it is read
// whole (a file of more than 2 GB for Qt's readers and TIFF too); the
// decoder checks the size again before it decodes; a JPEG, PNG or TIFF cut
// short (which Qt's reader and libjpeg would fill with grey) fails (a TIFF
// also when a strip or tile fails to decode or claims more than the file
// holds), and so does a JPEG whose
// scan data runs out before its frame is filled (a cut file with its end
// marker appended; a frame header claiming more than the data can hold,
// refused before the picture is allocated); only regular files are
// read (a FIFO or a device is refused without waiting); empty files,
// folders and missing files fail; the codec libraries print nothing
// (QuietCodecMessages), the failure's reason says what went wrong; the
// decoded picture is converted serially, in strips, so that an allocation
// that fails while a picture is decoded fails the load instead of stalling
// a thread pool; no error ends the program. Every failure can say why.
//
// Writing: .jpg/.jpeg (quality 1..100) straight through libjpeg-turbo, with
// the bytes Qt's writer gave; .png and .tif/.tiff (8 bits, or 16 with
// SaveOptions::sixteenBit from float samples, alpha and grey as in 8 bits)
// through Qt's writers; .pli. A picture larger than its kind of file holds
// (outputSizeFits, at 16 bits too) is refused with the reason. The sRGB profile made by lcms2 is embedded when asked
// (not into grey files); the source's EXIF (orientation 1, pixel dimensions
// of the saved image), XMP and IPTC are carried into JPEG and TIFF files.
// The file is written under a temporary name beside the target and renamed
// over it when complete.
//
// The object has no state: one instance may serve several threads.

#include <QByteArray>
#include <QImage>

#include "MediaExtensions.h"
#include "foundation/GrowString.h"
#include "framework/ImageLoaderSaver.h"

// A source file decoded and not yet copied into an ImageBuffer: the
// decoder's own samples (8 or 16 bits, the colour profile already converted
// when asked; a JPEG as 32-bit words), the orientation still to apply and
// the file's metadata. The batch worker holds its look-ahead photo this
// way: a quarter of the float image it becomes.
struct DecodedSource {
    QImage pixels;            // Format_RGBA8888, Format_RGBA64 or Format_RGB32
    int32_t orientation = 1;  // to apply while the samples are copied
    bool hasAlpha = false;    // the decoded picture carries alpha
    ImageMetadata metadata;
};

// A picture made ready for its file by prepareSave: the samples as the
// encoder takes them (the profile attached for Qt's writers), the kind of
// file, and for JPEG its quality and whether the profile goes in. Encoding and writing it (writePrepared) touch nothing else, so
// that they may run beside the next render.
struct PreparedSave {
    GrowString path;
    QImage pixels;
    ImageFileKind kind = ImageFileKind::Unknown;
    int32_t quality = 90;       // JPEG, 1..100
    bool embedProfile = false;  // JPEG: the sRGB profile goes into the file
};

class DesktopImageLoaderSaver : public ImageLoaderSaver {
public:
    DesktopImageLoaderSaver() = default;
    ~DesktopImageLoaderSaver() override = default;

    bool load8(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile,
               GrowString* reason = nullptr) override;
    bool loadFloat(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile,
                   std::unique_ptr<ImageMetadata>* metadataOut, GrowString* reason = nullptr) override;
    bool save8(const GrowString& path, const ImageBuffer& image, const SaveOptions& options,
               const ImageMetadata* metadata, GrowString* reason = nullptr) override;
    bool saveFloat(const GrowString& path, const ImageBuffer& image, const SaveOptions& options,
                   const ImageMetadata* metadata, GrowString* reason = nullptr) override;

    // loadFloat with the channel count the file has instead of the buffer's:
    // 4 (RGB and alpha) when the decoded image carries alpha, as an alpha
    // channel or as a palette with transparent entries, and for .pli files;
    // otherwise 3. Decided from the decoded picture, so the file is read and
    // decoded once.
    bool loadFloatKeepingAlpha(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile,
                               std::unique_ptr<ImageMetadata>* metadataOut, GrowString* reason = nullptr);

    // The two halves of a load, for a caller that decodes one file while
    // it works on another. decode reads and decodes the file (everything a
    // load does before the samples are copied); asFloat chooses the
    // precision of the profile conversion as for loadFloat. finishLoad then
    // copies the samples into the buffer, turned upright, with `channels`
    // samples a pixel (0: as the file has, as loadFloatKeepingAlpha) and
    // hands over the metadata. Together they give the same buffer and
    // metadata as load8/loadFloat/loadFloatKeepingAlpha. With keepStorage
    // the buffer's own storage is filled in place when it holds samples of
    // the asked kind and fits (see copyToBuffer), as a batch reuses one
    // picture's memory for the next. finishLoad leaves the decoded picture
    // in `source`; a DecodedSource handed to decode with a picture in it
    // offers that picture's memory to the decoder (a JPEG of the same size
    // is decoded into it).
    bool decode(const GrowString& path, bool applyEmbeddedProfile, bool asFloat, bool wantMetadata,
                DecodedSource* out, GrowString* reason = nullptr);
    bool finishLoad(DecodedSource& source, int32_t channels, bool asFloat, ImageBuffer* image,
                    std::unique_ptr<ImageMetadata>* metadataOut, GrowString* reason = nullptr,
                    bool keepStorage = false);

    // The two halves of a save: prepareSave checks the path and stores the
    // samples (every check and conversion save8/saveFloat make before
    // encoding), writePrepared encodes them, carries the metadata and
    // writes the file under a temporary name renamed over the target.
    // Together they write the bytes saveFloat/save8 write. A PreparedSave
    // handed to prepareSave with a picture in it offers that picture's
    // memory for the samples (a batch reuses the last one's); writePrepared
    // leaves the encoded picture in `prepared` for that.
    bool prepareSave(const GrowString& path, const ImageBuffer& image, bool isFloat, const SaveOptions& options,
                     PreparedSave* out, GrowString* reason = nullptr);
    bool writePrepared(PreparedSave& prepared, const ImageMetadata* metadata, GrowString* reason = nullptr);
    // writePrepared in its two steps, for a caller that encodes several
    // pictures at once and writes their files in order: the encoded file,
    // then the metadata carried into it and the file written.
    bool encodePrepared(const PreparedSave& prepared, QByteArray* encoded, GrowString* reason = nullptr);
    bool writeEncoded(const PreparedSave& prepared, QByteArray& encoded, const ImageMetadata* metadata,
                      GrowString* reason = nullptr);

private:
    bool load(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile, bool asFloat,
              bool channelsFromFile, std::unique_ptr<ImageMetadata>* metadataOut, GrowString* reason);
    bool save(const GrowString& path, const ImageBuffer& image, bool isFloat, const SaveOptions& options,
              const ImageMetadata* metadata, GrowString* reason);
};

// The loader's notes on a file it opens, though not quite as stored: an
// embedded colour profile it does not use (damaged, of another colour space
// or another colour model than the pixels: a grey profile on colour pixels
// and the reverse), the photo then opening as if it had none. By default
// each note is a line on standard output ("ignoring the unusable colour
// profile of FILE"); a program with lines of its own installs a handler,
// called with the file and the note on the thread that loads. nullptr
// brings the default back.
using LoaderNoteHandler = void (*)(const GrowString& path, const char* note);
void setLoaderNoteHandler(LoaderNoteHandler handler);

// True when the file starts as one kind of image the loader reads (JPEG,
// PNG, TIFF, Photoshop, .pli) while its extension names another, which the
// loader refuses. False for unreadable files, resources, raw and unknown
// extensions. (A failed load says so in its reason too.)
bool isMisnamedImage(const GrowString& path);
