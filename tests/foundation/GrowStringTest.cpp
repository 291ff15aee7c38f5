#include "foundation/GrowString.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string bytesOf(const GrowString& s) {
    return s.data ? std::string(s.data, static_cast<size_t>(s.length)) : std::string();
}

// A string from a C++ literal that may hold NUL bytes; nullptr stands for a
// buffer-less string.
GrowString make(const char* text) { return text ? GrowString(text) : GrowString(); }

TEST(GrowString, LengthsAndCapacities) {
    const GrowString bufferless;
    const GrowString assignedEmpty("");
    const GrowString abc("abc");
    const GrowString copyOfBufferless(bufferless);
    GrowString copyAssigned("xyz");
    copyAssigned = bufferless;
    const GrowString joined = abc.concat("defgh");
    const GrowString tightCopy(joined);
    GrowString appended;
    appended.appendChar('x');
    const GrowString concatenated = GrowString("ab").concat("cd");
    const GrowString spare = GrowString::copyWithSpare(abc);
    const GrowString spareOfBufferless = GrowString::copyWithSpare(bufferless);
    struct Case {
        const char* what;
        const GrowString* value;
        const char* data;  // nullptr: no buffer
        int32_t length;
        int32_t capacity;
    };
    const Case cases[] = {
        {"assign empty", &assignedEmpty, "", 1, 2},
        {"assign abc", &abc, "abc", 4, 5},
        {"default", &bufferless, nullptr, 0, 0},
        {"copy of buffer-less", &copyOfBufferless, nullptr, 0, 0},
        {"copy-assign of buffer-less", &copyAssigned, "", 1, 2},
        {"copy is tight", &tightCopy, "abcdefgh", 9, 9},
        {"appendChar on buffer-less", &appended, "x", 2, 2},
        {"concat drops the NUL", &concatenated, "abcd", 5, 6},
        {"copyWithSpare", &spare, "abc", 4, 6},
        {"copyWithSpare of buffer-less", &spareOfBufferless, "", 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.value->length, c.length);
        EXPECT_EQ(c.value->capacity, c.capacity);
        if (c.data) {
            ASSERT_NE(c.value->data, nullptr);
            EXPECT_EQ(bytesOf(*c.value), std::string(c.data, std::strlen(c.data) + 1));
        } else {
            EXPECT_EQ(c.value->data, nullptr);
        }
    }
}

TEST(GrowString, AppendingGrowsByDoublingAndCopiesAreTight) {
    GrowString s("");
    const int32_t expected[] = {4, 4, 8, 8, 8, 8, 16};
    for (int i = 0; i < 7; ++i) {
        s.appendChar(static_cast<char>('a' + i));
        EXPECT_EQ(s.capacity, expected[i]) << "after " << i + 1 << " characters";
        EXPECT_EQ(s.length, i + 2);
    }
    EXPECT_STREQ(s.c_str(), "abcdefg");
    s.append("hi");
    EXPECT_STREQ(s.c_str(), "abcdefghi");
    EXPECT_EQ(s.capacity, s.length);  // append assigns a tight copy
    s.appendInt(-42);
    EXPECT_STREQ(s.c_str(), "abcdefghi-42");
    s.appendString(GrowString("!"));
    EXPECT_STREQ(s.c_str(), "abcdefghi-42!");
}

TEST(GrowString, Equality) {
    struct Case {
        GrowString a, b;
        bool equal;
    };
    const Case cases[] = {
        {GrowString(), GrowString(""), true},
        {GrowString(""), GrowString(), true},
        {GrowString(), GrowString(), true},
        {GrowString("ab"), GrowString("abc"), false},
        {GrowString("abc"), GrowString("abc"), true},
        {GrowString("abc"), GrowString("abd"), false},
        {GrowString("a"), GrowString(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a.c_str()) + " vs " + c.b.c_str());
        EXPECT_EQ(c.a == c.b, c.equal);
        EXPECT_EQ(c.a == c.b.c_str(), c.equal);
    }
    EXPECT_TRUE(GrowString() == static_cast<const char*>(nullptr));
}

TEST(GrowString, Substring) {
    struct Case {
        int32_t a, b;
        const char* result;
    };
    const Case cases[] = {
        {1, 1, "b"}, {2, 0, "abc"}, {0, 3, "abc"}, {0, 4, ""}, {-1, 1, ""}, {3, 3, ""}, {1, 2, "bc"},
    };
    const GrowString abc("abc");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << ".." << c.b);
        const GrowString sub = abc.substring(c.a, c.b);
        EXPECT_EQ(bytesOf(sub), std::string(c.result, std::strlen(c.result) + 1));
    }
    EXPECT_STREQ(GrowString().substring(0, 0).c_str(), "");
}

TEST(GrowString, TakeToken) {
    struct Case {
        const char* input;  // nullptr: buffer-less
        const char* token;
        const char* rest;
    };
    const Case cases[] = {
        {"  ab cd", "ab", "cd"},
        {"x=\"a b\" y", "x=\"a b\"", "y"},
        {"abc", "abc", ""},
        {"\"a b\" c", "\"a b\"", "c"},
        {"a\r\nb", "a\r", "b"},
        {"a\tb", "a", "b"},
        {"a  b", "a", " b"},  // only the one separator after the token is dropped
        {"a ", "a", ""},
        {"", "", ""},
        {" \t\n ", "", ""},
        {nullptr, "", ""},
        {"\"unclosed quote x", "\"unclosed quote x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input ? c.input : "(buffer-less)");
        GrowString s = make(c.input);
        const GrowString token = s.takeToken();
        EXPECT_EQ(bytesOf(token), std::string(c.token, std::strlen(c.token) + 1));
        EXPECT_EQ(bytesOf(s), std::string(c.rest, std::strlen(c.rest) + 1));
    }
}

TEST(GrowString, TakeTokenEmptiesAnyStringInFiniteSteps) {
    GrowString s("  a \"b c\"  d\t\t e\n");
    int steps = 0;
    while (!s.isEmpty() && steps < 100) {
        s.takeToken();
        ++steps;
    }
    EXPECT_TRUE(s.isEmpty());
    EXPECT_LT(steps, 100);
}

TEST(GrowString, Erase) {
    struct Case {
        const char* input;
        int32_t pos, count;
        const char* result;
    };
    const Case cases[] = {
        {"abcdef", 1, 2, "adef"}, {"abcdef", 0, 6, ""}, {"abc", 0, 100, ""},
        {"abc", 10, 2, "abc"},    {"abc", 2, 0, "abc"}, {"abc", -1, 1, "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.input << " " << c.pos << " " << c.count);
        GrowString s(c.input);
        s.erase(c.pos, c.count);
        EXPECT_EQ(bytesOf(s), std::string(c.result, std::strlen(c.result) + 1));
        EXPECT_EQ(s.capacity, s.length);
    }
}

TEST(GrowString, TerminateCutsAtTheFirstInnerNul) {
    GrowString s("abcd");
    s.data[2] = 0;
    s.terminate();
    EXPECT_EQ(bytesOf(s), std::string("ab\0", 3));
    GrowString unterminated("xy");
    unterminated.length = 2;  // the NUL is no longer counted
    unterminated.terminate();
    EXPECT_EQ(bytesOf(unterminated), std::string("xy\0", 3));
}

TEST(GrowString, SelfAssignmentAndAliasing) {
    GrowString s("abc");
    GrowString& same = s;
    s = same;
    EXPECT_STREQ(s.c_str(), "abc");
    s = std::move(same);
    EXPECT_STREQ(s.c_str(), "abc");
    s.append(s.c_str());
    EXPECT_STREQ(s.c_str(), "abcabc");
    s.assign(s.c_str() + 3);  // text inside the string's own buffer
    EXPECT_STREQ(s.c_str(), "abc");
    s.appendString(s);
    EXPECT_STREQ(s.c_str(), "abcabc");
    s.assign(nullptr);
    EXPECT_STREQ(s.c_str(), "abcabc");
}

TEST(GrowString, InsertCharClampsOutOfRangeIndices) {
    GrowString s("ac");
    s.insertChar(1, 'b');
    s.terminate();
    EXPECT_STREQ(s.c_str(), "abc");
    GrowString t("ab");
    t.length = 2;
    t.insertChar(50, 'z');  // past the end: appended, never stored beyond the text
    t.terminate();
    EXPECT_STREQ(t.c_str(), "abz");
    EXPECT_LT(t.capacity, 50);
}

TEST(PathFunctions, FileExtension) {
    const struct {
        const char* path;
        const char* result;
    } cases[] = {
        {"dir.old/file", "old/file"}, {"photo.", ""}, {"a/b.png", "png"}, {"noext", ""},
        {"a.tar.gz", "gz"},           {".hidden", "hidden"}, {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(fileExtension(GrowString(c.path)).c_str(), c.result);
    }
    EXPECT_STREQ(fileExtension(GrowString()).c_str(), "");
}

TEST(PathFunctions, RemoveExtension) {
    const struct {
        const char* path;
        const char* result;
    } cases[] = {
        {".hidden", ".hidden"}, {"a.b.c", "a.b"}, {"photo.", "photo"}, {"x", "x"}, {"dir/p.jpg", "dir/p"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(removeExtension(GrowString(c.path)).c_str(), c.result);
    }
    const GrowString none = removeExtension(GrowString());
    EXPECT_EQ(none.data, nullptr);
    EXPECT_EQ(none.length, 0);
}

TEST(PathFunctions, FileNamePart) {
    const struct {
        const char* path;
        const char* result;
    } cases[] = {
        {"photos\\x\\y.png", "y.png"}, {"dir/", ""}, {"a", "a"}, {"/a/b.c", "b.c"}, {"a\\", ""}, {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(fileNamePart(GrowString(c.path)).c_str(), c.result);
    }
    EXPECT_STREQ(fileNamePart(GrowString()).c_str(), "");
}

TEST(PathFunctions, DirectoryPart) {
    const struct {
        const char* path;
        const char* result;
    } cases[] = {
        {"a/b/file.png", "a/b/"}, {"a/b", "a/b/"},          {"a/b/", "a/b/"}, {"", "/"},
        {"file.png", "file.png/"}, {"a\\b\\c.jpg", "a/b/"}, {"a.b/c", "a.b/c/"}, {"/x.png", "/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(directoryPart(GrowString(c.path)).c_str(), c.result);
    }
    EXPECT_STREQ(directoryPart(GrowString()).c_str(), "");
}

TEST(PathFunctions, ReplaceAll) {
    const struct {
        const char* text;
        const char* find;
        const char* replacement;
        const char* result;
    } cases[] = {
        {"a__b", "_", " ", "a  b"},
        {"a\\\\b", "\\", "/", "a//b"},
        {"aaa", "a", "aa", "aaaaaa"},  // the inserted text is never rescanned
        {"abab", "ab", "", ""},
        {"xabcx", "abc", "Z", "xZx"},
        {"ab", "abc", "Z", "ab"},  // never compares past the text
        {"abc", "", "Z", "abc"},   // an empty pattern matches nothing
        {"", "a", "b", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " / " << c.find << " -> " << c.replacement);
        const GrowString r = replaceAll(GrowString(c.text), GrowString(c.find), GrowString(c.replacement));
        EXPECT_EQ(bytesOf(r), std::string(c.result, std::strlen(c.result) + 1));
    }
    EXPECT_EQ(replaceAll(GrowString(), GrowString("a"), GrowString("b")).length, 0);
    EXPECT_STREQ(replaceAll(GrowString("abc"), GrowString(), GrowString("b")).c_str(), "abc");
}

class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char* name) : name_(name) {
        const char* value = std::getenv(name);
        if (value) saved_ = value;
        had_ = value != nullptr;
    }
    ~EnvironmentGuard() {
        if (had_) {
            setenv(name_, saved_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::string saved_;
    bool had_ = false;
};

TEST(PathFunctions, ApplicationSupportFolder) {
    EnvironmentGuard dataHome("XDG_DATA_HOME");
    EnvironmentGuard home("HOME");
    const struct {
        const char* dataHome;  // nullptr: unset
        const char* home;
        const char* result;
    } cases[] = {
        {"/tmp/data", "/home/u", "/tmp/data/Pellucine/"},
        {"/tmp/data/", "/home/u", "/tmp/data/Pellucine/"},
        {nullptr, "/home/u", "/home/u/.local/share/Pellucine/"},
        {"", "/home/u", "/home/u/.local/share/Pellucine/"},
        {"relative/path", "/home/u/", "/home/u/.local/share/Pellucine/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dataHome ? c.dataHome : "(unset)");
        if (c.dataHome) {
            setenv("XDG_DATA_HOME", c.dataHome, 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
        setenv("HOME", c.home, 1);
        EXPECT_STREQ(applicationSupportFolder().c_str(), c.result);
    }
}

}  // namespace
