#pragma once
// MainWindow::State: everything the main window holds, in one private
// object, so that MainWindow.h lists the window's operations and nothing
// else. Only the window's own files (MainWindow*.cpp) and the tests' friend
// (tests/desktop_only/support/DesktopTestAccess.h) include this header.
//
// The members keep the names the window's design gives them; the window
// reaches them through its `d` pointer. Widgets and timers named here are
// children of the window (Qt parenthood deletes them); the pointers are not
// owners unless the comment says so. Everything is touched on the interface
// thread only.

#include "desktop_only/app/ControlStrip.h"
#include "desktop_only/app/MainWindow.h"
#include "desktop_only/media/ProcessingState.h"
#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"

class ImageMod;
class PixelSwatchWidget;
class QAction;
class QHBoxLayout;
class QLabel;
class QMenu;
class QTimer;
class QWidget;
class VxMediaWidget;
class VxPanelItemBigButton;
class VxPreviewChooser;
class VxPushButton;
class VxRenderQueueWindow;
class VxSubWindow;
class VxTabBar;
class VxToolPanel;
class VxToolTipBox;
class VxToolWidget;
class XmlPreferencesWindow;

// The records of the window's form: four actions that are put into no menu,
// the central widget and its layout.
struct MainWindowForm {
    QAction* actionOpen = nullptr;
    QAction* actionSave = nullptr;
    QAction* actionSave_Copy = nullptr;
    QAction* actionSave_As = nullptr;
    QWidget* centralwidget = nullptr;
    QHBoxLayout* horizontalLayout_2 = nullptr;
};

struct MainWindow::State {
    // ---- Made by the constructor, in this order ----
    GrowArray<QAction*> toolDisabledActions;  // the menu actions disabled while a tool overlay is open
    GrowArray<DocumentTab> documentTabs;      // the open documents
    int32_t currentTab = 0;                   // index of the current document tab
    MainWindowForm* ui = nullptr;             // owned
    VxToolWidget* activeTool = nullptr;       // the open tool overlay (crop and straighten), or null
    QWidget* mediaArea = nullptr;             // holds the views, activeViewFrame and the sub-windows
    VxTabBar* tabBar = nullptr;
    VxToolPanel* toolPanel = nullptr;
    QWidget* trayArea = nullptr;              // holds the trays
    VxRenderQueueWindow* renderQueueWindow = nullptr;
    VxSubWindow* pixelInspectorWindow = nullptr;
    VxPreviewChooser* previewChooser = nullptr;
    ControlStrip* controlStrip = nullptr;     // made right after the tray area; deleted by the destructor
    VxToolTipBox* toolTipBox = nullptr;
    bool autohideControls = true;             // preference "AutohideControls"
    bool trayShown = true;
    bool toolPanelShown = true;
    int32_t presetIndex = 0;                  // the preset "Previous Style" and "Next Style" step from
    QLabel* backgroundLabel = nullptr;
    ProcessingState saveQueue;                // saves and batches
    ProcessingState secondQueue;              // nothing feeds it; the progress slots handle it
    QTimer* processingInfoTimer = nullptr;    // 500 ms progress ticks while a queue works
    QTimer* previewProcessorTimer = nullptr;  // connected, never started
    // The current document drawn at preview size for the hover preview.
    ImageBuffer previewSource;
    int32_t nextTabId = 0;                    // id of the next document tab
    bool layoutReady = false;                 // the window layout does nothing while false
    int32_t splitViewMode = 0;                // 0: one view; other values split the view area
    QWidget* activeViewFrame = nullptr;       // drawn around the current view of a split area
    bool hostMode = false;                    // plug-in host mode; nothing sets it true
    GrowString pluginId;

    // ---- Set up by the tool panel and the buttons stage ----
    GrowArray<ImageMod*> tilePrototypes;      // owned: one tile of every class
    VxPanelItemBigButton* cropPanelButton = nullptr;
    QLabel* filterNameLabel = nullptr;
    QLabel* processingInfoLabel = nullptr;
    GrowArray<QWidget*> startScreenButtons;
    VxPushButton* startLoadButton = nullptr;

    // ---- Menus (MainWindowMenus.cpp) ----
    QMenu* fileMenu = nullptr;
    QMenu* editMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QAction* autohideControlsAction = nullptr;
    QAction* hoverPreviewsAction = nullptr;

    // ---- Preset folders (MainWindowPresets.cpp) ----
    bool presetsMigrated = false;
    bool filtersOutdated = false;

    // ---- The window's buttons, placed by the layout (null until the
    //      buttons stage made them) ----
    VxPushButton* singleViewButton = nullptr;
    VxPushButton* splitVerticalButton = nullptr;
    VxPushButton* splitHorizontalButton = nullptr;
    VxPushButton* hidePanelButton = nullptr;
    VxPushButton* hideTrayButton = nullptr;
    VxPushButton* previewButton = nullptr;
    VxPushButton* deleteNodesButton = nullptr;
    VxPushButton* cancelProcessingButton = nullptr;
    VxPanelItemBigButton* sendToHostButton = nullptr;

    // ---- The Pixel Inspector and the hover preview ----
    // The pixel samples the Pixel Inspector follows, newest first (at most 3).
    GrowArray<PixelSample> pixelSamples;
    // The geometric tiles the hover preview's base picture was drawn
    // through (owned clones; freed with the window), the view it was drawn
    // from (cleared when that view's tab closes), its size and its scale
    // (output pixels per pixel): the picture is drawn again only when these
    // or the source changed.
    GrowArray<ImageMod*> previewSourceTiles;
    const VxMediaWidget* previewSourceView = nullptr;
    int32_t previewSourceWidth = 0;
    int32_t previewSourceHeight = 0;
    float previewSourceScale = 1.0f;
    PixelSwatchWidget* pixelSwatch = nullptr;  // the inspector's content

    // ---- Preferences window (MainWindowPreferences.cpp) ----
    XmlPreferencesWindow* preferencesWindow = nullptr;  // a child, null until first opened
};
