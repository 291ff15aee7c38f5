#include "tray/TrayWidget.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>

#include <algorithm>

#include "foundation/UndoStack.h"
#include "framework/CompoundFilter.h"
#include "framework/CropMod.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "tray/TileParamsCommand.h"
#include "tray/TrayContentsCommand.h"
#include "tray/TrayNode.h"
#include "widgets/DialogWindow.h"
#include "widgets/VxPushButton.h"
#include "widgets/VxScroller.h"

bool TrayWidget::sharesTypeTag(const ImageMod* a, const ImageMod* b) {
    for (int32_t i = 0; i < a->typeTags.count; ++i) {
        for (int32_t j = 0; j < b->typeTags.count; ++j) {
            if (a->typeTags[i] == b->typeTags[j]) return true;
        }
    }
    return false;
}

namespace {

// Deletes the tiles of list sharing a type tag with tile (pinned ones only
// with replacePinned); returns the index of the first pinned one kept, or -1.
int32_t removeSameType(CompoundFilter* list, const ImageMod* tile, bool replacePinned) {
    int32_t keptPinned = -1;
    if (!list) return keptPinned;
    for (int32_t i = 0; i < list->subMods.count;) {
        ImageMod* mod = list->subMods[i];
        if (mod && mod != tile && TrayWidget::sharesTypeTag(mod, tile)) {
            if (mod->pinned && !replacePinned) {
                if (keptPinned < 0) keptPinned = i;
                ++i;
                continue;
            }
            list->subMods.removeAt(i);
            delete mod;
            continue;
        }
        ++i;
    }
    return keptPinned;
}

bool findPath(const CompoundFilter* list, const ImageMod* target, GrowArray<int32_t>& path) {
    for (int32_t i = 0; i < list->subMods.count; ++i) {
        const ImageMod* mod = list->subMods[i];
        if (!mod) continue;
        path.append(i);
        if (mod == target) return true;
        if (mod->kind() == kCompoundMod) {
            const CompoundFilter* nested = dynamic_cast<const CompoundFilter*>(mod);
            if (nested && findPath(nested, target, path)) return true;
        }
        path.removeAt(path.count - 1);
    }
    return false;
}

// The compound at path inside master, stepping only through compounds; null
// when the path leads elsewhere.
CompoundFilter* compoundAt(CompoundFilter* master, const GrowArray<int32_t>& path) {
    CompoundFilter* list = master;
    for (int32_t step = 0; step < path.count; ++step) {
        if (!list || path[step] < 0 || path[step] >= list->subMods.count) return nullptr;
        ImageMod* mod = list->subMods[path[step]];
        if (!mod || mod->kind() != kCompoundMod) return nullptr;
        list = dynamic_cast<CompoundFilter*>(mod);
    }
    return list;
}

}  // namespace

TrayWidget::TrayWidget(QWidget* parent)
    : QWidget(parent),
      masterList_(std::make_unique<CompoundFilter>(GrowString("Compound Filter"))),
      preList_(std::make_unique<CompoundFilter>(GrowString("Compound Filter"))),
      displayedList_(masterList_.get()),
      undoStack(std::make_unique<UndoStack>()),
      previewOverlay(new QLabel(this)),
      scroller(new VxScroller(this, Qt::Horizontal)),
      exitComboButton(new VxPushButton(this)),
      contextMenu(new QMenu(this)),
      nestAction(contextMenu->addAction(QStringLiteral("Nest Selected Tiles"))),
      unnestAction(contextMenu->addAction(QStringLiteral("Unnest Selected Tile"))) {
    connect(scroller, &VxScroller::scrolled, this, &TrayWidget::scrollerScrolled);
    exitComboButton->setText(QStringLiteral("\u2039"));  // a single left angle: back out
    exitComboButton->setToolTipText("Leave the nested tile.");
    exitComboButton->hide();
    connect(exitComboButton, &QPushButton::clicked, this, &TrayWidget::exitComboButtonPressed);
    contextMenu->setStyleSheet(QStringLiteral(
        "*{font-size:11px;background:transparent;background-image:none;"
        "border-image: url(:/img/floating_menu_bg_plain.png) 8 8 8 8;"
        "border-top: 8px transparent;border-bottom: 8px transparent;"
        "border-right: 8px transparent;border-left: 8px transparent;}"
        "QMenu::item::selected {background-color: #323232;}"
        "QMenu::item::disabled {color: #444444;}"));
    connect(contextMenu, &QMenu::triggered, this, &TrayWidget::menuItemChosen);
    previewOverlay->setText(QStringLiteral("Tiles Off"));
    previewOverlay->setAlignment(Qt::AlignCenter);
    previewOverlay->setStyleSheet(QStringLiteral(
        "background-color: rgba(20, 20, 20, 170);border-image: none;color: #bbbbbb;font-weight: bold;"));
    previewOverlay->hide();
    resize(600, TrayNode::kHeight + 2 * kGap + VxScroller::kThickness);
}

TrayWidget::~TrayWidget() {
    // The nodes point at tiles of the chains: delete them first.
    for (TrayNode* node : nodes) delete node;
    nodes.destroy();
}

bool TrayWidget::isOrdinaryTile(const ImageMod* mod) {
    if (!mod) return false;
    for (int32_t tag : mod->typeTags) {
        if (tag == kTagCrop || tag == kTagOutputSize || tag == kTagBorder) return false;
    }
    return true;
}

GrowArray<ImageMod*> TrayWidget::modChain(bool includePre, bool applyPreviewMode) const {
    GrowArray<ImageMod*> chain;
    if (includePre) {
        for (ImageMod* mod : preList_->subMods) chain.append(mod);
    }
    for (ImageMod* mod : masterList_->subMods) {
        if (applyPreviewMode && previewMode_ && isOrdinaryTile(mod)) continue;
        chain.append(mod);
    }
    return chain;
}

GrowArray<ImageMod*> TrayWidget::preMods() const {
    GrowArray<ImageMod*> mods;
    for (ImageMod* mod : preList_->subMods) mods.append(mod);
    return mods;
}

GrowArray<int32_t> TrayWidget::selectedIndices() const {
    GrowArray<int32_t> indices;
    for (int32_t i = 0; i < nodes.count; ++i) {
        if (!nodes[i]->selected()) continue;
        if (previewMode_ && isOrdinaryTile(nodes[i]->mod())) continue;
        indices.append(i);
    }
    return indices;
}

CompoundFilter* TrayWidget::ownList(const CompoundFilter* list) {
    if (!list) return nullptr;
    if (list == masterList_.get()) return masterList_.get();
    if (list == preList_.get()) return preList_.get();
    if (list == displayedList_) return displayedList_;
    const GrowArray<int32_t> path = modIndexPath(list);
    return path.count > 0 ? compoundAt(masterList_.get(), path) : nullptr;
}

int32_t TrayWidget::addMod(const CompoundFilter* named, const ImageMod* tile, bool replacePinned) {
    CompoundFilter* list = ownList(named);
    if (!list || !tile) return -1;
    int32_t keptPinned = -1;
    bool keptElsewhere = false;
    if (tile->typeTags.count > 0) {
        keptElsewhere = removeSameType(masterList_.get(), tile, replacePinned) >= 0;
        keptElsewhere = removeSameType(preList_.get(), tile, replacePinned) >= 0 || keptElsewhere;
        if (list != masterList_.get() && list != preList_.get()) {
            keptElsewhere = removeSameType(list, tile, replacePinned) >= 0 || keptElsewhere;
        }
        // The pinned survivor's index in list (searched after all removals,
        // which move the later tiles down).
        for (int32_t i = 0; i < list->subMods.count; ++i) {
            ImageMod* mod = list->subMods[i];
            if (mod && mod->pinned && !replacePinned && sharesTypeTag(mod, tile)) {
                keptPinned = i;
                break;
            }
        }
    }
    if (keptPinned >= 0 || keptElsewhere) {
        rebuildNodes();
        return keptPinned;
    }
    ImageMod* copy = duplicateMod(*tile);
    if (!copy) return -1;
    // The copy goes in at the end of its own chain group (a nested copy's
    // inside is put in order too), so every user of the list renders it in
    // the order the view shows.
    list->subMods.append(copy);
    sortModsByChainGroup(list->subMods);
    rebuildNodes();
    return indexOfMod(list, copy);
}

void TrayWidget::deleteTiles(bool keepPinned) {
    GrowArray<ImageMod*>& tiles = masterList_->subMods;
    for (int32_t i = 0; i < tiles.count;) {
        ImageMod* mod = tiles[i];
        if (keepPinned && mod && mod->pinned) {
            ++i;
            continue;
        }
        tiles.removeAt(i);
        delete mod;
    }
    rebuildNodes();
}

GrowArray<int32_t> TrayWidget::removeDisplayedTiles(GrowArray<int32_t> indices) {
    GrowArray<int32_t> removed;
    CompoundFilter* list = displayedList_;
    std::sort(indices.begin(), indices.end());
    for (int32_t i = indices.count - 1; i >= 0; --i) {
        const int32_t index = indices[i];
        if (index < 0 || index >= list->subMods.count) continue;
        if (i + 1 < indices.count && indices[i + 1] == index) continue;  // a repeated index
        delete list->subMods[index];
        list->subMods.removeAt(index);
        removed.append(index);
    }
    indices.destroy();
    if (removed.count > 0) {
        rebuildNodes();
        updatePreviewMode();
    }
    return removed;
}

void TrayWidget::deleteDisplayedTiles() {
    CompoundFilter* shown = displayedList_;
    GrowArray<ImageMod*>& list = shown->subMods;
    bool allPinned = true;
    for (const ImageMod* mod : list)
        if (mod && !mod->pinned) allPinned = false;
    if (list.count > 0) {
        GrowArray<ImageMod*> kept;
        for (ImageMod* mod : list) {
            if (mod && mod->pinned && !allPinned) kept.append(mod);
            else delete mod;
        }
        list = kept;
    } else if (CompoundFilter* parent = parentCompound(shown)) {
        // An emptied nested compound: back to its parent, without it (the
        // nodes are rebuilt below).
        displayedList_ = parent;
        parent->removeMod(shown);
        delete shown;
    }
    rebuildNodes();
    updatePreviewMode();
}

void TrayWidget::clearPreMods() {
    for (ImageMod* mod : preList_->subMods) delete mod;
    preList_->subMods.destroy();
}

CropMod* TrayWidget::cropTileForEditing() {
    for (ImageMod* mod : preList_->subMods)
        if (asCropMod(mod)) return static_cast<CropMod*>(mod);
    CropMod* crop = new CropMod();
    preList_->subMods.append(crop);
    return crop;
}

void TrayWidget::removeNeutralCropTiles() {
    GrowArray<ImageMod*>& pre = preList_->subMods;
    for (int32_t i = pre.count - 1; i >= 0; --i) {
        const CropMod* crop = asCropMod(pre[i]);
        if (!crop || !crop->isNeutral()) continue;
        delete pre[i];
        pre.removeAt(i);
    }
}

CompoundFilter* TrayWidget::parentCompound(const CompoundFilter* compound) {
    GrowArray<int32_t> path = modIndexPath(compound);
    if (path.count == 0) return nullptr;
    path.removeAt(path.count - 1);
    return compoundAt(masterList_.get(), path);
}

GrowArray<int32_t> TrayWidget::modIndexPath(const ImageMod* compound) const {
    GrowArray<int32_t> path;
    if (!compound || compound == masterList_.get()) return path;
    if (!findPath(masterList_.get(), compound, path)) path.destroy();
    return path;
}

void TrayWidget::rebuildNodes() {
    // A nested compound that left the master chain (deleted, or the chains
    // were swapped) must not be shown: its tiles may be gone.
    if (displayedList_ != masterList_.get() && modIndexPath(displayedList_).count == 0) {
        displayedList_ = masterList_.get();
    }
    discardNodes();
    for (ImageMod* mod : displayedList_->subMods) {
        TrayNode* node = new TrayNode(this, mod);
        connect(node, &TrayNode::nodePressed, this, &TrayWidget::nodePressed);
        connect(node, &TrayNode::nodeRightPressed, this, &TrayWidget::nodeRightPressed);
        connect(node, &TrayNode::nodeDoubleClicked, this, &TrayWidget::nodeDoubleClicked);
        connect(node, &TrayNode::enableButtonPressed, this, &TrayWidget::nodeEnableButtonPressed);
        nodes.append(node);
        node->show();
    }
    layoutNodes();
}

void TrayWidget::updatePreviewMode() {
    bool anyOrdinary = false;
    for (ImageMod* mod : displayedList_->subMods) anyOrdinary = anyOrdinary || isOrdinaryTile(mod);
    if (!anyOrdinary) previewMode_ = false;
    previewOverlay->setVisible(previewMode_ && anyOrdinary);
    if (previewOverlay->isVisible()) previewOverlay->raise();
}

void TrayWidget::showRefusal(const QString& title, const QString& text) {
    DialogWindow dialog(title, text, QStringLiteral("OK"), QString(), this, QString(), nullptr);
    dialog.execCentered();
}

void TrayWidget::nestSelectedTiles() {
    const GrowArray<int32_t> selected = selectedIndices();
    if (selected.count == 0) {
        showRefusal(QStringLiteral("Can't Nest Tiles"), QStringLiteral("You must select one or more tiles to nest."));
        return;
    }
    GrowString name("Nested Tiles");
    DialogWindow dialog(QStringLiteral("Nest Tiles"), QStringLiteral("Name the new nested tile."),
                        QStringLiteral("OK"), QStringLiteral("Cancel"), this, QStringLiteral("Name:"), &name);
    if (dialog.execCentered() != 1) return;
    if (name.isEmpty()) name = "Nested Tiles";
    // The chain may have changed while the dialog was open: check again.
    GrowArray<int32_t> indices;
    for (int32_t index : selected) {
        if (index >= 0 && index < displayedList_->subMods.count && index < nodes.count && nodes[index]->selected()) {
            indices.append(index);
        }
    }
    if (indices.count == 0) return;
    auto* nested = new CompoundFilter(name);
    for (int32_t index : indices) nested->subMods.append(displayedList_->subMods[index]);
    for (int32_t k = indices.count - 1; k >= 0; --k) displayedList_->subMods.removeAt(indices[k]);
    displayedList_->subMods.insertAt(indices[0], nested);
    // A nested tile stands among the central tiles, whatever it holds.
    sortModsByChainGroup(displayedList_->subMods);
    rebuildNodes();
    selectOnlyNode(indexOfMod(displayedList_, nested));
    updatePreviewMode();
}

void TrayWidget::unnestSelectedTile() {
    const GrowArray<int32_t> selected = selectedIndices();
    CompoundFilter* nested = nullptr;
    int32_t index = -1;
    if (selected.count == 1 && selected[0] < displayedList_->subMods.count) {
        index = selected[0];
        ImageMod* mod = displayedList_->subMods[index];
        if (mod && mod->kind() == kCompoundMod) nested = dynamic_cast<CompoundFilter*>(mod);
    }
    if (!nested) {
        showRefusal(QStringLiteral("Can't Unnest Tile"), QStringLiteral("You must select one nested tile to unnest."));
        return;
    }
    displayedList_->subMods.removeAt(index);
    const GrowArray<ImageMod*> moved = nested->subMods;
    for (int32_t k = 0; k < moved.count; ++k) displayedList_->subMods.insertAt(index + k, moved[k]);
    nested->subMods.destroy();  // the tiles moved out; the compound deletes none of them
    delete nested;
    // Trailing tiles that were nested go back behind the central ones.
    sortModsByChainGroup(displayedList_->subMods);
    rebuildNodes();
    for (ImageMod* mod : moved) setNodeSelected(indexOfMod(displayedList_, mod), true);
    updatePreviewMode();
}

void TrayWidget::swapChains(std::unique_ptr<CompoundFilter>& master, std::unique_ptr<CompoundFilter>& pre) {
    const GrowArray<int32_t> shownPath = modIndexPath(displayedList_);
    // The nodes point at the tiles leaving the tray: remove them first.
    discardNodes();
    std::swap(masterList_, master);
    std::swap(preList_, pre);
    // A snapshot holds the chains in their order already; one made any
    // other way is put in order here.
    sortModsByChainGroup(masterList_->subMods);
    sortModsByChainGroup(preList_->subMods);
    CompoundFilter* shown = shownPath.count > 0 ? compoundAt(masterList_.get(), shownPath) : nullptr;
    displayedList_ = shown ? shown : masterList_.get();
    rebuildNodes();
    updatePreviewMode();
}

void TrayWidget::showCompound(CompoundFilter* compound) {
    if (!compound || (compound != masterList_.get() && modIndexPath(compound).count == 0)) {
        compound = masterList_.get();
    }
    displayedList_ = compound;
    rebuildNodes();
    updatePreviewMode();
}

bool TrayWidget::selectOnlyNode(int32_t index) {
    if (index < 0 || index >= nodes.count) return false;
    for (int32_t i = 0; i < nodes.count; ++i) setNodeSelected(i, i == index);
    anchorIndex = index;
    return true;
}

bool TrayWidget::deselectAll() {
    bool changed = false;
    for (TrayNode* node : nodes) {
        if (node->selected()) {
            node->setSelected(false);
            changed = true;
        }
    }
    return changed;
}

void TrayWidget::setNodeSelected(int32_t index, bool selected) {
    if (index < 0 || index >= nodes.count || nodes[index]->selected() == selected) return;
    nodes[index]->setSelected(selected);
}

void TrayWidget::updateNodes() {
    for (TrayNode* node : nodes) node->updateEnableButton();
}

int32_t TrayWidget::enableShownTile(const ImageMod* tile) {
    const int32_t index = indexOfMod(displayedList_, tile);
    if (index >= 0 && index < nodes.count && nodes[index]->mod() && !nodes[index]->mod()->enabled) {
        nodes[index]->mod()->enabled = 1;
        nodes[index]->updateEnableButton();
    }
    return index;
}

void TrayWidget::discardNodes() {
    // Deleted once control is back in the event loop: the press, click or
    // double click that led here may still be running in one of them. They
    // are hidden and cut off at once, and never touch their tile again.
    for (TrayNode* node : nodes) {
        node->hide();
        node->disconnect(this);
        disconnect(node, nullptr, this, nullptr);
        node->forgetTile();
        node->deleteLater();
    }
    nodes.destroy();
    anchorIndex = -1;
}

int32_t TrayWidget::indexOfMod(const CompoundFilter* list, const ImageMod* mod) {
    for (int32_t i = 0; list && i < list->subMods.count; ++i)
        if (list->subMods[i] == mod) return i;
    return -1;
}

int32_t TrayWidget::indexOfNode(const TrayNode* node) const {
    for (int32_t i = 0; i < nodes.count; ++i) {
        if (nodes[i] == node) return i;
    }
    return -1;
}

void TrayWidget::layoutNodes() {
    const bool nested = displayedList_ != masterList_.get();
    exitComboButton->setVisible(nested);
    const int left = kGap + (nested ? kExitButtonWidth + kGap : 0);
    const int top = kGap;
    exitComboButton->setGeometry(kGap, top, kExitButtonWidth, TrayNode::kHeight);
    const int step = TrayNode::kWidth + kGap;
    const int contentWidth = left + nodes.count * step;
    scroller->setGeometry(0, height() - VxScroller::kThickness, width(), VxScroller::kThickness);
    scroller->setLengths(static_cast<float>(width()), static_cast<float>(contentWidth));
    scrollPosition = scroller->position();
    for (int32_t i = 0; i < nodes.count; ++i) {
        nodes[i]->move(left + i * step - static_cast<int>(scrollPosition), top);
    }
    exitComboButton->raise();
    previewOverlay->setGeometry(rect());
    if (previewOverlay->isVisible()) previewOverlay->raise();
    update();
}

void TrayWidget::recordContents() {
    if (!undoStack) return;
    modified_ = true;
    undoStack->push(new TrayContentsCommand(this));
}

void TrayWidget::recordTileParams() {
    if (!undoStack) return;
    modified_ = true;
    undoStack->push(new TileParamsCommand(this));
}

bool TrayWidget::undo() { return undoStack && undoStack->undo(); }

bool TrayWidget::redo() { return undoStack && undoStack->redo(); }

void TrayWidget::setPreviewMode(bool on) {
    previewMode_ = on;
    updatePreviewMode();
}

void TrayWidget::scrollerScrolled(float position) {
    scrollPosition = position;
    layoutNodes();
}

void TrayWidget::exitComboButtonPressed() {
    if (displayedList_ == masterList_.get()) return;
    CompoundFilter* parent = parentCompound(displayedList_);
    showCompound(parent ? parent : masterList_.get());
    emit selectionChanged();
}

void TrayWidget::menuItemChosen(QAction* action) {
    if (action != nestAction && action != unnestAction) return;
    // One undo restores the tiles as they were, also when the operation
    // is refused or cancelled.
    recordContents();
    if (action == nestAction) {
        nestSelectedTiles();
    } else {
        unnestSelectedTile();
    }
    emit trayAdjusted();
    emit selectionChanged();
}

void TrayWidget::nodePressed(TrayNode* node, Qt::KeyboardModifiers modifiers) {
    const int32_t index = indexOfNode(node);
    if (index < 0) return;
    if (modifiers & (Qt::ControlModifier | Qt::MetaModifier)) {
        setNodeSelected(index, !node->selected());
        anchorIndex = index;
    } else if ((modifiers & Qt::ShiftModifier) && anchorIndex >= 0 && anchorIndex < nodes.count) {
        const int32_t low = std::min(anchorIndex, index);
        const int32_t high = std::max(anchorIndex, index);
        for (int32_t i = 0; i < nodes.count; ++i) setNodeSelected(i, i >= low && i <= high);
    } else {
        selectOnlyNode(index);
    }
    emit selectionChanged();
}

void TrayWidget::nodeRightPressed(TrayNode* node) {
    const int32_t index = indexOfNode(node);
    if (index < 0 || node->selected()) return;
    selectOnlyNode(index);
    emit selectionChanged();
}

void TrayWidget::nodeDoubleClicked(TrayNode* node) {
    if (!node || !node->mod() || node->mod()->kind() != kCompoundMod) return;
    CompoundFilter* nested = dynamic_cast<CompoundFilter*>(node->mod());
    if (!nested) return;
    showCompound(nested);
    emit selectionChanged();
}

void TrayWidget::nodeEnableButtonPressed(TrayNode* node) {
    if (indexOfNode(node) < 0 || !node->mod() || !node->mod()->canDisable()) return;
    recordContents();
    node->mod()->enabled = node->mod()->enabled ? 0 : 1;
    node->updateEnableButton();
    emit trayAdjusted();
}

void TrayWidget::resizeEvent(QResizeEvent*) { layoutNodes(); }

void TrayWidget::wheelEvent(QWheelEvent* event) { scroller->wheelScroll(event); }

void TrayWidget::mousePressEvent(QMouseEvent* event) {
    // A press on the empty tray clears the selection.
    if (event->button() == Qt::LeftButton && deselectAll()) emit selectionChanged();
}

void TrayWidget::contextMenuEvent(QContextMenuEvent* event) {
    const GrowArray<int32_t> selected = selectedIndices();
    nestAction->setEnabled(selected.count > 0);
    bool oneNested = false;
    if (selected.count == 1 && selected[0] < displayedList_->subMods.count) {
        const ImageMod* mod = displayedList_->subMods[selected[0]];
        oneNested = mod && mod->kind() == kCompoundMod;
    }
    unnestAction->setEnabled(oneNested);
    contextMenu->popup(event->globalPos());
}

void TrayWidget::paintEvent(QPaintEvent*) {
    if (nodes.count > 0) return;
    // An empty tray says what it is for.
    QPainter painter(this);
    painter.setPen(QColor(120, 120, 120));
    painter.drawText(rect().adjusted(0, 0, 0, -VxScroller::kThickness), Qt::AlignCenter,
                     displayedList_ == masterList_.get() ? QStringLiteral("Add tiles from the tool panel")
                                                       : QStringLiteral("This nested tile is empty"));
}
