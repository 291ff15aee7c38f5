#pragma once
// VxScroller: a thin scroll bar with momentum.
//
// The owner tells it how long its visible area and its content are; the
// scroller keeps a position in 0..(content - view) and reports every change
// through scrolled(position). A wheel turn (on the scroller, or forwarded by
// the owner through wheelScroll) adds to a velocity that moves the position
// every 30 ms and decays by 0.9 per tick; dragging the handle or clicking the
// track moves it directly. A touchpad's pixel deltas move it without
// momentum (the touchpad supplies its own).

#include <QWidget>

class QTimer;
class QWheelEvent;

class VxScroller : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMomentumIntervalMs = 30;
    static constexpr float kMomentumDecay = 0.9f;
    // Below this speed (pixels per tick) the momentum stops.
    static constexpr float kStopSpeed = 0.5f;
    // Thickness of the bar across its direction, in pixels.
    static constexpr int kThickness = 10;

    explicit VxScroller(QWidget* parent, Qt::Orientation direction = Qt::Vertical);
    ~VxScroller() override;

    Qt::Orientation orientation() const { return direction; }
    // The visible length and the content length, in pixels; the position is
    // clamped to the new range (emitting scrolled when it moved).
    void setLengths(float view, float content);
    float viewLength() const { return viewSize; }
    float contentLength() const { return contentSize; }
    float maxPosition() const;
    float position() const { return pos; }
    float velocity() const { return speed; }
    bool isMoving() const;
    // Moves to p (clamped); emits scrolled when emitSignal and it moved.
    void setPosition(float p, bool emitSignal);
    // Adds a push of delta pixels to the momentum and starts the ticks.
    void addMomentum(float delta);
    // Stops the momentum where it is.
    void stopMomentum();
    // A wheel event of the scroller or of its owner's area.
    void wheelScroll(QWheelEvent* event);

signals:
    void scrolled(float position);

public slots:
    // One momentum tick: moves by the velocity, then decays it.
    void momentumTimerFired();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The handle's start and length along the bar, in pixels.
    void handleSpan(float& start, float& length) const;
    float along(const QPoint& point) const;

    Qt::Orientation direction;
    QTimer* momentumTimer;
    float viewSize = 0.0f;
    float contentSize = 0.0f;
    float pos = 0.0f;
    float speed = 0.0f;
    bool dragging = false;
    float dragOffset = 0.0f;  // pointer position minus handle start while dragging
};
