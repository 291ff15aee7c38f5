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

#include "desktop_only/app/MainWindowPrivate.h"
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
    // Nothing is placed before the window is built, nor without a document.
    if (!d->layoutReady) return;
    DocumentTab* tab = current();
    if (!tab) return;
    const bool split = d->splitViewMode != 0 && !d->activeTool;
    const int n = d->documentTabs.count;

    // The other documents' views show only in a split area; only the current
    // document's tray and shuttle are shown.
    for (int32_t i = 0; i < n; ++i) {
        if (i == d->currentTab) continue;
        d->documentTabs[i].view->setVisible(split);
        d->documentTabs[i].tray->hide();
        d->documentTabs[i].shuttle->hide();
    }
    tab->tray->setVisible(!d->activeTool);
    tab->view->show();
    tab->shuttle->setVisible(true);

    // The background and the preview chooser cover the window.
    const int W = width();
    const int H = height();
    d->backgroundLabel->resize(W, H);
    d->backgroundLabel->move(0, 0);
    d->backgroundLabel->lower();
    d->previewChooser->resize(W, H);
    d->previewChooser->move(0, 0);
    const int M = menuBarHeight();

    // An open tool shows the tray area and hides the tool panel.
    if (d->activeTool) {
        d->trayArea->show();
        d->toolPanel->hide();
    } else {
        d->trayArea->setVisible(d->trayShown);
        d->toolPanel->setVisible(d->toolPanelShown);
    }
    if (d->hidePanelButton) d->hidePanelButton->setChecked(!d->toolPanelShown);
    if (d->hideTrayButton) d->hideTrayButton->setChecked(!d->trayShown);

    // The tool panel on the right, the tray area along the bottom.
    d->toolPanel->resize(kToolPanelWidth, H - M);
    d->toolPanel->move(W - kToolPanelWidth, M);
    const int P = d->toolPanel->isVisibleTo(this) ? kToolPanelWidth : 0;
    d->trayArea->resize(W - P - 10, kTrayHeight);
    d->trayArea->move(5, H - kTrayHeight);
    tab->tray->resize(d->trayArea->size());
    tab->tray->move(0, 0);

    // The small buttons are hidden while a tool is open.
    for (VxPushButton* button : {d->hideTrayButton, d->previewButton, d->deleteNodesButton, d->hidePanelButton})
        if (button) button->setVisible(!d->activeTool);

    // With two or more documents: the tab bar and the view-layout buttons
    // after its last tab.
    int T = 0;
    if (n > 1) {
        const int wS = widthOf(d->singleViewButton), wV = widthOf(d->splitVerticalButton),
                  wH = widthOf(d->splitHorizontalButton);
        d->tabBar->resize(W - P - kLayoutButtonsGap - wS - wV - wH, kTabBarHeight);
        d->tabBar->move(0, M);
        int L = 0;
        if (d->tabBar->tabButtons.count > 0) {
            const QRect last = d->tabBar->tabButtons[d->tabBar->tabButtons.count - 1]->geometry();
            L = last.x() + last.width() - 1;
        }
        if (d->singleViewButton) {
            d->singleViewButton->move(std::min(L, d->tabBar->width()) + kAfterLastTab,
                                      M + 29 - d->singleViewButton->height());
            if (d->splitVerticalButton) {
                d->splitVerticalButton->move(d->singleViewButton->x() + d->singleViewButton->width(),
                                             d->singleViewButton->y());
                if (d->splitHorizontalButton)
                    d->splitHorizontalButton->move(d->splitVerticalButton->x() + d->splitVerticalButton->width(),
                                                   d->splitVerticalButton->y());
            }
        }
        T = kTabBarHeight;
    }
    d->tabBar->setVisible(n > 1);
    for (VxPushButton* button : {d->singleViewButton, d->splitVerticalButton, d->splitHorizontalButton})
        if (button) button->setVisible(n > 1);

    // The view area fills what is left.
    const int B = d->trayArea->isVisibleTo(this) ? kTrayHeight : kBottomSpaceNoTray;
    d->mediaArea->resize(W - P - 12, H - 16 - M - T - B);
    d->mediaArea->move(6, M + T + 6);

    // The views: stacked or side by side in a split area, else the current
    // one alone.
    const int A = d->mediaArea->width();
    const int V = d->mediaArea->height();
    if (split && n >= 2 && (d->splitViewMode == 1 || d->splitViewMode == 2)) {
        int along = kSplitMargin;
        for (int32_t i = 0; i < n; ++i) {
            VxMediaWidget* view = d->documentTabs[i].view;
            const bool lastView = i == n - 1;
            if (d->splitViewMode == 1) {
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

    // The frame around the current view of a split area.
    if (split && n >= 2) {
        const QRect r = tab->view->geometry();
        d->activeViewFrame->setGeometry(r.x() - 3, r.y() - 3, r.width() + 6, r.height() + 6);
        d->activeViewFrame->stackUnder(tab->view);
        d->activeViewFrame->show();
    } else {
        d->activeViewFrame->hide();
    }

    // The start-screen buttons, centred, while a single view has no photo.
    const bool single = d->splitViewMode == 0 || n < 2;
    const bool showStart = single && !d->hostMode && !tab->view->hasMedia();
    if (d->startScreenButtons.count > 0 && d->startLoadButton) {
        double x = std::trunc(std::trunc(A * 0.5) - d->startLoadButton->width() * 0.5);
        const double y = std::trunc(std::trunc(V * 0.5) - d->startLoadButton->height() * 0.5);
        for (int32_t i = 1; i < d->startScreenButtons.count; ++i)
            x = std::trunc(x - d->startScreenButtons[i]->width() * 0.5);
        d->startLoadButton->move(static_cast<int>(x), static_cast<int>(y));
        const QWidget* previous = d->startLoadButton;
        for (int32_t i = 1; i < d->startScreenButtons.count; ++i) {
            d->startScreenButtons[i]->move(previous->x() + previous->width(), static_cast<int>(y));
            previous = d->startScreenButtons[i];
        }
    }
    for (QWidget* button : d->startScreenButtons) button->setVisible(showStart);

    // The window's small buttons, the filter name, the cancel button and the
    // progress label.
    if (d->hidePanelButton) d->hidePanelButton->move(W + 6 - d->hidePanelButton->width(), M + 11);
    const int Y = d->hideTrayButton ? H + 6 - d->hideTrayButton->height() : H - 22;
    if (d->hideTrayButton) d->hideTrayButton->move(11, Y);
    if (d->previewButton) d->previewButton->move(widthOf(d->hideTrayButton) + 15, Y);
    if (d->deleteNodesButton && d->previewButton)
        d->deleteNodesButton->move(d->previewButton->x() + d->previewButton->width() + 4, Y);
    if (d->filterNameLabel) {
        d->filterNameLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        const int x = d->deleteNodesButton ? d->deleteNodesButton->x() + d->deleteNodesButton->width() + 8 : 20;
        d->filterNameLabel->move(x, Y + 8);
    }
    if (d->cancelProcessingButton) {
        const QRect tray = d->trayArea->frameGeometry();
        d->cancelProcessingButton->move(tray.x() + tray.width() - 12 - d->cancelProcessingButton->width(),
                                        tray.y() + tray.height() - 4 - d->cancelProcessingButton->height());
    }
    if (d->processingInfoLabel && d->filterNameLabel) {
        d->processingInfoLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const QRect name = d->filterNameLabel->frameGeometry();
        d->processingInfoLabel->move(name.x() + name.width(), name.y());
        const int right = d->cancelProcessingButton ? d->cancelProcessingButton->frameGeometry().x() - 4 : W - P;
        d->processingInfoLabel->resize(std::max(0, right - d->processingInfoLabel->x()),
                                       d->processingInfoLabel->height());
    }

    // An open tool lies over the current view.
    if (d->activeTool) {
        d->activeTool->setFixedSize(tab->view->size());
        d->activeTool->move(0, 0);
        d->activeTool->raise();
        d->activeTool->show();
        d->activeTool->setPhotoSize(tab->view->sourceWidth, tab->view->sourceHeight);
        d->activeTool->setImageRect(tab->view->imageRect);
    }

    // The host mode's send button.
    if (d->hostMode && d->sendToHostButton) {
        d->sendToHostButton->setFixedWidth(kHostButtonWidth);
        d->sendToHostButton->move(10, 10);
        d->sendToHostButton->raise();
    }
}
