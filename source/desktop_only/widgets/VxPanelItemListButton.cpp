#include "widgets/VxPanelItemListButton.h"

#include <QMouseEvent>
#include <QPainter>

#include "framework/ImageMod.h"

VxPanelItemListButton::VxPanelItemListButton(ImageMod* tile, bool ownsTile, QWidget* parent)
    : VxPanelItem(parent), mod_(tile), ownsMod_(ownsTile) {}

VxPanelItemListButton::~VxPanelItemListButton() {
    if (ownsMod_) delete mod_;
}

void VxPanelItemListButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hovered) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 24));
        painter.drawRoundedRect(QRectF(rect()).adjusted(4, 1, -4, -1), 4, 4);
        if (overPlus_) {
            painter.setBrush(QColor(255, 255, 255, 30));
            painter.drawRoundedRect(QRectF(width() - kPlusWidth - 4, 1, kPlusWidth, height() - 2), 4, 4);
        }
    }
    painter.setPen(hovered ? QColor(255, 255, 255) : QColor(200, 200, 200));
    const QString label = mod_ ? QString::fromUtf8(mod_->displayName.c_str()) : QString();
    const QRect textBox(26, 0, width() - 26 - kPlusWidth - 4, height());
    painter.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft,
                     painter.fontMetrics().elidedText(label, Qt::ElideRight, textBox.width()));
    if (hovered) {
        // The "+" of the append area.
        const QPointF c(width() - 4 - kPlusWidth / 2.0, height() / 2.0);
        painter.setPen(QPen(overPlus_ ? QColor(255, 255, 255) : QColor(150, 150, 150), 1.6, Qt::SolidLine,
                            Qt::RoundCap));
        painter.drawLine(c + QPointF(-4, 0), c + QPointF(4, 0));
        painter.drawLine(c + QPointF(0, -4), c + QPointF(0, 4));
    }
}

void VxPanelItemListButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit buttonRightClicked(this, event->globalPos());
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    appendPressed_ = event->pos().x() >= width() - kPlusWidth - 4;
    emit pressed();
}

void VxPanelItemListButton::mouseMoveEvent(QMouseEvent* event) {
    const bool over = event->pos().x() >= width() - kPlusWidth - 4;
    if (over != overPlus_) {
        overPlus_ = over;
        update();
        emit plusHoverChanged(this, overPlus_);
    }
}

void VxPanelItemListButton::enterEvent(QEvent* event) {
    overPlus_ = false;
    VxPanelItem::enterEvent(event);
}

void VxPanelItemListButton::leaveEvent(QEvent* event) {
    overPlus_ = false;
    VxPanelItem::leaveEvent(event);
}
