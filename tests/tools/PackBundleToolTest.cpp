// pellucine-pack-bundle: the packer of the shipped preset bundle. What it
// packs unpacks whole; what it cannot store is refused with one line and
// exit status 1, leaving the output as it was.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/FilterFile.h"
#include "framework/PresetBundle.h"

namespace fs = std::filesystem;

namespace {

struct PackRun {
    bool finished = false;
    int status = -1;
    QByteArray standardError;
};

// With a limit ("--fsize=N"), the tool runs under it through prlimit.
PackRun pack(const std::string& source, const std::string& output, const QString& limit = QString()) {
    QProcess process;
    const QStringList arguments{QString::fromStdString(source), QString::fromStdString(output)};
    if (limit.isEmpty())
        process.start(QStringLiteral(PELLUCINE_PACK_BUNDLE_TOOL), arguments);
    else
        process.start(QStringLiteral("/usr/bin/prlimit"),
                      QStringList{limit, QStringLiteral(PELLUCINE_PACK_BUNDLE_TOOL)} + arguments);
    PackRun run;
    if (!process.waitForStarted(30000)) return run;
    run.finished = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    run.status = process.exitCode();
    run.standardError = process.readAllStandardError();
    return run;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Every file below root with its bytes, relative paths, sorted.
std::vector<std::string> treeOf(const fs::path& root) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), root).string() + "=" + readFile(entry.path()));
    std::sort(files.begin(), files.end());
    return files;
}

// One bundle record: "FILE", the name's length, the name, the data's length,
// the data (lengths little-endian).
std::string record(const std::string& name, const std::string& data) {
    auto u32 = [](size_t n) {
        const char bytes[4] = {char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(n >> 24)};
        return std::string(bytes, 4);
    };
    return "FILE" + u32(name.size()) + name + u32(data.size()) + data;
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

class PackBundleTool : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    fs::path root() const { return fs::path(folder.path().toStdString()); }
    QTemporaryDir folder;
};

}  // namespace

TEST_F(PackBundleTool, WhatItPacksUnpacksWhole) {
    const fs::path source = root() / "source";
    writeFile(source / "Loose.plf", "<filter version=\"4\"></filter>\n");
    writeFile(source / "Group" / "A.plf", "a");
    writeFile(source / "Group" / "Empty.plf", "");
    writeFile(source / ".hidden", "skipped");
    // The deepest nesting the unpacker unpacks: the innermost file arrives.
    fs::path deep = source;
    for (int level = 0; level < kMaxBundleNesting; ++level) deep /= "d";
    writeFile(deep / "Innermost.plf", "inner");

    const std::string bundle = (root() / "out.bnd").string();
    const PackRun run = pack(source.string(), bundle);
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.status, 0) << run.standardError.constData();
    fs::remove(source / ".hidden");
    ASSERT_TRUE(unpackBundle(GrowString(bundle.c_str()), GrowString((root() / "unpacked").c_str())));
    EXPECT_EQ(treeOf(root() / "unpacked"), treeOf(source));

    // The same bytes on every run.
    ASSERT_EQ(pack(source.string(), (root() / "again.bnd").string()).status, 0);
    EXPECT_EQ(readFile(bundle), readFile(root() / "again.bnd"));
}

// A file that is a whole bundle, nested ones included, is packed as it is
// and unpacks into a folder.
TEST_F(PackBundleTool, ARealBundleFileIsPacked) {
    const fs::path source = root() / "source";
    writeFile(source / "Real.bnd", record("A.plf", "a") + record("Sub.bnd", record("B.plf", "b")));
    const std::string bundle = (root() / "out.bnd").string();
    const PackRun run = pack(source.string(), bundle);
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.status, 0) << run.standardError.constData();
    ASSERT_TRUE(unpackBundle(GrowString(bundle.c_str()), GrowString((root() / "unpacked").c_str())));
    EXPECT_EQ(treeOf(root() / "unpacked"), (std::vector<std::string>{"Real/A.plf=a", "Real/Sub/B.plf=b"}));
}

// Names as long as a file name can be (255 bytes, counted in the UTF-8 bytes
// unpacking writes) pack and unpack whole: records inside a bundle file, a
// nested bundle's record, and a folder whose record gains ".bnd".
TEST_F(PackBundleTool, NamesAsLongAsAFileNamePackAndUnpackWhole) {
    const fs::path source = root() / "source";
    const std::string longest = std::string(251, 'a') + ".plf";
    const std::string wide = repeated("\xc3\xa9", 125) + ".plf";  // 254 bytes, 129 characters
    const std::string nested = std::string(251, 'b') + ".bnd";
    ASSERT_EQ(longest.size(), kMaxBundleNameBytes);
    ASSERT_EQ(nested.size(), kMaxBundleNameBytes);
    writeFile(source / "Real.bnd", record(longest, "first") + record(wide, "second") +
                                       record(nested, record(longest, "third")));
    const std::string folderName(251, 'f');  // its record: 255 bytes with ".bnd"
    writeFile(source / folderName / longest, "fourth");

    const std::string bundle = (root() / "out.bnd").string();
    const PackRun run = pack(source.string(), bundle);
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.status, 0) << run.standardError.constData();
    ASSERT_TRUE(unpackBundle(GrowString(bundle.c_str()), GrowString((root() / "unpacked").c_str())));
    std::vector<std::string> expected{"Real/" + longest + "=first", "Real/" + wide + "=second",
                                      "Real/" + std::string(251, 'b') + "/" + longest + "=third",
                                      folderName + "/" + longest + "=fourth"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(treeOf(root() / "unpacked"), expected);
}

TEST_F(PackBundleTool, RefusesWhatItCannotStoreWithOneLine) {
    const fs::path base = root();
    auto make = [&base](const char* name) {
        const fs::path source = base / name;
        writeFile(source / "Fine.plf", "fine");
        return source;
    };
    const fs::path zero = make("zero");
    fs::create_symlink("/dev/zero", zero / "Zero.plf");
    const fs::path fifo = make("fifo");
    ASSERT_EQ(mkfifo((fifo / "Pipe.plf").c_str(), 0600), 0);
    const fs::path broken = make("broken");
    fs::create_symlink(base / "nowhere", broken / "Gone.plf");
    const fs::path large = make("large");
    writeFile(large / "Huge.plf", "x");
    fs::resize_file(large / "Huge.plf", static_cast<uintmax_t>(kMaxFilterFileBytes) + 1);  // sparse
    const fs::path latin = make("latin");
    writeFile(latin / "Caf\xe9.plf", "x");
    const fs::path dots = make("dots");
    writeFile(dots / "Old..plf", "x");
    const fs::path twice = make("twice");
    writeFile(twice / "Group.bnd", "x");
    writeFile(twice / "Group" / "A.plf", "a");
    const fs::path notes = make("notes");
    writeFile(notes / "notes.bnd", "notes, not a bundle\n");
    const fs::path cut = make("cut");
    writeFile(cut / "Cut.bnd", record("A.plf", "abc").substr(0, 15));
    const fs::path inner = make("inner");
    writeFile(inner / "Outer.bnd", record("A.plf", "a") + record("Inner.bnd", "FILE"));
    // Names one byte or more beyond a file name: unpacking could not write
    // the record, and would delete the bundle file all the same.
    const std::string tooLong = std::string(300, 'n') + ".plf";
    const fs::path longRecord = make("longRecord");
    writeFile(longRecord / "Long.bnd", record("A.plf", "a") + record(tooLong, "lost"));
    const std::string justTooLong = std::string(252, 'j') + ".plf";
    const fs::path deepRecord = make("deepRecord");
    writeFile(deepRecord / "Outer.bnd", record("Inner.bnd", record(justTooLong, "lost")));
    const std::string tooWide = repeated("\xc3\xa9", 126) + ".plf";  // 256 bytes, 130 characters
    const fs::path wideRecord = make("wideRecord");
    writeFile(wideRecord / "Wide.bnd", record(tooWide, "lost"));
    const std::string longFolderName(252, 'g');
    const fs::path longFolder = make("longFolder");
    writeFile(longFolder / longFolderName / "A.plf", "a");
    const fs::path tooDeep = make("deep");
    fs::path deep = tooDeep;
    for (int level = 0; level <= kMaxBundleNesting; ++level) deep /= "d";
    writeFile(deep / "Innermost.plf", "inner");

    const struct {
        fs::path source;
        std::string problem;
    } cases[] = {
        {zero, "Zero.plf: not a regular file or a folder"},
        {fifo, "Pipe.plf: not a regular file or a folder"},
        {broken, "Gone.plf: cannot read: No such file or directory"},
        {large, "Huge.plf: the file is larger than 64 MB, far beyond any preset"},
        {latin, "\xe9.plf: the name is not UTF-8"},
        {dots, "Old..plf: the name holds a backslash or \"..\", which unpacking skips"},
        {twice, "Group: a file and a folder would both be stored as \"Group.bnd\""},
        {tooDeep, "d: folders nested deeper than 15 levels do not unpack"},
        {notes, "notes.bnd: the name ends in \".bnd\" but the file is not a bundle: unpacking would take it for one "
                "and lose it"},
        {cut, "Cut.bnd: the name ends in \".bnd\" but the file is not a bundle: unpacking would take it for one and "
              "lose it"},
        {inner, "Outer.bnd: the name ends in \".bnd\" but the file is not a bundle: unpacking would take it for one "
                "and lose it"},
        {longRecord, "Long.bnd: it holds a record whose name is 304 bytes long, beyond the 255 bytes of a file "
                     "name, which unpacking cannot write: \"" + tooLong + "\""},
        {deepRecord, "Outer.bnd: it holds a record whose name is 256 bytes long, beyond the 255 bytes of a file "
                     "name, which unpacking cannot write: \"" + justTooLong + "\""},
        {wideRecord, "Wide.bnd: it holds a record whose name is 256 bytes long, beyond the 255 bytes of a file "
                     "name, which unpacking cannot write: \"" + tooWide + "\""},
        {longFolder, longFolderName + ": the name is too long: its record \"" + longFolderName +
                         ".bnd\" is 256 bytes, beyond the 255 bytes of a file name, which unpacking cannot write"},
        {base / "missing", "missing: no folder"},
    };
    const fs::path output = base / "out" / "bundle.bnd";
    writeFile(output, "the old bundle");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.string());
        const PackRun run = pack(c.source.string(), output.string());
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.constData();
        EXPECT_TRUE(run.standardError.endsWith(QByteArray::fromStdString(c.problem + "\n")))
            << run.standardError.constData();
        EXPECT_EQ(readFile(output), "the old bundle");
        EXPECT_EQ(std::distance(fs::directory_iterator(base / "out"), fs::directory_iterator()), 1);
    }
}

// A write that fails (past a file-size limit, SIGXFSZ ignored so that the
// write itself fails) says why in its one line and leaves no file behind.
TEST_F(PackBundleTool, AFailedWriteSaysWhy) {
    ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/bin/prlimit"))) << "prlimit is missing";
    const fs::path source = root() / "source";
    writeFile(source / "Big.plf", std::string(200000, 'x'));
    const fs::path out = root() / "out";
    fs::create_directories(out);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);  // inherited by the tool
    const PackRun run = pack(source.string(), (out / "bundle.bnd").string(), QStringLiteral("--fsize=65536"));
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(run.finished) << "ended by a signal";
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.constData();
    EXPECT_TRUE(run.standardError.endsWith("Big.plf: cannot write the bundle: File too large\n"))
        << run.standardError.constData();
    EXPECT_TRUE(fs::is_empty(out));
}
