#include "adjustments/ColoringWheels.h"

#include <math.h>

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

// The vars of Coloring and of Color Wheels, in the order their
// constructors add them. A wheel's var index is its member's number.
enum ColoringVar : int32_t { kColoringColour = 0, kColoringAmount = 1, kColoringMethod = 2 };
enum ColorWheelsVar : int32_t {
    kAllWheel = 0,
    kShadowsWheel = 1,
    kMidtonesWheel = 2,
    kHighlightsWheel = 3,
    kWheelsMethod = 4
};

// The start colour of the Colorize Curve constructor, which members are
// first built with before they take their own state.
const float kMemberStartColour[4] = {127.0f, 63.0f, 0.0f, 255.0f};
const float kColoringStartColour[4] = {127.0f, 63.0f, 0.0f, 255.0f};
const float kBlack[4] = {0.0f, 0.0f, 0.0f, 255.0f};
const float kWheelOff[4] = {0.0f, 0.0f, 0.0f, 0.0f};

// A region curve flat at 1: strength a at every luminance.
const char* const kFullRegion = "0 1 1 1";

Curve regionCurve(const char* points) {
    Curve curve(0);
    GrowString text(points);
    curve.setFromString(text);
    return curve;
}

// Gives the member the state of a Colorize Curve tile built with these
// start values (the member's version becomes 2).
void resetMember(ColorizeCurveMod& member, const char* region, const float colour[4], float amount) {
    const ColorizeCurveMod source(regionCurve(region), colour, 0, amount);
    member.copyFrom(source);
}

int32_t choiceIndex(const ImageMod& mod, int32_t index) {
    const ModVar* v = mod.var(index);
    const ChoiceValue* choice = v ? v->choiceValue() : nullptr;
    return choice ? choice->selected : 0;
}

void setMemberMethod(ColorizeCurveMod& member, int32_t index) {
    if (ModVar* method = member.colorMethodVar()) method->makeChoice()->selected = index;
}

void setMemberAmount(ColorizeCurveMod& member, float amount) {
    if (ModVar* amountVar = member.amountVar()) amountVar->makeFloat()->value = amount;
}

void setMemberColour(ColorizeCurveMod& member, float r, float g, float b, float fourth) {
    if (ModVar* colourVar = member.colorVar()) {
        ColorValue* colour = colourVar->makeColor();
        colour->red = r;
        colour->green = g;
        colour->blue = b;
        colour->fourth = fourth;
    }
}

bool holdsColour(const ImageMod& mod, int32_t index) {
    const ModVar* v = mod.var(index);
    return v && v->colorValue();
}

}  // namespace

// ---- ColorizeBasicMod -----------------------------------------------------------

ColorizeBasicMod::ColorizeBasicMod(const float colour[4])
    : ImageMod(GrowString("Colorize Basic"), GrowString("Coloring")),
      curveTile(ColorizeCurveMod::startRegion(), kMemberStartColour, 0, 1.0f) {
    version = kNewestVersion;
    resetMember(curveTile, kFullRegion, colour, 0.5f);

    ModVar* colourVar = tilevars::placed(
        *this, kColoringColour, addVar(ModVar("Color", new ColorValue(colour[0], colour[1], colour[2], colour[3]))));
    tilevars::placed(*this, kColoringAmount, addFloatVar("Amount", 0.5f, 0.0f, 1.0f, 0));
    const ModVar* memberMethod = curveTile.colorMethodVar();
    const ChoiceValue* methods = memberMethod ? memberMethod->choiceValue() : nullptr;
    ModVar* methodVar = tilevars::placed(
        *this, kColoringMethod,
        addVar(ModVar("Color Method", methods ? ChoiceValue::initLists(methods->lists, 0) : new ChoiceValue())));

    addColorAnimTrack(colourVar, "0 1 .5 1 360 1 .5 1", 3.0f);
    const ChoiceValue* choice = methodVar->choiceValue();
    addChoiceAnimTrack(methodVar, choice->lists.count > 0 ? choice->lists[0] : GrowArray<GrowString>(),
                       static_cast<float>(choice->optionCount()) * 1.81f);

    description = "Adjust the overall color.";
    syncMember();
}

void ColorizeBasicMod::syncMember() {
    const ModVar* colourVar = var(kColoringColour);
    if (const ColorValue* colour = colourVar ? colourVar->colorValue() : nullptr)
        setMemberColour(curveTile, colour->red, colour->green, colour->blue, colour->fourth);
    setMemberAmount(curveTile, tileloop::floatVar(*this, kColoringAmount));
    setMemberMethod(curveTile, choiceIndex(*this, kColoringMethod));
}

void ColorizeBasicMod::copyFrom(const ImageMod& other) {
    ImageMod::copyFrom(other);
    syncMember();
}

void ColorizeBasicMod::varChanged(int32_t) { syncMember(); }

ImageMod* ColorizeBasicMod::clone() const { return withVersionOf(*this, new ColorizeBasicMod(kColoringStartColour)); }

void ColorizeBasicMod::process8(ImageBuffer& image, const RenderArgs* args) {
    if (holdsColour(*this, kColoringColour)) curveTile.apply8(image, args);
}

void ColorizeBasicMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    if (holdsColour(*this, kColoringColour)) curveTile.applyFloat(image, args);
}

// ---- ColorWheelsMod -----------------------------------------------------------------

const char* const ColorWheelsMod::kRegions[4] = {
    "0 1 1 1",
    "0 1 .25 1 .375 .5 .625 .5 1 .5",
    "0 .5 .25 .5 .375 1 .5 1 .625 1 .75 .5 1 .5",
    "0 .5 .375 .5 .625 .5 .75 1 1 1",
};

ColorWheelsMod::ColorWheelsMod(const float shadows[4], const float midtones[4], const float highlights[4],
                               const float all[4])
    : ImageMod(GrowString("Color Wheels"), GrowString("Color Wheels")),
      allTile(ColorizeCurveMod::startRegion(), kMemberStartColour, 0, 1.0f),
      shadowsTile(ColorizeCurveMod::startRegion(), kMemberStartColour, 0, 1.0f),
      midtonesTile(ColorizeCurveMod::startRegion(), kMemberStartColour, 0, 1.0f),
      highlightsTile(ColorizeCurveMod::startRegion(), kMemberStartColour, 0, 1.0f) {
    version = kNewestVersion;
    for (int32_t wheel = 0; wheel < 4; ++wheel) resetMember(*memberAt(wheel), kRegions[wheel], kBlack, 0.0f);

    const float* colours[4] = {all, shadows, midtones, highlights};
    const char* const names[4] = {"All", "Shadows", "Midtones", "Highlights"};
    ModVar* wheels[4];
    for (int32_t i = 0; i < 4; ++i) {
        const float* c = colours[i];
        wheels[i] = tilevars::placed(*this, kAllWheel + i,
                                     addVar(ModVar(names[i], new ColorValue(c[0], c[1], c[2], c[3]), kControlHueOnly)));
    }
    // The same choice as the members': the seven methods, the first chosen.
    ModVar* methodVar = tilevars::placed(*this, kWheelsMethod, addVar(*allTile.colorMethodVar()));

    addColorAnimTrack(wheels[1], "0 1 1 .2 360 1 1 .2", 3.0f);
    addColorAnimTrack(wheels[2], "0 1 1 .2 360 1 1 .2", 2.73f);
    addColorAnimTrack(wheels[3], "0 1 1 .2 360 1 1 .2", 2.34f);
    const ChoiceValue* choice = methodVar->choiceValue();
    addChoiceAnimTrack(methodVar, choice && choice->lists.count > 0 ? choice->lists[0] : GrowArray<GrowString>(),
                       static_cast<float>(choice ? choice->optionCount() : 0) * 1.81f);

    description = "Use color wheels to adjust the coloring of shadows, midtones, and highlights.";

    // Members follow the wheels from the start, so a tile built with
    // coloured wheels renders them without waiting for a var change.
    for (int32_t wheel = 0; wheel < 4; ++wheel) syncWheel(wheel);
    syncMethod();
}

ColorizeCurveMod* ColorWheelsMod::memberAt(int32_t wheel) {
    switch (wheel) {
    case 0: return &allTile;
    case 1: return &shadowsTile;
    case 2: return &midtonesTile;
    case 3: return &highlightsTile;
    default: return nullptr;
    }
}

const ColorizeCurveMod& ColorWheelsMod::member(int32_t wheel) const {
    switch (wheel) {
    case 1: return shadowsTile;
    case 2: return midtonesTile;
    case 3: return highlightsTile;
    default: return allTile;
    }
}

// A wheel (r, g, b, k) drives its member with the colour (r, g, b, 255) at
// Amount (k/255)^1.7: k/255 in double rounded to float, the power in float.
// A k below 0 or NaN (a hand-edited file) counts as 0; a wheel var that
// holds no colour switches its member off.
void ColorWheelsMod::syncWheel(int32_t wheel) {
    ColorizeCurveMod* member = memberAt(wheel);
    if (!member) return;
    const ModVar* wheelVar = var(kAllWheel + wheel);
    const ColorValue* colour = wheelVar ? wheelVar->colorValue() : nullptr;
    if (!colour) {
        setMemberAmount(*member, 0.0f);
        return;
    }
    setMemberColour(*member, colour->red, colour->green, colour->blue, 255.0f);
    const float k = static_cast<float>(static_cast<double>(colour->fourth) / 255.0);
    setMemberAmount(*member, powf(tileloop::powerBase(k), 1.7f));
}

void ColorWheelsMod::syncMethod() {
    const int32_t index = choiceIndex(*this, kWheelsMethod);
    for (int32_t wheel = 0; wheel < 4; ++wheel) setMemberMethod(*memberAt(wheel), index);
}

void ColorWheelsMod::varChanged(int32_t index) {
    if (index == kWheelsMethod) {
        syncMethod();
    } else if (index >= kAllWheel && index <= kHighlightsWheel) {
        syncWheel(index - kAllWheel);
    }
}

void ColorWheelsMod::copyFrom(const ImageMod& other) {
    ImageMod::copyFrom(other);
    const ColorWheelsMod* source = dynamic_cast<const ColorWheelsMod*>(&other);
    if (source == this) return;
    if (source) {
        allTile.copyFrom(source->allTile);
        shadowsTile.copyFrom(source->shadowsTile);
        midtonesTile.copyFrom(source->midtonesTile);
        highlightsTile.copyFrom(source->highlightsTile);
        return;
    }
    for (int32_t wheel = 0; wheel < 4; ++wheel) syncWheel(wheel);
    syncMethod();
}

ImageMod* ColorWheelsMod::clone() const { return new ColorWheelsMod(kWheelOff, kWheelOff, kWheelOff, kWheelOff); }

void ColorWheelsMod::process8(ImageBuffer& image, const RenderArgs* args) {
    allTile.apply8(image, args);
    shadowsTile.apply8(image, args);
    midtonesTile.apply8(image, args);
    highlightsTile.apply8(image, args);
}

void ColorWheelsMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    allTile.applyFloat(image, args);
    shadowsTile.applyFloat(image, args);
    midtonesTile.applyFloat(image, args);
    highlightsTile.applyFloat(image, args);
}
