#include "desktop_only/display/ModOrdering.h"

#include "framework/ImageMod.h"

namespace {

int32_t groupOf(const ImageMod* mod) {
    const int32_t group = mod->chainGroup();
    return group == kGroupLeading || group == kGroupTrailing ? group : kGroupCentral;
}

}  // namespace

GrowArray<ImageMod*> orderModsByChainGroup(const GrowArray<ImageMod*>& mods) {
    GrowArray<ImageMod*> ordered;
    const int32_t groups[3] = {kGroupLeading, kGroupCentral, kGroupTrailing};
    for (int32_t group : groups)
        for (int32_t i = 0; i < mods.count; ++i)
            if (mods[i] && groupOf(mods[i]) == group) ordered.append(mods[i]);
    return ordered;
}
