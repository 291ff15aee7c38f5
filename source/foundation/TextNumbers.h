#pragma once
// Numbers in every text format (filter files, preferences, LUTs) are written
// and read in the C locale, whatever locale the process runs in: a German
// locale must still write "3.100000", and read it back as 3.1.

#include <cstdarg>
#include <cstddef>
#include <cstdio>

class GrowString;

// snprintf in the C locale. Returns what snprintf returns.
int cFormat(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int cFormatV(char* buffer, size_t size, const char* format, va_list args);
// The same, appended to a GrowString.
void appendFormat(GrowString& target, const char* format, ...) __attribute__((format(printf, 2, 3)));
// strtod in the C locale; end may be null.
double cStrtod(const char* text, char** end);
// fprintf in the C locale.
int cFprintf(FILE* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
