// MainWindow: the window layout and the window's own events.
//
// The panes are placed by explicit geometry. This is the layout's first
// form: the background, the tool panel, the tray area, the tab bar, the
// view area with the current view, and an open tool over it; the control
// strip, the corner buttons and split views come with a later stage.

#include <QLabel>
#include <QMenuBar>
#include <QResizeEvent>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxPreviewChooser.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxShuttleControl.h"
#include "desktop_only/widgets/VxTabBar.h"
#include "desktop_only/widgets/VxToolPanel.h"

namespace {
constexpr int kToolPanelWidth = 210;
constexpr int kTrayHeight = 96;
constexpr int kTabBarHeight = 30;
constexpr int kBottomSpaceNoTray = 24;
}  // namespace

void MainWindow::layoutWindow() {
    if (!layoutReady) return;
    DocumentTab* tab = current();
    if (!tab) return;
    for (int32_t i = 0; i < documentTabs.count; ++i) {
        if (i == currentTab) continue;
        documentTabs[i].view->hide();
        documentTabs[i].tray->hide();
        documentTabs[i].shuttle->hide();
    }
    if (activeTool) tab->tray->hide();
    else tab->tray->show();
    tab->view->show();

    const int W = width();
    const int H = height();
    backgroundLabel->setGeometry(0, 0, W, H);
    backgroundLabel->lower();
    previewChooser->setGeometry(0, 0, W, H);
    const int M = menuBar()->isVisible() ? menuBar()->height() : 0;

    if (activeTool) {
        trayArea->show();
        toolPanel->hide();
    } else {
        trayArea->setVisible(trayShown);
        toolPanel->setVisible(toolPanelShown);
    }
    toolPanel->setGeometry(W - kToolPanelWidth, M, kToolPanelWidth, H - M);
    const int P = toolPanel->isVisibleTo(this) ? kToolPanelWidth : 0;
    trayArea->setGeometry(5, H - kTrayHeight, W - P - 10, kTrayHeight);
    tab->tray->setGeometry(0, 0, trayArea->width(), trayArea->height());

    const int n = documentTabs.count;
    int T = 0;
    if (n > 1) {
        tabBar->setGeometry(0, M, W - P - 43, kTabBarHeight);
        tabBar->show();
        T = kTabBarHeight;
    } else {
        tabBar->hide();
    }
    const int B = trayArea->isVisibleTo(this) ? kTrayHeight : kBottomSpaceNoTray;
    mediaArea->setGeometry(6, M + T + 6, W - P - 12, H - 16 - M - T - B);
    tab->view->setGeometry(0, 0, mediaArea->width(), mediaArea->height());
    tab->view->lower();
    activeViewFrame->hide();

    if (filterNameLabel) filterNameLabel->move(20, H - 22);
    if (activeTool) {
        activeTool->setFixedSize(tab->view->size());
        activeTool->move(0, 0);
        activeTool->raise();
        activeTool->show();
        activeTool->setImageRect(tab->view->imageRect);
    }
}

// The control strip comes with a later stage.
void MainWindow::layoutControls(bool) {}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layoutWindow();
    layoutControls(true);
}
