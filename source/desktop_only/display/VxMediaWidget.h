#pragma once
// VxMediaWidget: the display of one document, with its display thread.
//
// The window hands the view the tray's chain (displayChain): the view keeps
// clones of it (chainClones, under the state lock), sets `dirty` and starts
// a display thread (displayThreadLoop) when it can take the thread lock.
// The thread takes the chain and the one-shot flags under the state lock,
// draws the source through the output geometry into the geometry buffer
// (only the visible part, at device-pixel resolution, and only when the
// geometry, zoom, pan, buffer size or source changed), renders the chain
// over it through the view's RenderContext (which starts after the
// unchanged tiles of the last pass), converts the result into the display
// image and asks the interface thread to repaint (displayUpdatedSignal
// follows each pass). Edits that arrive during a pass are folded into one
// more pass.
//
// The view owns its locks: they and the fields they guard are private, and
// every outside reader or writer goes through an operation below, which
// takes the lock it needs. Locks, each taken alone or in this order: render
// lock, video lock, display-image lock; the state lock is never held while
// waiting for the render lock.
// - state lock: chainClones, `dirty`, the one-shot flags, zoom, pan, fit
//   mode and the view size the pass works from.
// - thread lock (DisplayThreadLock): held by the running display thread.
//   When the thread finds `dirty` clear it gives the lock back while still
//   holding the state lock, so an edit either is seen by this thread or
//   finds the lock free and starts the next one.
// - render lock: held by a pass while it draws, renders and converts; the
//   source image is replaced only under it (on the interface thread, which
//   therefore reads the source without it).
// - display-image lock: over what painting, the layout and the pixel
//   inspector read: the display image, the float display buffer, the shown
//   image rectangle and the origin of its visible part. A pass publishes
//   them under this short lock only, so painting never waits for a render.
//
// The widget's own operations are in VxMediaWidget.cpp, the display thread's
// pass in VxMediaWidgetPass.cpp, and the placement of the picture in the
// view in DisplayGeometry.cpp.
//
// The view is deleted only after its display thread has returned: the
// destructor waits until `activeDisplayThreads` is 0, which the thread
// lowers as its very last access to the view.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>

#include "desktop_only/display/DisplayThreadLock.h"
#include "desktop_only/display/VideoLoaderSaverTime.h"
#include "desktop_only/widgets/ScreenPixelRatio.h"  // the display buffers are drawn at the view's size times it
#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"
#include "framework/ImageLoaderSaver.h"

class ImageMod;
class Mutex;
class QTimer;
class RenderContext;
class VxHistogramWindow;
class VxSubWindow;

// A video source of the video edition; none exists in this build.
class VideoSource;

class VxMediaWidget : public QWidget {
    Q_OBJECT
public:
    explicit VxMediaWidget(QWidget* parent);
    ~VxMediaWidget() override;
    VxMediaWidget(const VxMediaWidget&) = delete;
    VxMediaWidget& operator=(const VxMediaWidget&) = delete;

    // ---- What the window reads (interface thread) ----
    int32_t sourceWidth = -1;
    int32_t sourceHeight = -1;
    int32_t outputWidth = -1;
    int32_t outputHeight = -1;
    QRect imageRect;                      // on-screen image rectangle (inclusive edges), from updateImageRect
    VxHistogramWindow* histogramWindow = nullptr;

    // ---- The chain ----
    // Hands the view the chain to show (the tiles stay the caller's): under
    // the state lock the chain clones are replaced by clones of chain; the
    // output size is brought up to date (a changed size moves the image
    // rectangle and marks the geometry changed); under the state lock
    // `dirty` is set; and a display thread is started when none runs (a
    // running one sees `dirty` and makes one more pass).
    void displayChain(const GrowArray<ImageMod*>& chain);
    // Clones of the chain clones, taken under the state lock; the caller
    // owns them.
    GrowArray<ImageMod*> copyChain() const;

    // ---- Flags ----
    // The one-shot flags of the next pass; each setter takes the state lock
    // (never call them while holding it).
    void setGeometryChanged();
    void setRenderCacheReset();
    // The base picture of hover previews and chooser thumbnails must be
    // drawn again from the source. takePreviewSourceStale clears the flag
    // and returns whether it was set.
    void setPreviewSourceStale() { previewSourceStale = true; }
    bool takePreviewSourceStale() { return previewSourceStale.exchange(false); }
    // Set when a file is opened into the view, cleared by clearMedia.
    void setHasMedia(bool media) { hasMedia_ = media; }
    bool hasMedia() const { return hasMedia_; }
    // Whether a video source is open (never, in this build).
    bool hasVideoSource() const;

    // ---- Zoom and pan ----
    void setPanOffset(float x, float y);
    // Fit mode, zoom 1 and no pan: how a newly opened picture is shown.
    void resetZoomAndPan();
    // Whether the picture is shown at full size: not fitted, zoom 1.
    bool atFullSize() const;
    void updateOutputSize(bool useCrop, bool useBorders, bool useSizing);
    void updateImageRect();
    // Negative anchors mean the cursor position.
    void setZoom(float newZoom, float anchorX, float anchorY);
    // The scale at which the whole output fits the view (at most 1).
    float fitScale() const;

    // ---- Display passes ----
    // Sets `dirty` and starts a display thread when none runs.
    void requestDisplayPass();
    // True when no pass runs and none is due.
    bool displayIdle() const;
    // Waits for a running pass to end and lets no new one start (at exit:
    // no pass may run while the process's statics are destroyed).
    void stopDisplayPasses();

    // ---- The published picture (the pixel inspector) ----
    // Each reads under the display-image lock what the last pass published;
    // false while the view has no media or no picture is published.
    // The hit test at a view point: imageX and imageY receive the output
    // picture's pixel under it (clamped to the picture) whenever a picture
    // is published; the values and the result say whether a pixel of the
    // published picture lies under the point.
    bool sampleAtViewPoint(const QPoint& at, int32_t* imageX, int32_t* imageY, float values[3]) const;
    // The values of the output picture's pixel (x, y), mapped into the
    // published picture as the hit test maps a view point; false when it
    // lies outside it.
    bool sampleAtImagePoint(int32_t x, int32_t y, float values[3]) const;

    // ---- The source ----
    // The source drawn through the view's geometry at width x height into
    // target (interface thread; it takes no lock a display pass holds).
    bool renderScaledSource(ImageBuffer* target, int32_t width, int32_t height);
    // The same through the geometry of the given tiles instead of the
    // view's chain; scale (when not null) receives the photo's pixels per
    // drawn pixel (the target's scale field), the scale a chain rendered
    // over the target runs at.
    bool renderScaledSource(ImageBuffer* target, int32_t width, int32_t height,
                            const GrowArray<ImageMod*>& geometryTiles, float* scale);
    // Replaces the source (the view takes it over) under the render lock.
    void setSource(ImageBuffer* image, std::unique_ptr<ImageMetadata> metadata);
    // The source and its metadata as they stand, shared read-only
    // (interface thread): a save renders them while the view goes on. Null
    // without a source.
    std::shared_ptr<const ImageBuffer> sharedSource() const { return sourceOwner; }
    std::shared_ptr<const ImageMetadata> sharedMetadata() const { return sourceMetadata; }
    // What a chooser thumbnail shows for a view without a photo (float,
    // empty when the resource could not be read).
    const ImageBuffer& placeholder() const { return placeholderImage; }
    void clearMedia();
    void rotateSource(bool clockwise);
    void stepFrame(int32_t delta);

signals:
    void emptyClickSignal();
    void imageRepositionedSignal();
    void displayUpdatedSignal();
    void frameNudgedSignal(VideoLoaderSaverTime time);
    void repaintDisplaySignal();

public slots:
    void updateDisplayTimerFired();
    void repaintDisplaySlot();
    void histogramWindowResized(VxSubWindow* window);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // The tests' view of the private state (tests/desktop_only/support).
    friend class VxMediaWidgetTestAccess;
    struct PassState;

    // The display thread's function; `view` is the VxMediaWidget. Started
    // only by a caller that took the view's thread lock; releases it when
    // it ends.
    static void displayThreadLoop(void* view);
    // Starts a display thread when the thread lock can be taken (at the
    // lowest ordinary priority). Returns whether one was started.
    bool startDisplayThread();
    // The display passes of the display thread.
    void runDisplayPasses();
    void renderPass(PassState& pass);
    void setDirty();
    void setVideoPositionChanged();
    // Clones of the chain clones; the caller holds the state lock.
    GrowArray<ImageMod*> cloneChainLocked() const;

    // Crop, border and sizing shape the shown picture. Never changed: both
    // threads read it without a lock.
    const bool applyGeometric = true;

    // ---- Locks ----
    std::unique_ptr<Mutex> stateLock;
    DisplayThreadLock threadLock;
    std::unique_ptr<Mutex> renderLock;
    std::unique_ptr<Mutex> videoLock;
    std::unique_ptr<Mutex> videoLock2;
    std::unique_ptr<Mutex> displayImageLock;

    // ---- Under the state lock ----
    GrowArray<ImageMod*> chainClones;     // owned
    bool dirty = false;                   // a display pass is wanted
    bool geometryChanged = false;         // one-shot
    bool videoPositionChanged = false;    // one-shot
    bool renderCacheReset = false;        // one-shot: the next pass resets the render context first
    bool fitMode = true;                  // the zoom follows the fit scale
    float zoom = 1.0f;                    // 1.0 = full size
    float panX = 0.0f;                    // offset of the picture from the centred place, logical px
    float panY = 0.0f;
    // The view size the pass works from, logical px.
    int32_t viewWidthForPass = 0;
    int32_t viewHeightForPass = 0;

    // ---- Under the render lock ----
    std::unique_ptr<RenderContext> renderContext;  // flag 1: keeps the unchanged start of the chain
    // The source: float samples 0..255. Owned through sourceOwner, which
    // saves waiting in a queue share: it is never written in place, only
    // replaced (on the interface thread).
    ImageBuffer* sourceImage = nullptr;
    std::shared_ptr<ImageBuffer> sourceOwner;
    std::shared_ptr<const ImageMetadata> sourceMetadata;  // as read when opened; carried to saves
    ImageBuffer visibleBuffer;            // the rendered visible part (display thread)
    ImageBuffer geometryBuffer;           // the source drawn through the geometry (display thread)
    uint64_t sourceGeneration = 0;        // raised whenever the source is replaced or turned

    // ---- Under the video locks (nothing in this build creates a video source) ----
    VideoSource* videoSource = nullptr;
    VideoLoaderSaverTime videoTimes[3];
    GrowArray<int32_t> pendingSeeks;      // under videoLock2
    GrowArray<int32_t> pendingFrameSteps; // under videoLock2

    // ---- Published by a pass, under the display-image lock ----
    QImage displayImage;                  // 32-bit RGB, the visible part at device pixels
    ImageBuffer displayBuffer;            // the same as float samples 0..255
    QRect shownImageRect;                 // on-screen rectangle of the whole picture (view coordinates)
    QPoint shownOrigin;                   // amounts cut off it at the left and top (logical px)

    // ---- Flags read and set from outside through the operations above ----
    std::atomic<bool> previewSourceStale{true};
    bool hasMedia_ = false;

    // ---- Interface thread ----
    ImageBuffer placeholderImage;         // float, ":/img/default_image_thumb.png"
    QTimer* updateTimer = nullptr;        // single shot, 300 ms after a resize
    // Mouse dragging.
    QPoint pressPosition;
    QPointF panAtPress;
    bool dragging = false;
    bool pressed = false;

    // ---- Display thread ----
    std::atomic<int32_t> activeDisplayThreads{0};
    // What the geometry buffer holds.
    struct GeometryKey {
        const ImageBuffer* source = nullptr;
        uint64_t sourceGeneration = 0;
        int32_t fullWidth = 0, fullHeight = 0;
        int32_t originX = 0, originY = 0, width = 0, height = 0;
        float zoom = 0.0f;
        float angle = 0.0f;
        float margins[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        bool border = false;
        bool operator==(const GeometryKey& o) const;
    };
    GeometryKey drawnKey;
    GrowArray<ImageMod*> drawnGeometryTiles;  // clones of the geometric tiles the buffer was drawn with
    bool geometryValid = false;
    // The picture the pass converts into before publishing it.
    QImage backImage;

    // ---- Counters and the hold of the tests (VxMediaWidgetTestAccess) ----
    std::atomic<int32_t> displayThreadsStarted{0};
    std::atomic<int32_t> passesCompleted{0};
    // A pass waits while holdPasses is set, with the render lock held.
    std::atomic<bool> holdPasses{false};
    std::atomic<bool> passIsHeld{false};  // a pass waits in the hold
};
