#include "Preferences.h"

#include "TextNumbers.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kTypeString = "string";
const char* const kTypeInt = "int";
const char* const kTypeBool = "bool";
const char* const kTypeFloat = "float";
const char* const kTypeStringArray = "string array";
const char* const kItemTag = "Item";

GrowString intText(int32_t value) {
    GrowString text("");
    appendFormat(text, "%i", value);
    return text;
}

GrowString floatText(float value) {
    GrowString text("");
    appendFormat(text, "%f", static_cast<double>(value));
    return text;
}

bool hasType(const XmlNode& element, const char* type) { return element.attribute(GrowString("type")) == type; }

}  // namespace

Preferences::Preferences(const GrowString& filePath) : path(filePath) {
    path.terminate();
    load();
}

void Preferences::load() {
    XmlReadReport report;
    GrowString reason("");
    if (!readXmlFile(root, path, kMaxPreferencesFileBytes, &reason, &report)) {
        // Missing or not a file: an empty store. A file too large to read, or
        // one that is there but cannot be opened or read (no read permission,
        // an I/O error), is in the way of the one written at exit: the rename
        // would replace it unread, so it is set aside like a damaged one.
        if (report.overLimit) {
            GrowString why("");
            appendFormat(why, "larger than %lld MB", static_cast<long long>(kMaxPreferencesFileBytes >> 20));
            setAside(why);
        } else {
            struct stat info;
            if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) setAside(reason);
        }
        return;
    }
    GrowString why = report.ending();
    for (int32_t i = 0; i < root.children.count && why.isEmpty(); ++i) {
        if (root.children[i].attribute(GrowString("type")).isEmpty()) why = GrowString("an entry has no \"type\"");
    }
    if (why.isEmpty()) return;
    root = XmlNode();
    setAside(why);
}

namespace {

// Renames from to to unless to exists; errno EEXIST when it does.
bool renameWithoutReplacing(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without that flag: a new link fails on a name in use.
    if (::link(from, to) != 0) return false;
    ::unlink(from);
    return true;
}

// Names tried for a file set aside: ".unreadable", then ".unreadable.2" up
// to this number.
constexpr int kMaxSetAsideNames = 100;

}  // namespace

void Preferences::setAside(const GrowString& why) {
    int error = 0;
    for (int n = 1; n <= kMaxSetAsideNames; ++n) {
        GrowString aside = path;
        aside.append(".unreadable");
        if (n > 1) appendFormat(aside, ".%d", n);
        if (renameWithoutReplacing(path.c_str(), aside.c_str())) {
            std::printf("preferences file %s is unreadable (%s): set aside as %s; starting with default settings\n",
                        path.c_str(), why.c_str(), aside.c_str());
            std::fflush(stdout);
            return;
        }
        error = errno;
        if (error != EEXIST) break;
    }
    keepUnreadableFile_ = true;
    std::printf("preferences file %s is unreadable (%s) and could not be set aside (%s): it is kept, and the "
                "settings of this session are not saved\n",
                path.c_str(), why.c_str(), std::strerror(error));
    std::fflush(stdout);
}

Preferences::~Preferences() { writeFile(); }

XmlNode* Preferences::find(const GrowString& key) { return root.findChild(key); }

XmlNode* Preferences::setValue(const GrowString& key, const GrowString& text, const GrowString& type, bool saveNow) {
    XmlNode* element = find(key);
    if (!element) element = root.addChild(key, GrowString(""));
    element->text = text;
    element->setAttribute(GrowString("type"), type);
    if (saveNow) writeFile();
    return element;
}

XmlNode* Preferences::findOrCreate(const GrowString& key, const GrowString& defaultText, const GrowString& type) {
    XmlNode* element = find(key);
    if (!element) element = setValue(key, defaultText, type, false);
    return element;
}

void Preferences::setString(const GrowString& key, const GrowString& value, bool saveNow) {
    setValue(key, value, GrowString(kTypeString), saveNow);
}

void Preferences::setInt(const GrowString& key, int32_t value, bool saveNow) {
    setValue(key, intText(value), GrowString(kTypeInt), saveNow);
}

void Preferences::setBool(const GrowString& key, bool value, bool saveNow) {
    setValue(key, intText(value ? 1 : 0), GrowString(kTypeBool), saveNow);
}

void Preferences::setFloat(const GrowString& key, float value) {
    setValue(key, floatText(value), GrowString(kTypeFloat), false);
}

void Preferences::setStringArray(const GrowString& key, const GrowArray<GrowString>& strings) {
    const GrowArray<GrowString> items(strings);
    XmlNode* element = find(key);
    if (!element) element = root.addChild(key, GrowString(""));  // an existing one keeps its text
    element->setAttribute(GrowString("type"), GrowString(kTypeStringArray));
    element->children.destroy();
    for (int32_t i = 0; i < items.count; ++i) element->addChild(GrowString(kItemTag), items[i]);
}

GrowString Preferences::getString(const GrowString& key, const GrowString& defaultValue) {
    const GrowString fallback(defaultValue);
    const XmlNode* element = findOrCreate(key, fallback, GrowString(kTypeString));
    if (!hasType(*element, kTypeString)) return fallback;
    return element->text;
}

int32_t Preferences::getInt(const GrowString& key, int32_t defaultValue) {
    const XmlNode* element = findOrCreate(key, intText(defaultValue), GrowString(kTypeInt));
    if (!hasType(*element, kTypeInt)) return defaultValue;
    const double value = cStrtod(element->text.c_str(), nullptr);
    // Truncated toward zero; "nan" and values past the 32-bit range would be
    // undefined as a conversion, so they are clamped.
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return 2147483647;
    if (value <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int32_t>(value);
}

bool Preferences::getBool(const GrowString& key, bool defaultValue) {
    const XmlNode* element = findOrCreate(key, intText(defaultValue ? 1 : 0), GrowString(kTypeBool));
    if (!hasType(*element, kTypeBool)) return defaultValue;
    return cStrtod(element->text.c_str(), nullptr) != 0.0;
}

float Preferences::getFloat(const GrowString& key, float defaultValue) {
    const XmlNode* element = findOrCreate(key, floatText(defaultValue), GrowString(kTypeFloat));
    if (!hasType(*element, kTypeFloat)) return defaultValue;
    const double value = cStrtod(element->text.c_str(), nullptr);
    if (!std::isfinite(value) || std::fabs(value) > 3.4028234663852886e38) return defaultValue;
    return static_cast<float>(value);
}

GrowArray<GrowString> Preferences::getStringArray(const GrowString& key, const GrowArray<GrowString>& defaultValue) {
    const GrowArray<GrowString> fallback(defaultValue);
    if (!find(key)) setStringArray(key, fallback);
    const XmlNode* element = find(key);
    if (!element || !hasType(*element, kTypeStringArray)) return fallback;
    GrowArray<GrowString> result;
    const GrowString itemTag(kItemTag);
    for (int32_t i = 0; i < element->children.count; ++i) {
        if (element->children[i].tag == itemTag) result.append(element->children[i].text);
    }
    return result;
}

bool Preferences::writeFile() const {
    if (path.isEmpty() || keepUnreadableFile_) return false;
    const std::string target(path.c_str());
    const size_t slash = target.rfind('/');
    std::string folder = ".";
    if (slash != std::string::npos) {
        folder = slash == 0 ? std::string("/") : target.substr(0, slash);
        // The program's own folder inside the user's data folder may not
        // exist yet on a first run; the data folder itself is never created
        // here.
        if (slash > 0) ::mkdir(folder.c_str(), 0777);
    }

    // Written beside the target and renamed over it: the old file stays
    // whole until the new one is complete on disk.
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) return false;
    // The new file keeps the old one's mode, plus the owner's read and write
    // permission: a file the owner cannot read would be set aside at the
    // next start. Without an old file it keeps the temporary file's 0600.
    struct stat old;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd, (old.st_mode & 07777) | S_IRUSR | S_IWUSR);
    }
    FILE* file = ::fdopen(fd, "w");
    if (!file) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    bool ok = true;
    for (int32_t i = 0; i < root.children.count && ok; ++i) ok = writeXml(root.children[i], file, 0);
    ok = ok && std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    if (std::fclose(file) != 0) ok = false;
    if (!ok || std::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);  // makes the rename itself durable
        ::close(folderFd);
    }
    return true;
}

Preferences& globalPreferences() {
    static Preferences store(applicationSupportFolder().concat("PellucinePrefs.xml"));
    return store;
}
