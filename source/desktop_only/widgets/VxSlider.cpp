#include "widgets/VxSlider.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kScrollFinishMs = 400;  // the wheel edit ends this long after the last step
constexpr int kEntryWidth = 70;
constexpr int kEntryHeight = 18;

QString numberText(double v) { return QString::number(v, 'g', 6); }
}  // namespace

VxSlider::VxSlider(QWidget* parent)
    : QLabel(parent),
      lowLabel(new QLabel(this)),
      highLabel(new QLabel(this)),
      entry(new QLineEdit(this)),
      scrollTimer(new QTimer(this)),
      scrollFinishTimer(new QTimer(this)) {
    setMouseTracking(true);
    setStyleSheet(QString("background:none;") + "border-image: url(:/img/slider_bg.png) 40 100 40 100;" +
                  "border-top: 20px transparent;" + "border-bottom: 20px transparent;" +
                  "border-right: 50px transparent;" + "border-left: 50px transparent;");
    tickPixmap = QPixmap(":/img/slider_tickmark.png");
    tickPixmap.setDevicePixelRatio(2.0);
    handlePixmap = QPixmap(":/img/slider_handle.png");
    handlePixmap.setDevicePixelRatio(2.0);
    const QString plain("border-image: none;border: 0px;background:none;color: #666666;");
    lowLabel->setStyleSheet(plain);
    lowLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    highLabel->setStyleSheet(plain);
    highLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    entry->setStyleSheet(QString("border-image: url(:/img/text_entry_bg.png) 8 8 8 8;") +
                         "border-top: 4px transparent;" + "border-bottom: 4px transparent;" +
                         "border-right: 4px transparent;" + "border-left: 4px transparent;" + "color: #ffffff;");
    entry->setTextMargins(-2, -2, -2, -2);
    entry->setAlignment(Qt::AlignCenter);
    connect(entry, &QLineEdit::editingFinished, this, &VxSlider::textEdited);
    scrollTimer->setSingleShot(true);
    connect(scrollTimer, &QTimer::timeout, this, &VxSlider::scrollTimerFired);
    scrollFinishTimer->setSingleShot(true);
    connect(scrollFinishTimer, &QTimer::timeout, this, &VxSlider::scrollFinishTimerFired);
    setControlSize(200, 54);
    updateDisplay();
}

VxSlider::~VxSlider() = default;

float VxSlider::clampToLimits(float v) const {
    if (std::isnan(v)) v = limitLowOn_ ? limitLow_ : (limitHighOn_ ? limitHigh_ : 0.0f);
    if (limitLowOn_ && v < limitLow_) v = limitLow_;
    if (limitHighOn_ && v > limitHigh_) v = limitHigh_;
    return v;
}

void VxSlider::recentre() {
    const float width = rangeHigh_ - rangeLow_;
    // Equal range ends leave nothing to centre on (and would divide by zero).
    if (!(width != 0.0f) || !std::isfinite(width)) return;
    const float t = (rangeLow_ - value_) / width + 0.5f;
    if (!std::isfinite(t)) return;
    rangeLow_ += -width * t;
    rangeHigh_ += -width * t;
    const float displayWidth = displayHigh_ - displayLow_;
    displayLow_ += -displayWidth * t;
    displayHigh_ += -displayWidth * t;
}

void VxSlider::setValue(float v) {
    value_ = clampToLimits(v);
    if (symbolicEnds_) recentre();
    updateDisplay();
}

void VxSlider::setControlSize(int width, int height) {
    resize(std::max(width, 0), std::max(height, 0));
}

double VxSlider::displayFor(double v) const {
    if (!displayRangeOn_) return v;
    const double width = static_cast<double>(rangeHigh_) - rangeLow_;
    if (width == 0.0) return displayLow_;
    return displayLow_ + (v - rangeLow_) / width * (static_cast<double>(displayHigh_) - displayLow_);
}

double VxSlider::valueForDisplay(double d) const {
    if (!displayRangeOn_) return d;
    const double width = static_cast<double>(displayHigh_) - displayLow_;
    if (width == 0.0) return rangeLow_;
    return rangeLow_ + (d - displayLow_) / width * (static_cast<double>(rangeHigh_) - rangeLow_);
}

float VxSlider::valueAtX(int x) const {
    const int track = std::max(1, width() - 2 * kSideBorder);
    const double t = std::clamp(static_cast<double>(x - kSideBorder) / track, 0.0, 1.0);
    return clampToLimits(static_cast<float>(rangeLow_ + t * (static_cast<double>(rangeHigh_) - rangeLow_)));
}

int VxSlider::handleX() const {
    const int track = std::max(1, width() - 2 * kSideBorder);
    const double span = static_cast<double>(rangeHigh_) - rangeLow_;
    double t = span != 0.0 ? (static_cast<double>(value_) - rangeLow_) / span : 0.5;
    if (!std::isfinite(t)) t = 0.5;
    return kSideBorder + static_cast<int>(std::clamp(t, 0.0, 1.0) * track);
}

void VxSlider::updateDisplay() {
    if (symbolicEnds_) {
        lowLabel->setText("-");
        highLabel->setText("+");
    } else {
        lowLabel->setText(numberText(displayFor(rangeLow_)));
        highLabel->setText(numberText(displayFor(rangeHigh_)));
    }
    if (!entry->hasFocus()) entry->setText(numberText(displayFor(value_)));
    update();
}

void VxSlider::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    const int w = width();
    const int h = height();
    lowLabel->setGeometry(4, 0, kSideBorder - 6, h);
    highLabel->setGeometry(w - kSideBorder + 2, 0, kSideBorder - 6, h);
    entry->setGeometry((w - kEntryWidth) / 2, h - kEntryHeight - 1, kEntryWidth, kEntryHeight);
}

void VxSlider::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    QPainter painter(this);
    const int track = std::max(1, width() - 2 * kSideBorder);
    const int centreY = height() / 2 - 6;
    if (!tickPixmap.isNull() && tickCount_ > 0) {
        const qreal tw = tickPixmap.width() / tickPixmap.devicePixelRatio();
        const qreal th = tickPixmap.height() / tickPixmap.devicePixelRatio();
        const int ticks = std::min(tickCount_, track);
        for (int i = 0; i <= ticks; ++i) {
            const qreal x = kSideBorder + static_cast<qreal>(track) * i / ticks;
            painter.drawPixmap(QPointF(x - tw * 0.5, centreY - th * 0.5), tickPixmap);
        }
    }
    if (!handlePixmap.isNull()) {
        const qreal hw = handlePixmap.width() / handlePixmap.devicePixelRatio();
        const qreal hh = handlePixmap.height() / handlePixmap.devicePixelRatio();
        painter.drawPixmap(QPointF(handleX() - hw * 0.5, centreY - hh * 0.5), handlePixmap);
    }
}

void VxSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
    dragging = true;
    emit editingStarted(this);
    value_ = valueAtX(event->pos().x());
    updateDisplay();
    emit sliderChanged(this);
}

void VxSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging) return QLabel::mouseMoveEvent(event);
    const float v = valueAtX(event->pos().x());
    if (v == value_) return;
    value_ = v;
    updateDisplay();
    emit sliderChanged(this);
}

void VxSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging) return QLabel::mouseReleaseEvent(event);
    dragging = false;
    // The ranges follow the value only once the drag has ended.
    setValue(value_);
}

void VxSlider::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) return;
    if (!scrolling) {
        scrolling = true;
        emit editingStarted(this);
    }
    const float step = (rangeHigh_ - rangeLow_) / static_cast<float>(std::max(tickCount_, 1) * 10);
    value_ = clampToLimits(value_ + step * static_cast<float>(steps));
    updateDisplay();
    emit sliderChanged(this);
    scrollTimer->start(0);
    scrollFinishTimer->start(kScrollFinishMs);
}

void VxSlider::scrollTimerFired() { update(); }

void VxSlider::scrollFinishTimerFired() {
    scrolling = false;
    setValue(value_);
}

void VxSlider::textEdited() {
    bool ok = false;
    const double typed = entry->text().trimmed().toDouble(&ok);
    entry->clearFocus();
    if (!ok || !std::isfinite(typed)) {
        updateDisplay();
        return;
    }
    const double v = valueForDisplay(typed);
    const float next = clampToLimits(static_cast<float>(std::clamp(v, -3.0e38, 3.0e38)));
    if (next == value_) {
        updateDisplay();
        return;
    }
    emit editingStarted(this);
    setValue(next);
    emit sliderChanged(this);
}
