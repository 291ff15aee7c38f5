// ControlStrip: sizing the controls and centring the row over the bottom of
// the view area, the pointer heights that start the auto-hide, and the
// slide of the row under the view's bottom edge and back.

#include <QLabel>
#include <QPoint>
#include <QRegion>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cstdio>

#include "desktop_only/app/ControlStrip.h"
#include "desktop_only/widgets/ColorChooserWidget.h"
#include "desktop_only/widgets/ToneCurveWidget.h"
#include "desktop_only/widgets/VxColorChoiceWidget.h"
#include "desktop_only/widgets/VxInputBox.h"
#include "desktop_only/widgets/VxListChooser.h"
#include "desktop_only/widgets/VxSlider.h"
#include "desktop_only/widgets/VxStringInputBox.h"
#include "desktop_only/widgets/VxTrayButton.h"
#include "framework/ModVar.h"

namespace {
constexpr int kControlGap = 4;          // between neighbouring controls of the strip
constexpr int kStripReserve = 76;       // width of the view area not given to the controls
constexpr int kControlHeight = 48;
constexpr int kSlideInterval = 30;      // milliseconds between two steps of the slide

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

int ControlStrip::mediaAreaBottom() const { return mediaArea->geometry().bottom(); }

void ControlStrip::computeControlLines() {
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

void ControlStrip::layoutControls(bool resize, bool toolOpen) {
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
            if (editor->mode() >= 1 && editor->mode() <= 3) {
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
    const int base = toolOpen ? trayArea->geometry().bottom() - 30 : mediaAreaBottom() - 20;
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

void ControlStrip::controlHeightChanged() {
    std::printf("control height changed, recalculating\n");
    std::fflush(stdout);
    computeControlLines();
}

// Starts the strip's slide for a hover move from before to at, left of the
// tool panel, while no slide runs and the strip holds controls: an upward
// move above the hide line slides it away (only with auto-hide on and no
// tool open), a downward move below the show line brings a slid strip back.
// Each 30 ms tick moves it a fifteenth of the span below the hide line.
void ControlStrip::slideOnHover(const QPoint& at, const QPoint& before, int panelLeft, bool autohide,
                                bool toolOpen) {
    if (nodeControlAnimationTimer->isActive()) return;
    if (controlTable.count < 1 || at.x() >= panelLeft) return;
    const int32_t step = static_cast<int32_t>((static_cast<int64_t>(host->height()) - controlHideLine) / 15);
    if (autohide && at.y() < controlHideLine && controlSlideOffset == 0.0f && at.y() < before.y()) {
        if (toolOpen) return;
        controlSlideStep = step;
        nodeControlAnimationTimer->start(kSlideInterval);
    } else if (at.y() > controlShowLine && controlSlideOffset != 0.0f && at.y() > before.y() && !toolOpen) {
        controlSlideStep = -step;
        nodeControlAnimationTimer->start(kSlideInterval);
    }
}

void ControlStrip::nodeControlAnimationTimerFired(bool toolOpen) {
    controlSlideOffset += static_cast<float>(controlSlideStep);
    controlSlideStep = controlSlideStep >= 0 ? std::max(controlSlideStep, 1) : -std::max(-controlSlideStep, 1);
    const float limit = static_cast<float>(mediaArea->frameGeometry().bottom() - controlHideLine);
    if (controlSlideStep > 0 && controlSlideOffset > limit) {
        controlSlideOffset = limit;
        nodeControlAnimationTimer->stop();
    } else if (controlSlideStep < 0 && controlSlideOffset <= 0.0f) {
        controlSlideOffset = 0.0f;
        nodeControlAnimationTimer->stop();
    }
    layoutControls(false, toolOpen);
}
