#pragma once
// Small helpers shared by the in-process timing programs of the comparison.

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace timing {

// The median of the run times (the mean of the two middle ones for an even count).
inline double medianOf(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : 0.5 * (values[middle - 1] + values[middle]);
}

// A whole number from 1 to 100000 (thread and repeat counts); false otherwise.
inline bool parseCount(const char* text, int& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (!text[0] || *end || value < 1 || value > 100000) return false;
    out = static_cast<int>(value);
    return true;
}

}  // namespace timing
