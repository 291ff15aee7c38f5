// MainWindow: the preset folders: made on the first start, archived and
// migrated when the stored default-filters version is older than this
// program's, and filled with the default favourite bundle.
//
// Copies and removals go through the shell-free folder functions. Nothing
// of the user's is lost on a failed step: a legacy folder is removed only
// after a copy that succeeded, and when the archive of the old presets could
// not be made, the default bundle adds only presets whose names are free.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include "desktop_only/app/MainWindowPrivate.h"
#include "foundation/Preferences.h"
#include "framework/PresetBundle.h"
#include "platform/FileOperations.h"

namespace {

constexpr float kDefaultFiltersVersion = 3.1f;  // the version of the bundle this program carries

bool isFolder(const GrowString& path) { return QFileInfo(QFile::decodeName(path.c_str())).isDir(); }

GrowString joined(const GrowString& base, const char* tail) {
    GrowString path = base;
    path.append(tail);
    return path;
}

// Copies every file below source into destination where no file of that
// name exists yet.
void addMissingFiles(const GrowString& source, const GrowString& destination) {
    const QString from = QFile::decodeName(source.c_str());
    const QString to = QFile::decodeName(destination.c_str());
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + "/" + QDir(from).relativeFilePath(file);
        if (QFileInfo::exists(target)) continue;
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::copy(file, target);
    }
}

}  // namespace

void setUpPresetFoldersIn(const GrowString& dataFolder, Preferences& preferences, const QString& bundleResource,
                          bool& migrated, bool& outdated) {
    migrated = false;
    outdated = false;
    ensureFolderExists(dataFolder);
    const GrowString presets = joined(dataFolder, "Presets/");
    const GrowString archives = joined(dataFolder, "Presets Archive/");
    const bool presetsExist = isFolder(presets);

    // The stored version, read in the C locale whatever the user's locale
    // (the application object sets the C library's locale from the
    // environment, and "3.100000" must not read as 3 under a decimal comma).
    // A missing key is created as "3.100000"; a key of another type, or one
    // whose text is no finite float ("nan", "inf", "1e39"), reads as 3.1:
    // it is no version, so it neither migrates presets that exist nor
    // counts as outdated.
    const float version = preferences.getFloat(GrowString("DefaultFiltersVersion"), kDefaultFiltersVersion);
    if (presetsExist && version >= kDefaultFiltersVersion) return;

    outdated = version < kDefaultFiltersVersion;
    bool archived = true;
    if (presetsExist) {
        GrowString archive;
        for (int n = 1;; ++n) {
            archive = joined(archives, "Archive ");
            archive.appendInt(n);
            if (!isFolder(archive)) break;
        }
        archived = copyFolderContents(presets, archive);
    }

    static const char* const kLegacy[][2] = {
        {"Custom Filters/", "Presets/Presets 2.0/"},
        {"My Styles/", "Presets/Presets 2.6/"},
        {"Presets/Default Presets/", "Presets/Presets 2.7/"},
    };
    for (const auto& legacy : kLegacy) {
        const GrowString source = joined(dataFolder, legacy[0]);
        if (!isFolder(source)) continue;
        // The source goes only once everything of it is in its new place.
        if (copyFolderContents(source, joined(dataFolder, legacy[1]))) removePath(source);
        else std::printf("kept %s: its copy failed\n", source.c_str());
    }

    const GrowString bundle = joined(dataFolder, "tempbundle.bnd");
    if (QFileInfo::exists(QFile::decodeName(bundle.c_str()))) removePath(bundle);
    QFile::copy(bundleResource, QFile::decodeName(bundle.c_str()));
    QFile::setPermissions(QFile::decodeName(bundle.c_str()), QFile::ReadOwner | QFile::WriteOwner);
    ensureFolderExists(presets);
    if (archived) {
        unpackBundle(bundle, presets);
    } else {
        // Without an archive the user's presets must not be replaced by
        // defaults of the same name: unpack aside, add what is missing.
        const GrowString aside = joined(dataFolder, "tempbundle/");
        removePath(aside);
        if (unpackBundle(bundle, aside)) addMissingFiles(aside, presets);
        removePath(aside);
    }
    removePath(bundle);
    std::fflush(stdout);
    migrated = true;
}

void MainWindow::setUpPresetFolders() {
    setUpPresetFoldersIn(applicationSupportFolder(), globalPreferences(), ":/prefs/default_favorite_filters_photo.bnd",
                         d->presetsMigrated, d->filtersOutdated);
}
