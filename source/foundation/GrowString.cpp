#include "GrowString.h"

#include "TextNumbers.h"

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace {

// Largest capacity the doubling rule may reach: a 32-bit count cannot grow
// past it, and running on would corrupt memory. Allocation failure is not
// handled elsewhere either, so this stops the process.
constexpr int32_t kMaxCapacity = 1 << 30;

char* allocateBytes(int64_t size) {
    if (size < 0 || size > kMaxCapacity) std::abort();
    return new char[static_cast<size_t>(size)]();  // zeroed: no byte is ever read uninitialised
}

bool isTokenSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// A new string holding exactly the given bytes, then terminated.
GrowString stringFromBytes(const char* bytes, int64_t count) {
    GrowString result;
    if (count < 0) count = 0;
    result.data = allocateBytes(count + 2);
    result.capacity = static_cast<int32_t>(count + 2);
    if (count > 0) std::memcpy(result.data, bytes, static_cast<size_t>(count));
    result.length = static_cast<int32_t>(count);
    result.terminate();
    return result;
}

// Like stringFromBytes, but NUL bytes inside the range are skipped: the
// result of appending each byte with appendChar, where a NUL adds nothing.
GrowString stringFromTextBytes(const char* bytes, int64_t count) {
    std::string kept;
    for (int64_t i = 0; i < count; ++i) {
        if (bytes[i] != 0) kept.push_back(bytes[i]);
    }
    return stringFromBytes(kept.data(), static_cast<int64_t>(kept.size()));
}

int32_t lastIndexOf(const GrowString& text, char c) {
    const int32_t n = text.textLength();
    for (int32_t i = n - 1; i >= 0; --i) {
        if (text.data[i] == c) return i;
    }
    return -1;
}

GrowString withForwardSlashes(const GrowString& path) {
    return replaceAll(path, GrowString("\\"), GrowString("/"));
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction, assignment, destruction

GrowString::GrowString(const char* text) { assign(text); }

GrowString::GrowString(const GrowString& other) {
    // Tight and not terminated: the copy holds exactly the source's bytes.
    if (other.length > 0 && other.data) {
        data = allocateBytes(other.length);
        std::memcpy(data, other.data, static_cast<size_t>(other.length));
        length = capacity = other.length;
    }
}

GrowString::GrowString(GrowString&& other) noexcept
    : data(other.data), length(other.length), capacity(other.capacity) {
    other.data = nullptr;
    other.length = other.capacity = 0;
}

GrowString::~GrowString() { release(); }

GrowString& GrowString::operator=(const GrowString& other) {
    // The new buffer is filled before the old one is freed, so assigning a
    // string to itself keeps its text.
    char* fresh = nullptr;
    const int32_t size = (other.data && other.length > 0) ? other.length : 0;
    if (size > 0) {
        fresh = allocateBytes(size);
        std::memcpy(fresh, other.data, static_cast<size_t>(size));
    }
    delete[] data;
    data = fresh;
    length = capacity = size;
    terminate();
    return *this;
}

GrowString& GrowString::operator=(GrowString&& other) noexcept {
    if (this != &other) {
        char* taken = other.data;
        const int32_t takenLength = other.length;
        const int32_t takenCapacity = other.capacity;
        other.data = nullptr;
        other.length = other.capacity = 0;
        delete[] data;
        data = taken;
        length = takenLength;
        capacity = takenCapacity;
    }
    return *this;
}

GrowString GrowString::copyWithSpare(const GrowString& source) {
    const int32_t size = (source.data && source.length > 0) ? source.length : 0;
    return stringFromBytes(source.data, size);
}

GrowString& GrowString::assign(const char* text) {
    if (!text) return *this;
    const size_t n = std::strlen(text);
    if (n > static_cast<size_t>(kMaxCapacity - 2)) std::abort();
    // Copy before freeing, so a text that points into this string's own
    // buffer is still readable.
    char* fresh = allocateBytes(static_cast<int64_t>(n) + 2);
    std::memcpy(fresh, text, n);
    delete[] data;
    data = fresh;
    capacity = static_cast<int32_t>(n) + 2;
    length = static_cast<int32_t>(n);
    terminate();
    return *this;
}

void GrowString::release() {
    delete[] data;
    data = nullptr;
    length = capacity = 0;
}

// ---------------------------------------------------------------------------
// Growth

void GrowString::growBuffer() {
    if (!data) {
        data = allocateBytes(2);
        capacity = 2;
        length = 0;
        return;
    }
    const int64_t bigger = static_cast<int64_t>(capacity) * 2;
    char* fresh = allocateBytes(bigger);
    std::memcpy(fresh, data, static_cast<size_t>(capacity));
    delete[] data;
    data = fresh;
    capacity = static_cast<int32_t>(bigger);
}

void GrowString::storeAt(int32_t index, char c) {
    while (!data || index >= capacity) growBuffer();
    data[index] = c;
}

// ---------------------------------------------------------------------------
// In-place editing

void GrowString::terminate() {
    if (length <= 0 || !data) {
        length = 0;
        storeAt(0, 0);
        length = 1;
        return;
    }
    const void* found = std::memchr(data, 0, static_cast<size_t>(length));
    if (found) {
        const int32_t first = static_cast<int32_t>(static_cast<const char*>(found) - data);
        if (first == length - 1) return;
        // A NUL at index 0 does not cut: the text is then kept whole.
        if (first >= 1) length = first;
    }
    storeAt(length, 0);
    ++length;
}

void GrowString::insertChar(int32_t index, char c) {
    // Indices outside the counted bytes are clamped, so a character is never
    // stored beyond the text.
    if (index < 0) index = 0;
    if (index > length) index = length;
    while (!data || capacity <= index) growBuffer();
    while (length >= capacity - 1) growBuffer();
    std::memmove(data + index + 1, data + index, static_cast<size_t>(length - index));
    data[index] = c;
    ++length;
}

GrowString& GrowString::appendChar(char c) {
    if (c != 0 && data && length > 0) {
        const void* found = std::memchr(data, 0, static_cast<size_t>(length));
        if (found) {
            insertChar(static_cast<int32_t>(static_cast<const char*>(found) - data), c);
            terminate();
            return *this;
        }
    }
    storeAt(length, c);
    ++length;
    terminate();
    return *this;
}

GrowString& GrowString::append(const char* text) {
    const GrowString joined = concat(text);
    *this = joined;  // copy-assign: the result is tight
    return *this;
}

GrowString& GrowString::appendString(const GrowString& other) {
    const GrowString joined = concatString(other);
    *this = joined;
    return *this;
}

GrowString& GrowString::appendInt(int value) {
    char buffer[32];
    cFormat(buffer, sizeof buffer, "%i", value);
    return append(buffer);
}

void GrowString::erase(int32_t pos, int32_t count) {
    // Rebuilt from the kept bytes; NUL bytes add nothing, as they do when
    // appended one by one, and the result is tight.
    std::string kept;
    const int64_t cutEnd = static_cast<int64_t>(pos) + count;
    for (int32_t i = 0; i < length; ++i) {
        if ((i < pos || i >= cutEnd) && data[i] != 0) kept.push_back(data[i]);
    }
    char* fresh = allocateBytes(static_cast<int64_t>(kept.size()) + 1);
    std::memcpy(fresh, kept.data(), kept.size());
    delete[] data;
    data = fresh;
    length = capacity = static_cast<int32_t>(kept.size()) + 1;
}

GrowString GrowString::takeToken() {
    if (!data || length <= 0) {
        assign("");
        return GrowString("");
    }
    int32_t start = 0;
    while (start < length && isTokenSeparator(data[start])) ++start;
    if (start >= length - 1) {
        assign("");
        return GrowString("");
    }
    // A separator ends the token only outside double quotes.
    int32_t quotes = data[start] == '"' ? 1 : 0;
    int32_t end = length - 1;
    bool ranToEnd = true;
    for (int32_t i = start + 1; i < length; ++i) {
        const char c = data[i];
        if (c == '"') {
            ++quotes;
        } else if (isTokenSeparator(c) && quotes % 2 == 0) {
            end = i - 1;
            ranToEnd = false;
            break;
        }
    }
    GrowString token = stringFromBytes(data + start, static_cast<int64_t>(end) - start + 1);
    if (ranToEnd || end + 2 >= length) {
        assign("");
    } else {
        // The one separator after the token is dropped; further ones stay.
        GrowString rest = stringFromBytes(data + end + 2, static_cast<int64_t>(length) - (end + 2));
        *this = std::move(rest);
    }
    return token;
}

// ---------------------------------------------------------------------------
// New strings from old

GrowString GrowString::concat(const char* text) const {
    GrowString result(*this);
    if (result.length > 0 && result.data[result.length - 1] == 0) --result.length;
    if (text) {
        for (const char* p = text; *p; ++p) {
            result.storeAt(result.length, *p);
            ++result.length;
        }
    }
    result.terminate();
    return result;
}

GrowString GrowString::concatString(const GrowString& other) const {
    GrowString result(*this);
    if (result.length > 0 && result.data[result.length - 1] == 0) --result.length;
    const int32_t n = other.textLength();
    for (int32_t i = 0; i < n; ++i) {
        result.storeAt(result.length, other.data[i]);
        ++result.length;
    }
    result.terminate();
    return result;
}

GrowString GrowString::substring(int32_t a, int32_t b) const {
    if (a < 0 || b < 0 || a >= length || b >= length) return GrowString("");
    if (b < a) {
        const int32_t t = a;
        a = b;
        b = t;
    }
    return stringFromTextBytes(data + a, static_cast<int64_t>(b) - a + 1);
}

// ---------------------------------------------------------------------------
// Reading

const char* GrowString::c_str() const { return (data && length > 0) ? data : ""; }

bool GrowString::isEmpty() const { return !data || length <= 0 || data[0] == 0; }

int32_t GrowString::textLength() const {
    if (!data || length <= 0) return 0;
    const void* found = std::memchr(data, 0, static_cast<size_t>(length));
    return found ? static_cast<int32_t>(static_cast<const char*>(found) - data) : length;
}

bool GrowString::operator==(const GrowString& other) const {
    if (isEmpty() && other.isEmpty()) return true;
    return length == other.length && length > 0 &&
           std::memcmp(data, other.data, static_cast<size_t>(length)) == 0;
}

bool GrowString::operator==(const char* text) const {
    if (!text) text = "";
    const size_t n = std::strlen(text);
    if (n == 0 && isEmpty()) return true;
    return length > 0 && static_cast<size_t>(length) == n + 1 &&
           std::memcmp(data, text, n + 1) == 0;
}

// ---------------------------------------------------------------------------
// Path functions

GrowString replaceAll(const GrowString& text, const GrowString& find, const GrowString& replacement) {
    if (!text.data || text.length <= 0) return GrowString();
    GrowString result(text);
    const int32_t findLength = find.textLength();
    // Nothing to look for: an empty pattern would match forever in place.
    if (findLength == 0) {
        result.terminate();
        return result;
    }
    const int32_t replacementLength = replacement.textLength();
    int32_t p = 0;
    while (p < result.length) {
        bool match = result.data[p] == find.data[0] &&
                     static_cast<int64_t>(p) + findLength <= result.length &&
                     std::memcmp(result.data + p, find.data, static_cast<size_t>(findLength)) == 0;
        if (!match) {
            ++p;
            continue;
        }
        std::memmove(result.data + p, result.data + p + findLength,
                     static_cast<size_t>(result.length - p - findLength));
        result.length -= findLength;
        for (int32_t i = 0; i < replacementLength; ++i) result.insertChar(p + i, replacement.data[i]);
        p += replacementLength;
    }
    result.terminate();
    return result;
}

GrowString fileExtension(const GrowString& path) {
    if (path.length <= 0) return GrowString("");
    const int32_t dot = lastIndexOf(path, '.');
    const int32_t n = path.textLength();
    if (dot < 0 || dot == n - 1) return GrowString("");
    return path.substring(dot + 1, n - 1);
}

GrowString removeExtension(const GrowString& path) {
    if (path.length <= 0) return GrowString();
    const int32_t dot = lastIndexOf(path, '.');
    if (dot >= 1) return path.substring(0, dot - 1);
    return GrowString(path);
}

GrowString fileNamePart(const GrowString& path) {
    if (path.length <= 0) return GrowString("");
    GrowString t = withForwardSlashes(path);
    const int32_t slash = lastIndexOf(t, '/');
    if (slash < 0) return t;
    const int32_t n = t.textLength();
    if (slash == n - 1) return GrowString("");
    return t.substring(slash + 1, n - 1);
}

GrowString directoryPart(const GrowString& path) {
    GrowString t = withForwardSlashes(path);
    if (t.length <= 0) return GrowString("");
    const int32_t dot = lastIndexOf(t, '.');
    const int32_t slash = lastIndexOf(t, '/');
    if (slash >= 0 && dot > slash) return t.substring(0, slash);
    // Taken for a folder: make sure it ends in "/".
    const int32_t n = t.textLength();
    if (n == 0 || t.data[n - 1] != '/') t.appendChar('/');
    return t;
}

GrowString applicationSupportFolder() {
    // The XDG base-directory rules: $XDG_DATA_HOME when it is set to an
    // absolute path, else ~/.local/share.
    std::string base;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        if (home && home[0]) {
            base = home;
        } else if (const passwd* entry = getpwuid(getuid())) {
            if (entry->pw_dir) base = entry->pw_dir;
        }
        while (!base.empty() && base.back() == '/') base.pop_back();
        base += "/.local/share";
    }
    while (!base.empty() && base.back() == '/') base.pop_back();
    base += "/Pellucine/";
    return GrowString(base.c_str());
}
