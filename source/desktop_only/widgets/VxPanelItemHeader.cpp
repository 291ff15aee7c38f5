#include "widgets/VxPanelItemHeader.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

VxPanelItemHeader::VxPanelItemHeader(const GrowString& sectionName, const QString& iconPath, QWidget* parent)
    : VxPanelItem(parent), name_(sectionName), icon(iconPath) {}

VxPanelItemHeader::~VxPanelItemHeader() = default;

void VxPanelItemHeader::setCollapsed(bool collapse) {
    collapsed_ = collapse;
    update();
}

void VxPanelItemHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // A thin rule above the section.
    painter.setPen(QPen(QColor(255, 255, 255, 22), 1.0));
    painter.drawLine(QPointF(6, 0.5), QPointF(width() - 6, 0.5));
    int x = 8;
    if (!icon.isNull()) {
        const QSizeF shown(icon.width() / 2.0, icon.height() / 2.0);
        painter.drawPixmap(QRectF(x, (height() - shown.height()) / 2.0, shown.width(), shown.height()), icon,
                           QRectF(icon.rect()));
        x += static_cast<int>(shown.width()) + 8;
    }
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(hovered ? QColor(255, 255, 255) : QColor(215, 215, 215));
    painter.drawText(QRect(x, 0, width() - x - 24, height()), Qt::AlignVCenter | Qt::AlignLeft,
                     QString::fromUtf8(name_.c_str()));
    // The arrow: pointing down while expanded, right while collapsed.
    const QPointF c(width() - 14.0, height() / 2.0);
    QPainterPath arrow;
    if (collapsed_) {
        arrow.moveTo(c + QPointF(-2.5, -4.5));
        arrow.lineTo(c + QPointF(3.0, 0.0));
        arrow.lineTo(c + QPointF(-2.5, 4.5));
    } else {
        arrow.moveTo(c + QPointF(-4.5, -2.5));
        arrow.lineTo(c + QPointF(4.5, -2.5));
        arrow.lineTo(c + QPointF(0.0, 3.0));
    }
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(160, 160, 160));
    painter.drawPath(arrow);
}

void VxPanelItemHeader::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    collapsed_ = !collapsed_;
    update();
    emit collapseToggled(this);
}
