#include "framework/ModListHelpers.h"

#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"

ImageMod* findModByTag(const GrowArray<ImageMod*>& list, int32_t tag) {
    for (ImageMod* mod : list) {
        if (!mod) continue;
        // A tile's own tags are tested before its sub-tiles.
        for (int32_t t : mod->typeTags) {
            if (t == tag) return mod;
        }
        if (mod->kind() == kCompoundMod) {
            if (const CompoundFilter* compound = dynamic_cast<const CompoundFilter*>(mod)) {
                if (ImageMod* found = findModByTag(compound->subMods, tag)) return found;
            }
        }
    }
    return nullptr;
}

int32_t orderingGroup(const ImageMod* mod) {
    if (!mod || mod->kind() == kCompoundMod) return kGroupCentral;
    const int32_t group = mod->chainGroup();
    return group == kGroupLeading || group == kGroupTrailing ? group : kGroupCentral;
}

GrowArray<ImageMod*> orderModsByChainGroup(const GrowArray<ImageMod*>& mods) {
    GrowArray<ImageMod*> ordered;
    for (int32_t group : {kGroupLeading, kGroupCentral, kGroupTrailing})
        for (int32_t i = 0; i < mods.count; ++i)
            if (mods[i] && orderingGroup(mods[i]) == group) ordered.append(mods[i]);
    return ordered;
}

bool sortModsByChainGroup(GrowArray<ImageMod*>& mods) {
    bool moved = false;
    for (ImageMod* mod : mods) {
        if (!mod || mod->kind() != kCompoundMod) continue;
        if (CompoundFilter* compound = dynamic_cast<CompoundFilter*>(mod))
            moved = sortModsByChainGroup(compound->subMods) || moved;
    }
    // Null entries keep no place of their own: they go after the trailing group.
    GrowArray<ImageMod*> ordered = orderModsByChainGroup(mods);
    for (int32_t i = 0; i < mods.count; ++i)
        if (!mods[i]) ordered.append(nullptr);
    for (int32_t i = 0; i < mods.count; ++i) {
        if (mods[i] != ordered[i]) moved = true;
        mods[i] = ordered[i];
    }
    return moved;
}

GrowArray<ImageMod*> precedingSelectors(const GrowArray<ImageMod*>& list, int32_t index) {
    GrowArray<ImageMod*> selectors;
    if (index <= 0 || index >= list.count) return selectors;
    for (int32_t i = index - 1; i >= 0; --i) {
        ImageMod* mod = list[i];
        if (!mod || mod->kind() != kSelectorMod) break;  // the run of selectors ends
        if (!mod->enabled) continue;                     // a disabled one neither counts nor ends it
        selectors.insertAt(0, mod);
    }
    return selectors;
}

void freeTiles(GrowArray<ImageMod*>& list) {
    for (ImageMod* mod : list) delete mod;
    list.destroy();
}

bool sameTiles(const GrowArray<ImageMod*>& a, const GrowArray<ImageMod*>& b) {
    if (a.count != b.count) return false;
    for (int32_t i = 0; i < a.count; ++i) {
        if (!a[i] || !b[i]) {
            if (a[i] != b[i]) return false;
            continue;
        }
        if (!a[i]->equals(*b[i])) return false;
    }
    return true;
}

void OwnedTiles::clear() { freeTiles(list); }
