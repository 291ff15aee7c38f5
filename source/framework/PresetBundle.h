#pragma once
// Preset bundles (.bnd): a flat archive of named files, used to ship the
// default preset collections inside the program's resources.
//
// A bundle is a concatenation of records without header or trailer:
//   "FILE", name length N (u32 little-endian), N name bytes,
//   data length D (u32 little-endian), D data bytes.
// A record whose name ends in ".bnd" holds a nested bundle; unpacking turns
// it into a folder named like it without the extension.
//
// Names come from the archive and are never trusted: a name that is empty,
// ".", or holds "/", "\\", ".." or a NUL byte is skipped, so nothing is ever
// written outside the target folder; a name without a '.' is a plain file.
// A record's name becomes its file's name byte for byte (nothing added,
// nothing converted), so a name longer than a file name can be is skipped
// too.

#include <climits>
#include <cstddef>
#include <cstring>

#include "foundation/GrowString.h"

// Nested bundles are unpacked down to this many levels below the archive
// itself; a bundle deeper than that stays a file. The shipped collections
// use one level; the packer refuses folders nested deeper, so that every
// file it packs unpacks.
constexpr int kMaxBundleNesting = 15;

// The judgements of a record's name that unpacking makes; inline, so that
// the packer, which links nothing of the core, makes them the same way.
//
// Whether a record of this name is safe to write: it is not empty, not ".",
// and holds no '/', '\\', NUL or "..".
inline bool isSafeBundleName(const char* bytes, size_t size) {
    if (size == 0 || (size == 1 && bytes[0] == '.')) return false;
    for (size_t i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c == '/' || c == '\\' || c == '\0' || (c == '.' && i + 1 < size && bytes[i + 1] == '.')) return false;
    }
    return true;
}
// The longest name, in bytes, that unpacking writes: a file name component
// on Linux (NAME_MAX, 255 bytes) holds no more.
constexpr size_t kMaxBundleNameBytes = NAME_MAX;
// Whether unpacking writes a record of this name, as a file of that name: it
// is safe, and no longer than a file name component. A nested bundle's
// folder, its name without ".bnd", is shorter still.
inline bool isWritableBundleName(const char* bytes, size_t size) {
    return isSafeBundleName(bytes, size) && size <= kMaxBundleNameBytes;
}
// Whether unpacking takes a record of this (safe) name for a nested bundle:
// "bnd" follows the name's last '.', and that '.' is not its first byte.
inline bool isNestedBundleName(const char* name) {
    const char* dot = std::strrchr(name, '.');
    return dot && dot != name && std::strcmp(dot + 1, "bnd") == 0;
}

// Unpacks the archive (a file path, or a Qt resource path ":/...") into the
// folder, which is created when missing. Existing files of the same names
// are replaced (symbolic links are not followed). Each nested bundle that was
// written is unpacked into its own folder next to it and its file is
// removed. What can be written is written and the rest skipped: a truncated
// archive leaves a short last file. Returns false when the folder path is
// empty (nothing is touched) or the archive cannot be opened.
bool unpackBundle(const GrowString& archivePath, const GrowString& folder);
