#include "foundation/Preferences.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

GrowArray<GrowString> strings(std::initializer_list<const char*> texts) {
    GrowArray<GrowString> result;
    for (const char* t : texts) result.append(GrowString(t));
    return result;
}

std::string elementText(const XmlNode* element) {
    GrowString out("");
    if (element) writeXmlToString(*element, out, 0);
    return out.c_str();
}

class PreferencesTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "prefs-XXXXXX").string();
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        folder_ = pattern;
        path_ = folder_ + "/PellucinePrefs.xml";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::unique_ptr<Preferences> open() { return std::make_unique<Preferences>(GrowString(path_.c_str())); }

    void writeRaw(const std::string& bytes) { std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes; }

    std::string readRaw() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    bool onlyTheFileInFolder() const {
        int entries = 0;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            (void)entry;
            ++entries;
        }
        return entries == 1;
    }

    std::string folder_;
    std::string path_;
};

TEST_F(PreferencesTest, MissingKeyIsCreatedInMemoryAndWrittenAtTheEnd) {
    {
        auto prefs = open();
        EXPECT_EQ(prefs->getInt(GrowString("CurrentTab"), 0), 0);
        EXPECT_EQ(elementText(prefs->root.findChild(GrowString("CurrentTab"))),
                  "<CurrentTab type=\"int\">0</CurrentTab>\n");
        EXPECT_FALSE(fs::exists(path_));
    }
    EXPECT_EQ(readRaw(), "<CurrentTab type=\"int\">0</CurrentTab>\n");
}

TEST_F(PreferencesTest, ExactFileLines) {
    auto prefs = open();
    prefs->setString(GrowString("LastBatchPostfix"), GrowString("_batch"));
    prefs->setInt(GrowString("CurrentTab"), 0);
    prefs->setBool(GrowString("IsFullscreen"), false);
    prefs->setFloat(GrowString("DefaultFiltersVersion"), 3.1f);
    prefs->setStringArray(GrowString("CollapsedToolSections"), strings({"0 Advanced Light", "0 Borders"}));
    prefs->setInt(GrowString("CurrentTab"), -3);  // a key set again keeps its place
    prefs->setBool(GrowString("UseHoverPreviews"), true);
    ASSERT_TRUE(prefs->writeFile());
    EXPECT_EQ(readRaw(),
              "<LastBatchPostfix type=\"string\">_batch</LastBatchPostfix>\n"
              "<CurrentTab type=\"int\">-3</CurrentTab>\n"
              "<IsFullscreen type=\"bool\">0</IsFullscreen>\n"
              "<DefaultFiltersVersion type=\"float\">3.100000</DefaultFiltersVersion>\n"
              "<CollapsedToolSections type=\"string array\">\n"
              "  <Item>0 Advanced Light</Item>\n"
              "  <Item>0 Borders</Item>\n"
              "</CollapsedToolSections>\n"
              "<UseHoverPreviews type=\"bool\">1</UseHoverPreviews>\n");
    EXPECT_TRUE(onlyTheFileInFolder());  // no temporary file left behind
}

TEST_F(PreferencesTest, TypedGettersReadStoredTexts) {
    writeRaw(
        "<IntString type=\"string\">2</IntString>\n"
        "<Int29 type=\"int\">2.9</Int29>\n"
        "<IntMinus29 type=\"int\">-2.9</IntMinus29>\n"
        "<IntAbc type=\"int\">abc</IntAbc>\n"
        "<IntNan type=\"int\">nan</IntNan>\n"
        "<IntHuge type=\"int\">1e30</IntHuge>\n"
        "<IntTiny type=\"int\">-1e30</IntTiny>\n"
        "<BoolHalf type=\"bool\">0.5</BoolHalf>\n"
        "<BoolZero type=\"bool\">0</BoolZero>\n"
        "<BoolAbc type=\"bool\">abc</BoolAbc>\n"
        "<BoolAsInt type=\"int\">1</BoolAsInt>\n"
        "<FloatOk type=\"float\">3.100000</FloatOk>\n"
        "<FloatInf type=\"float\">inf</FloatInf>\n"
        "<FloatHuge type=\"float\">1e300</FloatHuge>\n"
        "<FloatAsString type=\"string\">2.5</FloatAsString>\n"
        "<StringOk type=\"string\">hello world</StringOk>\n"
        "<StringOddType type=\"text\">x</StringOddType>\n");  // (an entry without any type: see below)
    auto prefs = open();
    const struct {
        const char* key;
        int32_t fallback;
        int32_t expected;
    } ints[] = {
        {"IntString", 7, 7},   {"Int29", 7, 2},         {"IntMinus29", 7, -2},      {"IntAbc", 7, 0},
        {"IntNan", 7, 0},      {"IntHuge", 7, INT_MAX}, {"IntTiny", 7, INT_MIN},    {"IntMissing", 85, 85},
    };
    for (const auto& c : ints) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(prefs->getInt(GrowString(c.key), c.fallback), c.expected);
    }
    const struct {
        const char* key;
        bool fallback;
        bool expected;
    } bools[] = {
        {"BoolHalf", false, true}, {"BoolZero", true, false},  {"BoolAbc", true, false},
        {"BoolAsInt", false, false}, {"BoolMissing", true, true},
    };
    for (const auto& c : bools) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(prefs->getBool(GrowString(c.key), c.fallback), c.expected);
    }
    const struct {
        const char* key;
        float fallback;
        float expected;
    } floats[] = {
        {"FloatOk", 0.0f, 3.1f},  {"FloatInf", 1.5f, 1.5f},        {"FloatHuge", 1.5f, 1.5f},
        {"FloatAsString", 1.5f, 1.5f}, {"FloatMissing", 0.25f, 0.25f},
    };
    for (const auto& c : floats) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(prefs->getFloat(GrowString(c.key), c.fallback), c.expected);
    }
    EXPECT_STREQ(prefs->getString(GrowString("StringOk"), GrowString("d")).c_str(), "hello world");
    EXPECT_STREQ(prefs->getString(GrowString("StringOddType"), GrowString("d")).c_str(), "d");
    EXPECT_STREQ(prefs->getString(GrowString("Int29"), GrowString("d")).c_str(), "d");
    EXPECT_STREQ(prefs->getString(GrowString("StringMissing"), GrowString("")).c_str(), "");

    // A key of another type keeps its stored value and type; missing keys
    // were created with the defaults in their text form.
    EXPECT_EQ(elementText(prefs->root.findChild(GrowString("IntString"))), "<IntString type=\"string\">2</IntString>\n");
    EXPECT_EQ(elementText(prefs->root.findChild(GrowString("IntMissing"))), "<IntMissing type=\"int\">85</IntMissing>\n");
    EXPECT_EQ(elementText(prefs->root.findChild(GrowString("BoolMissing"))), "<BoolMissing type=\"bool\">1</BoolMissing>\n");
    EXPECT_EQ(elementText(prefs->root.findChild(GrowString("FloatMissing"))),
              "<FloatMissing type=\"float\">0.250000</FloatMissing>\n");
    // The next set of such a key replaces text and type.
    prefs->setInt(GrowString("IntString"), 4);
    EXPECT_EQ(prefs->getInt(GrowString("IntString"), 7), 4);
}

TEST_F(PreferencesTest, StringArrays) {
    auto prefs = open();
    const GrowArray<GrowString> defaults = strings({"0 Advanced Light", "0 Advanced Color", "0 Photographic"});
    GrowArray<GrowString> got = prefs->getStringArray(GrowString("CollapsedToolSections"), defaults);
    ASSERT_EQ(got.count, 3);
    EXPECT_STREQ(got[2].c_str(), "0 Photographic");

    prefs->setStringArray(GrowString("CollapsedToolSections"), strings({"a", "b", "c"}));
    prefs->setStringArray(GrowString("CollapsedToolSections"), strings({"1 Borders"}));
    got = prefs->getStringArray(GrowString("CollapsedToolSections"), defaults);
    ASSERT_EQ(got.count, 1);
    EXPECT_STREQ(got[0].c_str(), "1 Borders");

    prefs->setStringArray(GrowString("Empty"), GrowArray<GrowString>());
    EXPECT_EQ(prefs->getStringArray(GrowString("Empty"), defaults).count, 0);
    EXPECT_EQ(elementText(prefs->root.findChild(GrowString("Empty"))), "<Empty type=\"string array\"></Empty>\n");

    prefs->setString(GrowString("NotAList"), GrowString("x"));
    EXPECT_EQ(prefs->getStringArray(GrowString("NotAList"), defaults).count, 3);
}

TEST_F(PreferencesTest, SaveNowRewritesTheWholeFile) {
    auto prefs = open();
    prefs->setInt(GrowString("LastImageSaveQuality"), 85);
    prefs->setFloat(GrowString("PreferencesVersion"), 3.0f);
    EXPECT_FALSE(fs::exists(path_));
    prefs->setString(GrowString("LastBatchSaveDir"), GrowString("/out"), true);
    EXPECT_EQ(readRaw(),
              "<LastImageSaveQuality type=\"int\">85</LastImageSaveQuality>\n"
              "<PreferencesVersion type=\"float\">3.000000</PreferencesVersion>\n"
              "<LastBatchSaveDir type=\"string\">/out</LastBatchSaveDir>\n");
    prefs->setBool(GrowString("AutohideControls"), true, true);
    EXPECT_NE(readRaw().find("<AutohideControls type=\"bool\">1</AutohideControls>\n"), std::string::npos);
}

TEST_F(PreferencesTest, SpecialCharactersRoundTripWithoutLosingKeys) {
    const char* path = "/photos/a<b & \"c\".jpg";
    {
        auto prefs = open();
        prefs->setString(GrowString("LastMediaLoadPath"), GrowString(path));
        prefs->setInt(GrowString("CurrentTab"), 2);
        prefs->setStringArray(GrowString("List"), strings({"x > y", "&amp;"}));
        prefs->setString(GrowString("LastBatchPostfix"), GrowString("_batch"));
    }
    EXPECT_NE(readRaw().find("/photos/a&lt;b &amp; &quot;c&quot;.jpg"), std::string::npos);
    auto prefs = open();
    EXPECT_EQ(prefs->root.children.count, 4);
    EXPECT_STREQ(prefs->getString(GrowString("LastMediaLoadPath"), GrowString("")).c_str(), path);
    EXPECT_EQ(prefs->getInt(GrowString("CurrentTab"), 0), 2);
    const GrowArray<GrowString> list = prefs->getStringArray(GrowString("List"), GrowArray<GrowString>());
    ASSERT_EQ(list.count, 2);
    EXPECT_STREQ(list[0].c_str(), "x > y");
    EXPECT_STREQ(list[1].c_str(), "&amp;");
    EXPECT_STREQ(prefs->getString(GrowString("LastBatchPostfix"), GrowString("")).c_str(), "_batch");
}

TEST_F(PreferencesTest, PlainFilesKeepTheirExactBytes) {
    const std::string original =
        "<WindowGeometry type=\"string\">100 100 1200 800</WindowGeometry>\n"
        "<CollapsedToolSections type=\"string array\">\n"
        "  <Item>0 Utility</Item>\n"
        "</CollapsedToolSections>\n"
        "<DefaultFiltersVersion type=\"float\">3.100000</DefaultFiltersVersion>\n";
    writeRaw(original);
    open().reset();
    EXPECT_EQ(readRaw(), original);
}

TEST_F(PreferencesTest, HostileFilesLoadWhatTheyCan) {
    const std::string files[] = {
        "",
        "garbage \x01\x02 no tags at all",
        "<CurrentTab type=\"int\">3</CurrentTab>\n<Trunc type=\"int\">4",
        std::string("<CurrentTab type=\"int\">\0" "3</CurrentTab>", 38),
        "<CurrentTab type=\"int\"><Nested>1</Nested></CurrentTab>",
        "</></></><CurrentTab type=int>3</CurrentTab>",
        "<!-- <CurrentTab type=\"int\">9</CurrentTab>",
    };
    for (const std::string& bytes : files) {
        SCOPED_TRACE(bytes);
        writeRaw(bytes);
        auto prefs = open();
        const int32_t tab = prefs->getInt(GrowString("CurrentTab"), 0);
        EXPECT_TRUE(tab == 0 || tab == 3) << tab;
        EXPECT_STREQ(prefs->getString(GrowString("LastBatchPostfix"), GrowString("_batch")).c_str(), "_batch");
        EXPECT_TRUE(prefs->writeFile());
    }
}

// A file the program could not have written is set aside beside itself,
// with a line saying why, and the store starts clean; it is never written
// back. Whole files load as they are.
TEST_F(PreferencesTest, UnreadableFilesAreSetAsideNotWrittenBack) {
    const std::string written = "<CurrentTab type=\"int\">3</CurrentTab>\n";
    const struct {
        std::string bytes;
        const char* why;  // "" for a file that loads
    } cases[] = {
        {written, ""},
        {"", ""},
        {"<CurrentTab type=\"int\">3</CurrentTab>\n<Trunc type=\"int\">4", "ends with 1 element open"},
        {"<CurrentTab type=\"int\">3</Curr", "ends inside a tag"},
        {written + "<!-- a note", "ends inside a comment"},
        {"<CurrentTab>3</CurrentTab>\n", "an entry has no \"type\""},
        {"\x7f" "ELF\x02\x01<\x03\x04>\x05</\x06>", "an entry has no \"type\""},
        {"<Big type=\"string\">" + std::string(kMaxPreferencesFileBytes, 'x') + "</Big>\n", "larger than 1 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 60));
        fs::remove(path_ + ".unreadable");
        writeRaw(c.bytes);
        testing::internal::CaptureStdout();
        auto prefs = open();
        const std::string line = testing::internal::GetCapturedStdout();
        const int32_t tab = prefs->getInt(GrowString("CurrentTab"), 0);
        prefs.reset();
        if (*c.why == '\0') {
            EXPECT_EQ(line, "");
            EXPECT_FALSE(fs::exists(path_ + ".unreadable"));
            EXPECT_EQ(tab, c.bytes.empty() ? 0 : 3);
            continue;
        }
        EXPECT_EQ(line, "preferences file " + path_ + " is unreadable (" + c.why + "): set aside as " + path_ +
                            ".unreadable; starting with default settings\n");
        EXPECT_EQ(tab, 0);
        std::ifstream aside(path_ + ".unreadable", std::ios::binary);
        std::stringstream kept;
        kept << aside.rdbuf();
        EXPECT_TRUE(kept.str() == c.bytes);  // the file as it was
        EXPECT_EQ(readRaw(), "<CurrentTab type=\"int\">0</CurrentTab>\n");  // a clean one in its place
    }

    // A name in use is not replaced: the next number is taken.
    writeRaw("<Broken type=\"int\">");
    open().reset();
    EXPECT_TRUE(fs::exists(path_ + ".unreadable.2"));

    // With every name taken the file stays, and nothing is written over it.
    for (int n = 3; n <= 100; ++n) writeRaw(""), fs::copy_file(path_, path_ + ".unreadable." + std::to_string(n));
    writeRaw("<Broken type=\"int\">");
    testing::internal::CaptureStdout();
    auto kept = open();
    const std::string line = testing::internal::GetCapturedStdout();
    EXPECT_NE(line.find("could not be set aside (File exists): it is kept"), std::string::npos) << line;
    kept->setString(GrowString("LastBatchPostfix"), GrowString("_b"), true);
    EXPECT_FALSE(kept->writeFile());
    kept.reset();
    EXPECT_EQ(readRaw(), "<Broken type=\"int\">");
}

// The written file is the owner's to read and write, whatever mode the old
// one had; its other bits are kept. (A 0200 file is read as root and set
// aside otherwise: the new file is 0600 either way.)
TEST_F(PreferencesTest, TheWrittenFileIsReadableAndWritableByItsOwner) {
    const struct {
        mode_t old, written;
    } cases[] = {{0200, 0600}, {0400, 0600}, {0444, 0644}, {0640, 0640}, {0604, 0604}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.old);
        writeRaw("<CurrentTab type=\"int\">3</CurrentTab>\n");
        ASSERT_EQ(::chmod(path_.c_str(), c.old), 0);
        testing::internal::CaptureStdout();
        open().reset();
        testing::internal::GetCapturedStdout();
        struct stat info;
        ASSERT_EQ(::stat(path_.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.written);
        fs::remove(path_ + ".unreadable");
    }
}

// Only a regular file is read, set aside or lends its mode to the new one:
// a FIFO (opened without waiting), a folder and a link to a device in its
// place are neither read nor moved, and the store starts empty without a
// word. At the write a folder stays (the write fails), while a FIFO or a
// link is replaced by a file of the owner's alone, not one of the mode of
// what stood there.
TEST_F(PreferencesTest, OnlyARegularFileIsReadSetAsideOrLendsItsMode) {
    const struct {
        const char* what;
        std::function<bool(const std::string&)> make;
        bool replaced;
    } cases[] = {
        {"a FIFO", [](const std::string& p) { return ::mkfifo(p.c_str(), 0644) == 0 && ::chmod(p.c_str(), 0644) == 0; },
         true},
        {"a folder",
         [](const std::string& p) { return fs::create_directory(p) && std::ofstream(p + "/kept") << "kept"; }, false},
        {"a link to a device", [](const std::string& p) { return ::symlink("/dev/zero", p.c_str()) == 0; }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(path_);
        ASSERT_TRUE(c.make(path_));
        testing::internal::CaptureStdout();
        // A reader waiting on the FIFO for a writer is let go, and fails the test.
        std::future<std::unique_ptr<Preferences>> loading = std::async(std::launch::async, [this] { return open(); });
        const bool waited = loading.wait_for(std::chrono::seconds(60)) != std::future_status::ready;
        if (waited) ::close(::open(path_.c_str(), O_WRONLY | O_NONBLOCK));
        std::unique_ptr<Preferences> prefs = loading.get();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_FALSE(waited) << "the store waited on the FIFO";
        EXPECT_EQ(prefs->getInt(GrowString("CurrentTab"), 5), 5);
        EXPECT_FALSE(fs::exists(path_ + ".unreadable"));
        EXPECT_EQ(prefs->writeFile(), c.replaced);
        prefs.reset();
        struct stat info;
        ASSERT_EQ(::lstat(path_.c_str(), &info), 0);
        if (!c.replaced) {
            EXPECT_TRUE(S_ISDIR(info.st_mode));
            EXPECT_TRUE(fs::exists(path_ + "/kept"));
            EXPECT_TRUE(onlyTheFileInFolder());  // no temporary file left
            continue;
        }
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_EQ(readRaw(), "<CurrentTab type=\"int\">5</CurrentTab>\n");
    }
}

using PreferencesDeathTest = PreferencesTest;

// A file this user cannot open (mode 0200) is set aside like a damaged one,
// and a clean file written in its place; one that cannot be set aside (a
// read-only folder) is kept. Root opens any file, so under root the store
// runs in a child that has become the unprivileged user owning the folder.
TEST_F(PreferencesDeathTest, AFileTheUserCannotOpenIsSetAsideNotReplacedUnread) {
    const uid_t nobody = 65534;  // "nobody" and "nogroup"
    const bool root = ::geteuid() == 0;
    const std::string original = "<CurrentTab type=\"int\">2</CurrentTab>\n";
    const struct {
        mode_t folderMode;
        const char* line;
    } cases[] = {
        {0700, "is unreadable \\(cannot open: Permission denied\\): set aside as .*PellucinePrefs\\.xml\\.unreadable; "
               "starting with default settings"},
        {0500, "is unreadable \\(cannot open: Permission denied\\) and could not be set aside \\(Permission denied\\): "
               "it is kept"},
    };
    GTEST_FLAG_SET(death_test_style, "fast");  // the child keeps this test's folder
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folderMode);
        writeRaw(original);
        ASSERT_EQ(::chmod(path_.c_str(), 0200), 0);
        if (root) {
            ASSERT_EQ(::chown(folder_.c_str(), nobody, nobody), 0);
            ASSERT_EQ(::chown(path_.c_str(), nobody, nobody), 0);
        }
        ASSERT_EQ(::chmod(folder_.c_str(), c.folderMode), 0);
        EXPECT_EXIT(
            {
                if (root && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
                    std::fprintf(stderr, "cannot become uid %d: %s\n", int(nobody), std::strerror(errno));
                    _exit(2);
                }
                dup2(STDERR_FILENO, STDOUT_FILENO);  // the line, where the check can see it
                const int tab = open()->getInt(GrowString("CurrentTab"), 5);
                // Without exit handlers: a process that gave up root may not
                // inspect itself as a leak checker at exit would.
                _exit(tab == 5 ? 0 : 1);
            },
            testing::ExitedWithCode(0), c.line);
        ASSERT_EQ(::chmod(folder_.c_str(), 0700), 0);
        const std::string kept = c.folderMode == 0700 ? path_ + ".unreadable" : path_;
        ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);  // to check its bytes as any user
        std::ifstream in(kept, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        EXPECT_EQ(bytes.str(), original);
        if (c.folderMode != 0700) continue;
        struct stat info;
        ASSERT_EQ(::stat(path_.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_EQ(readRaw(), "<CurrentTab type=\"int\">5</CurrentTab>\n");
        fs::remove(path_ + ".unreadable");
    }
}

TEST_F(PreferencesTest, FailedWriteLeavesTheOldFileIntact) {
    const std::string original = "<CurrentTab type=\"int\">1</CurrentTab>\n";
    writeRaw(original);
    auto prefs = open();
    prefs->setString(GrowString("Big"), GrowString(std::string(64 * 1024, 'x').c_str()));

    // Writes beyond 4 KiB fail with EFBIG (the signal is ignored meanwhile).
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previousHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = prefs->writeFile();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readRaw(), original);
    EXPECT_TRUE(onlyTheFileInFolder());

    // A store whose folder cannot be made reports failure and writes nothing.
    Preferences nowhere(GrowString((folder_ + "/missing/deeper/PellucinePrefs.xml").c_str()));
    EXPECT_FALSE(nowhere.writeFile());
    EXPECT_FALSE(fs::exists(folder_ + "/missing"));
    nowhere.path.assign("");
    EXPECT_FALSE(nowhere.writeFile());
}

TEST_F(PreferencesTest, CreatesItsOwnFolderButNotItsParents) {
    Preferences prefs(GrowString((folder_ + "/Pellucine/PellucinePrefs.xml").c_str()));
    prefs.setInt(GrowString("CurrentTab"), 1);
    EXPECT_TRUE(prefs.writeFile());
    EXPECT_TRUE(fs::exists(folder_ + "/Pellucine/PellucinePrefs.xml"));
}

TEST_F(PreferencesTest, NumbersIgnoreACommaDecimalLocale) {
    const std::string name = commaDecimalLocale();
    ASSERT_FALSE(name.empty()) << "no comma-decimal locale on this machine (scripts/setup.sh makes de_DE.UTF-8)";
    ProcessLocaleScope scope(name);
    ASSERT_TRUE(scope.active());
    char check[32];
    std::snprintf(check, sizeof check, "%f", 3.1);
    ASSERT_STREQ(check, "3,100000");  // the process really is in the comma locale
    {
        auto prefs = open();
        prefs->setFloat(GrowString("DefaultFiltersVersion"), 3.1f);
        EXPECT_EQ(prefs->getFloat(GrowString("Missing"), 0.5f), 0.5f);
    }
    const std::string text = readRaw();
    EXPECT_NE(text.find("<DefaultFiltersVersion type=\"float\">3.100000</DefaultFiltersVersion>"), std::string::npos);
    EXPECT_NE(text.find("<Missing type=\"float\">0.500000</Missing>"), std::string::npos);
    auto prefs = open();
    EXPECT_FLOAT_EQ(prefs->getFloat(GrowString("DefaultFiltersVersion"), 0.0f), 3.1f);
}

// The program's own store, in a data folder of the test's (XDG_DATA_HOME):
// an unreadable file found at start is set aside with a line on standard
// output, and a clean file is written at exit. Run in a child process, so
// that the store is loaded from that folder.
TEST(GlobalPreferencesDeathTest, AnUnreadableFileAtStartIsSetAsideAndACleanOneWrittenAtExit) {
    std::string pattern = (fs::temp_directory_path() / "prefs-global-XXXXXX").string();
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    const std::string file = pattern + "/Pellucine/PellucinePrefs.xml";
    fs::create_directories(pattern + "/Pellucine");
    const std::string garbage = "<CurrentTab type=\"int\">2</CurrentTab>\n<IsFullscreen type=\"bo";
    std::ofstream(file, std::ios::binary) << garbage;
    GTEST_FLAG_SET(death_test_style, "fast");  // the child keeps this test's folder
    EXPECT_EXIT(
        {
            setenv("XDG_DATA_HOME", pattern.c_str(), 1);
            dup2(STDERR_FILENO, STDOUT_FILENO);  // the line, where the check can see it
            const int tab = globalPreferences().getInt(GrowString("CurrentTab"), 5);
            std::exit(tab == 5 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "PellucinePrefs.xml is unreadable \\(ends inside a tag\\): set aside as .*"
                                    "PellucinePrefs.xml.unreadable; starting with default settings");
    std::ifstream aside(file + ".unreadable", std::ios::binary);
    std::stringstream kept;
    kept << aside.rdbuf();
    EXPECT_EQ(kept.str(), garbage);
    std::ifstream fresh(file, std::ios::binary);
    std::stringstream written;
    written << fresh.rdbuf();
    EXPECT_EQ(written.str(), "<CurrentTab type=\"int\">5</CurrentTab>\n");
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
}

TEST(GlobalPreferences, LivesInTheApplicationSupportFolder) {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    ASSERT_NE(dataHome, nullptr);  // the test main points it at a private folder
    std::error_code ignored;
    fs::create_directories(dataHome, ignored);
    Preferences& prefs = globalPreferences();
    EXPECT_EQ(&prefs, &globalPreferences());
    EXPECT_EQ(std::string(prefs.path.c_str()), std::string(dataHome) + "/Pellucine/PellucinePrefs.xml");
    EXPECT_EQ(prefs.getInt(GrowString("CurrentTab"), 5), 5);
    prefs.setString(GrowString("LastFilterLoadDir"), GrowString("/filters"), true);
    Preferences reread(prefs.path);
    EXPECT_STREQ(reread.getString(GrowString("LastFilterLoadDir"), GrowString("")).c_str(), "/filters");
}

}  // namespace
