#include "OutputMemory.h"

#include <cstdio>

#include "MediaFileIo.h"
#include "foundation/GrowString.h"

bool outputFitsInMemory(int64_t width, int64_t height, GrowString* reason, bool sixteenBit) {
    const int64_t bytesPerPixel = outputWorkingBytesPerPixel(sixteenBit);
    if (fitsInWorkingMemory(width, height, bytesPerPixel)) return true;
    if (reason) {
        // In decimal gigabytes, rounded to a tenth; the product in double
        // so that no size overflows.
        const double needed = static_cast<double>(width) * static_cast<double>(height) *
                              static_cast<double>(bytesPerPixel) / 1e9;
        const double allowed = static_cast<double>(workingMemoryBudget()) / 1e9;
        char line[200];
        std::snprintf(line, sizeof line,
                      "the output, %lld x %lld pixels, needs %.1f GB of working memory; this machine allows %.1f GB",
                      static_cast<long long>(width), static_cast<long long>(height), needed, allowed);
        *reason = GrowString(line);
    }
    return false;
}
