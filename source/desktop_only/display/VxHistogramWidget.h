#pragma once
// VxHistogramWidget: the scope of a document view (histogram, waveform or
// chrominance chart of the displayed picture). It shows one graph at a time
// and draws data only while it holds some: the display pass fills it while
// its window is visible, clearMedia marks it empty. The graphs themselves
// are drawn by a later stage of the application; here the scope keeps its
// choice and its has-data flag and paints its background.
//
// VxHistogramWindow: the floating sub-window of a view that holds its scope.

#include <QWidget>

#include <atomic>

#include "desktop_only/widgets/VxSubWindow.h"

class VxHistogramWidget : public QWidget {
    Q_OBJECT
public:
    enum HistogramWidgetGraph {
        kLuminanceHistogram = 0,
        kRgbHistogram = 1,
        kLuminanceWaveform = 2,
        kRgbWaveform = 3,
        kChrominanceChart = 4,
    };

    explicit VxHistogramWidget(QWidget* parent = nullptr);
    ~VxHistogramWidget() override;

    HistogramWidgetGraph graph() const { return graph_; }
    // Chooses the graph; a value outside the five graphs is ignored.
    void setGraph(int graph);
    // Whether the scope holds data of the current picture. Written by the
    // display thread and by clearMedia, read when painting.
    bool hasData() const { return hasData_.load(); }
    void setHasData(bool value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    HistogramWidgetGraph graph_ = kLuminanceHistogram;
    std::atomic<bool> hasData_{false};
};

class VxHistogramWindow : public VxSubWindow {
    Q_OBJECT
public:
    explicit VxHistogramWindow(QWidget* parent);
    ~VxHistogramWindow() override;

    VxHistogramWidget* histogram = nullptr;  // the window's content

signals:
    // The window changed its size (the view re-lays out its scope).
    void windowResized(VxSubWindow* window);

protected:
    void resizeEvent(QResizeEvent* event) override;
};
