#include "framework/ModVar.h"

#include <cmath>
#include <cstring>

bool sameText(const GrowString& a, const GrowString& b) {
    if (a.isEmpty() && b.isEmpty()) return true;
    if (a.length != b.length) return false;
    return a.length <= 0 || std::memcmp(a.data, b.data, static_cast<size_t>(a.length)) == 0;
}

// ---------------------------------------------------------------------------
// Value kinds: equality per kind. Ranges, option texts and extensions are
// deliberately not compared: only what changes the rendered pixels counts.

bool FloatValue::equals(const VarValue& other) const {
    if (other.kind() != kFloatVar) return false;
    return sameFloat(value, static_cast<const FloatValue&>(other).value);
}

double FloatValue::heldToLimits(double v) const {
    if (!std::isfinite(v)) return v;
    if (hasMinimum && v < minimum) v = minimum;
    if (hasMaximum && v > maximum) v = maximum;
    return v;
}

bool CurveValue::equals(const VarValue& other) const {
    if (other.kind() != kCurveVar) return false;
    const Curve& a = curve;
    const Curve& b = static_cast<const CurveValue&>(other).curve;
    if (a.points.count != b.points.count) return false;
    for (int32_t i = 0; i < a.points.count; ++i) {
        if (!sameFloat(a.points[i].x, b.points[i].x) || !sameFloat(a.points[i].y, b.points[i].y)) return false;
    }
    return sameFloat(a.hueOffset, b.hueOffset);
}

bool ColorValue::equals(const VarValue& other) const {
    if (other.kind() != kColorVar) return false;
    const ColorValue& o = static_cast<const ColorValue&>(other);
    return sameFloat(red, o.red) && sameFloat(green, o.green) && sameFloat(blue, o.blue) &&
           sameFloat(fourth, o.fourth);
}

bool ButtonValue::equals(const VarValue& other) const {
    if (other.kind() != kButtonVar) return false;
    return value == static_cast<const ButtonValue&>(other).value;
}

ChoiceValue::ChoiceValue(const GrowArray<GrowString>& options, int32_t selectedIndex) : selected(selectedIndex) {
    lists.append(options);
}

ChoiceValue* ChoiceValue::initLists(const GrowArray<GrowArray<GrowString>>& allLists, int32_t selectedIndex) {
    ChoiceValue* choice = new ChoiceValue();
    choice->lists = allLists;
    choice->selected = selectedIndex;
    return choice;
}

bool ChoiceValue::equals(const VarValue& other) const {
    if (other.kind() != kChoiceVar) return false;
    return selected == static_cast<const ChoiceValue&>(other).selected;
}

MultiChoiceValue::MultiChoiceValue(const GrowArray<GrowString>& optionList, int32_t index) : options(optionList) {
    selection.append(index);
}

MultiChoiceValue::MultiChoiceValue(const GrowArray<GrowString>& optionList, const GrowArray<int32_t>& chosen)
    : options(optionList), selection(chosen) {}

bool MultiChoiceValue::equals(const VarValue& other) const {
    if (other.kind() != kMultiChoiceVar) return false;
    const MultiChoiceValue& o = static_cast<const MultiChoiceValue&>(other);
    if (selection.count != o.selection.count) return false;
    for (int32_t i = 0; i < selection.count; ++i) {
        if (selection[i] != o.selection[i]) return false;
    }
    return true;
}

bool FileValue::equals(const VarValue& other) const {
    if (other.kind() != kFileVar) return false;
    return sameText(path, static_cast<const FileValue&>(other).path);
}

// ---------------------------------------------------------------------------
// ModVar

ModVar::ModVar(const char* varName, VarValue* ownedValue, int32_t code)
    : name(varName ? varName : ""), value(ownedValue), controlCode(code) {}

ModVar::ModVar(const ModVar& other) { *this = other; }

ModVar& ModVar::operator=(const ModVar& other) {
    if (this == &other) return *this;
    // Clone before deleting: the other var's value may be reachable from ours.
    VarValue* copy = other.value ? other.value->clone() : nullptr;
    delete value;
    value = copy;
    name = other.name;
    hoverPreview = other.hoverPreview;
    if (!other.alias) {
        delete alias;
        alias = nullptr;
    } else if (alias) {
        *alias = *other.alias;
    } else {
        alias = new GrowString(*other.alias);
    }
    controlCode = other.controlCode;
    shown = other.shown;
    return *this;
}

ModVar::~ModVar() {
    delete value;
    delete alias;
}

void ModVar::setValue(VarValue* ownedValue) {
    if (ownedValue == value) return;
    delete value;
    value = ownedValue;
}

void ModVar::setAlias(const char* text) {
    if (!text) {
        delete alias;
        alias = nullptr;
    } else if (alias) {
        *alias = text;
    } else {
        alias = new GrowString(text);
    }
}

FloatValue* ModVar::makeFloat() {
    if (FloatValue* existing = floatValue()) return existing;
    FloatValue* made = new FloatValue();
    setValue(made);
    return made;
}

void ModVar::setFloat(float v) { makeFloat()->value = v; }

CurveValue* ModVar::makeCurve() {
    if (CurveValue* existing = curveValue()) return existing;
    CurveValue* made = new CurveValue();  // the identity, hue offset 180, table built
    setValue(made);
    return made;
}

ColorValue* ModVar::makeColor() {
    if (ColorValue* existing = colorValue()) return existing;
    ColorValue* made = new ColorValue(0.0f, 0.0f, 0.0f, 255.0f);
    setValue(made);
    return made;
}

ChoiceValue* ModVar::makeChoice() {
    if (ChoiceValue* existing = choiceValue()) return existing;
    GrowArray<GrowString> options;
    options.append(GrowString("Default"));
    ChoiceValue* made = new ChoiceValue(options, 0);
    setValue(made);
    return made;
}

MultiChoiceValue* ModVar::makeMultiChoice() {
    if (MultiChoiceValue* existing = multiChoiceValue()) return existing;
    GrowArray<GrowString> options;
    options.append(GrowString("Default"));
    MultiChoiceValue* made = new MultiChoiceValue(options, 0);
    setValue(made);
    return made;
}

FileValue* ModVar::makeFile() {
    if (FileValue* existing = fileValue()) return existing;
    FileValue* made = new FileValue();
    setValue(made);
    return made;
}

FloatValue* ModVar::floatValue() const {
    return value && value->kind() == kFloatVar ? static_cast<FloatValue*>(value) : nullptr;
}

CurveValue* ModVar::curveValue() const {
    return value && value->kind() == kCurveVar ? static_cast<CurveValue*>(value) : nullptr;
}

ColorValue* ModVar::colorValue() const {
    return value && value->kind() == kColorVar ? static_cast<ColorValue*>(value) : nullptr;
}

ChoiceValue* ModVar::choiceValue() const {
    return value && value->kind() == kChoiceVar ? static_cast<ChoiceValue*>(value) : nullptr;
}

MultiChoiceValue* ModVar::multiChoiceValue() const {
    return value && value->kind() == kMultiChoiceVar ? static_cast<MultiChoiceValue*>(value) : nullptr;
}

FileValue* ModVar::fileValue() const {
    return value && value->kind() == kFileVar ? static_cast<FileValue*>(value) : nullptr;
}

ButtonValue* ModVar::buttonValue() const {
    return value && value->kind() == kButtonVar ? static_cast<ButtonValue*>(value) : nullptr;
}

GrowString ModVar::choiceText() const {
    const ChoiceValue* choice = choiceValue();
    if (!choice || choice->lists.count < 1) return GrowString("");
    const GrowArray<GrowString>& shownList = choice->lists[0];
    if (choice->selected < 0 || choice->selected >= shownList.count) return GrowString("");
    return shownList[choice->selected];
}
