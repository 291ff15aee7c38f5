#pragma once
// ImageMod: the base class of every tile.
//
// A tile carries its parameters as owned ModVar records, an XML name that
// identifies its class in filter files, a display name, a description, a
// version that selects between historical formulas, optional preview
// animation tracks, free-form string attributes and integer type tags.
// Copying is always clone() (a fresh instance with constructor defaults)
// followed by copyFrom() (the state). Every write into a var's value is
// followed by varChanged(index).

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "framework/AnimTrack.h"
#include "framework/ModVar.h"
#include "framework/RenderArgs.h"

enum ModKind : int32_t {
    kPlainMod = 0,
    kBorderMod = 1,
    kCameraMod = 2,
    kCompoundMod = 3,
    kSelectorMod = 4,
};

enum ModTypeTag : int32_t {
    kTagCrop = 0,
    kTagOutputSize = 1,
    kTagBorder = 4,
};

enum ChainGroup : int32_t {
    kGroupLeading = 0,
    kGroupCentral = 1,
    kGroupTrailing = 2,
};

class ImageMod {
public:
    float defaultFrameInterval = 0.05f;
    GrowArray<GrowString> attrNames;
    GrowArray<GrowString> attrValues;
    GrowArray<ModVar*> vars;          // owned
    GrowArray<ModVar*> borrowedVars;  // also in vars; never deleted here
    GrowArray<AnimTrack*> animTracks; // owned
    GrowString name;
    GrowString displayName;
    GrowString description;
    uint8_t enabled = 1;
    uint8_t pinned = 0;
    uint32_t version = 1;
    float frameIntervalValue = 0.05f;  // returned by frameInterval()
    GrowArray<int32_t> typeTags;

    ImageMod(const GrowString& xmlName, const GrowString& shownName);
    ImageMod(const ImageMod&) = delete;             // copy with clone() + copyFrom()
    ImageMod& operator=(const ImageMod&) = delete;
    virtual ~ImageMod();

    void setNames(const GrowString& xmlName, const GrowString& shownName);
    ModVar* addVar(const ModVar& prototype);
    void addTypeTag(int32_t tag);
    void addAnimTrack(ModVar* var, const char* keyText, float seconds);
    void addChoiceAnimTrack(ModVar* var, const GrowArray<GrowString>& options, float seconds);
    void addColorAnimTrack(ModVar* var, const char* keyText, float seconds);
    void addCurveAnimTrack(ModVar* var, const GrowArray<GrowString>& keyTexts, const GrowArray<float>& seconds);

    // Convenience for tile constructors: adds a float var with its ranges.
    // limits low..high in force, track low..high, display range off.
    ModVar* addFloatVar(const char* varName, float value, float low, float high,
                        int32_t controlCode = kControlDefault);
    // The var at index, or null.
    ModVar* var(int32_t index) const { return index >= 0 && index < vars.count ? vars[index] : nullptr; }
    // The float value of var index, or null when it holds another kind.
    FloatValue* floatAt(int32_t index) const;
    ModVar* findVar(const char* varName) const;
    void setAttribute(const char* attrName, const char* value);
    GrowString attributeValue(const char* attrName) const;

    // The virtual operations, in the order of the tile table.
    virtual void hook0() {}
    virtual void hook1() {}
    virtual void copyFrom(const ImageMod& other);
    virtual ModVar* amountVar();
    virtual int32_t chainGroup() const { return kGroupCentral; }
    virtual int32_t marginFor(int32_t width, int32_t height, float scale) const;
    virtual void setVersion(uint32_t newVersion) { version = newVersion; }
    virtual int32_t kind() const { return kPlainMod; }
    virtual bool canDisable() const { return true; }
    virtual bool canRemove() const { return true; }
    virtual ImageMod* clone() const = 0;
    virtual GrowString emptyText() const { return GrowString(); }
    virtual bool canTile(int32_t pass) const;
    virtual int32_t passCount() const { return 1; }
    virtual void process8(ImageBuffer& image, const RenderArgs* args);
    virtual void processFloat(ImageBuffer& image, const RenderArgs* args);
    virtual ModVar* firstVar();
    virtual void varChanged(int32_t index);
    virtual GrowArray<ModVar*> variationVars();
    virtual ImageMod* borderMod() { return nullptr; }
    virtual GrowString tileLabel() const { return displayName; }
    virtual bool hasHoverPreview() const { return true; }
    virtual GrowString filePath() const { return GrowString(); }
    virtual void hook25() {}
    virtual bool equals(const ImageMod& other) const;
    virtual bool hasAnimTracks() const { return animTracks.count > 0; }
    // Whether one call runs several passes over its rows (a camera style's
    // recipe): the pipeline then feeds it cache-sized sub-bands even when
    // it is the only tile of a fused run.
    virtual bool runsSeveralSteps() const { return false; }
    virtual float frameInterval() const { return frameIntervalValue; }
    virtual void applyAnimFrame(int32_t frame);
};

// A clone in one of the two ways a tile class makes it. Most return a new
// tile of the class's start values, made at the class's newest version
// (its kNewestVersion), and leave the version to copyFrom:
//   ImageMod* GammaMod::clone() const { return new GammaMod(1.0f); }
// A class whose clone carries the version over hands the new tile to
// withVersionOf, which gives it the copied tile's version through
// setVersion (so that what that version shows or hides, a control or a
// display name, goes with it):
//   ImageMod* HueShiftMod::clone() const { ... return withVersionOf(*this, new HueShiftMod(start)); }
template <class Mod>
Mod* withVersionOf(const ImageMod& original, Mod* copy) {
    copy->setVersion(original.version);
    return copy;
}

// Clones a tile with its state: clone() then copyFrom().
ImageMod* duplicateMod(const ImageMod& mod);
