#pragma once
// VxPreviewChooser: the full-window chooser that shows the current picture
// through many filters at once, as thumbnails, in collapsible sections; a
// click on a thumbnail reports the filter (previewChosen) and closes it.
//
// The chooser is opened on a document view with a list of sections of
// filters (open). The view's picture, fitted to the thumbnail size, is drawn
// once; then one worker thread at idle priority renders the thumbnails one
// after another and hands each to the interface thread as it is done.
// Closing (the close button, choosing a thumbnail, hiding, destruction)
// cancels the job: the worker stops before its next thumbnail and nothing
// it still finishes reaches the chooser. The worker owns clones of the
// filters and a copy of the picture, so it never touches the view, the
// panel's tiles or the chooser.

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <atomic>
#include <memory>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"

#include <QMutex>

class ImageMod;
class QLabel;
class VxMediaWidget;
struct ThumbnailJob;

// One section of the chooser: its name and its filters (not owned).
struct PreviewSection {
    GrowString name;
    GrowArray<ImageMod*> mods;
    bool collapsed = false;
};
class QTimer;
class VxPushButton;
class VxScroller;

class VxPreviewChooser : public QWidget {
    Q_OBJECT
public:
    explicit VxPreviewChooser(QWidget* parent);
    ~VxPreviewChooser() override;

    int32_t sectionMargin = 18;    // the two numbers the layout starts from
    int32_t thumbnailSize = 300;
    QLabel* background = nullptr;  // black, holds content and scroller
    QWidget* content = nullptr;
    VxScroller* scroller = nullptr;
    QTimer* recheckTimer = nullptr;
    VxPushButton* closeButton = nullptr;
    QPixmap collapsePixmap;
    QPixmap uncollapsePixmap;
    float scrollPosition = 0.0f;

    // Shows the sections' filters as thumbnails of the view's picture; a
    // chosen one is reported with the append flag. Cancels an earlier job.
    void open(VxMediaWidget* view, const GrowArray<PreviewSection>& sections, bool append);
    // Stops the thumbnail job (the worker ends before its next thumbnail).
    void cancelThumbnails();
    // Chooses the filter at index (in open's order) as a click would.
    void chooseThumbnail(int32_t index);

    GrowArray<PreviewSection> sections;
    GrowArray<ImageMod*> shownMods;       // every filter, in open's order (not owned)
    GrowArray<QLabel*> thumbnailLabels;   // entry i shows shownMods[i]
    GrowArray<QLabel*> nameLabels;
    GrowArray<QLabel*> headerLabels;      // one per section
    bool appendChoice = false;
    std::shared_ptr<ThumbnailJob> job;    // the running or last job
    int32_t thumbnailsShown = 0;          // thumbnails received from the current job

    // A finished thumbnail of the job (interface thread).
    void thumbnailArrived(uint64_t jobNumber, int32_t index, const QImage& image);

    // Test hook: while set, the worker waits before each thumbnail.
    static std::atomic<bool> holdRendering;

signals:
    void previewChosen(ImageMod* mod, bool append);
    void sectionEnabled(int tabID, GrowString sectionName, bool enabled);

public slots:
    void scrollerScrolled(float position);
    void recheckTimerFired();
    void closeButtonPressed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void clearItems();
    void layoutItems();
};

// What a thumbnail job shares between the chooser and its worker.
struct ThumbnailJob {
    uint64_t number = 0;              // distinguishes this job's results from an earlier job's
    ImageBuffer base;                 // the view's picture at thumbnail size (float)
    GrowArray<ImageMod*> mods;        // owned clones of the filters
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::atomic<int32_t> rendered{0};
    std::atomic<bool> renderedOnInterfaceThread{false};
    QMutex receiverLock;              // over receiver
    VxPreviewChooser* receiver = nullptr;
    ~ThumbnailJob();
};
