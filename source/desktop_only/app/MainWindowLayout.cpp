// MainWindow: the window layout.
//
// The panes are placed by explicit geometry, from the window's size, the
// number of tabs, the shown or hidden tray and tool panel, the split-view
// mode, an open tool and the host mode. The control strip lays itself out
// over the bottom of the view area (ControlStripLayout.cpp).

#include <QLabel>
#include <QMenuBar>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxPreviewChooser.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxPanelItemBigButton.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxShuttleControl.h"
#include "desktop_only/widgets/VxTabBar.h"
#include "desktop_only/widgets/VxTabButton.h"
#include "desktop_only/widgets/VxToolPanel.h"

namespace {
constexpr int kToolPanelWidth = 210;
constexpr int kTrayHeight = 96;
constexpr int kTabBarHeight = 30;
constexpr int kBottomSpaceNoTray = 24;
constexpr int kLayoutButtonsGap = 43;   // tab bar width kept free besides the view-layout buttons
constexpr int kAfterLastTab = 20;
constexpr int kSplitMargin = 3;
constexpr int kSplitGap = 6;
constexpr int kHostButtonWidth = 170;

int widthOf(const QWidget* w) { return w ? w->width() : 0; }
}  // namespace

int MainWindow::menuBarHeight() const {
    const QMenuBar* bar = qobject_cast<const QMenuBar*>(menuWidget());
    return bar && bar->isVisibleTo(this) ? bar->height() : 0;
}

void MainWindow::layoutWindow() {
    // 1, 2.
    if (!layoutReady) return;
    DocumentTab* tab = current();
    if (!tab) return;
    const bool split = splitViewMode != 0 && !activeTool;
    const int n = documentTabs.count;

    // 3, 4.
    for (int32_t i = 0; i < n; ++i) {
        if (i == currentTab) continue;
        documentTabs[i].view->setVisible(split);
        documentTabs[i].tray->hide();
        documentTabs[i].shuttle->hide();
    }
    tab->tray->setVisible(!activeTool);
    tab->view->show();
    tab->shuttle->setVisible(true);

    // 5, 6.
    const int W = width();
    const int H = height();
    backgroundLabel->resize(W, H);
    backgroundLabel->move(0, 0);
    backgroundLabel->lower();
    previewChooser->resize(W, H);
    previewChooser->move(0, 0);
    const int M = menuBarHeight();

    // 7.
    if (activeTool) {
        trayArea->show();
        toolPanel->hide();
    } else {
        trayArea->setVisible(trayShown);
        toolPanel->setVisible(toolPanelShown);
    }
    if (hidePanelButton) hidePanelButton->setChecked(!toolPanelShown);
    if (hideTrayButton) hideTrayButton->setChecked(!trayShown);

    // 8 - 10.
    toolPanel->resize(kToolPanelWidth, H - M);
    toolPanel->move(W - kToolPanelWidth, M);
    const int P = toolPanel->isVisibleTo(this) ? kToolPanelWidth : 0;
    trayArea->resize(W - P - 10, kTrayHeight);
    trayArea->move(5, H - kTrayHeight);
    tab->tray->resize(trayArea->size());
    tab->tray->move(0, 0);

    // 11.
    for (VxPushButton* button : {hideTrayButton, previewButton, deleteNodesButton, hidePanelButton})
        if (button) button->setVisible(!activeTool);

    // 12.
    int T = 0;
    if (n > 1) {
        const int wS = widthOf(singleViewButton), wV = widthOf(splitVerticalButton), wH = widthOf(splitHorizontalButton);
        tabBar->resize(W - P - kLayoutButtonsGap - wS - wV - wH, kTabBarHeight);
        tabBar->move(0, M);
        int L = 0;
        if (tabBar->tabButtons.count > 0) {
            const QRect last = tabBar->tabButtons[tabBar->tabButtons.count - 1]->geometry();
            L = last.x() + last.width() - 1;
        }
        if (singleViewButton) {
            singleViewButton->move(std::min(L, tabBar->width()) + kAfterLastTab, M + 29 - singleViewButton->height());
            if (splitVerticalButton) {
                splitVerticalButton->move(singleViewButton->x() + singleViewButton->width(), singleViewButton->y());
                if (splitHorizontalButton)
                    splitHorizontalButton->move(splitVerticalButton->x() + splitVerticalButton->width(),
                                                splitVerticalButton->y());
            }
        }
        T = kTabBarHeight;
    }
    tabBar->setVisible(n > 1);
    for (VxPushButton* button : {singleViewButton, splitVerticalButton, splitHorizontalButton})
        if (button) button->setVisible(n > 1);

    // 13.
    const int B = trayArea->isVisibleTo(this) ? kTrayHeight : kBottomSpaceNoTray;
    mediaArea->resize(W - P - 12, H - 16 - M - T - B);
    mediaArea->move(6, M + T + 6);

    // 14.
    const int A = mediaArea->width();
    const int V = mediaArea->height();
    if (split && n >= 2 && (splitViewMode == 1 || splitViewMode == 2)) {
        int along = kSplitMargin;
        for (int32_t i = 0; i < n; ++i) {
            VxMediaWidget* view = documentTabs[i].view;
            const bool lastView = i == n - 1;
            if (splitViewMode == 1) {
                const int h = lastView ? V - kSplitMargin - along : (V - kSplitGap * n) / n;
                view->setGeometry(kSplitMargin, along, A - kSplitGap, h);
                along += h + kSplitGap;
            } else {
                const int w = lastView ? A - kSplitMargin - along : (A - kSplitGap * n) / n;
                view->setGeometry(along, kSplitMargin, w, V - kSplitGap);
                along += w + kSplitGap;
            }
            view->lower();
        }
    } else {
        tab->view->setGeometry(0, 0, A, V);
        tab->view->lower();
    }

    // 15.
    if (split && n >= 2) {
        const QRect r = tab->view->geometry();
        activeViewFrame->setGeometry(r.x() - 3, r.y() - 3, r.width() + 6, r.height() + 6);
        activeViewFrame->stackUnder(tab->view);
        activeViewFrame->show();
    } else {
        activeViewFrame->hide();
    }

    // 16.
    const bool single = splitViewMode == 0 || n < 2;
    const bool showStart = single && !hostMode && !tab->view->hasMedia();
    if (startScreenButtons.count > 0 && startLoadButton) {
        double x = std::trunc(std::trunc(A * 0.5) - startLoadButton->width() * 0.5);
        const double y = std::trunc(std::trunc(V * 0.5) - startLoadButton->height() * 0.5);
        for (int32_t i = 1; i < startScreenButtons.count; ++i)
            x = std::trunc(x - startScreenButtons[i]->width() * 0.5);
        startLoadButton->move(static_cast<int>(x), static_cast<int>(y));
        const QWidget* previous = startLoadButton;
        for (int32_t i = 1; i < startScreenButtons.count; ++i) {
            startScreenButtons[i]->move(previous->x() + previous->width(), static_cast<int>(y));
            previous = startScreenButtons[i];
        }
    }
    for (QWidget* button : startScreenButtons) button->setVisible(showStart);

    // 17.
    if (hidePanelButton) hidePanelButton->move(W + 6 - hidePanelButton->width(), M + 11);
    const int Y = hideTrayButton ? H + 6 - hideTrayButton->height() : H - 22;
    if (hideTrayButton) hideTrayButton->move(11, Y);
    if (previewButton) previewButton->move(widthOf(hideTrayButton) + 15, Y);
    if (deleteNodesButton && previewButton) deleteNodesButton->move(previewButton->x() + previewButton->width() + 4, Y);
    if (filterNameLabel) {
        filterNameLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        const int x = deleteNodesButton ? deleteNodesButton->x() + deleteNodesButton->width() + 8 : 20;
        filterNameLabel->move(x, Y + 8);
    }
    if (cancelProcessingButton) {
        const QRect tray = trayArea->frameGeometry();
        cancelProcessingButton->move(tray.x() + tray.width() - 12 - cancelProcessingButton->width(),
                                     tray.y() + tray.height() - 4 - cancelProcessingButton->height());
    }
    if (processingInfoLabel && filterNameLabel) {
        processingInfoLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const QRect name = filterNameLabel->frameGeometry();
        processingInfoLabel->move(name.x() + name.width(), name.y());
        const int right = cancelProcessingButton ? cancelProcessingButton->frameGeometry().x() - 4 : W - P;
        processingInfoLabel->resize(std::max(0, right - processingInfoLabel->x()), processingInfoLabel->height());
    }

    // 18.
    if (activeTool) {
        activeTool->setFixedSize(tab->view->size());
        activeTool->move(0, 0);
        activeTool->raise();
        activeTool->show();
        activeTool->setImageRect(tab->view->imageRect);
    }

    // 19.
    if (hostMode && sendToHostButton) {
        sendToHostButton->setFixedWidth(kHostButtonWidth);
        sendToHostButton->move(10, 10);
        sendToHostButton->raise();
    }
}
