#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "foundation/GrowString.h"
#include "platform/FileOperations.h"

namespace fs = std::filesystem;

namespace {

// Names that a shell would have run or split; here they are only names.
const char* const kHostileNames[] = {
    "plain",
    "with space",
    "quote \" inside",
    "\"; touch INJECTED; echo \"",
    "$(touch INJECTED)",
    "`touch INJECTED`",
    "semi;touch INJECTED",
    "-rf",
    "new\nline",
    "single ' quote",
    "* glob ?",
};

class FileOperations : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pellucine-fileops-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        previous = fs::current_path();
        fs::current_path(root);  // a shell would have run the injected commands here
    }
    void TearDown() override {
        fs::current_path(previous);
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    bool injected() const {
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (entry.path().filename() == "INJECTED") return true;
        return false;
    }
    static void writeFile(const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
    }
    static std::string readFile(const fs::path& p) {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    GrowString g(const fs::path& p) const { return GrowString(p.c_str()); }

    fs::path root;
    fs::path previous;
};

}  // namespace

TEST_F(FileOperations, EnsureFolderExistsCreatesHostileNamesLiterally) {
    for (const char* name : kHostileNames) {
        const fs::path folder = root / name / "nested" / name;
        EXPECT_TRUE(ensureFolderExists(g(folder))) << name;
        EXPECT_TRUE(fs::is_directory(folder)) << name;
        EXPECT_TRUE(ensureFolderExists(g(folder))) << "again: " << name;
    }
    EXPECT_FALSE(injected());
    EXPECT_TRUE(ensureFolderExists(g(root / "trailing/slash/")));
    EXPECT_TRUE(fs::is_directory(root / "trailing/slash"));
}

TEST_F(FileOperations, EnsureFolderExistsFailsOnFilesAndEmptyPaths) {
    writeFile(root / "file", "x");
    EXPECT_FALSE(ensureFolderExists(g(root / "file")));
    EXPECT_FALSE(ensureFolderExists(g(root / "file" / "below")));
    EXPECT_FALSE(ensureFolderExists(GrowString()));
    EXPECT_FALSE(ensureFolderExists(GrowString("")));
    EXPECT_TRUE(fs::is_regular_file(root / "file"));
}

TEST_F(FileOperations, RemovePathRemovesFilesAndWholeFolders) {
    for (const char* name : kHostileNames) {
        writeFile(root / name / "a" / "b.txt", "x");
        writeFile(root / (std::string(name) + ".file"), "y");
        EXPECT_TRUE(removePath(g(root / name))) << name;
        EXPECT_TRUE(removePath(g(root / (std::string(name) + ".file")))) << name;
        EXPECT_FALSE(fs::exists(root / name)) << name;
    }
    EXPECT_FALSE(injected());
    EXPECT_TRUE(removePath(g(root / "never-there")));  // nothing is left
    EXPECT_FALSE(removePath(GrowString("")));
    EXPECT_TRUE(fs::is_directory(root));

    // A link goes, what it points at stays.
    writeFile(root / "kept" / "precious.txt", "keep me");
    fs::create_directory_symlink(root / "kept", root / "link");
    EXPECT_TRUE(removePath(g(root / "link")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(root / "link")));
    EXPECT_EQ(readFile(root / "kept" / "precious.txt"), "keep me");
}

TEST_F(FileOperations, CopyFolderContentsCopiesTheContentsNotTheFolder) {
    for (const char* name : kHostileNames) {
        const fs::path source = root / "src" / name;
        writeFile(source / "top.plf", "top");
        writeFile(source / "group" / name / "inner.plf", "inner");
        const fs::path destination = root / "dst" / name / "deep";
        testing::internal::CaptureStdout();
        EXPECT_TRUE(copyFolderContents(g(source.string() + "/"), g(destination))) << name;
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(printed, "copying contents of " + source.string() + "/ into " + destination.string() + "\n");
        EXPECT_EQ(readFile(destination / "top.plf"), "top") << name;
        EXPECT_EQ(readFile(destination / "group" / name / "inner.plf"), "inner") << name;
        EXPECT_FALSE(fs::exists(destination / name)) << name;
        EXPECT_EQ(readFile(source / "top.plf"), "top");  // the source stays
    }
    EXPECT_FALSE(injected());
}

TEST_F(FileOperations, CopyFolderContentsMergesAndRefusesCopiesIntoItself) {
    writeFile(root / "src" / "a.txt", "new a");
    writeFile(root / "src" / "sub" / "b.txt", "new b");
    writeFile(root / "dst" / "a.txt", "old a");
    writeFile(root / "dst" / "sub" / "c.txt", "old c");
    writeFile(root / "file", "x");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(copyFolderContents(g(root / "src"), g(root / "dst")));
    EXPECT_EQ(readFile(root / "dst" / "a.txt"), "new a");
    EXPECT_EQ(readFile(root / "dst" / "sub" / "b.txt"), "new b");
    EXPECT_EQ(readFile(root / "dst" / "sub" / "c.txt"), "old c");

    EXPECT_FALSE(copyFolderContents(g(root / "missing"), g(root / "dst")));
    EXPECT_FALSE(copyFolderContents(g(root / "file"), g(root / "dst2")));
    EXPECT_FALSE(copyFolderContents(g(root / "src"), g(root / "src" / "inside")));
    EXPECT_FALSE(copyFolderContents(g(root / "src"), g(root / "src" / ".")));
    EXPECT_FALSE(copyFolderContents(GrowString(""), g(root / "dst")));
    EXPECT_TRUE(copyFolderContents(g(root / "src"), g(root / "src2")));  // a sibling, not inside
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(fs::exists(root / "src" / "inside"));
    EXPECT_FALSE(fs::exists(root / "dst2"));
    EXPECT_EQ(readFile(root / "src2" / "a.txt"), "new a");
}
