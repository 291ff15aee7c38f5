#pragma once
// VxSlider: the control strip's slider for a float parameter.
//
// It shows a value range [rangeLow, rangeHigh] across its track and maps it
// onto the display range for the numbers it shows (the end labels and the
// typed value). Limits clamp the value where they are switched on. With
// symbolic ends (a parameter without one of its limits) the ends show "-"
// and "+" and the slider re-centres its ranges on its value whenever the
// value is set from outside or a drag ends.
//
// A press emits editingStarted then sliderChanged, dragging emits
// sliderChanged; a typed value and the wheel do the same. Every signal
// carries the slider itself.

#include <QLabel>
#include <QPixmap>

class QLineEdit;
class QTimer;

class VxSlider : public QLabel {
    Q_OBJECT
public:
    explicit VxSlider(QWidget* parent);
    ~VxSlider() override;

    int32_t mode = 0;
    int32_t tickCount = 10;
    float rangeLow = 0.0f;
    float rangeHigh = 100.0f;
    float limitLow = 0.0f;
    float limitHigh = 100.0f;
    uint8_t limitLowOn = 0;
    uint8_t limitHighOn = 0;
    uint8_t displayRangeOn = 0;
    float displayLow = 0.0f;
    float displayHigh = 100.0f;
    uint8_t symbolicEnds = 0;
    float value = 0.0f;

    // The value clamped to the limits that are on; with symbolic ends the
    // ranges are re-centred on it (equal range ends stay as they are).
    void setValue(float v);
    void setControlSize(int width, int height);
    // Shows the end labels, the typed value and repaints.
    void updateDisplay();

    // The value shown for a value of the range, and back (through the
    // display range when it is on).
    double displayFor(double v) const;
    double valueForDisplay(double d) const;
    // The value under a point of the track (widget x), clamped to the limits.
    float valueAtX(int x) const;
    // The x of the handle's centre for the current value.
    int handleX() const;

    static constexpr int kSideBorder = 50;  // the frame's left and right borders

signals:
    void editingStarted(QWidget* control);
    void sliderChanged(QWidget* control);

public slots:
    void textEdited();
    void scrollTimerFired();
    void scrollFinishTimerFired();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    float clampToLimits(float v) const;
    void recentre();
    QLabel* lowLabel;
    QLabel* highLabel;
    QLineEdit* entry;
    QTimer* scrollTimer;
    QTimer* scrollFinishTimer;
    QPixmap tickPixmap;
    QPixmap handlePixmap;
    bool dragging = false;
    bool scrolling = false;
};
