#include "tray/TrayNode.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "framework/ImageMod.h"
#include "widgets/VxPushButton.h"

TrayNode::TrayNode(QWidget* parent, ImageMod* tile)
    : QWidget(parent), mod_(tile), enableButton_(new VxPushButton(this)) {
    resize(kWidth, kHeight);
    enableButton_->setCheckable(true);
    enableButton_->setPixmaps(QPixmap(QStringLiteral(":/img/minib_icon_visible.png")), QPixmap(), true, false);
    enableButton_->setFixedSize(20, 20);
    enableButton_->move(kWidth - 24, 5);
    enableButton_->setToolTipText("Switch this tile off and on.");
    connect(enableButton_, &QPushButton::clicked, this, [this] { emit enableButtonPressed(this); });
    updateEnableButton();
}

TrayNode::~TrayNode() = default;

void TrayNode::setSelected(bool selected) {
    selected_ = selected;
    updateStyle();
}

void TrayNode::updateStyle() { update(); }

void TrayNode::updateEnableButton() {
    const bool on = mod_ && mod_->enabled;
    enableButton_->setChecked(on);
    enableButton_->setEnabled(!mod_ || mod_->canDisable());
    update();
}

void TrayNode::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool on = mod_ && mod_->enabled;
    const bool nested = mod_ && mod_->kind() == kCompoundMod;
    QRectF card = QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5);
    if (nested) {
        // Two cards behind: a nested tile holds a chain of its own.
        card.adjust(0, 4, -4, 0);
        painter.setPen(QPen(QColor(25, 25, 25), 1.0));
        painter.setBrush(QColor(58, 58, 58));
        painter.drawRoundedRect(card.translated(4, -4), 7, 7);
    }
    QLinearGradient fill(card.topLeft(), card.bottomLeft());
    const int lift = hovered ? 8 : 0;
    if (on) {
        fill.setColorAt(0, QColor(92 + lift, 92 + lift, 92 + lift));
        fill.setColorAt(1, QColor(70 + lift, 70 + lift, 70 + lift));
    } else {
        fill.setColorAt(0, QColor(56 + lift, 56 + lift, 56 + lift));
        fill.setColorAt(1, QColor(46 + lift, 46 + lift, 46 + lift));
    }
    painter.setBrush(fill);
    painter.setPen(selected_ ? QPen(QColor(96, 168, 240), 2.0) : QPen(QColor(24, 24, 24), 1.0));
    painter.drawRoundedRect(card, 7, 7);
    if (mod_ && mod_->pinned) {
        // The pin: a small filled circle with a needle, top left.
        painter.setPen(QPen(QColor(200, 200, 200), 1.2));
        painter.drawLine(QPointF(card.left() + 10, card.top() + 10), QPointF(card.left() + 10, card.top() + 16));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(230, 90, 80));
        painter.drawEllipse(QPointF(card.left() + 10, card.top() + 8), 3.5, 3.5);
    }
    painter.setPen(on ? QColor(255, 255, 255) : QColor(140, 140, 140));
    const QString label = mod_ ? QString::fromUtf8(mod_->tileLabel().c_str()) : QString();
    const QRectF textBox = card.adjusted(6, 20, -6, -4);
    painter.drawText(textBox, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap,
                     painter.fontMetrics().elidedText(label, Qt::ElideRight, static_cast<int>(textBox.width()) * 2));
}

void TrayNode::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit nodePressed(this, event->modifiers());
    } else if (event->button() == Qt::RightButton) {
        emit nodeRightPressed(this);
    }
}

void TrayNode::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit nodeDoubleClicked(this);
}

void TrayNode::enterEvent(QEvent* event) {
    hovered = true;
    update();
    QWidget::enterEvent(event);
}

void TrayNode::leaveEvent(QEvent* event) {
    hovered = false;
    update();
    QWidget::leaveEvent(event);
}
