#include "MediaExtensions.h"

#include "MediaFileIo.h"
#include "RawDecoder.h"

#include <QFileInfo>

namespace {

// The formats decoded through Qt's image readers and the intermediate file;
// the camera raw formats follow them in the open dialog's list.
const char* const kImageExtensions[] = {"jpg", "jpeg", "png", "tif", "tiff", "psd", "pli"};

}  // namespace

GrowArray<GrowString> supportedOpenExtensions() {
    GrowArray<GrowString> extensions;
    for (const char* extension : kImageExtensions) extensions.append(GrowString(extension));
    for (const char* const* raw = rawExtensions(); *raw; ++raw) extensions.append(GrowString(*raw));
    return extensions;
}

bool hasSupportedOpenExtension(const GrowString& path) {
    const QString suffix = QFileInfo(qtPath(path)).suffix().toLower();
    if (suffix.isEmpty()) return false;
    for (const char* extension : kImageExtensions) {
        if (suffix == QLatin1String(extension)) return true;
    }
    return isRawExtension(suffix);
}
