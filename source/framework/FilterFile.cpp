#include "framework/FilterFile.h"

#include <atomic>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

#include "foundation/ImageBuffer.h"
#include "foundation/TextNumbers.h"
#include "foundation/XmlNode.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"

namespace {

// ---- numbers ---------------------------------------------------------------

double finiteOrZero(double v) {
    return std::isfinite(v) ? v : 0.0;
}

// strtod in the C locale; text that is no number, NaN and infinities read as 0.
double readNumber(const char* text) {
    return finiteOrZero(cStrtod(text, nullptr));
}

// A number read for a value: NaN and infinities in the text, and numbers
// that a float cannot hold, stand for no value, so the fallback (the
// prototype's) is taken; any other number is first held to [low, high]
// (either bound may be infinite: none).
float valueFromFile(double x, double low, double high, float fallback) {
    if (!std::isfinite(x)) return fallback;
    if (x < low) x = low;
    if (x > high) x = high;
    if (!(x >= -FLT_MAX && x <= FLT_MAX)) return fallback;
    return static_cast<float>(x);
}

// strtod truncated toward zero into the u32 version field, saturating.
uint32_t readVersion(const char* text) {
    const double v = std::trunc(readNumber(text));
    if (v <= 0.0) return 0;
    if (v >= 4294967295.0) return UINT32_MAX;
    return static_cast<uint32_t>(v);
}

// Reads the space-separated words of a text as numbers, one by one (strtod
// of each word; a word that is no number reads as 0; "nan" and "inf" read
// as they are, for the caller to judge). Walks the text once, so a huge
// text costs only the words actually read.
class WordNumbers {
public:
    explicit WordNumbers(const char* text) : p_(text) {}
    bool next(double& number) {
        while (isSpace(*p_)) ++p_;
        if (*p_ == '\0') return false;
        number = cStrtod(p_, nullptr);
        while (*p_ != '\0' && !isSpace(*p_)) ++p_;
        return true;
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    const char* p_;
};

GrowString formatFloat(float v) {
    GrowString text("");
    appendFormat(text, "%f", finiteOrZero(v));
    return text;
}

GrowString formatInt(long long v) {
    GrowString text("");
    appendFormat(text, "%lld", v);
    return text;
}

// ---- XML helpers -----------------------------------------------------------

bool hasAttribute(const XmlNode& node, const char* name) {
    for (int32_t i = 0; i < node.attributeNames.count; ++i) {
        if (node.attributeNames[i] == name) return true;
    }
    return false;
}

// ---- writing ---------------------------------------------------------------

void writeVar(const ModVar& var, XmlNode& modNode) {
    const VarValue* value = var.value;
    const int32_t kind = value ? value->kind() : 0;
    const char* type = "unknown";
    GrowString text("");
    switch (kind) {
        case kFloatVar:
            type = "float";
            text = formatFloat(var.floatValue()->value);
            break;
        case kCurveVar: {
            type = "curve";
            const Curve& curve = var.curveValue()->curve;
            for (int32_t i = 0; i < curve.points.count; ++i) {
                appendFormat(text, "%f %f ", finiteOrZero(curve.points[i].x), finiteOrZero(curve.points[i].y));
            }
            break;
        }
        case kColorVar: {
            type = "color";
            const ColorValue* c = var.colorValue();
            appendFormat(text, "%f %f %f %f", finiteOrZero(c->red), finiteOrZero(c->green),
                         finiteOrZero(c->blue), finiteOrZero(c->fourth));
            break;
        }
        case kChoiceVar:
            type = "choice";
            text = var.choiceText();
            break;
        case kMultiChoiceVar:
            type = "multichoice";
            break;
        case kFileVar:
            type = "file";
            text = var.fileValue()->path;
            break;
        default:
            break;
    }

    XmlNode* varNode = modNode.addChild(GrowString("var"), text);
    varNode->setAttribute(GrowString("name"), var.name);
    varNode->setAttribute(GrowString("type"), GrowString(type));
    if (kind == kCurveVar && var.controlCode == kControlHueCurve) {
        varNode->setAttribute(GrowString("hueOffset"), formatFloat(var.curveValue()->curve.hueOffset));
    }
    if (kind == kMultiChoiceVar) {
        const MultiChoiceValue* multi = var.multiChoiceValue();
        for (int32_t i = 0; i < multi->selection.count; ++i) {
            const int32_t index = multi->selection[i];
            if (index < 0 || index >= multi->options.count) continue;
            varNode->addChild(GrowString("selection"), multi->options[index]);
        }
    }
}

// The path up to and including its last '/', "" when it has none.
GrowString folderOf(const GrowString& path) {
    const char* text = path.c_str();
    const char* slash = std::strrchr(text, '/');
    return slash ? path.substring(0, static_cast<int32_t>(slash - text)) : GrowString("");
}

// Writes the file next to its target and renames it over the target once it
// is complete and on disk.
class AtomicFile {
public:
    explicit AtomicFile(const GrowString& target) : target_(target) {}
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile() {
        if (file_) std::fclose(file_);
        if (!committed_ && !tempPath_.isEmpty()) unlink(tempPath_.c_str());
    }

    FILE* open() {
        static std::atomic<unsigned> counter{0};
        const GrowString folder = folderOf(target_);
        for (int attempt = 0; attempt < 100; ++attempt) {
            tempPath_ = folder;
            appendFormat(tempPath_, ".pellucine-save-%ld-%u.tmp", static_cast<long>(getpid()),
                         counter.fetch_add(1));
            // 0666 so that the saved file gets the permissions the umask
            // gives a new file, as a direct write would.
            const int fd = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                file_ = fdopen(fd, "w");
                if (!file_) ::close(fd);
                return file_;
            }
            if (errno != EEXIST) break;
        }
        tempPath_ = GrowString();
        return nullptr;
    }

    bool commit() {
        if (!file_) return false;
        bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
        ok = ok && fsync(fileno(file_)) == 0;
        ok = (std::fclose(file_) == 0) && ok;
        file_ = nullptr;
        if (!ok) return false;
        if (std::rename(tempPath_.c_str(), target_.c_str()) != 0) return false;
        committed_ = true;
        syncFolder();
        return true;
    }

private:
    // Makes the rename itself durable; failure here does not undo the save.
    void syncFolder() {
        const GrowString folder = folderOf(target_);
        const int fd = ::open(folder.isEmpty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        fsync(fd);
        ::close(fd);
    }

    GrowString target_;
    GrowString tempPath_;
    FILE* file_ = nullptr;
    bool committed_ = false;
};

// ---- reading ---------------------------------------------------------------

// The var's value when it is of the wanted kind; a new value of that kind
// when the var holds none; null when it holds a value of another kind, which
// is then left alone (a tile's code relies on the kinds its vars were built
// with).
template <class Value>
Value* valueForReading(ModVar& var, int32_t wantedKind, Value* (ModVar::*make)()) {
    if (!var.value) return (var.*make)();
    if (var.value->kind() != wantedKind) return nullptr;
    return static_cast<Value*>(var.value);
}

FloatValue* makeReaderFloat(ModVar& var) {
    if (var.value) return var.value->kind() == kFloatVar ? static_cast<FloatValue*>(var.value) : nullptr;
    // A float made by the reader: value 0, limits 0..1 in force, track 0..1,
    // display range 0..1 not in use, 10 ticks (the FloatValue defaults).
    FloatValue* made = new FloatValue();
    var.setValue(made);
    return made;
}

void readChoice(ModVar& var, const GrowString& text) {
    ChoiceValue* choice = valueForReading(var, kChoiceVar, &ModVar::makeChoice);
    if (!choice) return;
    for (int32_t l = 0; l < choice->lists.count; ++l) {
        const GrowArray<GrowString>& list = choice->lists[l];
        for (int32_t o = 0; o < list.count; ++o) {
            if (list[o] != text) continue;
            // The index names an option of the list shown (list 0); an index
            // found in a longer later list is no option there.
            if (o < choice->optionCount()) choice->selected = o;
            return;
        }
    }
}

void readMultiChoice(ModVar& var, const XmlNode& element) {
    MultiChoiceValue* multi = valueForReading(var, kMultiChoiceVar, &ModVar::makeMultiChoice);
    if (!multi) return;
    multi->selection.count = 0;
    for (int32_t c = 0; c < element.children.count; ++c) {
        const XmlNode& child = element.children[c];
        if (child.tag != "selection") continue;
        int32_t found = -1;
        for (int32_t o = 0; o < multi->options.count && found < 0; ++o) {
            if (multi->options[o] == child.text) found = o;
        }
        if (found < 0) continue;
        bool already = false;
        for (int32_t s = 0; s < multi->selection.count && !already; ++s) already = multi->selection[s] == found;
        if (!already) multi->selection.append(found);
    }
}

// Colour components are on the 0..255 scale the colour chooser gives; a
// component that is no finite number takes the prototype's.
void readColor(ModVar& var, const GrowString& text, const ModVar* prototype) {
    double numbers[4] = {0.0, 0.0, 0.0, 255.0};
    WordNumbers words(text.c_str());
    int32_t count = 0;
    while (count < 4 && words.next(numbers[count])) ++count;
    if (count < 3) return;
    ColorValue* color = valueForReading(var, kColorVar, &ModVar::makeColor);
    if (!color) return;
    const ColorValue* original = prototype ? prototype->colorValue() : nullptr;
    const ColorValue fallback = original ? *original : ColorValue(0.0f, 0.0f, 0.0f, 255.0f);
    color->red = valueFromFile(numbers[0], 0.0, 255.0, fallback.red);
    color->green = valueFromFile(numbers[1], 0.0, 255.0, fallback.green);
    color->blue = valueFromFile(numbers[2], 0.0, 255.0, fallback.blue);
    color->fourth = valueFromFile(numbers[3], 0.0, 255.0, fallback.fourth);
}

// Control points are held to 0..1, the square the curve editor works in. A
// curve with a coordinate that is no finite number is no curve: the var
// takes the prototype's curve (and keeps its own when the prototype has
// none).
void readCurve(ModVar& var, const XmlNode& element, const ModVar* prototype) {
    // Pairs of numbers, up to the first incomplete pair or the cap.
    GrowArray<CurvePoint> points;
    WordNumbers words(element.text.c_str());
    double x = 0.0;
    double y = 0.0;
    bool finite = true;
    while (points.count < kMaxFilterCurvePoints && words.next(x) && words.next(y)) {
        finite = finite && std::isfinite(x) && std::isfinite(y);
        CurvePoint point;
        point.x = valueFromFile(x, 0.0, 1.0, 0.0f);
        point.y = valueFromFile(y, 0.0, 1.0, 0.0f);
        points.append(point);
    }
    if (points.count < 2) return;

    CurveValue* curveValue = valueForReading(var, kCurveVar, &ModVar::makeCurve);
    if (!curveValue) return;
    const CurveValue* original = prototype ? prototype->curveValue() : nullptr;
    Curve built;
    // The var keeps its own wrap flag; the table is built once with it in
    // force. The points stand in the file's order, without forced ends.
    built.wrap = curveValue->curve.wrap;
    if (!finite) {
        if (!original) return;
        built.hueOffset = original->curve.hueOffset;
        built.replacePoints(original->curve.points);
    } else {
        const float offsetFallback = original ? original->curve.hueOffset : 180.0f;
        built.hueOffset =
            hasAttribute(element, "hueOffset")
                ? valueFromFile(cStrtod(element.attribute(GrowString("hueOffset")).c_str(), nullptr), -HUGE_VAL,
                                HUGE_VAL, offsetFallback)
                : 180.0f;
        built.replacePoints(points);
    }
    curveValue->curve = std::move(built);
}

// A float is held to the limits its var has in force, where the control
// strip's slider holds it; a fresh value made here has limits 0..1 in
// force. A number that is not finite takes the prototype's value.
void readFloatVar(ModVar& var, const GrowString& text, const ModVar* prototype) {
    FloatValue* value = makeReaderFloat(var);
    if (!value) return;
    const FloatValue* original = prototype ? prototype->floatValue() : nullptr;
    const float fallback = original ? original->value : FloatValue().value;
    const double x = cStrtod(text.c_str(), nullptr);
    value->value = valueFromFile(value->heldToLimits(x), -HUGE_VAL, HUGE_VAL, fallback);
}

// prototype: the var of the same name in the tile the reader cloned, whose
// values stand in for numbers that are no numbers; null when it has none.
void readVar(ModVar& var, const XmlNode& element, const ModVar* prototype) {
    const GrowString type = element.attribute(GrowString("type"));
    if (type == "float") {
        readFloatVar(var, element.text, prototype);
    } else if (type == "choice") {
        readChoice(var, element.text);
    } else if (type == "multichoice") {
        readMultiChoice(var, element);
    } else if (type == "file") {
        if (FileValue* file = valueForReading(var, kFileVar, &ModVar::makeFile)) file->path = element.text;
    } else if (type == "color") {
        readColor(var, element.text, prototype);
    } else if (type == "curve") {
        readCurve(var, element, prototype);
    }
}

void readAttr(ImageMod& mod, const XmlNode& element) {
    const GrowString name = element.attribute(GrowString("name"));
    for (int32_t i = 0; i < mod.attrNames.count; ++i) {
        if (mod.attrNames[i] != name) continue;
        while (mod.attrValues.count <= i) mod.attrValues.append(GrowString(""));
        mod.attrValues[i] = element.text;
        return;
    }
    // Tiles carry a handful of attributes; a file listing thousands of
    // names would make every look-up slow, so the surplus is dropped.
    if (mod.attrNames.count >= kMaxModAttributes) return;
    mod.attrNames.append(name);
    mod.attrValues.append(element.text);
}

const ImageMod* lastNamed(const GrowArray<ImageMod*>& list, const GrowString& name) {
    for (int32_t i = list.count - 1; i >= 0; --i) {
        if (list[i] && list[i]->name == name) return list[i];
    }
    return nullptr;
}

// Records the first problem of a read, when the caller asked for reasons.
void noteProblem(GrowString* reason, const GrowString& text) {
    if (reason && reason->isEmpty()) *reason = text;
}

void readModList(GrowArray<ImageMod*>& out, const XmlNode& parent, GrowArray<ImageMod*>& compounds,
                 const GrowArray<ImageMod*>& prototypes, uint32_t& status, int32_t depth, GrowString* reason) {
    // The template of the "submod" just read, waiting for the "mod" element
    // after it. Owned by compounds.
    ImageMod* pending = nullptr;
    for (int32_t c = 0; c < parent.children.count; ++c) {
        const XmlNode& child = parent.children[c];
        if (child.tag == "mod") {
            GrowArray<ImageMod*> candidates;
            if (pending) candidates.append(pending);
            pending = nullptr;
            if (ImageMod* mod = xmlToMod(child, candidates, prototypes, status, reason)) out.append(mod);
        } else if (child.tag == "submod") {
            pending = nullptr;
            if (depth >= kMaxSubmodDepth) {
                status = kFilterProblem;
                GrowString text("");
                appendFormat(text, "holds compound tiles nested deeper than %d levels", kMaxSubmodDepth);
                noteProblem(reason, text);
                continue;
            }
            GrowArray<ImageMod*> subMods;
            readModList(subMods, child, compounds, prototypes, status, depth + 1, reason);
            auto compound = std::make_unique<CompoundFilter>(child.attribute(GrowString("name")));
            for (int32_t i = 0; i < subMods.count; ++i) compound->subMods.append(subMods[i]);
            pending = compound.get();
            compounds.append(compound.release());
        }
    }
}

}  // namespace

// ---- public ----------------------------------------------------------------

void modToXml(const ImageMod& mod, XmlNode& parent) {
    if (mod.kind() == kCompoundMod) {
        if (const auto* compound = dynamic_cast<const CompoundFilter*>(&mod)) {
            XmlNode* submod = parent.addChild(GrowString("submod"), GrowString(""));
            submod->setAttribute(GrowString("name"), compound->name);
            for (int32_t i = 0; i < compound->subMods.count; ++i) {
                if (compound->subMods[i]) modToXml(*compound->subMods[i], *submod);
            }
        }
    }
    XmlNode* modNode = parent.addChild(GrowString("mod"), GrowString(""));
    modNode->setAttribute(GrowString("name"), mod.name);
    modNode->setAttribute(GrowString("version"), formatInt(static_cast<long long>(mod.version)));
    modNode->setAttribute(GrowString("enabled"), formatInt(static_cast<long long>(mod.enabled)));
    for (int32_t i = 0; i < mod.vars.count; ++i) {
        if (mod.vars[i]) writeVar(*mod.vars[i], *modNode);
    }
    for (int32_t i = 0; i < mod.attrNames.count; ++i) {
        XmlNode* attr = modNode->addChild(GrowString("attr"),
                                          i < mod.attrValues.count ? mod.attrValues[i] : GrowString(""));
        attr->setAttribute(GrowString("name"), mod.attrNames[i]);
    }
}

bool saveFilterFile(const GrowArray<ImageMod*>& mods, const GrowString& path) {
    if (mods.count < 1 || path.isEmpty()) return false;

    XmlNode document;
    XmlNode* filter = document.addChild(GrowString("filter"), GrowString(""));
    filter->setAttribute(GrowString("version"), formatInt(kFilterFileVersion));
    for (int32_t i = 0; i < mods.count; ++i) {
        if (mods[i]) modToXml(*mods[i], *filter);
    }

    AtomicFile output(path);
    FILE* file = output.open();
    if (!file) return false;
    bool written = true;
    for (int32_t i = 0; i < document.children.count; ++i) {
        written = writeXml(document.children[i], file, 0) && written;
    }
    return written && output.commit();
}

void loadFilterFile(GrowArray<ImageMod*>& out, const GrowString& path,
                    const GrowArray<ImageMod*>& prototypes, uint32_t& status, GrowString* reason) {
    status = kFilterReadClean;
    out.count = 0;
    GrowString problem("");

    XmlNode document;
    XmlReadReport report;
    if (!readXmlFile(document, path, kMaxFilterFileBytes, &problem, &report)) {
        status = kFilterProblem;
        if (reason) *reason = problem;
        return;
    }
    // A file cut short would load as the tiles before the cut, with the
    // prototype's values for what is missing: a chain nobody saved.
    if (!report.whole()) {
        status = kFilterProblem;
        if (reason) {
            *reason = GrowString("is cut short: it ");
            reason->appendString(report.ending());
        }
        return;
    }
    if (document.children.count < 1 || document.children[0].tag != "filter") {
        status = kFilterProblem;
        if (reason) *reason = GrowString("is not a filter file (no \"filter\" element)");
        return;
    }
    const XmlNode& root = document.children[0];
    if (saturatingInt(readNumber(root.attribute(GrowString("version")).c_str())) >= kFilterFileVersion + 1) {
        status = kFilterFromNewerRelease;
    }

    GrowArray<ImageMod*> compounds;
    xmlToModList(out, root, compounds, prototypes, status, &problem);
    for (int32_t i = 0; i < compounds.count; ++i) delete compounds[i];
    // The chain in the order it renders in (crop, central tiles, sizing and
    // borders), nested tiles included, so that a hand-written or old file in
    // another order reads as the chain every renderer runs.
    sortModsByChainGroup(out);
    if (status == kFilterProblem && reason) *reason = problem;
}

void xmlToModList(GrowArray<ImageMod*>& out, const XmlNode& parent, GrowArray<ImageMod*>& compounds,
                  const GrowArray<ImageMod*>& prototypes, uint32_t& status, GrowString* reason) {
    readModList(out, parent, compounds, prototypes, status, 0, reason);
}

GrowString printableName(const GrowString& name) {
    std::string text;
    const int32_t n = name.textLength();
    for (int32_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(name.data[i]);
        switch (c) {
            case '\n': text += "\\n"; break;
            case '\t': text += "\\t"; break;
            case '\r': text += "\\r"; break;
            case '\\': text += "\\\\"; break;
            default:
                if (c < 32 || c == 127) {
                    char escaped[8];
                    cFormat(escaped, sizeof escaped, "\\x%02x", c);
                    text += escaped;
                } else {
                    text += static_cast<char>(c);
                }
                break;
        }
    }
    return GrowString(text.c_str());
}

ImageMod* xmlToMod(const XmlNode& element, const GrowArray<ImageMod*>& compounds,
                   const GrowArray<ImageMod*>& prototypes, uint32_t& status, GrowString* reason) {
    const GrowString name = element.attribute(GrowString("name"));
    const bool enabled =
        hasAttribute(element, "enabled") ? readNumber(element.attribute(GrowString("enabled")).c_str()) != 0.0 : true;
    const uint32_t version =
        hasAttribute(element, "version") ? readVersion(element.attribute(GrowString("version")).c_str()) : 1;

    const ImageMod* match = lastNamed(compounds, name);
    if (!match) match = lastNamed(prototypes, name);
    if (!match) {
        status = kFilterProblem;
        GrowString text("names a tile this program does not have: \"");
        text.appendString(printableName(name));
        text.append("\"");
        noteProblem(reason, text);
        return nullptr;
    }
    ImageMod* mod = match->clone();
    if (!mod) {
        status = kFilterProblem;
        noteProblem(reason, GrowString("holds tiles that could not be read"));
        return nullptr;
    }
    mod->enabled = enabled ? 1 : 0;
    mod->setVersion(version);

    for (int32_t c = 0; c < element.children.count; ++c) {
        const XmlNode& child = element.children[c];
        if (child.tag == "attr") {
            readAttr(*mod, child);
        } else if (child.tag == "var") {
            const GrowString varName = child.attribute(GrowString("name"));
            for (int32_t i = 0; i < mod->vars.count; ++i) {
                if (!mod->vars[i] || mod->vars[i]->name != varName) continue;
                readVar(*mod->vars[i], child, match->findVar(varName.c_str()));
                mod->varChanged(i);
                break;
            }
        }
    }
    return mod;
}
