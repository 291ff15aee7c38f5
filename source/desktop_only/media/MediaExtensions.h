#pragma once
// The one table of image file extensions: which kind of file each names,
// whether the loader reads it and whether the saver writes it. The open
// flows offer what is read, the save flows and the render tool what is
// written.
//
//   extension        kind       read  written
//   jpg jpeg jpe     JPEG       yes   yes (jpe: read only)
//   png              PNG        yes   yes
//   tif tiff         TIFF       yes   yes
//   psd              Photoshop  yes   no
//   pli              .pli       yes   yes
//   camera raw       raw        yes   no   (RawDecoder.h lists them)

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class QString;

enum class ImageFileKind { Unknown, Jpeg, Png, Tiff, Psd, Pli, Raw };

// The kind of file a lower-case extension (without the dot) names for
// reading; Unknown for every other extension and for none.
ImageFileKind readKindOfExtension(const QString& suffix);
// The kind the saver writes for a lower-case extension: Jpeg, Png, Tiff or
// Pli; Unknown when the saver writes no file of that extension.
ImageFileKind writeKindOfExtension(const QString& suffix);

// The extensions (lower case, without the dot) that can be opened: jpg jpeg
// jpe png tif tiff psd pli and the camera raw formats.
GrowArray<GrowString> supportedOpenExtensions();
// The extensions the saver writes: jpg jpeg png tif tiff pli.
GrowArray<GrowString> supportedSaveExtensions();

// True when the path's extension is one that can be opened, in any letter case.
bool hasSupportedOpenExtension(const GrowString& path);
