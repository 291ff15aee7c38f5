#pragma once
// GrowString: the program's own byte string.
//
// A plain growable byte buffer that always carries exactly one counted
// terminating NUL: `length` counts the NUL, so "" has length 1 and "abc"
// length 4. A default-constructed string is {null, 0, 0} and reads as "".
// Capacity doubles from 2 when a byte must be stored past the end; copies
// are tight (capacity == length). Every name, path, tag and key text of the
// core is one of these.

#include <cstdint>

class GrowString {
public:
    char* data = nullptr;  // owned buffer, null when never used
    int32_t length = 0;    // bytes in use, counting the terminating NUL
    int32_t capacity = 0;  // bytes allocated

    GrowString() = default;
    GrowString(const char* text);  // same as assign(text) on an empty string
    GrowString(const GrowString& other);
    GrowString(GrowString&& other) noexcept;
    ~GrowString();

    GrowString& operator=(const GrowString& other);
    GrowString& operator=(GrowString&& other) noexcept;
    GrowString& operator=(const char* text) { return assign(text); }

    // A copy with two spare bytes of capacity, terminated (the tokenizer's copy).
    static GrowString copyWithSpare(const GrowString& source);

    // Replaces the content with a NUL-terminated text; null leaves it unchanged.
    GrowString& assign(const char* text);

    // In-place editing.
    void terminate();
    void insertChar(int32_t index, char c);
    GrowString& appendChar(char c);
    GrowString& append(const char* text);
    GrowString& appendString(const GrowString& other);
    GrowString& appendInt(int value);
    void erase(int32_t pos, int32_t count);
    // Removes the first space/tab/newline-separated token (double quotes
    // group) from the front of the string and returns it.
    GrowString takeToken();

    // New strings from old.
    GrowString concat(const char* text) const;
    GrowString concatString(const GrowString& other) const;
    GrowString substring(int32_t a, int32_t b) const;

    // The characters as NUL-terminated text; "" for a buffer-less string.
    const char* c_str() const;
    // True when there is no character before the first NUL.
    bool isEmpty() const;
    // Number of characters before the first NUL.
    int32_t textLength() const;

    bool operator==(const GrowString& other) const;
    bool operator!=(const GrowString& other) const { return !(*this == other); }
    bool operator==(const char* text) const;
    bool operator!=(const char* text) const { return !(*this == text); }

private:
    void growBuffer();                 // the doubling rule
    void storeAt(int32_t index, char c);  // grows until index < capacity
    void release();
};

// The empty value of a fresh GrowArray slot: a terminated "" (length 1).
inline void initEmptySlot(GrowString& slot) { slot.assign(""); }

// Path functions: backslashes are treated as "/".
GrowString replaceAll(const GrowString& text, const GrowString& find, const GrowString& replacement);
GrowString fileExtension(const GrowString& path);
GrowString removeExtension(const GrowString& path);
GrowString fileNamePart(const GrowString& path);
GrowString directoryPart(const GrowString& path);
// The application's own data folder with a trailing "/":
// $XDG_DATA_HOME/Pellucine/ (default ~/.local/share/Pellucine/). Computed
// from the environment alone, so it works before any Qt object exists.
GrowString applicationSupportFolder();
