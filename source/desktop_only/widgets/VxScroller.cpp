#include "widgets/VxScroller.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
// A wheel notch (120 units of angle) pushes the content by this many pixels.
constexpr float kPixelsPerNotch = 12.0f;
constexpr float kMinHandle = 20.0f;  // shortest handle, pixels
}  // namespace

VxScroller::VxScroller(QWidget* parent, Qt::Orientation orientation)
    : QWidget(parent), direction(orientation), momentumTimer(new QTimer(this)) {
    momentumTimer->setInterval(kMomentumIntervalMs);
    connect(momentumTimer, &QTimer::timeout, this, &VxScroller::momentumTimerFired);
    setAttribute(Qt::WA_TranslucentBackground);
    if (direction == Qt::Vertical) {
        resize(kThickness, 100);
    } else {
        resize(100, kThickness);
    }
}

VxScroller::~VxScroller() = default;

float VxScroller::maxPosition() const { return std::max(0.0f, contentSize - viewSize); }

bool VxScroller::isMoving() const { return momentumTimer->isActive(); }

void VxScroller::setLengths(float view, float content) {
    viewSize = std::isfinite(view) ? std::max(0.0f, view) : 0.0f;
    contentSize = std::isfinite(content) ? std::max(0.0f, content) : 0.0f;
    setPosition(pos, true);
    update();
}

void VxScroller::setPosition(float p, bool emitSignal) {
    if (!std::isfinite(p)) p = 0.0f;
    const float clamped = std::clamp(p, 0.0f, maxPosition());
    const bool moved = clamped != pos;
    pos = clamped;
    if (moved) {
        update();
        if (emitSignal) emit scrolled(pos);
    }
}

void VxScroller::addMomentum(float delta) {
    if (!std::isfinite(delta) || delta == 0.0f) return;
    // A push against the current motion stops it first.
    if ((delta > 0.0f) != (speed > 0.0f)) speed = 0.0f;
    speed += delta;
    if (!momentumTimer->isActive()) momentumTimer->start();
}

void VxScroller::stopMomentum() {
    speed = 0.0f;
    momentumTimer->stop();
}

void VxScroller::momentumTimerFired() {
    const float before = pos;
    setPosition(pos + speed, true);
    speed *= kMomentumDecay;
    // Stopped by an end or slowed down to nothing.
    if (pos == before || std::fabs(speed) < kStopSpeed) stopMomentum();
}

void VxScroller::wheelScroll(QWheelEvent* event) {
    const QPoint pixels = event->pixelDelta();
    const QPoint angle = event->angleDelta();
    // Horizontal bars also take the vertical wheel, the common mouse.
    auto pick = [this](const QPoint& d) {
        if (direction == Qt::Horizontal && d.x() != 0) return d.x();
        return d.y() != 0 ? d.y() : d.x();
    };
    if (!pixels.isNull()) {
        stopMomentum();
        setPosition(pos - static_cast<float>(pick(pixels)), true);
    } else if (!angle.isNull()) {
        addMomentum(-static_cast<float>(pick(angle)) / 120.0f * kPixelsPerNotch);
    }
    event->accept();
}

void VxScroller::wheelEvent(QWheelEvent* event) { wheelScroll(event); }

void VxScroller::handleSpan(float& start, float& length) const {
    const float bar = static_cast<float>(direction == Qt::Vertical ? height() : width());
    if (contentSize <= viewSize || contentSize <= 0.0f) {
        start = 0.0f;
        length = bar;
        return;
    }
    length = std::max(kMinHandle, bar * viewSize / contentSize);
    length = std::min(length, bar);
    start = maxPosition() > 0.0f ? (bar - length) * pos / maxPosition() : 0.0f;
}

float VxScroller::along(const QPoint& point) const {
    return static_cast<float>(direction == Qt::Vertical ? point.y() : point.x());
}

void VxScroller::paintEvent(QPaintEvent*) {
    if (contentSize <= viewSize) return;  // nothing to scroll: no bar
    float start = 0.0f;
    float length = 0.0f;
    handleSpan(start, length);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const float thick = static_cast<float>(direction == Qt::Vertical ? width() : height());
    const float inset = 2.0f;
    const float bar = thick - 2.0f * inset;
    QRectF track;
    QRectF handle;
    if (direction == Qt::Vertical) {
        track = QRectF(inset, 0, bar, height());
        handle = QRectF(inset, start, bar, length);
    } else {
        track = QRectF(0, inset, width(), bar);
        handle = QRectF(start, inset, length, bar);
    }
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawRoundedRect(track, bar / 2, bar / 2);
    painter.setBrush(dragging ? QColor(170, 170, 170, 230) : QColor(130, 130, 130, 200));
    painter.drawRoundedRect(handle, bar / 2, bar / 2);
}

void VxScroller::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || contentSize <= viewSize) return;
    stopMomentum();
    float start = 0.0f;
    float length = 0.0f;
    handleSpan(start, length);
    const float at = along(event->pos());
    if (at < start || at > start + length) {
        // A click on the track centres the handle there.
        start = at - length / 2.0f;
        const float bar = static_cast<float>(direction == Qt::Vertical ? height() : width());
        if (bar > length) setPosition(start / (bar - length) * maxPosition(), true);
        handleSpan(start, length);
    }
    dragging = true;
    dragOffset = at - start;
    update();
}

void VxScroller::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging) return;
    float start = 0.0f;
    float length = 0.0f;
    handleSpan(start, length);
    const float bar = static_cast<float>(direction == Qt::Vertical ? height() : width());
    if (bar <= length) return;
    setPosition((along(event->pos()) - dragOffset) / (bar - length) * maxPosition(), true);
}

void VxScroller::mouseReleaseEvent(QMouseEvent*) {
    dragging = false;
    update();
}
