#pragma once
// XmlNode: one element of the program's small XML trees, with the text
// writer and reader used by filter files and the preferences file.
//
// A tree is held by a root node with an empty tag that is never written
// itself; its children are the document's top-level elements (there may be
// several). Copies are deep and tight. A pointer to a child points into its
// parent's children array and stays valid only until the next child is
// added to that parent.
//
// The text form is a subset of XML: elements with attributes and text,
// written indented, never self-closing, without a declaration. The writer
// escapes & < > " in texts and attribute values (&amp; &lt; &gt; &quot;)
// and the reader turns exactly those four back, so any path or name
// round-trips; text without such characters is written byte for byte.
// The reader is lenient: it skips comments and declarations, accepts
// self-closing tags, and never fails: what cannot be read is left out.

#include "GrowArray.h"
#include "GrowString.h"

#include <cstdio>

class XmlNode {
public:
    GrowArray<XmlNode> children;             // in document order
    GrowString text;                         // character content, "" when none
    GrowString tag;                          // element name, "" for a root
    GrowArray<GrowString> attributeNames;    // in order of setting
    GrowArray<GrowString> attributeValues;   // parallel to the names

    XmlNode();
    XmlNode(const GrowString& tag, const GrowString& text);
    XmlNode(const XmlNode& other);
    XmlNode(XmlNode&& other) noexcept;
    ~XmlNode();
    // Both assignments are safe when the source lives inside this node's
    // own subtree (node = node.children[0]).
    XmlNode& operator=(const XmlNode& other);
    XmlNode& operator=(XmlNode&& other) noexcept;

    // Appends a child with that tag and text and no attributes; returns it.
    XmlNode* addChild(const GrowString& childTag, const GrowString& childText = GrowString(""));
    // Removes an attribute of the same name, then appends name and value:
    // re-setting an attribute moves it to the last place.
    void setAttribute(const GrowString& name, const GrowString& value);
    // The value of the first attribute with that name, "" when there is none.
    GrowString attribute(const GrowString& name) const;
    // The first child with that tag, or null.
    XmlNode* findChild(const GrowString& childTag);
    const XmlNode* findChild(const GrowString& childTag) const;

private:
    void swapWith(XmlNode& other) noexcept;
};

// How a read of XML text ended. The reader keeps what it built either way
// (a text cut short reads as far as it goes); this tells the caller whether
// the text was whole, so that a file cut short can be refused.
struct XmlReadReport {
    bool overLimit = false;       // readXmlFile: the file holds more than its limit; nothing was read
    bool endedInTag = false;      // the text ended inside a tag, before its '>'
    bool endedInComment = false;  // the text ended inside a comment, before its "-->"
    int32_t openElements = 0;     // elements not closed when the text ended

    // True when the text ended outside every tag, comment and element.
    bool whole() const { return !endedInTag && !endedInComment && openElements == 0; }
    // How a text that is not whole ended, in a few words: "ends inside a
    // tag", "ends inside a comment", "ends with 2 elements open"; "" for a
    // whole text.
    GrowString ending() const;
};

// Writes the node and its subtree at the given depth (two spaces per level).
// Returns false when the file reported a write error.
bool writeXml(const XmlNode& node, FILE* file, int depth);
// The same text, appended to a string.
void writeXmlToString(const XmlNode& node, GrowString& out, int depth);

// Every reader below fills report, when given, with how the text ended
// (a text that was not read at all counts as whole).
//
// Reads a file into new children of root. An empty path, a missing or
// unreadable file, and anything but a regular file (a folder, a FIFO, a
// device) leave root unchanged.
void parseXmlFile(XmlNode& root, const GrowString& path, XmlReadReport* report = nullptr);
// The same for files of at most maxBytes; returns false, root unchanged,
// when the path names no regular file, cannot be opened or read, or holds
// more than maxBytes (then report->overLimit is set). The file is opened
// without waiting, so a FIFO never blocks the reader. reason, when given,
// receives why it failed in a few words ("cannot open: No such file or
// directory", "is a folder, not a file", "is not a regular file", "is too
// large (over 64 MB)").
bool readXmlFile(XmlNode& root, const GrowString& path, int64_t maxBytes, GrowString* reason,
                 XmlReadReport* report = nullptr);
// Reads text held in memory (up to its first NUL) into new children of root.
void parseXmlText(XmlNode& root, const GrowString& text, XmlReadReport* report = nullptr);
// Reads a byte range, NUL bytes included, into new children of root.
void parseXmlBytes(XmlNode& root, const char* bytes, size_t size, XmlReadReport* report = nullptr);

// The escaping the writer and reader use for texts and attribute values.
GrowString escapeXml(const GrowString& text);
GrowString unescapeXml(const GrowString& text);
