// MainWindow: the Pixel Inspector's hit test and its live readout under the
// pointer. The hit test turns a window point into a pixel of a document's
// output picture and reads that pixel from the picture the view published
// (under its display-image lock: a display pass holds the render lock for
// its whole length, and the readout must not wait for it).

#include <QLabel>

#include <algorithm>
#include <cmath>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "foundation/Mutex.h"
#include "desktop_only/widgets/PixelReadoutWindow.h"

namespace {

// A double as an int: clamped to the int range, NaN as 0, truncated.
int32_t truncatedInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int32_t>(v);
}

// The image column for a view position: (last - 0) * offset / span, held
// to 0..last; a span of 0 (a picture one pixel wide) gives column 0.
int32_t imageCoordinate(int32_t size, int offset, int span) {
    if (size < 2 || span <= 0) return 0;
    const double v = static_cast<double>(size - 1) * offset / span;
    if (!(v >= 0.0)) return 0;
    return std::min(size - 1, truncatedInt(v));
}

}  // namespace

void MainWindow::hitTestViews(int x, int y, PixelHit* hit, int32_t* tabId, int32_t* viewX, int32_t* viewY) {
    const QPoint p = mediaArea->mapFrom(this, QPoint(x, y)) - QPoint(2, 2);
    if (hit) hit->hit = false;
    const DocumentTab* found = nullptr;
    for (const DocumentTab& tab : documentTabs) {
        if (tab.view && tab.view->isVisible() && tab.view->geometry().contains(p)) {
            found = &tab;
            break;
        }
    }
    if (!found) return;
    VxMediaWidget* view = found->view;
    const QPoint q = view->mapFrom(mediaArea, p);
    if (hit && view->hasMedia) {
        MutexLocker shown(view->displayImageLock.get());
        const ImageBuffer& image = view->displayBuffer;
        const QRect r = view->shownImageRect;
        if (image.data && image.width > 0 && image.height > 0 && !r.isEmpty()) {
            const double d = screenDevicePixelRatio > 0.0f ? screenDevicePixelRatio : 1.0;
            hit->x = imageCoordinate(view->outputWidth, q.x() - r.left(), r.right() - r.left());
            hit->y = imageCoordinate(view->outputHeight, q.y() - r.top(), r.bottom() - r.top());
            const int32_t bx = truncatedInt((static_cast<double>(q.x()) - r.left() - view->shownOrigin.x()) * d);
            const int32_t by = truncatedInt((static_cast<double>(q.y()) - r.top() - view->shownOrigin.y()) * d);
            if (bx >= 0 && bx < image.width && by >= 0 && by < image.height) {
                // The effective channel count: 0 means 3; grey pictures
                // give their one value three times.
                const int32_t channels = image.channelCount();
                const float* pixel = image.floats() + (static_cast<int64_t>(by) * image.width + bx) * channels;
                for (int c = 0; c < 3; ++c) hit->values[c] = pixel[channels >= 3 ? c : 0];
                hit->hit = true;
            }
        }
    }
    if (tabId) *tabId = found->tabID;
    if (viewX) *viewX = q.x();
    if (viewY) *viewY = q.y();
}

void MainWindow::updateInspectorHover(const QPoint& windowPos) {
    if (!pixelSwatch || !pixelInspectorWindow || !pixelInspectorWindow->isVisible()) return;
    PixelHit hit;
    hitTestViews(windowPos.x(), windowPos.y(), &hit, nullptr, nullptr, nullptr);
    if (hit.hit) {
        pixelSwatch->hasPixel = true;
        pixelSwatch->reading.x = hit.x;
        pixelSwatch->reading.y = hit.y;
        for (int c = 0; c < 3; ++c) pixelSwatch->reading.values[c] = hit.values[c];
    } else if (pixelSwatch->hasPixel) {
        pixelSwatch->hasPixel = false;
    } else {
        return;
    }
    pixelSwatch->updateTexts();
    pixelSwatch->update();
}
