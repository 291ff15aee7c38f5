#pragma once
// Whole-file reading and replacing writes for the image loader and saver,
// what a file's first bytes say, the limits a picture must keep, and quiet
// codecs.
//
// Every decoder works from the file's bytes in memory: the same code then
// serves files on disk and ":/" resources, and a file is read exactly once.
// The first bytes are read before the rest, so that a file whose header
// already rules it out (no image, or a picture too large) is refused
// without reading it whole.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ColorProfiles.h"  // PixelColours
#include "MediaExtensions.h"
#include "framework/ImageLoaderSaver.h"  // kMaxImagePixels, the program's pixel budget

class GrowString;
class QString;

// True when both sides are at least 1 and width x height is within the
// pixel budget (kMaxImagePixels).
bool withinPixelBudget(int64_t width, int64_t height);

// Bytes per pixel a picture costs while it is opened and rendered: its
// float image (four channels at most) and the two further copies of that
// size a render or a save makes (the decoded picture, a destination, the
// cache of a view).
constexpr int64_t kWorkingBytesPerPixel = 3 * 4 * int64_t(sizeof(float));

// The memory a picture may take: half of the machine's physical memory, or
// half of the process's address-space or data limit when one is lower.
int64_t workingMemoryBudget();
// Makes workingMemoryBudget() at most `bytes` (0: as the machine gives it),
// so that a test can meet a size beyond the budget on any machine.
void limitWorkingMemoryForTesting(int64_t bytes);

// True when a width x height picture fits comfortably in memory:
// bytesPerPixel (kWorkingBytesPerPixel unless said) for each pixel within
// workingMemoryBudget().
bool fitsInWorkingMemory(int64_t width, int64_t height, int64_t bytesPerPixel = kWorkingBytesPerPixel);

// Whether a save writes 16 bits a sample: asked for (SaveOptions::sixteenBit)
// and into a PNG or TIFF file, the kinds that hold them. (The saver stores
// 16 bits from float samples only.)
bool writesSixteenBits(ImageFileKind kind, const SaveOptions& options);

// The stored picture of a 16-bit file before it is encoded: four samples of
// two bytes a pixel, in Qt's 16-bit formats (grey pictures take less).
constexpr int64_t kSixteenBitStoredBytesPerPixel = 8;

// Bytes per pixel an output costs while it is rendered and saved: the
// working allowance, and for a 16-bit file its stored picture on top.
constexpr int64_t outputWorkingBytesPerPixel(bool sixteenBit) {
    return kWorkingBytesPerPixel + (sixteenBit ? kSixteenBitStoredBytesPerPixel : 0);
}

// The most a 16-bit picture may take before it is encoded: the encoded file
// is held in one of Qt 5's byte arrays, which hold less than 2 GB, and
// 16-bit samples compress little, so a larger picture could fail late, in
// the encoder after its render.
constexpr int64_t kSixteenBitMaxStoredBytes = 2147483647;  // 2^31 - 1
// The widest 16-bit picture Qt 5 makes: a row's bits are counted in an int
// (64 bits a pixel, and 31 more for the row's alignment).
constexpr int64_t kSixteenBitMaxWidth = (2147483647 - 31) / 64;

// The largest sides the saver writes: JPEG's own limit (libjpeg's
// JPEG_MAX_DIMENSION) and the largest PNG that libpng reads by default.
constexpr int64_t kJpegMaxSide = 65500;
constexpr int64_t kPngMaxSide = 1000000;

// Whether a width x height picture can be written as a file of the kind:
// within the pixel budget, and for JPEG at most 65,500 pixels a side (the
// most the format holds), for PNG at most 1,000,000 (the most PNG readers
// accept); a 16-bit file (sixteenBit, for PNG and TIFF) at most
// kSixteenBitMaxWidth pixels wide and kSixteenBitMaxStoredBytes stored.
// False with the reason ("JPEG holds at most 65,500 pixels a side") when it
// cannot. Kinds that are not written are never refused here.
bool outputSizeFits(ImageFileKind kind, int64_t width, int64_t height, GrowString* reason = nullptr,
                    bool sixteenBit = false);

// Writes a failure's reason into `reason` when one was asked for; with an
// error number, ": " and the system's text for it follow.
void setReason(GrowString* reason, const char* text, int error = 0);

// A path of the core (bytes in the file system's encoding) as a Qt path.
QString qtPath(const GrowString& path);

// The content of one file, read in two steps: the first bytes (open),
// then the rest (readRest); read does both.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    ~FileBytes();

    // Opens the file or ":/" resource and reads its first `headBytes`
    // bytes (all of it when it is shorter; a resource is read whole). Fails
    // for a missing or unreadable file, a folder and anything else that is
    // not a regular file (a FIFO or a device is refused without waiting for
    // it), an empty file, a file larger than a size_t can hold twice, a
    // short read and when memory runs out; reason, when given, says which.
    bool open(const QString& path, size_t headBytes, GrowString* reason = nullptr);
    // Reads the rest of an opened file.
    bool readRest(GrowString* reason = nullptr);
    // open and readRest.
    bool read(const QString& path, GrowString* reason = nullptr);

    // The size of the whole file, known once it is open.
    uint64_t fileSize() const { return fileSize_; }
    // Reads `size` bytes at `offset` of an opened file, from the bytes
    // already in memory or from the file. False beyond the end or when the
    // system fails.
    bool readAt(uint64_t offset, void* out, size_t size) const;

    // The bytes read so far: the first ones after open, all after readRest.
    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }

private:
    void close();

    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_ = 0;
    uint64_t fileSize_ = 0;
    int fd_ = -1;  // open between open and readRest
};

// ---- What a file's first bytes say

// The unsigned number of `bytes` bytes (1..8) at p, in little- or
// big-endian byte order (as a TIFF or EXIF header names it).
uint64_t unsignedAt(const uint8_t* p, int bytes, bool littleEndian);

// The kind of image the first bytes announce (JPEG, PNG, TIFF, Photoshop,
// .pli). Raw files have no common signature (several are TIFF containers)
// and are never recognised here.
ImageFileKind kindOfContent(const uint8_t* data, size_t size);

// The width and height the header of an opened file of the kind claims:
// from its first bytes, or where they point (a TIFF's first directory, a
// JPEG's frame header after the segments before it); false when it cannot
// tell, the decoder judging then.
bool claimedImageSize(const FileBytes& file, ImageFileKind kind, int64_t* width, int64_t* height);

// The colour model of the samples an opened file of the kind stores, from
// its header: a JPEG frame's component count, a PNG's colour type, a TIFF's
// photometric interpretation, a Photoshop document's colour mode. kUnknown
// when the header does not tell (and for .pli and raw files).
PixelColours storedColours(const FileBytes& file, ImageFileKind kind);
// The colour model of a TIFF's photometric interpretation (-1: none
// given), which storedColours and the TIFF reader both tell.
PixelColours tiffPhotometricColours(int64_t photometric);

// Whether the entropy-coded data of a JPEG can fill its frame, judged
// from the headers and the file's size before anything is decoded. A
// Huffman-coded scan that codes the DC coefficients (every sequential scan,
// the first scan of a progressive file) spends at least one bit on each
// 8 x 8 block of the components it covers, so a file whose bytes after the
// first scan's header hold fewer bits than that scan has blocks ends before
// its frame is filled: a damaged file (a frame header claiming a picture
// far larger than the data), which the decoders would fill with grey at
// the cost of the whole picture's memory. True whenever the headers leave
// it open (arithmetic coding, which can spend less than a bit on a block;
// a first scan of AC coefficients only; headers that cannot be walked), the
// decoder judging then.
bool jpegDataCanFillFrame(const FileBytes& file);
// Whether a PNG stream reaches its IEND chunk, each chunk whole: libpng
// stops at the first chunk that runs past the end of the data and prints
// why, so a cut-off file is refused with a reason of its own.
bool pngIsComplete(const uint8_t* data, size_t size);
// Whether a PNG embeds an ICC profile (an iCCP chunk before its image
// data). Qt's reader also makes a colour space of the gAMA and cHRM chunks,
// which is no profile the file embeds.
bool pngEmbedsProfile(const uint8_t* data, size_t size);

// While an object of this class lives, nothing reaches standard error:
// the codec libraries under Qt's image I/O and LibRaw print their own
// remarks there (libpng's "Read Error"), and Qt's warnings about a file
// go there too, while the loader reports one reason of its own. Objects
// may live on several threads at once: standard error comes back when the
// last one goes. Lines that other threads write to standard error meanwhile
// are lost with them, so the program's own lines for standard error go
// through printErrorLine, which reaches the real one in any case.
class QuietCodecMessages {
public:
    QuietCodecMessages();
    ~QuietCodecMessages();
    QuietCodecMessages(const QuietCodecMessages&) = delete;
    QuietCodecMessages& operator=(const QuietCodecMessages&) = delete;
};

// Writes the text and a line feed to the program's standard error, also
// while QuietCodecMessages objects keep the codecs' remarks away from it.
void printErrorLine(const std::string& text);

// A file written under a temporary name beside its target ("<name>.XXXXXX")
// and renamed over the target by commit() once everything is on disk; a
// file never committed is removed when the object goes. Written with the
// system's calls, so that every failure keeps the system's own reason
// ("No space left on device", "File too large").
class ReplacingFile {
public:
    explicit ReplacingFile(const QString& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool open(GrowString* reason);
    bool write(const void* data, size_t size, GrowString* reason);
    bool commit(GrowString* reason);

private:
    std::string target_;     // in the file system's encoding
    std::string temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

// Writes the bytes to a temporary file in the target's folder and renames it
// over the target once everything is on disk. On any failure the target is
// left as it was and the temporary file is removed. Resource paths fail.
// reason, when given, receives what failed ("cannot write the file: No
// space left on device").
bool writeFileReplacing(const QString& path, const char* data, size_t size, GrowString* reason = nullptr);
