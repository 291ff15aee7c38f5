// Filter files: the exact text form, round trips of every value kind, the
// reader's handling of old, odd and hostile files, and atomic saving.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "framework/CompoundFilter.h"
#include "framework/FilterFile.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/TilePrototypes.h"

namespace fs = std::filesystem;

namespace {

// Calls to setVersion and varChanged of RecordingTile, in order.
std::vector<std::string> gCalls;

GrowArray<GrowString> texts(std::initializer_list<const char*> items) {
    GrowArray<GrowString> list;
    for (const char* item : items) list.append(GrowString(item));
    return list;
}

class ToneCurveTile : public ImageMod {
public:
    ToneCurveTile() : ImageMod("Tone Curve", "") {
        addFloatVar("Amount", 1.0f, 0.0f, 1.0f);
        addVar(ModVar("Curve", new CurveValue(Curve(0))));
        addVar(ModVar("Method", new ChoiceValue(texts({"RGB", "Luminance"}), 0)));
    }
    ImageMod* clone() const override { return new ToneCurveTile(); }
};

class ExposureTile : public ImageMod {
public:
    explicit ExposureTile(const char* xmlName = "Exposure") : ImageMod(xmlName, "") {
        addFloatVar("Amount", 1.0f, 0.0f, 2.0f, 0);
        setAttribute("AliasRange", ".13 1 1.87");
    }
    ImageMod* clone() const override { return new ExposureTile(name.c_str()); }
};

// One var of every value kind, plus a var without value; logs setVersion
// and varChanged.
class RecordingTile : public ImageMod {
public:
    enum { kAmount, kCurve, kHue, kColor, kButton, kMethod, kChannels, kTexture, kEmpty };

    RecordingTile() : ImageMod("Kinds", "") {
        addFloatVar("Amount", 0.5f, 0.0f, 2.0f);
        addVar(ModVar("Curve", new CurveValue(Curve(0))));
        addVar(ModVar("Hue", new CurveValue(Curve(0)), kControlHueCurve));
        addVar(ModVar("Color", new ColorValue(10.0f, 20.0f, 30.0f, 255.0f)));
        addVar(ModVar("Reset", new ButtonValue(), kControlButton));
        GrowArray<GrowArray<GrowString>> lists;
        lists.append(texts({"RGB", "Luminance", "Red"}));
        lists.append(texts({"rgb", "lum", "red", "green", "blue"}));
        addVar(ModVar("Method", ChoiceValue::initLists(lists, 0)));
        addVar(ModVar("Channels", new MultiChoiceValue(texts({"Red", "Green", "Blue"}), 0)));
        FileValue* file = new FileValue();
        file->extensions = texts({"png", "tif"});
        addVar(ModVar("Texture", file));
        addVar(ModVar("Empty", nullptr));
    }
    ImageMod* clone() const override { return new RecordingTile(); }
    void setVersion(uint32_t newVersion) override {
        gCalls.push_back("setVersion " + std::to_string(newVersion));
        ImageMod::setVersion(newVersion);
    }
    void varChanged(int32_t index) override { gCalls.push_back("varChanged " + std::to_string(index)); }
};

// Owns the tiles of a list.
struct OwnedMods : OwnedTiles {
    ImageMod* add(ImageMod* mod) {
        list.append(mod);
        return mod;
    }
};

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

void setCurve(ImageMod& mod, int32_t index, std::initializer_list<CurvePoint> points) {
    GrowArray<CurvePoint> list;
    for (const CurvePoint& p : points) list.append(p);
    mod.vars[index]->curveValue()->curve.setPoints(list);
}

const char* const kExampleText =
    "<filter version=\"4\">\n"
    "  <mod name=\"Tone Curve\" version=\"1\" enabled=\"1\">\n"
    "    <var name=\"Amount\" type=\"float\">0.745318</var>\n"
    "    <var name=\"Curve\" type=\"curve\">0.000000 0.139131 1.000000 1.000000 </var>\n"
    "    <var name=\"Method\" type=\"choice\">RGB</var>\n"
    "  </mod>\n"
    "  <mod name=\"Exposure\" version=\"1\" enabled=\"1\">\n"
    "    <var name=\"Amount\" type=\"float\">1.166667</var>\n"
    "    <attr name=\"AliasRange\">.13 1 1.87</attr>\n"
    "  </mod>\n"
    "</filter>\n";

class FilterFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "filterfile-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        prototypes_.add(new ToneCurveTile());
        prototypes_.add(new ExposureTile());
        prototypes_.add(new ExposureTile("Gamma"));
        prototypes_.add(new RecordingTile());
        gCalls.clear();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    GrowString pathOf(const char* name) const { return GrowString((folder_ / name).c_str()); }

    // Loads text written to a file; the status is kept in status_.
    void loadText(const std::string& text, OwnedMods& out) {
        writeFile(folder_ / "in.plf", text);
        loadFilterFile(out.list, pathOf("in.plf"), prototypes_.list, status_);
    }
    // Saves the list and returns the bytes written.
    std::string saveText(const GrowArray<ImageMod*>& mods) {
        EXPECT_TRUE(saveFilterFile(mods, pathOf("out.plf")));
        return readFile(folder_ / "out.plf");
    }
    // One tile made from a "mod" element with the given body.
    ImageMod* loadOne(const std::string& attributes, const std::string& body, OwnedMods& out) {
        loadText("<filter version=\"4\">\n<mod name=\"Kinds\"" + attributes + ">\n" + body + "</mod>\n</filter>\n",
                 out);
        return out.list.count == 1 ? out.list[0] : nullptr;
    }

    fs::path folder_;
    OwnedMods prototypes_;
    uint32_t status_ = 99;
};

// Nested "submod" elements, depth deep, each followed by its "mod".
std::string nestedSubmods(int depth) {
    std::string text = "<filter version=\"4\">";
    for (int level = 0; level < depth; ++level) text += "<submod name=\"L" + std::to_string(level) + "\">";
    text += "<mod name=\"Gamma\"></mod>";
    for (int level = depth - 1; level >= 0; --level) {
        text += "</submod><mod name=\"L" + std::to_string(level) + "\"></mod>";
    }
    return text + "</filter>";
}

int compoundDepth(const ImageMod* mod) {
    int depth = 0;
    while (mod && mod->kind() == kCompoundMod) {
        const auto* compound = static_cast<const CompoundFilter*>(mod);
        mod = compound->subMods.count > 0 ? compound->subMods[0] : nullptr;
        ++depth;
    }
    return depth;
}

}  // namespace

// ---- the exact text --------------------------------------------------------

TEST_F(FilterFileTest, WritesTheToneCurveExposureExampleByteForByte) {
    OwnedMods chain;
    ImageMod* tone = chain.add(new ToneCurveTile());
    tone->floatAt(0)->value = 0.745318f;
    setCurve(*tone, 1, {{0.0f, 0.139131f}, {1.0f, 1.0f}});
    ImageMod* exposure = chain.add(new ExposureTile());
    exposure->floatAt(0)->value = 1.166667f;

    EXPECT_EQ(saveText(chain.list), kExampleText);

    // Reading it back gives the same chain and the same bytes.
    OwnedMods loaded;
    loadText(kExampleText, loaded);
    EXPECT_EQ(status_, kFilterReadClean);
    ASSERT_EQ(loaded.list.count, 2);
    EXPECT_TRUE(loaded.list[0]->equals(*tone));
    EXPECT_TRUE(loaded.list[1]->equals(*exposure));
    EXPECT_EQ(saveText(loaded.list), kExampleText);
}

TEST_F(FilterFileTest, CompoundIsWrittenAsSubmodFollowedByItsModAndReadsBackAsOneTile) {
    OwnedMods chain;
    auto* look = static_cast<CompoundFilter*>(chain.add(new CompoundFilter(GrowString("My Look"))));
    look->floatAt(0)->value = 0.5f;
    ImageMod* inner = new ExposureTile();
    inner->floatAt(0)->value = 1.5f;
    look->subMods.append(inner);

    EXPECT_EQ(saveText(chain.list),
              "<filter version=\"4\">\n"
              "  <submod name=\"My Look\">\n"
              "    <mod name=\"Exposure\" version=\"1\" enabled=\"1\">\n"
              "      <var name=\"Amount\" type=\"float\">1.500000</var>\n"
              "      <attr name=\"AliasRange\">.13 1 1.87</attr>\n"
              "    </mod>\n"
              "  </submod>\n"
              "  <mod name=\"My Look\" version=\"1\" enabled=\"1\">\n"
              "    <var name=\"Amount\" type=\"float\">0.500000</var>\n"
              "  </mod>\n"
              "</filter>\n");

    OwnedMods loaded;
    loadFilterFile(loaded.list, pathOf("out.plf"), prototypes_.list, status_);
    EXPECT_EQ(status_, kFilterReadClean);
    ASSERT_EQ(loaded.list.count, 1);
    ASSERT_EQ(loaded.list[0]->kind(), kCompoundMod);
    EXPECT_TRUE(loaded.list[0]->equals(*look));
    EXPECT_EQ(static_cast<CompoundFilter*>(loaded.list[0])->subMods.count, 1);
}

// ---- round trips -----------------------------------------------------------

TEST_F(FilterFileTest, EveryValueKindRoundTrips) {
    OwnedMods chain;
    ImageMod* tile = chain.add(new RecordingTile());
    tile->floatAt(RecordingTile::kAmount)->value = 1.25f;
    setCurve(*tile, RecordingTile::kCurve, {{0.0f, 0.1f}, {0.4f, 0.7f}, {1.0f, 0.9f}});
    setCurve(*tile, RecordingTile::kHue, {{0.0f, 0.5f}, {0.25f, 0.75f}, {1.0f, 0.5f}});
    tile->vars[RecordingTile::kHue]->curveValue()->curve.hueOffset = 42.5f;
    *tile->vars[RecordingTile::kColor]->colorValue() = ColorValue(1.5f, 2.25f, 250.0f, 128.0f);
    tile->vars[RecordingTile::kMethod]->choiceValue()->selected = 2;
    tile->vars[RecordingTile::kChannels]->multiChoiceValue()->selection = GrowArray<int32_t>();
    tile->vars[RecordingTile::kChannels]->multiChoiceValue()->selection.append(2);
    tile->vars[RecordingTile::kChannels]->multiChoiceValue()->selection.append(0);
    tile->vars[RecordingTile::kTexture]->fileValue()->path = "/photos/a b/c&d <e> \"f\".png";
    tile->enabled = 0;
    tile->version = 3;
    tile->setAttribute("Note", "x \"y\" <z>");
    tile->setAttribute("Empty", "");
    // A nested compound inside a compound, each with its own amount.
    auto* outer = static_cast<CompoundFilter*>(chain.add(new CompoundFilter(GrowString("Outer"))));
    auto* middle = new CompoundFilter(GrowString("Middle"));
    middle->floatAt(0)->value = 0.25f;
    middle->subMods.append(new ExposureTile("Gamma"));
    outer->subMods.append(middle);
    outer->subMods.append(new ToneCurveTile());
    outer->floatAt(0)->value = 0.75f;

    const std::string written = saveText(chain.list);
    OwnedMods loaded;
    loadFilterFile(loaded.list, pathOf("out.plf"), prototypes_.list, status_);
    EXPECT_EQ(status_, kFilterReadClean);
    ASSERT_EQ(loaded.list.count, 2);
    const ImageMod& back = *loaded.list[0];
    EXPECT_TRUE(back.equals(*tile));
    EXPECT_TRUE(loaded.list[1]->equals(*outer));
    EXPECT_EQ(back.vars[RecordingTile::kHue]->curveValue()->curve.hueOffset, 42.5f);
    EXPECT_EQ(back.vars[RecordingTile::kTexture]->fileValue()->extensions.count, 2);  // the prototype's
    EXPECT_EQ(back.attributeValue("Note"), "x \"y\" <z>");
    EXPECT_EQ(back.attrNames.count, 2);
    EXPECT_NE(written.find("<var name=\"Hue\" type=\"curve\" hueOffset=\"42.500000\">"), std::string::npos);
    EXPECT_NE(written.find("<var name=\"Curve\" type=\"curve\">0.000000"), std::string::npos);
    EXPECT_NE(written.find("<var name=\"Reset\" type=\"unknown\"></var>"), std::string::npos);
    EXPECT_NE(written.find("<var name=\"Empty\" type=\"unknown\"></var>"), std::string::npos);
    EXPECT_NE(written.find("<var name=\"Color\" type=\"color\">1.500000 2.250000 250.000000 128.000000</var>"),
              std::string::npos);
    EXPECT_NE(written.find("      <selection>Blue</selection>\n      <selection>Red</selection>\n"),
              std::string::npos);
    EXPECT_EQ(saveText(loaded.list), written);
}

TEST_F(FilterFileTest, EveryPrototypeRoundTripsThroughAFile) {
    OwnedMods all;
    buildPrototypeList(all.list);
    ASSERT_GT(all.list.count, 0) << "no tile classes registered";
    for (ImageMod* mod : all.list) {
        std::unique_ptr<ImageMod> copy(duplicateMod(*mod));
        ASSERT_NE(copy, nullptr) << mod->name.c_str();
        EXPECT_TRUE(copy->equals(*mod)) << mod->name.c_str();
    }
    ASSERT_TRUE(saveFilterFile(all.list, pathOf("all.plf")));
    OwnedMods loaded;
    loadFilterFile(loaded.list, pathOf("all.plf"), all.list, status_);
    EXPECT_EQ(status_, kFilterReadClean);
    // The tiles come back in chain order: the crop first, borders and sizing last.
    const GrowArray<ImageMod*> ordered = orderModsByChainGroup(all.list);
    ASSERT_EQ(loaded.list.count, ordered.count);
    for (int32_t i = 0; i < ordered.count; ++i) {
        EXPECT_TRUE(loaded.list[i]->equals(*ordered[i])) << ordered[i]->name.c_str();
    }
}

// A file in another order (old or hand-written) reads as the chain renders:
// the crop first, then the central tiles, then sizing and borders; the
// inside of a nested tile likewise.
TEST_F(FilterFileTest, TilesComeOutInChainOrder) {
    OwnedMods all;
    buildPrototypeList(all.list);
    ASSERT_GT(all.list.count, 0) << "no tile classes registered";
    writeFile(folder_ / "order.plf",
              "<filter version=\"4\">\n"
              "<mod name=\"Custom Straight\"></mod>\n"
              "<mod name=\"Exposure\"></mod>\n"
              "<submod name=\"Look\"><mod name=\"Output Size\"></mod><mod name=\"Gamma\"></mod>"
              "<mod name=\"Crop\"></mod></submod>\n"
              "<mod name=\"Look\"></mod>\n"
              "<mod name=\"Crop\"></mod>\n"
              "<mod name=\"Contrast\"></mod>\n"
              "</filter>\n");
    OwnedMods loaded;
    loadFilterFile(loaded.list, pathOf("order.plf"), all.list, status_);
    EXPECT_EQ(status_, kFilterReadClean);
    std::string names;
    for (ImageMod* mod : loaded.list) {
        names += std::string(mod->name.c_str()) + ";";
        if (auto* compound = dynamic_cast<CompoundFilter*>(mod)) {
            names += "[";
            for (ImageMod* sub : compound->subMods) names += std::string(sub->name.c_str()) + ";";
            names += "]";
        }
    }
    EXPECT_EQ(names, "Crop;Exposure;Look;[Crop;Gamma;Output Size;]Contrast;Custom Straight;");
}

// ---- templates of compounds -------------------------------------------------

TEST_F(FilterFileTest, TwoCompoundsOfTheSameNameKeepTheirOwnSubTiles) {
    OwnedMods loaded;
    loadText("<filter version=\"4\">\n"
             "<submod name=\"Look\"><mod name=\"Gamma\"><var name=\"Amount\" type=\"float\">0.3</var></mod></submod>\n"
             "<mod name=\"Look\"></mod>\n"
             "<submod name=\"Look\"><mod name=\"Gamma\"><var name=\"Amount\" type=\"float\">0.7</var></mod></submod>\n"
             "<mod name=\"Look\"></mod>\n"
             "</filter>\n",
             loaded);
    EXPECT_EQ(status_, kFilterReadClean);
    ASSERT_EQ(loaded.list.count, 2);
    for (int32_t i = 0; i < 2; ++i) {
        ASSERT_EQ(loaded.list[i]->kind(), kCompoundMod);
        const auto* look = static_cast<const CompoundFilter*>(loaded.list[i]);
        ASSERT_EQ(look->subMods.count, 1);
        EXPECT_EQ(look->subMods[0]->floatAt(0)->value, i == 0 ? 0.3f : 0.7f);
    }
}

TEST_F(FilterFileTest, ATemplateServesOnlyTheModRightAfterIt) {
    struct Case {
        const char* what;
        const char* body;
        std::vector<int32_t> kinds;  // of the tiles read, in order
        uint32_t status;
    };
    const std::string gamma = "<mod name=\"Gamma\"></mod>";
    const Case cases[] = {
        {"a preset named like a tile does not capture later tiles of that name",
         "<submod name=\"Exposure\"><mod name=\"Gamma\"></mod></submod>"
         "<mod name=\"Exposure\"></mod><mod name=\"Exposure\"></mod>",
         {kCompoundMod, kPlainMod}, kFilterReadClean},
        {"a template skipped by the next mod is dropped",
         "<submod name=\"Look\"><mod name=\"Gamma\"></mod></submod>"
         "<mod name=\"Exposure\"></mod><mod name=\"Look\"></mod>",
         {kPlainMod}, kFilterProblem},
        {"a template does not leave the submod it was defined in",
         "<submod name=\"Outer\"><submod name=\"Inner\"><mod name=\"Gamma\"></mod></submod>"
         "<mod name=\"Inner\"></mod></submod><mod name=\"Outer\"></mod><mod name=\"Inner\"></mod>",
         {kCompoundMod}, kFilterProblem},
        {"a second submod replaces the first",
         "<submod name=\"A\"><mod name=\"Gamma\"></mod></submod>"
         "<submod name=\"B\"><mod name=\"Gamma\"></mod></submod><mod name=\"B\"></mod><mod name=\"A\"></mod>",
         {kCompoundMod}, kFilterProblem},
    };
    for (const Case& c : cases) {
        OwnedMods loaded;
        loadText(std::string("<filter version=\"4\">") + c.body + "</filter>", loaded);
        EXPECT_EQ(status_, c.status) << c.what;
        ASSERT_EQ(loaded.list.count, static_cast<int32_t>(c.kinds.size())) << c.what;
        for (int32_t i = 0; i < loaded.list.count; ++i) EXPECT_EQ(loaded.list[i]->kind(), c.kinds[i]) << c.what;
    }
}

// ---- status codes and old files ----------------------------------------------

TEST_F(FilterFileTest, StatusCodes) {
    const std::string modText = "<mod name=\"Gamma\"></mod>";
    struct Case {
        std::string text;
        uint32_t status;
        int32_t tiles;
    };
    const Case cases[] = {
        {"<filter version=\"4\">" + modText + "</filter>", kFilterReadClean, 1},
        {"<filter version=\"4.9\">" + modText + "</filter>", kFilterReadClean, 1},
        {"<filter version=\"2.0\">" + modText + "</filter>", kFilterReadClean, 1},
        {"<filter version=\"3\">" + modText + "</filter>", kFilterReadClean, 1},
        {"<filter>" + modText + "</filter>", kFilterReadClean, 1},
        {"<filter version=\"5\">" + modText + "</filter>", kFilterFromNewerRelease, 1},
        {"<filter version=\"1e300\">" + modText + "</filter>", kFilterFromNewerRelease, 1},
        {"<filter version=\"99999999999999999999\">" + modText + "</filter>", kFilterFromNewerRelease, 1},
        {"<filter version=\"inf\">" + modText + "</filter>", kFilterReadClean, 1},
        {"<filter version=\"5\"><mod name=\"Nobody\"></mod>" + modText + "</filter>", kFilterProblem, 1},
        {"<filter version=\"4\"><mod name=\"gamma\"></mod>" + modText + "</filter>", kFilterProblem, 1},
        {"<?xml version=\"1.0\"?><!-- saved --><filter version=\"4\">" + modText + "</filter>", kFilterReadClean, 1},
        {"<Filter version=\"4\">" + modText + "</Filter>", kFilterProblem, 0},
        {"<preferences></preferences><filter>" + modText + "</filter>", kFilterProblem, 0},
        {"", kFilterProblem, 0},
        {"just text", kFilterProblem, 0},
    };
    for (const Case& c : cases) {
        OwnedMods loaded;
        loadText(c.text, loaded);
        EXPECT_EQ(status_, c.status) << c.text;
        EXPECT_EQ(loaded.list.count, c.tiles) << c.text;
    }

    OwnedMods missing;
    loadFilterFile(missing.list, pathOf("no such file.plf"), prototypes_.list, status_);
    EXPECT_EQ(status_, kFilterProblem);
    EXPECT_EQ(missing.list.count, 0);
}

TEST_F(FilterFileTest, ModFlagsVersionAndVarOrder) {
    struct Case {
        const char* attributes;
        uint8_t enabled;
        uint32_t version;
    };
    const Case cases[] = {
        {"", 1, 1},
        {" enabled=\"0\"", 0, 1},
        {" enabled=\"2\" version=\"7.9\"", 1, 7},
        {" version=\"1e30\"", 1, UINT32_MAX},
        {" version=\"-3\"", 1, 0},
        {" version=\"nan\" enabled=\"nan\"", 0, 0},
        {" version=\"\" enabled=\"\"", 0, 0},
    };
    for (const Case& c : cases) {
        gCalls.clear();
        OwnedMods loaded;
        ImageMod* mod = loadOne(c.attributes,
                                "<var name=\"Method\" type=\"choice\">Red</var>"
                                "<var name=\"Gone\" type=\"float\">1</var>"
                                "<var name=\"Amount\" type=\"untyped\">1</var>"
                                "<var name=\"Amount\" type=\"float\">1</var>",
                                loaded);
        ASSERT_NE(mod, nullptr) << c.attributes;
        EXPECT_EQ(mod->enabled, c.enabled) << c.attributes;
        EXPECT_EQ(mod->version, c.version) << c.attributes;
        // setVersion first, then varChanged once per var element that names
        // a var of the tile, in file order, whether a value was set or not.
        const std::vector<std::string> expected = {"setVersion " + std::to_string(c.version), "varChanged 5",
                                                   "varChanged 0", "varChanged 0"};
        EXPECT_EQ(gCalls, expected) << c.attributes;
    }
}

TEST_F(FilterFileTest, ValuesAsOldAndOddFilesWriteThem) {
    using Check = bool (*)(const ImageMod&);
    struct Case {
        const char* body;
        Check check;
    };
    const Case cases[] = {
        // Colours: three numbers and a space (old files), four numbers, too few.
        {"<var name=\"Color\" type=\"color\">1 2 3 </var>",
         [](const ImageMod& m) { return m.vars[3]->colorValue()->equals(ColorValue(1, 2, 3, 255)); }},
        {"<var name=\"Color\" type=\"color\">1 2 3 4</var>",
         [](const ImageMod& m) { return m.vars[3]->colorValue()->equals(ColorValue(1, 2, 3, 4)); }},
        {"<var name=\"Color\" type=\"color\">1 2</var>",
         [](const ImageMod& m) { return m.vars[3]->colorValue()->equals(ColorValue(10, 20, 30, 255)); }},
        // Curves: an odd count drops the last value; one point changes nothing.
        {"<var name=\"Curve\" type=\"curve\">0 0.2 0.5 0.6 1 0.9 1</var>",
         [](const ImageMod& m) {
             const Curve& c = m.vars[1]->curveValue()->curve;
             return c.points.count == 3 && c.points[1].x == 0.5f && c.points[2].y == 0.9f;
         }},
        {"<var name=\"Curve\" type=\"curve\">0.3 0.4 </var>",
         [](const ImageMod& m) { return m.vars[1]->curveValue()->equals(CurveValue(Curve(0))); }},
        // The points stand as written; hueOffset is 180 unless given.
        {"<var name=\"Curve\" type=\"curve\">0.1 0.2 0.9 0.8 </var>",
         [](const ImageMod& m) {
             const Curve& c = m.vars[1]->curveValue()->curve;
             return c.points.count == 2 && c.points[0].x == 0.1f && c.hueOffset == 180.0f &&
                    c.table.count == Curve::kTableSize;
         }},
        {"<var name=\"Hue\" type=\"curve\" hueOffset=\"90\">0 0 1 1 </var>",
         [](const ImageMod& m) { return m.vars[2]->curveValue()->curve.hueOffset == 90.0f; }},
        // Choices: an unknown text keeps the selection; a text of the second
        // list selects its index; an index beyond the list shown is no option.
        {"<var name=\"Method\" type=\"choice\">Green</var>",
         [](const ImageMod& m) { return m.vars[5]->choiceValue()->selected == 0; }},
        {"<var name=\"Method\" type=\"choice\">lum</var>",
         [](const ImageMod& m) { return m.vars[5]->choiceValue()->selected == 1; }},
        {"<var name=\"Method\" type=\"choice\">blue</var>",
         [](const ImageMod& m) { return m.vars[5]->choiceValue()->selected == 0 && m.vars[5]->choiceText() == "RGB"; }},
        {"<var name=\"Method\" type=\"choice\">rgb</var><var name=\"Method\" type=\"choice\">red</var>",
         [](const ImageMod& m) { return m.vars[5]->choiceValue()->selected == 2; }},
        // Multichoice: unknown texts and repeats are dropped, order is kept.
        {"<var name=\"Channels\" type=\"multichoice\"><selection>Blue</selection><selection>Nope</selection>"
         "<selection>Red</selection><selection>Blue</selection></var>",
         [](const ImageMod& m) {
             const MultiChoiceValue* v = m.vars[6]->multiChoiceValue();
             return v->selection.count == 2 && v->selection[0] == 2 && v->selection[1] == 0;
         }},
        {"<var name=\"Channels\" type=\"multichoice\"></var>",
         [](const ImageMod& m) { return m.vars[6]->multiChoiceValue()->selection.count == 0; }},
        // A var without value takes the kind the file gives it.
        {"<var name=\"Empty\" type=\"float\">0.25</var>",
         [](const ImageMod& m) {
             const FloatValue* v = m.vars[8]->floatValue();
             return v && v->value == 0.25f && v->maximum == 1.0f && v->hasMaximum == 1 && v->tickCount == 10;
         }},
        {"<var name=\"Texture\" type=\"file\">/a/b.png</var>",
         [](const ImageMod& m) { return m.vars[7]->fileValue()->path == "/a/b.png"; }},
        // Attributes: the last value of a name wins, the order of first use stays.
        {"<attr name=\"B\">1</attr><attr name=\"A\">2</attr><attr name=\"B\">3</attr>",
         [](const ImageMod& m) {
             return m.attrNames.count == 2 && m.attrNames[0] == "B" && m.attrValues[0] == "3" &&
                    m.attrValues[1] == "2";
         }},
    };
    for (const Case& c : cases) {
        OwnedMods loaded;
        ImageMod* mod = loadOne("", c.body, loaded);
        ASSERT_NE(mod, nullptr) << c.body;
        EXPECT_EQ(status_, kFilterReadClean) << c.body;
        EXPECT_TRUE(c.check(*mod)) << c.body;
    }
}

// ---- hostile files -------------------------------------------------------

// Numbers are held where the controls hold them: floats to their var's
// limits (Amount: 0..2), colours to 0..255, curve points to 0..1; what is no
// finite number takes the prototype's value (Amount 0.5, Color 10 20 30 255,
// the identity curve, hue offset 180).
TEST_F(FilterFileTest, NumbersAreHeldToTheirRangesAndNonNumbersTakeThePrototypes) {
    using Check = bool (*)(const ImageMod&);
    struct Case {
        const char* body;
        Check check;
    };
    const Case cases[] = {
        {"<var name=\"Amount\" type=\"float\">nan</var>", [](const ImageMod& m) { return m.floatAt(0)->value == 0.5f; }},
        {"<var name=\"Amount\" type=\"float\">-inf</var>", [](const ImageMod& m) { return m.floatAt(0)->value == 0.5f; }},
        {"<var name=\"Amount\" type=\"float\">1e999</var>", [](const ImageMod& m) { return m.floatAt(0)->value == 0.5f; }},
        {"<var name=\"Amount\" type=\"float\">1e39</var>", [](const ImageMod& m) { return m.floatAt(0)->value == 2.0f; }},
        {"<var name=\"Amount\" type=\"float\">-7</var>", [](const ImageMod& m) { return m.floatAt(0)->value == 0.0f; }},
        {"<var name=\"Amount\" type=\"float\">abc</var>", [](const ImageMod& m) { return m.floatAt(0)->value == 0.0f; }},
        {"<var name=\"Amount\" type=\"float\">1.5e3x</var>", [](const ImageMod& m) { return m.floatAt(0)->value == 2.0f; }},
        {"<var name=\"Amount\" type=\"float\">1.25</var>", [](const ImageMod& m) { return m.floatAt(0)->value == 1.25f; }},
        // A float made by the reader has limits 0..1; a non-number takes its 0.
        {"<var name=\"Empty\" type=\"float\">40</var>", [](const ImageMod& m) { return m.floatAt(8)->value == 1.0f; }},
        {"<var name=\"Empty\" type=\"float\">-inf</var>", [](const ImageMod& m) { return m.floatAt(8)->value == 0.0f; }},
        {"<var name=\"Color\" type=\"color\">nan 1 inf 2</var>",
         [](const ImageMod& m) { return m.vars[3]->colorValue()->equals(ColorValue(10, 1, 30, 2)); }},
        {"<var name=\"Color\" type=\"color\">-5 300 1e40 nan</var>",
         [](const ImageMod& m) { return m.vars[3]->colorValue()->equals(ColorValue(0, 255, 255, 255)); }},
        {"<var name=\"Curve\" type=\"curve\">0 -0.5 0.5 1.5 1 1</var>",
         [](const ImageMod& m) {
             const Curve& c = m.vars[1]->curveValue()->curve;
             return c.points.count == 3 && c.points[0].y == 0.0f && c.points[1].y == 1.0f;
         }},
        {"<var name=\"Curve\" type=\"curve\">0 nan 0.5 inf 1e40 1</var>",
         [](const ImageMod& m) {
             const Curve& c = m.vars[1]->curveValue()->curve;
             if (!m.vars[1]->curveValue()->equals(CurveValue(Curve(0))) || c.table.count != Curve::kTableSize) return false;
             for (float v : c.table) {
                 if (!std::isfinite(v)) return false;
             }
             return true;
         }},
        {"<var name=\"Hue\" type=\"curve\" hueOffset=\"nan\">0 0 1 1</var>",
         [](const ImageMod& m) { return m.vars[2]->curveValue()->curve.hueOffset == 180.0f; }},
        {"<var name=\"Hue\" type=\"curve\" hueOffset=\"-400\">0 0 1 1</var>",
         [](const ImageMod& m) { return m.vars[2]->curveValue()->curve.hueOffset == -400.0f; }},
    };
    for (const Case& c : cases) {
        OwnedMods loaded;
        ImageMod* mod = loadOne("", c.body, loaded);
        ASSERT_NE(mod, nullptr) << c.body;
        EXPECT_TRUE(c.check(*mod)) << c.body;
    }
}

// The program's tiles: values that cost minutes or broke the geometry are
// held where the sliders hold them; vars without limits keep any number.
TEST_F(FilterFileTest, RealTilesHoldFileValuesToTheirLimits) {
    OwnedMods all;
    buildPrototypeList(all.list);
    ASSERT_GT(all.list.count, 0) << "no tile classes registered";
    const struct {
        const char* tile;
        const char* var;
        const char* text;
        float stored;
    } cases[] = {
        {"Blur", "Amount", "1000", 100.0f},
        {"Radial Blur", "Amount", "1000", 1.0f},
        {"Skater", "Amount", "-100", 0.0f},
        {"Fill Out", "Aspect Ratio", "99999", 10.0f},
        {"Fill Out", "Aspect Ratio", "0", 0.001f},
        {"Fill Out", "Aspect Ratio", "nan", 1.0f},
        {"Custom Straight", "Thickness", "-1", 0.0f},
        {"Output Size Exact", "Width", "-3", 1.0f},
        // No limits: any finite number stands.
        {"Skater", "Variation", "-12345", -12345.0f},
        {"Lightleak", "Variation", "1e6", 1e6f},
        {"Discolor", "Offset", "-250.5", -250.5f},
        {"Noise", "Offset", "1e9", 1e9f},
        {"Output Size", "Width", "99999", 99999.0f},
        {"Output Size Exact", "Height", "123456", 123456.0f},
        {"Dead Pixel", "Pixel X", "70000", 70000.0f},
        {"Noise", "Offset", "inf", 0.0f},  // the prototype's
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tile) + " " + c.var + " " + c.text);
        writeFile(folder_ / "real.plf", std::string("<filter version=\"4\"><mod name=\"") + c.tile +
                                            "\"><var name=\"" + c.var + "\" type=\"float\">" + c.text +
                                            "</var></mod></filter>");
        OwnedMods loaded;
        loadFilterFile(loaded.list, pathOf("real.plf"), all.list, status_);
        EXPECT_EQ(status_, kFilterReadClean);
        ASSERT_EQ(loaded.list.count, 1);
        const ModVar* var = loaded.list[0]->findVar(c.var);
        ASSERT_NE(var, nullptr);
        ASSERT_NE(var->floatValue(), nullptr);
        EXPECT_EQ(var->floatValue()->value, c.stored);
    }
}

TEST_F(FilterFileTest, AValueOfAnotherKindLeavesTheVarAlone) {
    OwnedMods loaded;
    ImageMod* mod = loadOne("",
                            "<var name=\"Amount\" type=\"curve\">0 0 0.5 1 1 1</var>"
                            "<var name=\"Curve\" type=\"color\">1 2 3</var>"
                            "<var name=\"Color\" type=\"choice\">RGB</var>"
                            "<var name=\"Method\" type=\"float\">2</var>"
                            "<var name=\"Channels\" type=\"file\">x</var>"
                            "<var name=\"Texture\" type=\"multichoice\"><selection>Red</selection></var>"
                            "<var name=\"Reset\" type=\"float\">1</var>",
                            loaded);
    ASSERT_NE(mod, nullptr);
    RecordingTile fresh;
    EXPECT_TRUE(mod->equals(fresh));
    EXPECT_NE(mod->vars[RecordingTile::kAmount]->floatValue(), nullptr);
    EXPECT_NE(mod->vars[RecordingTile::kCurve]->curveValue(), nullptr);
    EXPECT_NE(mod->vars[RecordingTile::kColor]->colorValue(), nullptr);
    EXPECT_NE(mod->vars[RecordingTile::kMethod]->choiceValue(), nullptr);
    EXPECT_NE(mod->vars[RecordingTile::kChannels]->multiChoiceValue(), nullptr);
    EXPECT_NE(mod->vars[RecordingTile::kTexture]->fileValue(), nullptr);
    EXPECT_NE(mod->vars[RecordingTile::kButton]->buttonValue(), nullptr);
}

TEST_F(FilterFileTest, HugeCurvesAreCapped) {
    std::string points;
    for (int i = 0; i < 300000; ++i) points += "0.500000 0.250000 ";
    OwnedMods loaded;
    ImageMod* mod = loadOne("", "<var name=\"Curve\" type=\"curve\">" + points + "</var>", loaded);
    ASSERT_NE(mod, nullptr);
    const Curve& curve = mod->vars[RecordingTile::kCurve]->curveValue()->curve;
    EXPECT_EQ(curve.points.count, kMaxFilterCurvePoints);
    EXPECT_EQ(curve.table.count, Curve::kTableSize);
}

TEST_F(FilterFileTest, AttributeNamesAreCapped) {
    std::string attrs;
    for (int i = 0; i < 50000; ++i) attrs += "<attr name=\"n" + std::to_string(i) + "\">v</attr>";
    OwnedMods loaded;
    ImageMod* mod = loadOne("", attrs + "<attr name=\"n0\">last</attr>", loaded);
    ASSERT_NE(mod, nullptr);
    EXPECT_EQ(mod->attrNames.count, kMaxModAttributes);
    EXPECT_EQ(mod->attributeValue("n0"), "last");
}

TEST_F(FilterFileTest, SubmodNestingIsCapped) {
    // Deeper "submod" content is refused: the compounds above it are read
    // (the deepest one empty) and the status tells of the loss.
    struct Case {
        int depth;
        uint32_t status;
    };
    const Case cases[] = {
        {kMaxSubmodDepth, kFilterReadClean},
        {kMaxSubmodDepth + 1, kFilterProblem},
        {200000, kFilterProblem},
    };
    for (const Case& c : cases) {
        OwnedMods loaded;
        loadText(nestedSubmods(c.depth), loaded);
        EXPECT_EQ(status_, c.status) << c.depth;
        ASSERT_EQ(loaded.list.count, 1) << c.depth;
        EXPECT_EQ(compoundDepth(loaded.list[0]), kMaxSubmodDepth) << c.depth;
    }
}

// A file cut short is refused with its reason instead of loading as the
// prototypes' defaults; whole files, unknown attributes and unknown tiles
// load as before.
TEST_F(FilterFileTest, AFileCutShortIsRefused) {
    const std::string whole = kExampleText;
    const std::string commented = "<!-- saved by hand -->\n" + whole;
    auto cutAt = [](const std::string& text, const char* mark) { return text.substr(0, text.find(mark)); };
    const struct {
        std::string text;
        uint32_t status;
        int32_t tiles;
        const char* reason;
    } cases[] = {
        {cutAt(whole, "version=\"1\" enabled=\"1\">\n    <var name=\"Amount\" type=\"float\">1.1"), kFilterProblem, 0,
         "is cut short: it ends inside a tag"},
        {cutAt(whole, "ount\" type=\"float\">1.1"), kFilterProblem, 0, "is cut short: it ends inside a tag"},
        {cutAt(commented, "hand -->"), kFilterProblem, 0, "is cut short: it ends inside a comment"},
        {"<filter", kFilterProblem, 0, "is cut short: it ends inside a tag"},
        {cutAt(whole, "</filter>"), kFilterProblem, 0, "is cut short: it ends with 1 element open"},
        {cutAt(whole, "</var>\n    <attr"), kFilterProblem, 0, "is cut short: it ends with 3 elements open"},
        {whole, kFilterReadClean, 2, ""},
        {commented, kFilterReadClean, 2, ""},
        {"<filter version=\"4\" by=\"hand\"><mod name=\"Exposure\" colour=\"blue\"></mod></filter>", kFilterReadClean, 1,
         ""},
        {"<filter version=\"4\"><mod name=\"Exposure\"></mod><mod name=\"Elsewhere\"></mod></filter>", kFilterProblem, 1,
         "names a tile this program does not have: \"Elsewhere\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(folder_ / "cut.plf", c.text);
        OwnedMods loaded;
        GrowString reason("");
        loadFilterFile(loaded.list, pathOf("cut.plf"), prototypes_.list, status_, &reason);
        EXPECT_EQ(status_, c.status);
        EXPECT_EQ(loaded.list.count, c.tiles);
        EXPECT_STREQ(reason.c_str(), c.reason);
    }
}

TEST_F(FilterFileTest, TruncatedAndGarbledFilesNeverCrash) {
    OwnedMods chain;
    RecordingTile* tile = static_cast<RecordingTile*>(chain.add(new RecordingTile()));
    tile->vars[RecordingTile::kChannels]->multiChoiceValue()->selection.append(1);
    auto* look = static_cast<CompoundFilter*>(chain.add(new CompoundFilter(GrowString("Look"))));
    look->subMods.append(new ToneCurveTile());
    const std::string whole = saveText(chain.list);
    for (size_t cut = 0; cut < whole.size(); cut += 7) {
        OwnedMods loaded;
        loadText(whole.substr(0, cut), loaded);
        EXPECT_LE(status_, kFilterProblem);
        std::string garbled = whole;
        garbled[cut] = "<>\"/= \0x"[cut % 8];
        OwnedMods loaded2;
        loadText(garbled, loaded2);
        EXPECT_LE(status_, kFilterProblem);
    }
}

// ---- saving ------------------------------------------------------------------

TEST_F(FilterFileTest, SavingAnEmptyChainLeavesTheFileAlone) {
    writeFile(folder_ / "kept.plf", "old bytes");
    GrowArray<ImageMod*> none;
    EXPECT_FALSE(saveFilterFile(none, pathOf("kept.plf")));
    EXPECT_EQ(readFile(folder_ / "kept.plf"), "old bytes");
    EXPECT_FALSE(saveFilterFile(none, pathOf("new.plf")));
    EXPECT_FALSE(fs::exists(folder_ / "new.plf"));
}

TEST_F(FilterFileTest, SaveReplacesWholeFilesAndReportsFailure) {
    OwnedMods chain;
    chain.add(new ExposureTile());
    writeFile(folder_ / "target.plf", std::string(100000, 'x'));
    ASSERT_TRUE(saveFilterFile(chain.list, pathOf("target.plf")));
    EXPECT_EQ(readFile(folder_ / "target.plf").rfind("<filter version=\"4\">\n", 0), 0u);
    EXPECT_EQ(readFile(folder_ / "target.plf").back(), '\n');
    EXPECT_LT(readFile(folder_ / "target.plf").size(), 1000u);

    // Failures: a missing folder, a folder in the way, an empty path.
    EXPECT_FALSE(saveFilterFile(chain.list, pathOf("missing/x.plf")));
    fs::create_directory(folder_ / "taken.plf");
    writeFile(folder_ / "taken.plf" / "inside", "stays");
    EXPECT_FALSE(saveFilterFile(chain.list, pathOf("taken.plf")));
    EXPECT_EQ(readFile(folder_ / "taken.plf" / "inside"), "stays");
    EXPECT_FALSE(saveFilterFile(chain.list, GrowString("")));

    // No temporary file stays behind, after success or failure.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"taken.plf", "target.plf"}));
}

TEST_F(FilterFileTest, NumbersUseTheCLocaleWhateverTheProcessLocale) {
    const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
    const char* chosen = nullptr;
    for (const char* name : locales) {
        if (std::setlocale(LC_NUMERIC, name)) {
            chosen = name;
            break;
        }
    }
    ASSERT_NE(chosen, nullptr) << "no locale with a decimal comma installed (scripts/setup.sh makes de_DE.UTF-8)";
    OwnedMods chain;
    chain.add(new ExposureTile())->floatAt(0)->value = 1.5f;
    const std::string text = saveText(chain.list);
    OwnedMods loaded;
    loadText(text, loaded);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_NE(text.find(">1.500000<"), std::string::npos);
    ASSERT_EQ(loaded.list.count, 1);
    EXPECT_EQ(loaded.list[0]->floatAt(0)->value, 1.5f);
}

// A refused filter file says why, and only regular files of a sane size
// are read: a FIFO or a device is refused without waiting or reading.
TEST_F(FilterFileTest, ProblemsComeWithTheirReason) {
    ASSERT_EQ(mkfifo((folder_ / "pipe.plf").c_str(), 0600), 0);
    fs::create_directory(folder_ / "folder.plf");
    {
        std::ofstream huge(folder_ / "huge.plf", std::ios::binary);
        huge << "<filter version=\"4\">";
    }
    fs::resize_file(folder_ / "huge.plf", static_cast<uintmax_t>(kMaxFilterFileBytes) + 1);  // sparse
    std::string deep = "<filter version=\"4\">";
    for (int i = 0; i <= kMaxSubmodDepth; ++i) deep += "<submod name=\"S\">";
    for (int i = 0; i <= kMaxSubmodDepth; ++i) deep += "</submod>";
    writeFile(folder_ / "deep.plf", deep + "</filter>");
    writeFile(folder_ / "other.plf", "<preferences/>");
    writeFile(folder_ / "unknown.plf",
              "<filter version=\"4\"><mod name=\"Exposure\"/><mod name=\"Evil\nName\x01\x7f\\\"/>"
              "<mod name=\"Second Unknown\"/></filter>");
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {(folder_ / "missing.plf").string(), "cannot open: No such file or directory"},
        {(folder_ / "folder.plf").string(), "is a folder, not a file"},
        {(folder_ / "pipe.plf").string(), "is not a regular file"},
        {"/dev/zero", "is not a regular file"},
        {(folder_ / "huge.plf").string(), "is too large (over 64 MB)"},
        {(folder_ / "other.plf").string(), "is not a filter file (no \"filter\" element)"},
        {(folder_ / "deep.plf").string(), "holds compound tiles nested deeper than 64 levels"},
        // The first unknown name, its control characters escaped: one line.
        {(folder_ / "unknown.plf").string(), "names a tile this program does not have: \"Evil\\nName\\x01\\x7f\\\\\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        OwnedMods loaded;
        GrowString reason;
        loadFilterFile(loaded.list, GrowString(c.path.c_str()), prototypes_.list, status_, &reason);
        EXPECT_EQ(status_, kFilterProblem);
        EXPECT_STREQ(reason.c_str(), c.reason);
    }
    // A clean read leaves the reason alone.
    writeFile(folder_ / "fine.plf", "<filter version=\"4\"><mod name=\"Exposure\"/></filter>");
    OwnedMods loaded;
    GrowString reason("untouched");
    loadFilterFile(loaded.list, pathOf("fine.plf"), prototypes_.list, status_, &reason);
    EXPECT_EQ(status_, kFilterReadClean);
    EXPECT_STREQ(reason.c_str(), "untouched");
}

namespace {

// The processor time the calling thread has used, in seconds.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

}  // namespace

// Reading is linear in the file's length whatever its shape: a 1 MB file
// reads in well under a second (the bound leaves room for slow and
// sanitizer builds; the quadratic reader took tens of seconds). A repeated
// attribute keeps its last value.
TEST_F(FilterFileTest, AnyShapeOfFileReadsInLinearTime) {
    std::string manyNames = "<filter version=\"4\"><mod name=\"Exposure\"";
    std::string oneName = manyNames;
    std::string quotes = manyNames + " a=\"";
    for (int i = 0; i < 100000; ++i) {
        manyNames += " a" + std::to_string(i) + "=\"1\"";
        oneName += " enabled=\"" + std::to_string(i % 2) + "\"";
    }
    for (int i = 0; i < 500000; ++i) quotes += " \"";  // words that never end outside quotes
    std::string attrs = "<filter version=\"4\"><mod name=\"Exposure\">";
    while (attrs.size() < 1000000) attrs += "<attr name=\"n" + std::to_string(attrs.size()) + "\">v</attr>";
    const std::string shapes[] = {manyNames + "></mod></filter>", oneName + "></mod></filter>",
                                  quotes + "></mod></filter>", attrs + "</mod></filter>"};
    for (const std::string& text : shapes) {
        ASSERT_GE(text.size(), 500000u);
        OwnedMods loaded;
        // The reading thread's own processor time: what other processes do
        // to the machine meanwhile does not count.
        const double start = threadSeconds();
        loadText(text, loaded);
        EXPECT_LT(threadSeconds() - start, 5.0) << text.substr(0, 80);
        EXPECT_EQ(loaded.list.count, 1);
    }
    // The last of the 100,000 "enabled" values (99999 % 2 = 1) wins.
    OwnedMods loaded;
    loadText(oneName + " enabled=\"0\"></mod></filter>", loaded);
    ASSERT_EQ(loaded.list.count, 1);
    EXPECT_EQ(loaded.list[0]->enabled, 0);
}
