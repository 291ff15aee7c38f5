#include "MetadataIo.h"

#include "MediaFileIo.h"  // unsignedAt

#include <QByteArray>

#include <exiv2/exiv2.hpp>

#include <cctype>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string>

namespace {

// exiv2's XMP toolkit must be initialised once before threads use it; its
// warnings about odd files would only be noise on the console, failures are
// reported through the results.
void initExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Tags of the first image directory that describe how the pixels of that
// particular file are stored. They are wrong for any other file and are
// never carried.
bool isPixelLayoutTag(const std::string& tagName) {
    static const char* const kLayoutTags[] = {
        "NewSubfileType", "SubfileType", "ImageWidth", "ImageLength", "BitsPerSample", "Compression",
        "PhotometricInterpretation", "FillOrder", "StripOffsets", "SamplesPerPixel", "RowsPerStrip",
        "StripByteCounts", "PlanarConfiguration", "Predictor", "TileWidth", "TileLength", "TileOffsets",
        "TileByteCounts", "SubIFDs", "ExtraSamples", "SampleFormat", "JPEGInterchangeFormat",
        "JPEGInterchangeFormatLength", "JPEGTables", "InterColorProfile", "DNGVersion", "DNGBackwardVersion",
    };
    for (const char* name : kLayoutTags) {
        if (tagName == name) return true;
    }
    return false;
}

// Removes the pixel layout of the source, its thumbnail (which would show
// the unedited picture) and the sub-images of raw files.
void stripSourceLayout(Exiv2::ExifData* exif) {
    for (Exiv2::ExifData::iterator it = exif->begin(); it != exif->end();) {
        const std::string group = it->groupName();
        bool drop = group == "Thumbnail" || group == "PanasonicRaw" || startsWith(group, "SubImage") ||
                    startsWith(group, "SubThumb") ||
                    (group.size() > 5 && startsWith(group, "Image") && std::isdigit(static_cast<unsigned char>(group[5])));
        if (!drop && group == "Image") drop = isPixelLayoutTag(it->tagName());
        it = drop ? exif->erase(it) : std::next(it);
    }
}

// The width in bytes of an integer type an orientation may be stored as, in
// TIFF's numbering; 0 for the other types (IFD and IFD8 offsets, RATIONAL,
// ASCII, UNDEFINED, FLOAT...). The 8-byte integers exist in big TIFF only.
int integerWidth(uint32_t type, bool bigTiff) {
    switch (type) {
        case 1:  // BYTE
        case 6:  // SBYTE
            return 1;
        case 3:  // SHORT
        case 8:  // SSHORT
            return 2;
        case 4:  // LONG
        case 9:  // SLONG
            return 4;
        case 16:  // LONG8
        case 17:  // SLONG8
            return bigTiff ? 8 : 0;
        default:
            return 0;
    }
}

bool isSignedType(uint32_t type) {
    return type == 6 || type == 8 || type == 9 || type == 17;
}

// A value as its type reads it, from its `width` bytes read as an unsigned
// number: a signed type's negative values stay negative. An unsigned 8-byte
// value past INT64_MAX turns negative, no orientation either way.
int64_t valueOf(uint64_t raw, int width, bool isSigned) {
    if (!isSigned || width >= 8) return static_cast<int64_t>(raw);
    const uint64_t sign = 1ull << (8 * width - 1);
    return static_cast<int64_t>(raw ^ sign) - static_cast<int64_t>(sign);
}

// The EXIF orientation, else the XMP one; 0 when neither is a valid 1..8.
// exiv2 keeps the entry's type as the file stores it, in TIFF's numbering,
// and has already read values that lie at an offset (none when the offset
// points outside the block or the values run past its end: the count is
// then 0). exiv2 0.27 reads classic TIFF only and knows no width for the
// 8-byte types, which the rule refuses there. It reads a signed byte as
// unsigned, which is taken back here.
int32_t orientationOf(Exiv2::Image& image) {
    const Exiv2::ExifData& exif = image.exifData();
    const Exiv2::ExifData::const_iterator e = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (e != exif.end() && e->count() > 0) {
        const uint32_t type = static_cast<uint32_t>(e->typeId());
        int64_t value = e->toLong(0);
        if (type == Exiv2::signedByte) value = valueOf(static_cast<uint64_t>(value) & 0xff, 1, true);
        const int32_t orientation = orientationOfEntry(type, static_cast<uint64_t>(e->count()), value, false);
        if (orientation != 0) return orientation;
    }
    const Exiv2::XmpData& xmp = image.xmpData();
    const Exiv2::XmpData::const_iterator x = xmp.findKey(Exiv2::XmpKey("Xmp.tiff.Orientation"));
    if (x != xmp.end() && x->count() > 0) {
        const long value = x->toLong();
        if (value >= 1 && value <= 8) return static_cast<int32_t>(value);
    }
    return 0;
}

void setExistingXmp(Exiv2::XmpData* xmp, const char* key, const std::string& value) {
    const Exiv2::XmpData::iterator it = xmp->findKey(Exiv2::XmpKey(key));
    if (it != xmp->end()) it->setValue(value);
}

// Carried EXIF merged over the file's own (which a TIFF needs for its pixel
// layout), describing the saved pixels: upright, width x height.
void carryExif(Exiv2::Image& image, const std::vector<uint8_t>& block, int32_t width, int32_t height) {
    Exiv2::ExifData carried;
    Exiv2::ExifParser::decode(carried, block.data(), static_cast<uint32_t>(block.size()));
    stripSourceLayout(&carried);
    if (carried.empty()) return;
    for (const Exiv2::Exifdatum& own : image.exifData()) {
        if (carried.findKey(Exiv2::ExifKey(own.key())) == carried.end()) carried.add(own);
    }
    carried["Exif.Image.Orientation"] = static_cast<uint16_t>(1);
    carried["Exif.Photo.PixelXDimension"] = static_cast<uint32_t>(width);
    carried["Exif.Photo.PixelYDimension"] = static_cast<uint32_t>(height);
    image.setExifData(carried);
}

void carryXmp(Exiv2::Image& image, const std::string& packet, int32_t width, int32_t height) {
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, packet) != 0 || xmp.empty()) return;
    setExistingXmp(&xmp, "Xmp.tiff.Orientation", "1");
    setExistingXmp(&xmp, "Xmp.tiff.ImageWidth", std::to_string(width));
    setExistingXmp(&xmp, "Xmp.tiff.ImageLength", std::to_string(height));
    setExistingXmp(&xmp, "Xmp.exif.PixelXDimension", std::to_string(width));
    setExistingXmp(&xmp, "Xmp.exif.PixelYDimension", std::to_string(height));
    image.setXmpData(xmp);
}

void carryIptc(Exiv2::Image& image, const std::vector<uint8_t>& block) {
    Exiv2::IptcData iptc;
    if (Exiv2::IptcParser::decode(iptc, block.data(), static_cast<uint32_t>(block.size())) != 0) return;
    if (!iptc.empty()) image.setIptcData(iptc);
}

}  // namespace

int32_t orientationOfEntry(uint32_t type, uint64_t count, int64_t value, bool bigTiff) {
    if (integerWidth(type, bigTiff) == 0 || count < 1) return 0;
    return value >= 1 && value <= 8 ? static_cast<int32_t>(value) : 0;
}

int32_t tiffOrientation(const uint8_t* tiff, size_t size) {
    if (!tiff || size < 8) return 0;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I') little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M') little = false;
    else return 0;
    const auto number = [tiff, little](uint64_t at, int bytes) { return unsignedAt(tiff + at, bytes, little); };
    const uint64_t version = number(2, 2);
    if (version != 42 && (version != 43 || size < 16)) return 0;
    const bool big = version == 43;
    const uint64_t directory = big ? number(8, 8) : number(4, 4);
    const uint64_t countBytes = big ? 8 : 2;
    const uint64_t entryBytes = big ? 20 : 12;
    const uint64_t fieldBytes = big ? 8 : 4;  // an entry's value field
    if (directory > size || size - directory < countBytes) return 0;
    const uint64_t entries = number(directory, static_cast<int>(countBytes));
    for (uint64_t i = 0; i < entries && i < 4096; ++i) {
        const uint64_t at = directory + countBytes + i * entryBytes;
        if (at > size || size - at < entryBytes) break;
        if (number(at, 2) != 0x0112) continue;
        const uint32_t type = static_cast<uint32_t>(number(at + 2, 2));
        const uint64_t count = big ? number(at + 4, 8) : number(at + 4, 4);
        const int width = integerWidth(type, big);
        if (width == 0 || count < 1) return 0;
        // The values lie in the entry's field when they all fit there, else
        // at the offset the field holds (from the start of the header),
        // which is never taken for a value. They must all lie inside the
        // block, as exiv2 requires too (it reads none of them otherwise).
        uint64_t valueAt = at + 4 + (big ? 8 : 4);
        if (count > fieldBytes / static_cast<uint64_t>(width)) {
            valueAt = number(valueAt, static_cast<int>(fieldBytes));
            if (valueAt >= size || count > (size - valueAt) / static_cast<uint64_t>(width)) return 0;
        }
        return orientationOfEntry(type, count, valueOf(number(valueAt, width), width, isSignedType(type)), big);
    }
    return 0;
}

int32_t exifOrientation(const uint8_t* segment, size_t size) {
    constexpr size_t kExifTag = 6;  // "Exif\0\0"
    if (!segment || size < kExifTag || std::memcmp(segment, "Exif\0\0", kExifTag) != 0) return 0;
    return tiffOrientation(segment + kExifTag, size - kExifTag);
}

int32_t fileOrientation(const uint8_t* data, size_t size, ImageFileKind kind) {
    if (!data) return 0;
    if (kind == ImageFileKind::Tiff) return tiffOrientation(data, size);
    if (kind == ImageFileKind::Jpeg) {
        // The segments before the first scan, to the first EXIF segment.
        size_t at = 2;
        while (at + 4 <= size && data[at] == 0xFF) {
            const uint8_t marker = data[at + 1];
            if (marker == 0xFF) {  // a fill byte
                ++at;
                continue;
            }
            if (marker == 0xDA || marker == 0xD9) break;
            const size_t length = static_cast<size_t>(data[at + 2]) << 8 | data[at + 3];
            if (length < 2 || length > size - at - 2) break;
            if (marker == 0xE1 && length - 2 >= 6 && std::memcmp(data + at + 4, "Exif\0\0", 6) == 0)
                return exifOrientation(data + at + 4, length - 2);
            at += 2 + length;
        }
        return 0;
    }
    if (kind == ImageFileKind::Png) {
        // The chunks, to an eXIf chunk (written before or after the image
        // data).
        size_t at = 8;
        while (at + 12 <= size) {
            const size_t length = static_cast<size_t>(unsignedAt(data + at, 4, false));
            if (length > size - at - 12) break;
            const uint8_t* type = data + at + 4;
            if (std::memcmp(type, "IEND", 4) == 0) break;
            if (std::memcmp(type, "eXIf", 4) == 0) return tiffOrientation(data + at + 8, length);
            at += 12 + length;
        }
    }
    return 0;
}

bool readImageMetadata(const uint8_t* data, size_t size, bool withBlocks, ImageMetadata* out) {
    if (!data || size == 0 || !out) return false;
    initExiv2();
    try {
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(data), static_cast<long>(size));
        if (!image.get()) return false;
        image->readMetadata();

        ImageMetadata found;
        found.orientation = orientationOf(*image);
        if (image->iccProfileDefined()) {
            const Exiv2::DataBuf* icc = image->iccProfile();
            if (icc->pData_ && icc->size_ > 0) found.iccProfile.assign(icc->pData_, icc->pData_ + icc->size_);
        }
        if (withBlocks) {
            Exiv2::ExifData exif = image->exifData();
            stripSourceLayout(&exif);
            if (!exif.empty()) {
                Exiv2::Blob blob;
                Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
                found.exif.assign(blob.begin(), blob.end());
            }
            found.xmpPacket = image->xmpPacket();
            if (found.xmpPacket.empty() && !image->xmpData().empty()) {
                if (Exiv2::XmpParser::encode(found.xmpPacket, image->xmpData()) != 0) found.xmpPacket.clear();
            }
            if (!image->iptcData().empty()) {
                Exiv2::DataBuf iptc = Exiv2::IptcParser::encode(image->iptcData());
                if (iptc.pData_ && iptc.size_ > 0) found.iptc.assign(iptc.pData_, iptc.pData_ + iptc.size_);
            }
        }
        *out = std::move(found);
        return true;
    } catch (...) {
        // exiv2 throws on files it cannot parse: they simply carry no metadata.
        return false;
    }
}

bool writeImageMetadata(QByteArray* file, const ImageMetadata& carried, int32_t width, int32_t height) {
    if (!file || file->isEmpty()) return false;
    initExiv2();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(file->constData()), static_cast<long>(file->size()));
        if (!image.get()) return false;
        image->readMetadata();
        if (!carried.exif.empty()) carryExif(*image, carried.exif, width, height);
        if (!carried.xmpPacket.empty()) carryXmp(*image, carried.xmpPacket, width, height);
        if (!carried.iptc.empty()) carryIptc(*image, carried.iptc);
        image->writeMetadata();

        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0) return false;
        const long total = io.size();
        if (total <= 0 || total > static_cast<long>(INT32_MAX)) {
            io.close();
            return false;
        }
        QByteArray rewritten(static_cast<int>(total), Qt::Uninitialized);
        io.seek(0, Exiv2::BasicIo::beg);
        const long got = io.read(reinterpret_cast<Exiv2::byte*>(rewritten.data()), total);
        io.close();
        if (got != total) return false;
        *file = std::move(rewritten);
        return true;
    } catch (...) {
        return false;
    }
}
