// MainWindow: slots of the timers, the views, the trays, the preview chooser
// and the tool panel. Several are completed by later stages of the window;
// each body here is the least that keeps the window working.

#include <QAction>
#include <QApplication>
#include <QTimer>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayNode.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxPanelItemListButton.h"

void MainWindow::processingInfoTimerFired() {
    if (!saveQueue.isBusy()) processingInfoTimer->stop();
}

void MainWindow::previewProcessorTimerFired() {}

void MainWindow::nodeControlAnimationTimerFired() { nodeControlAnimationTimer->stop(); }

void MainWindow::cancelRenderQueueItem(int id) { saveQueue.cancelJob(id); }

void MainWindow::filterPreviewChosen(ImageMod* mod, bool append) { addModToTray(mod, append, true, false); }

void MainWindow::previewSectionEnabled(int, GrowString, bool) {}

void MainWindow::onEmptyClick() {
    DocumentTab* tab = current();
    if (!tab) return;
    for (int32_t i = 0; i < tab->tray->nodes.count; ++i) {
        if (!tab->tray->nodes[i]->selected) continue;
        tab->tray->nodes[i]->selected = false;
        tab->tray->nodes[i]->updateStyle();
    }
    showSelectedTileControls();
}

void MainWindow::videoShuttleUpdateRequest(VideoLoaderSaverTime) {}

void MainWindow::displayFinishedUpdating() {}

void MainWindow::onImageRepositioned() {
    DocumentTab* tab = current();
    if (activeTool && tab && sender() == tab->view) activeTool->setImageRect(tab->view->imageRect);
}

void MainWindow::trayContentChanged() {
    DocumentTab* tab = current();
    if (!tab) return;
    tab->view->setRenderCacheReset();
    showSelectedTileControls();
    refreshView();
    updateTitle();
}

void MainWindow::traySelectionChanged() { showSelectedTileControls(); }

void MainWindow::shuttleControlAdjusted(QWidget*) {}

void MainWindow::modButtonClicked(VxPanelItemListButton* clicker, bool append) {
    if (!clicker || !clicker->mod) return;
    const bool shift = QApplication::keyboardModifiers() & Qt::ShiftModifier;
    addModToTray(clicker->mod, append || shift, true, shift);
}
