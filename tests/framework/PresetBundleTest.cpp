// Preset bundles: unpacking flat and nested archives, damaged archives, and
// names that try to leave the target folder.
#include <gtest/gtest.h>

#include <QResource>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/PresetBundle.h"

namespace fs = std::filesystem;

namespace {

void appendU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

// One archive record.
std::string record(const std::string& name, const std::string& data) {
    std::string out = "FILE";
    appendU32(out, static_cast<uint32_t>(name.size()));
    out += name;
    appendU32(out, static_cast<uint32_t>(data.size()));
    return out + data;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Every path below root, relative, sorted; folders end in "/".
std::vector<std::string> listTree(const fs::path& root) {
    std::vector<std::string> names;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        std::string name = fs::relative(it->path(), root).string();
        if (it->is_directory() && !it->is_symlink()) name += "/";
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void appendU32BigEndian(std::string& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void appendU16BigEndian(std::string& out, uint16_t v) {
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v & 0xff);
}

// Qt's resource name hash.
uint32_t resourceHash(const std::string& name) {
    uint32_t h = 0;
    for (unsigned char c : name) {
        h = (h << 4) + c;
        h ^= (h & 0xf0000000u) >> 23;
        h &= 0x0fffffffu;
    }
    return h;
}

// A compiled resource tree (format version 1) holding one uncompressed file
// at ":/<folder>/<file>", as the resource compiler would build it.
std::string resourceImage(const std::string& folder, const std::string& file, const std::string& data) {
    std::string names;
    auto addName = [&names](const std::string& name) {
        const uint32_t offset = static_cast<uint32_t>(names.size());
        appendU16BigEndian(names, static_cast<uint16_t>(name.size()));
        appendU32BigEndian(names, resourceHash(name));
        for (unsigned char c : name) appendU16BigEndian(names, c);  // ASCII as UTF-16
        return offset;
    };
    const uint32_t folderName = addName(folder);
    const uint32_t fileName = addName(file);

    std::string payload;
    appendU32BigEndian(payload, static_cast<uint32_t>(data.size()));
    payload += data;

    // Nodes of 14 bytes: name offset, flags, then a folder's child count and
    // first child, or a file's country, language and data offset.
    std::string tree;
    appendU32BigEndian(tree, 0);  // the root folder
    appendU16BigEndian(tree, 2);
    appendU32BigEndian(tree, 1);
    appendU32BigEndian(tree, 1);
    appendU32BigEndian(tree, folderName);
    appendU16BigEndian(tree, 2);
    appendU32BigEndian(tree, 1);
    appendU32BigEndian(tree, 2);
    appendU32BigEndian(tree, fileName);
    appendU16BigEndian(tree, 0);
    appendU16BigEndian(tree, 0);  // any country
    appendU16BigEndian(tree, 1);  // the C locale: found whatever the locale
    appendU32BigEndian(tree, 0);

    const uint32_t headerSize = 20;
    std::string image = "qres";
    appendU32BigEndian(image, 1);
    appendU32BigEndian(image, headerSize);                                            // tree
    appendU32BigEndian(image, headerSize + static_cast<uint32_t>(tree.size()));      // data
    appendU32BigEndian(image, headerSize + static_cast<uint32_t>(tree.size() + payload.size()));  // names
    return image + tree + payload + names;
}

class PresetBundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "bundle-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directory(root_ / "target");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Writes the archive and unpacks it into root/target.
    bool unpack(const std::string& archive, const std::string& folder = "target") {
        writeFile(root_ / "in.bnd", archive);
        return unpackBundle(GrowString((root_ / "in.bnd").c_str()), GrowString((root_ / folder).c_str()));
    }
    std::vector<std::string> target() const { return listTree(root_ / "target"); }
    std::string fileIn(const std::string& name) const { return readFile(root_ / "target" / name); }

    fs::path root_;
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(PresetBundleTest, FlatAndNestedBundles) {
    struct Case {
        const char* what;
        std::string archive;
        Names tree;
    };
    const std::string group = record("Mattes 01.plf", "<filter/>1") + record("Mattes 02.plf", "<filter/>2");
    const Case cases[] = {
        {"empty archive", "", {}},
        {"zero data length", record("empty.plf", ""), {"empty.plf"}},
        {"two files", record("a.plf", "A") + record("b.plf", "BB"), {"a.plf", "b.plf"}},
        {"four stray bytes", "junk" + record("a.plf", "A"), {"a.plf"}},
        {"nested bundle", record("Mattes.bnd", group) + record("loose.plf", "L"),
         {"Mattes/", "Mattes/Mattes 01.plf", "Mattes/Mattes 02.plf", "loose.plf"}},
        {"a dot in the group name", record("Vol. 2.bnd", group), {"Vol. 2/", "Vol. 2/Mattes 01.plf", "Vol. 2/Mattes 02.plf"}},
        {"two levels", record("Outer.bnd", record("Inner.bnd", record("x.plf", "X"))), {"Outer/", "Outer/Inner/", "Outer/Inner/x.plf"}},
        {"an empty nested bundle", record("None.bnd", ""), {}},
        {"a name without a dot is a file", record("README", "text") + record("bnd", "x"), {"README", "bnd"}},
        {"only the last extension counts", record("x.bnd.plf", "F"), {"x.bnd.plf"}},
        {"truncated data leaves a short file", record("a.plf", "A") + record("cut.plf", "123456").substr(0, 20),
         {"a.plf", "cut.plf"}},
        {"truncated before the data length", record("a.plf", "A") + record("cut.plf", "123456").substr(0, 12),
         {"a.plf"}},
        {"truncated tag", record("a.plf", "A") + "FI", {"a.plf"}},
    };
    for (const Case& c : cases) {
        fs::remove_all(root_ / "target");
        EXPECT_TRUE(unpack(c.archive)) << c.what;
        EXPECT_EQ(listTree(root_ / "target"), c.tree) << c.what;
    }
    fs::remove_all(root_ / "target");
    unpack(record("Mattes.bnd", group) + record("zero.plf", ""));
    EXPECT_EQ(fileIn("Mattes/Mattes 02.plf"), "<filter/>2");
    EXPECT_EQ(fileIn("zero.plf"), "");
    fs::remove_all(root_ / "target");
    unpack(record("a.plf", "A") + record("cut.plf", "123456").substr(0, 20));
    EXPECT_EQ(fileIn("cut.plf"), "1");
}

TEST_F(PresetBundleTest, UnpackingAgainOverwrites) {
    unpack(record("a.plf", "first version") + record("G.bnd", record("g.plf", "first")));
    unpack(record("a.plf", "second") + record("G.bnd", record("g.plf", "2nd")));
    EXPECT_EQ(fileIn("a.plf"), "second");
    EXPECT_EQ(fileIn("G/g.plf"), "2nd");
    EXPECT_EQ(target(), (Names{"G/", "G/g.plf", "a.plf"}));
}

TEST_F(PresetBundleTest, NamesNeverLeaveTheTargetFolder) {
    const std::string names[] = {
        "../escape.plf", "../../escape.plf", "/tmp/escape.plf", "sub/escape.plf", "..\\escape.plf",
        "sub\\escape.plf", "..", ".", "", std::string("a\0b.plf", 7), "a..b.plf", "../escape.bnd",
    };
    for (const std::string& name : names) {
        fs::remove_all(root_ / "target");
        // The good record after the bad one is still found.
        EXPECT_TRUE(unpack(record(name, "bad") + record("good.plf", "ok"))) << name;
        EXPECT_EQ(target(), (Names{"good.plf"})) << name;
        EXPECT_EQ(listTree(root_), (Names{"in.bnd", "target/", "target/good.plf"})) << name;
    }
    // Inside a nested bundle too.
    fs::remove_all(root_ / "target");
    unpack(record("G.bnd", record("../up.plf", "bad") + record("in.plf", "ok")));
    EXPECT_EQ(listTree(root_), (Names{"in.bnd", "target/", "target/G/", "target/G/in.plf"}));
}

TEST_F(PresetBundleTest, OnlyFilesItWroteAreRemoved) {
    // A folder named like a nested bundle cannot be written: it is neither
    // unpacked nor deleted.
    fs::create_directories(root_ / "target" / "Keep.bnd");
    writeFile(root_ / "target" / "Keep.bnd" / "mine.txt", "user data");
    // A link planted under a record's name is not written through.
    writeFile(root_ / "outside.txt", "untouched");
    fs::create_symlink(root_ / "outside.txt", root_ / "target" / "link.plf");
    unpack(record("Keep.bnd", record("x.plf", "X")) + record("link.plf", "overwritten?"));
    EXPECT_EQ(readFile(root_ / "target" / "Keep.bnd" / "mine.txt"), "user data");
    EXPECT_FALSE(fs::exists(root_ / "target" / "Keep"));
    EXPECT_EQ(readFile(root_ / "outside.txt"), "untouched");
}

TEST_F(PresetBundleTest, RefusesAnEmptyTargetAndMissingArchives) {
    const fs::path before = fs::current_path();
    fs::current_path(root_);
    writeFile(root_ / "in.bnd", record("stray.plf", "x"));
    EXPECT_FALSE(unpackBundle(GrowString((root_ / "in.bnd").c_str()), GrowString("")));
    EXPECT_FALSE(unpackBundle(GrowString((root_ / "in.bnd").c_str()), GrowString()));
    fs::current_path(before);
    EXPECT_FALSE(fs::exists(root_ / "stray.plf"));
    EXPECT_FALSE(fs::exists("/stray.plf"));
    EXPECT_FALSE(unpackBundle(GrowString((root_ / "missing.bnd").c_str()), GrowString((root_ / "target").c_str())));
    EXPECT_FALSE(unpackBundle(GrowString(""), GrowString((root_ / "target").c_str())));
    EXPECT_EQ(target(), Names{});
}

TEST_F(PresetBundleTest, HostileLengthsAndNesting) {
    // A name length far beyond the archive: reading stops, nothing is made.
    std::string hugeName = "FILE";
    appendU32(hugeName, 0xffffffffu);
    hugeName += "abc";
    EXPECT_TRUE(unpack(record("a.plf", "A") + hugeName));
    EXPECT_EQ(target(), (Names{"a.plf"}));

    // A data length far beyond the archive: a short file.
    fs::remove_all(root_ / "target");
    std::string hugeData = "FILE";
    appendU32(hugeData, 5);
    hugeData += "b.plf";
    appendU32(hugeData, 0xfffffff0u);
    hugeData += "xyz";
    EXPECT_TRUE(unpack(hugeData));
    EXPECT_EQ(fileIn("b.plf"), "xyz");

    // A long name is skipped without losing the record after it.
    fs::remove_all(root_ / "target");
    EXPECT_TRUE(unpack(record(std::string(5000, 'n') + ".plf", "x") + record("c.plf", "C")));
    EXPECT_EQ(target(), (Names{"c.plf"}));

    // Bundles nested far deeper than any shipped one end without harm.
    fs::remove_all(root_ / "target");
    std::string nested = record("leaf.plf", "L");
    for (int level = 0; level < 40; ++level) nested = record("n.bnd", nested);
    EXPECT_TRUE(unpack(nested));
    const Names tree = target();
    EXPECT_FALSE(tree.empty());
    EXPECT_EQ(std::count_if(tree.begin(), tree.end(), [](const std::string& n) { return n.find("leaf") != std::string::npos; }), 0);
}

// A name is written as long as a file name can be (255 bytes); one byte
// more is skipped, as the packer refuses it, and the next record still comes.
TEST_F(PresetBundleTest, NamesUpToAFileNameAreWritten) {
    const std::string longest = std::string(kMaxBundleNameBytes - 4, 'a') + ".plf";
    const std::string beyond = std::string(kMaxBundleNameBytes - 3, 'b') + ".plf";
    EXPECT_TRUE(isWritableBundleName(longest.data(), longest.size()));
    EXPECT_FALSE(isWritableBundleName(beyond.data(), beyond.size()));
    EXPECT_TRUE(unpack(record(longest, "L") + record(beyond, "B") + record("c.plf", "C")));
    EXPECT_EQ(target(), (Names{longest, "c.plf"}));
    EXPECT_EQ(fileIn(longest), "L");
}

TEST_F(PresetBundleTest, UnpacksFromQtResources) {
    const std::string bundle = record("Group.bnd", record("g.plf", "G")) + record("top.plf", "T");
    // Qt reads the registered image in place: it must outlive the test.
    static std::string image;
    image = resourceImage("bundletest", "shipped.bnd", bundle);
    ASSERT_TRUE(QResource::registerResource(reinterpret_cast<const uchar*>(image.data())));
    EXPECT_TRUE(unpackBundle(GrowString(":/bundletest/shipped.bnd"), GrowString((root_ / "target").c_str())));
    EXPECT_EQ(target(), (Names{"Group/", "Group/g.plf", "top.plf"}));
    EXPECT_EQ(fileIn("Group/g.plf"), "G");
    EXPECT_FALSE(unpackBundle(GrowString(":/bundletest/none.bnd"), GrowString((root_ / "target").c_str())));
    QResource::unregisterResource(reinterpret_cast<const uchar*>(image.data()));
}
