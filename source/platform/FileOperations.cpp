#include "FileOperations.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "foundation/GrowString.h"

namespace fs = std::filesystem;

namespace {

fs::path toPath(const GrowString& text) {
    return fs::path(text.c_str());
}

// Whether inner is outer or lies inside it, comparing the resolved paths
// component by component.
bool isSameOrInside(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o) {
        if (o->empty()) continue;  // the empty name a trailing "/" leaves
        while (i != inner.end() && i->empty()) ++i;
        if (i == inner.end() || *i != *o) return false;
        ++i;
    }
    return true;
}

}  // namespace

bool ensureFolderExists(const GrowString& path) {
    if (path.isEmpty()) return false;
    const fs::path folder = toPath(path);
    std::error_code error;
    if (fs::is_directory(folder, error)) return true;
    fs::create_directories(folder, error);
    return fs::is_directory(folder, error);
}

bool removePath(const GrowString& path) {
    if (path.isEmpty()) return false;
    const fs::path target = toPath(path);
    std::error_code error;
    fs::remove_all(target, error);
    if (error) return false;
    return !fs::exists(fs::symlink_status(target, error));
}

bool copyFolderContents(const GrowString& source, const GrowString& destination) {
    std::printf("copying contents of %s into %s\n", source.c_str(), destination.c_str());
    std::fflush(stdout);
    if (source.isEmpty() || destination.isEmpty()) return false;
    std::error_code error;
    const fs::path from = toPath(source);
    if (!fs::is_directory(from, error)) return false;
    const fs::path resolvedFrom = fs::canonical(from, error);
    if (error) return false;
    const fs::path resolvedTo = fs::weakly_canonical(toPath(destination), error);
    if (error || isSameOrInside(resolvedTo, resolvedFrom)) return false;
    if (!ensureFolderExists(destination)) return false;

    const fs::path to = toPath(destination);
    const auto options =
        fs::copy_options::recursive | fs::copy_options::overwrite_existing | fs::copy_options::copy_symlinks;
    bool allCopied = true;
    fs::directory_iterator entries(from, error);
    if (error) return false;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path& entry = entries->path();
        std::error_code copyError;
        fs::copy(entry, to / entry.filename(), options, copyError);
        if (copyError) allCopied = false;
        if (error) break;
    }
    return allCopied && !error;
}
