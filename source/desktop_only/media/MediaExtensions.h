#pragma once
// The file extensions the open flows offer.

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

// The extensions (lower case, without the dot) that can be opened: jpg jpeg
// png tif tiff psd pli and the camera raw formats.
GrowArray<GrowString> supportedOpenExtensions();

// True when the path's extension is one of them, in any letter case.
bool hasSupportedOpenExtension(const GrowString& path);
