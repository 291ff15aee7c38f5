#include "widgets/VxColorChoiceWidget.h"

#include <QMouseEvent>
#include <QPainter>

VxColorChoiceWidget::VxColorChoiceWidget(QWidget* parent) : QLabel(parent) {
    setStyleSheet(QString("background: none;") + "border-image: url(:/img/generic_tool_bg.png) 40 40 40 40;" +
                  "border-top: 20px transparent;" + "border-bottom: 20px transparent;" +
                  "border-right: 20px transparent;" + "border-left: 20px transparent;");
}

VxColorChoiceWidget::~VxColorChoiceWidget() = default;

void VxColorChoiceWidget::setColors(const GrowArray<QColor>& list) {
    colors = list;
    layoutSwatches();
}

void VxColorChoiceWidget::setSelection(const GrowArray<int32_t>& indices) {
    selection = indices;
    update();
}

bool VxColorChoiceWidget::isSelected(int32_t index) const {
    for (int32_t chosen : selection)
        if (chosen == index) return true;
    return false;
}

void VxColorChoiceWidget::layoutSwatches() {
    const int total = colors.count * swatchSize + std::max(0, colors.count - 1) * spacing;
    firstX = (width() - total) / 2;
    update();
}

QRect VxColorChoiceWidget::swatchRect(int32_t index) const {
    return QRect(firstX + index * (swatchSize + spacing), (height() - swatchSize) / 2, swatchSize, swatchSize);
}

int32_t VxColorChoiceWidget::swatchAt(const QPoint& pos) const {
    for (int32_t i = 0; i < colors.count; ++i)
        if (swatchRect(i).contains(pos)) return i;
    return -1;
}

void VxColorChoiceWidget::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int32_t i = 0; i < colors.count; ++i) {
        const QRect r = swatchRect(i);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colors[i]);
        painter.drawRoundedRect(r, 3, 3);
        if (isSelected(i)) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(255, 255, 255), 2));
            painter.drawRoundedRect(r.adjusted(-2, -2, 2, 2), 4, 4);
        }
    }
}

void VxColorChoiceWidget::mousePressEvent(QMouseEvent* event) {
    const int32_t index = swatchAt(event->pos());
    if (index < 0) return;
    GrowArray<int32_t> next;
    for (int32_t chosen : selection)
        if (chosen != index) next.append(chosen);
    // A selected swatch leaves the selection unless it is the last one; an
    // unselected one joins it.
    if (next.count == selection.count || next.count == 0) next.append(index);
    selection = next;
    update();
    emit selectionChanged(this);
}

void VxColorChoiceWidget::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    layoutSwatches();
}
