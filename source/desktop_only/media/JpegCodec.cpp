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
constexpr int kRanOutCodes[] = {JWRN_HIT_MARKER, JWRN_JPEG_EOF};

bool dataRanOut(int code) {
    for (const int ranOut : kRanOutCodes)
        if (code == ranOut) return true;
    return false;
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

// ---- Reading ----------------------------------------------------------------

namespace {

// The most scans whose early end is judged; a file with more scans that end
// early than this is damaged anyway.
constexpr int kMaxEarlyEnds = 16;

// An arithmetic-coded scan that met a marker before its last row of MCUs:
// what it coded, and how many rows of MCUs it had completed when the marker
// was seen.
struct EarlyEnd {
    int32_t componentCount = 0;
    int32_t components[MAX_COMPS_IN_SCAN] = {};  // indexes into the frame's components
    int32_t spectralStart = 0, spectralEnd = 0, successiveHigh = 0, successiveLow = 0;  // Ss, Se, Ah, Al
    JDIMENSION rowsDone = 0;
};

// What the reader learns of the scans while libjpeg reads them. libjpeg
// calls the progress monitor before each row of MCUs it consumes in a file
// of several scans (all of them read by jpeg_start_decompress); the reader
// calls it after every batch of rows too. The scans' headers and progress
// are public fields of the decompressor.
struct ScanWatch {
    jpeg_progress_mgr base;  // first: libjpeg's pointer to it is ours
    int32_t lastScan = 0;
    bool endNoted = false;  // the early end of the scan being read is noted
    uint32_t covered = 0;   // the frame components a scan coded (a DC scan, in a progressive frame)
    int32_t earlyEndCount = 0;
    EarlyEnd earlyEnds[kMaxEarlyEnds];
};

bool isRestartMarker(int marker) {
    return marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7;
}

void noteScan(j_decompress_ptr info) {
    ScanWatch& w = *reinterpret_cast<ScanWatch*>(info->progress);
    if (info->comps_in_scan < 1 || info->comps_in_scan > MAX_COMPS_IN_SCAN) return;
    if (info->input_scan_number != w.lastScan) {
        w.lastScan = info->input_scan_number;
        w.endNoted = false;
        if (!info->progressive_mode || info->Ss == 0)
            for (int i = 0; i < info->comps_in_scan; ++i)
                if (info->cur_comp_info[i]->component_index < 32)
                    w.covered |= 1u << info->cur_comp_info[i]->component_index;
    }
    // The arithmetic decoder goes on with zero bits at a marker, without a
    // warning: noted here, judged at the end. A restart marker ends each
    // interval, early or not.
    const int marker = info->unread_marker;
    if (!info->arith_code || w.endNoted || marker == 0 || isRestartMarker(marker) ||
        info->input_iMCU_row >= info->total_iMCU_rows)
        return;
    w.endNoted = true;
    if (w.earlyEndCount == kMaxEarlyEnds) {
        ++w.earlyEndCount;  // more than are judged: damaged
        return;
    }
    if (w.earlyEndCount > kMaxEarlyEnds) return;
    EarlyEnd& e = w.earlyEnds[w.earlyEndCount++];
    e.componentCount = info->comps_in_scan;
    for (int i = 0; i < info->comps_in_scan; ++i) e.components[i] = info->cur_comp_info[i]->component_index;
    e.spectralStart = info->Ss;
    e.spectralEnd = info->Se;
    e.successiveHigh = info->Ah;
    e.successiveLow = info->Al;
    e.rowsDone = info->input_iMCU_row;
}

void watchScans(j_common_ptr info) {
    noteScan(reinterpret_cast<j_decompress_ptr>(info));
}

// The natural (row-major) index of each coefficient in zig-zag order.
constexpr int kNaturalOrder[DCTSIZE2] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// The most blocks past an early end that may differ from what the blocks
// before them predict. When the arithmetic decoder meets the marker it
// still holds up to 24 bits read before it (the encoder's last bytes among
// them), and each change it decodes from them takes at least a bit; the
// rest leaves room for where ScanPrediction is coarser than the coder.
constexpr int64_t kChangesAnEndMayCode = 32;

// The steps of the DC from block to block, as the arithmetic coder
// predicts them: it codes each step in a context chosen by the step before
// (zero, small or large, up or down), so a run in which every context is
// followed by the step it was followed by last time costs nothing, however
// the steps alternate.
class DcSteps {
public:
    // Whether the step is the one that followed the previous step's
    // context last time (or the context is new); the step is then noted.
    bool follows(int step) {
        const int context = context_;
        context_ = step == 0 ? 0 : (step > 0 ? 1 : 2) + (step > 1 || step < -1 ? 2 : 0);
        const bool predicted = !seen_[context] || last_[context] == step;
        seen_[context] = true;
        last_[context] = step;
        return predicted;
    }

private:
    int context_ = 0;  // of the first step: as after a step of zero
    bool seen_[5] = {};
    int last_[5] = {};
};

// What the arithmetic coder of one scan predicts of the blocks of one of
// its components, block after block: the DC steps as above; and the
// scan's own bits of its AC band the same as in the block before (the
// coder's AC contexts are those of the coefficients' places, which a run
// of equal blocks settles). A refinement scan codes one bit of each
// coefficient: whether one of those that were zero becomes nonzero (and
// its sign), or the next bit of one that was not.
class ScanPrediction {
public:
    explicit ScanPrediction(const EarlyEnd& e)
        : first_(e.spectralStart > 1 ? e.spectralStart : 1),
          last_(e.spectralEnd < DCTSIZE2 - 1 ? e.spectralEnd : DCTSIZE2 - 1),
          low_(e.successiveLow < 15 ? e.successiveLow : 15),
          withDc_(e.spectralStart == 0),
          refinement_(e.successiveHigh != 0) {}

    // Whether the block is what the blocks before it predict; it is noted
    // either way.
    bool predicts(const JCOEF* block) {
        bool predicted = true;
        if (withDc_) {
            const int dc = block[0] >> low_;
            if (refinement_) predicted = !seen_ || (dc & 1) == (previousDc_ & 1);
            else if (seen_) predicted = steps_.follows(dc - previousDc_);
            previousDc_ = dc;
        }
        for (int z = first_; z <= last_; ++z) {
            const int token = tokenOf(block[kNaturalOrder[z]]);
            if (seen_ && token != tokens_[z]) predicted = false;
            tokens_[z] = token;
        }
        seen_ = true;
        return predicted;
    }

private:
    // An AC coefficient as the scan codes it.
    int tokenOf(int v) const {
        const int magnitude = (v < 0 ? -v : v) >> low_;
        if (!refinement_) return v < 0 ? -magnitude : magnitude;
        if ((magnitude & 1) == 0) return 0;
        return magnitude > 1 ? 2 : (v < 0 ? -1 : 1);
    }

    const int first_, last_, low_;
    const bool withDc_, refinement_;
    bool seen_ = false;
    int previousDc_ = 0;
    DcSteps steps_;
    int tokens_[DCTSIZE2] = {};
};

// Whether the arithmetic-coded scans that met a marker early are what an
// encoder leaves when it drops the zero bytes that end its data. Such an
// encoder spends no byte on a run of blocks its adapted statistics predict
// (a flat end of the picture, a ramp, one repeating pattern): the blocks
// after the marker are then what ScanPrediction predicts, apart from the
// few changes the encoder's last bits code. Zero bits decoded past a cut
// give unpredicted blocks nearly everywhere instead. So from the row of
// MCUs after the one where the marker was seen, each component of the scan
// may change at most kChangesAnEndMayCode times. The coefficients are read
// a second time, on their own: only files with such an early end pay.
bool earlyEndsArePredictable(const uint8_t* data, size_t size, const ScanWatch& watch) {
    if (watch.earlyEndCount > kMaxEarlyEnds) return false;
    jpeg_decompress_struct info;
    std::memset(&info, 0, sizeof info);
    ErrorManager errors;
    installErrorManager(&errors);
    errors.base.emit_message = [](j_common_ptr, int) {};  // warnings were judged in the first pass
    info.err = &errors.base;
    // Read after a jump back from libjpeg: kept in memory.
    volatile bool created = false;
    volatile bool predictable = false;
    if (setjmp(errors.jump) == 0) {
        jpeg_create_decompress(&info);
        created = true;
        jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
        jpeg_read_header(&info, TRUE);
        jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
        predictable = arrays != nullptr;
        for (int32_t s = 0; s < watch.earlyEndCount && predictable; ++s) {
            const EarlyEnd& e = watch.earlyEnds[s];
            for (int32_t c = 0; c < e.componentCount && predictable; ++c) {
                const int index = e.components[c];
                if (index < 0 || index >= info.num_components) {
                    predictable = false;
                    break;
                }
                const jpeg_component_info& k = info.comp_info[index];
                // The blocks in rows from the top, as a scan of this
                // component alone orders them.
                const int64_t columns = k.width_in_blocks;
                const int64_t end = static_cast<int64_t>(k.height_in_blocks) * columns;
                ScanPrediction prediction(e);
                int64_t changes = 0;
                for (int64_t at = static_cast<int64_t>(e.rowsDone) * k.v_samp_factor * columns;
                     at < end && changes <= kChangesAnEndMayCode; ++at) {
                    JBLOCKARRAY row = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), arrays[index],
                                                                      static_cast<JDIMENSION>(at / columns), 1, FALSE);
                    if (!prediction.predicts(row[0][at % columns])) ++changes;
                }
                predictable = changes <= kChangesAnEndMayCode;
            }
        }
    }
    if (created) jpeg_destroy_decompress(&info);
    return predictable;
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

JpegReader::JpegReader(const uint8_t* data, size_t size)
    : state_(std::make_unique<State>()), data_(data), size_(size) {
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
        noteScan(&s.info);
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
    if ((s.scans.covered & all) != all ||
        (s.scans.earlyEndCount > 0 && !earlyEndsArePredictable(data_, size_, s.scans))) {
        setReason(reason, "the JPEG file is damaged or cut short");
        return false;
    }
    return true;
}

bool jpegWarningSaysDataRanOut(const std::string& text) {
    // The texts of those warnings, formatted as this libjpeg formats them.
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> list;
        for (const int code : kRanOutCodes) {
            jpeg_error_mgr errors;
            jpeg_std_error(&errors);
            jpeg_common_struct info;
            std::memset(&info, 0, sizeof info);
            info.err = &errors;
            errors.msg_code = code;
            char formatted[JMSG_LENGTH_MAX];
            (*errors.format_message)(&info, formatted);
            list.emplace_back(formatted);
        }
        return list;
    }();
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
