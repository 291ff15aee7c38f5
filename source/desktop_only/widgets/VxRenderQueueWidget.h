#pragma once
// VxRenderQueueWidget: the rows of the render queue: one label per queued
// item with a cancel button beside it, in a scrolled content widget.
// A released cancel button reports its row's item id.
//
// A batch may queue thousands of items, and the list is handed over again
// every progress tick: the widget keeps label and button widgets only for
// the rows that fit in its height (rows have one fixed height), binds them
// to the items from the scroll position on, and does nothing when the same
// names and ids arrive again.

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
    GrowArray<QLabel*> rowLabels;        // children of content: the shown rows only
    GrowArray<QPushButton*> cancelButtons;  // children of content, one per label
    int32_t firstRow = 0;                // the item shown by rowLabels[0]
    float scrollPosition = 0.0f;

    static constexpr int kRowSpacing = 6;
    static constexpr int kButtonSize = 18;
    // Row widgets kept at least, whatever the widget's height.
    static constexpr int kMinimumRows = 8;

    // The height of one row and the distance between row tops.
    int rowHeight() const;
    int rowPitch() const { return rowHeight() + kRowSpacing; }

    // Replaces the items: names shown, ids reported (ids may be empty).
    void setItems(const GrowArray<GrowString>& names, const GrowArray<int32_t>& ids);
    // Places the row labels, the cancel buttons and the scroller, and binds
    // the row widgets to the items from the scroll position on.
    void layoutRows();

signals:
    void cancelItemRequested(int id);

public slots:
    void cancelButtonPressed();
    void scrollerScrolled(float position);

protected:
    QPushButton* makeCancelButton();
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
