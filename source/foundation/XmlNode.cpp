#include "XmlNode.h"

#include "TextNumbers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Deepest nesting the reader builds. Files written by the program stay a
// handful of levels deep; a hostile file nested deeper would make the
// recursive copy, write and destruction of the tree run out of stack.
// Elements below this depth are skipped with everything inside them.
constexpr int32_t kMaxDepth = 1000;

GrowString toGrowString(const std::string& bytes) {
    // The bytes never hold a NUL here (the reader drops them).
    return GrowString(bytes.c_str());
}

void appendEscaped(std::string& out, const GrowString& value) {
    const int32_t n = value.textLength();
    for (int32_t i = 0; i < n; ++i) {
        const char c = value.data[i];
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c; break;
        }
    }
}

// Turns &amp; &lt; &gt; &quot; back into their characters in one pass from
// left to right; every other '&' stays as it is.
std::string unescaped(const char* text, size_t n) {
    static const struct {
        const char* entity;
        size_t size;
        char character;
    } kEntities[] = {{"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}};
    std::string out;
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& e : kEntities) {
                if (n - i >= e.size && std::memcmp(text + i, e.entity, e.size) == 0) {
                    out += e.character;
                    i += e.size;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

void writeNode(std::string& out, const XmlNode& node, int depth) {
    if (depth < 0) depth = 0;
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    out += indent;
    out += '<';
    out += node.tag.c_str();
    for (int32_t i = 0; i < node.attributeNames.count; ++i) {
        out += ' ';
        out += node.attributeNames[i].c_str();
        out += "=\"";
        if (i < node.attributeValues.count) appendEscaped(out, node.attributeValues[i]);
        out += '"';
    }
    if (node.children.count == 0) {
        out += '>';
        appendEscaped(out, node.text);
        out += "</";
        out += node.tag.c_str();
        out += ">\n";
        return;
    }
    out += ">\n";
    for (int32_t i = 0; i < node.children.count; ++i) writeNode(out, node.children[i], depth + 1);
    // The text of an element with children comes after them, on its own line.
    if (!node.text.isEmpty()) {
        out += indent;
        appendEscaped(out, node.text);
        out += '\n';
    }
    out += indent;
    out += "</";
    out += node.tag.c_str();
    out += ">\n";
}

bool isSpaceByte(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

// The separators between the words of a tag (GrowString::takeToken's).
bool isWordSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// One word of a tag's body.
struct Span {
    size_t start;
    size_t size;
};

// Splits a tag's body into words as GrowString::takeToken takes them one
// after another: separators outside double quotes end a word (the quotes
// are counted from the word's first byte), runs of separators are skipped.
// One pass over the body, so a tag of any length costs its length.
std::vector<Span> splitWords(const std::string& body) {
    std::vector<Span> words;
    const size_t n = body.size();
    size_t i = 0;
    while (i < n) {
        while (i < n && isWordSeparator(body[i])) ++i;
        if (i >= n) break;
        const size_t start = i;
        int64_t quotes = body[i] == '"' ? 1 : 0;
        ++i;
        while (i < n) {
            const char c = body[i];
            if (c == '"')
                ++quotes;
            else if (isWordSeparator(c) && quotes % 2 == 0)
                break;
            ++i;
        }
        words.push_back(Span{start, i - start});
    }
    return words;
}

// The reader's state: the element that receives text and children, and the
// open elements above root (the deepest last).
class XmlReader {
public:
    XmlReader(XmlNode& root, const char* bytes, size_t size)
        : root_(root), current_(&root), bytes_(bytes), size_(size) {}

    void run() {
        while (pos_ < size_) {
            while (pos_ < size_ && isSpaceByte(bytes_[pos_])) ++pos_;
            if (skipComment()) continue;
            if (pos_ >= size_) break;
            const char c = bytes_[pos_++];
            if (c == '<') {
                readTag();
            } else {
                readText(c);
            }
        }
    }

    // How the text ended: what was left open at its end.
    void fillReport(XmlReadReport& report) const {
        report.endedInTag = endedInTag_;
        report.endedInComment = endedInComment_;
        report.openElements = open_.count + skippedDepth_;
    }

private:
    // At "<!--": skips to the next "--" followed by '>' (or the end).
    bool skipComment() {
        if (size_ - pos_ < 4 || std::memcmp(bytes_ + pos_, "<!--", 4) != 0) return false;
        pos_ += 4;
        // A byte that breaks the "-->" sequence is consumed and the search
        // starts again after it: "--->" does not close the comment.
        while (pos_ < size_) {
            if (bytes_[pos_++] != '-') continue;
            if (pos_ >= size_) break;
            if (bytes_[pos_++] != '-') continue;
            if (pos_ >= size_) break;
            if (bytes_[pos_++] == '>') return true;
        }
        endedInComment_ = true;  // the input ran out before "-->"
        return true;
    }

    // Text runs up to the next '<' (left unread); '>' and NUL bytes are
    // dropped. It replaces the current element's text. Text that runs to
    // the end of the input keeps all its bytes.
    void readText(char first) {
        std::string collected;
        if (first != '>' && first != 0) collected += first;
        while (pos_ < size_ && bytes_[pos_] != '<') {
            const char c = bytes_[pos_++];
            if (c != '>' && c != 0) collected += c;
        }
        if (skippedDepth_ > 0) return;
        current_->text = toGrowString(unescaped(collected.data(), collected.size()));
    }

    void readTag() {
        std::string body;
        bool closed = false;
        while (pos_ < size_) {
            const char c = bytes_[pos_++];
            if (c == '>') {
                closed = true;
                break;
            }
            if (c != '<' && c != 0) body += c;
        }
        // The input ran out before the '>': the tag is read as far as it goes.
        if (!closed) endedInTag_ = true;
        const size_t first = body.find_first_not_of(" \t\n");
        const bool endTag = first != std::string::npos && body[first] == '/';
        // "<a/>" and "<a x="1"/>": an element that is closed at once.
        bool selfClosing = !endTag && !body.empty() && body.back() == '/';
        if (selfClosing) body.pop_back();

        // The tag's words, split once in a single pass over the body.
        const std::vector<Span> words = splitWords(body);
        if (words.empty()) return;  // nothing
        GrowString name = toGrowString(body.substr(words[0].start, words[0].size));
        if (name.isEmpty() || name.data[0] == '?') return;  // nothing, or a declaration
        if (endTag) {
            closeCurrent();  // the name is not compared with the open element
            return;
        }
        // "<a/ x>" : the name itself may carry the slash.
        const int32_t nameLength = name.textLength();
        if (name.data[nameLength - 1] == '/') {
            selfClosing = true;
            name = name.substring(0, nameLength - 2);
            if (name.isEmpty()) return;
        }
        if (skippedDepth_ > 0 || depth_ >= kMaxDepth) {
            if (!selfClosing) ++skippedDepth_;
            return;
        }
        current_ = current_->addChild(name, GrowString(""));
        open_.append(current_);
        ++depth_;
        addAttributes(body, words);
        if (selfClosing) closeCurrent();
    }

    // Sets the attributes written as name="value" in the words after the
    // tag's name. A name given more than once keeps its last value and
    // takes the place of its last mention, as setting it again does
    // (XmlNode::setAttribute); found with a hash of the names, so a tag of
    // many attributes costs its length.
    void addAttributes(const std::string& body, const std::vector<Span>& words) {
        struct Attribute {
            std::string name;
            std::string value;
        };
        std::vector<Attribute> attributes;
        std::unordered_map<std::string, size_t> lastMention;
        for (size_t w = 1; w < words.size(); ++w) {
            const char* word = body.data() + words[w].start;
            const size_t size = words[w].size;
            const char* equals = static_cast<const char*>(std::memchr(word, '=', size));
            const size_t nameSize = equals ? static_cast<size_t>(equals - word) : size;
            if (nameSize == 0) continue;
            Attribute attribute;
            attribute.name.assign(word, nameSize);
            if (equals) {
                // The first and last character are the quotes, whichever they are.
                const size_t valueSize = size - nameSize - 1;
                if (valueSize >= 2) attribute.value = unescaped(equals + 2, valueSize - 2);
            }
            lastMention[attribute.name] = attributes.size();
            attributes.push_back(std::move(attribute));
        }
        for (size_t a = 0; a < attributes.size(); ++a) {
            if (lastMention[attributes[a].name] != a) continue;
            current_->attributeNames.append(toGrowString(attributes[a].name));
            current_->attributeValues.append(toGrowString(attributes[a].value));
        }
    }

    // The current element becomes the one that was open before it, or root.
    void closeCurrent() {
        if (skippedDepth_ > 0) {
            --skippedDepth_;
            return;
        }
        if (open_.count > 0) {
            --open_.count;
            --depth_;
        }
        current_ = open_.count > 0 ? open_[open_.count - 1] : &root_;
    }

    XmlNode& root_;
    XmlNode* current_;
    const char* bytes_;
    size_t size_;
    size_t pos_ = 0;
    GrowArray<XmlNode*> open_;
    int32_t depth_ = 0;
    int32_t skippedDepth_ = 0;  // open elements beyond kMaxDepth
    bool endedInTag_ = false;
    bool endedInComment_ = false;
};

}  // namespace

// ---------------------------------------------------------------------------
// XmlNode

XmlNode::XmlNode() = default;

XmlNode::XmlNode(const GrowString& tagName, const GrowString& content) : text(content), tag(tagName) {}

XmlNode::XmlNode(const XmlNode& other) = default;

XmlNode::XmlNode(XmlNode&& other) noexcept = default;

XmlNode::~XmlNode() = default;

XmlNode& XmlNode::operator=(const XmlNode& other) {
    if (this != &other) {
        XmlNode copy(other);  // complete before anything of ours is freed
        swapWith(copy);
    }
    return *this;
}

XmlNode& XmlNode::operator=(XmlNode&& other) noexcept {
    if (this != &other) {
        XmlNode taken(std::move(other));  // other may live inside our subtree
        swapWith(taken);
    }
    return *this;
}

void XmlNode::swapWith(XmlNode& other) noexcept {
    std::swap(children, other.children);
    std::swap(text, other.text);
    std::swap(tag, other.tag);
    std::swap(attributeNames, other.attributeNames);
    std::swap(attributeValues, other.attributeValues);
}

XmlNode* XmlNode::addChild(const GrowString& childTag, const GrowString& childText) {
    children.append(XmlNode(childTag, childText));
    return &children[children.count - 1];
}

void XmlNode::setAttribute(const GrowString& name, const GrowString& value) {
    // Copies first: name or value may be one of the strings about to move.
    const GrowString newName(name);
    const GrowString newValue(value);
    for (int32_t i = 0; i < attributeNames.count; ++i) {
        if (attributeNames[i] == newName) {
            attributeNames.removeAt(i);
            attributeValues.removeAt(i);
            break;
        }
    }
    attributeNames.append(newName);
    attributeValues.append(newValue);
}

GrowString XmlNode::attribute(const GrowString& name) const {
    for (int32_t i = 0; i < attributeNames.count && i < attributeValues.count; ++i) {
        if (attributeNames[i] == name) return attributeValues[i];
    }
    return GrowString("");
}

XmlNode* XmlNode::findChild(const GrowString& childTag) {
    for (int32_t i = 0; i < children.count; ++i) {
        if (children[i].tag == childTag) return &children[i];
    }
    return nullptr;
}

const XmlNode* XmlNode::findChild(const GrowString& childTag) const {
    return const_cast<XmlNode*>(this)->findChild(childTag);
}

// ---------------------------------------------------------------------------
// Writer and reader

bool writeXml(const XmlNode& node, FILE* file, int depth) {
    if (!file) return false;
    std::string out;
    writeNode(out, node, depth);
    return std::fwrite(out.data(), 1, out.size(), file) == out.size() && !std::ferror(file);
}

void writeXmlToString(const XmlNode& node, GrowString& out, int depth) {
    std::string text;
    writeNode(text, node, depth);
    out.append(text.c_str());
}

GrowString XmlReadReport::ending() const {
    GrowString text("");
    if (endedInTag)
        text.append("ends inside a tag");
    else if (endedInComment)
        text.append("ends inside a comment");
    else if (openElements == 1)
        text.append("ends with 1 element open");
    else if (openElements > 1)
        appendFormat(text, "ends with %d elements open", static_cast<int>(openElements));
    return text;
}

void parseXmlBytes(XmlNode& root, const char* bytes, size_t size, XmlReadReport* report) {
    if (report) *report = XmlReadReport();
    if (!bytes || size == 0) return;
    XmlReader reader(root, bytes, size);
    reader.run();
    if (report) reader.fillReport(*report);
}

void parseXmlText(XmlNode& root, const GrowString& text, XmlReadReport* report) {
    parseXmlBytes(root, text.c_str(), static_cast<size_t>(text.textLength()), report);
}

void parseXmlFile(XmlNode& root, const GrowString& path, XmlReadReport* report) {
    readXmlFile(root, path, INT64_MAX, nullptr, report);
}

bool readXmlFile(XmlNode& root, const GrowString& path, int64_t maxBytes, GrowString* reason,
                 XmlReadReport* report) {
    if (report) *report = XmlReadReport();
    auto fail = [reason](const char* why, int error) {
        if (reason) {
            *reason = GrowString(why);
            if (error != 0) reason->append(std::strerror(error));
        }
        return false;
    };
    if (path.isEmpty()) return fail("no file name given", 0);
    // Without waiting: opening a FIFO for reading would otherwise block
    // until a writer comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(errno == EISDIR ? "is a folder, not a file" : "cannot open: ", errno == EISDIR ? 0 : errno);
    struct stat info;
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return fail("cannot open: ", error);
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        return fail("is a folder, not a file", 0);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail("is not a regular file", 0);
    }
    if (info.st_size > maxBytes) {
        ::close(fd);
        if (report) report->overLimit = true;
        if (reason) {
            *reason = GrowString("");
            appendFormat(*reason, "is too large (over %lld MB)", static_cast<long long>(maxBytes >> 20));
        }
        return false;
    }
    std::string bytes;
    bytes.reserve(static_cast<size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return fail("cannot read: ", error);
        }
        // A file that grows while it is read is held to the same limit.
        if (static_cast<int64_t>(bytes.size()) + got > maxBytes) {
            ::close(fd);
            if (report) report->overLimit = true;
            if (reason) {
                *reason = GrowString("");
                appendFormat(*reason, "is too large (over %lld MB)", static_cast<long long>(maxBytes >> 20));
            }
            return false;
        }
        bytes.append(chunk, static_cast<size_t>(got));
    }
    ::close(fd);
    parseXmlBytes(root, bytes.data(), bytes.size(), report);
    return true;
}

GrowString escapeXml(const GrowString& text) {
    std::string out;
    appendEscaped(out, text);
    return toGrowString(out);
}

GrowString unescapeXml(const GrowString& text) {
    return toGrowString(unescaped(text.c_str(), static_cast<size_t>(text.textLength())));
}
