#pragma once
// Preferences: the typed key-value store of the user's settings and its
// file, "PellucinePrefs.xml" in the application's support folder.
//
// Every setting is one top-level element named after its key, holding its
// value as text and its kind in the attribute "type" ("string", "int",
// "bool", "float", "string array"), e.g.
//     <CurrentTab type="int">0</CurrentTab>
// The file is these elements one after another, in the order the keys were
// first created. Reading a missing key creates it with the caller's default
// (in memory only), so the file written at exit lists every key the program
// asked for; a key stored with another type reads as the caller's default
// and keeps its stored value. Numbers are written and read in the C locale.
//
// The file is written to a temporary file beside it, flushed to disk and
// renamed over the old one, so a failed write leaves the old file intact.
// The new file has the old one's mode plus the owner's read and write
// permission (0600 when there was no old file).
// The store is used from the interface thread only; it has no lock.
//
// A file that is not a preferences file the program could have written is
// unreadable: one larger than kMaxPreferencesFileBytes, one that ends inside
// a tag or a comment or with elements open, or one with a top-level entry
// without a "type". So is a regular file that cannot be opened or read (no
// read permission for this user, an I/O error). It is never read in part and written back: it is set
// aside beside itself as "PellucinePrefs.xml.unreadable" (".unreadable.2",
// ".unreadable.3", ... when that name is taken), a line on standard output
// says so and why, and the store starts empty. When it cannot be set aside
// it stays as it is, and the store never writes over it.

#include "GrowArray.h"
#include "GrowString.h"
#include "XmlNode.h"

// The preferences file the program writes is a few kilobytes; a larger one
// is not read.
constexpr int64_t kMaxPreferencesFileBytes = int64_t(1) << 20;

class Preferences {
public:
    GrowString path;  // full path of the preferences file
    XmlNode root;     // its children are the settings

    // Loads the file at filePath; a missing file gives an empty store, an
    // unreadable one is set aside (see above) and gives an empty store.
    explicit Preferences(const GrowString& filePath);
    // Writes the file, then frees the tree.
    ~Preferences();
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // Sets the key's text and type, creating the key at the end when it is
    // new; writes the file when saveNow. Returns the key's element (valid
    // until the next key is created).
    XmlNode* setValue(const GrowString& key, const GrowString& text, const GrowString& type, bool saveNow);
    void setString(const GrowString& key, const GrowString& value, bool saveNow = false);
    void setInt(const GrowString& key, int32_t value, bool saveNow = false);
    void setBool(const GrowString& key, bool value, bool saveNow = false);
    // Numbers and lists never write the file themselves.
    void setFloat(const GrowString& key, float value);
    // Replaces the key's "Item" children with one per string.
    void setStringArray(const GrowString& key, const GrowArray<GrowString>& strings);

    GrowString getString(const GrowString& key, const GrowString& defaultValue);
    // strtod of the text, truncated toward zero (clamped to the 32-bit range;
    // a text that is no number reads as 0).
    int32_t getInt(const GrowString& key, int32_t defaultValue);
    // True when strtod of the text is not 0.
    bool getBool(const GrowString& key, bool defaultValue);
    // strtod of the text as a float; a value that is not finite reads as
    // the default.
    float getFloat(const GrowString& key, float defaultValue);
    // The texts of the key's "Item" children, in order.
    GrowArray<GrowString> getStringArray(const GrowString& key, const GrowArray<GrowString>& defaultValue);

    // Writes every setting to the file (see above). Creates the file's own
    // folder when only that last level is missing. Returns whether the new
    // file is in place; false, touching nothing, when the file found at
    // start was unreadable and could not be set aside.
    bool writeFile() const;

private:
    bool keepUnreadableFile_ = false;  // an unreadable file is in the way: never write over it

    void load();
    // Moves the unreadable file aside and reports it on standard output.
    void setAside(const GrowString& why);
    XmlNode* find(const GrowString& key);
    // The key's element, created with the default text and type when missing.
    XmlNode* findOrCreate(const GrowString& key, const GrowString& defaultText, const GrowString& type);
};

// The process-wide store on applicationSupportFolder() + "PellucinePrefs.xml":
// loaded on first use (it needs no Qt object, so it works before the
// application object exists) and written again when the process exits.
Preferences& globalPreferences();
