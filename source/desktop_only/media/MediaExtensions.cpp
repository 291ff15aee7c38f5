#include "MediaExtensions.h"

#include "MediaFileIo.h"
#include "RawDecoder.h"

#include <QFileInfo>
#include <QString>

namespace {

// The formats decoded through Qt's image readers and the intermediate file;
// the camera raw formats follow them in the open dialog's list.
struct ExtensionEntry {
    const char* extension;
    ImageFileKind kind;
    bool written;
};
const ExtensionEntry kExtensions[] = {
    {"jpg", ImageFileKind::Jpeg, true},  {"jpeg", ImageFileKind::Jpeg, true}, {"jpe", ImageFileKind::Jpeg, false},
    {"png", ImageFileKind::Png, true},   {"tif", ImageFileKind::Tiff, true},  {"tiff", ImageFileKind::Tiff, true},
    {"psd", ImageFileKind::Psd, false},  {"pli", ImageFileKind::Pli, true},
};

}  // namespace

ImageFileKind readKindOfExtension(const QString& suffix) {
    for (const ExtensionEntry& entry : kExtensions)
        if (suffix == QLatin1String(entry.extension)) return entry.kind;
    if (!suffix.isEmpty() && isRawExtension(suffix)) return ImageFileKind::Raw;
    return ImageFileKind::Unknown;
}

ImageFileKind writeKindOfExtension(const QString& suffix) {
    for (const ExtensionEntry& entry : kExtensions)
        if (entry.written && suffix == QLatin1String(entry.extension)) return entry.kind;
    return ImageFileKind::Unknown;
}

GrowArray<GrowString> supportedOpenExtensions() {
    GrowArray<GrowString> extensions;
    for (const ExtensionEntry& entry : kExtensions) extensions.append(GrowString(entry.extension));
    for (const char* const* raw = rawExtensions(); *raw; ++raw) extensions.append(GrowString(*raw));
    return extensions;
}

GrowArray<GrowString> supportedSaveExtensions() {
    GrowArray<GrowString> extensions;
    for (const ExtensionEntry& entry : kExtensions)
        if (entry.written) extensions.append(GrowString(entry.extension));
    return extensions;
}

bool hasSupportedOpenExtension(const GrowString& path) {
    const QString suffix = QFileInfo(qtPath(path)).suffix().toLower();
    return readKindOfExtension(suffix) != ImageFileKind::Unknown;
}
