#pragma once
// Filter files (.plf): a chain of tiles as XML text.
//
//   <filter version="4">
//     <mod name="Exposure" version="1" enabled="1">
//       <var name="Amount" type="float">1.166667</var>
//       <attr name="AliasRange">.13 1 1.87</attr>
//     </mod>
//   </filter>
//
// Each "mod" names a tile by its XML name and lists its var values in the
// tile's var order ("float", "curve", "color", "choice", "multichoice",
// "file", or "unknown" for buttons and empty vars) and its free-form
// attributes. A compound tile is written as a "submod" element holding its
// sub-tiles, followed by a "mod" element of the compound's name that holds
// the compound's own vars. Numbers are written with "%f" in the C locale.
//
// Reading makes every tile by cloning the prototype with the same XML name,
// so a tile can only be read when its class is in the prototype list. A
// "submod" defines a template that only the "mod" element right after it
// in the same parent can use; a template nothing uses is dropped. The tiles
// read come out in the order a chain renders in (ModListHelpers.h:
// sortModsByChainGroup), whatever order the file lists them in.
//
// Values are held where the program's own controls hold them: a float to
// the limits its var has in force (a float the reader makes itself has
// limits 0..1), colour components to 0..255, curve points to 0..1. A
// number that is not finite (NaN, an infinity, or too large for a float)
// takes the prototype's value; for a curve, the prototype's whole curve.
//
// A file that ends inside a tag or a comment, or with elements still open,
// is cut short and refused (status 2, no tiles). Otherwise the reader takes
// any file without crashing: version numbers saturate, curves are capped
// at kMaxFilterCurvePoints and attribute names at kMaxModAttributes, values
// of another kind than the tile's var holds are ignored, choice texts that
// name no option keep the tile's selection, and "submod" nesting deeper
// than kMaxSubmodDepth is refused with status 2. Only regular files of at most kMaxFilterFileBytes
// are read (a FIFO or a device given as a filter is refused unread), and
// reading costs time in proportion to the file's length, whatever its
// shape (one tag of a hundred thousand attributes included).

#include <cstdint>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class ImageMod;
class XmlNode;

// Status of loadFilterFile.
enum FilterFileStatus : uint32_t {
    kFilterReadClean = 0,
    kFilterFromNewerRelease = 1,  // root version 5 or more; what could be read is returned
    kFilterProblem = 2,           // no "filter" root, or tiles that could not be read
};

// The root version this release writes; roots of 5 or more come from newer releases.
constexpr int32_t kFilterFileVersion = 4;
// Control points read per curve; the rest of a longer curve text is ignored.
constexpr int32_t kMaxFilterCurvePoints = 1024;
// Distinct attribute names read per tile; further names are ignored.
constexpr int32_t kMaxModAttributes = 256;
// "submod" elements nested deeper than this are not read.
constexpr int32_t kMaxSubmodDepth = 64;
// Filter files larger than this are refused unread: a real filter is a few
// kilobytes, and a bundle's largest a few hundred.
constexpr int64_t kMaxFilterFileBytes = int64_t(64) << 20;

// Appends the elements of one tile ("submod" first for a compound, then its
// "mod") to parent.
void modToXml(const ImageMod& mod, XmlNode& parent);

// Writes the chain to path through a temporary file in the same folder that
// is synced and renamed over the target, so a failed save never leaves a
// truncated file. An empty chain writes nothing and returns false. Returns
// true when the file was written completely.
bool saveFilterFile(const GrowArray<ImageMod*>& mods, const GrowString& path);

// Reads the file into out (new tiles, owned by the caller; out is emptied
// first without deleting what it held). prototypes are only read. status is
// one of FilterFileStatus. reason, when given, receives why the status is 2
// (the first problem met, in a few words: "cannot open: ...", "is not a
// regular file", "is cut short: it ends inside a tag", "is not a filter
// file (no "filter" element)", "names a tile this program does not have:
// "NAME"" with the name's control characters escaped, ...), and is left
// alone otherwise.
void loadFilterFile(GrowArray<ImageMod*>& out, const GrowString& path,
                    const GrowArray<ImageMod*>& prototypes, uint32_t& status, GrowString* reason = nullptr);

// Builds tiles from the children of parent and appends them to out.
// compounds receives the templates made from "submod" elements; they are
// owned by the caller, who deletes them when the reading is done (they are
// templates only, never part of the result).
// reason as for loadFilterFile: set with the first problem when it is empty.
void xmlToModList(GrowArray<ImageMod*>& out, const XmlNode& parent, GrowArray<ImageMod*>& compounds,
                  const GrowArray<ImageMod*>& prototypes, uint32_t& status, GrowString* reason = nullptr);

// Builds one tile from a "mod" element: a clone of the last entry of
// compounds with the element's name, else of the last such prototype, with
// the element's flags, version, attributes and var values. Null (and
// status 2) when neither list has a tile of that name.
ImageMod* xmlToMod(const XmlNode& element, const GrowArray<ImageMod*>& compounds,
                   const GrowArray<ImageMod*>& prototypes, uint32_t& status, GrowString* reason = nullptr);

// A name as it may be printed on one line: control characters (bytes below
// 32 and 127) and the backslash written as C escapes (\n, \t, \r, \\,
// \xHH); every other byte, UTF-8 included, as it stands.
GrowString printableName(const GrowString& name);
