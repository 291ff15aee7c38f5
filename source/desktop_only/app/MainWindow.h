#pragma once
// MainWindow: the one top-level window and the owner of everything the user
// works with: the document tabs (each a tray, a view and a shuttle), the
// side tool panel with one prototype of every tile class, the control
// strip, the two processing queues, the floating sub-windows, the preview
// chooser and the timers.
//
// The operations live in files by concern:
//   MainWindowConstruction.cpp  construction and teardown
//   MainWindowTabs.cpp          document tabs
//   MainWindowRefresh.cpp       refreshView, the control strip, addModToTray, updateTitle
//   MainWindowMedia.cpp         opening photos and loading filters
//   MainWindowLayout.cpp        window layout and window events
//   MainWindowSlots.cpp         the remaining slots
// Everything runs on the interface thread.

#include <QMainWindow>

#include "desktop_only/display/VideoLoaderSaverTime.h"
#include "desktop_only/media/ProcessingState.h"
#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"

class ImageMod;
class ModVar;
class QAction;
class QHBoxLayout;
class QLabel;
class QTimer;
class TrayWidget;
class VxMediaWidget;
class VxPanelItemBigButton;
class VxPanelItemListButton;
class VxPreviewChooser;
class VxPushButton;
class VxRenderQueueWindow;
class VxShuttleControl;
class VxSubWindow;
class VxTabBar;
class VxToolPanel;
class VxToolTipBox;
class VxToolWidget;

// One open document.
struct DocumentTab {
    GrowString name;                      // path of the file shown, "" for an empty tab
    TrayWidget* tray = nullptr;           // owned (through Qt parenthood)
    VxMediaWidget* view = nullptr;        // owned
    VxShuttleControl* shuttle = nullptr;  // owned; hidden in this build
    VideoLoaderSaverTime videoTimes[3];
    int tabID = -1;
};

// One control of the control strip.
struct ControlEntry {
    QWidget* control = nullptr;
    ImageMod* tile = nullptr;
    ModVar* var = nullptr;
    int32_t index = 0;
};

// The records of the window's form.
struct MainWindowForm {
    QAction* actionOpen = nullptr;
    QAction* actionSave = nullptr;
    QAction* actionSave_Copy = nullptr;
    QAction* actionSave_As = nullptr;
    QWidget* centralwidget = nullptr;
    QHBoxLayout* horizontalLayout_2 = nullptr;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const QString& styleSheet);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    GrowArray<QAction*> toolDisabledActions;
    GrowArray<DocumentTab> documentTabs;
    int32_t currentTab = 0;
    MainWindowForm* ui = nullptr;
    VxToolWidget* activeTool = nullptr;
    QWidget* mediaArea = nullptr;
    VxTabBar* tabBar = nullptr;
    VxToolPanel* toolPanel = nullptr;
    QWidget* trayArea = nullptr;
    VxRenderQueueWindow* renderQueueWindow = nullptr;
    VxSubWindow* pixelInspectorWindow = nullptr;
    VxPreviewChooser* previewChooser = nullptr;
    GrowArray<ControlEntry> controlTable;
    VxToolTipBox* toolTipBox = nullptr;
    bool autohideControls = true;
    bool trayShown = true;
    bool toolPanelShown = true;
    int32_t presetIndex = 0;
    QTimer* nodeControlAnimationTimer = nullptr;
    QLabel* backgroundLabel = nullptr;
    ProcessingState saveQueue;
    ProcessingState secondQueue;
    QTimer* processingInfoTimer = nullptr;
    QTimer* previewProcessorTimer = nullptr;
    ImageBuffer previewSource;
    int32_t nextTabId = 0;
    bool layoutReady = false;
    int32_t splitViewMode = 0;
    QWidget* activeViewFrame = nullptr;
    bool hostMode = false;
    GrowString pluginId;

    // Set up by later stages of the window (tool panel, buttons).
    GrowArray<ImageMod*> tilePrototypes;      // owned: one tile of every class
    VxPanelItemBigButton* cropPanelButton = nullptr;
    QLabel* filterNameLabel = nullptr;
    QLabel* processingInfoLabel = nullptr;
    QWidget* controlArea = nullptr;           // holds the control strip
    GrowArray<QWidget*> startScreenButtons;
    VxPushButton* startLoadButton = nullptr;

    // ---- Document tabs ----
    void buildDocumentTab();
    // Waits for every view's display pass to end and lets no new one start
    // (at exit: no pass may run while the process's statics are destroyed).
    void stopDisplayThreads();
    DocumentTab* current();
    // Closes an open tool overlay (before a tab is closed or switched).
    void endActiveTool();

    // ---- Refresh ----
    void refreshView();
    void showSelectedTileControls();
    void addModToTray(ImageMod* mod, bool append, bool select, bool asOneTile);
    void updateTitle();
    void buildControls(const GrowArray<ModVar*>& vars, ImageMod* tile, bool keepPosition);

    // ---- Media ----
    bool openMediaFile(const QString& path);
    void loadFilterIntoDocument(const GrowString& path, bool replaceTiles);

    // ---- Layout ----
    void layoutWindow();
    void layoutControls(bool sizing);

    // ---- Construction stages ----
    void buildToolPanel();
    void buildMenus();
    void buildButtonsAndRestoreState();

public slots:
    void processingInfoTimerFired();
    void previewProcessorTimerFired();
    void nodeControlAnimationTimerFired();
    void documentTabChosen(int tabID);
    void documentTabWantsClosing(int tabID);
    void cancelRenderQueueItem(int id);
    void filterPreviewChosen(ImageMod* mod, bool append);
    void previewSectionEnabled(int tabID, GrowString sectionName, bool enabled);
    void onEmptyClick();
    void videoShuttleUpdateRequest(VideoLoaderSaverTime time);
    void displayFinishedUpdating();
    void onImageRepositioned();
    void trayContentChanged();
    void traySelectionChanged();
    void shuttleControlAdjusted(QWidget* control);
    void toolRequestedExit(VxToolWidget* tool);
    void loadFilterSlot(const QString& fileName, bool removeTrayNodes);
    void modButtonClicked(VxPanelItemListButton* clicker, bool append);

protected:
    void resizeEvent(QResizeEvent* event) override;
};

// The one modal message of the program: a DialogWindow centred on the
// default screen's available area. Returns 1 for OK, 0 for Cancel or
// closing. An empty button text hides that button.
int showMessageDialog(QWidget* parent, const QString& title, const QString& text, const QString& okText,
                      const QString& cancelText, const QString& inputLabel);

