#include "widgets/VxPanelItem.h"

VxPanelItem::VxPanelItem(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

VxPanelItem::~VxPanelItem() = default;

void VxPanelItem::enterEvent(QEvent* event) {
    hovered = true;
    update();
    emit panelItemEntered(this);
    QWidget::enterEvent(event);
}

void VxPanelItem::leaveEvent(QEvent* event) {
    hovered = false;
    update();
    QWidget::leaveEvent(event);
}
