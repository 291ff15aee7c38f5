#include "LutExport.h"

#include <QString>

#include <cmath>
#include <string>

#include "MediaFileIo.h"
#include "foundation/ImageBuffer.h"
#include "foundation/Mutex.h"
#include "foundation/TextNumbers.h"
#include "render/RenderContext.h"

namespace {

// The title as one line inside its double quotes.
std::string cleanTitle(const GrowString& title) {
    std::string text = title.c_str();
    for (char& c : text) {
        if (c == '"') c = '\'';
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return text;
}

// A result as a table entry: the sample divided by 255. A NaN (from a tile
// dividing by zero) would make the file unreadable; it is written as 0, and
// infinities as the nearest end of the 0..1 range.
float tableValue(float sample) {
    if (std::isnan(sample)) return 0.0f;
    if (std::isinf(sample)) return sample > 0.0f ? 1.0f : 0.0f;
    return sample / 255.0f;
}

}  // namespace

bool exportCubeLut(const GrowArray<ImageMod*>& chain, const GrowString& path, const GrowString& title,
                   GrowString* reason) {
    if (path.isEmpty()) {
        setReason(reason, "no file name given");
        return false;
    }

    // The grid as a picture of 33 rows (blue) of 33 x 33 pixels (red
    // fastest, then green): pixel index r + 33 g + 1089 b, the order of the
    // table's lines.
    constexpr int32_t n = kCubeLutSize;
    ImageBuffer grid;
    if (!grid.allocateFloat(n * n, n, 3)) {
        setReason(reason, "out of memory for the look-up table");
        return false;
    }
    float* samples = grid.floats();
    int64_t i = 0;
    for (int32_t b = 0; b < n; ++b) {
        for (int32_t g = 0; g < n; ++g) {
            for (int32_t r = 0; r < n; ++r) {
                // i x 255 / 32 is exact in single precision (255/32 = 7.96875).
                samples[i++] = static_cast<float>(r) * 255.0f / static_cast<float>(n - 1);
                samples[i++] = static_cast<float>(g) * 255.0f / static_cast<float>(n - 1);
                samples[i++] = static_cast<float>(b) * 255.0f / static_cast<float>(n - 1);
            }
        }
    }

    // Rendered as a save renders: no cache, full size, no region.
    RenderContext context(0);
    if (!context.render(chain, &grid, nullptr, -1, 0, nullptr)) {
        setReason(reason, "out of memory while rendering the look-up table");
        return false;
    }

    std::string text;
    text.reserve(64 + static_cast<size_t>(n) * n * n * 27);
    text += "TITLE \"";
    text += cleanTitle(title);
    text += "\"\n";
    // "%f" writes fixed notation: the largest float / 255 has 37 digits
    // before the point, so three values and their signs fit in 160 bytes.
    char line[160];
    cFormat(line, sizeof line, "LUT_3D_SIZE %i\n", n);
    text += line;
    const int64_t points = static_cast<int64_t>(n) * n * n;
    for (int64_t p = 0; p < points; ++p) {
        const float* rgb = samples + p * 3;
        const int length = cFormat(line, sizeof line, "%f %f %f\n", static_cast<double>(tableValue(rgb[0])),
                                   static_cast<double>(tableValue(rgb[1])), static_cast<double>(tableValue(rgb[2])));
        if (length < 0 || static_cast<size_t>(length) >= sizeof line) {
            setReason(reason, "cannot format the look-up table");
            return false;
        }
        text.append(line, static_cast<size_t>(length));
    }
    return writeFileReplacing(qtPath(path), text.data(), text.size(), reason);
}
