#include "desktop_only/display/VxMediaWidget.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>
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
#include "pixels/KernelAttributes.h"
#include "pixels/SampleRules.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"
#include "render/TransformedBitmap.h"

namespace {

constexpr int kUpdateDelayMs = 300;        // display update after a resize
constexpr int kDragThreshold = 3;          // pixels a press may move and still count as a click
constexpr float kWheelZoomStep = 1.1f;     // zoom factor of one wheel notch
constexpr int32_t kConvertRowsPerTask = 32;
// The display thread's priority: the lowest ordinary one. The idle priority
// (-1) is SCHED_IDLE on Linux, which runs the thread only while no other
// thread wants the processor: a batch save in the background, or any busy
// program, would freeze the view.
constexpr float kDisplayThreadPriority = 0.17f;

// Where the picture lies in the view: all in device pixels.
struct Placement {
    float zoom = 1.0f;         // the zoom in force
    int32_t fullWidth = 0;     // the whole picture at that zoom
    int32_t fullHeight = 0;
    int32_t left = 0;          // its top-left corner in the view
    int32_t top = 0;
    int32_t originX = 0;       // the visible part of it
    int32_t originY = 0;
    int32_t width = 0;
    int32_t height = 0;
};

int32_t devicePixels(double v) {
    const int32_t n = saturatingInt(std::floor(v));
    return n < 0 ? 0 : n;
}

float fitScaleFor(int32_t outW, int32_t outH, int32_t viewW, int32_t viewH) {
    if (outW < 1 || outH < 1 || viewW < 1 || viewH < 1) return 1.0f;
    const float sx = static_cast<float>(viewW) / static_cast<float>(outW);
    const float sy = static_cast<float>(viewH) / static_cast<float>(outH);
    const float s = sx < sy ? sx : sy;
    return s < 1.0f ? s : 1.0f;
}

// Places one axis: the picture centred when it fits, else shifted by the
// pan and kept covering the view.
void placeAxis(int32_t full, int32_t view, float pan, int32_t& start, int32_t& origin, int32_t& visible) {
    if (full <= view) {
        start = (view - full) / 2;
    } else {
        int64_t s = (static_cast<int64_t>(view) - full) / 2 + saturatingInt(std::lround(static_cast<double>(pan)));
        if (s > 0) s = 0;
        if (s < static_cast<int64_t>(view) - full) s = static_cast<int64_t>(view) - full;
        start = static_cast<int32_t>(s);
    }
    origin = start < 0 ? -start : 0;
    const int64_t end = static_cast<int64_t>(start) + full < view ? static_cast<int64_t>(start) + full : view;
    const int64_t first = start > 0 ? start : 0;
    visible = end > first ? static_cast<int32_t>(end - first) : 0;
}

// The zoom in force: the fit scale in fit mode, else the zoom kept within
// the fit scale and full size.
float zoomFor(int32_t outW, int32_t outH, int32_t viewW, int32_t viewH, bool fit, float zoom) {
    const float fitScale = fitScaleFor(outW, outH, viewW, viewH);
    float z = zoom;
    if (fit || !(z >= fitScale)) z = fitScale;
    return z > 1.0f ? 1.0f : z;
}

// Places the picture of the geometry's size (the chain's output scaled by
// the zoom and the device-pixel ratio) in the view. False when nothing of
// it can be shown.
bool placePicture(const GrowArray<ImageMod*>& chain, int32_t sourceW, int32_t sourceH, bool applyGeometric,
                  int32_t viewW, int32_t viewH, bool fit, float zoom, float panX, float panY, Placement& p,
                  OutputGeometry& geometry) {
    int32_t outW = 0, outH = 0;
    if (viewW < 1 || viewH < 1) return false;
    if (!displayOutputSize(chain, sourceW, sourceH, applyGeometric, applyGeometric, applyGeometric, outW, outH))
        return false;
    const float dpr = screenPixelRatio();
    p.zoom = zoomFor(outW, outH, viewW, viewH, fit, zoom);
    int32_t limitW = devicePixels(static_cast<double>(outW) * p.zoom * dpr);
    int32_t limitH = devicePixels(static_cast<double>(outH) * p.zoom * dpr);
    if (limitW < 1) limitW = 1;
    if (limitH < 1) limitH = 1;
    if (!displayGeometry(chain, sourceW, sourceH, applyGeometric, limitW, limitH, geometry)) return false;
    p.fullWidth = geometry.width;
    p.fullHeight = geometry.height;
    const int32_t vw = devicePixels(static_cast<double>(viewW) * dpr);
    const int32_t vh = devicePixels(static_cast<double>(viewH) * dpr);
    placeAxis(p.fullWidth, vw, panX * dpr, p.left, p.originX, p.width);
    placeAxis(p.fullHeight, vh, panY * dpr, p.top, p.originY, p.height);
    return true;
}

// One row of three-channel floats into 32-bit RGB (qRgb's layout), each
// sample stored as storeByte stores it, written as selects so that the loop
// vectorises.
TILE_ROW_KERNEL void convertRow3(const float* __restrict in, QRgb* __restrict out, int32_t width) {
    for (int32_t x = 0; x < width; ++x) {
        const uint32_t r = pixel::clampedByte(in[3 * x]);
        const uint32_t g = pixel::clampedByte(in[3 * x + 1]);
        const uint32_t b = pixel::clampedByte(in[3 * x + 2]);
        out[x] = 0xff000000u | (r << 16) | (g << 8) | b;
    }
}

// Float samples (1 to 4 channels) into 32-bit RGB, rows in parallel; each
// sample stored as every 8-bit store is (clamped, truncated).
void convertToImage(const ImageBuffer& buffer, QImage& image) {
    if (image.width() != buffer.width || image.height() != buffer.height || image.format() != QImage::Format_RGB32)
        image = QImage(buffer.width, buffer.height, QImage::Format_RGB32);
    if (image.isNull()) return;
    const int32_t n = buffer.channelCount();
    const int32_t rows = buffer.height;
    const int32_t tasks = (rows + kConvertRowsPerTask - 1) / kConvertRowsPerTask;
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    parallelFor(tasks, 0.5f, [&](int32_t task) {
        const int32_t first = task * kConvertRowsPerTask;
        const int32_t end = first + kConvertRowsPerTask < rows ? first + kConvertRowsPerTask : rows;
        for (int32_t y = first; y < end; ++y) {
            const float* in = buffer.floats() + static_cast<int64_t>(y) * buffer.width * n;
            QRgb* out = reinterpret_cast<QRgb*>(bits + y * stride);
            if (n == 3) {
                convertRow3(in, out, buffer.width);
                continue;
            }
            for (int32_t x = 0; x < buffer.width; ++x, in += n) {
                if (n >= 3)
                    out[x] = qRgb(storeByte(in[0]), storeByte(in[1]), storeByte(in[2]));
                else {
                    const uint8_t g = storeByte(in[0]);
                    out[x] = qRgb(g, g, g);
                }
            }
        }
    });
}

bool isGeometricTile(const ImageMod* mod) {
    for (int32_t tag : mod->typeTags)
        if (tag == kTagCrop || tag == kTagOutputSize || tag == kTagBorder) return true;
    return mod->kind() == kBorderMod;
}

// The geometric tiles of a chain, as clones, for telling whether the drawn
// source is still that chain's.
GrowArray<ImageMod*> geometricClones(const GrowArray<ImageMod*>& chain) {
    GrowArray<ImageMod*> out;
    for (int32_t i = 0; i < chain.count; ++i)
        if (chain[i] && isGeometricTile(chain[i])) out.append(duplicateMod(*chain[i]));
    return out;
}

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
    Placement p;
    {
        MutexLocker guard(stateLock.get());
        OutputGeometry geometry;
        const GrowArray<ImageMod*> ordered = orderModsByChainGroup(chainClones);
        if (sourceWidth > 0 && sourceHeight > 0)
            placePicture(ordered, sourceWidth, sourceHeight, applyGeometric, width(), height(), fitMode, zoom, panX,
                         panY, p, geometry);
    }
    const float dpr = screenPixelRatio();
    const int32_t left = static_cast<int32_t>(std::floor(p.left / dpr));
    const int32_t top = static_cast<int32_t>(std::floor(p.top / dpr));
    const int32_t w = static_cast<int32_t>(std::ceil(p.fullWidth / dpr));
    const int32_t h = static_cast<int32_t>(std::ceil(p.fullHeight / dpr));
    imageRect = QRect(QPoint(left, top), QPoint(left + w - 1, top + h - 1));
    visibleOrigin = QPoint(static_cast<int>(p.originX / dpr), static_cast<int>(p.originY / dpr));
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
    MutexLocker guard(renderLock.get());
    if (!sourceImage || !sourceImage->data) return false;
    const GrowArray<ImageMod*> ordered = orderModsByChainGroup(geometryTiles);
    OutputGeometry geometry;
    if (!displayGeometry(ordered, sourceImage->width, sourceImage->height, applyGeometric, width, height, geometry) ||
        !drawDisplaySource(*sourceImage, geometry, nullptr, *target))
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
    quarterTurns = 0;
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
    bool turned = false;
    {
        MutexLocker guard(renderLock.get());
        MutexLocker video(videoLock.get());
        if (sourceImage && sourceImage->data && sourceImage->width > 0 && sourceImage->height > 0) {
            const int32_t W = sourceImage->width, H = sourceImage->height, n = sourceImage->channelCount();
            auto turnedImage = std::make_unique<ImageBuffer>();
            if (turnedImage->allocateFloat(H, W, n)) {
                const float* in = sourceImage->floats();
                float* out = turnedImage->floats();
                for (int32_t y = 0; y < H; ++y)
                    for (int32_t x = 0; x < W; ++x) {
                        const int32_t tx = clockwise ? H - 1 - y : y;
                        const int32_t ty = clockwise ? x : W - 1 - x;
                        const float* p = in + (static_cast<int64_t>(y) * W + x) * n;
                        float* q = out + (static_cast<int64_t>(ty) * H + tx) * n;
                        for (int32_t c = 0; c < n; ++c) q[c] = p[c];
                    }
                turnedImage->scale = sourceImage->scale;
                // Replaced, not overwritten: a queued save may share the old one.
                sourceImage = turnedImage.get();
                sourceOwner = std::move(turnedImage);
                if (sourceMetadata) {
                    std::unique_ptr<ImageMetadata> turnedMetadata = sourceMetadata->clone();
                    std::swap(turnedMetadata->width, turnedMetadata->height);
                    sourceMetadata = std::move(turnedMetadata);
                }
                ++sourceGeneration;
                geometryValid = false;
                turned = true;
            }
        }
        // A video source would be turned here; this build has none.
    }
    if (!turned) return;
    quarterTurns = (quarterTurns + (clockwise ? 1 : 3)) % 4;
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
    float z;
    {
        MutexLocker guard(stateLock.get());
        z = fitMode ? fit : zoom;
    }
    const float w = outputWidth * z, h = outputHeight * z;
    const float limitX = w > width() ? (w - width()) / 2.0f : 0.0f;
    const float limitY = h > height() ? (h - height()) / 2.0f : 0.0f;
    float x = static_cast<float>(panAtPress.x()) + delta.x();
    float y = static_cast<float>(panAtPress.y()) + delta.y();
    x = x > limitX ? limitX : (x < -limitX ? -limitX : x);
    y = y > limitY ? limitY : (y < -limitY ? -limitY : y);
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

// ---- The display thread ----

bool VxMediaWidget::GeometryKey::operator==(const GeometryKey& o) const {
    return source == o.source && sourceGeneration == o.sourceGeneration && fullWidth == o.fullWidth &&
           fullHeight == o.fullHeight && originX == o.originX && originY == o.originY && width == o.width &&
           height == o.height && zoom == o.zoom && angle == o.angle && margins[0] == o.margins[0] &&
           margins[1] == o.margins[1] && margins[2] == o.margins[2] && margins[3] == o.margins[3] &&
           border == o.border;
}

struct VxMediaWidget::PassState {
    GrowArray<ImageMod*> chain;  // clones of the chain clones, owned
    bool geometryChanged = false;
    bool renderCacheReset = false;
    bool videoPositionChanged = false;
    bool fit = true;
    float zoom = 1.0f;
    float panX = 0.0f, panY = 0.0f;
    int32_t viewWidth = 0, viewHeight = 0;
    ~PassState() { freeTiles(chain); }
};

void VxMediaWidget::displayThreadLoop(void* view) { static_cast<VxMediaWidget*>(view)->runDisplayPasses(); }

void VxMediaWidget::runDisplayPasses() {
    for (;;) {
        PassState pass;
        stateLock->lock();
        if (!dirty) {
            // Give the thread lock back while the state lock still keeps
            // edits out: an edit from now on finds it free and starts the
            // next thread.
            threadLock.unlock();
            stateLock->unlock();
            activeDisplayThreads.fetch_sub(1, std::memory_order_acq_rel);  // the last access to the view
            return;
        }
        dirty = false;
        pass.geometryChanged = geometryChanged;
        pass.renderCacheReset = renderCacheReset;
        pass.videoPositionChanged = videoPositionChanged;
        geometryChanged = renderCacheReset = videoPositionChanged = false;
        pass.chain = cloneChainLocked();
        pass.fit = fitMode;
        pass.zoom = zoom;
        pass.panX = panX;
        pass.panY = panY;
        pass.viewWidth = viewWidthForPass;
        pass.viewHeight = viewHeightForPass;
        stateLock->unlock();

        renderPass(pass);
        passesCompleted.fetch_add(1);
        emit displayUpdatedSignal();
    }
}

void VxMediaWidget::renderPass(PassState& pass) {
    MutexLocker guard(renderLock.get());
    if (holdPasses.load()) {
        passIsHeld = true;
        while (holdPasses.load()) QThread::msleep(1);
        passIsHeld = false;
    }

    auto publishEmpty = [this]() {
        MutexLocker shown(displayImageLock.get());
        displayImage = QImage(0, 0, QImage::Format_RGB32);
        displayBuffer.release();
        shownImageRect = QRect();
        shownOrigin = QPoint();
    };
    if (!sourceImage || !sourceImage->data) {
        publishEmpty();
        emit repaintDisplaySignal();
        return;
    }
    if (pass.renderCacheReset) renderContext->reset();

    const GrowArray<ImageMod*> ordered = orderModsByChainGroup(pass.chain);
    Placement p;
    OutputGeometry outputGeometry;
    if (!placePicture(ordered, sourceImage->width, sourceImage->height, applyGeometric, pass.viewWidth,
                      pass.viewHeight, pass.fit, pass.zoom, pass.panX, pass.panY, p, outputGeometry) ||
        p.width < 1 || p.height < 1) {
        publishEmpty();
        emit repaintDisplaySignal();
        return;
    }
    // The drawn source is kept while the geometry, zoom, pan and source stay.
    GeometryKey key;
    key.source = sourceImage;
    key.sourceGeneration = sourceGeneration;
    key.fullWidth = p.fullWidth;
    key.fullHeight = p.fullHeight;
    key.originX = p.originX;
    key.originY = p.originY;
    key.width = p.width;
    key.height = p.height;
    key.zoom = p.zoom;
    key.angle = outputGeometry.angle;
    for (int i = 0; i < 4; ++i) key.margins[i] = outputGeometry.margins[i];
    key.border = outputGeometry.border != nullptr;
    GrowArray<ImageMod*> geometric = applyGeometric ? geometricClones(ordered) : GrowArray<ImageMod*>();
    const bool sameGeometry = geometryValid && key == drawnKey && sameTiles(geometric, drawnGeometryTiles);
    if (!sameGeometry || pass.geometryChanged || !geometryBuffer.data) {
        // The render cache holds pixels of the old region: drop it.
        renderContext->reset();
        DrawWindow window;
        window.originX = p.originX;
        window.originY = p.originY;
        window.width = p.width;
        window.height = p.height;
        if (!geometryBuffer.data) geometryBuffer.channels = sourceImage->channelCount();
        geometryValid = drawDisplaySource(*sourceImage, outputGeometry, &window, geometryBuffer);
        drawnKey = key;
        freeTiles(drawnGeometryTiles);
        drawnGeometryTiles = std::move(geometric);
    } else {
        freeTiles(geometric);
    }
    if (!geometryValid) {
        publishEmpty();
        emit repaintDisplaySignal();
        return;
    }

    RenderRegion region;
    region.fullWidth = p.fullWidth;
    region.fullHeight = p.fullHeight;
    region.originX = p.originX;
    region.originY = p.originY;
    // The photo's pixels per buffer pixel, as the drawing set it: the scale
    // a save of the picture at this size renders at too.
    region.scale = geometryBuffer.scale;
    if (!renderContext->render(ordered, &geometryBuffer, &visibleBuffer, -1, 0, &region)) {
        // A pass that ran out of memory (or was cancelled) left no finished
        // picture: the last good one stays shown and counted, and the next
        // change renders again.
        return;
    }
    convertToImage(visibleBuffer, backImage);
    // The scope counts the shown picture only while it is on screen (showing
    // it asks for a pass, which counts it then).
    if (histogramWindow && histogramWindow->histogram) {
        VxHistogramWidget* scope = histogramWindow->histogram;
        if (scope->isShown()) scope->fillFrom(visibleBuffer);
        else scope->setHasData(true);
    }

    const float dpr = screenPixelRatio();
    {
        MutexLocker shown(displayImageLock.get());
        std::swap(displayImage, backImage);
        std::swap(displayBuffer, visibleBuffer);
        shownImageRect = QRect(static_cast<int>(std::floor(p.left / dpr)), static_cast<int>(std::floor(p.top / dpr)),
                               static_cast<int>(std::ceil(p.fullWidth / dpr)),
                               static_cast<int>(std::ceil(p.fullHeight / dpr)));
        shownOrigin = QPoint(static_cast<int>(p.originX / dpr), static_cast<int>(p.originY / dpr));
    }
    emit repaintDisplaySignal();
}
