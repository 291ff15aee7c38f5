#pragma once
// TileParamsCommand: the undo record of an edit of one tile's parameters.
// Made for the tray's single selected tile: it keeps a copy of that tile
// (vars, flags, version, attributes) and the tile's index path in the
// master chain; undo and redo swap the copy's state with the tile's. The
// tile is found again by its path when the command runs, never through a
// kept pointer (the tile may have been replaced by a contents undo since):
// when the path no longer leads to a tile of the same name, the command
// fails and the stack drops it.

#include <memory>

#include "foundation/GrowArray.h"
#include "foundation/UndoStack.h"

class ImageMod;
class TrayWidget;

class TileParamsCommand : public UndoCommand {
public:
    explicit TileParamsCommand(TrayWidget* tray);
    ~TileParamsCommand() override;

    // False when the tray has not exactly one selected tile.
    bool execute() override { return saved != nullptr; }
    bool undo() override { return swap(); }
    bool redo() override { return swap(); }

private:
    bool swap();
    ImageMod* findTile() const;
    TrayWidget* tray;
    GrowArray<int32_t> path;  // from the master chain down to the tile
    std::unique_ptr<ImageMod> saved;
};
