// VxMediaWidget: the display thread's pass. The thread takes the chain
// and the one-shot flags under the state lock, draws the source through the
// output geometry into the geometry buffer when the geometry, zoom, pan,
// buffer size or source changed, renders the chain over it, converts the
// result into the display image and publishes it under the display-image
// lock.

#include <QImage>
#include <QThread>

#include <utility>

#include "desktop_only/display/DisplayGeometry.h"
#include "desktop_only/display/VxHistogramWidget.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/widgets/ScreenPixelRatio.h"
#include "foundation/Mutex.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "pixels/KernelAttributes.h"
#include "pixels/SampleRules.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"
#include "render/TransformedBitmap.h"

namespace {

constexpr int32_t kConvertRowsPerTask = 32;

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
    ViewPlacement p;
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
        shownImageRect = logicalPictureRect(p, dpr);
        shownOrigin = logicalVisibleOrigin(p, dpr);
    }
    emit repaintDisplaySignal();
}
