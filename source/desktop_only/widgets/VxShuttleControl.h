#pragma once
// VxShuttleControl: the video position control of a document (a hook of the
// video edition; the photo build keeps it hidden). It shows a track with the
// position, the in and out markers, and a time entry; a floating time box
// beside it shows the time while scrubbing. The time box is a sibling (same
// parent as the shuttle) so it can float over other widgets; the shuttle
// deletes it with itself.

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QTimer;

class VxShuttleControl : public QWidget {
    Q_OBJECT
public:
    explicit VxShuttleControl(QWidget* parent);
    ~VxShuttleControl() override;

    float position() const { return position_; }    // fraction of the duration
    float inMarker() const { return inMarker_; }    // fractions of the duration
    float outMarker() const { return outMarker_; }
    int markerMode() const { return markerMode_; }  // 1 in, 2 out
    QLabel* timeBox() const;  // the floating time box (null once its parent deleted it)

    // Sets the position (clamped to 0..1), updates the display and, with
    // emitSignal, reports the change through sliderChanged.
    void setPosition(bool emitSignal, float value);
    // Refreshes the time entry and the time box; with centre, the zoomed
    // range is moved to keep the position in its middle.
    void updateDisplay(bool centre);
    // When the zoomed range is shown, moves it so that its middle lies at
    // the position, keeping its width; the marker range, when shown, moves
    // by the same fraction of its own width. The caller updates the display.
    void followPosition();

signals:
    void sliderChanged(QWidget* control);

public slots:
    void scrollTimerFired();
    void scrollFinishTimerFired();
    void hideInfoTimerFired();
    void textEdited();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRectF trackRect() const;

    float position_ = 0.0f;
    float inMarker_ = 0.0f;
    float outMarker_ = 1.0f;
    int markerMode_ = 1;
    bool zoomedRange = false;
    float zoomLow = 0.0f;
    float zoomHigh = 1.0f;
    bool markerRange = false;
    float markerLow = 0.0f;
    float markerHigh = 1.0f;
    float duration = 0.0f;  // seconds; 0 without a video

    QTimer* scrollTimer;
    QTimer* scrollFinishTimer;
    QTimer* hideInfoTimer;
    QLineEdit* timeEntry;
    QPointer<QLabel> timeBox_;  // floating, child of the shuttle's parent
    float fractionAt(int x) const;
    bool dragging = false;
};
