#include "JpegCodec.h"

#include "ColorProfiles.h"
#include "MediaFileIo.h"
#include "PixelTransfer.h"

#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "platform/ParallelFor.h"

#include <QByteArray>
#include <QImage>
#include <QtGlobal>

#include <atomic>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// libjpeg's error manager with the jump back to the call that failed and
// the last message, formatted but never printed. libjpeg reaches it through
// the `base` member, which must come first.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool cutShort;  // the entropy-coded data ran out before the frame was filled
    int endsMet;    // how often the file's physical end was met
};

ErrorManager* errorsOf(j_common_ptr info) {
    return reinterpret_cast<ErrorManager*>(info->err);
}

[[noreturn]] void leaveOnError(j_common_ptr info) {
    ErrorManager* errors = errorsOf(info);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// The warning libjpeg gives when its Huffman decoder needs bits where a
// marker stands (the end marker libjpeg puts in place of missing data among
// them): pixels of the scan are missing, and libjpeg would fill them with
// what zero bits decode to. A valid file never gives it: the decoder only
// looks ahead past the last code it needs, which is no warning.
constexpr int kDataDueAtMarker = JWRN_HIT_MARKER;

// Whether the file's physical end, met now (libjpeg then puts an end marker
// in place of the missing bytes), cuts pixels off:
//  - a second end: the end marker put in place the first time was read as
//    the data of a segment, so a segment was cut;
//  - an arithmetic-coded scan that still has rows to decode: that decoder
//    reads a byte only when it needs one, so it needed data past the end.
//    (A valid arithmetic file carries its end marker, which the decoder
//    meets instead; one that lacks it and whose data end early cannot be
//    told from a cut download.)
// A Huffman decoder fetches bytes ahead of the codes it decodes, so for it
// the end alone tells nothing: whether bits were due there is told by
// kDataDueAtMarker. An end met while only the end marker or the next scan's
// header was sought cuts nothing: the file loads with every scan it has,
// and the scans' coverage (checked at the end) decides for a file that ends
// between scans.
bool endCutsPixels(j_common_ptr info, int endsMet) {
    if (endsMet > 1) return true;
    if (!info->is_decompressor) return false;
    const auto* d = reinterpret_cast<j_decompress_ptr>(info);
    return d->arith_code && d->input_iMCU_row < d->total_iMCU_rows;
}

// Warnings (level -1) are counted; one telling that pixels were lost to
// data that ran out ends the call at once (nothing past it can be decoded),
// the others (data libjpeg steps over, such as extraneous bytes before a
// marker, which cameras write, and the end of a file that lacks only its
// end marker) are let pass. Trace messages (levels 0 and up) are dropped.
void noteMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    ErrorManager* errors = errorsOf(info);
    (*info->err->format_message)(info, errors->message);
    ++info->err->num_warnings;
    const int code = info->err->msg_code;
    if (code == JWRN_JPEG_EOF) ++errors->endsMet;
    if (code == kDataDueAtMarker || (code == JWRN_JPEG_EOF && endCutsPixels(info, errors->endsMet))) {
        errors->cutShort = true;
        std::longjmp(errors->jump, 1);
    }
}

void keepMessage(j_common_ptr info) {
    (*info->err->format_message)(info, errorsOf(info)->message);
}

void installErrorManager(ErrorManager* errors) {
    jpeg_std_error(&errors->base);
    errors->base.error_exit = leaveOnError;
    errors->base.emit_message = noteMessage;
    errors->base.output_message = keepMessage;
    errors->message[0] = '\0';
    errors->cutShort = false;
    errors->endsMet = 0;
}

// The reason of a call that libjpeg left: the data ran out, or its error
// (one met after the file's end, where libjpeg read its stand-in end marker
// as data, is the cut's doing).
void failedBecause(GrowString* reason, const char* what, const ErrorManager& errors) {
    if (errors.cutShort || errors.endsMet > 0) {
        setReason(reason, "the JPEG file is damaged or cut short");
        return;
    }
    std::string line(what);
    if (errors.message[0] != '\0') {
        line += ": ";
        line += errors.message;
    }
    setReason(reason, line.c_str());
}

// Rows handed to libjpeg in one call.
constexpr JDIMENSION kRowsPerCall = 16;

// Hands libjpeg `count` rows held from `first` on, bytesPerLine apart, at
// most kRowsPerCall a call, through pass(rows, n) (jpeg_read_scanlines or
// jpeg_write_scanlines), which gives the rows it took. True when it took
// them all; with the whole file in memory it always does.
template <class Pass>
bool passRows(uint8_t* first, size_t bytesPerLine, int32_t count, const Pass& pass) {
    const JDIMENSION wanted = count > 0 ? static_cast<JDIMENSION>(count) : 0;
    JDIMENSION done = 0;
    while (done < wanted) {
        JSAMPROW rows[kRowsPerCall];
        const JDIMENSION n = wanted - done < kRowsPerCall ? wanted - done : kRowsPerCall;
        for (JDIMENSION r = 0; r < n; ++r) rows[r] = first + static_cast<size_t>(done + r) * bytesPerLine;
        const JDIMENSION took = pass(rows, n);
        if (took == 0) return false;
        done += took;
    }
    return true;
}

// Decoded pixels as the 32-bit words 0xffRRGGBB in the machine's byte order.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kWordLayout = JCS_EXT_BGRA;
#else
constexpr J_COLOR_SPACE kWordLayout = JCS_EXT_ARGB;
#endif

// The text of a libjpeg message, as this libjpeg formats it.
std::string warningText(int code) {
    jpeg_error_mgr errors;
    jpeg_std_error(&errors);
    jpeg_common_struct info;
    std::memset(&info, 0, sizeof info);
    info.err = &errors;
    errors.msg_code = code;
    char formatted[JMSG_LENGTH_MAX];
    (*errors.format_message)(&info, formatted);
    return formatted;
}

}  // namespace

// ---- Reading ----------------------------------------------------------------

namespace {

// Which components the scans coded, noted as libjpeg reads their headers.
// libjpeg calls the progress monitor before each row of MCUs it consumes in
// a file of several scans (all of them read by jpeg_start_decompress); the
// first scan's header is noted when readHeader has read it. The scans'
// headers are public fields of the decompressor.
struct ScanWatch {
    jpeg_progress_mgr base;  // first: libjpeg's pointer to it is ours
    int32_t lastScan = 0;
    uint32_t covered = 0;  // the frame components a scan coded (a DC scan, in a progressive frame)
};

void noteScan(j_decompress_ptr info) {
    ScanWatch& w = *reinterpret_cast<ScanWatch*>(info->progress);
    if (info->comps_in_scan < 1 || info->comps_in_scan > MAX_COMPS_IN_SCAN ||
        info->input_scan_number == w.lastScan)
        return;
    w.lastScan = info->input_scan_number;
    if (!info->progressive_mode || info->Ss == 0)
        for (int i = 0; i < info->comps_in_scan; ++i)
            if (info->cur_comp_info[i]->component_index < 32)
                w.covered |= 1u << info->cur_comp_info[i]->component_index;
}

void watchScans(j_common_ptr info) {
    noteScan(reinterpret_cast<j_decompress_ptr>(info));
}

// Decoded CMYK samples (4 bytes a pixel) turned in place into the words
// 0xffRRGGBB, as Qt's reader turns them: inverted CMYK scaled by black.
void cmykToWords(uint8_t* row, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x) {
        uint8_t* p = row + 4 * static_cast<size_t>(x);
        const uint32_t k = p[3];
        const uint32_t word = 0xff000000u | (k * p[0] / 255) << 16 | (k * p[1] / 255) << 8 | (k * p[2] / 255);
        std::memcpy(p, &word, 4);
    }
}

}  // namespace

struct JpegReader::State {
    jpeg_decompress_struct info;
    ErrorManager errors;
    ScanWatch scans;
    bool created = false;
    bool cmyk = false;  // decoded as CMYK, turned into words row by row
    JOCTET* icc = nullptr;  // from jpeg_read_icc_profile, malloc'd
    unsigned int iccLength = 0;
};

JpegReader::JpegReader(const uint8_t* data, size_t size) : state_(std::make_unique<State>()) {
    State& s = *state_;
    std::memset(&s.info, 0, sizeof s.info);
    installErrorManager(&s.errors);
    s.info.err = &s.errors.base;
    s.scans.base.progress_monitor = watchScans;
    if (!data || size == 0) return;
    if (setjmp(s.errors.jump) != 0) return;  // out of memory: readHeader gives false
    jpeg_create_decompress(&s.info);
    s.created = true;
    s.info.progress = &s.scans.base;
    jpeg_mem_src(&s.info, data, static_cast<unsigned long>(size));
}

JpegReader::~JpegReader() {
    if (state_->created) jpeg_destroy_decompress(&state_->info);
    std::free(state_->icc);
}

bool JpegReader::readHeader(GrowString* reason) {
    State& s = *state_;
    if (!s.created || s.info.src == nullptr) {
        setReason(reason, "out of memory reading the JPEG file");
        return false;
    }
    if (setjmp(s.errors.jump) != 0) {
        if (s.errors.base.msg_code == JERR_BAD_PRECISION)
            setReason(reason, "JPEG files of 12-bit samples are not supported");
        else
            failedBecause(reason, "the image is damaged or cannot be decoded", s.errors);
        return false;
    }
    jpeg_save_markers(&s.info, JPEG_APP0 + 2, 0xFFFF);  // ICC profile
    if (jpeg_read_header(&s.info, TRUE) != JPEG_HEADER_OK) {
        setReason(reason, "the JPEG file holds no image");
        return false;
    }
    const J_COLOR_SPACE space = s.info.jpeg_color_space;
    const int components = s.info.num_components;
    const bool colour = (space == JCS_YCbCr || space == JCS_RGB) && components == 3;
    const bool grey = space == JCS_GRAYSCALE && components == 1;
    s.cmyk = (space == JCS_CMYK || space == JCS_YCCK) && components == 4;
    if (!(colour || grey || s.cmyk)) {
        setReason(reason, ("JPEG files of " + std::to_string(components) +
                           " colour components of this kind are not supported").c_str());
        return false;
    }
    if (s.info.data_precision != 8) {
        setReason(reason, "JPEG files of 12-bit samples are not supported");
        return false;
    }
    if (s.info.image_width < 1 || s.info.image_height < 1 || s.info.image_width > kJpegMaxSide ||
        s.info.image_height > kJpegMaxSide) {
        setReason(reason, "the image is damaged or cannot be decoded");
        return false;
    }
    noteScan(&s.info);  // the first scan's header is read
    if (!jpeg_read_icc_profile(&s.info, &s.icc, &s.iccLength)) s.iccLength = 0;

    // Out of libjpeg: the profile its markers carry.
    if (s.icc && s.iccLength > 0) icc_.assign(s.icc, s.icc + s.iccLength);
    std::free(s.icc);
    s.icc = nullptr;
    return true;
}

int32_t JpegReader::width() const {
    return static_cast<int32_t>(state_->info.image_width);
}

int32_t JpegReader::height() const {
    return static_cast<int32_t>(state_->info.image_height);
}

bool JpegReader::isGrey() const {
    return state_->info.jpeg_color_space == JCS_GRAYSCALE;
}

bool JpegReader::isCmyk() const {
    return state_->cmyk;
}

bool JpegReader::start(GrowString* reason) {
    State& s = *state_;
    if (setjmp(s.errors.jump) != 0) {
        failedBecause(reason, "the image is damaged or cannot be decoded", s.errors);
        return false;
    }
    // The settings of Qt's reader, so that the samples are the ones it gave.
    s.info.out_color_space = s.cmyk ? JCS_CMYK : kWordLayout;
    s.info.dct_method = JDCT_ISLOW;
    s.info.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&s.info);  // a file of several scans is read whole here
    return true;
}

bool JpegReader::readRows(uint8_t* first, size_t bytesPerLine, int32_t count, GrowString* reason) {
    State& s = *state_;
    if (setjmp(s.errors.jump) != 0) {
        failedBecause(reason, "the image is damaged or cannot be decoded", s.errors);
        return false;
    }
    const bool all = passRows(first, bytesPerLine, count, [&s](JSAMPARRAY rows, JDIMENSION n) {
        const JDIMENSION took = jpeg_read_scanlines(&s.info, rows, n);
        if (s.cmyk)
            for (JDIMENSION r = 0; r < took; ++r) cmykToWords(rows[r], s.info.output_width);
        return took;
    });
    if (!all) {
        setReason(reason, "the image is damaged or cannot be decoded");
        return false;
    }
    return true;
}

bool JpegReader::finish(GrowString* reason) {
    State& s = *state_;
    if (setjmp(s.errors.jump) != 0) {
        failedBecause(reason, "the image is damaged or cannot be decoded", s.errors);
        return false;
    }
    jpeg_finish_decompress(&s.info);
    const int components = s.info.num_components;
    const uint32_t all = components >= 32 ? UINT32_MAX : (1u << components) - 1;
    if ((s.scans.covered & all) != all) {
        setReason(reason, "the JPEG file is damaged or cut short");
        return false;
    }
    return true;
}

bool jpegWarningSaysDataRanOut(const std::string& text) {
    // The texts of those warnings, formatted as this libjpeg formats them.
    static const std::string texts[] = {warningText(kDataDueAtMarker), warningText(JWRN_JPEG_EOF)};
    for (const std::string& ranOut : texts)
        if (text == ranOut) return true;
    return false;
}

// ---- Writing ----------------------------------------------------------------

namespace {

// The compressed file, built in a byte array that doubles when full.
struct ByteArrayDestination {
    jpeg_destination_mgr base;  // first: libjpeg's pointer to it is ours
    QByteArray* bytes;
    qsizetype initial;
};

void startOutput(j_compress_ptr info) {
    auto* d = reinterpret_cast<ByteArrayDestination*>(info->dest);
    bool grown = true;
    try {
        d->bytes->resize(static_cast<int>(d->initial));
    } catch (...) {
        grown = false;
    }
    if (!grown) ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    d->base.next_output_byte = reinterpret_cast<JOCTET*>(d->bytes->data());
    d->base.free_in_buffer = static_cast<size_t>(d->bytes->size());
}

boolean growOutput(j_compress_ptr info) {
    auto* d = reinterpret_cast<ByteArrayDestination*>(info->dest);
    const qsizetype used = d->bytes->size();  // libjpeg asks only once it is all used
    const qsizetype room = used < INT_MAX / 2 ? used * 2 : INT_MAX;
    bool grown = room > used;
    if (grown) {
        try {
            d->bytes->resize(static_cast<int>(room));
        } catch (...) {
            grown = false;
        }
    }
    if (!grown) ERREXIT1(info, JERR_OUT_OF_MEMORY, 1);
    d->base.next_output_byte = reinterpret_cast<JOCTET*>(d->bytes->data()) + used;
    d->base.free_in_buffer = static_cast<size_t>(d->bytes->size() - used);
    return TRUE;
}

void endOutput(j_compress_ptr info) {
    auto* d = reinterpret_cast<ByteArrayDestination*>(info->dest);
    d->bytes->resize(static_cast<int>(d->bytes->size() - static_cast<qsizetype>(d->base.free_in_buffer)));
}

}  // namespace

struct JpegWriter::State {
    jpeg_compress_struct info;
    ErrorManager errors;
    ByteArrayDestination destination;
    QByteArray bytes;
    bool created = false;
};

JpegWriter::JpegWriter() : state_(std::make_unique<State>()) {
    State& s = *state_;
    std::memset(&s.info, 0, sizeof s.info);
    installErrorManager(&s.errors);
    s.info.err = &s.errors.base;
    std::memset(&s.destination, 0, sizeof s.destination);
    s.destination.base.init_destination = startOutput;
    s.destination.base.empty_output_buffer = growOutput;
    s.destination.base.term_destination = endOutput;
    s.destination.bytes = &s.bytes;
}

JpegWriter::~JpegWriter() {
    if (state_->created) jpeg_destroy_compress(&state_->info);
}

bool JpegWriter::start(int32_t width, int32_t height, bool grey, int32_t quality, int32_t dotsPerInch,
                       const std::vector<uint8_t>& icc, GrowString* reason) {
    State& s = *state_;
    if (s.created) {
        setReason(reason, "cannot encode the image");
        return false;
    }
    if (!outputSizeFits(ImageFileKind::Jpeg, width, height, reason)) return false;
    // A first guess at the file's size: an eighth of the samples (a photo
    // at quality 90 needs about that); the buffer doubles when it is short.
    const int64_t guess = static_cast<int64_t>(width) * height * (grey ? 1 : 3) / 8;
    s.destination.initial = static_cast<qsizetype>(guess < (int64_t(1) << 16) ? (int64_t(1) << 16)
                                                   : (guess > (int64_t(1) << 28) ? (int64_t(1) << 28) : guess));
    if (setjmp(s.errors.jump) != 0) {
        failedBecause(reason, "cannot encode the image", s.errors);
        return false;
    }
    jpeg_create_compress(&s.info);
    s.created = true;
    s.info.dest = &s.destination.base;
    s.info.image_width = static_cast<JDIMENSION>(width);
    s.info.image_height = static_cast<JDIMENSION>(height);
    s.info.input_components = grey ? 1 : 3;
    s.info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&s.info);
    s.info.density_unit = 1;  // dots per inch
    const int32_t dpi = dotsPerInch < 1 ? 1 : (dotsPerInch > 65535 ? 65535 : dotsPerInch);
    s.info.X_density = static_cast<UINT16>(dpi);
    s.info.Y_density = static_cast<UINT16>(dpi);
    jpeg_set_quality(&s.info, quality < 1 ? 1 : (quality > 100 ? 100 : quality), TRUE);
    jpeg_start_compress(&s.info, TRUE);
    if (!icc.empty() && icc.size() <= UINT_MAX)
        jpeg_write_icc_profile(&s.info, icc.data(), static_cast<unsigned int>(icc.size()));
    return true;
}

bool JpegWriter::writeRows(const uint8_t* first, size_t bytesPerLine, int32_t count, GrowString* reason) {
    State& s = *state_;
    if (!s.created) return false;
    if (setjmp(s.errors.jump) != 0) {
        failedBecause(reason, "cannot encode the image", s.errors);
        return false;
    }
    // libjpeg takes the rows it compresses as non-const pointers; it only reads them.
    if (!passRows(const_cast<uint8_t*>(first), bytesPerLine, count,
                  [&s](JSAMPARRAY rows, JDIMENSION n) { return jpeg_write_scanlines(&s.info, rows, n); })) {
        setReason(reason, "cannot encode the image");
        return false;
    }
    return true;
}

bool JpegWriter::finish(QByteArray* out, GrowString* reason) {
    State& s = *state_;
    if (!s.created) return false;
    if (setjmp(s.errors.jump) != 0) {
        failedBecause(reason, "cannot encode the image", s.errors);
        return false;
    }
    jpeg_finish_compress(&s.info);
    *out = std::move(s.bytes);
    s.bytes = QByteArray();
    return true;
}

// ---- Whole pictures and buffers ------------------------------------------------

namespace {


// Bytes of decoded or stored rows in one band of the pipelines: small
// enough for the cache, large enough that a band is worth a task.
constexpr int64_t kBandBytes = int64_t(512) << 10;

// The bands of a picture of `height` rows of `rowBytes` each, and their
// ring of buffers: enough that every thread has one to convert while the
// codec fills or empties others.
struct Bands {
    int32_t rows = 0;   // per band (the last may have fewer)
    int32_t count = 0;
    int32_t slotCount = 0;
    size_t slotBytes = 0;
    int32_t height = 0;

    Bands(int64_t rowBytes, int32_t pictureHeight) : height(pictureHeight) {
        const int64_t fit = rowBytes > 0 ? kBandBytes / rowBytes : 1;
        rows = static_cast<int32_t>(fit < 8 ? 8 : (fit < pictureHeight ? fit : pictureHeight));
        if (rows > pictureHeight) rows = pictureHeight;
        count = (pictureHeight + rows - 1) / rows;
        const int32_t wanted = 2 * parallelThreadCount() + 2;
        slotCount = wanted < count ? wanted : count;
        slotBytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(rows);
    }
    int32_t rowsOf(int32_t band) const {
        const int32_t top = band * rows;
        return height - top < rows ? height - top : rows;
    }
};

// The JFIF density Qt's writer gives a JPEG: the image's resolution, for a
// new image Qt's default (the screen's logical dots per inch; 100 without a
// screen), which every saved picture had. Kept so that the files stay as
// they were.
int32_t jfifDotsPerInch(const QImage& image) {
    return qRound(image.dotsPerMeterX() * 2.54 / 100.0);
}

}  // namespace

bool decodeJpegPicture(JpegReader& jpeg, QImage* recycled, QImage* out, GrowString* reason) {
    QImage image = pictureToFill(recycled, jpeg.width(), jpeg.height(), QImage::Format_RGB32, true);
    if (image.isNull()) {
        setReason(reason, "out of memory for the image");
        return false;
    }
    if (!jpeg.start(reason)) return false;
    if (!jpeg.readRows(image.bits(), static_cast<size_t>(image.bytesPerLine()), image.height(), reason) ||
        !jpeg.finish(reason))
        return false;
    *out = std::move(image);
    return true;
}

bool decodeJpegIntoBuffer(JpegReader& jpeg, int32_t orientation, const SrgbConversion* conversion, bool asFloat,
                          ImageBuffer* image, GrowString* reason) {
    const int32_t width = jpeg.width();
    const int32_t height = jpeg.height();
    const int64_t rowBytes = static_cast<int64_t>(width) * 4;
    const Bands bands(rowBytes, height);
    std::unique_ptr<uint8_t[]> ring(new (std::nothrow) uint8_t[bands.slotBytes * static_cast<size_t>(bands.slotCount)]);
    if (!ring) {
        setReason(reason, "out of memory for the image");
        return false;
    }
    if (!jpeg.start(reason)) return false;
    // Mapped now on all threads, not page by page inside the serial decoder.
    mapForWriting(ring.get(), bands.slotBytes * static_cast<size_t>(bands.slotCount));
    GrowString decodeFailure;
    std::atomic<bool> conversionFailed{false};
    BandPipelineSteps steps;
    steps.serialFirst = true;
    steps.serial = [&](int32_t band, int32_t slot) {
        return jpeg.readRows(ring.get() + bands.slotBytes * static_cast<size_t>(slot), static_cast<size_t>(rowBytes),
                             bands.rowsOf(band), &decodeFailure);
    };
    steps.parallel = [&](int32_t band, int32_t slot) {
        // The slot's rows as a picture of their own, without a copy.
        QImage strip(ring.get() + bands.slotBytes * static_cast<size_t>(slot), width, bands.rowsOf(band),
                     static_cast<qsizetype>(rowBytes), QImage::Format_RGB32);
        if (conversion) {
            // The steps a whole decoded picture takes, on these rows.
            if (!convertInStrips(&strip, QImage::Format_RGBA8888) || !conversion->apply(&strip, asFloat)) {
                conversionFailed = true;
                return false;
            }
        }
        return copyStripToBuffer(strip, band * bands.rows, width, height, orientation, asFloat, image);
    };
    if (runBandPipeline(bands.count, bands.slotCount, steps) && jpeg.finish(&decodeFailure)) return true;
    if (conversionFailed) setReason(reason, "out of memory converting the decoded picture");
    else if (reason) *reason = decodeFailure.isEmpty() ? GrowString("the image is damaged or cannot be decoded") : decodeFailure;
    return false;
}

bool encodeJpegPicture(const QImage& pixels, int32_t quality, const std::vector<uint8_t>& icc, QByteArray* out,
                       GrowString* reason) {
    const bool grey = pixels.format() == QImage::Format_Grayscale8;
    if (!grey && pixels.format() != QImage::Format_RGB888) {
        setReason(reason, "cannot encode the image");
        return false;
    }
    JpegWriter writer;
    if (!writer.start(pixels.width(), pixels.height(), grey, quality, jfifDotsPerInch(pixels), icc, reason))
        return false;
    return writer.writeRows(pixels.constBits(), static_cast<size_t>(pixels.bytesPerLine()), pixels.height(), reason) &&
           writer.finish(out, reason);
}

bool encodeJpegBuffer(const ImageBuffer& image, bool isFloat, int32_t quality, const std::vector<uint8_t>& icc,
                      QByteArray* out, GrowString* reason) {
    const int32_t width = image.width;
    const int32_t height = image.height;
    const bool grey = image.channelCount() == 1;
    JpegWriter writer;
    const int32_t dotsPerInch = jfifDotsPerInch(QImage(1, 1, QImage::Format_RGB888));
    if (!writer.start(width, height, grey, quality, dotsPerInch, icc, reason)) return false;
    const int64_t rowBytes = static_cast<int64_t>(width) * (grey ? 1 : 3);
    const Bands bands(rowBytes, height);
    std::unique_ptr<uint8_t[]> ring(new (std::nothrow) uint8_t[bands.slotBytes * static_cast<size_t>(bands.slotCount)]);
    if (!ring) {
        setReason(reason, "out of memory encoding the image");
        return false;
    }
    BandPipelineSteps steps;
    steps.serialFirst = false;
    steps.parallel = [&](int32_t band, int32_t slot) {
        return storeEightBitRows(image, isFloat, band * bands.rows, bands.rowsOf(band),
                                 ring.get() + bands.slotBytes * static_cast<size_t>(slot), rowBytes);
    };
    GrowString encodeFailure;
    steps.serial = [&](int32_t band, int32_t slot) {
        return writer.writeRows(ring.get() + bands.slotBytes * static_cast<size_t>(slot), static_cast<size_t>(rowBytes),
                                bands.rowsOf(band), &encodeFailure);
    };
    if (!runBandPipeline(bands.count, bands.slotCount, steps)) {
        if (reason) *reason = encodeFailure.isEmpty() ? GrowString("cannot encode the image") : encodeFailure;
        return false;
    }
    return writer.finish(out, reason);
}
