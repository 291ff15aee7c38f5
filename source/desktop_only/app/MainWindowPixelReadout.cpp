// MainWindow: the Pixel Inspector's hit test and its live readout under the
// pointer. The hit test finds the document view under a window point; the
// view turns the point into a pixel of the document's output picture and
// reads that pixel from the picture it published.

#include <QLabel>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/widgets/PixelReadoutWindow.h"

void MainWindow::hitTestViews(int x, int y, PixelHit* hit, int32_t* tabId, int32_t* viewX, int32_t* viewY) {
    const QPoint p = d->mediaArea->mapFrom(this, QPoint(x, y)) - QPoint(2, 2);
    if (hit) hit->hit = false;
    const DocumentTab* found = nullptr;
    for (const DocumentTab& tab : d->documentTabs) {
        if (tab.view && tab.view->isVisible() && tab.view->geometry().contains(p)) {
            found = &tab;
            break;
        }
    }
    if (!found) return;
    VxMediaWidget* view = found->view;
    const QPoint q = view->mapFrom(d->mediaArea, p);
    if (hit) hit->hit = view->sampleAtViewPoint(q, &hit->x, &hit->y, hit->values);
    if (tabId) *tabId = found->tabID;
    if (viewX) *viewX = q.x();
    if (viewY) *viewY = q.y();
}

void MainWindow::updateInspectorHover(const QPoint& windowPos) {
    if (!d->pixelSwatch || !d->pixelInspectorWindow || !d->pixelInspectorWindow->isVisible()) return;
    PixelHit hit;
    hitTestViews(windowPos.x(), windowPos.y(), &hit, nullptr, nullptr, nullptr);
    if (hit.hit) {
        PixelReading reading;
        reading.x = hit.x;
        reading.y = hit.y;
        for (int c = 0; c < 3; ++c) reading.values[c] = hit.values[c];
        d->pixelSwatch->showReading(reading);
    } else if (d->pixelSwatch->hasPixel()) {
        d->pixelSwatch->clearReading();
    }
}
