// The control strip's controls: the number box's cut toward zero, the
// slider's clamping and re-centring, the list chooser's signals and the
// life of its list, the curve editor's drag and the colour chooser's HSV.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

#include "WidgetTestApp.h"
#include "widgets/ColorChooserWidget.h"
#include "widgets/ToneCurveWidget.h"
#include "widgets/VxColorChoiceWidget.h"
#include "widgets/VxInputBox.h"
#include "widgets/VxListChooser.h"
#include "widgets/VxSlider.h"

namespace {
struct StripControls : ::testing::Test {
    void SetUp() override { ensureWidgetTestApp(); }
};

GrowArray<GrowString> texts(std::initializer_list<const char*> list) {
    GrowArray<GrowString> out;
    for (const char* t : list) out.append(GrowString(t));
    return out;
}
}  // namespace

TEST_F(StripControls, NumberBoxCutsTowardZero) {
    VxInputBox box(nullptr);
    box.setMode(3);  // a number box's mode keeps the scale of 1
    const struct {
        float in;
        float kept;
        const char* shown;
    } rows[] = {{2.6f, 2.0f, "2"}, {-2.6f, -2.0f, "-2"}, {-0.4f, 0.0f, "0"}, {NAN, 0.0f, "0"}};
    for (const auto& row : rows) {
        box.setValue(false, row.in);
        EXPECT_EQ(box.value(), row.kept) << row.in;
        EXPECT_EQ(box.findChild<QLineEdit*>()->text(), row.shown) << row.in;
    }
    box.setMode(0);
    box.setValue(false, 2.6789f);
    EXPECT_FLOAT_EQ(box.value(), 2.678f);
    QSignalSpy started(&box, &VxInputBox::editingStarted);
    QSignalSpy changed(&box, &VxInputBox::sliderChanged);
    box.setValue(true, 1.0f);
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(StripControls, SliderClampsAndRecentres) {
    VxSlider slider(nullptr);
    slider.setSymbolicEnds(true);
    slider.setRange(0.0f, 100.0f);
    slider.setDisplayRange(false, 0.0f, 100.0f);
    slider.setValue(30.0f);
    EXPECT_FLOAT_EQ(slider.rangeLow(), -20.0f);
    EXPECT_FLOAT_EQ(slider.rangeHigh(), 80.0f);

    slider.setRange(0.0f, 100.0f);
    slider.setDisplayRange(true, 0.0f, 2.0f);
    slider.setValue(75.0f);
    EXPECT_FLOAT_EQ(slider.rangeLow(), 25.0f);
    EXPECT_FLOAT_EQ(slider.rangeHigh(), 125.0f);
    EXPECT_FLOAT_EQ(slider.displayLow(), 0.5f);
    EXPECT_FLOAT_EQ(slider.displayHigh(), 2.5f);

    // Equal range ends: nothing to centre on, nothing divides by zero.
    slider.setRange(5.0f, 5.0f);
    slider.setValue(9.0f);
    EXPECT_EQ(slider.rangeLow(), 5.0f);
    EXPECT_EQ(slider.rangeHigh(), 5.0f);
    EXPECT_EQ(slider.value(), 9.0f);

    // Limits clamp; a slider without symbolic ends keeps its range.
    VxSlider limited(nullptr);
    limited.setLimits(0.0f, 100.0f, true, true);
    for (const auto& row : {std::pair<float, float>{150.0f, 100.0f}, {-3.0f, 0.0f}, {NAN, 0.0f}}) {
        limited.setValue(row.first);
        EXPECT_EQ(limited.value(), row.second);
    }
    EXPECT_EQ(limited.rangeLow(), 0.0f);
}

TEST_F(StripControls, SliderPressAndDragSignalOrder) {
    VxSlider slider(nullptr);
    slider.setLimits(0.0f, 100.0f, true, true);
    slider.setControlSize(300, 48);
    slider.show();
    QStringList order;
    QObject::connect(&slider, &VxSlider::editingStarted, [&] { order << "started"; });
    QObject::connect(&slider, &VxSlider::sliderChanged, [&] { order << "changed"; });
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(150, 20));
    EXPECT_FLOAT_EQ(slider.value(), 50.0f);  // the middle of the 200-pixel track
    QMouseEvent move(QEvent::MouseMove, QPoint(250, 20), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &move);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(250, 20));
    EXPECT_EQ(order, QStringList({"started", "changed", "changed"}));
    EXPECT_FLOAT_EQ(slider.value(), 100.0f);
}

TEST_F(StripControls, ListChooserSignalsAndBounds) {
    QWidget parent;
    VxListChooser* chooser = new VxListChooser(&parent);
    chooser->setChoices(texts({"One", "Two", "Three"}));
    chooser->setCurrentIndex(1);
    EXPECT_EQ(chooser->text(), "Two");
    chooser->setCurrentIndex(7);  // outside the list: shows nothing
    EXPECT_EQ(chooser->text(), "");
    chooser->setCurrentIndex(0);
    EXPECT_EQ(chooser->list()->height(), 16 + 22 * 3);

    QStringList order;
    for (auto signal : {&VxListChooser::itemAboutToChange, &VxListChooser::itemHovered, &VxListChooser::itemChanged,
                        &VxListChooser::listToggled}) {
        const char* name = signal == &VxListChooser::itemAboutToChange ? "about"
                           : signal == &VxListChooser::itemHovered     ? "hovered"
                           : signal == &VxListChooser::itemChanged     ? "changed"
                                                                       : "toggled";
        QObject::connect(chooser, signal, [&order, name](QWidget* c) {
            EXPECT_NE(c, nullptr);
            order << name;
        });
    }
    chooser->mainButtonPressed();
    EXPECT_TRUE(chooser->list()->isVisibleTo(&parent));
    chooser->itemHoveredFromList(2);
    EXPECT_EQ(chooser->hoveredIndex(), 2);
    chooser->itemHoveredFromList(1);
    chooser->itemHoveredFromList(-1);  // outside: back to the current choice
    EXPECT_EQ(chooser->hoveredIndex(), 0);
    chooser->itemChosenFromList(2);
    EXPECT_EQ(order, QStringList({"toggled", "about", "hovered", "hovered", "hovered", "changed", "toggled"}));
    EXPECT_EQ(chooser->currentIndex(), 2);
    EXPECT_FALSE(chooser->list()->isVisibleTo(&parent));
    chooser->itemChosenFromList(9);  // past the end: the choice stays
    EXPECT_EQ(chooser->currentIndex(), 2);

    // Without the hover-preview flag no itemHovered.
    order.clear();
    chooser->setHoverPreview(0);
    chooser->mainButtonPressed();
    chooser->itemHoveredFromList(0);
    EXPECT_EQ(order, QStringList({"toggled", "about"}));

    // The chooser takes its open list with it.
    QPointer<VxListChooserList> list = chooser->list();
    delete chooser;
    EXPECT_TRUE(list.isNull());
}

TEST_F(StripControls, CurveEditorAddsAndDragsPoints) {
    ToneCurveWidget editor(nullptr, 0);
    editor.resize(220, 220);
    editor.setCurve(Curve(0));
    EXPECT_EQ(editor.guidePoints().count, 2);
    QStringList order;
    QObject::connect(&editor, &ToneCurveWidget::editingStarted, [&] { order << "started"; });
    QObject::connect(&editor, &ToneCurveWidget::curveChanged, [&] { order << "changed"; });
    QObject::connect(&editor, &ToneCurveWidget::rightClicked, [&] { order << "right"; });
    const QPointF at = editor.toWidget(CurvePoint{0.5f, 0.8f});
    QTest::mousePress(&editor, Qt::LeftButton, {}, at.toPoint());
    QTest::mouseRelease(&editor, Qt::LeftButton, {}, at.toPoint());
    ASSERT_EQ(editor.curve().points.count, 3);
    EXPECT_NEAR(editor.curve().points[1].x, 0.5f, 0.01f);
    EXPECT_NEAR(editor.curve().points[1].y, 0.8f, 0.01f);
    EXPECT_EQ(editor.curve().points[0].x, 0.0f);
    EXPECT_EQ(editor.curve().points[2].x, 1.0f);
    QTest::mousePress(&editor, Qt::RightButton, {}, at.toPoint());
    EXPECT_EQ(order, QStringList({"started", "changed", "right"}));

    ToneCurveWidget hue(nullptr, 3);
    hue.setHueOffsetHandle(90.0f);
    EXPECT_FLOAT_EQ(hue.huePosition(), 0.5f);
    hue.setHueOffsetHandle(-1000.0f);
    EXPECT_FLOAT_EQ(hue.huePosition(), 1.0f);
    EXPECT_FLOAT_EQ(hue.guidePoints()[0].y, 0.5f);
}

TEST_F(StripControls, ColorChooserKeepsHsv) {
    ColorChooserWidget chooser(nullptr, 0);
    const struct {
        float r, g, b;
        float h, s, v;
    } rows[] = {{255, 0, 0, 0.0f, 1.0f, 1.0f},
                {0, 255, 255, 0.5f, 1.0f, 1.0f},
                {51, 51, 51, 0.5f, 0.0f, 0.2f},  // a grey keeps the hue it had
                {NAN, 300, -5, 1.0f / 3.0f, 1.0f, 1.0f}};
    for (const auto& row : rows) {
        chooser.setColor(row.r, row.g, row.b, 255.0f);
        EXPECT_NEAR(chooser.hue, row.h, 1e-6) << row.r << " " << row.g << " " << row.b;
        EXPECT_NEAR(chooser.saturation, row.s, 1e-6);
        EXPECT_NEAR(chooser.value, row.v, 1e-6);
        EXPECT_EQ(chooser.alpha, 1.0f);
    }
}

TEST_F(StripControls, SwatchRowTogglesButKeepsOne) {
    VxColorChoiceWidget row(nullptr);
    row.resize(200, 48);
    GrowArray<QColor> colors;
    for (int i = 0; i < 3; ++i) colors.append(QColor(i * 80, 0, 0));
    row.setColors(colors);
    GrowArray<int32_t> selection;
    selection.append(0);
    row.setSelection(selection);
    QSignalSpy changed(&row, &VxColorChoiceWidget::selectionChanged);
    QTest::mouseClick(&row, Qt::LeftButton, {}, row.swatchRect(2).center());
    EXPECT_EQ(row.selection.count, 2);
    QTest::mouseClick(&row, Qt::LeftButton, {}, row.swatchRect(0).center());
    ASSERT_EQ(row.selection.count, 1);
    EXPECT_EQ(row.selection[0], 2);
    QTest::mouseClick(&row, Qt::LeftButton, {}, row.swatchRect(2).center());  // the last stays
    EXPECT_EQ(row.selection.count, 1);
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(StripControls, EyedropperEndsWithTheNextClick) {
    ColorChooserWidget chooser(nullptr, 0);
    chooser.show();
    chooser.setColor(10, 20, 30, 255);
    QSignalSpy changed(&chooser, &ColorChooserWidget::colorChanged);
    chooser.eyedropperPressed();
    EXPECT_TRUE(chooser.picking);
    QTest::mouseClick(&chooser, Qt::RightButton, {}, QPoint(5, 5));  // another button: no colour taken
    EXPECT_FALSE(chooser.picking);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(chooser.currentColor().rgb(), QColor(10, 20, 30).rgb());
}
