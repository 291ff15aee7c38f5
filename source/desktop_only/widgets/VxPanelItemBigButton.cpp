#include "widgets/VxPanelItemBigButton.h"

#include <QMouseEvent>
#include <QPainter>

VxPanelItemBigButton::VxPanelItemBigButton(int commandId, const GrowString& label, QWidget* parent)
    : VxPanelItem(parent), commandID_(commandId), text_(label) {}

VxPanelItemBigButton::~VxPanelItemBigButton() = default;

void VxPanelItemBigButton::setText(const GrowString& label) {
    text_ = label;
    update();
}

void VxPanelItemBigButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(6.5, 4.5, -6.5, -4.5);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    const int lift = down ? -10 : (hovered ? 12 : 0);
    fill.setColorAt(0, QColor(84 + lift, 84 + lift, 84 + lift));
    fill.setColorAt(1, QColor(66 + lift, 66 + lift, 66 + lift));
    painter.setBrush(fill);
    painter.setPen(QPen(QColor(28, 28, 28), 1.0));
    painter.drawRoundedRect(box, 6, 6);
    painter.setPen(QPen(QColor(255, 255, 255, 28), 1.0));
    painter.drawLine(box.topLeft() + QPointF(6, 1), box.topRight() + QPointF(-6, 1));
    painter.setPen(QColor(240, 240, 240));
    painter.drawText(box, Qt::AlignCenter, QString::fromUtf8(text_.c_str()));
}

void VxPanelItemBigButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    down = true;
    update();
    emit pressed();
}

void VxPanelItemBigButton::mouseReleaseEvent(QMouseEvent*) {
    down = false;
    update();
}
