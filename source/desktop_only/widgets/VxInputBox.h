#pragma once
// VxInputBox: the control strip's number box for a float parameter.
//
// It keeps its value cut toward zero to its rounding scale (mode 0: three
// decimals; mode 1 and the mode it starts with: whole numbers) and shows it
// with no decimals. A typed value emits editingStarted, then sliderChanged.
// Both signals carry the box itself.

#include <QWidget>

class QLabel;
class QLineEdit;

class VxInputBox : public QWidget {
    Q_OBJECT
public:
    explicit VxInputBox(QWidget* parent);
    ~VxInputBox() override;

    float value() const { return value_; }
    // The range of the box's values; only stored.
    void setRange(float low, float high) {
        rangeLow = low;
        rangeHigh = high;
    }
    // Mode 0 sets the rounding scale to 1000, mode 1 to 1; others keep it.
    void setMode(int32_t newMode);
    void setValue(bool emitSignals, float v);
    void setControlSize(int width, int height);
    QString shownText() const;

signals:
    void editingStarted(QWidget* control);
    void sliderChanged(QWidget* control);

public slots:
    void textEdited();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    float rangeLow = -100.0f;
    float rangeHigh = 100.0f;
    int32_t mode = 0;
    float scale = 1.0f;  // rounding scale: the value is trunc(v x scale) / scale
    float value_ = 0.0f;
    QLabel* background;
    QLineEdit* entry;
};
