// The tray's undo commands on the document's UndoStack.
#include <gtest/gtest.h>

#include "WidgetTestApp.h"
#include "foundation/UndoStack.h"
#include "framework/CompoundFilter.h"
#include "support/DesktopTestAccess.h"
#include "support/TestTiles.h"
#include "tray/TileParamsCommand.h"
#include "tray/TrayContentsCommand.h"
#include "tray/TrayNode.h"
#include "tray/TrayWidget.h"

using TrayAccess = TrayWidgetTestAccess;

namespace {
float amountOf(const ImageMod* mod) { return mod->floatAt(0)->value; }
}  // namespace

TEST(TrayUndoCommands, ContentsSnapshotUndoesAndRedoesAChange) {
    ensureWidgetTestApp();
    TrayWidget tray(nullptr);
    TrayAccess::masterList(tray).subMods.append(new AddConstantTile(1.0f));
    TrayAccess::masterList(tray).subMods.append(new AddConstantTile(2.0f));
    TrayAccess::preList(tray).subMods.append(new FrameBorderTile());
    tray.rebuildNodes();
    ASSERT_TRUE(TrayAccess::undoStack(tray)->push(new TrayContentsCommand(&tray)));
    tray.deleteTiles(false);
    tray.clearPreMods();
    TrayAccess::masterList(tray).subMods.append(new AddConstantTile(9.0f));
    tray.rebuildNodes();

    ASSERT_TRUE(TrayAccess::undoStack(tray)->undo());
    ASSERT_EQ(tray.masterList()->subMods.count, 2);
    EXPECT_FLOAT_EQ(amountOf(tray.masterList()->subMods[0]), 1.0f);
    EXPECT_FLOAT_EQ(amountOf(tray.masterList()->subMods[1]), 2.0f);
    EXPECT_EQ(tray.preList()->subMods.count, 1);
    EXPECT_EQ(TrayAccess::nodes(tray).count, 2);
    EXPECT_EQ(TrayAccess::nodes(tray)[1]->mod(), tray.masterList()->subMods[1]);

    ASSERT_TRUE(TrayAccess::undoStack(tray)->redo());
    ASSERT_EQ(tray.masterList()->subMods.count, 1);
    EXPECT_FLOAT_EQ(amountOf(tray.masterList()->subMods[0]), 9.0f);
    EXPECT_EQ(tray.preList()->subMods.count, 0);
    EXPECT_EQ(TrayAccess::nodes(tray).count, 1);
}

// A snapshot whose chain is out of chain-group order (a border in front of
// a central tile) comes back in order.
TEST(TrayUndoCommands, ContentsSwapPutsTheChainInGroupOrder) {
    ensureWidgetTestApp();
    TrayWidget tray(nullptr);
    ImageMod* border = new FrameBorderTile();
    ImageMod* plain = new AddConstantTile(1.0f);
    TrayAccess::masterList(tray).subMods.append(border);
    TrayAccess::masterList(tray).subMods.append(plain);
    ASSERT_TRUE(TrayAccess::undoStack(tray)->push(new TrayContentsCommand(&tray)));
    tray.deleteTiles(false);
    ASSERT_TRUE(TrayAccess::undoStack(tray)->undo());
    ASSERT_EQ(tray.masterList()->subMods.count, 2);
    EXPECT_EQ(tray.masterList()->subMods[0]->name, "Add Constant");
    EXPECT_EQ(tray.masterList()->subMods[1]->name, "Frame Border");
    EXPECT_EQ(TrayAccess::nodes(tray)[1]->mod(), tray.masterList()->subMods[1]);
}

TEST(TrayUndoCommands, ContentsUndoKeepsANestedEditThatStillExists) {
    ensureWidgetTestApp();
    TrayWidget tray(nullptr);
    auto* nested = new CompoundFilter(GrowString("Group"));
    nested->subMods.append(new AddConstantTile(1.0f));
    TrayAccess::masterList(tray).subMods.append(nested);
    tray.rebuildNodes();
    tray.showCompound(nested);
    ASSERT_TRUE(TrayAccess::undoStack(tray)->push(new TrayContentsCommand(&tray)));
    nested->subMods.append(new AddConstantTile(2.0f));
    ASSERT_TRUE(TrayAccess::undoStack(tray)->undo());
    ASSERT_NE(tray.displayedList(), tray.masterList());
    EXPECT_EQ(tray.displayedList(), tray.masterList()->subMods[0]);
    EXPECT_EQ(tray.displayedList()->subMods.count, 1);
}

TEST(TrayUndoCommands, TileParamsSwapTheSelectedTilesParameters) {
    ensureWidgetTestApp();
    TrayWidget tray(nullptr);
    auto* nested = new CompoundFilter(GrowString("Group"));
    nested->subMods.append(new AddConstantTile(1.0f));
    nested->subMods.append(new AddConstantTile(4.0f));
    TrayAccess::masterList(tray).subMods.append(new AddConstantTile(0.5f));
    TrayAccess::masterList(tray).subMods.append(nested);
    tray.rebuildNodes();
    tray.showCompound(nested);
    tray.selectOnlyNode(1);
    ImageMod* tile = nested->subMods[1];

    ASSERT_TRUE(TrayAccess::undoStack(tray)->push(new TileParamsCommand(&tray)));
    tile->floatAt(0)->value = 7.0f;
    tile->enabled = 0;
    ASSERT_TRUE(TrayAccess::undoStack(tray)->undo());
    EXPECT_FLOAT_EQ(amountOf(tile), 4.0f);
    EXPECT_EQ(tile->enabled, 1);
    ASSERT_TRUE(TrayAccess::undoStack(tray)->redo());
    EXPECT_FLOAT_EQ(amountOf(tile), 7.0f);
    EXPECT_EQ(tile->enabled, 0);
    EXPECT_FLOAT_EQ(amountOf(tray.masterList()->subMods[0]), 0.5f);
}

TEST(TrayUndoCommands, TileParamsNeedsOneSelectedTileThatStillExists) {
    ensureWidgetTestApp();
    TrayWidget tray(nullptr);
    TrayAccess::masterList(tray).subMods.append(new AddConstantTile(1.0f));
    TrayAccess::masterList(tray).subMods.append(new AddConstantTile(2.0f));
    tray.rebuildNodes();
    // Nothing or two selected: not recorded.
    EXPECT_FALSE(TrayAccess::undoStack(tray)->push(new TileParamsCommand(&tray)));
    tray.selectOnlyNode(0);
    tray.setNodeSelected(1, true);
    EXPECT_FALSE(TrayAccess::undoStack(tray)->push(new TileParamsCommand(&tray)));
    EXPECT_EQ(TrayAccess::undoStack(tray)->undoCount(), 0);

    // The tile it was made for is gone: the command fails and is dropped.
    tray.selectOnlyNode(1);
    ASSERT_TRUE(TrayAccess::undoStack(tray)->push(new TileParamsCommand(&tray)));
    tray.deleteTiles(false);
    EXPECT_FALSE(TrayAccess::undoStack(tray)->undo());
    EXPECT_EQ(TrayAccess::undoStack(tray)->undoCount(), 0);
    EXPECT_EQ(TrayAccess::undoStack(tray)->redoCount(), 0);
}
