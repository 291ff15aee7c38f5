#pragma once
// VxMediaWidget: the display of one document, with its display thread.
//
// The interface thread hands the view clones of the tray's chain
// (chainClones, under the state lock), sets `dirty` and starts a display
// thread (displayThreadLoop) when it can take the thread lock. The thread
// takes the chain and the one-shot flags under the state lock, draws the
// source through the output geometry into the geometry buffer (only the
// visible part, at device-pixel resolution, and only when the geometry,
// zoom, pan, buffer size or source changed), renders the chain over it
// through the view's RenderContext (which starts after the unchanged tiles
// of the last pass), converts the result into the display image and asks
// the interface thread to repaint. Edits that arrive during a pass are
// folded into one more pass.
//
// Locks, each taken alone or in this order: render lock, video lock,
// display-image lock; the state lock is never held while waiting for the
// render lock.
// - state lock: chainClones, `dirty`, the one-shot flags, zoom, pan, fit
//   mode and the view size the pass works from. The flags are set only
//   through the setters below, which take it.
// - thread lock (DisplayThreadLock): held by the running display thread.
//   When the thread finds `dirty` clear it gives the lock back while still
//   holding the state lock, so an edit either is seen by this thread or
//   finds the lock free and starts the next one.
// - render lock: held by a pass while it draws, renders and converts; the
//   source image is replaced only under it.
// - display-image lock: over what painting and the layout read: the display
//   image, the float display buffer, the shown image rectangle and the
//   origin of its visible part. A pass publishes them under this short lock
//   only, so painting never waits for a render.
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
#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"
#include "framework/ImageLoaderSaver.h"

class ImageMod;
class Mutex;
class QTimer;
class RenderContext;
class VxHistogramWindow;
class VxSubWindow;

// The primary screen's device-pixel ratio, stored by main before any view
// exists; the display buffers are drawn at the view's size times it.
extern float screenDevicePixelRatio;

// A video source of the video edition; none exists in this build.
class VideoSource;

class VxMediaWidget : public QWidget {
    Q_OBJECT
public:
    explicit VxMediaWidget(QWidget* parent);
    ~VxMediaWidget() override;
    VxMediaWidget(const VxMediaWidget&) = delete;
    VxMediaWidget& operator=(const VxMediaWidget&) = delete;

    // ---- Locks ----
    std::unique_ptr<Mutex> stateLock;
    DisplayThreadLock threadLock;
    std::unique_ptr<Mutex> renderLock;
    std::unique_ptr<Mutex> videoLock;
    std::unique_ptr<Mutex> videoLock2;
    std::unique_ptr<Mutex> displayImageLock;

    // ---- The document ----
    std::unique_ptr<RenderContext> renderContext;  // flag 1: keeps the unchanged start of the chain
    ImageBuffer placeholderImage;                  // float, ":/img/default_image_thumb.png"
    QTimer* updateTimer = nullptr;                 // single shot, 300 ms after a resize
    VxHistogramWindow* histogramWindow = nullptr;

    // The source: float samples 0..255, under the render lock. Owned
    // through sourceOwner, which saves waiting in a queue share: it is
    // never written in place, only replaced (on the interface thread).
    ImageBuffer* sourceImage = nullptr;
    std::shared_ptr<ImageBuffer> sourceOwner;
    std::shared_ptr<const ImageMetadata> sourceMetadata;  // as read when opened; carried to saves
    VideoSource* videoSource = nullptr;            // never set in this build
    int32_t sourceWidth = -1;
    int32_t sourceHeight = -1;
    int32_t quarterTurns = 0;  // clockwise quarter turns of the source since it was set
    int32_t outputWidth = -1;
    int32_t outputHeight = -1;
    GrowArray<ImageMod*> chainClones;              // owned; under the state lock

    bool dirty = false;                   // a display pass is wanted (state lock)
    bool geometryChanged = false;         // one-shot (state lock)
    bool videoPositionChanged = false;    // one-shot (state lock)
    bool renderCacheReset = false;        // one-shot: the next pass resets the render context first
    std::atomic<bool> previewSourceStale{true};
    bool hasMedia = false;
    bool applyGeometric = true;           // crop, border and sizing shape the shown picture
    bool fitMode = true;                  // the zoom follows the fit scale
    float zoom = 1.0f;                    // 1.0 = full size (state lock)
    float panX = 0.0f;                    // offset of the picture from the centred place, logical px (state lock)
    float panY = 0.0f;

    ImageBuffer visibleBuffer;            // the rendered visible part (display thread)
    ImageBuffer geometryBuffer;           // the source drawn through the geometry (display thread)

    VideoLoaderSaverTime videoTimes[3];
    GrowArray<int32_t> pendingSeeks;      // under videoLock2
    GrowArray<int32_t> pendingFrameSteps; // under videoLock2
    bool videoRequested = false;
    bool frameWanted = false;
    GrowArray<int32_t> frameRequests;

    // ---- Published by a pass, under the display-image lock ----
    QImage displayImage;                  // 32-bit RGB, the visible part at device pixels
    ImageBuffer displayBuffer;            // the same as float samples 0..255
    QRect shownImageRect;                 // on-screen rectangle of the whole picture (view coordinates)
    QPoint shownOrigin;                   // amounts cut off it at the left and top (logical px)

    // ---- Interface thread ----
    QRect imageRect;                      // on-screen image rectangle (inclusive edges), from updateImageRect
    QPoint visibleOrigin;

    // Setters of the flags shared with the display thread; each takes the
    // state lock (never call them while holding it).
    void setDirty();
    void setGeometryChanged();
    void setRenderCacheReset();
    void setVideoPositionChanged();
    void setPanOffset(float x, float y);
    // Fit mode, zoom 1 and no pan: how a newly opened picture is shown.
    void resetZoomAndPan();

    // Sets `dirty` and starts a display thread when none runs.
    void requestDisplayPass();

    void updateOutputSize(bool useCrop, bool useBorders, bool useSizing);
    void updateImageRect();
    // Negative anchors mean the cursor position.
    void setZoom(float newZoom, float anchorX, float anchorY);
    // The scale at which the whole output fits the view (at most 1).
    float fitScale() const;
    bool renderScaledSource(ImageBuffer* target, int32_t width, int32_t height);
    // The same through the geometry of the given tiles instead of the
    // view's chain; scale (when not null) receives the output pixels per
    // drawn pixel, the scale a chain rendered over the target runs at.
    bool renderScaledSource(ImageBuffer* target, int32_t width, int32_t height,
                            const GrowArray<ImageMod*>& geometryTiles, float* scale);

    // Replaces the source (the view takes it over) under the render lock.
    void setSource(ImageBuffer* image, std::unique_ptr<ImageMetadata> metadata);
    // The source as it stands, shared read-only (interface thread): a save
    // renders it while the view goes on. Null without a source.
    std::shared_ptr<const ImageBuffer> sharedSource() const { return sourceOwner; }
    void clearMedia();
    void rotateSource(bool clockwise);
    void stepFrame(int32_t delta);

    // The display pass of the display thread (displayThreadLoop).
    void runDisplayPasses();

    // Passes started and completed (for tests and the benchmark).
    std::atomic<int32_t> displayThreadsStarted{0};
    std::atomic<int32_t> passesCompleted{0};
    // Test hook: a pass waits here while it is set, with the render lock held.
    std::atomic<bool> holdPasses{false};
    std::atomic<bool> passIsHeld{false};  // a pass waits in the hold

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
    friend void displayThreadLoop(void* view);
    friend bool startDisplayThread(VxMediaWidget* view);
    struct PassState;
    void renderPass(PassState& pass);

    std::atomic<int32_t> activeDisplayThreads{0};
    // The view size the pass works from, logical px (state lock).
    int32_t viewWidthForPass = 0;
    int32_t viewHeightForPass = 0;
    // What the geometry buffer holds (display thread only).
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
    uint64_t sourceGeneration = 0;  // raised whenever the source is replaced or turned (render lock)
    // The pixels of the back buffers the pass converts into (display thread).
    QImage backImage;
    ImageBuffer backBuffer;
    // Mouse dragging (interface thread).
    QPoint pressPosition;
    QPointF panAtPress;
    bool dragging = false;
    bool pressed = false;
};

// The display thread's function; `view` is the VxMediaWidget. Started only
// by a caller that took the view's thread lock; releases it when it ends.
void displayThreadLoop(void* view);

// Starts a display thread for the view when its thread lock can be taken
// (at the lowest ordinary priority). Returns whether one was started.
bool startDisplayThread(VxMediaWidget* view);
