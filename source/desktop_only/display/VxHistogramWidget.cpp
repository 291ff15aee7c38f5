#include "desktop_only/display/VxHistogramWidget.h"

#include <QMetaObject>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "pixels/SampleRules.h"

namespace {

// A sample as a level 0..levels-1 of the 0..255 scale; NaN as 0.
inline int level(float v, int levels) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return levels - 1;
    const int l = static_cast<int>(v * (levels / 256.0f));
    return std::min(l, levels - 1);
}

}  // namespace

void VxHistogramWidget::computeScopes(const ImageBuffer& picture, ScopeData& data) {
    data = ScopeData();
    if (!picture.data || picture.width < 1 || picture.height < 1) return;
    const int32_t channels = picture.channelCount();
    const int32_t width = picture.width;
    data.columns = std::min(width, static_cast<int32_t>(kWaveColumns));
    data.lumaWave.assign(static_cast<size_t>(data.columns) * kWaveLevels, 0);
    for (auto& wave : data.rgbWave) wave.assign(static_cast<size_t>(data.columns) * kWaveLevels, 0);
    data.chroma.assign(static_cast<size_t>(kChromaSize) * kChromaSize, 0);
    const float* samples = picture.floats();
    for (int32_t y = 0; y < picture.height; ++y) {
        const float* row = samples + static_cast<int64_t>(y) * width * channels;
        for (int32_t x = 0; x < width; ++x) {
            const float* p = row + static_cast<int64_t>(x) * channels;
            float rgb[3];
            for (int c = 0; c < 3; ++c) {
                const float v = p[channels >= 3 ? c : 0];
                rgb[c] = v == v ? std::min(255.0f, std::max(0.0f, v)) : 0.0f;
            }
            const float luma = pixel::luminance(rgb, 3);
            const int32_t column = static_cast<int32_t>(static_cast<int64_t>(x) * data.columns / width);
            const size_t waveBase = static_cast<size_t>(column) * kWaveLevels;
            ++data.luminance[level(luma, kLevels)];
            ++data.lumaWave[waveBase + level(luma, kWaveLevels)];
            for (int c = 0; c < 3; ++c) {
                ++data.rgb[c][level(rgb[c], kLevels)];
                ++data.rgbWave[c][waveBase + level(rgb[c], kWaveLevels)];
            }
            const double cb = -0.168736 * rgb[0] - 0.331264 * rgb[1] + 0.5 * rgb[2];
            const double cr = 0.5 * rgb[0] - 0.418688 * rgb[1] - 0.081312 * rgb[2];
            const int col = std::clamp(static_cast<int>((cb + 127.5) * kChromaSize / 256.0), 0, kChromaSize - 1);
            const int line = std::clamp(static_cast<int>((127.5 - cr) * kChromaSize / 256.0), 0, kChromaSize - 1);
            ++data.chroma[static_cast<size_t>(line) * kChromaSize + col];
        }
    }
}

VxHistogramWidget::VxHistogramWidget(QWidget* parent) : QWidget(parent) {}

VxHistogramWidget::~VxHistogramWidget() = default;

void VxHistogramWidget::setGraph(int graph) {
    if (graph < kLuminanceHistogram || graph > kChrominanceChart) return;
    graph_ = static_cast<HistogramWidgetGraph>(graph);
    update();
}

void VxHistogramWidget::setHasData(bool value) {
    hasData_.store(value);
    // May be called from the display thread: the repaint is queued.
    QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
}

void VxHistogramWidget::fillFrom(const ImageBuffer& picture) {
    ScopeData counted;
    computeScopes(picture, counted);
    {
        std::lock_guard<std::mutex> guard(dataMutex_);
        std::swap(data_, counted);
    }
    setHasData(true);
}

VxHistogramWidget::ScopeData VxHistogramWidget::scopeData() const {
    std::lock_guard<std::mutex> guard(dataMutex_);
    return data_;
}

void VxHistogramWidget::showEvent(QShowEvent* event) {
    shown_.store(true);
    QWidget::showEvent(event);
}

void VxHistogramWidget::hideEvent(QHideEvent* event) {
    shown_.store(false);
    QWidget::hideEvent(event);
}

void VxHistogramWidget::paintHistogram(QPainter& painter, const uint32_t* counts, const QColor& colour,
                                       bool additive) {
    uint32_t peak = 0;
    for (int i = 0; i < kLevels; ++i) peak = std::max(peak, counts[i]);
    if (peak == 0) return;
    const double w = width();
    const double h = height();
    QPolygonF shape;
    shape << QPointF(0.0, h);
    for (int i = 0; i < kLevels; ++i) {
        const double top = h - h * counts[i] / static_cast<double>(peak);
        shape << QPointF(w * i / kLevels, top) << QPointF(w * (i + 1) / kLevels, top);
    }
    shape << QPointF(w, h);
    if (additive) painter.setCompositionMode(QPainter::CompositionMode_Plus);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPolygon(shape);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void VxHistogramWidget::paintWaveform(QPainter& painter, const std::vector<uint32_t>& counts, int32_t columns,
                                      const QColor& colour) {
    if (columns < 1 || counts.size() < static_cast<size_t>(columns) * kWaveLevels) return;
    uint32_t peak = 0;
    for (uint32_t c : counts) peak = std::max(peak, c);
    if (peak == 0) return;
    // Cells are drawn as one small image scaled to the widget.
    QImage cells(columns, kWaveLevels, QImage::Format_ARGB32_Premultiplied);
    cells.fill(Qt::transparent);
    for (int32_t x = 0; x < columns; ++x)
        for (int l = 0; l < kWaveLevels; ++l) {
            const uint32_t n = counts[static_cast<size_t>(x) * kWaveLevels + l];
            if (n == 0) continue;
            // Square root: sparse cells stay visible beside dense ones.
            const double a = std::min(1.0, 0.25 + 0.75 * std::sqrt(n / static_cast<double>(peak)));
            const QColor c(colour.red(), colour.green(), colour.blue(), static_cast<int>(255 * a));
            cells.setPixelColor(x, kWaveLevels - 1 - l, c);
        }
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    painter.drawImage(rect(), cells);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void VxHistogramWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(24, 24, 24));
    // Guide lines at the quarters of the scale.
    painter.setPen(QColor(60, 60, 60));
    for (int i = 1; i < 4; ++i) {
        if (graph_ == kLuminanceWaveform || graph_ == kRgbWaveform) {
            const int y = height() * i / 4;
            painter.drawLine(0, y, width(), y);
        } else {
            const int x = width() * i / 4;
            painter.drawLine(x, 0, x, height());
        }
    }
    if (graph_ == kChrominanceChart) {
        const int y = height() / 2;
        painter.drawLine(0, y, width(), y);
    }
    if (!hasData_.load()) return;
    const ScopeData data = scopeData();
    const QColor channelColours[3] = {QColor(200, 40, 40), QColor(40, 200, 40), QColor(40, 40, 200)};
    switch (graph_) {
        case kLuminanceHistogram:
            paintHistogram(painter, data.luminance, QColor(200, 200, 200), false);
            break;
        case kRgbHistogram:
            for (int c = 0; c < 3; ++c) paintHistogram(painter, data.rgb[c], channelColours[c], true);
            break;
        case kLuminanceWaveform:
            paintWaveform(painter, data.lumaWave, data.columns, QColor(220, 220, 220));
            break;
        case kRgbWaveform:
            for (int c = 0; c < 3; ++c) paintWaveform(painter, data.rgbWave[c], data.columns, channelColours[c]);
            break;
        case kChrominanceChart: {
            if (data.chroma.empty()) break;
            uint32_t peak = 0;
            for (uint32_t n : data.chroma) peak = std::max(peak, n);
            if (peak == 0) break;
            QImage cells(kChromaSize, kChromaSize, QImage::Format_ARGB32_Premultiplied);
            cells.fill(Qt::transparent);
            for (int line = 0; line < kChromaSize; ++line)
                for (int col = 0; col < kChromaSize; ++col) {
                    const uint32_t n = data.chroma[static_cast<size_t>(line) * kChromaSize + col];
                    if (n == 0) continue;
                    const int a = static_cast<int>(std::min(1.0, 0.3 + 0.7 * std::sqrt(n / static_cast<double>(peak))) * 255);
                    cells.setPixelColor(col, line, QColor(230, 230, 230, a));
                }
            // Square, centred.
            const int side = std::min(width(), height());
            painter.drawImage(QRect((width() - side) / 2, (height() - side) / 2, side, side), cells);
            break;
        }
    }
}

VxHistogramWindow::VxHistogramWindow(QWidget* parent) : VxSubWindow(parent, GrowString("")) {
    histogram = new VxHistogramWidget(nullptr);
    setContent(histogram);
}

VxHistogramWindow::~VxHistogramWindow() = default;

void VxHistogramWindow::resizeEvent(QResizeEvent* event) {
    VxSubWindow::resizeEvent(event);
    emit windowResized(this);
}
