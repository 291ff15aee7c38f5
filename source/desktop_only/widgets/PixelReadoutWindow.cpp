#include "widgets/PixelReadoutWindow.h"

#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "widgets/VxPushButton.h"

namespace {

// Fixes a label's width to its text's width in its font.
void fitWidth(QLabel* label) {
    int widest = 0;
    for (const QString& line : label->text().split(QLatin1Char('\n')))
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
    label->setFixedWidth(std::max(1, widest));
}

QLabel* makeLabel(QWidget* parent, int x, int y, const char* style) {
    QLabel* label = new QLabel(parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (style) label->setStyleSheet(QString::fromLatin1(style));
    label->move(x, y);
    return label;
}

}  // namespace

void pixelValueTexts(float v, QString& whole, QString& fraction) {
    if (std::isnan(v)) {
        whole = QStringLiteral("NaN");
        fraction.clear();
        return;
    }
    if (std::isinf(v)) {
        whole = v < 0.0f ? QStringLiteral("-inf") : QStringLiteral("inf");
        fraction.clear();
        return;
    }
    const double magnitude = std::fabs(static_cast<double>(v));
    if (magnitude >= 1e12) {
        char text[64];
        std::snprintf(text, sizeof text, "%.0f", static_cast<double>(v));
        whole = QString::fromLatin1(text);
        fraction = QStringLiteral(".000");
        return;
    }
    const long long thousandths = std::llround(magnitude * 1000.0);
    const long long integer = thousandths / 1000;
    const int rest = static_cast<int>(thousandths % 1000);
    char text[64];
    std::snprintf(text, sizeof text, "%s%lld", v < 0.0f && thousandths != 0 ? "-" : "", integer);
    whole = QString::fromLatin1(text);
    std::snprintf(text, sizeof text, ".%03d", rest);
    fraction = QString::fromLatin1(text);
}

int swatchComponent(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<int>(v);
}

PixelSwatchWidget::PixelSwatchWidget(QWidget* parent) : QWidget(parent) {
    const int column = textColumn();
    const char* dim = "color:#444444;";
    redLabel = makeLabel(this, column, swatchY, nullptr);
    redFractionLabel = makeLabel(this, column, swatchY, dim);
    greenLabel = makeLabel(this, column, swatchY + lineHeight, nullptr);
    greenFractionLabel = makeLabel(this, column, swatchY + lineHeight, dim);
    blueLabel = makeLabel(this, column, swatchY + 2 * lineHeight, nullptr);
    blueFractionLabel = makeLabel(this, column, swatchY + 2 * lineHeight, dim);
    positionLabel = makeLabel(this, column, swatchY + 3 * lineHeight, nullptr);
    recentTitleLabel = makeLabel(this, column, swatchY + 4 * lineHeight, nullptr);
    recentTitleLabel->setText(QStringLiteral("Recent Pixels:"));
    recentTitleLabel->adjustSize();
    for (int32_t i = 0; i < recentSlots; ++i)
        recentLabels.append(makeLabel(this, column + recentLabelIndent, swatchY + (5 + i) * lineHeight, dim));
    updateTexts();
}

PixelSwatchWidget::~PixelSwatchWidget() = default;

void PixelSwatchWidget::showReading(const PixelReading& reading) {
    hasPixel_ = true;
    reading_ = reading;
    updateTexts();
    update();
}

void PixelSwatchWidget::clearReading() {
    hasPixel_ = false;
    updateTexts();
    update();
}

void PixelSwatchWidget::setReadings(const GrowArray<PixelReading>& readings) {
    readings_ = readings;
    updateTexts();
    update();
}

void PixelSwatchWidget::updateTexts() {
    for (int32_t i = 0; i < recentLabels.count; ++i) {
        QLabel* label = recentLabels[i];
        if (i < readings_.count) {
            char text[160];
            const float* v = readings_[i].values;
            std::snprintf(text, sizeof text, "%.1f, %.1f, %.1f", static_cast<double>(v[0]),
                          static_cast<double>(v[1]), static_cast<double>(v[2]));
            label->setText(QString::fromLatin1(text));
            fitWidth(label);
            label->adjustSize();
            label->show();
        } else {
            label->hide();
        }
    }
    QLabel* channelLabels[3] = {redLabel, greenLabel, blueLabel};
    QLabel* fractionLabels[3] = {redFractionLabel, greenFractionLabel, blueFractionLabel};
    const char* names[3] = {"Red: ", "Green: ", "Blue: "};
    if (hasPixel_) {
        for (int c = 0; c < 3; ++c) {
            QString whole;
            QString fraction;
            pixelValueTexts(reading_.values[c], whole, fraction);
            channelLabels[c]->setText(QString::fromLatin1(names[c]) + whole);
            fractionLabels[c]->setText(fraction);
            fitWidth(channelLabels[c]);
            fitWidth(fractionLabels[c]);
            channelLabels[c]->adjustSize();
            fractionLabels[c]->adjustSize();
            fractionLabels[c]->move(channelLabels[c]->x() + channelLabels[c]->width() + 1, fractionLabels[c]->y());
        }
        const long long px = static_cast<long long>(reading_.x) + 1;
        const long long py = static_cast<long long>(reading_.y) + 1;
        char text[96];
        std::snprintf(text, sizeof text, "Position: %lld, %lld\n", px, py);
        positionLabel->setText(QString::fromLatin1(text));
        fitWidth(positionLabel);
        positionLabel->adjustSize();
    } else {
        for (int c = 0; c < 3; ++c) {
            channelLabels[c]->setText(QString::fromLatin1(names[c]).trimmed());
            fractionLabels[c]->setText(QString());
        }
        positionLabel->setText(QStringLiteral("Position:"));
        for (QLabel* label : {redLabel, greenLabel, blueLabel, positionLabel})
            if (label->minimumWidth() == 0) label->adjustSize();
    }
}

void PixelSwatchWidget::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    auto colourOf = [](const PixelReading& r) {
        return QColor(swatchComponent(r.values[0]), swatchComponent(r.values[1]), swatchComponent(r.values[2]));
    };
    if (hasPixel_) {
        painter.setBrush(colourOf(reading_));
        painter.drawEllipse(QRect(swatchX, swatchY, swatchDiameter, swatchDiameter));
    }
    for (int32_t i = 0; i < readings_.count && i < recentLabels.count; ++i) {
        painter.setBrush(colourOf(readings_[i]));
        painter.drawEllipse(QRect(textColumn() + recentSwatchShift, recentLabels[i]->y(), recentSwatchDiameter,
                                  recentSwatchDiameter));
    }
}

PixelInspectorWindow::PixelInspectorWindow(QWidget* parent)
    : VxSubWindow(parent, GrowString("Pixel Inspector")), swatchWidget(new PixelSwatchWidget(nullptr)) {
    setContent(swatchWidget);
    swatchWidget->stackUnder(closeButton);
    layoutContents();
}

PixelInspectorWindow::~PixelInspectorWindow() = default;
