#include "desktop_only/display/VxPreviewChooser.h"

#include <QLabel>
#include <QTimer>

#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxScroller.h"

namespace {
constexpr int kRecheckIntervalMs = 33;  // visibility check of the thumbnails
constexpr int kCloseButtonSize = 18;
constexpr int kScrollerWidth = 12;
}  // namespace

VxPreviewChooser::VxPreviewChooser(QWidget* parent) : QWidget(parent) {
    background = new QLabel(this);
    background->setStyleSheet(QString("background: none;") + "border-image: none;" + "border: 0 0 0 0;" +
                              "background-color: #000000;");
    content = new QWidget(background);
    scroller = new VxScroller(background);
    connect(scroller, SIGNAL(scrolled(float)), this, SLOT(scrollerScrolled(float)));

    recheckTimer = new QTimer(this);
    recheckTimer->setInterval(kRecheckIntervalMs);
    connect(recheckTimer, SIGNAL(timeout()), this, SLOT(recheckTimerFired()));

    closeButton = new VxPushButton(this);
    closeButton->setPixmaps(QPixmap(":/img/mini_icon_close.png"), QPixmap(), true, false);
    closeButton->setFixedSize(kCloseButtonSize, kCloseButtonSize);
    closeButton->move(7, 7);
    connect(closeButton, SIGNAL(released()), this, SLOT(closeButtonPressed()));

    collapsePixmap = QPixmap(":/img/preview_chooser_collapse.png");
    collapsePixmap.setDevicePixelRatio(2.0);
    uncollapsePixmap = QPixmap(":/img/preview_chooser_uncollapse.png");
    uncollapsePixmap.setDevicePixelRatio(2.0);
    setFocusPolicy(Qt::StrongFocus);
}

VxPreviewChooser::~VxPreviewChooser() = default;

void VxPreviewChooser::scrollerScrolled(float position) {
    scrollPosition = position;
    content->move(0, -static_cast<int>(position));
}

void VxPreviewChooser::recheckTimerFired() {
    // Thumbnails that scrolled into sight would be scheduled here.
}

void VxPreviewChooser::closeButtonPressed() { hide(); }

void VxPreviewChooser::resizeEvent(QResizeEvent*) {
    background->setGeometry(0, 0, width(), height());
    content->resize(width() - kScrollerWidth, content->height() > height() ? content->height() : height());
    scroller->setGeometry(width() - kScrollerWidth, 0, kScrollerWidth, height());
    closeButton->raise();
}

void VxPreviewChooser::showEvent(QShowEvent*) { recheckTimer->start(); }

void VxPreviewChooser::hideEvent(QHideEvent*) { recheckTimer->stop(); }
