#include "desktop_only/display/VxHistogramWidget.h"

#include <QMetaObject>
#include <QPainter>

VxHistogramWidget::VxHistogramWidget(QWidget* parent) : QWidget(parent) {}

VxHistogramWidget::~VxHistogramWidget() = default;

void VxHistogramWidget::setGraph(int graph) {
    if (graph < kLuminanceHistogram || graph > kChrominanceChart) return;
    graph_ = static_cast<HistogramWidgetGraph>(graph);
    update();
}

void VxHistogramWidget::setHasData(bool value) {
    hasData_.store(value);
    // May be called from the display thread: the repaint is queued.
    QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
}

void VxHistogramWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(24, 24, 24));
    // Guide lines at the quarters of the scale.
    painter.setPen(QColor(60, 60, 60));
    for (int i = 1; i < 4; ++i) {
        const int x = width() * i / 4;
        painter.drawLine(x, 0, x, height());
    }
}

VxHistogramWindow::VxHistogramWindow(QWidget* parent) : VxSubWindow(parent, GrowString("")) {
    histogram = new VxHistogramWidget(nullptr);
    setContent(histogram);
}

VxHistogramWindow::~VxHistogramWindow() = default;

void VxHistogramWindow::resizeEvent(QResizeEvent* event) {
    VxSubWindow::resizeEvent(event);
    emit windowResized(this);
}
