#pragma once
// The tests' view of the private state of the document view, the tray, the
// control strip and the main window: the friends these classes name. Each
// reader takes the lock the class takes for that state; the writers stand in
// for what a display pass or the user would do.

#include <QImage>
#include <QPoint>
#include <QRect>

#include "desktop_only/app/ControlStrip.h"
#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "foundation/ImageBuffer.h"
#include "foundation/Mutex.h"
#include "foundation/UndoStack.h"
#include "framework/CompoundFilter.h"
#include "support/DesktopTestHelpers.h"
#include "support/ImageBuilders.h"

class VxMediaWidgetTestAccess {
public:
    // While held, a display pass waits at its start with the render lock
    // held; passIsHeld tells that one waits there.
    static void holdPasses(VxMediaWidget& view, bool hold) { view.holdPasses = hold; }
    static bool passIsHeld(const VxMediaWidget& view) { return view.passIsHeld.load(); }
    static int32_t displayThreadsStarted(const VxMediaWidget& view) { return view.displayThreadsStarted.load(); }
    static int32_t passesCompleted(const VxMediaWidget& view) { return view.passesCompleted.load(); }

    static int32_t chainCount(const VxMediaWidget& view) {
        MutexLocker guard(view.stateLock.get());
        return view.chainClones.count;
    }
    static bool geometryChanged(const VxMediaWidget& view) {
        MutexLocker guard(view.stateLock.get());
        return view.geometryChanged;
    }
    static bool previewSourceStale(const VxMediaWidget& view) { return view.previewSourceStale.load(); }

    // What the last pass published.
    static ImageBuffer shownBuffer(const VxMediaWidget& view) {
        MutexLocker guard(view.displayImageLock.get());
        return testimages::duplicateFloat(view.displayBuffer);
    }
    static QImage shownImage(const VxMediaWidget& view) {
        MutexLocker guard(view.displayImageLock.get());
        return view.displayImage.copy();
    }
    static QRect shownImageRect(const VxMediaWidget& view) {
        MutexLocker guard(view.displayImageLock.get());
        return view.shownImageRect;
    }

    // Publishes a picture as a pass would (a copy of buffer at rect, its
    // visible part starting at origin) for an output picture of
    // outputWidth x outputHeight, and marks the view as holding media.
    static void publish(VxMediaWidget& view, const ImageBuffer& buffer, const QRect& rect, const QPoint& origin,
                        int32_t outputWidth, int32_t outputHeight) {
        {
            MutexLocker guard(view.displayImageLock.get());
            view.displayBuffer = testimages::duplicateFloat(buffer);
            view.shownImageRect = rect;
            view.shownOrigin = origin;
        }
        view.outputWidth = outputWidth;
        view.outputHeight = outputHeight;
        view.setHasMedia(true);
    }
    // Takes the published picture away again.
    static void unpublish(VxMediaWidget& view) {
        MutexLocker guard(view.displayImageLock.get());
        view.displayBuffer.release();
    }
};

class TrayWidgetTestAccess {
public:
    // The chains, to build a tray's contents the way a loaded document has
    // them without going through the window.
    static CompoundFilter& masterList(TrayWidget& tray) { return *tray.masterList_; }
    static CompoundFilter& preList(TrayWidget& tray) { return *tray.preList_; }
    static GrowArray<TrayNode*>& nodes(TrayWidget& tray) { return tray.nodes; }
    static UndoStack* undoStack(TrayWidget& tray) { return tray.undoStack.get(); }
    static QAction* nestAction(TrayWidget& tray) { return tray.nestAction; }
};

// The strip's records, its controls by kind, the slide's state and the
// curve menu with its clipboard, read and set as the tests need.
class ControlStripTestAccess {
public:
    static GrowArray<ControlEntry>& controlTable(ControlStrip& strip) { return strip.controlTable; }
    static ControlEntry*& rightClickedControl(ControlStrip& strip) { return strip.rightClickedControl; }
    static GrowArray<QLabel*>& controlLabels(ControlStrip& strip) { return strip.controlLabels; }
    static GrowArray<VxTrayButton*>& buttonControls(ControlStrip& strip) { return strip.buttonControls; }
    static GrowArray<VxListChooser*>& listControls(ControlStrip& strip) { return strip.listControls; }
    static GrowArray<VxSlider*>& sliderControls(ControlStrip& strip) { return strip.sliderControls; }
    static GrowArray<VxInputBox*>& inputBoxControls(ControlStrip& strip) { return strip.inputBoxControls; }
    static GrowArray<VxStringInputBox*>& stringControls(ControlStrip& strip) { return strip.stringControls; }
    static GrowArray<ColorChooserWidget*>& colorControls(ControlStrip& strip) { return strip.colorControls; }
    static GrowArray<VxColorChoiceWidget*>& colorChoiceControls(ControlStrip& strip) {
        return strip.colorChoiceControls;
    }
    static GrowArray<ToneCurveWidget*>& curveControls(ControlStrip& strip) { return strip.curveControls; }

    static float& controlSlideOffset(ControlStrip& strip) { return strip.controlSlideOffset; }
    static int32_t& controlHideLine(ControlStrip& strip) { return strip.controlHideLine; }
    static int32_t& controlShowLine(ControlStrip& strip) { return strip.controlShowLine; }
    static int32_t& controlSlideStep(ControlStrip& strip) { return strip.controlSlideStep; }
    static QTimer* animationTimer(ControlStrip& strip) { return strip.nodeControlAnimationTimer; }
    static int mediaAreaBottom(const ControlStrip& strip) { return strip.mediaAreaBottom(); }

    static QMenu* curveMenu(ControlStrip& strip) { return strip.curveMenu; }
    static QAction* copyCurveAction(ControlStrip& strip) { return strip.copyCurveAction; }
    static QAction* pasteCurveAction(ControlStrip& strip) { return strip.pasteCurveAction; }
    static const Curve* copiedCurve(const ControlStrip& strip) { return strip.copiedCurve.get(); }
    static double pastedHuePosition(const ControlStrip& strip) { return strip.pastedHuePosition; }
};

// The main window's state object, read and set as the tests need (the
// window's own files reach it as `d`).
class MainWindowTestAccess {
public:
    static MainWindow::State& state(MainWindow& window) { return *window.d; }
};

// The same as a free function: the state's type is private to the window, so
// the tests hold it as auto.
inline auto& windowState(MainWindow& window) { return MainWindowTestAccess::state(window); }

// Waits until the window's saves have ended (with saves) and every tab's view
// is idle, so that the window can go with no work in flight.
inline void waitForWindowIdle(MainWindow& window, bool saves = true) {
    if (saves) waitUntil([&] { return !windowState(window).saveQueue.isBusy(); }, 60000);
    for (DocumentTab& tab : windowState(window).documentTabs) waitForDisplayIdle(tab.view);
}
