#include "widgets/VxRenderQueueWidget.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWheelEvent>

#include <algorithm>
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
    bool same = names.count == itemNames.count && ids.count == itemIds.count;
    for (int32_t i = 0; same && i < ids.count; ++i) same = ids[i] == itemIds[i];
    for (int32_t i = 0; same && i < names.count; ++i) same = names[i] == itemNames[i];
    if (same) return;
    itemNames = names;
    itemIds = ids;
    layoutRows();
    update();
}

int VxRenderQueueWidget::rowHeight() const { return std::max(kButtonSize, fontMetrics().lineSpacing() * 2); }

QPushButton* VxRenderQueueWidget::makeCancelButton() {
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
    return button;
}

void VxRenderQueueWidget::layoutRows() {
    const int barWidth = VxScroller::kThickness;
    const int labelWidth = std::max(10, width() - barWidth - kButtonSize - 8);
    const int pitch = rowPitch();
    const int contentHeight = std::max(0, itemNames.count * pitch - kRowSpacing);
    scroller->setGeometry(width() - barWidth, 0, barWidth, height());
    scroller->setLengths(static_cast<float>(height()), static_cast<float>(contentHeight));
    scrollPosition = scroller->position();
    const float top = std::max(0.0f, scrollPosition);
    firstRow = std::min(std::max(0, itemNames.count - 1), static_cast<int32_t>(top / static_cast<float>(pitch)));
    if (itemNames.count == 0) firstRow = 0;
    // Enough rows to cover the height with one partly shown at each end.
    const int32_t capacity = std::max(kMinimumRows, height() / pitch + 2);
    const int32_t shown = std::min(capacity, itemNames.count - firstRow);
    while (rowLabels.count > shown) {
        const int32_t last = rowLabels.count - 1;
        delete rowLabels[last];
        cancelButtons[last]->hide();
        cancelButtons[last]->deleteLater();  // may be the button being released
        rowLabels.removeAt(last);
        cancelButtons.removeAt(last);
    }
    while (rowLabels.count < shown) {
        QLabel* label = new QLabel(content);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        rowLabels.append(label);
        cancelButtons.append(makeCancelButton());
    }
    content->setGeometry(0, 0, width() - barWidth, height());
    const int offset = static_cast<int>(top) - firstRow * pitch;
    for (int32_t i = 0; i < rowLabels.count; ++i) {
        const int y = i * pitch - offset;
        const QString text = QString::fromUtf8(itemNames[firstRow + i].c_str());
        if (rowLabels[i]->text() != text) rowLabels[i]->setText(text);
        rowLabels[i]->setGeometry(0, y, labelWidth, rowHeight());
        cancelButtons[i]->move(labelWidth + 4, y);
        rowLabels[i]->show();
        cancelButtons[i]->show();
    }
}

void VxRenderQueueWidget::cancelButtonPressed() {
    for (int32_t i = 0; i < cancelButtons.count; ++i) {
        if (cancelButtons[i] == sender()) {
            const int32_t item = firstRow + i;
            if (item >= itemNames.count) return;
            emit cancelItemRequested(item < itemIds.count ? itemIds[item] : item);
            return;
        }
    }
}

void VxRenderQueueWidget::scrollerScrolled(float position) {
    scrollPosition = position;
    layoutRows();
}

void VxRenderQueueWidget::resizeEvent(QResizeEvent*) { layoutRows(); }

void VxRenderQueueWidget::wheelEvent(QWheelEvent* event) { scroller->wheelScroll(event); }
