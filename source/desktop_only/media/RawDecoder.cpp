#include "RawDecoder.h"

#include "MediaFileIo.h"

#include <QImage>
#include <QString>

#include <libraw.h>

#include <memory>
#include <new>

namespace {

// The raw formats offered to the user; all of them are decoded by LibRaw.
const char* const kRawExtensions[] = {
    "3fr", "arw", "cr2", "cr3", "crw", "dcr", "dng", "erf", "fff", "iiq", "k25", "kdc", "mef", "mos", "mrw",
    "nef", "nrw", "orf", "pef", "raf", "raw", "rw2", "rwl", "sr2", "srf", "srw", "x3f", nullptr,
};

struct ProcessedImageDeleter {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

}  // namespace

const char* const* rawExtensions() {
    return kRawExtensions;
}

bool isRawExtension(const QString& extension) {
    for (const char* const* raw = kRawExtensions; *raw; ++raw) {
        if (extension == QLatin1String(*raw)) return true;
    }
    return false;
}

bool decodeRaw(const uint8_t* data, size_t size, QImage* out, GrowString* reason) {
    if (!data || size == 0 || !out) {
        setReason(reason, "the file is empty");
        return false;
    }
    // LibRaw's state is several hundred kilobytes: never on the stack.
    std::unique_ptr<LibRaw> raw(new (std::nothrow) LibRaw(LIBRAW_OPTIONS_NONE));
    if (!raw) {
        setReason(reason, "out of memory decoding the camera raw file");
        return false;
    }
    libraw_output_params_t& params = raw->imgdata.params;
    params.use_camera_wb = 1;
    params.output_bps = 16;
    params.output_color = 1;  // sRGB primaries
    params.gamm[0] = 1.0 / 2.4;  // the sRGB transfer curve: exponent 2.4 ...
    params.gamm[1] = 12.92;      // ... and linear slope 12.92 near black

    // open_buffer only reads from the buffer, whatever its signature says.
    if (raw->open_buffer(const_cast<uint8_t*>(data), size) != LIBRAW_SUCCESS) {
        setReason(reason, "is not a camera raw file this program reads");
        return false;
    }
    const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
    if (!withinPixelBudget(sizes.raw_width, sizes.raw_height) || !withinPixelBudget(sizes.width, sizes.height)) {
        setReason(reason, "is too large: over the limit of one gigapixel");
        return false;
    }
    if (!fitsInWorkingMemory(sizes.raw_width, sizes.raw_height) || !fitsInWorkingMemory(sizes.width, sizes.height)) {
        setReason(reason, "is too large for this machine's memory");
        return false;
    }
    if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS) {
        setReason(reason, "the camera raw file is damaged or cannot be decoded");
        return false;
    }

    int error = 0;
    std::unique_ptr<libraw_processed_image_t, ProcessedImageDeleter> processed(raw->dcraw_make_mem_image(&error));
    if (!processed || error != LIBRAW_SUCCESS) {
        setReason(reason, "the camera raw file cannot be decoded");
        return false;
    }
    const libraw_processed_image_t& p = *processed;
    if (p.type != LIBRAW_IMAGE_BITMAP || p.bits != 16 || (p.colors != 3 && p.colors != 1) ||
        !withinPixelBudget(p.width, p.height) ||
        p.data_size < static_cast<size_t>(p.width) * p.height * p.colors * sizeof(uint16_t)) {
        setReason(reason, "the camera raw file cannot be decoded");
        return false;
    }

    QImage image(p.width, p.height, QImage::Format_RGBA64);
    if (image.isNull()) {
        setReason(reason, "out of memory decoding the camera raw file");
        return false;
    }
    // The samples are 16-bit in the machine's byte order, rows packed.
    const uint16_t* source = reinterpret_cast<const uint16_t*>(p.data);
    for (int y = 0; y < image.height(); ++y) {
        uint16_t* row = reinterpret_cast<uint16_t*>(image.scanLine(y));
        const uint16_t* in = source + static_cast<size_t>(y) * p.width * p.colors;
        for (int x = 0; x < image.width(); ++x) {
            if (p.colors == 3) {
                row[x * 4 + 0] = in[x * 3 + 0];
                row[x * 4 + 1] = in[x * 3 + 1];
                row[x * 4 + 2] = in[x * 3 + 2];
            } else {
                row[x * 4 + 0] = row[x * 4 + 1] = row[x * 4 + 2] = in[x];
            }
            row[x * 4 + 3] = 65535;
        }
    }
    *out = std::move(image);
    return true;
}
