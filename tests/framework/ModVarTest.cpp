#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "framework/ModVar.h"

namespace {

GrowArray<GrowString> texts(std::initializer_list<const char*> items) {
    GrowArray<GrowString> list;
    for (const char* item : items) list.append(GrowString(item));
    return list;
}

GrowArray<int32_t> indices(std::initializer_list<int32_t> items) {
    GrowArray<int32_t> list;
    for (int32_t item : items) list.append(item);
    return list;
}

// One value of each kind, a second value that must compare different, and a
// third that differs only in what equality ignores.
struct KindCase {
    const char* name;
    std::function<VarValue*()> make;
    std::function<VarValue*()> different;
    std::function<VarValue*()> sameButIgnored;
};

std::vector<KindCase> kindCases() {
    return {
        {"float", [] { return new FloatValue(0.5f); }, [] { return new FloatValue(0.25f); },
         [] {
             FloatValue* v = new FloatValue(0.5f);
             v->minimum = -3.0f;
             v->rangeHigh = 9.0f;
             v->tickCount = 3;
             return v;
         }},
        {"curve",
         [] {
             CurveValue* v = new CurveValue();
             GrowString text("0 0.1 0.5 0.6 1 0.9");
             v->curve.setFromString(text);
             return v;
         },
         [] {
             CurveValue* v = new CurveValue();
             GrowString text("0 0.1 0.5 0.7 1 0.9");
             v->curve.setFromString(text);
             return v;
         },
         [] {
             CurveValue* v = new CurveValue();
             GrowString text("0 0.1 0.5 0.6 1 0.9");
             v->curve.setFromString(text);
             v->curve.wrap = 1;  // the flag is not compared
             return v;
         }},
        {"color", [] { return new ColorValue(1, 2, 3, 4); }, [] { return new ColorValue(1, 2, 3, 5); },
         [] { return new ColorValue(1, 2, 3, 4); }},
        {"button",
         [] {
             ButtonValue* v = new ButtonValue();
             v->value = 2;
             return v;
         },
         [] { return new ButtonValue(); },
         [] {
             ButtonValue* v = new ButtonValue();
             v->value = 2;
             return v;
         }},
        {"choice", [] { return new ChoiceValue(texts({"A", "B", "C"}), 1); },
         [] { return new ChoiceValue(texts({"A", "B", "C"}), 2); },
         [] { return new ChoiceValue(texts({"x", "y"}), 1); }},  // option texts are not compared
        {"multichoice", [] { return new MultiChoiceValue(texts({"A", "B", "C"}), indices({0, 2})); },
         [] { return new MultiChoiceValue(texts({"A", "B", "C"}), indices({2, 0})); },  // order counts
         [] { return new MultiChoiceValue(texts({"p"}), indices({0, 2})); }},
        {"file",
         [] {
             FileValue* v = new FileValue();
             v->path = "/tmp/a.png";
             v->extensions = texts({"png"});
             return v;
         },
         [] {
             FileValue* v = new FileValue();
             v->path = "/tmp/b.png";
             return v;
         },
         [] {
             FileValue* v = new FileValue();
             v->path = "/tmp/a.png";
             v->extensions = texts({"tif", "tiff"});  // extensions are not compared
             return v;
         }},
    };
}

}  // namespace

TEST(VarValue, CloneEqualsAndKindForEveryKind) {
    const auto cases = kindCases();
    for (size_t i = 0; i < cases.size(); ++i) {
        const KindCase& c = cases[i];
        SCOPED_TRACE(c.name);
        std::unique_ptr<VarValue> value(c.make());
        std::unique_ptr<VarValue> copy(value->clone());
        std::unique_ptr<VarValue> other(c.different());
        std::unique_ptr<VarValue> ignored(c.sameButIgnored());
        EXPECT_EQ(copy->kind(), value->kind());
        EXPECT_EQ(value->kind(), static_cast<int32_t>(i) + 1);
        EXPECT_TRUE(copy->equals(*value));
        EXPECT_TRUE(value->equals(*copy));
        EXPECT_FALSE(value->equals(*other));
        EXPECT_TRUE(value->equals(*ignored));
        // Never equal to a value of another kind, in either direction.
        for (size_t j = 0; j < cases.size(); ++j) {
            if (j == i) continue;
            std::unique_ptr<VarValue> foreign(cases[j].make());
            EXPECT_FALSE(value->equals(*foreign)) << cases[j].name;
        }
    }
}

TEST(VarValue, ClonesAreDeep) {
    ChoiceValue choice(texts({"A", "B"}), 0);
    std::unique_ptr<ChoiceValue> copy(static_cast<ChoiceValue*>(choice.clone()));
    copy->lists[0][0] = "changed";
    EXPECT_STREQ(choice.lists[0][0].c_str(), "A");

    CurveValue curve;
    std::unique_ptr<CurveValue> curveCopy(static_cast<CurveValue*>(curve.clone()));
    curveCopy->curve.points[0].y = 0.5f;
    curveCopy->curve.hueOffset = 10.0f;
    EXPECT_EQ(curve.curve.points[0].y, 0.0f);
    EXPECT_EQ(curve.curve.hueOffset, 180.0f);
    EXPECT_EQ(curveCopy->curve.table.count, Curve::kTableSize);
}

TEST(ModVar, CopyAndAssignment) {
    ModVar source("Amount", new FloatValue(0.7f), 0);
    source.setAlias("Strength");
    source.hoverPreview = 0;
    source.shown = 0;

    ModVar copy(source);
    EXPECT_STREQ(copy.name.c_str(), "Amount");
    EXPECT_STREQ(copy.label().c_str(), "Strength");
    EXPECT_EQ(copy.controlCode, 0);
    EXPECT_EQ(copy.hoverPreview, 0);
    EXPECT_EQ(copy.shown, 0);
    ASSERT_NE(copy.value, source.value);  // a clone, not shared
    EXPECT_TRUE(copy.value->equals(*source.value));
    EXPECT_NE(copy.alias, source.alias);

    // Assigning a var without an alias removes ours; one without a value
    // leaves none.
    ModVar plain;
    plain.name = "Other";
    copy = plain;
    EXPECT_EQ(copy.alias, nullptr);
    EXPECT_EQ(copy.value, nullptr);
    EXPECT_STREQ(copy.label().c_str(), "Other");
    EXPECT_EQ(copy.controlCode, kControlDefault);
    EXPECT_EQ(copy.shown, 1);

    // Both with an alias: the text is assigned.
    ModVar a("A", nullptr);
    a.setAlias("first");
    ModVar b("B", nullptr);
    b.setAlias("second");
    a = b;
    EXPECT_STREQ(a.label().c_str(), "second");

    // Self-assignment keeps everything.
    ModVar& same = source;
    source = same;
    ASSERT_NE(source.floatValue(), nullptr);
    EXPECT_EQ(source.floatValue()->value, 0.7f);
    EXPECT_STREQ(source.label().c_str(), "Strength");
}

TEST(ModVar, MakeKeepsAValueOfItsKindAndReplacesOthers) {
    struct Case {
        const char* name;
        std::function<VarValue*(ModVar&)> make;
        int32_t kind;
    };
    const Case cases[] = {
        {"float", [](ModVar& v) { return v.makeFloat(); }, kFloatVar},
        {"curve", [](ModVar& v) { return v.makeCurve(); }, kCurveVar},
        {"color", [](ModVar& v) { return v.makeColor(); }, kColorVar},
        {"choice", [](ModVar& v) { return v.makeChoice(); }, kChoiceVar},
        {"multichoice", [](ModVar& v) { return v.makeMultiChoice(); }, kMultiChoiceVar},
        {"file", [](ModVar& v) { return v.makeFile(); }, kFileVar},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModVar empty;
        VarValue* made = c.make(empty);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->kind(), c.kind);
        EXPECT_EQ(empty.value, made);
        EXPECT_EQ(c.make(empty), made);  // kept the second time

        ModVar wrong("X", new ButtonValue());
        VarValue* replaced = c.make(wrong);
        EXPECT_EQ(replaced->kind(), c.kind);
    }
}

TEST(ModVar, MakeChoiceKeepsAChoiceAndReplacesOthersByDefault) {
    ModVar v("V", new FloatValue(3.0f));
    v.makeChoice();
    EXPECT_STREQ(v.choiceText().c_str(), "Default");
    ModVar method("Method", new ChoiceValue(texts({"RGB", "Luminance"}), 1));
    method.makeChoice();
    EXPECT_STREQ(method.choiceText().c_str(), "Luminance");
}

TEST(ModVar, TypedAccessOfTheWrongKindIsNull) {
    ModVar v("Curve", new FloatValue(0.5f));
    EXPECT_EQ(v.curveValue(), nullptr);
    EXPECT_EQ(v.colorValue(), nullptr);
    EXPECT_EQ(v.choiceValue(), nullptr);
    EXPECT_NE(v.floatValue(), nullptr);
    ModVar none;
    EXPECT_EQ(none.floatValue(), nullptr);
    EXPECT_STREQ(none.choiceText().c_str(), "");
}

TEST(ModVar, ChoiceTextOutsideTheListIsEmpty) {
    ModVar v("Method", new ChoiceValue(texts({"A", "B"}), 0));
    for (int32_t selected : {-1, 2, 1000}) {
        v.choiceValue()->selected = selected;
        EXPECT_STREQ(v.choiceText().c_str(), "") << selected;
    }
    v.choiceValue()->lists.destroy();
    v.choiceValue()->selected = 0;
    EXPECT_STREQ(v.choiceText().c_str(), "");
}


// setFloat keeps a float value's ranges; any other value (or none) becomes a
// float with the defaults: 0..1, both limits on, display range off, 10 ticks.
TEST(ModVarSetFloat, KeepsAFloatAndReplacesAnythingElse) {
    ModVar ranged("Amount", new FloatValue(0.5f));
    ranged.floatValue()->maximum = 100.0f;
    ranged.floatValue()->rangeHigh = 100.0f;
    ranged.setFloat(42.0f);
    EXPECT_EQ(ranged.floatValue()->value, 42.0f);
    EXPECT_EQ(ranged.floatValue()->maximum, 100.0f);  // no clamping, ranges kept

    GrowArray<GrowString> options;
    options.append(GrowString("A"));
    ModVar* others[] = {new ModVar("None", nullptr), new ModVar("Choice", new ChoiceValue(options, 0)),
                        new ModVar("Curve", new CurveValue(Curve(0)))};
    for (ModVar* var : others) {
        var->setFloat(-3.0f);
        const FloatValue* made = var->floatValue();
        ASSERT_NE(made, nullptr) << var->name.c_str();
        EXPECT_EQ(made->value, -3.0f);
        EXPECT_EQ(made->minimum, 0.0f);
        EXPECT_EQ(made->maximum, 1.0f);
        EXPECT_TRUE(made->hasMinimum && made->hasMaximum);
        EXPECT_EQ(made->rangeLow, 0.0f);
        EXPECT_EQ(made->rangeHigh, 1.0f);
        EXPECT_EQ(made->displayLow, 0.0f);
        EXPECT_EQ(made->displayHigh, 1.0f);
        EXPECT_FALSE(made->useDisplayRange);
        EXPECT_EQ(made->tickCount, 10);
        delete var;
    }
}

// A curve value's own guide line travels with copies of the var.
TEST(ModVarSetFloat, CurveGuideIsCopied) {
    CurveValue* value = new CurveValue(Curve(0));
    EXPECT_FALSE(value->hasGuide);
    value->hasGuide = 1;
    value->guidePoints.append(CurvePoint{0.0f, 0.25f});
    ModVar var("Curve", value);
    ModVar copy(var);
    ASSERT_NE(copy.curveValue(), nullptr);
    EXPECT_TRUE(copy.curveValue()->hasGuide);
    ASSERT_EQ(copy.curveValue()->guidePoints.count, 1);
    EXPECT_EQ(copy.curveValue()->guidePoints[0].y, 0.25f);
}
