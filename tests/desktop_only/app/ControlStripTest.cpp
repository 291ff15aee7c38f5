// The main window's control strip, window layout and slots, offscreen: one
// control per var kind, edits written back (with the mended clamping and
// colour conversion), the layout's worked rows, the slots' cases, and a
// real mouse drag on the strip's slider reaching the view's pixels.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QFontDatabase>
#include <QLineEdit>
#include <QStyle>
#include <QStyleFactory>
#include <QMenuBar>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>
#include <vector>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/tray/TrayNode.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/ColorChooserWidget.h"
#include "desktop_only/widgets/ToneCurveWidget.h"
#include "desktop_only/widgets/VxColorChoiceWidget.h"
#include "desktop_only/widgets/VxInputBox.h"
#include "desktop_only/widgets/VxListChooser.h"
#include "desktop_only/widgets/VxPanelItemListButton.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxSlider.h"
#include "desktop_only/widgets/VxTabBar.h"
#include "desktop_only/widgets/VxStringInputBox.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "desktop_only/widgets/VxToolTipBox.h"
#include "desktop_only/widgets/VxTrayButton.h"
#include "foundation/UndoStack.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"
#include "framework/ModVar.h"
#include "support/DesktopTestAccess.h"
#include "support/DesktopTestHelpers.h"

using StripAccess = ControlStripTestAccess;

namespace {

GrowArray<GrowString> texts(std::initializer_list<const char*> list) {
    GrowArray<GrowString> out;
    for (const char* t : list) out.append(GrowString(t));
    return out;
}

// A tile holding one var of every kind, plus a hidden one, a plain
// multichoice and one without a value.
class AllKindsTile : public ImageMod {
public:
    AllKindsTile() : ImageMod(GrowString("All Kinds"), GrowString()) {
        addFloatVar("Amount", 0.5f, 0.0f, 1.0f);                                  // 0 slider
        addVar(ModVar("Hidden", new FloatValue(1.0f)))->shown = 0;                // 1 none
        addVar(ModVar("Count", new FloatValue(2.6f), kControlNumberBox));         // 2 number box
        addVar(ModVar("Curve", new CurveValue(Curve(0))));                        // 3 curve editor
        addVar(ModVar("Color", new ColorValue(10.0f, 20.0f, 30.0f)));             // 4 colour chooser
        addVar(ModVar("Press", new ButtonValue()));                               // 5 button
        addVar(ModVar("Mode", new ChoiceValue(texts({"A", "B", "C"}), 1)));      // 6 list chooser
        addVar(ModVar("Tags", new MultiChoiceValue(texts({"x", "y"}), 0)));      // 7 none
        GrowArray<int32_t> outside;
        outside.append(5);
        addVar(ModVar("Swatches", new MultiChoiceValue(texts({"12 34", "255 0 0"}), outside), 13));  // 8 swatches
        addVar(ModVar("File", new FileValue()));                                  // 9 file box
        addVar(ModVar("Empty", nullptr));                                         // 10 none
        var(6)->setAlias("Remix");
    }
    ImageMod* clone() const override { return new AllKindsTile(); }
    void varChanged(int32_t index) override {
        lastChanged = index;
        ++changes;
    }
    int32_t lastChanged = -1;
    int32_t changes = 0;
};

// A tile with a "Variation" var, as camera styles have.
class RemixTile : public ImageMod {
public:
    RemixTile() : ImageMod(GrowString("Remix Tile"), GrowString()) { addFloatVar("Variation", 1.0f, 0.0f, 100.0f); }
    ImageMod* clone() const override { return new RemixTile(); }
};

class ControlStripTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        ASSERT_TRUE(folder.isValid());
        // The program's look: the fusion style and its fonts.
        static const bool styled = [] {
            QFontDatabase::addApplicationFont(":/fonts/Vera.ttf");
            QFontDatabase::addApplicationFont(":/fonts/VeraBd.ttf");
            if (QStyle* fusion = QStyleFactory::create("fusion")) QApplication::setStyle(fusion);
            return true;
        }();
        (void)styled;
        window = std::make_unique<MainWindow>("QWidget {color: #ffffff;font: 11px 'Bitstream Vera Sans';}");
        window->show();
        window->resize(1200, 800);
        QApplication::processEvents();
    }
    void TearDown() override {
        waitForWindowIdle(*window, false);
        window.reset();
    }
    TrayWidget* tray() { return window->current()->tray; }
    // Deletes what the strip retired.
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QTemporaryDir folder;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST_F(ControlStripTest, OneControlPerShownVarWithItsData) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    AllKindsTile tile;
    w.buildControls(tile.vars, &tile, false);
    ASSERT_EQ(StripAccess::controlTable(strip).count, 8);
    const int32_t indexes[] = {0, 2, 3, 4, 5, 6, 8, 9};
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(StripAccess::controlTable(strip)[i].index, indexes[i]);
        EXPECT_EQ(StripAccess::controlTable(strip)[i].tile, &tile);
        EXPECT_TRUE(StripAccess::controlTable(strip)[i].control->isVisible());
    }
    EXPECT_EQ(StripAccess::sliderControls(strip).count, 1);
    EXPECT_EQ(StripAccess::inputBoxControls(strip).count, 1);
    EXPECT_EQ(StripAccess::curveControls(strip).count, 1);
    EXPECT_EQ(StripAccess::colorControls(strip).count, 1);
    EXPECT_EQ(StripAccess::buttonControls(strip).count, 1);
    EXPECT_EQ(StripAccess::listControls(strip).count, 1);
    EXPECT_EQ(StripAccess::colorChoiceControls(strip).count, 1);
    EXPECT_EQ(StripAccess::stringControls(strip).count, 1);
    ASSERT_EQ(StripAccess::controlLabels(strip).count, 8);
    EXPECT_EQ(StripAccess::controlLabels(strip)[5]->text(), "Remix");  // the alias
    EXPECT_FALSE(StripAccess::controlLabels(strip)[4]->isVisible());   // a button names itself
    EXPECT_EQ(StripAccess::buttonControls(strip)[0]->text(), "Press");
    // The number box shows the integer part; the var keeps 2.6.
    EXPECT_EQ(StripAccess::inputBoxControls(strip)[0]->findChild<QLineEdit*>()->text(), "2");
    EXPECT_FLOAT_EQ(tile.var(2)->floatValue()->value, 2.6f);
    // Swatches: a missing number reads 0; a selection outside the list gives {0}.
    const VxColorChoiceWidget* row = StripAccess::colorChoiceControls(strip)[0];
    ASSERT_EQ(row->colors.count, 2);
    EXPECT_EQ(row->colors[0], QColor(12, 34, 0, 255));
    EXPECT_EQ(row->colors[1], QColor(255, 0, 0, 255));
    ASSERT_EQ(row->selection.count, 1);
    EXPECT_EQ(row->selection[0], 0);
    EXPECT_EQ(StripAccess::listControls(strip)[0]->text(), "B");
    // The slider's limits are both on: no symbolic ends.
    EXPECT_FALSE(StripAccess::sliderControls(strip)[0]->symbolicEnds());

    // An empty list leaves an empty strip and the lines from the view area.
    w.buildControls(GrowArray<ModVar*>(), nullptr, false);
    EXPECT_EQ(StripAccess::controlTable(strip).count, 0);
    EXPECT_EQ(StripAccess::controlLabels(strip).count, 0);
    EXPECT_EQ(StripAccess::controlShowLine(strip), StripAccess::mediaAreaBottom(strip) - 2);
    EXPECT_EQ(StripAccess::controlHideLine(strip), StripAccess::mediaAreaBottom(strip) - 50);
}

TEST_F(ControlStripTest, EditsAreWrittenBackClampedAndConverted) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    AllKindsTile tile;
    w.buildControls(tile.vars, &tile, false);
    ColorChooserWidget* chooser = StripAccess::colorControls(strip)[0];
    const struct {
        float h, s, v;
        float r, g, b;
    } colours[] = {{1.0f, 1.0f, 1.0f, 255, 0, 0},
                   {0.0f, 1.0f, 1.0f, 255, 0, 0},
                   {0.5f, 1.0f, 1.0f, 0, 255, 255},
                   {0.3f, 0.0f, 0.4f, 102, 102, 102},
                   {-0.25f, 1.0f, 1.0f, 127.5f, 0, 255}};
    for (const auto& row : colours) {
        chooser->hue = row.h;
        chooser->saturation = row.s;
        chooser->value = row.v;
        chooser->alpha = 0.5f;
        w.controlAdjusted(chooser);
        const ColorValue* c = tile.var(4)->colorValue();
        EXPECT_NEAR(c->red, row.r, 1e-3) << row.h;
        EXPECT_NEAR(c->green, row.g, 1e-3) << row.h;
        EXPECT_NEAR(c->blue, row.b, 1e-3) << row.h;
        EXPECT_FLOAT_EQ(c->fourth, 127.5f);
        EXPECT_EQ(tile.lastChanged, 4);
    }
    // A typed number obeys the value's limits (0..1 here).
    VxInputBox* box = StripAccess::inputBoxControls(strip)[0];
    for (const auto& row : {std::pair<float, float>{5.0f, 1.0f}, {-3.0f, 0.0f}}) {
        box->setValue(true, row.first);
        EXPECT_EQ(tile.var(2)->floatValue()->value, row.second);
    }
    // A button writes nothing but reaches the tile.
    const int32_t before = tile.changes;
    StripAccess::buttonControls(strip)[0]->click();
    EXPECT_EQ(tile.changes, before + 1);
    EXPECT_EQ(tile.lastChanged, 5);
    // A choice and the swatches.
    StripAccess::listControls(strip)[0]->itemChosenFromList(2);
    EXPECT_EQ(tile.var(6)->choiceValue()->selected, 2);
    // Undo elsewhere: refreshControls brings the slider and chooser back.
    tile.var(0)->setFloat(0.25f);
    tile.var(6)->choiceValue()->selected = 0;
    w.refreshControls();
    EXPECT_EQ(StripAccess::sliderControls(strip)[0]->value(), 0.25f);
    EXPECT_EQ(StripAccess::listControls(strip)[0]->currentIndex(), 0);
}

// The strip on a plain host, not the window: it reports through its
// signals only, the tile is switched on before the value is written and
// told after it, and its controls go with it.
TEST_F(ControlStripTest, TheStripAloneReportsThroughItsSignalsInOrder) {
    QWidget host;
    host.resize(1000, 700);
    QWidget* media = new QWidget(&host);
    media->setGeometry(6, 6, 988, 590);
    QWidget* trayArea = new QWidget(&host);
    trayArea->setGeometry(5, 604, 990, 96);
    auto* strip = new ControlStrip(&host, media, trayArea);
    AllKindsTile tile;
    strip->buildControls(tile.vars, &tile, false, false);
    ASSERT_EQ(strip->controlCount(), 8);

    QStringList heard;
    QObject::connect(strip, &ControlStrip::editAboutToStart, [&](QWidget*) { heard << "start"; });
    QObject::connect(strip, &ControlStrip::controlAboutToBeEdited, [&](const ControlEntry& entry) {
        heard << QString("before %1").arg(entry.var->floatValue()->value);
    });
    QObject::connect(strip, &ControlStrip::controlEdited, [&](const ControlEntry& entry) {
        heard << QString("after %1 of %2").arg(entry.var->floatValue()->value).arg(entry.index);
    });
    QObject::connect(strip, &ControlStrip::heightChanged, [&](QWidget*) { heard << "height"; });
    QObject::connect(strip, &ControlStrip::curveMenuRequested, [&](QWidget*) { heard << "menu"; });

    VxSlider* slider = StripAccess::sliderControls(*strip)[0];
    emit slider->editingStarted(slider);
    slider->setValue(0.75f);
    emit slider->sliderChanged(slider);
    VxListChooser* chooser = StripAccess::listControls(*strip)[0];
    chooser->mainButtonPressed();
    ToneCurveWidget* editor = StripAccess::curveControls(*strip)[0];
    emit editor->rightClicked(editor);
    EXPECT_EQ(heard, QStringList({"start", "before 0.5", "after 0.75 of 0", "height", "menu"}));
    EXPECT_EQ(tile.lastChanged, -1);  // the tile hears of it only from whoever answers the signal

    QPointer<QWidget> control(slider);
    QPointer<QWidget> list(chooser->list());
    delete strip;
    EXPECT_TRUE(control.isNull());
    EXPECT_TRUE(list.isNull());
}

TEST_F(ControlStripTest, RebuildingWhileAListIsOpenOrFromItsSignalIsSafe) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    AllKindsTile tile;
    w.buildControls(tile.vars, &tile, false);
    VxListChooser* chooser = StripAccess::listControls(strip)[0];
    chooser->mainButtonPressed();
    QPointer<VxListChooserList> list = chooser->list();
    ASSERT_TRUE(list->isVisible());
    // The strip is rebuilt from inside the chooser's own signal.
    QObject::connect(chooser, &VxListChooser::itemChanged,
                     [&w] { w.buildControls(GrowArray<ModVar*>(), nullptr, false); });
    chooser->itemChosenFromList(1);
    EXPECT_EQ(StripAccess::controlTable(strip).count, 0);
    EXPECT_EQ(StripAccess::rightClickedControl(strip), nullptr);
    // The old list may still report; it reaches no window slot.
    if (list) emit list->itemChosen(0);
    flushDeletes();
    EXPECT_TRUE(list.isNull());
}

TEST_F(ControlStripTest, WindowLayoutRows) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    // The menus come with their own stage; one menu gives the bar its height.
    w.menuBar()->addMenu("File");
    w.resize(1200, 800);
    QApplication::processEvents();
    const int M = w.menuBarHeight();
    EXPECT_EQ(M, 19);  // with the program's fonts
    w.resize(1200, 800);
    w.layoutWindow();
    EXPECT_EQ(s.toolPanel->geometry(), QRect(990, M, 210, 800 - M));
    EXPECT_EQ(s.trayArea->geometry(), QRect(5, 704, 980, 96));
    EXPECT_EQ(s.mediaArea->geometry(), QRect(6, M + 6, 978, 688 - M));
    EXPECT_EQ(s.toolPanel->size(), QSize(210, 781));
    EXPECT_EQ(s.mediaArea->size(), QSize(978, 669));
    EXPECT_FALSE(s.tabBar->isVisibleTo(&w));

    // The start-screen button centres on the view area.
    ASSERT_NE(s.startLoadButton, nullptr);
    ASSERT_EQ(s.startScreenButtons.count, 1);
    VxPushButton* start = s.startLoadButton;
    start->resize(200, 100);
    w.layoutWindow();
    EXPECT_EQ(start->pos(), QPoint(389, static_cast<int>(std::trunc((688 - M) / 2) - 50)));
    EXPECT_TRUE(start->isVisibleTo(&w));

    s.trayShown = false;
    w.layoutWindow();
    EXPECT_EQ(s.mediaArea->size(), QSize(978, 760 - M));
    s.toolPanelShown = false;
    w.layoutWindow();
    EXPECT_FALSE(s.trayArea->isVisibleTo(&w));
    EXPECT_EQ(s.mediaArea->size(), QSize(1188, 760 - M));
    s.trayShown = s.toolPanelShown = true;

    w.buildDocumentTab();
    w.layoutWindow();
    EXPECT_EQ(s.tabBar->geometry().topLeft(), QPoint(0, M));
    EXPECT_EQ(s.tabBar->height(), 30);
    EXPECT_EQ(s.mediaArea->geometry(), QRect(6, M + 36, 978, 658 - M));
    for (int i = 0; i < s.documentTabs.count; ++i) {
        if (i == s.currentTab) continue;
        EXPECT_FALSE(s.documentTabs[i].view->isVisibleTo(&w));
        EXPECT_FALSE(s.documentTabs[i].tray->isVisibleTo(&w));
    }

    // Split, stacked, three tabs: equal shares, the last takes the rest.
    w.buildDocumentTab();
    s.splitViewMode = 1;
    w.layoutWindow();
    const int V = s.mediaArea->height();
    const int share = (V - 18) / 3;
    EXPECT_EQ(s.documentTabs[0].view->geometry(), QRect(3, 3, 978 - 6, share));
    EXPECT_EQ(s.documentTabs[1].view->geometry().y(), 3 + share + 6);
    EXPECT_EQ(s.documentTabs[2].view->geometry().height(), V - 3 - (3 + 2 * (share + 6)));
    EXPECT_TRUE(s.activeViewFrame->isVisibleTo(&w));
    EXPECT_FALSE(start->isVisibleTo(&w));
    s.splitViewMode = 0;
}

TEST_F(ControlStripTest, StripWidthsAndPlaces) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    w.resize(1222, 800);  // a view area 1000 wide
    QApplication::processEvents();
    ASSERT_EQ(windowState(w).mediaArea->width(), 1000);
    ModVar amount("Amount", new FloatValue(0.5f));
    GrowArray<ModVar*> one;
    one.append(&amount);
    w.buildControls(one, nullptr, false);
    EXPECT_EQ(StripAccess::sliderControls(strip)[0]->width(), 600);
    EXPECT_EQ(StripAccess::sliderControls(strip)[0]->x(), 200);
    EXPECT_EQ(StripAccess::sliderControls(strip)[0]->geometry().bottom() + 1, StripAccess::mediaAreaBottom(strip) - 20);
    EXPECT_EQ(StripAccess::controlLabels(strip)[0]->y(), StripAccess::mediaAreaBottom(strip) - 20);

    // Two plain curve editors with R = 700: both 250.
    w.resize(1006, 800);
    QApplication::processEvents();
    ASSERT_EQ(windowState(w).mediaArea->width(), 784);
    ModVar a("A", new CurveValue(Curve(0)));
    ModVar b("B", new CurveValue(Curve(0)));
    GrowArray<ModVar*> curves;
    curves.append(&a);
    curves.append(&b);
    w.buildControls(curves, nullptr, false);
    EXPECT_EQ(StripAccess::curveControls(strip)[0]->size(), QSize(250, 250));
    EXPECT_EQ(StripAccess::curveControls(strip)[1]->size(), QSize(250, 250));
    // The lines: 50 above the highest control.
    EXPECT_EQ(StripAccess::controlHideLine(strip), StripAccess::curveControls(strip)[0]->y() - 50);
    w.buildControls(GrowArray<ModVar*>(), nullptr, false);
}

TEST_F(ControlStripTest, DeleteButtonCases) {
    MainWindow& w = *window;
    AllKindsTile proto;
    for (int i = 0; i < 3; ++i) w.addModToTray(&proto, true, false, false);
    CompoundFilter* master = &TrayWidgetTestAccess::masterList(*tray());
    ASSERT_EQ(master->subMods.count, 3);
    master->subMods[0]->pinned = 1;
    master->subMods[2]->pinned = 1;
    const int32_t undos = TrayWidgetTestAccess::undoStack(*tray())->undoCount();
    w.deleteNodesButtonPressed();  // the unpinned one
    EXPECT_EQ(master->subMods.count, 2);
    EXPECT_EQ(TrayWidgetTestAccess::undoStack(*tray())->undoCount(), undos + 1);
    w.deleteNodesButtonPressed();  // all pinned: all go
    EXPECT_EQ(master->subMods.count, 0);
    w.deleteNodesButtonPressed();  // an empty master chain stays
    EXPECT_EQ(master->subMods.count, 0);

    // An emptied nested compound returns to its parent and goes.
    CompoundFilter* nested = new CompoundFilter(GrowString("Compound Filter"));
    master->subMods.append(nested);
    tray()->rebuildNodes();
    tray()->showCompound(nested);
    ASSERT_EQ(tray()->displayedList(), nested);
    w.deleteNodesButtonPressed();
    EXPECT_EQ(tray()->displayedList(), master);
    EXPECT_EQ(master->subMods.count, 0);
    tray()->undo();  // and undo brings it back
    EXPECT_EQ(tray()->masterList()->subMods.count, 1);
}

TEST_F(ControlStripTest, EditRecordsRemixAndSamples) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    AllKindsTile proto;
    w.addModToTray(&proto, false, true, false);
    ASSERT_EQ(StripAccess::controlTable(strip).count, 8);
    const int32_t undos = TrayWidgetTestAccess::undoStack(*tray())->undoCount();
    VxSlider* slider = StripAccess::sliderControls(strip)[0];
    slider->show();
    const float start = slider->value();
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, 20));
    for (int step : {20, 40}) {
        const QPoint to(slider->width() / 2 + step, 20);
        QMouseEvent drag(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(slider, &drag);
    }
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2 + 40, 20));
    EXPECT_NE(slider->value(), start);
    EXPECT_EQ(TrayWidgetTestAccess::undoStack(*tray())->undoCount(), undos + 1);  // one record for the whole drag

    // Remix: every Variation steps; one record restores them all.
    RemixTile remix;
    w.addModToTray(&remix, true, false, false);
    w.addModToTray(&remix, true, false, false);
    const CompoundFilter* master = tray()->masterList();
    const int32_t before = TrayWidgetTestAccess::undoStack(*tray())->undoCount();
    w.stepRemixValues(10.0f);
    EXPECT_EQ(TrayWidgetTestAccess::undoStack(*tray())->undoCount(), before + 1);
    EXPECT_EQ(master->subMods[1]->findVar("Variation")->floatValue()->value, 11.0f);
    EXPECT_EQ(master->subMods[2]->findVar("Variation")->floatValue()->value, 11.0f);
    tray()->undo();
    EXPECT_EQ(tray()->masterList()->subMods[1]->findVar("Variation")->floatValue()->value, 1.0f);
    EXPECT_EQ(tray()->masterList()->subMods[2]->findVar("Variation")->floatValue()->value, 1.0f);

    // The fourth sample pushes out the oldest.
    for (int i = 1; i <= 4; ++i) w.addPixelSample({i, i, 0});
    ASSERT_EQ(windowState(w).pixelSamples.count, 3);
    EXPECT_EQ(windowState(w).pixelSamples[0].x, 4);
    EXPECT_EQ(windowState(w).pixelSamples[2].x, 2);

    // The slide: a step of 0 moves 0, then 1.
    StripAccess::controlSlideStep(strip) = 0;
    w.nodeControlAnimationTimerFired();
    EXPECT_EQ(StripAccess::controlSlideOffset(strip), 0.0f);
    EXPECT_EQ(StripAccess::controlSlideStep(strip), 1);
    w.nodeControlAnimationTimerFired();
    EXPECT_EQ(StripAccess::controlSlideOffset(strip), 1.0f);
}

TEST_F(ControlStripTest, InterfaceToggles) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    const bool expected[4][2] = {{true, false}, {false, false}, {false, true}, {true, true}};  // tray, panel
    for (const auto& step : expected) {
        w.cycleInterfaceVisibility();
        EXPECT_EQ(s.trayShown, step[0]);
        EXPECT_EQ(s.toolPanelShown, step[1]);
        EXPECT_EQ(s.trayArea->isVisibleTo(&w), step[0]);
        EXPECT_EQ(s.toolPanel->isVisibleTo(&w), step[1]);
    }
    w.toggleInterfaceVisibility();
    EXPECT_FALSE(s.trayShown || s.toolPanelShown);
    w.toggleInterfaceVisibility();
    EXPECT_TRUE(s.trayShown && s.toolPanelShown);

    VxHistogramWindow* scope = w.current()->view->histogramWindow;
    w.toggleHistogramView(VxHistogramWidget::kLuminanceHistogram);
    EXPECT_TRUE(scope->isVisible());
    w.toggleHistogramView(VxHistogramWidget::kLuminanceHistogram);  // the shown graph again hides it
    EXPECT_FALSE(scope->isVisible());
    w.toggleHistogramView(VxHistogramWidget::kLuminanceHistogram);
    w.toggleHistogramView(static_cast<VxHistogramWidget::HistogramWidgetGraph>(1));  // another graph switches
    EXPECT_TRUE(scope->isVisible());
    EXPECT_EQ(static_cast<int>(scope->histogram->graph()), 1);
    scope->hide();
}

TEST_F(ControlStripTest, PixelSamplesReadThePublishedPictureSafely) {
    MainWindow& w = *window;
    VxMediaWidget* view = w.current()->view;
    ASSERT_TRUE(waitForDisplayIdle(view));
    float values[3];
    ImageBuffer picture;
    picture.allocateFloat(2, 1, 1);  // one channel: three equal values
    picture.floats()[0] = -7.0f;
    picture.floats()[1] = NAN;
    // One pixel wide: no division by zero.
    VxMediaWidgetTestAccess::publish(*view, picture, QRect(0, 0, 2, 1), QPoint(0, 0), 1, 1);
    ASSERT_TRUE(view->sampleAtImagePoint(0, 0, values));
    EXPECT_EQ(values[0], -7.0f);
    EXPECT_EQ(values[1], -7.0f);
    EXPECT_EQ(values[2], -7.0f);
    VxMediaWidgetTestAccess::publish(*view, picture, QRect(0, 0, 2, 1), QPoint(0, 0), 3, 1);
    EXPECT_FALSE(view->sampleAtImagePoint(1000000000, 0, values));  // far outside, no overflow
    VxMediaWidgetTestAccess::unpublish(*view);
    EXPECT_FALSE(view->sampleAtImagePoint(0, 0, values));
    VxMediaWidgetTestAccess::publish(*view, picture, QRect(0, 0, 2, 1), QPoint(0, 0), 1, 1);
    view->setHasMedia(false);
    EXPECT_FALSE(view->sampleAtImagePoint(0, 0, values));  // a view without media has no samples
}

TEST_F(ControlStripTest, HoverPreviewDrawsItsBaseOnlyWhenStale) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    const QString path = folder.path() + "/a.png";
    ASSERT_TRUE(writeTwoColourPhoto(path, 300, 200));
    ASSERT_TRUE(w.openMediaFile(path));
    ASSERT_TRUE(waitForDisplayIdle(w.current()->view));
    AllKindsTile tile;
    w.imageModHovered(&tile, false);
    ASSERT_GT(s.previewSource.width, 0);
    EXPECT_TRUE(s.toolTipBox->isVisible());
    EXPECT_FALSE(VxMediaWidgetTestAccess::previewSourceStale(*w.current()->view));
    // A mark in the base picture survives the next hover: nothing redrew it.
    s.previewSource.floats()[0] = 1234.0f;
    w.imageModHovered(&tile, true);
    EXPECT_EQ(s.previewSource.floats()[0], 1234.0f);
    w.current()->view->setPreviewSourceStale();
    w.imageModHovered(&tile, false);
    EXPECT_NE(s.previewSource.floats()[0], 1234.0f);
    w.imageModHovered(nullptr, false);
    EXPECT_FALSE(s.toolTipBox->isVisible());
}

// As a user would: a photo and a filter, a real drag on the strip's slider,
// the view showing exactly the render of the new value; undo restores it.
TEST_F(ControlStripTest, DraggingTheStripSliderReachesTheView) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    const QString path = folder.path() + "/a.png";
    ASSERT_TRUE(writeTwoColourPhoto(path, 300, 200));
    ASSERT_TRUE(w.openMediaFile(path));
    const QString filter = folder.path() + "/bright.plf";
    QFile file(filter);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<filter version=\"4\">\n  <mod name=\"Exposure\" version=\"1\" enabled=\"1\">\n"
               "    <var name=\"Amount\" type=\"float\">0.500000</var>\n  </mod>\n</filter>\n");
    file.close();
    w.loadFilterIntoDocument(GrowString(filter.toUtf8().constData()), true);
    ASSERT_EQ(tray()->masterList()->subMods.count, 1);
    VxMediaWidget* view = w.current()->view;
    ASSERT_TRUE(waitForDisplayIdle(view));
    tray()->selectOnlyNode(0);
    w.showSelectedTileControls();
    ASSERT_EQ(StripAccess::sliderControls(strip).count, 1);
    VxSlider* slider = StripAccess::sliderControls(strip)[0];
    ImageMod* exposure = tray()->masterList()->subMods[0];
    const float before = exposure->var(0)->floatValue()->value;

    auto showsChain = [&] {
        if (!waitForDisplayIdle(view)) return false;
        GrowArray<ImageMod*> chain = tray()->modChain(true, true);
        const ImageBuffer expected = expectedFitDisplay(view, chain, view->width(), view->height());
        return expected.width > 0 && maxDifference(VxMediaWidgetTestAccess::shownBuffer(*view), expected) == 0.0f;
    };
    const ImageBuffer original = VxMediaWidgetTestAccess::shownBuffer(*view);

    const QPoint from(slider->handleX(), 20);
    const QPoint to(from.x() + slider->width() / 6, 20);
    QTest::mousePress(slider, Qt::LeftButton, {}, from);
    QTest::mouseMove(slider, to);
    QMouseEvent drag(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &drag);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
    const float after = exposure->var(0)->floatValue()->value;
    EXPECT_NE(after, before);
    EXPECT_EQ(after, slider->value());
    ASSERT_TRUE(showsChain());
    EXPECT_GT(maxDifference(VxMediaWidgetTestAccess::shownBuffer(*view), original), 0.0f);

    ASSERT_TRUE(tray()->undo());
    w.trayContentChanged();
    EXPECT_EQ(tray()->masterList()->subMods[0]->var(0)->floatValue()->value, before);
    ASSERT_TRUE(showsChain());
    EXPECT_EQ(maxDifference(VxMediaWidgetTestAccess::shownBuffer(*view), original), 0.0f);
}

// Deleting a saved style ends the hover and removes the file only when it
// lies inside "Presets/".
TEST_F(ControlStripTest, DeletingAFavoriteStaysInsideThePresetsFolder) {
    MainWindow& w = *window;
    const QString presets = QFile::decodeName(applicationSupportFolder().c_str()) + "Presets";
    ASSERT_TRUE(QDir().mkpath(presets));
    const QString inside = presets + "/Mine.plf";
    const QString outside = folder.path() + "/Elsewhere.plf";
    for (const QString& path : {inside, outside}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<filter version=\"4\">\n</filter>\n");
    }
    for (const QString& path : {outside, inside}) {
        CompoundFilter* style = new CompoundFilter(GrowString("Compound Filter"));
        style->loadedFrom = GrowString(QFile::encodeName(path).constData());
        VxPanelItemListButton* button = windowState(w).toolPanel->addModButton(style);
        ASSERT_NE(button, nullptr);
        button->setOwnsMod(true);
        w.imageModHovered(style, false);
        ASSERT_TRUE(windowState(w).toolTipBox->isVisible());
        QPointer<VxPanelItemListButton> alive(button);
        QTimer::singleShot(50, [] {
            if (QDialog* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->accept();
        });
        w.deleteFavoriteClicked(button);
        EXPECT_TRUE(alive.isNull());
        EXPECT_FALSE(windowState(w).toolTipBox->isVisible());
    }
    EXPECT_TRUE(QFile::exists(outside));
    EXPECT_FALSE(QFile::exists(inside));
}

// Every tile class: each shown var with a value gets its control (plain
// multichoices excepted), and writing every control back keeps the tile whole.
TEST_F(ControlStripTest, EveryPrototypeGetsItsControls) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    ASSERT_GT(windowState(w).tilePrototypes.count, 50);
    for (ImageMod* proto : windowState(w).tilePrototypes) {
        w.addModToTray(proto, false, true, false);
        const GrowArray<int32_t> selected = tray()->selectedIndices();
        if (selected.count != 1) continue;  // a filter unpacks into several tiles
        ImageMod* tile = tray()->displayedList()->subMods[selected[0]];
        int32_t expected = 0;
        for (const ModVar* var : tile->vars) {
            if (!var || !var->shown || !var->value) continue;
            if (var->value->kind() == kMultiChoiceVar && var->controlCode != 13) continue;
            ++expected;
        }
        ASSERT_EQ(StripAccess::controlTable(strip).count, expected) << proto->name.c_str();
        for (int32_t i = 0; i < StripAccess::controlTable(strip).count; ++i) w.controlAdjusted(StripAccess::controlTable(strip)[i].control);
        EXPECT_EQ(tile->vars.count, proto->vars.count) << proto->name.c_str();
        w.deleteNodesButtonPressed();
        w.deleteNodesButtonPressed();
        flushDeletes();
    }
}

// The labels hold their whole text inside the view area, at each of three
// window sizes; a strip slid away draws nothing below the view's bottom
// edge (the colour chooser included) and comes back whole.
TEST_F(ControlStripTest, LabelsHoldTheirTextAndASlidStripStaysInTheView) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    ModVar amount("Amount", new FloatValue(0.5f));
    ModVar dark("Dark Color", new ColorValue(40.0f, 60.0f, 200.0f));
    ModVar hue("Hue", new ColorValue(200.0f, 60.0f, 40.0f), kControlHueOnly);
    GrowArray<ModVar*> vars;
    for (ModVar* var : {&amount, &dark, &hue}) vars.append(var);
    for (const QSize size : {QSize(1024, 700), QSize(1400, 900), QSize(2560, 1440)}) {
        w.resize(size);
        QApplication::processEvents();
        w.buildControls(vars, nullptr, false);
        const int bottom = StripAccess::mediaAreaBottom(strip);
        for (QLabel* label : StripAccess::controlLabels(strip)) {
            const QFontMetrics metrics(label->font());
            const QRect text = label->contentsRect();
            EXPECT_GE(text.height(), metrics.height()) << label->text().toStdString();
            EXPECT_GE(text.width(), metrics.horizontalAdvance(label->text())) << label->text().toStdString();
            EXPECT_LE(label->geometry().bottom(), bottom) << size.width();
        }

        // Slid away to the end: nothing below the view's last row.
        StripAccess::controlSlideStep(strip) = 1000;
        w.nodeControlAnimationTimerFired();
        ASSERT_GT(StripAccess::controlSlideOffset(strip), 0.0f);
        std::vector<QWidget*> widgets;
        for (const ControlEntry& entry : StripAccess::controlTable(strip)) widgets.push_back(entry.control);
        for (QLabel* label : StripAccess::controlLabels(strip)) widgets.push_back(label);
        for (QWidget* widget : widgets) {
            if (!widget->isVisible()) continue;
            const QRect drawn = widget->mask().isEmpty() ? widget->rect() : widget->mask().boundingRect();
            EXPECT_LE(widget->mapTo(&w, drawn.bottomLeft()).y(), bottom) << widget->metaObject()->className();
        }
        EXPECT_FALSE(StripAccess::colorControls(strip)[0]->isVisible());

        // Half way back: the chooser shows only its part above the edge.
        StripAccess::controlSlideOffset(strip) = static_cast<float>(StripAccess::colorControls(strip)[0]->height() / 2 + 20);
        w.layoutControls(false);
        ASSERT_TRUE(StripAccess::colorControls(strip)[0]->isVisible());
        EXPECT_EQ(StripAccess::colorControls(strip)[0]->mask().boundingRect().height(), bottom + 1 - StripAccess::colorControls(strip)[0]->y());

        // Back: every control and label whole again.
        StripAccess::controlSlideStep(strip) = -100000;
        w.nodeControlAnimationTimerFired();
        EXPECT_EQ(StripAccess::controlSlideOffset(strip), 0.0f);
        for (QWidget* widget : widgets) {
            EXPECT_TRUE(widget->isVisible());
            EXPECT_TRUE(widget->mask().isEmpty());
        }
    }
    w.buildControls(GrowArray<ModVar*>(), nullptr, false);
}
