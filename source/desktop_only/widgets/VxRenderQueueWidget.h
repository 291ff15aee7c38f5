#pragma once
// VxRenderQueueWidget: the rows of the render queue: one label per queued
// item with a cancel button beside it, in a scrolled content widget.
// A released cancel button reports its row's item id.

#include <QWidget>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class QLabel;
class QPushButton;
class VxScroller;

class VxRenderQueueWidget : public QWidget {
    Q_OBJECT
public:
    explicit VxRenderQueueWidget(QWidget* parent);
    ~VxRenderQueueWidget() override;

    VxScroller* scroller;
    QWidget* content;
    GrowArray<GrowString> itemNames;
    GrowArray<int32_t> itemIds;
    GrowArray<QLabel*> rowLabels;        // children of content
    GrowArray<QPushButton*> cancelButtons;  // children of content, one per label
    float scrollPosition = 0.0f;

    static constexpr int kRowSpacing = 6;
    static constexpr int kButtonSize = 18;

    // Replaces the items: names shown, ids reported (ids may be empty).
    void setItems(const GrowArray<GrowString>& names, const GrowArray<int32_t>& ids);
    // Places the row labels, the cancel buttons and the scroller.
    void layoutRows();

signals:
    void cancelItemRequested(int id);

public slots:
    void cancelButtonPressed();
    void scrollerScrolled(float position);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
