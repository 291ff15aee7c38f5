#pragma once
// VxHistogramWidget: the scope of a document view (histogram, waveform or
// chrominance chart of the displayed picture). It shows one graph at a time
// and draws data only while it holds some: the display pass fills it
// (fillFrom, on the display thread) while the scope is shown, clearMedia
// marks it empty.
//
// The counts are taken from the displayed float picture (samples on the
// 0..255 scale), each value clamped to 0..255 with NaN as 0:
// - luminance histogram: 256 levels of 0.299 R + 0.587 G + 0.114 B;
// - RGB histogram: 256 levels per channel;
// - waveforms: the picture's columns gathered into at most kWaveColumns
//   columns, each counting kWaveLevels levels of luminance (or of each
//   channel);
// - chrominance chart: kChromaSize x kChromaSize cells of the colour
//   differences Cb and Cr (BT.601, -127.5..127.5), neutral in the middle.
// Pictures of one or two channels count as grey.
//
// VxHistogramWindow: the floating sub-window of a view that holds its scope.

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "foundation/ImageBuffer.h"

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

    static constexpr int kLevels = 256;
    static constexpr int kWaveColumns = 256;
    static constexpr int kWaveLevels = 128;
    static constexpr int kChromaSize = 128;

    // The counts of one picture.
    struct ScopeData {
        uint32_t luminance[kLevels] = {};
        uint32_t rgb[3][kLevels] = {};
        int32_t columns = 0;                // columns of the waveforms
        std::vector<uint32_t> lumaWave;     // columns x kWaveLevels, column-major
        std::vector<uint32_t> rgbWave[3];   // likewise per channel
        std::vector<uint32_t> chroma;       // kChromaSize x kChromaSize, row = Cr (top: +), column = Cb
    };
    // Counts a float picture; an empty or null picture gives empty counts.
    static void computeScopes(const ImageBuffer& picture, ScopeData& data);

    explicit VxHistogramWidget(QWidget* parent = nullptr);
    ~VxHistogramWidget() override;

    HistogramWidgetGraph graph() const { return graph_; }
    // Chooses the graph; a value outside the five graphs is ignored.
    void setGraph(int graph);
    // Whether the scope holds data of the current picture. Written by the
    // display thread and by clearMedia, read when painting.
    bool hasData() const { return hasData_.load(); }
    void setHasData(bool value);
    // Whether the scope is on screen (read by the display thread).
    bool isShown() const { return shown_.load(); }
    // Counts the picture into the scope and marks it as holding data; any
    // thread (the display pass calls it while the scope is shown).
    void fillFrom(const ImageBuffer& picture);
    // A copy of the counts shown.
    ScopeData scopeData() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void paintHistogram(QPainter& painter, const uint32_t* counts, const QColor& colour, bool additive);
    void paintWaveform(QPainter& painter, const std::vector<uint32_t>& counts, int32_t columns, const QColor& colour);

    mutable std::mutex dataMutex_;
    ScopeData data_;  // under dataMutex_
    std::atomic<bool> shown_{false};
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
