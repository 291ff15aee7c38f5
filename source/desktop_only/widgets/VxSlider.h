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

    float value() const { return value_; }
    float rangeLow() const { return rangeLow_; }
    float rangeHigh() const { return rangeHigh_; }
    float displayLow() const { return displayLow_; }
    float displayHigh() const { return displayHigh_; }
    bool symbolicEnds() const { return symbolicEnds_ != 0; }

    // The settings of the slider. Each only stores: they take effect at the
    // next setValue (or updateDisplay), which the strip calls after them.
    void setMode(int32_t newMode) { mode_ = newMode; }
    void setTickCount(int32_t count) { tickCount_ = count; }
    // The value range across the track.
    void setRange(float low, float high) {
        rangeLow_ = low;
        rangeHigh_ = high;
    }
    // The limits that clamp the value, each only where it is switched on.
    void setLimits(float low, float high, bool lowOn, bool highOn) {
        limitLow_ = low;
        limitHigh_ = high;
        limitLowOn_ = lowOn ? 1 : 0;
        limitHighOn_ = highOn ? 1 : 0;
    }
    // The range the shown numbers map onto, used when on.
    void setDisplayRange(bool on, float low, float high) {
        displayRangeOn_ = on ? 1 : 0;
        displayLow_ = low;
        displayHigh_ = high;
    }
    // "-" and "+" at the ends, and ranges that re-centre on the value.
    void setSymbolicEnds(bool on) { symbolicEnds_ = on ? 1 : 0; }

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
    int32_t mode_ = 0;
    int32_t tickCount_ = 10;
    float rangeLow_ = 0.0f;
    float rangeHigh_ = 100.0f;
    float limitLow_ = 0.0f;
    float limitHigh_ = 100.0f;
    uint8_t limitLowOn_ = 0;
    uint8_t limitHighOn_ = 0;
    uint8_t displayRangeOn_ = 0;
    float displayLow_ = 0.0f;
    float displayHigh_ = 100.0f;
    uint8_t symbolicEnds_ = 0;
    float value_ = 0.0f;
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
