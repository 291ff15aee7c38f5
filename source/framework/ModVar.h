#pragma once
// ModVar and VarValue: a tile's named parameters and their typed values.
//
// A ModVar owns one polymorphic VarValue of seven kinds (float with slider
// ranges, curve, colour, button, choice, multichoice, file), a control code
// telling the interface which control to build, an optional display alias
// and two flags. Values compare exactly (floats by equality, choices by
// index, files by path).

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "framework/Curve.h"

// String equality of names and paths: two empty strings are equal (whatever
// their buffers), otherwise the lengths and the bytes must agree.
bool sameText(const GrowString& a, const GrowString& b);

// Exact float comparison: equal when neither is less than nor greater than
// the other.
inline bool sameFloat(float a, float b) { return !(a < b) && !(a > b); }

enum VarKind : int32_t {
    kFloatVar = 1,
    kCurveVar = 2,
    kColorVar = 3,
    kButtonVar = 4,
    kChoiceVar = 5,
    kMultiChoiceVar = 6,
    kFileVar = 7,
};

class VarValue {
public:
    virtual ~VarValue() = default;
    virtual int32_t kind() const = 0;
    virtual VarValue* clone() const = 0;
    virtual bool equals(const VarValue& other) const = 0;
};

class FloatValue : public VarValue {
public:
    float value = 0.0f;
    float minimum = 0.0f;
    float maximum = 1.0f;
    uint8_t hasMinimum = 1;
    uint8_t hasMaximum = 1;
    float rangeLow = 0.0f;
    float rangeHigh = 1.0f;
    float displayLow = 0.0f;
    float displayHigh = 1.0f;
    uint8_t useDisplayRange = 0;
    int32_t tickCount = 10;

    FloatValue() = default;
    explicit FloatValue(float v) : value(v) {}
    int32_t kind() const override { return kFloatVar; }
    VarValue* clone() const override { return new FloatValue(*this); }
    bool equals(const VarValue& other) const override;
    // v held to the limits in force, as the control strip's slider holds a
    // value: raised to minimum when hasMinimum, then lowered to maximum when
    // hasMaximum. NaN and infinities pass unchanged: what they stand for is
    // the caller's to decide.
    double heldToLimits(double v) const;
};

class CurveValue : public VarValue {
public:
    Curve curve;
    // A guide line of the value's own for the curve editor, drawn instead of
    // the editor's default one while hasGuide is set (an empty list: none).
    uint8_t hasGuide = 0;
    GrowArray<CurvePoint> guidePoints;
    CurveValue() = default;
    explicit CurveValue(const Curve& c) : curve(c) {}
    int32_t kind() const override { return kCurveVar; }
    VarValue* clone() const override { return new CurveValue(*this); }
    bool equals(const VarValue& other) const override;
};

class ColorValue : public VarValue {
public:
    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;
    float fourth = 255.0f;
    ColorValue() = default;
    ColorValue(float r, float g, float b, float a = 255.0f) : red(r), green(g), blue(b), fourth(a) {}
    int32_t kind() const override { return kColorVar; }
    VarValue* clone() const override { return new ColorValue(*this); }
    bool equals(const VarValue& other) const override;
};

class ButtonValue : public VarValue {
public:
    int32_t value = 0;
    int32_t kind() const override { return kButtonVar; }
    VarValue* clone() const override { return new ButtonValue(*this); }
    bool equals(const VarValue& other) const override;
};

class ChoiceValue : public VarValue {
public:
    GrowArray<GrowArray<GrowString>> lists;  // list 0 holds the texts shown
    int32_t selected = 0;

    ChoiceValue() = default;
    ChoiceValue(const GrowArray<GrowString>& options, int32_t selectedIndex);
    // Several option lists.
    static ChoiceValue* initLists(const GrowArray<GrowArray<GrowString>>& allLists, int32_t selectedIndex);
    int32_t kind() const override { return kChoiceVar; }
    VarValue* clone() const override { return new ChoiceValue(*this); }
    bool equals(const VarValue& other) const override;
    int32_t optionCount() const { return lists.count > 0 ? lists[0].count : 0; }
};

class MultiChoiceValue : public VarValue {
public:
    GrowArray<GrowString> options;
    GrowArray<int32_t> selection;

    MultiChoiceValue() = default;
    MultiChoiceValue(const GrowArray<GrowString>& optionList, int32_t index);
    MultiChoiceValue(const GrowArray<GrowString>& optionList, const GrowArray<int32_t>& chosen);
    int32_t kind() const override { return kMultiChoiceVar; }
    VarValue* clone() const override { return new MultiChoiceValue(*this); }
    bool equals(const VarValue& other) const override;
};

class FileValue : public VarValue {
public:
    GrowString path;
    GrowArray<GrowString> extensions;
    int32_t kind() const override { return kFileVar; }
    VarValue* clone() const override { return new FileValue(*this); }
    bool equals(const VarValue& other) const override;
};

// Control codes the system distinguishes (the interface picks the widget).
enum ControlCode : int32_t {
    kControlDefault = 14,
    kControlNumberBox = 3,
    kControlButton = 4,
    kControlHueOnly = 7,
    kControlCurveA = 9,
    kControlCurveB = 10,
    kControlHueCurve = 11,
    kControlColorSwatches = 13,  // a multichoice of colours shown as a row of swatches
};

class ModVar {
public:
    uint8_t shown = 1;
    GrowString name;
    VarValue* value = nullptr;  // owned; null means "no value"
    int32_t controlCode = kControlDefault;
    GrowString* alias = nullptr;  // owned; label shown instead of name
    uint8_t hoverPreview = 1;

    ModVar() = default;
    ModVar(const char* varName, VarValue* ownedValue, int32_t code = kControlDefault);
    ModVar(const ModVar& other);
    ModVar& operator=(const ModVar& other);
    ~ModVar();

    // Make the var hold a value of the kind, keeping one already there.
    FloatValue* makeFloat();
    CurveValue* makeCurve();
    ChoiceValue* makeChoice();
    MultiChoiceValue* makeMultiChoice();
    FileValue* makeFile();
    ColorValue* makeColor();
    // Stores v in the var's float value; a var holding no float value has its
    // value replaced by a new one with the defaults (0..1, both limits on).
    void setFloat(float v);

    // Typed access: null when the var holds no value of that kind.
    FloatValue* floatValue() const;
    CurveValue* curveValue() const;
    ColorValue* colorValue() const;
    ChoiceValue* choiceValue() const;
    MultiChoiceValue* multiChoiceValue() const;
    FileValue* fileValue() const;
    ButtonValue* buttonValue() const;

    // The text of the selected option of list 0; "" when the var holds no
    // choice or the index lies outside the list.
    GrowString choiceText() const;
    // The label shown: the alias when set, else the name.
    const GrowString& label() const { return alias ? *alias : name; }
    void setAlias(const char* text);
    void setValue(VarValue* ownedValue);  // deletes the old value
};
