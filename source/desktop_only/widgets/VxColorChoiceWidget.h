#pragma once
// VxColorChoiceWidget: the control strip's row of colour swatches for a
// multichoice parameter whose options are colours. Pressing a swatch
// toggles it in the selection (the last selected swatch stays selected) and
// emits selectionChanged with the row itself.

#include <QColor>
#include <QLabel>

#include "foundation/GrowArray.h"

class VxColorChoiceWidget : public QLabel {
    Q_OBJECT
public:
    explicit VxColorChoiceWidget(QWidget* parent);
    ~VxColorChoiceWidget() override;

    int margin = 12;
    int spacing = 5;
    int swatchSize = 22;
    GrowArray<QColor> colors;
    GrowArray<int32_t> selection;

    void setColors(const GrowArray<QColor>& list);
    void setSelection(const GrowArray<int32_t>& indices);
    void layoutSwatches();
    // The swatch under a point, -1 when none.
    int32_t swatchAt(const QPoint& pos) const;
    QRect swatchRect(int32_t index) const;
    bool isSelected(int32_t index) const;

signals:
    void selectionChanged(QWidget* control);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int firstX = 0;
};
