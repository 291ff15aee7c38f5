// MainWindow: bringing the window in line after the current document
// changed: the view's chain, the control strip, adding tiles, the title.

#include <QFile>
#include <QLabel>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxPanelItemBigButton.h"
#include "desktop_only/widgets/VxTabBar.h"
#include "desktop_only/widgets/VxTabButton.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"

void MainWindow::refreshView() {
    DocumentTab* tab = current();
    if (!tab) return;
    GrowArray<ImageMod*> chain = tab->tray->modChain(true, true);
    if (d->activeTool) d->activeTool->setModList(chain);
    tab->view->displayChain(chain);
    if (d->activeTool) d->activeTool->restoreMods(chain);
}

void MainWindow::showSelectedTileControls() {
    DocumentTab* tab = current();
    if (!tab) return;
    const GrowArray<int32_t> selected = tab->tray->selectedIndices();
    const CompoundFilter* shown = tab->tray->displayedList();
    if (selected.count == 1 && shown && selected[0] >= 0 && selected[0] < shown->subMods.count) {
        ImageMod* tile = shown->subMods[selected[0]];
        buildControls(tile->vars, tile, false);
    } else {
        buildControls(GrowArray<ModVar*>(), nullptr, false);
    }
}

void MainWindow::addModToTray(ImageMod* mod, bool append, bool select, bool asOneTile) {
    DocumentTab* tab = current();
    if (!tab || !mod) return;
    TrayWidget* tray = tab->tray;
    tray->recordContents();
    tray->deselectAll();
    const int32_t kind = mod->kind();
    bool cleared = false;
    if ((kind == kCameraMod || kind == kCompoundMod || kind == kSelectorMod) && !append) {
        tray->deleteTiles(true);
        cleared = true;
    }
    if (kind == kCompoundMod && !asOneTile) {
        if (cleared) {
            tray->setFilterName(mod->displayName);
            tray->clearModified();
        }
        const CompoundFilter* filter = static_cast<const CompoundFilter*>(mod);
        for (int32_t i = 0; i < filter->subMods.count; ++i)
            tray->addMod(tray->displayedList(), filter->subMods[i], false);
    } else {
        const int32_t index = tray->addMod(tray->displayedList(), mod, !cleared);
        // No node is selected here (they were deselected above, and adding
        // made new ones): selecting this one selects exactly it.
        if (select) tray->setNodeSelected(index, true);
    }
    trayContentChanged();
}

void MainWindow::updateTitle() {
    DocumentTab* tab = current();
    if (!tab) return;
    // The name is a path in the file system's encoding.
    QString title("Pellucine | RAW");
    if (!tab->name.isEmpty()) title += " - " + QFile::decodeName(fileNamePart(tab->name).c_str());
    setWindowTitle(title);

    if (d->cropPanelButton) {
        const GrowArray<ImageMod*> pre = tab->tray->preMods();
        d->cropPanelButton->setText(GrowString(findModByTag(pre, kTagCrop) ? "Crop/Straighten*" : "Crop/Straighten"));
    }
    if (d->filterNameLabel) {
        GrowString text = tab->tray->filterName();
        if (!text.isEmpty() && tab->tray->modified()) text.append("*");
        d->filterNameLabel->setText(QString::fromUtf8(text.c_str()));
        d->filterNameLabel->adjustSize();
        if (d->processingInfoLabel) {
            const int right = d->processingInfoLabel->geometry().right();
            const int left = d->filterNameLabel->geometry().right() + 1;
            d->processingInfoLabel->setGeometry(left, d->processingInfoLabel->y(), right - left + 1,
                                                d->processingInfoLabel->height());
        }
    }
    for (int32_t i = 0; i < d->documentTabs.count; ++i) {
        GrowString text = fileNamePart(d->documentTabs[i].name);
        if (text.isEmpty()) text = GrowString("Empty Tab");
        for (int32_t b = 0; b < d->tabBar->tabButtons.count; ++b) {
            VxTabButton* button = d->tabBar->tabButtons[b];
            if (button->tabID() != d->documentTabs[i].tabID) continue;
            button->setTitle(text);
        }
    }
    d->tabBar->layoutTabs();
}
