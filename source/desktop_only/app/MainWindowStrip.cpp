// MainWindow: the window's side of the control strip. The strip
// (ControlStrip) owns its controls and their state; the window makes it,
// answers its signals with what belongs to the window (the undo record of an
// edit, the tray, an open tool, the view) and hands it what it needs of the
// window's own state. The strip's operations keep their names here as thin
// calls, and the Remix step of every "Variation" value lives here too.

#include <QAction>
#include <QPoint>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"
#include "framework/ModVar.h"

void MainWindow::buildControlStrip() {
    d->controlStrip = new ControlStrip(this, d->mediaArea, d->trayArea);
    connect(d->controlStrip, &ControlStrip::editAboutToStart, this, &MainWindow::controlAboutToBeAdjusted);
    connect(d->controlStrip, &ControlStrip::controlAboutToBeEdited, this, &MainWindow::switchOnEditedTile);
    connect(d->controlStrip, &ControlStrip::controlEdited, this, &MainWindow::applyControlEdit);
    connect(d->controlStrip, &ControlStrip::choiceHovered, this, &MainWindow::controlHovered);
    connect(d->controlStrip, &ControlStrip::curveMenuRequested, this, &MainWindow::controlRightClicked);
    connect(d->controlStrip, &ControlStrip::heightChanged, this, &MainWindow::controlHeightChanged);
    connect(d->controlStrip, &ControlStrip::curveActionChosen, this, &MainWindow::menuTriggered);
    connect(d->controlStrip, &ControlStrip::slideTimerFired, this, &MainWindow::nodeControlAnimationTimerFired);
}

void MainWindow::buildControls(const GrowArray<ModVar*>& vars, ImageMod* tile, bool onTop) {
    d->controlStrip->buildControls(vars, tile, onTop, d->activeTool != nullptr);
}

void MainWindow::layoutControls(bool resize) { d->controlStrip->layoutControls(resize, d->activeTool != nullptr); }

void MainWindow::refreshControls() { d->controlStrip->refreshControls(); }

void MainWindow::controlAdjusted(QWidget* control) { d->controlStrip->controlAdjusted(control); }

// Adjusting a disabled tile of the tray switches it on.
void MainWindow::switchOnEditedTile(const ControlEntry& entry) {
    DocumentTab* tab = current();
    TrayWidget* tray = tab ? tab->tray : nullptr;
    if (entry.tile && tray && tray->displayedList()) tray->enableShownTile(entry.tile);
}

// The edit written into its parameter reaches an open tool and the tile,
// marks the tray modified and is rendered.
void MainWindow::applyControlEdit(const ControlEntry& entry) {
    if (d->activeTool) d->activeTool->controlAdjusted(entry.var);
    if (entry.tile) {
        entry.tile->varChanged(entry.index);
        DocumentTab* tab = current();
        if (tab && tab->tray) tab->tray->markModified();
    }
    refreshView();
}

void MainWindow::controlAboutToBeAdjusted(QWidget*) {
    DocumentTab* tab = current();
    if (!tab) return;
    tab->tray->recordTileParams();
    updateTitle();
}

// The live preview of a list entry under the pointer: no undo record (a
// real choice makes one through the chooser's itemAboutToChange).
void MainWindow::controlHovered(QWidget* control) {
    const ControlEntry* found = d->controlStrip->findControlEntry(control);
    DocumentTab* tab = current();
    if (!found || !tab || !found->var || !found->tile) return;
    const ControlEntry entry = *found;
    TrayWidget* tray = tab->tray;
    if (tray->enableShownTile(entry.tile) < 0) return;
    d->controlStrip->writeHoveredChoice(entry);
    entry.tile->varChanged(entry.index);
    tray->markModified();
    refreshView();
    d->controlStrip->refreshControls();
}

void MainWindow::controlRightClicked(QWidget* control) { d->controlStrip->controlRightClicked(control); }

void MainWindow::controlHeightChanged(QWidget*) { d->controlStrip->controlHeightChanged(); }

void MainWindow::nodeControlAnimationTimerFired() {
    d->controlStrip->nodeControlAnimationTimerFired(d->activeTool != nullptr);
}

void MainWindow::slideControlStripOnHover(const QPoint& at, const QPoint& before) {
    if (!d->toolPanel) return;
    d->controlStrip->slideOnHover(at, before, d->toolPanel->x(), d->autohideControls, d->activeTool != nullptr);
}

void MainWindow::stepRemixValues(float delta) {
    DocumentTab* tab = current();
    if (!tab || !tab->tray->displayedList()) return;
    TrayWidget* tray = tab->tray;
    GrowArray<ImageMod*> tiles = tray->displayedList()->subMods;
    if (tiles.count == 0) return;
    bool found = false;
    for (int32_t i = tiles.count - 1; i >= 0; --i) {
        if (!tiles[i]) continue;
        const GrowArray<ModVar*> variations = tiles[i]->variationVars();
        if (variations.count == 0) continue;
        if (!found) {
            found = true;
            // Remix changes every tile's Variation: the whole tray is recorded.
            tray->recordContents();
            updateTitle();
        }
        for (ModVar* var : variations) {
            const FloatValue* value = var->floatValue();
            var->setFloat((value ? value->value : 0.0f) + delta);
        }
    }
    if (!found) return;
    tray->setPreviewMode(false);
    refreshView();
    refreshControls();
}
