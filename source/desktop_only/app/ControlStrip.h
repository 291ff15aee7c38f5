#pragma once
// ControlStrip: the row of parameter controls that floats over the bottom
// of the view area and edits the tile selected in the tray (or an open
// tool's own parameters).
//
// The strip builds one control per shown parameter, chosen by the kind of
// its value and its control code, with a label under each; sizes the
// controls and centres the row over the view area; writes a control's new
// value into its parameter; brings the controls in line with parameters
// changed elsewhere; slides the row away under the view's bottom edge and
// back as the pointer moves; and holds the curve controls' context menu
// with its curve clipboard.
//
// The controls and labels are children of the host window, so that they
// stack among its panes, but the strip makes them, deletes them on the next
// build and is the only receiver of their signals. The strip never calls
// the window: it reports through its signals, and the window passes in what
// it needs of the window's own state (whether a tool is open, the auto-hide
// preference, the tool panel's left edge).
//
// The window's view area and tray area give the strip its geometry: the row
// is centred on the view area's width and sits on a base line 20 pixels
// above its bottom edge, or 30 above the tray area's bottom while a tool is
// open. Everything runs on the interface thread.

#include <QObject>

#include <cstdint>
#include <memory>

#include "foundation/GrowArray.h"

class ColorChooserWidget;
class Curve;
class ImageMod;
class ModVar;
class QAction;
class QLabel;
class QMenu;
class QPoint;
class QTimer;
class QWidget;
class ToneCurveWidget;
class VxColorChoiceWidget;
class VxInputBox;
class VxListChooser;
class VxSlider;
class VxStringInputBox;
class VxTrayButton;

// One control of the strip.
struct ControlEntry {
    QWidget* control = nullptr;  // owned through the strip's table
    ImageMod* tile = nullptr;    // the tile whose parameter is edited; null for a tool's own; not owned
    ModVar* var = nullptr;       // the parameter; not owned
    int32_t index = 0;           // the parameter's position in the list the strip was built from
};

class ControlStrip : public QObject {
    Q_OBJECT
public:
    // host: the window the controls and labels are children of (and the
    // strip's own parent); mediaArea and trayArea: its view and tray areas.
    ControlStrip(QWidget* host, QWidget* mediaArea, QWidget* trayArea);
    ~ControlStrip() override;
    ControlStrip(const ControlStrip&) = delete;
    ControlStrip& operator=(const ControlStrip&) = delete;

    // ---- Building (ControlStrip.cpp) ----
    // Throws the old strip away (its controls are hidden at once and
    // deleted back in the event loop) and builds one for vars: the
    // parameters of tile, or a tool's own when tile is null. onTop raises
    // the new controls above every sibling (the crop tool's); otherwise each
    // is stacked under the tray area. toolOpen, here and below: a tool
    // overlay is open (the row then sits above the tray area's bottom, and
    // no slide starts).
    void buildControls(const GrowArray<ModVar*>& vars, ImageMod* tile, bool onTop, bool toolOpen);
    int32_t controlCount() const { return controlTable.count; }
    // The first record whose control is control; null when none.
    const ControlEntry* findControlEntry(const QWidget* control) const;

    // ---- Edits (ControlStrip.cpp) ----
    // Writes the control's value into its parameter: controlAboutToBeEdited
    // before, controlEdited after, then every control is brought in line.
    void controlAdjusted(QWidget* control);
    // Brings every slider, number box, curve editor and list chooser in line
    // with its parameter (after an undo, a remix or a hover preview).
    void refreshControls();
    // A list chooser's hover preview: its parameter takes the hovered entry.
    void writeHoveredChoice(const ControlEntry& entry);

    // ---- The curve menu (ControlStrip.cpp) ----
    // Makes the menu with its two entries; the clipboard starts empty.
    void buildCurveMenu();
    // Remembers the record of control; for a curve, pops up the menu
    // with "Paste Curve" enabled only while the clipboard holds a curve.
    void controlRightClicked(QWidget* control);
    enum class CurveMenuEntry { kNone, kCopy, kPaste };
    CurveMenuEntry curveMenuEntry(const QAction* action) const;
    // The curve of the record adjusted or right-clicked last into the
    // clipboard, and the clipboard into that record's curve editor.
    void copyCurve();
    void pasteCurve();

    // ---- Layout and the slide (ControlStripLayout.cpp) ----
    // Sizes every control (resize true), then places the row and its labels.
    void layoutControls(bool resize, bool toolOpen);
    // A list chooser opened or closed its list: the hide line follows it.
    void controlHeightChanged();
    // Starts the slide away or back for a hover move from before to at (in
    // the host's coordinates) left of panelLeft.
    void slideOnHover(const QPoint& at, const QPoint& before, int panelLeft, bool autohide, bool toolOpen);
    // One tick of the slide: moves the row and stops at either end.
    void nodeControlAnimationTimerFired(bool toolOpen);
    // How far the row has slid away; 0 when it is fully shown.
    float slideOffset() const { return controlSlideOffset; }

signals:
    // An edit of control begins (a press, a first hover over an open list),
    // the moment for an undo record. Buttons and colour swatch rows send none.
    void editAboutToStart(QWidget* control);
    // The control's value is about to be written into entry's parameter.
    void controlAboutToBeEdited(const ControlEntry& entry);
    // The control's value was written into entry's parameter.
    void controlEdited(const ControlEntry& entry);
    // The pointer is over an entry of a list chooser's open list.
    void choiceHovered(QWidget* control);
    // A right click on a control asks for the curve menu.
    void curveMenuRequested(QWidget* control);
    // A list chooser opened or closed its list.
    void heightChanged(QWidget* control);
    // An entry of the curve menu was chosen.
    void curveActionChosen(QAction* action);
    // The slide's 30 ms timer ticked: the receiver runs
    // nodeControlAnimationTimerFired with the window's tool state.
    void slideTimerFired();

private:
    friend class ControlStripTestAccess;

    ControlEntry* entryOf(const QWidget* control);
    // Sets controlHideLine and controlShowLine from the placed controls.
    void computeControlLines();
    // The bottom edge (last pixel row) of the view area in the host.
    int mediaAreaBottom() const;

    QWidget* host = nullptr;
    QWidget* mediaArea = nullptr;
    QWidget* trayArea = nullptr;

    GrowArray<ControlEntry> controlTable;          // one record per control, in strip order
    ControlEntry* rightClickedControl = nullptr;   // points into controlTable, or null
    GrowArray<QLabel*> controlLabels;              // entry i labels record i of controlTable
    // The controls grouped by kind for the layout; they own nothing.
    GrowArray<VxTrayButton*> buttonControls;
    GrowArray<VxListChooser*> listControls;
    GrowArray<VxSlider*> sliderControls;
    GrowArray<VxInputBox*> inputBoxControls;
    GrowArray<VxStringInputBox*> stringControls;
    GrowArray<ColorChooserWidget*> colorControls;
    GrowArray<VxColorChoiceWidget*> colorChoiceControls;
    GrowArray<ToneCurveWidget*> curveControls;

    // The slide: the offset added to every control's and label's y, the
    // pointer heights that start it (window y), the pixels per tick
    // (positive: away, negative: back) and its 30 ms timer.
    float controlSlideOffset = 0.0f;
    int32_t controlHideLine = 0;
    int32_t controlShowLine = 0;
    int32_t controlSlideStep = 0;
    QTimer* nodeControlAnimationTimer = nullptr;  // a child of the strip

    QMenu* curveMenu = nullptr;                   // a child of the host
    QAction* copyCurveAction = nullptr;
    QAction* pasteCurveAction = nullptr;
    std::unique_ptr<Curve> copiedCurve;           // the curve clipboard
    double pastedHuePosition = 0.0;               // the hue handle position of the last paste
};

// The hue handle position of a curve with this hue offset:
// (180 - offset) / 180 in double precision, clamped to [-1, 1].
double hueHandlePosition(double hueOffset);
