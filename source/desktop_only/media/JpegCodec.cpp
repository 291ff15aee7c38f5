#include "JpegCodec.h"

#include "ColorProfiles.h"
#include "MediaFileIo.h"
#include "PixelTransfer.h"

#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "platform/ParallelFor.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
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
};

ErrorManager* errorsOf(j_common_ptr info) {
    return reinterpret_cast<ErrorManager*>(info->err);
}

[[noreturn]] void leaveOnError(j_common_ptr info) {
    ErrorManager* errors = errorsOf(info);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Whether a libjpeg warning says the entropy-coded data ran out before the
// frame was filled: a marker came where data was due, or the file ended.
// libjpeg would go on and fill the rest of the picture with grey.
bool dataRanOut(int code) {
    return code == JWRN_HIT_MARKER || code == JWRN_JPEG_EOF;
}

// Warnings (level -1) are counted; one telling that the data ran out ends
// the call at once (nothing past it can be decoded), the others (data
// libjpeg steps over, such as extraneous bytes before a marker, which
// cameras write) are let pass. Trace messages (levels 0 and up) are dropped.
void noteMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    ErrorManager* errors = errorsOf(info);
    (*info->err->format_message)(info, errors->message);
    ++info->err->num_warnings;
    if (dataRanOut(info->err->msg_code)) {
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
}

// The reason of a call that libjpeg left: the data ran out, or its error.
void failedBecause(GrowString* reason, const char* what, const ErrorManager& errors) {
    if (errors.cutShort) {
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

}  // namespace

// ---- Watching Qt's reader ------------------------------------------------------

namespace {

// The texts libjpeg gives the warnings of data that ran out, formatted by
// the library Qt's reader uses too.
const QStringList& ranOutTexts() {
    static const QStringList texts = [] {
        QStringList list;
        for (const int code : {JWRN_HIT_MARKER, JWRN_JPEG_EOF}) {
            jpeg_error_mgr errors;
            jpeg_std_error(&errors);
            jpeg_common_struct info;
            std::memset(&info, 0, sizeof info);
            info.err = &errors;
            errors.msg_code = code;
            char text[JMSG_LENGTH_MAX];
            (*errors.format_message)(&info, text);
            list.append(QString::fromLatin1(text));
        }
        return list;
    }();
    return texts;
}

// The watch of each thread, and the message handler that was installed
// before the watches' own.
thread_local QtJpegWarningWatch* tActiveWatch = nullptr;
std::atomic<QtMessageHandler> gChainedHandler{nullptr};

}  // namespace

struct QtJpegWarningHandler {
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (tActiveWatch && type == QtWarningMsg && ranOutTexts().contains(message.trimmed()))
            tActiveWatch->dataRanOut_ = true;
        if (const QtMessageHandler chained = gChainedHandler.load()) chained(type, context, message);
    }
};

QtJpegWarningWatch::QtJpegWarningWatch() : outer_(tActiveWatch) {
    ranOutTexts();  // formatted before any message comes
    // Installed anew by every watch, so that a handler installed after the
    // last one is chained rather than passed by.
    const QtMessageHandler previous = qInstallMessageHandler(QtJpegWarningHandler::handle);
    if (previous != QtJpegWarningHandler::handle) gChainedHandler.store(previous);
    tActiveWatch = this;
}

QtJpegWarningWatch::~QtJpegWarningWatch() {
    tActiveWatch = outer_;
}

// ---- Reading ----------------------------------------------------------------

struct JpegReader::State {
    jpeg_decompress_struct info;
    ErrorManager errors;
    bool created = false;
    JOCTET* icc = nullptr;  // from jpeg_read_icc_profile, malloc'd
    unsigned int iccLength = 0;
};

JpegReader::JpegReader(const uint8_t* data, size_t size) : state_(std::make_unique<State>()) {
    State& s = *state_;
    std::memset(&s.info, 0, sizeof s.info);
    installErrorManager(&s.errors);
    s.info.err = &s.errors.base;
    if (!data || size == 0) return;
    if (setjmp(s.errors.jump) != 0) return;  // out of memory: readHeader gives false
    jpeg_create_decompress(&s.info);
    s.created = true;
    jpeg_mem_src(&s.info, data, static_cast<unsigned long>(size));
}

JpegReader::~JpegReader() {
    if (state_->created) jpeg_destroy_decompress(&state_->info);
    std::free(state_->icc);
}

bool JpegReader::readHeader() {
    State& s = *state_;
    if (!s.created || s.info.src == nullptr) return false;
    if (setjmp(s.errors.jump) != 0) return false;
    jpeg_save_markers(&s.info, JPEG_APP0 + 2, 0xFFFF);  // ICC profile
    if (jpeg_read_header(&s.info, TRUE) != JPEG_HEADER_OK) return false;
    const J_COLOR_SPACE space = s.info.jpeg_color_space;
    const bool colour = (space == JCS_YCbCr || space == JCS_RGB) && s.info.num_components == 3;
    const bool grey = space == JCS_GRAYSCALE && s.info.num_components == 1;
    if (!(colour || grey) || s.info.arith_code || s.info.data_precision != 8) return false;
    if (s.info.image_width < 1 || s.info.image_height < 1 || s.info.image_width > kJpegMaxSide ||
        s.info.image_height > kJpegMaxSide)
        return false;
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

bool JpegReader::start(GrowString* reason) {
    State& s = *state_;
    if (setjmp(s.errors.jump) != 0) {
        failedBecause(reason, "the image is damaged or cannot be decoded", s.errors);
        return false;
    }
    // The settings of Qt's reader, so that the samples are the ones it gave.
    s.info.out_color_space = kWordLayout;
    s.info.dct_method = JDCT_ISLOW;
    s.info.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&s.info);  // a progressive file is read whole here
    return true;
}

bool JpegReader::readRows(uint8_t* first, size_t bytesPerLine, int32_t count, GrowString* reason) {
    State& s = *state_;
    if (setjmp(s.errors.jump) != 0) {
        failedBecause(reason, "the image is damaged or cannot be decoded", s.errors);
        return false;
    }
    const bool all = passRows(first, bytesPerLine, count,
                              [&s](JSAMPARRAY rows, JDIMENSION n) { return jpeg_read_scanlines(&s.info, rows, n); });
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
    return true;
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
