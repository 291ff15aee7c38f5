#include "widgets/VxPushButton.h"

#include <QCursor>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

VxPushButton::VxPushButton(QWidget* parent) : QPushButton(parent), toolTipTimer(new QTimer(this)) {
    setFocusPolicy(Qt::NoFocus);
    setFlat(true);
    toolTipTimer->setSingleShot(true);
    connect(toolTipTimer, &QTimer::timeout, this, &VxPushButton::toolTipTimerFired);
}

VxPushButton::~VxPushButton() = default;

void VxPushButton::setPixmaps(const QPixmap& normal, const QPixmap& active, bool pixmapOnlyFlag, bool fit) {
    normalPixmap_ = normal;
    activePixmap_ = active;
    pixmapOnly_ = pixmapOnlyFlag;
    if (fit) {
        const int width = std::max(normal.width(), active.width());
        const int height = std::max(normal.height(), active.height());
        setFixedSize(width / 2, height / 2);
    }
    update();
}

bool VxPushButton::showsActive() const { return isChecked() || isDown() || hovered; }

void VxPushButton::paintEvent(QPaintEvent* event) {
    if (!pixmapOnly_) QPushButton::paintEvent(event);
    const bool active = showsActive();
    const QPixmap& pixmap = (active && !activePixmap_.isNull()) ? activePixmap_ : normalPixmap_;
    if (pixmap.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (activePixmap_.isNull() && !active && isEnabled()) painter.setOpacity(0.5);
    if (!isEnabled()) painter.setOpacity(0.25);
    // Drawn at half its size: the pixmaps hold twice the shown resolution.
    const QSizeF shown(pixmap.width() / 2.0, pixmap.height() / 2.0);
    const QRectF target((width() - shown.width()) / 2.0, (height() - shown.height()) / 2.0, shown.width(),
                        shown.height());
    painter.drawPixmap(target, pixmap, QRectF(pixmap.rect()));
}

void VxPushButton::enterEvent(QEvent* event) {
    hovered = true;
    if (!toolTipText_.isEmpty()) toolTipTimer->start(kToolTipDelayMs);
    update();
    QPushButton::enterEvent(event);
}

void VxPushButton::leaveEvent(QEvent* event) {
    hovered = false;
    toolTipTimer->stop();
    QToolTip::hideText();
    update();
    QPushButton::leaveEvent(event);
}

void VxPushButton::toolTipTimerFired() {
    if (!hovered || toolTipText_.isEmpty()) return;
    QToolTip::showText(QCursor::pos(), QString::fromUtf8(toolTipText_.c_str()), this);
}
