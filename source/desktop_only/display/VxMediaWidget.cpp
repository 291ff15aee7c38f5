#include "desktop_only/display/VxMediaWidget.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

#include "desktop_only/display/DisplayGeometry.h"
#include "framework/ModListHelpers.h"
#include "desktop_only/display/VxHistogramWidget.h"
#include "foundation/GrowString.h"
#include "foundation/Mutex.h"
#include "foundation/WorkerThread.h"
#include "framework/ImageLoaderSaver.h"
#include "framework/ImageMod.h"
#include "render/RenderContext.h"

namespace {

constexpr int kUpdateDelayMs = 300;        // display update after a resize
constexpr int kDragThreshold = 3;          // pixels a press may move and still count as a click
constexpr float kWheelZoomStep = 1.1f;     // zoom factor of one wheel notch
// The display thread's priority: the lowest ordinary one. The idle priority
// (-1) is SCHED_IDLE on Linux, which runs the thread only while no other
// thread wants the processor: a batch save in the background, or any busy
// program, would freeze the view.
constexpr float kDisplayThreadPriority = 0.17f;

}  // namespace

// ---- Construction ----

VxMediaWidget::VxMediaWidget(QWidget* parent)
    : QWidget(parent),
      stateLock(std::make_unique<Mutex>()),
      renderLock(std::make_unique<Mutex>()),
      videoLock(std::make_unique<Mutex>()),
      videoLock2(std::make_unique<Mutex>()),
      displayImageLock(std::make_unique<Mutex>()),
      renderContext(std::make_unique<RenderContext>(1)),
      displayImage(0, 0, QImage::Format_RGB32) {
    if (gImageLoaderSaver) {
        ImageBuffer bytes;
        bytes.channels = 3;
        if (gImageLoaderSaver->load8(GrowString(":/img/default_image_thumb.png"), &bytes, false)) {
            placeholderImage.channels = 3;
            ImageBuffer::copyFloatFrom8(placeholderImage, bytes, true);
        }
    }
    updateTimer = new QTimer(this);
    updateTimer->setSingleShot(true);
    updateTimer->setInterval(kUpdateDelayMs);
    connect(updateTimer, &QTimer::timeout, this, &VxMediaWidget::updateDisplayTimerFired);
    connect(this, &VxMediaWidget::repaintDisplaySignal, this, &VxMediaWidget::repaintDisplaySlot);

    histogramWindow = new VxHistogramWindow(this);
    connect(histogramWindow, &VxHistogramWindow::windowResized, this, &VxMediaWidget::histogramWindowResized);
    histogramWindow->move(0, 0);
    histogramWindow->resize(300, 200);
    histogramWindow->hide();
    setMouseTracking(false);
}

VxMediaWidget::~VxMediaWidget() {
    // Never free what a display thread still uses: wait until the last one
    // has made its final access.
    while (activeDisplayThreads.load(std::memory_order_acquire) != 0) QThread::msleep(1);
    freeTiles(chainClones);
    freeTiles(drawnGeometryTiles);
    sourceOwner.reset();
    sourceImage = nullptr;
}

// ---- Flags ----

void VxMediaWidget::setDirty() {
    MutexLocker guard(stateLock.get());
    dirty = true;
}

void VxMediaWidget::setGeometryChanged() {
    MutexLocker guard(stateLock.get());
    geometryChanged = true;
}

void VxMediaWidget::setRenderCacheReset() {
    MutexLocker guard(stateLock.get());
    renderCacheReset = true;
}

void VxMediaWidget::setVideoPositionChanged() {
    MutexLocker guard(stateLock.get());
    videoPositionChanged = true;
}

void VxMediaWidget::setPanOffset(float x, float y) {
    MutexLocker guard(stateLock.get());
    panX = std::isfinite(x) ? x : 0.0f;
    panY = std::isfinite(y) ? y : 0.0f;
}

void VxMediaWidget::resetZoomAndPan() {
    MutexLocker guard(stateLock.get());
    fitMode = true;
    zoom = 1.0f;
    panX = panY = 0.0f;
}

bool VxMediaWidget::hasVideoSource() const {
    MutexLocker video(videoLock.get());
    return videoSource != nullptr;
}

bool VxMediaWidget::atFullSize() const {
    MutexLocker guard(stateLock.get());
    return !fitMode && zoom >= 1.0f;
}

// ---- The chain and the display passes ----

void VxMediaWidget::displayChain(const GrowArray<ImageMod*>& chain) {
    {
        MutexLocker guard(stateLock.get());
        freeTiles(chainClones);
        for (int32_t i = 0; i < chain.count; ++i)
            if (ImageMod* clone = duplicateMod(*chain[i])) chainClones.append(clone);
    }
    const int32_t oldWidth = outputWidth;
    const int32_t oldHeight = outputHeight;
    updateOutputSize(applyGeometric, applyGeometric, applyGeometric);
    if (outputWidth != oldWidth || outputHeight != oldHeight) {
        updateImageRect();
        setGeometryChanged();
    }
    requestDisplayPass();
}

GrowArray<ImageMod*> VxMediaWidget::cloneChainLocked() const {
    GrowArray<ImageMod*> chain;
    for (int32_t i = 0; i < chainClones.count; ++i)
        if (chainClones[i])
            if (ImageMod* clone = duplicateMod(*chainClones[i])) chain.append(clone);
    return chain;
}

GrowArray<ImageMod*> VxMediaWidget::copyChain() const {
    MutexLocker guard(stateLock.get());
    return cloneChainLocked();
}

bool VxMediaWidget::startDisplayThread() {
    if (!threadLock.tryLock()) return false;
    activeDisplayThreads.fetch_add(1, std::memory_order_acq_rel);
    displayThreadsStarted.fetch_add(1);
    startWorkerThread(displayThreadLoop, this, kDisplayThreadPriority);
    return true;
}

void VxMediaWidget::requestDisplayPass() {
    setDirty();
    startDisplayThread();
}

bool VxMediaWidget::displayIdle() const {
    if (threadLock.isLocked()) return false;
    MutexLocker guard(stateLock.get());
    return !dirty;
}

void VxMediaWidget::stopDisplayPasses() { threadLock.lock(); }

// ---- Geometry on the interface thread ----

void VxMediaWidget::updateOutputSize(bool useCrop, bool useBorders, bool useSizing) {
    if (!sourceImage) return;
    MutexLocker guard(stateLock.get());
    int32_t w = sourceWidth;
    int32_t h = sourceHeight;
    const GrowArray<ImageMod*> ordered = orderModsByChainGroup(chainClones);
    if (displayOutputSize(ordered, sourceWidth, sourceHeight, useCrop, useBorders, useSizing, w, h)) {
        outputWidth = w;
        outputHeight = h;
    } else {
        outputWidth = sourceWidth;
        outputHeight = sourceHeight;
    }
}

float VxMediaWidget::fitScale() const { return fitScaleFor(outputWidth, outputHeight, width(), height()); }

void VxMediaWidget::updateImageRect() {
    ViewPlacement p;
    {
        MutexLocker guard(stateLock.get());
        OutputGeometry geometry;
        const GrowArray<ImageMod*> ordered = orderModsByChainGroup(chainClones);
        if (sourceWidth > 0 && sourceHeight > 0)
            placePicture(ordered, sourceWidth, sourceHeight, applyGeometric, width(), height(), fitMode, zoom, panX,
                         panY, p, geometry);
    }
    imageRect = logicalPictureRect(p, screenPixelRatio());
    emit imageRepositionedSignal();
}

void VxMediaWidget::setZoom(float newZoom, float anchorX, float anchorY) {
    if (!std::isfinite(newZoom)) return;
    if (anchorX < 0.0f || anchorY < 0.0f) {
        const QPoint cursor = mapFromGlobal(QCursor::pos());
        anchorX = static_cast<float>(cursor.x());
        anchorY = static_cast<float>(cursor.y());
    }
    const float fit = fitScale();
    float z = newZoom < fit ? fit : newZoom;
    if (z > 1.0f) z = 1.0f;
    bool changed = false;
    {
        MutexLocker guard(stateLock.get());
        const float old = fitMode ? fit : zoom;
        if (z != old && outputWidth > 0 && outputHeight > 0) {
            // Keep the picture point under the anchor where it is.
            const float oldW = outputWidth * old, oldH = outputHeight * old;
            const float oldLeft = oldW <= width() ? (width() - oldW) / 2.0f : (width() - oldW) / 2.0f + panX;
            const float oldTop = oldH <= height() ? (height() - oldH) / 2.0f : (height() - oldH) / 2.0f + panY;
            const float px = (anchorX - oldLeft) / old, py = (anchorY - oldTop) / old;
            const float newW = outputWidth * z, newH = outputHeight * z;
            panX = (anchorX - px * z) - (width() - newW) / 2.0f;
            panY = (anchorY - py * z) - (height() - newH) / 2.0f;
            // Clamp so the picture keeps covering the view.
            const float limitX = newW > width() ? (newW - width()) / 2.0f : 0.0f;
            const float limitY = newH > height() ? (newH - height()) / 2.0f : 0.0f;
            panX = panX > limitX ? limitX : (panX < -limitX ? -limitX : panX);
            panY = panY > limitY ? limitY : (panY < -limitY ? -limitY : panY);
            changed = true;
        }
        zoom = z;
        fitMode = z == fit;
        if (changed) dirty = true;
    }
    if (changed) {
        updateImageRect();
        startDisplayThread();
        update();
    }
}

bool VxMediaWidget::renderScaledSource(ImageBuffer* target, int32_t width, int32_t height) {
    if (!target || width < 1 || height < 1) return false;
    GrowArray<ImageMod*> chain = copyChain();
    const bool drawn = renderScaledSource(target, width, height, chain, nullptr);
    freeTiles(chain);
    return drawn;
}

bool VxMediaWidget::renderScaledSource(ImageBuffer* target, int32_t width, int32_t height,
                                       const GrowArray<ImageMod*>& geometryTiles, float* scale) {
    if (!target || width < 1 || height < 1) return false;
    // The source is replaced only on this thread and never written in
    // place, so it is read here without the render lock: a hover preview or
    // a chooser thumbnail does not wait for a display pass to end.
    const std::shared_ptr<const ImageBuffer> source = sourceOwner;
    if (!source || !source->data) return false;
    const GrowArray<ImageMod*> ordered = orderModsByChainGroup(geometryTiles);
    OutputGeometry geometry;
    if (!displayGeometry(ordered, source->width, source->height, applyGeometric, width, height, geometry) ||
        !drawDisplaySource(*source, geometry, nullptr, *target))
        return false;
    if (scale) *scale = target->scale;
    return true;
}

// ---- The source ----

void VxMediaWidget::setSource(ImageBuffer* image, std::unique_ptr<ImageMetadata> metadata) {
    previewSourceStale = true;
    {
        MutexLocker guard(renderLock.get());
        sourceOwner.reset(image);
        sourceImage = image;
        sourceMetadata = std::move(metadata);
        ++sourceGeneration;
        geometryValid = false;
    }
    sourceWidth = image ? image->width : -1;
    sourceHeight = image ? image->height : -1;
}

void VxMediaWidget::clearMedia() {
    previewSourceStale = true;
    {
        MutexLocker guard(renderLock.get());
        sourceOwner.reset();
        sourceImage = nullptr;
        sourceMetadata.reset();
        ++sourceGeneration;
        {
            MutexLocker video(videoLock.get());
            videoSource = nullptr;  // this build never holds one
            videoTimes[1].value = 0;
            videoTimes[2].value = 0;
        }
        hasMedia_ = false;
        {
            MutexLocker shown(displayImageLock.get());
            displayImage = QImage(0, 0, QImage::Format_RGB32);
            displayBuffer.release();
            displayBuffer.owns = 1;
        }
        visibleBuffer.release();
        visibleBuffer.owns = 1;
        geometryBuffer.release();
        geometryBuffer.owns = 1;
        geometryValid = false;
        if (histogramWindow && histogramWindow->histogram) histogramWindow->histogram->setHasData(false);
    }
    update();
}

void VxMediaWidget::rotateSource(bool clockwise) {
    previewSourceStale = true;
    // The photo is turned before the render lock is taken: only this thread
    // replaces the source, and never writes it in place, so a running pass
    // goes on meanwhile and the swap below waits only for its end.
    const std::shared_ptr<const ImageBuffer> source = sourceOwner;
    if (!source || !source->data || source->width <= 0 || source->height <= 0) return;
    const int32_t W = source->width, H = source->height, n = source->channelCount();
    auto turnedImage = std::make_unique<ImageBuffer>();
    if (!turnedImage->allocateFloat(H, W, n)) return;
    const float* in = source->floats();
    float* out = turnedImage->floats();
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const int32_t tx = clockwise ? H - 1 - y : y;
            const int32_t ty = clockwise ? x : W - 1 - x;
            const float* p = in + (static_cast<int64_t>(y) * W + x) * n;
            float* q = out + (static_cast<int64_t>(ty) * H + tx) * n;
            for (int32_t c = 0; c < n; ++c) q[c] = p[c];
        }
    turnedImage->scale = source->scale;
    std::unique_ptr<ImageMetadata> turnedMetadata;
    if (sourceMetadata) {
        turnedMetadata = sourceMetadata->clone();
        std::swap(turnedMetadata->width, turnedMetadata->height);
    }
    {
        MutexLocker guard(renderLock.get());
        MutexLocker video(videoLock.get());
        // Replaced, not overwritten: a queued save may share the old one.
        sourceImage = turnedImage.get();
        sourceOwner = std::move(turnedImage);
        if (turnedMetadata) sourceMetadata = std::move(turnedMetadata);
        ++sourceGeneration;
        geometryValid = false;
        // A video source would be turned here; this build has none.
    }
    std::swap(sourceWidth, sourceHeight);
    updateOutputSize(applyGeometric, applyGeometric, applyGeometric);
    updateImageRect();
    setGeometryChanged();
}

void VxMediaWidget::stepFrame(int32_t delta) {
    if (!videoSource) return;  // always so in this build
    previewSourceStale = true;
    {
        MutexLocker guard(videoLock2.get());
        pendingSeeks.count = 0;
        pendingFrameSteps.append(delta);
    }
    setVideoPositionChanged();
    setRenderCacheReset();
    requestDisplayPass();
}

// ---- The published picture ----

namespace {

// The output picture's column (or row) under an offset into the shown
// rectangle: (size - 1) * offset / span, held to 0..size - 1; a picture one
// pixel wide, or a span of 0, gives 0.
int32_t imageCoordinate(int32_t size, int offset, int span) {
    if (size < 2 || span <= 0) return 0;
    const double v = static_cast<double>(size - 1) * offset / span;
    if (!(v >= 0.0)) return 0;
    return std::min(size - 1, saturatingInt(v));
}

// The three values of pixel (x, y) of a float picture (inside it): the
// effective channel count's first three samples, a grey picture's one value
// three times.
void readPixel(const ImageBuffer& image, int32_t x, int32_t y, float values[3]) {
    const int32_t channels = image.channelCount();
    const float* pixel = image.floats() + (static_cast<int64_t>(y) * image.width + x) * channels;
    for (int c = 0; c < 3; ++c) values[c] = pixel[channels >= 3 ? c : 0];
}

bool insidePicture(const ImageBuffer& image, int32_t x, int32_t y) {
    return x >= 0 && x < image.width && y >= 0 && y < image.height;
}

}  // namespace

bool VxMediaWidget::sampleAtViewPoint(const QPoint& at, int32_t* imageX, int32_t* imageY, float values[3]) const {
    if (!hasMedia_) return false;
    // The published picture, under the display-image lock (a pass holds the
    // render lock for its whole length; the readout must not wait for it).
    MutexLocker shown(displayImageLock.get());
    const ImageBuffer& image = displayBuffer;
    const QRect r = shownImageRect;
    if (!image.data || image.width < 1 || image.height < 1 || r.isEmpty()) return false;
    const double d = screenPixelRatio();
    if (imageX) *imageX = imageCoordinate(outputWidth, at.x() - r.left(), r.right() - r.left());
    if (imageY) *imageY = imageCoordinate(outputHeight, at.y() - r.top(), r.bottom() - r.top());
    const int32_t bx = saturatingInt((static_cast<double>(at.x()) - r.left() - shownOrigin.x()) * d);
    const int32_t by = saturatingInt((static_cast<double>(at.y()) - r.top() - shownOrigin.y()) * d);
    if (!insidePicture(image, bx, by)) return false;
    readPixel(image, bx, by, values);
    return true;
}

bool VxMediaWidget::sampleAtImagePoint(int32_t x, int32_t y, float values[3]) const {
    if (!hasMedia_) return false;
    MutexLocker shown(displayImageLock.get());
    const ImageBuffer& image = displayBuffer;
    if (!image.data || image.width < 1 || image.height < 1) return false;
    // The inverse of the hit test's mapping, so that the pixel found is the
    // one that was clicked.
    const QRect r = shownImageRect;
    const double dpr = screenPixelRatio();
    const double spanX = outputWidth > 1 ? static_cast<double>(outputWidth - 1) : 1.0;
    const double spanY = outputHeight > 1 ? static_cast<double>(outputHeight - 1) : 1.0;
    const double fx = outputWidth > 1 ? (r.right() - r.left()) * static_cast<double>(x) / spanX : 0.0;
    const double fy = outputHeight > 1 ? (r.bottom() - r.top()) * static_cast<double>(y) / spanY : 0.0;
    const int32_t px = saturatingInt((fx - shownOrigin.x()) * dpr);
    const int32_t py = saturatingInt((fy - shownOrigin.y()) * dpr);
    if (!insidePicture(image, px, py)) return false;
    readPixel(image, px, py, values);
    return true;
}

// ---- Slots and events ----

void VxMediaWidget::updateDisplayTimerFired() {
    setGeometryChanged();
    requestDisplayPass();
}

void VxMediaWidget::repaintDisplaySlot() { update(); }

void VxMediaWidget::histogramWindowResized(VxSubWindow*) {
    if (histogramWindow && histogramWindow->histogram) histogramWindow->histogram->update();
}

void VxMediaWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    MutexLocker shown(displayImageLock.get());
    if (displayImage.isNull() || displayImage.width() < 1) return;
    const float dpr = screenPixelRatio();
    displayImage.setDevicePixelRatio(dpr);
    const QPointF at((shownImageRect.left() + shownOrigin.x()), (shownImageRect.top() + shownOrigin.y()));
    painter.drawImage(at, displayImage);
}

void VxMediaWidget::resizeEvent(QResizeEvent*) {
    {
        MutexLocker guard(stateLock.get());
        viewWidthForPass = width();
        viewHeightForPass = height();
    }
    updateImageRect();
    updateTimer->start();
}

void VxMediaWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed = true;
    dragging = false;
    pressPosition = event->pos();
    MutexLocker guard(stateLock.get());
    panAtPress = QPointF(panX, panY);
}

void VxMediaWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed) return;
    const QPoint delta = event->pos() - pressPosition;
    if (!dragging && delta.manhattanLength() < kDragThreshold) return;
    dragging = true;
    const float fit = fitScale();
    float z, oldX, oldY;
    {
        MutexLocker guard(stateLock.get());
        z = fitMode ? fit : zoom;
        oldX = panX;
        oldY = panY;
    }
    const float w = outputWidth * z, h = outputHeight * z;
    const float limitX = w > width() ? (w - width()) / 2.0f : 0.0f;
    const float limitY = h > height() ? (h - height()) / 2.0f : 0.0f;
    float x = static_cast<float>(panAtPress.x()) + delta.x();
    float y = static_cast<float>(panAtPress.y()) + delta.y();
    x = x > limitX ? limitX : (x < -limitX ? -limitX : x);
    y = y > limitY ? limitY : (y < -limitY ? -limitY : y);
    // A move that leaves the picture where it is (held at its limits, or a
    // picture that fits the view) places and renders nothing.
    if (x == oldX && y == oldY) return;
    setPanOffset(x, y);
    updateImageRect();
    requestDisplayPass();
}

void VxMediaWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed) return;
    pressed = false;
    if (!dragging) emit emptyClickSignal();
    dragging = false;
}

void VxMediaWidget::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0 || outputWidth < 1) return;
    float z;
    {
        MutexLocker guard(stateLock.get());
        z = fitMode ? fitScale() : zoom;
    }
    z *= std::pow(kWheelZoomStep, static_cast<float>(notches));
    const QPointF at = event->position();
    setZoom(z, static_cast<float>(at.x()), static_cast<float>(at.y()));
}
