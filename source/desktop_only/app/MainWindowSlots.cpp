// MainWindow: the slots of the timers, the views, the trays, the preview
// chooser and the tool panel: adding and deleting tiles, hover previews in
// the tooltip box, the interface toggles, the Pixel Inspector's samples,
// the histogram toggle and the video hooks. The control strip's slots are
// in MainWindowStrip.cpp.

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxHistogramWidget.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/PixelReadoutWindow.h"
#include "desktop_only/widgets/VxPanelItemListButton.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxShuttleControl.h"
#include "desktop_only/widgets/VxTabBar.h"
#include "desktop_only/widgets/VxTabButton.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "desktop_only/widgets/VxToolTipBox.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/ModVar.h"

namespace {

bool hasTag(const ImageMod* mod, int32_t tag) {
    for (int32_t t : mod->typeTags)
        if (t == tag) return true;
    return false;
}

// The tiles the hover preview renders, in chain-group order: the tray's
// chain without the pre list (ordinary tiles left out in the tiles-off
// preview mode) and without crop and output-sizing tiles (the base picture
// is drawn through those), only the pinned ones unless append, then the
// hovered tile. A tile sharing a type tag with the hovered one makes way
// for it, as adding the hovered tile would replace it.
GrowArray<ImageMod*> hoverList(const TrayWidget* tray, ImageMod* hovered, bool append) {
    GrowArray<ImageMod*> list;
    GrowArray<ImageMod*> chain = tray->modChain(false, true);
    for (ImageMod* tile : chain) {
        if (!tile || hasTag(tile, kTagOutputSize) || hasTag(tile, kTagCrop)) continue;
        if (TrayWidget::sharesTypeTag(tile, hovered)) continue;
        if (append || tile->pinned) list.append(tile);
    }
    list.append(hovered);
    return orderModsByChainGroup(list);
}

// Clones of the geometric tiles the hover preview's base is drawn through:
// the view's crop and output-sizing tiles, unless the hovered tile takes
// their place, and the tagged tiles of the list (its border, a hovered
// sizing tile) and its nested tiles (a border inside one frames the output
// too), so that the base is framed exactly as the list paints it.
GrowArray<ImageMod*> hoverGeometry(const VxMediaWidget* view, const GrowArray<ImageMod*>& list,
                                   const ImageMod* hovered) {
    GrowArray<ImageMod*> clones = view->copyChain();
    for (int32_t i = clones.count - 1; i >= 0; --i) {
        ImageMod* mod = clones[i];
        if (mod->typeTags.count > 0 && !hasTag(mod, kTagBorder) && !TrayWidget::sharesTypeTag(mod, hovered)) continue;
        delete mod;
        clones.removeAt(i);
    }
    for (const ImageMod* mod : list)
        if (mod->typeTags.count > 0 || mod->kind() == kCompoundMod)
            if (ImageMod* copy = duplicateMod(*mod)) clones.append(copy);
    return clones;
}

}  // namespace

// ---- Tray changes ----

void MainWindow::traySelectionChanged() { showSelectedTileControls(); }

// After the current tray's tiles changed (by the tray itself or by the
// window): the view's render cache starts over, and the control strip, the
// view and the title follow the new chain.
void MainWindow::trayContentChanged() {
    DocumentTab* tab = current();
    if (!tab) return;
    tab->view->setRenderCacheReset();
    showSelectedTileControls();
    refreshView();
    updateTitle();
}

void MainWindow::previewButtonPressed() {
    DocumentTab* tab = current();
    if (!tab) return;
    tab->tray->setPreviewMode(!tab->tray->previewMode());
    showSelectedTileControls();
    refreshView();
}

void MainWindow::deleteNodesButtonPressed() {
    DocumentTab* tab = current();
    if (!tab) return;
    tab->tray->recordContents();
    tab->tray->deleteDisplayedTiles();
    trayContentChanged();
}

// ---- Adding tiles ----

namespace {
int32_t presetPosition(VxToolPanel* panel, const ImageMod* mod) {
    const GrowArray<ImageMod*> presets = panel->presetMods();
    for (int32_t i = 0; i < presets.count; ++i)
        if (presets[i] == mod) return i;
    return -1;
}
}  // namespace

void MainWindow::modButtonClicked(VxPanelItemListButton* clicker, bool append) {
    if (!clicker || !clicker->mod()) return;
    const bool shift = QApplication::keyboardModifiers() & Qt::ShiftModifier;
    addModToTray(clicker->mod(), append || shift, true, shift);
    const int32_t position = presetPosition(d->toolPanel, clicker->mod());
    if (position >= 0) d->presetIndex = position;
}

void MainWindow::filterPreviewChosen(ImageMod* mod, bool append) {
    if (!mod) return;
    addModToTray(mod, append, true, false);
    const int32_t position = presetPosition(d->toolPanel, mod);
    if (position >= 0) d->presetIndex = position;
}

void MainWindow::previewSectionEnabled(int tabID, GrowString sectionName, bool enabled) {
    d->toolPanel->setSectionCollapsed(tabID, sectionName, !enabled);
}

// ---- Saved styles ----

void MainWindow::deleteFavoriteClicked(VxPanelItemListButton* clicker) {
    if (!clicker || !clicker->mod()) return;
    const QString text = "Are you sure you want to permanently delete the style " +
                         QString::fromUtf8(clicker->mod()->displayName.c_str()) + "? This action cannot be undone.";
    const int answer = showMessageDialog(this, "Delete Style", text, "Delete", "Cancel", QString());
    std::printf("\n finished popping up dialog");
    std::fflush(stdout);
    if (answer == 0) return;
    std::printf("\n chose yes in popup dialog");
    std::fflush(stdout);
    // The tooltip box may show this tile: the hover ends first.
    imageModHovered(nullptr, false);
    const GrowString path = clicker->mod()->filePath();
    if (!path.isEmpty()) {
        // Only a file inside the presets folder is ever deleted.
        const QString presets =
            QDir(QFile::decodeName(applicationSupportFolder().c_str()) + "Presets").canonicalPath();
        const QFileInfo file(QFile::decodeName(path.c_str()));
        const QString canonical = file.canonicalFilePath();
        if (!presets.isEmpty() && !canonical.isEmpty() && canonical.startsWith(presets + "/"))
            QFile::remove(canonical);
    }
    d->toolPanel->deleteItem(clicker);
}

// ---- Hover previews ----

bool MainWindow::updatePreviewSource(int32_t width, int32_t height, GrowArray<ImageMod*>& tiles, bool* redrawn) {
    if (redrawn) *redrawn = false;
    DocumentTab* tab = current();
    if (!tab) {
        freeTiles(tiles);
        return false;
    }
    VxMediaWidget* view = tab->view;
    // The view's flag is taken whatever else is stale: it is clear afterwards.
    const bool viewStale = view->takePreviewSourceStale();
    const bool stale = viewStale || d->previewSourceView != view || d->previewSourceWidth != width ||
                       d->previewSourceHeight != height || !sameTiles(tiles, d->previewSourceTiles) ||
                       !d->previewSource.data;
    if (!stale) {
        freeTiles(tiles);
        return true;
    }
    if (redrawn) *redrawn = true;
    float scale = 1.0f;
    const bool drawn = view->renderScaledSource(&d->previewSource, width, height, tiles, &scale);
    freeTiles(d->previewSourceTiles);
    d->previewSourceTiles = std::move(tiles);
    d->previewSourceView = drawn ? view : nullptr;
    d->previewSourceWidth = width;
    d->previewSourceHeight = height;
    d->previewSourceScale = scale;
    if (!drawn) d->previewSource.release();
    return drawn;
}

void MainWindow::forgetPreviewSource() {
    freeTiles(d->previewSourceTiles);
    d->previewSourceView = nullptr;
}

void MainWindow::imageModHovered(ImageMod* mod, bool append) {
    if (!mod) {
        d->toolTipBox->lower();
        d->toolTipBox->hide();
        refreshView();
        return;
    }
    DocumentTab* tab = current();
    bool filled = false;
    if (tab && mod->hasHoverPreview()) {
        const float ratio = screenPixelRatio();
        const int32_t w = saturatingInt(static_cast<double>(d->toolTipBox->previewWidth) * ratio);
        const int32_t h = saturatingInt(static_cast<double>(d->toolTipBox->previewHeight) * ratio);
        // The hovered tile as the tray would hold it: a copy with its own
        // state, a nested one's inside in chain-group order. The box shows
        // it so first; a tile with preview tracks then loops its effect by
        // sweeping them over the box's own clone (the panel's tile is never
        // touched).
        std::unique_ptr<ImageMod> hovered(duplicateMod(*mod));
        if (hovered && hovered->kind() == kCompoundMod)
            if (CompoundFilter* nested = dynamic_cast<CompoundFilter*>(hovered.get()))
                sortModsByChainGroup(nested->subMods);
        if (hovered) {
            const GrowArray<ImageMod*> list = hoverList(tab->tray, hovered.get(), append);
            GrowArray<ImageMod*> geometry = hoverGeometry(tab->view, list, hovered.get());
            bool redrawn = false;
            const bool upToDate = updatePreviewSource(w, h, geometry, &redrawn);
            std::printf("preview thumb is %i by %i\n", d->previewSource.width, d->previewSource.height);
            std::fflush(stdout);
            if (upToDate && d->previewSource.width > 0 && d->previewSource.height > 0) {
                // A new base picture: the box's render cache holds the old one.
                if (redrawn || d->toolTipBox->previewSource != &d->previewSource)
                    d->toolTipBox->setPreviewSource(&d->previewSource, d->previewSourceScale);
                d->toolTipBox->showModInfo(mod->displayName, mod->description, &list,
                                           hovered->hasAnimTracks() ? hovered.get() : nullptr);
                filled = true;
            }
        }
    }
    if (!filled) d->toolTipBox->showModInfo(mod->displayName, mod->description, nullptr, nullptr);
    d->toolTipBox->relayout();
    d->toolTipBox->raise();
    d->toolTipBox->move(d->toolPanel->x() - d->toolTipBox->width(), 0);
    d->toolTipBox->show();
}

// ---- Interface visibility ----

void MainWindow::hidePanelButtonPressed() {
    d->toolPanelShown = !d->toolPanelShown;
    layoutWindow();
    layoutControls(true);
}

void MainWindow::hideTrayButtonPressed() {
    if (DocumentTab* tab = current()) tab->tray->deselectAll();
    d->trayShown = !d->trayShown;
    layoutWindow();
    showSelectedTileControls();
}

void MainWindow::toggleInterfaceVisibility() {
    const bool v = !(d->trayShown || d->toolPanelShown);
    d->trayShown = v;
    d->toolPanelShown = v;
    layoutWindow();
    layoutControls(true);
}

void MainWindow::cycleInterfaceVisibility() {
    const bool panel = d->toolPanel->isVisibleTo(this);
    const bool tray = d->trayArea->isVisibleTo(this);
    if (panel && tray) {
        d->trayShown = true;
        d->toolPanelShown = false;
    } else if (!panel && tray) {
        d->trayShown = false;
        d->toolPanelShown = false;
    } else if (!panel && !tray) {
        d->trayShown = false;
        d->toolPanelShown = true;
    } else {
        d->trayShown = true;
        d->toolPanelShown = true;
    }
    layoutWindow();
    layoutControls(true);
}

// ---- Views ----

void MainWindow::addPixelSample(const PixelSample& sample) {
    d->pixelSamples.insertAt(0, sample);
    if (d->pixelSamples.count > 3) d->pixelSamples.count = 3;
}

void MainWindow::onEmptyClick() {
    if (d->activeTool) return;
    DocumentTab* tab = current();
    if (!tab) return;
    if (d->splitViewMode != 0 && sender() && sender() != tab->view) {
        for (const DocumentTab& other : d->documentTabs) {
            if (other.view != sender()) continue;
            for (VxTabButton* button : d->tabBar->tabButtons) {
                const bool chosen = button->tabID() == other.tabID;
                button->setActive(chosen);
            }
            documentTabChosen(other.tabID);
            return;
        }
        return;
    }
    if (d->controlStrip->controlCount() > 0 && d->controlStrip->slideOffset() <= 0.0f) {
        tab->tray->deselectAll();
        showSelectedTileControls();
        return;
    }
    const QPoint at = mapFromGlobal(QCursor::pos());
    PixelHit hit;
    int32_t tabID = -1;
    hitTestViews(at.x(), at.y(), &hit, &tabID, nullptr, nullptr);
    if (!hit.hit) return;
    PixelSample sample;
    sample.x = hit.x;
    sample.y = hit.y;
    sample.tabID = tabID;
    addPixelSample(sample);
    displayFinishedUpdating();
}

void MainWindow::onImageRepositioned() {
    DocumentTab* tab = current();
    if (!d->activeTool || !tab || sender() != tab->view) return;
    d->activeTool->setPhotoSize(tab->view->sourceWidth, tab->view->sourceHeight);
    d->activeTool->setImageRect(tab->view->imageRect);
}

void MainWindow::toggleHistogramView(VxHistogramWidget::HistogramWidgetGraph graphType) {
    DocumentTab* tab = current();
    if (!tab || !tab->view->histogramWindow) return;
    VxHistogramWindow* window = tab->view->histogramWindow;
    VxHistogramWidget* widget = window->histogram;
    if (window->isVisible() && widget && widget->graph() == graphType) {
        window->hide();
    } else {
        if (widget) widget->setGraph(graphType);
        window->show();
    }
    tab->view->requestDisplayPass();
}

void MainWindow::displayFinishedUpdating() {
    if (!d->pixelInspectorWindow || !d->pixelInspectorWindow->isVisible()) return;
    GrowArray<PixelReading> readings;
    for (int32_t i = 0; i < d->pixelSamples.count;) {
        const PixelSample sample = d->pixelSamples[i];
        DocumentTab* owner = nullptr;
        int32_t ownerIndex = -1;
        for (int32_t t = 0; t < d->documentTabs.count; ++t)
            if (d->documentTabs[t].tabID == sample.tabID) {
                owner = &d->documentTabs[t];
                ownerIndex = t;
            }
        PixelReading reading;
        const bool valid = owner && (ownerIndex == d->currentTab || d->splitViewMode != 0) &&
                           owner->view->sampleAtImagePoint(sample.x, sample.y, reading.values);
        if (!valid) {
            d->pixelSamples.removeAt(i);
            continue;
        }
        reading.x = sample.x;
        reading.y = sample.y;
        readings.append(reading);
        ++i;
    }
    if (!d->pixelSwatch) return;
    d->pixelSwatch->setReadings(readings);
}

// ---- Video hooks: no video source exists in this build ----

void MainWindow::shuttleControlAdjusted(QWidget*) {
    DocumentTab* tab = current();
    if (!tab) return;
    VxShuttleControl* shuttle = tab->shuttle;
    VideoLoaderSaverTime* times = tab->videoTimes;
    const double duration = static_cast<double>(times[0].value);
    const double durationScale = static_cast<double>(times[0].timescale);
    if (tab->view->hasVideoSource() && durationScale != 0.0 && duration > 0.0) {
        if (shuttle->inMarker() > 0.0f && times[1].timescale != 0)
            times[1].value = saturatingInt(shuttle->inMarker() * duration * (times[1].timescale / durationScale));
        if (shuttle->outMarker() < 1.0f && times[2].timescale != 0)
            times[2].value = saturatingInt(shuttle->outMarker() * duration * (times[2].timescale / durationScale));
        refreshView();
    }
}

void MainWindow::videoShuttleUpdateRequest(VideoLoaderSaverTime time) {
    DocumentTab* tab = current();
    if (!tab || !tab->view->hasVideoSource()) return;
    VxShuttleControl* shuttle = tab->shuttle;
    VideoLoaderSaverTime* times = tab->videoTimes;
    if (shuttle->markerMode() == 1) times[1] = time;
    else if (shuttle->markerMode() == 2) times[2] = time;
    auto seconds = [](const VideoLoaderSaverTime& t) {
        return t.timescale != 0 ? static_cast<double>(t.value) / t.timescale : 0.0;
    };
    if (seconds(times[1]) > seconds(times[2])) std::swap(times[1], times[2]);
    const double length = times[0].timescale != 0
                              ? static_cast<double>(times[0].value) * time.timescale / times[0].timescale
                              : 0.0;
    if (length == 0.0 || !std::isfinite(length)) return;
    shuttle->setPosition(false, static_cast<float>(static_cast<double>(time.value) / length));
    // The zoomed range keeps its width with its middle at the position; the
    // marker range moves by the same fraction of its own width.
    shuttle->followPosition();
    shuttle->updateDisplay(true);
}

// ---- The rest ----

void MainWindow::viewportButtonPressed() {}

void MainWindow::startupButtonPressed() {
    if (sender() && sender() == d->startLoadButton) loadPhotoPrompt();
}

