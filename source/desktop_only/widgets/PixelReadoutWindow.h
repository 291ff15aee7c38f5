#pragma once
// The Pixel Inspector: a floating sub-window showing the colour of the
// displayed picture under the pointer (a large round swatch, the red, green
// and blue values with their thousandths, the pixel's 1-based position) and
// up to three clicked pixels under "Recent Pixels:", each with a small
// swatch and its three values.

#include <QWidget>

#include <cstdint>

#include "foundation/GrowArray.h"
#include "widgets/VxSubWindow.h"

class QLabel;

// A pixel of a document's output picture and its three displayed values
// (0..255 scale; any float may arrive, NaN and out-of-range included).
struct PixelReading {
    int32_t x = 0;
    int32_t y = 0;
    float values[3] = {0.0f, 0.0f, 0.0f};
};

// The channel readout of a value: the integer part with its sign, and the
// thousandths as ".ddd". |v| is rounded to thousandths once and both parts
// are taken from that (127.9996 reads "128" and ".000", -3.25 reads "-3"
// and ".250"). NaN reads "NaN" and "", infinities "inf" or "-inf" and "";
// values beyond 1e12 read in whole units and ".000".
void pixelValueTexts(float v, QString& whole, QString& fraction);

// A displayed value as an 8-bit colour component: clamped to 0..255, NaN
// as 0, truncated.
int swatchComponent(float v);

class PixelSwatchWidget : public QWidget {
public:
    explicit PixelSwatchWidget(QWidget* parent);
    ~PixelSwatchWidget() override;

    int32_t swatchX = 10;
    int32_t swatchY = 10;
    int32_t swatchDiameter = 46;
    int32_t recentSwatchDiameter = 12;
    int32_t recentLabelIndent = 18;
    int32_t recentSwatchShift = 0;
    int32_t textGap = 10;
    int32_t lineHeight = 18;
    int32_t recentSlots = 3;
    QLabel* redLabel;
    QLabel* redFractionLabel;
    QLabel* greenLabel;
    QLabel* greenFractionLabel;
    QLabel* blueLabel;
    QLabel* blueFractionLabel;
    QLabel* positionLabel;
    QLabel* recentTitleLabel;
    GrowArray<QLabel*> recentLabels;

    // The pixel under the pointer, when there is one.
    bool hasPixel() const { return hasPixel_; }
    const PixelReading& reading() const { return reading_; }
    // The clicked pixels, newest first (at most recentSlots are shown).
    const GrowArray<PixelReading>& readings() const { return readings_; }

    // Shows reading as the pixel under the pointer, or no pixel; each sets
    // the texts (updateTexts) and repaints.
    void showReading(const PixelReading& reading);
    void clearReading();
    // Shows these clicked pixels; sets the texts and repaints.
    void setReadings(const GrowArray<PixelReading>& readings);

    // Sets every label's text, width and visibility from the pixel under
    // the pointer and the clicked pixels.
    void updateTexts();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int textColumn() const { return swatchX + swatchDiameter + textGap; }

    bool hasPixel_ = false;
    PixelReading reading_;
    GrowArray<PixelReading> readings_;
};

class PixelInspectorWindow : public VxSubWindow {
public:
    explicit PixelInspectorWindow(QWidget* parent);
    ~PixelInspectorWindow() override;

    PixelSwatchWidget* swatchWidget;  // the content
};
