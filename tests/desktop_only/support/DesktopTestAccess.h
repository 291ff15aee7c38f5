#pragma once
// The tests' view of the private state of the document view and the tray:
// the friends both classes name. Each reader takes the lock the class takes
// for that state; the writers stand in for what a display pass or the
// user would do.

#include <QImage>
#include <QPoint>
#include <QRect>

#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "foundation/ImageBuffer.h"
#include "foundation/Mutex.h"
#include "foundation/UndoStack.h"
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
    static GrowArray<TrayNode*>& nodes(TrayWidget& tray) { return tray.nodes; }
    static UndoStack* undoStack(TrayWidget& tray) { return tray.undoStack.get(); }
    static QAction* nestAction(TrayWidget& tray) { return tray.nestAction; }
};
