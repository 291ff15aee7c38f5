// The tray: adding tiles by type, nesting, the tiles-off preview and
// selection inside nested edits.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QString>
#include <QTest>

#include "WidgetTestApp.h"
#include "foundation/UndoStack.h"
#include "framework/CompoundFilter.h"
#include "support/DesktopTestAccess.h"
#include "support/TestTiles.h"
#include "tray/TrayNode.h"
#include "widgets/VxPushButton.h"
#include "tray/TrayWidget.h"

using TrayAccess = TrayWidgetTestAccess;

namespace {

// An output-sizing tile (tag 1, trailing group) that changes no pixel.
class SizingTile : public ImageMod {
public:
    SizingTile() : ImageMod(GrowString("Sizing Test"), GrowString("")) { addTypeTag(kTagOutputSize); }
    ImageMod* clone() const override { return new SizingTile(); }
    int32_t chainGroup() const override { return kGroupTrailing; }
};

// A tile of the leading group (where the crop tile stands).
class LeadingTile : public ImageMod {
public:
    LeadingTile() : ImageMod(GrowString("Leading Test"), GrowString("")) {}
    ImageMod* clone() const override { return new LeadingTile(); }
    int32_t chainGroup() const override { return kGroupLeading; }
};

ImageMod* plainTile(float amount) { return new AddConstantTile(amount); }

float amountOf(const ImageMod* mod) { return mod->floatAt(0)->value; }

struct TrayFixture : ::testing::Test {
    void SetUp() override { ensureWidgetTestApp(); }
    // Puts tiles straight into the master list and rebuilds the nodes.
    void fill(TrayWidget& tray, std::initializer_list<ImageMod*> tiles) {
        for (ImageMod* tile : tiles) TrayAccess::masterList(tray).subMods.append(tile);
        tray.rebuildNodes();
    }
};

}  // namespace

TEST_F(TrayFixture, StartsEmptyWithItsOwnUndoStack) {
    TrayWidget tray(nullptr);
    EXPECT_EQ(tray.masterList()->subMods.count, 0);
    EXPECT_EQ(tray.preList()->subMods.count, 0);
    EXPECT_EQ(tray.displayedList(), tray.masterList());
    EXPECT_TRUE(TrayAccess::undoStack(tray) != nullptr);
    EXPECT_FALSE(tray.modified());
    EXPECT_TRUE(tray.filterName().isEmpty());
    EXPECT_STREQ(tray.masterList()->name.c_str(), "Compound Filter");
}

// addMod: tiles sharing a type tag replace each other; pinned ones survive
// unless replacePinned; tiles without tags are simply appended.
TEST_F(TrayFixture, AddModReplacesByTypeTagAndHonoursPins) {
    struct Case {
        const char* what;
        bool existingPinned;
        bool existingInPre;
        bool replacePinned;
        int32_t expectedIndex;
        int32_t expectedMasterCount;
        bool newTileAdded;
    };
    const Case cases[] = {
        {"unpinned border replaced", false, false, false, 1, 2, true},
        {"pinned border kept", true, false, false, 1, 2, false},
        {"pinned border replaced when asked", true, false, true, 1, 2, true},
        {"border in the pre list removed", false, true, false, 2, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayWidget tray(nullptr);
        FrameBorderTile* existing = new FrameBorderTile();
        existing->pinned = c.existingPinned ? 1 : 0;
        existing->setAttribute("marker", "existing");  // freed memory may be reused: no pointer compare
        fill(tray, {plainTile(1.0f)});
        if (c.existingInPre) {
            TrayAccess::preList(tray).subMods.append(existing);
            TrayAccess::masterList(tray).subMods.append(plainTile(2.0f));
            tray.rebuildNodes();
        } else {
            fill(tray, {existing});
        }
        FrameBorderTile incoming;
        const int32_t index = tray.addMod(tray.masterList(), &incoming, c.replacePinned);
        EXPECT_EQ(index, c.expectedIndex);
        ASSERT_EQ(tray.masterList()->subMods.count, c.expectedMasterCount);
        EXPECT_EQ(TrayAccess::nodes(tray).count, c.expectedMasterCount);
        if (c.existingInPre) {
            EXPECT_EQ(tray.preList()->subMods.count, 0);
        }
        ImageMod* atIndex = tray.masterList()->subMods[index];
        EXPECT_EQ(atIndex->kind(), kBorderMod);
        EXPECT_EQ(atIndex->attributeValue("marker").isEmpty(), c.newTileAdded);
        EXPECT_NE(atIndex, &incoming);  // the tray holds a copy
    }
}

// A tile goes in at the end of its own chain group (leading, central,
// trailing) and addMod reports where it landed, whatever order the tiles
// come in; a nested tile counts as central and its inside is put in order.
TEST_F(TrayFixture, AddModAppendsUntaggedTilesAndKeepsOtherTypes) {
    TrayWidget tray(nullptr);
    fill(tray, {new FrameBorderTile()});
    AddConstantTile plain(5.0f);
    SizingTile sizing;
    LeadingTile leading;
    CompoundFilter nested(GrowString("Group"));
    nested.subMods.append(new FrameBorderTile());
    nested.subMods.append(plainTile(7.0f));
    struct Step {
        const ImageMod* tile;
        int32_t expectedIndex;
    };
    const Step steps[] = {{&plain, 0}, {&plain, 1}, {&sizing, 3}, {&leading, 0}, {&nested, 3}, {&plain, 4}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.tile->name.c_str());
        EXPECT_EQ(tray.addMod(tray.masterList(), step.tile, true), step.expectedIndex);
    }
    const char* const order[] = {"Leading Test", "Add Constant", "Add Constant", "Group",
                                 "Add Constant", "Frame Border", "Sizing Test"};
    ASSERT_EQ(tray.masterList()->subMods.count, 7);
    ASSERT_EQ(TrayAccess::nodes(tray).count, 7);
    for (int32_t i = 0; i < 7; ++i) EXPECT_STREQ(tray.masterList()->subMods[i]->name.c_str(), order[i]) << i;
    EXPECT_FLOAT_EQ(amountOf(tray.masterList()->subMods[2]), 5.0f);
    const auto* copy = static_cast<const CompoundFilter*>(tray.masterList()->subMods[3]);
    ASSERT_EQ(copy->subMods.count, 2);
    EXPECT_EQ(copy->subMods[0]->kind(), kPlainMod);  // the nested copy's inside is in order too
    EXPECT_EQ(copy->subMods[1]->chainGroup(), kGroupTrailing);
    EXPECT_EQ(nested.subMods[0]->chainGroup(), kGroupTrailing);  // the tile added is left as it is

    // Adding into a nested tile being edited keeps that list's order.
    tray.showCompound(static_cast<CompoundFilter*>(tray.masterList()->subMods[3]));
    ASSERT_NE(tray.displayedList(), tray.masterList());
    EXPECT_EQ(tray.addMod(tray.displayedList(), &plain, true), 1);
    EXPECT_EQ(tray.displayedList()->subMods[2]->chainGroup(), kGroupTrailing);
}

// The Delete key's removal: indices of the displayed list, in any order,
// repeated or outside it; the ones removed come back highest first.
TEST_F(TrayFixture, RemovingDisplayedTilesByIndex) {
    struct Case {
        std::initializer_list<int32_t> indices;
        std::initializer_list<int32_t> removed;
        std::initializer_list<float> left;
    };
    const Case cases[] = {
        {{3, 1, 1, -1, 9}, {3, 1}, {0.0f, 2.0f}},
        {{}, {}, {0.0f, 1.0f, 2.0f, 3.0f}},
        {{0, 1, 2, 3}, {3, 2, 1, 0}, {}},
    };
    for (const Case& c : cases) {
        TrayWidget tray(nullptr);
        fill(tray, {plainTile(0.0f), plainTile(1.0f), plainTile(2.0f), plainTile(3.0f)});
        GrowArray<int32_t> indices;
        for (int32_t index : c.indices) indices.append(index);
        const GrowArray<int32_t> removed = tray.removeDisplayedTiles(indices);
        ASSERT_EQ(removed.count, static_cast<int32_t>(c.removed.size()));
        for (int32_t i = 0; i < removed.count; ++i) EXPECT_EQ(removed[i], c.removed.begin()[i]);
        ASSERT_EQ(tray.masterList()->subMods.count, static_cast<int32_t>(c.left.size()));
        for (int32_t i = 0; i < tray.masterList()->subMods.count; ++i)
            EXPECT_EQ(amountOf(tray.masterList()->subMods[i]), c.left.begin()[i]);
        EXPECT_EQ(TrayAccess::nodes(tray).count, tray.masterList()->subMods.count);
    }

    // A list that is not the tray's own takes nothing.
    TrayWidget tray(nullptr);
    CompoundFilter elsewhere(GrowString("Elsewhere"));
    AddConstantTile plain(5.0f);
    EXPECT_EQ(tray.addMod(&elsewhere, &plain, true), -1);
    EXPECT_EQ(elsewhere.subMods.count, 0);
    EXPECT_EQ(tray.masterList()->subMods.count, 0);
}

// Nesting and unnesting keep the list in chain-group order: a nested tile
// stands among the central tiles, and unnested trailing tiles go behind
// them; the moved tiles stay selected.
TEST_F(TrayFixture, NestingAndUnnestingKeepTheChainOrder) {
    TrayWidget tray(nullptr);
    ImageMod* a = plainTile(1.0f);
    ImageMod* b = plainTile(2.0f);
    ImageMod* border = new FrameBorderTile();
    ImageMod* sizing = new SizingTile();
    fill(tray, {a, b, border, sizing});
    tray.selectOnlyNode(2);  // the border alone: the nested tile goes in front of the sizing tile
    ModalAnswer answer;
    answerNextDialog(&answer, true);
    tray.nestSelectedTiles();
    ASSERT_TRUE(answer.seen);
    ASSERT_EQ(tray.masterList()->subMods.count, 4);
    EXPECT_EQ(tray.masterList()->subMods[2]->kind(), kCompoundMod);
    EXPECT_EQ(tray.masterList()->subMods[3], sizing);
    ASSERT_EQ(tray.selectedIndices().count, 1);
    EXPECT_EQ(tray.selectedIndices()[0], 2);

    // Nest the border's nested tile with the first plain tile, then unnest:
    // the border goes back behind the central tiles.
    tray.setNodeSelected(0, true);
    answerNextDialog(&answer, true);
    tray.nestSelectedTiles();
    ASSERT_EQ(tray.masterList()->subMods.count, 3);
    ASSERT_EQ(tray.selectedIndices().count, 1);
    const int32_t outer = tray.selectedIndices()[0];
    EXPECT_EQ(outer, 0);
    EXPECT_EQ(tray.masterList()->subMods[1], b);
    tray.unnestSelectedTile();
    ASSERT_EQ(tray.masterList()->subMods.count, 4);
    EXPECT_EQ(tray.masterList()->subMods[0], a);
    EXPECT_EQ(tray.masterList()->subMods[1]->kind(), kCompoundMod);
    EXPECT_EQ(tray.masterList()->subMods[2], b);
    EXPECT_EQ(tray.masterList()->subMods[3], sizing);
    const GrowArray<int32_t> selected = tray.selectedIndices();
    ASSERT_EQ(selected.count, 2);
    EXPECT_EQ(selected[0], 0);
    EXPECT_EQ(selected[1], 1);
    tray.setNodeSelected(0, false);
    tray.unnestSelectedTile();
    ASSERT_EQ(tray.masterList()->subMods.count, 4);
    EXPECT_EQ(tray.masterList()->subMods[1], b);
    EXPECT_EQ(tray.masterList()->subMods[2], border);
    EXPECT_EQ(tray.masterList()->subMods[3], sizing);
    ASSERT_EQ(tray.selectedIndices().count, 1);
    EXPECT_EQ(tray.selectedIndices()[0], 2);
}

// Mended fault: an index from the master list while a nested compound is
// shown selects nothing instead of reaching past the node list.
TEST_F(TrayFixture, SelectionStaysInsideTheDisplayedList) {
    TrayWidget tray(nullptr);
    auto* nested = new CompoundFilter(GrowString("Group"));
    nested->subMods.append(plainTile(1.0f));
    FrameBorderTile* pinnedBorder = new FrameBorderTile();
    pinnedBorder->pinned = 1;
    fill(tray, {plainTile(1.0f), nested, plainTile(2.0f), pinnedBorder});
    tray.showCompound(nested);
    ASSERT_EQ(TrayAccess::nodes(tray).count, 1);
    EXPECT_FALSE(tray.selectOnlyNode(3));
    EXPECT_FALSE(tray.selectOnlyNode(-1));
    EXPECT_EQ(tray.selectedIndices().count, 0);
    // The pinned border survives in the master list: addMod to the shown
    // compound reports no index of that compound.
    FrameBorderTile incoming;
    EXPECT_EQ(tray.addMod(tray.displayedList(), &incoming, false), -1);
    EXPECT_EQ(nested->subMods.count, 1);
    EXPECT_TRUE(tray.selectOnlyNode(0));
    EXPECT_EQ(tray.selectedIndices().count, 1);
}

// Mended fault: deleting the tiles while a nested compound is shown falls
// back to the master list instead of showing a deleted compound.
TEST_F(TrayFixture, DeletingTheShownCompoundShowsTheMasterList) {
    TrayWidget tray(nullptr);
    auto* nested = new CompoundFilter(GrowString("Group"));
    nested->subMods.append(plainTile(1.0f));
    fill(tray, {nested});
    tray.showCompound(nested);
    tray.deleteTiles(false);
    EXPECT_EQ(tray.displayedList(), tray.masterList());
    EXPECT_EQ(TrayAccess::nodes(tray).count, 0);
}

TEST_F(TrayFixture, PreviewModeLeavesOutOrdinaryTiles) {
    TrayWidget tray(nullptr);
    FrameBorderTile* border = new FrameBorderTile();
    fill(tray, {plainTile(1.0f), border});
    TrayAccess::preList(tray).subMods.append(plainTile(3.0f));
    tray.selectOnlyNode(0);
    tray.setNodeSelected(1, true);
    tray.setPreviewMode(true);
    EXPECT_TRUE(tray.previewMode());
    const GrowArray<ImageMod*> chain = tray.modChain(true, true);
    ASSERT_EQ(chain.count, 2);
    EXPECT_EQ(chain[1], border);
    EXPECT_EQ(tray.modChain(false, false).count, 2);
    const GrowArray<int32_t> selected = tray.selectedIndices();
    ASSERT_EQ(selected.count, 1);
    EXPECT_EQ(selected[0], 1);
    // Without ordinary tiles the mode ends.
    delete TrayAccess::masterList(tray).subMods[0];
    TrayAccess::masterList(tray).subMods.removeAt(0);
    tray.rebuildNodes();
    tray.updatePreviewMode();
    EXPECT_FALSE(tray.previewMode());
}

TEST_F(TrayFixture, NestingMovesTheSelectedTilesIntoANamedTile) {
    TrayWidget tray(nullptr);
    ImageMod* a = plainTile(1.0f);
    ImageMod* b = plainTile(2.0f);
    ImageMod* c = plainTile(3.0f);
    fill(tray, {a, b, c});
    tray.selectOnlyNode(0);
    tray.setNodeSelected(2, true);
    ModalAnswer answer;
    const QString name = QStringLiteral("Pair & <Co>");
    answerNextDialog(&answer, true, &name);
    tray.nestSelectedTiles();
    ASSERT_TRUE(answer.seen);
    ASSERT_EQ(tray.masterList()->subMods.count, 2);
    ImageMod* nestedMod = tray.masterList()->subMods[0];
    ASSERT_EQ(nestedMod->kind(), kCompoundMod);
    EXPECT_STREQ(nestedMod->name.c_str(), "Pair & <Co>");
    auto* nested = static_cast<CompoundFilter*>(nestedMod);
    ASSERT_EQ(nested->subMods.count, 2);
    EXPECT_EQ(nested->subMods[0], a);
    EXPECT_EQ(nested->subMods[1], c);
    EXPECT_EQ(tray.masterList()->subMods[1], b);
    ASSERT_EQ(tray.selectedIndices().count, 1);
    EXPECT_EQ(tray.selectedIndices()[0], 0);

    // Unnesting puts them back in place, selected.
    tray.unnestSelectedTile();
    ASSERT_EQ(tray.masterList()->subMods.count, 3);
    EXPECT_EQ(tray.masterList()->subMods[0], a);
    EXPECT_EQ(tray.masterList()->subMods[1], c);
    EXPECT_EQ(tray.masterList()->subMods[2], b);
    EXPECT_EQ(tray.selectedIndices().count, 2);
}

TEST_F(TrayFixture, NestingCancelledChangesNothing) {
    TrayWidget tray(nullptr);
    fill(tray, {plainTile(1.0f), plainTile(2.0f)});
    tray.selectOnlyNode(1);
    ModalAnswer answer;
    answerNextDialog(&answer, false);
    tray.nestSelectedTiles();
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(tray.masterList()->subMods.count, 2);
    EXPECT_EQ(tray.masterList()->subMods[1]->kind(), kPlainMod);
}

TEST_F(TrayFixture, NestingAndUnnestingRefusals) {
    struct Case {
        const char* what;
        int selectFirst;   // -1: none
        bool selectSecond;
        bool nest;
        const char* title;
        const char* message;
    };
    const Case cases[] = {
        {"nest without selection", -1, false, true, "Can't Nest Tiles", "You must select one or more tiles to nest."},
        {"unnest without selection", -1, false, false, "Can't Unnest Tile",
         "You must select one nested tile to unnest."},
        {"unnest a plain tile", 0, false, false, "Can't Unnest Tile", "You must select one nested tile to unnest."},
        {"unnest two tiles", 0, true, false, "Can't Unnest Tile", "You must select one nested tile to unnest."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayWidget tray(nullptr);
        auto* nested = new CompoundFilter(GrowString("Group"));
        nested->subMods.append(plainTile(1.0f));
        fill(tray, {plainTile(1.0f), nested});
        if (c.selectFirst >= 0) tray.selectOnlyNode(c.selectFirst);
        if (c.selectSecond) tray.setNodeSelected(1, true);
        ModalAnswer answer;
        answerNextDialog(&answer, true);
        if (c.nest) {
            tray.nestSelectedTiles();
        } else {
            tray.unnestSelectedTile();
        }
        ASSERT_TRUE(answer.seen);
        EXPECT_EQ(answer.title, QString::fromUtf8(c.title));
        EXPECT_EQ(answer.message, QString::fromUtf8(c.message));
        EXPECT_EQ(tray.masterList()->subMods.count, 2);
        EXPECT_EQ(tray.masterList()->subMods[1], nested);
    }
}

TEST_F(TrayFixture, ModIndexPathFindsNestedCompounds) {
    TrayWidget tray(nullptr);
    auto* outer = new CompoundFilter(GrowString("Outer"));
    auto* inner = new CompoundFilter(GrowString("Inner"));
    outer->subMods.append(plainTile(1.0f));
    outer->subMods.append(inner);
    fill(tray, {plainTile(1.0f), outer});
    const GrowArray<int32_t> path = tray.modIndexPath(inner);
    ASSERT_EQ(path.count, 2);
    EXPECT_EQ(path[0], 1);
    EXPECT_EQ(path[1], 1);
    CompoundFilter stranger(GrowString("Elsewhere"));
    EXPECT_EQ(tray.modIndexPath(&stranger).count, 0);
    EXPECT_EQ(tray.modIndexPath(tray.masterList()).count, 0);
    // Leaving a nested edit walks back one level.
    tray.showCompound(inner);
    tray.exitComboButtonPressed();
    EXPECT_EQ(tray.displayedList(), outer);
    tray.exitComboButtonPressed();
    EXPECT_EQ(tray.displayedList(), tray.masterList());
}

// Clicks: a plain click selects one node, Ctrl toggles, Shift extends from
// the last clicked node; a click on the empty tray clears the selection.
TEST_F(TrayFixture, ClicksSelectNodes) {
    TrayWidget tray(nullptr);
    tray.resize(800, 100);
    fill(tray, {plainTile(1.0f), plainTile(2.0f), plainTile(3.0f), plainTile(4.0f)});
    tray.show();
    QSignalSpy changed(&tray, &TrayWidget::selectionChanged);
    auto selected = [&tray] {
        QString marks;
        for (TrayNode* node : TrayAccess::nodes(tray)) marks += node->selected() ? QLatin1Char('x') : QLatin1Char('.');
        return marks;
    };
    const QPoint inside(10, TrayNode::kHeight - 10);
    QTest::mouseClick(TrayAccess::nodes(tray)[1], Qt::LeftButton, Qt::NoModifier, inside);
    EXPECT_EQ(selected(), QStringLiteral(".x.."));
    QTest::mouseClick(TrayAccess::nodes(tray)[3], Qt::LeftButton, Qt::ShiftModifier, inside);
    EXPECT_EQ(selected(), QStringLiteral(".xxx"));
    QTest::mouseClick(TrayAccess::nodes(tray)[2], Qt::LeftButton, Qt::ControlModifier, inside);
    EXPECT_EQ(selected(), QStringLiteral(".x.x"));
    QTest::mouseClick(&tray, Qt::LeftButton, Qt::NoModifier, QPoint(790, 5));
    EXPECT_EQ(selected(), QStringLiteral("...."));
    EXPECT_EQ(changed.count(), 4);
}

// The tray's own edits (context menu nesting, enable buttons) record one
// undo step first, also when the nesting is refused, and report themselves.
TEST_F(TrayFixture, OwnEditsRecordUndoAndReport) {
    TrayWidget tray(nullptr);
    fill(tray, {plainTile(1.0f), plainTile(2.0f)});
    tray.show();
    QSignalSpy adjusted(&tray, &TrayWidget::trayAdjusted);
    ModalAnswer answer;
    answerNextDialog(&answer, true);
    tray.menuItemChosen(TrayAccess::nestAction(tray));
    EXPECT_EQ(answer.title, QStringLiteral("Can't Nest Tiles"));
    EXPECT_EQ(TrayAccess::undoStack(tray)->undoCount(), 1);
    EXPECT_TRUE(tray.modified());
    EXPECT_EQ(adjusted.count(), 1);

    TrayAccess::nodes(tray)[1]->enableButton()->click();
    EXPECT_EQ(tray.masterList()->subMods[1]->enabled, 0);
    EXPECT_FALSE(TrayAccess::nodes(tray)[1]->enableButton()->isChecked());
    EXPECT_EQ(TrayAccess::undoStack(tray)->undoCount(), 2);
    EXPECT_EQ(adjusted.count(), 2);
    ASSERT_TRUE(TrayAccess::undoStack(tray)->undo());
    EXPECT_EQ(tray.masterList()->subMods[1]->enabled, 1);
}

// What the window asks of the tray: an edit of a disabled tile enables it
// (its button restyled), and an edit's undo step restores the tile's values.
TEST_F(TrayFixture, WindowEditsEnableTheTileAndRecordItsValues) {
    TrayWidget tray(nullptr);
    ImageMod* edited = plainTile(1.0f);
    fill(tray, {plainTile(2.0f), edited});
    edited->enabled = 0;
    tray.updateNodes();
    EXPECT_EQ(tray.enableShownTile(edited), 1);
    EXPECT_EQ(edited->enabled, 1);
    EXPECT_TRUE(TrayAccess::nodes(tray)[1]->enableButton()->isChecked());
    AddConstantTile stranger(3.0f);
    EXPECT_EQ(tray.enableShownTile(&stranger), -1);

    tray.selectOnlyNode(1);
    tray.recordTileParams();
    EXPECT_TRUE(tray.modified());
    edited->floatAt(0)->value = 9.0f;
    ASSERT_TRUE(tray.undo());
    EXPECT_EQ(amountOf(tray.masterList()->subMods[1]), 1.0f);
    ASSERT_TRUE(tray.redo());
    EXPECT_EQ(amountOf(tray.masterList()->subMods[1]), 9.0f);
    EXPECT_FALSE(tray.redo());
}
