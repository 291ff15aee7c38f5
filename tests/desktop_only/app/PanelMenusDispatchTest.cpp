// The tool panel with the prototype list, the menus and their keys, the
// action dispatcher and the panel commands, on the real window offscreen.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QLineEdit>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "desktop_only/app/DesktopServices.h"
#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxHistogramWidget.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxPanelItemBigButton.h"
#include "desktop_only/widgets/VxPanelItemHeader.h"
#include "desktop_only/widgets/VxPanelItemListButton.h"
#include "desktop_only/widgets/VxRenderQueueWindow.h"
#include "desktop_only/widgets/VxShuttleControl.h"
#include "desktop_only/widgets/ToneCurveWidget.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "foundation/Preferences.h"
#include "foundation/UndoStack.h"
#include "foundation/XmlNode.h"
#include "framework/CompoundFilter.h"
#include "framework/Curve.h"
#include "framework/FilterFile.h"
#include "framework/ImageMod.h"
#include "framework/ModVar.h"
#include "framework/PresetBundle.h"
#include "support/DesktopTestHelpers.h"
#include "app/PanelTestSupport.h"

using StripAccess = ControlStripTestAccess;

namespace {

std::string xmlOf(const ImageMod& tile) {
    XmlNode parent;
    modToXml(tile, parent);
    GrowString text;
    if (parent.children.count == 1) writeXmlToString(parent.children[0], text, 0);
    return text.c_str();
}

}  // namespace

// ---- The tool panel ----

TEST_F(PanelWindowTest, PanelSectionsInOrderWithTheirSizes) {
    const ToolPanelTab& tab = windowState(*window).toolPanel->tabs()[0];
    EXPECT_STREQ(tab.name.c_str(), "Adjustments");
    ASSERT_GT(tab.items.count, 0);
    ASSERT_EQ(tab.items[0]->itemKind(), VxPanelItem::kBigButtonItem);
    auto* crop = static_cast<VxPanelItemBigButton*>(tab.items[0]);
    EXPECT_EQ(crop, windowState(*window).cropPanelButton);
    EXPECT_EQ(crop->commandID(), 0);
    std::vector<std::pair<std::string, int>> sections;
    std::vector<std::string> borderLabels;
    for (int32_t i = 1; i < tab.items.count; ++i) {
        if (tab.items[i]->itemKind() == VxPanelItem::kHeaderItem) {
            sections.emplace_back(static_cast<VxPanelItemHeader*>(tab.items[i])->name().c_str(), 0);
        } else {
            ASSERT_FALSE(sections.empty());
            ++sections.back().second;
            if (sections.back().first == "Borders")
                borderLabels.push_back(
                    static_cast<VxPanelItemListButton*>(tab.items[i])->mod()->displayName.c_str());
        }
    }
    const std::vector<std::pair<std::string, int>> expected = {
        {"Basics", 5}, {"Advanced Light", 6}, {"Advanced Color", 12}, {"Photographic", 5},
        {"Masks", 3},  {"Borders", 3},        {"Utility", 5}};
    const std::vector<std::string> missing = missingPrototypeNames(*window);
    ASSERT_TRUE(missing.empty()) << "tile classes missing: " << joined(missing);
    EXPECT_EQ(sections, expected);
    EXPECT_EQ(borderLabels, (std::vector<std::string>{"Basic Border", "Fill Border", "Image Border"}));
}

TEST_F(PanelWindowTest, PrototypeListOrderAndUniqueNames) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    std::set<std::string> names;
    for (ImageMod* tile : s.tilePrototypes) EXPECT_TRUE(names.insert(tile->name.c_str()).second) << tile->name.c_str();
    ASSERT_GT(s.tilePrototypes.count, 0);
    EXPECT_STREQ(s.tilePrototypes[0]->name.c_str(), "Custom Straight");
    EXPECT_STREQ(s.tilePrototypes[1]->name.c_str(), "Custom Rounded");
    EXPECT_STREQ(s.tilePrototypes[17]->name.c_str(), "Paper");
    EXPECT_STREQ(s.tilePrototypes[18]->name.c_str(), "Exposure");
    const std::vector<std::string> missing = missingPrototypeNames(w);
    ASSERT_TRUE(missing.empty()) << "tile classes missing: " << joined(missing);
    EXPECT_EQ(s.tilePrototypes.count, 95);
    EXPECT_STREQ(s.tilePrototypes[54]->name.c_str(), "Luminance Contrast");
    EXPECT_STREQ(s.tilePrototypes[75]->name.c_str(), "1958");
    EXPECT_STREQ(s.tilePrototypes[94]->name.c_str(), "Saloon");
}

// Start values of the tables, as a filter file would store them.
TEST_F(PanelWindowTest, StartValuesThroughTheFilterWriter) {
    struct Case {
        const char* name;
        std::vector<const char*> fragments;
    };
    const Case cases[] = {
        {"Exposure Curve", {">0.000000 0.500000 1.000000 0.500000 <"}},
        {"Split Tone",
         {"0.000000 24.415525 101.206230 255.000000", "255.000000 220.667084 107.368423 255.000000",
          "\"Amount\" type=\"float\">1.000000"}},
        {"Contrast", {"version=\"2\"", ">90.000000<"}},
        {"Saturation", {"version=\"2\""}},
        {"Hue Shift", {">0.000000 0.500000 0.250000 0.500000 0.500000 0.500000 0.750000 0.500000 1.000000 0.500000 <"}},
        {"Colorize Curve", {">0.000000 0.500000 0.500000 0.600000 1.000000 0.500000 <",
                            "127.000000 63.000000 0.000000 255.000000", ">Colorize<"}},
        {"Colorize Basic", {"127.000000 63.000000 0.000000 255.000000"}},
        {"Selective Saturation", {"229.000000 182.000000 171.000000 255.000000"}},
        {"Color Filter", {"255.000000 127.000000 127.000000 255.000000"}},
        {"Dye", {"version=\"2\"", "255.000000 0.000000 0.000000 255.000000"}},
        {"Greyscale Channel Mixer", {">30.000000<", ">59.000000<", ">11.000000<"}},
        {"Output Size", {"version=\"2\""}},
        {"HSV Mask",
         {">0.000000 0.000000 0.166670 0.000000 0.333330 1.000000 0.500000 1.000000 0.666670 1.000000 "
          "0.833330 0.000000 1.000000 0.000000 <",
          ">0.000000 0.000000 0.500000 1.000000 1.000000 1.000000 <"}},
        {"Luminance Mask", {">0.000000 0.000000 1.000000 1.000000 <"}},
        {"Blur", {">0.000000<", ">100.000000<"}},
        {"Color Wheels", {"0.000000 0.000000 0.000000 0.000000"}},
        {"Custom Rounded", {"255.000000 255.000000 255.000000 255.000000"}},
    };
    for (const Case& c : cases) {
        ImageMod* tile = prototypeNamed(*window, c.name);
        if (!tile) {
            ADD_FAILURE() << "no prototype " << c.name;
            continue;
        }
        const std::string xml = xmlOf(*tile);
        for (const char* fragment : c.fragments)
            EXPECT_NE(xml.find(fragment), std::string::npos) << c.name << " lacks " << fragment << " in\n" << xml;
    }
    // The panel's "Contrast" and the building block shown as "Contrast" stay apart by XML name.
    ImageMod* block = prototypeNamed(*window, "Contrast Saturation");
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block->displayName.c_str(), "Contrast");
}

TEST_F(PanelWindowTest, CollapsingEverySectionLeavesTheCropButton) {
    VxToolPanel* panel = windowState(*window).toolPanel;
    for (const char* name :
         {"Basics", "Advanced Light", "Advanced Color", "Photographic", "Masks", "Borders", "Utility"})
        panel->setSectionCollapsed(0, GrowString(name), true);
    int visibleButtons = 0;
    for (VxPanelItem* item : panel->tabs()[0].items)
        if (item->itemKind() != VxPanelItem::kHeaderItem && item->isVisible()) ++visibleButtons;
    EXPECT_EQ(visibleButtons, 1);
    EXPECT_TRUE(windowState(*window).cropPanelButton->isVisible());
}

// Tiles without a list button still load from filter files.
TEST_F(PanelWindowTest, FilterNamingTilesWithoutButtonsLoads) {
    const std::vector<std::string> missing = missingPrototypeNames(*window);
    std::vector<const char*> names = {"Custom Straight", "Insta", "Gamma", "Noise", "Crop", "1974"};
    for (const char* name : names) {
        if (std::find(missing.begin(), missing.end(), name) != missing.end()) continue;
        ImageMod* prototype = prototypeNamed(*window, name);
        ASSERT_NE(prototype, nullptr) << name;
        EXPECT_FALSE(hasListButton(*window, prototype)) << name;
        const GrowString path((folder.path() + "/one.plf").toUtf8().constData());
        GrowArray<ImageMod*> chain;
        chain.append(prototype);
        ASSERT_TRUE(saveFilterFile(chain, path));
        chain.count = 0;
        GrowArray<ImageMod*> loaded;
        uint32_t status = 0;
        loadFilterFile(loaded, path, windowState(*window).tilePrototypes, status);
        ASSERT_EQ(loaded.count, 1) << name;
        EXPECT_STREQ(loaded[0]->name.c_str(), name);
        for (ImageMod* mod : loaded) delete mod;
        loaded.destroy();
    }
}

TEST_F(PanelWindowTest, CropButtonPressOpensTheCropTool) {
    QTest::mouseClick(windowState(*window).cropPanelButton, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_NE(windowState(*window).activeTool, nullptr);
}

// ---- Menus ----

TEST_F(PanelWindowTest, MenuTitlesAndToolDisabledActions) {
    auto& s = windowState(*window);
    ControlStrip& strip = *s.controlStrip;
    const QList<QAction*> bar = window->menuBar()->actions();
    ASSERT_EQ(bar.size(), 4);
    EXPECT_EQ(bar[0]->text(), "File");
    EXPECT_EQ(bar[1]->text(), "Edit ");
    EXPECT_EQ(bar[2]->text(), "View");
    EXPECT_EQ(bar[3]->text(), "Help ");
    QStringList disabled;
    for (QAction* action : s.toolDisabledActions) disabled << action->text();
    EXPECT_EQ(disabled, QStringList({"Quicklook Presets (Append)", "Load Photo...", "Close Photo", "Load Next",
                                     "Load Previous", "Batch Process Folder...", "Load Preset...", "Preferences...",
                                     "Rotate Left", "Rotate Right", "Toggle Original", "Show/Hide Tray",
                                     "Show/Hide Tool Panel", "Toggle Interface", "Cycle Interface"}));
    // No hidden window action sits in a menu.
    for (QMenu* menu : {s.fileMenu, s.editMenu, s.viewMenu, s.helpMenu})
        for (QAction* action : menu->actions())
            EXPECT_TRUE(action->text() != "Left Pressed" && action->text() != "Right Pressed" &&
                        action->text() != "Quicklook Presets (Append)");
    EXPECT_EQ(StripAccess::curveMenu(strip)->actions().size(), 2);
}

TEST_F(PanelWindowTest, CropToolDisablesItsActionsAndEnablesThemOnExit) {
    window->openCropTool();
    ASSERT_NE(windowState(*window).activeTool, nullptr);
    EXPECT_FALSE(actionNamed(*window, "Load Photo...")->isEnabled());
    EXPECT_FALSE(actionNamed(*window, "Toggle Original")->isEnabled());
    EXPECT_TRUE(actionNamed(*window, "Save As...")->isEnabled());
    EXPECT_TRUE(actionNamed(*window, "Undo")->isEnabled());
    EXPECT_TRUE(actionNamed(*window, "Zoom To Fit")->isEnabled());
    window->toolRequestedExit(windowState(*window).activeTool);
    EXPECT_EQ(windowState(*window).activeTool, nullptr);
    for (QAction* action : windowState(*window).toolDisabledActions) EXPECT_TRUE(action->isEnabled());
}

// Every key of the menus reaches its action with the focus on the view.
TEST_F(PanelWindowTest, EveryKeyReachesItsAction) {
    struct Key {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* action;
    };
    const Key keys[] = {
        {Qt::Key_O, Qt::NoModifier, "Load Photo..."},
        {Qt::Key_O, Qt::ControlModifier, "Load Photo..."},
        {Qt::Key_S, Qt::NoModifier, "Save As..."},
        {Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier, "Save As..."},
        {Qt::Key_S, Qt::ControlModifier, "Save Over Original"},
        {Qt::Key_W, Qt::ControlModifier, "Close Photo"},
        {Qt::Key_Right, Qt::ShiftModifier, "Load Next"},
        {Qt::Key_Left, Qt::ShiftModifier, "Load Previous"},
        {Qt::Key_B, Qt::ControlModifier, "Batch Process Folder..."},
        {Qt::Key_L, Qt::ControlModifier, "Load Preset..."},
        {Qt::Key_E, Qt::ControlModifier, "Export Preset..."},
        {Qt::Key_K, Qt::ControlModifier, "Crop/Straighten"},
        {Qt::Key_Z, Qt::ControlModifier, "Undo"},
        {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "Redo"},
        {Qt::Key_L, Qt::NoModifier, "Rotate Left"},
        {Qt::Key_R, Qt::NoModifier, "Rotate Right"},
        {Qt::Key_Slash, Qt::NoModifier, "Toggle Original"},
        {Qt::Key_8, Qt::NoModifier, "Zoom To 100%"},
        {Qt::Key_9, Qt::NoModifier, "Zoom To Fit"},
        {Qt::Key_0, Qt::NoModifier, "Zoom Toggle"},
        {Qt::Key_T, Qt::NoModifier, "Show/Hide Tray"},
        {Qt::Key_P, Qt::NoModifier, "Show/Hide Tool Panel"},
        {Qt::Key_Q, Qt::NoModifier, "Show/Hide Render Queue"},
        {Qt::Key_I, Qt::NoModifier, "Show/Hide Pixel Inspector"},
        {Qt::Key_1, Qt::NoModifier, "Luminance Histogram"},
        {Qt::Key_2, Qt::NoModifier, "RGB Histogram"},
        {Qt::Key_3, Qt::NoModifier, "Luminance Waveform"},
        {Qt::Key_4, Qt::NoModifier, "RGB Waveform"},
        {Qt::Key_5, Qt::NoModifier, "Chrominance Chart"},
        {Qt::Key_Backtab, Qt::ShiftModifier, "Toggle Interface"},
        {Qt::Key_Tab, Qt::AltModifier, "Cycle Interface"},
        {Qt::Key_Left, Qt::NoModifier, "Left Pressed"},
        {Qt::Key_Right, Qt::NoModifier, "Right Pressed"},
        {Qt::Key_F, Qt::ShiftModifier, "Quicklook Presets (Append)"},
    };
    // Record what fires instead of running it: every action loses its
    // connections and reports its text.
    QStringList fired;
    QList<QAction*> all = window->actions();
    for (QMenu* menu : {windowState(*window).fileMenu, windowState(*window).editMenu, windowState(*window).viewMenu}) {
        menu->disconnect(window.get());
        all += menu->actions();
    }
    for (QAction* action : all) {
        action->disconnect(window.get());
        QObject::connect(action, &QAction::triggered, [&fired, action] { fired << action->text(); });
    }
    QApplication::setActiveWindow(window.get());
    view()->setFocus();
    QApplication::processEvents();
    for (const Key& k : keys) {
        fired.clear();
        QTest::keyClick(view(), static_cast<Qt::Key>(k.key), k.modifiers);
        EXPECT_EQ(fired, QStringList{k.action}) << k.action;
    }
}

// ---- The dispatcher ----

TEST_F(PanelWindowTest, TextsMatchExactly) {
    int chooserCalls = 0;
    MainWindow::openFileChooserOverride() = [&chooserCalls](const GrowString&) {
        ++chooserCalls;
        return GrowString("");
    };
    for (const char* text : {"Load Photo... ", "load photo...", "Load Photo", "", "Edit ", "Help "}) {
        QAction action(QString::fromUtf8(text), nullptr);
        window->actionTriggered(&action);
    }
    EXPECT_EQ(chooserCalls, 0);
    QAction load("Load Photo...", nullptr);
    window->actionTriggered(&load);
    EXPECT_EQ(chooserCalls, 1);
}

TEST(HueHandle, PositionFromTheHueOffset) {
    const struct {
        double offset, position;
    } cases[] = {{180, 0}, {0, 1}, {360, -1}, {540, -1}, {-180, 1}, {90, 0.5}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(hueHandlePosition(c.offset), c.position) << c.offset;
    EXPECT_TRUE(hueHandlePosition(std::nan("")) >= -1.0);
}

TEST_F(PanelWindowTest, CopyAndPasteCurve) {
    ControlStrip& strip = *windowState(*window).controlStrip;
    ImageMod* tone = prototypeNamed(*window, "Tone Curve");
    ImageMod* exposure = prototypeNamed(*window, "Exposure");
    ASSERT_TRUE(tone && exposure);
    window->addModToTray(tone, true, true, false);
    // The strip's record of the tile's curve.
    const ControlEntry* target = nullptr;
    for (const ControlEntry& record : StripAccess::controlTable(strip))
        if (record.var && record.var->curveValue()) target = &record;
    ASSERT_NE(target, nullptr);
    ModVar* curveVar = target->var;
    window->controlRightClicked(target->control);
    StripAccess::curveMenu(strip)->hide();
    ASSERT_EQ(StripAccess::rightClickedControl(strip), target);

    // Nothing to paste: nothing changes.
    window->actionTriggered(StripAccess::pasteCurveAction(strip));
    EXPECT_EQ(StripAccess::copiedCurve(strip), nullptr);

    GrowString text("0 0 .5 .8 1 1");
    curveVar->curveValue()->curve.setFromString(text);
    curveVar->curveValue()->curve.hueOffset = 360.0f;
    window->actionTriggered(StripAccess::copyCurveAction(strip));
    ASSERT_NE(StripAccess::copiedCurve(strip), nullptr);
    GrowString flat("0 0 1 1");
    curveVar->curveValue()->curve.setFromString(flat);
    curveVar->curveValue()->curve.hueOffset = 180.0f;
    window->actionTriggered(StripAccess::pasteCurveAction(strip));
    EXPECT_EQ(curveVar->curveValue()->curve.points.count, StripAccess::copiedCurve(strip)->points.count);
    EXPECT_EQ(curveVar->curveValue()->curve.hueOffset, 360.0f);
    EXPECT_DOUBLE_EQ(StripAccess::pastedHuePosition(strip), -1.0);

    // A target whose var holds no curve takes nothing.
    window->addModToTray(exposure, true, true, false);
    ASSERT_GE(StripAccess::controlTable(strip).count, 1);
    window->controlRightClicked(StripAccess::controlTable(strip)[0].control);
    ASSERT_NE(StripAccess::rightClickedControl(strip), nullptr);
    ASSERT_EQ(StripAccess::rightClickedControl(strip)->var->curveValue(), nullptr);
    const Curve* before = StripAccess::copiedCurve(strip);
    window->actionTriggered(StripAccess::copyCurveAction(strip));
    EXPECT_EQ(StripAccess::copiedCurve(strip), before);
    waitForDisplayIdle(view());
}

TEST_F(PanelWindowTest, ClosePhotoWithOneAndTwoTabs) {
    ASSERT_TRUE(window->openMediaFile(photo));
    window->addModToTray(prototypeNamed(*window, "Exposure"), true, true, false);
    trigger("Close Photo");
    ASSERT_EQ(windowState(*window).documentTabs.count, 1);
    EXPECT_FALSE(view()->hasMedia());
    EXPECT_TRUE(window->current()->name.isEmpty());
    EXPECT_EQ(tray()->masterList()->subMods.count, 1);  // the tray keeps its tiles
    window->buildDocumentTab();
    ASSERT_EQ(windowState(*window).documentTabs.count, 2);
    trigger("Close Photo");
    EXPECT_EQ(windowState(*window).documentTabs.count, 1);
}

TEST_F(PanelWindowTest, CycleInterfaceFourTimesReturnsToTheStart) {
    std::vector<std::pair<bool, bool>> seen;  // (tray, panel)
    auto& s = windowState(*window);
    for (int i = 0; i < 4; ++i) {
        trigger("Cycle Interface");
        seen.emplace_back(s.trayArea->isVisible(), s.toolPanel->isVisible());
    }
    const std::vector<std::pair<bool, bool>> expected = {{true, false}, {false, false}, {false, true}, {true, true}};
    EXPECT_EQ(seen, expected);
    trigger("Toggle Interface");
    EXPECT_FALSE(s.trayShown || s.toolPanelShown);
    trigger("Toggle Interface");
    EXPECT_TRUE(s.trayShown && s.toolPanelShown);
}

TEST_F(PanelWindowTest, UndoRedoAndTheCropTool) {
    window->addModToTray(prototypeNamed(*window, "Exposure"), true, true, false);
    ASSERT_EQ(tray()->masterList()->subMods.count, 1);
    window->openCropTool();
    trigger("Undo");  // nothing while a tool is open
    EXPECT_EQ(tray()->masterList()->subMods.count, 1);
    window->toolRequestedExit(windowState(*window).activeTool);
    trigger("Undo");  // the crop tool's record (its neutral crop tile went on exit)
    trigger("Undo");
    EXPECT_EQ(tray()->masterList()->subMods.count, 0);
    trigger("Redo");
    trigger("Redo");
    EXPECT_EQ(tray()->masterList()->subMods.count, 1);
    const int32_t undoCount = TrayWidgetTestAccess::undoStack(*tray())->undoCount();
    TrayWidgetTestAccess::undoStack(*tray())->clear();
    trigger("Undo");  // an empty list still re-renders, changing nothing
    EXPECT_EQ(tray()->masterList()->subMods.count, 1);
    EXPECT_GT(undoCount, 0);
}

TEST_F(PanelWindowTest, ScopesShowSwitchAndHide) {
    VxHistogramWindow* scope = view()->histogramWindow;
    trigger("RGB Histogram");
    EXPECT_TRUE(scope->isVisible());
    EXPECT_EQ(scope->histogram->graph(), 1);
    trigger("Chrominance Chart");
    EXPECT_TRUE(scope->isVisible());
    EXPECT_EQ(scope->histogram->graph(), 4);
    trigger("Chrominance Chart");
    EXPECT_FALSE(scope->isVisible());
}

TEST_F(PanelWindowTest, RowsWithoutEntriesAndSubWindows) {
    for (const char* text : {"Preview Video", "Quicklook Cameras", "Quicklook Cameras (Append)", "Quicklook Borders",
                             "Single View", "Split Screen Vertical", "Split Screen Horizontal"})
        trigger(text);
    auto& s = windowState(*window);
    EXPECT_EQ(s.documentTabs.count, 1);
    trigger("New Tab");
    EXPECT_EQ(s.documentTabs.count, 2);
    trigger("Show/Hide Render Queue");
    EXPECT_TRUE(s.renderQueueWindow->isVisible());
    trigger("Show/Hide Render Queue");
    EXPECT_FALSE(s.renderQueueWindow->isVisible());
    s.autohideControlsAction->setChecked(false);
    window->actionTriggered(s.autohideControlsAction);
    EXPECT_FALSE(s.autohideControls);
    EXPECT_FALSE(globalPreferences().getBool(GrowString("AutohideControls"), true));
}

TEST_F(PanelWindowTest, PresetSteppingWrapsInPanelOrder) {
    auto& s = windowState(*window);
    GrowArray<ImageMod*> presets = s.toolPanel->presetMods();
    ASSERT_GT(presets.count, 2);
    s.presetIndex = presets.count - 1;
    trigger("Next Style");
    EXPECT_EQ(s.presetIndex, 0);
    trigger("Previous Style");
    EXPECT_EQ(s.presetIndex, presets.count - 1);
    trigger("Random Preset");
    EXPECT_GE(s.presetIndex, 0);
    EXPECT_LT(s.presetIndex, presets.count);
    presets.destroy();
}

TEST_F(PanelWindowTest, LoadPresetStoresTheFullPath) {
    const QString filterPath = folder.path() + "/look.plf";
    GrowArray<ImageMod*> chain;
    chain.append(prototypeNamed(*window, "Exposure"));
    ASSERT_TRUE(saveFilterFile(chain, GrowString(filterPath.toUtf8().constData())));
    chain.count = 0;
    globalPreferences().setString(GrowString("LastFilterLoadDir"), GrowString("/before"), false);
    MainWindow::openFileChooserOverride() = [](const GrowString&) { return GrowString(""); };
    trigger("Load Preset...");
    EXPECT_STREQ(globalPreferences().getString(GrowString("LastFilterLoadDir"), GrowString("")).c_str(), "/before");
    MainWindow::openFileChooserOverride() = [filterPath](const GrowString& title) {
        EXPECT_STREQ(title.c_str(), "Load Filter");
        return GrowString(filterPath.toUtf8().constData());
    };
    trigger("Load Preset...");
    EXPECT_EQ(QString(globalPreferences().getString(GrowString("LastFilterLoadDir"), GrowString("")).c_str()),
              filterPath);
    EXPECT_EQ(tray()->masterList()->subMods.count, 1);
}

// The archive unpacks beside itself into a folder named after the file
// alone; a name that is all extension, or names an existing file, unpacks
// nowhere.
TEST(ArchiveFolder, FromTheFileNameOnly) {
    QTemporaryDir dir;
    const QString base = dir.path();
    QFile blocker(base + "/taken");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const struct {
        QString archive;
        QString folder;
    } cases[] = {
        {base + "/looks.bnd", base + "/looks"},
        {base + "/my.folder/looks.bnd", base + "/my.folder/looks"},
        {base + "/looks", base + "/looks"},  // no extension: the name itself (a file's folder is refused below)
        {base + "/.bnd", ""},
        {base + "/taken.bnd", ""},
        {base + "/a.b.bnd", base + "/a.b"},
    };
    for (const auto& c : cases) {
        const GrowString folder = archiveFolderFor(GrowString(c.archive.toUtf8().constData()));
        EXPECT_EQ(QString::fromUtf8(folder.c_str()), c.folder) << c.archive.toStdString();
    }
}

TEST_F(PanelWindowTest, UnpackArchiveIntoItsOwnFolder) {
    // A bundle of one preset, unpacked through "Test Function".
    const QString presetFolder = folder.path() + "/src";
    ASSERT_TRUE(QDir().mkpath(presetFolder));
    GrowArray<ImageMod*> chain;
    chain.append(prototypeNamed(*window, "Exposure"));
    ASSERT_TRUE(saveFilterFile(chain, GrowString((presetFolder + "/one.plf").toUtf8().constData())));
    chain.count = 0;
    const QString archive = folder.path() + "/set.v1.bnd";
    ASSERT_TRUE(writeOneFileBundle(archive, "one.plf", presetFolder + "/one.plf"));
    MainWindow::openFileChooserOverride() = [archive](const GrowString& title) {
        EXPECT_STREQ(title.c_str(), "Load Archive");
        return GrowString(archive.toUtf8().constData());
    };
    trigger("Test Function");
    EXPECT_TRUE(QFileInfo(folder.path() + "/set.v1").isDir());
    EXPECT_FALSE(QDir(folder.path() + "/set.v1").entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(QString(globalPreferences().getString(GrowString("LastFilterLoadDir"), GrowString("")).c_str()), archive);
}

// ---- Panel commands ----

TEST_F(PanelWindowTest, AppendPressesFoldIntoTheCommandId) {
    VxPanelItemBigButton button(3, GrowString("x"), nullptr);
    window->comIDButtonClicked(&button, true);  // 3 becomes 4: nothing
    EXPECT_EQ(windowState(*window).activeTool, nullptr);
    VxPanelItemBigButton crop(0, GrowString("x"), nullptr);
    window->comIDButtonClicked(&crop, true);
    EXPECT_NE(windowState(*window).activeTool, nullptr);
}

TEST_F(PanelWindowTest, RevealWithoutMediaShowsTheMessage) {
    DialogCatcher catcher;
    catcher.arm();
    window->runComID(8);
    EXPECT_EQ(catcher.title, "No Media Loaded");
    EXPECT_EQ(catcher.text, "No media is currently loaded.");
    EXPECT_TRUE(openedUrls.isEmpty());
}

// Paths with a double quote, "#", "?" and "%20" reach the file browser
// unchanged: the folder opens by a local-file address, never through a
// script.
TEST_F(PanelWindowTest, RevealPassesThePathAsData) {
    const QString odd = folder.path() + "/a \"quoted\" #1 ?x %20 folder";
    ASSERT_TRUE(QDir().mkpath(odd));
    ASSERT_TRUE(QFile::copy(photo, odd + "/b.png"));
    ASSERT_TRUE(window->openMediaFile(odd + "/b.png"));
    window->runComID(8);
    ASSERT_EQ(openedUrls.size(), 1);
    EXPECT_TRUE(openedUrls[0].isLocalFile());
    EXPECT_EQ(openedUrls[0].toLocalFile(), odd);
}

// After a batch the key names the batch's folder: the current file is
// revealed instead.
TEST_F(PanelWindowTest, RevealAfterABatchShowsTheCurrentFile) {
    const QString photos = folder.path() + "/photos";
    ASSERT_TRUE(QDir().mkpath(photos));
    ASSERT_TRUE(QDir().mkpath(folder.path() + "/batch/in"));
    ASSERT_TRUE(QFile::copy(photo, photos + "/b.png"));
    ASSERT_TRUE(window->openMediaFile(photos + "/b.png"));
    globalPreferences().setString(GrowString("LastMediaLoadPath"),
                                  GrowString(QFile::encodeName(folder.path() + "/batch/in").constData()), false);
    window->runComID(8);
    ASSERT_EQ(openedUrls.size(), 1);
    EXPECT_EQ(openedUrls[0].toLocalFile(), photos);
}

// A data folder holding "#", "?" and "%20" opens as itself.
TEST_F(PanelWindowTest, RevealPresetsFolderOpensItsLocalAddress) {
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    const QString odd = folder.path() + "/data #2 ?q %20";
    qputenv("XDG_DATA_HOME", QFile::encodeName(odd));
    trigger("Reveal Presets Folder");
    qputenv("XDG_DATA_HOME", saved);
    ASSERT_EQ(openedUrls.size(), 1);
    EXPECT_TRUE(openedUrls[0].isLocalFile());
    EXPECT_EQ(openedUrls[0].toLocalFile(), odd + "/Pellucine/Presets/");
}

// ---- The open flows ----

TEST_F(PanelWindowTest, LoadPhotoPromptStartsAtTheLastPhotosFolder) {
    globalPreferences().setString(GrowString("LastMediaLoadPath"), GrowString(""), false);
    MainWindow::openFileChooserOverride() = [](const GrowString&) { return GrowString(""); };
    trigger("Load Photo...");
    EXPECT_FALSE(view()->hasMedia());
    const QString chosen = photo;
    MainWindow::openFileChooserOverride() = [chosen](const GrowString& title) {
        EXPECT_STREQ(title.c_str(), "Load Image");
        return GrowString(QFile::encodeName(chosen).constData());
    };
    trigger("Load Photo...");
    EXPECT_TRUE(view()->hasMedia());
    EXPECT_EQ(QString(globalPreferences().getString(GrowString("LastMediaLoadPath"), GrowString("")).c_str()),
              photo);
}

// Neighbours in natural name order among the openable files, wrapping at
// both ends; a tab without a file has no neighbours.
TEST_F(PanelWindowTest, AdjacentMediaInNaturalOrderWrapping) {
    trigger("Load Next");
    EXPECT_FALSE(view()->hasMedia());
    const QString dir = folder.path() + "/walk";
    ASSERT_TRUE(QDir().mkpath(dir));
    for (const char* name : {"img2.png", "img10.png", "img1.png"})
        ASSERT_TRUE(QFile::copy(photo, dir + "/" + name));
    QFile notes(dir + "/notes.txt");
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.close();
    ASSERT_TRUE(window->openMediaFile(dir + "/img1.png"));
    auto name = [this] { return QFileInfo(QFile::decodeName(window->current()->name.c_str())).fileName(); };
    trigger("Right Pressed");
    EXPECT_EQ(name(), "img2.png");
    trigger("Load Next");
    EXPECT_EQ(name(), "img10.png");
    trigger("Load Next");
    EXPECT_EQ(name(), "img1.png");
    trigger("Left Pressed");
    EXPECT_EQ(name(), "img10.png");
    trigger("Load Previous");
    EXPECT_EQ(name(), "img2.png");
}

TEST_F(PanelWindowTest, HelpOpensTheReadme) {
    trigger("Help Website");
    ASSERT_EQ(openedUrls.size(), 1);
    EXPECT_TRUE(openedUrls[0].toLocalFile().endsWith("README.md"));
    EXPECT_TRUE(QFileInfo::exists(openedUrls[0].toLocalFile()));
}

// Through the strip's own curve control: the right-clicked control takes
// the pasted curve and handle, and the edit path writes them into the var.
TEST_F(PanelWindowTest, PasteCurveThroughTheStripsCurveControl) {
    ControlStrip& strip = *windowState(*window).controlStrip;
    window->addModToTray(prototypeNamed(*window, "Hue Shift"), true, true, false);
    ControlEntry* entry = nullptr;
    for (ControlEntry& record : StripAccess::controlTable(strip))
        if (record.var && record.var->curveValue() && qobject_cast<ToneCurveWidget*>(record.control)) entry = &record;
    ASSERT_NE(entry, nullptr);
    ToneCurveWidget* widget = qobject_cast<ToneCurveWidget*>(entry->control);
    window->controlRightClicked(widget);
    StripAccess::curveMenu(strip)->hide();
    ASSERT_EQ(StripAccess::rightClickedControl(strip), entry);
    Curve copied = entry->var->curveValue()->curve;
    GrowString points("0 .2 .5 .9 1 .2");
    copied.setFromString(points);
    copied.hueOffset = 0.0f;
    entry->var->curveValue()->curve = copied;
    window->actionTriggered(StripAccess::copyCurveAction(strip));
    GrowString flat("0 .5 1 .5");
    entry->var->curveValue()->curve.setFromString(flat);
    entry->var->curveValue()->curve.hueOffset = 180.0f;
    window->actionTriggered(StripAccess::pasteCurveAction(strip));
    ModVar* var = tray()->masterList()->subMods[0]->vars[entry->index];
    EXPECT_EQ(var->curveValue()->curve.points.count, 3);
    EXPECT_FLOAT_EQ(var->curveValue()->curve.points[1].y, 0.9f);
    EXPECT_FLOAT_EQ(widget->huePosition(), 1.0f);
}

// The keys reach the window's actions from wherever the focus lands after
// start-up: the shuttle's time entry, kept far outside the view, does not
// take it and swallow single keys.
TEST_F(PanelWindowTest, KeysReachTheActionsFromTheStartingFocus) {
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    QApplication::processEvents();
    QWidget* focus = QApplication::focusWidget();
    QStringList fired;
    for (QAction* action : window->actions()) {
        action->disconnect(window.get());
        QObject::connect(action, &QAction::triggered, [&fired, action] { fired << action->text(); });
    }
    QTest::keyClick(focus ? focus : static_cast<QWidget*>(window.get()), Qt::Key_Right);
    EXPECT_EQ(fired, QStringList{"Right Pressed"}) << (focus ? focus->metaObject()->className() : "no focus");
    EXPECT_FALSE(qobject_cast<QLineEdit*>(focus)) << "a text entry holds the keyboard";
}
