#pragma once
// ToneCurveWidget: the control strip's curve editor.
//
// Mode 0 edits a plain tone curve (its guide line is the diagonal); modes 1
// to 3 edit hue curves (guide line the horizontal middle, a hue band below
// the graph; mode 3 also has a handle on the band that sets the curve's hue
// offset: offset = 180 - 180 x handle position). A value may bring its own
// guide line (an empty one: none). A left press on a point picks it, on
// empty space adds one; dragging moves it between its neighbours; dragging
// an inner point far above or below the graph removes it. A press emits
// editingStarted then curveChanged, dragging curveChanged, a right press
// rightClicked; each carries the editor itself.

#include <QPen>
#include <QPixmap>
#include <QWidget>

#include "foundation/GrowArray.h"
#include "framework/Curve.h"

class ToneCurveWidget : public QWidget {
    Q_OBJECT
public:
    ToneCurveWidget(QWidget* parent, int32_t editorMode);
    ~ToneCurveWidget() override;

    int32_t mode() const { return mode_; }
    const Curve& curve() const { return curve_; }
    float huePosition() const { return huePosition_; }  // in [-1, 1]
    const GrowArray<CurvePoint>& guidePoints() const { return guidePoints_; }
    // The curve edited, the hue handle's position and the guide line; each
    // schedules a repaint.
    void setCurve(const Curve& edited);
    void setHuePosition(float position);
    void setGuidePoints(const GrowArray<CurvePoint>& points);

    static constexpr int kInset = 10;
    static constexpr int kHueBand = 12;
    static constexpr int kPickRadius = 7;
    static constexpr int kRemoveDistance = 40;

    // Sets the hue handle from a hue offset: (180 - offset) / 180 in [-1, 1].
    void setHueOffsetHandle(float hueOffset);
    // The graph's rectangle in widget coordinates.
    QRect graphRect() const;
    QPointF toWidget(CurvePoint p) const;
    CurvePoint toCurve(const QPointF& pos) const;

signals:
    void editingStarted(QWidget* control);
    void curveChanged(QWidget* control);
    void rightClicked(QWidget* control);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int32_t mode_ = 0;
    Curve curve_;
    float huePosition_ = 0.0f;
    GrowArray<CurvePoint> guidePoints_;
    void moveDragged(const QPointF& pos);
    QRect hueBandRect() const;
    QPixmap hueHandle;
    QPen gridPen;
    QPen curvePen;
    QPen whitePen;
    QPen blackPen;
    QPen bluePen;
    QPen redPen;
    int32_t dragIndex = -1;
    bool draggingHue = false;
};
