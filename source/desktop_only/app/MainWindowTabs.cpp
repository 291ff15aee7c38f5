// MainWindow: document tabs.

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxShuttleControl.h"
#include "desktop_only/widgets/VxTabBar.h"
#include "desktop_only/widgets/VxTabButton.h"

namespace {
constexpr int kHiddenShuttlePosition = -5000;
}

DocumentTab* MainWindow::current() {
    if (d->currentTab < 0 || d->currentTab >= d->documentTabs.count) return nullptr;
    return &d->documentTabs[d->currentTab];
}

void MainWindow::buildDocumentTab() {
    VxMediaWidget* view = new VxMediaWidget(d->mediaArea);
    connect(view, &VxMediaWidget::emptyClickSignal, this, &MainWindow::onEmptyClick);
    connect(view, &VxMediaWidget::frameNudgedSignal, this, &MainWindow::videoShuttleUpdateRequest);
    connect(view, &VxMediaWidget::displayUpdatedSignal, this, &MainWindow::displayFinishedUpdating);
    connect(view, &VxMediaWidget::imageRepositionedSignal, this, &MainWindow::onImageRepositioned);

    TrayWidget* tray = new TrayWidget(d->trayArea);
    connect(tray, &TrayWidget::trayAdjusted, this, &MainWindow::trayContentChanged);
    connect(tray, &TrayWidget::selectionChanged, this, &MainWindow::traySelectionChanged);

    VxShuttleControl* shuttle = new VxShuttleControl(this);
    connect(shuttle, &VxShuttleControl::sliderChanged, this, &MainWindow::shuttleControlAdjusted);
    shuttle->hide();
    shuttle->move(kHiddenShuttlePosition, kHiddenShuttlePosition);

    const int tabID = d->nextTabId++;
    DocumentTab tab;
    tab.name = GrowString("");
    tab.tray = tray;
    tab.view = view;
    tab.shuttle = shuttle;
    tab.tabID = tabID;
    d->documentTabs.append(tab);

    d->tabBar->addTab(tabID);
    if (d->tabBar->tabButtons.count >= 2) {
        d->tabBar->setCurrentTab(tabID);
        documentTabChosen(tabID);
    }
    layoutWindow();
}

void MainWindow::stopDisplayThreads() {
    for (int32_t i = 0; i < d->documentTabs.count; ++i) d->documentTabs[i].view->stopDisplayPasses();
}

bool MainWindow::hostMode() const { return d->hostMode; }

// An open tool overlay works on the current document's chain and lies over
// its view: it is closed before that document stops being current or goes.
void MainWindow::endActiveTool() {
    if (d->activeTool) toolRequestedExit(d->activeTool);
}

void MainWindow::documentTabChosen(int tabID) {
    for (int32_t i = 0; i < d->documentTabs.count; ++i) {
        if (d->documentTabs[i].tabID != tabID) continue;
        if (i != d->currentTab) endActiveTool();
        d->currentTab = i;
        d->documentTabs[i].view->setPreviewSourceStale();
        layoutWindow();
        showSelectedTileControls();
        break;
    }
    updateTitle();
}

void MainWindow::documentTabWantsClosing(int tabID) {
    if (d->documentTabs.count < 2) return;
    int32_t index = -1;
    for (int32_t i = 0; i < d->documentTabs.count; ++i)
        if (d->documentTabs[i].tabID == tabID) {
            index = i;
            break;
        }
    int32_t next;
    if (index >= 0) {
        // The overlay belongs to the current tab; end it before that tab can go.
        if (index == d->currentTab) endActiveTool();
        DocumentTab tab = d->documentTabs[index];
        d->documentTabs.removeAt(index);
        if (d->currentTab >= d->documentTabs.count) d->currentTab = d->documentTabs.count - 1;
        tab.view->clearMedia();
        // The hover preview's base picture came from this view: a later view
        // made at the same address must not pass for it.
        if (d->previewSourceView == tab.view) {
            forgetPreviewSource();
            d->previewSource.release();
        }
        delete tab.view;  // waits for its display thread
        tab.tray->deleteTiles(false);
        tab.tray->clearPreMods();
        delete tab.tray;
        delete tab.shuttle;
        d->tabBar->removeTab(tabID);
        next = index - 1 > 0 ? index - 1 : 0;
    } else {
        next = d->documentTabs.count - 1;
    }
    d->tabBar->setCurrentTab(d->documentTabs[next].tabID);
    documentTabChosen(d->documentTabs[next].tabID);
    layoutWindow();
}
