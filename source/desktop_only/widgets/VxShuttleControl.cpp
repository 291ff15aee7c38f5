#include "widgets/VxShuttleControl.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kEntryWidth = 80;
constexpr int kHideInfoMs = 1500;  // the time box stays this long after scrubbing

QString timeText(float seconds) {
    if (!std::isfinite(seconds) || seconds < 0.0f) seconds = 0.0f;
    const int whole = static_cast<int>(std::min(seconds, 359999.0f));
    const int hundredths = static_cast<int>((seconds - static_cast<float>(whole)) * 100.0f);
    return QStringLiteral("%1:%2.%3")
        .arg(whole / 60)
        .arg(whole % 60, 2, 10, QLatin1Char('0'))
        .arg(std::clamp(hundredths, 0, 99), 2, 10, QLatin1Char('0'));
}
}  // namespace

VxShuttleControl::VxShuttleControl(QWidget* parent)
    : QWidget(parent),
      scrollTimer(new QTimer(this)),
      scrollFinishTimer(new QTimer(this)),
      hideInfoTimer(new QTimer(this)),
      timeEntry(new QLineEdit(this)),
      timeBox_(new QLabel(parent)) {
    connect(scrollTimer, &QTimer::timeout, this, &VxShuttleControl::scrollTimerFired);
    connect(scrollFinishTimer, &QTimer::timeout, this, &VxShuttleControl::scrollFinishTimerFired);
    connect(hideInfoTimer, &QTimer::timeout, this, &VxShuttleControl::hideInfoTimerFired);
    connect(timeEntry, &QLineEdit::editingFinished, this, &VxShuttleControl::textEdited);
    scrollFinishTimer->setSingleShot(true);
    hideInfoTimer->setSingleShot(true);
    timeEntry->setAlignment(Qt::AlignCenter);
    // Only a click gives the entry the keyboard: the window keeps the shuttle
    // shown but far outside the view in this build, and an entry that took
    // the focus on its own would swallow the window's single-key shortcuts.
    timeEntry->setFocusPolicy(Qt::ClickFocus);
    timeEntry->setStyleSheet(QStringLiteral("border-image: url(:/img/text_entry_bg.png) 8 8 8 8;"
                                            "border-top: 4px transparent;border-bottom: 4px transparent;"
                                            "border-right: 4px transparent;border-left: 4px transparent;"
                                            "color: #ffffff;"));
    timeBox_->setAlignment(Qt::AlignCenter);
    timeBox_->setStyleSheet(QStringLiteral("border-image: url(:/img/generic_tool_bg.png) 20 20 20 20;"
                                          "border-top: 10px transparent;border-bottom: 10px transparent;"
                                          "border-right: 10px transparent;border-left: 10px transparent;"
                                          "color: #ffffff;"));
    timeBox_->hide();
    resize(400, 40);
    updateDisplay(false);
}

VxShuttleControl::~VxShuttleControl() {
    // The time box belongs to the shuttle although Qt's parent is the
    // shuttle's parent; QPointer is null when the parent already deleted it.
    delete timeBox_.data();
}

QLabel* VxShuttleControl::timeBox() const { return timeBox_.data(); }

void VxShuttleControl::setPosition(bool emitSignal, float value) {
    position_ = std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f;
    updateDisplay(false);
    if (emitSignal) emit sliderChanged(this);
}

void VxShuttleControl::updateDisplay(bool centre) {
    if (centre && zoomedRange) {
        const float half = (zoomHigh - zoomLow) / 2.0f;
        zoomLow = std::clamp(position_ - half, 0.0f, std::max(0.0f, 1.0f - 2.0f * half));
        zoomHigh = zoomLow + 2.0f * half;
    }
    const QString text = timeText(position_ * duration);
    if (!timeEntry->hasFocus()) timeEntry->setText(text);
    if (timeBox_) timeBox_->setText(text);
    update();
}

void VxShuttleControl::followPosition() {
    if (!zoomedRange) return;
    const double low = zoomLow;
    const double width = static_cast<double>(zoomHigh) - low;
    if (width == 0.0) return;
    const double fraction = (low - position_) / width + 0.5;
    const double shift = width * fraction;
    zoomLow = static_cast<float>(low - shift);
    zoomHigh = static_cast<float>(zoomHigh - shift);
    if (markerRange) {
        const double markerShift = (static_cast<double>(markerHigh) - markerLow) * fraction;
        markerLow = static_cast<float>(markerLow - markerShift);
        markerHigh = static_cast<float>(markerHigh - markerShift);
    }
}

QRectF VxShuttleControl::trackRect() const {
    return QRectF(8.0, height() / 2.0 - 3.0, std::max(10.0, width() - kEntryWidth - 24.0), 6.0);
}

float VxShuttleControl::fractionAt(int x) const {
    const QRectF track = trackRect();
    float f = static_cast<float>((x - track.left()) / track.width());
    f = std::clamp(f, 0.0f, 1.0f);
    if (zoomedRange) f = zoomLow + f * (zoomHigh - zoomLow);
    return f;
}

void VxShuttleControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = trackRect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 30));
    painter.drawRoundedRect(track, 3, 3);
    const float low = zoomedRange ? zoomLow : 0.0f;
    const float span = zoomedRange ? std::max(1e-6f, zoomHigh - zoomLow) : 1.0f;
    auto xOf = [&](float f) { return track.left() + track.width() * std::clamp((f - low) / span, 0.0f, 1.0f); };
    if (markerRange) {
        painter.setBrush(QColor(86, 158, 230, 110));
        painter.drawRect(QRectF(xOf(markerLow), track.top(), xOf(markerHigh) - xOf(markerLow), track.height()));
    }
    painter.setPen(QPen(QColor(86, 158, 230), 2.0));
    painter.drawLine(QPointF(xOf(inMarker_), track.top() - 5), QPointF(xOf(inMarker_), track.bottom() + 5));
    painter.drawLine(QPointF(xOf(outMarker_), track.top() - 5), QPointF(xOf(outMarker_), track.bottom() + 5));
    painter.setPen(QPen(QColor(20, 20, 20), 1.0));
    painter.setBrush(QColor(220, 220, 220));
    painter.drawEllipse(QPointF(xOf(position_), track.center().y()), 6.0, 6.0);
}

void VxShuttleControl::resizeEvent(QResizeEvent*) {
    timeEntry->setGeometry(width() - kEntryWidth - 8, (height() - 22) / 2, kEntryWidth, 22);
}

void VxShuttleControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging = true;
    hideInfoTimer->stop();
    if (timeBox_) {
        timeBox_->adjustSize();
        timeBox_->resize(timeBox_->width() + 24, 34);
        timeBox_->move(mapToParent(QPoint(event->pos().x() - timeBox_->width() / 2, -timeBox_->height())));
        timeBox_->show();
        timeBox_->raise();
    }
    setPosition(true, fractionAt(event->pos().x()));
}

void VxShuttleControl::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging) return;
    setPosition(true, fractionAt(event->pos().x()));
    if (timeBox_) timeBox_->move(mapToParent(QPoint(event->pos().x() - timeBox_->width() / 2, -timeBox_->height())));
}

void VxShuttleControl::mouseReleaseEvent(QMouseEvent*) {
    dragging = false;
    hideInfoTimer->start(kHideInfoMs);
}

void VxShuttleControl::scrollTimerFired() { scrollTimer->stop(); }

void VxShuttleControl::scrollFinishTimerFired() { updateDisplay(false); }

void VxShuttleControl::hideInfoTimerFired() {
    if (timeBox_) timeBox_->hide();
}

void VxShuttleControl::textEdited() {
    // "m:ss.hh" or plain seconds.
    const QString text = timeEntry->text().trimmed();
    float seconds = 0.0f;
    bool ok = false;
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool minutesOk = false;
        bool secondsOk = false;
        const float minutes = text.left(colon).toFloat(&minutesOk);
        const float rest = text.mid(colon + 1).toFloat(&secondsOk);
        ok = minutesOk && secondsOk;
        seconds = minutes * 60.0f + rest;
    } else {
        seconds = text.toFloat(&ok);
    }
    if (!ok || duration <= 0.0f || !std::isfinite(seconds)) {
        updateDisplay(false);
        return;
    }
    setPosition(true, seconds / duration);
}
