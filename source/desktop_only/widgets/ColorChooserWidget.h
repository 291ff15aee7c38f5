#pragma once
// ColorChooserWidget: the control strip's colour chooser.
//
// Mode 0 (full): a saturation/value area with a hue bar beside it, three
// number fields for red, green and blue under the caption "RGB", and an
// eyedropper: after a press on it the next click anywhere on the screen
// takes the colour of the pixel under the pointer. Mode 1
// (hue only): a hue bar; a picked hue is shown at full saturation and value.
// The colour is kept as hue, saturation, value and alpha, each in 0..1. A
// press or a typed number emits editingStarted then colorChanged, dragging
// colorChanged; both carry the chooser itself.

#include <QPixmap>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

class ColorChooserWidget : public QWidget {
    Q_OBJECT
public:
    ColorChooserWidget(QWidget* parent, int32_t chooserMode);
    ~ColorChooserWidget() override;

    int32_t mode = 0;
    float hue = 0.0f;
    float saturation = 0.0f;
    float value = 0.0f;
    float alpha = 1.0f;

    // Red, green, blue and alpha on 0..255 (clamped; NaN as 0).
    void setColor(float red, float green, float blue, float alphaValue);
    void setControlSize(int width, int height);
    // The colour on 0..255 from hue, saturation and value.
    QColor currentColor() const;

    QRect areaRect() const;  // the saturation/value area (full mode)
    QRect hueRect() const;   // the hue bar

    bool picking = false;  // the eyedropper waits for its click

signals:
    void editingStarted(QWidget* control);
    void colorChanged(QWidget* control);

public slots:
    void numberEdited();
    void eyedropperPressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum Drag { kNone, kArea, kHue };
    void pick(const QPointF& pos);
    void showNumbers();
    Drag drag = kNone;
    QPixmap colorIndicator;
    QPixmap hueIndicator;
    QLabel* caption = nullptr;
    QLineEdit* fields[3] = {nullptr, nullptr, nullptr};
    QPushButton* eyedropper = nullptr;
    // Takes the colour of the screen pixel at a global position.
    void pickScreenColor(const QPoint& globalPos);
};
