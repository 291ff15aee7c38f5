// ControlStrip: building one control per shown parameter, writing a
// control's value back into its parameter, bringing the controls in line
// with their parameters, and the curve controls' context menu.

#include "desktop_only/app/ControlStrip.h"

#include <QAction>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "desktop_only/widgets/ColorChooserWidget.h"
#include "desktop_only/widgets/ToneCurveWidget.h"
#include "desktop_only/widgets/VxColorChoiceWidget.h"
#include "desktop_only/widgets/VxInputBox.h"
#include "desktop_only/widgets/VxListChooser.h"
#include "desktop_only/widgets/VxSlider.h"
#include "desktop_only/widgets/VxStringInputBox.h"
#include "desktop_only/widgets/VxTrayButton.h"
#include "framework/Curve.h"
#include "framework/ImageMod.h"
#include "framework/ModVar.h"

namespace {

// Swatch colours of a colour multichoice: each option text holds red, green
// and blue separated by blanks; a missing number reads as 0.
GrowArray<QColor> swatchColors(const MultiChoiceValue& value) {
    GrowArray<QColor> colors;
    for (const GrowString& option : value.options) {
        const char* p = option.c_str();
        double rgb[3] = {0.0, 0.0, 0.0};
        for (double& component : rgb) {
            while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
            if (!*p) break;
            char* end = nullptr;
            const double v = std::strtod(p, &end);
            if (end == p) break;
            component = v;
            p = end;
        }
        int channels[3];
        for (int i = 0; i < 3; ++i)
            channels[i] = std::isfinite(rgb[i]) ? static_cast<int>(std::fmin(255.0, std::fmax(0.0, rgb[i]))) : 0;
        colors.append(QColor(channels[0], channels[1], channels[2], 255));
    }
    return colors;
}

// The editor's curve equals the value's: same points and hue offset.
bool sameCurve(const Curve& a, const Curve& b) {
    if (a.points.count != b.points.count) return false;
    for (int32_t i = 0; i < a.points.count; ++i)
        if (!sameFloat(a.points[i].x, b.points[i].x) || !sameFloat(a.points[i].y, b.points[i].y)) return false;
    return sameFloat(a.hueOffset, b.hueOffset);
}

int32_t curveModeFor(int32_t controlCode) {
    switch (controlCode) {
        case kControlCurveA: return 1;
        case kControlCurveB: return 2;
        case kControlHueCurve: return 3;
        default: return 0;
    }
}

// A hue, saturation and value in 0..1 as red, green and blue in 0..1.
void hsvToRgb(float hue, float saturation, float value, float rgb[3]) {
    float H = hue * 360.0f;
    if (H < 0.0f) H += std::trunc(-H / 360.0f) * 360.0f + 360.0f;
    if (H >= 360.0f) H -= std::trunc(H / 360.0f) * 360.0f;
    if (!std::isfinite(H)) H = 0.0f;
    const float S = saturation;
    const float V = value;
    if (S == 0.0f) {
        rgb[0] = rgb[1] = rgb[2] = V;
        return;
    }
    const float X = (H / 360.0f) * 6.0f;
    const int i = static_cast<int>(std::floor(X));
    const float f = X - static_cast<float>(i);
    const float p = V * (1.0f - S);
    const float q = V * (1.0f - S * f);
    const float t = V * (1.0f - S * (1.0f - f));
    switch (i) {
        case 0: rgb[0] = V; rgb[1] = t; rgb[2] = p; break;
        case 1: rgb[0] = q; rgb[1] = V; rgb[2] = p; break;
        case 2: rgb[0] = p; rgb[1] = V; rgb[2] = t; break;
        case 3: rgb[0] = p; rgb[1] = q; rgb[2] = V; break;
        case 4: rgb[0] = t; rgb[1] = p; rgb[2] = V; break;
        default: rgb[0] = V; rgb[1] = p; rgb[2] = q; break;
    }
}

// A strip control leaves without reaching the strip again: it is
// disconnected and hidden now and deleted once control returns to the
// event loop, so a rebuild from inside one of its own signals is safe.
void retireControl(QWidget* widget, QObject* strip) {
    if (!widget) return;
    QObject::disconnect(widget, nullptr, strip, nullptr);
    if (VxListChooser* chooser = qobject_cast<VxListChooser*>(widget)) chooser->closeList();
    widget->hide();
    widget->deleteLater();
}

// Margins 2 pixels smaller on every side, never below 0 (a negative margin
// makes a label smaller than its text).
QMargins insetBy2(const QMargins& m) {
    return QMargins(std::max(0, m.left() - 2), std::max(0, m.top() - 2), std::max(0, m.right() - 2),
                    std::max(0, m.bottom() - 2));
}

}  // namespace

double hueHandlePosition(double hueOffset) {
    double position = (180.0 - hueOffset) * (1.0 / 180.0);
    if (!(position >= -1.0)) position = -1.0;  // NaN goes to an end too
    if (position > 1.0) position = 1.0;
    return position;
}

ControlStrip::ControlStrip(QWidget* host, QWidget* mediaArea, QWidget* trayArea)
    : QObject(host), host(host), mediaArea(mediaArea), trayArea(trayArea) {
    nodeControlAnimationTimer = new QTimer(this);
    connect(nodeControlAnimationTimer, &QTimer::timeout, this, &ControlStrip::slideTimerFired);
}

// The controls and labels go with the strip; none of them reaches it again.
ControlStrip::~ControlStrip() {
    for (QLabel* label : controlLabels) delete label;
    for (const ControlEntry& entry : controlTable) {
        disconnect(entry.control, nullptr, this, nullptr);
        delete entry.control;
    }
}

const ControlEntry* ControlStrip::findControlEntry(const QWidget* control) const {
    if (!control) return nullptr;
    for (int32_t i = 0; i < controlTable.count; ++i)
        if (controlTable[i].control == control) return &controlTable[i];
    return nullptr;
}

ControlEntry* ControlStrip::entryOf(const QWidget* control) {
    return const_cast<ControlEntry*>(findControlEntry(control));
}

void ControlStrip::buildControls(const GrowArray<ModVar*>& vars, ImageMod* tile, bool onTop, bool toolOpen) {
    // No right-clicked record, no slide.
    rightClickedControl = nullptr;
    controlSlideOffset = 0.0f;
    nodeControlAnimationTimer->stop();

    // The old strip goes.
    for (QLabel* label : controlLabels) retireControl(label, this);
    controlLabels.destroy();
    for (const ControlEntry& entry : controlTable) retireControl(entry.control, this);
    controlTable.destroy();
    buttonControls.destroy();
    listControls.destroy();
    sliderControls.destroy();
    inputBoxControls.destroy();
    stringControls.destroy();
    colorControls.destroy();
    colorChoiceControls.destroy();
    curveControls.destroy();

    // One control per shown parameter with a value.
    for (int32_t i = 0; i < vars.count; ++i) {
        ModVar* var = vars[i];
        if (!var || !var->shown || !var->value) continue;
        QWidget* control = nullptr;
        switch (var->value->kind()) {
            case kFloatVar: {
                const FloatValue* value = var->floatValue();
                if (var->controlCode == kControlNumberBox) {
                    VxInputBox* box = new VxInputBox(host);
                    inputBoxControls.append(box);
                    box->hide();
                    box->setRange(value->rangeLow, value->rangeHigh);
                    box->setMode(var->controlCode);
                    box->setValue(false, value->value);
                    connect(box, &VxInputBox::editingStarted, this, &ControlStrip::editAboutToStart);
                    connect(box, &VxInputBox::sliderChanged, this, &ControlStrip::controlAdjusted);
                    control = box;
                } else {
                    VxSlider* slider = new VxSlider(host);
                    sliderControls.append(slider);
                    slider->hide();
                    slider->setRange(value->rangeLow, value->rangeHigh);
                    slider->setLimits(value->minimum, value->maximum, value->hasMinimum, value->hasMaximum);
                    slider->setDisplayRange(true, value->useDisplayRange ? value->displayLow : value->rangeLow,
                                            value->useDisplayRange ? value->displayHigh : value->rangeHigh);
                    slider->setSymbolicEnds(!value->hasMinimum || !value->hasMaximum);
                    slider->setMode(var->controlCode);
                    slider->setTickCount(value->tickCount);
                    slider->setValue(value->value);
                    connect(slider, &VxSlider::editingStarted, this, &ControlStrip::editAboutToStart);
                    connect(slider, &VxSlider::sliderChanged, this, &ControlStrip::controlAdjusted);
                    control = slider;
                }
                break;
            }
            case kCurveVar: {
                const CurveValue* value = var->curveValue();
                ToneCurveWidget* editor = new ToneCurveWidget(host, curveModeFor(var->controlCode));
                curveControls.append(editor);
                editor->hide();
                editor->setCurve(value->curve);
                editor->setHueOffsetHandle(value->curve.hueOffset);
                if (value->hasGuide) editor->setGuidePoints(value->guidePoints);
                connect(editor, &ToneCurveWidget::curveChanged, this, &ControlStrip::controlAdjusted);
                connect(editor, &ToneCurveWidget::editingStarted, this, &ControlStrip::editAboutToStart);
                connect(editor, &ToneCurveWidget::rightClicked, this, &ControlStrip::curveMenuRequested);
                control = editor;
                break;
            }
            case kColorVar: {
                const ColorValue* value = var->colorValue();
                ColorChooserWidget* chooser =
                    new ColorChooserWidget(host, var->controlCode == kControlHueOnly ? 1 : 0);
                colorControls.append(chooser);
                chooser->hide();
                chooser->setColor(value->red, value->green, value->blue, value->fourth);
                connect(chooser, &ColorChooserWidget::colorChanged, this, &ControlStrip::controlAdjusted);
                connect(chooser, &ColorChooserWidget::editingStarted, this, &ControlStrip::editAboutToStart);
                control = chooser;
                break;
            }
            case kButtonVar: {
                VxTrayButton* button = new VxTrayButton(host);
                buttonControls.append(button);
                button->hide();
                button->setText(QString::fromUtf8(var->label().c_str()));
                connect(button, &VxTrayButton::buttonPressed, this, &ControlStrip::controlAdjusted);
                control = button;
                break;
            }
            case kChoiceVar: {
                const ChoiceValue* value = var->choiceValue();
                VxListChooser* chooser = new VxListChooser(host);
                listControls.append(chooser);
                chooser->hide();
                chooser->setHoverPreview(var->hoverPreview);
                chooser->setChoices(value->lists.count > 0 ? value->lists[0] : GrowArray<GrowString>());
                chooser->setCurrentIndex(value->selected);
                connect(chooser, &VxListChooser::itemAboutToChange, this, &ControlStrip::editAboutToStart);
                connect(chooser, &VxListChooser::itemChanged, this, &ControlStrip::controlAdjusted);
                connect(chooser, &VxListChooser::itemHovered, this, &ControlStrip::choiceHovered);
                connect(chooser, &VxListChooser::listToggled, this, &ControlStrip::heightChanged);
                control = chooser;
                break;
            }
            case kMultiChoiceVar: {
                if (var->controlCode != kControlColorSwatches) break;
                const MultiChoiceValue* value = var->multiChoiceValue();
                VxColorChoiceWidget* row = new VxColorChoiceWidget(host);
                colorChoiceControls.append(row);
                row->hide();
                row->setColors(swatchColors(*value));
                GrowArray<int32_t> selection;
                for (int32_t index : value->selection)
                    if (index >= 0 && index < row->colors.count) selection.append(index);
                if (selection.count == 0 && row->colors.count > 0) selection.append(0);
                row->setSelection(selection);
                connect(row, &VxColorChoiceWidget::selectionChanged, this, &ControlStrip::controlAdjusted);
                control = row;
                break;
            }
            case kFileVar: {
                const FileValue* value = var->fileValue();
                VxStringInputBox* box = new VxStringInputBox(host);
                stringControls.append(box);
                box->hide();
                box->setExtensions(value->extensions);
                box->setText(value->path, false);
                connect(box, &VxStringInputBox::editingStarted, this, &ControlStrip::editAboutToStart);
                connect(box, &VxStringInputBox::stringChanged, this, &ControlStrip::controlAdjusted);
                control = box;
                break;
            }
            default:
                break;
        }
        if (!control) continue;
        ControlEntry entry;
        entry.control = control;
        entry.tile = tile;
        entry.var = var;
        entry.index = i;
        controlTable.append(entry);
    }

    // A label under each control.
    for (int32_t i = 0; i < controlTable.count; ++i) {
        const ControlEntry& entry = controlTable[i];
        QLabel* label = new QLabel(QString::fromUtf8(entry.var->label().c_str()), host);
        if (onTop) {
            label->raise();
            entry.control->raise();
        } else {
            label->stackUnder(trayArea);
            entry.control->stackUnder(trayArea);
        }
        label->setVisible(entry.var->value->kind() != kButtonVar);
        label->setStyleSheet(QString("background-color:transparent;") +
                             "border-image: url(:/img/control_label_bg.png) 4 4 4 4;" + "border-top: 4px transparent;" +
                             "border-bottom: 4px transparent;" + "border-right: 4px transparent;" +
                             "border-left: 4px transparent;");
        // The margins pull the text 2 pixels into the 4-pixel border. The
        // toolkit lays a style-sheet border out as the label's contents
        // margins once the label is polished, and margins set afterwards
        // replace it rather than add to it (a negative one then shrinks
        // the label below its text, which cuts the text off): so the label
        // is polished first and its margins become the border less 2.
        label->ensurePolished();
        label->setContentsMargins(insetBy2(label->contentsMargins()));
        label->setAlignment(Qt::AlignHCenter);
        label->adjustSize();
        controlLabels.append(label);
    }

    // Sized and placed, then shown.
    layoutControls(true, toolOpen);
    for (const ControlEntry& entry : controlTable) entry.control->show();
    host->update();
}

void ControlStrip::controlAdjusted(QWidget* control) {
    rightClickedControl = nullptr;
    ControlEntry* entry = entryOf(control);
    if (!entry) return;
    rightClickedControl = entry;
    // A copy: the window's answer to the signals may rebuild the strip.
    const ControlEntry edited = *entry;
    ModVar* var = edited.var;
    if (!var) return;
    // A disabled tile is switched on before its parameter changes.
    emit controlAboutToBeEdited(edited);

    if (var->value) {
        switch (var->value->kind()) {
            case kCurveVar: {
                CurveValue* value = var->makeCurve();
                const uint8_t wrap = value->curve.wrap;
                value->curve = static_cast<ToneCurveWidget*>(control)->curve();
                if (value->curve.wrap != wrap) {
                    value->curve.wrap = wrap;
                    value->curve.rebuildTable();
                }
                break;
            }
            case kFloatVar: {
                const FloatValue* value = var->floatValue();
                float v = var->controlCode == kControlNumberBox ? static_cast<VxInputBox*>(control)->value()
                                                                 : static_cast<VxSlider*>(control)->value();
                // A typed number obeys the limits the value has switched on,
                // as the slider does.
                if (std::isnan(v)) v = value->hasMinimum ? value->minimum : 0.0f;
                if (value->hasMinimum && v < value->minimum) v = value->minimum;
                if (value->hasMaximum && v > value->maximum) v = value->maximum;
                var->setFloat(v);
                break;
            }
            case kFileVar:
                var->makeFile()->path = static_cast<VxStringInputBox*>(control)->text();
                break;
            case kColorVar: {
                const ColorChooserWidget* chooser = static_cast<ColorChooserWidget*>(control);
                float rgb[3];
                hsvToRgb(chooser->hue, chooser->saturation, chooser->value, rgb);
                ColorValue* value = var->colorValue();
                value->red = rgb[0] * 255.0f;
                value->green = rgb[1] * 255.0f;
                value->blue = rgb[2] * 255.0f;
                value->fourth = chooser->alpha * 255.0f;
                break;
            }
            case kChoiceVar:
                var->makeChoice()->selected = static_cast<VxListChooser*>(control)->currentIndex();
                break;
            case kMultiChoiceVar:
                if (var->controlCode == kControlColorSwatches)
                    var->makeMultiChoice()->selection = static_cast<VxColorChoiceWidget*>(control)->selection;
                break;
            default:
                break;
        }
    }
    // The tool and the tile hear of it, and the view renders it.
    emit controlEdited(edited);
    refreshControls();
}

void ControlStrip::refreshControls() {
    for (int32_t i = 0; i < controlTable.count; ++i) {
        const ControlEntry& entry = controlTable[i];
        if (!entry.var || !entry.var->value) continue;
        switch (entry.var->value->kind()) {
            case kFloatVar: {
                const float v = entry.var->floatValue()->value;
                if (entry.var->controlCode == kControlNumberBox) {
                    VxInputBox* box = static_cast<VxInputBox*>(entry.control);
                    if (box->value() != v) box->setValue(false, v);
                } else {
                    VxSlider* slider = static_cast<VxSlider*>(entry.control);
                    if (slider->value() != v) slider->setValue(v);
                }
                break;
            }
            case kCurveVar: {
                ToneCurveWidget* editor = static_cast<ToneCurveWidget*>(entry.control);
                const Curve& curve = entry.var->curveValue()->curve;
                if (sameCurve(editor->curve(), curve)) break;
                editor->setCurve(curve);
                editor->setHueOffsetHandle(curve.hueOffset);
                break;
            }
            case kChoiceVar: {
                VxListChooser* chooser = static_cast<VxListChooser*>(entry.control);
                const int32_t selected = entry.var->choiceValue()->selected;
                if (selected == chooser->currentIndex() || selected == chooser->hoveredIndex() || selected < 0) break;
                if (selected < chooser->choices().count) chooser->setCurrentIndex(selected);
                break;
            }
            default:
                break;
        }
    }
}

void ControlStrip::writeHoveredChoice(const ControlEntry& entry) {
    if (!entry.var) return;
    if (ChoiceValue* choice = entry.var->choiceValue())
        choice->selected = static_cast<VxListChooser*>(entry.control)->hoveredIndex();
}

// ---- The curve menu ----

void ControlStrip::buildCurveMenu() {
    curveMenu = new QMenu(host);
    copyCurveAction = curveMenu->addAction("Copy Curve");
    pasteCurveAction = curveMenu->addAction("Paste Curve");
    curveMenu->setStyleSheet(QString("*{") + "font-size:11px;" + "background:transparent;" +
                             "background-image:none;" +
                             "border-image: url(:/img/floating_menu_bg_plain.png) 8 8 8 8;" +
                             "border-top: 8px transparent;" + "border-bottom: 8px transparent;" +
                             "border-right: 8px transparent;" + "border-left: 8px transparent;" + "}" +
                             "QMenu::item::selected {background-color: #323232;}" +
                             "QMenu::item::disabled {color: #444444;}");
    connect(curveMenu, &QMenu::triggered, this, &ControlStrip::curveActionChosen);
    copiedCurve.reset();
}

void ControlStrip::controlRightClicked(QWidget* control) {
    rightClickedControl = entryOf(control);
    if (!rightClickedControl || !rightClickedControl->var || !rightClickedControl->var->curveValue()) return;
    if (!curveMenu) return;
    // "Paste Curve" only while the clipboard holds a curve.
    pasteCurveAction->setEnabled(copiedCurve != nullptr);
    curveMenu->popup(QCursor::pos() - QPoint(10, 10));
}

ControlStrip::CurveMenuEntry ControlStrip::curveMenuEntry(const QAction* action) const {
    if (!action) return CurveMenuEntry::kNone;
    if (action == copyCurveAction) return CurveMenuEntry::kCopy;
    if (action == pasteCurveAction) return CurveMenuEntry::kPaste;
    return CurveMenuEntry::kNone;
}

void ControlStrip::copyCurve() {
    if (!rightClickedControl || !rightClickedControl->var) return;
    const CurveValue* value = rightClickedControl->var->curveValue();
    if (!value) return;
    copiedCurve = std::make_unique<Curve>(value->curve);
}

// The record's curve editor takes the curve and its handle; the edit path
// writes them into the parameter and the window renders them.
void ControlStrip::pasteCurve() {
    if (!rightClickedControl || !rightClickedControl->var || !copiedCurve) return;
    if (!rightClickedControl->var->curveValue()) return;
    std::printf("pasted the curve!\n");
    std::fflush(stdout);
    pastedHuePosition = hueHandlePosition(copiedCurve->hueOffset);
    ToneCurveWidget* editor = qobject_cast<ToneCurveWidget*>(rightClickedControl->control);
    if (!editor) return;
    editor->setCurve(*copiedCurve);
    editor->setHuePosition(static_cast<float>(pastedHuePosition));
    controlAdjusted(editor);
}
