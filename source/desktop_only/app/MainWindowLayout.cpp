// MainWindow: the window layout and the control strip's layout.
//
// The panes are placed by explicit geometry, from the window's size, the
// number of tabs, the shown or hidden tray and tool panel, the split-view
// mode, an open tool and the host mode. The control strip is sized and
// centred over the bottom of the view area by layoutControls.

#include <QLabel>
#include <QMenuBar>
#include <QRegion>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxPreviewChooser.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/ColorChooserWidget.h"
#include "desktop_only/widgets/ToneCurveWidget.h"
#include "desktop_only/widgets/VxColorChoiceWidget.h"
#include "desktop_only/widgets/VxInputBox.h"
#include "desktop_only/widgets/VxListChooser.h"
#include "desktop_only/widgets/VxPanelItemBigButton.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxShuttleControl.h"
#include "desktop_only/widgets/VxSlider.h"
#include "desktop_only/widgets/VxStringInputBox.h"
#include "desktop_only/widgets/VxTabBar.h"
#include "desktop_only/widgets/VxTabButton.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "desktop_only/widgets/VxTrayButton.h"
#include "framework/ModVar.h"

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
constexpr int kControlGap = 4;          // between neighbouring controls of the strip
constexpr int kStripReserve = 76;       // width of the view area not given to the controls
constexpr int kControlHeight = 48;

int widthOf(const QWidget* w) { return w ? w->width() : 0; }

// Marks a strip widget that clipToViewArea hid, so that it shows again when
// the strip comes back (a button's label, hidden for good, stays hidden).
const char* const kSlidAway = "slidAway";

// While the strip is slid away, or on its way, whatever of a control or a
// label lies below the view area's last row (viewBottom, in the window) is
// not drawn and takes no pointer: the strip disappears under the view's
// bottom edge instead of staying drawn over the tray and the progress row.
// A widget wholly below that row is hidden (an empty mask would be no mask).
// With the strip shown (sliding false) every widget is drawn whole again.
void clipToViewArea(QWidget* widget, int viewBottom, bool sliding) {
    const int rows = sliding ? viewBottom + 1 - widget->y() : widget->height();
    if (rows <= 0) {
        if (!widget->isHidden()) {
            widget->setProperty(kSlidAway, true);
            widget->hide();
        }
        return;
    }
    if (widget->property(kSlidAway).toBool()) {
        widget->setProperty(kSlidAway, false);
        widget->show();
    }
    if (rows < widget->height())
        widget->setMask(QRegion(0, 0, widget->width(), rows));
    else if (!widget->mask().isEmpty())
        widget->clearMask();
}
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

int MainWindow::mediaAreaBottom() const { return mediaArea->geometry().bottom(); }

void MainWindow::computeControlLines() {
    const int bottom = mediaAreaBottom();
    controlShowLine = bottom - 2;
    controlHideLine = bottom - 50;
    for (const ControlEntry& entry : controlTable) {
        int y = static_cast<int>(static_cast<float>(entry.control->y()) - controlSlideOffset);
        if (entry.var && entry.var->value && entry.var->value->kind() == kChoiceVar) {
            const VxListChooser* chooser = static_cast<const VxListChooser*>(entry.control);
            if (chooser->listVisible()) y -= chooser->listHeight();
        }
        controlHideLine = std::min(controlHideLine, y - 50);
    }
    controlHideLine = std::min(controlHideLine, controlShowLine);
}

void MainWindow::layoutControls(bool resize) {
    const int n = controlTable.count;
    const int W = mediaArea->width();
    if (resize) {
        int R = W - (kControlGap * n + kStripReserve);
        int F = n;
        // The share of the width left for each control still to be sized.
        auto share = [&]() { return F > 0 ? R / F : 0; };
        for (VxTrayButton* button : buttonControls) {
            button->resize(80, kControlHeight);
            R -= button->width();
        }
        F -= buttonControls.count;
        for (VxListChooser* chooser : listControls) {
            chooser->resize(chooser->width(), kControlHeight);
            R -= chooser->width();
        }
        F -= listControls.count;
        for (VxInputBox* box : inputBoxControls) {
            box->setControlSize(box->width(), kControlHeight);
            R -= box->width();
        }
        F -= inputBoxControls.count;
        for (ColorChooserWidget* chooser : colorControls) {
            const int s = share();
            if (chooser->mode != 0) chooser->setControlSize(std::min(s, 150), std::min(s, 150));
            else chooser->setControlSize(std::min(s, 300), 130);
            R -= chooser->width();
            --F;
        }
        for (VxColorChoiceWidget* row : colorChoiceControls) {
            const int c = row->colors.count;
            const int preferred = std::max(50, c * row->swatchSize + (c - 1) * row->spacing + 2 * row->margin);
            row->resize(std::max(0, std::min(share(), preferred)), kControlHeight);
            R -= row->width();
            --F;
        }
        for (ToneCurveWidget* editor : curveControls) {
            const int s = share();
            if (editor->mode >= 1 && editor->mode <= 3) {
                const int w = std::max(0, std::min(s, 600));
                editor->resize(w, w / 2);
            } else {
                const int side = std::max(0, std::min(s, 250));
                editor->resize(side, side);
            }
            R -= editor->width();
            --F;
        }
        for (VxStringInputBox* box : stringControls) {
            const int w = std::max(0, std::min(share(), 600));
            box->resize(w, kControlHeight);
            box->setControlWidth(w);
        }
        for (VxSlider* slider : sliderControls) slider->setControlSize(std::max(0, std::min(share(), 600)), kControlHeight);
    }

    // Placing.
    int T = 0;
    for (const ControlEntry& entry : controlTable) T += entry.control->width();
    int x = static_cast<int>((W + kControlGap - T - kControlGap * n) * 0.5);
    const int base = activeTool ? trayArea->geometry().bottom() - 30 : mediaAreaBottom() - 20;
    const bool sliding = controlSlideOffset != 0.0f;
    for (int32_t i = 0; i < n; ++i) {
        QWidget* control = controlTable[i].control;
        const int w = control->width();
        const int h = control->height();
        control->move(x, static_cast<int>(static_cast<float>(base - h) + controlSlideOffset));
        clipToViewArea(control, mediaAreaBottom(), sliding);
        if (i < controlLabels.count) {
            QLabel* label = controlLabels[i];
            label->adjustSize();
            label->move(x + static_cast<int>((w - label->width()) * 0.5),
                        static_cast<int>(static_cast<float>(base) + controlSlideOffset));
            clipToViewArea(label, mediaAreaBottom(), sliding);
        }
        x += w + kControlGap;
    }
    computeControlLines();
}

