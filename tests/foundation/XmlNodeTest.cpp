#include "foundation/XmlNode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string written(const XmlNode& node, int depth) {
    GrowString out("");
    writeXmlToString(node, out, depth);
    return out.c_str();
}

XmlNode parsed(const std::string& text) {
    XmlNode root;
    parseXmlBytes(root, text.data(), text.size());
    return root;
}

// Two trees are the same when tags, texts and attributes match at every node.
bool sameTree(const XmlNode& a, const XmlNode& b) {
    if (!(a.tag == b.tag) || !(a.text == b.text) || a.children.count != b.children.count ||
        a.attributeNames.count != b.attributeNames.count) {
        return false;
    }
    for (int32_t i = 0; i < a.attributeNames.count; ++i) {
        if (!(a.attributeNames[i] == b.attributeNames[i]) || !(a.attributeValues[i] == b.attributeValues[i])) {
            return false;
        }
    }
    for (int32_t i = 0; i < a.children.count; ++i) {
        if (!sameTree(a.children[i], b.children[i])) return false;
    }
    return true;
}

// The tags of a node's children joined by spaces, each followed by its own
// children in brackets: a compact picture of a tree's shape.
std::string shape(const XmlNode& node) {
    std::string out;
    for (int32_t i = 0; i < node.children.count; ++i) {
        if (i) out += ' ';
        out += node.children[i].tag.c_str();
        if (node.children[i].children.count) out += "[" + shape(node.children[i]) + "]";
    }
    return out;
}

XmlNode sampleTree() {
    XmlNode root;
    XmlNode* filter = root.addChild(GrowString("filter"));
    filter->setAttribute(GrowString("version"), GrowString("3"));
    XmlNode* mod = filter->addChild(GrowString("mod"));
    mod->setAttribute(GrowString("name"), GrowString("Gamma"));
    mod->setAttribute(GrowString("label"), GrowString("two words"));
    XmlNode* var = mod->addChild(GrowString("var"), GrowString("0.500000"));
    var->setAttribute(GrowString("name"), GrowString("Amount"));
    mod->addChild(GrowString("empty"));
    root.addChild(GrowString("second"), GrowString("tail"));
    return root;
}

TEST(XmlWriter, ExactBytes) {
    struct Case {
        const char* what;
        XmlNode node;
        int depth;
        const char* bytes;
    };
    XmlNode withChildren(GrowString("p"), GrowString("t"));
    withChildren.addChild(GrowString("c"));
    XmlNode withAttributes(GrowString("a"), GrowString("x"));
    withAttributes.setAttribute(GrowString("k"), GrowString("1"));
    withAttributes.setAttribute(GrowString("s"), GrowString("two words"));
    XmlNode nested(GrowString("outer"), GrowString(""));
    nested.addChild(GrowString("inner"), GrowString("v"))->addChild(GrowString("leaf"));
    XmlNode escaped(GrowString("path"), GrowString("/photos/a<b & \"c\".jpg"));
    escaped.setAttribute(GrowString("q"), GrowString("say \"hi\" > <"));
    const Case cases[] = {
        {"empty element at depth 1", XmlNode(GrowString("a"), GrowString("")), 1, "  <a></a>\n"},
        {"text after children", withChildren, 0, "<p>\n  <c></c>\nt\n</p>\n"},
        {"attributes in order", withAttributes, 0, "<a k=\"1\" s=\"two words\">x</a>\n"},
        {"nested with empty text", nested, 1,
         "  <outer>\n    <inner>\n      <leaf></leaf>\n    v\n    </inner>\n  </outer>\n"},
        {"escaped text and value", escaped, 0,
         "<path q=\"say &quot;hi&quot; &gt; &lt;\">/photos/a&lt;b &amp; &quot;c&quot;.jpg</path>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(written(c.node, c.depth), c.bytes);
    }
    XmlNode prefsLine(GrowString("CurrentTab"), GrowString("0"));
    prefsLine.setAttribute(GrowString("type"), GrowString("int"));
    EXPECT_EQ(written(prefsLine, 0), "<CurrentTab type=\"int\">0</CurrentTab>\n");
}

TEST(XmlWriter, FileOutputMatchesStringOutput) {
    const XmlNode root = sampleTree();
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(writeXml(root.children[0], file, 0));
    std::rewind(file);
    std::string bytes;
    char chunk[256];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
    EXPECT_EQ(bytes, written(root.children[0], 0));
    EXPECT_FALSE(writeXml(root, nullptr, 0));
}

TEST(XmlReader, RoundTripGivesTheSameTree) {
    const XmlNode root = sampleTree();
    std::string text;
    for (int32_t i = 0; i < root.children.count; ++i) text += written(root.children[i], 0);
    EXPECT_TRUE(sameTree(parsed(text), root)) << text;
}

TEST(XmlReader, TextAfterChildrenKeepsItsLineFeed) {
    XmlNode p(GrowString("p"), GrowString("t"));
    p.addChild(GrowString("c"));
    const XmlNode back = parsed(written(p, 0));
    ASSERT_EQ(back.children.count, 1);
    EXPECT_STREQ(back.children[0].text.c_str(), "t\n");
}

TEST(XmlReader, EscapedCharactersRoundTrip) {
    const char* values[] = {"/photos/a<b & \"c\".jpg", "&amp; stays &amp;", "a>b", "'single' \"double\"",
                            "x=\"1\" y", "</a>"};
    for (const char* value : values) {
        SCOPED_TRACE(value);
        XmlNode root;
        XmlNode* a = root.addChild(GrowString("a"), GrowString(value));
        a->setAttribute(GrowString("v"), GrowString(value));
        root.addChild(GrowString("next"), GrowString("kept"));
        std::string text = written(root.children[0], 0) + written(root.children[1], 0);
        const XmlNode back = parsed(text);
        EXPECT_TRUE(sameTree(back, root)) << text;
    }
}

TEST(XmlReader, Rules) {
    struct Case {
        const char* what;
        const char* input;
        const char* shape;
    };
    const Case cases[] = {
        {"declaration ignored", "<?xml version=\"1.0\"?>\n<a></a>", "a"},
        {"stray end tag stays at root", "</b><a></a>", "a"},
        {"end tag names are not compared", "<a><b></c><d></d></a>", "a[b d]"},
        {"comment skipped", "<a></a><!-- note --><b></b>", "a b"},
        {"three dashes do not close a comment", "<a></a><!-- c ---><b></b><!-- d --><c></c>", "a c"},
        {"self-closing without attributes", "<p><a/><b></b></p>", "p[a b]"},
        {"self-closing with attributes", "<p><a x=\"1\"/><b /></p><q></q>", "p[a b] q"},
        {"slash in the name", "<p><a/ ><b></b></p>", "p[a b]"},
        {"empty tag ignored", "<><a></a>", "a"},
        {"unclosed element", "<a><b>", "a[b]"},
        {"end tag with slash", "<a><b></b/><c></c></a>", "a[b c]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(shape(parsed(c.input)), c.shape);
    }
}

TEST(XmlReader, AttributesAndText) {
    const XmlNode root = parsed(
        "<a x=\"1\" x=\"2\" s=\"two  words\" e= n q='single'>  lead and trail  </a>"
        "<b>&copy; &amp;amp; &lt;&gt;&quot;&apos;</b><c>one>two</c>");
    ASSERT_EQ(root.children.count, 3);
    const XmlNode& a = root.children[0];
    const char* names[] = {"x", "s", "e", "n", "q"};
    const char* values[] = {"2", "two  words", "", "", "single"};
    ASSERT_EQ(a.attributeNames.count, 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(a.attributeNames[i].c_str(), names[i]);
        EXPECT_STREQ(a.attributeValues[i].c_str(), values[i]);
    }
    EXPECT_STREQ(a.attribute(GrowString("missing")).c_str(), "");
    EXPECT_STREQ(a.text.c_str(), "lead and trail  ");  // leading whitespace is skipped
    EXPECT_STREQ(root.children[1].text.c_str(), "&copy; &amp; <>\"&apos;");
    EXPECT_STREQ(root.children[2].text.c_str(), "onetwo");  // a bare '>' is dropped
}

TEST(XmlReader, MissingInputLeavesRootUnchanged) {
    XmlNode root;
    root.addChild(GrowString("existing"));
    parseXmlFile(root, GrowString(""));
    parseXmlFile(root, GrowString());
    parseXmlFile(root, GrowString("/nonexistent/folder/file.xml"));
    parseXmlText(root, GrowString(""));
    parseXmlBytes(root, nullptr, 10);
    EXPECT_EQ(shape(root), "existing");
    // Reading adds to what root already holds.
    parseXmlText(root, GrowString("<more></more>"));
    EXPECT_EQ(shape(root), "existing more");
}

std::string temporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "xmlnode-XXXXXX").string();
    const char* made = mkdtemp(&pattern[0]);
    return made ? made : "";
}

TEST(XmlReader, FileWithNulBytesAndTruncation) {
    const std::string folder = temporaryFolder();
    ASSERT_FALSE(folder.empty());
    const struct {
        std::string bytes;
        const char* shape;
        const char* firstText;
    } cases[] = {
        {std::string("<a>x\0y</a>", 10), "a", "xy"},
        {std::string("<a\0 k=\"v\">t</a>", 15), "a", "t"},
        {"<a x=\"1", "a", ""},
        {"<a><b>text to the end", "a[b]", ""},
        {"<!-- never closed <a></a>", "", ""},
        {"<a>", "a", ""},
        {"<", "", ""},
        {"\"\"\"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        const std::string path = folder + "/f.xml";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        XmlNode root;
        parseXmlFile(root, GrowString(path.c_str()));
        EXPECT_EQ(shape(root), c.shape);
        if (root.children.count) {
            EXPECT_STREQ(root.children[0].text.c_str(), c.firstText);
        }
    }
    // A folder opens but reads as nothing.
    XmlNode root;
    parseXmlFile(root, GrowString(folder.c_str()));
    EXPECT_EQ(root.children.count, 0);
    std::filesystem::remove_all(folder);
}

// The reader keeps what it built from a text cut short and tells how the
// text ended, so that callers can refuse it.
TEST(XmlReader, ReportsHowTheTextEnded) {
    const struct {
        std::string bytes;
        const char* shape;
        const char* ending;
    } cases[] = {
        {"<a x=\"1\"><b></b></a>\n", "a[b]", ""},
        {"<a></a><!-- a comment --> <b></b></a></a>", "a b", ""},  // extra end tags close nothing
        {"<a><b/></a>", "a[b]", ""},
        {"", "", ""},
        {"<a><b x", "a[b]", "ends inside a tag"},
        {"<a><b x=\"val", "a[b]", "ends inside a tag"},
        {"<a>t</a", "a", "ends inside a tag"},
        {"<", "", "ends inside a tag"},
        {"<a></a><!-- never closed --", "a", "ends inside a comment"},
        {"<a></a><!-", "a !-", "ends inside a tag"},
        {"<a>", "a", "ends with 1 element open"},
        {"<a><b>text to the end", "a[b]", "ends with 2 elements open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        XmlNode root;
        XmlReadReport report;
        report.openElements = 99;  // every field is set by the read
        parseXmlBytes(root, c.bytes.data(), c.bytes.size(), &report);
        EXPECT_EQ(shape(root), c.shape);
        EXPECT_STREQ(report.ending().c_str(), c.ending);
        EXPECT_EQ(report.whole(), *c.ending == '\0');
    }
    // Elements skipped below the depth limit count as open too.
    std::string deep;
    for (int i = 0; i < 1200; ++i) deep += "<d>";
    XmlReadReport report;
    XmlNode root;
    parseXmlText(root, GrowString(deep.c_str()), &report);
    EXPECT_EQ(report.openElements, 1200);

    // A file over the limit is not read and says so.
    const std::string folder = temporaryFolder();
    ASSERT_FALSE(folder.empty());
    const std::string path = folder + "/big.xml";
    std::ofstream(path, std::ios::binary) << "<a></a>" << std::string(100, ' ');
    XmlNode big;
    GrowString reason;
    EXPECT_FALSE(readXmlFile(big, GrowString(path.c_str()), 50, &reason, &report));
    EXPECT_TRUE(report.overLimit);
    EXPECT_EQ(big.children.count, 0);
    EXPECT_TRUE(readXmlFile(big, GrowString(path.c_str()), 200, &reason, &report));
    EXPECT_FALSE(report.overLimit);
    EXPECT_TRUE(report.whole());
    std::filesystem::remove_all(folder);
}

TEST(XmlReader, HugeLineAndDeepNesting) {
    std::string huge = "<a>" + std::string(4 << 20, 'x');  // text running to the end
    XmlNode root = parsed(huge);
    ASSERT_EQ(root.children.count, 1);
    EXPECT_EQ(root.children[0].text.textLength(), 4 << 20);

    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<d>";
    deep += "<inside></inside>";
    for (int i = 0; i < 200000; ++i) deep += "</d>";
    deep += "<after></after>";
    XmlNode nested = parsed(deep);
    ASSERT_EQ(nested.children.count, 2);
    EXPECT_STREQ(nested.children[1].tag.c_str(), "after");
    int depth = 0;
    const XmlNode* node = &nested;
    while (node->children.count) {
        node = &node->children[0];
        ++depth;
    }
    EXPECT_LE(depth, 1000);
    EXPECT_GE(depth, 100);
    const XmlNode copy(nested);
    EXPECT_FALSE(written(copy, 0).empty());
}

TEST(XmlReader, GarbageNeverCrashes) {
    const char alphabet[] = "<>/=\"'!-? \n\tab&;\r\0x";
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int size = static_cast<int>(random() % 80);
        for (int i = 0; i < size; ++i) text += alphabet[random() % (sizeof alphabet - 1)];
        XmlNode root = parsed(text);
        // Whatever was read writes and reads again (tag names are not
        // escaped, so the second tree may differ from the first).
        std::string again;
        for (int32_t i = 0; i < root.children.count; ++i) again += written(root.children[i], 0);
        const XmlNode second = parsed(again);
        EXPECT_LE(second.children.count, static_cast<int32_t>(again.size()));
    }
}

// A name given again takes the place of its last mention with its last
// value, as setAttribute does; quoted words keep their separators.
TEST(XmlReader, RepeatedAttributesMoveToTheirLastMention) {
    const XmlNode root = parsed("<a x=\"1\" y=\"2\" x=\"3\" z=\"a \"b\" c\" y=\"4\"/>");
    ASSERT_EQ(root.children.count, 1);
    const XmlNode& a = root.children[0];
    const char* names[] = {"x", "z", "y"};
    const char* values[] = {"3", "a \"b\" c", "4"};
    ASSERT_EQ(a.attributeNames.count, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(a.attributeNames[i].c_str(), names[i]);
        EXPECT_STREQ(a.attributeValues[i].c_str(), values[i]);
    }
}

// Only regular files are read, without waiting on a FIFO; a size limit
// refuses larger files unread.
TEST(XmlReader, ReadsOnlyRegularFilesWithinTheLimit) {
    char pattern[] = "/tmp/xmlnode-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    ASSERT_EQ(mkfifo((folder + "/pipe").c_str(), 0600), 0);
    { std::ofstream(folder + "/small.xml") << "<a>text</a>"; }
    const struct {
        std::string path;
        int64_t limit;
        bool read;
        const char* reason;
    } cases[] = {
        {folder + "/pipe", 1 << 20, false, "is not a regular file"},
        {"/dev/zero", 1 << 20, false, "is not a regular file"},
        {folder, 1 << 20, false, "is a folder, not a file"},
        {folder + "/small.xml", 4, false, "is too large (over 0 MB)"},
        {folder + "/small.xml", 11, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        XmlNode root;
        GrowString reason;
        EXPECT_EQ(readXmlFile(root, GrowString(c.path.c_str()), c.limit, &reason), c.read);
        EXPECT_STREQ(reason.c_str(), c.reason);
        EXPECT_EQ(root.children.count, c.read ? 1 : 0);
    }
    std::filesystem::remove_all(folder);
}

TEST(XmlNode, AttributesAreReplacedAndMovedToTheEnd) {
    XmlNode n(GrowString("n"), GrowString(""));
    n.setAttribute(GrowString("a"), GrowString("1"));
    n.setAttribute(GrowString("b"), GrowString("2"));
    n.setAttribute(GrowString("a"), GrowString("3"));
    ASSERT_EQ(n.attributeNames.count, 2);
    EXPECT_STREQ(n.attributeNames[0].c_str(), "b");
    EXPECT_STREQ(n.attributeNames[1].c_str(), "a");
    EXPECT_STREQ(n.attribute(GrowString("a")).c_str(), "3");
    // Re-setting from the node's own strings.
    n.setAttribute(n.attributeNames[0], n.attributeValues[0]);
    EXPECT_STREQ(n.attributeNames[1].c_str(), "b");
    EXPECT_STREQ(n.attributeValues[1].c_str(), "2");
    EXPECT_STREQ(n.attributeValues[0].c_str(), "3");
}

TEST(XmlNode, CopiesAreDeepAndAssignmentIsAliasSafe) {
    XmlNode root = sampleTree();
    XmlNode copy(root);
    copy.children[0].children[0].text.assign("changed");
    EXPECT_TRUE(sameTree(root, sampleTree()));

    XmlNode& same = root;
    root = same;
    EXPECT_TRUE(sameTree(root, sampleTree()));
    root = std::move(same);
    EXPECT_TRUE(sameTree(root, sampleTree()));

    const XmlNode expectedFilter = sampleTree().children[0];
    root = root.children[0];  // the source lives inside the target
    EXPECT_TRUE(sameTree(root, expectedFilter));
    root = std::move(root.children[0]);
    EXPECT_TRUE(sameTree(root, expectedFilter.children[0]));

    XmlNode* child = root.addChild(root.tag, root.children[0].text);
    EXPECT_STREQ(child->tag.c_str(), "mod");
}

}  // namespace
