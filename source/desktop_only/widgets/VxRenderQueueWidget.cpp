#include "widgets/VxRenderQueueWidget.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWheelEvent>

#include <cmath>

#include "widgets/VxScroller.h"

VxRenderQueueWidget::VxRenderQueueWidget(QWidget* parent)
    : QWidget(parent), scroller(new VxScroller(this, Qt::Vertical)), content(new QWidget(this)) {
    connect(scroller, &VxScroller::scrolled, this, &VxRenderQueueWidget::scrollerScrolled);
    content->setStyleSheet(QStringLiteral("border-image: none;background:none;"));
    scroller->raise();
}

VxRenderQueueWidget::~VxRenderQueueWidget() = default;

void VxRenderQueueWidget::setItems(const GrowArray<GrowString>& names, const GrowArray<int32_t>& ids) {
    itemNames = names;
    itemIds = ids;
    while (rowLabels.count > itemNames.count) {
        const int32_t last = rowLabels.count - 1;
        delete rowLabels[last];
        cancelButtons[last]->hide();
        cancelButtons[last]->deleteLater();  // may be the button being released
        rowLabels.removeAt(last);
        cancelButtons.removeAt(last);
    }
    while (rowLabels.count < itemNames.count) {
        QLabel* label = new QLabel(content);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QPushButton* button = new QPushButton(content);
        button->setFlat(true);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::released, this, &VxRenderQueueWidget::cancelButtonPressed);
        QPixmap icon(QStringLiteral(":/img/mini_icon_cancel.png"));
        if (devicePixelRatioF() == 1.0) {
            icon = icon.scaled(static_cast<int>(std::lround(icon.width() / 2.0)),
                               static_cast<int>(std::lround(icon.height() / 2.0)), Qt::KeepAspectRatio,
                               Qt::SmoothTransformation);
        } else {
            icon.setDevicePixelRatio(devicePixelRatioF());
        }
        button->setIcon(QIcon(icon));
        button->setIconSize(icon.size() / icon.devicePixelRatio());
        button->setFixedSize(kButtonSize, kButtonSize);
        button->setStyleSheet(QStringLiteral("border:0px;background:none;"));
        rowLabels.append(label);
        cancelButtons.append(button);
    }
    for (int32_t i = 0; i < itemNames.count; ++i) {
        rowLabels[i]->setText(QString::fromUtf8(itemNames[i].c_str()));
        rowLabels[i]->show();
        cancelButtons[i]->show();
    }
    layoutRows();
    update();
}

void VxRenderQueueWidget::layoutRows() {
    const int barWidth = VxScroller::kThickness;
    const int labelWidth = std::max(10, width() - barWidth - kButtonSize - 8);
    int y = 0;
    for (int32_t i = 0; i < rowLabels.count; ++i) {
        QLabel* label = rowLabels[i];
        const int h = std::max(kButtonSize, label->heightForWidth(labelWidth));
        label->setGeometry(0, y, labelWidth, h);
        cancelButtons[i]->move(labelWidth + 4, y);
        y += h + kRowSpacing;
    }
    const int contentHeight = std::max(0, y - kRowSpacing);
    scroller->setGeometry(width() - barWidth, 0, barWidth, height());
    scroller->setLengths(static_cast<float>(height()), static_cast<float>(contentHeight));
    scrollPosition = scroller->position();
    content->setGeometry(0, -static_cast<int>(scrollPosition), width() - barWidth, std::max(contentHeight, height()));
}

void VxRenderQueueWidget::cancelButtonPressed() {
    for (int32_t i = 0; i < cancelButtons.count; ++i) {
        if (cancelButtons[i] == sender()) {
            emit cancelItemRequested(i < itemIds.count ? itemIds[i] : i);
            return;
        }
    }
}

void VxRenderQueueWidget::scrollerScrolled(float position) {
    scrollPosition = position;
    content->move(0, -static_cast<int>(position));
}

void VxRenderQueueWidget::resizeEvent(QResizeEvent*) { layoutRows(); }

void VxRenderQueueWidget::wheelEvent(QWheelEvent* event) { scroller->wheelScroll(event); }
