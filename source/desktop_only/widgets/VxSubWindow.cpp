#include "widgets/VxSubWindow.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "widgets/VxPushButton.h"

VxSubWindow::VxSubWindow(QWidget* parent, const GrowString& windowTitle)
    : QWidget(parent),
      title(windowTitle),
      background(new QLabel(this)),
      titleLabel(new QLabel(this)),
      closeButton(new VxPushButton(this)),
      content(new QWidget(this)) {
    background->setStyleSheet(QStringLiteral(
        "background-color:transparent;border-image: url(:/img/floating_menu_bg_plain.png) 8 8 8 8;"
        "border-top: 8px transparent;border-bottom: 8px transparent;"
        "border-right: 8px transparent;border-left: 8px transparent;"));
    titleLabel->setText(QString::fromUtf8(title.c_str()));
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setStyleSheet(QStringLiteral("border-image: none;background:none;color: #bbbbbb;font-weight: bold;"));
    titleLabel->setVisible(!title.isEmpty());
    closeButton->setPixmaps(QPixmap(QStringLiteral(":/img/mini_icon_close.png")), QPixmap(), true, false);
    closeButton->setFixedSize(kCloseSize, kCloseSize);
    closeButton->setToolTipText("Close");
    connect(closeButton, &QPushButton::released, this, &VxSubWindow::closeButtonPressed);
    resize(kInitialWidth, kInitialHeight);
    move(20, 20);
    layoutContents();
}

VxSubWindow::~VxSubWindow() = default;

void VxSubWindow::setContent(QWidget* widget) {
    if (widget == content) return;
    delete content;
    content = widget;
    if (content) {
        content->setParent(this);
        content->show();
    }
    layoutContents();
}

void VxSubWindow::layoutContents() {
    background->setGeometry(rect());
    background->lower();
    const int top = title.isEmpty() ? kMargin : kTitleHeight + 4;
    titleLabel->setGeometry(kMargin, 4, width() - 2 * kMargin, kTitleHeight);
    closeButton->move(width() - kCloseSize - 7, 7);
    closeButton->raise();
    if (content) content->setGeometry(kMargin, top, width() - 2 * kMargin, height() - top - kMargin);
}

void VxSubWindow::closeButtonPressed() { hide(); }

void VxSubWindow::resizeEvent(QResizeEvent*) { layoutContents(); }

void VxSubWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->pos().y() < kTitleHeight + 4) {
        dragging = true;
        dragStart = mapToParent(event->pos()) - pos();
        raise();
    }
}

void VxSubWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging || !parentWidget()) return;
    QPoint target = mapToParent(event->pos()) - dragStart;
    // Keep the title bar reachable inside the parent.
    const QRect area = parentWidget()->rect();
    target.setX(qBound(area.left() - width() + 40, target.x(), area.right() - 40));
    target.setY(qBound(area.top(), target.y(), area.bottom() - kTitleHeight));
    move(target);
}

void VxSubWindow::mouseReleaseEvent(QMouseEvent*) { dragging = false; }
