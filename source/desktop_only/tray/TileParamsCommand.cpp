#include "tray/TileParamsCommand.h"

#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"
#include "tray/TrayWidget.h"

TileParamsCommand::TileParamsCommand(TrayWidget* owner) : tray(owner) {
    const GrowArray<int32_t> selected = tray->selectedIndices();
    if (selected.count != 1 || !tray->displayedList()) return;
    const int32_t index = selected[0];
    if (index < 0 || index >= tray->displayedList()->subMods.count) return;
    ImageMod* tile = tray->displayedList()->subMods[index];
    if (!tile) return;
    if (tray->displayedList() != tray->masterList()) {
        path = tray->modIndexPath(tray->displayedList());
        if (path.count == 0) return;  // the shown compound is not in the master chain
    }
    path.append(index);
    saved.reset(duplicateMod(*tile));
}

TileParamsCommand::~TileParamsCommand() = default;

ImageMod* TileParamsCommand::findTile() const {
    if (!tray || !tray->masterList() || path.count == 0) return nullptr;
    const CompoundFilter* list = tray->masterList();
    ImageMod* tile = nullptr;
    for (int32_t step = 0; step < path.count; ++step) {
        if (!list || path[step] < 0 || path[step] >= list->subMods.count) return nullptr;
        tile = list->subMods[path[step]];
        if (!tile) return nullptr;
        list = step + 1 < path.count && tile->kind() == kCompoundMod ? dynamic_cast<const CompoundFilter*>(tile)
                                                                      : nullptr;
    }
    return tile;
}

bool TileParamsCommand::swap() {
    ImageMod* tile = findTile();
    if (!tile || !saved || !sameText(tile->name, saved->name) || tile->kind() != saved->kind()) return false;
    std::unique_ptr<ImageMod> current(duplicateMod(*tile));
    if (!current) return false;
    tile->copyFrom(*saved);
    // The tile rebuilds what it derives from its vars.
    for (int32_t i = 0; i < tile->vars.count; ++i) tile->varChanged(i);
    saved = std::move(current);
    tray->updateNodes();
    return true;
}
