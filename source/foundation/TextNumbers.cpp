#include "TextNumbers.h"

#include "GrowString.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <vector>

namespace {

// The "C" locale, made once and kept for the life of the process (never
// freed, so formatting still works from destructors that run at exit).
locale_t cLocale() {
    static const locale_t made = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return made;
}

// Switches the calling thread to the C locale for its lifetime and back to
// whatever the thread used before (often the global locale).
class CLocaleScope {
public:
    CLocaleScope() {
        const locale_t c = cLocale();
        if (c) previous_ = uselocale(c);
    }
    ~CLocaleScope() {
        if (previous_) uselocale(previous_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(0);
};

}  // namespace

int cFormatV(char* buffer, size_t size, const char* format, va_list args) {
    CLocaleScope scope;
    return vsnprintf(buffer, size, format, args);
}

int cFormat(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = cFormatV(buffer, size, format, args);
    va_end(args);
    return result;
}

void appendFormat(GrowString& target, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = cFormatV(nullptr, 0, format, args);
    va_end(args);
    if (needed >= 0) {
        std::vector<char> text(static_cast<size_t>(needed) + 1);
        cFormatV(text.data(), text.size(), format, again);
        target.append(text.data());
    }
    va_end(again);
}

double cStrtod(const char* text, char** end) {
    if (!text) {
        if (end) *end = nullptr;
        return 0.0;
    }
    const locale_t c = cLocale();
    if (!c) return std::strtod(text, end);
    return strtod_l(text, end, c);
}

int cFprintf(FILE* file, const char* format, ...) {
    if (!file) return -1;
    va_list args;
    va_start(args, format);
    int result;
    {
        CLocaleScope scope;
        result = vfprintf(file, format, args);
    }
    va_end(args);
    return result;
}
