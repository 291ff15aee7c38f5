// What the compiler cannot check of the window's slots and connections:
// every slot the meta-object system reaches by name exists with its
// parameter types, no connection is made to an object that does not exist
// yet (Qt only warns at run time), and the signals of the menus, the key
// actions, the panel, the mini buttons and the curve controls do reach the
// window's slots.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMetaObject>
#include <QStringList>
#include <QHoverEvent>
#include <QTest>
#include <QTimer>

#include <memory>

#include "PanelTestSupport.h"
#include "desktop_only/display/VxPreviewChooser.h"
#include "desktop_only/widgets/ToneCurveWidget.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxRenderQueueWindow.h"
#include "desktop_only/widgets/VxToolTipBox.h"
#include "foundation/Preferences.h"
#include "framework/CompoundFilter.h"
#include "framework/Curve.h"
#include "framework/ModVar.h"

using StripAccess = ControlStripTestAccess;

namespace {

// Collects the connection warnings Qt prints while installed.
QStringList* collected = nullptr;
void collectConnectionWarnings(QtMsgType, const QMessageLogContext&, const QString& text) {
    // Qt follows each failed connection with a line naming the objects.
    if (collected && text.contains("QObject::connect") && !text.contains(" name: '")) collected->append(text);
}

struct WarningCollector {
    QStringList warnings;
    QtMessageHandler previous = nullptr;
    WarningCollector() {
        collected = &warnings;
        previous = qInstallMessageHandler(collectConnectionWarnings);
    }
    ~WarningCollector() {
        qInstallMessageHandler(previous);
        collected = nullptr;
    }
};

}  // namespace

TEST(WindowSlots, EverySlotOfTheListExistsByItsSignature) {
    const char* const names[] = {
        "sendToPluginHost()", "loadFilterSlot(QString,bool)", "loadFilterSlot(QString)",
        "toolRequestedExit(VxToolWidget*)", "viewportButtonPressed()", "documentTabChosen(int)",
        "documentTabWantsClosing(int)", "cancelRenderQueueItem(int)", "processingInfoTimerFired()",
        "previewProcessorTimerFired()", "traySelectionChanged()", "trayContentChanged()",
        "menuTriggered(QAction*)", "actionTriggered()", "controlHeightChanged(QWidget*)",
        "controlHovered(QWidget*)", "controlAdjusted(QWidget*)", "controlRightClicked(QWidget*)",
        "shuttleControlAdjusted(QWidget*)", "controlAboutToBeAdjusted(QWidget*)",
        "modButtonClicked(VxPanelItemListButton*,bool)", "comIDButtonClicked(VxPanelItemBigButton*,bool)",
        "deleteFavoriteClicked(VxPanelItemListButton*)", "imageModHovered(ImageMod*,bool)",
        "filterPreviewChosen(ImageMod*,bool)", "previewSectionEnabled(int,GrowString,bool)",
        "saveFavoriteFilterPrompt()", "onEmptyClick()", "onImageRepositioned()",
        "videoShuttleUpdateRequest(VideoLoaderSaverTime)", "hidePanelButtonPressed()", "hideTrayButtonPressed()",
        "toggleHistogramView(VxHistogramWidget::HistogramWidgetGraph)", "previewButtonPressed()",
        "deleteNodesButtonPressed()", "previewVideoButtonPressed()", "cancelProcessingButtonPressed()",
        "cycleInterfaceVisibility()", "toggleInterfaceVisibility()", "startupButtonPressed()",
        "nodeControlAnimationTimerFired()", "displayFinishedUpdating()"};
    EXPECT_EQ(sizeof(names) / sizeof(names[0]), 42u);
    const QMetaObject& meta = MainWindow::staticMetaObject;
    for (const char* slot : names) {
        const QByteArray normal = QMetaObject::normalizedSignature(slot);
        EXPECT_GE(meta.indexOfSlot(normal), 0) << "missing slot " << slot;
    }
}

class WindowConnectionsTest : public PanelWindowTest {};

// The window and a strip built for every tile of the panel (every control
// kind and its signals): no connection warning, such as one for a sender or
// receiver made only later.
TEST(WindowConnections, EveryConnectionResolves) {
    ensureTestApplication();
    WarningCollector collector;
    {
        auto window = std::make_unique<MainWindow>("QWidget { color: #ffffff; }");
        window->show();
        QApplication::processEvents();
        for (ImageMod* prototype : windowState(*window).tilePrototypes) {
            window->addModToTray(prototype, false, true, false);
            window->showSelectedTileControls();
        }
        QApplication::processEvents();
        waitForWindowIdle(*window, false);
    }
    QApplication::processEvents();
    EXPECT_TRUE(collector.warnings.isEmpty()) << collector.warnings.join("\n").toStdString();
}

TEST_F(WindowConnectionsTest, SlotsThatHandOnAreReachedByName) {
    const QString filter = QString::fromUtf8(PELLUCINE_SOURCE_DIR) + "/examples/gamma-exposure.plf";
    ImageMod* exposure = prototypeNamed(*window, "Exposure");
    ASSERT_NE(exposure, nullptr);
    window->addModToTray(exposure, true, true, false);
    window->addModToTray(exposure, true, true, false);
    ASSERT_EQ(tray()->masterList()->subMods.count, 2);
    // The one-argument form replaces the tray's tiles (Gamma, Exposure).
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "loadFilterSlot", Q_ARG(QString, filter)));
    ASSERT_EQ(tray()->masterList()->subMods.count, 2);
    EXPECT_EQ(tray()->masterList()->subMods[0]->name, "Gamma");
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "loadFilterSlot", Q_ARG(QString, filter)));
    EXPECT_EQ(tray()->masterList()->subMods.count, 2);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "loadFilterSlot", Q_ARG(QString, filter), Q_ARG(bool, false)));
    EXPECT_EQ(tray()->masterList()->subMods.count, 4);
    // An empty name with replacing clears the tray.
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "loadFilterSlot", Q_ARG(QString, QString())));
    EXPECT_EQ(tray()->masterList()->subMods.count, 0);
}

// A menu entry reaches the dispatcher through its menu's triggered signal, a
// window-level key action through actionTriggered and its sender.
TEST_F(WindowConnectionsTest, TriggeredActionsReachTheDispatcher) {
    auto named = [](const QList<QAction*>& actions, const char* text) -> QAction* {
        for (QAction* action : actions)
            if (action->text() == text) return action;
        return nullptr;
    };
    auto& s = windowState(*window);
    QAction* queue = named(s.viewMenu->actions(), "Show/Hide Render Queue");
    QAction* help = named(s.helpMenu->actions(), "Help Website");
    QAction* quicklook = named(window->actions(), "Quicklook Presets (Append)");
    ASSERT_TRUE(queue && help && quicklook);
    const bool queueShown = s.renderQueueWindow->isVisible();
    queue->trigger();
    EXPECT_NE(s.renderQueueWindow->isVisible(), queueShown);
    help->trigger();
    EXPECT_EQ(openedUrls.size(), 1);
    ASSERT_FALSE(s.previewChooser->isVisible());
    quicklook->trigger();
    EXPECT_TRUE(s.previewChooser->isVisible());
    s.previewChooser->hide();
    waitForDisplayIdle(view());
}

TEST_F(WindowConnectionsTest, PanelAndMiniButtonSignalsReachTheWindow) {
    auto& s = windowState(*window);
    // A hover of nothing hides the tooltip box.
    s.toolTipBox->show();
    emit s.toolPanel->imageModHovered(nullptr, false);
    EXPECT_FALSE(s.toolTipBox->isVisible());

    // The mini buttons: hide the panel and the tray, and back.
    const bool panelShown = s.toolPanelShown;
    QTest::mouseClick(s.hidePanelButton, Qt::LeftButton);
    EXPECT_NE(s.toolPanelShown, panelShown);
    QTest::mouseClick(s.hidePanelButton, Qt::LeftButton);
    EXPECT_EQ(s.toolPanelShown, panelShown);
    const bool trayWasShown = s.trayShown;
    QTest::mouseClick(s.hideTrayButton, Qt::LeftButton);
    EXPECT_NE(s.trayShown, trayWasShown);
    QTest::mouseClick(s.hideTrayButton, Qt::LeftButton);
    EXPECT_EQ(s.trayShown, trayWasShown);

    // The preview button switches the tray's tiles off and on.
    ImageMod* exposure = prototypeNamed(*window, "Exposure");
    ASSERT_NE(exposure, nullptr);
    window->addModToTray(exposure, true, true, false);
    ASSERT_EQ(tray()->masterList()->subMods.count, 1);
    QTest::mouseClick(s.previewButton, Qt::LeftButton);
    EXPECT_TRUE(tray()->previewMode());
    QTest::mouseClick(s.previewButton, Qt::LeftButton);
    EXPECT_FALSE(tray()->previewMode());

    // The delete button removes the tray's unpinned tiles.
    QTest::mouseClick(s.deleteNodesButton, Qt::LeftButton);
    EXPECT_EQ(tray()->masterList()->subMods.count, 0);
    waitForDisplayIdle(view());
}

TEST_F(WindowConnectionsTest, CurveRightClickOffersPasteOnlyWithACopiedCurve) {
    ControlStrip& strip = *windowState(*window).controlStrip;
    ImageMod* tone = prototypeNamed(*window, "Tone Curve");
    ImageMod* exposure = prototypeNamed(*window, "Exposure");
    ASSERT_TRUE(tone && exposure);
    window->addModToTray(tone, false, true, false);
    window->showSelectedTileControls();
    ASSERT_GE(StripAccess::curveControls(strip).count, 1);
    ToneCurveWidget* editor = StripAccess::curveControls(strip)[0];

    emit editor->rightClicked(editor);
    ASSERT_NE(StripAccess::rightClickedControl(strip), nullptr);
    EXPECT_EQ(StripAccess::rightClickedControl(strip)->control, editor);
    EXPECT_TRUE(StripAccess::curveMenu(strip)->isVisible());
    EXPECT_FALSE(StripAccess::pasteCurveAction(strip)->isEnabled());
    StripAccess::curveMenu(strip)->hide();

    window->actionTriggered(StripAccess::copyCurveAction(strip));
    ASSERT_NE(StripAccess::copiedCurve(strip), nullptr);
    window->controlRightClicked(editor);
    EXPECT_TRUE(StripAccess::curveMenu(strip)->isVisible());
    EXPECT_TRUE(StripAccess::pasteCurveAction(strip)->isEnabled());
    StripAccess::curveMenu(strip)->hide();

    // A control that holds no curve: its record is remembered, no menu.
    window->addModToTray(exposure, false, true, false);
    window->showSelectedTileControls();
    ASSERT_GE(StripAccess::controlTable(strip).count, 1);
    QWidget* plain = StripAccess::controlTable(strip)[0].control;
    window->controlRightClicked(plain);
    ASSERT_NE(StripAccess::rightClickedControl(strip), nullptr);
    EXPECT_EQ(StripAccess::rightClickedControl(strip)->control, plain);
    EXPECT_FALSE(StripAccess::curveMenu(strip)->isVisible());
    // A widget that is no control: nothing remembered.
    window->controlRightClicked(windowState(*window).toolPanel);
    EXPECT_EQ(StripAccess::rightClickedControl(strip), nullptr);
    waitForDisplayIdle(view());
}

// The strip's auto-hide on hover moves: a window 800 high with the hide line
// at 620 slides 12 pixels per tick; the cases that start nothing.
TEST_F(WindowConnectionsTest, HoverMovesSlideTheStrip) {
    auto& s = windowState(*window);
    ControlStrip& strip = *s.controlStrip;
    ImageMod* exposure = prototypeNamed(*window, "Exposure");
    ASSERT_NE(exposure, nullptr);
    window->addModToTray(exposure, false, true, false);
    window->showSelectedTileControls();
    ASSERT_GE(StripAccess::controlTable(strip).count, 1);
    window->resize(1200, 800);
    QApplication::processEvents();
    ASSERT_EQ(window->height(), 800);
    const int panelX = s.toolPanel->x();
    ASSERT_GT(panelX, 20);
    QTimer* timer = StripAccess::animationTimer(strip);

    struct Case {
        const char* what;
        bool autohide;
        float offset;
        QPoint at, before;
        int step;  // 0: nothing starts
    } cases[] = {
        {"up above the hide line", true, 0.0f, {10, 600}, {10, 610}, 12},
        {"up, auto-hide off", false, 0.0f, {10, 600}, {10, 610}, 0},
        {"down above the hide line", true, 0.0f, {10, 600}, {10, 590}, 0},
        {"up below the hide line", true, 0.0f, {10, 630}, {10, 640}, 0},
        {"on the hide line", true, 0.0f, {10, 620}, {10, 640}, 0},
        {"up, right of the panel's left edge", true, 0.0f, {panelX, 600}, {panelX, 610}, 0},
        {"down below the show line, slid away", false, 40.0f, {10, 760}, {10, 750}, -12},
        {"down below the show line, shown", true, 0.0f, {10, 760}, {10, 750}, 0},
        {"up below the show line, slid away", true, 40.0f, {10, 760}, {10, 770}, 0},
    };
    for (const Case& c : cases) {
        timer->stop();
        s.autohideControls = c.autohide;
        StripAccess::controlSlideOffset(strip) = c.offset;
        StripAccess::controlHideLine(strip) = 620;
        StripAccess::controlShowLine(strip) = 740;
        StripAccess::controlSlideStep(strip) = 0;
        // Through the window's event handler, as a hover move arrives.
        QHoverEvent move(QEvent::HoverMove, QPointF(c.at), QPointF(c.before));
        QApplication::sendEvent(window.get(), &move);
        EXPECT_EQ(timer->isActive(), c.step != 0) << c.what;
        EXPECT_EQ(StripAccess::controlSlideStep(strip), c.step) << c.what;
    }

    // A real pointer move over the view area, upward across the hide line,
    // reaches the window as a hover move.
    timer->stop();
    s.autohideControls = true;
    StripAccess::controlSlideOffset(strip) = 0.0f;
    StripAccess::controlHideLine(strip) = 620;
    StripAccess::controlShowLine(strip) = 740;
    StripAccess::controlSlideStep(strip) = 0;
    QWidget* area = s.mediaArea;
    const QPoint below = area->mapFrom(window.get(), QPoint(30, 630));
    QTest::mouseMove(area, below);
    QTest::mouseMove(area, below - QPoint(0, 30));
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(StripAccess::controlSlideStep(strip), 12);

    // While a slide runs, or a tool is open, an upward move changes nothing.
    s.autohideControls = true;
    StripAccess::controlSlideOffset(strip) = 0.0f;
    StripAccess::controlSlideStep(strip) = 3;
    timer->start(30);
    window->slideControlStripOnHover(QPoint(10, 600), QPoint(10, 610));
    EXPECT_EQ(StripAccess::controlSlideStep(strip), 3);
    timer->stop();
    window->openCropTool();
    ASSERT_NE(s.activeTool, nullptr);
    StripAccess::controlSlideStep(strip) = 0;
    window->slideControlStripOnHover(QPoint(10, 600), QPoint(10, 610));
    EXPECT_FALSE(timer->isActive());
    window->toolRequestedExit(s.activeTool);
    StripAccess::controlSlideOffset(strip) = 0.0f;
    waitForDisplayIdle(view());
}

// The View menu's two check marks follow the preferences at start; an
// "AutohideControls" key that is no bool leaves the entry unchecked while
// the strip itself still auto-hides.
TEST(WindowCheckMarks, RestoredFromThePreferences) {
    ensureTestApplication();
    Preferences& preferences = globalPreferences();
    const GrowString hover("UseHoverPreviews"), autohide("AutohideControls");
    const bool hoverBefore = preferences.getBool(hover, true);
    const bool autohideBefore = preferences.getBool(autohide, true);
    struct Case {
        bool hoverPreviews;
        const char* autohideText;  // null: stored as a bool, the value below
        bool autohideValue;
        bool hoverChecked, autohideChecked, autohideOn;
    } cases[] = {
        {true, nullptr, false, true, false, false},
        {false, nullptr, true, false, true, true},
        {true, "true", false, true, false, true},
    };
    for (const Case& c : cases) {
        preferences.setBool(hover, c.hoverPreviews);
        if (c.autohideText)
            preferences.setString(autohide, GrowString(c.autohideText));
        else
            preferences.setBool(autohide, c.autohideValue);
        MainWindow window("");
        EXPECT_EQ(windowState(window).hoverPreviewsAction->isChecked(), c.hoverChecked);
        EXPECT_EQ(windowState(window).autohideControlsAction->isChecked(), c.autohideChecked);
        EXPECT_EQ(windowState(window).autohideControls, c.autohideOn);
        waitForWindowIdle(window, false);
    }
    preferences.setBool(hover, hoverBefore);
    preferences.setBool(autohide, autohideBefore);
}

// The panel's delete signal of a saved style reaches the window: asked
// with "Delete Style", the button goes and so does its file.
TEST_F(WindowConnectionsTest, PanelDeleteSignalDeletesTheSavedStyle) {
    ImageMod* exposure = prototypeNamed(*window, "Exposure");
    ASSERT_NE(exposure, nullptr);
    window->addModToTray(exposure, false, true, false);
    ASSERT_TRUE(window->saveFavoriteFilter("Glue Style"));
    VxPanelItemListButton* button = nullptr;
    for (const ToolPanelTab& tab : windowState(*window).toolPanel->tabs())
        for (VxPanelItem* item : tab.items)
            if (item->itemKind() == VxPanelItem::kListButtonItem) {
                auto* list = static_cast<VxPanelItemListButton*>(item);
                if (list->mod() && QString::fromUtf8(list->mod()->filePath().c_str()).endsWith("/Glue Style.plf"))
                    button = list;
            }
    ASSERT_NE(button, nullptr);
    const QString file = QString::fromUtf8(button->mod()->filePath().c_str());
    ASSERT_TRUE(QFile::exists(file));
    DialogCatcher catcher;
    catcher.arm();
    emit windowState(*window).toolPanel->deleteButtonClicked(button);
    EXPECT_EQ(catcher.title, "Delete Style");
    EXPECT_FALSE(QFile::exists(file));
    for (const ToolPanelTab& tab : windowState(*window).toolPanel->tabs())
        for (VxPanelItem* item : tab.items) EXPECT_NE(item, static_cast<VxPanelItem*>(button));
    waitForDisplayIdle(view());
}
