#pragma once
// TrayWidget: a document's tray of tiles.
//
// It owns the document's two chains, each a CompoundFilter named
// "Compound Filter": the master chain whose tiles it shows as a row of
// TrayNode cards, and the hidden pre chain applied first (it holds the crop
// tile). It shows either the master chain or a nested compound being edited
// (the displayed list); node i always shows tile i of the displayed list.
// Every list it holds, the inside of each nested tile too, is kept in
// chain-group order (the crop group, the central tiles, then sizing,
// watermark and borders), so that the view, saves, the batch, previews and
// exports all run one chain.
// It also owns the document's UndoStack, the loaded filter's name and the
// modified flag, and the tiles-off preview mode with its overlay. Its chains,
// nodes, undo stack, modified flag and preview mode are private: the window
// reads the chains, adds and deletes tiles, records undo steps, marks the
// document modified, sets the preview mode and changes the selection
// through the operations below.
//
// The tray reports selection changes (selectionChanged) and edits it made
// itself (trayAdjusted: nesting from its context menu, enable buttons);
// edits made by the main window are refreshed by the main window.

#include <QWidget>

#include <memory>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class CompoundFilter;
class CropMod;
class ImageMod;
class QAction;
class QLabel;
class QMenu;
class TrayNode;
class UndoStack;
class VxPushButton;
class VxScroller;

class TrayWidget : public QWidget {
    Q_OBJECT
public:
    explicit TrayWidget(QWidget* parent);
    ~TrayWidget() override;

    // The chains, to read: the master chain, the pre list (applied first;
    // holds the crop tile) and the displayed list (the master chain, or a
    // nested compound inside it being edited). Their tiles are edited only
    // through the operations below (a tile's own parameters excepted).
    const CompoundFilter* masterList() const { return masterList_.get(); }
    const CompoundFilter* preList() const { return preList_.get(); }
    const CompoundFilter* displayedList() const { return displayedList_; }

    static constexpr int kGap = 8;           // between nodes
    static constexpr int kExitButtonWidth = 30;

    // ---- Undo steps, the filter name and the modified mark ----
    // Marks the tray modified and pushes a snapshot of both chains onto the
    // undo stack (when the tray has one): one undo step for a change of its
    // tiles.
    void recordContents();
    // The same for an edit of the single selected tile's parameters: the
    // step holds only that tile's values.
    void recordTileParams();
    // Undoes or redoes one step; false when there is none (or no stack).
    bool undo();
    bool redo();
    // The name of the filter the tray holds ("" for none), shown with the
    // modified mark ("*" behind it).
    const GrowString& filterName() const { return filterName_; }
    void setFilterName(const GrowString& name) { filterName_ = name; }
    bool modified() const { return modified_; }
    void markModified() { modified_ = true; }
    void clearModified() { modified_ = false; }

    // ---- The tiles-off preview mode ----
    bool previewMode() const { return previewMode_; }
    // Turns the mode on or off; the mode then ends at once when no ordinary
    // tile is displayed, and the overlay is shown (raised above the tiles)
    // exactly while it is on.
    void setPreviewMode(bool on);

    // Tiles of the pre list (when includePre), then of the master list;
    // ordinary tiles are left out while the tiles-off preview mode is on
    // when applyPreviewMode. A new array; the tiles stay the tray's.
    GrowArray<ImageMod*> modChain(bool includePre, bool applyPreviewMode) const;
    // A new array of the pre list's tiles.
    GrowArray<ImageMod*> preMods() const;
    // Indices of the selected nodes in tray order (ordinary tiles left out
    // while the tiles-off preview mode is on).
    GrowArray<int32_t> selectedIndices() const;
    // list names one of the tray's lists: the master list, the pre list, the
    // displayed list or a compound nested in the master list (any other
    // list adds nothing and returns -1).
    // Removes from the master and pre lists (and from list) every tile
    // sharing a type tag with tile, pinned ones only when replacePinned.
    // When a pinned tile of that type remains in list, returns its index
    // (-1 when it remains elsewhere); otherwise puts a clone of tile into
    // list at the end of its chain group (crop, central, trailing: a list
    // is always kept in that order), rebuilds the nodes and returns the
    // index where the clone landed.
    int32_t addMod(const CompoundFilter* list, const ImageMod* tile, bool replacePinned);
    // Deletes the master list's tiles (the pinned ones stay with keepPinned),
    // then rebuilds the nodes.
    void deleteTiles(bool keepPinned);
    // Deletes the tiles at the given indices of the displayed list (indices
    // outside it and repeated ones are skipped), from the highest index
    // down; when any went, rebuilds the nodes and re-checks the preview
    // mode. Returns the indices removed, highest first.
    GrowArray<int32_t> removeDisplayedTiles(GrowArray<int32_t> indices);
    // Deletes the displayed list's tiles: the pinned ones stay unless every
    // tile is pinned. An already empty nested compound is left instead: the
    // tray shows its parent and the compound is removed from it and
    // deleted. Then rebuilds the nodes and re-checks the preview mode.
    void deleteDisplayedTiles();
    // Deletes every tile of the pre list and empties it.
    void clearPreMods();
    // The pre list's first crop tile; a new one is appended when it holds
    // none. The nodes are left as they are (the pre list has none).
    CropMod* cropTileForEditing();
    // Deletes the pre list's crop tiles that cut and turn nothing.
    void removeNeutralCropTiles();
    // Rebuilds the nodes for the displayed list (which falls back to the
    // master list when the displayed compound is no longer in it).
    void rebuildNodes();
    // Ends the preview mode when no ordinary tile is displayed; the overlay
    // is shown only while the mode is on.
    void updatePreviewMode();
    // Nests the selected tiles into one new nested tile named by the user.
    void nestSelectedTiles();
    // Replaces the one selected nested tile by its tiles (trailing ones go
    // behind the central tiles of the list).
    void unnestSelectedTile();
    // Index path of compound inside the master chain; empty when absent
    // (or when compound is the master chain itself).
    GrowArray<int32_t> modIndexPath(const ImageMod* compound) const;
    // Replaces both chains by the given ones (the old ones are handed back
    // through the same pointers): the undo commands' swap. The nested edit
    // shown stays when the new master chain has a compound at its path.
    void swapChains(std::unique_ptr<CompoundFilter>& master, std::unique_ptr<CompoundFilter>& pre);
    // Shows a nested compound of the master chain (or the master chain).
    void showCompound(CompoundFilter* compound);

    // Selection. selectOnlyNode selects exactly the node at index when the
    // index lies inside the node list (else changes nothing and returns
    // false). deselectAll returns whether anything changed. Nodes that
    // change are restyled; neither emits selectionChanged.
    bool selectOnlyNode(int32_t index);
    bool deselectAll();
    void setNodeSelected(int32_t index, bool selected);
    // Restyles every node's enable button (after tiles were changed elsewhere).
    void updateNodes();
    // When tile is shown by a node and is disabled, enables it and restyles
    // the node's enable button (an edit of a disabled tile shows its
    // effect). Returns the tile's index in the displayed list, -1 when it is
    // not there.
    int32_t enableShownTile(const ImageMod* tile);
    // Places the nodes, the exit button, the scroller and the overlay.
    void layoutNodes();

    // Whether a tile counts as ordinary for the tiles-off preview: every
    // tile but crop, output sizing and borders.
    static bool isOrdinaryTile(const ImageMod* mod);
    // Whether two tiles share a type tag: a tile added to the tray takes the
    // place of the tiles it shares one with (see addMod).
    static bool sharesTypeTag(const ImageMod* a, const ImageMod* b);

signals:
    void selectionChanged();
    void trayAdjusted();

public slots:
    void scrollerScrolled(float position);
    void exitComboButtonPressed();
    void menuItemChosen(QAction* action);
    void nodePressed(TrayNode* node, Qt::KeyboardModifiers modifiers);
    void nodeRightPressed(TrayNode* node);
    void nodeDoubleClicked(TrayNode* node);
    void nodeEnableButtonPressed(TrayNode* node);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The tests' view of the private state (tests/desktop_only/support).
    friend class TrayWidgetTestAccess;

    void showRefusal(const QString& title, const QString& text);
    int32_t indexOfNode(const TrayNode* node) const;
    static int32_t indexOfMod(const CompoundFilter* list, const ImageMod* mod);
    void discardNodes();
    // The tray's own list that list names (see addMod), or null.
    CompoundFilter* ownList(const CompoundFilter* list);
    // The compound of the master chain that holds compound (the master
    // chain itself for one of its own tiles); null when compound is not
    // nested in the master chain.
    CompoundFilter* parentCompound(const CompoundFilter* compound);

    std::unique_ptr<CompoundFilter> masterList_;  // the tiles the tray shows
    std::unique_ptr<CompoundFilter> preList_;     // applied first; holds the crop tile
    CompoundFilter* displayedList_;               // masterList_, or a nested compound inside it
    GrowArray<TrayNode*> nodes;            // node i shows tile i of displayedList_
    std::unique_ptr<UndoStack> undoStack;  // may be null
    GrowString filterName_;
    bool modified_ = false;
    bool previewMode_ = false;             // tiles-off preview: ordinary tiles are left out of the chain
    QLabel* previewOverlay;                // shown while the preview mode is on
    VxScroller* scroller;
    VxPushButton* exitComboButton;         // leaves a nested edit; shown while one is displayed
    QMenu* contextMenu;
    QAction* nestAction;
    QAction* unnestAction;
    float scrollPosition = 0.0f;
    int32_t anchorIndex = -1;              // the node a Shift-click extends the selection from
};
