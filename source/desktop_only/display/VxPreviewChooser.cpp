#include "desktop_only/display/VxPreviewChooser.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxScroller.h"
#include "foundation/WorkerThread.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "render/RenderContext.h"

namespace {
constexpr int kRecheckIntervalMs = 33;  // visibility check of the thumbnails
constexpr int kCloseButtonSize = 18;
constexpr int kScrollerWidth = 12;
constexpr int kHeaderHeight = 30;
constexpr int kNameHeight = 18;
constexpr int kTopSpace = 36;           // below the close button
constexpr float kThumbnailPriority = -1.0f;  // idle
constexpr float kPixelRatio = 2.0f;     // thumbnails are drawn at twice their shown size

// One thumbnail: the filter over a copy of the picture, as an RGB image.
QImage renderThumbnail(const ImageBuffer& base, ImageMod* mod) {
    ImageBuffer image;
    ImageBuffer::copyFloat(image, base, true);
    if (!image.data) return QImage();
    GrowArray<ImageMod*> chain;
    chain.append(mod);
    RenderContext context(0);
    context.priority = 0.0f;
    // A render that failed (memory ran out) or was cancelled is no picture.
    if (!context.render(chain, &image, nullptr, -1, 0, nullptr)) return QImage();
    QImage out(image.width, image.height, QImage::Format_RGB32);
    const int32_t channels = image.channelCount();
    for (int32_t y = 0; y < image.height; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        const float* in = image.floats() + static_cast<int64_t>(y) * image.width * channels;
        for (int32_t x = 0; x < image.width; ++x) {
            int v[3];
            for (int c = 0; c < 3; ++c) {
                const float s = in[x * channels + c];
                v[c] = s >= 0.0f ? (s <= 255.0f ? static_cast<int>(s) : 255) : 0;  // NaN gives 0
            }
            row[x] = qRgb(v[0], v[1], v[2]);
        }
    }
    return out;
}

void thumbnailWorker(void* argument) {
    std::unique_ptr<std::shared_ptr<ThumbnailJob>> holder(static_cast<std::shared_ptr<ThumbnailJob>*>(argument));
    ThumbnailJob* job = holder->get();
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) job->renderedOnInterfaceThread = true;
    for (int32_t i = 0; i < job->mods.count; ++i) {
        while (VxPreviewChooser::holdRendering && !job->cancelled) QThread::msleep(1);
        if (job->cancelled) break;
        const QImage image = renderThumbnail(job->base, job->mods[i]);
        ++job->rendered;
        QMutexLocker guard(&job->receiverLock);
        if (!job->receiver || job->cancelled) break;
        VxPreviewChooser* chooser = job->receiver;
        const uint64_t number = job->number;
        // Posted while the lock keeps the chooser alive; a chooser deleted
        // before the call arrives drops it.
        QMetaObject::invokeMethod(
            chooser, [chooser, number, i, image]() { chooser->thumbnailArrived(number, i, image); },
            Qt::QueuedConnection);
    }
    job->finished = true;
}

}  // namespace

std::atomic<bool> VxPreviewChooser::holdRendering{false};

ThumbnailJob::~ThumbnailJob() { freeTiles(mods); }

VxPreviewChooser::VxPreviewChooser(QWidget* parent) : QWidget(parent) {
    background = new QLabel(this);
    background->setStyleSheet(QString("background: none;") + "border-image: none;" + "border: 0 0 0 0;" +
                              "background-color: #000000;");
    content = new QWidget(background);
    scroller = new VxScroller(background);
    connect(scroller, &VxScroller::scrolled, this, &VxPreviewChooser::scrollerScrolled);

    recheckTimer = new QTimer(this);
    recheckTimer->setInterval(kRecheckIntervalMs);
    connect(recheckTimer, &QTimer::timeout, this, &VxPreviewChooser::recheckTimerFired);

    closeButton = new VxPushButton(this);
    closeButton->setPixmaps(QPixmap(":/img/mini_icon_close.png"), QPixmap(), true, false);
    closeButton->setFixedSize(kCloseButtonSize, kCloseButtonSize);
    closeButton->move(7, 7);
    connect(closeButton, &VxPushButton::released, this, &VxPreviewChooser::closeButtonPressed);

    collapsePixmap = QPixmap(":/img/preview_chooser_collapse.png");
    collapsePixmap.setDevicePixelRatio(2.0);
    uncollapsePixmap = QPixmap(":/img/preview_chooser_uncollapse.png");
    uncollapsePixmap.setDevicePixelRatio(2.0);
    setFocusPolicy(Qt::StrongFocus);
}

VxPreviewChooser::~VxPreviewChooser() { cancelThumbnails(); }

void VxPreviewChooser::cancelThumbnails() {
    if (!job) return;
    job->cancelled = true;
    QMutexLocker guard(&job->receiverLock);
    job->receiver = nullptr;
}

void VxPreviewChooser::clearItems() {
    for (QLabel* label : thumbnailLabels) delete label;
    for (QLabel* label : nameLabels) delete label;
    for (QLabel* label : headerLabels) delete label;
    thumbnailLabels.count = 0;
    nameLabels.count = 0;
    headerLabels.count = 0;
    shownMods.count = 0;
}

void VxPreviewChooser::open(VxMediaWidget* view, const GrowArray<PreviewSection>& newSections, bool append) {
    cancelThumbnails();
    clearItems();
    sections = newSections;
    appendChoice = append;
    thumbnailsShown = 0;
    scrollPosition = 0.0f;
    content->move(0, 0);

    auto newJob = std::make_shared<ThumbnailJob>();
    static uint64_t jobsStarted = 0;  // interface thread only
    newJob->number = ++jobsStarted;
    const int32_t side = thumbnailSize;
    // The picture is drawn once, at thumbnail size, through the document's
    // geometric tiles; a view without a photo gives its placeholder.
    if (!view || !view->hasMedia() || !view->renderScaledSource(&newJob->base, side, side)) {
        if (view && view->placeholder().data) ImageBuffer::copyFloat(newJob->base, view->placeholder(), true);
    }
    for (int32_t s = 0; s < sections.count; ++s) {
        QLabel* header = new QLabel(content);
        header->setText(QString::fromUtf8(sections[s].name.c_str()));
        header->setStyleSheet("color: #ffffff; font-size: 13px; border: 0 0 0 0;");
        header->installEventFilter(this);
        header->show();
        headerLabels.append(header);
        for (ImageMod* mod : sections[s].mods) {
            QLabel* thumb = new QLabel(content);
            thumb->setAlignment(Qt::AlignCenter);
            thumb->setStyleSheet("background-color: #1a1a1a; border: 0 0 0 0;");
            thumb->installEventFilter(this);
            thumb->setCursor(Qt::PointingHandCursor);
            thumb->show();
            QLabel* name = new QLabel(content);
            name->setAlignment(Qt::AlignCenter);
            name->setText(QString::fromUtf8(mod->tileLabel().c_str()));
            name->setStyleSheet("color: #aaaaaa; border: 0 0 0 0;");
            name->show();
            thumbnailLabels.append(thumb);
            nameLabels.append(name);
            shownMods.append(mod);
            ImageMod* clone = duplicateMod(*mod);
            // A preset runs its tiles in chain-group order, as the tray
            // holds them once it is chosen.
            if (clone && clone->kind() == kCompoundMod)
                if (CompoundFilter* nested = dynamic_cast<CompoundFilter*>(clone)) sortModsByChainGroup(nested->subMods);
            newJob->mods.append(clone);
        }
    }
    layoutItems();
    job = newJob;
    if (!job->base.data || job->mods.count == 0) {
        job->finished = true;
        return;
    }
    job->receiver = this;
    startWorkerThread(thumbnailWorker, new std::shared_ptr<ThumbnailJob>(job), kThumbnailPriority);
}

void VxPreviewChooser::thumbnailArrived(uint64_t jobNumber, int32_t index, const QImage& image) {
    if (!job || jobNumber != job->number || job->cancelled) return;
    if (index < 0 || index >= thumbnailLabels.count) return;
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(kPixelRatio);
    thumbnailLabels[index]->setPixmap(pixmap);
    ++thumbnailsShown;
}

void VxPreviewChooser::chooseThumbnail(int32_t index) {
    if (index < 0 || index >= shownMods.count) return;
    ImageMod* chosen = shownMods[index];
    const bool append = appendChoice;
    hide();
    emit previewChosen(chosen, append);
}

void VxPreviewChooser::layoutItems() {
    const int cell = static_cast<int>(thumbnailSize / kPixelRatio);
    const int usable = width() - kScrollerWidth - sectionMargin;
    const int step = cell + sectionMargin;
    const int columns = usable / step > 1 ? usable / step : 1;
    int y = kTopSpace;
    int index = 0;
    for (int32_t s = 0; s < sections.count; ++s) {
        QLabel* header = headerLabels[s];
        header->setGeometry(sectionMargin, y, usable, kHeaderHeight);
        y += kHeaderHeight;
        const int32_t n = sections[s].mods.count;
        for (int32_t i = 0; i < n; ++i, ++index) {
            const bool shown = !sections[s].collapsed;
            thumbnailLabels[index]->setVisible(shown);
            nameLabels[index]->setVisible(shown);
            if (!shown) continue;
            const int x = sectionMargin + (i % columns) * step;
            const int top = y + (i / columns) * (cell + kNameHeight + sectionMargin);
            thumbnailLabels[index]->setGeometry(x, top, cell, cell);
            nameLabels[index]->setGeometry(x, top + cell, cell, kNameHeight);
        }
        if (!sections[s].collapsed && n > 0) y += ((n + columns - 1) / columns) * (cell + kNameHeight + sectionMargin);
        y += sectionMargin;
    }
    content->resize(width() - kScrollerWidth, y > height() ? y : height());
    scroller->setLengths(static_cast<float>(height()), static_cast<float>(content->height()));
    scroller->setPosition(std::fmin(scrollPosition, scroller->maxPosition()), true);
}

bool VxPreviewChooser::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease) return QWidget::eventFilter(watched, event);
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
    for (int32_t i = 0; i < thumbnailLabels.count; ++i)
        if (watched == thumbnailLabels[i]) {
            chooseThumbnail(i);
            return true;
        }
    for (int32_t s = 0; s < headerLabels.count; ++s)
        if (watched == headerLabels[s]) {
            sections[s].collapsed = !sections[s].collapsed;
            layoutItems();
            emit sectionEnabled(0, sections[s].name, !sections[s].collapsed);
            return true;
        }
    return false;
}

void VxPreviewChooser::wheelEvent(QWheelEvent* event) { scroller->wheelScroll(event); }

void VxPreviewChooser::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void VxPreviewChooser::scrollerScrolled(float position) {
    scrollPosition = position;
    content->move(0, -static_cast<int>(position));
}

void VxPreviewChooser::recheckTimerFired() {
    // The thumbnails arrive as the worker finishes them; nothing to
    // schedule here.
}

void VxPreviewChooser::closeButtonPressed() { hide(); }

void VxPreviewChooser::resizeEvent(QResizeEvent*) {
    background->setGeometry(0, 0, width(), height());
    scroller->setGeometry(width() - kScrollerWidth, 0, kScrollerWidth, height());
    layoutItems();
    closeButton->raise();
}

void VxPreviewChooser::showEvent(QShowEvent*) { recheckTimer->start(); }

// Hiding closes the chooser: its thumbnail job stops.
void VxPreviewChooser::hideEvent(QHideEvent*) {
    recheckTimer->stop();
    cancelThumbnails();
}
