#include "widgets/VxTabButton.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

VxTabButton::VxTabButton(QWidget* parent, int tabId) : QPushButton(parent), tabID_(tabId) {
    setFocusPolicy(Qt::NoFocus);
    setFlat(true);
    setCheckable(true);
    connect(this, &QPushButton::clicked, this, &VxTabButton::onClicked);
}

void VxTabButton::setTitle(const GrowString& text) {
    title_ = text;
    updateText();
}

void VxTabButton::updateText() {
    const QString text = QString::fromUtf8(title_.c_str());
    setText(text);
    ensurePolished();  // the style sheet's font decides the width
    // A little slack: the advance is rounded, and an exact fit would elide.
    const int textWidth = fontMetrics().horizontalAdvance(text) + 4;
    resize(kTextPadding + textWidth + kCloseRoom, kHeight);
    update();
}

void VxTabButton::setActive(bool active) {
    activeLook = active;
    setChecked(active);
    update();
}

void VxTabButton::onClicked() {
    // A click on the current tab keeps it checked: a tab is never unchecked by a click.
    setChecked(activeLook || isChecked());
}

void VxTabButton::enterEvent(QEvent* event) {
    hovered = true;
    update();
    QPushButton::enterEvent(event);
}

void VxTabButton::leaveEvent(QEvent* event) {
    hovered = false;
    update();
    QPushButton::leaveEvent(event);
}

void VxTabButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 2.5, -0.5, 0.5);
    QPainterPath shape;
    const qreal r = 5.0;
    // Rounded at the top only: the tab sits on the area below it.
    shape.moveTo(box.left(), box.bottom());
    shape.lineTo(box.left(), box.top() + r);
    shape.quadTo(box.left(), box.top(), box.left() + r, box.top());
    shape.lineTo(box.right() - r, box.top());
    shape.quadTo(box.right(), box.top(), box.right(), box.top() + r);
    shape.lineTo(box.right(), box.bottom());
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    if (activeLook) {
        fill.setColorAt(0, QColor(88, 88, 88));
        fill.setColorAt(1, QColor(66, 66, 66));
    } else {
        const int lift = hovered ? 10 : 0;
        fill.setColorAt(0, QColor(52 + lift, 52 + lift, 52 + lift));
        fill.setColorAt(1, QColor(42 + lift, 42 + lift, 42 + lift));
    }
    painter.setBrush(fill);
    painter.setPen(QPen(activeLook ? QColor(120, 120, 120) : QColor(30, 30, 30), 1.0));
    painter.drawPath(shape);
    painter.setPen(activeLook ? QColor(255, 255, 255) : QColor(165, 165, 165));
    const QRect textBox = rect().adjusted(kTextPadding, 2, -kCloseRoom, 0);
    painter.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft,
                     painter.fontMetrics().elidedText(text(), Qt::ElideMiddle, textBox.width()));
}
