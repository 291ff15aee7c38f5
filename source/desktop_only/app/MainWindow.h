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
//   MainWindowPanel.cpp         the tool panel and the prototype list
//   MainWindowMenus.cpp         the menus and the window-level key actions
//   MainWindowDispatch.cpp      the action dispatcher
//   MainWindowCommands.cpp      panel commands, the crop tool, the preview chooser
// Everything runs on the interface thread.

#include <QList>
#include <QMainWindow>

#include <functional>

#include "desktop_only/display/VideoLoaderSaverTime.h"
#include "desktop_only/media/ProcessingState.h"
#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"

class Curve;
class ImageMod;
class ModVar;
class QAction;
class QKeySequence;
class QMenu;
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

    // ---- Menus, dispatch, panel commands, tools and the open flows
    //      (MainWindowMenus.cpp, MainWindowDispatch.cpp,
    //      MainWindowCommands.cpp, MainWindowMedia.cpp) ----
public:
    QMenu* fileMenu = nullptr;
    QMenu* editMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QMenu* curveMenu = nullptr;                   // context menu of curve controls
    QAction* copyCurveAction = nullptr;
    QAction* pasteCurveAction = nullptr;
    QAction* autohideControlsAction = nullptr;
    QAction* hoverPreviewsAction = nullptr;
    Curve* copiedCurve = nullptr;                 // owned: the curve clipboard
    ControlEntry* rightClickedControl = nullptr;  // the control whose curve menu is open, or null
    double pastedHuePosition = 0.0;               // the hue handle position of the last paste

    // The dispatcher: performs the action, known by identity or exact text.
    void actionTriggered(QAction* action);
    // Runs a panel command id on the current document.
    void runComID(int comID);
    void openCropTool();
    void openPreviewChooser(bool append);
    // "Load Photo...": asks for a photo, starting at "LastMediaLoadPath".
    void loadPhotoPrompt();
    // Opens the next (+1) or previous (-1) openable file of the current
    // photo's folder, in name order, wrapping around.
    void loadAdjacentMedia(int32_t step);
    // A modal "open file" dialog limited to the extensions; "" when cancelled.
    static GrowString chooseOpenFile(QWidget* parent, const GrowString& title, const GrowString& startPath,
                                     const GrowArray<GrowString>& extensions);
    // Test seam: answers chooseOpenFile instead of the dialog while set.
    static std::function<GrowString(const GrowString& title)>& openFileChooserOverride();

private:
    QAction* addMenuEntry(QMenu* menu, const char* text, const QList<QKeySequence>& keys, bool disabledByTool);
    QAction* addWindowAction(const char* text, const QKeySequence& key, bool disabledByTool);
    void runFlowAction(const GrowString& text);
    void closePhoto();
    void stepPreset(int32_t step, bool random);
    void showScope(int graph);
    void copyCurve();
    void pasteCurve();
    void pasteCurveIntoControl(ControlEntry* entry, double huePosition);

public slots:
    void menuTriggered(QAction* act);
    void actionTriggered();
    void comIDButtonClicked(VxPanelItemBigButton* clicker, bool append);

protected:
    void resizeEvent(QResizeEvent* event) override;
};

// The one modal message of the program: a DialogWindow centred on the
// default screen's available area. Returns 1 for OK, 0 for Cancel or
// closing. An empty button text hides that button.
int showMessageDialog(QWidget* parent, const QString& title, const QString& text, const QString& okText,
                      const QString& cancelText, const QString& inputLabel);

// The hue handle position of a curve with this hue offset:
// (180 - offset) / 180 in double precision, clamped to [-1, 1].
double hueHandlePosition(double hueOffset);
// The folder an archive unpacks into: the archive's folder and its file name
// without the extension; "" when that name is empty or names a file.
GrowString archiveFolderFor(const GrowString& archivePath);

