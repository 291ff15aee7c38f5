#include "widgets/ToneCurveWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "widgets/ScreenPixelRatio.h"

namespace {
float clampUnit(float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f; }
}  // namespace

ToneCurveWidget::ToneCurveWidget(QWidget* parent, int32_t editorMode) : QWidget(parent), mode_(editorMode) {
    setFocusPolicy(Qt::StrongFocus);
    const qreal ratio = screenPixelRatio();
    hueHandle = QPixmap(":/img/hue_handle.png");
    if (!hueHandle.isNull()) hueHandle.setDevicePixelRatio(2.0);
    gridPen = QPen(QColor(127, 127, 127, 130), 1.0 / ratio);
    curvePen = QPen(QColor(200, 200, 200), 1.5 / ratio);
    whitePen = QPen(QColor(255, 255, 255));
    whitePen.setCosmetic(true);
    blackPen = QPen(QColor(0, 0, 0));
    blackPen.setCosmetic(true);
    bluePen = QPen(QColor(86, 158, 230));
    redPen = QPen(QColor(255, 0, 0));
    if (mode_ == 0) {
        guidePoints_.append(CurvePoint{0.0f, 0.0f});
        guidePoints_.append(CurvePoint{1.0f, 1.0f});
    } else {
        guidePoints_.append(CurvePoint{0.0f, 0.5f});
        guidePoints_.append(CurvePoint{1.0f, 0.5f});
    }
    setStyleSheet(QString("background: none;") + "border-image: url(:/img/generic_tool_bg.png) 40 40 40 40;" +
                  "border-top: 20px transparent;" + "border-bottom: 20px transparent;" +
                  "border-right: 20px transparent;" + "border-left: 20px transparent;");
    resize(250, 250);
}

ToneCurveWidget::~ToneCurveWidget() = default;

void ToneCurveWidget::setCurve(const Curve& edited) {
    curve_ = edited;
    update();
}

void ToneCurveWidget::setHuePosition(float position) {
    huePosition_ = position;
    update();
}

void ToneCurveWidget::setGuidePoints(const GrowArray<CurvePoint>& points) {
    guidePoints_ = points;
    update();
}

void ToneCurveWidget::setHueOffsetHandle(float hueOffset) {
    const float position = (180.0f - hueOffset) / 180.0f;
    huePosition_ = std::isfinite(position) ? std::clamp(position, -1.0f, 1.0f) : 0.0f;
}

QRect ToneCurveWidget::graphRect() const {
    const int band = mode_ == 0 ? 0 : kHueBand + 4;
    return QRect(kInset, kInset, std::max(1, width() - 2 * kInset), std::max(1, height() - 2 * kInset - band));
}

QRect ToneCurveWidget::hueBandRect() const {
    const QRect g = graphRect();
    return QRect(g.left(), g.bottom() + 4, g.width(), kHueBand);
}

QPointF ToneCurveWidget::toWidget(CurvePoint p) const {
    const QRect g = graphRect();
    return QPointF(g.left() + clampUnit(p.x) * (g.width() - 1), g.top() + (1.0f - clampUnit(p.y)) * (g.height() - 1));
}

CurvePoint ToneCurveWidget::toCurve(const QPointF& pos) const {
    const QRect g = graphRect();
    const float x = static_cast<float>((pos.x() - g.left()) / std::max(1, g.width() - 1));
    const float y = static_cast<float>(1.0 - (pos.y() - g.top()) / std::max(1, g.height() - 1));
    return CurvePoint{clampUnit(x), clampUnit(y)};
}

void ToneCurveWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect g = graphRect();
    painter.setPen(gridPen);
    for (int i = 0; i <= 4; ++i) {
        const qreal x = g.left() + (g.width() - 1) * i / 4.0;
        const qreal y = g.top() + (g.height() - 1) * i / 4.0;
        painter.drawLine(QPointF(x, g.top()), QPointF(x, g.bottom()));
        painter.drawLine(QPointF(g.left(), y), QPointF(g.right(), y));
    }
    if (guidePoints_.count >= 2) {
        QPainterPath guide(toWidget(guidePoints_[0]));
        for (int32_t i = 1; i < guidePoints_.count; ++i) guide.lineTo(toWidget(guidePoints_[i]));
        painter.setPen(gridPen);
        painter.drawPath(guide);
    }
    if (mode_ != 0) {
        const QRect band = hueBandRect();
        QLinearGradient hues(band.topLeft(), band.topRight());
        for (int i = 0; i <= 6; ++i) hues.setColorAt(i / 6.0, QColor::fromHsvF(std::fmod(i / 6.0, 1.0), 1.0, 1.0));
        painter.fillRect(band, hues);
        if (mode_ == 3) {
            const qreal x = band.left() + (huePosition_ + 1.0) * 0.5 * (band.width() - 1);
            if (!hueHandle.isNull()) {
                const qreal hw = hueHandle.width() / hueHandle.devicePixelRatio();
                const qreal hh = hueHandle.height() / hueHandle.devicePixelRatio();
                painter.drawPixmap(QPointF(x - hw * 0.5, band.center().y() - hh * 0.5), hueHandle);
            } else {
                painter.setPen(whitePen);
                painter.drawLine(QPointF(x, band.top()), QPointF(x, band.bottom()));
            }
        }
    }
    if (curve_.table.count == Curve::kTableSize) {
        QPainterPath line;
        const int steps = std::max(2, g.width());
        for (int i = 0; i < steps; ++i) {
            const int index = static_cast<int>(static_cast<int64_t>(i) * (Curve::kTableSize - 1) / (steps - 1));
            const QPointF p = toWidget(CurvePoint{static_cast<float>(i) / (steps - 1), curve_.table[index]});
            if (i == 0) line.moveTo(p);
            else line.lineTo(p);
        }
        painter.setPen(curvePen);
        painter.drawPath(line);
    }
    for (int32_t i = 0; i < curve_.points.count; ++i) {
        const QPointF p = toWidget(curve_.points[i]);
        painter.setPen(blackPen);
        painter.setBrush(i == dragIndex ? QColor(86, 158, 230) : QColor(255, 255, 255));
        painter.drawRect(QRectF(p.x() - 3, p.y() - 3, 6, 6));
    }
}

void ToneCurveWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit rightClicked(this);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    const QPointF pos = event->localPos();
    if (mode_ == 3 && hueBandRect().adjusted(0, -2, 0, 2).contains(pos.toPoint())) {
        draggingHue = true;
        emit editingStarted(this);
        moveDragged(pos);
        emit curveChanged(this);
        return;
    }
    int32_t nearest = -1;
    double best = kPickRadius * kPickRadius;
    for (int32_t i = 0; i < curve_.points.count; ++i) {
        const QPointF d = toWidget(curve_.points[i]) - pos;
        const double distance = d.x() * d.x() + d.y() * d.y();
        if (distance <= best) {
            best = distance;
            nearest = i;
        }
    }
    emit editingStarted(this);
    if (nearest < 0 && curve_.points.count < Curve::kMaxPoints) {
        const CurvePoint p = toCurve(pos);
        int32_t at = 0;
        while (at < curve_.points.count && curve_.points[at].x < p.x) ++at;
        if (at == 0) at = curve_.points.count > 0 ? 1 : 0;  // never in front of the first end
        if (at > 0 && at == curve_.points.count && curve_.points.count >= 2) at = curve_.points.count - 1;
        curve_.insertPoint(at);
        nearest = at;
    }
    dragIndex = nearest;
    moveDragged(pos);
    emit curveChanged(this);
}

void ToneCurveWidget::moveDragged(const QPointF& pos) {
    if (draggingHue) {
        const QRect band = hueBandRect();
        const double t = (pos.x() - band.left()) / std::max(1, band.width() - 1);
        huePosition_ = static_cast<float>(std::clamp(t * 2.0 - 1.0, -1.0, 1.0));
        curve_.hueOffset = 180.0f - 180.0f * huePosition_;
        curve_.rebuildTable();
        update();
        return;
    }
    if (dragIndex < 0 || dragIndex >= curve_.points.count) return;
    CurvePoint p = toCurve(pos);
    const int32_t last = curve_.points.count - 1;
    if (dragIndex == 0) p.x = 0.0f;
    else if (dragIndex == last) p.x = 1.0f;
    else p.x = std::clamp(p.x, curve_.points[dragIndex - 1].x, curve_.points[dragIndex + 1].x);
    curve_.setPoint(dragIndex, p);
    update();
}

void ToneCurveWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!draggingHue && dragIndex < 0) return;
    const QPointF pos = event->localPos();
    const QRect g = graphRect();
    const bool inner = dragIndex > 0 && dragIndex < curve_.points.count - 1;
    if (inner && (pos.y() < g.top() - kRemoveDistance || pos.y() > g.bottom() + kRemoveDistance)) {
        curve_.points.removeAt(dragIndex);
        curve_.rebuildTable();
        dragIndex = -1;
        update();
        emit curveChanged(this);
        return;
    }
    moveDragged(pos);
    emit curveChanged(this);
}

void ToneCurveWidget::mouseReleaseEvent(QMouseEvent*) {
    dragIndex = -1;
    draggingHue = false;
    update();
}
